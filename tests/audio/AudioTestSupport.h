// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

// Keeps events flowing until the condition holds or the deadline passes; never sleeps on the UI thread.
template <typename Condition> bool WaitFor(Condition condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// A float sample as a 16-bit card's integer: full scale 1.0 is 32767.
constexpr double SixteenBitUnits = 32767.0;

// 16-bit samples as an input of 16-bit samples hands them to the engines.
inline std::vector<float> AsFloats(const std::vector<std::int16_t>& samples)
{
    std::vector<float> floats(samples.size());
    IntegerToFloat(reinterpret_cast<const char*>(samples.data()), floats.data(),
                   static_cast<int>(floats.size()), 16);
    return floats;
}

// Mono sine, continuous across blocks, its amplitude in 16-bit units.
struct TSineSource
{
    double Frequency = 1000.0, Amplitude = 16000.0, FrameRate = 48000.0;
    std::int64_t Frame = 0;
    bool Fill(float* samples, int count)
    {
        for (int i = 0; i < count; ++i, ++Frame)
            samples[i] = static_cast<float>(Amplitude / SixteenBitUnits *
                                            std::sin(2 * std::numbers::pi * Frequency * Frame / FrameRate));
        return true;
    }
};

// The samples of one channel out of interleaved blocks, in 16-bit units.
inline void AppendChannel(std::vector<double>& to, const float* samples, int count, int channels, int channel)
{
    for (int i = channel; i < count; i += channels)
        to.push_back(samples[i] * SixteenBitUnits);
}

inline double Rms(const std::vector<double>& samples, std::size_t from = 0)
{
    double sum = 0;
    for (std::size_t i = from; i < samples.size(); ++i)
        sum += samples[i] * samples[i];
    return samples.size() > from ? std::sqrt(sum / double(samples.size() - from)) : 0.0;
}

inline double Db(double ratio)
{
    return 20 * std::log10(ratio);
}

// Frequency from the zero crossings of the steady part (linear interpolation between samples).
inline double ZeroCrossingFrequency(const std::vector<double>& samples, std::size_t from, double frameRate)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            const double at = double(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0)
                first = at;
            else
                ++crossings;
            last = at;
        }
    }
    return crossings > 0 ? crossings * frameRate / (last - first) : 0.0;
}

// The program's pair of components: a mono output and a stereo input, 16-bit at 48000 frames/s,
// with blocks of the given numbers of frames.
inline void SetUpProgramPair(TAudioOut& out, int outFrames, TAudioIn& in, int inFrames)
{
    out.SetFrameRate(48000);
    out.SetBufferSize(outFrames * 2);
    in.SetFrameRate(48000);
    in.SetStereo(true);
    in.SetBufferSize(inFrames * 4);
}

// The private server's sink that a test plays into and the source it records: the null sink and its
// monitor, or what scripts/sound-server put in front of them (TONVIX_TEST_SINK, TONVIX_TEST_SOURCE).
inline QByteArray TestSink()
{
    return qEnvironmentVariable("TONVIX_TEST_SINK", "tonvix_null").toUtf8();
}
inline QByteArray TestSource()
{
    return qEnvironmentVariable("TONVIX_TEST_SOURCE", "tonvix_null.monitor").toUtf8();
}

// Why the private sound server that scripts/sound-server starts cannot be used; empty when it can.
// Tests play into its sinks only, never into someone's loudspeakers.
inline QString PrivateSoundServerProblem()
{
    const QString why = TDeviceServices::ServerStatus();
    if (!why.isEmpty())
        return why;
    const TDeviceLists devices = TDeviceServices::AllDevices();
    if (devices.Outputs.empty() || devices.Outputs[0].Name != TestSink() || devices.Inputs.empty() ||
        devices.Inputs[0].Name != TestSource())
        return QStringLiteral("The sound server's defaults are not %1 and %2")
            .arg(QString::fromUtf8(TestSink()), QString::fromUtf8(TestSource()));
    return {};
}

// For initTestCase: without the private server a test fails in CI (CI=true) and is skipped elsewhere.
#define TONVIX_REQUIRE_PRIVATE_SOUND_SERVER()                                                                \
    do {                                                                                                     \
        const QString why = PrivateSoundServerProblem();                                                     \
        if (!why.isEmpty()) {                                                                                \
            if (qgetenv("CI") == "true")                                                                     \
                QFAIL(qPrintable(why));                                                                      \
            QSKIP(qPrintable(why));                                                                          \
        }                                                                                                    \
    } while (false)
