// SPDX-License-Identifier: GPL-3.0-or-later
// The window "Funkcja przenoszenia" driven as a user drives it, on the virtual card: opened from
// "Pomiar" and fitting a small screen, the live curves with the points below the coherence threshold
// faint or left out, the delay and the averages, series stored, named, hidden, removed, saved as CSV
// and FRD under either decimal separator and opened again, the one sound card shared with the other
// windows, and the settings kept.

#include "WindowTestSupport.h"

#include "common/NumberFormat.h"
#include "results/ResponseFile.h"
#include "ui/OknoFunkcjaPrzenoszenia.h"
#include "ui/OknoOdpowiedzImpulsowa.h"
#include "ui/SonogramView.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <qcustomplot.h>

namespace {

int Gaps(const QCPGraph* graph)
{
    int gaps = 0;
    for (auto point = graph->data()->constBegin(); point != graph->data()->constEnd(); ++point)
        gaps += std::isnan(point->value) ? 1 : 0;
    return gaps;
}

} // namespace

class TestTransferWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    std::unique_ptr<TSettingsStore> Settings; // the program's, for the whole test
    std::unique_ptr<TFormaGlowna> Main;
    TFormaFunkcjaPrzenoszenia* Window = nullptr;

    template <class T> T* Control(const char* name) { return FindControl<T>(*Window, name); }
    QListWidget* List() { return Control<QListWidget>("lstSerie"); }
    QCustomPlot* Chart(const char* name) { return Control<QCustomPlot>(name); }

    void OpenWindow()
    {
        Main = OpenWindowOnVirtualCard();
        QVERIFY(Main);
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.SetAmbient(false);
        card.SetSpeed(4);
        Main->AudioOut().SetBufferSize(8192);
        QAction* item = FindControl<QAction>(*Main, "mmiFunkcjaPrzenoszenia");
        QVERIFY(FindControl<QMenu>(*Main, "mmiPomiar")->actions().contains(item));
        item->trigger();
        Window = Main->findChild<TFormaFunkcjaPrzenoszenia*>("FormaFunkcjaPrzenoszenia");
        QVERIFY(Window && Window->isVisible());
    }

    // A measurement from the pink noise with the card's default models (the left channel a small
    // loudspeaker, the right a wire as the reference), until the curves show.
    void Start()
    {
        Control<QComboBox>("cbRozmiarFft")->setCurrentIndex(1); // 8192
        Control<QComboBox>("cbKanalOdniesienia")->setCurrentIndex(1);
        TModalAnswer failure(Dismiss);
        Control<QPushButton>("btnStart")->click();
        QVERIFY2(Window->Measuring(), qPrintable(failure.Text));
        QTRY_VERIFY_WITH_TIMEOUT(Window->Measurement().Averaged() >= 2, 20000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Folder.isValid());
        Settings = std::make_unique<TSettingsStore>(Folder.filePath("Tonvix.ini"));
        OpenWindow();
    }
    void cleanup()
    {
        NumberFormat::SetDecimalSeparator(QChar());
        if (Window && Window->Measuring())
            Control<QPushButton>("btnStop")->click();
        if (Window)
            QTRY_VERIFY(!Window->CardInUse());
    }

    // The whole window shows on a 1366x720 screen, its title bar and a panel beside.
    void fitsASmallScreen()
    {
        const QSize least = Window->minimumSizeHint();
        QVERIFY2(least.width() <= 1366 && least.height() <= 660,
                 qPrintable(QString("%1x%2").arg(least.width()).arg(least.height())));
        QVERIFY(Window->width() <= 1366 && Window->height() <= 660);
    }

    // Live: magnitude, phase and coherence of the live curve, the delay in ms and metres, the
    // averages; points below the threshold drawn faint under the reliable ones, or left out. The
    // spectrogram fills in a map whose lightness rises with the level.
    void measuresLive()
    {
        Start();
        QTRY_VERIFY(Chart("chtModul")->graphCount() == 2); // faint and reliable
        QCOMPARE(Chart("chtFaza")->graphCount(), 2);
        QCOMPARE(Chart("chtKoherencja")->graphCount(), 1);
        QVERIFY2(Control<QLabel>("lblOpoznienie")->text().contains(QStringLiteral(" ms = ")),
                 qPrintable(Control<QLabel>("lblOpoznienie")->text()));
        QVERIFY(Control<QLabel>("lblUsrednienia")->text().startsWith(QStringLiteral("Uśrednione ramki: ")));

        QLineEdit* threshold = Control<QLineEdit>("edtProgKoherencji");
        TypeAndLeave(threshold, QStringLiteral("1"));
        QTRY_VERIFY(Gaps(Chart("chtModul")->graph(1)) > 100); // hardly any point is exactly coherent
        Control<QComboBox>("cbPonizejProgu")->setCurrentIndex(1);
        QCOMPARE(Chart("chtModul")->graphCount(), 1);
        TypeAndLeave(threshold, QStringLiteral("0"));
        QTRY_COMPARE(Gaps(Chart("chtModul")->graph(0)), 0);
        Control<QComboBox>("cbPonizejProgu")->setCurrentIndex(0);

        auto* spectrogram = Control<TSonogramView>("chtSpektrogram");
        QTRY_VERIFY(spectrogram->Newest(spectrogram->Rows() / 2) > -200);
        const auto* map = qobject_cast<QCPColorMap*>(spectrogram->plottable(0));
        QVERIFY(map);
        double lightness = -1;
        for (int step = 0; step <= 50; ++step) {
            const QColor colour = QColor::fromRgb(map->gradient().color(step / 50.0, QCPRange(0, 1)));
            const double now = 0.2126 * colour.redF() + 0.7152 * colour.greenF() + 0.0722 * colour.blueF();
            QVERIFY2(now > lightness, qPrintable(QString::number(step)));
            lightness = now;
        }
    }

    // The live curve stored as a series, renamed, hidden and shown, and removed.
    void seriesStoredNamedHiddenRemoved()
    {
        Start();
        Control<QPushButton>("btnZapamietaj")->click();
        QCOMPARE(List()->count(), 1);
        QCOMPARE(List()->item(0)->text(), QStringLiteral("Pomiar 1"));
        QTRY_COMPARE(Chart("chtModul")->graphCount(), 4);
        List()->item(0)->setText(QStringLiteral("Przed korekcją"));
        QCOMPARE(Chart("chtModul")->graph(1)->name(), QStringLiteral("Przed korekcją"));
        List()->item(0)->setCheckState(Qt::Unchecked);
        QCOMPARE(Chart("chtKoherencja")->graphCount(), 1); // the live one alone
        List()->item(0)->setCheckState(Qt::Checked);
        QCOMPARE(Chart("chtKoherencja")->graphCount(), 2);
        Control<QPushButton>("btnStop")->click();
        QVERIFY(!Window->Measuring());
        Control<QPushButton>("btnZapamietaj")->click(); // the last curves stay after a stop
        QCOMPARE(List()->count(), 2);
        List()->setCurrentRow(1);
        Control<QPushButton>("btnUsun")->click();
        QCOMPARE(List()->count(), 1);
        QCOMPARE(Window->SeriesCount(), 1);
    }

    // A series saved as CSV (frequency, level, phase, coherence, the user's decimal separator) and as
    // FRD ("." decimals, no coherence), each opened again as a series with the same points.
    void savedAsCsvAndFrdAndOpenedAgain()
    {
        QVERIFY(List()->count() >= 1);
        for (const QChar separator : {QChar(','), QChar('.')}) {
            NumberFormat::SetDecimalSeparator(separator);
            List()->setCurrentRow(0);
            const QString csv = Folder.filePath(QStringLiteral("tf%1.csv").arg(separator == ',' ? 1 : 2));
            const QString frd = Folder.filePath(QStringLiteral("tf%1.frd").arg(separator == ',' ? 1 : 2));
            {
                TModalAnswer dialog(ChooseFile(csv, 0));
                Control<QPushButton>("btnZapisz")->click();
            }
            {
                TModalAnswer dialog(ChooseFile(frd, 1));
                Control<QPushButton>("btnZapisz")->click();
            }
            QFile file(csv);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
            QCOMPARE(lines.front(), QStringLiteral("Częstotliwość [Hz];Poziom [dB];Faza [°];Koherencja"));
            QCOMPARE(lines.at(1).count(';'), 3);
            QVERIFY2(lines.at(1).contains(separator), qPrintable(lines.at(1)));
            QString failure;
            const auto saved = ResponseFile::Read(frd, failure);
            QVERIFY2(saved && saved->Coherence.empty(), qPrintable(failure));
            const int count = List()->count();
            // Opened without coherence, a series draws every point as reliable and no coherence.
            for (const auto& [name, coherence] : {std::pair(csv, 1), std::pair(frd, 0)}) {
                const int curves = Chart("chtKoherencja")->graphCount();
                TModalAnswer dialog(ChooseFile(name));
                Control<QPushButton>("btnOtworz")->click();
                QCOMPARE(Chart("chtKoherencja")->graphCount(), curves + coherence);
            }
            QCOMPARE(List()->count(), count + 2);
            QCOMPARE(List()->item(count)->text(), QFileInfo(csv).completeBaseName());
            const auto csvPoints = ResponseFile::Read(csv, failure);
            QVERIFY(csvPoints && csvPoints->Frequency == saved->Frequency &&
                    csvPoints->LevelDb == saved->LevelDb);
            QCOMPARE(csvPoints->Coherence.size(), csvPoints->Frequency.size());
        }
    }

    // The card is one: while this window measures the main window's and the impulse window's starts
    // are refused, and this window's start while the main window measures; each says why.
    void cardIsOne()
    {
        Start();
        {
            TModalAnswer refusal(Dismiss);
            FindControl<QAction>(*Main, "actStart")->trigger();
            QVERIFY(refusal.Seen);
            QVERIFY2(refusal.Text.contains(QStringLiteral("trwa pomiar funkcji przenoszenia")),
                     qPrintable(refusal.Text));
        }
        QVERIFY(!Main->AudioIn().Running());
        FindControl<QAction>(*Main, "mmiOdpowiedzImpulsowa")->trigger();
        auto* impulse = Main->findChild<TFormaOdpowiedzImpulsowa*>("FormaOdpowiedzImpulsowa");
        {
            TModalAnswer refusal(Dismiss);
            FindControl<QPushButton>(*impulse, "btnStart")->click();
            QVERIFY(refusal.Seen);
            QVERIFY2(refusal.Text.contains(QStringLiteral("Funkcja przenoszenia")), qPrintable(refusal.Text));
        }
        QVERIFY(!impulse->Measuring());
        impulse->close();
        Control<QPushButton>("btnStop")->click();
        QTRY_VERIFY(!Window->CardInUse());

        FindControl<QAction>(*Main, "actPomiarCisnienia")->trigger();
        FindControl<QAction>(*Main, "actStart")->trigger();
        QTRY_VERIFY(Main->AudioIn().Running());
        {
            TModalAnswer refusal(Dismiss);
            Control<QPushButton>("btnStart")->click();
            QVERIFY(refusal.Seen);
            QVERIFY2(refusal.Text.contains(QStringLiteral("trwa pomiar w oknie głównym")),
                     qPrintable(refusal.Text));
        }
        QVERIFY(!Window->Measuring());
        FindControl<QAction>(*Main, "actStop")->trigger();
    }

    // The window's choices outlive the program; its series do not.
    void settingsKept()
    {
        Control<QComboBox>("cbRozmiarFft")->setCurrentIndex(5);
        Control<QComboBox>("cbWygladzanie")->setCurrentIndex(4);
        TypeAndLeave(Control<QLineEdit>("edtProgKoherencji"),
                     QStringLiteral("0") + NumberFormat::DecimalSeparator() + QStringLiteral("8"));
        Control<QComboBox>("cbPonizejProgu")->setCurrentIndex(1);
        Main.reset();
        OpenWindow();
        QCOMPARE(Control<QComboBox>("cbRozmiarFft")->currentIndex(), 5);
        QCOMPARE(Control<QComboBox>("cbWygladzanie")->currentIndex(), 4);
        QCOMPARE(NumberFormat::ParseNumber(Control<QLineEdit>("edtProgKoherencji")->text()).value_or(0), 0.8);
        QCOMPARE(Control<QComboBox>("cbPonizejProgu")->currentIndex(), 1);
        QCOMPARE(List()->count(), 0);
    }
};

QTEST_MAIN(TestTransferWindow)
#include "test_transfer_window.moc"
