// The simulated unit's request parser on any byte stream, split anywhere.
//
// Properties: every feed answers exactly the requests its bytes complete, each with the reply
// length the command set gives it (codes the tool never sends answer nothing); the split makes no
// difference to what is answered; the relay states read back as 0 or 1; an EEPROM image survives
// being loaded and stored again bit for bit.
#include "sim/firmware.h"
#include "check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

namespace {

// One request as the command set frames it: where it ends in the stream and what it answers.
struct Framed
{
    int end;
    quint8 code;
    int replyBytes;
};

// The command set's framing, written out on its own so the unit's parser has something to be
// held against. A request cut off by the end of the stream is not listed.
std::vector<Framed> frame(const QByteArray &stream)
{
    std::vector<Framed> requests;
    int at = 0;
    while (at < stream.size()) {
        const quint8 code = quint8(stream.at(at));
        int length = 1;
        int reply = 0;
        if (code <= 19 || (code >= 24 && code <= 27)) {
            reply = 4;
        } else if (code >= 20 && code <= 23) {
            length = 5;
        } else if (code == 28 || code == 29) {
            length = 2;
        } else if (code == 30 || code == 31) {
            reply = 1;
        } else if (code == 32 || code == 33) {
            if (at + 4 > stream.size())
                break;
            const int count = quint8(stream.at(at + 3));
            length = code == 32 ? 4 : 4 + 8 * count;
            reply = code == 32 ? 8 * count : 0;
        }
        if (at + length > stream.size())
            break;
        at += length;
        requests.push_back({at, code, reply});
    }
    return requests;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    Firmware pieceByPiece;
    QByteArray stream;
    QByteArray answered;
    std::vector<int> pieceEnds;
    QList<QList<quint8>> pieceCodes;
    std::vector<int> pieceReplies;
    while (input.remaining_bytes() > 0) {
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, 300);
        const std::string piece = input.ConsumeBytesAsString(length);
        const QByteArray reply = pieceByPiece.feed(QByteArray(piece.data(), int(piece.size())));
        stream.append(piece.data(), int(piece.size()));
        answered += reply;
        pieceEnds.push_back(int(stream.size()));
        pieceCodes.append(pieceByPiece.lastRequestCodes());
        pieceReplies.push_back(int(reply.size()));
    }

    // Each piece answers the requests whose last byte it carries, and nothing else.
    const std::vector<Framed> requests = frame(stream);
    size_t next = 0;
    int start = 0;
    for (size_t piece = 0; piece < pieceEnds.size(); ++piece) {
        QList<quint8> codes;
        int replyBytes = 0;
        for (; next < requests.size() && requests[next].end <= pieceEnds[piece]; ++next) {
            FUZZ_CHECK(requests[next].end > start);
            codes.append(requests[next].code);
            replyBytes += requests[next].replyBytes;
        }
        FUZZ_CHECK(pieceCodes[int(piece)] == codes);
        FUZZ_CHECK(pieceReplies[piece] == replyBytes);
        start = pieceEnds[piece];
    }
    FUZZ_CHECK(next == requests.size());
    const int framedEnd = requests.empty() ? 0 : requests.back().end;
    FUZZ_CHECK(pieceByPiece.pendingBytes() == stream.size() - framedEnd);

    // The same stream in one write gives the same answer and leaves the unit in the same state.
    Firmware atOnce;
    FUZZ_CHECK(atOnce.feed(stream) == answered);
    FUZZ_CHECK(atOnce.pendingBytes() == pieceByPiece.pendingBytes());
    FUZZ_CHECK(atOnce.eepromImage() == pieceByPiece.eepromImage());

    int offset = 0;
    for (const Framed &request : requests) {
        if (request.code == 30 || request.code == 31)
            FUZZ_CHECK(answered.at(offset) == 0 || answered.at(offset) == 1);
        offset += request.replyBytes;
    }

    // Whatever calibration the stream stored, a unit started from that EEPROM stores it again
    // unchanged.
    const QByteArray image = pieceByPiece.eepromImage();
    FUZZ_CHECK(image.size() == Firmware::eepromSize);
    Firmware restarted(image);
    restarted.feed(QByteArray(1, char(34)));
    FUZZ_CHECK(restarted.eepromImage() == image);
    return 0;
}
