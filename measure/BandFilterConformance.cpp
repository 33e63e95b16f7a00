// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/BandFilterConformance.h"

#include "analysis/OctaveFilterBank.h"
#include "common/NumberFormat.h"
#include "measure/RealTimeAnalyser.h"

#include <cmath>

namespace {

// A band edge is where a band filter passes half the power of its midband.
constexpr double EdgeResponse = -3.0;

// "31,5 Hz", "1000 Hz", "12,59 kHz": four significant digits are enough to find the frequency.
QString Frequency(double hertz)
{
    if (hertz >= 10000)
        return NumberFormat::Fixed(hertz / 1000, 0, 2) + QStringLiteral(" kHz");
    const int decimals = hertz < 100 ? 2 : hertz < 1000 ? 1 : 0;
    return NumberFormat::Fixed(hertz, 0, decimals) + QStringLiteral(" Hz");
}

// The limits on the attenuation become limits on the response, around the value a row expects:
// 0 dB in the passband, 3 dB down at the band edges, the least attenuation in the stopband.
TConformanceRow Row(const QString& group, const QString& test, const FractionalOctave::TBreakpoint& point,
                    double response)
{
    const double magnitude = std::abs(point.Exponent);
    if (magnitude < 0.5)
        return JudgedRow(group, test, 0, response, -point.Limits.Maximum, -point.Limits.Minimum);
    if (magnitude == 0.5)
        return JudgedRow(group, test, EdgeResponse, response, -point.Limits.Maximum - EdgeResponse,
                         -point.Limits.Minimum - EdgeResponse);
    return JudgedRow(group, test, -point.Limits.Minimum, response, std::nullopt, 0);
}

} // namespace

std::vector<TConformanceRow> BandFilterRows(int bandsPerOctave, int frameRate)
{
    std::vector<TConformanceRow> rows;
    const TOctaveFilterBank bank(bandsPerOctave, frameRate, 0.125);
    const std::vector<FractionalOctave::TBreakpoint> breakpoints =
        FractionalOctave::ClassOneBreakpoints(bandsPerOctave);
    for (int band = 0; band < bank.BandCount(); ++band) {
        const double midband = bank.Band(band).Midband;
        const QString group = QStringLiteral("Filtr ") + BandsText(bandsPerOctave) + QLatin1Char(' ') +
                              Frequency(bank.Band(band).Nominal);
        for (const FractionalOctave::TBreakpoint& point : breakpoints) {
            const double frequency = midband * point.Omega;
            if (frequency < frameRate / 2.0)
                rows.push_back(Row(group, Frequency(frequency), point, bank.ResponseDb(band, frequency)));
        }
    }
    return rows;
}
