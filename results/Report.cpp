// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/Report.h"

#include "common/NumberFormat.h"
#include "results/AcquisitionQueue.h"

#include <array>
#include <cmath>

namespace Report {

namespace {

QString Level(double value)
{
    // A series without points or a peak never measured must still read as a number.
    return NumberFormat::Fixed(std::isfinite(value) ? value : 0.0, 7, 2) + QStringLiteral("dB");
}

} // namespace

bool HasReport(TMeasurementKind kind, int series)
{
    if (kind == TMeasurementKind::SoundPressure)
        return series == LeftChannelSeries || series == RightChannelSeries;
    return series >= 0 && series < ChartSeriesCount;
}

QString Text(TMeasurementKind kind, int series, double peak, double maximum, double minimum)
{
    QString header;
    if (kind == TMeasurementKind::SoundPressure && series == LeftChannelSeries)
        header = QStringLiteral("Kanał lewy:\r");
    else if (kind == TMeasurementKind::SoundPressure && series == RightChannelSeries)
        header = QStringLiteral("Kanał prawy:\r");
    // The blanks after the labels line the numbers up in a fixed-pitch reading.
    return header + QStringLiteral("Wartość szczytowa:          ") + Level(peak) + QStringLiteral("\r") +
           QStringLiteral("Maksimum charakterystyki:") + Level(maximum) + QStringLiteral("\r") +
           QStringLiteral("Minimum charakterystyki:   ") + Level(minimum) + QStringLiteral("\r") +
           QStringLiteral("Różnica poziomów:            ") + Level(maximum - minimum);
}

QString StatisticsText(const TMeasurementState& state, int series)
{
    const bool channel = series == LeftChannelSeries || series == RightChannelSeries;
    if (state.MeasurementKind != TMeasurementKind::SoundPressure || !channel ||
        FiguresMeasuredWith(state).Weighting == TFrequencyWeighting::Z)
        return {};
    const TStatisticsFigures figures = StatisticsFigures(state);
    if (!figures.Measured)
        return {};
    const TChannelFigures& values = series == LeftChannelSeries ? figures.Left : figures.Right;
    const std::array<QString, StatisticsRowCount> names = StatisticsRowNames(state);
    // Labels as wide as the peak's, so the numbers stand in the same column.
    const auto label = [&](int row) {
        return NumberFormat::LeftAligned(names[row] + QStringLiteral(":"), 28);
    };
    QString text;
    int row = 0;
    for (const double value : {values.Leq, values.Lmax, values.Lmin, values.Lpeak, values.LE})
        text += QStringLiteral("\r") + label(row++) + Level(value);
    for (const double value : values.Exceeded)
        text += QStringLiteral("\r") + label(row++) +
                (values.HasExceeded ? Level(value) : QStringLiteral("      -"));
    text += QStringLiteral("\r") + label(row++) + NumberFormat::Fixed(figures.Duration, 7, 1) +
            QStringLiteral("s");
    return text + QStringLiteral("\r") + label(row) + OverloadText(values.Overload);
}

bool ReleaseMemory(TAcquisitionQueue& queue, bool inputRunning, bool acquisitionOn)
{
    queue.Clear();
    return inputRunning && acquisitionOn;
}

} // namespace Report
