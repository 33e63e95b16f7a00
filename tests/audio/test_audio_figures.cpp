// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioTestSupport.h"

#include "audio/AudioIO.h"
#include "audio/CallBackWin.h"
#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <sys/resource.h>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

// The figures of the streaming path on the virtual card in real time, printed for the record:
//   ctest -R test_audio_figures -V
class TestAudioFigures : public QObject
{
    Q_OBJECT

private slots:
    void latencyAndProcessorUseOfTheProgramsStream()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        TDeviceServices::VirtualCard().RestoreDefaults();
        constexpr int Frames = 1500;
        TAudioOut out;
        TAudioIn in;
        SetUpProgramPair(out, Frames, in, Frames);
        std::vector<double> latencies;
        latencies.reserve(4096);
        TSineSource sine;
        out.OnFillBuffer = [&](float* buffer, int& size) {
            if (out.NotificationPostedNs() > 0)
                latencies.push_back((TNotificationChannel::NowNs() - out.NotificationPostedNs()) / 1e6);
            return sine.Fill(buffer, size);
        };
        in.OnBufferFilled = [&](float*, int&) {
            latencies.push_back((TNotificationChannel::NowNs() - in.NotificationPostedNs()) / 1e6);
            return true;
        };
        QVERIFY(out.Start());
        QVERIFY(in.Start());
        const double cpuFrom = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop; // as the program's own event loop (QTest::qWait would sleep between its passes)
        QTimer::singleShot(8000, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = (CpuSeconds() - cpuFrom) / (wall.elapsed() / 1000.0) * 100;
        out.StopNow();
        in.StopNow();

        QVERIFY(latencies.size() > 400);
        std::sort(latencies.begin(), latencies.end());
        const double median = latencies[latencies.size() / 2];
        const double p99 = latencies[latencies.size() * 99 / 100];
        qInfo(
            "notification latency on the virtual card: median %.3f ms, 99th percentile %.3f ms (%zu blocks)",
            median, p99, latencies.size());
        qInfo("processor use streaming 48000 frames/s stereo in and mono out, %d-frame blocks: %.1f %% of "
              "one core",
              Frames, cpu);
        QVERIFY(median >= 0 && median < 20);
        QVERIFY(std::isfinite(cpu) && cpu < 50);
    }

    // At a high speed the card's clock is always catching up; the UI thread still gets its lock
    // (to queue a block, to change a setting) within a chunk of frames, not after the whole batch.
    void theUserInterfaceGetsTheCardsLockAtAnySpeed()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        TDeviceServices::VirtualCard().RestoreDefaults();
        TDeviceServices::VirtualCard().SetSpeed(1000);
        TAudioOut out;
        TAudioIn in;
        SetUpProgramPair(out, 1500, in, 1500);
        TSineSource sine;
        out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        QVERIFY(out.Start());
        QVERIFY(in.Start());
        double longestGap = 0, longestSetting = 0;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, sinceTick.nsecsElapsed() / 1e6);
            QElapsedTimer setting;
            setting.start();
            TDeviceServices::VirtualCard().SetAmbient(true);
            longestSetting = std::max(longestSetting, setting.nsecsElapsed() / 1e6);
            sinceTick.start();
        });
        tick.start(1);
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        out.StopNow();
        in.StopNow();
        TDeviceServices::VirtualCard().RestoreDefaults();
        qInfo("virtual card at 1000 times real time: longest wait for a setting %.3f ms, longest gap between "
              "1 ms ticks %.1f ms, %d blocks recorded",
              longestSetting, longestGap, in.BuffersDone());
        // The gap between ticks also holds the handling of thousands of blocks a second on a busy
        // machine; the lock wait is what the chunked clock bounds.
        QVERIFY2(longestSetting < 50, qPrintable(QString::number(longestSetting)));
    }
};

QTEST_GUILESS_MAIN(TestAudioFigures)
#include "test_audio_figures.moc"
