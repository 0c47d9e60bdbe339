#pragma once

// The logging window: the operator picks a file, a period and the quantities to log; while it
// runs, every tick asks the main window for a fresh reading and each completed reading adds a row.
#include "logging/logformat.h"

#include <QDialog>

class QTimer;

namespace Ui {
class Logger;
}

class Logger : public QDialog
{
    Q_OBJECT

public:
    // `readings` are the four records of the latest complete reading, which every row logs.
    explicit Logger(const ChannelData *readings, QWidget *parent = nullptr);
    ~Logger() override;

    // Whether a run is going on, and which: each START begins a new one.
    bool isLogging() const;
    int run() const { return runNumber; }

    // What became of the run's unit, in a line beside START rather than a box at every tick.
    void unitWentAway(const QDateTime &when);
    void unitCameBack(const QDateTime &when, const QString &portName);
    // Another unit answers where the run's unit was: its readings are not this run's, so the run
    // ends and the operator is told once.
    void stopForAnotherUnit(const QString &portName, const QString &serialNumber);

signals:
    void updateData();

public slots:
    void dataUpdated();

private slots:
    void on_pbStart_clicked();
    void on_tbFileName_clicked();
    void on_pbSaveChart_clicked();

private:
    void setSettingsEnabled(bool enabled);
    void stayIdle();
    enum class Earlier { Replace, Append, Keep };
    Earlier askAboutEarlierRun(const QString &fileName, bool appendable);
    LogEnables enables() const;
    LogTimeStyle timeStyle() const;
    void reportRowFailure(const QString &fileName, const QString &error);

    const ChannelData *readings;
    Ui::Logger *ui;
    QTimer *timer;
    // A file that stops taking rows is reported once per run, not at every tick.
    bool rowFailureReported = false;
    // The file the chooser last picked; its own question about replacing it has been answered.
    QString chosenToReplace;
    int runNumber = 0;
    // What the run's file opens with, written again should the file vanish in the middle of it.
    QByteArray runHeader;
    QDateTime awaySince; // invalid while the run's unit is there
};
