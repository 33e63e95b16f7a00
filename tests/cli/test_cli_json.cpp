// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli's output for scripts, read by a JSON parser: the devices, a recording's statistics and
// interval log, the JSON lines of a recording, the pipe into an MQTT broker that the manual shows (run
// against a private broker on the loopback), a reader that goes away in the middle, and how numbers
// print.

#include "CliTestSupport.h"

#include "cli/JsonOutput.h"
#include "measure/MeasurementState.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QJsonObject Parsed(const QString& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qWarning("not a JSON object (%s): %s", qPrintable(error.errorString()), qPrintable(text));
    return document.object();
}

QList<QJsonObject> ParsedLines(const QString& text)
{
    QList<QJsonObject> objects;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
        objects << Parsed(line);
    return objects;
}

// What every recording object holds: the time in both forms, agreeing, and the weightings asked for.
void VerifyRecordingObject(const QJsonObject& object, const QDateTime& notBefore)
{
    const QDateTime time = QDateTime::fromString(object["time"].toString(), Qt::ISODateWithMs);
    QVERIFY2(time.isValid() && time.timeSpec() == Qt::UTC && object["time"].toString().endsWith('Z'),
             qPrintable(object["time"].toString()));
    QVERIFY(time >= notBefore.addSecs(-1) && time <= QDateTime::currentDateTimeUtc());
    QVERIFY(object["seconds"].isDouble() && object["seconds"].toDouble() >= 0);
    QCOMPARE(object["weighting"].toString(), QString("A"));
    QCOMPARE(object["time_weighting"].toString(), QString("F"));
    QCOMPARE(object["time_constant"].toDouble(), 0.125);
}

// A TCP port on the loopback that nothing listens on now.
int FreePort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

QString Quoted(const QString& text)
{
    return '\'' + QString(text).replace('\'', "'\\''") + '\'';
}

} // namespace

class TestCliJson : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    QString Path(const QString& name) const { return Folder.filePath(name); }

    // A shell pipe, as the manual writes it, with tonvix-cli's path in it.
    static TCliRun RunPipe(const QString& pipe)
    {
        QProcess shell;
        shell.setProcessEnvironment(CliEnvironment());
        shell.start("bash", {"-c", "set -o pipefail; " +
                                       QString(pipe).replace("tonvix-cli ", Quoted(TONVIX_CLI) + ' ')});
        TCliRun run;
        if (!shell.waitForFinished(120000))
            shell.kill();
        shell.waitForFinished();
        run.Exit = shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1;
        run.Out = QString::fromUtf8(shell.readAllStandardOutput());
        run.Err = QString::fromUtf8(shell.readAllStandardError());
        return run;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Folder.isValid());
        StoreSettings({{TKey::FrameRate, "48000"}});
    }

    void devicesAsJson()
    {
        const TCliRun run = RunCli({"devices", "--json"});
        QVERIFY_RUN(run, 0);
        const QJsonObject devices = Parsed(run.Out);
        for (const char* direction : {"input", "output"}) {
            const QJsonArray list = devices[direction].toArray();
            QVERIFY2(!list.isEmpty(), direction);
            QCOMPARE(list.last()["name"].toString(), QString("virtual-card"));
            QVERIFY(list.first()["default"].toBool() && !list.first()["description"].toString().isEmpty());
        }
        QVERIFY_RUN(RunCli({"devices", "--json=1"}), 2); // a flag takes no value
    }

    // With --json the standard output is one document: the whole recording's statistics, every
    // figure a number, and its interval log.
    void statisticsAndIntervalsAsOneDocument()
    {
        const QDateTime started = QDateTime::currentDateTimeUtc();
        const TCliRun run =
            RunCli({"record", "--seconds", "2", "--weighting", "A", "--average", "F", "--channels", "LR",
                    "--log-interval", "0.5", "--json", "--out", Path("a.lev")});
        QVERIFY_RUN(run, 0);
        const QJsonObject document = Parsed(run.Out);
        const QJsonObject statistics = document["statistics"].toObject();
        QCOMPARE(statistics["weighting"].toString(), QString("A"));
        QVERIFY(QDateTime::fromString(statistics["start"].toString(), Qt::ISODateWithMs) >=
                started.addSecs(-1));
        QVERIFY(std::abs(statistics["duration"].toDouble() - 2) < 0.3);
        for (const char* channel : {"left", "right"}) {
            const QJsonObject figures = statistics[channel].toObject();
            QCOMPARE(figures.size(), 13); // Leq, Lmax, Lmin, LCpeak, LE, L1 ... L99, overload
            for (const char* name : {"Leq", "Lmax", "Lmin", "LCpeak", "LE", "L1", "L50", "L99"})
                QVERIFY2(figures[name].isDouble(), name);
            QVERIFY(figures["Lmax"].toDouble() >= figures["Leq"].toDouble());
            QVERIFY(figures["Leq"].toDouble() >= figures["Lmin"].toDouble());
        }
        const QJsonArray intervals = document["intervals"].toArray();
        QVERIFY2(intervals.size() == 4 || intervals.size() == 5, qPrintable(run.Out));
        for (const QJsonValue& interval : intervals) {
            VerifyRecordingObject(interval.toObject(), started);
            QVERIFY(interval["right"]["Leq"].isDouble() && !interval["right"].toObject().contains("L50"));
        }
        QVERIFY(std::abs(intervals[1]["seconds"].toDouble() - 0.5) < 0.01);
        QVERIFY(!run.Out.contains("LAeq")); // no text beside the document
    }

    // A 3 s recording read every 250 ms streams 12 readings to the standard output, without a result
    // file; --json and --jsonl - together would mix two outputs and are refused.
    void readingsAsJsonLines()
    {
        const QDateTime started = QDateTime::currentDateTimeUtc();
        const TCliRun run = RunCli({"record", "--seconds", "3", "--interval", "250", "--weighting", "A",
                                    "--average", "F", "--jsonl", "-"});
        QVERIFY_RUN(run, 0);
        const QList<QJsonObject> readings = ParsedLines(run.Out);
        QCOMPARE(readings.size(), 12);
        double previous = -1;
        for (const QJsonObject& reading : readings) {
            VerifyRecordingObject(reading, started);
            QVERIFY(reading["left"].isDouble() && reading["right"].isDouble());
            QVERIFY(reading["seconds"].toDouble() > previous);
            previous = reading["seconds"].toDouble();
        }
        QVERIFY(!run.Err.contains("Zapisano"));
        const TCliRun both = RunCli({"record", "--seconds", "1", "--json", "--jsonl", "-"});
        QVERIFY_RUN(both, 2);
        QVERIFY(both.Err.contains("--json i --jsonl -"));
    }

    // The manual's pipe into an MQTT broker, end to end: a private broker on the loopback, a subscriber,
    // and one message per interval, each the interval's JSON object.
    void intervalsThroughAnMqttBroker()
    {
        const QString broker = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/bin"});
        if (broker.isEmpty() || QStandardPaths::findExecutable("mosquitto_pub").isEmpty()) {
            if (qgetenv("CI") == "true")
                QFAIL("mosquitto and mosquitto-clients are not installed");
            QSKIP("mosquitto and mosquitto-clients are not installed");
        }
        const QString port = QString::number(FreePort());
        QFile configuration(Path("mosquitto.conf"));
        QVERIFY(configuration.open(QIODevice::WriteOnly));
        configuration.write("listener " + port.toUtf8() +
                            " 127.0.0.1\nallow_anonymous true\npersistence false\n");
        configuration.close();
        QProcess server;
        server.start(broker, {"-c", configuration.fileName()});
        QVERIFY(server.waitForStarted());
        auto stopServer = qScopeGuard([&] {
            server.terminate();
            server.waitForFinished();
        });
        const QStringList at{"-h", "127.0.0.1", "-p", port, "-t", "tonvix/poziomy"};
        QProcess subscriber;
        auto stopSubscriber = qScopeGuard([&] {
            subscriber.terminate();
            subscriber.waitForFinished();
        });
        // Probes until the subscriber hears one: then the broker listens and the subscription stands. A
        // subscriber that came before the broker listened was refused and has ended: it starts again.
        QString heard;
        for (int attempt = 0; attempt < 100 && !heard.contains("próba"); ++attempt) {
            if (subscriber.state() == QProcess::NotRunning) {
                subscriber.start("mosquitto_sub", at);
                QVERIFY(subscriber.waitForStarted());
            }
            QProcess::execute("mosquitto_pub", at + QStringList{"-m", "próba"});
            subscriber.waitForReadyRead(100);
            heard += QString::fromUtf8(subscriber.readAllStandardOutput());
        }
        QVERIFY2(heard.contains("próba"), qPrintable(QString::fromUtf8(server.readAllStandardError())));

        const QDateTime started = QDateTime::currentDateTimeUtc();
        const TCliRun run =
            RunPipe("tonvix-cli record --seconds 3 --weighting A --average F --log-interval 1 "
                    "--jsonl - | mosquitto_pub -h 127.0.0.1 -p " +
                    port + " -t tonvix/poziomy -l");
        QVERIFY_RUN(run, 0);
        const auto received = [&] {
            heard += QString::fromUtf8(subscriber.readAllStandardOutput());
            return ParsedLines(heard.section("próba\n", -1));
        };
        QTRY_VERIFY_WITH_TIMEOUT(received().size() >= 3, 5000);
        const QList<QJsonObject> messages = received();
        QCOMPARE(messages.size(), 3);
        double total = 0;
        for (const QJsonObject& interval : messages) {
            VerifyRecordingObject(interval, started);
            QVERIFY(interval["left"]["Leq"].isDouble() && interval["left"]["Lmax"].isDouble());
            total += interval["duration"].toDouble();
        }
        QVERIFY2(std::abs(total - 3) < 0.3, qPrintable(QString::number(total)));
    }

    // Levels rounded to 0.01 dB and times to 1 ms print as the shortest text that reads back as that
    // decimal, never as -199.98000000000002.
    void numbersPrintAsTheirRoundedDecimals()
    {
        TMeasurementState state;
        std::mt19937_64 random(28);
        std::uniform_real_distribution<double> level(-200, 200), seconds(0, 100000);
        const QRegularExpression number("\"(left|seconds)\":(-?[0-9][^,}]*)"); // numbers, not the flags
        for (int i = 0; i < 10000; ++i) {
            state.LevelL = i == 0 ? -199.98 : level(random);
            state.ElapsedTime = seconds(random);
            const QString json =
                QString::fromUtf8(QJsonDocument(JsonOutput::Reading(state, QDateTime::currentDateTimeUtc()))
                                      .toJson(QJsonDocument::Compact));
            int numbers = 0;
            for (QRegularExpressionMatchIterator it = number.globalMatch(json); it.hasNext(); ++numbers) {
                const QRegularExpressionMatch match = it.next();
                const bool isLevel = match.captured(1) == "left";
                const double perUnit = isLevel ? 100 : 1000;
                const double exact =
                    std::round((isLevel ? state.LevelL : state.ElapsedTime) * perUnit) / perUnit;
                const QString text = match.captured(2);
                QVERIFY2(text.toDouble() == exact && !text.contains('e') &&
                             text.section('.', 1).size() <= (isLevel ? 2 : 3),
                         qPrintable(json));
            }
            QVERIFY2(numbers == 2, qPrintable(json));
        }
    }

    // A reader that goes away ends the recording as failed, with the reason, and the values measured
    // are still written to the result file.
    void aReaderThatGoesAwayEndsTheRecordingKeepingTheValues()
    {
        const QString file = Path("przerwane.lev");
        const TCliRun run = RunPipe("tonvix-cli record --seconds 600 --interval 100 --jsonl - --out " +
                                    Quoted(file) + " | head -n 3 >/dev/null; exit ${PIPESTATUS[0]}");
        QCOMPARE(run.Exit, 1);
        QVERIFY2(run.Err.contains("program odbierający dane zakończył pracę"), qPrintable(run.Err));
        QVERIFY2(run.Err.contains("Zapisano"), qPrintable(run.Err));
        QVERIFY(ReadResults(file)->Ticks().Count() >= 9); // 3 readings at least, 3 values each
    }
};

QTEST_GUILESS_MAIN(TestCliJson)
#include "test_cli_json.moc"
