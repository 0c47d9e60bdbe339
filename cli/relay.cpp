// quadmeter-cli relay: switches a relay.
#include "cli/command.h"
#include "unit/unit.h"

#include <memory>

namespace {

class RelayCommand : public UnitCommand
{
public:
    RelayCommand()
    {
        name = QStringLiteral("relay");
        summary = cliText("switch a relay");
        description = cliText("Switches relay 1 or 2 of the unit on or off, then reads the relays\n"
                              "back: exit status 1 when the unit does not report the new state.");
        arguments = {{QStringLiteral("1|2"), cliText("the relay")},
                     {QStringLiteral("on|off"), cliText("what it is switched to")}};
    }

    bool take(const QCommandLineParser &, const QStringList &values, QString *error) override
    {
        const QString &which = values.at(0);
        const QString &state = values.at(1);
        if (which != QLatin1String("1") && which != QLatin1String("2")) {
            *error = cliText("the relay is 1 or 2");
            return false;
        }
        if (state != QLatin1String("on") && state != QLatin1String("off")) {
            *error = cliText("the relay is switched on or off");
            return false;
        }
        relay = which.toInt();
        on = state == QLatin1String("on");
        return true;
    }

private:
    int runOn(Unit &unit, const QString &) override
    {
        if (!unit.switchRelay(relay, on))
            return ExitFailure;
        // The unit acknowledges no switch: its own report of the relays says whether it took it.
        const Result<RelayStates> states = unit.readRelays();
        const QString title = QStringLiteral("Relay%1").arg(relay);
        if (!states) {
            say(cliText("%1: %2, so whether it switched is not known").arg(title, states.error()));
            return ExitFailure;
        }
        if ((relay == 1 ? states->relay1 : states->relay2) != on) {
            say(cliText("%1: the unit reports it %2")
                    .arg(title, on ? cliText("off") : cliText("on")));
            return ExitFailure;
        }
        return ExitSuccess;
    }

    int relay = 1;
    bool on = false;
};

} // namespace

std::unique_ptr<Command> makeRelayCommand()
{
    return std::make_unique<RelayCommand>();
}
