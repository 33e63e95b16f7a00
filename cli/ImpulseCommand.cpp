// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ImpulseCommand.h"

#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "cli/Terminal.h"
#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"
#include "measure/RoomAnalysis.h"
#include "results/ExchangeFile.h"
#include "results/ResponseFile.h"
#include "results/RoomAcousticsFile.h"
#include "results/WaveFile.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cmath>

const QString ImpulseHelp = QStringLiteral(
    "Użycie: tonvix-cli ir --start HZ --stop HZ --out PLIK.wav [OPCJE]\n"
    "\n"
    "Odpowiedź impulsowa ze zsynchronizowanego sweepu wykładniczego: sweep z wyjścia karty przechodzi\n"
    "przez badane urządzenie na wejście, a splot odwrotny daje odpowiedź impulsową z oddzielonymi\n"
    "harmonicznymi. Odpowiedź trafia do pliku WAV (32-bitowe liczby zmiennoprzecinkowe), a na\n"
    "standardowe wyjście opóźnienie w próbkach, milisekundach i metrach. Z kanałem odniesienia\n"
    "(wejście połączone wprost z wyjściem karty) wynik jest ilorazem kanału pomiarowego i odniesienia,\n"
    "więc odpowiedź karty i jej opóźnienie się znoszą. Ctrl+C (SIGINT) lub SIGTERM przerywa pomiar;\n"
    "odpowiedź powstaje tylko z całego pomiaru, więc przerwany nie zapisuje niczego.\n"
    "\n"
    "Plik WAV zawiera samą odpowiedź urządzenia, płaską w paśmie sweepu (poza pasmem łagodnie\n"
    "wygaszoną). Zaczyna się 10 ms przed chwilą 0, aby zachować to, co ją poprzedza (np. symetryczne\n"
    "dzwonienie filtru mierzonego względem kanału odniesienia); chwila 0 to próbka 480 przy 48000 Hz\n"
    "(10 ms razy częstotliwość próbkowania), zaznaczona w pliku punktem cue i komentarzem (INFO ICMT).\n"
    "Opóźnienie urządzenia to odległość szczytu od chwili 0. Program czyta ten znacznik przy\n"
    "otwieraniu pliku; w pliku bez znacznika chwilą 0 jest pierwsza próbka.\n"
    "\n"
    "Po każdym sweepie nagrywana jest cisza (--tail), w której odpowiedź wygasa: odpowiedź zawiera\n"
    "wszystkie częstotliwości sweepu do tego czasu po chwili 0 (bez kanału odniesienia czas ten\n"
    "obejmuje też opóźnienie karty). Pogłos pomieszczenia wymaga czasu dłuższego niż jego zanik.\n"
    "\n"
    "Opcje:\n"
    "  --start HZ              częstotliwość początkowa sweepu\n"
    "  --stop HZ               częstotliwość końcowa (co najmniej dwa razy większa)\n"
    "  --out PLIK              plik odpowiedzi impulsowej: .wav\n"
    "  --length N              długość sweepu w próbkach: 65536, 131072, 262144, 524288 lub 1048576\n"
    "                          (domyślnie 131072)\n"
    "  --level DB              poziom szczytowy sweepu w dBFS, od -60 do 0 (domyślnie -6)\n"
    "  --repeats N             liczba uśrednianych sweepów, od 1 do 16 (domyślnie 1)\n"
    "  --tail S                czas rejestracji po sweepie w sekundach, od 0,1 do 10 (domyślnie 1)\n"
    "  --reference L|R|none    kanał odniesienia (domyślnie none: bez odniesienia)\n"
    "  --channel L|R           kanał pomiarowy (domyślnie ten, który nie jest odniesieniem)\n"
    "  --response PLIK         charakterystyka (poziom i faza) do pliku .csv lub .frd\n"
    "  --smoothing N           wygładzanie charakterystyki 1/N oktawy (1 do 48; domyślnie brak):\n"
    "                          poziom uśredniany jako moc, faza po odjęciu opóźnienia urządzenia\n"
    "  --room PLIK.csv         akustyka pomieszczenia z odpowiedzi do pliku .csv, jak zapisuje ją\n"
    "                          tonvix-cli room\n"
    "  --bands 1|3             pasma tabeli --room: oktawowe (1, domyślnie) albo tercjowe (3)\n"
    "  --temperature C         temperatura powietrza dla opóźnienia w metrach (domyślnie 20)\n"
    "  --input NAZWA           urządzenie wejściowe (nazwy podaje: tonvix-cli devices)\n"
    "  --output NAZWA          urządzenie wyjściowe\n"
    "\n"
    "Częstotliwość próbkowania i bufory są takie, jak ustawiono w programie okienkowym.\n");

const QStringList ImpulseOptions = {"start", "stop",      "out",     "length",   "level",     "repeats",
                                    "tail",  "reference", "channel", "response", "smoothing", "temperature",
                                    "input", "output",    "room",    "bands"};

std::optional<TImpulseCommand> ReadImpulseCommand(const TGiven& given, QString& error)
{
    if (!NoPositional(given, error) || !Required(given, {"start", "stop", "out"}, error))
        return std::nullopt;
    TImpulseCommand command;
    TImpulseSettings& settings = command.Settings;
    const auto start = PositiveNumber(given, "start", error);
    const auto stop = start ? PositiveNumber(given, "stop", error) : std::nullopt;
    if (!stop)
        return std::nullopt;
    settings.StartHz = *start;
    settings.StopHz = *stop;
    command.Out = given.Value("out");
    if (given.Has("length")) {
        const auto length = WholeNumber(given, "length", 1 << TImpulseSettings::ShortestExponent,
                                        1 << TImpulseSettings::LongestExponent, error);
        if (!length)
            return std::nullopt;
        if ((*length & (*length - 1)) != 0) {
            error =
                QStringLiteral("długość sweepu (--length) musi być potęgą dwójki, a jest %1").arg(*length);
            return std::nullopt;
        }
        settings.LengthExponent = static_cast<int>(std::lround(std::log2(*length)));
    }
    if (given.Has("level")) {
        const auto level = AnyNumber(given, "level", error);
        if (!level)
            return std::nullopt;
        settings.LevelDb = *level;
    }
    if (given.Has("repeats")) {
        const auto repeats = WholeNumber(given, "repeats", 1, TImpulseSettings::MostRepeats, error);
        if (!repeats)
            return std::nullopt;
        settings.Repeats = *repeats;
    }
    if (given.Has("tail")) {
        const auto tail = AnyNumber(given, "tail", error);
        if (!tail)
            return std::nullopt;
        settings.TailSeconds = *tail;
    }
    int reference = -1;
    if (given.Has("reference")) {
        const auto chosen = InputChannel(given, "reference", true, error);
        if (!chosen)
            return std::nullopt;
        reference = *chosen;
    }
    settings.Reference = static_cast<TReferenceChannel>(reference + 1);
    settings.Channel = reference == 0 ? 1 : 0;
    if (given.Has("channel")) {
        const auto chosen = InputChannel(given, "channel", false, error);
        if (!chosen)
            return std::nullopt;
        settings.Channel = *chosen;
    }
    if (given.Has("response"))
        command.Response = given.Value("response");
    if (!ReadResponseOptions(given, command.Smoothing, command.Temperature, command.Input, command.Output,
                             error))
        return std::nullopt;
    if (given.Has("room"))
        command.Room = given.Value("room");
    if (given.Has("bands") && !command.Room) {
        error = QStringLiteral("opcja --bands wybiera pasma tabeli --room");
        return std::nullopt;
    }
    const auto bands = ReadRoomBands(given, error);
    if (!bands)
        return std::nullopt;
    command.RoomBands = *bands;
    return command;
}

int RunImpulse(const TImpulseCommand& command)
{
    if (QFileInfo(command.Out).suffix().compare(QLatin1String("wav"), Qt::CaseInsensitive) != 0)
        return UsageError(
            QStringLiteral("odpowiedź impulsową zapisuje się w pliku .wav, a nie „%1”").arg(command.Out));
    if (command.Response && !ResponseFile::IsResponseFile(*command.Response))
        return UsageError(QStringLiteral("charakterystykę zapisuje się w pliku .csv lub .frd, a nie „%1”")
                              .arg(*command.Response));
    if (command.Room && ExchangeFile::FormatOf(*command.Room) != ExchangeFile::TFormat::Csv)
        return UsageError(
            QStringLiteral("tabelę akustyki pomieszczenia zapisuje się w pliku .csv, a nie „%1”")
                .arg(*command.Room));
    QString failure;
    if (!CanWrite(command.Out, failure) || (command.Response && !CanWrite(*command.Response, failure)) ||
        (command.Room && !CanWrite(*command.Room, failure)))
        return Failure(failure);

    TImpulseMeasurement engine;
    if (!TakeProgramCard(engine.AudioIn(), engine.AudioOut(), command.Input, command.Output, failure))
        return Failure(failure);
    const QString refused = command.Settings.Check(engine.AudioIn().FrameRate());
    if (!refused.isEmpty())
        return UsageError(refused);

    TStopSignals stopSignals;
    int signalReceived = 0;
    QEventLoop loop;
    bool measured = false;
    QObject::connect(&stopSignals, &TStopSignals::Received, [&](int signal) {
        signalReceived = signal;
        engine.Stop();
    });
    QObject::connect(&engine, &TImpulseMeasurement::Finished, [&](bool ok) {
        measured = ok;
        loop.quit();
    });
    TProgress progress;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        progress.Show(engine.Progress(), QStringLiteral("pomiar odpowiedzi impulsowej"));
    });
    if (!engine.Start(command.Settings))
        return Failure(engine.Failure());
    ticks.start(100);
    loop.exec();
    ticks.stop();
    progress.Finish();
    if (!measured && signalReceived != 0 && engine.Failure().isEmpty())
        return Interrupted(signalReceived,
                           QStringLiteral("Pomiar przerwany sygnałem %1; odpowiedź impulsowa powstaje tylko "
                                          "z całego pomiaru.")
                               .arg(TStopSignals::Name(signalReceived)));
    if (!measured)
        return Failure(engine.Failure());
    if (!engine.Warning().isEmpty())
        PrintMessage(engine.Warning());

    const TImpulseResponse& response = engine.Result();
    QStringList written;
    if (!WaveFile::Write(command.Out, response.ForFile(), static_cast<int>(response.FrameRate),
                         response.FileTimeZero(), failure))
        return Failure(failure);
    written << command.Out;
    if (command.Response) {
        TImpulseAnalysis analysis(response);
        TResponseCurves curves;
        analysis.Compute({response.WholeGate(), command.Smoothing, false}, curves);
        const ResponseFile::TPoints points{curves.Frequency, curves.MagnitudeDb,
                                           curves.PhaseOf(TPhaseKind::Wrapped)};
        if (!ResponseFile::Write(*command.Response, points,
                                 QStringLiteral("Odpowiedź impulsowa: ") + command.Out, failure))
            return Failure(failure);
        written << *command.Response;
    }
    if (command.Room) {
        if (!RoomAcousticsFile::Write(*command.Room, AnalyseRoom(response, {command.RoomBands, std::nullopt}),
                                      QFileInfo(command.Out).fileName(), failure))
            return Failure(failure);
        written << *command.Room;
    }
    PrintResult(QStringLiteral("Opóźnienie: ") +
                DelayText(response.DelayFrames(), response.FrameRate, command.Temperature) +
                (command.Settings.Reference == TReferenceChannel::None
                     ? QStringLiteral(", z opóźnieniem karty dźwiękowej (pomiar bez kanału odniesienia)")
                     : QString()) +
                QLatin1Char('\n'));
    PrintMessage(QStringLiteral("Zapisano: ") + written.join(QStringLiteral(", ")));
    return ExitSuccess;
}
