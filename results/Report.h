// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "measure/MeasurementState.h"

#include <QString>

class TAcquisitionQueue;

// The report box that sums up one chart series in four numbers, and the memory release.
namespace Report {

// Whether the given chart series (0..9) has a report in this kind: the two channels in the
// sound-pressure kind, every series in the frequency-characteristic kind.
bool HasReport(TMeasurementKind kind, int series);

// The report's lines, each ending "dB", joined by "\r": a channel header for the channel series of
// the sound-pressure kind, then the peak, the largest and smallest level and their difference.
QString Text(TMeasurementKind kind, int series, double peak, double maximum, double minimum);

// The statistics of a channel's report, each line after "\r", to follow the four lines above: only
// for the channel series of the sound-pressure kind, with the A or C weighting and once a recording has
// measured something; otherwise nothing, and the box stays as it was.
QString StatisticsText(const TMeasurementState& state, int series);

// Empties the queue. Returns whether "Zwolnienie pamięci" stays enabled: only while the input runs
// with acquisition on, since new values keep arriving.
bool ReleaseMemory(TAcquisitionQueue& queue, bool inputRunning, bool acquisitionOn);

} // namespace Report
