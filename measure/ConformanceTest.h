// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/FrequencyWeighting.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TChartModel;
struct TMeasurementState;
struct TStandaloneMeterPorts;

// The meter a section tries: the program's own, or in the tests one broken on purpose, which its
// rows must find out.
class IMeterUnderTest
{
public:
    virtual ~IMeterUnderTest() = default;
    virtual bool AnalyseBlock(float* samples, int& count) = 0;
    virtual void RefreshLevels() = 0;
};
using TMeterMaker = std::function<std::unique_ptr<IMeterUnderTest>(
    TMeasurementState& state, TStandaloneMeterPorts& ports, TChartModel& chart)>;

// The program as the conformance test sets it up: the meter's weighting, the frame rate and the input
// block.
struct TConformanceSetup
{
    TFrequencyWeighting Weighting = TFrequencyWeighting::Z;
    int FrameRate = 48000;
    int BlockFrames = 1500;
    TMeterMaker MakeMeter; // none: the program's own level meter
};

// One test of the conformance table, whatever part of the program it tests: the value it should
// give and the limits of the deviation from it. A row passes when the measured value lies within
// Expected + Lower .. Expected + Upper, the limits included; a missing limit does not bound.
struct TConformanceRow
{
    QString Group; // the heading the row stands under
    QString Test;  // what was tried
    double Expected = 0;
    std::optional<double> Measured; // nothing: it could not be measured, and Note says why
    std::optional<double> Lower, Upper;
    QString Unit = QStringLiteral(" dB");
    QString Note;
    bool Passed = false;
};

// A row with its verdict.
TConformanceRow JudgedRow(const QString& group, const QString& test, double expected,
                          std::optional<double> measured, std::optional<double> lower,
                          std::optional<double> upper, const QString& unit = QStringLiteral(" dB"));

// A section of the table: the rows of one part of the program at a setup. Self-contained: it builds
// what it tests on its own and touches nothing of the running program, so it may run on any thread.
using TConformanceSection = std::vector<TConformanceRow> (*)(const TConformanceSetup& setup);

// Every section, in the order of the table; a part of the program with rows of its own adds its
// section here.
std::vector<TConformanceSection> ConformanceSections();
std::vector<TConformanceRow> RunConformanceTest(const TConformanceSetup& setup);

// The level meter's section: its synthetic signals against the class 1 acceptance limits of a
// sound level meter.
std::vector<TConformanceRow> MeterConformanceRows(const TConformanceSetup& setup);

// The table's cells in the program's number format: expected, measured, tolerance, verdict.
QString ExpectedText(const TConformanceRow& row);
QString MeasuredText(const TConformanceRow& row);
QString ToleranceText(const TConformanceRow& row);
QString VerdictText(const TConformanceRow& row);
