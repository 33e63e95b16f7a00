// SPDX-License-Identifier: GPL-3.0-or-later
// The recording journal and the recent-files list.

#include "ResultFileSupport.h"

#include "results/AcquisitionQueue.h"
#include "results/RecentFiles.h"
#include "results/RecordingJournal.h"
#include "results/SafeFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TInput final : public IStreamInfo
{
public:
    bool Running() const override { return true; }
    int FrameRate() const override { return 44100; }
};

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRecordingJournal : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    TMeasurementState State;
    TInput Input;

private slots:
    // Each completed tick is on disk at once, readable as a sound-pressure file; saving or releasing
    // the queue removes the journal.
    void everyTickReachesTheJournal()
    {
        TAcquisitionQueue queue;
        TRecordingJournal journal(queue, State, Input);
        QVERIFY(journal.ClaimFreePlace(Folder.path()));
        QVERIFY(TRecordingJournal::FindLeft(Folder.path()).empty()); // nothing left behind
        for (double value : {0.25, -40.5, -41.0, 0.5, -39.0})
            journal.Enqueue(value);
        QCOMPARE(queue.Count(), std::size_t(5));
        TRecordingSink sink;
        QCOMPARE(ReadBytes(Contents(journal.FileName()), sink), ResultFile::TReadOutcome::Read);
        QCOMPARE(sink.Ticks, (std::vector<std::array<double, 3>>{{0.25, -40.5, -41.0}}));
        journal.Enqueue(-38.0);
        QVERIFY(Contents(journal.FileName()).endsWith(ResultFile::SoundPressureLine(0.5, -39, -38).toUtf8()));
        journal.Discard();
        QVERIFY(!QFile::exists(journal.FileName()));
    }

    // The journal is put on the disk (fdatasync) within a second of every tick, on a thread of its own.
    // On a named pipe, which cannot be synced, the sync fails: reported once, at the next tick, while
    // the recording goes on in memory.
    void theJournalIsSyncedAndAFailedSyncIsReportedOnce()
    {
        QTemporaryDir folder;
        const QByteArray pipe = QFile::encodeName(folder.filePath("nagranie-1.lev"));
        QCOMPARE(mkfifo(pipe.constData(), 0600), 0);
        const int reader = open(pipe.constData(), O_RDONLY | O_NONBLOCK); // the writer must not wait
        QVERIFY(reader >= 0);
        TAcquisitionQueue queue;
        TRecordingJournal journal(queue, State, Input);
        QStringList failures;
        journal.OnFailure = [&](const QString& message) { failures << message; };
        QVERIFY(journal.ClaimFreePlace(folder.path()));
        int ticks = 0;
        const auto tick = [&] {
            for (double value : {0.25 * ++ticks, -40.0, -41.0})
                journal.Enqueue(value);
            return !failures.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(tick(), 2 * TRecordingJournal::SyncIntervalMs + 500);
        for (int i = 0; i < 10; ++i)
            tick();
        QCOMPARE(failures, QStringList("Nie można zapisać kopii nagrania w pliku " + QFile::decodeName(pipe) +
                                       ": " + FileErrorReason(EINVAL) + ". Nagranie trwa dalej w pamięci."));
        QCOMPARE(queue.Count(), std::size_t(3 * ticks));
        close(reader);
    }

    // Every journal left by an ended program is found, at any place; a running program's never is. One
    // taken over loses its tick cut short, and the next ticks follow its complete ones; the place taken
    // at the start is given up.
    void everyLeftJournalIsFoundAndOneContinued()
    {
        QTemporaryDir folder;
        const auto leave = [&](int place) {
            QFile file(folder.filePath(QString("nagranie-%1.lev").arg(place)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ResultFile::SoundPressureHeader(QDateTime::currentDateTime(), {1, 44100}).toUtf8() +
                       ResultFile::SoundPressureLine(place, -2, -3).toUtf8() + "   1.250 -2.0000");
        };
        leave(1);
        TAcquisitionQueue otherQueue;
        TRecordingJournal running(otherQueue, State, Input); // a second program recording beside it
        QVERIFY(running.ClaimFreePlace(folder.path()));
        QCOMPARE(running.FileName(), folder.filePath("nagranie-2.lev"));
        for (double value : {0.5, -1.0, -1.0})
            running.Enqueue(value);
        leave(3);

        TAcquisitionQueue queue;
        TRecordingJournal journal(queue, State, Input);
        QVERIFY(journal.ClaimFreePlace(folder.path()));
        QCOMPARE(journal.FileName(), folder.filePath("nagranie-4.lev"));
        std::vector<TRecordingJournal::TLeftJournal> left = TRecordingJournal::FindLeft(folder.path());
        QCOMPARE(left.size(), std::size_t(2));
        QCOMPARE(left[0].Path, folder.filePath("nagranie-1.lev"));
        QCOMPARE(left[1].Path, folder.filePath("nagranie-3.lev"));
        QVERIFY(TRecordingJournal::FindLeft(folder.path()).empty()); // locked while they are offered

        QString failure;
        QVERIFY2(journal.Adopt(left[1], failure), qPrintable(failure));
        QCOMPARE(journal.FileName(), folder.filePath("nagranie-3.lev"));
        for (double value : {3.5, -4.0, -5.0})
            journal.Enqueue(value);
        TRecordingSink sink;
        QCOMPARE(ReadBytes(Contents(journal.FileName()), sink), ResultFile::TReadOutcome::Read);
        QCOMPARE(sink.Ticks, (std::vector<std::array<double, 3>>{{3, -2, -3}, {3.5, -4, -5}}));
        left.clear();
        QCOMPARE(TRecordingJournal::FindLeft(folder.path()).size(), std::size_t(1)); // the first, still left
        QVERIFY(!QFile::exists(folder.filePath("nagranie-4.lev")));
    }

    void recentFiles()
    {
        RecentFiles::TList list;
        for (const char* name : {"/a/1.lev", "/a/2.lev", "/a/3.lev", "/a/2.lev", "/a/2.lev"})
            RecentFiles::Update(list, name);
        QCOMPARE(list[0], QString("/a/2.lev")); // opened twice: once, first
        QCOMPARE(list[1], QString("/a/3.lev"));
        QCOMPARE(list[2], QString("/a/1.lev"));
        QVERIFY(list[3].isEmpty());
        for (int i = 4; i < 14; ++i)
            RecentFiles::Update(list, QString("/b/%1.lev").arg(i));
        QCOMPARE(list[0], QString("/b/13.lev"));
        QCOMPARE(list[7], QString("/b/6.lev")); // eight entries, the oldest dropped

        QCOMPARE(RecentFiles::Caption(0, "/a/wyniki.lev", "/a"), QString("1 wyniki.lev"));
        QCOMPARE(RecentFiles::Caption(7, "/a/R&D.lev", "/b"), QString("8 /a/R&&D.lev"));
    }
};

QTEST_GUILESS_MAIN(TestRecordingJournal)
#include "test_recording_journal.moc"
