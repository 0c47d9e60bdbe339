#include "exporter/metricstext.h"

#include <charconv>
#include <cmath>

namespace {

struct Family
{
    const char *name;
    const char *type;
    const char *help;
};

// The five quantities of the data table, in base units.
constexpr Family quantityFamilies[] = {
    {"quadmeter_adc_raw", "gauge", "Raw ADC count of the channel."},
    {"quadmeter_current_voltage_volts", "gauge", "Sensor voltage of the channel, in volts."},
    {"quadmeter_ac_voltage_volts", "gauge", "AC voltage picked up on the channel, in volts."},
    {"quadmeter_resistance_ohms", "gauge", "Sensor resistance of the channel, in ohms."},
    {"quadmeter_temperature_kelvin", "gauge", "Temperature of the channel, in kelvin."},
};
constexpr Family relayFamily
    = {"quadmeter_relay_on", "gauge", "1 when the relay is switched on, 0 when off."};
constexpr Family upFamily
    = {"quadmeter_up", "gauge", "1 when the last reading of the unit came complete, 0 otherwise."};
constexpr Family readingsFamily
    = {"quadmeter_readings_total", "counter", "Readings of the unit tried, failed ones included."};
constexpr Family failuresFamily = {"quadmeter_reading_failures_total", "counter",
                                   "Readings of the unit that did not come complete."};
constexpr Family lastReadingFamily = {"quadmeter_last_reading_timestamp_seconds", "gauge",
                                      "When the last complete reading of the unit was taken."};

// The labels that tell the units apart, without braces: port="ttyACM0",serial="…".
QByteArray unitLabels(const UnitMetrics &unit)
{
    QByteArray labels = "port=\"" + labelValue(unit.port) + '"';
    // Prometheus reads an empty label as no label at all, so an unknown serial is left out.
    if (!unit.serial.isEmpty())
        labels += ",serial=\"" + labelValue(unit.serial) + '"';
    return labels;
}

class Page
{
public:
    explicit Page(const QList<UnitMetrics> &units)
        : units(units)
    { }

    // One family: its HELP and TYPE, then one sample per unit for which `sample` gives any. A
    // family without samples is left out as a whole.
    template<typename Sample> void family(const Family &f, Sample sample)
    {
        QByteArray samples;
        for (const UnitMetrics &unit : units)
            sample(unit, unitLabels(unit), samples);
        if (samples.isEmpty())
            return;
        text += QByteArray("# HELP ") + f.name + ' ' + f.help + "\n# TYPE " + f.name + ' ' + f.type
            + '\n' + samples;
    }

    QByteArray text;

private:
    const QList<UnitMetrics> &units;
};

void line(QByteArray &out, const char *name, const QByteArray &labels, const QByteArray &value)
{
    out += name;
    out += '{';
    out += labels;
    out += "} ";
    out += value;
    out += '\n';
}

QByteArray quantityValue(const ChannelData &channel, int quantity)
{
    switch (quantity) {
    case 0:
        return QByteArray::number(channel.adcData);
    case 1:
        return sampleValue(channel.currentVoltage);
    case 2:
        return sampleValue(channel.acVoltage);
    case 3:
        return sampleValue(channel.resistance);
    default:
        return sampleValue(channel.temperature);
    }
}

template<typename T> QByteArray shortest(T value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, int(result.ptr - buffer));
}

} // namespace

QByteArray sampleValue(float value)
{
    return shortest(value);
}

QByteArray sampleValue(double value)
{
    return shortest(value);
}

QByteArray labelValue(const QString &value)
{
    QByteArray escaped;
    const QByteArray utf8 = value.toUtf8();
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

QByteArray metricsText(const QList<UnitMetrics> &units)
{
    Page page(units);
    for (int quantity = 0; quantity < QuantityCount; ++quantity) {
        const Family &f = quantityFamilies[quantity];
        page.family(f, [&](const UnitMetrics &unit, const QByteArray &labels, QByteArray &out) {
            if (!unit.up)
                return;
            // Channels are counted from 1, as on the pages of the tool.
            for (int channel = 0; channel < ChannelCount; ++channel)
                line(out, f.name, "channel=\"" + QByteArray::number(channel + 1) + "\"," + labels,
                     quantityValue(unit.channels[size_t(channel)], quantity));
        });
    }
    page.family(relayFamily,
                [](const UnitMetrics &unit, const QByteArray &labels, QByteArray &out) {
                    if (!unit.up || !unit.relays)
                        return;
                    for (int relay = 0; relay < RelayCount; ++relay)
                        line(out, relayFamily.name,
                             "relay=\"" + QByteArray::number(relay + 1) + "\"," + labels,
                             (*unit.relays)[size_t(relay)] ? "1" : "0");
                });
    page.family(upFamily, [](const UnitMetrics &unit, const QByteArray &labels, QByteArray &out) {
        line(out, upFamily.name, labels, unit.up ? "1" : "0");
    });
    page.family(readingsFamily,
                [](const UnitMetrics &unit, const QByteArray &labels, QByteArray &out) {
                    line(out, readingsFamily.name, labels, QByteArray::number(unit.readings));
                });
    page.family(failuresFamily,
                [](const UnitMetrics &unit, const QByteArray &labels, QByteArray &out) {
                    line(out, failuresFamily.name, labels, QByteArray::number(unit.failures));
                });
    page.family(lastReadingFamily,
                [](const UnitMetrics &unit, const QByteArray &labels, QByteArray &out) {
                    if (unit.lastReadingMs)
                        line(out, lastReadingFamily.name, labels,
                             sampleValue(double(*unit.lastReadingMs) / 1000));
                });
    return page.text;
}
