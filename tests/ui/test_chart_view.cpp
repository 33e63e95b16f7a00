// SPDX-License-Identifier: GPL-3.0-or-later
// The chart as the window and the engine drive it: axis labels, legend rows, zoom steps, the mouse
// read-out, the double-click pages and following the data model.

#include "common/ChartModel.h"
#include "common/NumberFormat.h"
#include "ui/AxisTickers.h"
#include "ui/ChartView.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMimeData>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>
#include <cmath>
#include <memory>

namespace {

const QStringList Separators = {",", "."};

QStringList Labels(const TChartView& chart)
{
    return chart.xAxis->tickVectorLabels().toList();
}

void MoveMouse(QWidget& widget, const QPoint& at)
{
    QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

} // namespace

class TTestChartView : public QObject
{
    Q_OBJECT

private:
    TChartModel Model;
    std::unique_ptr<TChartView> Chart;

    void ShowFrequencyAxis(double minimum, double maximum)
    {
        Chart->SetMeasurementKind(TMeasurementKind::FrequencyCharacteristic);
        Chart->SetBottomLabelFormat("####.");
        Chart->SetBottomLogarithmic(true);
        Chart->SetBottomRange(minimum, maximum);
        Chart->ReplotNow();
    }

private slots:
    void init()
    {
        Chart = std::make_unique<TChartView>(Model);
        Chart->resize(600, 400);
        Chart->show();
        QVERIFY(QTest::qWaitForWindowExposed(Chart.get()));
        Chart->ReplotNow();
    }

    void cleanup()
    {
        Chart.reset();
        Model.ClearAll();
        for (int s = 0; s < ChartSeriesCount; ++s)
            Model.SetVisible(s, false);
        NumberFormat::SetDecimalSeparator(QChar());
    }

    void startsAsAnEmptyTimeChart()
    {
        QCOMPARE(Chart->objectName(), QString("chtWykres"));
        QCOMPARE(Chart->graph(RightChannelSeries), Chart->Graph(RightChannelSeries)); // the series come first
        QCOMPARE(Chart->yAxis->label(), QString("Poziom [dB]"));
        QCOMPARE(Chart->xAxis->label(), QString("Czas [s]"));
        QCOMPARE(Chart->LevelRange().lower, -90.0);
        QVERIFY(!Chart->legend->visible());
        QCOMPARE(Chart->Graph(1)->pen().color(), QColor(0x00, 0x40, 0x80)); // 0x804000 as blue-green-red
        QCOMPARE(Chart->Graph(LeftChannelSeries)->pen().color(), QColor(Qt::red));
    }

    void wideFrequencyAxisShowsTheTableWithKiloAndEmptyLabels()
    {
        ShowFrequencyAxis(20, 20000);
        const QStringList expected = {"20",  "30", "",    "50", "",    "70", "",    "",    "100", "200",
                                      "300", "",   "500", "",   "700", "",   "",    "1k",  "2k",  "3k",
                                      "",    "5k", "",    "7k", "",    "",   "10k", "15k", "20k"};
        QCOMPARE(Labels(*Chart), expected);
        QCOMPARE(Chart->xAxis->tickVector().first(), 20.0);
        QCOMPARE(Chart->xAxis->tickVector().last(), 20000.0);
    }

    void frequencyLabelsStayInsideTheRangeAndTheTable()
    {
        ShowFrequencyAxis(25, 950);
        QCOMPARE(Chart->xAxis->tickVector().first(), 30.0);
        QCOMPARE(Chart->xAxis->tickVector().last(), 900.0);

        ShowFrequencyAxis(5, 50000);
        QCOMPARE(Chart->xAxis->tickVector().size(), FrequencyLabelCount);
        QCOMPARE(Chart->xAxis->tickVector().last(), 20000.0);
    }

    void narrowFrequencyAxisKeepsItsOwnTicksWithTwoDecimals()
    {
        for (const QString& separator : Separators) {
            NumberFormat::SetDecimalSeparator(separator.front());
            ShowFrequencyAxis(1000, 2500);
            const QVector<double> ticks = Chart->xAxis->tickVector();
            QVERIFY(ticks.size() >= 3);
            QStringList expected;
            for (double tick : ticks) {
                QVERIFY(tick >= 1000 && tick <= 2500);
                expected << (tick == 1000   ? "1k"
                             : tick == 2000 ? "2k"
                                            : QString::number(tick, 'f', 2).replace('.', separator));
            }
            QCOMPARE(Labels(*Chart), expected);
        }
    }

    void labelsFollowTheirFormat()
    {
        for (const QString& separator : Separators) {
            NumberFormat::SetDecimalSeparator(separator.front());
            QCOMPARE(FormatAxisLabel(12.25, "#,##0.0#"), "12" + separator + "25");
            QCOMPARE(FormatAxisLabel(12.5, "#,##0.0#"), "12" + separator + "5");
            QCOMPARE(FormatAxisLabel(-0.04, "#0.0"), "0" + separator + "0");
            QCOMPARE(FormatAxisLabel(1234.5, "####."), QString("1234"));
            QCOMPARE(FormatAxisLabel(3.456, "####.00"), "3" + separator + "46");
        }
        // Every tick of a linear axis is written exactly by its format: no 0.25 step under one decimal,
        // none finer than the last decimal, whatever the range and the width.
        for (const QString& format : {QString("#0.0"), QString("####."), QString("#,##0.0#")})
            for (const double span : {0.3, 0.6, 1.2, 2.5, 3.0, 7.0, 12.0, 30.0, 250.0})
                for (const int width : {250, 600, 1200}) {
                    Chart->resize(width, 400);
                    Chart->SetBottomLabelFormat(format);
                    Chart->SetBottomLogarithmic(false);
                    Chart->SetBottomRange(1, 1 + span);
                    Chart->ReplotNow();
                    const QVector<double> ticks = Chart->xAxis->tickVector();
                    const QStringList labels = Labels(*Chart);
                    QVERIFY(ticks.size() >= 2 || span < 1);
                    for (qsizetype i = 0; i < ticks.size(); ++i)
                        QVERIFY2(*NumberFormat::ParseNumber(labels[i]) == std::round(ticks[i] * 100) / 100,
                                 qPrintable(QString("%1 under %2: %3").arg(ticks[i]).arg(format, labels[i])));
                }
        // The time axis is linear: its labels are the plain numbers even where a table value would be.
        Chart->SetBottomLabelFormat("#0.0");
        Chart->SetBottomRange(0, 5000);
        Chart->ReplotNow();
        QVERIFY(!Labels(*Chart).contains("1k"));
    }

    void legendRowsFollowTheSlotAndThePreferences()
    {
        TPreferences preferences;
        TLegendFacts facts{true, 2, 44100, 0.125, "Wzmacniacz"};
        for (const QString& separator : Separators) {
            NumberFormat::SetDecimalSeparator(separator.front());
            QCOMPARE(LegendText(2, "Seria 3", TLegendFacts{}, preferences), QString("Seria 3"));
            QCOMPARE(LegendText(1, "Seria 2", facts, preferences),
                     "Wzmacniacz; L;  44100Hz; 0" + separator + "125s");
            QCOMPARE(LegendText(5, "Seria 6", facts, preferences),
                     "Wzmacniacz; P;  44100Hz; 0" + separator + "125s");
        }
        facts.Channel = 1;
        preferences.ShowFrameRate = preferences.ShowAverageTime = false;
        QCOMPARE(LegendText(0, "Seria 1", facts, preferences), QString("Wzmacniacz; P"));
        preferences.ShowCanal = false;
        QCOMPARE(LegendText(0, "Seria 1", facts, preferences), QString("Wzmacniacz"));
        facts.MicrophoneCorrected = true; // said whatever the preferences
        QCOMPARE(LegendText(0, "Seria 1", facts, preferences), QString("Wzmacniacz; korekcja mikrofonu"));

        // The chart lists the shown result series in order, never the channels.
        Model.SetVisible(5, true);
        Model.SetVisible(2, true);
        Model.SetVisible(LeftChannelSeries, true);
        Chart->SetLegendFacts(5, TLegendFacts{true, 2, 48000, 1, "Pomiar"});
        QCOMPARE(Chart->legend->itemCount(), 2);
        QCOMPARE(Chart->legend->itemWithPlottable(Chart->Graph(2)), Chart->legend->item(0));
        QCOMPARE(Chart->Graph(2)->name(), QString("Seria 3"));
        QCOMPARE(Chart->Graph(5)->name(), QString("Pomiar; P;  48000Hz; 1s"));
        Model.SetVisible(2, false);
        QCOMPARE(Chart->legend->itemCount(), 1);
    }

    void zoomInStopsAtATenthAndZoomOutStaysOneStepBeyond()
    {
        Chart->SetBottomRange(0, 100);
        Chart->SetLevelRange(-0.1, 0.1);
        for (int step = 0; step < 200; ++step)
            Chart->ZoomIn();
        const double span = Chart->LevelRange().size();
        QVERIFY2(span <= 0.1 && span > 0.1 * 100 / 101 - 1e-12, qPrintable(QString::number(span)));
        const QCPRange stopped = Chart->LevelRange();
        Chart->ZoomIn();
        QCOMPARE(Chart->LevelRange(), stopped);
        QVERIFY(Chart->BottomRange().size() < 100);

        Chart->UndoZoom();
        QCOMPARE(Chart->BottomRange(), QCPRange(0, 100));
        QCOMPARE(Chart->LevelRange(), QCPRange(-0.1, 0.1));

        Chart->ZoomOut();
        const QCPRange once = Chart->BottomRange();
        QVERIFY(once.lower < 0 && once.upper > 100);
        Chart->ZoomOut();
        QCOMPARE(Chart->BottomRange(), once);

        // Inside the limits a step out is a plain step.
        Chart->UndoZoom();
        Chart->ZoomIn();
        Chart->ZoomIn();
        const double inner = Chart->BottomRange().size();
        Chart->ZoomOut();
        QVERIFY(Chart->BottomRange().size() > inner && Chart->BottomRange().size() < 100);
    }

    void readoutFollowsTheMouseAndEmptiesOutsideThePlot()
    {
        Chart->SetBottomRange(0, 10);
        Chart->SetLevelRange(-90, 0);
        TPreferences preferences;
        preferences.ShowCross = true;
        Chart->SetPreferences(preferences);
        Chart->ReplotNow();
        QSignalSpy readout(Chart.get(), &TChartView::ReadoutChanged);
        const QRect plot = Chart->axisRect()->rect();

        for (const QString& separator : Separators) {
            NumberFormat::SetDecimalSeparator(separator.front());
            MoveMouse(*Chart, plot.center());
            const QString text = readout.last().first().toString();
            const QRegularExpression form("^-(\\d+)\\" + separator + "\\ddB (\\d)\\" + separator +
                                          "\\d{3}s$");
            const auto match = form.match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            QVERIFY(std::abs(match.captured(1).toInt() - 45) <= 1);
            QVERIFY(std::abs(match.captured(2).toInt() - 5) <= 1);
        }
        QCOMPARE(Chart->cursor().shape(), Qt::CrossCursor);
        QCPLayer* overlay = Chart->layer("cross");
        QCOMPARE(overlay->children().size(), 3); // the two lines and the details' read-out
        QVERIFY(overlay->children().first()->realVisibility());

        MoveMouse(*Chart, QPoint(plot.left() - 5, plot.center().y())); // over the level axis
        QCOMPARE(readout.last().first().toString(), QString());
        QVERIFY(!overlay->children().first()->realVisibility());

        MoveMouse(*Chart, plot.center());
        QVERIFY(!readout.last().first().toString().isEmpty());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(Chart.get(), &leave);
        QCOMPARE(readout.last().first().toString(), QString());
        QVERIFY(!overlay->children().first()->realVisibility());

        ShowFrequencyAxis(20, 20000);
        MoveMouse(*Chart, Chart->axisRect()->rect().center());
        QVERIFY(readout.last().first().toString().endsWith("Hz"));
    }

    // Detected points of the chosen series: the phase on the right axis (wrapped, then unwrapped along
    // the frequency), H2, H3 and THD in dB of the fundamental or in %, a mark on the overloaded point
    // and all of them in the read-out at the mouse; the averaged level's points show none of it.
    void detailsOfDetectedPointsShowAsViewed()
    {
        ShowFrequencyAxis(100, 10000);
        const std::array<double, 3> phases{-170, 170, -175}; // unwrapped: -170, -190, -175
        for (int i = 0; i < 3; ++i) {
            TPointDetail detail;
            detail.Measured = TPointDetail::PhaseMeasured | TPointDetail::ThdMeasured;
            detail.Phase = phases[static_cast<std::size_t>(i)];
            detail.SetHarmonic(2, -40);
            detail.SetHarmonic(3, -60);
            detail.Thd = 1;
            detail.Overloaded = i == 1;
            Model.Append(2, 100.0 * std::pow(10, i), -6.0 - i, &detail);
        }
        Model.Append(3, 1000, -3); // averaged level only
        Model.SetVisible(2, true);
        Model.SetVisible(3, true);
        Chart->SetChosenSeries(2);
        const auto graphsOn = [&](QCPAxis* axis) {
            QList<QCPGraph*> graphs;
            for (QCPGraph* graph : axis->graphs())
                if (graph->visible() && graph != Chart->Graph(2) && graph != Chart->Graph(3))
                    graphs << graph;
            return graphs;
        };
        // Nothing but the overload's mark while the view asks for nothing.
        QVERIFY(!Chart->yAxis2->visible());
        QCOMPARE(graphsOn(Chart->yAxis).size(), 1);
        const QCPGraph* overload = graphsOn(Chart->yAxis).first();
        QCOMPARE(overload->data()->size(), 1);
        QCOMPARE(overload->data()->at(0)->value, -7.0);

        TDetailView view;
        view.Phase = view.H2 = view.H3 = view.Thd = true;
        Chart->SetDetailView(view);
        QVERIFY(Chart->yAxis2->visible());
        QCOMPARE(Chart->yAxis2->label(), QString("Faza [°]"));
        QCOMPARE(graphsOn(Chart->yAxis2).size(), 1); // series 3 has no phase
        QCOMPARE(graphsOn(Chart->yAxis2).first()->data()->at(1)->value, 170.0);
        QCOMPARE(graphsOn(Chart->yAxis).size(), 4); // H2, H3, THD and the overload
        QStringList shown;
        for (QCPGraph* graph : graphsOn(Chart->yAxis))
            shown << graph->name() + '=' + QString::number(graph->data()->at(0)->value);
        QCOMPARE(shown, QStringList({"H2=-40", "H3=-60", "THD=-40", "Przesterowanie=-7"}));

        view.UnwrappedPhase = view.Percent = true;
        Chart->SetDetailView(view);
        QCOMPARE(graphsOn(Chart->yAxis2).first()->data()->at(1)->value, -190.0);
        QVERIFY(Chart->yAxis2->range().lower < -190);
        QCOMPARE(graphsOn(Chart->yAxis).size(), 1); // the distortion moved to its own % axis
        QCOMPARE(Chart->axisRect()->axes(QCPAxis::atRight).size(), 2);
        QCPAxis* percent = Chart->axisRect()->axis(QCPAxis::atRight, 1);
        QVERIFY(percent->visible());
        QCOMPARE(graphsOn(percent).size(), 3);
        QVERIFY(std::abs(graphsOn(percent).first()->data()->at(0)->value - 1) < 1e-12); // -40 dB = 1 %

        NumberFormat::SetDecimalSeparator(',');
        Chart->ReplotNow();
        const QRect plot = Chart->axisRect()->rect();
        MoveMouse(*Chart, QPoint(plot.center().x() + 3, plot.center().y())); // by 1 kHz
        QCOMPARE(Chart->DetailReadout(), QString("Seria 3: 1000,0 Hz\n-7,00 dB, faza 170,0°\nH2 -40,0 dB, "
                                                 "H3 -60,0 dB\nTHD 1,0000 %\nprzesterowanie"));
        Chart->SetChosenSeries(3);
        MoveMouse(*Chart, plot.center());
        QCOMPARE(Chart->DetailReadout(), QString());
        QCOMPARE(graphsOn(percent).size(), 0);
    }

    void doubleClickChoosesTheOptionsPage()
    {
        Chart->SetBottomRange(0, 10);
        Chart->SetLevelRange(-90, 0);
        Model.SetVisible(0, true);
        Model.Append(0, 0, -45);
        Model.Append(0, 10, -45);
        Chart->SetLegendVisible(true);
        Chart->ReplotNow();
        const QRect plot = Chart->axisRect()->rect();
        const QPoint levelLabels(plot.left() - 12, plot.center().y());
        const QPoint timeLabels(plot.center().x(), plot.bottom() + 12);

        QSignalSpy page(Chart.get(), &TChartView::OptionsPageRequested);
        QTest::mouseDClick(Chart.get(), Qt::LeftButton, Qt::NoModifier, levelLabels);
        QCOMPARE(page.last().first().toString(), QString("tabPomiarCisnienia"));
        QCOMPARE(Chart->PageAt(timeLabels), QString("tabPomiarCisnienia"));
        QCOMPARE(Chart->PageAt(Chart->legend->outerRect().center()), QString("tabLegenda"));
        QCOMPARE(Chart->PageAt(QPoint(plot.left() + plot.width() / 4, plot.center().y())),
                 QString("tabKolory"));
        QCOMPARE(Chart->PageAt(QPoint(plot.left() + plot.width() / 4, plot.top() + 10)),
                 QString("tabWykres"));
        Model.SetVisible(0, false);
        Chart->ReplotNow();
        QCOMPARE(Chart->PageAt(QPoint(plot.left() + plot.width() / 4, plot.center().y())),
                 QString("tabWykres"));

        Chart->SetMeasurementKind(TMeasurementKind::FrequencyCharacteristic);
        QCOMPARE(Chart->PageAt(levelLabels), QString("tabPomiarCharakterystyk"));
    }

    void followsTheModelPointByPoint()
    {
        const auto matches = [this](int series) {
            const auto data = Chart->Graph(series)->data();
            const TChartSeriesData& points = Model.Series(series);
            if (data->size() != points.Count())
                return false;
            int i = 0;
            for (auto it = data->constBegin(); it != data->constEnd(); ++it, ++i)
                if (it->key != points.X(i) || it->value != points.Y(i))
                    return false;
            return true;
        };
        for (int i = 0; i < 2000; ++i)
            Model.Append(LeftChannelSeries, i * 0.25, i % 7);
        for (int i = 0; i < 1500; ++i)
            Model.DeleteFirst(LeftChannelSeries);
        QVERIFY(matches(LeftChannelSeries));
        Model.Append(LeftChannelSeries, 0, -1);      // in front
        Model.Append(LeftChannelSeries, 400.1, -2);  // between
        Model.Append(LeftChannelSeries, 400.25, -3); // beside an equal x
        QVERIFY(matches(LeftChannelSeries));
        Model.AddToY(LeftChannelSeries, 1.5);
        QVERIFY(matches(LeftChannelSeries));
        Model.Clear(LeftChannelSeries);
        QVERIFY(Chart->Graph(LeftChannelSeries)->data()->isEmpty());
    }

    void manyPointsDrawOncePerFrame()
    {
        QSignalSpy drawn(Chart.get(), &QCustomPlot::afterReplot);
        Model.SetVisible(RightChannelSeries, true);
        for (int i = 0; i < 10000; ++i)
            Model.Append(RightChannelSeries, i, -i % 90);
        QCOMPARE(drawn.count(), 0);
        QTRY_COMPARE(drawn.count(), 1);
        QTest::qWait(100);
        QCOMPARE(drawn.count(), 1);
    }

    void automaticBottomRangeFollowsTheShownData()
    {
        Model.SetVisible(LeftChannelSeries, true);
        Model.Append(LeftChannelSeries, 1.5, -20);
        Model.Append(LeftChannelSeries, 4.0, -30);
        Model.Append(RightChannelSeries, 9.0, -30); // hidden: no say in the range
        Chart->SetBottomAutoRange(true);
        Chart->ReplotNow();
        QCOMPARE(Chart->BottomRange(), QCPRange(1.5, 4.0));
        Model.Append(LeftChannelSeries, 6.0, -30);
        Chart->ReplotNow();
        QCOMPARE(Chart->BottomRange(), QCPRange(1.5, 6.0));
        Chart->SetBottomRange(0, 2);
        QVERIFY(!Chart->BottomAutoRange());
        Model.Append(LeftChannelSeries, 8.0, -30);
        Chart->ReplotNow();
        QCOMPARE(Chart->BottomRange(), QCPRange(0, 2));
    }

    void copiesAsVectorAndPicture()
    {
        Chart->CopyToClipboard();
        const QMimeData* copied = QApplication::clipboard()->mimeData();
        QVERIFY(copied != nullptr);
        QVERIFY(copied->data("image/svg+xml").contains("<svg"));
        QVERIFY(copied->hasImage());
    }

    void printPreviewIsModalAndTitled()
    {
        QString title;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&title] {
            if (QWidget* preview = QApplication::activeModalWidget()) {
                title = preview->windowTitle();
                preview->close();
            }
        });
        poll.start(10);
        Chart->PrintPreview();
        QCOMPARE(title, QString("Podgląd wydruku"));

        // The page itself: the chart drawn into a printer's output.
        QTemporaryDir folder;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(folder.filePath("wykres.pdf"));
        Chart->RenderPage(&printer);
        QVERIFY(QFileInfo(printer.outputFileName()).size() > 1000);
    }
};

QTEST_MAIN(TTestChartView)
#include "test_chart_view.moc"
