// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics of a recording on their own: the histogram's levels exceeded and the interval log,
// fed with segments of known figures as the meter passes them.

#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/MeasurementState.h"

#include <QTest>
#include <cmath>

namespace {

// The mean square that reads `level` dB, the meter's 3 dB offset included.
double MeanSquare(double level)
{
    return static_cast<double>(FullScaleSquare) * std::pow(10.0, (level - LevelOffsetDb) / 10);
}

// `frames` frames of a steady mean square in both channels, cut where the statistics ask; `first`
// and `last` are the time-weighted values at the start and the end of the stretch (a straight line
// between), `peak` the squared peak.
void Feed(TMeasurementStatistics& statistics, int frameRate, int frames, double first, double last,
          double peak = 0, bool overloadRight = false)
{
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, statistics.FramesToBoundary(frameRate));
        const double end = first + (last - first) * (done + n) / frames;
        const double start = first + (last - first) * done / frames;
        const double square = (first + last) / 2;
        statistics.Add({n,
                        {square * n, square * n},
                        {peak, peak},
                        {std::max(start, end), std::max(start, end)},
                        {std::min(start, end), std::min(start, end)},
                        {end, end},
                        {false, overloadRight}},
                       frameRate);
        done += n;
    }
}

} // namespace

class TestStatistics : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    // Ten levels held equally long, in any order: L10 is the loudest, L50 the fifth from the top, L90
    // the ninth, L95 and L99 the quietest, to the 0.1 dB of the histogram's classes.
    void LevelsExceededOfAStaircase()
    {
        for (const int frameRate : {48000, 44100, 22050}) {
            TMeasurementStatistics statistics;
            const double levels[] = {-40, -60.3, -45.5, -31.1, -70, -52.2, -35, -48.8, -66.6, -57.7};
            for (const double level : levels)
                Feed(statistics, frameRate, frameRate, MeanSquare(level), MeanSquare(level));
            const TLevelHistogram& histogram = statistics.Histogram(1);
            const std::pair<int, double> expected[] = {{1, -31.1},  {5, -31.1},  {10, -31.1}, {50, -48.8},
                                                       {90, -66.6}, {95, -70.0}, {99, -70.0}};
            for (const auto& [percent, level] : expected)
                QVERIFY2(std::abs(histogram.Exceeded(percent) - level) < 1e-9,
                         qPrintable(QString("L%1 at %2: %3")
                                        .arg(percent)
                                        .arg(frameRate)
                                        .arg(histogram.Exceeded(percent))));
            QCOMPARE(statistics.Duration(), 10.0);
        }
        // Silence and anything below the floor count in the lowest class; nothing at all reads it.
        TLevelHistogram histogram;
        QCOMPARE(histogram.Exceeded(50), TLevelHistogram::Lowest);
        histogram.Add(TLevelMeter::SilenceLevel - 50);
        histogram.Add(1000);
        QCOMPARE(histogram.Exceeded(50), TLevelHistogram::Highest);
        QCOMPARE(histogram.Exceeded(99), TLevelHistogram::Lowest);
    }

    // Intervals of 0.5 s at 44100 frames/s: each has the Leq, the time-weighted extremes, the peak and
    // the overload of its own frames, its start and duration; the one in progress is on offer; the
    // same length chosen again keeps the log, a new one starts it anew from that moment, and a fresh
    // recording keeps the length.
    void IntervalLogFollowsTheFrames()
    {
        NumberFormat::SetDecimalSeparator('.');
        TMeasurementState state;
        state.FrequencyWeighting = TFrequencyWeighting::A;
        state.AveragingTime = 0.125;
        state.TimeCalibrationL = 100;
        TMeasurementStatistics& statistics = state.Statistics;
        statistics.MeasuredWith = {TFrequencyWeighting::A, false, false, 0.125}; // as the meter records it
        statistics.SetLogInterval(0.5);
        constexpr int Rate = 44100;
        Feed(statistics, Rate, Rate / 2, MeanSquare(-20), MeanSquare(-20), MeanSquare(-17));
        Feed(statistics, Rate, Rate / 4, MeanSquare(-20), MeanSquare(-30));
        Feed(statistics, Rate, Rate / 4, MeanSquare(-30), MeanSquare(-30), 0, true);
        Feed(statistics, Rate, Rate / 10, MeanSquare(-10), MeanSquare(-10), MeanSquare(-5));
        statistics.SetLogInterval(0.5);
        QCOMPARE(statistics.Intervals().size(), std::size_t(2));
        QVERIFY(!statistics.Intervals()[0].Channels[1].Overload &&
                statistics.Intervals()[1].Channels[1].Overload);
        QVERIFY(statistics.Channel(1).Overload && !statistics.Channel(0).Overload);

        const TStatisticsFigures first = IntervalFigures(state, statistics.Intervals()[0]);
        QCOMPARE(statistics.Intervals()[0].Start, 0.0);
        QCOMPARE(statistics.Intervals()[0].Duration, 0.5);
        QVERIFY(std::abs(first.Left.Leq - 80) < 1e-9);
        QVERIFY(std::abs(first.Left.Lmax - 80) < 1e-9 && std::abs(first.Left.Lmin - 80) < 1e-9);
        QVERIFY(std::abs(first.Left.Lpeak - 83) < 1e-9);
        const TStatisticsFigures second = IntervalFigures(state, statistics.Intervals()[1]);
        QCOMPARE(statistics.Intervals()[1].Start, 0.5);
        QVERIFY(std::abs(second.Left.Lmax - 80) < 1e-9 && std::abs(second.Left.Lmin - 70) < 1e-9);
        const double mean = (MeanSquare(-20) + MeanSquare(-30)) / 2 / 2 + MeanSquare(-30) / 2;
        QVERIFY(std::abs(second.Left.Leq - (TLevelMeter::Level(mean, LevelOffsetDb) + 100)) < 1e-9);

        const std::optional<TIntervalRecord> open = statistics.OpenInterval();
        QVERIFY(open && open->Start == 1.0 && std::abs(open->Duration - 0.1) < 1e-12);
        const QList<QStringList> table = IntervalTable(state);
        QCOMPARE(table.size(), 4);
        QCOMPARE(table[0], (QStringList{"Początek [s]", "Czas [s]", "LAeq L", "LAFmax L", "LAFmin L",
                                        "LCpeak L", "Przesterowanie L"}));
        QCOMPARE(table[3], (QStringList{"1.0", "0.1", "90.0", "90.0", "90.0", "95.0", "nie"}));
        state.ChannelMode = TChannelMode::Right;
        QCOMPARE(IntervalTable(state)[2].back(), QString("tak"));

        const unsigned starts = statistics.LogStarts();
        statistics.SetLogInterval(0.25);
        QVERIFY(statistics.Intervals().empty() && !statistics.OpenInterval());
        QCOMPARE(statistics.LogStarts(), starts + 1);
        Feed(statistics, Rate, Rate / 4, MeanSquare(-10), MeanSquare(-10));
        QCOMPARE(statistics.Intervals().size(), std::size_t(1));
        QVERIFY(std::abs(statistics.Intervals()[0].Start - 1.1) < 1e-12);

        statistics.Reset();
        QCOMPARE(statistics.LogInterval(), 0.25);
        QVERIFY(statistics.Intervals().empty() && statistics.Duration() == 0);
        statistics.SetLogInterval(0); // no log, no interval in progress
        Feed(statistics, Rate, Rate, MeanSquare(-10), MeanSquare(-10));
        QVERIFY(statistics.Intervals().empty() && !statistics.OpenInterval());
    }

    // A recording shorter than the first sample instant (10 ms) has figures but no levels exceeded:
    // those read "-", not the silence floor.
    void AShortRecordingHasNoLevelsExceeded()
    {
        TMeasurementState state;
        Feed(state.Statistics, 48000, 100, MeanSquare(-10), MeanSquare(-10));
        const QList<QStringList> table = StatisticsTable(state);
        QCOMPARE(table[1][1], QString("-10,0 dB").replace(',', NumberFormat::DecimalSeparator()));
        for (int row = 6; row <= 12; ++row)
            QCOMPARE(table[row], (QStringList{table[row][0], "-", "-"}));
    }

    // The log keeps its newest intervals: past the limit a tenth goes at once; a writer lets go of
    // what it wrote, and the count of those gone goes on.
    void IntervalLogIsBounded()
    {
        TMeasurementStatistics statistics;
        statistics.SetIntervalsKept(20);
        statistics.SetLogInterval(0.1);
        constexpr int Rate = 8000;
        Feed(statistics, Rate, Rate * 3, MeanSquare(-10), MeanSquare(-10)); // 30 intervals
        QCOMPARE(statistics.Intervals().size() + statistics.Forgotten(), std::size_t(30));
        QVERIFY(statistics.Intervals().size() <= 20 && statistics.Intervals().size() > 10);
        QVERIFY(std::abs(statistics.Intervals().back().Start - 2.9) < 1e-9);
        statistics.ForgetIntervals(statistics.Intervals().size());
        QVERIFY(statistics.Intervals().empty());
        QCOMPARE(statistics.Forgotten(), std::size_t(30));
        QCOMPARE(statistics.Duration(), 3.0); // the whole recording's sums stay
    }

    // With compensation the extremes and the levels exceeded are those of the difference the read-out
    // shows, not the difference of each channel's own: left and right rising together differ by 10 dB
    // throughout, while their own extremes are 20 dB apart.
    void CompensationTakesTheDifference()
    {
        TMeasurementState state;
        state.Compensation = true;
        TMeasurementStatistics& statistics = state.Statistics;
        constexpr int Rate = 48000;
        for (const double level : {-50.0, -40.0, -30.0}) {
            const TStatisticsSegment segment{Rate,
                                             {MeanSquare(level) * Rate, MeanSquare(level - 10) * Rate},
                                             {0, 0},
                                             {MeanSquare(level), MeanSquare(level - 10)},
                                             {MeanSquare(level), MeanSquare(level - 10)},
                                             {MeanSquare(level), MeanSquare(level - 10)},
                                             {false, false}};
            for (int done = 0; done < Rate;) {
                TStatisticsSegment part = segment;
                part.Frames = std::min(Rate - done, statistics.FramesToBoundary(Rate));
                for (int c = 0; c < 2; ++c)
                    part.Squares[c] = segment.Squares[c] / Rate * part.Frames;
                statistics.Add(part, Rate);
                done += part.Frames;
            }
        }
        for (const TChannelMode mode : {TChannelMode::Left, TChannelMode::Right}) {
            state.ChannelMode = mode;
            const TStatisticsFigures figures = StatisticsFigures(state);
            const TChannelFigures& shown = mode == TChannelMode::Left ? figures.Left : figures.Right;
            const double sign = mode == TChannelMode::Left ? 1 : -1;
            QVERIFY(std::abs(shown.Lmax - sign * 10) < 1e-9 && std::abs(shown.Lmin - sign * 10) < 1e-9);
            QVERIFY(std::abs(shown.Exceeded[3] - sign * 10) < 0.051);
        }
    }
};

QTEST_GUILESS_MAIN(TestStatistics)
#include "test_statistics.moc"
