// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/MeasurementStatistics.h"

#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/MeasurementState.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr long double ExposureReference = 1.0L; // s: the sound exposure level refers to one second
constexpr int ClassesPerDecibel = 10;
constexpr std::size_t IntervalsReserved = 4096; // an hour of one-second intervals before any growth

double Level(long double meanSquare)
{
    return TLevelMeter::Level(meanSquare, LevelOffsetDb);
}

void Fold(TChannelStatistics& channel, bool first, const TStatisticsSegment& segment, std::size_t c,
          int frameRate)
{
    channel.Exposure += static_cast<long double>(segment.Squares[c]) / frameRate;
    const long double highest = segment.MaxTimeWeighted[c], lowest = segment.MinTimeWeighted[c];
    channel.MaxTimeWeighted = first ? highest : std::max(channel.MaxTimeWeighted, highest);
    channel.MinTimeWeighted = first ? lowest : std::min(channel.MinTimeWeighted, lowest);
    channel.PeakSquare = std::max(channel.PeakSquare, segment.PeakSquare[c]);
    channel.Overload = channel.Overload || segment.Overload[c];
}

TChannelFigures ChannelFigures(const TChannelStatistics& channel, double duration)
{
    TChannelFigures figures;
    figures.Leq = Level(channel.Exposure / duration);
    figures.Lmax = Level(channel.MaxTimeWeighted);
    figures.Lmin = Level(channel.MinTimeWeighted);
    figures.Lpeak = Level(channel.PeakSquare);
    figures.LE = Level(channel.Exposure / ExposureReference);
    figures.Overload = channel.Overload;
    return figures;
}

constexpr std::size_t FigureCount = 5 + ExceededPercents.size();

std::array<double*, FigureCount> Figures(TChannelFigures& figures)
{
    std::array<double*, FigureCount> all{&figures.Leq, &figures.Lmax, &figures.Lmin, &figures.Lpeak,
                                         &figures.LE};
    for (std::size_t i = 0; i < ExceededPercents.size(); ++i)
        all[5 + i] = &figures.Exceeded[i];
    return all;
}

// The left level less the right one over a stretch, sampled with the histograms.
struct TDifference
{
    double Max = 0, Min = 0;
    const TLevelHistogram* Histogram = nullptr; // of the whole recording only
};

// Compensation shows one channel's level less the other's: the energy figures are the difference of
// the channels' own, the extremes and the levels exceeded those of the difference itself. `sign` is
// 1 for the left channel less the right one, -1 the other way.
void Compensate(TChannelFigures& figures, const TChannelFigures& reference, const TDifference& difference,
                double sign)
{
    figures.Leq -= reference.Leq;
    figures.Lpeak -= reference.Lpeak;
    figures.LE -= reference.LE;
    figures.Lmax = sign > 0 ? difference.Max : -difference.Min;
    figures.Lmin = sign > 0 ? difference.Min : -difference.Max;
    if (difference.Histogram)
        for (std::size_t i = 0; i < ExceededPercents.size(); ++i)
            figures.Exceeded[i] = sign > 0 ? difference.Histogram->Exceeded(ExceededPercents[i])
                                           : -difference.Histogram->Exceeded(100 - ExceededPercents[i]);
}

void AddOffset(TChannelFigures& figures, double offset)
{
    for (double* figure : Figures(figures))
        *figure += offset;
}

// Compensation, then the calibration offsets of the read-outs.
TStatisticsFigures Published(const TMeasurementState& state, double duration, const TChannelFigures& left,
                             const TChannelFigures& right, const TDifference& difference)
{
    TStatisticsFigures figures{true, duration, left, right};
    if (state.Compensation && state.ChannelMode == TChannelMode::Left)
        Compensate(figures.Left, right, difference, 1);
    else if (state.Compensation && state.ChannelMode == TChannelMode::Right)
        Compensate(figures.Right, left, difference, -1);
    AddOffset(figures.Left, state.TimeCalibrationL);
    AddOffset(figures.Right, state.TimeCalibrationR);
    return figures;
}

QString LevelText(double level)
{
    return NumberFormat::Fixed(level, 0, 1) + QStringLiteral(" dB");
}

QString Seconds(double seconds)
{
    return NumberFormat::Fixed(seconds, 0, 1);
}

} // namespace

// ---- The histogram

void TLevelHistogram::Add(double level)
{
    const double position = std::min((level - Bottom) * ClassesPerDecibel, double(Classes - 1));
    ++Counts[position > 0 ? static_cast<std::size_t>(std::lround(position)) : 0];
    ++Total;
}

double TLevelHistogram::Exceeded(double percent) const
{
    // From the top down, the first class at which the samples so far reach the share.
    std::uint64_t above = 0;
    for (int i = Classes - 1; i >= 0; --i) {
        above += Counts[static_cast<std::size_t>(i)];
        if (above > 0 && static_cast<double>(above) * 100 >= percent * static_cast<double>(Total))
            return (i + Bottom * ClassesPerDecibel) / ClassesPerDecibel;
    }
    return Bottom;
}

// ---- The statistics

void TMeasurementStatistics::Reset()
{
    Frames = 0;
    Rate = 0;
    RateOrigin = 0;
    SecondsAtRateOrigin = 0;
    Whole = {};
    Histograms.fill(TLevelHistogram());
    Difference = TLevelHistogram(-TLevelHistogram::Span / 2);
    DifferenceMax = DifferenceMin = 0;
    Samples = 0;
    StartLog();
}

void TMeasurementStatistics::SetLogInterval(double seconds)
{
    const double interval = seconds > 0 ? std::clamp(seconds, ShortestInterval, LongestInterval) : 0;
    if (interval == Interval)
        return;
    Interval = interval;
    StartLog();
}

void TMeasurementStatistics::StartLog()
{
    LogOrigin = Frames;
    IntervalsDone = 0;
    Open = {Duration(), 0, {}};
    OpenFrames = 0;
    Closed.clear();
    Dropped = 0;
    ++Starts;
    if (Interval > 0)
        Closed.reserve(std::min(IntervalsReserved, Kept > 0 ? Kept : IntervalsReserved));
}

void TMeasurementStatistics::ForgetIntervals(std::size_t count)
{
    count = std::min(count, Closed.size());
    Closed.erase(Closed.begin(), Closed.begin() + static_cast<std::ptrdiff_t>(count));
    Dropped += count;
}

std::int64_t TMeasurementStatistics::NextSampleAt(int frameRate) const
{
    return (Samples + 1) * frameRate / SamplesPerSecond;
}

std::int64_t TMeasurementStatistics::IntervalEndAt(int frameRate) const
{
    return LogOrigin + std::llround(static_cast<double>(IntervalsDone + 1) * Interval * frameRate);
}

int TMeasurementStatistics::FramesToBoundary(int frameRate) const
{
    if (frameRate <= 0)
        return INT_MAX;
    std::int64_t boundary = NextSampleAt(frameRate);
    if (Interval > 0)
        boundary = std::min(boundary, IntervalEndAt(frameRate));
    return static_cast<int>(std::clamp<std::int64_t>(boundary - Frames, 1, INT_MAX));
}

void TMeasurementStatistics::Add(const TStatisticsSegment& segment, int frameRate)
{
    if (segment.Frames <= 0 || frameRate <= 0)
        return;
    if (frameRate != Rate) {
        SecondsAtRateOrigin = Duration();
        RateOrigin = Frames;
        Rate = frameRate;
    }
    const std::int64_t sampleAt = NextSampleAt(frameRate);
    const std::int64_t intervalEnd = IntervalEndAt(frameRate);
    for (std::size_t c = 0; c < 2; ++c) {
        Fold(Whole[c], Frames == 0, segment, c, frameRate);
        if (Interval > 0)
            Fold(Open.Channels[c], OpenFrames == 0, segment, c, frameRate);
    }
    Frames += segment.Frames;
    OpenFrames += segment.Frames;
    Open.Duration = Duration() - Open.Start;

    if (Frames >= sampleAt) {
        std::array<double, 2> levels{};
        for (std::size_t c = 0; c < 2; ++c) {
            levels[c] = Level(segment.EndTimeWeighted[c]);
            Histograms[c].Add(levels[c]);
        }
        const double difference = levels[0] - levels[1];
        const bool first = Difference.Empty();
        DifferenceMax = first ? difference : std::max(DifferenceMax, difference);
        DifferenceMin = first ? difference : std::min(DifferenceMin, difference);
        Difference.Add(difference);
        if (Interval > 0) {
            Open.DifferenceMax = Open.Differences ? std::max(Open.DifferenceMax, difference) : difference;
            Open.DifferenceMin = Open.Differences ? std::min(Open.DifferenceMin, difference) : difference;
            Open.Differences = true;
        }
        // One sample per instant; the loop only runs on after a change of the frame rate.
        Samples = std::max(Samples + 1, Frames * SamplesPerSecond / frameRate);
        while (NextSampleAt(frameRate) <= Frames)
            ++Samples;
    }
    if (Interval > 0 && Frames >= intervalEnd) {
        // A log longer than it may keep lets a tenth of it go at once, not one record per interval.
        if (Kept > 0 && Closed.size() >= Kept)
            ForgetIntervals(std::max<std::size_t>(Kept / 10, 1));
        Closed.push_back(Open);
        IntervalsDone = std::max(IntervalsDone + 1,
                                 static_cast<std::int64_t>((Frames - LogOrigin) / (Interval * frameRate)));
        while (IntervalEndAt(frameRate) <= Frames)
            ++IntervalsDone;
        Open = {Duration(), 0, {}};
        OpenFrames = 0;
    }
}

double TMeasurementStatistics::Duration() const
{
    return Rate > 0 ? SecondsAtRateOrigin + static_cast<double>(Frames - RateOrigin) / Rate
                    : SecondsAtRateOrigin;
}

std::optional<TIntervalRecord> TMeasurementStatistics::OpenInterval() const
{
    if (Interval > 0 && OpenFrames > 0)
        return Open;
    return std::nullopt;
}

// ---- Figures

TStatisticsFigures StatisticsFigures(const TMeasurementState& state)
{
    const TMeasurementStatistics& statistics = state.Statistics;
    if (statistics.Duration() <= 0)
        return {};
    std::array<TChannelFigures, 2> channels;
    for (int c = 0; c < 2; ++c) {
        channels[c] = ChannelFigures(statistics.Channel(c), statistics.Duration());
        channels[c].HasExceeded = !statistics.Histogram(c).Empty();
        for (std::size_t i = 0; i < ExceededPercents.size(); ++i)
            channels[c].Exceeded[i] = statistics.Histogram(c).Exceeded(ExceededPercents[i]);
    }
    return Published(
        state, statistics.Duration(), channels[0], channels[1],
        {statistics.LargestDifference(), statistics.SmallestDifference(), &statistics.DifferenceHistogram()});
}

TStatisticsFigures IntervalFigures(const TMeasurementState& state, const TIntervalRecord& record)
{
    if (record.Duration <= 0)
        return {};
    return Published(state, record.Duration, ChannelFigures(record.Channels[0], record.Duration),
                     ChannelFigures(record.Channels[1], record.Duration),
                     {record.DifferenceMax, record.DifferenceMin, nullptr});
}

// ---- Tables

TMeasuredWith FiguresMeasuredWith(const TMeasurementState& state)
{
    if (state.Statistics.Duration() > 0)
        return state.Statistics.MeasuredWith;
    return {state.FrequencyWeighting, state.NoAveraging, state.ImpulseWeighting, state.AveragingTime};
}

QString TimeWeightingLetter(const TMeasuredWith& with)
{
    if (with.NoAveraging)
        return {};
    if (with.Impulse)
        return QStringLiteral("I");
    if (with.AveragingTime == 1.0)
        return QStringLiteral("S");
    if (with.AveragingTime == 0.125)
        return QStringLiteral("F");
    return {};
}

QString OverloadText(bool overload)
{
    return overload ? QStringLiteral("tak") : QStringLiteral("nie");
}

std::array<QString, StatisticsRowCount> StatisticsRowNames(const TMeasurementState& state)
{
    const TMeasuredWith with = FiguresMeasuredWith(state);
    const QString weighting = WeightingLetter(with.Weighting);
    const QString time = TimeWeightingLetter(with);
    // The peak is C-weighted whenever a weighting is on, as sound level meters measure it.
    const QString peak = with.Weighting == TFrequencyWeighting::Z ? weighting : QStringLiteral("C");
    std::array<QString, StatisticsRowCount> names{
        QStringLiteral("L") + weighting + QStringLiteral("eq"),
        QStringLiteral("L") + weighting + time + QStringLiteral("max"),
        QStringLiteral("L") + weighting + time + QStringLiteral("min"),
        QStringLiteral("L") + peak + QStringLiteral("peak"),
        QStringLiteral("L") + weighting + QStringLiteral("E")};
    for (std::size_t i = 0; i < ExceededPercents.size(); ++i)
        names[5 + i] = QStringLiteral("L") + weighting + time + QString::number(ExceededPercents[i]);
    names[StatisticsRowCount - 2] = QStringLiteral("Czas pomiaru");
    names.back() = QStringLiteral("Przesterowanie");
    return names;
}

QList<QStringList> StatisticsTable(const TMeasurementState& state)
{
    TStatisticsFigures figures = StatisticsFigures(state);
    const std::array<QString, StatisticsRowCount> names = StatisticsRowNames(state);
    const std::array<double*, FigureCount> left = Figures(figures.Left), right = Figures(figures.Right);
    QList<QStringList> table{{QString(), QStringLiteral("Kanał lewy"), QStringLiteral("Kanał prawy")}};
    const QString none = QStringLiteral("-");
    for (std::size_t i = 0; i < FigureCount; ++i) {
        // A recording shorter than the first sample instant has no levels exceeded.
        const bool shown = figures.Measured && (i < 5 || figures.Left.HasExceeded);
        table << (shown ? QStringList{names[i], LevelText(*left[i]), LevelText(*right[i])}
                        : QStringList{names[i], none, none});
    }
    const QString duration = figures.Measured ? Seconds(figures.Duration) + QStringLiteral(" s") : none;
    table << QStringList{names[StatisticsRowCount - 2], duration, duration};
    table << (figures.Measured ? QStringList{names.back(), OverloadText(figures.Left.Overload),
                                             OverloadText(figures.Right.Overload)}
                               : QStringList{names.back(), none, none});
    return table;
}

QString StatisticsTableText(const TMeasurementState& state)
{
    return TableText(StatisticsTable(state));
}

namespace {

constexpr int IntervalFigureCount = 4; // Leq, Lmax, Lmin, Lpeak, then the overload

// The channels of the channel mode, left first.
std::vector<int> ModeChannels(const TMeasurementState& state)
{
    std::vector<int> channels;
    if (state.ChannelMode != TChannelMode::Right)
        channels.push_back(0);
    if (state.ChannelMode != TChannelMode::Left)
        channels.push_back(1);
    return channels;
}

} // namespace

QStringList IntervalHeader(const TMeasurementState& state)
{
    const std::array<QString, StatisticsRowCount> names = StatisticsRowNames(state);
    QStringList header{QStringLiteral("Początek [s]"), QStringLiteral("Czas [s]")};
    for (const int channel : ModeChannels(state))
        for (int i = 0; i < IntervalFigureCount; ++i)
            header << names[static_cast<std::size_t>(i)] +
                          (channel == 0 ? QStringLiteral(" L") : QStringLiteral(" P"));
    for (const int channel : ModeChannels(state))
        header << names.back() + (channel == 0 ? QStringLiteral(" L") : QStringLiteral(" P"));
    return header;
}

QStringList IntervalRow(const TMeasurementState& state, const TIntervalRecord& record)
{
    TStatisticsFigures figures = IntervalFigures(state, record);
    QStringList row{Seconds(record.Start), Seconds(record.Duration)};
    for (const int channel : ModeChannels(state)) {
        const std::array<double*, FigureCount> values = Figures(channel == 0 ? figures.Left : figures.Right);
        for (int i = 0; i < IntervalFigureCount; ++i)
            row << NumberFormat::Fixed(*values[static_cast<std::size_t>(i)], 0, 1);
    }
    for (const int channel : ModeChannels(state))
        row << OverloadText(channel == 0 ? figures.Left.Overload : figures.Right.Overload);
    return row;
}

QList<QStringList> IntervalTable(const TMeasurementState& state)
{
    QList<QStringList> table{IntervalHeader(state)};
    for (const TIntervalRecord& record : state.Statistics.Intervals())
        table << IntervalRow(state, record);
    if (const std::optional<TIntervalRecord> open = state.Statistics.OpenInterval())
        table << IntervalRow(state, *open);
    return table;
}

QString TableText(const QList<QStringList>& table)
{
    QString text;
    for (const QStringList& row : table)
        text += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}
