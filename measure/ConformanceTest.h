#pragma once

#include "measure/FrequencyWeighting.h"

#include <QString>
#include <optional>
#include <vector>

// The meter as the conformance test sets it up: the weighting, the frame rate and the input block.
struct TConformanceSetup
{
    TFrequencyWeighting Weighting = TFrequencyWeighting::Z;
    int FrameRate = 48000;
    int BlockFrames = 1500;
};

// One test of the table. Values are in dB (dB/s for the decay rates), the measured one relative to
// the steady reference as the expected one is. A row passes when the measured value lies within
// expected + Lower .. expected + Upper; no Lower means no lower limit.
struct TConformanceRow
{
    QString Test;
    double Expected = 0;
    std::optional<double> Measured; // nothing: the signal cannot be played at this frame rate
    std::optional<double> Lower;
    double Upper = 0;
    bool DecayRate = false; // dB/s rather than dB
    bool Passed = false;
};

// Feeds the program's own block analysis with synthetic 16-bit signals and compares what it measures
// with the class 1 tolerances of a sound level meter. Self-contained: it uses a meter of its own and
// touches nothing of the running program, so it may run on any thread.
std::vector<TConformanceRow> RunConformanceTest(const TConformanceSetup& setup);

// The table's cells in the program's number format: expected, measured, tolerance, verdict.
QString ExpectedText(const TConformanceRow& row);
QString MeasuredText(const TConformanceRow& row);
QString ToleranceText(const TConformanceRow& row);
QString VerdictText(const TConformanceRow& row);
