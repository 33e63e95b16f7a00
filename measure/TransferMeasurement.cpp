// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/TransferMeasurement.h"

#include "analysis/DelayFinder.h"
#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"

#include <QStringList>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "blocks hold little-endian samples");

namespace {

constexpr int InputBlockFrames = 2048;
// A gap in the played signal reaches the inputs after the card's latency, which the engine does not
// know: frames start again this long after it.
constexpr double OutputGapSeconds = 0.5;

QString InChannel(int channel) // "w kanale lewym"
{
    return channel == 0 ? QStringLiteral("lewym") : QStringLiteral("prawym");
}

} // namespace

QString TTransferSettings::Check() const
{
    if (FftSize < SmallestFft || FftSize > LargestFft || !std::has_single_bit(FftSize))
        return QStringLiteral("Rozmiar FFT musi być potęgą dwójki od %1 do %2.")
            .arg(SmallestFft)
            .arg(LargestFft);
    if (Signal != TTransferSignal::None && !(LevelDb <= 0 && LevelDb >= LowestLevelDb))
        return QStringLiteral("Poziom sygnału musi wynosić od %1 do 0 dBFS.").arg(LowestLevelDb);
    if (Reference < 0 || Reference > 1)
        return QStringLiteral("Kanał odniesienia musi być lewy albo prawy.");
    if (Averages < 1 || Averages > MostAverages)
        return QStringLiteral("Liczba uśrednień musi wynosić od 1 do %1.").arg(MostAverages);
    return QString();
}

TTransferMeasurement::TTransferMeasurement(QObject* parent) : QObject(parent), Input(this), Output(this)
{
    Input.OnBufferFilled = [this](float* samples, int& count) { return BlockRecorded(samples, count); };
    Output.OnFillBuffer = [this](float* samples, int& count) { return FillOutput(samples, count); };
    Input.OnStop = [this](QObject*) { DeviceClosed(Input); };
    Output.OnStop = [this](QObject*) { DeviceClosed(Output); };
    Ticks.setInterval(UpdateInterval);
    connect(&Ticks, &QTimer::timeout, this, &TTransferMeasurement::Update);
}

TTransferMeasurement::~TTransferMeasurement()
{
    Streaming = false;
    Input.StopNow();
    Output.StopNow();
}

bool TTransferMeasurement::Start(const TTransferSettings& settings)
{
    if (Streaming) {
        Reason = QStringLiteral("Pomiar funkcji przenoszenia już trwa.");
        return false;
    }
    Reason = settings.Check();
    if (!Reason.isEmpty())
        return false;
    Output.StopNow(); // the fade-out of the previous measurement, if it still plays
    Rate = Input.FrameRate();
    Output.SetFrameRate(Rate); // one clock for both directions
    const std::size_t size = settings.FftSize;
    Generator = std::make_unique<TTransferGenerator>(settings.Signal, size, Rate, settings.LevelDb);
    if (settings.Signal != TTransferSignal::None && settings.LevelDb > Generator->HighestLevel()) {
        Reason = QStringLiteral("Przy poziomie %1 dBFS szczyty sygnału przekroczyłyby pełną skalę wyjścia. "
                                "Najwyższy poziom tego sygnału to %2 dBFS.")
                     .arg(NumberFormat::General(settings.LevelDb),
                          NumberFormat::Fixed(std::floor(Generator->HighestLevel() * 10) / 10, 0, 1));
        return false;
    }
    Chosen = settings;

    if (!Estimator || Estimator->Size() != size)
        Estimator = std::make_unique<TTransferEstimator>(size);
    Estimator->SetWindow(settings.Signal == TTransferSignal::Pink ? TTransferEstimator::TWindow::Rectangular
                                                                  : TTransferEstimator::TWindow::Hann);
    Estimator->SetAveraging(settings.Averaging, settings.Averages);
    Maker = std::make_unique<TTransferCurveMaker>(Estimator->Bins(), Rate);
    for (std::vector<double>* curve :
         {&Result.Frequency, &Result.MagnitudeDb, &Result.PhaseDegrees, &Result.Coherence}) {
        curve->clear();
        curve->reserve(Maker->Points());
    }
    ProbeFrames = std::size_t(std::lround(ProbeSeconds * Rate));
    Ahead = std::size_t(std::lround(LongestAdvance * Rate));
    Behind = std::size_t(std::lround(LongestDelay * Rate));
    Probe.assign(ProbeFrames, 0.0);
    Heard.assign(ProbeFrames + Ahead + Behind, 0.0);
    Finder = std::make_unique<TDelayFinder>(Probe, Ahead + Behind, true);
    const std::size_t kept =
        std::bit_ceil(std::max(ProbeFrames, size) + Ahead + Behind + std::size_t(2 * Rate));
    Mask = kept - 1;
    for (std::vector<double>& channel : History)
        channel.assign(kept, 0.0);
    for (std::vector<double>& frame : Frame)
        frame.assign(size, 0.0);
    Hop = size / 2;

    Input.SetStereo(true);
    Input.SetBufferSize(InputBlockFrames * Input.WaveFormat().BytesPerFrame);
    Output.SetStereo(false);
    Recorded = 0;
    Arrival = -1;
    Loudest = {};
    Searching = true;
    SearchFrom = -1;
    DelayMissed = false;
    DelayFrames.reset();
    Whole = 0;
    NextFrame = -1;
    Resume = 0;
    Gaps = 0;
    FirstResponse = 0;
    OutputStarted = false;
    Streaming = true;
    if (!Input.Start()) {
        Streaming = false;
        Reason = Input.LastError();
        return false;
    }
    XrunsIn = Input.Xruns();
    SinceStart.start();
    Ticks.start();
    Changed = true;
    return true;
}

void TTransferMeasurement::Stop()
{
    if (!Streaming)
        return;
    Update(); // the frames that have come in count
    Streaming = false;
    Ticks.stop();
    Input.StopNow();
    if (Output.DeviceOpen())
        Generator->FadeOut(); // the output closes once the fade has played
    emit Updated();
}

void TTransferMeasurement::End(const QString& failure)
{
    Streaming = false;
    Ticks.stop();
    Input.StopNow();
    Output.StopNow();
    Reason = failure;
    emit Failed();
}

void TTransferMeasurement::DeviceClosed(const TAudioIO& device)
{
    // Only a device that closes by itself while the measurement streams has failed.
    if (!Streaming || device.DeviceOpen() || (&device == &Output && !OutputStarted))
        return;
    const bool input = &device == &Input;
    const QString reason = device.LastError();
    QTimer::singleShot(0, this, [this, input, reason] {
        if (!Streaming)
            return;
        End(QStringLiteral("Urządzenie ") +
            (input ? QStringLiteral("wejściowe") : QStringLiteral("wyjściowe")) +
            QStringLiteral(" przestało działać") +
            (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')')) +
            QStringLiteral(". Pomiar funkcji przenoszenia został przerwany."));
    });
}

bool TTransferMeasurement::FillOutput(float* samples, int count)
{
    if (!Generator || Generator->Silent())
        return false; // the fade has played: the output closes once it is drained
    Generator->Fill(std::span(samples, std::size_t(std::max(count, 0))));
    return true;
}

bool TTransferMeasurement::BlockRecorded(const float* samples, int count)
{
    if (!Streaming)
        return true;
    if (!OutputStarted && Chosen.Signal != TTransferSignal::None) {
        OutputStarted = true;
        if (!Output.Start()) {
            End(OutputFailurePrefix + Output.LastError());
            return true;
        }
        XrunsOut = Output.Xruns();
    }
    const int reference = Chosen.Reference;
    const int frames = count / 2;
    for (int i = 0; i < frames; ++i, ++Recorded) {
        const float* sample = samples + 2 * i;
        const std::size_t at = std::size_t(Recorded) & Mask;
        for (int channel = 0; channel < 2; ++channel) {
            History[channel][at] = sample[channel];
            Loudest[channel] = std::max(Loudest[channel], std::abs(sample[channel]));
        }
        if (Arrival < 0 && std::abs(sample[reference]) > Silent)
            Arrival = Recorded;
    }
    // A gap in either stream spoils the frames across it: they start again once it has passed.
    const bool inputGap = Input.Xruns() != XrunsIn;
    const bool outputGap = OutputStarted && Output.Xruns() != XrunsOut;
    if (inputGap || outputGap) {
        XrunsIn = Input.Xruns();
        XrunsOut = Output.Xruns();
        ++Gaps;
        Resume = Recorded + std::max(Whole, 0LL) + std::llround(SettleSeconds * Rate) +
                 (outputGap ? std::llround(OutputGapSeconds * Rate) : 0);
        NextFrame = NextFrame < 0 ? NextFrame : std::max(NextFrame, Resume);
    }
    return true;
}

void TTransferMeasurement::Update()
{
    if (!Estimator)
        return;
    if (Streaming && Searching)
        Search();
    if (Streaming && NextFrame >= 0)
        Analyse();
    if (Changed)
        Draw();
}

void TTransferMeasurement::Copy(int channel, long long from, std::span<double> into) const
{
    const std::vector<double>& history = History[std::size_t(channel)];
    for (std::size_t i = 0; i < into.size(); ++i)
        into[i] = history[std::size_t(from + static_cast<long long>(i)) & Mask];
}

// The delay by a probe of the reference from SearchFrom on, looked for in the measured input from
// LongestAdvance before it to LongestDelay after it, in as much as has been heard.
void TTransferMeasurement::Search()
{
    if (Arrival < 0)
        return; // nothing heard in the reference yet
    const auto fade = std::llround(TTransferGenerator::FadeSeconds * Rate);
    const long long kept = static_cast<long long>(Mask) + 1;
    long long from = std::max({SearchFrom, Arrival + fade, static_cast<long long>(Ahead)});
    // What the history no longer holds cannot be searched: the newest probe it holds instead.
    from = std::max(from, Recorded - kept + static_cast<long long>(Ahead) + 1);
    if (Recorded < from + static_cast<long long>(ProbeFrames))
        return;
    const long long end = std::min(Recorded, from + static_cast<long long>(ProbeFrames + Behind));
    const std::span<double> heard(Heard.data(), std::size_t(end - (from - static_cast<long long>(Ahead))));
    Copy(Chosen.Reference, from, Probe);
    Copy(1 - Chosen.Reference, from - static_cast<long long>(Ahead), heard);
    Finder->SetProbe(Probe);
    const std::optional<TDelayFinder::TFound> found = Finder->Find(heard);
    if (!found) {
        if (end == from + static_cast<long long>(ProbeFrames + Behind)) {
            // Nothing stood out over the whole range: the next stretch of the reference is tried, and
            // meanwhile the frames go on without a delay, saying so.
            SearchFrom = from + static_cast<long long>(ProbeFrames);
            if (!DelayFrames && !DelayMissed) {
                DelayMissed = true;
                Restart(0);
            }
        }
        return;
    }
    Searching = false;
    DelayMissed = false;
    DelayFrames = found->Lag - double(Ahead);
    if (Chosen.Signal == TTransferSignal::Pink) {
        // The periodic noise correlates as well a whole period later: the earliest of its peaks.
        const auto period = double(Chosen.FftSize);
        *DelayFrames -= period * std::floor((*DelayFrames + double(Ahead)) / period);
    }
    Restart(std::llround(*DelayFrames));
}

// Frames with the reference `whole` frames later from the earliest one that the history still holds
// and that has settled, into averages that start again.
void TTransferMeasurement::Restart(long long whole)
{
    Whole = whole;
    const auto settle = std::llround(SettleSeconds * Rate);
    const long long size = static_cast<long long>(Estimator->Size());
    NextFrame =
        std::max({Arrival + std::max(Whole, 0LL) + settle, Recorded - size - std::max(0LL, -Whole), Resume});
    Estimator->Reset();
    Changed = true;
}

void TTransferMeasurement::Analyse()
{
    const long long size = static_cast<long long>(Estimator->Size()), kept = static_cast<long long>(Mask) + 1;
    const int reference = Chosen.Reference;
    for (;;) {
        const long long measured = NextFrame, delayed = NextFrame - Whole;
        if (std::max(measured, delayed) + size > Recorded)
            break;
        if (std::min(measured, delayed) <= Recorded - kept) {
            // The updates fell behind the input further than the history reaches: the newest frame.
            NextFrame = Recorded - size - std::max(0LL, -Whole);
            continue;
        }
        Copy(reference, delayed, Frame[0]);
        Copy(1 - reference, measured, Frame[1]);
        Estimator->Add(Frame[0], Frame[1]);
        NextFrame += static_cast<long long>(Hop);
        Changed = true;
        if (FirstResponse == 0)
            FirstResponse = double(SinceStart.nsecsElapsed()) / 1e9;
    }
}

void TTransferMeasurement::Draw()
{
    Changed = false;
    if (HasResponse()) {
        const double delay = DelayFrames.value_or(0.0);
        Maker->Compute(*Estimator, (delay - double(Whole)) / Rate, DelayKept ? delay / Rate : 0.0, Smoothing,
                       Result);
    }
    emit Updated();
}

void TTransferMeasurement::FindDelay()
{
    if (!Streaming)
        return;
    Searching = true;
    SearchFrom = Recorded - static_cast<long long>(ProbeFrames + Behind);
}

void TTransferMeasurement::SetAveraging(TTransferEstimator::TAveraging averaging, int frames)
{
    Chosen.Averaging = averaging;
    Chosen.Averages = std::clamp(frames, 1, TTransferSettings::MostAverages);
    if (Estimator) {
        Estimator->SetAveraging(averaging, Chosen.Averages);
        Changed = true;
        Draw();
    }
}

void TTransferMeasurement::Reset()
{
    if (Estimator) {
        Estimator->Reset();
        Changed = true;
        Draw();
    }
}

void TTransferMeasurement::SetLevel(double levelDb)
{
    Chosen.LevelDb = std::clamp(levelDb, TTransferSettings::LowestLevelDb, std::min(HighestLevel(), 0.0));
    if (Generator && Streaming)
        Generator->SetLevel(Chosen.LevelDb);
}

void TTransferMeasurement::SetSmoothing(int fraction)
{
    Smoothing = std::clamp(fraction, 0, TOctaveSmoothing::Finest);
    Changed = true;
    Draw();
}

void TTransferMeasurement::SetDelayKept(bool kept)
{
    DelayKept = kept;
    Changed = true;
    Draw();
}

QString TTransferMeasurement::Warning() const
{
    QStringList said;
    const int reference = Chosen.Reference;
    if (Streaming && Arrival < 0 && Recorded > Rate)
        said << QStringLiteral("W kanale odniesienia (%1) nie ma sygnału: sprawdź połączenia i poziomy.")
                    .arg(InChannel(reference));
    QStringList overloaded;
    const double fullScale = OverloadMagnitude(Input.SampleFormat() == TSampleFormat::Integer);
    for (const int channel : {0, 1})
        if (Loudest[std::size_t(channel)] * FullScaleUnits >= fullScale)
            overloaded << (channel == 0 ? QStringLiteral("lewy") : QStringLiteral("prawy"));
    if (!overloaded.isEmpty())
        said << QStringLiteral(
                    "Przesterowanie wejścia (kanał %1): zmniejsz poziom sygnału lub czułość wejścia.")
                    .arg(overloaded.join(QStringLiteral(", ")));
    if (DelayMissed)
        said << QStringLiteral("Nie znaleziono opóźnienia między kanałami, więc nie zostało odjęte; "
                               "szukanie trwa.");
    if (Gaps > 0)
        said << QStringLiteral("Przerwy w strumieniu dźwięku: %1 (ramki z przerwą pominięto).").arg(Gaps);
    if (Input.DeviceMissing() || Output.DeviceMissing())
        said << QStringLiteral("Wybrane urządzenie było niedostępne; użyto urządzenia domyślnego.");
    return said.join(QLatin1Char(' '));
}
