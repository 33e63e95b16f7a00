// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/AnalyserExport.h"

#include "common/NumberFormat.h"
#include "measure/RealTimeAnalyser.h"
#include "results/ExchangeFile.h"
#include "results/SafeFile.h"
#include "results/TextFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cmath>

namespace AnalyserExport {

namespace {

const QString LineEnd = QStringLiteral("\r\n");
const QString Separator = QStringLiteral(";");

QString Row(const QStringList& cells)
{
    return cells.join(Separator) + LineEnd;
}

QString Conditions(const TRealTimeAnalyser& analyser)
{
    return QStringLiteral("korekcja ") + WeightingLetter(analyser.Settings().Weighting) +
           QStringLiteral(", Fp ") + NumberFormat::Integer(analyser.FrameRate()) +
           QStringLiteral(" Hz, czas ") + NumberFormat::Fixed(analyser.SecondsSinceReset(), 0, 1) +
           QStringLiteral(" s");
}

// Why a file gives no noise for the index, and what it should be.
QString NotNoise(const QString& fileName, const QString& reason)
{
    return QStringLiteral(
               "Plik %1 nie nadaje się na hałas tła do STI: %2. Potrzebne są poziomy Leq w pasmach "
               "oktawowych bez korekcji (Z), zapisane przyciskiem „Eksportuj CSV...” w oknie "
               "analizatora widma albo poleceniem „tonvix-cli rta --bands 1 --weighting Z --out PLIK.csv”.")
        .arg(fileName, reason);
}

} // namespace

bool WriteBands(const QString& fileName, const TRealTimeAnalyser& analyser,
                const std::array<double, 2>& calibration, QString& failure)
{
    const TSpectrumSettings& settings = analyser.Settings();
    const QString weighting = WeightingLetter(settings.Weighting);
    const QString time = TimeWeightingLetter(settings.TimeConstant);
    const QString unit = QStringLiteral(" [") + LevelUnit(settings.Weighting) + QLatin1Char(']');
    QStringList header{QStringLiteral("Pasmo [Hz] (") + BandsText(settings.BandsPerOctave) +
                           QStringLiteral(", stała czasowa ") + time + QStringLiteral(", ") +
                           Conditions(analyser) + QLatin1Char(')'),
                       QStringLiteral("Częstotliwość środkowa [Hz]")};
    for (const QString& channel : {QStringLiteral("lewy"), QStringLiteral("prawy")})
        header << QStringLiteral("L%1eq %2").arg(weighting, channel) + unit
               << QStringLiteral("L%1%2max %3").arg(weighting, time, channel) + unit
               << QStringLiteral("L%1%2 %3").arg(weighting, time, channel) + unit;
    TTextFileWriter writer(fileName);
    writer.Add(Row(header));
    for (const TBandReading& band : analyser.BandReadings(calibration)) {
        QStringList cells{NumberFormat::Exact(band.Nominal), NumberFormat::Exact(band.Midband)};
        for (std::size_t channel = 0; channel < 2; ++channel)
            cells << NumberFormat::Exact(band.Leq[channel]) << NumberFormat::Exact(band.Lmax[channel])
                  << NumberFormat::Exact(band.Level[channel]);
        writer.Add(Row(cells));
    }
    return writer.Finish(failure);
}

bool WriteSpectrum(const QString& fileName, const TRealTimeAnalyser& analyser,
                   const std::array<double, 2>& calibration, bool density, QString& failure)
{
    const TSpectrumSettings& settings = analyser.Settings();
    const QString unit = QStringLiteral(" [") + LevelUnit(settings.Weighting) +
                         (density ? QStringLiteral("/Hz]") : QStringLiteral("]"));
    const QStringList header{
        QStringLiteral("Częstotliwość [Hz] (FFT ") +
            NumberFormat::Integer(static_cast<long long>(settings.FftSize)) + QStringLiteral(", okno ") +
            WindowText(settings.Window) + QStringLiteral(", ") + AveragingText(settings.Averaging) +
            QStringLiteral(", ") + Conditions(analyser) + QLatin1Char(')'),
        QStringLiteral("Kanał lewy") + unit, QStringLiteral("Kanał prawy") + unit,
        QStringLiteral("Kanał lewy, maksimum") + unit, QStringLiteral("Kanał prawy, maksimum") + unit};
    const TSpectrumReading reading = analyser.SpectrumReading(calibration, density);
    TTextFileWriter writer(fileName);
    writer.Add(Row(header));
    for (std::size_t k = 0; k < reading.Frequency.size(); ++k)
        writer.Add(Row({NumberFormat::Exact(reading.Frequency[k]), NumberFormat::Exact(reading.Level[0][k]),
                        NumberFormat::Exact(reading.Level[1][k]), NumberFormat::Exact(reading.Peak[0][k]),
                        NumberFormat::Exact(reading.Peak[1][k])}));
    return writer.Finish(failure);
}

std::optional<std::array<TOctaveLevels, 2>> ReadOctaveNoise(const QString& fileName, QString& failure)
{
    QFile file;
    if (!OpenForReading(file, fileName, failure))
        return std::nullopt;
    TTextLineReader lines(file);
    const auto refuse = [&](const QString& reason) {
        failure = NotNoise(fileName, reason);
        return std::nullopt;
    };
    const QString notBands = QStringLiteral("to nie jest zapis pasm analizatora widma");
    if (!lines.Next())
        return refuse(notBands);
    lines.ChooseEncoding();
    const QString header = lines.Text();
    const QChar separator = ExchangeFile::CsvSeparatorOf(header);
    const std::optional<QStringList> titles = ExchangeFile::CsvCells(header, separator);
    if (!titles || !titles->front().startsWith(QStringLiteral("Pasmo [Hz] (")))
        return refuse(notBands);
    static const QRegularExpression bands(QStringLiteral("^Pasmo \\[Hz\\] \\((1/\\d+) oktawy"));
    const QString bandsText = bands.match(titles->front()).captured(1);
    if (bandsText != QLatin1String("1/1"))
        return refuse(bandsText.isEmpty() ? notBands
                                          : QStringLiteral("zawiera pasma %1 oktawy").arg(bandsText));
    // Each channel's Leq column, by its title: "LZeq lewy [dB]", "LAeq prawy [dB(A)]".
    static const QRegularExpression leq(QStringLiteral("^L([ACZ])eq (lewy|prawy)\\b"));
    std::array<qsizetype, 2> columns{-1, -1};
    for (qsizetype column = 1; column < titles->size(); ++column) {
        const QRegularExpressionMatch match = leq.match(titles->at(column).trimmed());
        if (!match.hasMatch())
            continue;
        if (match.captured(1) != QLatin1String("Z"))
            return refuse(QStringLiteral("poziomy są z korekcją %1").arg(match.captured(1)));
        columns[match.captured(2) == QLatin1String("lewy") ? 0 : 1] = column;
    }
    if (columns[0] < 0 || columns[1] < 0)
        return refuse(notBands);

    std::array<TOctaveLevels, 2> levels;
    for (TOctaveLevels& channel : levels)
        channel.fill(std::nan(""));
    while (lines.Next()) {
        if (lines.Text().trimmed().isEmpty())
            continue;
        const std::optional<QStringList> cells = ExchangeFile::CsvCells(lines.Text(), separator);
        const std::optional<double> nominal =
            cells ? NumberFormat::ParseNumber(cells->front()) : std::optional<double>();
        const auto at =
            nominal ? std::find(NoiseOctaves.begin(), NoiseOctaves.end(), *nominal) : NoiseOctaves.end();
        if (cells && nominal && at == NoiseOctaves.end())
            continue; // a band the index does not take
        std::array<std::optional<double>, 2> leqs;
        for (std::size_t channel = 0; channel < 2 && cells; ++channel)
            leqs[channel] = NumberFormat::ParseNumber(cells->value(columns[channel]));
        if (!nominal || !leqs[0] || !leqs[1])
            return refuse(QStringLiteral("wiersz %1 („%2”) nie zawiera pasma i jego poziomów")
                              .arg(lines.Number)
                              .arg(lines.Text().left(60)));
        for (std::size_t channel = 0; channel < 2; ++channel)
            levels[channel][static_cast<std::size_t>(at - NoiseOctaves.begin())] = *leqs[channel];
    }
    if (lines.ReadFailed) {
        failure = ReadFailureMessage(fileName, FileErrorReason(errno));
        return std::nullopt;
    }
    if (lines.Overlong)
        return refuse(notBands);
    for (std::size_t band = 0; band < NoiseOctaves.size(); ++band)
        if (std::isnan(levels[0][band]))
            return refuse(QStringLiteral("brak pasma %1 Hz").arg(NumberFormat::General(NoiseOctaves[band])));
    return levels;
}

} // namespace AnalyserExport
