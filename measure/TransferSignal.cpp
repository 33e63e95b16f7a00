// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/TransferSignal.h"

#include "analysis/TransferFunction.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t PinkSeed = 0x3C6EF372u;

// RMS of full scale per unit of level: a full-scale sine (RMS 1/sqrt 2) is 0 dBFS.
double Amplitude(double levelDb)
{
    return std::pow(10.0, levelDb / 20) / std::sqrt(2.0);
}

} // namespace

TTransferGenerator::TTransferGenerator(TTransferSignal signal, std::size_t period, double frameRate,
                                       double levelDb)
    : Signal(signal), FadeFrames(std::max<std::size_t>(1, std::size_t(std::lround(FadeSeconds * frameRate))))
{
    if (signal == TTransferSignal::Pink) {
        Period = PeriodicPinkNoise(period, frameRate, PinkSeed);
        Peak = 0;
        for (const double x : Period)
            Peak = std::max(Peak, std::abs(x));
    } else if (signal == TTransferSignal::White) {
        Peak = WhiteCrest;
    }
    Aim(signal == TTransferSignal::None ? 0.0 : Amplitude(levelDb));
}

double TTransferGenerator::HighestLevel() const
{
    // The peak after rounding to whole samples stays at or below full scale.
    return 20 * std::log10(std::sqrt(2.0) * (FullScale - 0.5) / FullScale / Peak);
}

void TTransferGenerator::SetLevel(double levelDb)
{
    if (Signal != TTransferSignal::None && !FadingOut())
        Aim(Amplitude(levelDb));
}

void TTransferGenerator::FadeOut()
{
    Aim(0);
}

void TTransferGenerator::Aim(double target)
{
    Target = target;
    // A straight ramp over the fade's frames, from wherever the gain stands.
    Step = (Target - Gain) / double(FadeFrames);
}

void TTransferGenerator::Fill(std::span<float> samples)
{
    for (float& sample : samples) {
        if (Gain != Target) {
            Gain += Step;
            if ((Step > 0 && Gain > Target) || (Step < 0 && Gain < Target) || Step == 0)
                Gain = Target;
        }
        double x = 0;
        if (Signal == TTransferSignal::Pink) {
            x = Period[Position];
            Position = Position + 1 == Period.size() ? 0 : Position + 1;
        } else if (Signal == TTransferSignal::White) {
            x = Noise.Gaussian();
        }
        sample = static_cast<float>(std::clamp(x * Gain, -1.0, 1.0));
    }
}

QString SignalText(TTransferSignal signal)
{
    switch (signal) {
    case TTransferSignal::Pink:
        return QStringLiteral("szum różowy okresowy");
    case TTransferSignal::White:
        return QStringLiteral("szum biały");
    case TTransferSignal::None:
        break;
    }
    return QStringLiteral("bez sygnału (muzyka)");
}
