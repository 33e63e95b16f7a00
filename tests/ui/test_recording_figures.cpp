// SPDX-License-Identifier: GPL-3.0-or-later
// The load of a sound-pressure recording in the whole program on the virtual card in real time,
// printed for the record:   ctest -R test_recording_figures -V

#include "WindowTestSupport.h"

#include "ui/OknoGlowna.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

struct TLoad
{
    double CpuPercent = 0;
    double LongestStallMs = 0; // the longest gap of a 10 ms timer: how responsive the window stayed
    int Blocks = 0;
};

} // namespace

class TestRecordingFigures : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TSettingsStore> Settings; // a first start's settings, so the defaults apply
    std::unique_ptr<TFormaGlowna> Window;

    // Records for the given time and measures the program's processor use and its responsiveness.
    TLoad Record(int seconds)
    {
        TLoad load;
        TAudioIn& input = Window->AudioIn();
        const TBufferEvent analyse = input.OnBufferFilled;
        input.OnBufferFilled = [&load, analyse](float* buffer, int& size) {
            ++load.Blocks;
            return analyse(buffer, size);
        };
        QTest::keyClick(Window.get(), Qt::Key_F2);
        load.Blocks = 0;
        QElapsedTimer wall, gap;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            load.LongestStallMs = std::max(load.LongestStallMs, gap.nsecsElapsed() / 1e6 - 10);
            gap.restart();
        });
        const double cpuFrom = CpuSeconds();
        wall.start();
        gap.start();
        probe.start(10);
        QTest::qWait(seconds * 1000);
        load.CpuPercent = 100 * (CpuSeconds() - cpuFrom) / (double(wall.nsecsElapsed()) / 1e9);
        QTest::keyClick(Window.get(), Qt::Key_F2);
        input.OnBufferFilled = analyse;
        return load;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path()));
    }
    void init()
    {
        Window = OpenFirstStartWindow(WorkDir, Settings);
        QVERIFY(Window);
    }
    void cleanup()
    {
        Window.reset();
        Settings.reset();
    }

    // The default settings with either sample format of the streams.
    void defaultSettings_data()
    {
        QTest::addColumn<bool>("sixteenBit");
        QTest::newRow("16-bit streams") << true;
        QTest::newRow("float streams") << false;
    }
    void defaultSettings()
    {
        QFETCH(bool, sixteenBit);
        Window->AudioIn().SetSampleFormat(sixteenBit ? TSampleFormat::Integer : TSampleFormat::Float);
        const TMeasurementState& state = Window->State();
        const TLoad load = Record(20);
        const int frames = Window->AudioIn().BufferSize() / 4;
        qInfo("default settings, %s (%d-frame blocks at %d Hz, a tick every %d ms, a %u s window): "
              "processor %.2f %% of one core, longest stall %.1f ms, %d blocks",
              QTest::currentDataTag(), frames, Window->AudioIn().FrameRate(), state.ChartTimeRefresh,
              state.ChartTimeScope, load.CpuPercent, load.LongestStallMs, load.Blocks);
        // Every block of the 20 s reaches the meter (a tenth allowed for the start and the stop).
        const double expected = 20.0 * Window->AudioIn().FrameRate() / frames;
        QVERIFY2(load.Blocks >= 0.9 * expected, qPrintable(QString::number(load.Blocks)));
    }

    void smallBlocksWithATickEveryBlock()
    {
        TAudioIn& input = Window->AudioIn();
        input.SetBufferSize(128 * 4);
        input.SetFrameRate(48000);
        Window->State().ChartTimeRefresh = 0;
        constexpr int Seconds = 60;
        const TLoad load = Record(Seconds);
        const double expected = Seconds * 48000.0 / 128;
        qInfo("128-frame blocks, a tick every block, %d s: %d blocks of %.0f expected, %llu lost, "
              "processor %.2f %% of one core, longest stall %.1f ms",
              Seconds, load.Blocks, expected, static_cast<unsigned long long>(input.Xruns()), load.CpuPercent,
              load.LongestStallMs);
        // The card holds half a second itself: stalls of the window this short lose no block.
        QVERIFY(load.Blocks >= 0.9 * expected);
        QCOMPARE(input.Xruns(), std::uint64_t(0));
        QVERIFY(!Window->ChartData().Series(LeftChannelSeries).Empty());
    }
};

QTEST_MAIN(TestRecordingFigures)
#include "test_recording_figures.moc"
