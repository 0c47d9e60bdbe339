#include "windows/logger.h"
#include "ui_logger.h"

#include "logging/chartseries.h"
#include "logging/logfile.h"
#include "windows/chooserstart.h"
#include "windows/windowfit.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

// The Logger's debug lines: off unless asked for ("quadmeter.logger.debug=true").
Q_LOGGING_CATEGORY(loggerLog, "quadmeter.logger", QtInfoMsg)

QString shownName(const QString &fileName)
{
    return QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
}

QString shownTime(const QDateTime &time)
{
    return QLocale::c().toString(time, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

Logger::Logger(const ChannelData *readings, QWidget *parent)
    : QDialog(parent)
    , readings(readings)
    , ui(new Ui::Logger)
    , timer(new QTimer(this))
{
    ui->setupUi(this);

    for (int column = 0; column < ChannelCount; ++column) {
        for (int row = 0; row < LogQuantityCount; ++row) {
            auto *item = new QTableWidgetItem;
            item->setCheckState(Qt::Checked);
            ui->twEnables->setItem(row, column, item);
        }
    }
    // The whole enable table and the chart, at the running font and scale; never less than the
    // form's own size.
    resize(windowFitting(this, {{ui->twEnables, tableShowing(ui->twEnables)}}));

    connect(timer, &QTimer::timeout, this, &Logger::updateData);
    // The picture goes next to the log file, so it needs that file's name.
    connect(ui->leFileName, &QLineEdit::textChanged, ui->pbSaveChart,
            [this](const QString &name) { ui->pbSaveChart->setEnabled(!name.isEmpty()); });
    // Closing the window ends the run at once, even while a read it asked for is still running:
    // that read must not add a row.
    connect(this, &QDialog::finished, timer, &QTimer::stop);
}

Logger::~Logger()
{
    delete ui;
    delete timer;
}

void Logger::setSettingsEnabled(bool enabled)
{
    ui->pbClose->setEnabled(enabled);
    ui->leFileName->setEnabled(enabled);
    ui->sbTimeOut->setEnabled(enabled);
    ui->cbTimeStamp->setEnabled(enabled);
    ui->tbFileName->setEnabled(enabled);
    ui->twEnables->setEnabled(enabled);
}

LogEnables Logger::enables() const
{
    LogEnables enabled;
    for (int channel = 0; channel < ChannelCount; ++channel) {
        for (int quantity = 0; quantity < LogQuantityCount; ++quantity) {
            const QTableWidgetItem *item = ui->twEnables->item(quantity, channel);
            enabled[channel][quantity] = item && item->checkState() == Qt::Checked;
        }
    }
    return enabled;
}

LogTimeStyle Logger::timeStyle() const
{
    return ui->cbTimeStamp->currentIndex() == 1 ? LogTimeStyle::Iso : LogTimeStyle::Clock;
}

void Logger::on_pbStart_clicked()
{
    const bool logging = ui->pbStart->isChecked();
    setSettingsEnabled(!logging);
    if (!logging) {
        timer->stop();
        return;
    }

    const QString fileName = ui->leFileName->text();
    if (fileName.isEmpty()) {
        // A run without a file would read the unit for nothing and leave no trace.
        stayIdle();
        QMessageBox::warning(this, tr("Warning"),
                             tr("The \"%1\" is empty: enter the file the rows go to.\n"
                                "Logging has not started.")
                                 .arg(ui->label->text()));
        return;
    }
    timer->setInterval(ui->sbTimeOut->value() * 1000);
    rowFailureReported = false;
    // The chooser's own replace question answered for the file as it was then: this run only.
    const bool replaceAgreed = !chosenToReplace.isEmpty() && fileName == chosenToReplace;
    chosenToReplace.clear();
    const QByteArray header = logHeader(enables());
    const LogFileContent content = logFileContent(fileName, header);
    Earlier earlier = Earlier::Replace;
    // A file that can take this run's rows below its own is worth the question even when the
    // chooser asked already: going on with it is what the operator may have meant.
    if (content == LogFileContent::SameHeader
        || (content == LogFileContent::Other && !replaceAgreed))
        earlier = askAboutEarlierRun(fileName, content == LogFileContent::SameHeader);
    if (earlier == Earlier::Keep) {
        stayIdle();
        return;
    }
    if (earlier == Earlier::Replace) {
        const Result<void> written = writeLogLine(fileName, header, LogLineMode::Truncate);
        if (!written) {
            // A run that cannot write its file would look like logging and leave nothing behind.
            stayIdle();
            QMessageBox::warning(
                this, tr("Warning"),
                tr("The log file %1 cannot be written: %2.\nLogging has not started.")
                    .arg(shownName(fileName), written.error()));
            return;
        }
    }
    runHeader = header;
    awaySince = QDateTime();
    ui->lbUnit->clear();
    ui->chart->startRun(enables());
    ++runNumber;
    timer->start();
}

bool Logger::isLogging() const
{
    return timer->isActive();
}

void Logger::unitWentAway(const QDateTime &when)
{
    if (awaySince.isValid())
        return;
    awaySince = when;
    ui->lbUnit->setText(tr("%1: the unit went away; waiting for it.").arg(shownTime(when)));
}

void Logger::unitCameBack(const QDateTime &when, const QString &portName)
{
    const QString since = awaySince.isValid() ? shownTime(awaySince) : tr("unnoticed");
    awaySince = QDateTime();
    ui->lbUnit->setText(tr("%1: the unit is back on %2 (away since %3).")
                            .arg(shownTime(when), QDir::toNativeSeparators(portName), since));
}

void Logger::stopForAnotherUnit(const QString &portName, const QString &serialNumber)
{
    timer->stop();
    stayIdle();
    ui->lbUnit->clear();
    auto *box = new QMessageBox(
        QMessageBox::Warning, tr("Warning"),
        tr("Another unit (serial number %1) is attached on %2, where the logged unit was. "
           "Logging has stopped, so that no reading of it joins this run.")
            .arg(serialNumber.isEmpty() ? tr("none") : serialNumber,
                 QDir::toNativeSeparators(portName)),
        QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void Logger::stayIdle()
{
    ui->pbStart->setChecked(false);
    setSettingsEnabled(true);
}

// A new run empties its file: the rows of an earlier run are replaced only when the operator
// says so, or continued when they have the columns this run would write.
Logger::Earlier Logger::askAboutEarlierRun(const QString &fileName, bool appendable)
{
    QMessageBox box(QMessageBox::Question, tr("Log file"),
                    tr("The log file %1 already holds data. Replace it?").arg(shownName(fileName)),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    QPushButton *append = nullptr;
    if (appendable) {
        append = box.addButton(tr("Append"), QMessageBox::AcceptRole);
        append->setToolTip(tr("Adds this run's rows below the earlier ones"));
    }
    box.exec();
    if (append && box.clickedButton() == append)
        return Earlier::Append;
    return box.clickedButton() == box.button(QMessageBox::Yes) ? Earlier::Replace : Earlier::Keep;
}

void Logger::on_tbFileName_clicked()
{
    qCDebug(loggerLog, "File name");
    const QString chosen = QFileDialog::getSaveFileName(
        this, tr("Logging file..."), chooserStart(ui->leFileName->text()), QString());
    if (!chosen.isEmpty()) {
        ui->leFileName->setText(chosen);
        chosenToReplace = chosen;
    }
}

void Logger::dataUpdated()
{
    qCDebug(loggerLog, "update");
    // Rows belong to a running log only: a read that was under way when the operator stopped or
    // closed the window completes afterwards and must not add to the file.
    if (!timer->isActive())
        return;
    const QString fileName = ui->leFileName->text();
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray row = logRow(logTimeText(now, timeStyle()), readings, enables());
    const Result<void> written = appendLogRow(fileName, runHeader, row);
    if (!written) {
        reportRowFailure(fileName, written.error());
        return;
    }
    // The chart shows what the file got, no more.
    ui->chart->addRow(now, readings);
}

void Logger::on_pbSaveChart_clicked()
{
    const QString fileName = chartImageName(ui->leFileName->text());
    if (QFileInfo::exists(fileName)
        && QMessageBox::question(
               this, tr("Save chart"),
               tr("The picture %1 already exists. Replace it?").arg(shownName(fileName)),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    const QString error = ui->chart->saveImage(fileName);
    if (!error.isNull()) {
        QMessageBox::warning(
            this, tr("Warning"),
            tr("The chart cannot be saved as %1: %2.").arg(shownName(fileName), error));
    }
}

void Logger::reportRowFailure(const QString &fileName, const QString &error)
{
    if (rowFailureReported)
        return;
    rowFailureReported = true;
    // Not a blocking box: sampling goes on behind it, and the next tick tries the file again.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Warning"),
                                tr("A row could not be written to the log file %1: %2.\n"
                                   "Logging goes on and tries again at every sample.")
                                    .arg(shownName(fileName), error),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
