// The frequency characteristic and calibration driven through the main window on the virtual card.

#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "common/NumberFormat.h"
#include "ui/OknoGlowna.h"

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

class TestSweepWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;

    template <class T> T* Find(const char* name) { return FindControl<T>(*Window, name); }
    QAction* Action(const char* name) { return Find<QAction>(name); }
    bool Measuring() { return Find<QToolButton>("btnStart")->defaultAction() == Action("actStop"); }
    void Type(const char* edit, const QString& text)
    {
        auto* target = Find<QLineEdit>(edit);
        target->setFocus();
        target->selectAll();
        QTest::keyClicks(target, text);
    }
    void Leave(const char* edit)
    {
        Find<QLineEdit>(edit)->clearFocus(); // the focus goes, as when the user clicks elsewhere
    }
    // A window manager hands the activation back to the window when a modal window closes.
    void Reactivate()
    {
        Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Window.get()));
    }
    // F2, the series chooser answered with Enter (its active slot), and the whole sweep.
    void SweepWithF2(int timeout)
    {
        Reactivate();
        TModalCloser chooser([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        QTest::keyClick(Window.get(), Qt::Key_F2);
        QTRY_VERIFY_WITH_TIMEOUT(!Measuring(), timeout);
    }

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
        Window->State().MeasurementDelay = 100;
        Window->State().PointTime = 60;
        Action("actPomiarCharakterystyk")->trigger();
    }
    void cleanup() { Window.reset(); }

    // 3 points from 100 Hz to 10 kHz, typed in; the edits are locked while it runs; the sweep stops
    // by itself with its conditions recorded and the generator back at the start.
    void threePointSweepStopsByItself()
    {
        Type("edtStartFreq", "100");
        Type("edtStopFreq", "10000");
        Type("edtLiczbaPunktow", "3");
        bool lockedDuringSweep = false;
        QTimer::singleShot(200, [&] { lockedDuringSweep = !Find<QLineEdit>("edtStartFreq")->isEnabled(); });
        SweepWithF2(5000);
        QVERIFY(lockedDuringSweep);
        const TChartSeriesData& points = Window->ChartData().Series(0);
        QCOMPARE(points.Count(), 3);
        QCOMPARE(points.X(0), 100.0);
        QVERIFY(qAbs(points.X(1) - 1000) < 1e-9 && qAbs(points.X(2) - 10000) < 1e-9);
        QVERIFY(Find<QLineEdit>("edtStartFreq")->isEnabled());
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar zatrzymany"));
        const SeriesSlot& record = Window->SeriesStore().Slot(0);
        QVERIFY(record.SlotMeasured);
        QCOMPARE(record.SlotFrameRate, Window->AudioIn().FrameRate());
        QCOMPARE(Window->State().SweepIndex, 0);
        QCOMPARE(Window->State().GeneratorFrequency, 100.0);

        // With no point time the points come one a block, and the last block's handler stops it all.
        Window->State().PointTime = 0;
        SweepWithF2(5000);
        QCOMPARE(points.Count(), 3);
        QVERIFY(!Window->AudioIn().Running() && !Window->AudioOut().Running());
    }

    // A stop by F2 after a few points keeps them and the point reached; the next start goes on
    // into the same series; "Zeruj generator" starts over.
    void stoppedSweepContinues()
    {
        Type("edtLiczbaPunktow", "20");
        TModalCloser chooser([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        QTest::keyClick(Window.get(), Qt::Key_F2);
        QTRY_VERIFY(Window->ChartData().Series(0).Count() >= 4);
        Reactivate();
        QTest::keyClick(Window.get(), Qt::Key_F2);
        QVERIFY(!Measuring());
        const int taken = Window->ChartData().Series(0).Count();
        QCOMPARE(Window->State().SweepIndex, taken);

        SweepWithF2(5000);
        QCOMPARE(Window->ChartData().Series(0).Count(), 20);

        Window->State().SweepIndex = 7;
        Action("mmiZerujGenerator")->trigger();
        QCOMPARE(Window->State().SweepIndex, 0);
        QCOMPARE(Find<QProgressBar>("pbPasekPostepu")->value(), 0);
    }

    // The key filters, the corrections on leaving an edit, and the start action that follows them.
    void editsFilterKeysAndCorrectThemselves()
    {
        QAction* start = Action("actStart");
        Type("edtLiczbaPunktow", "2a,");
        QCOMPARE(Find<QLineEdit>("edtLiczbaPunktow")->text(), QString("2"));
        QVERIFY(!start->isEnabled());
        Leave("edtLiczbaPunktow");
        QCOMPARE(Find<QLineEdit>("edtLiczbaPunktow")->text(), QString("3"));
        QVERIFY(start->isEnabled());

        Type("edtStartFreq", QString("1x") + NumberFormat::DecimalSeparator() + "5");
        QCOMPARE(Find<QLineEdit>("edtStartFreq")->text(),
                 QString("1") + NumberFormat::DecimalSeparator() + "5");
        Type("edtStopFreq", "");
        Leave("edtStopFreq");
        QCOMPARE(Find<QLineEdit>("edtStopFreq")->text(), QString("10000"));
    }

    // Start needs a series in this kind only: with none it is off here and on in the other kind.
    void startFollowsTheSeriesInThisKindOnly()
    {
        QTest::keyClick(Window.get(), Qt::Key_Delete, Qt::ControlModifier); // "Usuń wszystkie"
        QCOMPARE(Window->StatusPanel(4), QString("Brak serii"));
        QVERIFY(!Action("actStart")->isEnabled());
        Action("actPomiarCisnienia")->trigger();
        QVERIFY(Action("actStart")->isEnabled());
        QTest::keyClick(Window.get(), Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(Action("actStart")->isEnabled());
        Action("actPomiarCharakterystyk")->trigger();
        QVERIFY(!Action("actStart")->isEnabled());
        QTest::keyClick(Window.get(), Qt::Key_Insert); // "Dodaj serię"
        QVERIFY(Action("actStart")->isEnabled());
    }

    // The dialog offers this kind's procedures; "Ustaw 0dB dla częstotliwości" makes the virtual
    // card's tone read 0 dB there, and Reset takes it back.
    void calibrationThroughTheDialog()
    {
        TMeasurementState& state = Window->State();
        state.TimeCalibrationL = 5;
        state.MeasurementDelay = 400; // longer than the way from the output's queue to the input
        state.AveragingTime = 0.035;
        {
            TModalCloser dialog([](QWidget* modal) {
                QVERIFY(!FindControl<QGroupBox>(*modal, "rgSposobKalibracji1")->isEnabled());
                QVERIFY(FindControl<QSpinBox>(*modal, "edtPoziomMaksimum")->isEnabled());
                FindControl<QSpinBox>(*modal, "edtCzestotliwoscOdnieseienia")->setValue(500);
                QTest::keyClick(modal, Qt::Key_Return);
            });
            Action("mmiNarzedziaKalibracja")->trigger();
        }
        QCOMPARE(Window->StatusPanel(0), QString("Skalibrowany (kanał lewy)"));
        QVERIFY(Action("actStart")->isEnabled());
        QCOMPARE(Window->State().GeneratorFrequency, state.StartFreq);

        // The same tone now reads 0 dB on the left channel, within the block's own spread.
        Type("edtStartFreq", "500");
        Type("edtStopFreq", "600");
        Type("edtLiczbaPunktow", "3");
        SweepWithF2(5000);
        QCOMPARE(Window->ChartData().Series(0).Count(), 3);
        QVERIFY2(qAbs(Window->ChartData().Series(0).Y(0)) < 0.1,
                 qPrintable(QString::number(Window->ChartData().Series(0).Y(0))));

        TModalCloser reset([](QWidget* modal) { FindControl<QPushButton>(*modal, "btnReset")->click(); });
        Action("mmiNarzedziaKalibracja")->trigger();
        QCOMPARE(Window->StatusPanel(0), QString("Nie skalibrowany"));
        QCOMPARE(state.FreqCalibrationL, 0.0);
        QCOMPARE(state.TimeCalibrationL, 5.0);
    }

    // The find-maximum sweep runs in its timer with the start locked, and ends unlocked.
    void findMaximumSweepEndsByItself()
    {
        TMeasurementState& state = Window->State();
        state.CalibrationPointsCount = 20;
        state.CalibrationTime = 20;
        TModalCloser dialog([](QWidget* modal) {
            FindControl<QRadioButton>(*modal, "rbSposobKalibracji2_1")->setChecked(true);
            FindControl<QSpinBox>(*modal, "edtPoziomMaksimum")->setValue(-10);
            QTest::keyClick(modal, Qt::Key_Return);
        });
        Action("mmiNarzedziaKalibracja")->trigger();
        QVERIFY(!Action("actStart")->isEnabled());
        QVERIFY(!Action("actPomiarCisnienia")->isEnabled());
        QTRY_VERIFY(Window->StatusPanel(3).startsWith("Maksimum: ")); // the loudest point so far
        QTRY_COMPARE_WITH_TIMEOUT(Window->StatusPanel(0), QString("Kalibracja zakończona"), 5000);
        QCOMPARE(Find<QLabel>("lblLiczbaPunktow")->text(), QString("Liczba punktów pomiarowych"));
        QVERIFY(Action("actStart")->isEnabled());
        QVERIFY(state.FreqCalibrationL != 0);
        QCOMPARE(state.FreqLevelScaleMaximum, std::nearbyint(state.FreqCalibrationL) + state.LevelExcess);
    }

    // A card that refuses to open ends the calibration with the output's reason; nothing changes.
    void calibrationOnACardThatRefuses()
    {
        TDeviceServices::VirtualCard().RefuseOpen("urządzenie zajęte");
        QStringList shown;
        TModalCloser answers([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                shown << box->text();
            QTest::keyClick(modal, Qt::Key_Return);
        });
        Action("mmiNarzedziaKalibracja")->trigger();
        QCOMPARE(shown.size(), 2); // the output's failure, then the input's reason alone
        QVERIFY(shown[0].startsWith("Audio Out failed because: \r"));
        QVERIFY(shown[1].contains("urządzenie zajęte"));
        QCOMPARE(Window->State().FreqCalibrationL, 0.0);
        QCOMPARE(Window->StatusPanel(0), QString("Nie skalibrowany"));
        QVERIFY(Action("actStart")->isEnabled());
        QVERIFY(!Window->AudioIn().Running() && !Window->AudioOut().Running());
    }

    // "&Nowe pomiary" starts the sweep over as well.
    void newMeasurementsResetTheGenerator()
    {
        Window->State().SweepIndex = 12;
        Window->State().GeneratorFrequency = 5000;
        Action("actPlikNowy")->trigger();
        QCOMPARE(Window->State().SweepIndex, 0);
        QCOMPARE(Window->State().GeneratorFrequency, Window->State().StartFreq);
    }
};

QTEST_MAIN(TestSweepWindow)
#include "test_sweep_window.moc"
