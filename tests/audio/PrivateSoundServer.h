// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <memory>
#include <sys/types.h>

// A PulseAudio of the test's own, with the null sinks it is given, reached through PULSE_SERVER. The
// test may stop it (SIGSTOP), let it go on, or kill it; scripts/sound-server's server is not touched.
class TPrivateSoundServer
{
public:
    ~TPrivateSoundServer() { Kill(); }

    // The first sink is the default one; false when the server did not come up within 5 s.
    bool Start(const QStringList& sinks)
    {
        Kill();
        Remapped.clear();
        Folder = std::make_unique<QTemporaryDir>();
        const QString runtime = Folder->filePath("runtime"), socket = runtime + "/native";
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(Folder->filePath("state"));
        QFile script(Folder->filePath("default.pa"));
        if (!script.open(QIODevice::WriteOnly))
            return false;
        for (const QString& sink : sinks)
            script.write(
                QString("load-module module-null-sink sink_name=%1 sink_properties=device.description=%1 "
                        "rate=48000 channels=2\n")
                    .arg(sink)
                    .toUtf8());
        script.write(QString("load-module module-native-protocol-unix socket=%1 auth-anonymous=1\n")
                         .arg(socket)
                         .toUtf8());
        script.close();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.insert("PULSE_RUNTIME_PATH", runtime);
        environment.insert("PULSE_STATE_PATH", Folder->filePath("state"));
        environment.insert("HOME", Folder->path());
        Server.setProcessEnvironment(environment);
        Server.start("pulseaudio", {"--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "-n",
                                    "--file=" + script.fileName(), "--use-pid-file=no",
                                    "--log-target=file:" + Folder->filePath("log")});
        Address = "unix:" + socket;
        qputenv("PULSE_SERVER", Address.toUtf8());
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000) {
            if (Pactl({"info"}))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    void Stop() { Signal(SIGSTOP); }
    void Continue() { Signal(SIGCONT); }
    void Kill()
    {
        if (Server.state() == QProcess::NotRunning)
            return;
        Continue();
        Server.kill();
        Server.waitForFinished(5000);
    }
    // A device under test as a desktop chains one: what is played into the mono null sink `played` goes
    // on by two loopbacks into the two channels of the null sink `recorded`, straight into one (the
    // reference) and through a LADSPA filter sink (`ladspa`: its plugin, label and controls) into the
    // other, `deviceChannel` (0 left, 1 right). Routes into one recorded sink share its channels. False
    // at the first module that did not load, named in `failed`.
    bool LoadRoute(const QString& played, const QString& recorded, int deviceChannel,
                   const QStringList& ladspa, QString& failed)
    {
        const QString channels[] = {recorded + "_left", recorded + "_right"};
        QList<QStringList> modules;
        if (!Remapped.contains(recorded)) {
            Remapped << recorded;
            for (const int channel : {0, 1})
                modules << QStringList{"module-remap-sink",
                                       "sink_name=" + channels[channel],
                                       "master=" + recorded,
                                       "channels=1",
                                       channel == 0 ? "master_channel_map=front-left"
                                                    : "master_channel_map=front-right",
                                       "channel_map=mono",
                                       "remix=no"};
        }
        const QString device = played + "_device";
        modules << QStringList{"module-null-sink", "sink_name=" + played, "rate=48000", "channels=1"}
                << QStringList{"module-ladspa-sink", "sink_name=" + device,
                               "sink_master=" + channels[deviceChannel]} +
                       ladspa;
        for (const QString& sink : {channels[1 - deviceChannel], device})
            modules << QStringList{"module-loopback", "source=" + played + ".monitor",
                                   "sink=" + sink,    "adjust_time=0",
                                   "latency_msec=40", "remix=no"};
        for (const QStringList& module : modules)
            if (!Pactl(QStringList{"load-module"} + module)) {
                failed = module.join(' ');
                return false;
            }
        return true;
    }

    bool Pactl(const QStringList& arguments)
    {
        QProcess pactl;
        pactl.start("pactl", QStringList{"--server=" + Address} + arguments);
        return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit &&
               pactl.exitCode() == 0;
    }

private:
    void Signal(int number)
    {
        if (Server.state() != QProcess::NotRunning)
            ::kill(static_cast<pid_t>(Server.processId()), number);
    }

    std::unique_ptr<QTemporaryDir> Folder;
    QProcess Server;
    QString Address;
    QStringList Remapped; // the recorded sinks whose channels are sinks of their own
};
