// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/RealTimeAnalyser.h"

#include <QString>
#include <array>
#include <qcustomplot.h>
#include <vector>

class TFrequencyAxisTicker;

// The analyser's picture "chtWidmo" on a logarithmic frequency axis: the bands of both channels as
// bars side by side (with each band's Lmax as a mark when peaks are held), or the FFT spectrum as
// lines (with the peak hold as thinner ones). The level axis follows the loudest level shown, in
// 10 dB steps. A cross-hair follows the mouse; its read-out names the level and the frequency under
// it and, over bands, that band's levels.
class TAnalyserChart : public QCustomPlot
{
    Q_OBJECT
public:
    static constexpr double LevelSpan = 100; // dB from the bottom of the level axis to its top

    explicit TAnalyserChart(QWidget* parent = nullptr);

    void SetUnit(const QString& unit); // "dB", "dB(A)", "dB/Hz", ...
    // channels: which of left and right are shown.
    void ShowBands(const std::vector<TBandReading>& bands, std::array<bool, 2> channels, bool peaks);
    void ShowSpectrum(const TSpectrumReading& spectrum, std::array<bool, 2> channels, bool peaks);

    // The read-out for the mouse at `position` (widget coordinates); empty outside the plot.
    QString ReadoutAt(const QPoint& position) const;

signals:
    void ReadoutChanged(const QString& text);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void FitLevelAxis(double highest);
    void ShowMode(bool bands);
    void Redraw(const QCPRange& frequencies, const QCPRange& levels); // the ranges before the change

    QSharedPointer<TFrequencyAxisTicker> FrequencyTicker;
    std::array<QCPBars*, 2> Bars{};
    std::array<QCPGraph*, 2> Lines{}, Peaks{};
    QCPItemStraightLine *CrossVertical{}, *CrossHorizontal{};
    std::vector<TBandReading> Shown; // the bands drawn last; empty in the FFT view
    QString Unit = QStringLiteral("dB");
    bool ShownBefore = true; // whether the picture drawn last was the FFT view
};
