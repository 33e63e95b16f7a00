// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TransferCommand.h"

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/StopSignals.h"
#include "cli/Terminal.h"
#include "common/NumberFormat.h"
#include "measure/ImpulseMeasurement.h"
#include "results/ResponseFile.h"

#include <QEventLoop>
#include <QTimer>
#include <bit>

const QString TransferHelp = QStringLiteral(
    "Użycie: tonvix-cli tf --seconds N --reference L|R --out PLIK [OPCJE]\n"
    "\n"
    "Funkcja przenoszenia między dwoma wejściami: kanał odniesienia (wyjście konsoli albo karty\n"
    "połączone wprost z wejściem) i kanał pomiarowy (mikrofon, badane urządzenie). Widma wzajemne\n"
    "i własne obu kanałów są uśredniane w ramkach FFT zachodzących na siebie w połowie; wynikiem jest\n"
    "H1 (poziom i faza) oraz koherencja. Pobudzeniem jest okresowy szum różowy programu (okres równy\n"
    "rozmiarowi FFT, więc wynik jest dokładny bez okna), szum biały albo nic - wtedy mierzy się muzykę,\n"
    "która właśnie gra. Opóźnienie między kanałami jest znajdowane na początku i odejmowane; trafia\n"
    "na standardowe wyjście w próbkach, milisekundach i metrach. Charakterystyka z całego pomiaru\n"
    "trafia do pliku .csv (częstotliwość, poziom w dB, faza w stopniach, koherencja 0-1) albo .frd.\n"
    "Ctrl+C (SIGINT) lub SIGTERM przerywa pomiar; zapisane zostaje to, co zmierzono.\n"
    "\n"
    "Opcje:\n"
    "  --seconds N             czas pomiaru w sekundach\n"
    "  --reference L|R         kanał odniesienia; drugi kanał jest pomiarowy\n"
    "  --out PLIK              plik charakterystyki: .csv lub .frd\n"
    "  --signal RODZAJ         pobudzenie: pink (szum różowy okresowy, domyślnie), white (szum\n"
    "                          biały) albo none (bez pobudzenia: muzyka z konsoli)\n"
    "  --level DB              poziom skuteczny pobudzenia w dBFS, od -60 (domyślnie -15)\n"
    "  --fft N                 rozmiar FFT, potęga 2 od 4096 do 131072 (domyślnie 65536)\n"
    "  --averages N            średnia z ostatnich N ramek, od 1 do 64 (domyślnie wszystkie ramki)\n"
    "  --smoothing N           wygładzanie 1/N oktawy (1 do 48; domyślnie brak)\n"
    "  --temperature C         temperatura powietrza dla opóźnienia w metrach (domyślnie 20)\n"
    "  --input NAZWA           urządzenie wejściowe (nazwy podaje: tonvix-cli devices)\n"
    "  --output NAZWA          urządzenie wyjściowe\n"
    "\n"
    "Częstotliwość próbkowania i bufory są takie, jak ustawiono w programie okienkowym.\n");

const QStringList TransferOptions = {"seconds",  "reference", "out",         "signal", "level", "fft",
                                     "averages", "smoothing", "temperature", "input",  "output"};

std::optional<TTransferCommand> ReadTransferCommand(const TGiven& given, QString& error)
{
    if (!NoPositional(given, error) || !Required(given, {"seconds", "reference", "out"}, error))
        return std::nullopt;
    TTransferCommand command;
    TTransferSettings& settings = command.Settings;
    const auto seconds = PositiveNumber(given, "seconds", error);
    const auto reference = seconds ? InputChannel(given, "reference", false, error) : std::nullopt;
    if (!reference)
        return std::nullopt;
    command.Seconds = *seconds;
    settings.Reference = *reference;
    settings.Averaging = TTransferEstimator::TAveraging::Infinite;
    command.Out = given.Value("out");
    if (given.Has("signal")) {
        const QString signal = given.Value("signal").toLower();
        const QStringList names{QStringLiteral("pink"), QStringLiteral("white"), QStringLiteral("none")};
        if (!names.contains(signal)) {
            error = QStringLiteral("wartość opcji --signal musi być jedną z pink, white, none, a jest „%1”")
                        .arg(given.Value("signal"));
            return std::nullopt;
        }
        settings.Signal = static_cast<TTransferSignal>(names.indexOf(signal));
    }
    if (given.Has("level")) {
        const auto level = AnyNumber(given, "level", error);
        if (!level)
            return std::nullopt;
        settings.LevelDb = *level;
    }
    if (given.Has("fft")) {
        const auto size = WholeNumber(given, "fft", int(TTransferSettings::SmallestFft),
                                      int(TTransferSettings::LargestFft), error);
        if (!size)
            return std::nullopt;
        if (!std::has_single_bit(unsigned(*size))) {
            error = QStringLiteral("wartość opcji --fft musi być potęgą 2 od %1 do %2, a jest „%3”")
                        .arg(TTransferSettings::SmallestFft)
                        .arg(TTransferSettings::LargestFft)
                        .arg(given.Value("fft"));
            return std::nullopt;
        }
        settings.FftSize = std::size_t(*size);
    }
    if (given.Has("averages")) {
        const auto averages = WholeNumber(given, "averages", 1, TTransferSettings::MostAverages, error);
        if (!averages)
            return std::nullopt;
        settings.Averaging = TTransferEstimator::TAveraging::Count;
        settings.Averages = *averages;
    }
    if (!ReadResponseOptions(given, command.Smoothing, command.Temperature, command.Input, command.Output,
                             error))
        return std::nullopt;
    return command;
}

int RunTransfer(const TTransferCommand& command)
{
    if (!ResponseFile::IsResponseFile(command.Out))
        return UsageError(
            QStringLiteral("funkcję przenoszenia zapisuje się w pliku .csv lub .frd, a nie „%1”")
                .arg(command.Out));
    const QString refused = command.Settings.Check();
    if (!refused.isEmpty())
        return UsageError(refused);
    QString failure;
    if (!CanWrite(command.Out, failure))
        return Failure(failure);

    TTransferMeasurement engine;
    if (!TakeProgramCard(engine.AudioIn(), engine.AudioOut(), command.Input, command.Output, failure))
        return Failure(failure);
    engine.SetSmoothing(command.Smoothing);

    TStopSignals stopSignals;
    int signalReceived = 0;
    QEventLoop loop;
    bool failed = false;
    QObject::connect(&stopSignals, &TStopSignals::Received, [&](int signal) {
        signalReceived = signal;
        loop.quit();
    });
    QObject::connect(&engine, &TTransferMeasurement::Failed, [&] {
        failed = true;
        loop.quit();
    });
    TProgress progress;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        // Paced by the frames recorded, not by the clock.
        if (engine.SecondsRecorded() >= command.Seconds)
            loop.quit();
        progress.Show(engine.SecondsRecorded() / command.Seconds,
                      QStringLiteral("pomiar funkcji przenoszenia"));
    });
    if (!engine.Start(command.Settings))
        return Failure(engine.Failure());
    ticks.start(50);
    loop.exec();
    ticks.stop();
    engine.Stop();
    progress.Finish();
    if (failed)
        return Failure(engine.Failure());
    if (!engine.Warning().isEmpty())
        PrintMessage(engine.Warning());
    if (!engine.HasResponse())
        return Failure(
            signalReceived != 0
                ? QStringLiteral("Pomiar przerwany sygnałem %1 przed pierwszą pełną ramką.")
                      .arg(TStopSignals::Name(signalReceived))
                : QStringLiteral("Pomiar trwał za krótko, by zmierzyć pierwszą pełną ramkę FFT (%1 próbek) "
                                 "po znalezieniu opóźnienia. Wydłuż pomiar (--seconds) lub zmniejsz rozmiar "
                                 "FFT (--fft).")
                      .arg(command.Settings.FftSize));

    const TTransferCurves& curves = engine.Curves();
    const ResponseFile::TPoints points{curves.Frequency, curves.MagnitudeDb, curves.PhaseDegrees,
                                       curves.Coherence};
    if (!ResponseFile::Write(
            command.Out, points,
            SignalText(command.Settings.Signal) +
                QStringLiteral(", FFT %1, ramek: %2").arg(command.Settings.FftSize).arg(engine.Averaged()),
            failure, QStringLiteral("funkcja przenoszenia z pomiaru dwukanałowego")))
        return Failure(failure);
    const std::optional<double> delay = engine.Delay();
    PrintResult(QStringLiteral("Opóźnienie: ") +
                (delay ? DelayText(*delay, engine.FrameRate(), command.Temperature)
                       : QStringLiteral("nie znaleziono")) +
                QLatin1Char('\n'));
    PrintMessage(
        QStringLiteral("Uśrednione ramki: %1. Zapisano: %2").arg(engine.Averaged()).arg(command.Out));
    if (signalReceived != 0)
        return Failure(
            QStringLiteral("Pomiar przerwany sygnałem %1.").arg(TStopSignals::Name(signalReceived)));
    return ExitSuccess;
}
