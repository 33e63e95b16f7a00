// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/MeterPorts.h"
#include "measure/RecordingPorts.h"
#include "measure/Sweep.h"

#include <QString>
#include <vector>

// A wave component that starts unless told to fail; it doubles as the meter's stream information.
struct TFakeDevice final : IWaveDevice, IStreamInfo
{
    bool IsRunning = false;
    QString FailText; // non-empty: Start fails with it
    int Starts = 0, Stops = 0;
    int Rate = 48000;
    std::uint64_t XrunCount = 0;

    bool Start() override
    {
        ++Starts;
        IsRunning = FailText.isEmpty();
        return IsRunning;
    }
    void StopNow() override
    {
        ++Stops;
        IsRunning = false;
    }
    bool Running() const override { return IsRunning; }
    QString LastError() const override { return FailText; }
    int FrameRate() const override { return Rate; }
    std::uint64_t Xruns() const override { return XrunCount; }
};

// The sweep's window: what the sweep asked of it.
struct TFakeSweepWindow final : ISweepWindow
{
    int Active = 0;
    bool ChooserAnswer = true;
    std::vector<int> Hidden, Shown, Reports;
    std::vector<std::pair<int, double>> Peaks;
    std::vector<int> Conditions;
    double ConditionAveraging = -1;
    bool EditsEnabled = true;
    int Progress = -1, ProgressMaximum = -1, StartClicks = 0, ClockUpdates = 0;
    QString Estimate, Status0;
    double FrequencyMin = 0, FrequencyMax = 0, LevelMin = 0, LevelMax = 0;

    int ActiveSeries() const override { return Active; }
    int Continued = -2;
    bool ChooseSeries(int continuedSeries) override
    {
        Continued = continuedSeries;
        return ChooserAnswer;
    }
    void SetSeriesShown(int series, bool shown) override { (shown ? Shown : Hidden).push_back(series); }
    void StoreSweepConditions(int series, const TSweepConditions& conditions) override
    {
        Conditions.push_back(series);
        ConditionAveraging = conditions.AveragingTime;
    }
    void StoreSweepPeakLevel(int series, double level) override { Peaks.emplace_back(series, level); }
    void ShowReport(int series) override { Reports.push_back(series); }
    void SetSweepEditsEnabled(bool enabled) override { EditsEnabled = enabled; }
    void SetProgress(int position) override { Progress = position; }
    void SetProgressMaximum(int maximum) override { ProgressMaximum = maximum; }
    void SetEstimatedTime(const QString& text) override { Estimate = text; }
    void SetStatusText(int panel, const QString& text) override
    {
        if (panel == 0)
            Status0 = text;
    }
    void UpdateClockPanel() override { ++ClockUpdates; }
    void ClickStartButton() override { ++StartClicks; }
    void StartConditionsChanged() override {}
    void SetFrequencyAxisRange(double minimum, double maximum) override
    {
        FrequencyMin = minimum;
        FrequencyMax = maximum;
    }
    void SetLevelAxisRange(double minimum, double maximum) override
    {
        LevelMin = minimum;
        LevelMax = maximum;
    }
    void ShowError(const QString& text) override { Errors.push_back(text); }
    void ShowDelay(const QString& text) override { Delay = text; }
    double AirTemperature() const override { return 20; }
    bool SeparateClocks() const override { return TwoCards; }
    std::vector<QString> Errors;
    QString Delay;
    bool TwoCards = false;
};
