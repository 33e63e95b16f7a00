// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/AnalyserExport.h"

#include "common/NumberFormat.h"
#include "measure/RealTimeAnalyser.h"
#include "results/TextFiles.h"

#include <QStringList>

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

} // namespace AnalyserExport
