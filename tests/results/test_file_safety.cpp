// SPDX-License-Identifier: GPL-3.0-or-later
// Files on a full disk and what is no file. Every writer keeps the old file and says why when the disk
// fills, whether its file is smaller than the 16 KiB a Qt file holds back until it is closed or larger;
// the recording journal keeps whole ticks only. Every reader refuses a device, a pipe and a named pipe
// at once, instead of waiting for a writer or reading for ever, and a sound file's header is not
// believed.

#include "FullDiskSupport.h"
#include "ResultFileSupport.h"

#include "measure/RealTimeAnalyser.h"
#include "results/AcquisitionQueue.h"
#include "results/AnalyserExport.h"
#include "results/ExchangeFile.h"
#include "results/MicrophoneCalibrationFile.h"
#include "results/RecordingJournal.h"
#include "results/ResponseFile.h"
#include "results/ResultSet.h"
#include "results/SafeFile.h"
#include "results/WaveFile.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TInput final : public IStreamInfo
{
public:
    bool Running() const override { return true; }
    int FrameRate() const override { return 48000; }
};

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Fill(TAcquisitionQueue& queue, int ticks)
{
    for (int i = 0; i < ticks; ++i)
        for (double value : {i * 0.125, -40.0 - i % 7, -50.0 + i % 5})
            queue.Enqueue(value);
}

// Writes the file of one writer, of about `bytes` bytes; false with the writer's message.
bool WriteOne(const QString& writer, int bytes, const QString& fileName, QString& failure)
{
    if (writer == "lev-ciśnienie" || writer == "csv") {
        TAcquisitionQueue queue;
        Fill(queue, bytes / 50);
        return ExchangeFile::WriteSoundPressure(fileName, queue, {1, 48000}, failure);
    }
    if (writer == "lev-charakterystyka" || writer == "frd") {
        TChartSeriesData points;
        for (int i = 0; i < bytes / 46; ++i)
            points.Append(20.0 * std::pow(1.01, i), -3.0 - 0.01 * i);
        const std::vector<ResultFile::TSeriesColumn> columns{{0, "Głośnik", SeriesSlot{}, &points}};
        return ExchangeFile::WriteFrequency(fileName, columns, true, failure);
    }
    if (writer == "wav") {
        std::vector<double> samples(static_cast<std::size_t>(bytes / 4));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = std::sin(0.01 * static_cast<double>(i));
        return WaveFile::Write(fileName, samples, 48000, 0, failure);
    }
    if (writer == "analizator") { // the bands make a small file, the largest spectrum a large one
        TSpectrumSettings settings;
        settings.FftSize = 65536;
        TRealTimeAnalyser analyser(48000, settings);
        std::vector<float> noise(2 * settings.FftSize);
        for (std::size_t i = 0; i < noise.size(); ++i)
            noise[i] = static_cast<float>((double((i * 7919) % 2001) - 1000) / 32767);
        analyser.AnalyseBlock(noise.data(), static_cast<int>(settings.FftSize));
        analyser.UpdateSpectrum();
        return bytes < 16384 ? AnalyserExport::WriteBands(fileName, analyser, {0, 0}, failure)
                             : AnalyserExport::WriteSpectrum(fileName, analyser, {0, 0}, false, failure);
    }
    // The settings file, through the store as the window saves it.
    TSettingsStore store(fileName);
    for (int i = 0; i < bytes / 40; ++i)
        store.WriteString("Open", QString("Plik%1").arg(i), QString(24, QChar(u'ą')));
    if (store.Sync())
        return true;
    failure = store.SyncFailure();
    return false;
}

} // namespace

class TestFileSafety : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    QString Path(const QString& name) const { return QFileInfo(Folder.filePath(name)).absoluteFilePath(); }

public:
    static void initMain() { FullDisk::PreloadIntoThisProgram(); }

private slots:
    void initTestCase() { QVERIFY(FullDisk::TFull(Folder.path(), 0).Active()); }

    void everyWriterKeepsTheOldFileOnAFullDisk_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<long long>("room");
        const std::pair<const char*, const char*> writers[] = {
            {"lev-ciśnienie", ".lev"}, {"lev-charakterystyka", ".lev"},
            {"csv", ".csv"},           {"frd", ".frd"},
            {"wav", ".wav"},           {"analizator", ".csv"},
            {"ustawienia", ".ini"}};
        for (const auto& [writer, extension] : writers) {
            // Below 16 KiB nothing reaches the disk before the file is closed; above, a part does.
            QTest::addRow("%s, 2 KiB", writer) << writer << extension << 2000 << 0LL;
            QTest::addRow("%s, 80 KiB", writer) << writer << extension << 80000 << 20000LL;
        }
    }
    void everyWriterKeepsTheOldFileOnAFullDisk()
    {
        QFETCH(QString, writer);
        QFETCH(QString, extension);
        QFETCH(int, bytes);
        QFETCH(long long, room);
        // A file of its own for each row: the settings of a failed sync wait in memory for the next.
        const QString file = Path(QString("wynik-%1%2").arg(bytes).arg(extension));
        const QByteArray old = "[Preferences]\nShowRaport=1\n";
        QFile previous(file);
        QVERIFY(previous.open(QIODevice::WriteOnly) && previous.write(old) == old.size());
        previous.close();
        QString failure;
        {
            FullDisk::TFull full(Folder.path(), room);
            QVERIFY(!WriteOne(writer, bytes, file, failure));
        }
        QCOMPARE(failure, "Nie można zapisać pliku " + file + ": brak miejsca na dysku.");
        QCOMPARE(Contents(file), old);
        QCOMPARE(QDir(Folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList(QFileInfo(file).fileName()));
        QVERIFY(WriteOne(writer, bytes, file, failure)); // with room again
        QVERIFY(QFileInfo(file).size() > (bytes < 16384 ? 100 : 16384));
        QVERIFY(QFile::remove(file));
    }

    // A fresh journal whose header does not fit leaves an empty place, which is no journal; an adopted
    // one keeps its complete ticks and loses no value of the queue. Written anew from the queue it holds
    // them all once there is room.
    void theJournalKeepsWholeTicksOnAFullDisk()
    {
        QTemporaryDir folder;
        TMeasurementState state;
        TInput input;
        QStringList failures;
        {
            TAcquisitionQueue queue;
            TRecordingJournal journal(queue, state, input);
            journal.OnFailure = [&](const QString& message) { failures << message; };
            QVERIFY(journal.ClaimFreePlace(folder.path()));
            FullDisk::TFull full(folder.path(), 100);
            for (double value : {0.25, -40.0, -41.0})
                journal.Enqueue(value);
            QCOMPARE(QFileInfo(journal.FileName()).size(), 0);
            journal.KeepForRecovery();
        }
        QVERIFY(TRecordingJournal::FindLeft(folder.path()).empty());
        QCOMPARE(failures,
                 QStringList("Nie można zapisać kopii nagrania w pliku " + folder.filePath("nagranie-1.lev") +
                             ": brak miejsca na dysku. Nagranie trwa dalej w pamięci."));

        const QString left = folder.filePath("nagranie-1.lev");
        QFile file(left);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray whole =
            ResultFile::SoundPressureHeader(QDateTime::currentDateTime(), {1, 48000}).toUtf8() +
            ResultFile::SoundPressureLine(0.25, -40, -41).toUtf8();
        file.write(whole + "   0,500 -4");
        file.close();
        TAcquisitionQueue queue;
        TRecordingJournal journal(queue, state, input);
        failures.clear();
        journal.OnFailure = [&](const QString& message) { failures << message; };
        std::vector<TRecordingJournal::TLeftJournal> found = TRecordingJournal::FindLeft(folder.path());
        QCOMPARE(found.size(), std::size_t(1));
        QString failure;
        {
            FullDisk::TFull full(folder.path(), 30); // half a line
            QVERIFY2(journal.Adopt(found.front(), failure), qPrintable(failure));
            Fill(queue, 3); // as the window refills it from the journal
            for (double value : {0.5, -42.0, -43.0, 0.75, -44.0, -45.0})
                journal.Enqueue(value);
        }
        QCOMPARE(failures.size(), 1);
        QCOMPARE(Contents(left), whole); // the tick cut short at the start, and the half line, cut off
        QCOMPARE(queue.Count(), std::size_t(15));

        {
            FullDisk::TFull full(folder.path(), 0);
            QVERIFY(!journal.KeepWhole(failure));
            QCOMPARE(failure, "Nie można zapisać pliku " + left + ": brak miejsca na dysku.");
            QCOMPARE(Contents(left), whole);
        }
        TAcquisitionQueue again;
        TRecordingJournal rewritten(again, state, input);
        QVERIFY(rewritten.ClaimFreePlace(folder.path()));
        Fill(again, 4);
        for (double value : {0.5, -42.0, -43.0})
            rewritten.Enqueue(value);
        {
            FullDisk::TFull full(folder.path(), 0);
            for (double value : {0.75, -44.0, -45.0})
                rewritten.Enqueue(value); // fails: the journal now lacks this tick
        }
        const std::optional<QString> kept = rewritten.KeepWhole(failure);
        QVERIFY2(kept, qPrintable(failure));
        TRecordingSink sink;
        QCOMPARE(ReadBytes(Contents(*kept), sink), ResultFile::TReadOutcome::Read);
        QCOMPARE(sink.Ticks.size(), std::size_t(6));
        QCOMPARE(TRecordingJournal::FindLeft(folder.path()).size(),
                 std::size_t(2)); // offered at the next start
    }

    // /dev/zero would be read until memory runs out, a named pipe would keep its reader waiting for a
    // writer, and a pipe is no file to read twice: each reader refuses them at once, by name.
    void readersRefuseWhatIsNoFile_data()
    {
        QTest::addColumn<QString>("reader");
        for (const char* reader : {"wyniki", "kalibracja mikrofonu", "charakterystyka", "dźwięk"})
            QTest::newRow(reader) << reader;
    }
    void readersRefuseWhatIsNoFile()
    {
        QFETCH(QString, reader);
        const QString fifo = Path("potok.lev");
        QFile::remove(fifo);
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        int ends[2];
        QCOMPARE(pipe(ends), 0);
        const QString pipeEnd = QString("/proc/self/fd/%1").arg(ends[0]);
        for (const QString& name : {QString("/dev/zero"), fifo, pipeEnd}) {
            QElapsedTimer clock;
            clock.start();
            QString failure;
            bool read = true;
            if (reader == "wyniki") {
                TResultSet results;
                read = ExchangeFile::Read(name, results, failure);
            } else if (reader == "kalibracja mikrofonu") {
                read = ReadMicrophoneCalibration(name, failure).has_value();
            } else if (reader == "charakterystyka") {
                read = ResponseFile::Read(name, failure).has_value();
            } else {
                read = WaveFile::Read(name, failure).has_value();
            }
            QVERIFY(!read);
            QVERIFY(clock.elapsed() < 2000);
            if (reader != "wyniki" || name.endsWith(".lev")) // the others have no extension of a result file
                QCOMPARE(failure, "Nie można odczytać pliku " + name +
                                      ": to nie jest zwykły plik, tylko potok, gniazdo lub urządzenie.");
        }
        close(ends[0]);
        close(ends[1]);
    }

    // A header asking for 2^31 frames of 1024 channels (16 TiB of doubles) over 44 bytes of samples:
    // what the file holds is read, and no more is asked of memory.
    void aSoundFileHeaderIsNotBelieved()
    {
        const QString file = Path("naglowek.wav");
        QString failure;
        QVERIFY(WaveFile::Write(file, std::vector<double>(11, 0.5), 48000, 0, failure));
        QByteArray bytes = Contents(file);
        const auto put32 = [&](int at, quint32 value) {
            for (int i = 0; i < 4; ++i)
                bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        };
        const int data = static_cast<int>(bytes.indexOf("data"));
        QVERIFY(data > 0);
        put32(data + 4, 0xFFFFFFF0u); // the data chunk's size
        bytes[22] = 0;                // channels: 1024
        bytes[23] = 4;
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        out.close();
        const std::optional<WaveFile::TSound> sound = WaveFile::Read(file, failure);
        QVERIFY2(!sound || sound->Samples.size() <= 11, qPrintable(failure));
        QVERIFY(sound || !failure.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFileSafety)
#include "test_file_safety.moc"
