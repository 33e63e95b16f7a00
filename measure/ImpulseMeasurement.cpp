// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ImpulseMeasurement.h"

#include "analysis/LogSweep.h"
#include "analysis/SweepDeconvolution.h"
#include "common/NumberFormat.h"

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double LeadSeconds = 0.01; // silence before the first sweep
// The input's blocks are the measurement's own: short, so that the output starts (with the first of
// them) soon after the input, and the sweep arrives soon after its place.
constexpr int InputBlockFrames = 1024;
constexpr float Silent = 1e-4f; // no sample louder than this: no signal (-80 dBFS)

QString ChannelName(int channel) // "kanał lewy"
{
    return channel == 0 ? QStringLiteral("lewy") : QStringLiteral("prawy");
}

QString InChannel(int channel) // "w kanale lewym"
{
    return channel == 0 ? QStringLiteral("lewym") : QStringLiteral("prawym");
}

qint64 Now()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.nsecsElapsed();
}

} // namespace

QString DelayText(double frames, double frameRate, double celsius)
{
    const double seconds = frames / frameRate, speed = SpeedOfSound(celsius);
    return NumberFormat::Fixed(frames, 0, 2) + QStringLiteral(" próbki = ") +
           NumberFormat::Fixed(seconds * 1000, 0, 3) + QStringLiteral(" ms = ") +
           NumberFormat::Fixed(seconds * speed, 0, 3) + QStringLiteral(" m (") +
           NumberFormat::Fixed(speed, 0, 1) + QStringLiteral(" m/s w ") + NumberFormat::General(celsius) +
           QStringLiteral(" °C)");
}

TTakeLayout TakeLayout(const TLogSweep& sweep, double tailSeconds)
{
    const double rate = sweep.FrameRate();
    const std::size_t length = sweep.Length();
    TTakeLayout layout;
    layout.Lead = static_cast<std::size_t>(std::lround(LeadSeconds * rate));
    // The sweep arrives after the first input block at the earliest.
    layout.Tail = InputBlockFrames + static_cast<std::size_t>(std::lround(tailSeconds * rate));
    layout.Period = length + layout.Tail;
    layout.Block = TRealFft::NiceSize(
        layout.Period + std::max(length, static_cast<std::size_t>(std::ceil(sweep.HarmonicAdvance(6)))));
    return layout;
}

QString TImpulseSettings::Check(int frameRate) const
{
    if (!(StartHz >= 1))
        return QStringLiteral("Częstotliwość początkowa musi wynosić co najmniej 1 Hz.");
    if (!(StopHz <= 0.5 * frameRate))
        return QStringLiteral("Częstotliwość końcowa nie może przekraczać połowy częstotliwości próbkowania "
                              "(%1 Hz).")
            .arg(NumberFormat::General(0.5 * frameRate));
    if (!(StopHz >= 2 * StartHz))
        return QStringLiteral("Częstotliwość końcowa musi być co najmniej dwa razy większa od początkowej.");
    if (LengthExponent < ShortestExponent || LengthExponent > LongestExponent)
        return QStringLiteral("Długość sweepu musi wynosić od 2^%1 do 2^%2 próbek.")
            .arg(ShortestExponent)
            .arg(LongestExponent);
    if (!(LevelDb <= 0 && LevelDb >= LowestLevelDb))
        return QStringLiteral("Poziom sweepu musi wynosić od %1 do 0 dBFS.").arg(LowestLevelDb);
    if (!(TailSeconds >= ShortestTail && TailSeconds <= LongestTail))
        return QStringLiteral("Czas rejestracji po sweepie musi wynosić od %1 do %2 s.")
            .arg(NumberFormat::General(ShortestTail), NumberFormat::General(LongestTail));
    if (Repeats < 1 || Repeats > MostRepeats)
        return QStringLiteral("Liczba powtórzeń musi wynosić od 1 do %1.").arg(MostRepeats);
    if (static_cast<int>(Reference) == Channel + 1)
        return QStringLiteral("Kanał odniesienia musi być inny niż kanał pomiarowy.");
    return QString();
}

TImpulseMeasurement::TImpulseMeasurement(QObject* parent) : QObject(parent), Input(this), Output(this)
{
    Input.OnBufferFilled = [this](float* samples, int& count) { return BlockRecorded(samples, count); };
    Output.OnFillBuffer = [this](float* samples, int& count) { return FillOutput(samples, count); };
    Input.OnStop = [this](QObject*) { DeviceClosed(Input); };
    Output.OnStop = [this](QObject*) { DeviceClosed(Output); };
}

TImpulseMeasurement::~TImpulseMeasurement()
{
    Streaming = false;
    Input.StopNow();
    Output.StopNow();
}

bool TImpulseMeasurement::Start(const TImpulseSettings& settings)
{
    if (Taking) {
        Reason = QStringLiteral("Pomiar odpowiedzi impulsowej już trwa.");
        return false;
    }
    const int rate = Input.FrameRate();
    Reason = settings.Check(rate);
    if (!Reason.isEmpty())
        return false;
    Output.SetFrameRate(rate); // one clock for both directions
    Settings = settings;
    const TLogSweepRequest asked{settings.StartHz, settings.StopHz, 1 << settings.LengthExponent,
                                 static_cast<double>(rate), settings.LevelDb};
    if (!Sweep || !(Sweep->Request() == asked) || PlayedFormat != Output.SampleFormat()) {
        Sweep = std::make_unique<TLogSweep>(asked);
        PlayedFormat = Output.SampleFormat();
        // The excitation is what the card plays: a 16-bit stream's own samples, exactly.
        const bool integer = PlayedFormat == TSampleFormat::Integer;
        Played.resize(Sweep->Length());
        for (std::size_t n = 0; n < Played.size(); ++n) {
            const double x = std::clamp(Sweep->Samples()[n], -1.0, 1.0);
            Played[n] = static_cast<float>(integer ? std::lrint(x * 32767) / 32767.0 : x);
        }
        Deconvolution.reset();
    }
    Input.SetStereo(true);
    Output.SetStereo(false);
    Input.SetBufferSize(InputBlockFrames * Input.WaveFormat().BytesPerFrame);
    const TTakeLayout layout = TakeLayout(*Sweep, settings.TailSeconds);
    if (Deconvolution && layout.Block != Layout.Block)
        Deconvolution.reset();
    Layout = layout;
    if (!Deconvolution) {
        // Its transforms are planned once for the sweep, and its inverse taken once.
        Deconvolution =
            std::make_unique<TSweepDeconvolution>(Layout.Block, rate, Sweep->StartHz(), Sweep->StopHz());
        Deconvolution->SetExcitation(std::vector<double>(Played.begin(), Played.end()));
    }
    Needed = Layout.Lead + static_cast<std::size_t>(settings.Repeats) * Layout.Period;
    Retakes = 0;
    StartedNs = Now();
    return BeginTake();
}

bool TImpulseMeasurement::BeginTake()
{
    for (std::vector<float>& channel : Recorded)
        channel.assign(Needed, 0);
    Written = Taken = 0;
    OutputStarted = false;
    Note.clear();
    ++TakeNumber;
    Taking = Streaming = true;
    if (!Input.Start()) {
        Taking = Streaming = false;
        Reason = Input.LastError();
        return false;
    }
    XrunsIn = Input.Xruns();
    return true;
}

void TImpulseMeasurement::Stop()
{
    if (Taking)
        End(QString());
}

double TImpulseMeasurement::Progress() const
{
    return Needed > 0 ? static_cast<double>(Taken) / static_cast<double>(Needed) : 0.0;
}

bool TImpulseMeasurement::FillOutput(float* samples, int count)
{
    const std::size_t length = Played.size();
    for (int i = 0; i < count; ++i, ++Written) {
        float sample = 0;
        if (Written >= Layout.Lead) {
            const std::size_t since = Written - Layout.Lead, repeat = since / Layout.Period,
                              at = since % Layout.Period;
            if (repeat < static_cast<std::size_t>(Settings.Repeats) && at < length)
                sample = Played[at];
        }
        samples[i] = sample;
    }
    return true;
}

bool TImpulseMeasurement::BlockRecorded(const float* samples, int count)
{
    if (!Streaming)
        return true;
    // The output starts with the first recorded block, which is kept too: every frame the output plays
    // is recorded after the frames of that block, so the sweep never arrives before its place.
    if (!OutputStarted) {
        StartOutput();
        if (!Streaming)
            return true;
    }
    const std::size_t frames = std::min(static_cast<std::size_t>(count / 2), Needed - Taken);
    for (std::size_t i = 0; i < frames; ++i, ++Taken) {
        Recorded[0][Taken] = samples[2 * i];
        Recorded[1][Taken] = samples[2 * i + 1];
    }
    if (Taken < Needed)
        return true;
    Streaming = false;
    const bool lost = Input.Xruns() != XrunsIn || Output.Xruns() != XrunsOut;
    Input.StopNow();
    Output.StopNow();
    const unsigned take = TakeNumber;
    if (lost && Retakes < MostRetakes) { // a moment lost by a busy machine: the take again
        ++Retakes;
        QTimer::singleShot(0, this, [this, take] {
            if (Taking && TakeNumber == take && !BeginTake())
                End(Reason);
        });
        return true;
    }
    if (lost) {
        End(QStringLiteral("Pomiar nieudany: karta dźwiękowa zgubiła część próbek (przerwa w odtwarzaniu "
                           "lub nagrywaniu), więc odpowiedź byłaby błędna. Zamknij programy obciążające "
                           "komputer lub zwiększ bufory w konfiguracji i powtórz pomiar."));
        return true;
    }
    QTimer::singleShot(0, this, [this, take] {
        if (Taking && TakeNumber == take)
            Analyse();
    });
    return true;
}

void TImpulseMeasurement::StartOutput()
{
    OutputStarted = true;
    if (!Output.Start()) {
        End(OutputFailurePrefix + Output.LastError());
        return;
    }
    XrunsOut = Output.Xruns();
}

void TImpulseMeasurement::DeviceClosed(const TAudioIO& device)
{
    // Only a device that closes by itself while the take streams has failed (the output of a take taken
    // again is closed until it starts).
    if (!Streaming || device.DeviceOpen() || (&device == &Output && !OutputStarted))
        return;
    const unsigned take = TakeNumber;
    const bool input = &device == &Input;
    QString reason = device.LastError();
    QTimer::singleShot(0, this, [this, take, input, reason] {
        if (!Taking || TakeNumber != take)
            return;
        End(QStringLiteral("Urządzenie ") +
            (input ? QStringLiteral("wejściowe") : QStringLiteral("wyjściowe")) +
            QStringLiteral(" przestało działać") +
            (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')')) +
            QStringLiteral(". Pomiar odpowiedzi impulsowej został przerwany."));
    });
}

void TImpulseMeasurement::End(const QString& failure)
{
    Streaming = false;
    Input.StopNow();
    Output.StopNow();
    Reason = failure;
    Seconds = static_cast<double>(Now() - StartedNs) / 1e9;
    Taking = false;
    emit Finished(false);
}

std::vector<double> TImpulseMeasurement::Averaged(int channel) const
{
    // A period from the excitation's time 0, the rest of the block silent: what leads time 0 (the
    // harmonics) goes to the block's end, clear of the period.
    std::vector<double> block(Layout.Block, 0.0);
    const std::vector<float>& recorded = Recorded[channel];
    for (int repeat = 0; repeat < Settings.Repeats; ++repeat) {
        const std::size_t from = Layout.Lead + static_cast<std::size_t>(repeat) * Layout.Period;
        for (std::size_t i = 0; i < Layout.Period && from + i < Taken; ++i)
            block[i] += recorded[from + i];
    }
    // The card's offset is no part of the response: the division, exact down to 0 Hz, would keep it.
    double mean = 0;
    for (std::size_t i = 0; i < Layout.Period; ++i)
        mean += block[i];
    mean /= static_cast<double>(Layout.Period);
    const double scale = 1.0 / Settings.Repeats;
    for (std::size_t i = 0; i < Layout.Period; ++i)
        block[i] = (block[i] - mean) * scale;
    return block;
}

// A channel whose sweep had not ended when the take did: the tail was too short for the latency.
bool TImpulseMeasurement::CutShort(int channel) const
{
    const std::vector<float>& recorded = Recorded[channel];
    const auto rms = [&](std::size_t from, std::size_t count) {
        double sum = 0;
        for (std::size_t i = from; i < from + count; ++i)
            sum += double(recorded[i]) * recorded[i];
        return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(count, 1)));
    };
    const std::size_t end = Taken, window = std::min<std::size_t>(Layout.Tail / 8, end);
    const std::size_t sweepStart =
        Layout.Lead + static_cast<std::size_t>(Settings.Repeats - 1) * Layout.Period;
    const std::size_t middle = sweepStart + Played.size() / 2;
    return middle + window < end && rms(end - window, window) > 0.5 * rms(middle, window);
}

void TImpulseMeasurement::Analyse()
{
    const int measured = Settings.Channel;
    const int reference = static_cast<int>(Settings.Reference) - 1; // -1: none
    QStringList overloaded;
    for (const int channel : {measured, reference}) {
        if (channel < 0)
            continue;
        const auto [low, high] =
            std::minmax_element(Recorded[channel].begin(), Recorded[channel].begin() + Taken);
        const float largest = std::max(-*low, *high);
        if (largest <= Silent)
            return End(QStringLiteral("W kanale %1 nie ma sygnału sweepu. Sprawdź połączenia, wybór urządzeń "
                                      "i poziomy w mikserze.")
                           .arg(InChannel(channel)));
        if (largest >= 1.0f) // full scale: |x| >= 1, the 16-bit +-32767 among them
            overloaded << ChannelName(channel);
        if (CutShort(channel))
            return End(
                QStringLiteral("Opóźnienie (karty dźwiękowej lub badanego urządzenia) jest dłuższe niż "
                               "czas rejestracji po sweepie, więc koniec sweepu nie został nagrany. "
                               "Wydłuż czas rejestracji po sweepie albo zmniejsz bufory w "
                               "konfiguracji."));
    }
    if (!overloaded.isEmpty())
        Note = QStringLiteral("Uwaga: przesterowanie wejścia (kanał %1); zmniejsz poziom sweepu lub czułość "
                              "wejścia.")
                   .arg(overloaded.join(QStringLiteral(", ")));
    if (Input.DeviceMissing() || Output.DeviceMissing())
        Note += (Note.isEmpty() ? QString() : QStringLiteral(" ")) +
                QStringLiteral("Wybrane urządzenie było niedostępne; użyto urządzenia domyślnego.");

    std::vector<double> circular(Layout.Block);
    const std::vector<double> response = Averaged(measured);
    if (reference >= 0)
        Deconvolution->DeconvolveByReference(response, Averaged(reference), circular);
    else
        Deconvolution->Deconvolve(response, circular);
    Response = CutImpulseResponse(circular, *Sweep, Layout.Tail);
    Reason.clear();
    Seconds = static_cast<double>(Now() - StartedNs) / 1e9;
    Taking = false;
    emit Finished(true);
}
