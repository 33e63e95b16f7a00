// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli when what it writes to fails: a full disk under the result file, under the journal as
// well, and under the temporary folder too; a standard output that takes nothing; a reader of the JSON
// lines that Ctrl+C ends with the program. No value is lost without saying so, and no failure ends as
// a success.

#include "CliTestSupport.h"
#include "FullDiskSupport.h"

#include "results/RecordingJournal.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class TestCliFailures : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    QString Path(const QString& name) const { return QFileInfo(Folder.filePath(name)).absoluteFilePath(); }
    static QByteArray Contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static std::size_t Ticks(const QString& path) { return ReadResults(path)->Ticks().Count() / 3; }
    // The file a message names after `text`, up to the first blank or the sentence's end.
    static QString NamedAfter(const QString& message, const QString& text)
    {
        const qsizetype at = message.indexOf(text);
        if (at < 0)
            return QString();
        return message.mid(at + text.size())
            .section(QRegularExpression("[; \n]"), 0, 0)
            .remove(QRegularExpression("\\.$"));
    }
    // A short recording onto the result file, with the environment given.
    TCliRun Record(const QString& file, const QProcessEnvironment& environment)
    {
        return RunCli({"record", "--seconds", "1", "--interval", "100", "--out", file}, environment);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Folder.isValid());
        StoreSettings({{TKey::MeasurmentDelay, "100"}});
        QVERIFY(QDir().mkpath(Path("pelny")));
        QVERIFY(QDir().mkpath(Path("tmp")));
    }
    void cleanup()
    {
        QDir journals(TRecordingJournal::DefaultFolder());
        for (const QString& journal : journals.entryList({"nagranie-*"}, QDir::Files))
            journals.remove(journal);
    }

    // Over an existing file and to a new one: a failure, with the reason, and the old file as it was.
    void convertOntoAFullDisk()
    {
        const QString source = Path("zrodlo.lev");
        QVERIFY(QFile::copy(TONVIX_FIXTURES "/legacy-1250-frequency.lev", source));
        const QString old = Path("pelny/stary.csv");
        QVERIFY_RUN(RunCli({"convert", source, old}), 0);
        const QByteArray before = Contents(old);
        const QProcessEnvironment full = FullDisk::Environment(CliEnvironment(), Path("pelny"), 0);
        for (const QString& target : {old, Path("pelny/nowy.csv")}) {
            const TCliRun run = RunCli({"convert", source, target}, full);
            QVERIFY_RUN(run, 1);
            QCOMPARE(run.Err, "tonvix-cli: Nie można zapisać pliku " + target + ": brak miejsca na dysku.\n");
        }
        QCOMPARE(Contents(old), before);
        QVERIFY(!QFile::exists(Path("pelny/nowy.csv")));
    }

    // The result file's disk is full: the journal, on another disk, holds every value, and is left for
    // the window's offer; the statistics still come.
    void recordOntoAFullDiskLeavesTheJournal()
    {
        const TCliRun run =
            Record(Path("pelny/nagranie.lev"), FullDisk::Environment(CliEnvironment(), Path("pelny"), 0));
        QVERIFY_RUN(run, 1);
        QVERIFY2(run.Err.contains("Nie można zapisać pliku " + Path("pelny/nagranie.lev") +
                                  ": brak miejsca na dysku."),
                 qPrintable(run.Err));
        const QString journal = NamedAfter(run.Err, "Wszystkie zmierzone wartości są w pliku ");
        QVERIFY2(journal.startsWith(TRecordingJournal::DefaultFolder()), qPrintable(run.Err));
        QVERIFY(Ticks(journal) >= 8);
        QCOMPARE(TRecordingJournal::FindLeft(TRecordingJournal::DefaultFolder()).size(), std::size_t(1));
        QVERIFY2(run.Out.startsWith("Statystyki pomiaru:"), qPrintable(run.Out));
    }

    // The journal's disk is full too (said before the recording starts): every value goes to the
    // temporary folder; with that full as well, the values are said to be nowhere, and only the
    // statistics remain.
    void recordWithEveryDiskFullSaysWhereTheValuesAre()
    {
        QProcessEnvironment environment = CliEnvironment();
        environment.insert("XDG_DATA_HOME", Path("pelny/dane"));
        environment.insert("TMPDIR", Path("tmp"));
        const TCliRun rescued =
            Record(Path("pelny/nagranie.lev"), FullDisk::Environment(environment, Path("pelny"), 0));
        QVERIFY_RUN(rescued, 1);
        QVERIFY2(rescued.Err.startsWith("tonvix-cli: Uwaga: Nie można założyć kopii nagrania w folderze " +
                                        Path("pelny/dane") + "/Marvelle/Tonvix: brak miejsca na dysku."),
                 qPrintable(rescued.Err));
        const QString copy = NamedAfter(rescued.Err, "Wszystkie zmierzone wartości zapisano w pliku ");
        QVERIFY2(copy.startsWith(Path("tmp/tonvix-nagranie-")), qPrintable(rescued.Err));
        QVERIFY(Ticks(copy) >= 8);

        environment.insert("TMPDIR", Path("pelny"));
        const TCliRun lost =
            Record(Path("pelny/nagranie.lev"), FullDisk::Environment(environment, Path("pelny"), 0));
        QVERIFY_RUN(lost, 1);
        QVERIFY2(lost.Err.contains("Zmierzonych wartości nie udało się zapisać w żadnym pliku; zostają tylko "
                                   "statystyki pomiaru."),
                 qPrintable(lost.Err));
        QVERIFY2(lost.Out.startsWith("Statystyki pomiaru:"), qPrintable(lost.Out));
    }

    // Results that do not reach the standard output (a full device) are a failure, as a file's are.
    void resultsThatDoNotReachTheStandardOutputFail()
    {
        QProcess process;
        process.setStandardOutputFile("/dev/full");
        StartCli(process, {"record", "--seconds", "0.5", "--jsonl", Path("odczyty.jsonl"), "--json"});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()).section('\n', -2, -2),
                 "tonvix-cli: Nie można zapisać wyników na standardowe wyjście: brak miejsca na dysku.");
    }

    // Ctrl+C reaches every program of a pipe: the recording ends as the signal ends it, with its values
    // written, whichever of the two programs the signal reached first.
    void ctrlCWithTheReaderOfTheJsonLinesEndsCleanly()
    {
        const QString file = Path("potok.lev");
        QProcess recorder, reader;
        recorder.setStandardOutputProcess(&reader);
        reader.setStandardOutputFile("/dev/null");
        reader.start("cat", {});
        StartCli(recorder, {"record", "--seconds", "600", "--interval", "50", "--jsonl", "-", "--out", file});
        QVERIFY(reader.waitForStarted());
        QTest::qWait(1500);
        ::kill(static_cast<pid_t>(recorder.processId()), SIGINT);
        ::kill(static_cast<pid_t>(reader.processId()), SIGINT);
        QVERIFY(recorder.waitForFinished(20000));
        const QString errors = QString::fromUtf8(recorder.readAllStandardError());
        QVERIFY2(recorder.exitCode() == 128 + SIGINT, qPrintable(errors));
        QVERIFY2(errors.contains("Pomiar zakończony sygnałem SIGINT") && errors.contains("Zapisano"),
                 qPrintable(errors));
        QVERIFY2(!errors.contains("program odbierający dane"), qPrintable(errors));
        QVERIFY(Ticks(file) >= 10);
    }

    // A recording whose journal has no place (the state folder is a file) is said to be unprotected
    // before it starts; the analyser keeps no journal at all.
    void aRecordingWithoutAJournalIsSaidToBeSo()
    {
        QProcessEnvironment environment = CliEnvironment();
        QFile blocker(Path("dane-plik"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        environment.insert("XDG_DATA_HOME", Path("dane-plik"));
        const TCliRun run =
            RunCli({"record", "--seconds", "0.3", "--out", Path("bez-kopii.lev")}, environment);
        QVERIFY_RUN(run, 0);
        QVERIFY2(run.Err.startsWith("tonvix-cli: Uwaga: Nie można założyć kopii nagrania w folderze " +
                                    Path("dane-plik") + "/Marvelle/Tonvix: ścieżka nie prowadzi do folderu."),
                 qPrintable(run.Err));
        QVERIFY(Ticks(Path("bez-kopii.lev")) >= 1);

        QProcess rta;
        StartCli(rta, {"rta", "--fft", "1024", "--seconds", "600", "--out", Path("widmo.csv")});
        QTest::qWait(1500);
        QVERIFY(
            QDir(TRecordingJournal::DefaultFolder()).entryList({"nagranie-*.lev"}, QDir::Files).isEmpty());
        ::kill(static_cast<pid_t>(rta.processId()), SIGTERM);
        QVERIFY(rta.waitForFinished(20000));
        QCOMPARE(rta.exitCode(), 128 + SIGTERM);
        QVERIFY(QFileInfo(Path("widmo.csv")).size() > 0);
    }
};

QTEST_GUILESS_MAIN(TestCliFailures)
#include "test_cli_failures.moc"
