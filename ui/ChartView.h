// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "measure/MeasurementState.h"
#include "settings/WindowSettings.h"

#include <QPoint>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <qcustomplot.h>

class QPrinter;
class QTimer;
class TChartDetails;
class TFrequencyAxisTicker;
class TLinearAxisTicker;

// What the legend needs to know of one stored series (the series store holds it).
struct TLegendFacts
{
    bool Measured = false;    // the slot holds a measurement
    int Channel = 0;          // 0 left, 1 right, 2 both
    int FrameRate = 0;        // Hz
    double AveragingTime = 0; // s
    QString Name;
    bool MicrophoneCorrected = false; // always said: the curve is not what the microphone heard
};

// Legend row of stored series `series` (0..7): the title for a slot without a measurement, otherwise
// the name followed by the channel, frame rate and averaging time as the preferences ask, and a note of
// a microphone correction.
QString LegendText(int series, const QString& title, const TLegendFacts& facts,
                   const TPreferences& preferences);

// Colours of the settings (0x00BBGGRR) and of the toolkit.
QColor ColourFromBgr(std::uint32_t bgr);
std::uint32_t BgrFromColour(const QColor& colour);

// Shows a cross-hair's two lines through `position`, across the plot rectangle.
void PlaceCrossHair(QCPItemStraightLine& vertical, QCPItemStraightLine& horizontal, const QRect& plot,
                    const QPoint& position);

// The options page a double-click opens, by what it hit.
namespace ChartPage {
inline constexpr const char* SoundPressure = "tabPomiarCisnienia";
inline constexpr const char* FrequencyCharacteristic = "tabPomiarCharakterystyk";
inline constexpr const char* Legend = "tabLegenda";
inline constexpr const char* Colours = "tabKolory";
inline constexpr const char* Chart = "tabWykres";
} // namespace ChartPage

// The chart "chtWykres": draws the ten series of a TChartModel, following its changes point by point
// and replotting at most once per screen frame. It owns pens, axes, zoom and the cross-hair; the data
// stays in the model.
class TChartView : public QCustomPlot
{
    Q_OBJECT
public:
    explicit TChartView(TChartModel& model, QWidget* parent = nullptr);
    ~TChartView() override;

    // The screen draws lines antialiased up to this many visible points; beyond, a replot would no
    // longer fit a frame, and the lines go without.
    static constexpr int AntialiasedPointLimit = 200000;
    // While one lives, a chart (this or another) draws every line antialiased whatever its point count:
    // pictures for files, the printer and the clipboard are drawn once, and are looked at closely.
    class TPictureDrawing
    {
    public:
        explicit TPictureDrawing(QCustomPlot& chart) : Chart(chart), Screen(chart.notAntialiasedElements())
        {
            chart.setNotAntialiasedElements(QCP::aeNone);
        }
        ~TPictureDrawing() { Chart.setNotAntialiasedElements(Screen); }
        TPictureDrawing(const TPictureDrawing&) = delete;
        TPictureDrawing& operator=(const TPictureDrawing&) = delete;

    private:
        QCustomPlot& Chart;
        const QCP::AntialiasedElements Screen;
    };

    // Series look, as the settings and the series-format dialog give it (colour 0x00BBGGRR).
    void SetSeriesPen(int series, std::uint32_t colour, Qt::PenStyle style, int width);
    TSeriesFormat SeriesFormat(int series) const;

    // The kind decides the read-out units, the double-click page and the frequency labels.
    void SetMeasurementKind(TMeasurementKind kind);
    void SetPreferences(const TPreferences& preferences); // cross-hair and legend texts
    void SetLegendFacts(int series, const TLegendFacts& facts);
    void SetLegendVisible(bool visible);
    void SetCrossPen(std::uint32_t colour, Qt::PenStyle style); // colour 0x00BBGGRR
    // Phase and distortion of synchronously detected points (frequency kind): what is drawn, and the
    // series whose distortion is drawn and read out at the mouse (the active one; -1 none).
    void SetDetailView(const TDetailView& view);
    void SetChosenSeries(int series);
    // The read-out of the chosen series' point nearest to the mouse, shown beside it; empty when the
    // mouse is elsewhere or the series has no detected point.
    QString DetailReadout() const;
    // The chart's name line under the plot (its foot), one line per line of the text.
    void SetFoot(const QString& text, const QFont& font, bool visible);
    QString FootText() const;
    QFont FootFont() const;
    bool FootVisible() const;

    // Axes as the axis set-up leaves them. Setting a range also records it as the limit that
    // "Pomniejszenie" and "Aktualna wielkość" return to; setting the bottom range ends its automatic range.
    void SetLevelRange(double minimum, double maximum);
    void SetBottomRange(double minimum, double maximum);
    void SetBottomAutoRange(bool automatic); // while on, the bottom axis follows the visible data
    void SetBottomLogarithmic(bool logarithmic);
    void SetBottomTitle(const QString& title);
    // The unit in the level axis title ("dB", "dB(A)", "dB(C)"); a title without one stays as it is.
    void SetLevelUnit(const QString& unit);
    void SetBottomLabelFormat(const QString& format); // "#0.0", "####.", "####.00", ...
    QCPRange LevelRange() const;
    QCPRange BottomRange() const;
    bool BottomAutoRange() const { return AutoBottom; }

    // Zooming with the mouse (a rectangle drawn with the left button); forbidden while measuring.
    void SetZoomAllowed(bool allowed);
    void ZoomIn();   // "Powiększenie"
    void ZoomOut();  // "Pomniejszenie"
    void UndoZoom(); // "Aktualna wielkość"

    void CopyToClipboard(); // "Kopiuj wykres": SVG and PNG
    void PrintPreview();    // modal "Podgląd wydruku"; returns when it closes
    void RenderPage(QPrinter* printer);

    // The options page for a double-click at `position` (widget coordinates).
    QString PageAt(const QPoint& position) const;
    // The status-bar read-out for the mouse at `position`; empty outside the plot rectangle.
    QString ReadoutAt(const QPoint& position) const;

    QCPGraph* Graph(int series) const { return Graphs[static_cast<std::size_t>(series)]; }
    void ReplotNow(); // draw pending changes at once (printing, copying, tests)

signals:
    void ReadoutChanged(const QString& text); // for status panel 3
    void OptionsPageRequested(const QString& page);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void ScheduleReplot();
    void FollowAppend(int series, int index);
    void FollowFirstDeleted(int series);
    void ReloadSeries(int series);
    void RebuildLegend();
    void FitBottomToData();
    void ZoomAboutCentre(double factor);
    void ResetZoom(); // back to the axis set-up's ranges, or to the data for an automatic bottom axis
    void MoveCross(const QPoint& position);
    void HideCross();
    void ShowDetailReadout(const QPoint& position);

    TChartModel& Model;
    std::array<QCPGraph*, ChartSeriesCount> Graphs{};
    std::array<TLegendFacts, ResultSeriesCount> Facts;
    TPreferences Preferences;
    TMeasurementKind Kind = TMeasurementKind::SoundPressure;
    QSharedPointer<TLinearAxisTicker> LinearBottomTicker, LevelTicker;
    QSharedPointer<TFrequencyAxisTicker> LogBottomTicker;
    QCPRange BottomLimit{100, 10000}, LevelLimit{-90, 0};
    bool AutoBottom = false;
    QTimer* ReplotTimer;
    QCPLayer* OverlayLayer{};
    QCPItemStraightLine *CrossVertical{}, *CrossHorizontal{};
    QCPItemText* CrossReadout{};
    std::unique_ptr<TChartDetails> Details;
    QCPTextElement* Foot{}; // in the plot's layout only while shown
};
