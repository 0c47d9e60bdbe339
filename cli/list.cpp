// quadmeter-cli list: the attached units.
#include "cli/command.h"
#include "link/unitports.h"
#include "unit/unit.h"

#include <memory>

namespace {

class ListCommand : public Command
{
public:
    ListCommand()
    {
        name = QStringLiteral("list");
        summary = cliText("the attached units: port name, vendor:product");
        description = cliText(
            "The ports that carry the unit's USB identifiers, one line each: the port name\n"
            "and vendor:product (ttyACM0 0483:5740). Exit status 1 when no unit is attached.");
        // It looks for every unit, so it opens none.
        takesPort = false;
    }

    bool take(const QCommandLineParser &, const QStringList &, QString *) override { return true; }

    int run(const CommonOptions &) override
    {
        Unit unit;
        const QStringList attached = unit.attachedUnits();
        if (attached.isEmpty()) {
            say(cliText("no unit attached"));
            return ExitFailure;
        }
        const QString ids = QStringLiteral("%1:%2")
                                .arg(UnitVendorId, 4, 16, QLatin1Char('0'))
                                .arg(UnitProductId, 4, 16, QLatin1Char('0'));
        for (const QString &name : attached)
            print((name + QLatin1Char(' ') + ids + QLatin1Char('\n')).toUtf8());
        return ExitSuccess;
    }
};

} // namespace

std::unique_ptr<Command> makeListCommand()
{
    return std::make_unique<ListCommand>();
}
