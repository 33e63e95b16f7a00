// SPDX-License-Identifier: GPL-3.0-or-later
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
// Spreadsheets take a CSV file for UTF-8 only when it starts with one.
const QChar ByteOrderMark(0xFEFF);
const QString NotMeasured = QStringLiteral("nie wykonano pomiaru");
const QString MicrophoneCorrected = QStringLiteral("korekcja mikrofonu");
const QString Synchronous = QStringLiteral("detekcja synchroniczna");
const QString ReferencePrefix = QStringLiteral("odniesienie: ");
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
    QString text = channel + QStringLiteral(", ") +
                   RecordingConditionsText(record.SlotAveragingTime, record.SlotFrameRate, separator) +
                   (record.SlotMicrophoneCorrected ? QStringLiteral(", ") + MicrophoneCorrected : QString());
    if (record.SlotSynchronous)
        text += QStringLiteral(", ") + Synchronous;
    if (record.SlotSynchronous && (record.SlotReference == 1 || record.SlotReference == 2))
        text += QStringLiteral(", ") + ReferencePrefix +
                (record.SlotReference == 1 ? QStringLiteral("kanał lewy") : QStringLiteral("kanał prawy"));
    return text;
}

// What the texts above say, read back; nothing where they are not there.
struct TConditionsRead
{
    std::optional<TRecordingConditions> Recording;
    int Channel = 0;
    bool Microphone = false;
    bool Synchronous = false;
    int Reference = 0;
};

TConditionsRead ReadConditionsText(const QString& text)
{
    static const QRegularExpression averaging(
        QStringLiteral("czas uśredniania\\s+([-+0-9.,\\x{066B}eE]+)\\s*s"),
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
    // The reference names a channel too: the one measured is named first.
    const qsizetype reference = text.indexOf(ReferencePrefix, 0, Qt::CaseInsensitive);
    const QString measured = reference < 0 ? text : text.left(reference);
    read.Channel = measured.contains(QStringLiteral("kanał prawy"), Qt::CaseInsensitive)  ? 1
                   : measured.contains(QStringLiteral("oba kanały"), Qt::CaseInsensitive) ? 2
                                                                                          : 0;
    read.Microphone = text.contains(MicrophoneCorrected, Qt::CaseInsensitive);
    read.Synchronous = text.contains(Synchronous, Qt::CaseInsensitive);
    if (read.Synchronous && reference >= 0)
        read.Reference =
            text.mid(reference).contains(QStringLiteral("kanał prawy"), Qt::CaseInsensitive) ? 2 : 1;
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

// The columns of a point's detail, after its level: phase, harmonics 2 to 9, THD, THD+N, overload, and
// whether its tone had not settled within the longest settling time.
enum TDetailColumn {
    PhaseColumn = 0,
    FirstHarmonicColumn = 1,
    ThdColumn = 9,
    ThdNColumn = 10,
    OverloadColumn = 11,
    UnsettledColumn = 12
};
constexpr int DetailColumns = 13;

QString DetailTitle(int detailColumn)
{
    if (detailColumn == PhaseColumn)
        return QStringLiteral("Faza [°]");
    if (detailColumn < ThdColumn)
        return QStringLiteral("H%1 [dB]").arg(detailColumn + 1);
    return detailColumn == ThdColumn        ? QStringLiteral("THD [%]")
           : detailColumn == ThdNColumn     ? QStringLiteral("THD+N [%]")
           : detailColumn == OverloadColumn ? QStringLiteral("Przesterowanie")
                                            : QStringLiteral("Nieustalony");
}

// The detail column a title names ("Faza [°] (seria 1)", "H3 [dB]", "Phase"), -1 for none.
int DetailColumnOf(const QString& cell)
{
    static const QRegularExpression harmonic(QStringLiteral("^H([2-9])\\b"));
    QString title;
    Parenthesised(cell, &title);
    if (title.startsWith(QStringLiteral("faza"), Qt::CaseInsensitive) ||
        title.startsWith(QStringLiteral("phase"), Qt::CaseInsensitive))
        return PhaseColumn;
    if (const QRegularExpressionMatch match = harmonic.match(title); match.hasMatch())
        return FirstHarmonicColumn + match.captured(1).toInt() - 2;
    if (title.startsWith(QStringLiteral("THD+N"), Qt::CaseInsensitive))
        return ThdNColumn;
    if (title.startsWith(QStringLiteral("THD"), Qt::CaseInsensitive))
        return ThdColumn;
    if (title.startsWith(QStringLiteral("przesterowanie"), Qt::CaseInsensitive))
        return OverloadColumn;
    if (title.startsWith(QStringLiteral("nieustalony"), Qt::CaseInsensitive))
        return UnsettledColumn;
    return -1;
}

QString DetailCell(const TPointDetail& detail, int detailColumn)
{
    const auto value = [](bool measured, double number) {
        return measured ? NumberFormat::Exact(number) : QString();
    };
    if (detailColumn == PhaseColumn)
        return value(detail.Has(TPointDetail::PhaseMeasured), detail.Phase);
    if (detailColumn < ThdColumn) {
        const int k = detailColumn - FirstHarmonicColumn + 2;
        return value(detail.Has(TPointDetail::HarmonicBit(k)), detail.Harmonic(k));
    }
    if (detailColumn == ThdColumn)
        return value(detail.Has(TPointDetail::ThdMeasured), detail.Thd);
    if (detailColumn == ThdNColumn)
        return value(detail.Has(TPointDetail::ThdNMeasured), detail.ThdN);
    const bool marked = detailColumn == OverloadColumn ? detail.Overloaded : detail.Unsettled;
    return marked ? QStringLiteral("1") : QStringLiteral("0");
}

// What a detail cell says; false when it holds text that is no number.
bool ReadDetailCell(const QString& cell, int detailColumn, TPointDetail& detail)
{
    if (cell.isEmpty())
        return true;
    const std::optional<double> number = NumberFormat::ParseNumber(cell);
    if (!number)
        return false;
    if (detailColumn == PhaseColumn) {
        detail.Phase = *number;
        detail.Measured |= TPointDetail::PhaseMeasured;
    } else if (detailColumn < ThdColumn) {
        detail.SetHarmonic(detailColumn - FirstHarmonicColumn + 2, *number);
    } else if (detailColumn == ThdColumn) {
        detail.Thd = *number;
        detail.Measured |= TPointDetail::ThdMeasured;
    } else if (detailColumn == ThdNColumn) {
        detail.ThdN = *number;
        detail.Measured |= TPointDetail::ThdNMeasured;
    } else if (detailColumn == OverloadColumn) {
        detail.Overloaded = *number != 0;
    } else {
        detail.Unsettled = *number != 0;
    }
    return true;
}

bool Detailed(const TSeriesColumn& column)
{
    return column.Points && column.Points->HasDetails();
}

// The titles of one series' columns in a CSV file, and its cells in one row (empty past its last
// point): "Częstotliwość [Hz] (seria 1)", "<name> [dB] (<conditions>)", and for detected points
// "Faza [°] (seria 1)", "H2 [dB] (seria 1)" ... "Przesterowanie (seria 1)".
QStringList SeriesTitles(const TSeriesColumn& column, QChar separator)
{
    const QString series = QStringLiteral(" (seria ") + QString::number(column.Slot + 1) + QLatin1Char(')');
    QStringList titles{QStringLiteral("Częstotliwość [Hz]") + series,
                       (column.Name.isEmpty() ? QString() : column.Name + QLatin1Char(' ')) +
                           QStringLiteral("[dB] (") + SeriesConditionsText(column.Record, separator) +
                           QLatin1Char(')')};
    for (int detail = 0; Detailed(column) && detail < DetailColumns; ++detail)
        titles << DetailTitle(detail) + series;
    return titles;
}

QStringList SeriesCells(const TSeriesColumn& column, int row)
{
    const TChartSeriesData* points = column.Points;
    const int width = Detailed(column) ? 2 + DetailColumns : 2;
    if (!points || row >= points->Count())
        return QStringList(width, QString());
    QStringList cells{NumberFormat::Exact(points->X(row)), NumberFormat::Exact(points->Y(row))};
    for (int detail = 0; Detailed(column) && detail < DetailColumns; ++detail)
        cells << DetailCell(*points->Detail(row), detail);
    return cells;
}

} // namespace

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

namespace {

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

// Where one series of a frequency CSV file lies: its slot, its frequency and level columns, and the
// columns of its points' details among those after the level up to the next series (-1: none).
struct TCsvSeries
{
    int Slot = 0;
    qsizetype Frequency = 0, Level = 1;
    std::array<qsizetype, DetailColumns> Details;
    bool Detailed = false;
};

// A frequency column's title in another program's file.
bool IsFrequencyTitle(const QString& cell)
{
    static const QRegularExpression frequency(QStringLiteral("hz|freq|częstotliwość"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString title;
    Parenthesised(cell, &title);
    return frequency.match(title).hasMatch();
}

// Where each series starts, from the first row of a frequency CSV file: the program's own frequency
// columns by their series number; other titled columns at every frequency title; otherwise three
// columns are one series with a phase (as other programs export a response), and an even number are
// (frequency, level) pairs.
std::vector<qsizetype> SeriesStarts(const QStringList& first, bool titled)
{
    std::vector<qsizetype> own, named, starts;
    for (qsizetype column = 0; titled && column + 1 < first.size(); ++column) {
        if (SlotOfFrequencyCell(first[column]) >= 0 && IsFrequencyTitle(first[column]))
            own.push_back(column);
        if (IsFrequencyTitle(first[column]) && !IsFrequencyTitle(first[column + 1]))
            named.push_back(column);
    }
    if (!own.empty())
        return own;
    if (!named.empty())
        return named;
    if (first.size() == 3)
        return {0};
    for (qsizetype column = 0; first.size() % 2 == 0 && column < first.size(); column += 2)
        starts.push_back(column);
    return starts;
}

// The series of a frequency CSV file; nothing for a layout it does not fit.
std::optional<std::vector<TCsvSeries>> CsvSeriesOf(QStringList first, bool titled)
{
    if (first.size() % 2 != 0 && first.back().trimmed().isEmpty())
        first.removeLast(); // a separator closing the row
    std::vector<TCsvSeries> series;
    const std::vector<qsizetype> starts = SeriesStarts(first, titled);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const qsizetype column = starts[i], next = i + 1 < starts.size() ? starts[i + 1] : first.size();
        const int named = titled ? SlotOfFrequencyCell(first[column]) : -1;
        TCsvSeries one{named >= 0 ? named : static_cast<int>(series.size()), column, column + 1, {}, false};
        one.Details.fill(-1);
        for (qsizetype detail = column + 2; detail < next; ++detail) {
            // Untitled, the third of three columns is a phase, as other programs export a response.
            const int kind = titled ? DetailColumnOf(first[detail]) : (first.size() == 3 ? PhaseColumn : -1);
            if (kind >= 0) {
                one.Details[static_cast<std::size_t>(kind)] = detail;
                one.Detailed = true;
            }
        }
        series.push_back(one);
    }
    if (series.empty() || series.size() > ResultSeriesCount)
        return std::nullopt;
    for (std::size_t i = 0; i < series.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (series[i].Slot == series[j].Slot)
                return std::nullopt; // two columns for one series
    return series;
}

// One row of frequency columns; false at a cell that does not read.
bool ReadSeriesRow(const QStringList& cells, const std::vector<TCsvSeries>& series, ISink& sink)
{
    for (const TCsvSeries& one : series) {
        const QString x = cells.value(one.Frequency).trimmed();
        const QString y = cells.value(one.Level).trimmed();
        if (x.isEmpty() && y.isEmpty())
            continue; // a series shorter than the longest one
        const auto frequency = NumberFormat::ParseNumber(x);
        const auto level = NumberFormat::ParseNumber(y);
        if (!frequency || !level)
            return false;
        if (!one.Detailed) {
            sink.SeriesPoint(one.Slot, *frequency, *level);
            continue;
        }
        TPointDetail detail;
        for (int kind = 0; kind < DetailColumns; ++kind) {
            const qsizetype column = one.Details[static_cast<std::size_t>(kind)];
            if (column >= 0 && !ReadDetailCell(cells.value(column).trimmed(), kind, detail))
                return false;
        }
        sink.SeriesDetailedPoint(one.Slot, *frequency, *level, detail);
    }
    return true;
}

// Hands over what a file says of one series: its name (none when empty) and its conditions.
void DescribeSeries(int slot, const QString& name, const TConditionsRead& conditions, ISink& sink)
{
    if (!name.isEmpty())
        sink.SeriesName(slot, name.left(ResultFile::NameWidth));
    if (conditions.Recording)
        sink.SeriesConditions(slot, conditions.Channel, conditions.Recording->AveragingTime,
                              conditions.Recording->FrameRate);
    if (conditions.Microphone)
        sink.SeriesMicrophoneCorrected(slot);
    if (conditions.Synchronous)
        sink.SeriesSynchronous(slot, conditions.Reference);
}

// A level column's title: "<name> [dB] (<conditions>)", the name perhaps empty.
void ReadLevelTitle(const QString& cell, int slot, ISink& sink)
{
    QString name;
    const TConditionsRead conditions = ReadConditionsText(Parenthesised(cell, &name));
    const qsizetype unit = name.lastIndexOf(QStringLiteral("[dB"));
    DescribeSeries(slot, unit >= 0 ? name.left(unit).trimmed() : name, conditions, sink);
}

TReadOutcome ReadFrequencyCsv(TTextLineReader& lines, const QStringList& first, QChar separator, ISink& sink)
{
    // Without titles the first row may already hold numbers.
    const bool titled = !NumberFormat::ParseNumber(first.value(0));
    const auto series = CsvSeriesOf(first, titled);
    if (!series)
        return TReadOutcome::InvalidFormat;
    std::vector<int> listed;
    for (const TCsvSeries& one : *series)
        listed.push_back(one.Slot);
    sink.SeriesListed(listed);
    if (titled) {
        for (const TCsvSeries& one : *series)
            ReadLevelTitle(first[one.Level], one.Slot, sink);
    } else if (!ReadSeriesRow(first, *series, sink)) {
        return TReadOutcome::InvalidFormat;
    }
    while (lines.Next()) {
        const QString line = lines.Text();
        if (line.trimmed().isEmpty())
            continue;
        const auto cells = CsvCells(line, separator);
        if (!cells || !ReadSeriesRow(*cells, *series, sink))
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
        QString(ByteOrderMark) +
        CsvRow({QStringLiteral("Czas [s] (") +
                    RecordingConditionsText(conditions.AveragingTime, conditions.FrameRate, separator) +
                    QLatin1Char(')'),
                QStringLiteral("Kanał lewy") + unit, QStringLiteral("Kanał prawy") + unit,
                QStringLiteral("Przesterowanie")}));
    // The overload column names the channels that overloaded since the row before.
    static const QString Overloaded[] = {QString(), QStringLiteral("L"), QStringLiteral("P"),
                                         QStringLiteral("L P")};
    std::array<double, 3> tick{};
    std::size_t filled = 0, row = 0;
    queue.ForEach([&](double value) {
        tick[filled++] = value;
        if (filled == tick.size()) {
            writer.Add(NumberFormat::Exact(tick[0]) + CsvSeparator + NumberFormat::Exact(tick[1]) +
                       CsvSeparator + NumberFormat::Exact(tick[2]) + CsvSeparator +
                       Overloaded[queue.OverloadAt(row++) & 3u] + LineEnd);
            filled = 0;
        }
    });
    return writer.Finish(failure);
}

bool WriteFrequencyCsv(const QString& fileName, const std::vector<TSeriesColumn>& columns, QString& failure)
{
    const QChar separator = NumberFormat::DecimalSeparator();
    QStringList titles;
    int rows = 0;
    for (const TSeriesColumn& column : columns) {
        titles << SeriesTitles(column, separator);
        rows = std::max(rows, column.Points ? column.Points->Count() : 0);
    }
    TTextFileWriter writer(fileName);
    writer.Add(QString(ByteOrderMark) + CsvRow(titles));
    for (int row = 0; row < rows; ++row) {
        QStringList cells;
        for (const TSeriesColumn& column : columns)
            cells << SeriesCells(column, row);
        writer.Add(CsvRow(cells));
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
    // A series of levels alone has the phase 0 that such files give a level alone. A detected point
    // whose phase was not measured has none: 0 would read back as a phase measured to be 0.
    const bool detailed = column.Points && column.Points->HasDetails();
    for (int i = 0; column.Points && i < column.Points->Count(); ++i) {
        const TPointDetail* detail = column.Points->Detail(i);
        const bool phased = detail && detail->Has(TPointDetail::PhaseMeasured);
        writer.Add(NumberFormat::Exact(column.Points->X(i), point) + QLatin1Char(' ') +
                   NumberFormat::Exact(column.Points->Y(i), point) +
                   (phased || !detailed
                        ? QLatin1Char(' ') + NumberFormat::Exact(phased ? detail->Phase : 0.0, point)
                        : QString()) +
                   LineEnd);
    }
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
    bool own = false; // the program's own conditions line: its phases are measured ones if detected
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
                own = true;
            }
        } else if (line.Kind == TResponseLine::TKind::Invalid ||
                   (line.Kind == TResponseLine::TKind::Heading && listed) ||
                   (line.Kind == TResponseLine::TKind::Point && !(line.Frequency > 0))) {
            return TReadOutcome::InvalidFormat;
        } else if (line.Kind == TResponseLine::TKind::Point) {
            if (!listed) { // the comments before the first point describe the series
                sink.SeriesListed({slot});
                DescribeSeries(slot, name, conditions, sink);
                listed = true;
            }
            if (line.HasPhase && (!own || conditions.Synchronous)) {
                TPointDetail detail;
                detail.Phase = line.Phase;
                detail.Measured = TPointDetail::PhaseMeasured;
                sink.SeriesDetailedPoint(slot, line.Frequency, line.Level, detail);
            } else {
                sink.SeriesPoint(slot, line.Frequency, line.Level);
            }
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
    QFile file;
    if (!OpenForReading(file, fileName, failure))
        return false;
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
        failure = ReadFailureMessage(fileName, FileErrorReason(errno));
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
