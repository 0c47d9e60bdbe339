// Round trip of one four-code measurement request through the simulated unit's pseudo-terminal
// on a real QSerialPort: write 00 01 02 03, read until 16 bytes are in. Prompt, paced at the line
// rate and in USB packets. Prints medians and spreads; judges nothing.
#include "sim/ptyhost.h"
#include "tests/support/simunit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Trips = 2000;

void measure(const char *name, Misbehaviour::Mode mode)
{
    PtyHost unit;
    unit.start();
    Misbehaviour m;
    m.mode = mode;
    unit.setMisbehaviour(m);
    QSerialPort port;
    if (!openUnitPort(port, unit)) {
        std::printf("%s: cannot open %s\n", name, qPrintable(unit.portPath()));
        return;
    }
    const QByteArray request = QByteArray::fromHex("00010203");
    std::vector<double> micros;
    micros.reserve(Trips);
    for (int i = 0; i < Trips; ++i) {
        QElapsedTimer clock;
        clock.start();
        port.write(request);
        port.flush();
        qint64 got = 0;
        while (got < 16 && port.waitForReadyRead(1000))
            got += port.readAll().size();
        micros.push_back(clock.nsecsElapsed() / 1000.0);
        if (got != 16)
            std::printf("%s: trip %d got %lld bytes\n", name, i, static_cast<long long>(got));
    }
    std::sort(micros.begin(), micros.end());
    std::printf(
        "%-12s median %7.1f us   10%% %7.1f us   90%% %7.1f us   max %8.1f us  (%d trips)\n", name,
        micros[Trips / 2], micros[Trips / 10], micros[Trips * 9 / 10], micros.back(), Trips);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    measure("prompt", Misbehaviour::Normal);
    measure("line rate", Misbehaviour::LineRate);
    measure("USB packets", Misbehaviour::UsbPackets);
    return 0;
}
