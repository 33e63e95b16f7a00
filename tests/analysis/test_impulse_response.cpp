// SPDX-License-Identifier: GPL-3.0-or-later
// The impulse-response numerics against closed forms: the synchronized sweep, its deconvolution, the
// response of a gated impulse with its phases and group delay, the smoothing and the peak finder.

#include "analysis/ImpulsePeak.h"
#include "analysis/ImpulseResponse.h"
#include "analysis/LogSweep.h"
#include "analysis/OctaveSmoothing.h"
#include "analysis/RealFft.h"
#include "analysis/ResponseAnalysis.h"
#include "analysis/SweepDeconvolution.h"
#include "audio/DeviceUnderTest.h"

#include <QTest>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

constexpr double Rate = 48000;

// A unit impulse delayed by `delay` frames (any fraction), band-limited to `low` .. `high` Hz with
// zero-phase raised-cosine edges (an octave wide below, up to half the frame rate above), as a circular
// block of `size` frames.
std::vector<double> BandLimitedImpulse(std::size_t size, double delay, double low, double high)
{
    TRealFft fft(size);
    std::vector<std::complex<double>> spectrum(fft.Bins());
    for (std::size_t k = 1; k < spectrum.size(); ++k) {
        const double f = static_cast<double>(k) * Rate / static_cast<double>(size);
        const double below = f < low ? std::log2(low / f) : 0;
        const double above = f > high ? (f - high) / (Rate / 2 - high) : 0;
        const double band = 0.5 + 0.5 * std::cos(std::numbers::pi * std::min(1.0, below + above));
        spectrum[k] = band * std::polar(1.0, -2 * std::numbers::pi * f * delay / Rate);
    }
    std::vector<double> impulse(size);
    fft.Inverse(spectrum, impulse);
    for (double& sample : impulse)
        sample /= static_cast<double>(size);
    return impulse;
}

// One take of a 10 Hz .. 20 kHz sweep through a device (x -> y, frame by frame) and a delay, with a
// reference that took the sweep at ReferenceGain and its own delay; deconvolved and analysed over the
// whole block, its last tenth (what leads time 0) put first.
class TTake
{
public:
    static constexpr double ReferenceGain = 0.5;

    template <class TDevice>
    TTake(TDevice device, int delay, int referenceDelay)
        : Sweep({10, 20000, 1 << 16, Rate, -6}), Size(TRealFft::NiceSize(Sweep.Length() + 8000)),
          Measured(Size), Reference(Size), Analysis(Size, Rate)
    {
        for (std::size_t n = 0; n + delay < Size; ++n)
            Measured[n + delay] = device(n < Sweep.Length() ? Sweep.Samples()[n] : 0.0);
        for (std::size_t n = 0; n < Sweep.Length(); ++n)
            Reference[n + referenceDelay] = ReferenceGain * Sweep.Samples()[n];
    }

    TResponseAnalysis& Analysed(bool byReference)
    {
        TSweepDeconvolution deconvolution(Size, Rate, 10, 20000);
        deconvolution.SetExcitation(Sweep.Samples());
        std::vector<double> circular(Size);
        if (byReference)
            deconvolution.DeconvolveByReference(Measured, Reference, circular);
        else
            deconvolution.Deconvolve(Measured, circular);
        const std::size_t lead = Size / 10;
        std::vector<double> impulse(circular.end() - std::ptrdiff_t(lead), circular.end());
        impulse.insert(impulse.end(), circular.begin(), circular.end() - std::ptrdiff_t(lead));
        const TGate whole{-double(lead) / Rate, 0, double(Size - lead - 1) / Rate, TGateShape::Tukey};
        Analysis.Analyse(impulse, double(lead), whole, 0, 10 * std::exp2(1.0 / 6), 20000);
        return Analysis;
    }

private:
    TLogSweep Sweep;
    std::size_t Size;
    std::vector<double> Measured, Reference;
    TResponseAnalysis Analysis;
};

// The magnitude (dB) of a whole response's transform at bin k.
std::vector<double> MagnitudeDb(const std::vector<double>& samples, std::size_t size)
{
    TRealFft fft(size);
    std::vector<double> padded(samples);
    padded.resize(size);
    std::vector<std::complex<double>> spectrum(fft.Bins());
    fft.Forward(padded, spectrum);
    std::vector<double> db(spectrum.size());
    for (std::size_t k = 0; k < db.size(); ++k)
        db[k] = 20 * std::log10(std::abs(spectrum[k]));
    return db;
}

} // namespace

class TestImpulseResponse : public QObject
{
    Q_OBJECT
private slots:
    // f1 L is whole, so the k-th harmonic is the sweep advanced by L ln k in phase; the length is the
    // nominal one within that rounding.
    void sweepIsSynchronized()
    {
        const TLogSweep sweep({20, 20000, 1 << 16, Rate, -6});
        const double f1L = sweep.StartHz() * sweep.RateConstant();
        QCOMPARE(f1L, std::round(f1L));
        QVERIFY(std::abs(double(sweep.Length()) / (1 << 16) - 1) < 0.5 / f1L);
        QVERIFY(std::abs(sweep.Amplitude() - std::pow(10, -6 / 20.0)) < 1e-12);
        const auto phase = [&](double frame) {
            return 2 * std::numbers::pi * sweep.StartHz() * sweep.RateConstant() *
                   std::expm1(frame / Rate / sweep.RateConstant());
        };
        for (const int k : {2, 3, 5})
            for (const double frame : {3000.0, 20000.0, 30000.5})
                QVERIFY(std::abs(std::sin(k * phase(frame)) -
                                 std::sin(phase(frame + sweep.HarmonicAdvance(k)))) < 1e-6);
        // Past the fade-in the samples are the formula's.
        QVERIFY(std::abs(sweep.Samples()[20000] - sweep.Amplitude() * std::sin(phase(20000))) < 1e-12);
        QVERIFY(std::abs(sweep.FrequencyAt(0) - 20) < 1e-9);
        QVERIFY(std::abs(sweep.FrequencyAt(double(sweep.Length())) / 20000 - 1) < 1e-4);
    }

    // A sweep through a known filter and a whole delay, deconvolved by the excitation and by a
    // reference that took the card's output with another gain and delay: magnitude, phase and group
    // delay are the filter's within the band.
    void deconvolvedFilterMatchesItsClosedForm()
    {
        TBiquad highPass, lowPass;
        highPass.HighPass(100, Rate);
        lowPass.LowPass(5000, Rate);
        const auto filter = [&](double f) { return highPass.Response(f, Rate) * lowPass.Response(f, Rate); };
        constexpr int delay = 37, referenceDelay = 5;
        TTake take([&](double x) { return lowPass.Process(highPass.Process(x)); }, delay, referenceDelay);
        for (const bool byReference : {false, true}) {
            const int shift = byReference ? delay - referenceDelay : delay;
            TResponseAnalysis& analysis = take.Analysed(byReference);
            double worstDb = 0, worstPhase = 0, worstDelay = 0;
            for (std::size_t k = 0; k < analysis.Bins(); ++k) {
                const double f = double(k) * analysis.BinHz();
                if (f < 30 || f > 16000)
                    continue;
                const std::complex<double> model = (byReference ? 1 / TTake::ReferenceGain : 1.0) *
                                                   filter(f) *
                                                   std::polar(1.0, -2 * std::numbers::pi * f * shift / Rate);
                worstDb =
                    std::max(worstDb, std::abs(analysis.MagnitudeDb()[k] - 20 * std::log10(std::abs(model))));
                worstPhase =
                    std::max(worstPhase, std::abs(WrapDegrees(analysis.PhaseWrapped()[k] -
                                                              std::arg(model) * 180 / std::numbers::pi)));
                const double df = 0.01;
                const double filterDelay =
                    -std::arg(filter(f + df) / filter(f - df)) / (2 * std::numbers::pi * 2 * df);
                worstDelay =
                    std::max(worstDelay, std::abs(analysis.GroupDelay()[k] - filterDelay - shift / Rate));
            }
            qInfo("worst: %.5f dB, %.4f deg, group delay %.3g s", worstDb, worstPhase, worstDelay);
            QVERIFY(worstDb < 0.003);
            QVERIFY(worstPhase < 0.02);
            QVERIFY(worstDelay < 2e-5);
        }
    }

    // A peaking filter (minimum phase, flat far below and above its centre) behind a delay: the
    // minimum phase is the filter's own phase and the excess phase the delay's.
    void minimumAndExcessPhase()
    {
        // A +6 dB peak at 1 kHz, Q 1.4, in direct form.
        const double w0 = 2 * std::numbers::pi * 1000 / Rate, a = std::pow(10, 6 / 40.0);
        const double alpha = std::sin(w0) / 2.8, c = std::cos(w0), a0 = 1 + alpha / a;
        const double b[3] = {(1 + alpha * a) / a0, -2 * c / a0, (1 - alpha * a) / a0};
        const double d[2] = {-2 * c / a0, (1 - alpha / a) / a0};
        double z1 = 0, z2 = 0;
        const auto peak = [&](double x) {
            const double y = b[0] * x + z1;
            z1 = b[1] * x - d[0] * y + z2;
            z2 = b[2] * x - d[1] * y;
            return y;
        };
        const auto response = [&](double f) {
            const std::complex<double> z = std::polar(1.0, -2 * std::numbers::pi * f / Rate);
            return (b[0] + b[1] * z + b[2] * z * z) / (1.0 + d[0] * z + d[1] * z * z);
        };
        constexpr int delay = 120;
        TTake take(peak, delay, 0);
        TResponseAnalysis& analysis = take.Analysed(false);
        double worstMinimum = 0, worstExcess = 0;
        for (std::size_t k = 0; k < analysis.Bins(); ++k) {
            const double f = double(k) * analysis.BinHz();
            if (f < 50 || f > 10000)
                continue;
            worstMinimum = std::max(worstMinimum, std::abs(analysis.PhaseMinimum()[k] -
                                                           std::arg(response(f)) * 180 / std::numbers::pi));
            worstExcess = std::max(worstExcess,
                                   std::abs(WrapDegrees(analysis.PhaseExcess()[k] + 360 * f * delay / Rate)));
        }
        qInfo("worst: minimum phase %.4f deg, excess %.4f deg", worstMinimum, worstExcess);
        QVERIFY(worstMinimum < 1);
        QVERIFY(worstExcess < 1);
    }

    // The peak of a band-limited impulse stands at its delay, whole or fractional, either polarity.
    void peakToAHundredthOfAFrame()
    {
        for (const double delay : {100.0, 100.25, 100.5, 100.73}) {
            std::vector<double> impulse = BandLimitedImpulse(4096, delay, 20, 20000);
            QVERIFY2(std::abs(ImpulsePeak(impulse) - delay) < 0.001,
                     qPrintable(QString::number(ImpulsePeak(impulse))));
            for (double& sample : impulse)
                sample = -sample;
            QVERIFY(std::abs(ImpulsePeak(impulse) - delay) < 0.001);
        }
    }

    // A half-Hann gate tapers both sides fully, a Tukey gate only its outer tenth; the right window
    // sets the lowest valid frequency.
    void gateWeights()
    {
        const TGate tukey{-0.01, 0, 0.1, TGateShape::Tukey};
        QCOMPARE(tukey.Weight(-0.011), 0.0);
        QCOMPARE(tukey.Weight(-0.009), 1.0);
        QCOMPARE(tukey.Weight(0.089), 1.0);
        QVERIFY(std::abs(tukey.Weight(0.095) - 0.5) < 1e-12);
        QCOMPARE(tukey.LowestValidHz(), 10.0);
        const TGate hann{-0.01, 0, 0.1, TGateShape::HalfHann};
        QVERIFY(std::abs(hann.Weight(-0.005) - 0.5) < 1e-12);
        QVERIFY(std::abs(hann.Weight(0.05) - 0.5) < 1e-12);
        QCOMPARE(hann.Weight(0), 1.0);
    }

    // Smoothed, a delay keeps its linear phase and its flat magnitude: with the reference at time 0 (a
    // device 3 ms away, a microphone 50 ms away) and at the peak. A plain mean of the phase over a
    // window symmetric in log frequency would bend it by tens of degrees at 5 kHz.
    void smoothingKeepsADelaysPhase()
    {
        for (const double delay : {144.37, 2400.0}) {
            TImpulseResponse response;
            response.FrameRate = Rate;
            response.StartHz = 20 * std::exp2(1.0 / 6);
            response.StopHz = 20000;
            response.Linear.Origin = 4000;
            response.Linear.Samples = BandLimitedImpulse(32768, 4000 + delay, 50, 20000);
            response.Peak = ImpulsePeak(response.Linear.Samples);
            TImpulseAnalysis analysis(response);
            for (const bool fromPeak : {false, true}) {
                TResponseCurves curves;
                analysis.Compute({response.WholeGate(), 3, fromPeak}, curves);
                // The unwrapped phase is the delay's but for a whole number of turns.
                double worstDb = 0, worstDegrees = 0, turns = NAN;
                for (std::size_t i = 0; i < curves.Frequency.size(); ++i) {
                    const double f = curves.Frequency[i];
                    if (f < 200 || f > 16000)
                        continue;
                    const double expected = fromPeak ? 0.0 : -360 * f * delay / Rate;
                    const double unwrapped = curves.PhaseOf(TPhaseKind::Unwrapped)[i] - expected;
                    if (std::isnan(turns))
                        turns = 360 * std::round(unwrapped / 360);
                    worstDb = std::max(worstDb, std::abs(curves.MagnitudeDb[i]));
                    worstDegrees =
                        std::max({worstDegrees,
                                  std::abs(WrapDegrees(curves.PhaseOf(TPhaseKind::Wrapped)[i] - expected)),
                                  std::abs(unwrapped - turns)});
                }
                qInfo("delay %g frames, phase from the %s: %.5f dB, %.4f degrees", delay,
                      fromPeak ? "peak" : "time 0", worstDb, worstDegrees);
                QVERIFY(worstDb < 0.01);
                QVERIFY(worstDegrees < 0.1);
            }
        }
    }

    // A sweep deconvolved by itself is a unit impulse: the file's response is flat over the band, from
    // the sweep's start on (its lowest octave is not weighted), and what leads time 0 (pre-ringing) is
    // kept before the file's time 0 and read back from there.
    void fileHoldsTheFlatResponseAndWhatLeadsTimeZero()
    {
        const TLogSweep sweep({20, 20000, 1 << 16, Rate, -6});
        const std::size_t tail = 24000, size = TRealFft::NiceSize(2 * sweep.Length() + tail);
        TSweepDeconvolution deconvolution(size, Rate, sweep.StartHz(), sweep.StopHz());
        // A zero-phase low-pass (a windowed sinc centred on time 0), measured against the sweep itself.
        constexpr int Half = 64;
        constexpr double Cutoff = 8000;
        std::vector<double> taps(2 * Half + 1);
        for (int n = -Half; n <= Half; ++n) {
            const double x = 2 * Cutoff / Rate * n,
                         window = 0.5 + 0.5 * std::cos(std::numbers::pi * n / Half);
            taps[std::size_t(n + Half)] =
                2 * Cutoff / Rate * window *
                (n == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x));
        }
        const auto lowPass = [&](double f) {
            std::complex<double> sum = 0;
            for (int n = -Half; n <= Half; ++n)
                sum += taps[std::size_t(n + Half)] * std::polar(1.0, -2 * std::numbers::pi * f * n / Rate);
            return std::abs(sum);
        };
        std::vector<double> excitation(size), filtered(size);
        std::copy(sweep.Samples().begin(), sweep.Samples().end(), excitation.begin());
        for (std::size_t n = 0; n < size; ++n)
            for (int m = -Half; m <= Half; ++m)
                if (const auto from = std::ptrdiff_t(n) - m; from >= 0 && from < std::ptrdiff_t(size))
                    filtered[n] += taps[std::size_t(m + Half)] * excitation[std::size_t(from)];
        std::vector<double> block(size);
        for (const bool wire : {true, false}) {
            deconvolution.DeconvolveByReference(wire ? excitation : filtered, excitation, block);
            const TImpulseResponse measured = CutImpulseResponse(block, sweep, tail);
            const std::vector<double> file = measured.ForFile();
            QCOMPARE(measured.FileTimeZero(), std::size_t(480));
            if (wire) {
                const std::size_t transform = TRealFft::NiceSize(file.size());
                const std::vector<double> db = MagnitudeDb(file, transform);
                double worst = 0;
                for (std::size_t k = 0; k < db.size(); ++k)
                    if (const double f = double(k) * Rate / double(transform); f >= 30 && f <= 19000)
                        worst = std::max(worst, std::abs(db[k]));
                // The slow edge far below the start rings before the file's 10 ms too, a little.
                qInfo("a wire: the file flat within %.5f dB from 30 Hz", worst);
                QVERIFY(worst < 0.05);
                continue;
            }
            const TImpulseResponse read = ImpulseResponseOf(file, Rate, double(measured.FileTimeZero()));
            QVERIFY(std::abs(read.DelayFrames()) < 1e-3);
            TImpulseAnalysis analysis(read);
            TResponseCurves curves;
            analysis.Compute({read.WholeGate(), 0, false}, curves);
            double worstDb = 0, worstDegrees = 0;
            for (std::size_t i = 0; i < curves.Frequency.size(); ++i)
                if (const double f = curves.Frequency[i]; f >= 100 && f <= 6000) {
                    worstDb =
                        std::max(worstDb, std::abs(curves.MagnitudeDb[i] - 20 * std::log10(lowPass(f))));
                    worstDegrees = std::max(worstDegrees, std::abs(curves.PhaseOf(TPhaseKind::Wrapped)[i]));
                }
            qInfo("a zero-phase low-pass read back: %.5f dB, %.4f degrees", worstDb, worstDegrees);
            QVERIFY(worstDb < 0.01);
            QVERIFY(worstDegrees < 0.1);
        }
    }

    // Smoothing keeps a constant, and spreads one bin over the bins of half a 1/N octave on each side.
    void smoothingAveragesOverTheFraction()
    {
        TOctaveSmoothing smoothing(1000);
        std::vector<double> flat(1000, 2.0), out(1000), spike(1000, 0.0);
        smoothing.Smooth(flat, out, 3);
        for (const double value : out)
            QCOMPARE(value, 2.0);
        spike[500] = 1;
        smoothing.Smooth(spike, out, 1); // bin k averages k / sqrt 2 .. k sqrt 2
        QCOMPARE(out[500], 1.0 / (707 - 354 + 1));
        QVERIFY(out[707] > 0 && out[708] == 0);
        QVERIFY(out[354] > 0 && out[353] == 0);
        smoothing.Smooth(spike, out, 0);
        QVERIFY(out == spike);
    }
};

QTEST_APPLESS_MAIN(TestImpulseResponse)
#include "test_impulse_response.moc"
