// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/KeyTable.h"

#include <QStandardPaths>

namespace {

constexpr const char* Preferences = "Preferences";
constexpr const char* Advanced = "Advanced";
constexpr const char* Analysis = "Analysis";
constexpr const char* FreqAnalysis = "FreqAnalysis";
constexpr const char* TimeAnalysis = "TimeAnalysis";
constexpr const char* Calibration = "Calibration";
constexpr const char* Series = "Series";
constexpr const char* Save = "Save";
constexpr const char* Open = "Open";
constexpr const char* Position = "Position";
constexpr const char* Devices = "Devices";
constexpr const char* ImpulseResponse = "ImpulseResponse";
constexpr const char* TransferFunction = "TransferFunction";

constexpr TKeyInfo Int(TKey key, const char* section, const char* name, int defaultValue, int scale = 1)
{
    return {key, section, name, TKeyType::Integer, defaultValue, scale, nullptr};
}

constexpr TKeyInfo Flag(TKey key, const char* section, const char* name, bool defaultValue)
{
    return {key, section, name, TKeyType::Bool, defaultValue ? 1 : 0, 1, nullptr};
}

constexpr TKeyInfo Text(TKey key, const char* section, const char* name, QString (*defaultText)() = nullptr)
{
    return {key, section, name, TKeyType::String, 0, 1, defaultText};
}

constexpr TKeyInfo Info(TKey key, const char* section, const char* name)
{
    return {key, section, name, TKeyType::WrittenOnly, 0, 1, nullptr};
}

constexpr TKeyInfo Placed(TKey key, const char* name)
{
    return {key, Position, name, TKeyType::IntegerNoDefault, 0, 1, nullptr};
}

using enum TKey;

constexpr std::array<TKeyInfo, static_cast<int>(Count)> Table{{
    Flag(ShowPath, Preferences, "ShowPath", false),
    Flag(ShowCross, Preferences, "ShowCross", false),
    Flag(ShowRaport, Preferences, "ShowRaport", false),
    Flag(MinimizeOnMeasurment, Preferences, "MinimizeOnMeasurment", false),
    Flag(PromptOnClose, Preferences, "PromptOnClose", false),
    Int(FreqExcess, Preferences, "FreqExcess", 10, 100),
    Int(LevelExcess, Preferences, "LevelExcess", 500, 100),
    Text(WorkDir, Preferences, "WorkDir", DefaultWorkFolder),

    Int(MeasurmentDelay, Advanced, "MeasurmentDelay[ms]", 300),
    Int(InputBufferSize, Advanced, "InputBufferSize[Samples]", 1500),
    Int(OutputBufferSize, Advanced, "OutputBufferSize[Samples]", 1500),
    Info(InputBufferDuration, Advanced, "InputBufferDuration(InfoOnly)"),
    Info(OutputBufferDuration, Advanced, "OutputBufferDuration(InfoOnly)"),
    Int(MaxAmplitude, Advanced, "MaxAmplitude[mV]", 1311),
    Int(AmplitudeConst, Advanced, "AmplitudeConst", 25),
    Int(LowFreqLimit, Advanced, "LowFreqLimit", 32),
    Flag(AutoBuforSize, Advanced, "AutoBuforSize", true),
    Int(SampleFormat, Advanced, "SampleFormat", 1),

    Flag(Kind, Analysis, "Kind", false),
    Flag(Compensation, Analysis, "Compensation", false),
    Int(FrameRate, Analysis, "FrameRate", 48000),
    Int(CanalNo, Analysis, "CanalNo", 0),
    Int(Average, Analysis, "Average", 0),
    Int(AverageTime, Analysis, "AverageTime", 1000, 1000),
    Int(Amplitude, Analysis, "Amplitude", 25000),
    Int(FrequencyWeighting, Analysis, "FrequencyWeighting", 2),

    Int(FreqStartFreq, FreqAnalysis, "StartFreq", 10000, 100),
    Int(FreqStopFreq, FreqAnalysis, "StopFreq", 1000000, 100),
    Int(FreqPointsCount, FreqAnalysis, "PointsCount", 100),
    Int(FreqTime, FreqAnalysis, "Time", 250),
    Int(FreqAutoScale, FreqAnalysis, "AutoScale", 0),
    Int(FreqScaleMinimum, FreqAnalysis, "ScaleMinimum", 10000, 100),
    Int(FreqScaleMaximum, FreqAnalysis, "ScaleMaximum", 1000000, 100),
    Flag(BottomAxisLogarithmic, FreqAnalysis, "BottomAxisLogarithmic", true),
    Flag(ShowLegend, FreqAnalysis, "ShowLegend", false),
    Flag(ShowCanal, FreqAnalysis, "ShowCanal", true),
    Flag(ShowFrameRate, FreqAnalysis, "ShowFrameRate", true),
    Flag(ShowAverageTime, FreqAnalysis, "ShowAverageTime", true),
    Flag(FreqAutoLevelScale, FreqAnalysis, "AutoLevelScale", false),
    Int(FreqLevelScaleMinimum, FreqAnalysis, "LevelScaleMinimum", -9000, 100),
    Int(FreqLevelScaleMaximum, FreqAnalysis, "LevelScaleMaximum", 0, 100),
    Int(FreqMethod, FreqAnalysis, "Method", 0),
    Int(FreqReferenceChannel, FreqAnalysis, "ReferenceChannel", 0),
    Int(FreqHighestHarmonic, FreqAnalysis, "HighestHarmonic", 9),
    Int(FreqDistortionBandLow, FreqAnalysis, "DistortionBandLow", 2000, 100),
    Int(FreqDistortionBandHigh, FreqAnalysis, "DistortionBandHigh", 2000000, 100),
    Int(FreqShortestPointTime, FreqAnalysis, "ShortestPointTime", 20),
    Int(FreqLongestPointTime, FreqAnalysis, "LongestPointTime", 1000),
    Int(FreqLongestSettlingTime, FreqAnalysis, "LongestSettlingTime", 2000),
    Flag(ShowPhase, FreqAnalysis, "ShowPhase", false),
    Flag(UnwrapPhase, FreqAnalysis, "UnwrapPhase", false),
    Flag(ShowH2, FreqAnalysis, "ShowH2", false),
    Flag(ShowH3, FreqAnalysis, "ShowH3", false),
    Flag(ShowThd, FreqAnalysis, "ShowThd", false),
    Flag(DistortionInPercent, FreqAnalysis, "DistortionInPercent", false),

    Flag(TimeAutoScale, TimeAnalysis, "AutoScale", true),
    Int(TimeScaleMinimum, TimeAnalysis, "ScaleMinimum", 0, 100),
    Int(TimeScaleMaximum, TimeAnalysis, "ScaleMaximum", 500, 100),
    Flag(TimeAutoLevelScale, TimeAnalysis, "AutoLevelScale", false),
    Int(TimeLevelScaleMinimum, TimeAnalysis, "LevelScaleMinimum", -9000, 100),
    Int(TimeLevelScaleMaximum, TimeAnalysis, "LevelScaleMaximum", 0, 100),
    Int(ChartTimeRefresh, TimeAnalysis, "ChartTimeRefresh", 250),
    Int(DisplayTimeRefresh, TimeAnalysis, "DisplayTimeRefresh", 4),
    Int(ChartTimeScope, TimeAnalysis, "ChartTimeScope", 2),

    Int(CalibrationStartFreq, Calibration, "StartFreq", 10000, 100),
    Int(CalibrationStopFreq, Calibration, "StopFreq", 1000000, 100),
    Int(CalibrationPointsCount, Calibration, "PointsCount", 100),
    Int(CalibrationTime, Calibration, "Time", 50),
    Int(CalibratorLevel, Calibration, "CalibratorLevel", 12400, 100),
    Int(FreqLeftCanalCalibration, Calibration, "FreqLeftCanalCalibration", 0, 1000),
    Int(FreqRightCanalCalibration, Calibration, "FreqRightCanalCalibration", 0, 1000),
    Int(TimeLeftCanalCalibration, Calibration, "TimeLeftCanalCalibration", 0, 1000),
    Int(TimeRightCanalCalibration, Calibration, "TimeRightCanalCalibration", 0, 1000),
    Text(LeftCanalMicrophoneFile, Calibration, "LeftCanalMicrophoneFile"),
    Text(RightCanalMicrophoneFile, Calibration, "RightCanalMicrophoneFile"),

    // Colours 0x00BBGGRR
    Int(KeyAt(SeriesColour, 0), Series, "Series1Colour", 255),
    Int(KeyAt(SeriesColour, 1), Series, "Series2Colour", 8404992),
    Int(KeyAt(SeriesColour, 2), Series, "Series3Colour", 8421376),
    Int(KeyAt(SeriesColour, 3), Series, "Series4Colour", 8388863),
    Int(KeyAt(SeriesColour, 4), Series, "Series5Colour", 33023),
    Int(KeyAt(SeriesColour, 5), Series, "Series6Colour", 16711680),
    Int(KeyAt(SeriesColour, 6), Series, "Series7Colour", 4227072),
    Int(KeyAt(SeriesColour, 7), Series, "Series8Colour", 8421631),
    Int(KeyAt(SeriesColour, 8), Series, "SeriesLeftCanalColour", 255),
    Int(KeyAt(SeriesColour, 9), Series, "SeriesRightCanalColour", 16711680),
    Int(KeyAt(SeriesStyle, 0), Series, "Series1Style", 0),
    Int(KeyAt(SeriesStyle, 1), Series, "Series2Style", 0),
    Int(KeyAt(SeriesStyle, 2), Series, "Series3Style", 0),
    Int(KeyAt(SeriesStyle, 3), Series, "Series4Style", 0),
    Int(KeyAt(SeriesStyle, 4), Series, "Series5Style", 0),
    Int(KeyAt(SeriesStyle, 5), Series, "Series6Style", 0),
    Int(KeyAt(SeriesStyle, 6), Series, "Series7Style", 0),
    Int(KeyAt(SeriesStyle, 7), Series, "Series8Style", 0),
    Int(KeyAt(SeriesStyle, 8), Series, "SeriesLeftCanalStyle", 0),
    Int(KeyAt(SeriesStyle, 9), Series, "SeriesRightCanalStyle", 0),
    Int(KeyAt(SeriesWidth, 0), Series, "Series1Width", 1),
    Int(KeyAt(SeriesWidth, 1), Series, "Series2Width", 1),
    Int(KeyAt(SeriesWidth, 2), Series, "Series3Width", 1),
    Int(KeyAt(SeriesWidth, 3), Series, "Series4Width", 1),
    Int(KeyAt(SeriesWidth, 4), Series, "Series5Width", 1),
    Int(KeyAt(SeriesWidth, 5), Series, "Series6Width", 1),
    Int(KeyAt(SeriesWidth, 6), Series, "Series7Width", 1),
    Int(KeyAt(SeriesWidth, 7), Series, "Series8Width", 1),
    Int(KeyAt(SeriesWidth, 8), Series, "SeriesLeftCanalWidth", 1),
    Int(KeyAt(SeriesWidth, 9), Series, "SeriesRightCanalWidth", 1),

    Flag(KeyAt(SeriesSave, 0), Save, "Series1Save", true),
    Flag(KeyAt(SeriesSave, 1), Save, "Series2Save", false),
    Flag(KeyAt(SeriesSave, 2), Save, "Series3Save", false),
    Flag(KeyAt(SeriesSave, 3), Save, "Series4Save", false),
    Flag(KeyAt(SeriesSave, 4), Save, "Series5Save", false),
    Flag(KeyAt(SeriesSave, 5), Save, "Series6Save", false),
    Flag(KeyAt(SeriesSave, 6), Save, "Series7Save", false),
    Flag(KeyAt(SeriesSave, 7), Save, "Series8Save", false),

    Text(KeyAt(Last, 0), Open, "Last1"),
    Text(KeyAt(Last, 1), Open, "Last2"),
    Text(KeyAt(Last, 2), Open, "Last3"),
    Text(KeyAt(Last, 3), Open, "Last4"),
    Text(KeyAt(Last, 4), Open, "Last5"),
    Text(KeyAt(Last, 5), Open, "Last6"),
    Text(KeyAt(Last, 6), Open, "Last7"),
    Text(KeyAt(Last, 7), Open, "Last8"),

    Int(WindowState, Position, "WindowState", 1),
    Placed(Left, "Left"),
    Placed(Top, "Top"),
    Placed(Width, "Width"), // none stored: the window's own first size, which shows every text whole
    Placed(Height, "Height"),

    Text(InputDevice, Devices, "Input"),
    Text(OutputDevice, Devices, "Output"),

    Int(ImpulseStartFreq, ImpulseResponse, "StartFreq", 2000, 100),
    Int(ImpulseStopFreq, ImpulseResponse, "StopFreq", 2000000, 100),
    Int(ImpulseLength, ImpulseResponse, "LengthExponent", 17),
    Int(ImpulseLevel, ImpulseResponse, "Level[dBFS]", -600, 100),
    Int(ImpulseRepeats, ImpulseResponse, "Repeats", 1),
    Int(ImpulseTail, ImpulseResponse, "Tail[s]", 100, 100),
    Int(ImpulseChannel, ImpulseResponse, "Channel", 0),
    Int(ImpulseReference, ImpulseResponse, "Reference", 0),
    Int(ImpulseGateShape, ImpulseResponse, "GateShape", 0),
    Int(ImpulseSmoothing, ImpulseResponse, "Smoothing", 0),
    Int(ImpulsePhase, ImpulseResponse, "Phase", 0),
    Flag(ImpulsePhaseFromPeak, ImpulseResponse, "PhaseFromPeak", false),
    Int(ImpulseTemperature, ImpulseResponse, "Temperature[C]", 2000, 100),
    Int(ImpulseRoomBands, ImpulseResponse, "RoomBandsPerOctave", 1),
    Text(ImpulseRoomSpeechLevel, ImpulseResponse, "RoomSpeechLevel[dBA]"),
    Text(ImpulseRoomNoise, ImpulseResponse, "RoomNoise[dB]"),

    Int(TransferFftSize, TransferFunction, "FftSize", 65536),
    Int(TransferSignal, TransferFunction, "Signal", 0),
    Int(TransferLevel, TransferFunction, "Level[dBFS]", -1500, 100),
    Int(TransferReference, TransferFunction, "Reference", 0),
    Int(TransferAveraging, TransferFunction, "Averaging", 0),
    Int(TransferAverages, TransferFunction, "Averages", 8),
    Int(TransferSmoothing, TransferFunction, "Smoothing", 6),
    Int(TransferThreshold, TransferFunction, "CoherenceThreshold", 50, 100),
    Int(TransferBelowThreshold, TransferFunction, "BelowThreshold", 0),
    Flag(TransferPhaseWithDelay, TransferFunction, "PhaseWithDelay", false),
    Int(TransferTemperature, TransferFunction, "Temperature[C]", 2000, 100),
}};

constexpr bool IndexedByKey()
{
    for (std::size_t i = 0; i < Table.size(); ++i)
        if (static_cast<std::size_t>(Table[i].Key) != i)
            return false;
    return true;
}
static_assert(IndexedByKey(), "the key table lists every key once, in the order of TKey");

} // namespace

std::span<const TKeyInfo> KeyTable()
{
    return Table;
}

const TKeyInfo& KeyInfo(TKey key)
{
    return Table[static_cast<std::size_t>(key)];
}

QString DefaultText(TKey key)
{
    const TKeyInfo& info = KeyInfo(key);
    return info.DefaultText ? info.DefaultText() : QString();
}

QString DefaultWorkFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
           QStringLiteral("/Tonvix/Wyniki pomiarów");
}
