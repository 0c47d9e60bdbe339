#include "app/comportdialog.h"
#include "app/dialog.h"
#include "logging/logger.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>

namespace {

// The operator refused to choose among several units; the tool cannot go on without one.
constexpr int RefusedChoiceExitStatus = 1;

} // namespace

bool Dialog::openSerialPort()
{
    if (unit->isOpen())
        return true;
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
        qDebug().noquote() << name;
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
    if (unit->open(name).ok())
        return true;
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
