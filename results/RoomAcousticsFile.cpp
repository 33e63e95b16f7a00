// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/RoomAcousticsFile.h"

#include "common/NumberFormat.h"
#include "results/TextFiles.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace RoomAcousticsFile {

namespace {

const QString LineEnd = QStringLiteral("\r\n");
const QString Separator = QStringLiteral(";");
const QString None = QStringLiteral("-");
constexpr double LargestXi = 10, LargestCurvature = 10; // per mille, %

QString Shown(double value, int decimals)
{
    return std::isfinite(value) ? NumberFormat::Fixed(value, 0, decimals) : None;
}

QString Exact(double value)
{
    return std::isfinite(value) ? NumberFormat::Exact(value) : QString();
}

// The figures of a row in the order of the header, after the band's name.
std::vector<double> Figures(const TRoomBand& band)
{
    return {band.Edt.Seconds, band.T20.Seconds, band.T30.Seconds, band.C50,    band.C80,      band.D50,
            band.Ts,          band.Inr,         band.T20.Xi,      band.T30.Xi, band.Curvature};
}
constexpr int Decimals[] = {2, 2, 2, 1, 1, 1, 0, 1, 1, 1, 1};

QString FitNote(const QString& name, const TDecayFit& fit, const TRoomBand& band)
{
    switch (fit.Refusal) {
    case TRoomRefusal::ShortRange:
        return QStringLiteral("%1: INR %2 dB < %3 dB")
            .arg(name, NumberFormat::Fixed(band.Inr, 0, 1), NumberFormat::General(fit.RangeNeeded));
    case TRoomRefusal::CurveTooShort:
        return QStringLiteral("%1: krzywa zaniku nie sięga zakresu dopasowania").arg(name);
    case TRoomRefusal::NoDecay:
        return QString();
    case TRoomRefusal::None:
        break;
    }
    if (fit.Xi > LargestXi && &fit != &band.Edt)
        return QStringLiteral("%1: nieliniowość ξ %2 ‰ > 10 ‰").arg(name, NumberFormat::Fixed(fit.Xi, 0, 1));
    return QString();
}

std::array<std::pair<QString, const TDecayFit*>, 3> NamedFits(const TRoomBand& band)
{
    return {{{QStringLiteral("EDT"), &band.Edt},
             {QStringLiteral("T20"), &band.T20},
             {QStringLiteral("T30"), &band.T30}}};
}

QString Row(const QStringList& cells)
{
    return cells.join(Separator) + LineEnd;
}

} // namespace

QStringList Header()
{
    return {QStringLiteral("Pasmo [Hz]"), QStringLiteral("EDT [s]"),  QStringLiteral("T20 [s]"),
            QStringLiteral("T30 [s]"),    QStringLiteral("C50 [dB]"), QStringLiteral("C80 [dB]"),
            QStringLiteral("D50 [%]"),    QStringLiteral("Ts [ms]"),  QStringLiteral("INR [dB]"),
            QStringLiteral("ξ20 [‰]"),    QStringLiteral("ξ30 [‰]"),  QStringLiteral("C [%]"),
            QStringLiteral("Uwagi")};
}

std::vector<const TRoomBand*> Rows(const TRoomFigures& figures)
{
    std::vector<const TRoomBand*> rows;
    for (const TRoomBand& band : figures.Bands)
        rows.push_back(&band);
    rows.push_back(&figures.BroadbandZ);
    rows.push_back(&figures.BroadbandA);
    return rows;
}

QString BandName(const TRoomBand& band)
{
    return band.Midband > 0 ? NumberFormat::General(band.Nominal) : QString(QLatin1Char(band.Weighting));
}

QStringList Cells(const TRoomBand& band)
{
    QStringList cells{BandName(band)};
    const std::vector<double> figures = Figures(band);
    for (std::size_t i = 0; i < figures.size(); ++i)
        cells << Shown(figures[i], Decimals[i]);
    return cells << Notes(band);
}

QString Notes(const TRoomBand& band)
{
    if (band.Refusal == TRoomRefusal::NoDecay)
        return QStringLiteral("brak zaniku ponad szumem");
    QStringList notes;
    for (const auto& [name, fit] : NamedFits(band))
        if (const QString note = FitNote(name, *fit, band); !note.isEmpty())
            notes << note;
    // As shown, in whole percent: a curvature a hair below 0 is the fits' scatter, not a fault.
    if (std::isfinite(band.Curvature) &&
        (std::round(band.Curvature) < 0 || std::round(band.Curvature) > LargestCurvature))
        notes
            << QStringLiteral("krzywizna C %1 % poza 0–10 %").arg(NumberFormat::Fixed(band.Curvature, 0, 1));
    // The figures a band filter this narrow may lengthen, with the smallest of their B*T.
    QStringList narrow;
    double smallest = SmallestBandwidthTime;
    for (const auto& [name, fit] : NamedFits(band))
        if (fit->BandwidthTime < SmallestBandwidthTime) {
            narrow << name;
            smallest = std::min(smallest, fit->BandwidthTime);
        }
    if (!narrow.isEmpty())
        notes << QStringLiteral("B·T %1 < 16 (%2): filtr pasma może wydłużać zanik")
                     .arg(NumberFormat::Fixed(smallest, 0, 1), narrow.join(QStringLiteral(", ")));
    return notes.join(QStringLiteral("; "));
}

QString StiText(const TRoomFigures& figures)
{
    if (!figures.StiValid)
        return QStringLiteral("STI: - (w którymś z pasm oktawowych 125 Hz–8 kHz brak zaniku ponad szumem)");
    return QStringLiteral("STI: ") + NumberFormat::Fixed(figures.Sti.Value, 0, 2) +
           (figures.Sti.Full ? QStringLiteral(" (z poziomem mowy i hałasem tła)")
                             : QStringLiteral(" (tylko pogłos)"));
}

bool Write(const QString& fileName, const TRoomFigures& figures, const QString& source, QString& failure)
{
    QStringList header = Header();
    header[0] +=
        QStringLiteral(" (%1, %2)")
            .arg(figures.BandsPerOctave == 3 ? QStringLiteral("1/3 oktawy") : QStringLiteral("1/1 oktawy"),
                 source);
    TTextFileWriter writer(fileName);
    writer.Add(Row(header));
    for (const TRoomBand* band : Rows(figures)) {
        QStringList cells{BandName(*band)};
        for (const double value : Figures(*band))
            cells << Exact(value);
        writer.Add(Row(cells << Notes(*band)));
    }
    writer.Add(Row({QStringLiteral("STI"), figures.StiValid ? Exact(figures.Sti.Value) : QString(),
                    figures.StiValid ? (figures.Sti.Full ? QStringLiteral("z poziomem mowy i hałasem tła")
                                                         : QStringLiteral("tylko pogłos"))
                                     : QStringLiteral("brak")}));
    return writer.Finish(failure);
}

} // namespace RoomAcousticsFile
