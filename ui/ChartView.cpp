// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ChartView.h"

#include "common/NumberFormat.h"
#include "ui/AxisTickers.h"
#include "ui/ChartDetails.h"
#include "ui/ChartExport.h"

#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <cmath>

namespace {

constexpr std::array<std::uint32_t, ChartSeriesCount> DefaultColours = {
    0x0000FF, 0x804000, 0x808000, 0x0080FF, 0x8080FF, 0xFF0000, 0x408000, 0x8000FF, 0x0000FF, 0xFF0000};

constexpr double ZoomInPercent = 101, ZoomOutPercent = 99;
constexpr double SmallestZoomSpan = 0.1;

bool Inside(const QCPRange& range, const QCPRange& limit)
{
    return range.lower > limit.lower && range.upper < limit.upper;
}

} // namespace

QColor ColourFromBgr(std::uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

std::uint32_t BgrFromColour(const QColor& colour)
{
    return static_cast<std::uint32_t>(colour.red()) | static_cast<std::uint32_t>(colour.green()) << 8 |
           static_cast<std::uint32_t>(colour.blue()) << 16;
}

QString LegendText(int series, const QString& title, const TLegendFacts& facts,
                   const TPreferences& preferences)
{
    if (!facts.Measured)
        return title;
    QString text = facts.Name;
    if (preferences.ShowCanal) {
        // A pair measured on both channels holds the left one in series 1..4, the right in 5..8.
        if (facts.Channel == 0 || (facts.Channel == 2 && series < ResultSeriesCount / 2))
            text += QStringLiteral("; L");
        else if (facts.Channel == 1 || facts.Channel == 2)
            text += QStringLiteral("; P");
    }
    if (preferences.ShowFrameRate)
        text += QStringLiteral("; ") + NumberFormat::Integer(facts.FrameRate, 6) + QStringLiteral("Hz");
    if (preferences.ShowAverageTime)
        text += QStringLiteral("; ") + NumberFormat::General(facts.AveragingTime) + 's';
    if (facts.MicrophoneCorrected)
        text += QStringLiteral("; korekcja mikrofonu");
    return text;
}

TChartView::TChartView(TChartModel& model, QWidget* parent)
    : QCustomPlot(parent), Model(model), ReplotTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("chtWykres"));
    setBackground(Qt::white);
    setMouseTracking(true);
    setInteractions(QCP::Interactions());
    SetZoomAllowed(true);

    LinearBottomTicker.reset(new TLinearAxisTicker(QStringLiteral("####.0"), 2));
    LogBottomTicker.reset(new TFrequencyAxisTicker(QStringLiteral("####.0")));
    LevelTicker.reset(new TLinearAxisTicker(QStringLiteral("#,##0.0#")));
    xAxis->setTicker(LinearBottomTicker);
    xAxis->setLabel(QStringLiteral("Czas [s]"));
    xAxis->setTickLength(2, 4);
    xAxis->setRange(BottomLimit);
    yAxis->setTicker(LevelTicker);
    yAxis->setLabel(QStringLiteral("Poziom [dB]"));
    yAxis->setRange(LevelLimit);

    legend->setVisible(false);
    legend->setIconSize(20, 10);
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignHCenter);

    for (int s = 0; s < ChartSeriesCount; ++s) {
        QCPGraph* graph = addGraph();
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setAdaptiveSampling(true); // keeps long recordings fast to draw
        graph->setPen(QPen(ColourFromBgr(DefaultColours[static_cast<std::size_t>(s)]), 1));
        graph->setVisible(Model.Visible(s));
        Graphs[static_cast<std::size_t>(s)] = graph;
        ReloadSeries(s);
    }
    // Antialiased lines on the screen while a replot of them fits a frame.
    connect(this, &QCustomPlot::beforeReplot, this, [this] {
        int points = 0;
        for (const QCPGraph* graph : Graphs)
            if (graph->visible())
                points += graph->dataCount();
        setNotAntialiasedElements(points > AntialiasedPointLimit ? QCP::aePlottables : QCP::aeNone);
    });
    Details = std::make_unique<TChartDetails>(*this, Model);
    for (int s = 0; s < ResultSeriesCount; ++s)
        Details->SetSeriesPen(s, Graph(s)->pen());
    RebuildLegend();

    // The cross-hair lives on a buffered layer of its own, so moving it redraws only that layer.
    addLayer(QStringLiteral("cross"));
    OverlayLayer = layer(QStringLiteral("cross"));
    OverlayLayer->setMode(QCPLayer::lmBuffered);
    for (QCPItemStraightLine** line : {&CrossVertical, &CrossHorizontal}) {
        *line = new QCPItemStraightLine(this);
        (*line)->setLayer(OverlayLayer);
        (*line)->point1->setType(QCPItemPosition::ptAbsolute);
        (*line)->point2->setType(QCPItemPosition::ptAbsolute);
        (*line)->setSelectable(false);
        (*line)->setVisible(false);
    }
    SetCrossPen(0x00FFFF, Qt::SolidLine);
    CrossReadout = new QCPItemText(this);
    CrossReadout->setLayer(OverlayLayer);
    CrossReadout->position->setType(QCPItemPosition::ptAbsolute);
    CrossReadout->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    CrossReadout->setTextAlignment(Qt::AlignLeft);
    CrossReadout->setPadding(QMargins(4, 2, 4, 2));
    CrossReadout->setBrush(QColor(255, 255, 255, 230));
    CrossReadout->setPen(QPen(Qt::gray));
    CrossReadout->setSelectable(false);
    CrossReadout->setVisible(false);

    QFont footFont(QStringLiteral("Arial"));
    footFont.setPixelSize(13);
    footFont.setItalic(true);
    Foot = new QCPTextElement(this, QString(), footFont); // the chart owns it, shown or not
    Foot->setTextColor(Qt::black);
    Foot->setVisible(false);

    // Points may arrive far faster than the screen shows them: draw at most once per frame.
    const double refreshRate = screen() && screen()->refreshRate() > 0 ? screen()->refreshRate() : 60.0;
    ReplotTimer->setSingleShot(true);
    ReplotTimer->setInterval(std::clamp(static_cast<int>(std::lround(1000.0 / refreshRate)), 1, 100));
    connect(ReplotTimer, &QTimer::timeout, this, &TChartView::ReplotNow);

    connect(&Model, &TChartModel::PointAppended, this, &TChartView::FollowAppend);
    connect(&Model, &TChartModel::FirstPointDeleted, this, &TChartView::FollowFirstDeleted);
    connect(&Model, &TChartModel::SeriesCleared, this, [this](int series) {
        Graph(series)->data()->clear();
        Details->Reload(series);
        ScheduleReplot();
    });
    connect(&Model, &TChartModel::SeriesReset, this, [this](int series) {
        ReloadSeries(series);
        Details->Reload(series);
        ScheduleReplot();
    });
    connect(&Model, &TChartModel::VisibilityChanged, this, [this](int series) {
        Graph(series)->setVisible(Model.Visible(series));
        Details->Reload(series);
        RebuildLegend();
        ScheduleReplot();
    });
    connect(&Model, &TChartModel::TitleChanged, this, [this] {
        RebuildLegend();
        ScheduleReplot();
    });
}

TChartView::~TChartView() = default;

void TChartView::SetSeriesPen(int series, std::uint32_t colour, Qt::PenStyle style, int width)
{
    Graph(series)->setPen(QPen(ColourFromBgr(colour), std::max(width, 1), style));
    Details->SetSeriesPen(series, Graph(series)->pen());
    ScheduleReplot();
}

TSeriesFormat TChartView::SeriesFormat(int series) const
{
    const QPen pen = Graph(series)->pen();
    return {BgrFromColour(pen.color()), pen.style(), pen.width()};
}

void TChartView::SetMeasurementKind(TMeasurementKind kind)
{
    Kind = kind;
    LogBottomTicker->SetFrequencyKind(kind == TMeasurementKind::FrequencyCharacteristic);
    Details->SetFrequencyKind(kind == TMeasurementKind::FrequencyCharacteristic);
    RebuildLegend();
    ScheduleReplot();
}

void TChartView::SetDetailView(const TDetailView& view)
{
    Details->SetView(view);
    RebuildLegend();
    ScheduleReplot();
}

void TChartView::SetChosenSeries(int series)
{
    Details->SetChosenSeries(series);
    RebuildLegend();
    ScheduleReplot();
}

QString TChartView::DetailReadout() const
{
    return CrossReadout->visible() ? CrossReadout->text() : QString();
}

void TChartView::SetPreferences(const TPreferences& preferences)
{
    Preferences = preferences;
    if (!Preferences.ShowCross)
        HideCross();
    RebuildLegend();
    ScheduleReplot();
}

void TChartView::SetLegendFacts(int series, const TLegendFacts& facts)
{
    Facts[static_cast<std::size_t>(series)] = facts;
    RebuildLegend();
    ScheduleReplot();
}

void TChartView::SetLegendVisible(bool visible)
{
    legend->setVisible(visible);
    ScheduleReplot();
}

void TChartView::SetCrossPen(std::uint32_t colour, Qt::PenStyle style)
{
    const QPen pen(ColourFromBgr(colour), 1, style);
    CrossVertical->setPen(pen);
    CrossHorizontal->setPen(pen);
    if (CrossVertical->visible())
        OverlayLayer->replot();
}

void TChartView::SetFoot(const QString& text, const QFont& font, bool visible)
{
    Foot->setText(text);
    Foot->setFont(font);
    Foot->setVisible(visible);
    if (visible && !Foot->layout()) {
        plotLayout()->addElement(plotLayout()->rowCount(), 0, Foot);
    } else if (!visible && Foot->layout()) {
        plotLayout()->take(Foot);
        plotLayout()->simplify();
    }
    ScheduleReplot();
}

QString TChartView::FootText() const
{
    return Foot->text();
}

QFont TChartView::FootFont() const
{
    return Foot->font();
}

bool TChartView::FootVisible() const
{
    return Foot->layout() != nullptr;
}

void TChartView::SetLevelRange(double minimum, double maximum)
{
    if (!std::isfinite(minimum) || !std::isfinite(maximum))
        return;
    yAxis->setRange(minimum, maximum);
    LevelLimit = yAxis->range();
    ScheduleReplot();
}

void TChartView::SetBottomRange(double minimum, double maximum)
{
    if (!std::isfinite(minimum) || !std::isfinite(maximum))
        return;
    AutoBottom = false;
    xAxis->setRange(minimum, maximum);
    BottomLimit = xAxis->range();
    ScheduleReplot();
}

void TChartView::SetBottomAutoRange(bool automatic)
{
    AutoBottom = automatic;
    if (automatic) {
        FitBottomToData();
        BottomLimit = xAxis->range();
    }
    ScheduleReplot();
}

void TChartView::SetBottomLogarithmic(bool logarithmic)
{
    xAxis->setScaleType(logarithmic ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (logarithmic)
        xAxis->setTicker(LogBottomTicker);
    else
        xAxis->setTicker(LinearBottomTicker);
    BottomLimit = xAxis->range(); // a logarithmic axis may have moved a minimum at or below zero
    ScheduleReplot();
}

void TChartView::SetBottomTitle(const QString& title)
{
    xAxis->setLabel(title);
    ScheduleReplot();
}

void TChartView::SetLevelUnit(const QString& unit)
{
    static const QRegularExpression Unit(QStringLiteral("dB(\\([AC]\\))?"));
    QString title = yAxis->label();
    const QRegularExpressionMatch found = Unit.match(title);
    if (!found.hasMatch())
        return;
    yAxis->setLabel(title.replace(found.capturedStart(), found.capturedLength(), unit));
    ScheduleReplot();
}

void TChartView::SetBottomLabelFormat(const QString& format)
{
    LinearBottomTicker->SetFormat(format);
    LogBottomTicker->SetFormat(format);
    ScheduleReplot();
}

QCPRange TChartView::LevelRange() const
{
    return yAxis->range();
}

QCPRange TChartView::BottomRange() const
{
    return xAxis->range();
}

void TChartView::SetZoomAllowed(bool allowed)
{
    setSelectionRectMode(allowed ? QCP::srmZoom : QCP::srmNone);
}

void TChartView::ZoomIn()
{
    if (xAxis->range().size() <= SmallestZoomSpan || yAxis->range().size() <= SmallestZoomSpan)
        return;
    ZoomAboutCentre(100.0 / ZoomInPercent);
}

void TChartView::ZoomOut()
{
    // One step never leaves more than one step beyond the limits of the axis set-up.
    if (!Inside(xAxis->range(), BottomLimit) || !Inside(yAxis->range(), LevelLimit))
        ResetZoom();
    ZoomAboutCentre(100.0 / ZoomOutPercent);
}

void TChartView::UndoZoom()
{
    ResetZoom();
    ScheduleReplot();
}

void TChartView::ResetZoom()
{
    if (AutoBottom)
        FitBottomToData();
    else
        xAxis->setRange(BottomLimit);
    yAxis->setRange(LevelLimit);
}

void TChartView::ZoomAboutCentre(double factor)
{
    const QPointF centre = axisRect()->rect().center();
    xAxis->scaleRange(factor, xAxis->pixelToCoord(centre.x()));
    yAxis->scaleRange(factor, yAxis->pixelToCoord(centre.y()));
    ScheduleReplot();
}

void TChartView::CopyToClipboard()
{
    ChartExport::CopyToClipboard(*this);
}

void TChartView::PrintPreview()
{
    ReplotNow();
    QPrintPreviewDialog dialog(window());
    dialog.setWindowTitle(QStringLiteral("Podgląd wydruku"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &TChartView::RenderPage);
    dialog.exec();
    replot();
}

void TChartView::RenderPage(QPrinter* printer)
{
    const TPictureDrawing picture(*this);
    const QSize chart = size().isEmpty() ? QSize(800, 600) : size();
    const QRectF page = printer->pageLayout().paintRectPixels(printer->resolution());
    QCPPainter painter(printer);
    if (!painter.isActive())
        return;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    // The chart keeps its on-screen proportions and fills the page's width or height.
    const double scale = std::min(page.width() / chart.width(), page.height() / chart.height());
    painter.scale(scale, scale);
    toPainter(&painter, chart.width(), chart.height());
}

QString TChartView::PageAt(const QPoint& position) const
{
    for (QCPAxis* axis : {yAxis, xAxis}) {
        const QCPAxis::SelectablePart part = axis->getPartAt(position);
        if (part == QCPAxis::spAxis || part == QCPAxis::spTickLabels)
            return QString::fromLatin1(Kind == TMeasurementKind::SoundPressure
                                           ? ChartPage::SoundPressure
                                           : ChartPage::FrequencyCharacteristic);
    }
    if (legend->visible() && legend->outerRect().contains(position))
        return QString::fromLatin1(ChartPage::Legend);
    for (const QCPGraph* graph : Graphs) {
        if (!graph->visible())
            continue;
        const double distance = graph->selectTest(position, false);
        if (distance >= 0 && distance <= selectionTolerance())
            return QString::fromLatin1(ChartPage::Colours);
    }
    return QString::fromLatin1(ChartPage::Chart);
}

QString TChartView::ReadoutAt(const QPoint& position) const
{
    if (!axisRect()->rect().contains(position))
        return {};
    const double x = xAxis->pixelToCoord(position.x());
    const double y = yAxis->pixelToCoord(position.y());
    if (!std::isfinite(x) || !std::isfinite(y))
        return {};
    const bool time = Kind == TMeasurementKind::SoundPressure;
    return NumberFormat::Fixed(y, 0, 1) + QStringLiteral("dB ") + NumberFormat::Fixed(x, 0, time ? 3 : 1) +
           (time ? QStringLiteral("s") : QStringLiteral("Hz"));
}

void TChartView::ReplotNow()
{
    ReplotTimer->stop();
    if (AutoBottom)
        FitBottomToData();
    replot();
}

void TChartView::mouseMoveEvent(QMouseEvent* event)
{
    QCustomPlot::mouseMoveEvent(event);
    const QPoint position = event->position().toPoint();
    const QString text = ReadoutAt(position);
    if (text.isEmpty()) {
        unsetCursor();
        HideCross();
    } else {
        setCursor(Qt::CrossCursor);
        if (Preferences.ShowCross)
            MoveCross(position);
        ShowDetailReadout(position);
    }
    emit ReadoutChanged(text);
}

void TChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QCustomPlot::mouseDoubleClickEvent(event);
    emit OptionsPageRequested(PageAt(event->position().toPoint()));
}

void TChartView::leaveEvent(QEvent* event)
{
    QCustomPlot::leaveEvent(event);
    unsetCursor();
    HideCross();
    emit ReadoutChanged(QString());
}

void TChartView::ScheduleReplot()
{
    if (!ReplotTimer->isActive())
        ReplotTimer->start();
}

void TChartView::FollowAppend(int series, int index)
{
    const TChartSeriesData& data = Model.Series(series);
    // Appending at either end matches the model's order; anything else is re-read.
    if (index == data.Count() - 1 || index == 0)
        Graph(series)->addData(data.X(index), data.Y(index));
    else
        ReloadSeries(series);
    if (data.HasDetails())
        Details->Reload(series);
    ScheduleReplot();
}

void TChartView::FollowFirstDeleted(int series)
{
    const QSharedPointer<QCPGraphDataContainer> data = Graph(series)->data();
    if (!data->isEmpty())
        data->remove(data->constBegin()->key);
    ScheduleReplot();
}

void TChartView::ReloadSeries(int series)
{
    const TChartSeriesData& points = Model.Series(series);
    QVector<QCPGraphData> data(points.Count());
    for (int i = 0; i < points.Count(); ++i)
        data[i] = QCPGraphData(points.X(i), points.Y(i));
    Graph(series)->data()->set(data, true);
}

void TChartView::RebuildLegend()
{
    legend->clearItems();
    for (int s = 0; s < ResultSeriesCount; ++s) {
        QCPGraph* graph = Graph(s);
        const QString title = Model.Title(s).isEmpty()
                                  ? QStringLiteral("Seria ") + NumberFormat::Integer(s + 1)
                                  : Model.Title(s);
        graph->setName(LegendText(s, title, Facts[static_cast<std::size_t>(s)], Preferences));
        if (Model.Visible(s))
            graph->addToLegend();
    }
    Details->FillLegend();
}

void TChartView::FitBottomToData()
{
    double lower = 0, upper = 0;
    bool any = false;
    for (int s = 0; s < ChartSeriesCount; ++s) {
        const TChartSeriesData& data = Model.Series(s);
        if (!Model.Visible(s) || data.Empty())
            continue;
        lower = any ? std::min(lower, data.MinX()) : data.MinX();
        upper = any ? std::max(upper, data.MaxX()) : data.MaxX();
        any = true;
    }
    if (any && upper > lower)
        xAxis->setRange(lower, upper);
}

void PlaceCrossHair(QCPItemStraightLine& vertical, QCPItemStraightLine& horizontal, const QRect& plot,
                    const QPoint& position)
{
    vertical.point1->setCoords(position.x(), plot.top());
    vertical.point2->setCoords(position.x(), plot.bottom());
    horizontal.point1->setCoords(plot.left(), position.y());
    horizontal.point2->setCoords(plot.right(), position.y());
    vertical.setVisible(true);
    horizontal.setVisible(true);
}

void TChartView::MoveCross(const QPoint& position)
{
    PlaceCrossHair(*CrossVertical, *CrossHorizontal, axisRect()->rect(), position);
    OverlayLayer->replot();
}

void TChartView::HideCross()
{
    if (!CrossVertical->visible() && !CrossReadout->visible())
        return;
    CrossVertical->setVisible(false);
    CrossHorizontal->setVisible(false);
    CrossReadout->setVisible(false);
    OverlayLayer->replot();
}

void TChartView::ShowDetailReadout(const QPoint& position)
{
    const QString text = Details->ReadoutNear(xAxis->pixelToCoord(position.x()));
    if (text.isEmpty()) {
        if (CrossReadout->visible()) {
            CrossReadout->setVisible(false);
            OverlayLayer->replot();
        }
        return;
    }
    CrossReadout->setText(text);
    // Beside the mouse, on whichever side keeps it inside the plot.
    const QRect plot = axisRect()->rect();
    const QSize size = QFontMetrics(CrossReadout->font()).size(0, text) + QSize(10, 6);
    const int x = position.x() + 14 + size.width() <= plot.right() ? position.x() + 14
                                                                   : position.x() - 14 - size.width();
    const int y = position.y() + 14 + size.height() <= plot.bottom() ? position.y() + 14
                                                                     : position.y() - 14 - size.height();
    CrossReadout->position->setCoords(std::max(x, plot.left()), std::max(y, plot.top()));
    CrossReadout->setVisible(true);
    OverlayLayer->replot();
}
