// SPDX-License-Identifier: GPL-3.0-or-later
// The sound server as it fails: a server whose only sink is its stand-in for a missing card, one that
// stops answering (SIGSTOP) during an open or while streaming, and one that is killed. Each test runs
// its own private PulseAudio.

#include "AudioTestSupport.h"
#include "PrivateSoundServer.h"

#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"
#include "audio/PulseService.h"

#include <QTest>

namespace {

constexpr int Frames = 2400; // 50 ms blocks
const QString NoAnswer = QStringLiteral("Serwer dźwięku nie odpowiada");

} // namespace

class TestSoundServerFaults : public QObject
{
    Q_OBJECT

    TPrivateSoundServer Server;
    TAudioIn In;
    int Stops = 0;

    void StartServer(const QStringList& sinks)
    {
        if (Server.Start(sinks))
            return;
        if (qgetenv("CI") == "true")
            QFAIL("The private PulseAudio did not start");
        QSKIP("The private PulseAudio did not start");
    }
    // The service notices a new server at its next connection.
    bool DefaultInputIs(const QByteArray& name)
    {
        return WaitFor([&] { return TDeviceServices::Devices(TWaveDirection::Input).front().Name == name; },
                       5000);
    }

private slots:
    void init()
    {
        In.SetFrameRate(48000);
        In.SetStereo(true);
        In.SetBufferSize(Frames * 4);
        In.OnStop = [this](QObject*) { ++Stops; };
        Stops = 0;
    }
    void cleanup()
    {
        In.StopNow();
        QTest::qWait(50); // its closed notification belongs to this test
        Server.Kill();
    }

    // Only the server's own stand-in means "no card"; a null sink someone loaded is a device.
    void onlyTheServersStandInMeansNoCard()
    {
        StartServer({"auto_null"});
        QVERIFY(DefaultInputIs(TDeviceServices::VirtualCardName));
        QCOMPARE(TDeviceServices::Devices(TWaveDirection::Output).front().Name,
                 TDeviceServices::VirtualCardName);
        QCOMPARE(TDeviceServices::Devices(TWaveDirection::Input).at(1).Name, QByteArray("auto_null.monitor"));

        StartServer({"laboratorium"});
        QVERIFY(DefaultInputIs("laboratorium.monitor"));
        const std::vector<TDeviceEntry> outputs = TDeviceServices::Devices(TWaveDirection::Output);
        QCOMPARE(outputs.front().Name, QByteArray("laboratorium"));
        QCOMPARE(outputs.back().Name, TDeviceServices::VirtualCardName);
    }

    void aStoppedServerFailsAnOpenInTime()
    {
        StartServer({"laboratorium"});
        QVERIFY(DefaultInputIs("laboratorium.monitor"));
        Server.Stop();
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!In.Start());
        const qint64 elapsed = waited.elapsed();
        QCOMPARE(In.LastError(), NoAnswer);
        qInfo("an open on a stopped server failed after %lld ms", elapsed);
        QVERIFY2(elapsed < TPulseService::WaitLimitMs + 1500, qPrintable(QString::number(elapsed)));
        // Listing the devices meanwhile ends in time too, with the virtual card alone.
        waited.start();
        QCOMPARE(TDeviceServices::DeviceNames(TWaveDirection::Input).size(), 1);
        QVERIFY2(waited.elapsed() < TPulseService::WaitLimitMs + 1500,
                 qPrintable(QString::number(waited.elapsed())));

        Server.Continue();
        QVERIFY2(In.Start(), qPrintable(In.LastError())); // a new connection
        QVERIFY(WaitFor([&] { return In.BuffersDone() >= 2; }, 5000));
    }

    // A listener that reads the lists again at every change (as the options dialog does) reads them
    // once when the server dies, and never again when it hangs or is not there: no connection that
    // fails or hangs counts as a change, or each reading would bring the next one.
    void aServerThatGoesOrHangsBringsNoEndlessReadings_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("killed, then none") << true;
        QTest::newRow("stopped") << false;
    }
    void aServerThatGoesOrHangsBringsNoEndlessReadings()
    {
        QFETCH(bool, killed);
        StartServer({"laboratorium"});
        QVERIFY(DefaultInputIs("laboratorium.monitor"));
        int readings = 0;
        const QMetaObject::Connection listening =
            connect(&TDeviceServices::Watch(), &TDeviceWatch::DevicesChanged, this, [&] {
                ++readings;
                TDeviceServices::AllDevices();
            });
        killed ? Server.Kill() : Server.Stop();
        TDeviceServices::AllDevices();
        QTest::qWait(3 * TPulseService::WaitLimitMs);
        disconnect(listening);
        QVERIFY2(readings <= (killed ? 1 : 0), qPrintable(QString::number(readings)));
    }

    void aServerThatStopsOrDiesWhileStreamingEndsTheStream_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("stopped") << false;
        QTest::newRow("killed") << true;
    }
    void aServerThatStopsOrDiesWhileStreamingEndsTheStream()
    {
        QFETCH(bool, killed);
        StartServer({"laboratorium"});
        QVERIFY(DefaultInputIs("laboratorium.monitor"));
        QVERIFY2(In.Start(), qPrintable(In.LastError()));
        QVERIFY(WaitFor([&] { return In.BuffersDone() >= 3; }, 5000));
        QElapsedTimer waited;
        waited.start();
        killed ? Server.Kill() : Server.Stop();
        // No frames for the wait limit and two blocks: the stream is lost, its blocks come back, it closes.
        QVERIFY(WaitFor([&] { return Stops == 1; }, TPulseService::WaitLimitMs + 3000));
        qInfo("the stream ended %lld ms after the server was %s", waited.elapsed(),
              killed ? "killed" : "stopped");
        QVERIFY(!In.DeviceOpen() && !In.Running());
        QCOMPARE(In.BuffersInFlight(), 0);
        if (!killed)
            QCOMPARE(In.LastError(), NoAnswer);
        QVERIFY(!In.LastError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSoundServerFaults)
#include "test_sound_server_faults.moc"
