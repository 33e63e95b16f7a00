// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ChartDetails.h"

#include "common/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace {

constexpr double WrappedLimit = 180;
constexpr double PercentFloor = 1e-6; // the lowest distortion the % axis shows
const std::array<Qt::PenStyle, 3> DistortionStyles{Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine};
const std::array<const char*, 3> DistortionNames{"H2", "H3", "THD"};

// A distortion figure of a point in the unit shown; nothing when the point has none to show.
std::optional<double> Distortion(const TPointDetail& detail, int which, bool percent)
{
    if (which < 2) {
        const int k = which + 2;
        if (!detail.Has(TPointDetail::HarmonicBit(k)))
            return std::nullopt;
        return percent ? 100 * std::pow(10.0, detail.Harmonic(k) / 20) : detail.Harmonic(k);
    }
    if (!detail.Has(TPointDetail::ThdMeasured) || !(detail.Thd > 0))
        return std::nullopt;
    return percent ? detail.Thd : 20 * std::log10(detail.Thd / 100);
}

// The values' range over the visible graphs; empty (0, 0) when none has a value.
template <std::size_t N> QCPRange VisibleRange(const std::array<QCPGraph*, N>& graphs, QCP::SignDomain domain)
{
    QCPRange range(0, 0);
    bool any = false;
    for (QCPGraph* graph : graphs) {
        bool found = false;
        const QCPRange own = graph->visible() ? graph->data()->valueRange(found, domain) : QCPRange();
        if (!found)
            continue;
        range = any ? QCPRange(std::min(range.lower, own.lower), std::max(range.upper, own.upper)) : own;
        any = true;
    }
    return range;
}

} // namespace

TChartDetails::TChartDetails(QCustomPlot& plot, const TChartModel& model) : Plot(plot), Model(model)
{
    PhaseAxis = Plot.yAxis2;
    PhaseAxis->setLabel(QStringLiteral("Faza [°]"));
    PhaseAxis->setRange(-WrappedLimit, WrappedLimit);
    QSharedPointer<QCPAxisTickerFixed> degrees(new QCPAxisTickerFixed);
    degrees->setTickStep(45);
    degrees->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
    PhaseAxis->setTicker(degrees);
    PhaseAxis->setVisible(false);
    PercentAxis = Plot.axisRect()->addAxis(QCPAxis::atRight);
    PercentAxis->setLabel(QStringLiteral("Zniekształcenia [%]"));
    PercentAxis->setScaleType(QCPAxis::stLogarithmic);
    PercentAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
    PercentAxis->setNumberFormat(QStringLiteral("gb"));
    PercentAxis->setVisible(false);

    const auto add = [&](QCPAxis* valueAxis) {
        QCPGraph* graph = Plot.addGraph(Plot.xAxis, valueAxis);
        graph->removeFromLegend();
        graph->setVisible(false);
        return graph;
    };
    for (QCPGraph*& graph : PhaseGraphs)
        graph = add(PhaseAxis);
    for (std::size_t i = 0; i < DistortionGraphs.size(); ++i) {
        DistortionGraphs[i] = add(Plot.yAxis);
        DistortionGraphs[i]->setName(QString::fromLatin1(DistortionNames[i]));
    }
    OverloadGraph = add(Plot.yAxis);
    OverloadGraph->setLineStyle(QCPGraph::lsNone);
    OverloadGraph->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(Qt::red, 2), Qt::NoBrush, 9));
    OverloadGraph->setName(QStringLiteral("Przesterowanie"));
    UnsettledGraph = add(Plot.yAxis);
    UnsettledGraph->setLineStyle(QCPGraph::lsNone);
    UnsettledGraph->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssDiamond, QPen(QColor(230, 120, 0), 2), Qt::NoBrush, 9));
    UnsettledGraph->setName(QStringLiteral("Nieustalony"));
}

void TChartDetails::SetView(const TDetailView& view)
{
    View = view;
    ReloadAll();
}

void TChartDetails::SetChosenSeries(int series)
{
    Chosen = series >= 0 && series < ResultSeriesCount ? series : -1;
    ReloadDistortion();
    UpdateAxes();
}

void TChartDetails::SetFrequencyKind(bool frequency)
{
    Frequency = frequency;
    ReloadAll();
}

void TChartDetails::SetSeriesPen(int series, const QPen& pen)
{
    if (series < 0 || series >= ResultSeriesCount)
        return;
    QPen dashed = pen;
    dashed.setStyle(Qt::DashLine);
    PhaseGraphs[static_cast<std::size_t>(series)]->setPen(dashed);
    if (series == Chosen)
        ReloadDistortion();
}

void TChartDetails::ReloadAll()
{
    for (int series = 0; series < ResultSeriesCount; ++series)
        ReloadPhase(series);
    ReloadDistortion();
    ReloadMarks();
    UpdateAxes();
}

void TChartDetails::Reload(int series)
{
    if (series < 0 || series >= ResultSeriesCount)
        return;
    ReloadPhase(series);
    if (series == Chosen)
        ReloadDistortion();
    ReloadMarks();
    UpdateAxes();
}

void TChartDetails::ReloadPhase(int series)
{
    const TChartSeriesData& points = Model.Series(series);
    QCPGraph* graph = PhaseGraphs[static_cast<std::size_t>(series)];
    QVector<QCPGraphData> data;
    if (Frequency && View.Phase && Model.Visible(series) && points.HasDetails()) {
        double previous = 0;
        for (int i = 0; i < points.Count(); ++i) {
            const TPointDetail& detail = *points.Detail(i);
            if (!detail.Has(TPointDetail::PhaseMeasured))
                continue;
            double phase = detail.Phase;
            // Unwrapped, each phase is the one of its turns nearest to the phase before it.
            if (View.UnwrappedPhase && !data.isEmpty())
                phase += 360 * std::round((previous - phase) / 360);
            previous = phase;
            data.append(QCPGraphData(points.X(i), phase));
        }
    }
    graph->data()->set(data, true);
    graph->setVisible(!data.isEmpty());
}

void TChartDetails::ReloadDistortion()
{
    const bool any = View.H2 || View.H3 || View.Thd;
    const bool shown = Frequency && any && Chosen >= 0 && Model.Visible(Chosen);
    const TChartSeriesData* points = shown ? &Model.Series(Chosen) : nullptr;
    const std::array<bool, 3> wanted{View.H2, View.H3, View.Thd};
    const QColor colour =
        Chosen >= 0 ? PhaseGraphs[static_cast<std::size_t>(Chosen)]->pen().color() : Qt::black;
    for (std::size_t i = 0; i < DistortionGraphs.size(); ++i) {
        QCPGraph* graph = DistortionGraphs[i];
        QVector<QCPGraphData> data;
        for (int p = 0; wanted[i] && points && points->HasDetails() && p < points->Count(); ++p)
            if (const auto value = Distortion(*points->Detail(p), static_cast<int>(i), View.Percent);
                value && (!View.Percent || *value > 0))
                data.append(QCPGraphData(points->X(p), *value));
        graph->setValueAxis(View.Percent ? PercentAxis : Plot.yAxis);
        graph->setPen(QPen(colour, 1, DistortionStyles[i]));
        graph->data()->set(data, true);
        graph->setVisible(!data.isEmpty());
        ShowInLegend(graph);
    }
}

void TChartDetails::ShowInLegend(QCPGraph* graph)
{
    if (graph->visible())
        graph->addToLegend();
    else
        graph->removeFromLegend();
}

void TChartDetails::FillLegend()
{
    for (QCPGraph* graph : DistortionGraphs)
        ShowInLegend(graph);
    ShowInLegend(OverloadGraph);
    ShowInLegend(UnsettledGraph);
}

// The points marked overloaded, and those whose tone had not settled, of the visible series.
void TChartDetails::ReloadMarks()
{
    QVector<QCPGraphData> overloaded, unsettled;
    for (int series = 0; Frequency && series < ResultSeriesCount; ++series) {
        const TChartSeriesData& points = Model.Series(series);
        if (!Model.Visible(series) || !points.HasDetails())
            continue;
        for (int i = 0; i < points.Count(); ++i) {
            if (points.Detail(i)->Overloaded)
                overloaded.append(QCPGraphData(points.X(i), points.Y(i)));
            if (points.Detail(i)->Unsettled)
                unsettled.append(QCPGraphData(points.X(i), points.Y(i)));
        }
    }
    for (const auto& [graph, data] :
         {std::pair(OverloadGraph, &overloaded), std::pair(UnsettledGraph, &unsettled)}) {
        graph->data()->set(*data, false);
        graph->setVisible(!data->isEmpty());
        ShowInLegend(graph);
    }
}

void TChartDetails::UpdateAxes()
{
    const bool phase =
        std::any_of(PhaseGraphs.begin(), PhaseGraphs.end(), [](QCPGraph* g) { return g->visible(); });
    PhaseAxis->setVisible(Frequency && View.Phase);
    if (phase && View.UnwrappedPhase) {
        const QCPRange range = VisibleRange(PhaseGraphs, QCP::sdBoth);
        PhaseAxis->setRange(std::min(range.lower, -WrappedLimit) - 10,
                            std::max(range.upper, WrappedLimit) + 10);
    } else {
        PhaseAxis->setRange(-WrappedLimit, WrappedLimit);
    }
    PercentAxis->setVisible(Frequency && View.Percent && (View.H2 || View.H3 || View.Thd));
    if (View.Percent) {
        const QCPRange range = VisibleRange(DistortionGraphs, QCP::sdPositive);
        if (range.upper > 0)
            PercentAxis->setRange(std::max(range.lower / 2, PercentFloor),
                                  std::max(range.upper * 2, range.lower * 4));
    }
}

QString TChartDetails::ReadoutNear(double x) const
{
    if (!Frequency || Chosen < 0)
        return {};
    const TChartSeriesData& points = Model.Series(Chosen);
    if (!points.HasDetails() || points.Empty() || !(x > 0))
        return {};
    // Nearest on the axis' scale: by ratio on a logarithmic one.
    const bool logarithmic = Plot.xAxis->scaleType() == QCPAxis::stLogarithmic;
    const auto distance = [&](double at) {
        return logarithmic && at > 0 ? std::abs(std::log(at / x)) : std::abs(at - x);
    };
    int nearest = 0;
    for (int i = 1; i < points.Count(); ++i)
        if (distance(points.X(i)) < distance(points.X(nearest)))
            nearest = i;
    const TPointDetail& detail = *points.Detail(nearest);
    if (detail.Measured == 0 && !detail.Overloaded && !detail.Unsettled)
        return {};
    const QString title = Model.Title(Chosen).isEmpty()
                              ? QStringLiteral("Seria ") + QString::number(Chosen + 1)
                              : Model.Title(Chosen);
    QString text = title + QStringLiteral(": ") + NumberFormat::Fixed(points.X(nearest), 0, 1) +
                   QStringLiteral(" Hz\n") + NumberFormat::Fixed(points.Y(nearest), 0, 2) +
                   QStringLiteral(" dB");
    if (detail.Has(TPointDetail::PhaseMeasured))
        text += QStringLiteral(", faza ") + NumberFormat::Fixed(detail.Phase, 0, 1) + QStringLiteral("°");
    // Four harmonics a line.
    QStringList harmonics;
    for (int k = 2; k <= TPointDetail::HighestHarmonic; ++k) {
        if (detail.Has(TPointDetail::HarmonicBit(k)))
            harmonics << QStringLiteral("H%1 ").arg(k) + NumberFormat::Fixed(detail.Harmonic(k), 0, 1) +
                             QStringLiteral(" dB");
        if ((k == 5 || k == TPointDetail::HighestHarmonic) && !harmonics.isEmpty()) {
            text += QLatin1Char('\n') + harmonics.join(QStringLiteral(", "));
            harmonics.clear();
        }
    }
    if (detail.Has(TPointDetail::ThdMeasured))
        text += QStringLiteral("\nTHD ") + NumberFormat::Fixed(detail.Thd, 0, 4) + QStringLiteral(" %");
    if (detail.Has(TPointDetail::ThdNMeasured))
        text += (detail.Has(TPointDetail::ThdMeasured) ? QStringLiteral(", ") : QStringLiteral("\n")) +
                QStringLiteral("THD+N ") + NumberFormat::Fixed(detail.ThdN, 0, 4) + QStringLiteral(" %");
    if (detail.Overloaded)
        text += QStringLiteral("\nprzesterowanie");
    if (detail.Unsettled)
        text += QStringLiteral("\nton nie ustalił się w maksymalnym czasie ustalania");
    return text;
}
