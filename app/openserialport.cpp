#include "app/comportdialog.h"
#include "app/dialog.h"
#include "unit/unit.h"
#include "windows/logger.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QLoggingCategory>
#include <QMessageBox>

// The main window's debug lines: off unless asked for ("quadmeter.app.debug=true").
Q_LOGGING_CATEGORY(appLog, "quadmeter.app", QtInfoMsg)

namespace {

// The operator refused to choose among several units; the tool cannot go on without one.
constexpr int RefusedChoiceExitStatus = 1;

} // namespace

bool Dialog::openSerialPort()
{
    if (unit->isOpen())
        return true;
    if (followsRunUnit())
        return reopenRunUnit();
    const QStringList units = findUnits();
    QString chosen;
    if (units.isEmpty() || !chooseUnit(units, chosen))
        return false;
    // A call made while this one waited for the operator may have opened the port meanwhile.
    if (unit->isOpen())
        return true;
    return openUnit(chosen);
}

QStringList Dialog::findUnits()
{
    const QStringList units = unit->attachedUnits();
    for (const QString &name : units)
        qCDebug(appLog).noquote() << name;
    if (units.isEmpty() && tellOpeningFailure())
        QMessageBox::critical(nullptr, tr("Fatal Error"), tr("There is no any connected devices"));
    return units;
}

bool Dialog::chooseUnit(const QStringList &units, QString &chosen)
{
    chosen = units.first();
    if (units.size() == 1)
        return true;
    ComPortDialog chooser;
    chooser.setPortNames(units);
    if (chooser.exec() != QDialog::Accepted) {
        QMessageBox::warning(nullptr, tr("Warning"),
                             tr("You must choose real COM port name!!!") + QStringLiteral("\r\n")
                                 + tr("Application will be closed!!!"));
        QCoreApplication::exit(RefusedChoiceExitStatus);
        return false;
    }
    chosen = chooser.selectedPortName();
    return true;
}

bool Dialog::openUnit(const QString &name)
{
    if (unit->open(name).ok()) {
        openedPort = name;
        return true;
    }
    if (tellOpeningFailure())
        QMessageBox::critical(nullptr, tr("Fatal error"), tr("Can't open device"));
    return false;
}

bool Dialog::tellOpeningFailure()
{
    if (!logger || !logger->isLogging())
        return true;
    if (runToldOfFailure == logger->run())
        return false;
    runToldOfFailure = logger->run();
    return true;
}

bool Dialog::followsRunUnit() const
{
    return logger && logger->isLogging() && runOfUnit == logger->run();
}

void Dialog::followRunUnit()
{
    if (!logger || !logger->isLogging() || followsRunUnit())
        return;
    runOfUnit = logger->run();
    runUnit = {openedPort, QString()};
    for (const PortEntry &entry : ports()) {
        if (entry.portName == runUnit.portName)
            runUnit.serialNumber = entry.serialNumber;
    }
}

// Quiet while the unit is away: the Logger shows it in a line, and every tick looks again.
bool Dialog::reopenRunUnit()
{
    const QList<PortEntry> listed = ports();
    const QString name = portOfUnit(listed, runUnit);
    if (name.isEmpty()) {
        if (isAnotherUnit(listed, runUnit)) {
            QString other;
            for (const PortEntry &entry : listed) {
                if (entry.portName == runUnit.portName)
                    other = entry.serialNumber;
            }
            logger->stopForAnotherUnit(runUnit.portName, other);
        }
        return false;
    }
    if (!unit->open(name).ok())
        return false;
    openedPort = name;
    logger->unitCameBack(QDateTime::currentDateTime(), name);
    return true;
}
