#include "sim/firmware.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Command codes as the unit's firmware knows them.
enum : int {
    measureFirst = 0,
    measureLast = 19,
    setGainFirst = 20,
    getGainFirst = 24,
    setRelay1 = 28,
    setRelay2 = 29,
    getRelay1 = 30,
    getRelay2 = 31,
    getTempTable = 32,
    setTempTable = 33,
    writeEeprom = 34,
};

constexpr double pi = 3.14159265358979323846;
constexpr double adcFullScale = 16777216.0; // 24-bit converter
constexpr double adcReference = 2.5; // volts

enum SensorKind { Platinum, Hopping };

// One channel's sensor and its slow drift around the working point.
struct Sensor
{
    SensorKind kind;
    double baseKelvin;
    double driftKelvin; // amplitude
    double driftPeriod; // seconds
    double excitation; // amperes
    double tableLow, tableHigh; // kelvin, span of the factory table
    double scaleOhms; // hopping sensors: the resistance's prefactor
    double deviation; // the specimen's resistance over its nominal curve's, as real sensors stray
};

constexpr Sensor firstUnitSensors[Firmware::channelCount] = {
    {Platinum, 295.0, 0.3, 900.0, 1e-3, 75.0, 475.0, 1.0, 1.0012},
    {Hopping, 77.4, 0.4, 600.0, 10e-6, 1.4, 325.0, 25.0, 1.003},
    {Hopping, 20.3, 0.1, 700.0, 10e-6, 1.4, 325.0, 25.0, 0.996},
    {Hopping, 4.22, 0.02, 800.0, 10e-6, 1.4, 325.0, 25.0, 1.002},
};

// Units on one bench have sensors of their own: each further unit's platinum sensor sits 10 K
// warmer, and its cryogenic sensors are specimens of a tenth more resistance.
Sensor sensorOf(int unit, int channel)
{
    Sensor s = firstUnitSensors[channel];
    if (s.kind == Platinum)
        s.baseKelvin += 10.0 * unit;
    else
        s.scaleOhms *= 1.0 + 0.1 * unit;
    return s;
}

// Platinum 100-ohm thermometer, industrial coefficients, valid from 73 K to 1123 K.
double platinumResistance(double kelvin)
{
    const double t = kelvin - 273.15;
    const double a = 3.9083e-3, b = -5.775e-7, c = t < 0 ? -4.183e-12 : 0.0;
    return 100.0 * (1 + a * t + b * t * t + c * (t - 100) * t * t * t);
}

// Cryogenic sensor whose conduction is by hopping: steep at helium temperatures, flat near room.
double hoppingResistance(double scaleOhms, double kelvin)
{
    return scaleOhms * std::exp(std::sqrt(80.0 / kelvin));
}

double resistanceAt(const Sensor &s, double kelvin)
{
    return s.kind == Platinum ? platinumResistance(kelvin) : hoppingResistance(s.scaleOhms, kelvin);
}

quint32 floatBits(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float bitsFloat(quint32 bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float readFloat(const char *at)
{
    return bitsFloat(qFromLittleEndian<quint32>(at));
}

void appendWord(QByteArray &out, quint32 word)
{
    char bytes[4];
    qToLittleEndian(word, bytes);
    out.append(bytes, 4);
}

void appendFloat(QByteArray &out, float value)
{
    appendWord(out, floatBits(value));
}

bool validChannel(int channel)
{
    return channel >= 0 && channel < Firmware::channelCount;
}

} // namespace

float interpolateTemperature(const std::array<std::pair<float, float>, Firmware::tableRows> &rows,
                             float resistance)
{
    const std::pair<float, float> *previous = nullptr;
    const std::pair<float, float> *nearest = nullptr;
    for (const auto &row : rows) {
        if (row.first == 0.0f && row.second == 0.0f)
            continue;
        if (!nearest || std::fabs(row.first - resistance) < std::fabs(nearest->first - resistance))
            nearest = &row;
        if (previous) {
            const double r0 = previous->first, r1 = row.first;
            if ((resistance >= r0 && resistance <= r1) || (resistance <= r0 && resistance >= r1)) {
                if (r1 == r0)
                    return previous->second;
                const double f = (resistance - r0) / (r1 - r0);
                return float(previous->second + f * (row.second - previous->second));
            }
        }
        previous = &row;
    }
    return nearest ? nearest->second : 0.0f;
}

Firmware::Firmware(const QByteArray &eepromImage, int unit)
    : eeprom(eepromImage.size() == eepromSize ? eepromImage : factoryEeprom(unit))
    , unit(unit)
{
    loadFrom(eeprom);
}

QByteArray Firmware::factoryEeprom(int unit)
{
    QByteArray image;
    for (int channel = 0; channel < channelCount; ++channel) {
        const Sensor s = sensorOf(unit, channel);
        appendFloat(image, 1.0f);
        for (int row = 0; row < tableRows; ++row) {
            // Platinum is nearly linear, so even steps; the cryogenic sensors get steps that
            // are even in log T, dense where their resistance changes fastest.
            const double f = double(row) / (tableRows - 1);
            const double kelvin = s.kind == Platinum
                ? s.tableLow + f * (s.tableHigh - s.tableLow)
                : s.tableLow * std::pow(s.tableHigh / s.tableLow, f);
            appendFloat(image, float(resistanceAt(s, kelvin)));
            appendFloat(image, float(kelvin));
        }
    }
    return image;
}

void Firmware::loadFrom(const QByteArray &image)
{
    const char *at = image.constData();
    for (Calibration &c : ram) {
        c.gain = readFloat(at);
        at += 4;
        for (auto &row : c.rows) {
            row = {readFloat(at), readFloat(at + 4)};
            at += 8;
        }
    }
}

QByteArray Firmware::imageOfRam() const
{
    QByteArray image;
    image.reserve(eepromSize);
    for (const Calibration &c : ram) {
        appendFloat(image, c.gain);
        for (const auto &row : c.rows) {
            appendFloat(image, row.first);
            appendFloat(image, row.second);
        }
    }
    return image;
}

// Length of the request at the head of `pending`, or 0 while that cannot be told yet.
int Firmware::requestLength() const
{
    const int code = quint8(pending.at(0));
    if (code >= setGainFirst && code < getGainFirst)
        return 5;
    if (code == setRelay1 || code == setRelay2)
        return 2;
    if (code == getTempTable)
        return 4;
    if (code == setTempTable)
        return pending.size() < 4 ? 0 : 4 + 8 * quint8(pending.at(3));
    return 1;
}

QByteArray Firmware::feed(const QByteArray &bytes)
{
    pending.append(bytes);
    completedCodes.clear();
    QByteArray reply;
    while (!pending.isEmpty()) {
        const int length = requestLength();
        if (length == 0 || pending.size() < length)
            break;
        const QByteArray request = pending.left(length);
        pending.remove(0, length);
        completedCodes.append(quint8(request.at(0)));
        reply.append(execute(request));
    }
    return reply;
}

void Firmware::loseRequest(quint8 code, int passing)
{
    lostCode = code;
    lostAfter = passing;
}

void Firmware::keepOff(int channel, int row, int field)
{
    off = {channel, row, field};
}

QByteArray Firmware::execute(const QByteArray &request)
{
    const auto keep = [this](int channel, int row, int field, float value) {
        if (channel != off.channel || row != off.row || field != off.field)
            return value;
        off = {};
        return bitsFloat(floatBits(value) ^ 1u);
    };
    const int code = quint8(request.at(0));
    if (code == lostCode && lostAfter-- == 0) {
        lostCode = -1;
        return {};
    }
    const char *args = request.constData() + 1;
    QByteArray reply;
    if (code >= measureFirst && code <= measureLast) {
        appendWord(reply, measurement(code % 4, code / 4));
    } else if (code >= setGainFirst && code < getGainFirst) {
        ram[code - setGainFirst].gain = keep(code - setGainFirst, -1, 0, readFloat(args));
    } else if (code >= getGainFirst && code < setRelay1) {
        appendFloat(reply, ram[code - getGainFirst].gain);
    } else if (code == setRelay1 || code == setRelay2) {
        relays[code - setRelay1] = args[0] != 0;
    } else if (code == getRelay1 || code == getRelay2) {
        reply.append(char(relays[code - getRelay1] ? 1 : 0));
    } else if (code == getTempTable || code == setTempTable) {
        const int channel = quint8(args[0]);
        const int first = quint8(args[1]);
        const int count = quint8(args[2]);
        for (int row = first; row < first + count; ++row) {
            const bool exists = validChannel(channel) && row < tableRows;
            if (code == getTempTable) {
                const auto value = exists ? ram[channel].rows[row] : std::pair(0.0f, 0.0f);
                appendFloat(reply, value.first);
                appendFloat(reply, value.second);
            } else if (exists) {
                const char *entry = args + 3 + 8 * (row - first);
                ram[channel].rows[row] = {keep(channel, row, 0, readFloat(entry)),
                                          keep(channel, row, 1, readFloat(entry + 4))};
            }
        }
    } else if (code == writeEeprom) {
        eeprom = imageOfRam();
    }
    return reply;
}

quint32 Firmware::measurement(int channel, int quantity) const
{
    if (!validChannel(channel) || quantity < 0 || quantity >= quantityCount)
        return 0;
    if (forced[channel][quantity])
        return *forced[channel][quantity];

    const Sensor s = sensorOf(unit, channel);
    const double g = ram[channel].gain;
    // The programmable amplifier follows the stored gain; a gain it cannot set leaves the
    // converter reading zero.
    const bool gainUsable = std::isfinite(g) && g > 0;
    const double sensorVolts = sensorResistance(channel) * s.excitation;
    const double counts = gainUsable
        ? std::clamp(std::round(sensorVolts * g / adcReference * adcFullScale), 0.0,
                     adcFullScale - 1)
        : 0.0;
    const double volts = gainUsable ? counts * adcReference / adcFullScale / g : 0.0;
    const float ohms = float(volts / s.excitation);
    switch (quantity) {
    case 0:
        return quint32(counts);
    case 1:
        return floatBits(float(volts));
    case 2:
        return floatBits(float(2e-6 + 0.5e-6 * std::sin(2 * pi * 0.37 * now + channel)));
    case 3:
        return floatBits(ohms);
    default:
        return floatBits(interpolateTemperature(ram[channel].rows, ohms));
    }
}

double Firmware::trueTemperature(int channel) const
{
    if (!validChannel(channel))
        return 0.0;
    if (baths[channel])
        return *baths[channel];
    const Sensor s = sensorOf(unit, channel);
    return s.baseKelvin + s.driftKelvin * std::sin(2 * pi * now / s.driftPeriod + channel + unit);
}

double Firmware::sensorResistance(int channel) const
{
    if (!validChannel(channel))
        return 0.0;
    const Sensor s = sensorOf(unit, channel);
    return resistanceAt(s, trueTemperature(channel)) * s.deviation;
}

void Firmware::setBath(int channel, std::optional<double> kelvin)
{
    if (validChannel(channel))
        baths[channel] = kelvin;
}

bool Firmware::relay(int which) const
{
    return (which == 1 || which == 2) && relays[which - 1];
}

void Firmware::setRelay(int which, bool on)
{
    if (which == 1 || which == 2)
        relays[which - 1] = on;
}

float Firmware::gain(int channel) const
{
    return validChannel(channel) ? ram[channel].gain : 0.0f;
}

void Firmware::setGain(int channel, float value)
{
    if (validChannel(channel))
        ram[channel].gain = value;
}

std::pair<float, float> Firmware::tableRow(int channel, int row) const
{
    if (!validChannel(channel) || row < 0 || row >= tableRows)
        return {0.0f, 0.0f};
    return ram[channel].rows[row];
}

void Firmware::setTableRow(int channel, int row, float resistance, float temperature)
{
    if (validChannel(channel) && row >= 0 && row < tableRows)
        ram[channel].rows[row] = {resistance, temperature};
}

void Firmware::forceRaw(int channel, int quantity, quint32 bits)
{
    if (validChannel(channel) && quantity >= 0 && quantity < quantityCount)
        forced[channel][quantity] = bits;
}

void Firmware::clearForced()
{
    forced = {};
}

void Firmware::advanceTime(double seconds)
{
    if (seconds > 0)
        now += seconds;
}
