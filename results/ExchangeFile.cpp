#include "results/ExchangeFile.h"

#include "common/NumberFormat.h"
#include "results/AcquisitionQueue.h"
#include "results/MicrophoneCalibrationFile.h"
#include "results/SafeFile.h"
#include "results/TextFiles.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>

namespace ExchangeFile {

using ResultFile::ISink;
using ResultFile::TReadOutcome;
using ResultFile::TRecordingConditions;
using ResultFile::TSeriesColumn;

namespace {

const QString LineEnd = QStringLiteral("\r\n");
const QChar CsvSeparator = QLatin1Char(';');
const QString NotMeasured = QStringLiteral("nie wykonano pomiaru");
const QString MicrophoneCorrected = QStringLiteral("korekcja mikrofonu");
const QString FrdNamePrefix = QStringLiteral("* Seria ");
const QString FrdConditionsPrefix = QStringLiteral("* Warunki pomiaru: ");

QString RecordingConditionsText(double averagingTime, int frameRate, QChar separator)
{
    return QStringLiteral("czas uśredniania ") + NumberFormat::Exact(averagingTime, separator) +
           QStringLiteral(" s, Fp ") + NumberFormat::Integer(frameRate) + QStringLiteral(" Hz");
}

// "kanał lewy, czas uśredniania 0,125 s, Fp 48000 Hz, korekcja mikrofonu"
QString SeriesConditionsText(const SeriesSlot& record, QChar separator)
{
    if (!record.SlotMeasured)
        return NotMeasured;
    const QString channel = record.SlotChannel == 0   ? QStringLiteral("kanał lewy")
                            : record.SlotChannel == 1 ? QStringLiteral("kanał prawy")
                                                      : QStringLiteral("oba kanały");
    return channel + QStringLiteral(", ") +
           RecordingConditionsText(record.SlotAveragingTime, record.SlotFrameRate, separator) +
           (record.SlotMicrophoneCorrected ? QStringLiteral(", ") + MicrophoneCorrected : QString());
}

// What the texts above say, read back; nothing where they are not there.
struct TConditionsRead
{
    std::optional<TRecordingConditions> Recording;
    int Channel = 0;
    bool Microphone = false;
};

TConditionsRead ReadConditionsText(const QString& text)
{
    static const QRegularExpression averaging(QStringLiteral("czas uśredniania\\s+([-+0-9.,eE]+)\\s*s"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rate(QStringLiteral("Fp\\s+([0-9]+)\\s*Hz"));
    TConditionsRead read;
    const QRegularExpressionMatch time = averaging.match(text);
    const QRegularExpressionMatch frames = rate.match(text);
    if (time.hasMatch() && frames.hasMatch()) {
        const auto seconds = NumberFormat::ParseNumber(time.captured(1));
        const auto frameRate = NumberFormat::ParseInteger(frames.captured(1));
        if (seconds && frameRate && *frameRate <= std::numeric_limits<int>::max())
            read.Recording = TRecordingConditions{*seconds, static_cast<int>(*frameRate)};
    }
    read.Channel = text.contains(QStringLiteral("kanał prawy"), Qt::CaseInsensitive)  ? 1
                   : text.contains(QStringLiteral("oba kanały"), Qt::CaseInsensitive) ? 2
                                                                                      : 0;
    read.Microphone = text.contains(MicrophoneCorrected, Qt::CaseInsensitive);
    return read;
}

// The text of the last "(...)" of a header cell, and the cell before it.
QString Parenthesised(const QString& cell, QString* before = nullptr)
{
    const qsizetype open = cell.lastIndexOf(QStringLiteral(" ("));
    if (open < 0 || !cell.endsWith(QLatin1Char(')'))) {
        if (before)
            *before = cell.trimmed();
        return QString();
    }
    if (before)
        *before = cell.left(open).trimmed();
    return cell.mid(open + 2, cell.size() - open - 3);
}

QString CsvCell(const QString& text)
{
    if (!text.contains(CsvSeparator) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CsvRow(const QStringList& cells)
{
    QString row;
    for (qsizetype i = 0; i < cells.size(); ++i)
        row += (i > 0 ? QString(CsvSeparator) : QString()) + CsvCell(cells[i]);
    return row + LineEnd;
}

// One line of a CSV file; quotes may hold separators. Nothing when a quote is left open.
std::optional<QStringList> CsvCells(const QString& line, QChar separator)
{
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                cell += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == separator) {
            cells << cell;
            cell.clear();
        } else {
            cell += c;
        }
    }
    if (quoted)
        return std::nullopt;
    cells << cell;
    return cells;
}

QChar CsvSeparatorOf(const QString& header)
{
    if (header.contains(CsvSeparator))
        return CsvSeparator;
    if (header.contains(QLatin1Char('\t')))
        return QLatin1Char('\t');
    return QLatin1Char(',');
}

// The series number of a frequency column, "(seria N)"; -1 when it says none.
int SlotOfFrequencyCell(const QString& cell)
{
    static const QRegularExpression number(QStringLiteral("seria\\s+([1-8])\\)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = number.match(Parenthesised(cell));
    return match.hasMatch() ? match.captured(1).toInt() - 1 : -1;
}

TReadOutcome ReadSoundPressureCsv(TTextLineReader& lines, const QStringList& header, QChar separator,
                                  ISink& sink)
{
    TConditionsRead conditions = ReadConditionsText(Parenthesised(header[0]));
    if (conditions.Recording) {
        const QString unit = header[1];
        conditions.Recording->Weighting = unit.contains(QStringLiteral("dB(A)"))   ? TFrequencyWeighting::A
                                          : unit.contains(QStringLiteral("dB(C)")) ? TFrequencyWeighting::C
                                                                                   : TFrequencyWeighting::Z;
        sink.RecordingConditions(*conditions.Recording);
    }
    while (lines.Next()) {
        const QString line = lines.Text();
        if (line.trimmed().isEmpty())
            continue;
        const auto cells = CsvCells(line, separator);
        if (!cells || cells->size() < 3)
            return TReadOutcome::InvalidFormat;
        const auto time = NumberFormat::ParseNumber(cells->at(0));
        const auto left = NumberFormat::ParseNumber(cells->at(1));
        const auto right = NumberFormat::ParseNumber(cells->at(2));
        if (!time || !left || !right)
            return TReadOutcome::InvalidFormat;
        sink.ChannelPoint(*time, *left, *right);
    }
    return TReadOutcome::Read;
}

// One row of frequency columns; false at a cell that does not read.
bool ReadSeriesRow(const QStringList& cells, const std::vector<int>& listed, ISink& sink)
{
    for (std::size_t pair = 0; pair < listed.size(); ++pair) {
        const qsizetype column = static_cast<qsizetype>(pair) * 2;
        const QString x = column < cells.size() ? cells[column].trimmed() : QString();
        const QString y = column + 1 < cells.size() ? cells[column + 1].trimmed() : QString();
        if (x.isEmpty() && y.isEmpty())
            continue; // a series shorter than the longest one
        const auto frequency = NumberFormat::ParseNumber(x);
        const auto level = NumberFormat::ParseNumber(y);
        if (!frequency || !level)
            return false;
        sink.SeriesPoint(listed[pair], *frequency, *level);
    }
    return true;
}

TReadOutcome ReadFrequencyCsv(TTextLineReader& lines, const QStringList& first, QChar separator, ISink& sink)
{
    // Without the program's headers the first row may already hold numbers.
    const bool headed = !NumberFormat::ParseNumber(first.value(0));
    const auto pairs = (first.size() + 1) / 2;
    if (pairs > ResultSeriesCount || (first.size() % 2 != 0 && !first.back().trimmed().isEmpty()))
        return TReadOutcome::InvalidFormat;
    std::vector<int> listed;
    for (qsizetype pair = 0; pair < pairs; ++pair) {
        const int named = headed ? SlotOfFrequencyCell(first[pair * 2]) : -1;
        listed.push_back(named >= 0 ? named : static_cast<int>(pair));
    }
    for (std::size_t i = 0; i < listed.size(); ++i)
        if (std::find(listed.begin(), listed.begin() + static_cast<std::ptrdiff_t>(i), listed[i]) !=
            listed.begin() + static_cast<std::ptrdiff_t>(i))
            return TReadOutcome::InvalidFormat; // two columns for one series
    sink.SeriesListed(listed);
    if (headed) {
        for (std::size_t pair = 0; pair < listed.size(); ++pair) {
            QString name;
            const TConditionsRead conditions =
                ReadConditionsText(Parenthesised(first.value(static_cast<qsizetype>(pair) * 2 + 1), &name));
            const qsizetype unit = name.lastIndexOf(QStringLiteral(" [dB"));
            if (unit >= 0)
                name = name.left(unit);
            if (!name.isEmpty())
                sink.SeriesName(listed[pair], name.left(ResultFile::NameWidth));
            if (conditions.Recording)
                sink.SeriesConditions(listed[pair], conditions.Channel, conditions.Recording->AveragingTime,
                                      conditions.Recording->FrameRate);
            if (conditions.Microphone)
                sink.SeriesMicrophoneCorrected(listed[pair]);
        }
    } else if (!ReadSeriesRow(first, listed, sink)) {
        return TReadOutcome::InvalidFormat;
    }
    while (lines.Next()) {
        const QString line = lines.Text();
        if (line.trimmed().isEmpty())
            continue;
        const auto cells = CsvCells(line, separator);
        if (!cells || !ReadSeriesRow(*cells, listed, sink))
            return TReadOutcome::InvalidFormat;
    }
    return TReadOutcome::Read;
}

TReadOutcome Outcome(TReadOutcome outcome, const TTextLineReader& lines)
{
    if (outcome == TReadOutcome::Read && lines.Overlong)
        return TReadOutcome::InvalidFormat;
    if (outcome == TReadOutcome::Read && lines.ReadFailed)
        return TReadOutcome::ReadError;
    return outcome;
}

} // namespace

std::optional<TFormat> FormatOf(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("lev"))
        return TFormat::Levels;
    if (suffix == QLatin1String("csv"))
        return TFormat::Csv;
    if (suffix == QLatin1String("frd"))
        return TFormat::Frd;
    return std::nullopt;
}

QStringList FrdFileNames(const QString& fileName, const std::vector<TSeriesColumn>& columns)
{
    if (columns.size() <= 1)
        return {fileName};
    const QFileInfo info(fileName);
    const QString stem = fileName.left(fileName.size() - info.suffix().size() - 1);
    QStringList names;
    for (const TSeriesColumn& column : columns)
        names << stem + QLatin1Char('_') + QString::number(column.Slot + 1) + QLatin1Char('.') +
                     info.suffix();
    return names;
}

bool WriteSoundPressureCsv(const QString& fileName, const TAcquisitionQueue& queue,
                           const TRecordingConditions& conditions, QString& failure)
{
    const QChar separator = NumberFormat::DecimalSeparator();
    const QString unit = QStringLiteral(" [") + LevelUnit(conditions.Weighting) + QLatin1Char(']');
    TTextFileWriter writer(fileName);
    writer.Add(
        CsvRow({QStringLiteral("Czas [s] (") +
                    RecordingConditionsText(conditions.AveragingTime, conditions.FrameRate, separator) +
                    QLatin1Char(')'),
                QStringLiteral("Kanał lewy") + unit, QStringLiteral("Kanał prawy") + unit}));
    std::array<double, 3> tick{};
    std::size_t filled = 0;
    queue.ForEach([&](double value) {
        tick[filled++] = value;
        if (filled == tick.size()) {
            writer.Add(NumberFormat::Exact(tick[0]) + CsvSeparator + NumberFormat::Exact(tick[1]) +
                       CsvSeparator + NumberFormat::Exact(tick[2]) + LineEnd);
            filled = 0;
        }
    });
    return writer.Finish(failure);
}

bool WriteFrequencyCsv(const QString& fileName, const std::vector<TSeriesColumn>& columns, QString& failure)
{
    const QChar separator = NumberFormat::DecimalSeparator();
    QStringList header;
    int rows = 0;
    for (const TSeriesColumn& column : columns) {
        header << QStringLiteral("Częstotliwość [Hz] (seria ") + QString::number(column.Slot + 1) +
                      QLatin1Char(')')
               << column.Name + QStringLiteral(" [dB] (") + SeriesConditionsText(column.Record, separator) +
                      QLatin1Char(')');
        rows = std::max(rows, column.Points ? column.Points->Count() : 0);
    }
    TTextFileWriter writer(fileName);
    writer.Add(CsvRow(header));
    for (int row = 0; row < rows; ++row) {
        QString line;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const TChartSeriesData* points = columns[i].Points;
            if (i > 0)
                line += CsvSeparator;
            if (points && row < points->Count())
                line +=
                    NumberFormat::Exact(points->X(row)) + CsvSeparator + NumberFormat::Exact(points->Y(row));
            else
                line += CsvSeparator;
        }
        writer.Add(line + LineEnd);
    }
    return writer.Finish(failure);
}

bool WriteFrd(const QString& fileName, const TSeriesColumn& column, QString& failure)
{
    const QChar point = QLatin1Char('.');
    TTextFileWriter writer(fileName);
    writer.Add(QStringLiteral("* Tonvix: charakterystyka częstotliwościowa, zapisano ") +
               QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + LineEnd);
    writer.Add(FrdNamePrefix + QString::number(column.Slot + 1) + QStringLiteral(": ") + column.Name +
               LineEnd);
    writer.Add(FrdConditionsPrefix + SeriesConditionsText(column.Record, point) + LineEnd);
    writer.Add(QStringLiteral("* Częstotliwość [Hz]  Poziom [dB]  Faza [°]") + LineEnd);
    if (column.Points)
        for (int i = 0; i < column.Points->Count(); ++i)
            writer.Add(NumberFormat::Exact(column.Points->X(i), point) + QLatin1Char(' ') +
                       NumberFormat::Exact(column.Points->Y(i), point) + QStringLiteral(" 0") + LineEnd);
    return writer.Finish(failure);
}

TReadOutcome ReadCsv(QIODevice& file, ISink& sink)
{
    TTextLineReader lines(file);
    if (!lines.Next())
        return lines.ReadFailed ? TReadOutcome::ReadError : TReadOutcome::UnknownFormat;
    lines.ChooseEncoding();
    const QString header = lines.Text();
    const QChar separator = CsvSeparatorOf(header);
    const auto cells = CsvCells(header, separator);
    if (!cells || cells->size() < 2)
        return TReadOutcome::UnknownFormat;
    const bool pressure = cells->front().trimmed().startsWith(QStringLiteral("Czas"), Qt::CaseInsensitive);
    if (!sink.SelectKind(pressure ? TMeasurementKind::SoundPressure
                                  : TMeasurementKind::FrequencyCharacteristic))
        return TReadOutcome::KindKept;
    return Outcome(pressure ? ReadSoundPressureCsv(lines, *cells, separator, sink)
                            : ReadFrequencyCsv(lines, *cells, separator, sink),
                   lines);
}

TReadOutcome ReadFrd(QIODevice& file, ISink& sink)
{
    TTextLineReader lines(file);
    if (!lines.Next())
        return lines.ReadFailed ? TReadOutcome::ReadError : TReadOutcome::UnknownFormat;
    lines.ChooseEncoding();
    if (!sink.SelectKind(TMeasurementKind::FrequencyCharacteristic))
        return TReadOutcome::KindKept;
    static const QRegularExpression named(QStringLiteral("^\\* Seria ([1-8]): ?(.*)$"));
    int slot = 0;
    QString name;
    TConditionsRead conditions;
    bool listed = false;
    do {
        const TResponseLine line =
            ParseResponseLine(QByteArrayView(lines.Bytes.data(), static_cast<qsizetype>(lines.Bytes.size())));
        if (line.Kind == TResponseLine::TKind::Comment && !listed) {
            const QString text = lines.Text();
            if (const QRegularExpressionMatch match = named.match(text); match.hasMatch()) {
                slot = match.captured(1).toInt() - 1;
                name = match.captured(2).trimmed();
            } else if (text.startsWith(FrdConditionsPrefix)) {
                conditions = ReadConditionsText(text.mid(FrdConditionsPrefix.size()));
            }
        } else if (line.Kind == TResponseLine::TKind::Invalid ||
                   (line.Kind == TResponseLine::TKind::Point && !(line.Frequency > 0))) {
            return TReadOutcome::InvalidFormat;
        } else if (line.Kind == TResponseLine::TKind::Point) {
            if (!listed) { // the comments before the first point describe the series
                sink.SeriesListed({slot});
                if (!name.isEmpty())
                    sink.SeriesName(slot, name.left(ResultFile::NameWidth));
                if (conditions.Recording)
                    sink.SeriesConditions(slot, conditions.Channel, conditions.Recording->AveragingTime,
                                          conditions.Recording->FrameRate);
                if (conditions.Microphone)
                    sink.SeriesMicrophoneCorrected(slot);
                listed = true;
            }
            sink.SeriesPoint(slot, line.Frequency, line.Level);
        }
    } while (lines.Next());
    return Outcome(listed ? TReadOutcome::Read : TReadOutcome::InvalidFormat, lines);
}

bool Read(const QString& fileName, ISink& sink, QString& failure)
{
    const std::optional<TFormat> format = FormatOf(fileName);
    if (!format) {
        failure = fileName + QStringLiteral(": ") + ResultFile::UnknownFormatMessage;
        return false;
    }
    QFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        failure = ReadFailureMessage(fileName, FileErrorReason(errno, file.errorString()));
        return false;
    }
    errno = 0;
    const TReadOutcome outcome = *format == TFormat::Levels ? ResultFile::Read(file, sink)
                                 : *format == TFormat::Csv  ? ReadCsv(file, sink)
                                                            : ReadFrd(file, sink);
    switch (outcome) {
    case TReadOutcome::Read:
    case TReadOutcome::KindKept:
        return true;
    case TReadOutcome::UnknownFormat:
        failure = fileName + QStringLiteral(": ") + ResultFile::UnknownFormatMessage;
        return false;
    case TReadOutcome::InvalidFormat:
        failure = fileName + QStringLiteral(": ") + ResultFile::InvalidFormatMessage;
        return false;
    case TReadOutcome::ReadError:
        failure = ReadFailureMessage(fileName, FileErrorReason(errno, file.errorString()));
        return false;
    }
    return false;
}

bool WriteSoundPressure(const QString& fileName, const TAcquisitionQueue& queue,
                        const TRecordingConditions& conditions, QString& failure)
{
    switch (FormatOf(fileName).value_or(TFormat::Levels)) {
    case TFormat::Levels:
        return ResultFile::WriteSoundPressure(fileName, queue, conditions, QDateTime::currentDateTime(),
                                              failure);
    case TFormat::Csv:
        return WriteSoundPressureCsv(fileName, queue, conditions, failure);
    case TFormat::Frd:
        break;
    }
    failure =
        WriteFailureMessage(fileName, QStringLiteral("plik FRD zawiera charakterystykę częstotliwościową, "
                                                     "a nie przebieg poziomu w czasie"));
    return false;
}

bool WriteFrequency(const QString& fileName, const std::vector<TSeriesColumn>& columns, bool withNames,
                    QString& failure, QStringList* written)
{
    const auto done = [&](const QString& name) {
        if (written)
            *written << name;
        return true;
    };
    switch (FormatOf(fileName).value_or(TFormat::Levels)) {
    case TFormat::Levels:
        return ResultFile::WriteFrequency(fileName, columns, withNames, QDateTime::currentDateTime(),
                                          failure) &&
               done(fileName);
    case TFormat::Csv:
        return WriteFrequencyCsv(fileName, columns, failure) && done(fileName);
    case TFormat::Frd:
        break;
    }
    if (columns.empty()) {
        failure = WriteFailureMessage(fileName, QStringLiteral("nie wybrano żadnej serii"));
        return false;
    }
    const QStringList names = FrdFileNames(fileName, columns);
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (!WriteFrd(names[static_cast<qsizetype>(i)], columns[i], failure) ||
            !done(names[static_cast<qsizetype>(i)]))
            return false;
    return true;
}

} // namespace ExchangeFile
