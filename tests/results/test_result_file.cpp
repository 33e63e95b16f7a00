// SPDX-License-Identifier: GPL-3.0-or-later
// Result files: both layouts byte for byte, reading back under either separator and in either
// encoding, the long recording, the two messages, and writes that fail without losing anything.

#include "ResultFileSupport.h"

#include "common/NumberFormat.h"
#include "results/AcquisitionQueue.h"
#include "results/ResultLoader.h"
#include "results/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime Written(QDate(2026, 12, 8), QTime(14, 3, 5));

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Fixture(const char* name)
{
    return QStringLiteral(TONVIX_FIXTURES "/") + QLatin1String(name);
}

TRecordingSink ReadFile(const QString& path,
                        ResultFile::TReadOutcome expected = ResultFile::TReadOutcome::Read)
{
    TRecordingSink sink;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot open %s", qPrintable(path));
    const auto outcome = ResultFile::Read(file, sink);
    if (outcome != expected)
        qFatal("%s: outcome %d", qPrintable(path), int(outcome));
    return sink;
}

void Fill(TAcquisitionQueue& queue, const std::vector<std::array<double, 3>>& ticks)
{
    for (const auto& tick : ticks)
        for (double value : tick)
            queue.Enqueue(value);
}

} // namespace

class TestResultFile : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    QString Path(const char* name) const { return Folder.filePath(QString::fromLatin1(name)); }

private slots:
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    void soundPressureLayoutByteForByte()
    {
        NumberFormat::SetDecimalSeparator(',');
        TAcquisitionQueue queue;
        Fill(queue, {{1.25, -12.5, 0.001}, {9999.75, -200, -0.0}});
        QString failure;
        QVERIFY(ResultFile::WriteSoundPressure(Path("p.lev"), queue, {0.125, 44100}, Written, failure));
        const QString expected = "Pomiar ciśnienia akustycznego.     Data i czas zapisu do pliku: " +
                                 NumberFormat::ShortDateLongTime(Written) +
                                 "\r\n\r\n\r\nCzas uśr.: 0,125s, Fp:44100Hz \r\n\r\n"
                                 " Czas[s]  KanałLewy, Poziom[dB]  KanałPrawy,Poziom[dB]\r\n"
                                 "   1,250 -1,25000000000000E+001  1,00000000000000E-003 \r\n"
                                 "9999,750 -2,00000000000000E+002  0,00000000000000E+000 \r\n";
        QCOMPARE(QString::fromUtf8(Contents(Path("p.lev"))), expected);
        QCOMPARE(queue.Count(), std::size_t(6)); // the caller releases it once the file is in place

        // Acquisition off: the six header lines and nothing else, and reading adds no points.
        TAcquisitionQueue empty;
        QVERIFY(ResultFile::WriteSoundPressure(Path("empty.lev"), empty, {1, 48000}, Written, failure));
        QCOMPARE(Contents(Path("empty.lev")).count("\r\n"), 6);
        QVERIFY(ReadFile(Path("empty.lev")).Ticks.empty());
    }

    void frequencyLayoutByteForByte()
    {
        NumberFormat::SetDecimalSeparator('.');
        TChartSeriesData first, second;
        first.Append(100, -12.5);
        first.Append(1000, -3);
        second.Append(20, -40.25);
        SeriesSlot both;
        both.SlotMeasured = true;
        both.SlotChannel = 2;
        both.SlotAveragingTime = 1;
        both.SlotFrameRate = 48000;
        const std::vector<ResultFile::TSeriesColumn> columns = {
            {0, "Głośnik", both, &first}, {5, "Seria 5", both, &second}, {6, "x", SeriesSlot{}, nullptr}};
        QString failure;
        QVERIFY(ResultFile::WriteFrequency(Path("f.lev"), columns, true, Written, failure));
        const QString title = "                 S E R I A  %1                 ";
        const QString header = "   Częstotliwość [Hz]         Poziom [dB]     ";
        const QString expected =
            "Charakterystyki częstotliwościowe. Data i czas zapisu do pliku: " +
            NumberFormat::ShortDateLongTime(Written) + "\r\n\r\n" + title.arg(1) + title.arg(6) +
            title.arg(7) + "\r\n Głośnik" + QString(37, ' ') + "  Seria 5" + QString(37, ' ') + "  x" +
            QString(43, ' ') +
            " \r\n Kan.L (+Ser.5) Czas uśr.: 1.000s, Fp:48000Hz  Kan.P (+Ser.2) Czas uśr.: 1.000s, "
            "Fp:48000Hz "
            "             Nie wykonano pomiaru             \r\n" +
            header + header + header + "\r\n" +
            " 1.00000000000000E+002 -1.25000000000000E+001  2.00000000000000E+001 -4.02500000000000E+001 " +
            QString(46, ' ') + "\r\n" + " 1.00000000000000E+003 -3.00000000000000E+000 " + QString(92, ' ') +
            "\r\n";
        QCOMPARE(QString::fromUtf8(Contents(Path("f.lev"))), expected);

        // The legend hidden at saving: line 4 is empty.
        QVERIFY(ResultFile::WriteFrequency(Path("nolegend.lev"), columns, false, Written, failure));
        QCOMPARE(QString::fromUtf8(Contents(Path("nolegend.lev"))).split("\r\n").at(3), QString());
    }

    // Written under one locale's separator, read under another's: every separator is taken on reading.
    void roundTripUnderEitherSeparator_data()
    {
        QTest::addColumn<QChar>("writing");
        QTest::addColumn<QChar>("reading");
        QTest::newRow(", then .") << QChar(',') << QChar('.');
        QTest::newRow(". then ,") << QChar('.') << QChar(',');
        // The Arabic separator is one character but two bytes: the fixed widths still hold.
        QTest::newRow("U+066B then ,") << QChar(NumberFormat::ArabicDecimalSeparator) << QChar(',');
    }
    void roundTripUnderEitherSeparator()
    {
        QFETCH(QChar, writing);
        QFETCH(QChar, reading);
        const std::vector<std::array<double, 3>> ticks = {
            {0, -90.123456789012, -0.5}, {0.25, -1e-5, -123.456}, {987.5, 3.25, -200}};
        TAcquisitionQueue queue;
        Fill(queue, ticks);
        TChartSeriesData points;
        points.Append(20, -1.23456789012345);
        points.Append(20000, 6.5);
        SeriesSlot right;
        right.SlotMeasured = true;
        right.SlotChannel = 1;
        right.SlotAveragingTime = 0.035;
        right.SlotFrameRate = 96000;
        QString failure;
        NumberFormat::SetDecimalSeparator(writing);
        QVERIFY(ResultFile::WriteSoundPressure(Path("rt-p.lev"), queue, {1, 44100}, Written, failure));
        SeriesSlot fast = right; // a frame rate wider than its five characters
        fast.SlotFrameRate = 192000;
        QVERIFY(ResultFile::WriteFrequency(
            Path("rt-f.lev"), {{3, "Nazwa, z przecinkiem", right, &points}, {4, "", fast, &points}}, true,
            Written, failure));
        NumberFormat::SetDecimalSeparator(reading);
        const TRecordingSink pressure = ReadFile(Path("rt-p.lev"));
        QCOMPARE(pressure.Kind, std::optional(TMeasurementKind::SoundPressure));
        QCOMPARE(pressure.Ticks, ticks);
        const TRecordingSink frequency = ReadFile(Path("rt-f.lev"));
        QCOMPARE(frequency.Listed, (std::vector<int>{3, 4}));
        QCOMPARE(frequency.Series.at(4).FrameRate, 192000);
        const TRecordingSink::TSeries& series = frequency.Series.at(3);
        QCOMPARE(series.Name, QString("Nazwa, z przecinkiem"));
        QCOMPARE(series.Channel, 1);
        QCOMPARE(series.AveragingTime, 0.035);
        QCOMPARE(series.FrameRate, 96000);
        const std::vector<std::pair<double, double>> expected = {{20, -1.23456789012345}, {20000, 6.5}};
        QCOMPARE(series.Points, expected);
    }

    // All eight series, the fourth with conditions wider than its column (an averaging time of 100 s
    // and more, a frame rate above 99999 Hz), which moves the rest of its line: every series after it
    // keeps its own conditions, names and points.
    void eightSeriesWithAWiderMiddleColumn()
    {
        NumberFormat::SetDecimalSeparator(',');
        std::vector<TChartSeriesData> points(ResultSeriesCount);
        std::vector<ResultFile::TSeriesColumn> columns;
        for (int slot = 0; slot < ResultSeriesCount; ++slot) {
            for (int i = 0; i <= slot; ++i)
                points[slot].Append(100.0 * (i + 1), -slot - i / 8.0);
            SeriesSlot record{44100 + slot, static_cast<std::uint8_t>(slot % 3), 0.125 * slot, slot != 6, 0};
            if (slot == 3)
                record = SeriesSlot{192000, 2, 120.5, true, 0};
            columns.push_back({slot, QString("Seria nr %1").arg(slot + 1), record, &points[slot]});
        }
        QString failure;
        QVERIFY(ResultFile::WriteFrequency(Path("osiem.lev"), columns, true, Written, failure));
        const TRecordingSink read = ReadFile(Path("osiem.lev"));
        QCOMPARE(read.Listed, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
        for (const ResultFile::TSeriesColumn& column : columns) {
            const TRecordingSink::TSeries& series = read.Series.at(column.Slot);
            QCOMPARE(series.Name, column.Name);
            QCOMPARE(series.HasConditions, column.Record.SlotMeasured);
            if (series.HasConditions) {
                QCOMPARE(series.Channel, int(column.Record.SlotChannel));
                QCOMPARE(series.AveragingTime, column.Record.SlotAveragingTime);
                QCOMPARE(series.FrameRate, column.Record.SlotFrameRate);
            }
            QCOMPARE(int(series.Points.size()), column.Points->Count());
            QCOMPARE(series.Points.back(), std::make_pair(column.Points->MaxX(), column.Points->MinY()));
        }
    }

    // A sound-pressure file replaces the recording shown from its first tick on: one that fails before
    // any tick, or holds none, leaves the chart as it was.
    void aFileWithoutATickKeepsTheRecordingShown()
    {
        TMeasurementState state;
        TChartModel chart;
        TSeriesStore store(state, chart);
        const auto shown = [&] { return chart.Series(LeftChannelSeries).Count(); };
        TResultLoader loader(
            store, chart, [](TMeasurementKind) { return true; }, [] {});
        chart.Append(LeftChannelSeries, 0.5, -40);
        chart.Append(RightChannelSeries, 0.5, -41);
        const QByteArray header = ResultFile::SoundPressureHeader(Written, {1, 44100}).toUtf8();
        QCOMPARE(ReadBytes(header + "   1,000 -4,0E+001 x\r\n", loader),
                 ResultFile::TReadOutcome::InvalidFormat);
        QCOMPARE(shown(), 1);
        QCOMPARE(ReadBytes(header, loader), ResultFile::TReadOutcome::Read);
        QCOMPARE(shown(), 1);
        QCOMPARE(ReadBytes(header + ResultFile::SoundPressureLine(2, -3, -4).toUtf8() + "x\r\n", loader),
                 ResultFile::TReadOutcome::InvalidFormat);
        QCOMPARE(shown(), 1);
        QCOMPARE(chart.Series(RightChannelSeries).X(0), 2.0); // what was read until the fault
    }

    // Files of older systems: Windows-1250, CR LF, "," and series of different lengths.
    void legacyFilesRead()
    {
        const TRecordingSink legacy = ReadFile(Fixture("legacy-1250-frequency.lev"));
        QCOMPARE(legacy.Listed, (std::vector<int>{0, 2}));
        QCOMPARE(legacy.Series.at(0).Name, QString("Głośnik średniotonowy ąęśćźżółń"));
        QCOMPARE(legacy.Series.at(2).Name, QString("Mikrofon pomiarowy"));
        QCOMPARE(legacy.Series.at(0).Channel, 0);
        QCOMPARE(legacy.Series.at(0).AveragingTime, 0.125);
        QCOMPARE(legacy.Series.at(2).Channel, 2);
        QCOMPARE(legacy.Series.at(2).FrameRate, 48000);
        QCOMPARE(legacy.Series.at(0).Points.size(), std::size_t(4));
        QCOMPARE(legacy.Series.at(0).Points.back(), std::make_pair(800.0, -11.75));
        QCOMPARE(legacy.Series.at(2).Points.size(), std::size_t(2));

        const TRecordingSink hidden = ReadFile(Fixture("legend-hidden-frequency.lev"));
        QCOMPARE(hidden.Listed, (std::vector<int>{1, 4}));
        QCOMPARE(hidden.Series.at(1).Name, QString());
        QCOMPARE(hidden.Series.at(1).Channel, 1);
        QVERIFY(!hidden.Series.at(4).HasConditions); // "Nie wykonano pomiaru"
        QCOMPARE(hidden.Series.at(1).Points.size(), std::size_t(2));
        QVERIFY(hidden.Series.at(4).Points.empty());
    }

    // From 10000 s on the time field is wider than its 9 characters; such lines are taken by their
    // blank-separated fields, with every digit of the levels.
    void aRecordingOfMoreThan10000SecondsReadsBack()
    {
        const std::vector<std::array<double, 3>> fixture = {{9999.5, -40, -41.5},
                                                            {9999.75, -40.125, -41.25},
                                                            {10000, -39.875, -41},
                                                            {10000.25, -0.001, -120.5},
                                                            {123456.5, -60, -61}};
        QCOMPARE(ReadFile(Fixture("long-recording.lev")).Ticks, fixture);

        TAcquisitionQueue queue;
        Fill(queue, fixture);
        QString failure;
        NumberFormat::SetDecimalSeparator(',');
        QVERIFY(ResultFile::WriteSoundPressure(Path("long.lev"), queue, {1, 44100}, Written, failure));
        QVERIFY(Contents(Path("long.lev")).contains("\r\n10000,000 -3,98750000000000E+001")); // as written
        QCOMPARE(ReadFile(Path("long.lev")).Ticks, fixture);
    }

    void unknownAndInvalidFiles()
    {
        // Neither marker: nothing reaches the sink.
        TRecordingSink unknown;
        QCOMPARE(ReadBytes("Jakiś inny plik\r\n1 2 3\r\n", unknown), ResultFile::TReadOutcome::UnknownFormat);
        QVERIFY(!unknown.Kind);
        QCOMPARE(ReadBytes("", unknown), ResultFile::TReadOutcome::UnknownFormat);

        // A field that does not convert stops the reading; what was read stays.
        const QByteArray header = ResultFile::SoundPressureHeader(Written, {1, 44100}).toUtf8();
        TRecordingSink broken;
        QCOMPARE(ReadBytes(header + ResultFile::SoundPressureLine(1, -2, -3).toUtf8() +
                               "   2.000 -2.00000000000000E+00x -3.00000000000000E+000 \r\n" +
                               ResultFile::SoundPressureLine(3, -2, -3).toUtf8(),
                           broken),
                 ResultFile::TReadOutcome::InvalidFormat);
        QCOMPARE(broken.Ticks.size(), std::size_t(1));
        TRecordingSink twoFields;
        QCOMPARE(ReadBytes(header + "1.0 2.0\r\n", twoFields), ResultFile::TReadOutcome::InvalidFormat);

        // A series number out of 1..8 would address no slot.
        TRecordingSink badSlot;
        QCOMPARE(ReadBytes("Charakterystyki częstotliwościowe. \r\n\r\n                 S E R I A  9   \r\n",
                           badSlot),
                 ResultFile::TReadOutcome::InvalidFormat);
        QVERIFY(badSlot.Listed.empty());

        // The kind kept by the user: nothing is read.
        TRecordingSink kept;
        kept.AllowKind = false;
        QCOMPARE(ReadBytes(header + ResultFile::SoundPressureLine(1, -2, -3).toUtf8(), kept),
                 ResultFile::TReadOutcome::KindKept);
        QVERIFY(kept.Ticks.empty());
    }

    // A named pipe or a device as the target is refused at once with the reason, and stays what it was:
    // opening a pipe would wait for a reader (here one is open, so that a program that writes to it
    // fails this test instead of hanging in it).
    void aPipeOrADeviceIsRefused()
    {
        const QString pipe = Path("potok.lev");
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const int reader = open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        TAcquisitionQueue queue;
        Fill(queue, {{1, 2, 3}});
        for (const QString& target : {pipe, QStringLiteral("/dev/full")}) {
            QString failure;
            QVERIFY(!ResultFile::WriteSoundPressure(target, queue, {1, 44100}, Written, failure));
            QCOMPARE(failure, "Nie można zapisać pliku " + target +
                                  ": to nie jest zwykły plik, tylko potok, gniazdo lub urządzenie.");
            QVERIFY(!QFileInfo(target).isFile());
        }
        char byte = 0;
        QCOMPARE(read(reader, &byte, 1), ssize_t(0)); // nothing reached the pipe
        close(reader);
        QCOMPARE(queue.Count(), std::size_t(3));
    }

    // A write that fails half way (here the file size limit, which also holds for root) leaves the
    // earlier file exactly as it was.
    void aFailedWriteLeavesTheEarlierFile()
    {
        const QString path = Path("earlier.lev");
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("poprzednie wyniki\r\n");
        earlier.close();
        TAcquisitionQueue queue;
        for (int i = 0; i < 30000; ++i)
            queue.Enqueue(i);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit original{};
        getrlimit(RLIMIT_FSIZE, &original);
        rlimit small = original;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        QString failure;
        const bool written = ResultFile::WriteSoundPressure(path, queue, {1, 44100}, Written, failure);
        setrlimit(RLIMIT_FSIZE, &original);
        QVERIFY(!written);
        QCOMPARE(failure, "Nie można zapisać pliku " + path + ": plik jest za duży.");
        QCOMPARE(Contents(path), QByteArray("poprzednie wyniki\r\n"));
        QCOMPARE(QDir(Folder.path()).entryList({"earlier*"}, QDir::Files), QStringList{"earlier.lev"});
    }

    void queueDumpOneValueALine()
    {
        NumberFormat::SetDecimalSeparator(',');
        TAcquisitionQueue queue;
        Fill(queue, {{0.25, -12.5, -3}});
        QString failure;
        QVERIFY(ResultFile::WriteQueueDump(Path("kolejka.txt"), queue, {1, 44100}, Written, failure));
        const QString expected = ResultFile::SoundPressureHeader(Written, {1, 44100}) +
                                 " 2,50000000000000E-001 \r\n-1,25000000000000E+001 \r\n"
                                 "-3,00000000000000E+000 \r\n";
        QCOMPARE(QString::fromUtf8(Contents(Path("kolejka.txt"))), expected);
    }
};

QTEST_GUILESS_MAIN(TestResultFile)
#include "test_result_file.moc"
