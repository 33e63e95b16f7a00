// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/DeviceUnderTest.h"

#include <QString>
#include <cstdint>
#include <span>
#include <vector>

// The excitation of a transfer-function measurement: the program's periodic pink noise, white noise,
// or nothing (the music that plays through the system is measured).
enum class TTransferSignal { Pink, White, None };

// The excitation as the output's mono float samples (full scale 1.0). The pink noise repeats one period of
// the FFT's length (PeriodicPinkNoise); the white noise is Gaussian, bounded to WhiteCrest times its RMS. The
// level is the RMS in dBFS, a full-scale sine being 0 dBFS (the meter's scale). The signal rises over
// FadeSeconds after its start and moves over as long to a new level, and FadeOut takes it down to
// silence as smoothly, so that nothing clicks. The constructor allocates; Fill does not.
class TTransferGenerator
{
public:
    static constexpr double FadeSeconds = 0.05;
    static constexpr double WhiteCrest = 4 * 0.8660254037844386; // the sum of four uniforms at most
    static constexpr double FullScale = 32767;

    TTransferGenerator(TTransferSignal signal, std::size_t period, double frameRate, double levelDb);

    // The highest level whose peaks stay within full scale, dBFS.
    double HighestLevel() const;
    void SetLevel(double levelDb);
    void Fill(std::span<float> samples);
    void FadeOut();
    bool FadingOut() const { return Target == 0; }
    bool Silent() const { return Target == 0 && Gain == 0; }

private:
    void Aim(double target);

    TTransferSignal Signal;
    std::vector<double> Period; // the pink noise, RMS 1
    std::size_t Position = 0;
    TNoise Noise{0x6A09E667u};
    double Peak = 1; // of the unit-RMS signal
    double Gain = 0, Target = 0, Step = 0;
    std::size_t FadeFrames = 1;
};

// "różowy szum okresowy", ... for the window, the command line and files.
QString SignalText(TTransferSignal signal);
