// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Sweep.h"

#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

constexpr double NoDataLevelMinimum = -90.0, NoDataLevelMaximum = 0.0;

bool UsableFrequency(double frequency)
{
    return std::isfinite(frequency) && frequency > 0;
}

} // namespace

TSweep::TSweep(TMeasurementState& state, const IStreamInfo& input, const IStreamInfo& output,
               const TChartModel& chart, ISweepWindow& window)
    : State(state), Input(input), Output(output), Chart(chart), Window(window)
{
}

double TSweep::PointFrequency(double start, double stop, int index, int count)
{
    if (count < 2)
        return start;
    return start * std::pow(10.0, std::log10(stop / start) * index / (count - 1));
}

// ---- Parameter edits

void TSweep::StartFreqChanged(const QString& text)
{
    FrequencyChanged(text, State.StartFreq, StartAboveNyquist);
}

void TSweep::StopFreqChanged(const QString& text)
{
    FrequencyChanged(text, State.StopFreq, StopAboveNyquist);
}

void TSweep::FrequencyChanged(const QString& text, double& frequency, int nyquistReason)
{
    // 0 would put every point at 0 Hz or at no frequency at all: it is not a frequency.
    const std::optional<double> typed = NumberFormat::ParseNumber(text);
    if (!typed || !UsableFrequency(*typed))
        return;
    frequency = *typed;
    // The other kind's chart keeps its own axes (the edits are filled at start-up in either kind);
    // selecting this kind sets these up.
    if (State.MeasurementKind == TMeasurementKind::FrequencyCharacteristic)
        SetUpAxes();
    Zero();
    SetBlocked(nyquistReason, frequency > HalfFrameRate());
}

void TSweep::PointsChanged(const QString& text)
{
    const std::optional<long long> typed = NumberFormat::ParseInteger(text);
    if (!typed || *typed < 0 || *typed > INT_MAX)
        return;
    State.PointsCount = static_cast<std::int32_t>(*typed);
    ShowEstimatedTime();
    Zero();
    if (State.PointsCount >= MinimumPoints)
        Window.SetProgressMaximum(State.PointsCount - 1);
    SetBlocked(TooFewPoints, State.PointsCount < MinimumPoints);
}

QString TSweep::StartFreqOnExit(const QString& text) const
{
    if (State.StartFreq > HalfFrameRate())
        return NumberFormat::Integer(Input.FrameRate() / 2);
    const std::optional<double> typed = NumberFormat::ParseNumber(text);
    if (text.isEmpty() || (typed && *typed == 0))
        return NumberFormat::General(State.StartFreq);
    return text;
}

QString TSweep::StopFreqOnExit(const QString& text) const
{
    if (State.StopFreq > HalfFrameRate())
        return NumberFormat::Integer(Input.FrameRate() / 2);
    // A 0 left in the edit would show a frequency that is not in force.
    const std::optional<double> typed = NumberFormat::ParseNumber(text);
    if (text.isEmpty() || (typed && *typed == 0))
        return NumberFormat::General(State.StopFreq);
    return text;
}

QString TSweep::PointsOnExit(const QString& text) const
{
    if (State.PointsCount < MinimumPoints)
        return NumberFormat::Integer(MinimumPoints);
    if (text.isEmpty())
        return NumberFormat::Integer(State.PointsCount);
    return text;
}

void TSweep::FrameRateChanged()
{
    SetBlocked(StartAboveNyquist, State.StartFreq > HalfFrameRate());
    SetBlocked(StopAboveNyquist, State.StopFreq > HalfFrameRate());
}

void TSweep::SetBlocked(int reason, bool blocked)
{
    State.SweepBlocked[static_cast<std::size_t>(reason)] = blocked;
    Window.StartConditionsChanged();
}

bool TSweep::StartAllowed() const
{
    const bool blocked =
        std::any_of(State.SweepBlocked.begin(), State.SweepBlocked.end(), [](bool b) { return b; });
    // Stored settings may hold frequencies that no edit would take.
    return !blocked && Window.ActiveSeries() >= 0 && UsableFrequency(State.StartFreq) &&
           UsableFrequency(State.StopFreq) && State.PointsCount >= MinimumPoints;
}

QString TSweep::EstimatedTimeText() const
{
    auto milliseconds = static_cast<std::uint64_t>(std::max(State.PointsCount, 0)) *
                            static_cast<std::uint64_t>(std::max(State.PointTime, 0)) +
                        static_cast<std::uint64_t>(std::max(State.MeasurementDelay, 0));
    // Detected points last as long as their frequencies ask (more only where noise demands).
    if (State.Detection.Synchronous() && UsableFrequency(State.StartFreq) &&
        UsableFrequency(State.StopFreq)) {
        const int rate = std::max(Input.FrameRate(), 1);
        double frames = 0;
        for (int k = 0; k < std::clamp(State.PointsCount, 0, 100000); ++k) {
            const TPointPlan plan = TSweepDetection::ShortestPlan(
                PointFrequency(State.StartFreq, State.StopFreq, k, State.PointsCount), rate, State.Detection);
            frames += plan.SettlingFrames + plan.WindowFrames;
        }
        milliseconds = static_cast<std::uint64_t>(std::llround(frames * 1000.0 / rate)) +
                       static_cast<std::uint64_t>(std::max(State.MeasurementDelay, 0));
    }
    return NumberFormat::Fixed(static_cast<double>(milliseconds) / 1000.0, 0, 1) + QStringLiteral("s");
}

void TSweep::ShowEstimatedTime()
{
    Window.SetEstimatedTime(EstimatedTimeText());
}

// ---- The sweep

void TSweep::Zero()
{
    State.GeneratorFrequency = State.StartFreq;
    State.SweepIndex = 0;
    Window.SetProgress(0);
}

void TSweep::Step()
{
    Window.SetProgress(State.SweepIndex);
    ++State.SweepIndex;
    State.GeneratorFrequency =
        PointFrequency(State.StartFreq, State.StopFreq, State.SweepIndex, State.PointsCount);
    if (State.SweepIndex < State.PointsCount) {
        Window.UpdateClockPanel();
        return;
    }
    Window.ClickStartButton();
    State.SweepIndex = 0;
    State.GeneratorFrequency = State.StartFreq;
}

unsigned TSweep::MeasuredSeries(int active) const
{
    if (active < 0 || active >= ResultSeriesCount)
        return 0;
    unsigned series = SeriesBit(active);
    if (State.ChannelMode == TChannelMode::Both && active + 4 < ResultSeriesCount)
        series |= SeriesBit(active + 4);
    return series;
}

QString TSweep::SetUpProblem() const
{
    const TDetectionSettings& detection = State.Detection;
    if (!detection.Synchronous() || detection.Reference == TReferenceChannel::None)
        return QString();
    // The reference divides the other input: the one measured is the other single channel.
    const bool leftReference = detection.Reference == TReferenceChannel::Left;
    const TChannelMode measured = leftReference ? TChannelMode::Right : TChannelMode::Left;
    if (State.ChannelMode == measured)
        return QString();
    return QStringLiteral("Gdy kanałem odniesienia jest kanał %1, mierzony jest kanał %2: wybierz tryb pracy "
                          "„Kanał %3” albo inny kanał odniesienia.")
        .arg(leftReference ? QStringLiteral("lewy") : QStringLiteral("prawy"),
             leftReference ? QStringLiteral("prawy") : QStringLiteral("lewy"),
             leftReference ? QStringLiteral("R") : QStringLiteral("L"));
}

bool TSweep::PrepareStart(bool byStartAction)
{
    if (const QString problem = SetUpProblem(); !problem.isEmpty()) {
        Window.ShowError(problem);
        return false;
    }
    // A sweep that goes on from where it was stopped keeps the points it has taken.
    if (!Window.ChooseSeries(State.SweepIndex > 0 ? InterruptedSeries : -1))
        return false;
    const int active = Window.ActiveSeries();
    if (active < 0)
        return false; // no series to take the points
    // The series being measured stays in view; the others make way for it.
    if (State.Preferences.MinimizeOnMeasurment && byStartAction) {
        HiddenForSweep = Chart.VisibleOf(ResultSeriesMask) & ~MeasuredSeries(active);
        for (int series = 0; series < ResultSeriesCount; ++series)
            if (HiddenForSweep & SeriesBit(series))
                Window.SetSeriesShown(series, false);
    }
    Window.SetSweepEditsEnabled(false);
    BeginTimeline();
    return true;
}

void TSweep::BeginTimeline()
{
    const int rate = Input.FrameRate();
    std::vector<double> frequencies(static_cast<std::size_t>(std::max(State.PointsCount, 1)));
    for (std::size_t k = 0; k < frequencies.size(); ++k)
        frequencies[k] =
            PointFrequency(State.StartFreq, State.StopFreq, static_cast<int>(k), State.PointsCount);
    // With a point time of 0 every point is a block long, as the points of the ticks were.
    const auto pointFrames = State.PointTime > 0
                                 ? static_cast<int>(std::llround(State.PointTime / 1000.0 * rate))
                                 : std::max(Input.BlockFrames(), 1);
    Synchronous = State.Detection.Synchronous();
    PointTaken = false;
    Retakes = 0;
    // The probe is sought where the tone comes back: in the reference input when there is one.
    const int reference = Synchronous ? State.Detection.ReferenceInput() : -1;
    const unsigned channels = reference >= 0                             ? 1u << reference
                              : State.ChannelMode == TChannelMode::Left  ? 1u
                              : State.ChannelMode == TChannelMode::Right ? 2u
                                                                         : 3u;
    Paced.Begin(rate, pointFrames, State.SweepIndex, std::move(frequencies), channels,
                Synchronous ? &Detection : nullptr, Synchronous);
    if (Synchronous)
        Detection.Begin(rate, Paced);
}

int TSweep::FramesToBoundary(int frames) const
{
    return Paced.FramesToBoundary(frames, State.SweepIndex);
}

unsigned TSweep::Passed(const float* frames, int count)
{
    PointTaken = false;
    if (!Paced.Active())
        return 0;
    // Frames lost at the input, from its first block on, or at the output once the probe has measured
    // the round trip, shift one stream against the other: the points would no longer be where they
    // are sought. The point is measured again after a new probe, unless the streams keep breaking.
    if (Paced.InputFrames() == 0)
        InputXruns = Input.Xruns();
    const bool tripKnown = Paced.RoundTrip().has_value();
    const bool inWindow = Synchronous && Paced.InWindow(State.SweepIndex);
    const unsigned events = Paced.Passed(frames, count, State.SweepIndex);
    if (!tripKnown && Paced.RoundTrip())
        OutputXruns = Output.Xruns();
    const int reference = Synchronous ? State.Detection.ReferenceInput() : -1;
    const QString referenceName = reference == 0 ? QStringLiteral("lewego") : QStringLiteral("prawego");
    if (Paced.ProbeMissing()) {
        Fail(QStringLiteral("Sygnał generatora nie dotarł do %2 w ciągu %1 s: sprawdź połączenie wyjścia "
                            "z wejściem, wybrane urządzenia i poziomy w mikserze. Pomiar został zatrzymany.")
                 .arg(NumberFormat::General(TSweepTimeline::LongestRoundTripSeconds),
                      reference >= 0
                          ? QStringLiteral("kanału odniesienia (") + referenceName + QLatin1Char(')')
                          : QStringLiteral("wejścia")));
        return 0;
    }
    if (events & TSweepTimeline::PointMissed) {
        Fail(QStringLiteral("Wejście oddało dźwięk punktu dopiero po jego końcu: bufor wejściowy jest za "
                            "długi wobec czasu punktu. Zmniejsz bufor albo wydłuż czas punktu."));
        return 0;
    }
    if (Input.Xruns() != InputXruns || (Paced.RoundTrip() && Output.Xruns() != OutputXruns)) {
        RetakeOrFail(QStringLiteral(
            "Strumień dźwięku miał przerwę (wyjście nie nadążyło albo wejście się przepełniło), "
            "więc dalsze punkty nie byłyby pewne. Pomiar został zatrzymany; zmierzone "
            "punkty zostają."));
        return 0;
    }
    if (events & TSweepTimeline::DropoutInWindow) {
        RetakeOrFail(QStringLiteral(
                         "Przy %1 Hz ton trzy razy na chwilę zanikł: serwer dźwięku gubi próbki albo badany "
                         "obiekt przerywa sygnał. Pomiar został zatrzymany; zmierzone punkty zostają.")
                         .arg(NumberFormat::Fixed(Paced.Frequency(State.SweepIndex), 0, 1)));
        return 0;
    }
    if (Synchronous && !Detect(frames, count, inWindow, events)) {
        Fail(QStringLiteral(
                 "Kanał odniesienia (%1) nie odbiera sygnału generatora: sprawdź połączenie wyjścia "
                 "karty z tym wejściem. Pomiar został zatrzymany; zmierzone punkty zostają.")
                 .arg(reference == 0 ? QStringLiteral("lewy") : QStringLiteral("prawy")));
        return 0;
    }
    if (events & ISweepPacing::PointEnds)
        Retakes = 0;
    return events;
}

void TSweep::RetakeOrFail(const QString& text)
{
    if (Retakes == MostRetakes) {
        Fail(text);
        return;
    }
    ++Retakes;
    Paced.Restart(State.SweepIndex);
    if (Synchronous)
        Detection.Restart();
}

bool TSweep::Detect(const float* frames, int count, bool inWindow, unsigned events)
{
    PointTaken = false;
    if (inWindow)
        Detection.Add(frames, count);
    if (events & ISweepPacing::PointEnds) {
        if (!Detection.Finish(State.SweepIndex))
            return false;
        PointTaken = true;
    }
    if (events & ISweepPacing::PointBegins)
        Detection.BeginWindow(State.SweepIndex);
    return true;
}

void TSweep::Fail(const QString& text)
{
    Paced.End();
    Window.ClickStartButton();
    // Shown once the block that brought it to light has been handled, never inside it.
    QMetaObject::invokeMethod(
        &Messages, [this, text] { Window.ShowError(text); }, Qt::QueuedConnection);
}

void TSweep::RecordConditions()
{
    const int active = Window.ActiveSeries();
    const unsigned measured = MeasuredSeries(active);
    TSweepConditions conditions{State.NoAveraging ? 0.0 : State.AveragingTime, Input.FrameRate(),
                                State.ChannelMode};
    conditions.Synchronous = State.Detection.Synchronous();
    if (conditions.Synchronous)
        conditions.AveragingTime = 0; // a detected point is no time average
    conditions.Reference = conditions.Synchronous ? State.Detection.Reference : TReferenceChannel::None;
    for (int series = 0; series < ResultSeriesCount; ++series) {
        if (!(measured & SeriesBit(series)))
            continue;
        // The active series takes the left channel unless only the right one is measured; its pair the right.
        const bool right = State.ChannelMode == TChannelMode::Right || series != active;
        conditions.MicrophoneCorrected = State.Microphone[right ? 1 : 0].InForce();
        Window.StoreSweepConditions(series, conditions);
    }
}

void TSweep::Finish(TStopSender sender)
{
    Paced.End();
    Window.SetSweepEditsEnabled(true);
    Window.SetStatusText(0, QStringLiteral("Pomiar zatrzymany"));
    // Whatever ended the sweep, the series hidden for it come back.
    for (int series = 0; series < ResultSeriesCount; ++series)
        if (HiddenForSweep & SeriesBit(series))
            Window.SetSeriesShown(series, true);
    HiddenForSweep = 0;

    const int active = Window.ActiveSeries();
    InterruptedSeries = State.SweepIndex > 0 ? active : -1;
    if (active >= 0) {
        const double left = TLevelMeter::PeakLevel(State, 0);
        const double right = TLevelMeter::PeakLevel(State, 1);
        Window.StoreSweepPeakLevel(active, State.ChannelMode == TChannelMode::Right ? right : left);
        if (State.ChannelMode == TChannelMode::Both && active + 4 < ResultSeriesCount)
            Window.StoreSweepPeakLevel(active + 4, right);
        if (sender != TStopSender::None && State.Preferences.ShowRaport)
            Window.ShowReport(active);
    }
    SetUpAxes();
}

// ---- Axes

void TSweep::SetUpAxes()
{
    SetUpFrequencyAxis();
    SetUpLevelAxis();
}

void TSweep::SetUpFrequencyAxis()
{
    if (State.FreqAutoScale == 2) { // fixed: nothing to check
        Window.SetFrequencyAxisRange(State.FreqScaleMinimum, State.FreqScaleMaximum);
        SetBlocked(NoFrequencyRange, false);
        return;
    }
    double lower = State.StartFreq, upper = State.StopFreq;
    if (State.FreqAutoScale == 0) {
        if (const auto range = Chart.DataRange(Chart.VisibleOf(ResultSeriesMask))) {
            lower = range->MinX;
            upper = range->MaxX;
        }
    }
    if (!(upper > lower)) {
        SetBlocked(NoFrequencyRange, true);
        return;
    }
    if (State.FreqExcess != 0) {
        lower = std::nearbyint(lower - lower * State.FreqExcess); // halves to even
        upper = std::nearbyint(upper + upper * State.FreqExcess);
    }
    Window.SetFrequencyAxisRange(lower, upper);
    SetBlocked(NoFrequencyRange, false);
}

void TSweep::SetUpLevelAxis()
{
    if (!State.FreqAutoLevelScale) {
        Window.SetLevelAxisRange(State.FreqLevelScaleMinimum, State.FreqLevelScaleMaximum);
        return;
    }
    double minimum = NoDataLevelMinimum, maximum = NoDataLevelMaximum;
    if (const auto range = Chart.DataRange(Chart.VisibleOf(ResultSeriesMask))) {
        minimum = range->MinY;
        maximum = range->MaxY;
    }
    WidenLevelRange(minimum, maximum, State.LevelExcess);
    Window.SetLevelAxisRange(minimum, maximum);
}
