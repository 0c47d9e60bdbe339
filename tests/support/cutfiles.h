#pragma once

// Saved calibrations cut short, as a crash, a full disk or a pulled stick leaves them: the whole
// files, and the places to cut them, spread over the file and thick at its end.
#include "calibration/calibrationfile.h"

#include <QList>
#include <QVector>

// Four channels with long decimal forms, the last row's temperature in the style of a real one.
inline QVector<Calibration> savedChannels()
{
    QVector<Calibration> channels;
    for (int channel = 0; channel < 4; ++channel) {
        Calibration calibration {1.0f / (3 + channel), {}};
        for (int row = 0; row < 100; ++row)
            calibration.rows.append(
                {100.0f + row * 9.9163123f + channel, 300.0f / (1 + row / 7.0f)});
        channels.append(calibration);
    }
    return channels;
}

// Where to cut `whole` so that what is left is no whole file: 23 places spread evenly (none at 0:
// an empty file is nobody's calibration), and every third byte of the last row and of the end
// line. Never right after the last row's line end (CR LF, or only its CR): what is left is then
// whole without its end line, as files were written before they had one.
inline QList<int> cutPositions(const QByteArray &whole)
{
    const int endLine = whole.lastIndexOf("# end:");
    const int lastRow = whole.lastIndexOf('\n', endLine - 2) + 1;
    QList<int> cuts;
    for (int k = 1; k < 24; ++k)
        cuts.append(whole.size() * k / 24);
    for (int at = lastRow + 1; at < whole.size() - 2; at += 3)
        cuts.append(at);
    cuts.removeAll(endLine);
    cuts.removeAll(endLine - 1);
    return cuts;
}
