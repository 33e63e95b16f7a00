// SPDX-License-Identifier: GPL-3.0-or-later
// The window "Odpowiedź impulsowa" driven as a user drives it, on the virtual card: a measurement with
// its views and delay, the gate typed and dragged, the one sound card shared with the main window, the
// files saved and opened, and the settings kept.

#include "WindowTestSupport.h"

#include "common/NumberFormat.h"
#include "settings/SettingsStore.h"
#include "ui/OknoOdpowiedzImpulsowa.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <qcustomplot.h>

class TestImpulseWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    std::unique_ptr<TSettingsStore> Settings; // the program's, for the whole test
    std::unique_ptr<TFormaGlowna> Main;
    TFormaOdpowiedzImpulsowa* Window = nullptr;

    template <class T> T* Control(const char* name) { return FindControl<T>(*Window, name); }
    QListWidget* List() { return Control<QListWidget>("lstPomiary"); }

    void OpenWindow()
    {
        Main = OpenWindowOnVirtualCard();
        QVERIFY(Main);
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.SetAmbient(false);
        card.SetSpeed(4);
        Main->AudioIn().SetBufferSize(16384); // blocks long enough for a card four times faster
        Main->AudioOut().SetBufferSize(8192);
        FindControl<QAction>(*Main, "mmiOdpowiedzImpulsowa")->trigger();
        Window = Main->findChild<TFormaOdpowiedzImpulsowa*>("FormaOdpowiedzImpulsowa");
        QVERIFY(Window && Window->isVisible());
    }

    // A short sweep over the card's default models, the right channel as the reference.
    void Measure()
    {
        const int before = List()->count();
        Control<QComboBox>("cbDlugosc")->setCurrentIndex(0);
        Control<QComboBox>("cbKanalOdniesienia")->setCurrentIndex(2);
        TModalAnswer failure(Dismiss);
        Control<QPushButton>("btnStart")->click();
        QVERIFY(Window->Measuring());
        QTRY_VERIFY_WITH_TIMEOUT(!Window->Measuring(), 30000);
        QVERIFY2(!failure.Seen, qPrintable(failure.Text));
        QCOMPARE(List()->count(), before + 1);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Folder.isValid());
        Settings = std::make_unique<TSettingsStore>(Folder.filePath("Tonvix.ini"));
        OpenWindow();
    }

    // A take gives a measurement in the list, its curves on every view and its delay.
    void measuresAndShows()
    {
        Measure();
        QCOMPARE(List()->item(0)->text(), QStringLiteral("Pomiar 1"));
        QVERIFY(Control<QLabel>("lblOpoznienie")->text().startsWith(QStringLiteral("Opóźnienie: ")));
        QVERIFY(Control<QLabel>("lblStan")->text().startsWith(QStringLiteral("Zmierzono w ")));
        for (const char* chart : {"chtImpuls", "chtImpulsDb", "chtModul", "chtFaza", "chtOpoznienie"})
            QVERIFY2(Control<QCustomPlot>(chart)->graphCount() >= 1, chart);
        QCOMPARE(Control<QCustomPlot>("chtZnieksztalcenia")->graphCount(), 4);
        // Hidden by its check box, it leaves the views.
        List()->item(0)->setCheckState(Qt::Unchecked);
        QCOMPARE(Control<QCustomPlot>("chtModul")->graphCount(), 0);
        List()->item(0)->setCheckState(Qt::Checked);
    }

    // The gate's end typed, then dragged with the mouse on the impulse: the edit and the lowest valid
    // frequency follow.
    void gateTypedAndDragged()
    {
        QLineEdit* end = Control<QLineEdit>("edtBramkaKoniec");
        TypeAndLeave(end, QStringLiteral("5"));
        QCOMPARE(NumberFormat::ParseNumber(end->text()).value_or(0), 5.0);
        const QString lowest = Control<QLabel>("lblNajnizszaCzestotliwosc")->text();
        QVERIFY(lowest.startsWith(QStringLiteral("Najniższa wiarygodna częstotliwość: ")));

        auto* chart = Control<QCustomPlot>("chtImpuls");
        Control<QTabWidget>("tabWidoki")->setCurrentIndex(0);
        chart->xAxis->setRange(-5, 40);
        chart->replot();
        const int y = chart->axisRect()->center().y();
        const QPoint from(int(std::lround(chart->xAxis->coordToPixel(5))), y);
        const QPoint to(int(std::lround(chart->xAxis->coordToPixel(20))), y);
        QTest::mousePress(chart, Qt::LeftButton, {}, from);
        QTest::mouseMove(chart, to);
        QTest::mouseRelease(chart, Qt::LeftButton, {}, to);
        const double dragged = NumberFormat::ParseNumber(end->text()).value_or(0);
        QVERIFY2(std::abs(dragged - 20) < 0.2, qPrintable(end->text()));
        QVERIFY(Control<QLabel>("lblNajnizszaCzestotliwosc")->text() != lowest);
        QCOMPARE(chart->xAxis->range().lower, -5.0); // the drag moved the gate, not the view
    }

    // The card is one: neither window starts while the other measures, and each says why.
    void cardIsOne()
    {
        Control<QPushButton>("btnStart")->click();
        QVERIFY(Window->Measuring());
        {
            TModalAnswer refusal(Dismiss);
            FindControl<QAction>(*Main, "actStart")->trigger();
            QVERIFY(refusal.Seen);
            QVERIFY2(refusal.Text.contains(QStringLiteral("trwa pomiar odpowiedzi impulsowej")),
                     qPrintable(refusal.Text));
        }
        QVERIFY(!Main->AudioIn().Running());
        QTRY_VERIFY_WITH_TIMEOUT(!Window->Measuring(), 30000);

        FindControl<QAction>(*Main, "actPomiarCisnienia")->trigger();
        FindControl<QAction>(*Main, "actStart")->trigger();
        QTRY_VERIFY(Main->AudioIn().Running());
        const int count = List()->count();
        {
            TModalAnswer refusal(Dismiss);
            Control<QPushButton>("btnStart")->click();
            QVERIFY(refusal.Seen);
            QVERIFY2(refusal.Text.contains(QStringLiteral("trwa pomiar w oknie głównym")),
                     qPrintable(refusal.Text));
        }
        QVERIFY(!Window->Measuring());
        QCOMPARE(List()->count(), count);
        FindControl<QAction>(*Main, "actStop")->trigger();
    }

    // The impulse saved as WAV and the characteristic as FRD open again as measurements; the WAV's
    // time 0 is where its mark says, so its delay reads as measured.
    void savedFilesOpen()
    {
        List()->setCurrentRow(0);
        const QString delay = Control<QLabel>("lblOpoznienie")->text();
        const QString wave = Folder.filePath("pomiar"), response = Folder.filePath("pomiar.frd");
        {
            TModalAnswer dialog(ChooseFile(wave));
            Control<QPushButton>("btnZapiszWav")->click();
        }
        QVERIFY(QFile::exists(wave + ".wav"));
        {
            TModalAnswer dialog(ChooseFile(response));
            Control<QPushButton>("btnZapiszCharakterystyke")->click();
        }
        QVERIFY(QFile::exists(response));
        const int count = List()->count();
        for (const QString& file : {wave + ".wav", response}) {
            TModalAnswer dialog(ChooseFile(file));
            Control<QPushButton>("btnOtworz")->click();
        }
        QCOMPARE(List()->count(), count + 2);
        QCOMPARE(List()->item(count)->text(), QStringLiteral("pomiar"));
        List()->setCurrentRow(count);
        QCOMPARE(Control<QLabel>("lblOpoznienie")->text(), delay);
        List()->setCurrentRow(count + 1);
        QVERIFY(Control<QPushButton>("btnZapiszWav")->isEnabled() == false); // a characteristic alone
    }

    // The window's choices outlive the program; a tail that cannot be recorded is refused, naming the
    // limits.
    void settingsKept()
    {
        QLineEdit* tail = Control<QLineEdit>("edtCzasPoSweepie");
        QCOMPARE(NumberFormat::ParseNumber(tail->text()).value_or(0), 1.0);
        TypeAndLeave(tail, QStringLiteral("20"));
        {
            TModalAnswer refusal(Dismiss);
            Control<QPushButton>("btnStart")->click();
            QVERIFY(refusal.Seen);
            QCOMPARE(refusal.Text, QStringLiteral("Czas rejestracji po sweepie musi wynosić od 0") +
                                       NumberFormat::DecimalSeparator() + QStringLiteral("1 do 10 s."));
        }
        QVERIFY(!Window->Measuring());
        TypeAndLeave(tail, QStringLiteral("2") + NumberFormat::DecimalSeparator() + QStringLiteral("5"));
        TypeAndLeave(Control<QLineEdit>("edtStartFreq"), QStringLiteral("30"));
        Control<QComboBox>("cbFaza")->setCurrentIndex(2);
        Main.reset();
        OpenWindow();
        QCOMPARE(NumberFormat::ParseNumber(Control<QLineEdit>("edtStartFreq")->text()).value_or(0), 30.0);
        QCOMPARE(Control<QComboBox>("cbFaza")->currentIndex(), 2);
        QCOMPARE(NumberFormat::ParseNumber(Control<QLineEdit>("edtCzasPoSweepie")->text()).value_or(0), 2.5);
        QCOMPARE(List()->count(), 0);
    }
};

QTEST_MAIN(TestImpulseWindow)
#include "test_impulse_window.moc"
