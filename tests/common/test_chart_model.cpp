// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ChartModel.h"

#include <QSignalSpy>
#include <QTest>

class TestChartModel : public QObject
{
    Q_OBJECT
private slots:
    void KeepsXAscendingWhereverAPointLands()
    {
        TChartSeriesData s;
        s.Append(1, 10);
        s.Append(3, 30);
        QCOMPARE(s.Append(2, 20), 1); // inserted between
        s.DeleteFirst();
        QCOMPARE(s.Append(0.5, 5), 0); // in front, into the deleted slot
        QCOMPARE(s.Count(), 3);
        QCOMPARE(s.X(0), 0.5);
        QCOMPARE(s.X(1), 2.0);
        QCOMPARE(s.X(2), 3.0);
    }

    void ExtremesFollowAppendDeleteAndScaling()
    {
        TChartSeriesData s;
        QCOMPARE(s.MinY(), 0.0);
        s.Append(0, -60);
        s.Append(1, -20);
        s.Append(2, -40);
        QCOMPARE(s.MinY(), -60.0);
        QCOMPARE(s.MaxY(), -20.0);
        s.DeleteFirst(); // the minimum goes
        QCOMPARE(s.MinY(), -40.0);
        s.AddToY(10);
        QCOMPARE(s.MaxY(), -10.0);
        QCOMPARE(s.MinX(), 1.0);
        QCOMPARE(s.MaxX(), 2.0);
    }

    void SlidingWindowKeepsMemoryBounded()
    {
        TChartSeriesData s;
        for (int i = 0; i < 20; ++i)
            s.Append(i, i);
        const auto before = s.CapacityBytes();
        for (int i = 20; i < 1'000'000; ++i) {
            s.Append(i, i);
            s.DeleteFirst();
        }
        QCOMPARE(s.Count(), 20);
        QVERIFY(s.CapacityBytes() <= std::max<std::size_t>(before, 2 * 2048 * sizeof(double)) * 2);
        QCOMPARE(s.MinY(), 999'980.0);
    }

    void ModelSignalsEveryChange()
    {
        TChartModel m;
        QSignalSpy appended(&m, &TChartModel::PointAppended);
        QSignalSpy deleted(&m, &TChartModel::FirstPointDeleted);
        QSignalSpy cleared(&m, &TChartModel::SeriesCleared);
        m.Append(LeftChannelSeries, 1, 2);
        m.DeleteFirst(LeftChannelSeries);
        m.DeleteFirst(LeftChannelSeries); // empty: nothing to say
        m.Clear(RightChannelSeries);
        QCOMPARE(appended.count(), 1);
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(cleared.count(), 1);
    }
};

QTEST_APPLESS_MAIN(TestChartModel)
#include "test_chart_model.moc"
