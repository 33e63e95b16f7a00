// SPDX-License-Identifier: GPL-3.0-or-later
// The views of the window "Odpowiedź impulsowa": the impulse (linear and in dB) with the gate, which
// the mouse drags, and the curves over frequency.

#include "ui/OknoOdpowiedzImpulsowa.h"

#include "ui/AxisTickers.h"
#include "ui/OknoAkustykaPomieszczenia.h"
#include "ui/PlotGraph.h"

#include <QComboBox>
#include <QListWidget>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace {

constexpr double GrabPixels = 6;        // how near a gate line the mouse takes it
constexpr double ViewBefore = 0.01;     // s of the impulse shown before its peak
constexpr double ViewAfter = 0.1;       // and after it
constexpr double LowestShownDb = -160;  // the impulse in dB: silence lies here
constexpr double WidestLevelSpan = 100; // dB: a curve's deep notches do not squeeze the rest
constexpr int GateCurvePoints = 800;
constexpr std::array<Qt::PenStyle, TImpulseResponse::HarmonicCount> HarmonicPens = {
    Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine};

QVector<double> Vector(const std::vector<double>& values, double scale = 1)
{
    QVector<double> vector(static_cast<qsizetype>(values.size()));
    std::transform(values.begin(), values.end(), vector.begin(), [scale](double x) { return x * scale; });
    return vector;
}

void VerticalLine(QCustomPlot* chart, double x, const QPen& pen)
{
    auto* line = new QCPItemStraightLine(chart);
    line->point1->setCoords(x, 0);
    line->point2->setCoords(x, 1);
    line->setPen(pen);
}

// The value axis over the data, no wider than WidestLevelSpan from the top when `levels`.
void FitValues(QCustomPlot* chart, bool levels)
{
    bool found = false;
    QCPRange range;
    for (int i = 0; i < chart->graphCount(); ++i) {
        bool any = false;
        const QCPRange graph = chart->graph(i)->getValueRange(any, QCP::sdBoth, chart->xAxis->range());
        if (any)
            range = found ? QCPRange(std::min(range.lower, graph.lower), std::max(range.upper, graph.upper))
                          : graph;
        found = found || any;
    }
    if (!found)
        return;
    if (levels)
        range.lower = std::max(range.lower, range.upper - WidestLevelSpan);
    const double margin = std::max(0.05 * range.size(), levels ? 1.0 : 1e-9);
    chart->yAxis->setRange(range.lower - margin, range.upper + margin);
}

} // namespace

QCustomPlot* TFormaOdpowiedzImpulsowa::NewChart(const char* name, const QString& xTitle,
                                                const QString& yTitle, bool logarithmic)
{
    auto* chart = new QCustomPlot(this);
    chart->setObjectName(QLatin1String(name));
    chart->setMinimumSize(300, 160);
    chart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    chart->xAxis->setLabel(xTitle);
    chart->yAxis->setLabel(yTitle);
    chart->legend->setFont(font());
    if (logarithmic) {
        chart->xAxis->setScaleType(QCPAxis::stLogarithmic);
        auto ticker = QSharedPointer<TFrequencyAxisTicker>::create(QStringLiteral("####."));
        ticker->SetFrequencyKind(true);
        chart->xAxis->setTicker(ticker);
        chart->axisRect()->setRangeZoom(Qt::Horizontal);
        chart->axisRect()->setRangeDrag(Qt::Horizontal);
    }
    return chart;
}

void TFormaOdpowiedzImpulsowa::Redraw()
{
    DrawImpulses();
    DrawCurves();
    ShowRoom();
}

void TFormaOdpowiedzImpulsowa::ShowRoom()
{
    std::vector<TFormaAkustykaPomieszczenia::TEntry> entries;
    const TPomiar* current = Current();
    for (std::size_t row = 0; row < Measurements.size(); ++row) {
        const TPomiar& pomiar = *Measurements[row];
        entries.push_back({pomiar.Name, pomiar.Colour, pomiar.Response.get(),
                           lstPomiary->item(static_cast<int>(row))->checkState() == Qt::Checked,
                           &pomiar == current});
    }
    AkustykaPomieszczenia->SetEntries(std::move(entries));
}

void TFormaOdpowiedzImpulsowa::DrawImpulses()
{
    for (QCustomPlot* chart : {chtImpuls, chtImpulsDb}) {
        chart->clearGraphs();
        chart->clearItems();
    }
    const TPomiar* current = Current();
    for (std::size_t row = 0; row < Measurements.size(); ++row) {
        const TPomiar& pomiar = *Measurements[row];
        if (!pomiar.Response || lstPomiary->item(static_cast<int>(row))->checkState() != Qt::Checked)
            continue;
        const TImpulseResponse& response = *pomiar.Response;
        const std::vector<double>& samples = response.Linear.Samples;
        QVector<double> time(static_cast<qsizetype>(samples.size())), level(time.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            time[static_cast<qsizetype>(i)] = response.TimeOf(response.Linear, static_cast<double>(i)) * 1000;
            level[static_cast<qsizetype>(i)] =
                std::max(LowestShownDb, 20 * std::log10(std::max(std::abs(samples[i]), 1e-12)));
        }
        AddGraph(chtImpuls, time, Vector(samples), QPen(pomiar.Colour), pomiar.Name);
        AddGraph(chtImpulsDb, time, level, QPen(pomiar.Colour), pomiar.Name);
    }
    if (current && current->Response) {
        const TGate& gate = current->Gate;
        const QPen edge(QColor(96, 96, 96), 1, Qt::DashLine);
        for (QCustomPlot* chart : {chtImpuls, chtImpulsDb}) {
            VerticalLine(chart, gate.Start * 1000, edge);
            VerticalLine(chart, gate.End * 1000, edge);
        }
        // The gate's window over the linear view, as tall as the response's largest sample.
        const std::vector<double>& samples = current->Response->Linear.Samples;
        const double largest =
            samples.empty()
                ? 1.0
                : std::abs(*std::max_element(samples.begin(), samples.end(),
                                             [](double a, double b) { return std::abs(a) < std::abs(b); }));
        QVector<double> time(GateCurvePoints), weight(GateCurvePoints);
        for (int i = 0; i < GateCurvePoints; ++i) {
            const double t = gate.Start + (gate.End - gate.Start) * i / (GateCurvePoints - 1);
            time[i] = t * 1000;
            weight[i] = gate.Weight(t) * largest;
        }
        AddGraph(chtImpuls, time, weight, edge, QStringLiteral("Bramka"));
    }
    chtImpulsDb->yAxis->setRange(LowestShownDb, 10);
    FitValues(chtImpuls, false);
    chtImpuls->replot();
    chtImpulsDb->replot();
}

void TFormaOdpowiedzImpulsowa::DrawCurves()
{
    for (QCustomPlot* chart : {chtModul, chtFaza, chtOpoznienie, chtZnieksztalcenia}) {
        chart->clearGraphs();
        chart->clearItems();
    }
    const auto phase = static_cast<TPhaseKind>(std::max(cbFaza->currentIndex(), 0));
    QCPRange band;
    bool any = false;
    for (std::size_t row = 0; row < Measurements.size(); ++row) {
        const TPomiar& pomiar = *Measurements[row];
        const TResponseCurves& curves = pomiar.Curves;
        if (curves.Frequency.empty() || lstPomiary->item(static_cast<int>(row))->checkState() != Qt::Checked)
            continue;
        const QVector<double> frequency = Vector(curves.Frequency);
        const QPen pen(pomiar.Colour);
        AddGraph(chtModul, frequency, Vector(curves.MagnitudeDb), pen, pomiar.Name);
        if (curves.PhaseOf(phase).size() == curves.Frequency.size())
            AddGraph(chtFaza, frequency, Vector(curves.PhaseOf(phase)), pen, pomiar.Name);
        if (curves.GroupDelay.size() == curves.Frequency.size())
            AddGraph(chtOpoznienie, frequency, Vector(curves.GroupDelay, 1000), pen, pomiar.Name);
        for (std::size_t h = 0; h < curves.DistortionFrequency.size(); ++h)
            if (!curves.DistortionFrequency[h].empty())
                AddGraph(chtZnieksztalcenia, Vector(curves.DistortionFrequency[h]),
                         Vector(curves.DistortionDb[h]), QPen(pomiar.Colour, 1, HarmonicPens[h]),
                         QStringLiteral("%1: H%2").arg(pomiar.Name).arg(h + TImpulseResponse::FirstHarmonic));
        const QCPRange own(curves.Frequency.front(), curves.Frequency.back());
        band = any ? QCPRange(std::min(band.lower, own.lower), std::max(band.upper, own.upper)) : own;
        any = true;
    }
    const TPomiar* current = Current();
    if (current && current->Response && current->Curves.LowestValidHz > 0)
        for (QCustomPlot* chart : {chtModul, chtFaza, chtOpoznienie})
            VerticalLine(chart, current->Curves.LowestValidHz, QPen(QColor(96, 96, 96), 1, Qt::DotLine));
    for (QCustomPlot* chart : {chtModul, chtFaza, chtOpoznienie, chtZnieksztalcenia}) {
        if (any)
            chart->xAxis->setRange(band);
        FitValues(chart, chart != chtFaza && chart != chtOpoznienie);
        chart->legend->setVisible(chart->graphCount() > 0 &&
                                  (chart == chtModul || chart == chtZnieksztalcenia));
        chart->replot();
    }
}

void TFormaOdpowiedzImpulsowa::ShowImpulseAround(const TPomiar& pomiar)
{
    if (!pomiar.Response)
        return;
    const TGate whole = pomiar.Response->WholeGate();
    const QCPRange view(std::max(whole.Start, whole.Peak - ViewBefore) * 1000,
                        std::min(whole.End, whole.Peak + ViewAfter) * 1000);
    for (QCustomPlot* chart : {chtImpuls, chtImpulsDb})
        chart->xAxis->setRange(view);
}

TFormaOdpowiedzImpulsowa::TGateEdge TFormaOdpowiedzImpulsowa::EdgeAt(QCustomPlot* chart, double x) const
{
    const TPomiar* pomiar = Current();
    if (!pomiar || !pomiar->Response)
        return TGateEdge::None;
    const double start = std::abs(chart->xAxis->coordToPixel(pomiar->Gate.Start * 1000) - x);
    const double end = std::abs(chart->xAxis->coordToPixel(pomiar->Gate.End * 1000) - x);
    if (std::min(start, end) > GrabPixels)
        return TGateEdge::None;
    return start <= end ? TGateEdge::Start : TGateEdge::End;
}

void TFormaOdpowiedzImpulsowa::DragGate(TGateEdge edge, double milliseconds)
{
    TPomiar* pomiar = Current();
    if (!pomiar || !pomiar->Response)
        return;
    const double seconds = milliseconds / 1000;
    SetGate(*pomiar, edge == TGateEdge::Start ? seconds : pomiar->Gate.Start,
            edge == TGateEdge::End ? seconds : pomiar->Gate.End, false);
}

// On the impulse views a press near a gate line takes it, the mouse moves it, and the release analyses
// the response within the new gate; elsewhere the views drag and zoom as usual.
bool TFormaOdpowiedzImpulsowa::eventFilter(QObject* watched, QEvent* event)
{
    auto* chart = qobject_cast<QCustomPlot*>(watched);
    if (chart == nullptr || (chart != chtImpuls && chart != chtImpulsDb))
        return QWidget::eventFilter(watched, event);
    const auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (mouse == nullptr)
        return QWidget::eventFilter(watched, event);
    const double x = mouse->position().x();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton || (Dragging = EdgeAt(chart, x)) == TGateEdge::None)
            break;
        chart->setInteractions({});
        return true;
    case QEvent::MouseMove:
        if (Dragging != TGateEdge::None) {
            DragGate(Dragging, chart->xAxis->pixelToCoord(x));
            return true;
        }
        chart->setCursor(EdgeAt(chart, x) == TGateEdge::None ? Qt::ArrowCursor : Qt::SizeHorCursor);
        break;
    case QEvent::MouseButtonRelease:
        if (Dragging == TGateEdge::None)
            break;
        Dragging = TGateEdge::None;
        chart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
        if (TPomiar* pomiar = Current()) {
            Analyse(*pomiar);
            Redraw();
        }
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
