// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RtaCommand.h"

#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "cli/Terminal.h"
#include "common/NumberFormat.h"
#include "measure/RealTimeAnalyser.h"
#include "results/AnalyserExport.h"
#include "results/ExchangeFile.h"

#include <algorithm>
#include <cmath>

const QString RtaHelp = QStringLiteral(
    "Użycie: tonvix-cli rta --seconds N --out PLIK.csv [OPCJE]\n"
    "\n"
    "Analizator widma obok pomiaru ciśnienia akustycznego: poziomy w pasmach oktawowych lub\n"
    "ułamkowooktawowych (filtry klasy 1 według IEC 61260-1, środki pasm w systemie dziesiętnym)\n"
    "obu kanałów, Leq i Lmax każdego pasma z całego pomiaru, albo z opcją --fft widmo FFT\n"
    "uśrednione liniowo z całego pomiaru (okno flat-top, ramki dokładnie co pół rozmiaru). Wynik\n"
    "trafia do pliku .csv. Ctrl+C (SIGINT) lub SIGTERM kończy pomiar wcześniej; zapisane zostaje to,\n"
    "co zmierzono.\n"
    "\n"
    "Filtry korekcji i pasm pracują na sygnale od początku nagrania, a pomiar liczy się dopiero, gdy\n"
    "ich odpowiedź na początek sygnału wygaśnie o 100 dB (inaczej pasma odległe od tonu pokazywałyby\n"
    "ten stan nieustalony, a nie ton). Trwa to tyle, ile najwęższy filtr najniższego pasma (10 Hz)\n"
    "potrzebuje: około 1 s dla pasm 1/1 oktawy, 3,9 s dla 1/3, 6,7 s dla 1/6, 13,4 s dla 1/12 i 26 s\n"
    "dla 1/24 oktawy, a z opcją --fft poniżej 0,1 s. Gdy jest to dłuższe niż opóźnienie pomiaru\n"
    "z konfiguracji, nagranie trwa odpowiednio dłużej, a program mówi, jak długo czeka.\n"
    "\n"
    "Opcje:\n"
    "  --seconds N             czas pomiaru w sekundach, liczony po ustaleniu się pomiaru i filtrów\n"
    "  --out PLIK              plik wyników .csv\n"
    "  --bands 1|3|6|12|24     pasma 1/1, 1/3, 1/6, 1/12 albo 1/24 oktawy (domyślnie 3)\n"
    "  --fft N                 widmo FFT o rozmiarze N (potęga 2 od 1024 do 65536) zamiast pasm\n"
    "  --weighting A|C|Z       korekcja częstotliwościowa\n"
    "  --time F|S              stała czasowa pasm dla Lmax: F (0,125 s, domyślnie) albo S (1 s)\n"
    "  --input NAZWA           urządzenie wejściowe (nazwy podaje: tonvix-cli devices)\n"
    "\n"
    "Opcja, której nie podano, ma wartość ustawioną w programie okienkowym.\n");

namespace {

// Recorded beyond the counted stretch, which then holds the seconds asked for exactly: blocks arrive
// unevenly, and the recording's clock is not the card's.
constexpr double CountMargin = 0.3; // s

} // namespace

int RunRta(const TRtaCommand& command)
{
    if (ExchangeFile::FormatOf(command.Out) != ExchangeFile::TFormat::Csv)
        return UsageError(QStringLiteral("wyniki analizatora widma zapisuje się w pliku .csv, a nie „%1”")
                              .arg(command.Out));
    QString failure;
    if (!CanWrite(command.Out, failure))
        return Failure(failure);

    TMeasurementSession session;
    LoadProgramSettings(session);
    TMeasurementState& state = session.State();
    if (!ChooseDevice(session.AudioIn(), TWaveDirection::Input, command.Input, failure))
        return Failure(failure);
    session.ChooseChannels(TChannelMode::Both, false);
    if (command.Weighting)
        state.FrequencyWeighting = *command.Weighting;

    TSpectrumSettings settings;
    settings.BandsPerOctave = command.Fft ? 0 : command.BandsPerOctave;
    settings.FftSize = command.Fft.value_or(settings.FftSize);
    settings.Averaging = TFftAnalyser::TAveraging::Linear;
    settings.Weighting = state.FrequencyWeighting;
    settings.TimeConstant = command.Slow ? 1.0 : 0.125;
    const int rate = session.AudioIn().FrameRate();
    TRealTimeAnalyser analyser(rate, settings);
    // The filters run on every block from the input's first one on, through the recording's settling
    // wait; the analyser counts the seconds asked for once the recording counts and the filters have
    // settled, and the recording goes on for as long as that takes.
    const double settle = analyser.SettleSeconds();
    const auto settleFrames = static_cast<long long>(std::ceil(settle * rate));
    bool counting = false;
    session.AudioIn().OnBlockObserved = [&](const float* samples, int count) {
        if (!counting && session.StartButtonEnabled()) {
            counting = true;
            analyser.CountFrom(std::max(settleFrames, analyser.FramesAnalysed()),
                               std::llround(command.Seconds * rate));
        }
        analyser.AnalyseBlock(samples, count / 2);
    };
    const double wait = state.MeasurementDelay / 1000.0;
    // In tenths of a second, as the progress shows it.
    const double longer = std::ceil((std::max(0.0, settle - wait) + CountMargin) * 10) / 10;
    if (settle > wait)
        PrintMessage(QStringLiteral("Filtry pasm ustalają się przez %1 s, zanim pomiar zacznie się liczyć.")
                         .arg(NumberFormat::Fixed(settle, 0, 1)));

    int signalReceived = 0;
    // The levels of the recording are not what this command keeps: no journal of them.
    const TMeasurementSession::TEnd end =
        MeasureUntilStopped(session, signalReceived, [&](TProgress& progress) {
            return session.Record(command.Seconds + longer, progress, false);
        });
    session.AudioIn().OnBlockObserved = nullptr;
    if (end == TMeasurementSession::TEnd::Interrupted)
        PrintMessage(QStringLiteral("Pomiar zakończony sygnałem %1 po %2 s.")
                         .arg(TStopSignals::Name(signalReceived),
                              NumberFormat::Fixed(analyser.SecondsSinceReset(), 0, 1)));
    ReportOverloads(session);
    if (analyser.SecondsSinceReset() <= 0 || (command.Fft && analyser.SpectrumFrames() == 0)) {
        const QString nothing = QStringLiteral("Nie zmierzono nic, co można zapisać.");
        if (end == TMeasurementSession::TEnd::Interrupted)
            return Interrupted(signalReceived, nothing);
        return Failure(session.Failure().isEmpty() ? nothing : session.Failure());
    }

    const std::array<double, 2> calibration{state.TimeCalibrationL, state.TimeCalibrationR};
    const bool written =
        command.Fft ? AnalyserExport::WriteSpectrum(command.Out, analyser, calibration, false, failure)
                    : AnalyserExport::WriteBands(command.Out, analyser, calibration, failure);
    if (!written)
        return Failure(session.Failure() + failure);
    PrintMessage(QStringLiteral("Zapisano %1 z %2 s pomiaru w pliku %3.")
                     .arg(command.Fft ? QStringLiteral("widmo") : QStringLiteral("poziomy w pasmach"),
                          NumberFormat::Fixed(analyser.SecondsSinceReset(), 0, 1), command.Out));
    if (end == TMeasurementSession::TEnd::Failed)
        return Failure(session.Failure());
    return end == TMeasurementSession::TEnd::Interrupted ? ExitInterrupted(signalReceived) : ExitSuccess;
}
