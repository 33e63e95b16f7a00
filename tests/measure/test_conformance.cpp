// The weighting filters against their analog definition, and the meter's conformance table.

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
        for (const int rate : {48000, 44100})
            for (const TFrequencyWeighting weighting :
                 {TFrequencyWeighting::A, TFrequencyWeighting::C, TFrequencyWeighting::Z})
                QTest::addRow("%s %d", qPrintable(WeightingLetter(weighting)), rate) << weighting << rate;
    }
    // Blocks of 1/64 s, which the automatic block size gives with "1/64".
    void EveryRowPasses()
    {
        QFETCH(TFrequencyWeighting, weighting);
        QFETCH(int, rate);
        const std::vector<TConformanceRow> rows = RunConformanceTest({weighting, rate, rate / 64});
        QCOMPARE(rows.size(), std::size_t(83));
        QVERIFY2(std::all_of(rows.begin(), rows.end(), [](const TConformanceRow& row) { return row.Passed; }),
                 qPrintable(Failures(rows)));
    }

    // With the stored default of 31.25 ms blocks the average of F moves in steps of a quarter of the
    // way, which falls 40 dB/s: the table says so rather than hiding it. Tones above half the frame
    // rate cannot be played and fail too.
    void ShowsWhatTheMeterCannotMeet()
    {
        std::vector<TConformanceRow> rows = RunConformanceTest({TFrequencyWeighting::A, 48000, 1500});
        std::vector<TConformanceRow> failed;
        std::copy_if(rows.begin(), rows.end(), std::back_inserter(failed),
                     [](const TConformanceRow& row) { return !row.Passed; });
        QCOMPARE(failed.size(), std::size_t(1));
        QCOMPARE(failed[0].Test, QString("Szybkość zaniku, F"));
        QVERIFY(std::abs(*failed[0].Measured - 40.0) < 0.1);

        rows = RunConformanceTest({TFrequencyWeighting::A, 22050, 256});
        const auto band = std::find_if(rows.begin(), rows.end(), [](const TConformanceRow& row) {
            return row.Test.endsWith(QString(" 12500 Hz"));
        });
        QVERIFY(band != rows.end());
        QVERIFY(!band->Measured && !band->Passed);
        QCOMPARE(MeasuredText(*band), QString("poza pasmem"));
    }
};

QTEST_GUILESS_MAIN(TestConformance)
#include "test_conformance.moc"
