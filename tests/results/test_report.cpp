// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/NumberFormat.h"
#include "results/AcquisitionQueue.h"
#include "results/Report.h"

#include <QTest>
#include <algorithm>
#include <limits>

class TestReport : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }
    void LeftChannelExampleByteForByte_data();
    void LeftChannelExampleByteForByte();
    void FrequencyKindHasFourLinesWithoutHeader();
    void RightChannelHeader();
    void NonFiniteValuesStillReadAsNumbers();
    void WhichSeriesHaveReports();
    void StatisticsOnlyWithAWeighting();
    void ReleaseEmptiesQueueAndKeepsCommandOnlyWhileCollecting();
};

void TestReport::LeftChannelExampleByteForByte_data()
{
    QTest::addColumn<QChar>("separator");
    QTest::newRow("comma") << QChar(',');
    QTest::newRow("point") << QChar('.');
}

void TestReport::LeftChannelExampleByteForByte()
{
    QFETCH(QChar, separator);
    NumberFormat::SetDecimalSeparator(separator);
    QString expected = QStringLiteral("Kanał lewy:\r"
                                      "Wartość szczytowa:           -12.50dB\r"
                                      "Maksimum charakterystyki: -20.25dB\r"
                                      "Minimum charakterystyki:    -60.00dB\r"
                                      "Różnica poziomów:              39.75dB");
    expected.replace(QChar('.'), separator);
    const QString text = Report::Text(TMeasurementKind::SoundPressure, LeftChannelSeries, -12.5, -20.25, -60);
    QCOMPARE(text.toUtf8(), expected.toUtf8());
    QCOMPARE(text.split(QChar('\r')).size(), 5);
}

void TestReport::FrequencyKindHasFourLinesWithoutHeader()
{
    NumberFormat::SetDecimalSeparator(QChar(','));
    for (int series : {0, 7, LeftChannelSeries}) {
        const QStringList lines =
            Report::Text(TMeasurementKind::FrequencyCharacteristic, series, 0, 3.456, -101.234)
                .split(QChar('\r'));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("Wartość szczytowa:             0,00dB"));
        QCOMPARE(lines[1], QStringLiteral("Maksimum charakterystyki:   3,46dB"));
        QCOMPARE(lines[2], QStringLiteral("Minimum charakterystyki:   -101,23dB"));
        QCOMPARE(lines[3], QStringLiteral("Różnica poziomów:             104,69dB"));
    }
}

void TestReport::RightChannelHeader()
{
    NumberFormat::SetDecimalSeparator(QChar('.'));
    const QString text = Report::Text(TMeasurementKind::SoundPressure, RightChannelSeries, -0.001, 0, 0);
    QVERIFY(text.startsWith(QStringLiteral("Kanał prawy:\rWartość szczytowa:             0.00dB\r")));
}

void TestReport::NonFiniteValuesStillReadAsNumbers()
{
    NumberFormat::SetDecimalSeparator(QChar('.'));
    const double infinity = std::numeric_limits<double>::infinity();
    const QString text = Report::Text(TMeasurementKind::FrequencyCharacteristic, 0, -infinity,
                                      std::numeric_limits<double>::quiet_NaN(), -20);
    QVERIFY2(!text.contains(QStringLiteral("nan"), Qt::CaseInsensitive), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("inf"), Qt::CaseInsensitive), qPrintable(text));
}

void TestReport::WhichSeriesHaveReports()
{
    for (int series = -1; series <= ChartSeriesCount; ++series) {
        const bool channel = series == LeftChannelSeries || series == RightChannelSeries;
        QCOMPARE(Report::HasReport(TMeasurementKind::SoundPressure, series), channel);
        QCOMPARE(Report::HasReport(TMeasurementKind::FrequencyCharacteristic, series),
                 series >= 0 && series < ChartSeriesCount);
    }
}

// With A or C a channel's report adds its statistics; with Z, in the frequency kind or before anything
// was recorded, it adds nothing.
void TestReport::StatisticsOnlyWithAWeighting()
{
    NumberFormat::SetDecimalSeparator(QChar(','));
    TMeasurementState state;
    state.FrequencyWeighting = TFrequencyWeighting::A;
    state.Statistics.MeasuredWith.Weighting = TFrequencyWeighting::A; // as the meter records it
    QCOMPARE(Report::StatisticsText(state, LeftChannelSeries), QString());
    // 2 s at a mean square of 32767^2 / 2: 0 dB less 0.01 on both channels, peak 32767; the levels
    // exceeded are those of their 0.1 dB class.
    const double meanSquare = 1073676289.0 / 2;
    for (int frames = 0; frames < 96000;) {
        const int n = std::min(96000 - frames, state.Statistics.FramesToBoundary(48000));
        state.Statistics.Add({n,
                              {meanSquare * n, meanSquare * n},
                              {1073676289.0, 1073676289.0},
                              {meanSquare, meanSquare},
                              {meanSquare, meanSquare},
                              {meanSquare, meanSquare},
                              {false, frames == 0}},
                             48000);
        frames += n;
    }
    // The labels are as wide as the peak's ahead of them, so the numbers line up with its number.
    const auto line = [](const char* label, const char* value) {
        return "\r" + QString::fromUtf8(label).leftJustified(28) + value;
    };
    QCOMPARE(Report::StatisticsText(state, RightChannelSeries),
             line("LAeq:", "  -0,01dB") + line("LASmax:", "  -0,01dB") + line("LASmin:", "  -0,01dB") +
                 line("LCpeak:", "   3,00dB") + line("LAE:", "   3,00dB") + line("LAS1:", "   0,00dB") +
                 line("LAS5:", "   0,00dB") + line("LAS10:", "   0,00dB") + line("LAS50:", "   0,00dB") +
                 line("LAS90:", "   0,00dB") + line("LAS95:", "   0,00dB") + line("LAS99:", "   0,00dB") +
                 line("Czas pomiaru:", "    2,0s") + line("Przesterowanie:", "tak"));
    for (const TFrequencyWeighting weighting : {TFrequencyWeighting::Z, TFrequencyWeighting::C}) {
        state.Statistics.MeasuredWith.Weighting = weighting;
        QCOMPARE(Report::StatisticsText(state, LeftChannelSeries).isEmpty(),
                 weighting == TFrequencyWeighting::Z);
    }
    QCOMPARE(Report::StatisticsText(state, 0), QString());
    state.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
    QCOMPARE(Report::StatisticsText(state, LeftChannelSeries), QString());
}

void TestReport::ReleaseEmptiesQueueAndKeepsCommandOnlyWhileCollecting()
{
    struct TCase
    {
        bool Running, Acquisition, StaysEnabled;
    };
    for (const TCase c : {TCase{true, true, true}, TCase{true, false, false}, TCase{false, true, false},
                          TCase{false, false, false}}) {
        TAcquisitionQueue queue;
        for (int i = 0; i < 3 * 5000; ++i)
            queue.Enqueue(i);
        QCOMPARE(Report::ReleaseMemory(queue, c.Running, c.Acquisition), c.StaysEnabled);
        QVERIFY(queue.Empty());
        QCOMPARE(queue.AllocatedBytes(), std::size_t(0));
    }
}

QTEST_GUILESS_MAIN(TestReport)
#include "test_report.moc"
