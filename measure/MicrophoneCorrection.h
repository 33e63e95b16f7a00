// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

// A measurement microphone's deviation from a flat response, as its calibration file gives it: points
// of frequency (Hz, not decreasing) and deviation (dB). The sweep subtracts the deviation at each
// point's frequency, so a microphone that reads 3 dB high at 10 kHz has 3 dB taken off there.
//
// Between two points the deviation is linear in dB over the logarithm of the frequency; below the
// first and above the last point it stays at their value. Two points at one frequency make a step:
// the frequency itself takes the first, anything above it the second.
class TMicrophoneCorrection
{
public:
    struct TPoint
    {
        double Frequency = 0; // Hz, above 0
        double Deviation = 0; // dB
    };

    TMicrophoneCorrection() = default;
    // Points in file order; the caller has checked that frequencies are above 0 and do not decrease.
    explicit TMicrophoneCorrection(std::vector<TPoint> points, std::optional<double> sensFactor = {});

    bool InForce() const { return !Points.empty(); }
    const std::vector<TPoint>& Table() const { return Points; }
    // The file's "Sens Factor" (dB), kept for the record: the channel's own calibration sets the level.
    std::optional<double> SensFactor() const { return Sensitivity; }

    // The deviation at a frequency; 0 when no correction is in force. No allocation.
    double DeviationDb(double frequency) const;

private:
    std::vector<TPoint> Points;
    std::optional<double> Sensitivity;
};
