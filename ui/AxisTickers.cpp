// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AxisTickers.h"

#include "common/NumberFormat.h"

#include <algorithm>
#include <array>
#include <cmath>

const double FrequencyLabelTable[FrequencyLabelCount] = {
    10,  20,  30,  40,   50,   60,   70,   80,   90,   100,  200,  300,  400,   500,   600,
    700, 800, 900, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 15000, 20000};

namespace {

constexpr std::array<double, 12> HiddenLabels = {40, 60, 80, 90, 400, 600, 800, 900, 4000, 6000, 8000, 9000};
constexpr std::array<double, 8> KiloLabels = {1000, 2000, 3000, 5000, 7000, 10000, 15000, 20000};

const QString WideFormat = QStringLiteral("####.");
const QString NarrowFormat = QStringLiteral("####.00");

} // namespace

namespace {

// The decimals a label format writes: those always written ("0") and those written when not zero ("#").
void FormatDecimals(const QString& format, int& required, int& optional)
{
    required = optional = 0;
    const qsizetype point = format.indexOf('.');
    if (point >= 0)
        for (qsizetype i = point + 1; i < format.size(); ++i) {
            if (format[i] == '0')
                ++required;
            else if (format[i] == '#')
                ++optional;
        }
}

} // namespace

QString FormatAxisLabel(double value, const QString& format)
{
    int required = 0, optional = 0;
    FormatDecimals(format, required, optional);
    QString text = NumberFormat::Fixed(value, 0, required + optional);
    for (int dropped = 0; dropped < optional && text.endsWith('0'); ++dropped)
        text.chop(1);
    if (required + optional > 0 && text.endsWith(NumberFormat::DecimalSeparator()))
        text.chop(1);
    return text;
}

QString FrequencyLabelText(double value, const QString& format)
{
    const QString text = FormatAxisLabel(value, format);
    for (double hidden : HiddenLabels)
        if (text == FormatAxisLabel(hidden, format))
            return {};
    for (double kilo : KiloLabels)
        if (text == FormatAxisLabel(kilo, format))
            return NumberFormat::Integer(static_cast<long long>(kilo / 1000)) + 'k';
    return text;
}

TLinearAxisTicker::TLinearAxisTicker(const QString& format, int subTicks) : Format(format), SubTicks(subTicks)
{
}

double TLinearAxisTicker::getTickStep(const QCPRange& range)
{
    int required = 0, optional = 0;
    FormatDecimals(Format, required, optional);
    const double resolution = std::pow(10.0, -(required + optional)); // the finest step the labels show
    const double step = QCPAxisTicker::getTickStep(range);
    if (step <= resolution)
        return resolution;
    const double units = step / resolution;
    if (std::abs(units - std::round(units)) < 1e-6 * units)
        return step;
    // A step of 2.5 x 10^k finer than the labels: 2 or 5 x 10^k, whichever is nearer the step that
    // would give the wanted count of ticks.
    const double wanted = range.size() / tickCount();
    const double two = step / 2.5 * 2, five = step / 2.5 * 5;
    return std::abs(std::log(two / wanted)) <= std::abs(std::log(five / wanted)) ? two : five;
}

int TLinearAxisTicker::getSubTickCount(double tickStep)
{
    return SubTicks >= 0 ? SubTicks : QCPAxisTicker::getSubTickCount(tickStep);
}

QString TLinearAxisTicker::getTickLabel(double tick, const QLocale&, QChar, int)
{
    return FormatAxisLabel(tick, Format);
}

TFrequencyAxisTicker::TFrequencyAxisTicker(const QString& format) : Format(format), Effective(format) {}

void TFrequencyAxisTicker::generate(const QCPRange& range, const QLocale& locale, QChar formatChar,
                                    int precision, QVector<double>& ticks, QVector<double>* subTicks,
                                    QVector<QString>* tickLabels)
{
    if (!FrequencyKind) {
        Mode = TMode::Logarithmic;
        Effective = Format;
    } else if (range.upper != range.lower && range.lower != 0 && range.upper / range.lower < 3) {
        Mode = TMode::Narrow;
        Effective = NarrowFormat;
    } else {
        Mode = TMode::Table;
        Effective = WideFormat;
    }
    QCPAxisTickerLog::generate(range, locale, formatChar, precision, ticks, subTicks, tickLabels);
}

int TFrequencyAxisTicker::getSubTickCount(double tickStep)
{
    switch (Mode) {
    case TMode::Narrow:
        return QCPAxisTicker::getSubTickCount(tickStep);
    case TMode::Table:
        return 0; // every table value already has its tick
    case TMode::Logarithmic:
        break;
    }
    return QCPAxisTickerLog::getSubTickCount(tickStep);
}

QVector<double> TFrequencyAxisTicker::createTickVector(double tickStep, const QCPRange& range)
{
    switch (Mode) {
    case TMode::Narrow:
        return QCPAxisTicker::createTickVector(tickStep, range);
    case TMode::Table: {
        // From the first table value not below the minimum, while inside the range.
        const double* first =
            std::lower_bound(FrequencyLabelTable, FrequencyLabelTable + FrequencyLabelCount, range.lower);
        QVector<double> ticks;
        for (const double* value = first;
             value != FrequencyLabelTable + FrequencyLabelCount && *value <= range.upper; ++value)
            ticks.append(*value);
        return ticks;
    }
    case TMode::Logarithmic:
        break;
    }
    return QCPAxisTickerLog::createTickVector(tickStep, range);
}

QString TFrequencyAxisTicker::getTickLabel(double tick, const QLocale&, QChar, int)
{
    return FrequencyLabelText(tick, Effective);
}
