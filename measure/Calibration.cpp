// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Calibration.h"

#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/RecordingControl.h"
#include "measure/Sweep.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double AxisSpan = 90.0; // dB below the calibrated top of the level axis
// A steady level is measured over at least this long, and over at least this many periods of the
// tone: one block of a low tone holds a fraction of a period, whose mean square is off by tenths of
// a decibel.
constexpr int MinimumWindow = 200; // ms
constexpr double WindowPeriods = 10;
constexpr int SteadyWindows = 5;

} // namespace

TCalibration::TCalibration(TMeasurementState& state, IWaveDevice& input, IWaveDevice& output,
                           TLevelMeter& meter, ICalibrationWindow& window)
    : State(state), Input(input), Output(output), Meter(meter), Window(window)
{
}

QString TCalibration::StateText(double offsetLeft, double offsetRight)
{
    if (offsetLeft != 0 && offsetRight != 0)
        return QStringLiteral("Skalibrowany (kanał lewy i prawy)");
    if (offsetLeft != 0)
        return QStringLiteral("Skalibrowany (kanał lewy)");
    if (offsetRight != 0)
        return QStringLiteral("Skalibrowany (kanał prawy)");
    return QStringLiteral("Nie skalibrowany");
}

QString TCalibration::StateText() const
{
    return Pressure() ? StateText(State.TimeCalibrationL, State.TimeCalibrationR)
                      : StateText(State.FreqCalibrationL, State.FreqCalibrationR);
}

void TCalibration::Reset()
{
    OffsetL() = 0;
    OffsetR() = 0;
}

// ---- The procedures

void TCalibration::Start(const TCalibrationRequest& request)
{
    Active = true;
    // A calibrator's tone is measured unweighted: through A, a 250 Hz pistonphone would read 8.6 dB low
    // and the offset would be that much wrong for every weighting.
    State.Calibrating = true;
    // The sweep of the find-maximum procedure covers its own range from its first point on.
    if (!Pressure() && request.Procedure == TCalibrationProcedure::FindMaximum)
        State.GeneratorFrequency = State.CalibrationStartFreq;
    State.CalibrationTargetLevel = request.TargetLevel;
    if (!StartDevices()) {
        Stop();
        return;
    }

    double left = 0, right = 0;
    QString warning;
    if (Pressure()) {
        if (MeasureSteadyLevels(left, right, 0))
            warning = Calibrate(request.ReferenceLevel, left, left > TLevelMeter::SilenceLevel, right,
                                right > TLevelMeter::SilenceLevel);
        Finish(warning);
        return;
    }
    switch (request.Procedure) {
    case TCalibrationProcedure::ReferenceLevel: // offered in the sound-pressure kind only
    case TCalibrationProcedure::ZeroAtFrequency:
        State.GeneratorFrequency = request.Frequency;
        WaitProcessingEvents(State.MeasurementDelay);
        // The tone is read as a sweep point at its frequency is, the microphone's deviation taken off,
        // so that a calibration file that is not 0 dB there shifts no point.
        if (Active && MeasureSteadyLevels(left, right, request.Frequency))
            warning = Calibrate(0, left - State.Microphone[0].DeviationDb(request.Frequency),
                                left > TLevelMeter::SilenceLevel,
                                right - State.Microphone[1].DeviationDb(request.Frequency),
                                right > TLevelMeter::SilenceLevel);
        Finish(warning);
        break;
    case TCalibrationProcedure::FindMaximum:
        Window.SetCalibrationTimerInterval(std::max(State.CalibrationTime, 1));
        break;
    }
}

bool TCalibration::StartDevices()
{
    if (!StartMeasurementDevices(State, Input, Pressure() ? nullptr : &Output,
                                 [this](const QString& text) { Window.ShowError(text); }))
        return false;
    Window.SetCalibrating(true);
    Window.SetStatusText(0, QStringLiteral("Kalibracja"));
    ResetPeakCapture();
    // The level is the plain energy mean of whole windows after the wait, not a time-weighted one.
    SettlingWait(State);
    return Active && !State.OutputStartFailed && Input.Running();
}

// The level is the median of several windows: a sound server under load may lose a few milliseconds
// inside its own graph (a filter sink in front of the device, for one), which no stream's counter
// sees; it spoils one window, not the calibration.
bool TCalibration::MeasureSteadyLevels(double& left, double& right, double frequency)
{
    const double periods = frequency > 0 ? WindowPeriods * 1000.0 / frequency : 0;
    const int window = std::max(MinimumWindow, static_cast<int>(std::ceil(periods)));
    std::array<double, SteadyWindows> levels[2];
    for (int w = 0; w < SteadyWindows; ++w) {
        Meter.StartEnergyMean();
        WaitProcessingEvents(window);
        if (!Active || !Input.Running())
            return false; // ended or lost while it waited
        levels[0][w] = Meter.EnergyMeanLevel(0);
        levels[1][w] = Meter.EnergyMeanLevel(1);
    }
    for (auto& channel : levels)
        std::nth_element(channel.begin(), channel.begin() + SteadyWindows / 2, channel.end());
    Meter.CaptureCalibrationLevels();
    left = State.BlockLevelL = levels[0][SteadyWindows / 2];
    right = State.BlockLevelR = levels[1][SteadyWindows / 2];
    return true;
}

void TCalibration::ResetPeakCapture()
{
    State.CalibrationPeakLevelL = State.CalibrationPeakLevelR = NoPeakLevel;
    State.CalibrationPeakMagnitudeL = State.CalibrationPeakMagnitudeR = 0;
    State.ResetPeaks();
}

void TCalibration::TimerTick()
{
    if (Pressure() || !Active)
        return;
    Meter.CaptureCalibrationLevels();
    ++State.CalibrationStep;
    State.GeneratorFrequency = TSweep::PointFrequency(State.CalibrationStartFreq, State.CalibrationStopFreq,
                                                      State.CalibrationStep, State.CalibrationPointsCount);
    ShowPeakFrequency();
    if (State.CalibrationStep < std::max(State.CalibrationPointsCount, 1))
        return;

    Meter.CaptureCalibrationLevels();
    QString warning;
    if (Input.Running())
        warning = Calibrate(State.CalibrationTargetLevel, State.CalibrationPeakLevelL,
                            State.CalibrationPeakMagnitudeL > 0, State.CalibrationPeakLevelR,
                            State.CalibrationPeakMagnitudeR > 0);
    Finish(warning);
}

// The frequency of the loudest point found so far, in the clock panel: the chart's mouse read-out
// has the status bar, and the panel is the sweep's frequency display in this kind.
void TCalibration::ShowPeakFrequency()
{
    auto hertz = [](double frequency) { return NumberFormat::Fixed(frequency, 0, 0); };
    QString text;
    switch (State.ChannelMode) {
    case TChannelMode::Left:
        text = hertz(State.CalibrationPeakFrequencyL);
        break;
    case TChannelMode::Right:
        text = hertz(State.CalibrationPeakFrequencyR);
        break;
    case TChannelMode::Both:
        text = hertz(State.CalibrationPeakFrequencyL) + QStringLiteral(" / ") +
               hertz(State.CalibrationPeakFrequencyR);
        break;
    }
    Window.SetClockText(QStringLiteral("Maks.: ") + text + QStringLiteral(" Hz"));
}

QString TCalibration::Calibrate(double target, double levelL, bool heardL, double levelR, bool heardR)
{
    const bool left = State.ChannelMode != TChannelMode::Right;
    const bool right = State.ChannelMode != TChannelMode::Left;
    if (left && heardL)
        OffsetL() = target - levelL - LevelOffsetDb;
    if (right && heardR)
        OffsetR() = target - levelR - LevelOffsetDb;
    // A silent channel would take an offset of some two hundred decibels.
    if ((!left || heardL) && (!right || heardR))
        return QString();
    const QString channel = left && !heardL && right && !heardR ? QStringLiteral("kanałach lewym i prawym")
                            : left && !heardL                   ? QStringLiteral("kanale lewym")
                                                                : QStringLiteral("kanale prawym");
    return QStringLiteral("Brak sygnału w ") + channel +
           QStringLiteral(". Kalibracja tego kanału nie została wykonana.");
}

// A message box runs an event loop of its own, in which a sweep still running would tick on and open
// one box over another: the procedure ends before anything is said.
void TCalibration::Finish(const QString& warning)
{
    if (Active)
        Stop();
    if (!warning.isEmpty())
        Window.ShowError(warning);
}

void TCalibration::Abort(const QString& reason)
{
    if (!Active)
        return;
    Stop();
    Window.SetStatusText(0, QStringLiteral("Kalibracja przerwana"));
    Window.ShowError(reason);
}

void TCalibration::Stop()
{
    Active = false;
    Input.StopNow();
    Output.StopNow();
    Window.SetCalibrationTimerInterval(0);
    State.CalibrationStep = 0;
    State.Calibrating = false;
    Window.SetStatusText(0, QStringLiteral("Kalibracja zakończona"));

    // The level axis follows the left offset, also when only the right channel was calibrated.
    const double top = std::nearbyint(OffsetL()) + State.LevelExcess;
    double& minimum = Pressure() ? State.TimeLevelScaleMinimum : State.FreqLevelScaleMinimum;
    double& maximum = Pressure() ? State.TimeLevelScaleMaximum : State.FreqLevelScaleMaximum;
    minimum = top - AxisSpan;
    maximum = top;
    Window.SetLevelAxisRange(minimum, maximum);

    State.GeneratorFrequency = State.StartFreq;
    if (!Pressure())
        Window.SetClockText(QStringLiteral("Częstotliwość [Hz]")); // no maximum is being sought any more
    Window.SetCalibrating(false);
}
