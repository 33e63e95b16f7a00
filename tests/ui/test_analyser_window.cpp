// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum analyser window on the virtual card: on its own and beside a sound-pressure recording,
// its picture, its files and the band filter rows of the conformance test.

#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "common/NumberFormat.h"
#include "ui/AnalyserChart.h"
#include "ui/OknoAnalizatorWidma.h"
#include "ui/OknoTestZgodnosci.h"
#include "ui/SonogramView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

constexpr double CardSpeed = 4; // card time runs this many times faster than the clock

// Answers the next file dialog with a name, as a user typing it and pressing the button.
void AnswerFileDialog(const QString& path, int filter = 0)
{
    QTimer::singleShot(0, [path, filter] {
        QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr);
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        dialog->selectNameFilter(dialog->nameFilters().at(filter));
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    });
}

} // namespace

class TestAnalyserWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;
    TFormaAnalizatorWidma* Analyser = nullptr;

    template <class T> T* Find(const char* name) { return FindControl<T>(*Analyser, name); }

    void OpenAnalyser()
    {
        Window->findChild<QAction*>("mmiAnalizatorWidma")->trigger();
        Analyser = Window->findChild<TFormaAnalizatorWidma*>("FormaAnalizatorWidma");
        QVERIFY(Analyser != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(Analyser));
    }

private slots:
    void initTestCase() { QVERIFY(WorkDir.isValid()); }
    void init()
    {
        NumberFormat::SetDecimalSeparator(',');
        Window = OpenWindowOnVirtualCard();
        QVERIFY(Window != nullptr);
        TDeviceServices::VirtualCard().SetSpeed(CardSpeed);
        OpenAnalyser();
    }
    void cleanup()
    {
        Analyser = nullptr;
        Window.reset();
        TDeviceServices::VirtualCard().RestoreDefaults();
        NumberFormat::SetDecimalSeparator(QChar());
    }

    // On its own the window opens the input itself and shows the bands of both channels live; the
    // cross-hair's read-out names the band under the mouse.
    void onItsOwnItOpensTheInput()
    {
        QVERIFY(Analyser->OwnInputOpen());
        QCOMPARE(Find<QLabel>("lblZrodlo")->text(), QString("Analizowane jest wejście karty dźwiękowej."));
        const TRealTimeAnalyser& engine = *Analyser->Analyser();
        QTRY_VERIFY(engine.SecondsSinceReset() > 0.5);
        // The bands' figures count only once their filters have settled on the running input.
        QCOMPARE(engine.FramesAnalysed() - std::llround(engine.SecondsSinceReset() * engine.FrameRate()),
                 std::llround(engine.SettleSeconds() * engine.FrameRate()));
        auto* chart = Find<TAnalyserChart>("chtWidmo");
        QTRY_VERIFY(chart->plottableCount() > 0 && chart->plottable(0)->interface1D()->dataCount() == 33);
        const auto* spectrogram = Find<TSonogramView>("chtSpektrogram");
        QCOMPARE(spectrogram->Rows(), 33); // the 1/3-octave bands at 44100 frames/s
        QTRY_VERIFY(spectrogram->Newest(20) > -150);
        const QPoint middle = chart->axisRect()->rect().center();
        QMouseEvent move(QEvent::MouseMove, middle, chart->mapToGlobal(middle), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(chart, &move);
        QVERIFY(Find<QLabel>("lblOdczyt")->text().contains(QString(" Hz   pasmo ")));
    }

    // Beside a sound-pressure recording the window lets go of the card's only input when the main
    // window opens it, so the recording starts, and then analyses exactly the blocks the meter
    // analyses; when the recording stops it opens the input again.
    void besideARecordingItSeesTheMetersBlocks()
    {
        QTRY_VERIFY(Analyser->OwnInputOpen());
        TAudioIn& input = Window->AudioIn();
        const TBufferEvent analyse = input.OnBufferFilled;
        long long frames = 0;
        bool counting = false;
        input.OnBufferFilled = [&](float* buffer, int& size) {
            if (counting)
                frames += size / 2;
            return analyse(buffer, size);
        };
        Window->findChild<QAction*>("actStart")->trigger(); // returns after the settling wait
        QVERIFY(input.Running());
        QVERIFY(!Analyser->OwnInputOpen());
        QTRY_VERIFY(Analyser->Analyser()->SecondsSinceReset() > 0); // its filters have settled
        counting = true;
        Find<QPushButton>("btnZeruj")->click();
        QTest::qWait(1500);
        counting = false;
        QCOMPARE(Analyser->Analyser()->SecondsSinceReset(), double(frames) / input.FrameRate());
        QVERIFY(frames > input.FrameRate());
        QCOMPARE(Find<QLabel>("lblZrodlo")->text(), QString("Analizowane są bloki pomiaru z okna głównego."));
        Window->findChild<QAction*>("actStop")->trigger();
        input.OnBufferFilled = analyse;
        QTRY_VERIFY(Analyser->OwnInputOpen());
    }

    // The FFT view draws the spectrum of both channels and its spectrogram; a pause freezes the
    // analysis and "Zeruj" starts the figures again.
    void fftViewPauseAndReset()
    {
        Find<QComboBox>("cbWidok")->setCurrentIndex(5);
        Find<QComboBox>("cbRozmiarFft")->setCurrentIndex(0); // 1024
        QVERIFY(Find<QComboBox>("cbOkno")->isEnabled());
        QTRY_VERIFY(Analyser->Analyser()->SpectrumFrames() > 3);
        auto* chart = Find<TAnalyserChart>("chtWidmo");
        QVERIFY(chart->graph(0)->dataCount() > 300); // 511 bins, gathered where they crowd
        QVERIFY(chart->graph(0)->dataCount() < 511);
        QVERIFY(chart->graph(0)->visible() && chart->graph(2)->visible());
        QCOMPARE(Find<TSonogramView>("chtSpektrogram")->Rows(), 160);
        Find<QCheckBox>("cbGestosc")->setChecked(true);
        QCOMPARE(chart->yAxis->label(), QString("Poziom [dB/Hz]"));

        Find<QPushButton>("btnPauza")->click();
        QCOMPARE(Find<QPushButton>("btnPauza")->text(), QString("Wzn&ów"));
        const double seconds = Analyser->Analyser()->SecondsSinceReset();
        QTest::qWait(300);
        QCOMPARE(Analyser->Analyser()->SecondsSinceReset(), seconds);
        Find<QPushButton>("btnPauza")->click();
        QTRY_VERIFY(Analyser->Analyser()->SecondsSinceReset() > seconds);
        Find<QPushButton>("btnZeruj")->click();
        QVERIFY(Analyser->Analyser()->SecondsSinceReset() < seconds);
        QCOMPARE(Analyser->Analyser()->SpectrumFrames(), 0);
    }

    // The picture is copied and saved as the main chart's pictures are; the bands go to a CSV file
    // with the user's decimal separator.
    void pictureAndExport()
    {
        QTRY_VERIFY(Analyser->Analyser()->SecondsSinceReset() > 0.5);
        Find<QPushButton>("btnKopiuj")->click();
        const QMimeData* copied = QApplication::clipboard()->mimeData();
        QVERIFY(copied->hasImage());
        QVERIFY(copied->data("image/svg+xml").startsWith("<?xml"));

        const QString picture = WorkDir.filePath("widmo");
        AnswerFileDialog(picture, 3);
        Find<QPushButton>("btnZapiszRysunek")->click();
        QFile png(picture + ".png");
        QVERIFY(png.open(QIODevice::ReadOnly));
        QVERIFY(png.read(4) == "\x89PNG");

        const QString bands = WorkDir.filePath("pasma.csv");
        AnswerFileDialog(bands);
        Find<QPushButton>("btnEksportuj")->click();
        QFile csv(bands);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 34);
        QVERIFY(
            lines[0].startsWith("Pasmo [Hz] (1/3 oktawy, stała czasowa F, korekcja Z, Fp 44100 Hz, czas "));
        QVERIFY(lines[0].endsWith(";LZeq prawy [dB];LZFmax prawy [dB];LZF prawy [dB]"));
        QVERIFY(lines[6].startsWith("31,5;31,6227766016838;-"));

        // A file that cannot be written is said, and nothing else happens.
        AnswerFileDialog(WorkDir.filePath("brak/pasma.csv"));
        TModalAnswer failure([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
        Find<QPushButton>("btnEksportuj")->click();
        QTRY_VERIFY(failure.Seen);
        QVERIFY(failure.Text.startsWith("Nie można zapisać pliku "));
    }

    // The conformance test shows a row for every breakpoint of every band of the chosen filters, and
    // the program's filters keep every limit.
    void bandFilterRowsOfTheConformanceTest()
    {
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TFormaTestZgodnosci*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            seen = true;
            FindControl<QComboBox>(*dialog, "cbFiltry")->setCurrentIndex(1); // 1/1 octave
            QSignalSpy finished(dialog, &TFormaTestZgodnosci::Finished);
            FindControl<QPushButton>(*dialog, "btnUruchom")->click();
            QVERIFY(finished.wait(30000));
            // Each band's rows stand under its heading.
            const auto* table = FindControl<QTableWidget>(*dialog, "tblWyniki");
            int bands = 0, filters = 0;
            bool inBand = false;
            for (int row = 0; row < table->rowCount(); ++row) {
                if (table->columnSpan(row, 0) > 1) {
                    inBand = table->item(row, 0)->text().startsWith("Filtr 1/1 oktawy ");
                    bands += inBand;
                } else if (inBand) {
                    ++filters;
                    QCOMPARE(table->item(row, 4)->text(), QString("Zgodny"));
                }
            }
            // 10 octave bands at 44100 frames/s, 17 breakpoints each but those at or above 22050 Hz.
            QCOMPARE(bands, 10);
            QCOMPARE(filters, 10 * 17 - 1 - 2 - 3);
            QCOMPARE(table->findItems("Filtr 1/1 oktawy 1000 Hz", Qt::MatchExactly).size(), 1);
            dialog->reject();
        });
        Window->findChild<QAction*>("mmiTestZgodnosci")->trigger();
        QVERIFY(seen);
    }
};

QTEST_MAIN(TestAnalyserWindow)
#include "test_analyser_window.moc"
