// SPDX-License-Identifier: GPL-3.0-or-later
// The real program, killed with SIGKILL in the middle of a recording, leaves a journal holding every
// tick up to the last second. It runs on a private X server and is driven by key presses, as a user
// drives it.

#include "results/ResultFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

std::vector<std::array<double, 3>> Ticks(const QString& path, ResultFile::TReadOutcome& outcome)
{
    class TSink final : public ResultFile::ISink
    {
    public:
        std::vector<std::array<double, 3>> Ticks;
        bool SelectKind(TMeasurementKind kind) override { return kind == TMeasurementKind::SoundPressure; }
        void ChannelPoint(double t, double l, double r) override { Ticks.push_back({t, l, r}); }
        void SeriesListed(const std::vector<int>&) override {}
        void SeriesName(int, const QString&) override {}
        void SeriesConditions(int, int, double, int) override {}
        void SeriesPoint(int, double, double) override {}
    } sink;
    QFile file(path);
    outcome =
        file.open(QIODevice::ReadOnly) ? ResultFile::Read(file, sink) : ResultFile::TReadOutcome::ReadError;
    return sink.Ticks;
}

} // namespace

class TestJournalKill : public QObject
{
    Q_OBJECT

    QProcess Server;
    QString Display;
    QTemporaryDir Home;

    QProcessEnvironment Environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", Display);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("HOME", Home.path());
        environment.insert("XDG_CONFIG_HOME", Home.filePath(".config"));
        environment.insert("XDG_DATA_HOME", Home.filePath(".local/share"));
        environment.insert("XDG_RUNTIME_DIR", Home.path());
        environment.insert("TONVIX_DEVICE", "virtual");
        return environment;
    }

    QString XDoTool(const QStringList& arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(Environment());
        tool.start("xdotool", arguments);
        if (!tool.waitForFinished(30000))
            tool.kill();
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

private slots:
    void initTestCase()
    {
        // The server writes its display number once it accepts clients.
        Server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QVERIFY2(Server.waitForStarted(10000), "Xvfb is needed: scripts/install-deps");
        QTRY_VERIFY_WITH_TIMEOUT(Server.canReadLine(), 20000);
        Display = ":" + QString::fromLatin1(Server.readLine()).trimmed();
    }
    void cleanupTestCase()
    {
        Server.terminate();
        Server.waitForFinished(5000);
    }

    void killedMidRecordingLosesNothingButTheLastSecond()
    {
        QProcess program;
        program.setProcessEnvironment(Environment());
        program.start(QStringLiteral(TONVIX_PROGRAM));
        QVERIFY(program.waitForStarted(10000));
        const QString window =
            XDoTool({"search", "--sync", "--onlyvisible", "--name", "^Tonvix"}).section('\n', 0, 0);
        QVERIFY2(!window.isEmpty(), "the main window did not appear");
        XDoTool({"windowfocus", "--sync", window});
        XDoTool({"key", "--delay", "200", "alt+a", "F2"}); // "&Akwizycja", then Start

        const QString journal = Home.filePath(".local/share/Marvelle/Tonvix/nagranie-1.lev");
        ResultFile::TReadOutcome outcome{};
        QTRY_VERIFY_WITH_TIMEOUT(Ticks(journal, outcome).size() >= 4, 30000);
        const double seen = Ticks(journal, outcome).back()[0];
        QElapsedTimer sinceSeen;
        sinceSeen.start();
        QTest::qWait(2500);
        program.kill(); // SIGKILL: no handler, no destructor runs
        const double killedAt = seen + sinceSeen.elapsed() / 1000.0;
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::CrashExit);

        const std::vector<std::array<double, 3>> ticks = Ticks(journal, outcome);
        QCOMPARE(outcome, ResultFile::TReadOutcome::Read);
        for (std::size_t i = 1; i < ticks.size(); ++i) {
            QVERIFY(ticks[i][0] > ticks[i - 1][0]);
            QVERIFY2(ticks[i][0] - ticks[i - 1][0] < 1.0, "a gap in the journal");
        }
        QVERIFY2(ticks.back()[0] >= killedAt - 1.0,
                 qPrintable(QString("last tick %1 s, killed at %2 s").arg(ticks.back()[0]).arg(killedAt)));
    }
};

QTEST_GUILESS_MAIN(TestJournalKill)
#include "test_journal_kill.moc"
