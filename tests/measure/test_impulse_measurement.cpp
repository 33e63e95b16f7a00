// SPDX-License-Identifier: GPL-3.0-or-later
// Impulse responses measured on the virtual card, faster than real time, against the card's own
// device model: a known filter and delay, a known static nonlinearity, whole and fractional delays,
// and a take spoilt by lost samples.

#include "../audio/DeviceModels.h"
#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "measure/ImpulseMeasurement.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <numbers>

using namespace DeviceModels;

class TestImpulseMeasurement : public QObject
{
    Q_OBJECT

    TImpulseMeasurement Engine;

    // One take on the card with these models (left, right); true when a response came.
    bool Measure(const TChannelModel& left, const TChannelModel& right, const TImpulseSettings& settings)
    {
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.SetModel(0, left);
        card.SetModel(1, right);
        QSignalSpy finished(&Engine, &TImpulseMeasurement::Finished);
        if (!Engine.Start(settings))
            qFatal("no start: %s", qPrintable(Engine.Failure()));
        if (!finished.wait(60000))
            qFatal("no end of the take");
        return finished.front().front().toBool();
    }

    TResponseCurves Curves(int smoothing = 0)
    {
        const TImpulseResponse& response = Engine.Result();
        TImpulseAnalysis analysis(response);
        TResponseCurves curves;
        analysis.Compute({response.WholeGate(), smoothing, false}, curves);
        return curves;
    }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.RestoreDefaults();
        card.SetAmbient(false);
        card.SetSpeed(4);
        Engine.AudioIn().SetFrameRate(int(Rate));
    }

    // The card's left channel (a small loudspeaker's high- and low-pass, gain and delay) against the
    // right one as the reference, and the left alone: magnitude and phase are the model's.
    void filterAndDelayAsTheModel()
    {
        TChannelModel loudspeaker = Wire(-10);
        loudspeaker.HighPassHz = 60;
        loudspeaker.LowPassHz = 12000;
        loudspeaker.DelayFrames = 150;
        const TChannelModel reference = Wire(-3);
        for (const TReferenceChannel channel : {TReferenceChannel::Right, TReferenceChannel::None}) {
            TImpulseSettings settings;
            settings.StartHz = 10;
            settings.Reference = channel;
            QVERIFY2(Measure(loudspeaker, reference, settings), qPrintable(Engine.Failure()));
            const TResponseCurves curves = Curves();
            const bool referenced = channel != TReferenceChannel::None;
            const auto model = [&](double f, double latency) {
                return ModelResponse(loudspeaker, f) / (referenced ? ModelResponse(reference, f) : 1.0) *
                       std::polar(1.0, -2 * std::numbers::pi * f * latency / Rate);
            };
            // Without a reference the card's latency, whole frames, comes on top of the device's delay:
            // the one that fits the phase at 1 kHz, near what the peak says.
            double latency = 0;
            if (!referenced) {
                const std::size_t at = std::size_t(std::lround(std::log2(1000 / settings.StartHz) * 96));
                const double guess = std::round(Engine.Result().DelayFrames() - loudspeaker.DelayFrames);
                double best = 360;
                for (double candidate = guess - 20; candidate <= guess + 20; ++candidate) {
                    const double off = std::abs(WrapDegrees(curves.PhaseOf(TPhaseKind::Wrapped)[at] -
                                                            std::arg(model(curves.Frequency[at], candidate)) *
                                                                180 / std::numbers::pi));
                    if (off < best) {
                        best = off;
                        latency = candidate;
                    }
                }
            }
            double worstDb = 0, worstDegrees = 0;
            for (std::size_t i = 0; i < curves.Frequency.size(); ++i) {
                const double f = curves.Frequency[i];
                if (f < 30 || f > 16000)
                    continue;
                const std::complex<double> expected = model(f, latency);
                worstDb =
                    std::max(worstDb, std::abs(curves.MagnitudeDb[i] - 20 * std::log10(std::abs(expected))));
                worstDegrees = std::max(worstDegrees,
                                        std::abs(WrapDegrees(curves.PhaseOf(TPhaseKind::Wrapped)[i] -
                                                             std::arg(expected) * 180 / std::numbers::pi)));
            }
            qInfo("%s: %.4f dB, %.3f degrees, latency %g", referenced ? "reference" : "no reference", worstDb,
                  worstDegrees, latency);
            QVERIFY(worstDb < 0.02);
            QVERIFY(worstDegrees < 0.2);
        }
    }

    // y = x + a x^2 + b x^3 at the sweep's amplitude A: the 2nd harmonic is a A / 2 and the 3rd
    // b A^2 / 4 of the linear part's 1 + 3 b A^2 / 4.
    void harmonicsOfAStaticNonlinearity()
    {
        TChannelModel device = Wire();
        device.Square = 0.05;
        device.Cube = 0.1;
        TImpulseSettings settings;
        settings.StopHz = 8000; // the 3rd harmonic stays below half the frame rate
        settings.LengthExponent = 16;
        settings.Reference = TReferenceChannel::Right;
        QVERIFY(Measure(device, Wire(), settings));
        const TResponseCurves curves = Curves();
        const double a = std::round(std::pow(10, settings.LevelDb / 20) * 32767) / 32768;
        const double linear = 1 + 3 * device.Cube * a * a / 4;
        const double expected[2] = {20 * std::log10(device.Square * a / 2 / linear),
                                    20 * std::log10(device.Cube * a * a / 4 / linear)};
        for (const int order : {2, 3}) {
            const auto& frequency = curves.DistortionFrequency[std::size_t(order - 2)];
            const auto& level = curves.DistortionDb[std::size_t(order - 2)];
            QVERIFY(!frequency.empty());
            double worst = 0;
            for (std::size_t i = 0; i < frequency.size(); ++i)
                if (frequency[i] >= 100 && frequency[i] <= settings.StopHz / order / 1.2)
                    worst = std::max(worst, std::abs(level[i] - expected[order - 2]));
            qInfo("H%d: %.2f dB expected, worst %.3f dB off", order, expected[order - 2], worst);
            QVERIFY(worst < 0.3);
        }
    }

    // A whole delay is found exactly, a fractional one to a hundredth of a frame.
    void delayToAHundredthOfAFrame()
    {
        TImpulseSettings settings;
        settings.LengthExponent = 16;
        settings.Reference = TReferenceChannel::Right;
        for (const double delay : {37.0, 37.37, 40.5}) {
            TChannelModel device = Wire(-6);
            device.DelayFrames = int(delay);
            device.DelayFraction = delay - std::floor(delay);
            QVERIFY(Measure(device, Wire(), settings));
            qInfo("delay %.2f found %.4f", delay, Engine.Result().DelayFrames());
            QVERIFY(std::abs(Engine.Result().DelayFrames() - delay) < (delay == 37.0 ? 1e-4 : 0.01));
        }
    }

    // A response that lasts: a device 0.6 s late is kept whole with the default tail of a second (its
    // harmonics' zones, which lead time 0, stay clear of it); a tail shorter than the delay is no
    // response but a reason.
    void longResponseKeptWhole()
    {
        TImpulseSettings settings;
        settings.LengthExponent = 16;
        settings.Reference = TReferenceChannel::Right;
        TChannelModel late = Wire(-6);
        late.DelayFrames = 28800;
        QVERIFY2(Measure(late, Wire(), settings), qPrintable(Engine.Failure()));
        const TImpulseResponse& response = Engine.Result();
        QVERIFY2(std::abs(response.DelayFrames() - 28800) < 1e-3,
                 qPrintable(QString::number(response.DelayFrames())));
        QVERIFY(response.TimeOf(response.Linear, double(response.Linear.Samples.size() - 1)) >= 1.0);
        const TResponseCurves curves = Curves();
        double worstDb = 0;
        for (std::size_t i = 0; i < curves.Frequency.size(); ++i)
            if (curves.Frequency[i] >= 30 && curves.Frequency[i] <= 16000)
                worstDb = std::max(worstDb, std::abs(curves.MagnitudeDb[i] + 6));
        // 0.4 s after the peak is all that the recording holds, and the response's slow edge far below
        // the start rings longer than that: at 30 Hz it shows, a little.
        qInfo("0.6 s late: delay %.5f frames, magnitude within %.4f dB", response.DelayFrames(), worstDb);
        QVERIFY(worstDb < 0.1);

        settings.TailSeconds = 0.5;
        QVERIFY(!Measure(late, Wire(), settings));
        QVERIFY2(Engine.Failure().contains(QStringLiteral("czas rejestracji po sweepie")),
                 qPrintable(Engine.Failure()));
    }

    // A user interface thread that stalls in the take loses output samples: the take is taken again,
    // and a response comes. One that stalls in every take gets no response but a reason.
    void lostSamplesSpoilTheTake()
    {
        TImpulseSettings settings;
        settings.LengthExponent = 16;
        QTimer stall;
        QObject::connect(&stall, &QTimer::timeout, [] { QThread::msleep(400); });
        for (const bool always : {false, true}) {
            stall.setSingleShot(!always);
            stall.start(always ? 300 : 100);
            QVERIFY2(Measure(Wire(), Wire(), settings) == !always, qPrintable(Engine.Failure()));
            stall.stop();
        }
        QVERIFY2(Engine.Failure().contains(QStringLiteral("zgubiła")), qPrintable(Engine.Failure()));
    }

    // Settings that cannot be measured are refused before anything starts.
    void settingsChecked()
    {
        TImpulseSettings settings;
        settings.StopHz = 30000;
        QVERIFY(!Engine.Start(settings));
        QVERIFY(Engine.Failure().contains(QStringLiteral("połowy częstotliwości próbkowania")));
        settings.StopHz = 20000;
        settings.Reference = TReferenceChannel::Left;
        QVERIFY(!Engine.Start(settings));
        QCOMPARE(Engine.Failure(), QStringLiteral("Kanał odniesienia musi być inny niż kanał pomiarowy."));
        settings.Reference = TReferenceChannel::None;
        settings.TailSeconds = 20;
        QVERIFY(!Engine.Start(settings));
        QVERIFY2(Engine.Failure().startsWith(QStringLiteral("Czas rejestracji po sweepie musi wynosić od ")),
                 qPrintable(Engine.Failure()));
        QVERIFY(!Engine.Measuring());
    }
};

QTEST_GUILESS_MAIN(TestImpulseMeasurement)
#include "test_impulse_measurement.moc"
