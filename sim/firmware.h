#pragma once

// Model of the four-channel unit's firmware: takes the byte stream the tool writes and returns
// the bytes the unit answers. Pure: no I/O, no threads, time moves only through advanceTime().
//
// What it does with requests the tool never sends:
//  - codes 35..255 are consumed one byte at a time and answered with nothing, so the unit
//    resynchronises on the next byte;
//  - a table command naming a channel other than 0..3 is consumed in full; a read answers its
//    count of entries as zero bytes, a write stores nothing;
//  - table rows outside 0..99 read as zero bytes and are not stored; a count of 0 reads nothing.
// Replies always have the length the request asks for, so the tool's length checks stay meaningful.
//
// Sensors of the first unit (true temperature drifts slowly around the value given, see
// advanceTime()):
//  channel 0: platinum 100-ohm thermometer near room temperature (295 K), 1 mA excitation;
//  channels 1..3: negative-coefficient cryogenic sensors, R = 25 ohm * exp(sqrt(80 K / T)), near
//  77.4 K, 20.3 K and 4.22 K, 10 uA excitation.
// Each sensor strays from its nominal curve as a real specimen does: channel 0's platinum has
// 100.12 ohms at the ice point, the cryogenic ones read 0.3 %, -0.4 % and 0.2 % off; the factory
// tables follow the nominal curves. A sensor put in a bath (setBath) stays at its temperature.
// Unit n (counted from 0) has its platinum sensor near 295 K + n * 10 K and cryogenic sensors of
// (1 + n / 10) times the resistance, so units side by side read differently.
// Each channel's 24-bit ADC (2.5 V reference) sees the sensor voltage times the channel gain;
// the unit reports that count, the sensor voltage worked back from it ("current voltage"), the
// resistance from that voltage, a few microvolts of AC pick-up, and the temperature it
// interpolates in the channel's calibration table from that resistance.
//
// EEPROM image: for each channel 0..3 in turn, the gain then 100 rows of resistance and
// temperature, all little-endian IEEE single floats (804 bytes a channel, 3216 in all).
#include <QByteArray>
#include <QList>

#include <array>
#include <optional>
#include <utility>

class Firmware
{
public:
    static constexpr int channelCount = 4;
    static constexpr int tableRows = 100;
    static constexpr int quantityCount = 5; // adc, current voltage, AC voltage, resistance, T
    static constexpr int eepromSize = channelCount * (4 + tableRows * 8);

    // An image of the wrong size (a damaged file) is replaced by the unit's factory image.
    explicit Firmware(const QByteArray &eepromImage = {}, int unit = 0);

    // Stream in; replies of the requests completed by these bytes come out, in order.
    QByteArray feed(const QByteArray &bytes);
    // The codes of the requests the last feed() completed, in order.
    QList<quint8> lastRequestCodes() const { return completedCodes; }
    // Bytes of a request still waiting for the rest of it.
    int pendingBytes() const { return int(pending.size()); }

    QByteArray eepromImage() const { return eeprom; }
    // What a fresh unit holds: gain 1 and a table fitted to each channel's sensor.
    static QByteArray factoryEeprom(int unit = 0);

    // Test access to the unit's state (the RAM copy). Bad indexes read as off/0 and are ignored
    // on writes.
    bool relay(int which /*1 or 2*/) const;
    void setRelay(int which, bool on);
    float gain(int channel) const;
    void setGain(int channel, float value);
    std::pair<float, float> tableRow(int channel, int row) const;
    void setTableRow(int channel, int row, float resistance, float temperature);

    // Force the next measurement values of one quantity (0..4 = adc, current V, AC V, R, T) of a
    // channel to exact raw 32-bit words (for tests of display formats); clearForced() returns to
    // physics.
    void forceRaw(int channel, int quantity, quint32 bits);
    void clearForced();

    // A unit that loses a command: the request with this code that comes after `passing` others
    // of its kind is taken off the line in full but not carried out (and not answered).
    void loseRequest(quint8 code, int passing);
    // A unit that keeps a value other than the one it was sent: the next time this field of the
    // channel's calibration is set, it keeps it one step off (its last bit flipped), so that it
    // still prints the same. `row` -1 is the gain; else `field` 0 is the row's resistance and 1
    // its temperature.
    void keepOff(int channel, int row, int field = 0);

    // Drift of the simulated sensors.
    void advanceTime(double seconds);
    double elapsedSeconds() const { return now; }

    // What the unit would answer now for one quantity of one channel, as the raw 32-bit word.
    quint32 measurement(int channel, int quantity) const;
    // The sensor's true temperature and resistance at the present time.
    double trueTemperature(int channel) const;
    double sensorResistance(int channel) const;
    // Holds the channel's sensor at `kelvin`, without drift, as a bath at a fixed point does;
    // nothing takes it out again.
    void setBath(int channel, std::optional<double> kelvin);

private:
    struct Calibration
    {
        float gain = 1.0f;
        std::array<std::pair<float, float>, tableRows> rows {};
    };

    int requestLength() const;
    QByteArray execute(const QByteArray &request);
    void loadFrom(const QByteArray &image);
    QByteArray imageOfRam() const;

    std::array<Calibration, channelCount> ram {};
    std::array<bool, 2> relays {};
    std::array<std::array<std::optional<quint32>, quantityCount>, channelCount> forced {};
    QByteArray eeprom;
    QByteArray pending;
    QList<quint8> completedCodes;
    int lostCode = -1;
    int lostAfter = 0;
    struct Field
    {
        int channel = -1, row = 0, field = 0;
    } off;
    int unit = 0; // which of several units on one bench, for its sensors
    double now = 0.0;
    std::array<std::optional<double>, channelCount> baths {};
};

// Temperature for a resistance by linear interpolation between neighbouring table rows.
// Rows holding 0/0 are unused; a table with no used row gives 0. Beyond the table's ends the
// temperature of the nearer end row is given.
float interpolateTemperature(const std::array<std::pair<float, float>, Firmware::tableRows> &rows,
                             float resistance);
