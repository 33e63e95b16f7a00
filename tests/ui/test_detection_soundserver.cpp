// SPDX-License-Identifier: GPL-3.0-or-later
// Synchronous detection through the private sound server, printed for the record:
//   ctest -R test_detection_soundserver -V
// The device under test is one nobody here wrote: the one-pole low-pass of the LADSPA SDK's filter
// plugin, in a filter sink in front of a null sink of the test's own, whose monitor is recorded. Its
// response is the plugin's published recursion y[n] = (1 - b) x[n] + b y[n-1] with
// b = c - sqrt(c^2 - 1), c = 2 - cos(2 pi fc / rate), computed in single precision as the plugin does.
// The server's one filter sink filters both channels alike, so the reference channel cancels the
// filter as well as the server: the filter itself is measured without one, where the phase is the
// generator's less the probe's round trip (which takes in part of the filter's own delay).

#include "../audio/AudioTestSupport.h"
#include "WindowTestSupport.h"

#include "measure/SweepDetection.h"
#include "ui/OknoGlowna.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

namespace {

constexpr int Rate = 48000;
constexpr float CutoffHz = 2000;
const QByteArray DutSink = "tonvix_dut", FilterSink = "tonvix_dut_filter", DutSource = "tonvix_dut.monitor";
// A null sink of 32-bit float samples: a digital loop with no rounding of its own.
const QByteArray FloatSink = "tonvix_dut_float";

// pactl against the private server; its standard output, or nothing when it failed.
std::optional<QString> Pactl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

std::complex<double> FilterResponse(double frequency)
{
    const float c =
        2.0f - static_cast<float>(std::cos(static_cast<float>(2 * std::numbers::pi / Rate) * CutoffHz));
    const float b = c - static_cast<float>(std::sqrt(c * c - 1));
    const float a = 1.0f - b;
    const std::complex<double> z = std::polar(1.0, -2 * std::numbers::pi * frequency / Rate);
    return static_cast<double>(a) / (1.0 - static_cast<double>(b) * z);
}

double TrueFrequency(double f)
{
    return f * 3.14159 / std::numbers::pi; // the generator steps its phase with 3.14159 for pi
}

} // namespace

class TestDetectionSoundServer : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;
    QStringList Modules;
    // Answers the series chooser and notes what a stopped sweep said.
    std::unique_ptr<TModalCloser> Modals;

    bool Measuring()
    {
        return FindControl<QToolButton>(*Window, "btnStart")->defaultAction()->objectName() == "actStop";
    }

    // A sweep of `points` from `start` to `stop` Hz played into `sink` and recorded from its monitor
    // (the filter sink's is its master's): the time from F2 to each point's arrival in the chart, in
    // seconds.
    std::vector<double> Sweep(const QByteArray& sink, int points, TChannelMode mode,
                              TReferenceChannel reference, int start = 20, int stop = 20000)
    {
        Window->AudioOut().SetDeviceName(sink);
        Window->AudioIn().SetDeviceName(sink == FilterSink ? DutSource : sink + ".monitor");
        FindControl<QRadioButton>(*Window, mode == TChannelMode::Both    ? "rbKanalLR"
                                           : mode == TChannelMode::Right ? "rbKanalR"
                                                                         : "rbKanalL")
            ->click();
        Window->State().Detection.Method = TSweepMethod::Synchronous;
        Window->State().Detection.Reference = reference;
        FindControl<QLineEdit>(*Window, "edtStartFreq")->setText(QString::number(start));
        FindControl<QLineEdit>(*Window, "edtStopFreq")->setText(QString::number(stop));
        FindControl<QLineEdit>(*Window, "edtLiczbaPunktow")->setText(QString::number(points));
        Window->activateWindow();
        std::vector<double> arrivals;
        QElapsedTimer wall;
        const auto connection =
            connect(&Window->ChartData(), &TChartModel::PointAppended, this, [&](int series, int) {
                if (series == Window->ActiveSeries())
                    arrivals.push_back(wall.nsecsElapsed() / 1e9);
            });
        wall.start();
        QTest::keyClick(Window.get(), Qt::Key_F2);
        while (Measuring() && wall.elapsed() < 60000)
            QTest::qWait(10);
        disconnect(connection);
        if (int(arrivals.size()) < points) // a stop says why once the block that stopped it is done
            (void)QTest::qWaitFor([this] { return !Modals->Said.isEmpty(); }, 1000);
        return arrivals;
    }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(false);
        TONVIX_REQUIRE_PRIVATE_SOUND_SERVER();
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path()));
        // A sink of the test's own, so that no other test's sound mixes into it.
        for (const QStringList& module :
             {QStringList{"load-module", "module-null-sink", "sink_name=" + DutSink, "rate=48000",
                          "channels=2"},
              QStringList{"load-module", "module-ladspa-sink", "sink_name=" + FilterSink,
                          "sink_master=" + DutSink, "plugin=filter", "label=lpf",
                          QStringLiteral("control=%1").arg(CutoffHz)},
              QStringList{"load-module", "module-null-sink", "sink_name=" + FloatSink, "rate=48000",
                          "channels=2", "format=float32le"}}) {
            const std::optional<QString> index = Pactl(module);
            QVERIFY2(index, qPrintable("pactl " + module.join(' ')));
            Modules.prepend(*index);
        }
    }
    void cleanupTestCase()
    {
        Window.reset();
        for (const QString& module : Modules)
            Pactl({"unload-module", module});
    }
    void init()
    {
        Window = std::make_unique<TFormaGlowna>(QStringList{"tonvix"});
        Window->show();
        QVERIFY(QTest::qWaitForWindowActive(Window.get()));
        TMeasurementState& state = Window->State();
        state.Preferences.PromptOnClose = false;
        state.Preferences.ShowRaport = false;
        state.Amplitude = 16384; // -6 dBFS
        Window->AudioIn().SetFrameRate(Rate);
        Window->AudioOut().SetFrameRate(Rate);
        FindControl<QAction>(*Window, "actPomiarCharakterystyk")->trigger();
        Modals =
            std::make_unique<TModalCloser>([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    }
    void cleanup()
    {
        Modals.reset();
        Window.reset();
        Pactl({"set-sink-volume", QString::fromUtf8(DutSink), "100%"});
    }

    // The filter on both inputs, 121 points: the magnitude within 0.01 dB of the formula's, the phase
    // within 0.1 degrees once the delay that the probe's round trip took in is fitted out.
    void measuresTheFilterAsItsFormulaHasIt()
    {
        const std::vector<double> arrivals =
            Sweep(FilterSink, 121, TChannelMode::Both, TReferenceChannel::None);
        QVERIFY(!arrivals.empty());
        for (const int series : {0, 4}) {
            const TChartSeriesData& points = Window->ChartData().Series(series);
            QVERIFY2(points.Count() == 121, qPrintable(Modals->Said));
            // The level is the generator's through the filter: the first point (20 Hz, where the filter
            // is flat to 0.0005 dB) tells the generator's level.
            const double offset = points.Y(0) - 20 * std::log10(std::abs(FilterResponse(TrueFrequency(20))));
            std::vector<double> frequencies, phaseErrors;
            double worstLevel = 0;
            for (int i = 0; i < points.Count(); ++i) {
                const double f = TrueFrequency(points.X(i));
                const std::complex<double> h = FilterResponse(f);
                const double level = points.Y(i) - offset - 20 * std::log10(std::abs(h));
                worstLevel = std::max(worstLevel, std::abs(level));
                frequencies.push_back(f);
                phaseErrors.push_back(points.Detail(i)->Phase - std::arg(h) * 180 / std::numbers::pi);
            }
            // The delay, fitted below 1 kHz where the phase cannot wrap, then taken off everywhere.
            double numerator = 0, denominator = 0;
            for (std::size_t i = 0; i < frequencies.size() && frequencies[i] < 1000; ++i) {
                numerator += frequencies[i] * std::remainder(phaseErrors[i], 360.0);
                denominator += frequencies[i] * frequencies[i];
            }
            const double degreesPerHz = numerator / denominator;
            double worstPhase = 0;
            for (std::size_t i = 0; i < frequencies.size(); ++i)
                worstPhase =
                    std::max(worstPhase,
                             std::abs(std::remainder(phaseErrors[i] - degreesPerHz * frequencies[i], 360.0)));
            qInfo("series %d: largest deviation %.4f dB, %.4f degrees past a delay of %.3f frames",
                  series + 1, worstLevel, worstPhase, degreesPerHz / 360 * Rate);
            QVERIFY(worstLevel < 0.01);
            QVERIFY(worstPhase < 0.1);
        }
    }

    // 121 points at 1/12 octave against a reference: at most 20 s from F2 to the last point; the filter
    // cancels, so every point is 0 dB and 0 degrees.
    void twelfthOctaveAgainstAReferenceInSeconds()
    {
        const std::vector<double> arrivals =
            Sweep(FilterSink, 121, TChannelMode::Right, TReferenceChannel::Left);
        const TChartSeriesData& points = Window->ChartData().Series(0);
        QVERIFY2(points.Count() == 121, qPrintable(Modals->Said));
        QCOMPARE(int(arrivals.size()), 121);
        for (int i = 0; i < points.Count(); ++i)
            QVERIFY2(std::abs(points.Y(i)) < 0.01 && std::abs(points.Detail(i)->Phase) < 0.1,
                     qPrintable(QString("%1 Hz: %2 dB, %3 degrees")
                                    .arg(points.X(i))
                                    .arg(points.Y(i))
                                    .arg(points.Detail(i)->Phase)));
        const auto per = [&](int i) { return arrivals[std::size_t(i)] - arrivals[std::size_t(i - 1)]; };
        qInfo(
            "F2 to the last point %.2f s (to the first %.2f s); a point at 20 Hz %.0f ms, at 1 kHz %.0f ms, "
            "at 20 kHz %.0f ms",
            arrivals.back(), arrivals.front(), 1000 * per(1), 1000 * per(60), 1000 * per(120));
        QVERIFY(arrivals.back() <= 20);
    }

    // The digital loop at -6 dBFS through the private server's 16-bit sink. With 16-bit streams the
    // generator is dithered (triangular, 2 LSB wide) and the samples' format leaves white noise of
    // 1/4 LSB^2 (rounding 1/12, dither 1/6); with float streams the float tone is not dithered and only
    // the sink's rounding is left, 1/12 LSB^2: the 16-bit floor where it is. A harmonic's estimate over a
    // window of N frames spreads around it with a Rayleigh scale of 0.5 sqrt(2 / N) LSB, so a harmonic
    // is below -120 dB only where the window is long enough for that; everywhere it stays within five
    // such scales (the path adds no distortion). THD+N is the noise's share of the band over the tone:
    // its median within 0.1 dB of it, every point within 1 dB.
    void digitalLoopIsCleanToTheSamplesFormat_data()
    {
        QTest::addColumn<bool>("sixteenBit");
        QTest::newRow("16-bit streams") << true;
        QTest::newRow("float streams") << false;
    }

    void digitalLoopIsCleanToTheSamplesFormat()
    {
        QFETCH(bool, sixteenBit);
        const TSampleFormat format = sixteenBit ? TSampleFormat::Integer : TSampleFormat::Float;
        Window->AudioIn().SetSampleFormat(format);
        Window->AudioOut().SetSampleFormat(format);
        const double noiseLsb2 = sixteenBit ? 0.25 : 1.0 / 12;
        const std::vector<double> arrivals = Sweep(DutSink, 31, TChannelMode::Both, TReferenceChannel::None);
        QVERIFY(!arrivals.empty());
        const TDetectionSettings& detection = Window->State().Detection;
        const double tone = 16384;
        const double expected =
            20 * std::log10(std::sqrt(noiseLsb2 * (detection.BandHigh - detection.BandLow) / (Rate / 2.0)) /
                            (tone / std::sqrt(2.0)));
        double worstHarmonic = -300, worstAboveNoise = -300;
        int belowMinus120 = 0, harmonics = 0;
        std::vector<double> thdNs;
        for (const int series : {0, 4}) {
            const TChartSeriesData& points = Window->ChartData().Series(series);
            QVERIFY2(points.Count() == 31, qPrintable(Modals->Said));
            for (int i = 0; i < points.Count(); ++i) {
                const TPointDetail& detail = *points.Detail(i);
                const double frames =
                    TSweepDetection::ShortestPlan(points.X(i), Rate, detection).WindowFrames;
                const double noiseScale = 20 * std::log10(std::sqrt(noiseLsb2 * 2 / frames) / tone);
                for (int k = 2; k <= TPointDetail::HighestHarmonic; ++k)
                    if (detail.Has(TPointDetail::HarmonicBit(k))) {
                        worstHarmonic = std::max(worstHarmonic, detail.Harmonic(k));
                        worstAboveNoise = std::max(worstAboveNoise, detail.Harmonic(k) - noiseScale);
                        belowMinus120 += detail.Harmonic(k) < -120;
                        ++harmonics;
                    }
                thdNs.push_back(20 * std::log10(detail.ThdN / 100));
                QVERIFY(!detail.Overloaded);
            }
        }
        std::sort(thdNs.begin(), thdNs.end());
        const double median = thdNs[thdNs.size() / 2];
        const double worstThdN = std::max(thdNs.back() - expected, expected - thdNs.front());
        qInfo("harmonics: highest %.1f dB, %d of %d below -120 dB, at most %.1f dB above the noise's scale",
              worstHarmonic, belowMinus120, harmonics, worstAboveNoise);
        qInfo("THD+N: %.2f dB (%.5f %%) in theory, median %.2f dB, farthest %.2f dB off", expected,
              100 * std::pow(10, expected / 20), median, worstThdN);
        // The sink's rounding of an undithered tone is no white noise: it leaves harmonics of its own.
        if (sixteenBit)
            QVERIFY(worstAboveNoise < 20 * std::log10(5.0));
        else
            QVERIFY(worstHarmonic < -105);
        // Over 20 ms the noise's estimate itself spreads by about 0.26 dB (some 300 independent bins).
        QVERIFY(std::abs(median - expected) < 0.1);
        QVERIFY(worstThdN < 1);
    }

    // The digital loop at -6 dBFS through a float sink, float streams, 50 Hz to 5 kHz: nothing rounds
    // to 16 bits anywhere, so every harmonic H2-H9 reads below -140 dB re the fundamental and THD+N
    // below -120 dB (the generator's float samples and the detector are all that is left).
    void floatLoopIsCleanPastSixteenBits()
    {
        Window->AudioIn().SetSampleFormat(TSampleFormat::Float);
        Window->AudioOut().SetSampleFormat(TSampleFormat::Float);
        const std::vector<double> arrivals =
            Sweep(FloatSink, 21, TChannelMode::Both, TReferenceChannel::None, 50, 5000);
        QVERIFY(!arrivals.empty());
        double worstHarmonic = -400, worstThdN = -400;
        int harmonics = 0;
        for (const int series : {0, 4}) {
            const TChartSeriesData& points = Window->ChartData().Series(series);
            QVERIFY2(points.Count() == 21, qPrintable(Modals->Said));
            for (int i = 0; i < points.Count(); ++i) {
                const TPointDetail& detail = *points.Detail(i);
                QVERIFY(detail.Has(TPointDetail::ThdNMeasured) && !detail.Overloaded);
                for (int k = 2; k <= TPointDetail::HighestHarmonic; ++k)
                    if (detail.Has(TPointDetail::HarmonicBit(k))) { // those below the band's top
                        worstHarmonic = std::max(worstHarmonic, detail.Harmonic(k));
                        ++harmonics;
                    }
                worstThdN = std::max(worstThdN, 20 * std::log10(detail.ThdN / 100));
            }
        }
        qInfo("float loop: highest of %d harmonics %.1f dB, highest THD+N %.1f dB", harmonics, worstHarmonic,
              worstThdN);
        QVERIFY(worstHarmonic < -140);
        QVERIFY(worstThdN < -120);
    }

    // The reference input silenced by the sink's volume: the sweep stops and says why, in Polish, in the
    // window and in tonvix-cli (whose stop used to come before the reason, so that it reported success).
    void aSilentReferenceIsSaid()
    {
        QVERIFY(Pactl({"set-sink-volume", QString::fromUtf8(DutSink), "100%", "0%"}));
        Sweep(DutSink, 5, TChannelMode::Left, TReferenceChannel::Right);
        QVERIFY2(Modals->Said.startsWith("Sygnał generatora nie dotarł do kanału odniesienia (prawego)"),
                 qPrintable(Modals->Said));
        QCOMPARE(Window->ChartData().Series(0).Count(), 0);

        // tonvix-cli says so too, and fails.
        QProcess cli;
        cli.start(QStringLiteral(TONVIX_CLI),
                  {"sweep", "--start", "100", "--stop", "1000", "--points", "5", "--method", "sync",
                   "--reference", "R", "--input", QString::fromUtf8(DutSource), "--output",
                   QString::fromUtf8(DutSink), "--out", WorkDir.filePath("cisza.csv")});
        QVERIFY(cli.waitForFinished(30000));
        const QString errors = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), 1);
        QVERIFY2(errors.contains("Sygnał generatora nie dotarł do kanału odniesienia (prawego)"),
                 qPrintable(errors));
        QVERIFY(!QFile::exists(WorkDir.filePath("cisza.csv")));
    }
};

QTEST_MAIN(TestDetectionSoundServer)
#include "test_detection_soundserver.moc"
