// The recording journal and the recent-files list.

#include "ResultFileSupport.h"

#include "results/AcquisitionQueue.h"
#include "results/RecentFiles.h"
#include "results/RecordingJournal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
        QVERIFY(!journal.Claim(Folder.path())); // nothing left behind
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

    // A journal whose program is gone is found by the next one, which takes it over: a tick cut short
    // goes, the next ticks follow the complete ones. A running program's journal is never taken.
    void aLeftJournalIsFoundAndContinued()
    {
        QTemporaryDir folder;
        const QString left = folder.filePath("nagranie-1.lev");
        QFile file(left);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ResultFile::SoundPressureHeader(QDateTime::currentDateTime(), {1, 44100}).toUtf8() +
                   ResultFile::SoundPressureLine(1, -2, -3).toUtf8() + "   1.250 -2.0000");
        file.close();

        TAcquisitionQueue queue;
        TRecordingJournal journal(queue, State, Input);
        QVERIFY(journal.Claim(folder.path()));
        QCOMPARE(journal.FileName(), left);
        TAcquisitionQueue otherQueue;
        TRecordingJournal other(otherQueue, State, Input); // a second program running beside it
        QVERIFY(!other.Claim(folder.path()));
        QCOMPARE(other.FileName(), folder.filePath("nagranie-2.lev"));

        QVERIFY(journal.Adopt());
        for (double value : {1.5, -4.0, -5.0})
            journal.Enqueue(value);
        TRecordingSink sink;
        QCOMPARE(ReadBytes(Contents(left), sink), ResultFile::TReadOutcome::Read);
        QCOMPARE(sink.Ticks, (std::vector<std::array<double, 3>>{{1, -2, -3}, {1.5, -4, -5}}));
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
