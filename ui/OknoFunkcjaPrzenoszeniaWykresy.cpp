// SPDX-License-Identifier: GPL-3.0-or-later
// The views of the window "Funkcja przenoszenia": magnitude, phase and coherence over frequency, the
// points below the coherence threshold faint or left out, and the magnitude's spectrogram.

#include "ui/OknoFunkcjaPrzenoszenia.h"

#include "settings/WindowSettings.h"
#include "ui/AxisTickers.h"
#include "ui/SonogramView.h"

#include <QListWidget>
#include <algorithm>
#include <cmath>
#include <limits>
#include <qcustomplot.h>

namespace {

constexpr double WidestLevelSpan = 80; // dB: a curve's deep notches do not squeeze the rest
constexpr double LevelStep = 10;       // dB: the level axis moves in whole steps, so that it keeps still
constexpr int FaintAlpha = 60;
constexpr double Gap = std::numeric_limits<double>::quiet_NaN(); // where a graph's line breaks

// The points whose coherence reaches the threshold, gaps elsewhere; a file without coherence is all
// reliable.
QVector<double> Reliable(const std::vector<double>& values, const std::vector<double>& coherence,
                         double threshold)
{
    QVector<double> shown(static_cast<qsizetype>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
        shown[static_cast<qsizetype>(i)] = coherence.empty() || coherence[i] >= threshold ? values[i] : Gap;
    return shown;
}

void AddGraph(QCustomPlot* chart, const QVector<double>& x, const QVector<double>& y, const QPen& pen,
              const QString& name)
{
    QCPGraph* graph = chart->addGraph();
    graph->setData(x, y, true);
    graph->setPen(pen);
    graph->setName(name);
    if (name.isEmpty())
        graph->removeFromLegend();
}

// A wrapped phase with a gap wherever it jumps by more than half a turn.
void BreakWraps(QVector<double>& frequency, QVector<double>& phase)
{
    QVector<double> x, y;
    x.reserve(frequency.size());
    y.reserve(phase.size());
    for (qsizetype i = 0; i < phase.size(); ++i) {
        if (i > 0 && std::abs(phase[i] - phase[i - 1]) > 180) {
            x.push_back(std::sqrt(frequency[i] * frequency[i - 1]));
            y.push_back(Gap);
        }
        x.push_back(frequency[i]);
        y.push_back(phase[i]);
    }
    frequency.swap(x);
    phase.swap(y);
}

} // namespace

QCustomPlot* TFormaFunkcjaPrzenoszenia::NewChart(const char* name, const QString& xTitle,
                                                 const QString& yTitle, double step)
{
    auto* chart = new QCustomPlot(this);
    chart->setObjectName(QLatin1String(name));
    chart->setMinimumSize(300, 90);
    chart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    chart->xAxis->setLabel(xTitle);
    chart->yAxis->setLabel(yTitle);
    chart->legend->setFont(font());
    chart->xAxis->setScaleType(QCPAxis::stLogarithmic);
    auto ticker = QSharedPointer<TFrequencyAxisTicker>::create(QStringLiteral("####."));
    ticker->SetFrequencyKind(true);
    chart->xAxis->setTicker(ticker);
    chart->xAxis->setRange(20, 20000);
    chart->axisRect()->setRangeZoom(Qt::Horizontal);
    chart->axisRect()->setRangeDrag(Qt::Horizontal);
    if (step > 0) {
        auto fixed = QSharedPointer<QCPAxisTickerFixed>::create();
        fixed->setTickStep(step);
        chart->yAxis->setTicker(fixed);
    }
    // The three charts show the same frequencies: dragging or zooming one moves the others.
    connect(chart->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange& range) {
                for (QCustomPlot* other : {chtModul, chtFaza, chtKoherencja})
                    if (other && other->xAxis->range() != range) {
                        other->xAxis->setRange(range);
                        other->replot(QCustomPlot::rpQueuedReplot);
                    }
            });
    return chart;
}

// Every shown series, then the live curve over them.
void TFormaFunkcjaPrzenoszenia::Redraw()
{
    for (QCustomPlot* chart : {chtModul, chtFaza, chtKoherencja}) {
        chart->clearGraphs();
        chart->clearItems();
    }
    for (std::size_t row = 0; row < Series.size(); ++row)
        if (lstSerie->item(static_cast<int>(row))->checkState() == Qt::Checked)
            DrawCurves(Series[row]->Curves, Series[row]->Colour, Series[row]->Name);
    if (Engine.HasResponse())
        DrawCurves(Engine.Curves(), Qt::black, QStringLiteral("Bieżący pomiar"));
    auto* threshold = new QCPItemStraightLine(chtKoherencja);
    threshold->point1->setCoords(1, Settings.Threshold);
    threshold->point2->setCoords(2, Settings.Threshold);
    threshold->setPen(QPen(QColor(96, 96, 96), 1, Qt::DashLine));
    chtModul->legend->setVisible(chtModul->graphCount() > 0);
    chtFaza->yAxis->setRange(-185, 185);
    chtKoherencja->yAxis->setRange(0, 1.05);
    FitLevels();
    for (QCustomPlot* chart : {chtModul, chtFaza, chtKoherencja})
        chart->replot(QCustomPlot::rpQueuedReplot);
}

void TFormaFunkcjaPrzenoszenia::DrawCurves(const TTransferCurves& curves, const QColor& colour,
                                           const QString& name)
{
    const QVector<double> frequency(curves.Frequency.begin(), curves.Frequency.end());
    const bool hidden = Settings.BelowThreshold == 1;
    QColor faint = colour;
    faint.setAlpha(FaintAlpha);
    const auto draw = [&](QCustomPlot* chart, const std::vector<double>& values, bool wrapped, bool named) {
        QVector<double> x = frequency, xReliable = frequency, all(values.begin(), values.end());
        QVector<double> reliable = Reliable(values, curves.Coherence, Settings.Threshold);
        if (wrapped) {
            BreakWraps(x, all);
            BreakWraps(xReliable, reliable);
        }
        if (!hidden)
            AddGraph(chart, x, all, QPen(faint), QString());
        AddGraph(chart, xReliable, reliable, QPen(colour), named ? name : QString());
    };
    draw(chtModul, curves.MagnitudeDb, false, true);
    draw(chtFaza, curves.PhaseDegrees, true, false);
    if (!curves.Coherence.empty())
        AddGraph(chtKoherencja, frequency, QVector<double>(curves.Coherence.begin(), curves.Coherence.end()),
                 QPen(colour), QString());
}

// The level axis over what is shown in the frequencies in view, in whole steps, no wider than
// WidestLevelSpan below the top.
void TFormaFunkcjaPrzenoszenia::FitLevels()
{
    bool found = false;
    QCPRange range;
    for (int i = 0; i < chtModul->graphCount(); ++i) {
        bool any = false;
        const QCPRange graph = chtModul->graph(i)->getValueRange(any, QCP::sdBoth, chtModul->xAxis->range());
        if (any)
            range = found ? QCPRange(std::min(range.lower, graph.lower), std::max(range.upper, graph.upper))
                          : graph;
        found = found || any;
    }
    if (!found) {
        chtModul->yAxis->setRange(-40, 20);
        return;
    }
    const double upper = std::ceil((range.upper + 1) / LevelStep) * LevelStep;
    const double lower =
        std::max(std::floor((range.lower - 1) / LevelStep) * LevelStep, upper - WidestLevelSpan);
    chtModul->yAxis->setRange(lower, upper);
}

void TFormaFunkcjaPrzenoszenia::AddSpectrogramColumn()
{
    if (!Engine.Measuring() || !Engine.HasResponse())
        return;
    const TTransferCurves& curves = Engine.Curves();
    chtSpektrogram->AddColumn(curves.Frequency, curves.MagnitudeDb);
    const QCPRange levels = chtModul->yAxis->range();
    chtSpektrogram->SetLevelRange(levels.lower, levels.upper, QStringLiteral("|H| [dB]"));
}
