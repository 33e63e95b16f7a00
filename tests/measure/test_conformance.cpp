// SPDX-License-Identifier: GPL-3.0-or-later
// The weighting filters against their analog definition, and the conformance table: every row passes
// at both usual frame rates and at the smallest, the default and the largest block.

#include "common/ChartModel.h"
#include "common/NumberFormat.h"
#include "measure/ConformanceTest.h"
#include "measure/FrequencyWeighting.h"
#include "measure/LevelMeter.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <functional>

Q_DECLARE_METATYPE(TFrequencyWeighting)

namespace {

constexpr int OfferedRates[] = {48000, 44100, 32000, 24000, 22050, 16000, 11025, 8000};

TConformanceSetup Setup(TFrequencyWeighting weighting, int rate, int block)
{
    TConformanceSetup setup;
    setup.Weighting = weighting;
    setup.FrameRate = rate;
    setup.BlockFrames = block;
    return setup;
}

// The program's meter behind an input stage broken on purpose: the samples scaled by a gain that
// depends on the settings, positive ones held below full scale, or steps of a coarser converter.
class TBrokenMeter final : public IMeterUnderTest
{
public:
    struct TFault
    {
        std::function<double(const TMeasurementState&)> Gain = [](const TMeasurementState&) { return 1.0; };
        int PositiveLimit = 32767;
        int Step = 1;
    };
    TBrokenMeter(TMeasurementState& state, TStandaloneMeterPorts& ports, TChartModel& chart, TFault fault)
        : State(state), Meter(state, ports, chart, ports, ports), Fault(std::move(fault))
    {
    }
    bool AnalyseBlock(float* samples, int& count) override
    {
        const double gain = Fault.Gain(State);
        for (int i = 0; i < count; ++i) {
            const double scaled =
                std::nearbyint(samples[i] * FullScaleUnits * gain / Fault.Step) * Fault.Step;
            samples[i] = static_cast<float>(std::clamp(scaled, -32768.0, double(Fault.PositiveLimit)) /
                                            FullScaleUnits);
        }
        return Meter.AnalyseBlock(samples, count);
    }
    void RefreshLevels() override { Meter.RefreshLevels(); }

private:
    TMeasurementState& State;
    TLevelMeter Meter;
    TFault Fault;
};

QString Failures(const std::vector<TConformanceRow>& rows)
{
    QStringList failed;
    for (const TConformanceRow& row : rows)
        if (!row.Passed)
            failed << row.Test + ": " + MeasuredText(row);
    return failed.join("; ");
}

} // namespace

Q_DECLARE_METATYPE(TBrokenMeter::TFault)

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
        const std::vector<TConformanceRow> rows = RunConformanceTest(Setup(weighting, rate, block));
        QCOMPARE(rows.size(), std::size_t(103));
        QVERIFY2(std::all_of(rows.begin(), rows.end(), [](const TConformanceRow& row) { return row.Passed; }),
                 qPrintable(Failures(rows)));
    }

    // A tone above half the frame rate cannot be played: its row says so and does not pass. Limits
    // read as the table gives them.
    void RowsSayWhatTheyCouldNotMeasure()
    {
        NumberFormat::SetDecimalSeparator('.');
        const std::vector<TConformanceRow> rows =
            RunConformanceTest(Setup(TFrequencyWeighting::A, 22050, 256));
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

    // Rows that compare the meter with itself could never fail. Each of these finds a meter broken
    // in the one way it is there to find (and the program's own meter passes them, above).
    void RowsFindABrokenMeter_data()
    {
        using TFault = TBrokenMeter::TFault;
        QTest::addColumn<TFault>("fault");
        QTest::addColumn<QString>("row");
        const auto gainWhen = [](std::function<bool(const TMeasurementState&)> when, double gain) {
            TFault fault;
            fault.Gain = [=](const TMeasurementState& state) { return when(state) ? gain : 1.0; };
            return fault;
        };
        const auto always = [](const TMeasurementState&) { return true; };
        QTest::newRow("gain") << gainWhen(always, 1.1) << "Korekcja A, 1000 Hz";
        QTest::newRow("C gain") << gainWhen(
                                       [](const TMeasurementState& state) {
                                           return state.FrequencyWeighting == TFrequencyWeighting::C;
                                       },
                                       1.05)
                                << "LC − LA, 1 kHz";
        QTest::newRow("Z gain") << gainWhen(
                                       [](const TMeasurementState& state) {
                                           return state.FrequencyWeighting == TFrequencyWeighting::Z;
                                       },
                                       1.05)
                                << "LZ − LA, 1 kHz";
        QTest::newRow("S gain")
            << gainWhen([](const TMeasurementState& state) { return state.AveragingTime == 1.0; }, 1.03)
            << "LAS − LAF, 1 kHz";
        TFault positive;
        positive.PositiveLimit = 32766;
        QTest::newRow("positive overload unseen") << positive << "Półokres 4 kHz, dodatni − ujemny";
        TFault coarse;
        coarse.Step = 64;
        QTest::newRow("coarse converter") << coarse << "Liniowość, -60 dB";
    }
    void RowsFindABrokenMeter()
    {
        QFETCH(TBrokenMeter::TFault, fault);
        QFETCH(QString, row);
        TConformanceSetup setup = Setup(TFrequencyWeighting::A, 48000, 1500);
        setup.MakeMeter = [&](TMeasurementState& state, TStandaloneMeterPorts& ports, TChartModel& chart) {
            return std::make_unique<TBrokenMeter>(state, ports, chart, fault);
        };
        const std::vector<TConformanceRow> rows = MeterConformanceRows(setup);
        const auto found =
            std::find_if(rows.begin(), rows.end(), [&](const TConformanceRow& r) { return r.Test == row; });
        QVERIFY2(found != rows.end(), qPrintable(row));
        QVERIFY2(!found->Passed, qPrintable(row + ": " + MeasuredText(*found)));
    }
};

QTEST_GUILESS_MAIN(TestConformance)
#include "test_conformance.moc"
