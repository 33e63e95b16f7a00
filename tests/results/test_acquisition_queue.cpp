// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/AcquisitionQueue.h"

#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

class TestAcquisitionQueue : public QObject
{
    Q_OBJECT
private slots:
    // Order across chunk boundaries, with takes interleaved with appends as a save during a pause does.
    void KeepsOrderAcrossChunksAndInterleaving()
    {
        TAcquisitionQueue queue;
        QVERIFY(queue.Empty());
        const std::size_t total = 3 * TAcquisitionQueue::ChunkValues + 17;
        double next = 0, expected = 0;
        while (next < double(total)) {
            for (int i = 0; i < 1000 && next < double(total); ++i)
                queue.Enqueue(next++);
            for (int i = 0; i < 700 && !queue.Empty(); ++i)
                QCOMPARE(queue.Dequeue(), expected++);
            QCOMPARE(queue.Count(), std::size_t(next - expected));
        }
        while (!queue.Empty())
            QCOMPARE(queue.Dequeue(), expected++);
        QCOMPARE(expected, double(total));
        QCOMPARE(queue.Count(), std::size_t(0));
    }

    // Drained chunks are returned at once, so memory follows what is still held at about 8 bytes a value.
    void FreesChunksAsTheyDrain()
    {
        TAcquisitionQueue queue;
        const std::size_t n = 10 * TAcquisitionQueue::ChunkValues;
        for (std::size_t i = 0; i < n; ++i)
            queue.Enqueue(double(i));
        const std::size_t full = queue.AllocatedBytes();
        const double bytesPerValue = double(full) / double(n);
        QVERIFY2(bytesPerValue < 8.01, qPrintable(QString::number(bytesPerValue)));
        for (std::size_t i = 0; i < n / 2; ++i)
            queue.Dequeue();
        QCOMPARE(queue.AllocatedBytes(), full / 2);
        while (!queue.Empty())
            queue.Dequeue();
        QCOMPARE(queue.AllocatedBytes(), std::size_t(0));
    }

    // Drained to empty by takes alone (a single value, then a chunk's worth and one more), it takes
    // values again from a fresh start: the first one in is the next one out.
    void DrainedToEmptyAndRefilled()
    {
        TAcquisitionQueue queue;
        for (const std::size_t count : {std::size_t(1), TAcquisitionQueue::ChunkValues + 1, std::size_t(3)}) {
            for (std::size_t i = 0; i < count; ++i)
                queue.Enqueue(double(count + i));
            for (std::size_t i = 0; i < count; ++i)
                QCOMPARE(queue.Dequeue(), double(count + i));
            QVERIFY(queue.Empty());
            QCOMPARE(queue.AllocatedBytes(), std::size_t(0));
        }
        queue.Enqueue(-1.5);
        QCOMPARE(queue.Count(), std::size_t(1));
        double seen = 0;
        queue.ForEach([&](double value) { seen = value; });
        QCOMPARE(seen, -1.5);
        QCOMPARE(queue.Dequeue(), -1.5);
    }

    // Cleared, it holds nothing and takes values again, copied bit for bit.
    void ClearReleasesEverythingAndTheQueueStaysUsable()
    {
        TAcquisitionQueue queue;
        for (int i = 0; i < 100000; ++i)
            queue.Enqueue(i);
        queue.Clear();
        QVERIFY(queue.Empty());
        QCOMPARE(queue.AllocatedBytes(), std::size_t(0));
        const double values[] = {-0.0, std::numeric_limits<double>::denorm_min(), -12.5, 1e300};
        for (double v : values)
            queue.Enqueue(v);
        QCOMPARE(queue.Count(), std::size_t(4));
        for (double v : values) {
            const double out = queue.Dequeue();
            QVERIFY(std::memcmp(&out, &v, sizeof v) == 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestAcquisitionQueue)
#include "test_acquisition_queue.moc"
