// SPDX-License-Identifier: GPL-3.0-or-later
// The weighting filters against their analog definition, and the conformance table: every row passes
// at both usual frame rates and at the smallest, the default and the largest block.

#include "common/NumberFormat.h"
#include "measure/ConformanceTest.h"
#include "measure/FrequencyWeighting.h"

#include <QTest>
#include <algorithm>
#include <cmath>

Q_DECLARE_METATYPE(TFrequencyWeighting)

namespace {

constexpr int OfferedRates[] = {48000, 44100, 32000, 24000, 22050, 16000, 11025, 8000};

QString Failures(const std::vector<TConformanceRow>& rows)
{
    QStringList failed;
    for (const TConformanceRow& row : rows)
        if (!row.Passed)
            failed << row.Test + ": " + MeasuredText(row);
    return failed.join("; ");
}

} // namespace

class TestConformance : public QObject
{
    Q_OBJECT
private slots:
    // Within a tenth of a dB of the analog weightings up to 5 kHz at 44100 and 48000 frames/s, 0 dB at
    // 1 kHz and finite at every rate the program offers.
    void FiltersFollowTheAnalogWeightings()
    {
        for (const int rate : OfferedRates) {
            const TWeightingDesign design = DesignWeighting(rate);
            for (const TFrequencyWeighting weighting : {TFrequencyWeighting::A, TFrequencyWeighting::C}) {
                QVERIFY(std::abs(DesignResponseDb(design, weighting, 1000, rate)) < 1e-9);
                for (int band = 10; band <= 43; ++band) {
                    const double frequency = 1000 * std::pow(10.0, (band - 30) / 10.0);
                    if (frequency >= rate / 2.0)
                        break;
                    const double error = DesignResponseDb(design, weighting, frequency, rate) -
                                         AnalyticResponseDb(weighting, frequency);
                    const QString where = QString("%1 Hz at %2").arg(frequency).arg(rate);
                    QVERIFY2(std::isfinite(error), qPrintable(where));
                    if ((rate == 44100 || rate == 48000) && frequency < 5100)
                        QVERIFY2(std::abs(error) < 0.1, qPrintable(where + QString(": %1 dB").arg(error)));
                }
            }
        }
    }

    void EveryRowPasses_data()
    {
        QTest::addColumn<TFrequencyWeighting>("weighting");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("block");
        for (const int rate : {48000, 44100})
            for (const int block : {64, rate / 32, 16384}) // the smallest, the automatic default, the largest
                for (const TFrequencyWeighting weighting :
                     {TFrequencyWeighting::A, TFrequencyWeighting::C, TFrequencyWeighting::Z})
                    QTest::addRow("%s %d %d", qPrintable(WeightingLetter(weighting)), rate, block)
                        << weighting << rate << block;
    }
    void EveryRowPasses()
    {
        QFETCH(TFrequencyWeighting, weighting);
        QFETCH(int, rate);
        QFETCH(int, block);
        const std::vector<TConformanceRow> rows = RunConformanceTest({weighting, rate, block});
        QCOMPARE(rows.size(), std::size_t(103));
        QVERIFY2(std::all_of(rows.begin(), rows.end(), [](const TConformanceRow& row) { return row.Passed; }),
                 qPrintable(Failures(rows)));
    }

    // A tone above half the frame rate cannot be played: its row says so and does not pass. Limits
    // read as the table gives them.
    void RowsSayWhatTheyCouldNotMeasure()
    {
        NumberFormat::SetDecimalSeparator('.');
        const std::vector<TConformanceRow> rows = RunConformanceTest({TFrequencyWeighting::A, 22050, 256});
        const auto band = std::find_if(rows.begin(), rows.end(), [](const TConformanceRow& row) {
            return row.Test.endsWith(QString(" 12500 Hz"));
        });
        QVERIFY(band != rows.end());
        QVERIFY(!band->Measured && !band->Passed);
        QCOMPARE(MeasuredText(*band), QString("poza pasmem"));
        QCOMPARE(ToleranceText(*band), QString("+2.0 / -5.0 dB"));
        QCOMPARE(ToleranceText(rows.front()), QString("+3.0 / -∞ dB")); // 10 Hz
        QCOMPARE(ToleranceText(JudgedRow("", "", 34.7, 30.0, -3.7, 3.8, " dB/s")),
                 QString("+3.8 / -3.7 dB/s"));
        QVERIFY(JudgedRow("", "", 0, 0.2, -0.2, 0.2).Passed); // the limits themselves pass
        QVERIFY(!JudgedRow("", "", 0, 0.21, -0.2, 0.2).Passed);
        NumberFormat::SetDecimalSeparator(QChar());
    }
};

QTEST_GUILESS_MAIN(TestConformance)
#include "test_conformance.moc"
