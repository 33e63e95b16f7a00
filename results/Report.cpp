#include "results/Report.h"

#include "common/NumberFormat.h"
#include "results/AcquisitionQueue.h"

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

bool ReleaseMemory(TAcquisitionQueue& queue, bool inputRunning, bool acquisitionOn)
{
    queue.Clear();
    return inputRunning && acquisitionOn;
}

} // namespace Report
