// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "settings/WindowSettings.h"

#include <QPen>
#include <QString>
#include <array>

class QCPAxis;
class QCPGraph;
class QCustomPlot;

// What the chart of the frequency kind draws beside the levels of synchronously detected points: the
// phase of every visible result series on a second axis (degrees, wrapped to +-180 or unwrapped along
// the frequency), H2, H3 and THD of the chosen series (in dB of the fundamental on the level axis, or in
// % on a logarithmic axis of their own), and a mark on every overloaded point. The graphs follow the
// chart model; points without the value drawn are left out.
class TChartDetails
{
public:
    TChartDetails(QCustomPlot& plot, const TChartModel& model);

    void SetView(const TDetailView& view);
    void SetChosenSeries(int series); // -1: none
    void SetFrequencyKind(bool frequency);
    void SetSeriesPen(int series, const QPen& pen);
    // The points or the visibility of a chart series changed.
    void Reload(int series);
    void ReloadAll();
    // Puts the distortion and overload graphs shown into the legend (after it was emptied).
    void FillLegend();

    // The values of the chosen series' point nearest to x (on the bottom axis' scale), a line each;
    // empty when the series holds no detected point.
    QString ReadoutNear(double x) const;

private:
    void ReloadPhase(int series);
    void ReloadDistortion();
    void ReloadMarks();
    void UpdateAxes();
    static void ShowInLegend(QCPGraph* graph);

    QCustomPlot& Plot;
    const TChartModel& Model;
    TDetailView View;
    int Chosen = -1;
    bool Frequency = false;
    std::array<QCPGraph*, ResultSeriesCount> PhaseGraphs{};
    std::array<QCPGraph*, 3> DistortionGraphs{}; // H2, H3, THD
    QCPGraph* OverloadGraph = nullptr;
    QCPGraph* UnsettledGraph = nullptr;
    QCPAxis* PhaseAxis = nullptr;
    QCPAxis* PercentAxis = nullptr;
};
