// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/FrequencyWeighting.h"
#include "measure/MeasurementStatistics.h"
#include "measure/MicrophoneCorrection.h"

#include <QString>
#include <QTime>
#include <array>
#include <cstdint>

// The meter's sample unit: a float sample of full scale (1.0) is FullScaleUnits of them, the largest
// 16-bit sample, so that mean squares, levels and peaks keep the meaning they have on a 16-bit card.
constexpr double FullScaleUnits = 32767.0;
// The level reference: 32767 squared (not 32768 squared), and the offset added to every published level.
constexpr long double FullScaleSquare = 1073676289.0L;
constexpr double LevelOffsetDb = 3.0;
// A sample of this magnitude or more, of either sign, may be a clipped one: an overload. In 16-bit
// streams that is |x| >= 1.0 of the sample taken as float: both ends of the range count alike
// (+32767 and -32768, and -32767 with them). In float streams the sound server hands a card's samples
// over as x / 2^(bits - 1), so that a card's positive clip arrives as 1 - 2^-15 (16 bits) or 1 - 2^-23
// (24 bits) and never as 1.0: there full scale is |x| >= 1 - 2^-15 whatever the card's bits, within
// 0.0003 dB of 1.0. (The two cannot be one bound: -32766 of a 16-bit stream is 1 - 2^-15 as a float.)
constexpr double OverloadMagnitude(bool integerSamples)
{
    return integerSamples ? FullScaleUnits : FullScaleUnits * (1 - 0x1p-15);
}
constexpr double PeakReference = 32768.0;

enum class TMeasurementKind : std::uint8_t { SoundPressure = 0, FrequencyCharacteristic = 1 };
enum class TChannelMode : std::uint8_t { Left = 0, Right = 1, Both = 2 };

// How a sweep measures a point: the time-averaged level of its input frames, or the correlation of
// them with the generator's own tone (magnitude, phase, harmonics, distortion).
enum class TSweepMethod : std::uint8_t { AveragedLevel = 0, Synchronous = 1 };
// "Kanał odniesienia": the input that takes the card's output directly; the other one's points are
// then its response divided by the reference's.
enum class TReferenceChannel : std::uint8_t { None = 0, Left = 1, Right = 2 };

// The synchronous detection of a sweep's points.
struct TDetectionSettings
{
    TSweepMethod Method = TSweepMethod::AveragedLevel;
    TReferenceChannel Reference = TReferenceChannel::None;
    int HighestHarmonic = 9;               // 2..9
    double BandLow = 20, BandHigh = 20000; // Hz, the band of THD+N
    int ShortestPoint = 20;                // ms: a point's window lasts at least this and 10 periods
    int LongestPoint = 1000;               // ms: the most a noisy point's window is lengthened to
    int LongestSettling = 2000;            // ms: "Maksymalny czas ustalania" of a point's tone
    static constexpr int ShortestSettlingLimit = 50, LongestSettlingLimit = 60000; // ms, its range

    bool Synchronous() const { return Method == TSweepMethod::Synchronous; }
    // The reference's input (0 left, 1 right), -1 without one.
    int ReferenceInput() const { return static_cast<int>(Reference) - 1; }
};

// The user's preferences that the engine and the window consult.
struct TPreferences
{
    bool ShowPath = false;
    bool ShowCross = false;
    bool ShowRaport = false;
    bool MinimizeOnMeasurment = false;
    bool PromptOnClose = false;
    bool ShowLegend = false;
    bool ShowCanal = true;
    bool ShowFrameRate = true;
    bool ShowAverageTime = true;
};

// The shared state of a measurement. It lives as long as the main window and is touched only on
// the user-interface thread. Start values are those of a program that has loaded no settings.
struct TMeasurementState
{
    // Kind and modes
    TMeasurementKind MeasurementKind = TMeasurementKind::SoundPressure;
    TChannelMode ChannelMode = TChannelMode::Left;
    double AveragingTime = 1.0; // s
    bool NoAveraging = false;
    bool ImpulseWeighting = false;     // "I": a 35 ms average followed by a peak detector
    bool RestartTimeWeighting = false; // the next block starts the time weighting anew (settling)
    // A recording's start: the next block starts the meter from rest on the running signal, and the
    // meter says when its start is over and its readings count (TMeterFilters::StartFromRest).
    bool StartMeter = false;
    bool MeterReady = true;
    // Calibration against a calibrator's tone measures it unweighted, whatever the meter's weighting.
    bool Calibrating = false;
    bool Compensation = false;
    bool AcquisitionOn = false;

    // Mean squares (squared sample units) and levels (dB)
    long double BlockMeanSquareL = 0, BlockMeanSquareR = 0;
    long double AveragedMeanSquareL = 0, AveragedMeanSquareR = 0; // time-weighted, after the last block
    double BlockLevelL = 0, BlockLevelR = 0;
    double LevelL = 0, LevelR = 0;
    double PointValue = 0;

    // Sample extremes since the last reset. An overload clears the extremes, so that the next one is
    // reported too; the channel's flag keeps that its peak reached full scale. The statistics keep
    // whether a recording overloaded, the ticks whether it did since the last tick.
    double PeakMinL = 0, PeakMinR = 0, PeakMaxL = 0, PeakMaxR = 0; // in FullScaleUnits
    bool OverloadedL = false, OverloadedR = false;
    std::array<bool, 2> OverloadSinceTick{};
    void ResetPeaks()
    {
        PeakMinL = PeakMaxL = PeakMinR = PeakMaxR = 0;
        OverloadedL = OverloadedR = false;
    }

    // Calibration offsets, dB
    double TimeCalibrationL = 0, TimeCalibrationR = 0;
    double FreqCalibrationL = 0, FreqCalibrationR = 0;

    // Refresh and chart control
    int ChartTimeRefresh = 250;      // ms; 0: one tick per block
    unsigned DisplayTimeRefresh = 4; // read-outs rewritten every N-th tick; at least 1
    unsigned DisplayCounter = 0;
    unsigned ChartTimeScope = 2; // s, width of the sliding time window
    bool TimeAutoScale = true;
    bool TimeAutoLevelScale = false;
    double LevelExcess = 5.0; // dB
    int PointTime = 250;      // ms per sweep point; 0: one tick per block

    // Fixed axis ranges
    double TimeScaleMinimum = 0, TimeScaleMaximum = 5;             // s
    double TimeLevelScaleMinimum = -90, TimeLevelScaleMaximum = 0; // dB
    double FreqScaleMinimum = 100, FreqScaleMaximum = 10000;       // Hz
    double FreqLevelScaleMinimum = -90, FreqLevelScaleMaximum = 0; // dB
    bool BottomAxisLogarithmic = true;

    // Time keeping
    std::int64_t CounterFrequency = 1;
    std::int64_t StartCount = 0;
    double ElapsedTime = 0; // s
    QTime StartClock, NowClock;

    // Sine generator
    double GeneratorFrequency = 0;  // Hz
    std::int32_t Amplitude = 25000; // sample units
    double GeneratorPhase = 0;      // rad, [0, 2 pi)
    double PreviousPhase = 0;
    std::int32_t MaxAmplitude = 1311; // mV
    std::int32_t AmplitudeConst = 25; // sample units per mV

    // Frequency-characteristic sweep
    double StartFreq = 100, StopFreq = 10000; // Hz
    std::int32_t PointsCount = 100;
    std::int32_t SweepIndex = 0;
    std::array<bool, 8> SweepBlocked{};
    TDetectionSettings Detection;
    int FreqAutoScale = 0; // 0 from the data, 1 from the sweep range, 2 fixed
    bool FreqAutoLevelScale = false;
    double FreqExcess = 0.1; // fraction

    // Calibration
    double CalibrationPeakLevelL = 0, CalibrationPeakLevelR = 0;         // dB
    double CalibrationPeakFrequencyL = 0, CalibrationPeakFrequencyR = 0; // Hz
    double CalibrationPeakMagnitudeL = 0, CalibrationPeakMagnitudeR = 0; // at the last capture
    int CalibrationTargetLevel = 0;
    int CalibrationStep = 0;
    double CalibrationStartFreq = 100, CalibrationStopFreq = 10000;
    int CalibrationPointsCount = 100;
    int CalibrationTime = 50; // ms
    double CalibratorLevel =
        124; // dB, as the calibrator last used states it; offered by the next calibration

    // Recording control
    bool RecordingPaused = false;
    double PauseOffset = 0; // s
    bool InputStartFailed = false, OutputStartFailed = false;
    bool ResultsSaved = true;
    int MeasurementDelay = 300; // ms

    // Advanced
    int LowFreqLimit = 32;
    bool AutoBuforSize = true;

    // Frequency weighting of the meter and the statistics of a sound-pressure recording
    TFrequencyWeighting FrequencyWeighting = TFrequencyWeighting::Z;
    TMeasurementStatistics Statistics;
    // The weighting is a sound-level meter's: a frequency characteristic is always measured unweighted.
    TFrequencyWeighting WeightingInForce() const
    {
        return MeasurementKind == TMeasurementKind::SoundPressure && !Calibrating ? FrequencyWeighting
                                                                                  : TFrequencyWeighting::Z;
    }

    // Measurement microphones' calibration files per channel (0 left, 1 right): the names the settings
    // keep (empty: none) and the corrections read from them, which every sweep point has taken off
    std::array<QString, 2> MicrophoneFiles;
    std::array<TMicrophoneCorrection, 2> Microphone;

    TPreferences Preferences;
};
