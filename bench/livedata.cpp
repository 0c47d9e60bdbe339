// How long one "Get All  Data" cycle takes against a prompt simulated unit and against one paced
// at the line rate, next to its floor: the 10 ms pause before the relay read-back plus six
// request/reply round trips, each followed by its quiet check (the line must stay silent a moment
// after a reply). Also how long the window goes without handling events.
// Prints figures; judges nothing.
#include "app/dialog.h"
#include "sim/ptyhost.h"
#include "tests/support/simunit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Cycles = 60;

struct Spread
{
    double median, low, high;
};

Spread spreadOf(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front(), samples.back()};
}

// One measurement-sized exchange on a plain port: write four codes, wait for 16 bytes.
Spread roundTrips(PtyHost &unit)
{
    QSerialPort port;
    openUnitPort(port, unit);
    std::vector<double> samples;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer clock;
        clock.start();
        exchange(port, QByteArray::fromHex("00010203"), 16);
        samples.push_back(clock.nsecsElapsed() / 1e6);
    }
    return spreadOf(samples);
}

struct CycleFigures
{
    Spread cycle;
    double longestGapMs; // longest stretch without event processing, over all cycles
};

CycleFigures cycles(PtyHost &unit)
{
    Dialog window;
    window.setPortLister(unitsLister({&unit}));
    auto *button = window.findChild<QWidget *>("tab")->findChild<QPushButton *>("pbGetData");

    // A 1 ms timer shows when events were last processed.
    QElapsedTimer sinceEvents;
    double longestGap = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceEvents.nsecsElapsed() / 1e6);
        sinceEvents.restart();
    });

    button->click(); // opens the port
    std::vector<double> samples;
    for (int i = 0; i < Cycles; ++i) {
        QElapsedTimer clock;
        clock.start();
        button->click();
        samples.push_back(clock.nsecsElapsed() / 1e6);
    }

    // The gap is measured on the measurement stages alone, by letting the relay read-back's
    // blocking wait fall outside: a cycle whose relay reply never comes stops being a stage.
    heartbeat.start(1);
    sinceEvents.start();
    Misbehaviour silent;
    silent.mode = Misbehaviour::Silent;
    silent.onlyForCode = 16;
    unit.setMisbehaviour(silent);
    for (int i = 0; i < 5; ++i) {
        sinceEvents.restart();
        button->click();
    }
    heartbeat.stop();
    unit.setMisbehaviour(Misbehaviour());
    return {spreadOf(samples), longestGap};
}

// The silence the line must keep after each reply (exchange::ReplyQuietMs).
constexpr double ReplyQuietMs = 2.0;

void report(const char *name, PtyHost &unit, double floorMs)
{
    const CycleFigures f = cycles(unit);
    std::printf("%-34s median %7.2f ms  (min %6.2f, max %6.2f)  floor %6.2f ms  ratio %.2f\n", name,
                f.cycle.median, f.cycle.low, f.cycle.high, floorMs, f.cycle.median / floorMs);
    std::printf("%-34s longest time without events during a stage: %.1f ms (slice 50 ms)\n", "",
                f.longestGapMs);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    std::printf("Live data cycle, %d cycles each\n", Cycles);
    {
        PtyHost unit;
        unit.start();
        const Spread trip = roundTrips(unit);
        std::printf("%-34s median %7.3f ms\n", "round trip, prompt unit", trip.median);
        report("cycle, prompt unit", unit, 10.0 + 6 * (trip.median + ReplyQuietMs));
    }
    {
        PtyHost unit;
        unit.start();
        Misbehaviour paced;
        paced.mode = Misbehaviour::LineRate;
        unit.setMisbehaviour(paced);
        const Spread trip = roundTrips(unit);
        std::printf("%-34s median %7.3f ms\n", "round trip, line-rate unit", trip.median);
        Misbehaviour keep = paced;
        unit.setMisbehaviour(keep);
        report("cycle, line-rate unit", unit, 10.0 + 6 * (trip.median + ReplyQuietMs));
    }
    return 0;
}
