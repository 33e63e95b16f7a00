// SPDX-License-Identifier: GPL-3.0-or-later
// A frequency characteristic measured through the private sound server: the null sink played into
// and its monitor recorded is a perfect loop, so once calibrated at 1 kHz it must be flat.

#include "../audio/AudioTestSupport.h"
#include "WindowTestSupport.h"

#include "ui/OknoGlowna.h"

#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

class TestSweepSoundServer : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;

    bool Measuring()
    {
        return FindControl<QToolButton>(*Window, "btnStart")->defaultAction()->objectName() == "actStop";
    }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(false);
        TONVIX_REQUIRE_PRIVATE_SOUND_SERVER();
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path()));
    }

    void flatAfterZeroDecibelsAtOneKilohertz()
    {
        Window = std::make_unique<TFormaGlowna>(QStringList{"tonvix"});
        Window->show();
        QVERIFY(QTest::qWaitForWindowActive(Window.get()));
        TMeasurementState& state = Window->State();
        state.Preferences.PromptOnClose = false;
        state.Preferences.ShowRaport = false;
        Window->AudioIn().SetFrameRate(48000); // the sink's own rate: nothing is resampled
        Window->AudioOut().SetFrameRate(48000);
        FindControl<QAction>(*Window, "actPomiarCharakterystyk")->trigger();
        FindControl<QRadioButton>(*Window, "rbKanalLR")->click();
        state.AveragingTime = 0.25;
        state.NoAveraging = false;
        state.MeasurementDelay = 1000; // calibrating waits this long for the tone to come back
        state.PointTime = 250;         // the sweep's points follow the server's latency by themselves

        // "Ustaw 0dB dla częstotliwości" at 1 kHz, both channels.
        {
            QStringList messages;
            TModalCloser dialog([&](QWidget* modal) {
                if (auto* box = qobject_cast<QMessageBox*>(modal))
                    messages << box->text();
                QTest::keyClick(modal, Qt::Key_Return);
            });
            FindControl<QAction>(*Window, "mmiNarzedziaKalibracja")->trigger();
            QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        }
        QCOMPARE(Window->StatusPanel(0), QString("Skalibrowany (kanał lewy i prawy)"));

        FindControl<QLineEdit>(*Window, "edtStartFreq")->setText("100");
        FindControl<QLineEdit>(*Window, "edtStopFreq")->setText("10000");
        FindControl<QLineEdit>(*Window, "edtLiczbaPunktow")->setText("13");
        Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Window.get()));
        {
            // The series chooser is answered; any message (a sweep that had to stop) fails the test.
            QStringList messages;
            TModalCloser chooser([&](QWidget* modal) {
                if (auto* box = qobject_cast<QMessageBox*>(modal))
                    messages << box->text();
                QTest::keyClick(modal, Qt::Key_Return);
            });
            QTest::keyClick(Window.get(), Qt::Key_F2);
            QTRY_VERIFY_WITH_TIMEOUT(!Measuring(), 30000);
            QTest::qWait(100); // a stop's message is shown after the block that stopped the sweep
            QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        }
        for (const int series : {0, 4}) {
            const TChartSeriesData& points = Window->ChartData().Series(series);
            QCOMPARE(points.Count(), 13);
            for (int i = 0; i < points.Count(); ++i)
                qInfo("series %d: %8.1f Hz %+.4f dB", series + 1, points.X(i), points.Y(i));
            for (int i = 0; i < points.Count(); ++i)
                QVERIFY2(std::abs(points.Y(i)) < 0.02, qPrintable(QString("series %1: %2 Hz %3 dB")
                                                                      .arg(series + 1)
                                                                      .arg(points.X(i))
                                                                      .arg(points.Y(i), 0, 'f', 4)));
        }
        Window.reset();
    }
};

QTEST_MAIN(TestSweepSoundServer)
#include "test_sweep_soundserver.moc"
