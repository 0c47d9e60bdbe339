#include "logging/logger.h"
#include "ui_logger.h"

#include "app/dialog.h"
#include "logging/chartseries.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

namespace {

enum class LineMode { Truncate, Append };

// Opens the file for this one line and closes it again, so the log can be read or copied at any
// time and a closed window leaves no open handle. Returns the reason when the line did not land.
QString writeLogLine(const QString &fileName, const QByteArray &line, LineMode mode)
{
    QFile file(fileName);
    // Unbuffered: a failed write must not linger in a buffer that close() would try again after
    // the half line has been cut off.
    const QIODevice::OpenMode openMode = QIODevice::WriteOnly | QIODevice::Unbuffered
        | (mode == LineMode::Truncate ? QIODevice::Truncate : QIODevice::Append);
    if (!file.open(openMode))
        return file.errorString();
    const qint64 lineStart = file.size();
    if (file.write(line) != line.size()) {
        // A write cut short (the file size limit reached) sets no error of its own.
        const QString error = file.error() == QFileDevice::NoError
            ? QCoreApplication::translate("Logger", "only part of the line could be written")
            : file.errorString();
        // A half row (the disk filled up mid-line) would glue itself to the next row.
        file.resize(lineStart);
        return error;
    }
    return QString();
}

QString shownName(const QString &fileName)
{
    return QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
}

} // namespace

Logger::Logger(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Logger)
    , timer(new QTimer(this))
{
    ui->setupUi(this);
    // The form's size is the least the window may have; the chart asks for more room.
    resize(sizeHint().expandedTo(minimumSize()));

    for (int column = 0; column < LogChannelCount; ++column) {
        for (int row = 0; row < LogQuantityCount; ++row) {
            auto *item = new QTableWidgetItem;
            item->setCheckState(Qt::Checked);
            ui->twEnables->setItem(row, column, item);
        }
    }

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
    ui->tbFileName->setEnabled(enabled);
    ui->twEnables->setEnabled(enabled);
}

LogEnables Logger::enables() const
{
    LogEnables enabled;
    for (int channel = 0; channel < LogChannelCount; ++channel) {
        for (int quantity = 0; quantity < LogQuantityCount; ++quantity) {
            const QTableWidgetItem *item = ui->twEnables->item(quantity, channel);
            enabled[channel][quantity] = item && item->checkState() == Qt::Checked;
        }
    }
    return enabled;
}

void Logger::on_pbStart_clicked()
{
    const bool logging = ui->pbStart->isChecked();
    setSettingsEnabled(!logging);
    if (!logging) {
        timer->stop();
        return;
    }

    timer->setInterval(ui->sbTimeOut->value() * 1000);
    rowFailureReported = false;
    // With no file name the unit is still read at every tick; nothing is written.
    const QString fileName = ui->leFileName->text();
    if (!fileName.isEmpty()) {
        const QString error = writeLogLine(fileName, logHeader(enables()), LineMode::Truncate);
        if (!error.isNull()) {
            // A run that cannot write its file would look like logging and leave nothing behind.
            ui->pbStart->setChecked(false);
            setSettingsEnabled(true);
            QMessageBox::warning(
                this, tr("Warning"),
                tr("The log file %1 cannot be written: %2.\nLogging has not started.")
                    .arg(shownName(fileName), error));
            return;
        }
    }
    ui->chart->startRun(enables());
    timer->start();
}

void Logger::on_tbFileName_clicked()
{
    qDebug("File name");
    const QString chosen
        = QFileDialog::getSaveFileName(this, tr("Logging file..."), QString(), QString());
    if (!chosen.isEmpty())
        ui->leFileName->setText(chosen);
}

void Logger::dataUpdated()
{
    qDebug("update");
    auto *window = qobject_cast<Dialog *>(parent());
    if (!window)
        return;
    // Rows belong to a running log only: a read that was under way when the operator stopped or
    // closed the window completes afterwards and must not add to the file.
    if (!timer->isActive())
        return;
    const QString fileName = ui->leFileName->text();
    if (fileName.isEmpty())
        return;

    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray row = logRow(now.time(), window->channelData(), enables());
    const QString error = writeLogLine(fileName, row, LineMode::Append);
    if (!error.isNull()) {
        reportRowFailure(fileName, error);
        return;
    }
    // The chart shows what the file got, no more.
    ui->chart->addRow(now, window->channelData());
}

void Logger::on_pbSaveChart_clicked()
{
    const QString fileName = chartImageName(ui->leFileName->text());
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

void Dialog::on_pbLogger_clicked()
{
    Logger logger(this);
    connect(&logger, &Logger::updateData, this, &Dialog::GetData);
    connect(this, &Dialog::updatedData, &logger, &Logger::dataUpdated);
    logger.exec();
}
