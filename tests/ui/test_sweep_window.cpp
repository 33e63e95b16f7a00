// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency characteristic and calibration driven through the main window on the virtual card.

#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "audio/DeviceUnderTest.h"
#include "audio/VirtualCard.h"
#include "common/NumberFormat.h"
#include "ui/ChartView.h"
#include "ui/OknoGlowna.h"
#include "ui/OknoKalibracja.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>
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
    void cleanup()
    {
        Window.reset();
        TDeviceServices::VirtualCard().RestoreDefaults();
    }

    // 3 points from 100 Hz to 10 kHz, typed in; the edits, the channel mode and the zeroing are locked
    // while it runs; the sweep stops by itself with its conditions recorded and the generator back at
    // the start.
    void threePointSweepStopsByItself()
    {
        Type("edtStartFreq", "100");
        Type("edtStopFreq", "10000");
        Type("edtLiczbaPunktow", "3");
        bool lockedDuringSweep = false;
        QTimer::singleShot(200, [&] {
            lockedDuringSweep = !Find<QLineEdit>("edtStartFreq")->isEnabled() &&
                                !Find<QGroupBox>("rgTrybPracy")->isEnabled() &&
                                !Action("actTrybPracy")->isEnabled() &&
                                !Action("mmiZerujGenerator")->isEnabled();
        });
        SweepWithF2(5000);
        QVERIFY(lockedDuringSweep);
        const TChartSeriesData& points = Window->ChartData().Series(0);
        QCOMPARE(points.Count(), 3);
        QCOMPARE(points.X(0), 100.0);
        QVERIFY(qAbs(points.X(1) - 1000) < 1e-9 && qAbs(points.X(2) - 10000) < 1e-9);
        QVERIFY(Find<QLineEdit>("edtStartFreq")->isEnabled() && Find<QGroupBox>("rgTrybPracy")->isEnabled());
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

    // "Kompensacja" has no use for detected points (the reference channel does its work, phase and all):
    // the box is greyed and not in force while the method is the synchronous one, and back with the other.
    void compensationIsGreyedForDetectedPoints()
    {
        auto* box = Find<QCheckBox>("cbKompensacja");
        box->click();
        QVERIFY(box->isChecked() && Window->State().Compensation);
        const auto select = [this](TSweepMethod method) {
            Window->State().Detection.Method = method;
            Action("actPomiarCisnienia")->trigger();
            Action("actPomiarCharakterystyk")->trigger();
        };
        select(TSweepMethod::Synchronous);
        QVERIFY(!box->isEnabled() && !Window->State().Compensation);
        QVERIFY(!Action("mmiKompensacja")->isEnabled());
        select(TSweepMethod::AveragedLevel);
        QVERIFY(box->isEnabled() && Window->State().Compensation);
        box->click();
    }

    // Both channels, the right one 882 frames behind the left: the window shows the delay the probe found.
    void theDelayFoundIsShown()
    {
        TChannelModel left, right;
        right.DelayFrames = 882;
        TDeviceServices::VirtualCard().SetModel(0, left);
        TDeviceServices::VirtualCard().SetModel(1, right);
        Find<QRadioButton>("rbKanalLR")->click();
        Type("edtLiczbaPunktow", "3");
        SweepWithF2(20000);
        const QString shown = Find<QLineEdit>("edtOpoznienie")->text();
        QVERIFY2(shown.startsWith(NumberFormat::Fixed(1000.0 * 882 / Window->AudioIn().FrameRate(), 0, 3) +
                                  " ms = "),
                 qPrintable(shown));
        Find<QRadioButton>("rbKanalL")->click();
        TDeviceServices::VirtualCard().SetModel(1, TChannelModel{});
    }

    // A device with a low-pass and a squared term on the left, the right input wired as the reference:
    // the sweep's points carry phase and distortion, and "Widok" draws them and reads them out at the
    // mouse for the active series.
    void synchronousSweepShowsWhatItDetected()
    {
        TChannelModel device;
        device.LowPassHz = 1000;
        device.Square = 0.1;
        TDeviceServices::VirtualCard().SetModel(0, device);
        TDeviceServices::VirtualCard().SetModel(1, TChannelModel{});
        TDetectionSettings& detection = Window->State().Detection;
        detection.Method = TSweepMethod::Synchronous;
        detection.Reference = TReferenceChannel::Right;
        Type("edtStartFreq", "100");
        Type("edtStopFreq", "10000");
        Type("edtLiczbaPunktow", "3");
        SweepWithF2(10000);
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar zatrzymany"));
        const TChartSeriesData& points = Window->ChartData().Series(0);
        QCOMPARE(points.Count(), 3);
        QVERIFY(points.HasDetails() && points.Detail(1)->Has(TPointDetail::PhaseMeasured));
        QVERIFY(std::abs(points.Y(1) + 3) < 0.1 && std::abs(points.Detail(1)->Phase + 90) < 1); // the corner

        auto* chart = Find<TChartView>("chtWykres");
        QVERIFY(!chart->yAxis2->visible());
        Action("mmiFaza")->trigger();
        Action("mmiH2")->trigger();
        QVERIFY(chart->yAxis2->visible());
        chart->ReplotNow();
        const QPoint at = chart->axisRect()->rect().center();
        QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(chart, &move);
        const QString readout = chart->DetailReadout();
        QVERIFY2(readout.startsWith("Seria 1: 1000") && readout.contains(", faza -") &&
                     readout.contains("H2 -"),
                 qPrintable(readout));
    }

    // A sweep that fails while its start still waits for the input to settle stops there and says why:
    // with the loop broken and the card at five times real time, the probe's whole search fits in it.
    void aSweepThatFailsInTheSettlingWaitStops()
    {
        TChannelModel broken;
        broken.GainDb = -200;
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.SetModel(0, broken);
        card.SetModel(1, broken);
        card.SetSpeed(5);
        Window->AudioIn().SetBufferSize(16384);
        Window->AudioOut().SetBufferSize(16384);
        Window->State().MeasurementDelay = 2000;
        TModalCloser closer([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        Reactivate();
        QTest::keyClick(Window.get(), Qt::Key_F2); // returns after the settling wait
        QVERIFY2(closer.Said.startsWith("Sygnał generatora nie dotarł do wejścia w ciągu 3 s"),
                 qPrintable(closer.Said));
        QVERIFY(!Measuring());
        QVERIFY(!Window->AudioIn().Running() && !Window->AudioOut().Running());
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

    // The find-maximum sweep runs in its timer with the start, the sweep's parameters and the generator
    // locked, and shows the loudest point so far where the chart's read-out does not write. An OK of
    // the options meanwhile starts no measurement. The end unlocks all and clears the read-out.
    void findMaximumSweepEndsByItself()
    {
        TMeasurementState& state = Window->State();
        state.CalibrationPointsCount = 40;
        state.CalibrationTime = 20;
        {
            TModalCloser dialog([](QWidget* modal) {
                FindControl<QRadioButton>(*modal, "rbSposobKalibracji2_1")->setChecked(true);
                FindControl<QSpinBox>(*modal, "edtPoziomMaksimum")->setValue(-10);
                QTest::keyClick(modal, Qt::Key_Return);
            });
            Action("mmiNarzedziaKalibracja")->trigger();
        }
        QVERIFY(!Action("actStart")->isEnabled());
        QVERIFY(!Action("actPomiarCisnienia")->isEnabled());
        QVERIFY(!Find<QLineEdit>("edtStartFreq")->isEnabled() &&
                !Find<QLineEdit>("edtLiczbaPunktow")->isEnabled());
        QVERIFY(!Action("mmiZerujGenerator")->isEnabled());
        QTRY_VERIFY(Find<QLabel>("pnlCzas")->text().startsWith("Maks.: ")); // the loudest point so far
        {
            TModalAnswer options([](QWidget* dialog) { Click(dialog, "btnOK"); }, "TFormaOpcjeWykresu");
            Action("actKonfiguracja")->trigger();
            QVERIFY(options.Seen);
        }
        QVERIFY(!Find<QTimer>("tmrTimer")->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(Window->StatusPanel(0), QString("Kalibracja zakończona"), 5000);
        QCOMPARE(Find<QLabel>("lblLiczbaPunktow")->text(), QString("Liczba punktów pomiarowych"));
        QVERIFY(Action("actStart")->isEnabled());
        QVERIFY(Find<QLineEdit>("edtStartFreq")->isEnabled() && Action("mmiZerujGenerator")->isEnabled());
        QCOMPARE(Find<QLabel>("pnlCzas")->text(), QString("Częstotliwość [Hz]"));
        QVERIFY(Window->StatusPanel(3).isEmpty());
        QVERIFY(!Find<QTimer>("tmrTimer")->isActive());
        QCOMPARE(Window->ChartData().Series(0).Count(), 0);
        QCOMPARE(state.FreqCalibrationL, -10 - state.CalibrationPeakLevelL - 3);
        QCOMPARE(state.FreqLevelScaleMaximum, std::nearbyint(state.FreqCalibrationL) + state.LevelExcess);
    }

    // A device lost during a calibration ends it and says so; the offsets stay as they were.
    void aDeviceLostDuringACalibrationEndsIt()
    {
        TMeasurementState& state = Window->State();
        state.FreqCalibrationL = 1.5;
        state.CalibrationTime = 20; // 100 points: two seconds
        {
            TModalCloser dialog([](QWidget* modal) {
                FindControl<QRadioButton>(*modal, "rbSposobKalibracji2_1")->setChecked(true);
                QTest::keyClick(modal, Qt::Key_Return);
            });
            Action("mmiNarzedziaKalibracja")->trigger();
        }
        QTRY_VERIFY(state.CalibrationStep >= 3);
        TModalAnswer message([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
        TDeviceServices::VirtualCard().LoseDevices();
        QTRY_VERIFY(message.Seen);
        QVERIFY2(message.Text.contains("przestało działać") &&
                     message.Text.endsWith("Kalibracja została przerwana; dotychczasowa kalibracja pozostaje "
                                           "bez zmian."),
                 qPrintable(message.Text));
        QCOMPARE(Window->StatusPanel(0), QString("Kalibracja przerwana"));
        QVERIFY(!Find<QTimer>("tmrKalibracja")->isActive());
        QVERIFY(Action("actStart")->isEnabled());
        QCOMPARE(state.FreqCalibrationL, 1.5);
        QCOMPARE(state.FreqCalibrationR, 0.0);
    }

    // A stopped sweep goes on only if nothing but the stop happened since: after a calibration (which
    // leaves the generator at the start), a result file read or a new channel mode it starts afresh.
    void aStoppedSweepStartsAfreshAfterAnythingElse()
    {
        TMeasurementState& state = Window->State();
        const auto stoppedAfterSevenPoints = [&] {
            state.SweepIndex = 7;
            state.GeneratorFrequency = TSweep::PointFrequency(state.StartFreq, state.StopFreq, 7, 100);
        };
        stoppedAfterSevenPoints();
        {
            TModalCloser dialog([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
            Action("mmiNarzedziaKalibracja")->trigger(); // "Ustaw 0dB dla częstotliwości"
        }
        QCOMPARE(state.SweepIndex, 0);

        stoppedAfterSevenPoints();
        TModalAnswer open(
            [](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                QVERIFY(dialog != nullptr);
                dialog->selectFile(TONVIX_FIXTURES "/legend-hidden-frequency.lev");
                static_cast<QDialog*>(dialog)->accept(); // as its own button does
            },
            "dlgOtworz");
        Action("actPlikOtworz")->trigger();
        QVERIFY(open.Seen);
        QCOMPARE(Window->ChartData().Series(1).Count(), 2); // "Seria 2" of the file
        QCOMPARE(state.SweepIndex, 0);
        QCOMPARE(state.GeneratorFrequency, state.StartFreq);

        stoppedAfterSevenPoints();
        Find<QRadioButton>("rbKanalLR")->click();
        QCOMPARE(state.SweepIndex, 0);
    }

    // In the sound-pressure kind the dialog offers the reference level: its captions, its limits, and
    // digits only in its edit.
    void calibrationDialogInThePressureKind()
    {
        TFormaKalibracja dialog(TMeasurementKind::SoundPressure, TCalibrationRequest{}, Window.get());
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Kalibracja"));
        auto* pressure = FindControl<QGroupBox>(dialog, "rgSposobKalibracji1");
        auto* frequency = FindControl<QGroupBox>(dialog, "rgSposobKalibracji2");
        QCOMPARE(pressure->title(), QString("Pomiar ciśnienia akustycznego"));
        QCOMPARE(frequency->title(), QString("Pomiar charakterystyk częstotliwościowych"));
        QVERIFY(pressure->isEnabled() && !frequency->isEnabled());
        const QList<QRadioButton*> items = pressure->findChildren<QRadioButton*>();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0]->text(), QString("Poziom odniesienia"));
        QVERIFY(items[0]->isChecked());
        QStringList units;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (label->isEnabled() && label->objectName() != "lblKalibratorZ")
                units << label->text();
        QCOMPARE(units, QStringList{"dB"}); // the reference level's; "Hz" and the target's "dB" are off
        for (const char* name : {"edtCzestotliwoscOdnieseienia", "edtPoziomMaksimum"})
            QVERIFY(!FindControl<QSpinBox>(dialog, name)->isEnabled());
        const QStringList buttons = {FindControl<QPushButton>(dialog, "btnWykonaj")->text(),
                                     FindControl<QPushButton>(dialog, "btnReset")->text(),
                                     FindControl<QPushButton>(dialog, "btnAnuluj")->text()};
        QCOMPARE(buttons, (QStringList{"&Wykonaj", "&Reset", "&Anuluj"}));

        // A calibrator's level with its decimal, in the user's separator; the dialog says it is
        // measured unweighted.
        auto* level = FindControl<QDoubleSpinBox>(dialog, "edtPoziomOdniesienia");
        QCOMPARE(level->value(), 124.0);
        QCOMPARE(level->minimum(), 0.0);
        QCOMPARE(level->maximum(), 150.0);
        QVERIFY(FindControl<QLabel>(dialog, "lblKalibratorZ")->text().contains("(Z)"));
        const QString separator = level->locale().decimalPoint();
        level->setFocus();
        level->selectAll();
        QTest::keyClicks(level, "-9x3" + separator + "8");
        QCOMPARE(level->text(), "93" + separator + "8");
        QTest::keyClick(level, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(TFormaKalibracja::Wykonaj));
        QCOMPARE(dialog.Request().Procedure, TCalibrationProcedure::ReferenceLevel);
        QCOMPARE(dialog.Request().ReferenceLevel, 93.8);
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
        QVERIFY(shown[0].startsWith("Nie można uruchomić urządzenia wyjściowego: \r"));
        QVERIFY(shown[1].contains("urządzenie zajęte"));
        QCOMPARE(Window->State().FreqCalibrationL, 0.0);
        QCOMPARE(Window->StatusPanel(0), QString("Nie skalibrowany"));
        QVERIFY(Action("actStart")->isEnabled());
        QVERIFY(!Window->AudioIn().Running() && !Window->AudioOut().Running());
    }

    // The calibration dialog offers what was chosen last: the frequency for the session, the
    // calibrator's level for the next start too (kept in the settings).
    void calibrationOffersTheLastValues()
    {
        TDeviceServices::VirtualCard().RefuseOpen("urządzenie zajęte"); // only the dialog matters here
        std::vector<std::pair<double, int>> offered;
        TModalCloser answers([&](QWidget* modal) {
            auto* level = modal->findChild<QDoubleSpinBox*>("edtPoziomOdniesienia");
            auto* frequency = modal->findChild<QSpinBox*>("edtCzestotliwoscOdnieseienia");
            if (level && frequency) {
                offered.emplace_back(level->value(), frequency->value());
                level->setValue(93.8);
                frequency->setValue(500);
            }
            QTest::keyClick(modal, Qt::Key_Return);
        });
        Action("mmiNarzedziaKalibracja")->trigger();
        Action("mmiNarzedziaKalibracja")->trigger();
        QCOMPARE(offered, (std::vector<std::pair<double, int>>{{124.0, 1000}, {93.8, 500}}));
        QCOMPARE(Window->State().CalibratorLevel, 93.8);
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
