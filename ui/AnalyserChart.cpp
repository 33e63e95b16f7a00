// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AnalyserChart.h"

#include "common/NumberFormat.h"
#include "ui/AxisTickers.h"
#include "ui/ChartView.h"

#include <algorithm>
#include <cmath>

namespace {

// The channel colours of the main chart's live series: left red, right blue.
const std::array<QColor, 2> ChannelColours{ColourFromBgr(0x0000FF), ColourFromBgr(0xFF0000)};
constexpr double BarShare = 0.8; // of a band's width on the axis, for its bars together

QString LevelText(double level, const QString& unit)
{
    return NumberFormat::Fixed(level, 0, 1) + QLatin1Char(' ') + unit;
}

QString FrequencyText(double hertz)
{
    return NumberFormat::Fixed(hertz, 0, hertz < 100 ? 2 : 1) + QStringLiteral(" Hz");
}

} // namespace

TAnalyserChart::TAnalyserChart(QWidget* parent)
    : QCustomPlot(parent), FrequencyTicker(new TFrequencyAxisTicker(QStringLiteral("####.")))
{
    setObjectName(QStringLiteral("chtWidmo"));
    setBackground(Qt::white);
    setMouseTracking(true);
    setNotAntialiasedElements(QCP::aePlottables);
    setPlottingHint(QCP::phFastPolylines); // ten pictures a second of thousands of points
    FrequencyTicker->SetFrequencyKind(true);
    xAxis->setScaleType(QCPAxis::stLogarithmic);
    xAxis->setTicker(FrequencyTicker);
    xAxis->setLabel(QStringLiteral("Częstotliwość [Hz]"));
    xAxis->setRange(10, 20000);
    layer(QStringLiteral("main"))->setMode(QCPLayer::lmBuffered);
    yAxis->setRange(-LevelSpan, 0);
    SetUnit(Unit);

    for (std::size_t channel = 0; channel < 2; ++channel) {
        Bars[channel] = new QCPBars(xAxis, yAxis);
        Bars[channel]->setWidthType(QCPBars::wtAxisRectRatio);
        Bars[channel]->setPen(Qt::NoPen);
        Bars[channel]->setBrush(ChannelColours[channel]);
        Lines[channel] = addGraph();
        Lines[channel]->setPen(QPen(ChannelColours[channel], 1));
        Lines[channel]->setAdaptiveSampling(true);
        Peaks[channel] = addGraph();
        Peaks[channel]->setAdaptiveSampling(true);
    }
    for (QCPItemStraightLine** line : {&CrossVertical, &CrossHorizontal}) {
        *line = new QCPItemStraightLine(this);
        (*line)->point1->setType(QCPItemPosition::ptAbsolute);
        (*line)->point2->setType(QCPItemPosition::ptAbsolute);
        (*line)->setPen(QPen(Qt::darkGray, 1, Qt::DotLine));
        (*line)->setSelectable(false);
        (*line)->setVisible(false);
    }
}

void TAnalyserChart::SetUnit(const QString& unit)
{
    Unit = unit;
    yAxis->setLabel(QStringLiteral("Poziom [") + unit + QLatin1Char(']'));
}

void TAnalyserChart::ShowMode(bool bands)
{
    for (std::size_t channel = 0; channel < 2; ++channel) {
        Bars[channel]->setVisible(bands);
        Lines[channel]->setVisible(!bands);
    }
}

void TAnalyserChart::ShowBands(const std::vector<TBandReading>& bands, std::array<bool, 2> channels,
                               bool peaks)
{
    Shown = bands;
    ShowMode(true);
    if (bands.empty())
        return;
    const double pitch = bands.size() > 1 ? bands[1].Midband / bands[0].Midband : 2.0;
    const QCPRange before = xAxis->range(), levelsBefore = yAxis->range();
    xAxis->setRange(bands.front().Midband / std::sqrt(pitch), bands.back().Midband * std::sqrt(pitch));
    const int shown = int(channels[0]) + int(channels[1]);
    const double width = BarShare / double(bands.size()) / std::max(shown, 1); // of the axis rect
    const double pixels = std::max(2.0, width * axisRect()->width());
    QPainterPath mark;
    mark.moveTo(-pixels / 2, 0);
    mark.lineTo(pixels / 2, 0);
    double highest = -LevelSpan;
    for (const TBandReading& band : bands)
        for (std::size_t channel = 0; channel < 2; ++channel)
            if (channels[channel])
                highest = std::max({highest, band.Level[channel], peaks ? band.Lmax[channel] : highest});
    FitLevelAxis(highest);
    // A bar stands on the bottom of the level axis and holds its height above it.
    const double base = yAxis->range().lower;
    int place = 0;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        QVector<double> keys, heights, maxima;
        if (channels[channel]) {
            // Side by side about the midband, each over its own share of the band.
            const double offset = shown == 2 ? std::pow(pitch, BarShare * (place - 0.5) / 2) : 1.0;
            ++place;
            for (const TBandReading& band : bands) {
                keys << band.Midband * offset;
                heights << std::max(band.Level[channel] - base, 0.0);
                maxima << band.Lmax[channel];
            }
        }
        Bars[channel]->setWidth(width);
        Bars[channel]->setBaseValue(base);
        Bars[channel]->setData(keys, heights, true);
        Peaks[channel]->setData(keys, maxima, true);
        Peaks[channel]->setVisible(peaks);
        Peaks[channel]->setLineStyle(QCPGraph::lsNone);
        Peaks[channel]->setScatterStyle(QCPScatterStyle(mark, QPen(ChannelColours[channel].darker(150), 2)));
    }
    Redraw(before, levelsBefore);
}

void TAnalyserChart::ShowSpectrum(const TSpectrumReading& spectrum, std::array<bool, 2> channels, bool peaks)
{
    Shown.clear();
    ShowMode(false);
    if (spectrum.Frequency.empty())
        return;
    const QCPRange before = xAxis->range(), levelsBefore = yAxis->range();
    xAxis->setRange(std::max(10.0, spectrum.Frequency.front()), spectrum.Frequency.back());
    const QVector<double> keys(spectrum.Frequency.begin(), spectrum.Frequency.end());
    double highest = -LevelSpan;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        const std::vector<double>& level = spectrum.Level[channel];
        const std::vector<double>& peak = spectrum.Peak[channel];
        Lines[channel]->setData(keys, QVector<double>(level.begin(), level.end()), true);
        Lines[channel]->setVisible(channels[channel]);
        Peaks[channel]->setData(keys, QVector<double>(peak.begin(), peak.end()), true);
        Peaks[channel]->setVisible(channels[channel] && peaks);
        Peaks[channel]->setLineStyle(QCPGraph::lsLine);
        Peaks[channel]->setScatterStyle(QCPScatterStyle());
        Peaks[channel]->setPen(QPen(ChannelColours[channel].lighter(160), 1));
        if (channels[channel])
            highest = std::max(
                highest, *std::max_element((peaks ? peak : level).begin(), (peaks ? peak : level).end()));
    }
    FitLevelAxis(highest);
    Redraw(before, levelsBefore);
}

// Ten pictures a second mostly change the data alone: then only the layer of the data and the
// cross-hair is drawn again over the axes and grid kept from before.
void TAnalyserChart::Redraw(const QCPRange& frequencies, const QCPRange& levels)
{
    if (xAxis->range() == frequencies && yAxis->range() == levels && Shown.empty() == ShownBefore)
        layer(QStringLiteral("main"))->replot();
    else
        replot(QCustomPlot::rpQueuedReplot);
    ShownBefore = Shown.empty();
}

// The top of the level axis 5 dB or more above the loudest level, on a multiple of 10 dB.
void TAnalyserChart::FitLevelAxis(double highest)
{
    const double top = std::ceil((highest + 5) / 10) * 10;
    if (top != yAxis->range().upper)
        yAxis->setRange(top - LevelSpan, top);
}

QString TAnalyserChart::ReadoutAt(const QPoint& position) const
{
    if (!axisRect()->rect().contains(position))
        return {};
    const double frequency = xAxis->pixelToCoord(position.x());
    QString text =
        LevelText(yAxis->pixelToCoord(position.y()), Unit) + QStringLiteral("  ") + FrequencyText(frequency);
    for (const TBandReading& band : Shown) {
        const double half =
            Shown.size() > 1 ? std::sqrt(Shown[1].Midband / Shown[0].Midband) : std::sqrt(2.0);
        if (frequency >= band.Midband / half && frequency < band.Midband * half) {
            text += QStringLiteral("   pasmo ") + NumberFormat::General(band.Nominal) +
                    QStringLiteral(" Hz: L ") + LevelText(band.Level[0], Unit) + QStringLiteral(", P ") +
                    LevelText(band.Level[1], Unit);
            break;
        }
    }
    return text;
}

void TAnalyserChart::mouseMoveEvent(QMouseEvent* event)
{
    QCustomPlot::mouseMoveEvent(event);
    const QPoint position = event->position().toPoint();
    const QString text = ReadoutAt(position);
    if (text.isEmpty()) {
        unsetCursor();
        CrossVertical->setVisible(false);
        CrossHorizontal->setVisible(false);
    } else {
        setCursor(Qt::CrossCursor);
        PlaceCrossHair(*CrossVertical, *CrossHorizontal, axisRect()->rect(), position);
    }
    replot(QCustomPlot::rpQueuedReplot);
    emit ReadoutChanged(text);
}

void TAnalyserChart::leaveEvent(QEvent* event)
{
    QCustomPlot::leaveEvent(event);
    CrossVertical->setVisible(false);
    CrossHorizontal->setVisible(false);
    replot(QCustomPlot::rpQueuedReplot);
    emit ReadoutChanged(QString());
}
