// Every suite sees the debug lines the programs keep to themselves unless asked: tests record
// them and expect them. Compiled into each suite's executable, as nothing would call it from the
// support library.
#include <QCoreApplication>
#include <QLoggingCategory>

namespace {

void turnOnDebugLines()
{
    QLoggingCategory::setFilterRules(QStringLiteral("quadmeter.*.debug=true"));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(turnOnDebugLines)
