// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ConformanceTest.h"

#include "common/NumberFormat.h"

TConformanceRow JudgedRow(const QString& group, const QString& test, double expected,
                          std::optional<double> measured, std::optional<double> lower,
                          std::optional<double> upper, const QString& unit)
{
    constexpr double Slack = 1e-9; // the limits themselves pass
    TConformanceRow row{group, test, expected, measured, lower, upper, unit, QString(), false};
    row.Passed = measured && (!upper || *measured <= expected + *upper + Slack) &&
                 (!lower || *measured >= expected + *lower - Slack);
    return row;
}

std::vector<TConformanceSection> ConformanceSections()
{
    return {MeterConformanceRows};
}

std::vector<TConformanceRow> RunConformanceTest(const TConformanceSetup& setup)
{
    std::vector<TConformanceRow> rows;
    for (const TConformanceSection section : ConformanceSections()) {
        std::vector<TConformanceRow> part = section(setup);
        rows.insert(rows.end(), part.begin(), part.end());
    }
    return rows;
}

QString ExpectedText(const TConformanceRow& row)
{
    return NumberFormat::Fixed(row.Expected, 0, 1) + row.Unit;
}

QString MeasuredText(const TConformanceRow& row)
{
    if (!row.Measured)
        return row.Note;
    return NumberFormat::Fixed(*row.Measured, 0, 2) + row.Unit;
}

QString ToleranceText(const TConformanceRow& row)
{
    const auto limit = [](std::optional<double> value, const QString& unbounded) {
        if (!value)
            return unbounded;
        return (*value >= 0 ? QStringLiteral("+") : QString()) + NumberFormat::Fixed(*value, 0, 1);
    };
    if (row.Lower && row.Upper && *row.Lower == -*row.Upper)
        return QStringLiteral("±") + NumberFormat::Fixed(*row.Upper, 0, 1) + row.Unit;
    return limit(row.Upper, QStringLiteral("+∞")) + QStringLiteral(" / ") +
           limit(row.Lower, QStringLiteral("-∞")) + row.Unit;
}

QString VerdictText(const TConformanceRow& row)
{
    return row.Passed ? QStringLiteral("Zgodny") : QStringLiteral("Niezgodny");
}
