// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/LevelMeter.h"

#include "common/NumberFormat.h"
#include "measure/SweepDetection.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>

static_assert(std::endian::native == std::endian::little, "blocks hold little-endian samples");

namespace {

QString ReadoutText(double level, TFrequencyWeighting weighting)
{
    return NumberFormat::Fixed(level, 2, 1) + LevelUnit(weighting);
}

} // namespace

TLevelMeter::TLevelMeter(TMeasurementState& state, const IStreamInfo& input, TChartModel& chart,
                         IAcquisitionSink& sink, IMeterWindow& window, IClock& clock)
    : State(state), Input(input), Chart(chart), Sink(sink), Window(window), Clock(clock)
{
}

double TLevelMeter::Level(long double meanSquare, double offset)
{
    if (!(meanSquare > 0))
        return SilenceLevel;
    const double level = static_cast<double>(10 * std::log10(meanSquare / FullScaleSquare)) + offset;
    return std::max(level, SilenceLevel);
}

bool TLevelMeter::AnalyseBlock(float* Samples, int& Count)
{
    const int frames = Count / 2;
    if (frames <= 0)
        return true;
    MeasureBlock(Samples, frames, Input.FrameRate());
    EnergyL += State.BlockMeanSquareL * frames;
    EnergyR += State.BlockMeanSquareR * frames;
    EnergyFrames += frames;
    if (DirectTickDue())
        Tick();
    return true;
}

bool TLevelMeter::Paced() const
{
    return Pacing && State.MeasurementKind == TMeasurementKind::FrequencyCharacteristic;
}

// A point holds nothing from before its tone: its time-weighted level starts afresh at its first
// frame (the plain mean until it spans the averaging time), and without time weighting it is the mean
// square of its own frames.
void TLevelMeter::FollowPacing(unsigned events)
{
    if (events & ISweepPacing::PointEnds) {
        const long double frames = std::max<long double>(PointFrames, 1);
        State.BlockMeanSquareL = PointSquares[0] / frames;
        State.BlockMeanSquareR = PointSquares[1] / frames;
        State.AveragedMeanSquareL = Filters.TimeWeighted()[0];
        State.AveragedMeanSquareR = Filters.TimeWeighted()[1];
        Tick();
    }
    if (events & ISweepPacing::PointBegins) {
        Filters.RestartTimeWeighting();
        PointSquares = TStereo{};
        PointFrames = 0;
    }
}

// The weightings in force for this very block. The block is passed in segments that end where the
// statistics sample the time-weighted level or close an interval, and where a sweep's point begins or
// ends, so that every figure is the one of the samples themselves, whatever the block size.
void TLevelMeter::MeasureBlock(const float* buffer, int frames, int frameRate)
{
    const bool weighted = frameRate >= MinimumWeightedRate;
    Filters.Configure(weighted ? State.WeightingInForce() : TFrequencyWeighting::Z, frameRate,
                      State.ImpulseWeighting ? TTimeWeighting::Impulse(frameRate)
                                             : TTimeWeighting::Exponential(State.AveragingTime, frameRate));
    if (State.StartMeter) {
        Filters.StartFromRest();
        State.StartMeter = false;
    }
    TMeasurementStatistics& statistics = State.Statistics;
    const bool collecting = statistics.Collecting && frameRate > 0;
    // Without time weighting the statistics take the block's own mean square, read ahead of the pass.
    const bool blockLevelOnly = collecting && State.NoAveraging;
    const TStereo blockLevel = blockLevelOnly ? Filters.Preview(buffer, frames).Squares / frames : TStereo{};
    if (State.RestartTimeWeighting) {
        Filters.RestartTimeWeighting();
        State.RestartTimeWeighting = false;
    }
    const bool paced = Paced();
    TStereo squares{};
    for (int done = 0; done < frames;) {
        // Nothing counts before the meter's start is over.
        const int starting = Filters.FramesToStart();
        const bool counting = collecting && starting == 0;
        int n = counting ? std::min(frames - done, statistics.FramesToBoundary(frameRate)) : frames - done;
        if (starting > 0)
            n = std::min(n, starting);
        if (paced)
            n = Pacing->FramesToBoundary(n);
        const float* segmentStart = buffer + 2 * static_cast<std::ptrdiff_t>(done);
        const TMeterFilters::TPass pass = Filters.Run(segmentStart, n);
        FoldExtremes(pass.MinL, pass.MaxL, pass.MinR, pass.MaxR);
        const double fullScale = OverloadMagnitude(Input.IntegerSamples());
        const std::array<bool, 2> overload{std::max(-pass.MinL, pass.MaxL) >= fullScale,
                                           std::max(-pass.MinR, pass.MaxR) >= fullScale};
        squares += pass.Squares;
        PointSquares += pass.Squares;
        PointFrames += n;
        if (counting) {
            if (statistics.Duration() <= 0)
                statistics.MeasuredWith = {State.FrequencyWeighting, State.NoAveraging,
                                           State.ImpulseWeighting, State.AveragingTime};
            TStatisticsSegment segment{n};
            for (std::size_t c = 0; c < 2; ++c) {
                segment.Overload[c] = overload[c];
                State.OverloadSinceTick[c] = State.OverloadSinceTick[c] || overload[c];
                segment.Squares[c] = pass.Squares[c];
                segment.PeakSquare[c] = pass.PeakSquare[c];
                segment.MaxTimeWeighted[c] = blockLevelOnly ? blockLevel[c] : pass.MaxTimeWeighted[c];
                segment.MinTimeWeighted[c] = blockLevelOnly ? blockLevel[c] : pass.MinTimeWeighted[c];
                segment.EndTimeWeighted[c] = blockLevelOnly ? blockLevel[c] : Filters.TimeWeighted()[c];
            }
            statistics.Add(segment, frameRate);
        }
        done += n;
        if (paced)
            FollowPacing(Pacing->Passed(segmentStart, n));
    }
    State.MeterReady = Filters.FramesToStart() == 0;
    State.BlockMeanSquareL = squares[0] / static_cast<long double>(frames);
    State.BlockMeanSquareR = squares[1] / static_cast<long double>(frames);
    State.AveragedMeanSquareL = Filters.TimeWeighted()[0];
    State.AveragedMeanSquareR = Filters.TimeWeighted()[1];
}

// The raw samples' extremes, whatever the weighting: overload and the stored peak levels use them.
void TLevelMeter::FoldExtremes(double minL, double maxL, double minR, double maxR)
{
    State.PeakMinL = std::min(State.PeakMinL, minL);
    State.PeakMaxL = std::max(State.PeakMaxL, maxL);
    State.PeakMinR = std::min(State.PeakMinR, minR);
    State.PeakMaxR = std::max(State.PeakMaxR, maxR);
}

bool TLevelMeter::DirectTickDue() const
{
    const bool everyBlock =
        (State.MeasurementKind == TMeasurementKind::SoundPressure && State.ChartTimeRefresh == 0) ||
        (State.MeasurementKind == TMeasurementKind::FrequencyCharacteristic && State.PointTime == 0 &&
         !Paced());
    return everyBlock && Window.StartButtonEnabled();
}

void TLevelMeter::Tick()
{
    switch (State.MeasurementKind) {
    case TMeasurementKind::SoundPressure:
        RefreshLevels();
        Window.UpdateClockPanel();
        break;
    case TMeasurementKind::FrequencyCharacteristic:
        RefreshLevels();
        Window.SweepStep();
        break;
    }
}

void TLevelMeter::RefreshLevels()
{
    if (!Input.Running())
        return;

    // After this the largest value holds the largest magnitude.
    State.PeakMaxL = std::max(State.PeakMaxL, std::abs(State.PeakMinL));
    State.PeakMaxR = std::max(State.PeakMaxR, std::abs(State.PeakMinR));
    if (SignalOverload(0, State.PeakMaxL)) {
        State.PeakMaxL = State.PeakMinL = 0;
        State.OverloadedL = true;
    }
    if (SignalOverload(1, State.PeakMaxR)) {
        State.PeakMaxR = State.PeakMinR = 0;
        State.OverloadedR = true;
    }

    State.BlockLevelL = Level(State.BlockMeanSquareL, LevelOffsetDb);
    State.BlockLevelR = Level(State.BlockMeanSquareR, LevelOffsetDb);
    if (State.NoAveraging) {
        State.LevelL = State.BlockLevelL;
        State.LevelR = State.BlockLevelR;
    } else {
        State.LevelL = Level(State.AveragedMeanSquareL, LevelOffsetDb);
        State.LevelR = Level(State.AveragedMeanSquareR, LevelOffsetDb);
    }
    // One channel relative to the other, in dB, before any calibration offset.
    if (State.Compensation && State.ChannelMode == TChannelMode::Left)
        State.LevelL -= State.LevelR;
    else if (State.Compensation && State.ChannelMode == TChannelMode::Right)
        State.LevelR -= State.LevelL;

    switch (State.MeasurementKind) {
    case TMeasurementKind::SoundPressure:
        PublishSoundPressure();
        break;
    case TMeasurementKind::FrequencyCharacteristic:
        PublishSweep();
        break;
    }
}

void TLevelMeter::PublishSoundPressure()
{
    State.NowClock = Clock.TimeOfDay();
    const std::int64_t frequency =
        State.CounterFrequency > 0 ? State.CounterFrequency : Clock.CounterFrequency();
    State.ElapsedTime =
        static_cast<double>(Clock.Counter() - State.StartCount) / static_cast<double>(frequency);
    if (State.AcquisitionOn)
        Sink.Enqueue(State.ElapsedTime);
    if (State.TimeAutoScale && State.ChartTimeScope < State.ElapsedTime)
        Window.SetTimeAxisAutomatic();

    if (State.DisplayCounter % std::max(State.DisplayTimeRefresh, 1u) == 0) {
        State.DisplayCounter = 0;
        ShowReadouts(State.LevelL + State.TimeCalibrationL, State.LevelR + State.TimeCalibrationR);
        // An overload of the recording stays shown until the statistics start anew.
        Window.SetReadoutRed(0, State.Statistics.Channel(0).Overload);
        Window.SetReadoutRed(1, State.Statistics.Channel(1).Overload);
        if (State.TimeAutoLevelScale)
            FitLevelAxis();
    }
    ++State.DisplayCounter;

    AppendChannelPoint(LeftChannelSeries, State.LevelL + State.TimeCalibrationL);
    AppendChannelPoint(RightChannelSeries, State.LevelR + State.TimeCalibrationR);
    const unsigned overloaded =
        (State.OverloadSinceTick[0] ? 1u : 0u) | (State.OverloadSinceTick[1] ? 2u : 0u);
    if (State.AcquisitionOn && overloaded != 0)
        Sink.MarkOverload(overloaded);
    State.OverloadSinceTick = {};
}

void TLevelMeter::ShowReadouts(double left, double right)
{
    Window.SetReadoutText(0, ReadoutText(left, State.WeightingInForce()));
    Window.SetReadoutText(1, ReadoutText(right, State.WeightingInForce()));
}

void WidenLevelRange(double& minimum, double& maximum, double excess)
{
    if (excess == 0)
        return;
    minimum = std::nearbyint(minimum - excess); // halves to even
    maximum = std::nearbyint(maximum + excess);
}

void TLevelMeter::FitLevelAxis()
{
    // The channels of the mode that hold points; right after a start they hold none, and the axis
    // set up for the start stays until they do rather than closing in on a level of 0 dB.
    unsigned channels = 0;
    if (State.ChannelMode != TChannelMode::Right)
        channels |= SeriesBit(LeftChannelSeries);
    if (State.ChannelMode != TChannelMode::Left)
        channels |= SeriesBit(RightChannelSeries);
    const std::optional<TDataRange> range = Chart.DataRange(channels);
    if (!range)
        return;
    double smallest = range->MinY, largest = range->MaxY;
    WidenLevelRange(smallest, largest, State.LevelExcess);
    Window.SetLevelAxisRange(smallest, largest);
}

void TLevelMeter::AppendChannelPoint(int series, double value)
{
    State.PointValue = value;
    if (State.AcquisitionOn)
        Sink.Enqueue(value);
    Chart.Append(series, State.ElapsedTime, value);
    const TChartSeriesData& data = Chart.Series(series);
    if (State.TimeAutoScale && data.MaxX() - data.MinX() > State.ChartTimeScope)
        Chart.DeleteFirst(series);
}

void TLevelMeter::PublishSweep()
{
    const double frequency = State.GeneratorFrequency;
    // A detected point brings its own levels (calibrated and corrected already) and details.
    const TDetectedPoint* detected = Paced() ? Pacing->DetectedPoint() : nullptr;
    const double left = detected && (detected->Inputs & 1u) ? detected->Level[0]
                                                            : State.LevelL + State.FreqCalibrationL -
                                                                  State.Microphone[0].DeviationDb(frequency);
    const double right = detected && (detected->Inputs & 2u) ? detected->Level[1]
                                                             : State.LevelR + State.FreqCalibrationR -
                                                                   State.Microphone[1].DeviationDb(frequency);
    ShowReadouts(left, right);

    const int k = Window.ActiveSeries();
    if (k < 0 || k >= ResultSeriesCount)
        return;
    const auto append = [&](int series, double value, int input) {
        State.PointValue = value;
        Chart.Append(series, frequency, value, Paced() ? Pacing->PointDetail(input) : nullptr);
    };
    switch (State.ChannelMode) {
    case TChannelMode::Left:
        append(k, left, 0);
        break;
    case TChannelMode::Right:
        append(k, right, 1);
        break;
    case TChannelMode::Both: // the right channel's slot is four above the left one's
        append(k, left, 0);
        if (k + 4 < ResultSeriesCount)
            append(k + 4, right, 1);
        break;
    }
}

void TLevelMeter::CaptureCalibrationLevels()
{
    if (!Input.Running())
        return;
    State.BlockLevelL = Level(State.BlockMeanSquareL, 0);
    State.BlockLevelR = Level(State.BlockMeanSquareR, 0);
    CapturePeak(0);
    CapturePeak(1);
}

void TLevelMeter::StartEnergyMean()
{
    EnergyL = EnergyR = EnergyFrames = 0;
}

double TLevelMeter::EnergyMeanLevel(int channel) const
{
    if (EnergyFrames == 0)
        return Level(channel == 0 ? State.BlockMeanSquareL : State.BlockMeanSquareR, 0);
    return Level((channel == 0 ? EnergyL : EnergyR) / EnergyFrames, 0);
}

// The level and the generator frequency are taken whenever the channel's largest sample magnitude
// (of either sign) grows. A magnitude at the overload can grow once more at most (from full scale to
// the 16-bit -32768), so an overload is reported once or twice and the level of the first block that reached
// it stays the maximum.
void TLevelMeter::CapturePeak(int channel)
{
    const bool left = channel == 0;
    const double magnitude =
        std::max(left ? State.PeakMaxL : State.PeakMaxR, std::abs(left ? State.PeakMinL : State.PeakMinR));
    double& captured = left ? State.CalibrationPeakMagnitudeL : State.CalibrationPeakMagnitudeR;
    if (magnitude <= captured)
        return;
    captured = magnitude;
    (left ? State.CalibrationPeakLevelL : State.CalibrationPeakLevelR) =
        left ? State.BlockLevelL : State.BlockLevelR;
    (left ? State.CalibrationPeakFrequencyL : State.CalibrationPeakFrequencyR) = State.GeneratorFrequency;
    SignalOverload(channel, magnitude);
}

double TLevelMeter::PeakLevel(const TMeasurementState& state, int channel)
{
    const bool left = channel == 0;
    if (left ? state.OverloadedL : state.OverloadedR)
        return 0.0; // a sample of -32768: full scale, whatever came after the overload cleared the peak
    // The magnitude of the smallest sample counts even when no tick has folded it in yet.
    const double magnitude =
        std::max(left ? state.PeakMaxL : state.PeakMaxR, std::abs(left ? state.PeakMinL : state.PeakMinR));
    if (!(magnitude > 0))
        return SilenceLevel;
    return std::max(20.0 * std::log10(magnitude / PeakReference), SilenceLevel);
}

bool TLevelMeter::SignalOverload(int channel, double magnitude)
{
    if (magnitude < OverloadMagnitude(Input.IntegerSamples()))
        return false;
    Window.SetReadoutRed(channel, true);
    Window.Beep();
    return true;
}
