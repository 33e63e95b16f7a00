// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Options.h"

#include "measure/MeasurementState.h"

#include "cli/ImpulseCommand.h"
#include "common/NumberFormat.h"
#include "measure/RecordingControl.h"

#include <QMap>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int LongestInterval = 3'600'000; // ms: an hour between two readings
constexpr int MostPoints = 1'000'000;

const QString ProgramHelp = QStringLiteral(
    "Użycie: tonvix-cli POLECENIE [OPCJE]\n"
    "\n"
    "Pomiary programu Tonvix bez okna i wymiana wyników z innymi programami. Ustawienia\n"
    "(częstotliwość próbkowania, bloki, kalibracja kanałów, opóźnienie pomiaru, pliki kalibracji\n"
    "mikrofonów) są wspólne z programem okienkowym; opcje polecenia zmieniają je tylko na czas\n"
    "tego pomiaru i nie są zapamiętywane.\n"
    "\n"
    "Polecenia:\n"
    "  devices   urządzenia wejściowe i wyjściowe z ich stałymi nazwami\n"
    "  record    pomiar ciśnienia akustycznego z akwizycją, zapisany jako .lev lub .csv\n"
    "  sweep     pomiar charakterystyki częstotliwościowej, zapisany jako .lev, .csv lub .frd\n"
    "  convert   przekształcenie pliku wyników między formatami .lev, .csv i .frd\n"
    "  ir        odpowiedź impulsowa ze sweepu, zapisana jako .wav (i charakterystyka jako .csv lub .frd)\n"
    "  rta       analizator widma: poziomy w pasmach oktawowych albo widmo FFT, zapisane jako .csv\n"
    "  room      akustyka pomieszczenia z odpowiedzi impulsowej w pliku .wav: czasy pogłosu,\n"
    "            przejrzystość, wyrazistość i STI\n"
    "  tf        funkcja przenoszenia między kanałem odniesienia a pomiarowym, zapisana jako .csv lub .frd\n"
    "\n"
    "  tonvix-cli POLECENIE --help   opis polecenia i jego opcji\n"
    "  tonvix-cli --version          wersja programu\n"
    "\n"
    "Postęp pomiaru jest pokazywany na standardowym wyjściu błędów: jako pasek na terminalu,\n"
    "a jako zwykłe wiersze, gdy wyjście nie jest terminalem.\n"
    "\n"
    "Kod wyjścia, jednakowy dla wszystkich poleceń: 0 - powodzenie; 1 - błąd urządzenia lub pliku,\n"
    "także wyników na standardowym wyjściu (przyczyna na standardowym wyjściu błędów); 2 - błąd\n"
    "w wywołaniu; 130 lub 143 (128 + numer sygnału) - pomiar zakończony wcześniej sygnałem SIGINT\n"
    "(Ctrl+C) lub SIGTERM, po zapisaniu tego, co zmierzono do tej chwili.\n");

const QString DevicesHelp = QStringLiteral(
    "Użycie: tonvix-cli devices [--json]\n"
    "\n"
    "Wypisuje urządzenia wejściowe i wyjściowe: stałą nazwę urządzenia (dla opcji --input\n"
    "i --output) i jego opis. Gwiazdka oznacza urządzenie domyślne.\n"
    "\n"
    "Opcje:\n"
    "  --json                  lista jako obiekt JSON: tablice \"input\" i \"output\" z polami\n"
    "                          \"name\", \"description\" i \"default\"\n");

const QString RecordHelp = QStringLiteral(
    "Użycie: tonvix-cli record --seconds N --out PLIK [OPCJE]\n"
    "       tonvix-cli record --seconds N --jsonl PLIK|- [OPCJE]\n"
    "\n"
    "Pomiar ciśnienia akustycznego: poziom obu kanałów co podany odstęp, zapisany w całości\n"
    "(akwizycja) do pliku wyników .lev albo do pliku .csv - według rozszerzenia nazwy - lub\n"
    "przesyłany na bieżąco jako wiersze JSON. Ctrl+C (SIGINT) lub SIGTERM kończy pomiar\n"
    "wcześniej; zapisane zostaje wszystko, co zmierzono. Na końcu na standardowe wyjście\n"
    "trafiają statystyki pomiaru.\n"
    "\n"
    "Opcje:\n"
    "  --seconds N             czas pomiaru w sekundach, liczony po ustaleniu się pomiaru:\n"
    "                          po czasie opóźnienia pomiaru, ale nie mniej niż 0,25 s,\n"
    "                          w których filtry korekcji i uśrednianie ustalają się na sygnale\n"
    "  --out PLIK              plik wyników: .lev lub .csv\n"
    "  --input NAZWA           urządzenie wejściowe (nazwy podaje: tonvix-cli devices)\n"
    "  --average S|F|I|none|SEKUNDY\n"
    "                          uśrednianie: S (1 s), F (0,125 s), I (0,035 s), none (brak)\n"
    "                          albo inny czas uśredniania w sekundach\n"
    "  --interval MS           odstęp między odczytami w milisekundach; 0: odczyt z każdego bloku\n"
    "  --weighting A|C|Z       korekcja częstotliwościowa miernika\n"
    "  --channels L|R|LR       kanał lewy, prawy albo oba (statystyki i kompensacja)\n"
    "  --log-interval SEKUNDY  dziennik przedziałów: po każdym przedziale tej długości wiersz\n"
    "                          z poziomem równoważnym, największym i najmniejszym poziomem\n"
    "                          ważonym czasowo i poziomem szczytowym (na standardowe wyjście)\n"
    "  --json                  statystyki (i z --log-interval dziennik przedziałów) jako jeden\n"
    "                          obiekt JSON na standardowym wyjściu; przechowuje każdy przedział\n"
    "  --jsonl PLIK|-          wiersze JSON na bieżąco, każdy zapisany od razu: obiekt po każdym\n"
    "                          odczycie, a z --log-interval po każdym przedziale; \"-\" oznacza\n"
    "                          standardowe wyjście. Bez --out wartości nie są zapisywane w pliku\n"
    "                          wyników i nie zajmują pamięci: pomiar może trwać dowolnie długo\n"
    "\n"
    "Wiersz JSON zawiera czas (\"time\": ISO 8601 w UTC; \"seconds\": od początku pomiaru),\n"
    "korekcję częstotliwościową (\"weighting\"), uśrednianie (\"time_weighting\") i poziomy\n"
    "w dB kanałów \"left\" i \"right\" z przesterowaniem od początku pomiaru (\"overload\");\n"
    "wiersz przedziału - jego czas trwania (\"duration\") i w każdym kanale Leq, Lmax, Lmin,\n"
    "poziom szczytowy (\"LCpeak\", bez korekcji \"LZpeak\") i \"overload\". Wiersze wypisane\n"
    "od razu nie są przechowywane: dziennik może trwać dowolnie długo.\n"
    "\n"
    "Opcja, której nie podano, ma wartość ustawioną w programie okienkowym.\n");

const QString SweepHelp = QStringLiteral(
    "Użycie: tonvix-cli sweep --start HZ --stop HZ --points N --out PLIK [OPCJE]\n"
    "\n"
    "Pomiar charakterystyki częstotliwościowej: generator na wyjściu przechodzi od częstotliwości\n"
    "początkowej do końcowej w N punktach rozłożonych logarytmicznie, a w każdym punkcie mierzony\n"
    "jest poziom na wejściu. Wynik trafia do pliku .lev, .csv lub .frd (według rozszerzenia); przy\n"
    "pomiarze obu kanałów plik .frd powstaje dla każdego kanału, z numerem serii w nazwie.\n"
    "Ctrl+C (SIGINT) lub SIGTERM przerywa pomiar; zmierzone punkty zostają zapisane.\n"
    "\n"
    "Opcje:\n"
    "  --start HZ              częstotliwość początkowa\n"
    "  --stop HZ               częstotliwość końcowa (większa od początkowej)\n"
    "  --points N              liczba punktów (co najmniej 3)\n"
    "  --out PLIK              plik wyników: .lev, .csv lub .frd\n"
    "  --point-time MS         czas jednego punktu w milisekundach; 0: punkt z każdego bloku\n"
    "  --amplitude MV          wartość skuteczna sygnału generatora w miliwoltach\n"
    "  --input NAZWA           urządzenie wejściowe (nazwy podaje: tonvix-cli devices)\n"
    "  --output NAZWA          urządzenie wyjściowe\n"
    "  --mic-cal PLIK          plik kalibracji mikrofonu dla mierzonych kanałów; bez tej opcji\n"
    "                          obowiązują pliki wybrane w programie okienkowym\n"
    "  --channels L|R|LR       kanał lewy, prawy albo oba\n"
    "  --method level|sync     pomiar punktu: średni poziom (level) albo detekcja synchroniczna\n"
    "                          (sync): poziom i faza podstawowej, harmoniczne H2 do H9, THD\n"
    "                          i THD+N, w pliku .csv wszystkie, w pliku .frd z fazą\n"
    "  --reference L|R|none    kanał odniesienia przy detekcji synchronicznej: wynikiem jest\n"
    "                          drugi kanał podzielony przez ten (mierzony jest drugi kanał)\n"
    "  --harmonics N           najwyższa mierzona harmoniczna przy detekcji synchronicznej, 2 do 9\n"
    "  --settling S            maksymalny czas ustalania tonu w sekundach: punkt jest mierzony,\n"
    "                          gdy ton się ustali (rezonans, pogłos), a punkt, który nie ustalił\n"
    "                          się w tym czasie, jest oznaczony w pliku .csv (kolumna Nieustalony)\n"
    "\n"
    "Każde wejście ma własne opóźnienie: sonda na początku pomiaru znajduje je w mierzonym kanale\n"
    "i w kanale odniesienia (przy obu kanałach - w każdym), a pomiar podaje opóźnienie kanału\n"
    "mierzonego względem odniesienia w ms i w metrach (przy temperaturze powietrza ustawionej\n"
    "w oknie \"Odpowiedź impulsowa\"). Faza zawiera to opóźnienie (-360 f d). Gdy wyjście\n"
    "i wejście należą do różnych kart dźwiękowych, bez kanału odniesienia faza nie jest mierzona.\n"
    "Najwyższa mierzalna częstotliwość to 0,49 częstotliwości próbkowania.\n"
    "\n"
    "Opcja, której nie podano, ma wartość ustawioną w programie okienkowym.\n");

const QString ConvertHelp =
    QStringLiteral("Użycie: tonvix-cli convert WEJŚCIE WYJŚCIE\n"
                   "\n"
                   "Przekształca wyniki między formatami według rozszerzeń nazw:\n"
                   "  .lev   plik wyników programu (odczyt w UTF-8 lub w dawnym kodowaniu Windows-1250)\n"
                   "  .csv   dla arkuszy: \";\" między polami, separator dziesiętny użytkownika\n"
                   "  .frd   charakterystyka dla programów do projektowania zwrotnic; przy kilku seriach\n"
                   "         powstaje plik dla każdej z nich, z numerem serii w nazwie (np. wynik_1.frd)\n"
                   "Wyniki pomiaru ciśnienia akustycznego można zapisać tylko jako .lev lub .csv.\n");

// Options that take no value.
const QStringList FlagOptions{QStringLiteral("json")};

} // namespace

bool TGiven::Parse(const QStringList& arguments, const QStringList& known, QString& error)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--"))) {
            Positional << argument;
            continue;
        }
        QString value;
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const bool inline_ = equals > 0;
        if (inline_) {
            value = argument.mid(equals + 1);
            argument = argument.left(equals);
        }
        const QString name = argument.mid(2);
        if (!known.contains(name)) {
            error = QStringLiteral("nieznana opcja %1").arg(argument);
            return false;
        }
        if (Values.contains(name)) {
            error = QStringLiteral("opcja %1 podana dwa razy").arg(argument);
            return false;
        }
        if (FlagOptions.contains(name)) {
            if (inline_) {
                error = QStringLiteral("opcja %1 nie przyjmuje wartości").arg(argument);
                return false;
            }
        } else if (!inline_) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("brak wartości opcji %1").arg(argument);
                return false;
            }
            value = arguments[++i];
        }
        Values.insert(name, value);
    }
    return true;
}

std::optional<double> PositiveNumber(const TGiven& given, const char* name, QString& error)
{
    const QString text = given.Value(QLatin1String(name));
    const auto value = NumberFormat::ParseNumber(text);
    if (value && *value > 0)
        return value;
    error = QStringLiteral("wartość opcji --%1 musi być liczbą większą od 0, a jest „%2”")
                .arg(QLatin1String(name), text);
    return std::nullopt;
}

std::optional<int> WholeNumber(const TGiven& given, const char* name, int minimum, int maximum,
                               QString& error)
{
    const QString text = given.Value(QLatin1String(name));
    const auto value = NumberFormat::ParseInteger(text);
    if (value && *value >= minimum && *value <= maximum)
        return static_cast<int>(*value);
    error = QStringLiteral("wartość opcji --%1 musi być liczbą całkowitą od %2 do %3, a jest „%4”")
                .arg(QLatin1String(name))
                .arg(minimum)
                .arg(maximum)
                .arg(text);
    return std::nullopt;
}

std::optional<double> AnyNumber(const TGiven& given, const char* name, QString& error)
{
    const QString text = given.Value(QLatin1String(name));
    if (const auto value = NumberFormat::ParseNumber(text))
        return value;
    error = QStringLiteral("wartość opcji --%1 musi być liczbą, a jest „%2”").arg(QLatin1String(name), text);
    return std::nullopt;
}

std::optional<int> InputChannel(const TGiven& given, const char* name, bool noneAllowed, QString& error)
{
    const QString text = given.Value(QLatin1String(name)).toUpper();
    if (text == QLatin1String("L"))
        return 0;
    if (text == QLatin1String("R"))
        return 1;
    if (noneAllowed && text == QLatin1String("NONE"))
        return -1;
    error = QStringLiteral("wartość opcji --%1 musi być jedną z %2, a jest „%3”")
                .arg(QLatin1String(name), noneAllowed ? QStringLiteral("L, R, none") : QStringLiteral("L, R"),
                     given.Value(QLatin1String(name)));
    return std::nullopt;
}

bool ReadResponseOptions(const TGiven& given, int& smoothing, double& temperature,
                         std::optional<QString>& input, std::optional<QString>& output, QString& error)
{
    if (given.Has("smoothing")) {
        const auto fraction = WholeNumber(given, "smoothing", 1, 48, error);
        if (!fraction)
            return false;
        smoothing = *fraction;
    }
    if (given.Has("temperature")) {
        const auto celsius = AnyNumber(given, "temperature", error);
        if (!celsius)
            return false;
        temperature = *celsius;
    }
    if (given.Has("input"))
        input = given.Value("input");
    if (given.Has("output"))
        output = given.Value("output");
    return true;
}

bool Required(const TGiven& given, const QStringList& names, QString& error)
{
    for (const QString& name : names) {
        if (!given.Has(name)) {
            error = QStringLiteral("brak wymaganej opcji --%1").arg(name);
            return false;
        }
    }
    return true;
}

bool NoPositional(const TGiven& given, QString& error)
{
    if (given.Positional.isEmpty())
        return true;
    error = QStringLiteral("nieoczekiwany argument „%1”").arg(given.Positional.front());
    return false;
}

namespace {

std::optional<TChannelMode> Channels(const QString& text, QString& error)
{
    const QString upper = text.toUpper();
    if (upper == QLatin1String("L"))
        return TChannelMode::Left;
    if (upper == QLatin1String("R"))
        return TChannelMode::Right;
    if (upper == QLatin1String("LR"))
        return TChannelMode::Both;
    error = QStringLiteral("wartość opcji --channels musi być jedną z L, R, LR, a jest „%1”").arg(text);
    return std::nullopt;
}

std::optional<TSweepMethod> Method(const QString& text, QString& error)
{
    const QString lower = text.toLower();
    if (lower == QLatin1String("level"))
        return TSweepMethod::AveragedLevel;
    if (lower == QLatin1String("sync"))
        return TSweepMethod::Synchronous;
    error = QStringLiteral("wartość opcji --method musi być jedną z level, sync, a jest „%1”").arg(text);
    return std::nullopt;
}

std::optional<TReferenceChannel> Reference(const QString& text, QString& error)
{
    const QString upper = text.toUpper();
    if (upper == QLatin1String("L"))
        return TReferenceChannel::Left;
    if (upper == QLatin1String("R"))
        return TReferenceChannel::Right;
    if (upper == QLatin1String("NONE"))
        return TReferenceChannel::None;
    error = QStringLiteral("wartość opcji --reference musi być jedną z L, R, none, a jest „%1”").arg(text);
    return std::nullopt;
}

std::optional<TAveragingChoice> Averaging(const QString& text, QString& error)
{
    const QString upper = text.toUpper();
    if (upper == QLatin1String("S"))
        return TAveragingChoice{0, 0};
    if (upper == QLatin1String("F"))
        return TAveragingChoice{1, 0};
    if (upper == QLatin1String("I"))
        return TAveragingChoice{2, 0};
    if (upper == QLatin1String("NONE"))
        return TAveragingChoice{4, 0};
    const auto seconds = NumberFormat::ParseNumber(text);
    if (seconds && *seconds >= TRecordingControl::MinimumAveragingTime)
        return TAveragingChoice{3, *seconds};
    error = QStringLiteral("wartość opcji --average musi być jedną z S, F, I, none albo czasem w sekundach "
                           "nie mniejszym niż %1, a jest „%2”")
                .arg(NumberFormat::General(TRecordingControl::MinimumAveragingTime), text);
    return std::nullopt;
}

std::optional<TFrequencyWeighting> Weighting(const QString& text, QString& error)
{
    const QString upper = text.toUpper();
    if (upper == QLatin1String("A"))
        return TFrequencyWeighting::A;
    if (upper == QLatin1String("C"))
        return TFrequencyWeighting::C;
    if (upper == QLatin1String("Z"))
        return TFrequencyWeighting::Z;
    error = QStringLiteral("wartość opcji --weighting musi być jedną z A, C, Z, a jest „%1”").arg(text);
    return std::nullopt;
}

std::optional<double> LogInterval(const TGiven& given, QString& error)
{
    const QString text = given.Value("log-interval");
    const auto seconds = NumberFormat::ParseNumber(text);
    if (seconds && *seconds >= TMeasurementStatistics::ShortestInterval &&
        *seconds <= TMeasurementStatistics::LongestInterval)
        return seconds;
    error =
        QStringLiteral("wartość opcji --log-interval musi być czasem w sekundach od %1 do %2, a jest „%3”")
            .arg(NumberFormat::General(TMeasurementStatistics::ShortestInterval),
                 NumberFormat::General(TMeasurementStatistics::LongestInterval), text);
    return std::nullopt;
}

std::optional<TCommand> Record(const TGiven& given, QString& error)
{
    if (!NoPositional(given, error) || !Required(given, {"seconds"}, error))
        return std::nullopt;
    if (!given.Has("out") && !given.Has("jsonl")) {
        error = QStringLiteral("brak wymaganej opcji --out (albo --jsonl)");
        return std::nullopt;
    }
    if (given.Has("json") && given.Value("jsonl") == QLatin1String("-")) {
        error =
            QStringLiteral("opcje --json i --jsonl - piszą obie na standardowe wyjście; podaj jedną z nich "
                           "albo plik dla --jsonl");
        return std::nullopt;
    }
    TRecordCommand command;
    const auto seconds = PositiveNumber(given, "seconds", error);
    if (!seconds)
        return std::nullopt;
    command.Seconds = *seconds;
    if (given.Has("out"))
        command.Out = given.Value("out");
    command.Json = given.Has("json");
    if (given.Has("jsonl"))
        command.JsonLines = given.Value("jsonl");
    if (given.Has("input"))
        command.Input = given.Value("input");
    if (given.Has("average") && !(command.Average = Averaging(given.Value("average"), error)))
        return std::nullopt;
    if (given.Has("interval") &&
        !(command.Interval = WholeNumber(given, "interval", 0, LongestInterval, error)))
        return std::nullopt;
    if (given.Has("weighting") && !(command.Weighting = Weighting(given.Value("weighting"), error)))
        return std::nullopt;
    if (given.Has("channels") && !(command.Channels = Channels(given.Value("channels"), error)))
        return std::nullopt;
    if (given.Has("log-interval") && !(command.LogInterval = LogInterval(given, error)))
        return std::nullopt;
    return command;
}

std::optional<TCommand> Sweep(const TGiven& given, QString& error)
{
    if (!NoPositional(given, error) || !Required(given, {"start", "stop", "points", "out"}, error))
        return std::nullopt;
    TSweepCommand command;
    const auto start = PositiveNumber(given, "start", error);
    if (!start)
        return std::nullopt;
    const auto stop = PositiveNumber(given, "stop", error);
    if (!stop)
        return std::nullopt;
    if (!(*stop > *start)) {
        error = QStringLiteral("częstotliwość końcowa (--stop) musi być większa od początkowej (--start)");
        return std::nullopt;
    }
    const auto points = WholeNumber(given, "points", 3, MostPoints, error);
    if (!points)
        return std::nullopt;
    command.Start = *start;
    command.Stop = *stop;
    command.Points = *points;
    command.Out = given.Value("out");
    if (given.Has("point-time") &&
        !(command.PointTime = WholeNumber(given, "point-time", 0, LongestInterval, error)))
        return std::nullopt;
    if (given.Has("amplitude") &&
        !(command.Amplitude = WholeNumber(given, "amplitude", 1, std::numeric_limits<int>::max(), error)))
        return std::nullopt;
    if (given.Has("input"))
        command.Input = given.Value("input");
    if (given.Has("output"))
        command.Output = given.Value("output");
    if (given.Has("mic-cal"))
        command.MicrophoneFile = given.Value("mic-cal");
    if (given.Has("channels") && !(command.Channels = Channels(given.Value("channels"), error)))
        return std::nullopt;
    if (given.Has("method") && !(command.Method = Method(given.Value("method"), error)))
        return std::nullopt;
    if (given.Has("reference") && !(command.Reference = Reference(given.Value("reference"), error)))
        return std::nullopt;
    if (given.Has("harmonics") && !(command.HighestHarmonic = WholeNumber(given, "harmonics", 2, 9, error)))
        return std::nullopt;
    if (given.Has("settling")) {
        command.LongestSettling = PositiveNumber(given, "settling", error);
        const double shortest = TDetectionSettings::ShortestSettlingLimit / 1000.0;
        const double longest = TDetectionSettings::LongestSettlingLimit / 1000.0;
        if (!command.LongestSettling)
            return std::nullopt;
        if (*command.LongestSettling < shortest || *command.LongestSettling > longest) {
            error = QStringLiteral("najdłuższy czas ustalania (--settling) musi mieścić się w przedziale "
                                   "od %1 do %2 s")
                        .arg(NumberFormat::General(shortest), NumberFormat::General(longest));
            return std::nullopt;
        }
    }
    return command;
}

std::optional<TCommand> Rta(const TGiven& given, QString& error)
{
    if (!NoPositional(given, error) || !Required(given, {"seconds", "out"}, error))
        return std::nullopt;
    TRtaCommand command;
    const auto seconds = PositiveNumber(given, "seconds", error);
    if (!seconds)
        return std::nullopt;
    command.Seconds = *seconds;
    command.Out = given.Value("out");
    if (given.Has("bands") && given.Has("fft")) {
        error = QStringLiteral("opcje --bands i --fft wykluczają się");
        return std::nullopt;
    }
    if (given.Has("bands")) {
        const auto bands = WholeNumber(given, "bands", 1, 24, error);
        if (!bands)
            return std::nullopt;
        if (*bands != 1 && *bands != 3 && *bands != 6 && *bands != 12 && *bands != 24) {
            error = QStringLiteral("wartość opcji --bands musi być jedną z 1, 3, 6, 12, 24, a jest „%1”")
                        .arg(given.Value("bands"));
            return std::nullopt;
        }
        command.BandsPerOctave = *bands;
    }
    if (given.Has("fft")) {
        const auto size = WholeNumber(given, "fft", 1024, 65536, error);
        if (!size)
            return std::nullopt;
        if ((*size & (*size - 1)) != 0) {
            error = QStringLiteral("wartość opcji --fft musi być potęgą 2 od 1024 do 65536, a jest „%1”")
                        .arg(given.Value("fft"));
            return std::nullopt;
        }
        command.Fft = static_cast<std::size_t>(*size);
    }
    if (given.Has("weighting") && !(command.Weighting = Weighting(given.Value("weighting"), error)))
        return std::nullopt;
    if (given.Has("time")) {
        const QString time = given.Value("time").toUpper();
        if (time != QLatin1String("F") && time != QLatin1String("S")) {
            error = QStringLiteral("wartość opcji --time musi być jedną z F, S, a jest „%1”")
                        .arg(given.Value("time"));
            return std::nullopt;
        }
        command.Slow = time == QLatin1String("S");
    }
    if (given.Has("input"))
        command.Input = given.Value("input");
    return command;
}

std::optional<TCommand> Convert(const TGiven& given, QString& error)
{
    if (given.Positional.size() != 2) {
        error = QStringLiteral("polecenie convert potrzebuje dwóch nazw plików: WEJŚCIE i WYJŚCIE");
        return std::nullopt;
    }
    return TConvertCommand{given.Positional[0], given.Positional[1]};
}

// The commands: each with its help, the options it takes and the reader of its command line.
struct TCommandSpec
{
    const char* Name;
    const QString& Help;
    QStringList Options;
    std::optional<TCommand> (*Read)(const TGiven&, QString&);
};

std::vector<TCommandSpec> CommandTable()
{
    return {
        {"devices",
         DevicesHelp,
         {"json"},
         [](const TGiven& given, QString& error) -> std::optional<TCommand> {
             if (!NoPositional(given, error))
                 return std::nullopt;
             return TDevicesCommand{given.Has("json")};
         }},
        {"record",
         RecordHelp,
         {"seconds", "input", "average", "interval", "weighting", "channels", "log-interval", "out", "json",
          "jsonl"},
         Record},
        {"sweep",
         SweepHelp,
         {"start", "stop", "points", "point-time", "amplitude", "input", "output", "mic-cal", "channels",
          "method", "reference", "harmonics", "settling", "out"},
         Sweep},
        {"convert", ConvertHelp, {}, Convert},
        {"ir", ImpulseHelp, ImpulseOptions,
         [](const TGiven& given, QString& error) -> std::optional<TCommand> {
             if (auto command = ReadImpulseCommand(given, error))
                 return *command;
             return std::nullopt;
         }},
        {"rta", RtaHelp, {"seconds", "out", "bands", "fft", "weighting", "time", "input"}, Rta},
        {"room", RoomHelp, RoomOptions,
         [](const TGiven& given, QString& error) -> std::optional<TCommand> {
             if (auto command = ReadRoomCommand(given, error))
                 return *command;
             return std::nullopt;
         }},
        {"tf", TransferHelp, TransferOptions,
         [](const TGiven& given, QString& error) -> std::optional<TCommand> {
             if (auto command = ReadTransferCommand(given, error))
                 return *command;
             return std::nullopt;
         }},
    };
}

} // namespace

QString ProgramHelpText()
{
    return ProgramHelp;
}

std::vector<TCommandHelp> CommandHelpTexts()
{
    std::vector<TCommandHelp> helps;
    for (const TCommandSpec& command : CommandTable())
        helps.push_back({QLatin1String(command.Name), command.Help, command.Options});
    return helps;
}

std::optional<TCommand> ParseCommandLine(const QStringList& arguments, QString& error)
{
    if (arguments.isEmpty() || arguments.front() == QLatin1String("--help") ||
        arguments.front() == QLatin1String("-h") || arguments.front() == QLatin1String("help"))
        return THelpCommand{ProgramHelp};
    if (arguments.front() == QLatin1String("--version"))
        return THelpCommand{QStringLiteral("tonvix-cli ") + QString::fromLatin1(TONVIX_VERSION) +
                            QLatin1Char('\n')};

    const QString name = arguments.front();
    for (const TCommandSpec& command : CommandTable()) {
        if (name != QLatin1String(command.Name))
            continue;
        const QStringList rest = arguments.mid(1);
        if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h")))
            return THelpCommand{command.Help};
        TGiven given;
        std::optional<TCommand> parsed;
        if (given.Parse(rest, command.Options, error))
            parsed = command.Read(given, error);
        if (!parsed)
            error += QStringLiteral("\nOpis polecenia: tonvix-cli %1 --help").arg(name);
        return parsed;
    }
    error = QStringLiteral("nieznane polecenie „%1”\nOpis programu: tonvix-cli --help").arg(name);
    return std::nullopt;
}
