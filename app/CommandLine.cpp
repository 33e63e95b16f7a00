// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

QStringList WindowArguments(const QStringList& arguments)
{
    if (arguments.size() == 2 && arguments.at(1) != QLatin1String("/o"))
        return {arguments.at(0), QStringLiteral("/o"), arguments.at(1)};
    return arguments;
}

QString WindowHelpText()
{
    return QStringLiteral(
        "Użycie: tonvix [PLIK.lev]\n"
        "       tonvix /o PLIK.lev\n"
        "\n"
        "Tonvix - dwukanałowy miernik poziomu dźwięku i analizator charakterystyk częstotliwościowych\n"
        "na karcie dźwiękowej komputera. Pokazuje poziom obu kanałów wejścia w decybelach i na wykresie\n"
        "w czasie oraz mierzy charakterystykę częstotliwościową tego, co leży między wyjściem a wejściem\n"
        "karty (głośnika z mikrofonem, wzmacniacza, filtra, kabla). Korzysta z serwera dźwięku\n"
        "(PulseAudio lub PipeWire); bez karty dźwiękowej mierzy na wirtualnej karcie dźwiękowej.\n"
        "\n"
        "Opcje:\n"
        "  PLIK.lev                plik wyników otwierany po uruchomieniu (tak przekazuje go pulpit)\n"
        "  /o PLIK.lev             to samo, w zapisie znanym z wcześniejszych wersji programu\n"
        "  --help                  ten opis\n"
        "  --version               wersja programu\n"
        "\n"
        "Kod wyjścia: 0 - program zakończony; 2 - błąd w wywołaniu (przyczyna na standardowym wyjściu\n"
        "błędów).\n"
        "\n"
        "Ustawienia są zapisywane w pliku ~/.config/Marvelle/Tonvix.ini, a wyniki domyślnie\n"
        "w folderze Tonvix/Wyniki pomiarów w folderze dokumentów. Podręcznik użytkownika otwiera\n"
        "polecenie Pomoc > Podręcznik (F1). Pomiary bez okna, z wiersza poleceń lub ze skryptu,\n"
        "wykonuje tonvix-cli.\n");
}

std::optional<QString> WindowArgumentsRefusal(const QStringList& arguments)
{
    const QString help = QStringLiteral("\nOpis programu: tonvix --help");
    const QStringList given = arguments.mid(1);
    if (given.isEmpty())
        return std::nullopt;
    if (given.front() == QLatin1String("/o")) // everything after it is the file's name
        return given.size() > 1 ? std::nullopt
                                : std::optional<QString>(QStringLiteral("po /o brak nazwy pliku") + help);
    for (const QString& argument : given)
        if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-"))
            return QStringLiteral("nieznana opcja „%1”").arg(argument) + help;
    if (given.size() > 1)
        return QStringLiteral("program otwiera jeden plik wyników, a podano %1: %2")
                   .arg(given.size())
                   .arg(given.join(QStringLiteral(", "))) +
               help;
    return std::nullopt;
}

std::optional<QString> CommandLineAnswer(const QStringList& arguments)
{
    if (arguments.size() != 2)
        return std::nullopt;
    const QString& option = arguments.at(1);
    if (option == QLatin1String("--help") || option == QLatin1String("-h"))
        return WindowHelpText();
    if (option == QLatin1String("--version"))
        return QStringLiteral("tonvix ") + QStringLiteral(TONVIX_VERSION) + QLatin1Char('\n');
    return std::nullopt;
}
