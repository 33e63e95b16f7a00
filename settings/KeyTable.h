// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h" // ChartSeriesCount

#include <QString>
#include <array>
#include <cstdint>
#include <span>

// Every persistent value of the program, in the order in which the settings are saved.
enum class TKey : int {
    // "Preferences"
    ShowPath,
    ShowCross,
    ShowRaport,
    MinimizeOnMeasurment,
    PromptOnClose,
    FreqExcess,
    LevelExcess,
    WorkDir,
    // "Advanced"
    MeasurmentDelay,
    InputBufferSize,
    OutputBufferSize,
    InputBufferDuration,
    OutputBufferDuration,
    MaxAmplitude,
    AmplitudeConst,
    LowFreqLimit,
    AutoBuforSize,
    SampleFormat, // the streams' samples: 0 16-bit integers, 1 32-bit float
    // "Analysis"
    Kind,
    Compensation,
    FrameRate,
    CanalNo,
    Average,
    AverageTime,
    Amplitude,
    // the meter's frequency weighting: item 0 A, 1 C, 2 Z
    FrequencyWeighting,
    // "FreqAnalysis"
    FreqStartFreq,
    FreqStopFreq,
    FreqPointsCount,
    FreqTime,
    FreqAutoScale,
    FreqScaleMinimum,
    FreqScaleMaximum,
    BottomAxisLogarithmic,
    ShowLegend,
    ShowCanal,
    ShowFrameRate,
    ShowAverageTime,
    FreqAutoLevelScale,
    FreqLevelScaleMinimum,
    FreqLevelScaleMaximum,
    // the synchronous detection of the sweep's points and the chart's view of what it measures
    FreqMethod,
    FreqReferenceChannel,
    FreqHighestHarmonic,
    FreqDistortionBandLow,
    FreqDistortionBandHigh,
    FreqShortestPointTime,
    FreqLongestPointTime,
    FreqLongestSettlingTime,
    ShowPhase,
    UnwrapPhase,
    ShowH2,
    ShowH3,
    ShowThd,
    DistortionInPercent,
    // "TimeAnalysis"
    TimeAutoScale,
    TimeScaleMinimum,
    TimeScaleMaximum,
    TimeAutoLevelScale,
    TimeLevelScaleMinimum,
    TimeLevelScaleMaximum,
    ChartTimeRefresh,
    DisplayTimeRefresh,
    ChartTimeScope,
    // "Calibration"
    CalibrationStartFreq,
    CalibrationStopFreq,
    CalibrationPointsCount,
    CalibrationTime,
    CalibratorLevel,
    FreqLeftCanalCalibration,
    FreqRightCanalCalibration,
    TimeLeftCanalCalibration,
    TimeRightCanalCalibration,
    // the measurement microphones' calibration files per channel; empty: none
    LeftCanalMicrophoneFile,
    RightCanalMicrophoneFile,
    // "Series": ten colours, ten styles, ten widths, each in chart order (result series 1..8, left, right)
    SeriesColour,
    SeriesStyle = SeriesColour + 10,
    SeriesWidth = SeriesStyle + 10,
    // "Save": slot 1..8 in use
    SeriesSave = SeriesWidth + 10,
    // "Open": the recent files, most recent first
    Last = SeriesSave + 8,
    // "Position"
    WindowState = Last + 8,
    Left,
    Top,
    Width,
    Height,
    // "Devices": the stable names of the chosen sound devices; empty for the default device
    InputDevice,
    OutputDevice,
    // "ImpulseResponse": the window "Odpowiedź impulsowa", its sweep, gate and analysis
    ImpulseStartFreq,
    ImpulseStopFreq,
    ImpulseLength,
    ImpulseLevel,
    ImpulseRepeats,
    ImpulseTail,
    ImpulseChannel,
    ImpulseReference,
    ImpulseGateShape,
    ImpulseSmoothing,
    ImpulsePhase,
    ImpulsePhaseFromPeak,
    ImpulseTemperature,
    // its page "Akustyka pomieszczenia": the bands, and the speech level and noise as typed
    ImpulseRoomBands,
    ImpulseRoomSpeechLevel,
    ImpulseRoomNoise,
    // "TransferFunction": the window "Funkcja przenoszenia", its signal, averaging and view
    TransferFftSize,
    TransferSignal,
    TransferLevel,
    TransferReference,
    TransferAveraging,
    TransferAverages,
    TransferSmoothing,
    TransferThreshold,
    TransferBelowThreshold,
    TransferPhaseWithDelay,
    TransferTemperature,
    Count
};

constexpr int SlotCount = 8;
constexpr int RecentFileCount = 8;

// The n-th key of a run of keys (series colours, slot flags, recent files), n from 0.
constexpr TKey KeyAt(TKey first, int n)
{
    return static_cast<TKey>(static_cast<int>(first) + n);
}

enum class TKeyType : std::uint8_t {
    Integer,         // signed decimal text, divided by the scale on load
    Bool,            // "0" or "1"; any non-zero integer reads as true
    String,          // text as it is
    WrittenOnly,     // text for the reader of the file; never loaded
    IntegerNoDefault // an integer whose absence the program handles itself
};

struct TKeyInfo
{
    TKey Key;
    const char* Section;
    const char* Name;
    TKeyType Type;
    int Default;              // the stored (scaled) default of integers and flags
    int Scale;                // 1, 100 or 1000
    QString (*DefaultText)(); // the default of a string; null: empty
};

// The whole table, indexed by TKey.
std::span<const TKeyInfo> KeyTable();
const TKeyInfo& KeyInfo(TKey key);

// The default of a string key (the work folder, an empty recent file).
QString DefaultText(TKey key);

// The folder where results are saved unless the user chose another one; the queue dump goes here too.
QString DefaultWorkFolder();
