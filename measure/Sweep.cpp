// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Sweep.h"

#include "analysis/ImpulseResponse.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <tuple>

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
    SetBlocked(nyquistReason, frequency > Highest());
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
    if (State.StartFreq > Highest())
        return NumberFormat::General(std::floor(Highest()));
    const std::optional<double> typed = NumberFormat::ParseNumber(text);
    if (text.isEmpty() || (typed && *typed == 0))
        return NumberFormat::General(State.StartFreq);
    return text;
}

QString TSweep::StopFreqOnExit(const QString& text) const
{
    if (State.StopFreq > Highest())
        return NumberFormat::General(std::floor(Highest()));
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
    SetBlocked(StartAboveNyquist, State.StartFreq > Highest());
    SetBlocked(StopAboveNyquist, State.StopFreq > Highest());
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
    // Detected points last as long as their frequencies ask (more only where noise or a slow device
    // demands).
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
    // A sweep that goes on from where it was stopped keeps the points it has taken, in the same series
    // and under the same conditions; anything else starts at the start frequency.
    const bool continuing = State.SweepIndex > 0 && Interrupted == ConditionsNow(Interrupted.Series);
    if (!continuing)
        Zero();
    if (!Window.ChooseSeries(continuing ? Interrupted.Series : -1))
        return false;
    const int active = Window.ActiveSeries();
    if (active < 0)
        return false; // no series to take the points
    if (active != Interrupted.Series)
        Zero();
    Interrupted = TConditions{};
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

int TSweep::PointFrames() const
{
    // With a point time of 0 every point is a block long, as the points of the ticks were.
    return State.PointTime > 0
               ? std::max(static_cast<int>(std::llround(State.PointTime / 1000.0 * Input.FrameRate())), 1)
               : std::max(Input.BlockFrames(), 1);
}

void TSweep::BeginTimeline()
{
    const int rate = Input.FrameRate();
    TSweepTimeline::TSetUp setUp;
    setUp.FrameRate = rate;
    setUp.Frequencies.resize(static_cast<std::size_t>(std::max(State.PointsCount, 1)));
    for (std::size_t k = 0; k < setUp.Frequencies.size(); ++k)
        setUp.Frequencies[k] =
            PointFrequency(State.StartFreq, State.StopFreq, static_cast<int>(k), State.PointsCount);
    Synchronous = State.Detection.Synchronous();
    PointTaken = false;
    Retakes = 0;
    // Each input that counts finds the probe and has its windows where its own tone arrives; the
    // meter's averaged levels take one window that both inputs hold.
    setUp.PointFrames = PointFrames();
    setUp.FirstIndex = State.SweepIndex;
    setUp.Inputs = SweepInputs(State);
    setUp.Origin = Synchronous ? State.Detection.ReferenceInput() : -1;
    setUp.Separate = Synchronous;
    setUp.Planner = &Detection;
    setUp.Dithered = Synchronous;
    setUp.Output = &Output;
    Paced.Begin(std::move(setUp));
    Detection.Begin(rate, Input.IntegerSamples(), Paced, Synchronous ? 0 : PointFrames());
    // Two cards' clocks drift apart (50 ppm is a millisecond in 20 s): the tone's phase at the input
    // no longer follows the generator's, while against a reference both inputs share one clock.
    NoPhase = Synchronous && setUp.Origin < 0 && Window.SeparateClocks();
    Window.ShowDelay(NoPhase ? QStringLiteral("różne karty: bez fazy") : QString());
}

std::optional<double> TSweep::MeasuredDelay() const
{
    const int reference = Synchronous ? State.Detection.ReferenceInput() : -1;
    const int measured = reference >= 0 ? 1 - reference : 1;
    if (reference < 0 && State.ChannelMode != TChannelMode::Both)
        return std::nullopt;
    const std::optional<double> frames = Paced.Delay(measured);
    const std::optional<double> other = Paced.Delay(1 - measured);
    if (!frames || !other || Input.FrameRate() <= 0)
        return std::nullopt;
    return (*frames - *other) / Input.FrameRate();
}

QString TSweep::DelayText() const
{
    const std::optional<double> seconds = MeasuredDelay();
    if (!seconds)
        return QString();
    return NumberFormat::Fixed(*seconds * 1000, 0, 3) + QStringLiteral(" ms = ") +
           NumberFormat::Fixed(*seconds * SpeedOfSound(Window.AirTemperature()), 0, 3) + QStringLiteral(" m");
}

const TPointDetail* TSweep::PointDetail(int input) const
{
    if (!PointTaken)
        return nullptr;
    const auto at = static_cast<std::size_t>(input);
    if (Synchronous)
        return &Detection.Point().Detail[at];
    return Marks[at].Overloaded || Marks[at].Unsettled ? &Marks[at] : nullptr;
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
    // Frames lost at the input, from its first block on, or at the output once the probe has been
    // played, shift one stream against the other: the points would no longer be where they are sought.
    // The point is measured again after a new probe, unless the streams keep breaking.
    if (Paced.InputFrames() == 0)
        InputXruns = Input.Xruns();
    const bool arrivalsKnown = Paced.RoundTrip().has_value();
    unsigned inWindow = 0;
    for (int input = 0; input < 2; ++input)
        inWindow |= Paced.InWindow(input) ? 1u << input : 0u;
    const unsigned events = Paced.Passed(frames, count, State.SweepIndex);
    if (!arrivalsKnown && Paced.RoundTrip() && !NoPhase)
        Window.ShowDelay(DelayText());
    const int reference = Synchronous ? State.Detection.ReferenceInput() : -1;
    if (Paced.ProbeMissing()) {
        Fail(QStringLiteral("Sygnał generatora nie dotarł do %2 w ciągu %1 s: sprawdź połączenie wyjścia "
                            "z wejściem, wybrane urządzenia i poziomy w mikserze. Pomiar został zatrzymany.")
                 .arg(NumberFormat::General(TSweepTimeline::LongestRoundTripSeconds),
                      reference >= 0
                          ? QStringLiteral("kanału odniesienia (") +
                                (reference == 0 ? QStringLiteral("lewego") : QStringLiteral("prawego")) +
                                QLatin1Char(')')
                          : QStringLiteral("wejścia")));
        return 0;
    }
    if (events & TSweepTimeline::PointMissed) {
        Fail(QStringLiteral("Wejście oddało dźwięk punktu dopiero po jego końcu: bufor wejściowy jest za "
                            "długi wobec czasu punktu. Zmniejsz bufor albo wydłuż czas punktu."));
        return 0;
    }
    const std::optional<std::uint64_t> outputXruns = Paced.OutputXrunsAtProbe();
    if (Input.Xruns() != InputXruns || (outputXruns && Output.Xruns() != *outputXruns)) {
        RetakeOrFail(QStringLiteral(
            "Strumień dźwięku miał przerwę (wyjście nie nadążyło albo wejście się przepełniło), "
            "więc dalsze punkty nie byłyby pewne. Pomiar został zatrzymany; zmierzone "
            "punkty zostają."));
        return 0;
    }
    return Detect(frames, count, inWindow, events);
}

unsigned TSweep::Detect(const float* frames, int count, unsigned inWindow, unsigned events)
{
    Detection.Add(frames, count, inWindow);
    for (int input = 0; input < 2; ++input)
        if (events & TSweepTimeline::LaneEnds(input))
            Detection.EndWindow(input, (events & TSweepTimeline::DropoutInWindow) != 0);
    for (int input = 0; input < 2; ++input)
        if (events & TSweepTimeline::LaneBegins(input))
            Detection.BeginWindow(input);
    if (!(events & ISweepPacing::PointEnds))
        return events;
    const int reference = Synchronous ? State.Detection.ReferenceInput() : -1;
    switch (Detection.Finish(State.SweepIndex)) {
    case TSweepDetection::TVerdict::ReferenceSilent:
        Fail(QStringLiteral(
                 "Kanał odniesienia (%1) nie odbiera sygnału generatora: sprawdź połączenie wyjścia "
                 "karty z tym wejściem. Pomiar został zatrzymany; zmierzone punkty zostają.")
                 .arg(reference == 0 ? QStringLiteral("lewy") : QStringLiteral("prawy")));
        return 0;
    case TSweepDetection::TVerdict::Unsettled: // played again after a longer settling
        Paced.Rewind(State.SweepIndex);
        return events & ~(ISweepPacing::PointEnds | ISweepPacing::PointBegins);
    case TSweepDetection::TVerdict::Dropout:
        RetakeOrFail(QStringLiteral(
                         "Przy %1 Hz ton trzy razy na chwilę zanikł: serwer dźwięku gubi próbki albo badany "
                         "obiekt przerywa sygnał. Pomiar został zatrzymany; zmierzone punkty zostają.")
                         .arg(NumberFormat::Fixed(Paced.Frequency(State.SweepIndex), 0, 1)));
        return 0;
    case TSweepDetection::TVerdict::Taken:
        break;
    }
    for (std::size_t input = 0; input < 2; ++input) {
        const TPointDetail& detail = Detection.Point().Detail[input];
        Marks[input] = TPointDetail{};
        Marks[input].Overloaded = detail.Overloaded;
        Marks[input].Unsettled = detail.Unsettled;
    }
    if (NoPhase)
        Detection.DropPhases();
    PointTaken = true;
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
    Interrupted = State.SweepIndex > 0 ? ConditionsNow(active) : TConditions{};
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

TSweep::TConditions TSweep::ConditionsNow(int series) const
{
    TConditions now;
    now.Series = series;
    now.Mode = State.ChannelMode;
    now.Detection = State.Detection;
    now.FrameRate = Input.FrameRate();
    now.Amplitude = State.Amplitude;
    now.Compensation = State.Compensation;
    now.NoAveraging = State.NoAveraging;
    now.AveragingTime = State.AveragingTime;
    return now;
}

bool TSweep::TConditions::operator==(const TConditions& other) const
{
    const auto detection = [](const TDetectionSettings& d) {
        return std::tie(d.Method, d.Reference, d.HighestHarmonic, d.BandLow, d.BandHigh, d.ShortestPoint,
                        d.LongestPoint, d.LongestSettling);
    };
    return Series == other.Series && Mode == other.Mode &&
           detection(Detection) == detection(other.Detection) && FrameRate == other.FrameRate &&
           Amplitude == other.Amplitude && Compensation == other.Compensation &&
           NoAveraging == other.NoAveraging && AveragingTime == other.AveragingTime;
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
