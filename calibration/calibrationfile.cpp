#include "calibration/calibrationfile.h"

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
    bool ok = false;
    value = text.toFloat(&ok);
    if (ok)
        return Field::Number;
    // A double that is no float is a number beyond what the unit keeps (1e39, 1e-50).
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

QString lineProblem(int number, const QString &line, Field read, const QString &expected)
{
    constexpr int shownCharacters = 40;
    QString shown = line.simplified();
    if (shown.size() > shownCharacters)
        shown = shown.left(shownCharacters - 1) + QChar(0x2026);
    const QString where = tr("line %1 (\"%2\")").arg(QString::number(number), shown);
    switch (read) {
    case Field::DecimalComma:
        return tr("%1 has a decimal comma; the file's numbers are written with a point").arg(where);
    case Field::OutOfRange:
        return tr("%1 holds a number beyond the range of the unit's values").arg(where);
    default:
        return tr("%1 is not %2").arg(where, expected);
    }
}

} // namespace

QByteArray calibrationFileText(const Calibration &calibration)
{
    QString text = QStringLiteral("Gain\t%1\r\nResistance (Ohm)\tTemperature (K)\r\n")
                       .arg(exactReal(calibration.gain));
    for (const TableEntry &row : calibration.rows)
        text += exactReal(row.resistance) + QLatin1Char('\t') + exactReal(row.temperature)
            + QStringLiteral("\r\n");
    return text.toUtf8();
}

CalibrationFile readCalibrationFile(const QByteArray &text)
{
    CalibrationFile file;
    const QList<QByteArray> lines = text.split('\n');
    static const QRegularExpression blanks(QStringLiteral("[\\t ]+"));
    bool gainMayCome = true;
    bool headerMayCome = true;
    for (int index = 0; index < lines.size(); ++index) {
        const QString line = QString::fromUtf8(lines.at(index)).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(blanks);
        float values[2] = {0, 0};
        const Field read = readFields(fields, values);

        if (gainMayCome
            && fields.first().compare(QLatin1String("Gain"), Qt::CaseInsensitive) == 0) {
            gainMayCome = false;
            const Field gainRead = readFields(fields.mid(1), values);
            if (fields.size() != 2 || gainRead != Field::Number) {
                file.problem = lineProblem(index + 1, line, gainRead, tr("\"Gain\" and a number"));
                return file;
            }
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
        file.problem = lineProblem(index + 1, line, read, tr("a row of two numbers"));
        return file;
    }
    if (file.rows.size() != TableRows)
        file.problem = tr("it holds %1 rows, not %2")
                           .arg(QString::number(file.rows.size()), QString::number(TableRows));
    return file;
}

namespace {

const QLatin1String unitFileTitle("# Quadmeter calibration of the whole unit");

// "# Channel3" for channel index 2.
QString sectionLine(int channel)
{
    return QStringLiteral("# Channel%1").arg(channel + 1);
}

QByteArray firstLine(const QByteArray &text)
{
    for (const QByteArray &line : text.split('\n')) {
        if (!line.trimmed().isEmpty())
            return line.trimmed();
    }
    return QByteArray();
}

} // namespace

QByteArray unitCalibrationText(const UnitCalibrationHeader &header,
                               const QVector<Calibration> &channels)
{
    QStringList lines {
        unitFileTitle,
        QStringLiteral("# Taken: %1")
            .arg(header.taken.toOffsetFromUtc(header.taken.offsetFromUtc()).toString(Qt::ISODate)),
        QStringLiteral("# Port: %1").arg(header.portName)};
    if (!header.serialNumber.isEmpty())
        lines.append(QStringLiteral("# USB serial number: %1").arg(header.serialNumber));
    lines.append(QStringLiteral("# Tool: %1").arg(header.tool));
    QByteArray text = lines.join(QLatin1String("\r\n")).toUtf8() + "\r\n";
    for (int channel = 0; channel < channels.size(); ++channel)
        text += sectionLine(channel).toUtf8() + "\r\n" + calibrationFileText(channels.at(channel));
    return text;
}

UnitCalibrationFile readUnitCalibrationFile(const QByteArray &text)
{
    UnitCalibrationFile file;
    const QList<QByteArray> lines = text.split('\n');
    // Where each channel's section starts: the index of the line after its "# ChannelN".
    QVector<int> starts;
    for (int index = 0; index < lines.size(); ++index) {
        const QString line = QString::fromUtf8(lines.at(index)).trimmed();
        if (line == sectionLine(starts.size())) {
            starts.append(index + 1);
            if (starts.size() == ChannelCount)
                break;
            continue;
        }
        // Before the first section only comments; within one, the section's reader judges.
        if (starts.isEmpty() && !line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
            file.problem = lineProblem(index + 1, line, Field::NotANumber,
                                       tr("a comment (\"#\") before \"# Channel1\""));
            return file;
        }
    }
    if (starts.size() < ChannelCount) {
        file.problem = tr("it holds no section \"%1\"").arg(sectionLine(starts.size()));
        return file;
    }
    starts.append(lines.size() + 1);
    for (int channel = 0; channel < ChannelCount; ++channel) {
        const int first = starts.at(channel);
        const int end = starts.at(channel + 1) - 1; // the next section's "#" line, or the end
        // Empty lines in place of the file's lines before the section keep its line numbers.
        QByteArray section(first, '\n');
        for (int index = first; index < end; ++index)
            section += lines.at(index) + '\n';
        const CalibrationFile read = readCalibrationFile(section);
        QString problem = read.problem;
        if (problem.isEmpty() && !read.gain)
            problem = tr("it has no gain line");
        if (!problem.isEmpty()) {
            file.problem
                = tr("in Channel%1's section, %2").arg(QString::number(channel + 1), problem);
            file.channels.clear();
            return file;
        }
        file.channels.append(Calibration {*read.gain, read.rows});
    }
    return file;
}

CalibrationFileKind calibrationFileKind(const QByteArray &text)
{
    const QByteArray first = firstLine(text);
    if (first.startsWith(QByteArray(unitFileTitle.data(), unitFileTitle.size())))
        return CalibrationFileKind::Unit;
    const QByteArray word = first.split('\t').first().split(' ').first();
    if (word.compare("Gain", Qt::CaseInsensitive) == 0)
        return CalibrationFileKind::Channel;
    return CalibrationFileKind::Curve;
}
