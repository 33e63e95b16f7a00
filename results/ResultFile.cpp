// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ResultFile.h"

#include "common/NumberFormat.h"
#include "results/AcquisitionQueue.h"
#include "results/SafeFile.h"
#include "results/TextFiles.h"

#include <QIODevice>
#include <QStringDecoder>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace ResultFile {

namespace {

// Files travel to and from older systems, whose editors expect CR LF.
const QString LineEnd = QStringLiteral("\r\n");
const QString WrittenAt = QStringLiteral("Data i czas zapisu do pliku: ");
const QString ColumnsHeader = QStringLiteral(" Czas[s]  KanałLewy, Poziom[dB]  KanałPrawy,Poziom[dB]");
const QString SeriesTitle = QStringLiteral("                 S E R I A  ");
const QString SeriesTitleEnd = QStringLiteral("                 ");
const QString NotMeasured = QStringLiteral("             Nie wykonano pomiaru             ");
const QString NotMeasuredStart = QStringLiteral("             Nie wykonano ");
const QString SeriesHeader = QStringLiteral("   Częstotliwość [Hz]         Poziom [dB]     ");
const QString MissingPoint(ColumnWidth, QLatin1Char(' '));

constexpr std::size_t TimeWidth = 9, ValueWidth = 23;
constexpr std::size_t SoundPressureLineWidth = TimeWidth + 2 * ValueWidth; // 55 while the time is below 10000

QString Conditions(double averagingTime, int frameRate)
{
    return QStringLiteral("Czas uśr.:") + NumberFormat::Fixed(averagingTime, 6, 3) +
           QStringLiteral("s, Fp:") + NumberFormat::Integer(frameRate, 5) + QStringLiteral("Hz ");
}

QString Value(double value)
{
    return NumberFormat::Scientific(value, 22, 14) + QLatin1Char(' ');
}

QString ChannelText(int slot, const SeriesSlot& record)
{
    switch (record.SlotChannel) {
    case 0:
        return QStringLiteral(" Kanał Lewy,    ");
    case 1:
        return QStringLiteral(" Kanał Prawy,   ");
    default: // both channels: the partner slot, counted from 1
        return (slot >= 4 ? QStringLiteral(" Kan.P (+Ser.") + QString::number(slot - 3)
                          : QStringLiteral(" Kan.L (+Ser.") + QString::number(slot + 5)) +
               QStringLiteral(") ");
    }
}

// A number field as read: blanks around it, "." or "," as the separator (the Arabic one is made "."
// before the line is cut into fields).
std::optional<double> FieldValue(std::string_view field)
{
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
        field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t'))
        field.remove_suffix(1);
    std::array<char, 64> text{};
    if (field.empty() || field.size() > text.size())
        return std::nullopt;
    std::size_t length = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (i == 0 && c == '+' && field.size() > 1 && field[1] != '-' && field[1] != '+')
            continue; // from_chars takes no plus sign
        text[length++] = c == ',' ? '.' : c;
    }
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + length, value);
    if (result.ec != std::errc() || result.ptr != text.data() + length || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string_view Field(std::string_view line, std::size_t position, std::size_t width)
{
    if (position >= line.size())
        return {};
    return line.substr(position, width);
}

bool Blank(std::string_view field)
{
    return field.find_first_not_of(' ') == std::string_view::npos;
}

QString WithoutTrailingBlanks(const QString& text)
{
    qsizetype length = text.size();
    while (length > 0 && text.at(length - 1) == QLatin1Char(' '))
        --length;
    return text.left(length);
}

// One line of a sound-pressure file: by the fixed widths when they fit (55 characters, each field
// closed by a blank), by blank-separated fields otherwise, as a time of 10000 s or more needs. The
// fixed widths must not be forced on a wider line: they would cut the last exponent digit off a level.
bool ReadTicks(std::string_view line, ISink& sink)
{
    if (line.size() == SoundPressureLineWidth && line[TimeWidth - 1] == ' ' &&
        line[TimeWidth + ValueWidth - 1] == ' ' && line.back() == ' ') {
        const auto t = FieldValue(line.substr(0, TimeWidth));
        const auto l = FieldValue(line.substr(TimeWidth, ValueWidth));
        const auto r = FieldValue(line.substr(TimeWidth + ValueWidth, ValueWidth));
        if (t && l && r) {
            sink.ChannelPoint(*t, *l, *r);
            return true;
        }
    }
    std::array<double, 3> tick{};
    std::size_t filled = 0;
    std::size_t position = 0;
    while (position < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t", position);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
        const auto value = FieldValue(line.substr(start, end - start));
        if (!value)
            return false;
        tick[filled++] = *value;
        if (filled == tick.size()) {
            sink.ChannelPoint(tick[0], tick[1], tick[2]);
            filled = 0;
        }
        position = end;
    }
    return filled == 0;
}

// "Czas uśr.:%6.3fs, Fp:%5dHz" from `at` on. The two numbers are taken up to their units: a frame rate
// above 99999 Hz or an averaging time of 100 s or more is wider than its field and moves the rest of
// the line. Returns where the conditions end, or -1 when they do not read.
qsizetype ReadConditionsAt(const QString& line, qsizetype at, TRecordingConditions& conditions)
{
    const QString timeEnd = QStringLiteral("s, Fp:"), rateEnd = QStringLiteral("Hz");
    const qsizetype time = at + 10; // "Czas uśr.:"
    const qsizetype timeStop = line.indexOf(timeEnd, time);
    const qsizetype rate = timeStop + timeEnd.size();
    const qsizetype rateStop = timeStop < 0 ? -1 : line.indexOf(rateEnd, rate);
    if (rateStop < 0)
        return -1;
    const auto averaging = NumberFormat::ParseNumber(line.mid(time, timeStop - time));
    const auto frameRate = NumberFormat::ParseInteger(line.mid(rate, rateStop - rate));
    if (!averaging || !frameRate || *frameRate < 0 || *frameRate > std::numeric_limits<int>::max())
        return -1;
    conditions.AveragingTime = *averaging;
    conditions.FrameRate = static_cast<int>(*frameRate);
    return rateStop + rateEnd.size();
}

TReadOutcome ReadSoundPressure(TTextLineReader& lines, ISink& sink)
{
    std::string line; // for the lines written with a two-byte decimal separator
    while (lines.Next()) {
        if (lines.Number == 4) {
            TRecordingConditions conditions;
            if (ReadConditionsAt(lines.Text(), 0, conditions) >= 0) // older files may say nothing there
                sink.RecordingConditions(conditions);
        } else if (lines.Number >= 7 &&
                   !ReadTicks(NumberFormat::WithOneByteSeparators(lines.Bytes, line), sink)) {
            return TReadOutcome::InvalidFormat;
        }
    }
    return TReadOutcome::Read;
}

// Line 3 of a frequency file: one title a series, the series number its 29th character.
std::optional<std::vector<int>> ListedSlots(const QString& line)
{
    std::vector<int> listedSlots;
    qsizetype position = 0;
    while (position < line.size()) {
        if (line.mid(position).trimmed().isEmpty())
            break;
        const int number = line.mid(position + SeriesTitle.size(), 1).toInt();
        if (number < 1 || number > ResultSeriesCount)
            return std::nullopt;
        listedSlots.push_back(number - 1);
        position += ColumnWidth;
    }
    return listedSlots;
}

// Line 5 of a frequency file: the channel text and the conditions of each measured series.
bool ReadConditions(const QString& line, const std::vector<int>& listedSlots, ISink& sink)
{
    qsizetype at = 0;
    for (int slot : listedSlots) {
        if (line.mid(at, NotMeasuredStart.size()) == NotMeasuredStart) {
            at += ColumnWidth;
            continue;
        }
        const QChar letter = line.size() > at + 7 ? line.at(at + 7) : QChar();
        const int channel = letter == QLatin1Char('L') ? 0 : letter == QLatin1Char('P') ? 1 : 2;
        TRecordingConditions conditions;
        const qsizetype end = ReadConditionsAt(line, at + 16, conditions); // after the channel text
        if (end < 0)
            return false;
        sink.SeriesConditions(slot, channel, conditions.AveragingTime, conditions.FrameRate);
        at = end + 1;
    }
    return true;
}

bool ReadSeriesPoints(std::string_view line, const std::vector<int>& listedSlots, ISink& sink)
{
    for (std::size_t i = 0; i < listedSlots.size(); ++i) {
        const std::string_view x = Field(line, i * ColumnWidth, ValueWidth);
        const std::string_view y = Field(line, i * ColumnWidth + ValueWidth, ValueWidth);
        if (Blank(x) || Blank(y))
            continue; // a series shorter than the longest one
        const auto frequency = FieldValue(x);
        const auto level = FieldValue(y);
        if (!frequency || !level)
            return false;
        sink.SeriesPoint(listedSlots[i], *frequency, *level);
    }
    return true;
}

TReadOutcome ReadFrequency(TTextLineReader& lines, ISink& sink)
{
    std::vector<int> listedSlots;
    std::string points; // for the lines written with a two-byte decimal separator
    while (lines.Next()) {
        switch (lines.Number) {
        case 2:
        case 6:
            break;
        case 3: {
            const auto listed = ListedSlots(lines.Text());
            if (!listed)
                return TReadOutcome::InvalidFormat;
            listedSlots = *listed;
            sink.SeriesListed(listedSlots);
            break;
        }
        case 4: {
            const QString line = lines.Text();
            for (std::size_t i = 0; i < listedSlots.size(); ++i) {
                const QString name =
                    WithoutTrailingBlanks(line.mid(static_cast<qsizetype>(i) * ColumnWidth + 1, NameWidth));
                if (!name.isEmpty())
                    sink.SeriesName(listedSlots[i], name);
            }
            break;
        }
        case 5:
            if (!ReadConditions(lines.Text(), listedSlots, sink))
                return TReadOutcome::InvalidFormat;
            break;
        default:
            if (!ReadSeriesPoints(NumberFormat::WithOneByteSeparators(lines.Bytes, points), listedSlots,
                                  sink))
                return TReadOutcome::InvalidFormat;
        }
    }
    // A file cut before its conditions line has lost what its series were measured with.
    if (lines.Number < 5 && !listedSlots.empty())
        return TReadOutcome::InvalidFormat;
    return TReadOutcome::Read;
}

} // namespace

QString SoundPressureHeader(const QDateTime& written, const TRecordingConditions& conditions)
{
    return SoundPressureMarker + WrittenAt + NumberFormat::ShortDateLongTime(written) + LineEnd + LineEnd +
           LineEnd + Conditions(conditions.AveragingTime, conditions.FrameRate) + LineEnd + LineEnd +
           ColumnsHeader + LineEnd;
}

QString SoundPressureLine(double time, double left, double right)
{
    return NumberFormat::Fixed(time, 8, 3) + QLatin1Char(' ') + Value(left) + Value(right) + LineEnd;
}

bool WriteSoundPressure(const QString& fileName, const TAcquisitionQueue& queue,
                        const TRecordingConditions& conditions, const QDateTime& written, QString& failure)
{
    TTextFileWriter writer(fileName);
    writer.Add(SoundPressureHeader(written, conditions));
    std::array<double, 3> tick{};
    std::size_t filled = 0;
    queue.ForEach([&](double value) {
        tick[filled++] = value;
        if (filled == tick.size()) {
            writer.Add(SoundPressureLine(tick[0], tick[1], tick[2]));
            filled = 0;
        }
    });
    return writer.Finish(failure);
}

bool WriteFrequency(const QString& fileName, const std::vector<TSeriesColumn>& columns, bool withNames,
                    const QDateTime& written, QString& failure)
{
    TTextFileWriter writer(fileName);
    writer.Add(FrequencyMarker + WrittenAt + NumberFormat::ShortDateLongTime(written) + LineEnd + LineEnd);
    QString titles, names, conditions, headers;
    int rows = 0;
    for (const TSeriesColumn& column : columns) {
        titles += SeriesTitle + QString::number(column.Slot + 1) + SeriesTitleEnd;
        if (withNames)
            names += QLatin1Char(' ') + NumberFormat::LeftAligned(column.Name.left(NameWidth), NameWidth) +
                     QLatin1Char(' ');
        conditions += column.Record.SlotMeasured
                          ? ChannelText(column.Slot, column.Record) +
                                Conditions(column.Record.SlotAveragingTime, column.Record.SlotFrameRate)
                          : NotMeasured;
        headers += SeriesHeader;
        rows = std::max(rows, column.Points ? column.Points->Count() : 0);
    }
    writer.Add(titles + LineEnd + names + LineEnd + conditions + LineEnd + headers + LineEnd);
    for (int row = 0; row < rows; ++row) {
        QString line;
        for (const TSeriesColumn& column : columns) {
            if (column.Points && row < column.Points->Count())
                line += Value(column.Points->X(row)) + Value(column.Points->Y(row));
            else
                line += MissingPoint;
        }
        writer.Add(line + LineEnd);
    }
    return writer.Finish(failure);
}

bool WriteQueueDump(const QString& fileName, const TAcquisitionQueue& queue,
                    const TRecordingConditions& conditions, const QDateTime& written, QString& failure)
{
    TTextFileWriter writer(fileName);
    writer.Add(SoundPressureHeader(written, conditions));
    queue.ForEach([&](double value) { writer.Add(Value(value) + LineEnd); });
    return writer.Finish(failure);
}

TReadOutcome Read(QIODevice& file, ISink& sink)
{
    TTextLineReader lines(file);
    if (!lines.Next())
        return lines.ReadFailed ? TReadOutcome::ReadError : TReadOutcome::UnknownFormat;
    lines.ChooseEncoding();
    const QString marker = lines.Text().left(SoundPressureMarker.size());
    TMeasurementKind kind;
    if (marker == SoundPressureMarker)
        kind = TMeasurementKind::SoundPressure;
    else if (marker == FrequencyMarker)
        kind = TMeasurementKind::FrequencyCharacteristic;
    else
        return TReadOutcome::UnknownFormat;
    if (!sink.SelectKind(kind))
        return TReadOutcome::KindKept;
    const TReadOutcome outcome =
        kind == TMeasurementKind::SoundPressure ? ReadSoundPressure(lines, sink) : ReadFrequency(lines, sink);
    if (outcome == TReadOutcome::Read && lines.Overlong)
        return TReadOutcome::InvalidFormat;
    if (outcome == TReadOutcome::Read && lines.ReadFailed)
        return TReadOutcome::ReadError;
    return outcome;
}

bool HasResultExtension(const QString& fileName)
{
    return fileName.endsWith(Extension, Qt::CaseInsensitive);
}

} // namespace ResultFile
