// SPDX-License-Identifier: GPL-3.0-or-later
// The readers against damaged files (result files, CSV and FRD): mutated and truncated valid files,
// random bytes and huge lines end in a read or one of the two messages, never in a crash, a hang or a
// value that is not finite.
// TONVIX_FUZZ_COUNT and TONVIX_FUZZ_SEED (a number, or "random") set the run; the target
// fuzz_result_file_long runs it long with a new seed.

#include "ResultFileSupport.h"

#include "common/NumberFormat.h"
#include "results/AcquisitionQueue.h"
#include "results/ExchangeFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {

QByteArray Load(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using TReader = ResultFile::TReadOutcome (*)(QIODevice&, ResultFile::ISink&);

struct TSeed
{
    QByteArray Bytes;
    TReader Reader;
};

// Valid files of both layouts to start from: written by the program and kept by older systems, and
// the exchange files of both.
QList<TSeed> Seeds()
{
    QTemporaryDir folder;
    TAcquisitionQueue queue;
    for (int i = 0; i < 40; ++i)
        for (double value : {i * 0.25 + 9995, -40.0 - i * 0.1, -1e-3 * i})
            queue.Enqueue(value);
    TChartSeriesData first, second;
    for (int i = 0; i < 30; ++i)
        first.Append(20 * std::pow(1.2, i), -i * 0.7);
    second.Append(100, -3);
    SeriesSlot measured;
    measured.SlotMeasured = true;
    measured.SlotChannel = 2;
    QString failure;
    const QDateTime now = QDateTime::currentDateTime();
    ResultFile::WriteSoundPressure(folder.filePath("p.lev"), queue, {1, 44100}, now, failure);
    ResultFile::WriteFrequency(folder.filePath("f.lev"), {{1, "Ą", measured, &first}, {6, "x", {}, &second}},
                               true, now, failure);
    ExchangeFile::WriteSoundPressureCsv(folder.filePath("p.csv"), queue, {1, 44100}, failure);
    ExchangeFile::WriteFrequencyCsv(folder.filePath("f.csv"),
                                    {{1, "Ą; b", measured, &first}, {6, "x", {}, &second}}, failure);
    ExchangeFile::WriteFrd(folder.filePath("f.frd"), {1, "Ą", measured, &first}, failure);
    const TReader levels = &ResultFile::Read;
    return {{Load(folder.filePath("p.lev")), levels},
            {Load(folder.filePath("f.lev")), levels},
            {Load(TONVIX_FIXTURES "/legacy-1250-frequency.lev"), levels},
            {Load(TONVIX_FIXTURES "/long-recording.lev"), levels},
            {Load(TONVIX_FIXTURES "/legend-hidden-frequency.lev"), levels},
            {Load(folder.filePath("p.csv")), &ExchangeFile::ReadCsv},
            {Load(folder.filePath("f.csv")), &ExchangeFile::ReadCsv},
            {Load(folder.filePath("f.frd")), &ExchangeFile::ReadFrd}};
}

QByteArray Mutated(QByteArray file, QRandomGenerator& random)
{
    const auto at = [&] { return qsizetype(random.bounded(quint32(std::max<qsizetype>(file.size(), 1)))); };
    const char pieces[] = " \r\n,.+-eE0123456789";
    const int changes = 1 + int(random.bounded(4));
    for (int change = 0; change < changes; ++change) {
        switch (random.bounded(8)) {
        case 0: // a random byte
            if (!file.isEmpty())
                file[at()] = char(random.bounded(256));
            break;
        case 1: // a character numbers are made of
            if (!file.isEmpty())
                file[at()] = pieces[random.bounded(quint32(sizeof pieces - 1))];
            break;
        case 2: // cut off
            file.truncate(at());
            break;
        case 3: // a piece taken out
            file.remove(at(), qsizetype(random.bounded(200)));
            break;
        case 4: // a piece repeated
            file.insert(at(), file.mid(at(), qsizetype(random.bounded(300))));
            break;
        case 5: // a huge line
            file.insert(at(),
                        QByteArray(qsizetype(50000 + random.bounded(150000)), pieces[random.bounded(19u)]));
            break;
        case 6: // line ends taken out or doubled
            file.replace("\r\n", random.bounded(2) ? QByteArray("\n") : QByteArray("\r\n\r\n"));
            break;
        default: { // random bytes
            QByteArray noise(qsizetype(random.bounded(400)), '\0');
            for (char& c : noise)
                c = char(random.bounded(256));
            file.insert(at(), noise);
        }
        }
    }
    return file;
}

} // namespace

class TestResultFileFuzz : public QObject
{
    Q_OBJECT
private slots:
    void damagedFilesEndInTheProgramsMessages()
    {
        const int count = qEnvironmentVariableIsSet("TONVIX_FUZZ_COUNT")
                              ? qEnvironmentVariableIntValue("TONVIX_FUZZ_COUNT")
                              : 4000;
        const QString seedText = qEnvironmentVariable("TONVIX_FUZZ_SEED", "20261208");
        const quint32 seed =
            seedText == "random" ? QRandomGenerator::global()->generate() : seedText.toUInt();
        qInfo("seed %u, %d files", seed, count);
        QRandomGenerator random(seed);
        const QList<TSeed> seeds = Seeds();
        QElapsedTimer slowest;
        qint64 longest = 0;
        for (int i = 0; i < count; ++i) {
            NumberFormat::SetDecimalSeparator(i % 2 ? ',' : '.');
            const TSeed& seed = seeds.at(qsizetype(random.bounded(quint32(seeds.size()))));
            QByteArray file;
            if (random.bounded(20) == 0) {
                file.resize(qsizetype(random.bounded(2000)));
                for (char& c : file)
                    c = char(random.bounded(256));
            } else {
                file = Mutated(seed.Bytes, random);
            }
            TRecordingSink sink;
            slowest.start();
            QBuffer buffer(&file);
            buffer.open(QIODevice::ReadOnly);
            const ResultFile::TReadOutcome outcome = seed.Reader(buffer, sink);
            longest = std::max(longest, slowest.elapsed());
            QVERIFY2(outcome == ResultFile::TReadOutcome::Read ||
                         outcome == ResultFile::TReadOutcome::UnknownFormat ||
                         outcome == ResultFile::TReadOutcome::InvalidFormat,
                     qPrintable(QString("file %1: outcome %2").arg(i).arg(int(outcome))));
            for (const auto& tick : sink.Ticks)
                for (double value : tick)
                    QVERIFY(std::isfinite(value));
            for (const auto& [slot, series] : sink.Series) {
                QVERIFY(slot >= 0 && slot < ResultSeriesCount);
                QVERIFY(std::isfinite(series.AveragingTime));
                for (const auto& [x, y] : series.Points)
                    QVERIFY(std::isfinite(x) && std::isfinite(y));
            }
        }
        NumberFormat::SetDecimalSeparator(QChar());
        QVERIFY2(longest < 1000, qPrintable(QString("slowest file %1 ms").arg(longest)));
    }
};

QTEST_GUILESS_MAIN(TestResultFileFuzz)
#include "test_result_file_fuzz.moc"
