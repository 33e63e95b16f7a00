// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RtaCommand.h"

#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "cli/Terminal.h"
#include "common/NumberFormat.h"
#include "measure/RealTimeAnalyser.h"
#include "results/AnalyserExport.h"
#include "results/ExchangeFile.h"

const QString RtaHelp = QStringLiteral(
    "Użycie: tonvix-cli rta --seconds N --out PLIK.csv [OPCJE]\n"
    "\n"
    "Analizator widma obok pomiaru ciśnienia akustycznego: poziomy w pasmach oktawowych lub\n"
    "ułamkowooktawowych (filtry klasy 1 według IEC 61260-1, środki pasm w systemie dziesiętnym)\n"
    "obu kanałów, Leq i Lmax każdego pasma z całego pomiaru, albo z opcją --fft widmo FFT\n"
    "uśrednione liniowo z całego pomiaru (okno flat-top, ramki co pół rozmiaru). Wynik trafia do\n"
    "pliku .csv. Ctrl+C (SIGINT) lub SIGTERM kończy pomiar wcześniej; zapisane zostaje to, co\n"
    "zmierzono.\n"
    "\n"
    "Opcje:\n"
    "  --seconds N             czas pomiaru w sekundach, liczony po ustaleniu się pomiaru\n"
    "  --out PLIK              plik wyników .csv\n"
    "  --bands 1|3|6|12|24     pasma 1/1, 1/3, 1/6, 1/12 albo 1/24 oktawy (domyślnie 3)\n"
    "  --fft N                 widmo FFT o rozmiarze N (potęga 2 od 1024 do 65536) zamiast pasm\n"
    "  --weighting A|C|Z       korekcja częstotliwościowa\n"
    "  --time F|S              stała czasowa pasm dla Lmax: F (0,125 s, domyślnie) albo S (1 s)\n"
    "  --input NAZWA           urządzenie wejściowe (nazwy podaje: tonvix-cli devices)\n"
    "\n"
    "Opcja, której nie podano, ma wartość ustawioną w programie okienkowym.\n");

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
    TRealTimeAnalyser analyser(session.AudioIn().FrameRate(), settings);
    // The recording's blocks from the end of its settling wait on; a spectrum frame every half size.
    const auto hop = static_cast<long long>(settings.FftSize / 2);
    long long sinceSpectrum = 0;
    session.AudioIn().OnBlockObserved = [&](const char* buffer, int size) {
        if (!session.StartButtonEnabled())
            return;
        analyser.AnalyseBlock(buffer, size / 4);
        sinceSpectrum += size / 4;
        if (command.Fft && sinceSpectrum >= hop && analyser.UpdateSpectrum())
            sinceSpectrum = 0;
    };

    int signalReceived = 0;
    // The levels of the recording are not what this command keeps: no journal of them.
    const TMeasurementSession::TEnd end =
        MeasureUntilStopped(session, signalReceived, [&](TProgress& progress) {
            return session.Record(command.Seconds, progress, false);
        });
    session.AudioIn().OnBlockObserved = nullptr;
    if (end == TMeasurementSession::TEnd::Interrupted)
        PrintMessage(QStringLiteral("Pomiar zakończony sygnałem %1 po %2 s.")
                         .arg(TStopSignals::Name(signalReceived),
                              NumberFormat::Fixed(analyser.SecondsSinceReset(), 0, 1)));
    ReportOverloads(session);
    if (analyser.SecondsSinceReset() <= 0 || (command.Fft && analyser.SpectrumFrames() == 0)) {
        const QString nothing = QStringLiteral("Nie zmierzono nic, co można zapisać.");
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
