// The unit's replies in any split and any length, through the accumulation the collecting wait
// and the one-shot read share, then through the decoders the operations apply to them.
//
// Properties: the accumulator holds exactly the bytes handed to it; a measurement reply is used
// only when exactly 16 bytes came, a one-shot reply only when all of it came; every decoded value
// carries exactly the bits the unit sent; no decoder reads past the end of what it was given.
#include "check.h"
#include "link/exchange.h"
#include "link/protocol.h"
#include "measure/readings.h"
#include "tests/support/floatbits.h"

#include <QtEndian>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

namespace {

using exchange::ReplyAccumulator;

enum Exchange { MeasurementStage, RelayStates, Gain, Table, AnyLength, ExchangeCount };

// The reply in a heap block of exactly its size, not copied again: a read one byte past its end
// is a report, where a QByteArray's own terminator or spare capacity would hide it.
class ExactBytes
{
public:
    explicit ExactBytes(const QByteArray &bytes)
        : block(bytes.begin(), bytes.end())
    { }
    QByteArray view() const { return QByteArray::fromRawData(block.data(), int(block.size())); }

private:
    std::vector<char> block;
};

bool sameBits(quint32 bits, const QByteArray &reply, int offset)
{
    char le[4];
    qToLittleEndian(bits, le);
    return std::memcmp(le, reply.constData() + offset, 4) == 0;
}

// What a live data cycle does with one stage's reply.
void measurementStage(FuzzedDataProvider &input, const QByteArray &received)
{
    const int quantity = input.ConsumeIntegralInRange(0, QuantityCount - 1);
    ChannelData records[ChannelCount];
    const quint32 untouched = 0xdeadbeef;
    for (ChannelData &record : records) {
        record.adcData = untouched;
        std::memcpy(&record.currentVoltage, &untouched, 4);
        std::memcpy(&record.acVoltage, &untouched, 4);
        std::memcpy(&record.resistance, &untouched, 4);
        std::memcpy(&record.temperature, &untouched, 4);
    }
    if (received.size() != protocol::MeasurementReplyBytes)
        return; // a wrong reply: nothing of it is stored

    const ExactBytes exact(received);
    const QByteArray reply = exact.view();
    storeQuantity(records, quantity, reply);
    for (int channel = 0; channel < ChannelCount; ++channel) {
        const ChannelData &r = records[channel];
        const quint32 fields[] = {r.adcData, bitsOf(r.currentVoltage), bitsOf(r.acVoltage),
                                  bitsOf(r.resistance), bitsOf(r.temperature)};
        for (int q = 0; q < QuantityCount; ++q) {
            if (q == quantity)
                FUZZ_CHECK(sameBits(fields[q], reply, 4 * channel));
            else
                FUZZ_CHECK(fields[q] == untouched);
        }
        readingText(r, quantity); // every value the unit may send has a text
    }
}

void oneShot(Exchange kind, const QByteArray &reply)
{
    if (reply.isEmpty())
        return; // no reply, or an incomplete one: nothing is used
    const ExactBytes exact(reply);
    const QByteArray bytes = exact.view();
    switch (kind) {
    case RelayStates: // the two boxes take bytes 0 and 1
        FUZZ_CHECK(bytes.size() == protocol::RelayStateReplyBytes);
        break;
    case Gain:
        FUZZ_CHECK(bytes.size() == protocol::GainReplyBytes);
        FUZZ_CHECK(sameBits(bitsOf(protocol::floatAt(bytes, 0)), bytes, 0));
        break;
    case Table: {
        FUZZ_CHECK(bytes.size() == protocol::TableReplyBytes);
        const QVector<TableEntry> entries = protocol::tableEntries(bytes);
        FUZZ_CHECK(entries.size() == TableRows);
        for (int row = 0; row < entries.size(); ++row) {
            FUZZ_CHECK(sameBits(bitsOf(entries[row].resistance), bytes, row * 8));
            FUZZ_CHECK(sameBits(bitsOf(entries[row].temperature), bytes, row * 8 + 4));
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto kind = Exchange(input.ConsumeIntegralInRange<int>(0, ExchangeCount - 1));
    // The reply length each exchange waits for; any length at all for the last.
    const int lengths[] = {protocol::MeasurementReplyBytes, protocol::RelayStateReplyBytes,
                           protocol::GainReplyBytes, protocol::TableReplyBytes};
    const int expected = kind == AnyLength
        ? input.ConsumeIntegralInRange(-2, 2 * protocol::TableReplyBytes)
        : lengths[kind];

    // The pieces the port hands over, each of any size (a read may return nothing); the wait
    // stops taking them once the reply is whole or overlong, as both waits do.
    ReplyAccumulator accumulator(expected);
    QByteArray handedOver;
    while (accumulator.wantsMore() && input.remaining_bytes() > 0) {
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, 1024);
        const std::string piece = input.ConsumeBytesAsString(length);
        const QByteArray bytes(piece.data(), int(piece.size()));
        const ReplyAccumulator::Status status = accumulator.add(bytes);
        handedOver += bytes;
        FUZZ_CHECK(status == accumulator.status());
    }

    const QByteArray received = accumulator.received();
    FUZZ_CHECK(received == handedOver);
    const int need = qMax(0, expected);
    const ReplyAccumulator::Status status = accumulator.status();
    FUZZ_CHECK((status == ReplyAccumulator::Incomplete) == (received.size() < need));
    FUZZ_CHECK((status == ReplyAccumulator::Complete) == (received.size() == need));
    FUZZ_CHECK((status == ReplyAccumulator::TooLong) == (received.size() > need));

    const QByteArray reply = accumulator.reply();
    if (received.size() < need)
        FUZZ_CHECK(reply.isEmpty());
    else
        FUZZ_CHECK(reply == received.left(need));

    if (kind == MeasurementStage)
        measurementStage(input, received);
    else
        oneShot(kind, reply);

    // A table reply cut short anywhere yields its whole entries only, never a read past its end.
    const ExactBytes cut(received.left(input.ConsumeIntegralInRange(0, int(received.size()))));
    const QVector<TableEntry> entries = protocol::tableEntries(cut.view());
    FUZZ_CHECK(entries.size() == qMin(TableRows, cut.view().size() / 8));
    return 0;
}
