// SPDX-License-Identifier: GPL-3.0-or-later
// "Opcje programu" and "Format serii", and the main window's routes into them and its apply step, on
// the virtual card.

#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "settings/KeyTable.h"
#include "settings/SettingsStore.h"
#include "ui/ChartView.h"
#include "ui/OknoFormatSerii.h"
#include "ui/OknoGlowna.h"
#include "ui/OknoOpcjeWykresu.h"

#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <functional>
#include <memory>
#include <utility>

namespace {

void Release(QWidget* widget)
{
    QTest::mouseRelease(widget, Qt::LeftButton, {}, widget->rect().center());
}

QString PageShown(QWidget* dialog)
{
    return FindControl<QTabWidget>(*dialog, "pgcOpcjeWykresu")->currentWidget()->objectName();
}

} // namespace

class TestOptionsDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;

    template <class T> T* Find(const char* name) { return FindControl<T>(*Window, name); }
    void NewWindow()
    {
        Window = std::make_unique<TFormaGlowna>(QStringList{"tonvix"});
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    }
    void StartRecording()
    {
        Window->State().MeasurementDelay = 50;
        Window->State().ChartTimeRefresh = 50;
        QTest::keyClick(Window.get(), Qt::Key_F2);
        QTRY_VERIFY(Points() >= 3);
    }
    int Points() const { return Window->ChartData().Series(LeftChannelSeries).Count(); }
    // Opens the options through the configuration action and runs `edit` on the dialog, which then
    // closes with OK.
    void EditOptions(const std::function<void(QWidget*)>& edit)
    {
        TModalAnswer answer(
            [&](QWidget* dialog) {
                edit(dialog);
                Click(dialog, "btnOK");
            },
            "TFormaOpcjeWykresu");
        Find<QAction>("actKonfiguracja")->trigger();
        QVERIFY(answer.Seen);
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
        NumberFormat::SetDecimalSeparator(',');
        TDeviceServices::VirtualCard().RestoreDefaults();
        NewWindow();
    }
    void cleanup()
    {
        Window.reset();
        NumberFormat::SetDecimalSeparator(QChar());
    }

    void fieldChecksKeepTheLimits()
    {
        // Blocks of 500 frames at 44100 frames/s: the minimum refresh interval is 12 ms.
        Window->AudioIn().SetFrameRate(44100);
        Window->AudioIn().SetBufferSize(2000);
        Window->AudioOut().SetBufferSize(512);
        TOpcjeProgramu options;
        options.FrameRate = 44100;
        TFormaOpcjeWykresu dialog(options, Window->State(), Window->AudioIn(), Window->AudioOut());
        dialog.show();
        const auto edit = [&](const char* name) { return FindControl<QLineEdit>(dialog, name); };
        QCOMPARE(FindControl<QLabel>(dialog, "lblMS2")->text(), QString("ms (min. 12ms)"));
        QCOMPARE(FindControl<QComboBox>(dialog, "cbCzestotliwoscProbkowania")->currentText(),
                 QString("44100 Hz"));
        QCOMPARE(FindControl<QComboBox>(dialog, "cbCzestotliwoscProbkowania")->itemText(7),
                 QString("  8000 Hz"));

        TypeAndLeave(edit("edtOdswiezanieWykresu"), "10");
        QCOMPARE(edit("edtOdswiezanieWykresu")->text(), QString("12"));
        TypeAndLeave(edit("edtOdswiezanieWykresu"), "0");
        QCOMPARE(edit("edtOdswiezanieWykresu")->text(), QString("0")); // one tick per block
        QCOMPARE(edit("edtMnoznik")->text(), QString("0"));
        TypeAndLeave(edit("edtOdswiezanieWyswietlacza"), "");
        QCOMPARE(edit("edtOdswiezanieWyswietlacza")->text(), QString("4"));
        QCOMPARE(edit("edtOdswiezanieWykresu")->text(), QString("0"));
        TypeAndLeave(edit("edtOdswiezanieWyswietlacza"), "0");
        QCOMPARE(edit("edtOdswiezanieWyswietlacza")->text(), QString("1"));
        TypeAndLeave(edit("edtKalZmianaCzestotliwosci"), "0");
        QCOMPARE(edit("edtKalZmianaCzestotliwosci")->text(), QString("12"));

        TypeAndLeave(edit("edtKalStartFreq"), "30000");
        QCOMPARE(edit("edtKalStartFreq")->text(), QString("22050"));
        TypeAndLeave(edit("edtKalStopFreq"), ",");
        QCOMPARE(edit("edtKalStopFreq")->text(), QString("10000"));
        TypeAndLeave(edit("edtKalLiczbaPunktow"), "2");
        QCOMPARE(edit("edtKalLiczbaPunktow")->text(), QString("3"));
        TypeAndLeave(edit("edtCzasHistorii"), "0");
        QCOMPARE(edit("edtCzasHistorii")->text(), QString("1"));
        TypeAndLeave(edit("edtAmplituda"), "2000");
        QCOMPARE(edit("edtAmplituda")->text(), QString("1311"));
        TypeAndLeave(edit("edtnadmiarPoziomu"), "5000"); // no further than its up-down
        QCOMPARE(edit("edtnadmiarPoziomu")->text(), QString("1000"));
        edit("edtNadmiarCzestotliwosci")->setText("5000"); // OK without leaving the edit

        // A pair of limits never inverts; a level that is no number is the one in force.
        FindControl<QRadioButton>(dialog, "rbStala")->click();
        TypeAndLeave(edit("edtMinX"), "4");
        TypeAndLeave(edit("edtMaxX"), "3");
        QCOMPARE(edit("edtMaxX")->text(), QString("4"));
        TypeAndLeave(edit("edtPoziomMin1"), "-a-");
        QCOMPARE(edit("edtPoziomMin1")->text(), QString("-90"));

        const TOpcjeProgramu values = dialog.Values();
        QCOMPARE(values.ChartTimeRefresh, 0);
        QCOMPARE(values.DisplayTimeRefresh, 1);
        QCOMPARE(values.CalibrationStartFreq, 22050.0);
        QCOMPARE(values.AmplitudeMv, 1311);
        QCOMPARE(values.LevelExcessDb, 1000);
        QCOMPARE(values.FreqExcessPercent, 1000);
    }

    void radioButtonsAndChecksEnableTheirControls()
    {
        TFormaOpcjeWykresu dialog(TOpcjeProgramu{}, Window->State(), Window->AudioIn(), Window->AudioOut());
        dialog.show();
        const auto enabled = [&](const char* name) {
            return FindControl<QWidget>(dialog, name)->isEnabled();
        };
        QVERIFY(enabled("edtCzasHistorii") && !enabled("edtMinX"));
        FindControl<QRadioButton>(dialog, "rbStala")->click();
        QVERIFY(!enabled("edtCzasHistorii") && enabled("edtMinX") && enabled("edtMaxX"));
        QVERIFY(enabled("edtPoziomMin1"));
        FindControl<QRadioButton>(dialog, "rbAutoPoziom1")->click();
        QVERIFY(!enabled("edtPoziomMin1"));
        QVERIFY(!enabled("edtMin"));
        FindControl<QRadioButton>(dialog, "rbUstawNaStale")->click();
        QVERIFY(enabled("edtMin") && enabled("edtMax"));
        QVERIFY(!enabled("edtSeria0") && !enabled("memNazwaWykresu"));
        FindControl<QCheckBox>(dialog, "cbPokazLegende")->click();
        FindControl<QCheckBox>(dialog, "cbPokazNazwe")->click();
        QVERIFY(enabled("edtSeria7") && enabled("memNazwaWykresu"));
    }

    void enterIsOkExceptInTheChartsName()
    {
        TFormaOpcjeWykresu dialog(TOpcjeProgramu{}, Window->State(), Window->AudioIn(), Window->AudioOut());
        dialog.show();
        FindControl<QCheckBox>(dialog, "cbPokazNazwe")->click();
        auto* name = FindControl<QPlainTextEdit>(dialog, "memNazwaWykresu");
        name->setFocus();
        QTest::keyClicks(name, "Pomiar");
        QTest::keyClick(name, Qt::Key_Return);
        QTest::keyClicks(name, "kolumny");
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.Values().ChartName, QString("Pomiar\nkolumny"));
        auto* refresh = FindControl<QLineEdit>(dialog, "edtOdswiezanieWykresu");
        refresh->setFocus();
        refresh->setText("1"); // below the minimum, and Enter is pressed without leaving the edit
        QTest::keyClick(refresh, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Values().ChartTimeRefresh, dialog.MinRefreshInterval());
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void seriesFormatIsChosenOnTheSamplePicture()
    {
        TFormaFormatSerii opened(0, Qt::DashLine, 3);
        opened.show();
        QCOMPARE(FindControl<QLineEdit>(opened, "edtSzerokosc")->text(), QString("3"));
        QVERIFY(!FindControl<QGroupBox>(opened, "rgStyl")->isEnabled());
        FindControl<QLineEdit>(opened, "edtSzerokosc")->setText("1");
        QVERIFY(FindControl<QGroupBox>(opened, "rgStyl")->isEnabled());

        TOpcjeProgramu options;
        options.Series[2] = {0x00FF00, Qt::SolidLine, 1};
        TFormaOpcjeWykresu dialog(options, Window->State(), Window->AudioIn(), Window->AudioOut());
        dialog.show();
        for (const bool ok : {false, true}) {
            TModalAnswer answer(
                [ok](QWidget* format) {
                    auto* width = FindControl<QLineEdit>(*format, "edtSzerokosc");
                    width->setFocus();
                    width->selectAll();
                    QTest::keyClicks(width, "2x");
                    QVERIFY(!FindControl<QGroupBox>(*format, "rgStyl")->isEnabled());
                    FindControl<QRadioButton>(*format, "rbStyl3")->setChecked(true);
                    Click(format, ok ? "btnOK" : "btnAnuluj");
                },
                "TFormaFormatSerii");
            Release(FindControl<QWidget>(dialog, "imgSeria2"));
            QVERIFY(answer.Seen);
            const TSeriesFormat format = dialog.Values().Series[2];
            QCOMPARE(format.Width, ok ? 2 : 1);
            QCOMPARE(format.Style, ok ? Qt::DashDotLine : Qt::SolidLine);
            QCOMPARE(format.Colour, 0x00FF00u);
        }
    }

    // The timer check measures the 2 s of the check's timer by the counter; a second double-click
    // while it runs starts nothing.
    void timerCheckMeasuresTwoSeconds()
    {
        struct TSteppingClock final : IClock
        {
            mutable std::int64_t Now = 5;
            std::int64_t Counter() const override { return std::exchange(Now, Now + 2'000'000'000); }
            std::int64_t CounterFrequency() const override { return 1'000'000'000; }
            QTime TimeOfDay() const override { return QTime(12, 0); }
        } clock;
        SetProgramClock(&clock);
        TFormaOpcjeWykresu dialog(TOpcjeProgramu{}, Window->State(), Window->AudioIn(), Window->AudioOut());
        dialog.show();
        auto* panel = FindControl<QWidget>(dialog, "pnlKontrolaDokladnosci");
        const auto accept = [](QWidget* box) { static_cast<QDialog*>(box)->accept(); };
        {
            TModalAnswer frequency(accept);
            QTest::mouseDClick(panel, Qt::LeftButton);
            QCOMPARE(frequency.Text, QString("QueryPerformanceFrequency: 1000000000 Hz"));
        }
        TModalAnswer measured(accept);
        QTest::mouseDClick(panel, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(measured.Seen, 5000);
        SetProgramClock(nullptr);
        QCOMPARE(measured.Text,
                 QString("Czas odmierzony przez TTimer (TTimer.Interval = 2000ms):  2000,0000 ms"));
    }

    // "N&ie wiem..." (focused on "&Nie") discards what the advanced dialog changed.
    void advancedChangesNeedAConfirmation()
    {
        const int delay = Window->State().MeasurementDelay;
        TFormaOpcjeWykresu dialog(TOpcjeProgramu{}, Window->State(), Window->AudioIn(), Window->AudioOut());
        dialog.show();
        QString cancelCaption, focused;
        TModalAnswer confirmation(
            [&](QWidget* question) {
                cancelCaption = FindControl<QPushButton>(*question, "btnAnuluj")->text();
                // The question's own focus: the application's follows once the window is active.
                focused = question->focusWidget() ? question->focusWidget()->objectName() : QString();
                Click(question, "btnAnuluj");
            },
            "TFormaDialog");
        TModalAnswer advanced(
            [](QWidget* form) {
                FindControl<QLineEdit>(*form, "edtOpoznieniePomiaru")->setText("999");
                Click(form, "btnOK");
            },
            "TFormaZaawansowane");
        FindControl<QPushButton>(dialog, "btnZaawansowane")->click();
        QVERIFY(advanced.Seen && confirmation.Seen);
        QCOMPARE(confirmation.Text, QString("Czy na pewno chcesz zatwierdzić zmiany?"));
        QCOMPARE(cancelCaption, QString("N&ie wiem..."));
        QCOMPARE(focused, QString("btnNie"));
        QCOMPARE(Window->State().MeasurementDelay, delay);
    }

    void eachRouteOpensItsPage()
    {
        auto* chart = Find<TChartView>("chtWykres");
        const std::pair<std::function<void()>, QString> routes[] = {
            {[&] { Find<QAction>("actKonfiguracja")->trigger(); }, "tabOgolne"},
            {[&] { Find<QAction>("actOpcjeWykresu")->trigger(); }, "tabWykres"},
            {[&] { Find<QToolButton>("tbnKonfiguracja")->click(); }, "tabOgolne"},
            {[&] { Find<QToolButton>("tbnOpcjeWykresu")->click(); }, "tabWykres"},
            {[&] { QTest::mouseDClick(Find<QWidget>("pnlPanelPrawy"), Qt::LeftButton); },
             "tabOdswiezanieWykresu"},
            {[&] { QTest::mouseDClick(Find<QLabel>("lblWartoscP"), Qt::LeftButton); },
             "tabOdswiezanieWykresu"},
            {[&] { QTest::mouseDClick(Window->statusBar(), Qt::LeftButton); }, "tabOgolne"},
            {[&] { QTest::mouseDClick(chart, Qt::LeftButton, {}, chart->axisRect()->rect().center()); },
             "tabWykres"},
            {[&] { emit chart->OptionsPageRequested("tabLegenda"); }, "tabLegenda"},
        };
        for (const auto& [open, page] : routes) {
            QString shown;
            TModalAnswer answer(
                [&](QWidget* dialog) {
                    shown = PageShown(dialog);
                    Click(dialog, "btnAnuluj");
                },
                "TFormaOpcjeWykresu");
            open();
            QVERIFY2(answer.Seen, qPrintable(page));
            QCOMPARE(shown, page);
        }
    }

    // While recording, the chart refresh reaches the running timer and the rate and the weighting wait
    // (the recording's values are of one weighting); idle, the rate and the blocks that follow it
    // change. The legend shows in the frequency kind only.
    void applyReachesTheRunningProgram()
    {
        StartRecording();
        EditOptions([](QWidget* dialog) {
            FindControl<QComboBox>(*dialog, "cbCzestotliwoscProbkowania")->setCurrentIndex(2); // 32000 Hz
            FindControl<QLineEdit>(*dialog, "edtOdswiezanieWykresu")->setText("100");
            auto* weighting = FindControl<QComboBox>(*dialog, "cbKorekcja");
            QVERIFY(!weighting->isEnabled());
            weighting->setCurrentIndex(0); // A
        });
        QCOMPARE(Find<QTimer>("tmrTimer")->interval(), 100);
        QCOMPARE(Window->AudioIn().FrameRate(), 44100);
        QCOMPARE(Window->State().FrequencyWeighting, TFrequencyWeighting::Z);
        Find<QAction>("actStop")->trigger();

        EditOptions([](QWidget* dialog) {
            FindControl<QComboBox>(*dialog, "cbCzestotliwoscProbkowania")->setCurrentIndex(2);
            FindControl<QLineEdit>(*dialog, "edtSeria0")->setText("Głośnik");
            FindControl<QCheckBox>(*dialog, "cbPokazSciezke")->setChecked(true);
            FindControl<QCheckBox>(*dialog, "cbPokazLegende")->setChecked(true);
            QVERIFY(FindControl<QComboBox>(*dialog, "cbKorekcja")->isEnabled());
            TModalAnswer colour(
                [](QWidget* chooser) {
                    static_cast<QColorDialog*>(chooser)->setCurrentColor(QColor(0, 128, 255));
                    static_cast<QDialog*>(chooser)->accept();
                },
                QString());
            Release(FindControl<QWidget>(*dialog, "pnlKanalLewy"));
            QVERIFY(colour.Seen);
        });
        QCOMPARE(Window->AudioIn().FrameRate(), 32000);
        QCOMPARE(Window->AudioOut().FrameRate(), 32000);
        QCOMPARE(Window->StatusPanel(1), QString("32000 Hz"));
        QCOMPARE(Window->AudioIn().BufferSize(), 1000 * 4); // the automatic size: 1/32 s
        QCOMPARE(Window->SeriesStore().SeriesName(0), QString("Głośnik"));
        QCOMPARE(Window->windowTitle(), QString("Tonvix BezNazwy"));
        QCOMPARE(Find<TChartView>("chtWykres")->SeriesFormat(LeftChannelSeries).Colour, 0xFF8000u);
        QVERIFY(Window->State().Preferences.ShowLegend);
        QVERIFY(!Find<TChartView>("chtWykres")->legend->visible());
        Find<QAction>("actPomiarCharakterystyk")->trigger();
        QVERIFY(Find<TChartView>("chtWykres")->legend->visible());
    }

    // "&Anuluj" leaves a running recording and every setting as they were.
    void cancelLeavesTheRunningProgramAsItWas()
    {
        StartRecording();
        const TMeasurementState before = Window->State();
        const QString title = Find<TChartView>("chtWykres")->xAxis->label();
        TModalAnswer answer(
            [](QWidget* dialog) {
                FindControl<QLineEdit>(*dialog, "edtOdswiezanieWykresu")->setText("100");
                FindControl<QLineEdit>(*dialog, "edtAmplituda")->setText("500");
                FindControl<QLineEdit>(*dialog, "edtKalStartFreq")->setText("300");
                FindControl<QLineEdit>(*dialog, "edtnadmiarPoziomu")->setText("20");
                FindControl<QLineEdit>(*dialog, "edtSeria0")->setText("Głośnik");
                FindControl<QLineEdit>(*dialog, "edtOpisX")->setText("Inny opis");
                FindControl<QCheckBox>(*dialog, "cbPokazLegende")->setChecked(true);
                FindControl<QRadioButton>(*dialog, "rbStala")->click();
                Click(dialog, "btnAnuluj");
            },
            "TFormaOpcjeWykresu");
        Find<QAction>("actKonfiguracja")->trigger();
        QVERIFY(answer.Seen);
        const TMeasurementState& after = Window->State();
        QCOMPARE(Find<QTimer>("tmrTimer")->interval(), 50);
        QVERIFY(Find<QTimer>("tmrTimer")->isActive());
        QCOMPARE(after.ChartTimeRefresh, before.ChartTimeRefresh);
        QCOMPARE(after.Amplitude, before.Amplitude);
        QCOMPARE(after.CalibrationStartFreq, before.CalibrationStartFreq);
        QCOMPARE(after.LevelExcess, before.LevelExcess);
        QCOMPARE(after.TimeAutoScale, before.TimeAutoScale);
        QCOMPARE(after.Preferences.ShowLegend, before.Preferences.ShowLegend);
        QCOMPARE(Window->SeriesStore().SeriesName(0), QString("Seria 0"));
        QCOMPARE(Find<TChartView>("chtWykres")->xAxis->label(), title);
        const int points = Points();
        QTRY_VERIFY(Points() > points); // still recording
    }

    // The weighting reaches the meter (in the sound-pressure kind only); the sweep's estimated time
    // follows the point time, and its frequencies the half of a new frame rate.
    void weightingAndTheSweepFollowTheOptions()
    {
        EditOptions([](QWidget* dialog) {
            FindControl<QComboBox>(*dialog, "cbKorekcja")->setCurrentIndex(0); // A
            FindControl<QLineEdit>(*dialog, "edtZmianaCzestotliwosci")->setText("500");
            FindControl<QComboBox>(*dialog, "cbCzestotliwoscProbkowania")->setCurrentIndex(7); // 8000 Hz
        });
        QCOMPARE(Window->State().FrequencyWeighting, TFrequencyWeighting::A);
        QVERIFY(Find<QLabel>("lblWartoscL")->text().endsWith("dB(A)"));
        QCOMPARE(Find<QLineEdit>("edtCzasPomiaru")->text(), QString("50,3s")); // 100 x 500 ms + 300 ms
        Find<QAction>("actPomiarCharakterystyk")->trigger();
        QVERIFY(Find<QLabel>("lblWartoscL")->text().endsWith("0dB")); // unweighted here
        QVERIFY(!Find<QAction>("actStart")->isEnabled());             // 10 kHz is above 4 kHz
    }

    void averagingTimeOfInnyComesFromItsDialog()
    {
        auto* averaging = Find<QComboBox>("cbCzasUsredniania");
        QPoint topRight;
        TModalAnswer answer(
            [&](QWidget* dialog) {
                topRight = dialog->frameGeometry().topRight();
                auto* edit = FindControl<QLineEdit>(*dialog, "edtCzasUsredniania");
                edit->setText("0,5");
                Click(dialog, "btnOK");
            },
            "TFormaCzasUsredniania");
        averaging->setCurrentIndex(3);
        emit averaging->activated(3);
        QVERIFY(answer.Seen);
        QCOMPARE(Window->State().AveragingTime, 0.5);
        QCOMPARE(averaging->itemText(3), QString("Inny: 0,5s"));
        QCOMPARE(topRight.x(), Window->frameGeometry().right());
        QCOMPARE(topRight.y(), Find<QWidget>("pnlPanelPrawy")->mapToGlobal(QPoint(0, 0)).y());
    }

    void aDeviceLostDuringARecordingStopsItAndKeepsThePoints()
    {
        StartRecording();
        TModalAnswer message([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
        TDeviceServices::VirtualCard().LoseDevices();
        QTRY_VERIFY(message.Seen);
        QCOMPARE(message.Text,
                 QString("Urządzenie wejściowe przestało działać (Urządzenie nie jest już dostępne). "
                         "Pomiar został zatrzymany; zmierzone wartości zostały zachowane."));
        QVERIFY(Points() >= 3);
        QCOMPARE(Find<QToolButton>("btnStart")->defaultAction()->objectName(), QString("actStart"));
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar zatrzymany"));
    }

    // What the dialogs set survives a restart; a chosen device that has gone gives way to the default.
    // "Plik kalibracji mikrofonu": a malformed file is refused on OK with the line it fails at; a good
    // one is in force at once, and a sweep measured with it says so in the legend.
    void microphoneFileIsCheckedAndMarksTheSweep()
    {
        const auto file = [&](const char* name, const QByteArray& text) {
            QFile out(WorkDir.filePath(name));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(text) == text.size());
        };
        file("zly.txt", "20 0\n1000 x\n");
        file("mikrofon.txt", "20 0\n1000 0\n1000 3\n20000 3\n");
        QString refusal;
        EditOptions([&](QWidget* dialog) {
            QTimer warning;
            QObject::connect(&warning, &QTimer::timeout, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    refusal = box->text();
                    box->accept();
                }
            });
            warning.start(5);
            auto* left = FindControl<QLineEdit>(*dialog, "edtPlikKalibracjiMikrofonuL");
            left->setText(WorkDir.filePath("zly.txt"));
            Click(dialog, "btnOK");
            QVERIFY(dialog->isVisible()); // still open, for the file to be mended
            QCOMPARE(PageShown(dialog), QString("tabKalibracja"));
            left->setText(WorkDir.filePath("mikrofon.txt"));
        });
        QVERIFY2(refusal.contains("wiersz 2 („1000 x”)"), qPrintable(refusal));
        TMeasurementState& state = Window->State();
        QCOMPARE(state.MicrophoneFiles[0], WorkDir.filePath("mikrofon.txt"));
        QVERIFY(state.Microphone[0].InForce() && !state.Microphone[1].InForce());

        Find<QAction>("actPomiarCharakterystyk")->trigger();
        state.MeasurementDelay = 50;
        state.PointTime = 50;
        Find<QLineEdit>("edtLiczbaPunktow")->setText("3");
        TModalCloser chooser([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        Find<QAction>("actStart")->trigger();
        QTRY_COMPARE(Window->ChartData().Series(0).Count(), 3);
        QVERIFY(Window->SeriesStore().Slot(0).SlotMicrophoneCorrected);
        QVERIFY(Find<TChartView>("chtWykres")->Graph(0)->name().endsWith("; korekcja mikrofonu"));
    }

    void optionsAndDevicesSurviveARestart()
    {
        Window.reset();
        TSettingsStore store(WorkDir.filePath("opcje.ini"));
        store.WriteString("Devices", "Output", "gone.sink");
        NewWindow();
        QCOMPARE(Window->StatusPanel(0),
                 QString("Brak urządzenia wyjściowego „gone.sink”; używane jest urządzenie "
                         "domyślne."));
        QVERIFY(Window->statusBar()->toolTip().contains("gone.sink (niedostępne"));
        EditOptions([](QWidget* dialog) {
            auto* input = FindControl<QComboBox>(*dialog, "cbUrzadzenieWejsciowe");
            input->setCurrentIndex(input->findData(TDeviceServices::VirtualCardName));
            FindControl<QLineEdit>(*dialog, "edtOdswiezanieWykresu")->setText("125");
            FindControl<QCheckBox>(*dialog, "cbPokazLegende")->setChecked(true);
            TModalAnswer format(
                [](QWidget* form) {
                    FindControl<QLineEdit>(*form, "edtSzerokosc")->setText("4");
                    Click(form, "btnOK");
                },
                "TFormaFormatSerii");
            Release(FindControl<QWidget>(*dialog, "imgKanalPrawy"));
        });
        QCOMPARE(Window->statusBar()->toolTip(),
                 QString("Urządzenie wejściowe: Wirtualna karta dźwiękowa\n"
                         "Urządzenie wyjściowe: gone.sink (niedostępne, używane "
                         "jest urządzenie domyślne)"));
        Window.reset();
        NewWindow();
        QCOMPARE(Window->AudioIn().DeviceName(), TDeviceServices::VirtualCardName);
        QCOMPARE(Window->AudioOut().DeviceName(), QByteArray("gone.sink"));
        QCOMPARE(Window->State().ChartTimeRefresh, 125);
        QVERIFY(Window->State().Preferences.ShowLegend);
        QCOMPARE(Find<TChartView>("chtWykres")->SeriesFormat(RightChannelSeries).Width, 4);
    }

    // The point's method, the reference and the THD+N band are chosen on the frequency kind's page (the
    // reference and the band only for the detection), the chart's view of the details in "Widok"; both
    // reach the program at once and come back after a restart.
    void detectionAndItsViewSurviveARestart()
    {
        Window.reset();
        TSettingsStore store(WorkDir.filePath("opcje.ini"));
        NewWindow();
        QCOMPARE(Window->State().Detection.Method, TSweepMethod::AveragedLevel);
        EditOptions([](QWidget* dialog) {
            auto* method = FindControl<QComboBox>(*dialog, "cbMetodaPomiaru");
            auto* reference = FindControl<QComboBox>(*dialog, "cbKanalOdniesienia");
            QVERIFY(!reference->isEnabled() && !FindControl<QLineEdit>(*dialog, "edtPasmoOd")->isEnabled());
            method->setCurrentIndex(1);
            QCOMPARE(method->currentText(), QString("Detekcja synchroniczna"));
            QVERIFY(reference->isEnabled());
            reference->setCurrentIndex(2);
            FindControl<QLineEdit>(*dialog, "edtPasmoOd")->setText("22,4");
            FindControl<QLineEdit>(*dialog, "edtPasmoDo")->setText("80000"); // above half the frame rate
            FindControl<QLineEdit>(*dialog, "edtPasmoDo")->setFocus();
        });
        const TDetectionSettings detection = Window->State().Detection;
        QCOMPARE(detection.Method, TSweepMethod::Synchronous);
        QCOMPARE(detection.Reference, TReferenceChannel::Right);
        QCOMPARE(detection.BandLow, 22.4);
        QCOMPARE(detection.BandHigh, Window->AudioIn().FrameRate() / 2.0);

        Find<QAction>("actPomiarCharakterystyk")->trigger();
        auto* chart = Find<TChartView>("chtWykres");
        QVERIFY(!Find<QAction>("mmiFazaRozwinieta")->isEnabled());
        Find<QAction>("mmiFaza")->trigger();
        Find<QAction>("mmiThd")->trigger();
        QVERIFY(Find<QAction>("mmiFazaRozwinieta")->isEnabled());
        QVERIFY(chart->yAxis2->visible());
        Find<QAction>("mmiFaza")->trigger();
        QVERIFY(!chart->yAxis2->visible());
        Find<QAction>("mmiFaza")->trigger();

        Window.reset();
        NewWindow();
        const TDetectionSettings& restored = Window->State().Detection;
        QVERIFY(restored.Method == detection.Method && restored.Reference == detection.Reference &&
                restored.BandLow == detection.BandLow && restored.BandHigh == detection.BandHigh);
        QVERIFY(Find<QAction>("mmiFaza")->isChecked() && Find<QAction>("mmiThd")->isChecked());
        QVERIFY(!Find<QAction>("mmiH2")->isChecked() && !Find<QAction>("mmiFazaRozwinieta")->isChecked());
        QVERIFY(Find<TChartView>("chtWykres")->yAxis2->visible());
    }
};

QTEST_MAIN(TestOptionsDialog)
#include "test_options_dialog.moc"
