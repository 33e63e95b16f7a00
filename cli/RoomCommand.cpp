// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RoomCommand.h"

#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "cli/Options.h"
#include "cli/Terminal.h"
#include "common/NumberFormat.h"
#include "results/AnalyserExport.h"
#include "results/ExchangeFile.h"
#include "results/RoomAcousticsFile.h"
#include "results/WaveFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>

const QString RoomHelp = QStringLiteral(
    "Użycie: tonvix-cli room PLIK.wav [OPCJE]\n"
    "\n"
    "Akustyka pomieszczenia z odpowiedzi impulsowej zapisanej w pliku dźwiękowym (WAV i inne, które\n"
    "czyta libsndfile; z pliku wielokanałowego pierwszy kanał): w pasmach oktawowych 63 Hz-8 kHz albo\n"
    "tercjowych 50 Hz-10 kHz (filtry klasy 1 według IEC 61260-1) i szerokopasmowo (bez korekcji - Z -\n"
    "i z korekcją A) czas wczesnego zaniku EDT i czasy pogłosu T20 i T30 (ISO 3382-1, ISO 3382-2)\n"
    "z nieliniowością ξ i krzywizną C, przejrzystość C50 i C80, wyrazistość D50, czas środkowy Ts\n"
    "oraz zakres dynamiki INR, a także wskaźnik transmisji mowy STI metodą pośrednią według\n"
    "IEC 60268-16:2020, wszystko z pierwszych 20 s odpowiedzi. Szum tła odpowiedzi jest uwzględniany\n"
    "metodą Lundeby'ego; wielkość, dla której zakres dynamiki jest za mały (T30: 45 dB, T20: 35 dB,\n"
    "EDT: 20 dB), nie jest podawana (\"-\", w JSON null), a uwagi mówią dlaczego. Bez poziomu mowy\n"
    "i hałasu tła STI uwzględnia tylko pogłos.\n"
    "\n"
    "Opcje:\n"
    "  --bands 1|3             pasma oktawowe (1, domyślnie) albo tercjowe (3)\n"
    "  --json                  wynik jako jeden obiekt JSON zamiast tabeli: \"bands\" (w każdym\n"
    "                          paśmie \"frequency\", \"EDT\", \"T20\", \"T30\" [s], \"C50\", \"C80\"\n"
    "                          [dB], \"D50\" [%], \"Ts\" [ms], \"INR\" [dB], \"xi20\", \"xi30\" [‰],\n"
    "                          \"curvature\" [%] i \"notes\"), \"broadband\" (Z), \"broadband_A\",\n"
    "                          \"STI\" i \"STI_kind\" (\"reverberation-only\" albo \"full\")\n"
    "  --out PLIK.csv          tabela także do pliku .csv\n"
    "  --speech-level DB       poziom mowy w miejscu słuchacza w dB(A); wymaga --noise albo\n"
    "                          --noise-file\n"
    "  --noise L63,...,L8k     poziomy hałasu tła w miejscu słuchacza w pasmach oktawowych\n"
    "                          63 Hz-8 kHz (8 wartości) albo 125 Hz-8 kHz (7 wartości) w dB,\n"
    "                          rozdzielone przecinkami (z kropką dziesiętną) albo średnikami\n"
    "                          (wartość 63 Hz nie wchodzi do STI, którego pasma zaczynają się od\n"
    "                          125 Hz);\n"
    "                          z --speech-level daje pełny STI z poprawkami na hałas, maskowanie\n"
    "                          i próg słyszenia\n"
    "  --noise-file PLIK.csv   hałas tła zamiast --noise z pomiaru analizatorem widma: Leq pasm\n"
    "                          oktawowych bez korekcji (Z), jak je zapisuje \"Eksportuj CSV...\"\n"
    "                          w oknie analizatora albo tonvix-cli rta --bands 1 --weighting Z --out;\n"
    "                          plik z innymi pasmami albo z korekcją A lub C jest odrzucany\n"
    "  --noise-channel L|R     kanał pliku --noise-file, z którego wziąć hałas; potrzebny, gdy\n"
    "                          poziomy kanałów się różnią\n");

const QStringList RoomOptions = {"bands", "json",       "out",          "speech-level",
                                 "noise", "noise-file", "noise-channel"};

namespace {

QJsonObject BandJson(const TRoomBand& band)
{
    QJsonObject object;
    if (band.Midband > 0)
        object.insert("frequency", band.Nominal);
    else
        object.insert("weighting", QString(QLatin1Char(band.Weighting)));
    object.insert("EDT", JsonOutput::Rounded(band.Edt.Seconds, 3));
    object.insert("T20", JsonOutput::Rounded(band.T20.Seconds, 3));
    object.insert("T30", JsonOutput::Rounded(band.T30.Seconds, 3));
    object.insert("C50", JsonOutput::Rounded(band.C50, 2));
    object.insert("C80", JsonOutput::Rounded(band.C80, 2));
    object.insert("D50", JsonOutput::Rounded(band.D50, 2));
    object.insert("Ts", JsonOutput::Rounded(band.Ts, 1));
    object.insert("INR", JsonOutput::Rounded(band.Inr, 2));
    object.insert("xi20", JsonOutput::Rounded(band.T20.Xi, 2));
    object.insert("xi30", JsonOutput::Rounded(band.T30.Xi, 2));
    object.insert("curvature", JsonOutput::Rounded(band.Curvature, 2));
    object.insert("notes", RoomAcousticsFile::Notes(band));
    return object;
}

} // namespace

QJsonObject RoomJson(const TRoomFigures& figures)
{
    QJsonArray bands;
    for (const TRoomBand& band : figures.Bands)
        bands.append(BandJson(band));
    return {{"bands", bands},
            {"broadband", BandJson(figures.BroadbandZ)},
            {"broadband_A", BandJson(figures.BroadbandA)},
            {"STI", figures.StiValid ? JsonOutput::Rounded(figures.Sti.Value, 3) : QJsonValue()},
            {"STI_kind", figures.Sti.Full ? QStringLiteral("full") : QStringLiteral("reverberation-only")}};
}

std::optional<TRoomCommand> ReadRoomCommand(const TGiven& given, QString& error)
{
    if (given.Positional.size() != 1) {
        error = QStringLiteral("polecenie room potrzebuje jednej nazwy pliku z odpowiedzią impulsową");
        return std::nullopt;
    }
    TRoomCommand command;
    command.In = given.Positional.front();
    command.Json = given.Has("json");
    const auto bands = ReadRoomBands(given, error);
    if (!bands)
        return std::nullopt;
    command.Choice.BandsPerOctave = *bands;
    if (given.Has("out"))
        command.Out = given.Value("out");
    if (given.Has("noise") && given.Has("noise-file")) {
        error = QStringLiteral("opcje --noise i --noise-file wykluczają się");
        return std::nullopt;
    }
    if (given.Has("speech-level") != (given.Has("noise") || given.Has("noise-file"))) {
        error = QStringLiteral("opcje --speech-level i --noise (albo --noise-file) podaje się razem");
        return std::nullopt;
    }
    if (given.Has("noise-channel")) {
        const QString channel = given.Value("noise-channel").toUpper();
        if (!given.Has("noise-file") || (channel != QLatin1String("L") && channel != QLatin1String("R"))) {
            error = given.Has("noise-file")
                        ? QStringLiteral("wartość opcji --noise-channel musi być jedną z L, R, a jest „%1”")
                              .arg(given.Value("noise-channel"))
                        : QStringLiteral("opcja --noise-channel wybiera kanał pliku --noise-file");
            return std::nullopt;
        }
        command.NoiseChannel = channel == QLatin1String("L") ? 0 : 1;
    }
    if (given.Has("speech-level")) {
        const auto level = NumberFormat::ParseNumber(given.Value("speech-level"));
        if (!level) {
            error = QStringLiteral("wartość opcji --speech-level musi być liczbą, a jest „%1”")
                        .arg(given.Value("speech-level"));
            return std::nullopt;
        }
        if (given.Has("noise-file")) {
            command.NoiseFile = given.Value("noise-file");
            command.Choice.Speech = SpeechTransmission::TConditions{*level, {}};
            return command;
        }
        const auto noise = NoiseLevelsFromText(given.Value("noise"));
        if (!noise) {
            error = QStringLiteral("wartość opcji --noise musi być listą 8 poziomów (63 Hz-8 kHz) albo 7 "
                                   "(125 Hz-8 kHz) w dB, a jest „%1”")
                        .arg(given.Value("noise"));
            return std::nullopt;
        }
        command.Choice.Speech = SpeechTransmission::TConditions{*level, *noise};
    }
    return command;
}

std::optional<int> ReadRoomBands(const TGiven& given, QString& error)
{
    if (!given.Has("bands"))
        return 1;
    const auto bands = WholeNumber(given, "bands", 1, 3, error);
    if (bands && *bands == 2) {
        error = QStringLiteral("wartość opcji --bands musi być jedną z 1, 3, a jest „2”");
        return std::nullopt;
    }
    return bands;
}

int RunRoom(const TRoomCommand& command)
{
    if (command.Out && ExchangeFile::FormatOf(*command.Out) != ExchangeFile::TFormat::Csv)
        return UsageError(
            QStringLiteral("tabelę akustyki pomieszczenia zapisuje się w pliku .csv, a nie „%1”")
                .arg(*command.Out));
    QString failure;
    if (command.Out && !CanWrite(*command.Out, failure))
        return Failure(failure);
    TRoomChoice choice = command.Choice;
    if (command.NoiseFile) {
        const auto noise = AnalyserExport::ReadOctaveNoise(*command.NoiseFile, failure);
        if (!noise)
            return Failure(failure);
        if (!command.NoiseChannel && (*noise)[0] != (*noise)[1])
            return UsageError(
                QStringLiteral("plik %1 ma różne poziomy kanału lewego i prawego: wybierz kanał "
                               "hałasu opcją --noise-channel L|R")
                    .arg(*command.NoiseFile));
        // The index's octaves are the file's from 125 Hz on.
        static_assert(AnalyserExport::NoiseOctaves.size() == SpeechTransmission::OctaveCount + 1);
        const AnalyserExport::TOctaveLevels& levels = (*noise)[command.NoiseChannel.value_or(0)];
        std::copy(levels.begin() + 1, levels.end(), choice.Speech->NoiseLevels.begin());
    }
    auto sound = WaveFile::Read(command.In, failure);
    if (!sound)
        return Failure(failure);
    const TImpulseResponse response = ImpulseResponseOf(std::move(sound->Samples), sound->FrameRate);
    const TRoomFigures figures = AnalyseRoom(response, choice);
    if (command.Out &&
        !RoomAcousticsFile::Write(*command.Out, figures, QFileInfo(command.In).fileName(), failure))
        return Failure(failure);
    if (command.Json) {
        PrintResult(QString::fromUtf8(QJsonDocument(RoomJson(figures)).toJson(QJsonDocument::Indented)));
        return ExitSuccess;
    }
    QString table = RoomAcousticsFile::Header().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const TRoomBand* band : RoomAcousticsFile::Rows(figures))
        table += RoomAcousticsFile::Cells(*band).join(QLatin1Char('\t')) + QLatin1Char('\n');
    PrintResult(table + RoomAcousticsFile::StiText(figures) + QLatin1Char('\n'));
    return ExitSuccess;
}
