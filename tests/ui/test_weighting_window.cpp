// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency weighting in the main window, the statistics window and the conformance test window.

#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "common/NumberFormat.h"
#include "settings/SettingsStore.h"
#include "ui/ChartView.h"
#include "ui/OknoGlowna.h"
#include "ui/OknoStatystyki.h"
#include "ui/OknoTestZgodnosci.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

class TestWeightingWindow : public QObject
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
    QString Readout() { return Find<QLabel>("lblWartoscL")->text(); }
    QString LevelTitle() { return Find<TChartView>("chtWykres")->yAxis->label(); }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path()));
    }
    void init() { NumberFormat::SetDecimalSeparator(','); }
    void cleanup()
    {
        Window.reset();
        NumberFormat::SetDecimalSeparator(QChar());
    }

    // The stored weighting shows in the read-outs and the level axis title at once; Z shows exactly the
    // unweighted texts, and the weighting in force is stored at the close.
    void weightingFromTheSettingsShowsInTheUnits()
    {
        const QString file = WorkDir.filePath("korekcja.ini");
        {
            TSettingsStore store(file);
            store.WriteInteger("Analysis", "FrequencyWeighting", 0);
            NewWindow();
            QCOMPARE(Window->State().FrequencyWeighting, TFrequencyWeighting::A);
            QCOMPARE(Readout(), QString(" 00,0dB(A)"));
            QCOMPARE(LevelTitle(), QString("Poziom [dB(A)]"));
            Window->SetFrequencyWeighting(TFrequencyWeighting::Z);
            QCOMPARE(Readout(), QString(" 00,0dB"));
            QCOMPARE(LevelTitle(), QString("Poziom [dB]"));
            Window->SetFrequencyWeighting(TFrequencyWeighting::C);
            QCOMPARE(LevelTitle(), QString("Poziom [dB(C)]"));
            Window.reset();
        }
        TSettingsStore store(file);
        QCOMPARE(store.ReadInteger("Analysis", "FrequencyWeighting"), std::optional<int>(1));
    }

    // "Widok" > "Statystyki pomiaru" follows a recording while it runs, on the whole and per interval,
    // and copies the table of the page shown as text.
    void statisticsWindowFollowsTheRecording()
    {
        NewWindow();
        Window->State().ChartTimeRefresh = 50;
        Window->State().MeasurementDelay = 100;
        Window->SetFrequencyWeighting(TFrequencyWeighting::A);
        Find<QAction>("mmiStatystyki")->trigger();
        auto* form = Find<TFormaStatystyki>("FormaStatystyki");
        QVERIFY(form->isVisible());
        auto* table = FindControl<QTableWidget>(*form, "tblStatystyki");
        QCOMPARE(table->item(0, 0)->text(), QString("LAeq"));
        QCOMPARE(table->item(12, 1)->text(), QString("-"));
        auto* interval = FindControl<QComboBox>(*form, "cbPrzedzial");
        interval->setCurrentIndex(1); // 1 s
        QCOMPARE(interval->currentText(), QString("1 s"));
        emit interval->activated(1);

        Find<QAction>("actStart")->trigger();
        const auto seconds = [&] { return NumberFormat::ParseNumber(table->item(12, 1)->text().chopped(2)); };
        QTRY_VERIFY_WITH_TIMEOUT(seconds().value_or(0) >= 1.2, 5000); // while recording
        Find<QAction>("actStop")->trigger();
        QVERIFY(!Window->AudioIn().Running());
        auto* intervals = FindControl<QTableWidget>(*form, "tblPrzedzialy");
        QTRY_VERIFY(intervals->rowCount() >= 2); // the first second and the one in progress at the stop
        QCOMPARE(intervals->horizontalHeaderItem(2)->text(), QString("LAeq L"));
        QCOMPARE(intervals->item(0, 0)->text(), QString("0,0"));
        QCOMPARE(intervals->item(0, 1)->text(), QString("1,0"));
        QCOMPARE(intervals->item(0, intervals->columnCount() - 1)->text(), QString("nie"));
        QVERIFY(FindControl<QLabel>(*form, "lblPrzedzialy")->text().contains(NumberFormat::Integer(100000)));
        const int rows = intervals->rowCount();
        emit interval->activated(1); // the same length again keeps the log
        QCOMPARE(intervals->rowCount(), rows);

        FindControl<QPushButton>(*form, "btnKopiuj")->click();
        QStringList lines = QApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 16); // the header, fourteen rows, and the last line's end
        QCOMPARE(lines[0], QString("\tKanał lewy\tKanał prawy"));
        QVERIFY(lines[4].startsWith("LCpeak\t"));
        QVERIFY(lines[8].startsWith("LAS10\t") || lines[8].startsWith("LAF10\t") ||
                lines[8].startsWith("LAI10\t"));
        QVERIFY(lines[13].startsWith("Czas pomiaru\t"));
        QCOMPARE(lines[14], QString("Przesterowanie\tnie\tnie"));
        FindControl<QTabWidget>(*form, "tabStatystyki")->setCurrentIndex(1);
        FindControl<QPushButton>(*form, "btnKopiuj")->click();
        lines = QApplication::clipboard()->text().split('\n');
        QVERIFY(lines[0].startsWith("Początek [s]\tCzas [s]\tLAeq L"));
        QVERIFY(lines[1].startsWith("0,0\t1,0\t"));

        Window->SetFrequencyWeighting(TFrequencyWeighting::C); // the figures were A's
        QCOMPARE(table->item(0, 0)->text(), QString("LCeq"));
        QCOMPARE(table->item(0, 1)->text(), QString("-"));
        QCOMPARE(intervals->rowCount(), 0);
    }

    // "Narzędzia" > "Test zgodności miernika" runs at the program's frame rate and input block and
    // shows the whole table under its group headings; every row passes.
    void conformanceTestWindowRunsTheTable()
    {
        NewWindow();
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TFormaTestZgodnosci*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            seen = true;
            QCOMPARE(FindControl<QLabel>(*dialog, "lblWarunki")->text(),
                     QString("Częstotliwość próbkowania: 44100 Hz, bufor wejściowy: 128 próbek"));
            QVERIFY(FindControl<QLabel>(*dialog, "lblZakres")->text().contains("nie mikrofon"));
            QSignalSpy finished(dialog, &TFormaTestZgodnosci::Finished);
            FindControl<QPushButton>(*dialog, "btnUruchom")->click();
            QVERIFY(dialog->Running());
            QVERIFY(finished.wait(30000));
            const auto* table = FindControl<QTableWidget>(*dialog, "tblWyniki");
            QCOMPARE(table->rowCount(), 103 + 8); // the rows under the headings of their eight groups
            QCOMPARE(table->item(0, 0)->text(), QString("Korekcja częstotliwościowa Z (tabl. 3)"));
            QCOMPARE(table->columnSpan(0, 0), table->columnCount());
            QCOMPARE(table->item(11, 0)->text(), QString("Korekcja Z, 100 Hz"));
            QCOMPARE(FindControl<QLabel>(*dialog, "lblPodsumowanie")->text(),
                     QString("Wszystkie próby zgodne z tolerancją klasy 1."));
            dialog->reject();
        });
        Find<QAction>("mmiTestZgodnosci")->trigger();
        QVERIFY(seen);
    }
};

QTEST_MAIN(TestWeightingWindow)
#include "test_weighting_window.moc"
