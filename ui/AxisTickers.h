// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>
#include <qcustomplot.h>

// An axis label written with a label format: the digits after "." are the decimals, "0" always
// written, "#" only when not zero ("#0.0" -> "12,5", "####." -> "13", "#,##0.0#" -> "12,25" or "12,5").
QString FormatAxisLabel(double value, const QString& format);

// The label of a logarithmic frequency axis: round values written with "k", crowded ones left empty
// (the tick stays). The format is the axis's label format.
QString FrequencyLabelText(double value, const QString& format);

// The fixed label values of a logarithmic frequency axis.
inline constexpr int FrequencyLabelCount = 30;
extern const double FrequencyLabelTable[FrequencyLabelCount];

// Ticks of a linear axis, labelled with the axis's label format, at steps the format writes exactly:
// never finer than its last decimal, and 2 or 5 instead of 2.5 where that decimal is missing (no
// "2,2 2,5 2,8" under "#0.0").
class TLinearAxisTicker : public QCPAxisTicker
{
public:
    explicit TLinearAxisTicker(const QString& format, int subTicks = -1);
    void SetFormat(const QString& format) { Format = format; }

protected:
    double getTickStep(const QCPRange& range) override;
    int getSubTickCount(double tickStep) override;
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar, int precision) override;

private:
    QString Format;
    int SubTicks; // -1: as the step suggests
};

// Ticks of the logarithmic bottom axis. In the frequency-characteristic kind a wide range gets ticks at
// the label table's values with the format "####.", and a range narrower than 1:3 evenly spaced ticks
// with "####.00"; otherwise the ordinary logarithmic ticks with the axis's own format.
class TFrequencyAxisTicker : public QCPAxisTickerLog
{
public:
    explicit TFrequencyAxisTicker(const QString& format);
    void SetFormat(const QString& format) { Format = format; }
    void SetFrequencyKind(bool frequencyKind) { FrequencyKind = frequencyKind; }

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) override;

protected:
    int getSubTickCount(double tickStep) override;
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override;
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar, int precision) override;

private:
    enum class TMode { Logarithmic, Narrow, Table };
    QString Format;
    QString Effective;
    bool FrequencyKind = false;
    TMode Mode = TMode::Logarithmic;
};
