#include "calibration/calibrationfile.h"

#include "text/numbers.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CalibrationFile", text);
}

// Nine significant digits: enough for every float to read back to the same bits.
QString exactReal(float value)
{
    return QString::number(double(value), 'g', 9);
}

enum class Field { Number, DecimalComma, OutOfRange, NotANumber };

Field readField(const QString &text, float &value)
{
    if (readReal(text, value))
        return Field::Number;
    // A double that is no float is a number beyond what the unit keeps (1e39, 1e-50).
    bool ok = false;
    (void)text.toDouble(&ok);
    if (ok)
        return Field::OutOfRange;
    QString pointed = text;
    pointed.replace(QLatin1Char(','), QLatin1Char('.'));
    (void)pointed.toDouble(&ok);
    return ok ? Field::DecimalComma : Field::NotANumber;
}

// The worst of the fields, so a line with a decimal comma is named for it.
Field readFields(const QStringList &fields, float *values)
{
    Field worst = Field::Number;
    for (int i = 0; i < fields.size(); ++i) {
        float ignored = 0;
        const Field read = readField(fields.at(i), i < 2 ? values[i] : ignored);
        if (read != Field::Number && (worst == Field::Number || read == Field::DecimalComma))
            worst = read;
    }
    return worst;
}

// "line 57 ("1,5 300")", the line shortened where long.
QString lineWhere(int number, const QString &line)
{
    constexpr int shownCharacters = 40;
    QString shown = line.simplified();
    if (shown.size() > shownCharacters)
        shown = shown.left(shownCharacters - 1) + QChar(0x2026);
    return tr("line %1 (\"%2\")").arg(QString::number(number), shown);
}

QString lineProblem(int number, const QString &line, Field read, const QString &expected)
{
    const QString where = lineWhere(number, line);
    switch (read) {
    case Field::DecimalComma: {
        // The number with the comma, so that it is found at once in a long line.
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        const auto comma = std::find_if(fields.cbegin(), fields.cend(), [](const QString &f) {
            float ignored;
            return readField(f, ignored) == Field::DecimalComma;
        });
        return tr("%1 has a decimal comma in \"%2\"; the file's numbers are written with a point")
            .arg(where, comma == fields.cend() ? QString() : *comma);
    }
    case Field::OutOfRange:
        return tr("%1 holds a number beyond the range of the unit's values").arg(where);
    default:
        return tr("%1 is not %2").arg(where, expected);
    }
}

// The file's lines, whatever its line ends (CR LF, LF or CR), or why it is no text to read.
struct TextLines
{
    QStringList lines;
    bool lastLineEnded = true; // false when the last line that holds anything has no line end
    QString problem;
};

const QByteArray utf8Mark("\xEF\xBB\xBF");

// An editor on Windows may put a byte-order mark first; UTF-16 (and UTF-32) text puts NUL bytes
// between the characters.
bool isWideText(const QByteArray &bytes)
{
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")
        || bytes.left(512).contains('\0');
}

QByteArray withoutMark(const QByteArray &bytes)
{
    return bytes.startsWith(utf8Mark) ? bytes.mid(utf8Mark.size()) : bytes;
}

TextLines textLines(const QByteArray &bytes)
{
    TextLines read;
    if (isWideText(bytes)) {
        read.problem = tr("it is written as UTF-16 (or another wide encoding); save it as UTF-8 "
                          "or plain ASCII text");
        return read;
    }
    const QByteArray body = withoutMark(bytes);
    QString text = QString::fromUtf8(body);
    if (text.toUtf8() != body) {
        read.problem = tr("it is not UTF-8 text (it may be Latin-1 or another encoding); save it "
                          "as UTF-8 or plain ASCII text");
        return read;
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    read.lines = text.split(QLatin1Char('\n'));
    read.lastLineEnded = read.lines.constLast().trimmed().isEmpty();
    return read;
}

// A calibration's table read from the lines [first, end): an optional "Gain" line, at most one
// column-header line, then rows of exactly two numbers. Lines are named by their number in the
// whole file.
Result<CalibrationFile> readTable(const QStringList &lines, int first, int end)
{
    CalibrationFile file;
    static const QRegularExpression blanks(QStringLiteral("[\\t ]+"));
    bool gainMayCome = true;
    bool headerMayCome = true;
    for (int index = first; index < end; ++index) {
        const QString line = lines.at(index).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(blanks);
        float values[2] = {0, 0};
        const Field read = readFields(fields, values);

        if (gainMayCome
            && fields.first().compare(QLatin1String("Gain"), Qt::CaseInsensitive) == 0) {
            gainMayCome = false;
            const Field gainRead = readFields(fields.mid(1), values);
            if (fields.size() != 2 || gainRead != Field::Number)
                return Failure {
                    lineProblem(index + 1, line, gainRead, tr("\"Gain\" and a number"))};
            file.gain = values[0];
            continue;
        }
        gainMayCome = false;
        if (fields.size() == 2 && read == Field::Number) {
            file.rows.append({values[0], values[1]});
            headerMayCome = false;
            continue;
        }
        // The column names: a line without a single number, before the first row.
        const bool noNumber = std::none_of(fields.cbegin(), fields.cend(), [](const QString &f) {
            float ignored;
            return readField(f, ignored) != Field::NotANumber;
        });
        if (headerMayCome && noNumber) {
            headerMayCome = false;
            continue;
        }
        return Failure {lineProblem(index + 1, line, read, tr("a row of two numbers"))};
    }
    if (file.rows.size() != TableRows)
        return Failure {tr("it holds %1 rows, not %2")
                            .arg(QString::number(file.rows.size()), QString::number(TableRows))};
    return file;
}

const QLatin1String tableEndLine("# end: 100 rows");
const QLatin1String unitEndLine("# end: 4 channels");

int lastFilledLine(const QStringList &lines)
{
    int index = lines.size() - 1;
    while (index >= 0 && lines.at(index).trimmed().isEmpty())
        --index;
    return index;
}

// How a file shows it was written to its end. A file written with its end line has it last; a
// file of the kind written before end lines were (whose rows are counted, each line ended) is
// whole when its last line has its line end, so a cut inside the last number still shows.
// `end` becomes the index of the end line, or the number of lines where there is none. Empty
// when whole; otherwise what is missing.
QString wholeness(const TextLines &text, int from, const QLatin1String &endLine, int &end)
{
    const int last = lastFilledLine(text.lines);
    end = text.lines.size();
    int candidate = -1;
    for (int index = from; index <= last && candidate < 0; ++index) {
        if (text.lines.at(index).trimmed().startsWith(QLatin1Char('#')))
            candidate = index;
    }
    if (candidate >= 0) {
        end = candidate;
        if (text.lines.at(candidate).trimmed() != endLine)
            return lineProblem(candidate + 1, text.lines.at(candidate), Field::NotANumber,
                               tr("the end line \"%1\"").arg(endLine));
        if (candidate == last)
            return QString();
        return lineProblem(last + 1, text.lines.at(last), Field::NotANumber,
                           tr("allowed after the end line \"%1\"").arg(endLine));
    }
    if (text.lastLineEnded || last < 0)
        return QString();
    return tr("it ends inside %1, without a line end and without the end line \"%2\": the file "
              "was cut short")
        .arg(lineWhere(last + 1, text.lines.at(last)), endLine);
}

} // namespace

namespace {

QString rowsText(const Calibration &calibration)
{
    QString text = QStringLiteral("Gain\t%1\r\nResistance (Ohm)\tTemperature (K)\r\n")
                       .arg(exactReal(calibration.gain));
    for (const TableEntry &row : calibration.rows)
        text += exactReal(row.resistance) + QLatin1Char('\t') + exactReal(row.temperature)
            + QStringLiteral("\r\n");
    return text;
}

} // namespace

QByteArray calibrationFileText(const Calibration &calibration)
{
    return (rowsText(calibration) + tableEndLine + QLatin1String("\r\n")).toUtf8();
}

Result<CalibrationFile> readCalibrationFile(const QByteArray &text)
{
    const TextLines read = textLines(text);
    int end = 0;
    const QString problem
        = read.problem.isEmpty() ? wholeness(read, 0, tableEndLine, end) : read.problem;
    if (!problem.isEmpty())
        return Failure {problem};
    return readTable(read.lines, 0, end);
}

namespace {

const QLatin1String unitFileTitle("# Quadmeter calibration of the whole unit");
const QLatin1String serialLabel("# USB serial number: ");
const QLatin1String portLabel("# Port: ");

void headerValue(const QString &line, const QLatin1String &label, QString &value)
{
    if (line.startsWith(label))
        value = line.mid(label.size()).trimmed();
}

// "# Channel3" for channel index 2.
QString sectionLine(int channel)
{
    return QStringLiteral("# Channel%1").arg(channel + 1);
}

} // namespace

QByteArray unitCalibrationText(const UnitCalibrationHeader &header,
                               const QVector<Calibration> &channels)
{
    QStringList lines {
        unitFileTitle,
        QStringLiteral("# Taken: %1")
            .arg(header.taken.toOffsetFromUtc(header.taken.offsetFromUtc()).toString(Qt::ISODate)),
        portLabel + header.portName};
    if (!header.serialNumber.isEmpty())
        lines.append(serialLabel + header.serialNumber);
    lines.append(QStringLiteral("# Tool: %1").arg(header.tool));
    QString text = lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n");
    for (int channel = 0; channel < channels.size(); ++channel)
        text += sectionLine(channel) + QLatin1String("\r\n") + rowsText(channels.at(channel));
    return (text + unitEndLine + QLatin1String("\r\n")).toUtf8();
}

Result<UnitCalibrationFile> readUnitCalibrationFile(const QByteArray &text)
{
    UnitCalibrationFile file;
    const TextLines read = textLines(text);
    if (!read.problem.isEmpty())
        return Failure {read.problem};
    const QStringList &lines = read.lines;
    // Where each channel's section starts: the index of the line after its "# ChannelN".
    QVector<int> starts;
    for (int index = 0; index < lines.size(); ++index) {
        const QString line = lines.at(index).trimmed();
        if (line == sectionLine(starts.size())) {
            starts.append(index + 1);
            if (starts.size() == ChannelCount)
                break;
            continue;
        }
        if (starts.isEmpty()) {
            headerValue(line, serialLabel, file.serialNumber);
            headerValue(line, portLabel, file.portName);
        }
        // Before the first section only comments; within one, the section's reader judges.
        if (starts.isEmpty() && !line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            return Failure {lineProblem(index + 1, line, Field::NotANumber,
                                        tr("a comment (\"#\") before \"# Channel1\""))};
    }
    if (starts.size() < ChannelCount)
        return Failure {tr("it holds no section \"%1\"").arg(sectionLine(starts.size()))};
    int end = 0;
    if (const QString problem = wholeness(read, starts.constLast(), unitEndLine, end);
        !problem.isEmpty())
        return Failure {problem};
    starts.append(end + 1);
    for (int channel = 0; channel < ChannelCount; ++channel) {
        // Up to the next section's "#" line, or the end line.
        const Result<CalibrationFile> table
            = readTable(lines, starts.at(channel), starts.at(channel + 1) - 1);
        const QString problem
            = !table ? table.error() : (table->gain ? QString() : tr("it has no gain line"));
        if (!problem.isEmpty())
            return Failure {
                tr("in Channel%1's section, %2").arg(QString::number(channel + 1), problem)};
        file.channels.append(Calibration {*table->gain, table->rows});
    }
    return file;
}

CalibrationFileKind calibrationFileKind(const QByteArray &text)
{
    // Wide text is told by its characters alone, so its reader can refuse it by name.
    QByteArray probe = withoutMark(text.left(4096));
    if (isWideText(probe))
        probe.replace('\0', QByteArray()).replace("\xFF\xFE", "").replace("\xFE\xFF", "");
    probe.replace('\r', '\n');
    QByteArray first;
    for (const QByteArray &line : probe.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            first = line.trimmed();
            break;
        }
    }
    if (first.startsWith(QByteArray(unitFileTitle.data(), unitFileTitle.size())))
        return CalibrationFileKind::Unit;
    const QByteArray word = first.split('\t').first().split(' ').first();
    if (word.compare("Gain", Qt::CaseInsensitive) == 0)
        return CalibrationFileKind::Channel;
    return CalibrationFileKind::Curve;
}
