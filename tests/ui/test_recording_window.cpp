// SPDX-License-Identifier: GPL-3.0-or-later
// A sound-pressure recording driven through the main window's keys and buttons on the virtual card.

#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "common/NumberFormat.h"
#include "ui/OknoGlowna.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

class TestRecordingWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;

    template <class T> T* Find(const char* name) { return FindControl<T>(*Window, name); }
    int Points() const { return Window->ChartData().Series(LeftChannelSeries).Count(); }
    double LastX() const
    {
        const TChartSeriesData& left = Window->ChartData().Series(LeftChannelSeries);
        return left.X(left.Count() - 1);
    }
    void PressF2() { QTest::keyClick(Window.get(), Qt::Key_F2); }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path()));
    }
    void init()
    {
        Window = OpenWindowOnVirtualCard();
        QVERIFY(Window);
        TMeasurementState& state = Window->State();
        state.ChartTimeRefresh = 50;
        state.MeasurementDelay = 150;
        state.ChartTimeScope = 1000;
    }
    void cleanup()
    {
        Window->State().Preferences.PromptOnClose = false;
        Window.reset();
        NumberFormat::SetDecimalSeparator(QChar());
    }

    void f2StartsWithASettlingWaitAndStops()
    {
        auto* start = Find<QToolButton>("btnStart");
        bool enabledDuringWait = true;
        QString statusDuringWait;
        QTimer::singleShot(60, [&] {
            enabledDuringWait = start->isEnabled();
            statusDuringWait = Window->StatusPanel(0);
        });
        PressF2();
        QVERIFY(!enabledDuringWait);
        QCOMPARE(statusDuringWait, QString("Pomiar"));
        QVERIFY(start->isEnabled());
        QCOMPARE(start->defaultAction()->objectName(), QString("actStop"));
        QVERIFY(Find<QPushButton>("btnPauza")->isEnabled());
        QVERIFY(!Find<QAction>("actPomiarCharakterystyk")->isEnabled());
        QVERIFY(Find<QTimer>("tmrTimer")->isActive());

        QTRY_VERIFY(Points() >= 5);
        QCOMPARE(Window->ChartData().Series(RightChannelSeries).Count(),
                 Window->ChartData().Series(LeftChannelSeries).Count());
        QVERIFY(Find<QLabel>("pnlCzas")->text().startsWith("Czas: 00:00:0"));

        PressF2();
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar zatrzymany"));
        QCOMPARE(start->defaultAction()->objectName(), QString("actStart"));
        QCOMPARE(start->text(), QString("Start"));
        QVERIFY(!Find<QTimer>("tmrTimer")->isActive());
        QVERIFY(!Find<QPushButton>("btnPauza")->isEnabled());
        QVERIFY(Find<QAction>("actPomiarCharakterystyk")->isEnabled());
        const int points = Points();
        QTest::qWait(150);
        QCOMPARE(Points(), points);            // nothing after the stop
        QVERIFY(Window->State().ResultsSaved); // no acquisition: nothing to save
    }

    void pauseBlinksAndContinueKeepsOneTimeLine()
    {
        PressF2();
        QTRY_VERIFY(Points() >= 4);
        Find<QPushButton>("btnPauza")->click();
        const int points = Points();
        const double pausedAt = LastX();
        auto* start = Find<QToolButton>("btnStart");
        QCOMPARE(Window->StatusPanel(0), QString("Pauza"));
        QCOMPARE(start->text(), QString("&Kontynuuj"));
        QVERIFY(!Find<QAction>("actPomiarCisnienia")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(Window->StatusPanel(0), QString(), 1000); // blinks off...
        QCOMPARE(start->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(Window->StatusPanel(0), QString("Pauza"), 1000); // ...and on again
        QCOMPARE(start->text(), QString("&Kontynuuj"));

        PressF2(); // continue
        QVERIFY(!Find<QTimer>("tmrPauza")->isActive());
        QTRY_VERIFY(Points() >= points + 2);
        QCOMPARE(Window->ChartData().Series(LeftChannelSeries).X(points - 1), pausedAt); // kept
        const double step = Window->ChartData().Series(LeftChannelSeries).X(points) - pausedAt;
        QVERIFY2(step > 0 && step < 0.3, qPrintable(QString::number(step))); // the pause is not counted
        PressF2();
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar zatrzymany"));
    }

    void resetTimeAfterAPauseMakesAFreshStart()
    {
        PressF2();
        QTRY_VERIFY(Points() >= 6);
        Find<QPushButton>("btnPauza")->click();
        Find<QAction>("mmiZerujGenerator")->trigger();
        QCOMPARE(Points(), 0);
        PressF2();
        QTRY_VERIFY(Points() >= 1);
        QVERIFY(LastX() < 0.3); // counted from 0 again
        PressF2();
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar zatrzymany"));
        QCOMPARE(Find<QToolButton>("btnStart")->text(), QString("Start")); // not "&Kontynuuj"
    }

    void acquisitionFillsTheQueueAndDecidesWhatIsSaved()
    {
        auto* acquisition = Find<QCheckBox>("cbAkwizycja");
        acquisition->click();
        PressF2();
        QCOMPARE(Window->StatusPanel(4), QString("Zapis danych do pamięci"));
        QTRY_VERIFY(Points() >= 3);
        PressF2();
        TAcquisitionQueue& queue = Window->AcquisitionQueue();
        QCOMPARE(queue.Count(), std::size_t(3 * Points()));
        const TChartSeriesData& left = Window->ChartData().Series(LeftChannelSeries);
        const TChartSeriesData& right = Window->ChartData().Series(RightChannelSeries);
        for (int point = 0; point < Points(); ++point) { // time, left, right, in that order
            QCOMPARE(queue.Dequeue(), left.X(point));
            QCOMPARE(queue.Dequeue(), left.Y(point));
            QCOMPARE(queue.Dequeue(), right.Y(point));
        }
        QVERIFY(!Window->State().ResultsSaved); // values were in the queue at the stop

        PressF2();
        QTRY_VERIFY(!queue.Empty());
        auto* release = Find<QToolButton>("tbnKosz");
        QVERIFY(release->isEnabled());
        release->click(); // while recording the command stays available
        QVERIFY(release->isEnabled());
        QTRY_VERIFY(!queue.Empty()); // new values keep arriving
        PressF2();
        QVERIFY(!Window->State().ResultsSaved);
        release->click();
        QVERIFY(queue.Empty());
        QVERIFY(!release->isEnabled());

        PressF2(); // a recording whose queue is empty at its stop counts as saved
        acquisition->click();
        Window->AcquisitionQueue().Clear();
        PressF2();
        QVERIFY(Window->State().ResultsSaved);
    }

    void intervalZeroTakesOnePointABlockWithTheTimerIdle()
    {
        Window->State().ChartTimeRefresh = 0;
        PressF2();
        QVERIFY(!Find<QTimer>("tmrTimer")->isActive());
        QTRY_VERIFY(Points() >= 20);
        PressF2();
    }
};

QTEST_MAIN(TestRecordingWindow)
#include "test_recording_window.moc"
