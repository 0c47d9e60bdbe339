// Curve files as they come from anywhere: any bytes through the reader, and every curve it accepts
// through the resampling into the channel's table.
//
// An input that starts with byte 01 is taken as raw points instead (pairs of doubles, the
// non-finite ones dropped as the reader would), which reaches point sets that text seldom gives:
// repeated resistances, shared temperatures, denormal and huge values.
#include "calibration/curvefile.h"
#include "check.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool finite(const CurvePoint &point)
{
    return std::isfinite(point.resistance) && std::isfinite(point.temperature);
}

void checkTable(const QVector<CurvePoint> &points)
{
    const Result<CurveTable> table = resampleCurve(points);
    // A curve out of order keeps its rows for an operator who takes them knowingly.
    if (!table)
        return;
    FUZZ_CHECK(table->rows.size() == TableRows);
    // The rows go to the unit as single floats: anything not finite there is a corrupt table.
    for (const TableEntry &row : table->rows) {
        FUZZ_CHECK(std::isfinite(row.resistance));
        FUZZ_CHECK(std::isfinite(row.temperature));
    }
}

QVector<CurvePoint> rawPoints(const uint8_t *data, size_t size)
{
    QVector<CurvePoint> points;
    for (size_t at = 0; at + 2 * sizeof(double) <= size; at += 2 * sizeof(double)) {
        CurvePoint point;
        std::memcpy(&point.resistance, data + at, sizeof(double));
        std::memcpy(&point.temperature, data + at + sizeof(double), sizeof(double));
        if (finite(point))
            points.append(point);
    }
    return points;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0 && data[0] == 0x01) {
        checkTable(rawPoints(data + 1, size - 1));
        return 0;
    }

    // Not copied: the reader must never look past the fuzzer's own buffer.
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const Result<QVector<CurvePoint>> read = readCurve(bytes);
    if (!read)
        return 0;
    FUZZ_CHECK(read->size() >= 2);
    for (const CurvePoint &point : *read)
        FUZZ_CHECK(finite(point));
    checkTable(*read);
    return 0;
}
