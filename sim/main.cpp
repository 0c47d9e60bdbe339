// quadmeter-sim: a simulated unit on a pseudo-terminal, for working with the tool or a serial
// terminal without the hardware. Prints the port's path as its first line, then serves until
// stdin closes or SIGINT/SIGTERM arrives.
#include "sim/options.h"
#include "sim/ptyhost.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void putInBath(PtyHost &host, const std::pair<int, std::optional<double>> &bath)
{
    host.withFirmware([&](Firmware &unit) { unit.setBath(bath.first, bath.second); });
}

// Lines on stdin: "hangup" unplugs the unit, "replug" brings it back and prints the new path,
// "bath 1 273.15" holds a channel's sensor at a temperature.
void obey(PtyHost &host, const QByteArray &line, QTextStream &out)
{
    const QByteArray command = line.trimmed();
    const QList<QByteArray> words = command.simplified().split(' ');
    if (words.size() == 3 && words.first() == "bath") {
        if (const auto bath
            = parseBath(QString::fromUtf8(words.at(1)), QString::fromUtf8(words.at(2))))
            putInBath(host, *bath);
        else
            QTextStream(stderr) << "quadmeter-sim: bath wants a channel 1-4 and a temperature "
                                   "in kelvin or off, as in \"bath 1 273.15\"\n";
    } else if (command == "hangup") {
        host.hangUp();
    } else if (command == "replug") {
        if (host.replug())
            out << host.portPath() << Qt::endl;
        else
            QTextStream(stderr) << "quadmeter-sim: cannot open a new pseudo-terminal\n";
    } else if (!command.isEmpty()) {
        QTextStream(stderr) << "quadmeter-sim: unknown command " << command
                            << " (hangup, replug, bath)\n";
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quadmeter-sim");
    const SimOptions options = parseSimOptions(QCoreApplication::arguments());
    QTextStream out(stdout);
    if (!options.error.isEmpty()) {
        QTextStream(stderr) << "quadmeter-sim: " << options.error << "\n\n" << simUsage();
        return 2;
    }
    if (options.help) {
        out << simUsage();
        return 0;
    }
    if (options.version) {
        out << "quadmeter-sim " QUADMETER_VERSION "\n";
        return 0;
    }

    // Block the stop signals before the serving thread exists, so that it inherits the mask
    // and they are taken here, through a descriptor.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);

    PtyHost host(options.eepromFile);
    host.setMisbehaviour(options.misbehaviour);
    for (const auto &bath : options.baths)
        putInBath(host, bath);
    if (!host.start()) {
        QTextStream(stderr) << "quadmeter-sim: cannot open a pseudo-terminal\n";
        return 1;
    }
    out << host.portPath() << Qt::endl;

    QByteArray line;
    for (;;) {
        pollfd fds[2]
            = {{signalFd, POLLIN, 0}, {options.watchStdin ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents) {
            char buffer[256];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                break;
            line.append(buffer, int(n));
            for (int end = line.indexOf('\n'); end >= 0; end = line.indexOf('\n')) {
                obey(host, line.left(end), out);
                line.remove(0, end + 1);
            }
        }
    }
    host.stop();
    return 0;
}
