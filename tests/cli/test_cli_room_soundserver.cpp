// SPDX-License-Identifier: GPL-3.0-or-later
// A room end to end, on a PipeWire of the test's own (scripts/sound-server run pipewire-1024): PipeWire's
// convolver, started as a filter sink with a synthetic room's impulse response (a direct sound, then
// noise decaying 60 dB in 0.5 s), plays into the right channel of the recorded null sink. tonvix-cli ir
// measures it, tonvix-cli room analyses what it measured, and the figures must be those of the same
// analysis of the room's own response. The measurement is the one ir makes today: a sweep of 2^18 frames
// and the silence it records after it, which holds the whole of a 0.5 s decay.

#include "CliTestSupport.h"

#include "measure/RoomAnalysis.h"
#include "results/WaveFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <random>

namespace {

constexpr int Rate = 48000;
constexpr double Reverberation = 0.5; // s

std::vector<double> SyntheticRoom()
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.05);
    const double decay = 3 * std::log(10.0) / Reverberation;
    std::vector<double> room(static_cast<std::size_t>(1.5 * Rate));
    for (std::size_t n = 0; n < room.size(); ++n)
        room[n] = noise(random) * std::exp(-decay * static_cast<double>(n) / Rate);
    room[0] = 0.5;
    return room;
}

bool Pactl(const QStringList& arguments, QString* output = nullptr)
{
    QProcess pactl;
    pactl.start("pactl", arguments);
    const bool ran =
        pactl.waitForFinished(10000) && pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
    if (output)
        *output = QString::fromUtf8(pactl.readAllStandardOutput());
    return ran;
}

} // namespace

class TestCliRoomSoundServer : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    QProcess Convolver;
    QString RemapModule;

private slots:
    void initTestCase()
    {
        QString info;
        QVERIFY2(Pactl({"info"}, &info) && info.contains(QLatin1String("PipeWire")),
                 "this test runs on a PipeWire of its own: scripts/sound-server run pipewire-1024 -- TEST");
        const QByteArray server = qgetenv("TONVIX_PULSE_DIR");
        QVERIFY2(!server.isEmpty(), "TONVIX_PULSE_DIR: the folder of scripts/sound-server's server");

        QString failure;
        QVERIFY2(WaveFile::Write(Folder.filePath("sala.wav"), SyntheticRoom(), Rate, 0, failure),
                 qPrintable(failure));
        QVERIFY(Pactl({"load-module", "module-remap-sink", "sink_name=tonvix_right", "master=tonvix_null",
                       "channels=1", "master_channel_map=front-right", "channel_map=mono", "remix=no"},
                      &RemapModule));
        QFile configuration(Folder.filePath("sala.conf"));
        QVERIFY(configuration.open(QIODevice::WriteOnly));
        configuration.write(QStringLiteral(R"(
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert support.* = support/libspa-support }
context.modules = [
  { name = libpipewire-module-protocol-native }
  { name = libpipewire-module-client-node }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-filter-chain
    args = {
      node.description = "Tonvix room"
      filter.graph = { nodes = [ { type = builtin name = room label = convolver
                                   config = { filename = "%1" channel = 0 } } ] }
      audio.channels = 1
      audio.position = [ MONO ]
      capture.props = { node.name = "tonvix_room" media.class = Audio/Sink }
      playback.props = { node.name = "tonvix_room.output" target.object = "tonvix_right" node.passive = true }
    }
  }
]
)")
                                .arg(Folder.filePath("sala.wav"))
                                .toUtf8());
        configuration.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", QString::fromLocal8Bit(server) + "/runtime");
        environment.insert("HOME", QString::fromLocal8Bit(server));
        Convolver.setProcessEnvironment(environment);
        Convolver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Convolver.start("pipewire", {"-c", configuration.fileName()});
        QVERIFY(Convolver.waitForStarted(10000));
        QString sinks;
        QTRY_VERIFY_WITH_TIMEOUT(Pactl({"list", "sinks", "short"}, &sinks) && sinks.contains("tonvix_room"),
                                 10000);
        StoreSettings({{TKey::FrameRate, "48000"}});
    }

    void cleanupTestCase()
    {
        if (Convolver.state() != QProcess::NotRunning) {
            Convolver.terminate();
            if (!Convolver.waitForFinished(5000))
                Convolver.kill();
        }
        if (!RemapModule.isEmpty())
            Pactl({"unload-module", RemapModule.trimmed()});
    }

    void measuredRoomIsTheRooms()
    {
        const TRoomFigures expected =
            AnalyseRoom(ImpulseResponseOf(SyntheticRoom(), Rate), TRoomChoice{1, std::nullopt});
        const QString wave = Folder.filePath("pomiar.wav"), room = Folder.filePath("pomiar.csv");
        // The room's gain is above 1 in places: the sweep well below full scale.
        const TCliRun ir = RunCli({"ir", "--start", "20", "--stop", "20000", "--length", "262144", "--level",
                                   "-24", "--channel", "R", "--input", "tonvix_null.monitor", "--output",
                                   "tonvix_room", "--out", wave, "--room", room},
                                  CliEnvironment(false));
        QVERIFY_RUN(ir, 0);
        QVERIFY(QFile::exists(room));
        const TCliRun run = RunCli({"room", wave, "--json"});
        QVERIFY_RUN(run, 0);
        const QJsonObject measured = QJsonDocument::fromJson(run.Out.toUtf8()).object();
        const QJsonArray bands = measured.value("bands").toArray();
        QCOMPARE(bands.size(), int(expected.Bands.size()));
        for (int i = 0; i < bands.size(); ++i) {
            const QJsonObject band = bands[i].toObject();
            const TRoomBand& truth = expected.Bands[static_cast<std::size_t>(i)];
            qInfo("%5g Hz: EDT %.3f / %.3f, T20 %.3f / %.3f, T30 %.3f / %.3f, C50 %.2f / %.2f, C80 %.2f / "
                  "%.2f, "
                  "INR %.1f",
                  truth.Nominal, band.value("EDT").toDouble(), truth.Edt.Seconds,
                  band.value("T20").toDouble(), truth.T20.Seconds, band.value("T30").toDouble(),
                  truth.T30.Seconds, band.value("C50").toDouble(), truth.C50, band.value("C80").toDouble(),
                  truth.C80, band.value("INR").toDouble());
            for (const auto& [key, seconds] : {std::pair{"EDT", truth.Edt.Seconds},
                                               {"T20", truth.T20.Seconds},
                                               {"T30", truth.T30.Seconds}})
                QVERIFY2(std::abs(band.value(key).toDouble() / seconds - 1) < 0.02,
                         qPrintable(QStringLiteral("%1 Hz %2").arg(truth.Nominal).arg(key)));
            for (const auto& [key, db] : {std::pair{"C50", truth.C50}, {"C80", truth.C80}})
                QVERIFY2(std::abs(band.value(key).toDouble() - db) < 0.2,
                         qPrintable(QStringLiteral("%1 Hz %2").arg(truth.Nominal).arg(key)));
        }
        qInfo("STI %.3f, of the room's own response %.3f", measured.value("STI").toDouble(),
              expected.Sti.Value);
        QVERIFY(std::abs(measured.value("STI").toDouble() - expected.Sti.Value) < 0.01);
    }
};

QTEST_GUILESS_MAIN(TestCliRoomSoundServer)
#include "test_cli_room_soundserver.moc"
