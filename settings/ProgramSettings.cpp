// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ProgramSettings.h"

#include "audio/AudioIO.h"
#include "measure/MeasurementState.h"
#include "settings/AdvancedSettings.h"
#include "settings/KeyAccess.h"
#include "settings/KeyTable.h"
#include "settings/SettingsStore.h"
#include "settings/WindowSettings.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The longest point time a stored value may ask for: a minute.
constexpr int MaxPointTime = 60000;

// A damaged file must not ask for blocks of gigabytes (or overflow the byte count).
int BlockBytes(int samples, int bytesPerSample)
{
    return std::clamp(samples, 0, MaxBlockSamples) * bytesPerSample;
}

// "%.2fms" of a block's duration; nothing for a rate that gives none.
QString BlockDuration(const TAudioIO& audio, int bytesPerSample)
{
    const QString milliseconds = BlockDurationText(audio.BufferSize() / bytesPerSample, audio.FrameRate());
    return milliseconds.isEmpty() ? milliseconds : milliseconds + QStringLiteral("ms");
}

void LoadImpulse(const TKeyReader& read, TImpulseWindowSettings& impulse)
{
    using enum TKey;
    impulse.StartHz = read.Real(ImpulseStartFreq);
    impulse.StopHz = read.Real(ImpulseStopFreq);
    impulse.LengthExponent = read.Integer(ImpulseLength);
    impulse.LevelDb = read.Real(ImpulseLevel);
    impulse.Repeats = read.Integer(ImpulseRepeats);
    impulse.TailSeconds = read.Real(ImpulseTail);
    impulse.Channel = read.Integer(ImpulseChannel);
    impulse.Reference = read.Integer(ImpulseReference);
    impulse.GateShape = read.Integer(ImpulseGateShape);
    impulse.Smoothing = read.Integer(ImpulseSmoothing);
    impulse.Phase = read.Integer(ImpulsePhase);
    impulse.PhaseFromPeak = read.Flag(ImpulsePhaseFromPeak);
    impulse.Temperature = read.Real(ImpulseTemperature);
    impulse.RoomBands = read.Integer(ImpulseRoomBands);
    impulse.RoomSpeechLevel = read.Text(ImpulseRoomSpeechLevel);
    impulse.RoomNoise = read.Text(ImpulseRoomNoise);
}

void SaveImpulse(TKeyWriter& write, const TImpulseWindowSettings& impulse)
{
    using enum TKey;
    write.Real(ImpulseStartFreq, impulse.StartHz);
    write.Real(ImpulseStopFreq, impulse.StopHz);
    write.Integer(ImpulseLength, impulse.LengthExponent);
    write.Real(ImpulseLevel, impulse.LevelDb);
    write.Integer(ImpulseRepeats, impulse.Repeats);
    write.Real(ImpulseTail, impulse.TailSeconds);
    write.Integer(ImpulseChannel, impulse.Channel);
    write.Integer(ImpulseReference, impulse.Reference);
    write.Integer(ImpulseGateShape, impulse.GateShape);
    write.Integer(ImpulseSmoothing, impulse.Smoothing);
    write.Integer(ImpulsePhase, impulse.Phase);
    write.Flag(ImpulsePhaseFromPeak, impulse.PhaseFromPeak);
    write.Real(ImpulseTemperature, impulse.Temperature);
    write.Integer(ImpulseRoomBands, impulse.RoomBands);
    write.Text(ImpulseRoomSpeechLevel, impulse.RoomSpeechLevel);
    write.Text(ImpulseRoomNoise, impulse.RoomNoise);
}

void LoadTransfer(const TKeyReader& read, TTransferWindowSettings& transfer)
{
    using enum TKey;
    transfer.FftSize = read.Integer(TransferFftSize);
    transfer.Signal = read.Integer(TransferSignal);
    transfer.LevelDb = read.Real(TransferLevel);
    transfer.Reference = read.Integer(TransferReference);
    transfer.Averaging = read.Integer(TransferAveraging);
    transfer.Averages = read.Integer(TransferAverages);
    transfer.Smoothing = read.Integer(TransferSmoothing);
    transfer.Threshold = read.Real(TransferThreshold);
    transfer.BelowThreshold = read.Integer(TransferBelowThreshold);
    transfer.PhaseWithDelay = read.Flag(TransferPhaseWithDelay);
    transfer.Temperature = read.Real(TransferTemperature);
}

void SaveTransfer(TKeyWriter& write, const TTransferWindowSettings& transfer)
{
    using enum TKey;
    write.Integer(TransferFftSize, transfer.FftSize);
    write.Integer(TransferSignal, transfer.Signal);
    write.Real(TransferLevel, transfer.LevelDb);
    write.Integer(TransferReference, transfer.Reference);
    write.Integer(TransferAveraging, transfer.Averaging);
    write.Integer(TransferAverages, transfer.Averages);
    write.Integer(TransferSmoothing, transfer.Smoothing);
    write.Real(TransferThreshold, transfer.Threshold);
    write.Integer(TransferBelowThreshold, transfer.BelowThreshold);
    write.Flag(TransferPhaseWithDelay, transfer.PhaseWithDelay);
    write.Real(TransferTemperature, transfer.Temperature);
}

} // namespace

void LoadSettings(const TSettingsStore& store, TAudioIO& audioIn, TAudioIO& audioOut,
                  TMeasurementState& state, TWindowSettings& window)
{
    using enum TKey;
    const TKeyReader read(store);

    TPreferences& preferences = state.Preferences;
    preferences.ShowPath = read.Flag(ShowPath);
    preferences.ShowCross = read.Flag(ShowCross);
    preferences.ShowRaport = read.Flag(ShowRaport);
    preferences.MinimizeOnMeasurment = read.Flag(MinimizeOnMeasurment);
    preferences.PromptOnClose = read.Flag(PromptOnClose);
    state.FreqExcess = read.Real(FreqExcess);
    state.LevelExcess = read.Real(LevelExcess);
    window.WorkDir = read.Text(WorkDir);

    // The stored sizes apply as they are; the automatic rule runs only from the dialogs.
    state.MeasurementDelay = read.Integer(MeasurmentDelay);
    audioIn.SetBufferSize(BlockBytes(read.Integer(InputBufferSize), InputFrameBytes));
    audioOut.SetBufferSize(BlockBytes(read.Integer(OutputBufferSize), OutputSampleBytes));
    state.MaxAmplitude = read.Integer(MaxAmplitude);
    state.AmplitudeConst = read.Integer(AmplitudeConst);
    state.LowFreqLimit = read.Integer(LowFreqLimit);
    state.AutoBuforSize = read.Flag(AutoBuforSize);
    // Settings of a version that knew no other format have no key: they stream float too.
    const TSampleFormat samples =
        read.Integer(SampleFormat) == 0 ? TSampleFormat::Integer : TSampleFormat::Float;
    audioIn.SetSampleFormat(samples);
    audioOut.SetSampleFormat(samples);

    window.Compensation = read.Flag(Compensation);
    audioIn.SetFrameRate(read.Integer(FrameRate));
    audioOut.SetFrameRate(read.Integer(FrameRate));
    window.CanalNo = read.Integer(CanalNo);
    window.Average = read.Integer(Average);
    state.AveragingTime = read.Real(AverageTime);
    state.Amplitude = read.Integer(Amplitude);
    state.FrequencyWeighting = WeightingFromItem(read.Integer(FrequencyWeighting));

    state.StartFreq = read.Real(FreqStartFreq);
    state.StopFreq = read.Real(FreqStopFreq);
    state.PointsCount = read.Integer(FreqPointsCount);
    state.PointTime = read.Integer(FreqTime);
    state.FreqAutoScale = read.Integer(FreqAutoScale);
    state.FreqScaleMinimum = read.Real(FreqScaleMinimum);
    state.FreqScaleMaximum = read.Real(FreqScaleMaximum);
    state.BottomAxisLogarithmic = read.Flag(BottomAxisLogarithmic);
    preferences.ShowLegend = read.Flag(ShowLegend);
    preferences.ShowCanal = read.Flag(ShowCanal);
    preferences.ShowFrameRate = read.Flag(ShowFrameRate);
    preferences.ShowAverageTime = read.Flag(ShowAverageTime);
    state.FreqAutoLevelScale = read.Flag(FreqAutoLevelScale);
    state.FreqLevelScaleMinimum = read.Real(FreqLevelScaleMinimum);
    state.FreqLevelScaleMaximum = read.Real(FreqLevelScaleMaximum);
    TDetectionSettings& detection = state.Detection;
    detection.Method =
        read.Integer(FreqMethod) == 1 ? TSweepMethod::Synchronous : TSweepMethod::AveragedLevel;
    detection.Reference =
        static_cast<TReferenceChannel>(std::clamp(read.Integer(FreqReferenceChannel), 0, 2));
    detection.HighestHarmonic = std::clamp(read.Integer(FreqHighestHarmonic), 2, 9);
    detection.BandLow = std::max(read.Real(FreqDistortionBandLow), 0.0);
    detection.BandHigh = std::max(read.Real(FreqDistortionBandHigh), detection.BandLow);
    detection.ShortestPoint = std::clamp(read.Integer(FreqShortestPointTime), 1, MaxPointTime);
    detection.LongestPoint =
        std::clamp(read.Integer(FreqLongestPointTime), detection.ShortestPoint, MaxPointTime);
    detection.LongestSettling =
        std::clamp(read.Integer(FreqLongestSettlingTime), TDetectionSettings::ShortestSettlingLimit,
                   TDetectionSettings::LongestSettlingLimit);
    window.DetailView = {read.Flag(ShowPhase), read.Flag(UnwrapPhase), read.Flag(ShowH2),
                         read.Flag(ShowH3),    read.Flag(ShowThd),     read.Flag(DistortionInPercent)};

    state.TimeAutoScale = read.Flag(TimeAutoScale);
    state.TimeScaleMinimum = read.Real(TimeScaleMinimum);
    state.TimeScaleMaximum = read.Real(TimeScaleMaximum);
    state.TimeAutoLevelScale = read.Flag(TimeAutoLevelScale);
    state.TimeLevelScaleMinimum = read.Real(TimeLevelScaleMinimum);
    state.TimeLevelScaleMaximum = read.Real(TimeLevelScaleMaximum);
    state.ChartTimeRefresh = read.Integer(ChartTimeRefresh);
    state.DisplayTimeRefresh = static_cast<unsigned>(read.Integer(DisplayTimeRefresh));
    state.ChartTimeScope = static_cast<unsigned>(read.Integer(ChartTimeScope));

    state.CalibrationStartFreq = read.Real(CalibrationStartFreq);
    state.CalibrationStopFreq = read.Real(CalibrationStopFreq);
    state.CalibrationPointsCount = read.Integer(CalibrationPointsCount);
    state.CalibrationTime = read.Integer(CalibrationTime);
    state.CalibratorLevel = std::clamp(read.Real(CalibratorLevel), 0.0, 150.0);
    state.FreqCalibrationL = read.Real(FreqLeftCanalCalibration);
    state.FreqCalibrationR = read.Real(FreqRightCanalCalibration);
    state.TimeCalibrationL = read.Real(TimeLeftCanalCalibration);
    state.TimeCalibrationR = read.Real(TimeRightCanalCalibration);
    state.MicrophoneFiles = {read.Text(LeftCanalMicrophoneFile), read.Text(RightCanalMicrophoneFile)};

    for (int n = 0; n < ChartSeriesCount; ++n)
        window.Series[n].Colour = static_cast<std::uint32_t>(read.Integer(KeyAt(SeriesColour, n)));
    for (int n = 0; n < ChartSeriesCount; ++n)
        window.Series[n].Style = PenStyleFromCode(read.Integer(KeyAt(SeriesStyle, n)));
    for (int n = 0; n < ChartSeriesCount; ++n)
        window.Series[n].Width = read.Integer(KeyAt(SeriesWidth, n));

    for (int n = 0; n < SlotCount; ++n)
        window.SlotInUse[n] = read.Flag(KeyAt(SeriesSave, n));
    for (int n = 0; n < RecentFileCount; ++n)
        window.Last[n] = read.Text(KeyAt(Last, n));

    window.Kind = read.Flag(Kind);

    TWindowPosition& position = window.Position;
    position.Left = read.OptionalInteger(Left);
    position.Top = read.OptionalInteger(Top);
    position.Width = read.OptionalInteger(Width);
    position.Height = read.OptionalInteger(Height);
    position.WindowState = read.Integer(WindowState);

    audioIn.SetDeviceName(read.Text(InputDevice).toUtf8());
    audioOut.SetDeviceName(read.Text(OutputDevice).toUtf8());
    LoadImpulse(read, window.Impulse);
    LoadTransfer(read, window.Transfer);
}

bool SaveSettings(TSettingsStore& store, const TAudioIO& audioIn, const TAudioIO& audioOut,
                  const TMeasurementState& state, const TWindowSettings& window)
{
    using enum TKey;
    TKeyWriter write(store);

    const TPreferences& preferences = state.Preferences;
    write.Flag(ShowPath, preferences.ShowPath);
    write.Flag(ShowCross, preferences.ShowCross);
    write.Flag(ShowRaport, preferences.ShowRaport);
    write.Flag(MinimizeOnMeasurment, preferences.MinimizeOnMeasurment);
    write.Flag(PromptOnClose, preferences.PromptOnClose);
    write.Real(FreqExcess, state.FreqExcess);
    write.Real(LevelExcess, state.LevelExcess);
    write.Text(WorkDir, window.WorkDir);

    write.Integer(MeasurmentDelay, state.MeasurementDelay);
    write.Integer(InputBufferSize, audioIn.BufferSize() / InputFrameBytes);
    write.Integer(OutputBufferSize, audioOut.BufferSize() / OutputSampleBytes);
    write.Text(InputBufferDuration, BlockDuration(audioIn, InputFrameBytes));
    write.Text(OutputBufferDuration, BlockDuration(audioOut, OutputSampleBytes));
    write.Integer(MaxAmplitude, state.MaxAmplitude);
    write.Integer(AmplitudeConst, state.AmplitudeConst);
    write.Integer(LowFreqLimit, state.LowFreqLimit);
    write.Flag(AutoBuforSize, state.AutoBuforSize);
    write.Integer(SampleFormat, audioIn.SampleFormat() == TSampleFormat::Integer ? 0 : 1);

    write.Flag(Kind, window.Kind);
    write.Flag(Compensation, window.Compensation);
    // Both components' rates, the output's last: that is the one the file keeps.
    write.Integer(FrameRate, audioIn.FrameRate());
    write.Integer(FrameRate, audioOut.FrameRate());
    write.Integer(CanalNo, window.CanalNo);
    write.Integer(Average, window.Average);
    write.Real(AverageTime, state.AveragingTime);
    write.Integer(Amplitude, state.Amplitude);
    write.Integer(FrequencyWeighting, static_cast<int>(state.FrequencyWeighting));

    write.Real(FreqStartFreq, state.StartFreq);
    write.Real(FreqStopFreq, state.StopFreq);
    write.Integer(FreqPointsCount, state.PointsCount);
    write.Integer(FreqTime, state.PointTime);
    write.Integer(FreqAutoScale, state.FreqAutoScale);
    write.Real(FreqScaleMinimum, state.FreqScaleMinimum);
    write.Real(FreqScaleMaximum, state.FreqScaleMaximum);
    write.Flag(BottomAxisLogarithmic, state.BottomAxisLogarithmic);
    write.Flag(ShowLegend, preferences.ShowLegend);
    write.Flag(ShowCanal, preferences.ShowCanal);
    write.Flag(ShowFrameRate, preferences.ShowFrameRate);
    write.Flag(ShowAverageTime, preferences.ShowAverageTime);
    write.Flag(FreqAutoLevelScale, state.FreqAutoLevelScale);
    write.Real(FreqLevelScaleMinimum, state.FreqLevelScaleMinimum);
    write.Real(FreqLevelScaleMaximum, state.FreqLevelScaleMaximum);
    const TDetectionSettings& detection = state.Detection;
    write.Integer(FreqMethod, static_cast<int>(detection.Method));
    write.Integer(FreqReferenceChannel, static_cast<int>(detection.Reference));
    write.Integer(FreqHighestHarmonic, detection.HighestHarmonic);
    write.Real(FreqDistortionBandLow, detection.BandLow);
    write.Real(FreqDistortionBandHigh, detection.BandHigh);
    write.Integer(FreqShortestPointTime, detection.ShortestPoint);
    write.Integer(FreqLongestPointTime, detection.LongestPoint);
    write.Integer(FreqLongestSettlingTime, detection.LongestSettling);
    const TDetailView& view = window.DetailView;
    write.Flag(ShowPhase, view.Phase);
    write.Flag(UnwrapPhase, view.UnwrappedPhase);
    write.Flag(ShowH2, view.H2);
    write.Flag(ShowH3, view.H3);
    write.Flag(ShowThd, view.Thd);
    write.Flag(DistortionInPercent, view.Percent);

    write.Flag(TimeAutoScale, state.TimeAutoScale);
    write.Real(TimeScaleMinimum, state.TimeScaleMinimum);
    write.Real(TimeScaleMaximum, state.TimeScaleMaximum);
    write.Flag(TimeAutoLevelScale, state.TimeAutoLevelScale);
    write.Real(TimeLevelScaleMinimum, state.TimeLevelScaleMinimum);
    write.Real(TimeLevelScaleMaximum, state.TimeLevelScaleMaximum);
    write.Integer(ChartTimeRefresh, state.ChartTimeRefresh);
    write.Integer(DisplayTimeRefresh, static_cast<int>(state.DisplayTimeRefresh));
    write.Integer(ChartTimeScope, static_cast<int>(state.ChartTimeScope));

    write.Real(CalibrationStartFreq, state.CalibrationStartFreq);
    write.Real(CalibrationStopFreq, state.CalibrationStopFreq);
    write.Integer(CalibrationPointsCount, state.CalibrationPointsCount);
    write.Integer(CalibrationTime, state.CalibrationTime);
    write.Real(CalibratorLevel, state.CalibratorLevel);
    write.Real(FreqLeftCanalCalibration, state.FreqCalibrationL);
    write.Real(FreqRightCanalCalibration, state.FreqCalibrationR);
    write.Real(TimeLeftCanalCalibration, state.TimeCalibrationL);
    write.Real(TimeRightCanalCalibration, state.TimeCalibrationR);
    write.Text(LeftCanalMicrophoneFile, state.MicrophoneFiles[0]);
    write.Text(RightCanalMicrophoneFile, state.MicrophoneFiles[1]);

    for (int n = 0; n < ChartSeriesCount; ++n)
        write.Integer(KeyAt(SeriesColour, n), static_cast<int>(window.Series[n].Colour));
    for (int n = 0; n < ChartSeriesCount; ++n)
        write.Integer(KeyAt(SeriesStyle, n), PenStyleCode(window.Series[n].Style));
    for (int n = 0; n < ChartSeriesCount; ++n)
        write.Integer(KeyAt(SeriesWidth, n), window.Series[n].Width);

    for (int n = 0; n < SlotCount; ++n)
        write.Flag(KeyAt(SeriesSave, n), window.SlotInUse[n]);
    for (int n = 0; n < RecentFileCount; ++n)
        write.Text(KeyAt(Last, n), window.Last[n]);

    // A minimized or maximized window keeps its last normal place on disk.
    const TWindowPosition& position = window.Position;
    write.Integer(WindowState, position.WindowState);
    if (WindowStateFromCode(position.WindowState) == Qt::WindowNoState) {
        if (position.Left)
            write.Integer(Left, *position.Left);
        if (position.Top)
            write.Integer(Top, *position.Top);
        if (position.Width)
            write.Integer(Width, *position.Width);
        if (position.Height)
            write.Integer(Height, *position.Height);
    }

    write.Text(InputDevice, QString::fromUtf8(audioIn.DeviceName()));
    write.Text(OutputDevice, QString::fromUtf8(audioOut.DeviceName()));
    SaveImpulse(write, window.Impulse);
    SaveTransfer(write, window.Transfer);
    return store.Sync();
}
