#include "measure/MeasurementStatistics.h"

#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/MeasurementState.h"

#include <algorithm>

namespace {

constexpr long double ExposureReference = 1.0L; // s: the sound exposure level refers to one second

void AddChannel(TChannelStatistics& channel, bool first, double seconds, long double meanSquare,
                long double timeWeighted, double peakSquare)
{
    channel.Exposure += meanSquare * seconds;
    channel.MaxTimeWeighted = first ? timeWeighted : std::max(channel.MaxTimeWeighted, timeWeighted);
    channel.MinTimeWeighted = first ? timeWeighted : std::min(channel.MinTimeWeighted, timeWeighted);
    channel.PeakSquare = std::max(channel.PeakSquare, peakSquare);
}

TChannelFigures ChannelFigures(const TChannelStatistics& channel, double duration)
{
    const auto level = [](long double meanSquare) { return TLevelMeter::Level(meanSquare, LevelOffsetDb); };
    return {level(channel.Exposure / duration), level(channel.MaxTimeWeighted),
            level(channel.MinTimeWeighted), level(channel.PeakSquare),
            level(channel.Exposure / ExposureReference)};
}

// Each figure less the other channel's, in dB, as compensation does with the levels.
void Compensate(TChannelFigures& figures, const TChannelFigures& reference)
{
    figures.Leq -= reference.Leq;
    figures.Lmax -= reference.Lmax;
    figures.Lmin -= reference.Lmin;
    figures.Lpeak -= reference.Lpeak;
    figures.LE -= reference.LE;
}

void AddOffset(TChannelFigures& figures, double offset)
{
    for (double* figure : {&figures.Leq, &figures.Lmax, &figures.Lmin, &figures.Lpeak, &figures.LE})
        *figure += offset;
}

// The time weighting's letter where the averaging time is one of the standard ones.
QString TimeWeightingLetter(const TMeasurementState& state)
{
    if (state.NoAveraging)
        return {};
    if (state.AveragingTime == 1.0)
        return QStringLiteral("S");
    if (state.AveragingTime == 0.125)
        return QStringLiteral("F");
    if (state.AveragingTime == 0.035)
        return QStringLiteral("I");
    return {};
}

QString LevelText(double level)
{
    return NumberFormat::Fixed(level, 0, 1) + QStringLiteral(" dB");
}

} // namespace

void TMeasurementStatistics::Reset()
{
    Duration = 0;
    Left = Right = {};
}

void TMeasurementStatistics::AddBlock(double seconds, long double meanSquareL, long double meanSquareR,
                                      long double timeWeightedL, long double timeWeightedR,
                                      double peakSquareL, double peakSquareR)
{
    const bool first = Duration == 0;
    AddChannel(Left, first, seconds, meanSquareL, timeWeightedL, peakSquareL);
    AddChannel(Right, first, seconds, meanSquareR, timeWeightedR, peakSquareR);
    Duration += seconds;
}

TStatisticsFigures StatisticsFigures(const TMeasurementState& state)
{
    const TMeasurementStatistics& statistics = state.Statistics;
    TStatisticsFigures figures;
    figures.Measured = statistics.Duration > 0;
    if (!figures.Measured)
        return figures;
    figures.Duration = statistics.Duration;
    const TChannelFigures left = ChannelFigures(statistics.Left, statistics.Duration);
    const TChannelFigures right = ChannelFigures(statistics.Right, statistics.Duration);
    figures.Left = left;
    figures.Right = right;
    if (state.Compensation && state.ChannelMode == TChannelMode::Left)
        Compensate(figures.Left, right);
    else if (state.Compensation && state.ChannelMode == TChannelMode::Right)
        Compensate(figures.Right, left);
    AddOffset(figures.Left, state.TimeCalibrationL);
    AddOffset(figures.Right, state.TimeCalibrationR);
    return figures;
}

std::array<QString, StatisticsRowCount> StatisticsRowNames(const TMeasurementState& state)
{
    const QString weighting = WeightingLetter(state.FrequencyWeighting);
    const QString time = TimeWeightingLetter(state);
    // The peak is C-weighted whenever a weighting is on, as sound level meters measure it.
    const QString peak = state.FrequencyWeighting == TFrequencyWeighting::Z ? weighting : QStringLiteral("C");
    return {QStringLiteral("L") + weighting + QStringLiteral("eq"),
            QStringLiteral("L") + weighting + time + QStringLiteral("max"),
            QStringLiteral("L") + weighting + time + QStringLiteral("min"),
            QStringLiteral("L") + peak + QStringLiteral("peak"),
            QStringLiteral("L") + weighting + QStringLiteral("E"),
            QStringLiteral("Czas pomiaru")};
}

QList<QStringList> StatisticsTable(const TMeasurementState& state)
{
    const TStatisticsFigures figures = StatisticsFigures(state);
    const std::array<QString, StatisticsRowCount> names = StatisticsRowNames(state);
    const auto cells = [&](double left, double right) {
        return figures.Measured ? QStringList{LevelText(left), LevelText(right)}
                                : QStringList{QStringLiteral("-"), QStringLiteral("-")};
    };
    const TChannelFigures& l = figures.Left;
    const TChannelFigures& r = figures.Right;
    const QString duration = figures.Measured
                                 ? NumberFormat::Fixed(figures.Duration, 0, 1) + QStringLiteral(" s")
                                 : QStringLiteral("-");
    return {QStringList{QString(), QStringLiteral("Kanał lewy"), QStringLiteral("Kanał prawy")},
            QStringList{names[0]} + cells(l.Leq, r.Leq),
            QStringList{names[1]} + cells(l.Lmax, r.Lmax),
            QStringList{names[2]} + cells(l.Lmin, r.Lmin),
            QStringList{names[3]} + cells(l.Lpeak, r.Lpeak),
            QStringList{names[4]} + cells(l.LE, r.LE),
            QStringList{names[5], duration, duration}};
}

QString StatisticsTableText(const TMeasurementState& state)
{
    QString text;
    for (const QStringList& row : StatisticsTable(state))
        text += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}
