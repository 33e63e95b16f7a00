// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioTestSupport.h"

#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <algorithm>

namespace {

// Loads a module on the test server; returns the module to unload, empty when it failed.
QString LoadModule(const QStringList& arguments)
{
    QProcess pactl;
    pactl.start("pactl", QStringList{"load-module"} + arguments);
    if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
        return QString();
    return QString::fromLatin1(pactl.readAllStandardOutput()).trimmed();
}

QString LoadSink(const QString& name)
{
    return LoadModule({"module-null-sink", "sink_name=" + name, "sink_properties=device.description=" + name,
                       "rate=48000", "channels=2"});
}

void UnloadSink(const QString& module)
{
    QProcess::execute("pactl", {"unload-module", module});
}

} // namespace

// End to end through the sound server that scripts/test starts: a null sink "tonvix_null" whose monitor
// records what is played into it.
class TestAudioSoundServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TONVIX_REQUIRE_PRIVATE_SOUND_SERVER(); }

    void playsIntoTheNullSinkAndRecordsItsMonitor()
    {
        constexpr int Frames = 2400; // 50 ms blocks
        constexpr double BlockSeconds = Frames / 48000.0;
        TAudioOut out;
        TAudioIn in;
        SetUpProgramPair(out, Frames, in, Frames);
        out.SetWaveDevice(0);
        in.SetWaveDevice(0);
        TSineSource sine;
        out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        std::vector<double> left, right;
        left.reserve(48000 * 12);
        right.reserve(48000 * 12);
        in.OnBufferFilled = [&](float* buffer, int& size) {
            AppendChannel(left, buffer, size, 2, 0);
            AppendChannel(right, buffer, size, 2, 1);
            return true;
        };

        QVERIFY2(in.Start(), qPrintable(in.LastError()));
        QVERIFY2(out.Start(), qPrintable(out.LastError()));
        // The server takes a moment to settle; from then on no block may be lost over 5 s.
        QVERIFY(WaitFor([&] { return in.BuffersDone() >= 8 && out.BuffersDone() >= 8; }, 5000));
        const int outFrom = out.BuffersDone(), inFrom = in.BuffersDone();
        QElapsedTimer elapsed;
        elapsed.start();
        QTest::qWait(5000);
        const double expected = elapsed.elapsed() / 1000.0 / BlockSeconds;
        const int played = out.BuffersDone() - outFrom, recorded = in.BuffersDone() - inFrom;
        QVERIFY2(std::abs(played - expected) <= 2,
                 qPrintable(QString("played %1 blocks, expected %2").arg(played).arg(expected)));
        QVERIFY2(std::abs(recorded - expected) <= 2,
                 qPrintable(QString("recorded %1 blocks, expected %2").arg(recorded).arg(expected)));
        QVERIFY(out.Running() && in.Running());
        out.StopNow();
        in.StopNow();

        // The steady part: the last 4 s, long after the output has reached the monitor.
        QVERIFY(left.size() > 48000 * 5);
        const std::size_t steadyFrom = left.size() - 48000 * 4;
        const double playedRms = 16000 / std::sqrt(2.0);
        for (const std::vector<double>* channel : {&left, &right}) {
            const double level = Db(Rms(*channel, steadyFrom) / playedRms);
            QVERIFY2(std::abs(level) < 0.5, qPrintable(QString("level %1 dB").arg(level)));
            const double frequency = ZeroCrossingFrequency(*channel, steadyFrom, 48000);
            QVERIFY2(std::abs(frequency - 1000) < 1, qPrintable(QString("frequency %1 Hz").arg(frequency)));
        }
    }

    // A block is done once the server holds it; the close after the last one must not discard what
    // the server still holds, and a single block, too short to start the playing by itself, is heard
    // too. Each frame carries its number, so the recording tells which frames were played.
    void anOutputThatEndsIsPlayedToItsLastFrame_data()
    {
        QTest::addColumn<int>("blocks");
        QTest::addColumn<bool>("drainedOnRequest");
        QTest::newRow("one block") << 1 << false;
        QTest::newRow("three blocks, the handler refusing the fourth") << 3 << false;
        QTest::newRow("five blocks, then drained on request") << 5 << true;
    }

    void anOutputThatEndsIsPlayedToItsLastFrame()
    {
        QFETCH(int, blocks);
        QFETCH(bool, drainedOnRequest);
        constexpr int Frames = 4800; // 100 ms blocks
        TAudioOut out;
        TAudioIn in;
        SetUpProgramPair(out, Frames, in, 2400);
        // 16-bit streams carry the frame numbers exactly.
        out.SetSampleFormat(TSampleFormat::Integer);
        in.SetSampleFormat(TSampleFormat::Integer);
        int fills = 0;
        int frame = 0;
        out.OnFillBuffer = [&](float* buffer, int& size) {
            if (fills == blocks)
                return false;
            if (++fills == blocks && drainedOnRequest)
                out.StopWhenDrained();
            for (int i = 0; i < size; ++i)
                buffer[i] = static_cast<float>(++frame / SixteenBitUnits);
            return true;
        };
        std::vector<double> left;
        left.reserve(48000 * 4);
        in.OnBufferFilled = [&](float* buffer, int& size) {
            AppendChannel(left, buffer, size, 2, 0);
            return true;
        };
        QVERIFY2(in.Start(), qPrintable(in.LastError()));
        QVERIFY(WaitFor([&] { return in.BuffersDone() >= 4; }, 5000)); // the monitor is recording
        const std::size_t from = left.size();
        QVERIFY2(out.Start(), qPrintable(out.LastError()));
        QVERIFY(WaitFor([&] { return !out.DeviceOpen(); }, 5000));
        QCOMPARE(out.BuffersDone(), blocks);
        QTest::qWait(500); // what was played reaches the monitor
        in.StopNow();

        // The frames heard, in order and without a gap, up to the last one played. The first few tens
        // of milliseconds may be missing: the sink renders that far ahead, and when the stream joins it
        // renders that stretch again, but its monitor has already passed it on.
        const auto heard = std::find_if(left.begin() + std::ptrdiff_t(from), left.end(),
                                        [](double sample) { return sample != 0; });
        QVERIFY2(heard != left.end(), "nothing heard");
        const double first = std::round(*heard);
        QVERIFY2(first >= 1 && first <= 2400, qPrintable(QString("first frame heard: %1").arg(first)));
        double expected = first;
        for (auto at = heard; at != left.end() && *at != 0; ++at, ++expected)
            QCOMPARE(std::round(*at), expected);
        QCOMPARE(expected - 1, double(blocks * Frames));
    }

    void failuresAndEndingsThroughTheServer()
    {
        TAudioOut out;
        TAudioIn in;
        SetUpProgramPair(out, 2400, in, 2400);
        int stops = 0;
        out.OnStop = in.OnStop = [&](QObject*) { ++stops; };
        TSineSource sine;
        out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };

        out.SetWaveDevice(std::uint32_t(TDeviceServices::DeviceNames(TWaveDirection::Output).size()));
        QVERIFY(!out.Start());
        QCOMPARE(out.LastError(), QString("Nie ma urządzenia dźwiękowego o tym numerze"));
        out.SetWaveDevice(WaveMapper);
        in.SetFrameRate(0);
        QVERIFY(!in.Start());
        QCOMPARE(in.LastError(), QString("Urządzenie nie obsługuje tego formatu dźwięku"));
        QVERIFY(!out.DeviceOpen() && !in.DeviceOpen());
        in.SetFrameRate(48000);

        // Paused, the output's blocks wait; the stream drains and closes when asked to.
        QVERIFY2(out.Start(), qPrintable(out.LastError()));
        QVERIFY(WaitFor([&] { return out.BuffersDone() >= 4; }, 5000));
        out.SetPaused(true);
        QTest::qWait(200);
        const int done = out.BuffersDone();
        QTest::qWait(300);
        QCOMPARE(out.BuffersDone(), done);
        out.SetPaused(false);
        QVERIFY(WaitFor([&] { return out.BuffersDone() >= done + 4; }, 5000));
        out.StopWhenDrained();
        QVERIFY(WaitFor([&] { return !out.DeviceOpen(); }, 5000));
        QCOMPARE(out.BuffersDone(), out.BuffersFilled());
        QVERIFY(WaitFor([&] { return stops == 1; }, 2000));

        // An input whose handler refuses every block closes after the fourth.
        int calls = 0;
        in.OnBufferFilled = [&](float*, int&) {
            ++calls;
            return false;
        };
        QVERIFY2(in.Start(), qPrintable(in.LastError()));
        QVERIFY(WaitFor([&] { return stops == 2; }, 5000));
        QCOMPARE(calls, 4);
        QVERIFY(!in.DeviceOpen());
    }

    // Sinks someone loaded are devices like any other, each with its monitor, and chosen by their
    // stable names: a recording of one sink's monitor hears what is played into that sink alone.
    void devicesAreChosenByTheirStableNames()
    {
        const QString first = LoadSink("tonvix_null_a"), second = LoadSink("tonvix_null_b");
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        const std::vector<TDeviceEntry> inputs = TDeviceServices::Devices(TWaveDirection::Input);
        const auto monitor = std::find_if(inputs.begin(), inputs.end(), [](const TDeviceEntry& device) {
            return device.Name == "tonvix_null_b.monitor";
        });
        QVERIFY(monitor != inputs.end() && monitor->Monitor);
        QCOMPARE(monitor->Description, QString("Monitor: tonvix_null_b"));
        QCOMPARE(inputs.back().Name, TDeviceServices::VirtualCardName);

        TAudioOut out;
        TAudioIn onFirst, onSecond;
        SetUpProgramPair(out, 2400, onFirst, 2400);
        SetUpProgramPair(out, 2400, onSecond, 2400);
        out.SetDeviceName("tonvix_null_a");
        onFirst.SetDeviceName("tonvix_null_a.monitor");
        onSecond.SetDeviceName("tonvix_null_b.monitor");
        TSineSource sine;
        out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        std::vector<double> heardFirst, heardSecond;
        for (auto [in, heard] : {std::pair{&onFirst, &heardFirst}, std::pair{&onSecond, &heardSecond}}) {
            heard->reserve(48000 * 4);
            in->OnBufferFilled = [heard](float* buffer, int& size) {
                AppendChannel(*heard, buffer, size, 2, 0);
                return true;
            };
        }
        QVERIFY2(out.Start(), qPrintable(out.LastError()));
        QVERIFY2(onFirst.Start(), qPrintable(onFirst.LastError()));
        QVERIFY2(onSecond.Start(), qPrintable(onSecond.LastError()));
        QTest::qWait(1500);
        for (TAudioIO* device : std::initializer_list<TAudioIO*>{&out, &onFirst, &onSecond}) {
            QVERIFY(!device->DeviceMissing());
            device->StopNow();
        }
        UnloadSink(first);
        UnloadSink(second);
        QVERIFY(heardFirst.size() > 48000 && heardSecond.size() > 48000);
        const double level = Db(Rms(heardFirst, heardFirst.size() - 24000) / (16000 / std::sqrt(2.0)));
        QVERIFY2(std::abs(level) < 0.5, qPrintable(QString("level %1 dB").arg(level)));
        QCOMPARE(Rms(heardSecond), 0.0);
    }

    // A 16-bit sink's monitor recorded at once on a 16-bit stream and on a float one: the same level
    // within 0.001 dB (the server scales 16-bit samples to float by 1/32768, the program by 1/32767:
    // 0.0003 dB apart).
    void bothSampleFormatsHearASixteenBitSinkAlike()
    {
        const QString module = LoadModule(
            {"module-null-sink", "sink_name=tonvix_null_s16", "rate=48000", "channels=2", "format=s16le"});
        QVERIFY(!module.isEmpty());
        TAudioOut out;
        TAudioIn sixteenBit, floats;
        sixteenBit.SetSampleFormat(TSampleFormat::Integer);
        floats.SetSampleFormat(TSampleFormat::Float);
        SetUpProgramPair(out, 2400, sixteenBit, 2400);
        SetUpProgramPair(out, 2400, floats, 2400);
        floats.SetBufferSize(2400 * floats.WaveFormat().BytesPerFrame);
        out.SetDeviceName("tonvix_null_s16");
        TSineSource sine;
        sine.Frequency = 997;
        out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        std::vector<double> heard[2];
        for (auto [in, channel] : {std::pair{&sixteenBit, &heard[0]}, std::pair{&floats, &heard[1]}}) {
            in->SetDeviceName("tonvix_null_s16.monitor");
            channel->reserve(48000 * 4);
            in->OnBufferFilled = [channel](float* buffer, int& size) {
                AppendChannel(*channel, buffer, size, 2, 0);
                return true;
            };
        }
        QVERIFY2(out.Start(), qPrintable(out.LastError()));
        QVERIFY2(sixteenBit.Start(), qPrintable(sixteenBit.LastError()));
        QVERIFY2(floats.Start(), qPrintable(floats.LastError()));
        const bool heardEnough =
            WaitFor([&] { return heard[0].size() > 48000 * 3 && heard[1].size() > 48000 * 3; }, 10000);
        for (TAudioIO* device : std::initializer_list<TAudioIO*>{&out, &sixteenBit, &floats})
            device->StopNow();
        UnloadSink(module);
        QVERIFY(heardEnough);
        // The last 2 s of each, long after the tone reached the monitor.
        const double sixteenBitLevel =
                         Db(Rms(heard[0], heard[0].size() - 96000) / (sine.Amplitude / std::sqrt(2.0))),
                     floatLevel =
                         Db(Rms(heard[1], heard[1].size() - 96000) / (sine.Amplitude / std::sqrt(2.0)));
        qInfo("16-bit sink: %+.5f dB on 16-bit streams, %+.5f dB on float streams", sixteenBitLevel,
              floatLevel);
        QVERIFY(std::abs(sixteenBitLevel) < 0.01);
        QVERIFY(std::abs(sixteenBitLevel - floatLevel) < 0.001);
    }

    void aChosenDeviceThatIsGoneGivesWayToTheDefault()
    {
        TAudioOut out;
        TAudioIn in;
        SetUpProgramPair(out, 2400, in, 2400);
        in.SetDeviceName("tonvix_null_gone.monitor");
        QVERIFY2(in.Start(), qPrintable(in.LastError()));
        QVERIFY(in.DeviceMissing());
        QVERIFY(WaitFor([&] { return in.BuffersDone() >= 2; }, 5000));
        in.StopNow();
    }

    // A sink nothing has played into renders seconds ahead; a start on it, whether it records the
    // sink's monitor alone or plays into the sink first as a sweep does, or into a filter sink in front
    // of it, still hears its first block within the settling wait.
    void theFirstBlockComesSoonOnAnIdleSink_data()
    {
        QTest::addColumn<bool>("playing");
        QTest::addColumn<bool>("filtered");
        QTest::newRow("recording alone") << false << false;
        QTest::newRow("playing first") << true << false;
        QTest::newRow("playing through a filter") << true << true;
    }
    void theFirstBlockComesSoonOnAnIdleSink()
    {
        QFETCH(bool, playing);
        QFETCH(bool, filtered);
        const QString module = LoadSink("tonvix_null_idle");
        QVERIFY(!module.isEmpty());
        const QString filter =
            filtered
                ? LoadModule({"module-ladspa-sink", "sink_name=tonvix_null_idle_filter",
                              "sink_master=tonvix_null_idle", "plugin=amp", "label=amp_mono", "control=1"})
                : QString();
        QVERIFY(!filtered || !filter.isEmpty());
        TAudioOut out;
        TAudioIn in;
        SetUpProgramPair(out, 1500, in, 1500);
        out.SetDeviceName(filtered ? "tonvix_null_idle_filter" : "tonvix_null_idle");
        in.SetDeviceName("tonvix_null_idle.monitor");
        TSineSource sine;
        out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        QElapsedTimer started;
        qint64 firstBlock = -1;
        in.OnBufferFilled = [&](float*, int&) {
            if (firstBlock < 0)
                firstBlock = started.elapsed();
            return true;
        };
        started.start();
        QVERIFY(!playing || out.Start());
        QVERIFY2(in.Start(), qPrintable(in.LastError()));
        QVERIFY(WaitFor([&] { return firstBlock >= 0; }, 5000));
        out.StopNow();
        in.StopNow();
        if (filtered)
            UnloadSink(filter);
        UnloadSink(module);
        qInfo("first block of 31.25 ms on an idle null sink %lld ms after the start", firstBlock);
        QVERIFY2(firstBlock < 300, qPrintable(QString::number(firstBlock)));
    }

    void aSinkThatVanishesMidStreamDrainsAndCloses()
    {
        QProcess pactl;
        pactl.start("pactl", {"load-module", "module-null-sink", "sink_name=tonvix_null_lost",
                              "sink_properties=device.description=Tonvix_lost"});
        QVERIFY(pactl.waitForFinished(5000) && pactl.exitCode() == 0);
        const QString module = QString::fromLatin1(pactl.readAllStandardOutput()).trimmed();
        const qsizetype number = TDeviceServices::DeviceNames(TWaveDirection::Output).indexOf("Tonvix_lost");
        QVERIFY(number > 0);

        TAudioOut out;
        out.SetFrameRate(48000);
        out.SetBufferSize(4800);
        out.SetWaveDevice(std::uint32_t(number));
        int stops = 0;
        out.OnStop = [&](QObject*) { ++stops; };
        TSineSource sine;
        out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        QVERIFY2(out.Start(), qPrintable(out.LastError()));
        QVERIFY(WaitFor([&] { return out.BuffersDone() >= 4; }, 5000));
        pactl.start("pactl", {"unload-module", module});
        QVERIFY(pactl.waitForFinished(5000) && pactl.exitCode() == 0);
        QVERIFY(WaitFor([&] { return stops == 1; }, 5000));
        QVERIFY(!out.DeviceOpen() && !out.Running());
        QCOMPARE(out.BuffersInFlight(), 0);
        QVERIFY(!out.LastError().isEmpty());
        // The server itself is still there for the next open.
        out.SetWaveDevice(0);
        QVERIFY2(out.Start(), qPrintable(out.LastError()));
        out.StopNow();
    }
};

QTEST_GUILESS_MAIN(TestAudioSoundServer)
#include "test_audio_soundserver.moc"
