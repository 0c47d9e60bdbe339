// quadmeter-cli store: "Write EEPROM".
#include "cli/command.h"
#include "unit/unit.h"

#include <memory>

namespace {

class StoreCommand : public UnitCommand
{
public:
    StoreCommand()
    {
        name = QStringLiteral("store");
        summary = cliText("make the unit keep its calibration in its EEPROM");
        description
            = cliText("Makes the unit keep the present calibration of all channels in its EEPROM\n"
                      "(\"Write EEPROM\"), once it answered a relay read; says \"stored\".");
        finishesTransfers = true;
    }

    bool take(const QCommandLineParser &, const QStringList &, QString *) override { return true; }

private:
    int runOn(Unit &unit, const QString &) override
    {
        if (stopIsRequested())
            return interrupted(cliText("nothing was stored"));
        const Result<void> stored = unit.storeEeprom();
        if (!stored) {
            say(cliText("the calibration was not stored: %1").arg(stored.error()));
            return ExitFailure;
        }
        print("stored\n");
        if (stopIsRequested())
            return interrupted(cliText("the calibration was stored"));
        return ExitSuccess;
    }
};

} // namespace

std::unique_ptr<Command> makeStoreCommand()
{
    return std::make_unique<StoreCommand>();
}
