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
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
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

    // "Widok" > "Statystyki pomiaru" follows a recording while it runs and copies its table as text.
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
        QCOMPARE(table->item(5, 1)->text(), QString("-"));

        Find<QAction>("actStart")->trigger();
        const auto seconds = [&] { return NumberFormat::ParseNumber(table->item(5, 1)->text().chopped(2)); };
        QTRY_VERIFY_WITH_TIMEOUT(seconds().value_or(0) >= 0.5, 5000); // while recording
        Find<QAction>("actStop")->trigger();
        QVERIFY(!Window->AudioIn().Running());

        FindControl<QPushButton>(*form, "btnKopiuj")->click();
        const QStringList lines = QApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 8); // the header, six rows, and the last line's end
        QCOMPARE(lines[0], QString("\tKanał lewy\tKanał prawy"));
        QVERIFY(lines[4].startsWith("LCpeak\t"));
        QVERIFY(lines[6].startsWith("Czas pomiaru\t"));

        Window->SetFrequencyWeighting(TFrequencyWeighting::C); // the figures were A's
        QCOMPARE(table->item(0, 0)->text(), QString("LCeq"));
        QCOMPARE(table->item(0, 1)->text(), QString("-"));
    }

    // "Narzędzia" > "Test zgodności miernika" runs at the program's frame rate and input block and
    // shows the whole table; a short block meets every limit.
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
            QSignalSpy finished(dialog, &TFormaTestZgodnosci::Finished);
            FindControl<QPushButton>(*dialog, "btnUruchom")->click();
            QVERIFY(dialog->Running());
            QVERIFY(finished.wait(30000));
            const auto* table = FindControl<QTableWidget>(*dialog, "tblWyniki");
            QCOMPARE(table->rowCount(), 83);
            QCOMPARE(table->item(10, 0)->text(), QString("Korekcja Z, 100 Hz"));
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
