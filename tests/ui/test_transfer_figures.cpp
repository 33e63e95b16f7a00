// SPDX-License-Identifier: GPL-3.0-or-later
// The transfer function's figures, printed for the record:   ctest -R test_transfer_figures -V
// FFT 65536 with frames half shared, both channels, ten updates a second from the periodic pink noise,
// in real time: the processor's share of the engine alone (with the virtual card's clock), which must
// stay under a tenth of one core, and of the window drawing it; and the time from Start to the first
// complete response, on the virtual card and through a PulseAudio of the test's own.

#include "../audio/PrivateSoundServer.h"
#include "WindowTestSupport.h"

#include "measure/TransferMeasurement.h"
#include "ui/OknoFunkcjaPrzenoszenia.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <qcustomplot.h>

namespace {

constexpr int Seconds = 10;

} // namespace

class TestTransferFigures : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    TPrivateSoundServer Server;
    bool ServerStarted = false;

    // Seconds from the start to the first complete response at FFT 65536, the engine alone.
    double FirstResponse(bool virtualCard)
    {
        TDeviceServices::UseVirtualCardOnly(virtualCard);
        TDeviceServices::VirtualCard().RestoreDefaults();
        TTransferMeasurement engine;
        engine.AudioIn().SetFrameRate(48000);
        TTransferSettings settings;
        settings.Reference = 1;
        QElapsedTimer wall;
        wall.start();
        if (!engine.Start(settings)) {
            qWarning("%s", qPrintable(engine.Failure()));
            return -1;
        }
        while (!engine.HasResponse() && wall.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double seconds = engine.HasResponse() ? wall.nsecsElapsed() / 1e9 : -1;
        qInfo(
            "%s: first complete response %.3f s after the start (the engine says %.3f s), delay %.2f frames",
            virtualCard ? "virtual card" : "sound server", seconds, engine.FirstResponseSeconds(),
            engine.Delay().value_or(-1));
        engine.Stop();
        return seconds;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Folder.isValid());
        ServerStarted = Server.Start({"tonvix_null"}); // before the program asks for any server
    }

    // The engine alone in real time on the virtual card: its updates and the processor's share.
    void engineUnderATenthOfACore()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        TDeviceServices::VirtualCard().RestoreDefaults();
        TTransferMeasurement engine;
        engine.AudioIn().SetFrameRate(48000);
        TTransferSettings settings;
        settings.Reference = 1;
        QVERIFY2(engine.Start(settings), qPrintable(engine.Failure()));
        QTRY_VERIFY_WITH_TIMEOUT(engine.HasResponse(), 10000);
        QSignalSpy updates(&engine, &TTransferMeasurement::Updated);
        const long long frames = engine.FramesAnalysed();
        const double cpuFrom = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(Seconds * 1000);
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double cpu = 100 * (CpuSeconds() - cpuFrom) / elapsed;
        qInfo("engine, FFT 65536: %lld frames analysed and %d new curves in %.1f s, processor %.2f %% of one "
              "core",
              engine.FramesAnalysed() - frames, int(updates.count()), elapsed, cpu);
        QCOMPARE(engine.AudioIn().Xruns(), std::uint64_t(0));
        QVERIFY(engine.FramesAnalysed() - frames >= 12); // a frame every 0.68 s
        QVERIFY(cpu < 10);
        engine.Stop();
    }

    // The window drawing the same ten times a second: the processor's share of it all.
    void windowDrawingIt()
    {
        std::unique_ptr<TSettingsStore> settings;
        const std::unique_ptr<TFormaGlowna> main = OpenFirstStartWindow(Folder, settings);
        QVERIFY(main);
        FindControl<QAction>(*main, "mmiFunkcjaPrzenoszenia")->trigger();
        auto* window = main->findChild<TFormaFunkcjaPrzenoszenia*>("FormaFunkcjaPrzenoszenia");
        FindControl<QComboBox>(*window, "cbKanalOdniesienia")->setCurrentIndex(1);
        QCOMPARE(FindControl<QComboBox>(*window, "cbRozmiarFft")->currentText().section(' ', 0, 0),
                 QStringLiteral("65536"));
        FindControl<QPushButton>(*window, "btnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(window->Measurement().HasResponse(), 10000);
        const double cpuFrom = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(Seconds * 1000);
        const double cpu = 100 * (CpuSeconds() - cpuFrom) / (wall.nsecsElapsed() / 1e9);
        QString drawing;
        for (const char* chart : {"chtModul", "chtFaza", "chtKoherencja", "chtSpektrogram"})
            drawing += QStringLiteral(", %1 drawn in %2 ms")
                           .arg(QLatin1String(chart))
                           .arg(FindControl<QCustomPlot>(*window, chart)->replotTime(true), 0, 'f', 1);
        qInfo("window, FFT 65536: processor %.2f %% of one core%s", cpu, qPrintable(drawing));
        FindControl<QPushButton>(*window, "btnStop")->click();
        QTRY_VERIFY(!window->CardInUse());
    }

    void firstResponseOnTheVirtualCard()
    {
        const double seconds = FirstResponse(true);
        QVERIFY(seconds > 0 && seconds < 2.5);
    }

    void firstResponseThroughTheSoundServer()
    {
        if (!ServerStarted) {
            if (qgetenv("CI") == "true")
                QFAIL("the test's own sound server did not start");
            QSKIP("the test's own sound server did not start");
        }
        const double seconds = FirstResponse(false);
        QVERIFY(seconds > 0 && seconds < 3.5);
    }
};

QTEST_MAIN(TestTransferFigures)
#include "test_transfer_figures.moc"
