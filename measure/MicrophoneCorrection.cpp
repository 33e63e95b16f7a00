// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/MicrophoneCorrection.h"

#include <algorithm>
#include <cmath>

TMicrophoneCorrection::TMicrophoneCorrection(std::vector<TPoint> points, std::optional<double> sensFactor)
    : Points(std::move(points)), Sensitivity(sensFactor)
{
}

double TMicrophoneCorrection::DeviationDb(double frequency) const
{
    if (Points.empty())
        return 0;
    if (!(frequency > Points.front().Frequency))
        return Points.front().Deviation;
    if (frequency >= Points.back().Frequency)
        return Points.back().Deviation;
    // The first point at or above the frequency: at a step the frequency itself keeps the lower value.
    const auto above = std::lower_bound(Points.begin(), Points.end(), frequency,
                                        [](const TPoint& point, double f) { return point.Frequency < f; });
    if (above->Frequency == frequency)
        return above->Deviation;
    const TPoint& below = *(above - 1);
    const double position =
        std::log(frequency / below.Frequency) / std::log(above->Frequency / below.Frequency);
    return below.Deviation + (above->Deviation - below.Deviation) * position;
}
