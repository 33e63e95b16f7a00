// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioTestSupport.h"

#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"

#include <QPointer>
#include <QTest>
#include <QThread>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// While it lives, the process can make no new file descriptor: its limit is the lowest free one.
struct TNoFreeDescriptors
{
    rlimit Saved{};
    TNoFreeDescriptors()
    {
        getrlimit(RLIMIT_NOFILE, &Saved);
        const int lowestFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
        close(lowestFree);
        rlimit lowered = Saved;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~TNoFreeDescriptors() { setrlimit(RLIMIT_NOFILE, &Saved); }
    TNoFreeDescriptors(const TNoFreeDescriptors&) = delete;
    TNoFreeDescriptors& operator=(const TNoFreeDescriptors&) = delete;
};

// The components as the program sets them up: 16-bit mono out and stereo in at 48000 frames/s.
struct TCard
{
    QObject Owner;
    TAudioOut Out{&Owner};
    TAudioIn In{&Owner};
    int Starts = 0, Stops = 0;
    QPointer<QObject> LastSender;
    QString LastSenderClass;

    explicit TCard(int frames = 480)
    {
        TDeviceServices::VirtualCard().RestoreDefaults();
        TDeviceServices::VirtualCard().SetSpeed(10);
        for (TAudioIO* io : {static_cast<TAudioIO*>(&Out), static_cast<TAudioIO*>(&In)}) {
            io->SetFrameRate(48000);
            io->OnStart = [this](QObject* sender) {
                ++Starts;
                LastSender = sender;
                LastSenderClass = sender->metaObject()->className();
            };
            io->OnStop = [this](QObject* sender) {
                ++Stops;
                LastSender = sender;
                LastSenderClass = sender->metaObject()->className();
            };
        }
        In.SetStereo(true);
        Out.SetBufferSize(frames * 2);
        In.SetBufferSize(frames * 4);
    }
    ~TCard() { TDeviceServices::VirtualCard().RestoreDefaults(); }
};

} // namespace

class TestAudioIO : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TDeviceServices::UseVirtualCardOnly(true); }

    void propertiesClampAndComputeTheFormat()
    {
        TAudioOut io; // the properties belong to the shared base
        QCOMPARE(io.FrameRate(), 22050);
        QCOMPARE(io.NumBuffers(), 4);
        QCOMPARE(io.RequestedBufferSize(), 8192);
        QCOMPARE(io.BufferSize(), 8192);
        QCOMPARE(io.WaveDevice(), WaveMapper);
        QVERIFY(!io.Stereo() && !io.Running() && io.LastError().isEmpty());
        QCOMPARE(io.WaveFormat().BytesPerSecond, 44100u);

        io.SetBufferSize(100);
        QCOMPARE(io.RequestedBufferSize(), 512);
        QCOMPARE(io.BufferSize(), 512);
        io.SetStereo(true);
        io.SetBufferSize(513);
        QCOMPARE(io.RequestedBufferSize(), 513);
        QCOMPARE(io.BufferSize(), 512);
        QCOMPARE(io.WaveFormat().BytesPerFrame, 4);
        io.SetQuantization(8); // 2 bytes a frame: 513 -> 512 still, 1027 -> 1026
        io.SetBufferSize(1027);
        QCOMPARE(io.BufferSize(), 1026);
        io.SetStereo(false);
        QCOMPARE(io.BufferSize(), 1027);

        io.SetNumBuffers(1);
        QCOMPARE(io.NumBuffers(), 2);
        io.SetNumBuffers(9);
        QCOMPARE(io.NumBuffers(), 4);
        io.SetQuantization(12);
        QCOMPARE(io.Quantization(), std::uint16_t(16));
        io.SetQuantization(0);
        QCOMPARE(io.Quantization(), std::uint16_t(8));
        io.SetQuantization(8);
        QCOMPARE(io.Quantization(), std::uint16_t(8));
        io.SetFrameRate(44100);
        QCOMPARE(io.WaveFormat().BytesPerSecond, 44100u);
    }

    // Full scale is the integer's largest value, +-1.0 in float, both ways; what no card records (NaN,
    // beyond full scale) does not reach the handlers.
    void samplesConvertAtTheDeviceBoundary()
    {
        const std::int16_t sixteen[] = {32767, -32767, -32768, 1, 0, -16384};
        float floats[6];
        IntegerToFloat(reinterpret_cast<const char*>(sixteen), floats, 6, 16);
        QCOMPARE(floats[0], 1.0f);
        QCOMPARE(floats[1], -1.0f);
        QVERIFY(floats[2] < -1.0f && floats[2] > -1.0001f);
        QCOMPARE(floats[3], 1.0f / 32767);
        QCOMPARE(floats[4], 0.0f);
        std::int16_t back[6];
        FloatToInteger(floats, reinterpret_cast<char*>(back), 6, 16);
        QVERIFY(std::equal(back, back + 6, sixteen));

        const float outOfRange[] = {2.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(), 0.49999f / 32767};
        FloatToInteger(outOfRange, reinterpret_cast<char*>(back), 4, 16);
        QCOMPARE(back[0], std::int16_t(32767));
        QCOMPARE(back[1], std::int16_t(-32768));
        QCOMPARE(back[2], std::int16_t(0));
        QCOMPARE(back[3], std::int16_t(0));

        const unsigned char eight[] = {255, 1, 0, 128};
        IntegerToFloat(reinterpret_cast<const char*>(eight), floats, 4, 8);
        QCOMPARE(floats[0], 1.0f);
        QCOMPARE(floats[1], -1.0f);
        QCOMPARE(floats[3], 0.0f);
        unsigned char eightBack[4];
        FloatToInteger(floats, reinterpret_cast<char*>(eightBack), 4, 8);
        QVERIFY(std::equal(eightBack, eightBack + 4, eight));

        float stream[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -1.5f, 0.99999f, -1.0f};
        LimitFloat(stream, 5);
        QCOMPARE(stream[0], 0.0f);
        QCOMPARE(stream[1], 1.0f);
        QCOMPARE(stream[2], -1.0f);
        QCOMPARE(stream[3], 0.99999f);
        QCOMPARE(stream[4], -1.0f);
    }

    void streamsThroughTheCardAndStopsWhenDrained()
    {
        TCard card;
        TSineSource sine;
        std::vector<const void*> recordedBlocks; // compared as addresses, not as text
        int fills = 0;
        card.Out.OnFillBuffer = [&](float* buffer, int& size) {
            ++fills;
            return sine.Fill(buffer, size);
        };
        bool sizesRight = true;
        card.In.OnBufferFilled = [&](float* buffer, int& size) {
            sizesRight = sizesRight && size == card.In.BlockSamples();
            recordedBlocks.push_back(buffer);
            return true;
        };
        QVERIFY2(card.Out.Start(card.Out), qPrintable(card.Out.LastError()));
        QCOMPARE(fills, 4); // every block filled before the first is played
        QCOMPARE(card.Out.BuffersInFlight(), 4);
        QVERIFY(card.In.Start(card.In));
        QCOMPARE(card.In.BuffersInFlight(), 4);
        QVERIFY(card.Out.Running() && card.In.Running() && card.Out.DeviceOpen());
        QVERIFY(WaitFor([&] { return card.Starts == 2; }, 2000));
        QCOMPARE(card.LastSenderClass, QString("TCallBackWinIn"));

        QVERIFY(WaitFor([&] { return recordedBlocks.size() >= 12; }, 5000));
        // Blocks come back in ring order.
        for (std::size_t i = 4; i < recordedBlocks.size(); ++i)
            QCOMPARE(recordedBlocks[i], recordedBlocks[i - 4]);
        QVERIFY(recordedBlocks[0] != recordedBlocks[1]);
        QVERIFY(sizesRight);

        card.Out.StopWhenDrained();
        const int filled = card.Out.BuffersFilled();
        QVERIFY(WaitFor([&] { return !card.Out.DeviceOpen(); }, 3000));
        QCOMPARE(card.Out.BuffersFilled(), filled); // nothing more asked for
        QCOMPARE(card.Out.BuffersDone(), filled);   // but everything queued was played
        QCOMPARE(card.Out.BuffersInFlight(), 0);
        QVERIFY(WaitFor([&] { return card.Stops == 1; }, 2000));
        QCOMPARE(card.LastSenderClass, QString("TCallBackWinOut"));
        QVERIFY(WaitFor([&] { return card.LastSender.isNull(); }, 2000)); // the receiver is released

        card.In.StopNow();
        QVERIFY(!card.In.DeviceOpen() && !card.In.Running());
        const std::size_t blocksAtStop = recordedBlocks.size();
        QVERIFY(WaitFor([&] { return card.Stops == 2; }, 2000));
        QTest::qWait(50);
        QCOMPARE(recordedBlocks.size(), blocksAtStop); // blocks returned by the reset are not handled

        // A closed component starts again with fresh counters.
        QVERIFY(card.In.Start(card.In));
        QCOMPARE(card.In.BuffersDone(), 0);
        QVERIFY(WaitFor([&] { return card.In.BuffersDone() >= 2; }, 3000));
        card.In.StopNow();
    }

    void openingAnOpenComponentFailsAndLeavesItStreaming()
    {
        TCard card;
        TSineSource sine;
        card.Out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        QVERIFY(card.Out.Start());
        QVERIFY(card.In.Start());
        QVERIFY(!card.Out.Start());
        QCOMPARE(card.Out.LastError(), QString("Urządzenie wyjściowe jest już otwarte"));
        QVERIFY(!card.In.Start());
        QCOMPARE(card.In.LastError(), QString("Urządzenie wejściowe jest już otwarte"));
        const int outDone = card.Out.BuffersDone(), inDone = card.In.BuffersDone();
        QVERIFY(WaitFor(
            [&] { return card.Out.BuffersDone() > outDone + 2 && card.In.BuffersDone() > inDone + 2; },
            3000));
        QVERIFY(card.Out.Running() && card.In.Running());
        card.In.SetBufferSize(64000); // the device writes into the blocks: they stay as they are
        QCOMPARE(card.In.BufferSize(), 480 * 4);
        card.Out.StopNow();
        card.In.StopNow();
        QVERIFY(WaitFor([&] { return card.Stops == 2; }, 2000));
        QCOMPARE(card.Starts, 2);
    }

    void formatWritesWhileOpenLeaveTheStreamAsItIs()
    {
        TCard card;
        TSineSource sine;
        card.Out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        card.Out.SetNumBuffers(2);
        QVERIFY(card.Out.Start());
        const TWaveFormat format = card.Out.WaveFormat();
        card.Out.SetNumBuffers(4); // blocks 2 and 3 were never set up for this open
        card.Out.SetFrameRate(8000);
        card.Out.SetStereo(true);
        card.Out.SetQuantization(8);
        card.Out.SetSampleFormat(TSampleFormat::Integer);
        QCOMPARE(card.Out.NumBuffers(), 2);
        QCOMPARE(card.Out.SampleFormat(), TSampleFormat::Float);
        QVERIFY(std::memcmp(&card.Out.WaveFormat(), &format, sizeof format) == 0);
        QCOMPARE(card.Out.BufferSize(), 480 * 2);
        const int done = card.Out.BuffersDone();
        QVERIFY(WaitFor([&] { return card.Out.BuffersDone() >= done + 8; }, 3000));
        QCOMPARE(card.Out.BuffersInFlight(), 2);
        card.Out.StopNow();
        card.Out.SetNumBuffers(4); // closed again: the write takes effect
        QCOMPARE(card.Out.NumBuffers(), 4);
    }

    void aStalledUserInterfaceIsCountedAsUnderflowAndOverflow()
    {
        TCard card(4800);
        TSineSource sine;
        card.Out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        QVERIFY(card.Out.Start());
        QVERIFY(card.In.Start());
        QCOMPARE(card.Out.Xruns(), std::uint64_t(0));
        QCOMPARE(card.In.Xruns(), std::uint64_t(0));
        QThread::msleep(300); // the UI thread returns no block for 3 s of card time
        QVERIFY(card.Out.Xruns() >= 1);
        QVERIFY(card.In.Xruns() >= 1);
        const int outDone = card.Out.BuffersDone(), inDone = card.In.BuffersDone();
        QVERIFY(WaitFor(
            [&] { return card.Out.BuffersDone() > outDone + 4 && card.In.BuffersDone() > inDone + 4; },
            3000)); // and streaming goes on afterwards
        card.Out.StopNow();
        card.In.StopNow();
        QVERIFY(card.In.Xruns() >= 1); // still readable after the close
    }

    void outputWithNothingToPlayDoesNotStart()
    {
        TCard card;
        card.Out.OnFillBuffer = [](float*, int&) { return false; };
        QVERIFY(!card.Out.Start());
        QCOMPARE(card.Out.LastError(), QString("Nie ma żadnego wypełnionego bloku do odtworzenia"));
        QVERIFY(!card.Out.DeviceOpen() && !card.Out.Running());
        QVERIFY(WaitFor([&] { return card.Stops == 1; }, 2000));
        // No fill handler at all counts as nothing filled.
        card.Out.OnFillBuffer = nullptr;
        QVERIFY(!card.Out.Start());
        QCOMPARE(card.Out.LastError(), QString("Nie ma żadnego wypełnionego bloku do odtworzenia"));
    }

    void outputPlaysOnlyTheBlocksItFilled()
    {
        TCard card;
        int calls = 0;
        card.Out.OnFillBuffer = [&](float* buffer, int& size) {
            std::fill_n(buffer, size, 0.0f);
            size = 101;
            return ++calls <= 2;
        };
        QVERIFY(card.Out.Start());
        QCOMPARE(card.Out.BuffersFilled(), 2);
        QCOMPARE(card.Out.BuffersInFlight(), 2);
        QVERIFY(WaitFor([&] { return !card.Out.DeviceOpen(); }, 3000));
        QCOMPARE(card.Out.BuffersDone(), 2);
        QVERIFY(WaitFor([&] { return card.Stops == 1; }, 2000));
    }

    void inputWhoseHandlerRefusesDrainsAndCloses()
    {
        TCard card;
        int calls = 0;
        card.In.OnBufferFilled = [&](float*, int&) {
            ++calls;
            return false;
        };
        QVERIFY(card.In.Start());
        QVERIFY(WaitFor([&] { return card.Stops == 1; }, 3000));
        QCOMPARE(calls, 4); // each queued block once, none re-queued
        QCOMPARE(card.In.BuffersDone(), 4);
        QCOMPARE(card.In.BuffersFilled(), 0);
        QCOMPARE(card.In.BuffersInFlight(), 0);
        QVERIFY(!card.In.DeviceOpen() && !card.In.Running() && !card.In.KeepGoing());
    }

    void aHandlerMayStopItsOwnComponent_data()
    {
        QTest::addColumn<bool>("output");
        QTest::addColumn<int>("stopAtCall");
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("startAgain");
        QTest::newRow("output, first block of the start, refused") << true << 1 << false << false;
        QTest::newRow("output, second block of the start") << true << 2 << true << false;
        QTest::newRow("output, while playing") << true << 7 << true << false;
        QTest::newRow("output, while playing, started again") << true << 7 << true << true;
        QTest::newRow("input, while recording") << false << 3 << true << false;
        QTest::newRow("input, while recording, started again") << false << 3 << true << true;
    }

    void aHandlerMayStopItsOwnComponent()
    {
        QFETCH(bool, output);
        QFETCH(int, stopAtCall);
        QFETCH(bool, result);
        QFETCH(bool, startAgain);
        TCard card;
        TAudioIO& io = output ? static_cast<TAudioIO&>(card.Out) : card.In;
        int calls = 0, mostInFlight = 0;
        bool restarted = false;
        const auto handler = [&](float* buffer, int& size) {
            std::fill_n(buffer, size, 0.0f);
            if (++calls == stopAtCall) {
                io.StopNow();
                if (startAgain)
                    restarted = output ? card.Out.Start() : card.In.Start();
                return result;
            }
            mostInFlight = std::max(mostInFlight, io.BuffersInFlight());
            return true;
        };
        card.Out.OnFillBuffer = card.In.OnBufferFilled = handler;
        // Stopped during its own start, the component is stopped: that is no failure of the start.
        QVERIFY2(output ? card.Out.Start() : card.In.Start(), qPrintable(io.LastError()));
        QVERIFY(io.LastError().isEmpty());
        QVERIFY(WaitFor([&] { return card.Stops == 1; }, 3000));
        if (!startAgain) {
            QVERIFY(!io.DeviceOpen() && !io.Running());
            QTest::qWait(50);
            QCOMPARE(calls, stopAtCall); // nothing asked after the stop
            return;
        }
        // The new open streams as any other: its blocks are queued once each.
        QVERIFY(restarted);
        QVERIFY(WaitFor([&] { return io.BuffersDone() >= 12; }, 3000));
        QVERIFY(io.Running());
        QCOMPARE(io.BuffersInFlight(), 4);
        QVERIFY(mostInFlight <= 4);
        io.StopNow();
        QVERIFY(WaitFor([&] { return card.Stops == 2; }, 3000));
    }

    // A handler that shows a message box runs an event loop while its block is out of the ring.
    void aHandlerRunningAnEventLoopSeesEachBlockOnce()
    {
        TCard card;
        std::vector<const void*> blocks;
        card.In.OnBufferFilled = [&](float* buffer, int&) {
            blocks.push_back(buffer);
            if (blocks.size() == 2)
                QTest::qWait(50); // 25 blocks of card time
            return true;
        };
        QVERIFY(card.In.Start());
        QVERIFY(WaitFor([&] { return blocks.size() >= 16; }, 3000));
        for (std::size_t i = 1; i < blocks.size(); ++i) {
            QVERIFY(blocks[i] != blocks[i - 1]);
            if (i >= 4)
                QCOMPARE(blocks[i], blocks[i - 4]);
        }
        QCOMPARE(card.In.BuffersInFlight(), 4);
        QCOMPARE(card.In.BuffersFilled(), card.In.BuffersDone());
        card.In.StopNow();
    }

    void failedOpensLeaveNothingOpen_data()
    {
        QTest::addColumn<int>("what");
        QTest::addColumn<QString>("error");
        QTest::newRow("no such device") << 0 << "Nie ma urządzenia dźwiękowego o tym numerze";
        QTest::newRow("refused format") << 1 << "Urządzenie nie obsługuje tego formatu dźwięku";
        QTest::newRow("refused open") << 2 << "Karta zajęta przez inny program";
        QTest::newRow("no descriptor for the notifications")
            << 3 << "Nie można przygotować powiadomień urządzenia dźwiękowego: za dużo otwartych plików";
    }

    void failedOpensLeaveNothingOpen()
    {
        QFETCH(int, what);
        QFETCH(QString, error);
        TCard card;
        card.Out.OnFillBuffer = [](float*, int&) { return true; };
        if (what == 0) {
            card.Out.SetWaveDevice(7);
            card.In.SetWaveDevice(7);
        } else if (what == 1) {
            card.Out.SetFrameRate(0);
            card.In.SetFrameRate(1000000);
        } else if (what == 2) {
            TDeviceServices::VirtualCard().RefuseOpen(error);
        }
        std::optional<TNoFreeDescriptors> noDescriptors;
        if (what == 3)
            noDescriptors.emplace();
        const bool outStarted = card.Out.Start(), inStarted = card.In.Start();
        noDescriptors.reset();
        QVERIFY(!outStarted);
        QCOMPARE(card.Out.LastError(), error);
        QVERIFY(!inStarted);
        QCOMPARE(card.In.LastError(), error);
        QVERIFY(!card.Out.DeviceOpen() && !card.In.DeviceOpen() && !card.Out.Running() && !card.In.Running());
        QTest::qWait(30);
        QCOMPARE(card.Starts, 0);
        QCOMPARE(card.Stops, 0);
        // Nothing was left holding the card.
        TDeviceServices::VirtualCard().RefuseOpen(QString());
        card.In.SetFrameRate(48000);
        card.In.SetWaveDevice(WaveMapper);
        QVERIFY(card.In.Start());
        card.In.StopNow();
    }

    void lostDeviceDrainsAndCloses()
    {
        TCard card;
        TSineSource sine;
        card.Out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        QVERIFY(card.Out.Start());
        QVERIFY(card.In.Start());
        QVERIFY(WaitFor([&] { return card.In.BuffersDone() >= 3 && card.Out.BuffersDone() >= 3; }, 3000));
        TDeviceServices::VirtualCard().LoseDevices();
        QVERIFY(WaitFor([&] { return card.Stops == 2; }, 3000));
        QVERIFY(!card.Out.DeviceOpen() && !card.In.DeviceOpen());
        QCOMPARE(card.Out.LastError(), QString("Urządzenie nie jest już dostępne"));
        QCOMPARE(card.In.LastError(), QString("Urządzenie nie jest już dostępne"));
        QCOMPARE(card.Out.BuffersInFlight(), 0);
        QCOMPARE(card.In.BuffersInFlight(), 0);
    }

    void deviceLostWhileStartingFailsTheStart_data()
    {
        QTest::addColumn<bool>("output");
        QTest::addColumn<int>("queue");
        QTest::newRow("output, first block") << true << 1;
        QTest::newRow("output, third block") << true << 3;
        QTest::newRow("input, second block") << false << 2;
    }

    void deviceLostWhileStartingFailsTheStart()
    {
        QFETCH(bool, output);
        QFETCH(int, queue);
        TCard card;
        TSineSource sine;
        card.Out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        TAudioIO& io = output ? static_cast<TAudioIO&>(card.Out) : card.In;
        TDeviceServices::VirtualCard().LoseDevicesAtQueue(queue);
        QVERIFY(output ? !card.Out.Start() : !card.In.Start());
        QCOMPARE(io.LastError(), QString("Urządzenie nie jest już dostępne"));
        QVERIFY(!io.DeviceOpen() && !io.Running());
        QVERIFY(WaitFor([&] { return card.Stops == 1; }, 3000));
        QVERIFY2(output ? card.Out.Start() : card.In.Start(), qPrintable(io.LastError()));
        io.StopNow();
    }

    void stopNowOnAClosedComponentDoesNothing()
    {
        TCard card;
        card.Out.StopNow();
        card.In.StopNow();
        card.Out.StopWhenDrained();
        QTest::qWait(20);
        QCOMPARE(card.Stops, 0);
        QVERIFY(card.Out.LastError().isEmpty() && card.In.LastError().isEmpty());
    }

    void pauseHoldsTheQueuedBlocks()
    {
        TCard card;
        TSineSource sine;
        card.Out.OnFillBuffer = [&](float* buffer, int& size) { return sine.Fill(buffer, size); };
        card.Out.SetPaused(true); // before the start: the blocks wait from the first
        QVERIFY(card.Out.Start());
        QTest::qWait(100);
        QCOMPARE(card.Out.BuffersDone(), 0);
        card.Out.SetPaused(false);
        QVERIFY(WaitFor([&] { return card.Out.BuffersDone() >= 3; }, 2000));
        card.Out.SetPaused(true);
        QTest::qWait(30);
        const int done = card.Out.BuffersDone();
        QTest::qWait(100);
        QCOMPARE(card.Out.BuffersDone(), done);
        QVERIFY(card.Out.Paused() && card.Out.Running());
        card.Out.StopNow();
        QVERIFY(!card.Out.Paused());
    }

    void destroyingAStreamingComponentClosesItsDevice()
    {
        TDeviceServices::VirtualCard().SetSpeed(10);
        {
            TAudioIn in;
            in.SetFrameRate(48000);
            QVERIFY(in.Start());
            QVERIFY(WaitFor([&] { return in.BuffersDone() >= 1; }, 2000));
        }
        TAudioIn again;
        again.SetFrameRate(48000);
        QVERIFY2(again.Start(), qPrintable(again.LastError())); // the card's input is free again
        again.StopNow();
        TDeviceServices::VirtualCard().RestoreDefaults();
    }
};

QTEST_GUILESS_MAIN(TestAudioIO)
#include "test_audio_io.moc"
