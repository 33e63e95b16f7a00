// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

// One channel of the device under test that the virtual card puts between its output and its input.
// The path, in order: gain, the static nonlinearity y = x + Square x^2 + Cube x^3 (full-scale units),
// the high-pass and low-pass filters, the resonance, clipping, delay, then the noise.
struct TChannelModel
{
    double GainDb = 0.0;
    double Square = 0.0, Cube = 0.0; // 0, 0: a linear device
    double HighPassHz = 0.0;         // 2nd-order Butterworth high-pass corner; 0: none
    double LowPassHz = 0.0;          // 2nd-order Butterworth low-pass corner; 0: none
    // A resonance after the filters: a peaking filter (gain at its centre, Q of its bandwidth); 0: none.
    double ResonanceHz = 0.0, ResonanceQ = 10.0, ResonanceGainDb = 0.0;
    double NoiseDbfs = -90.0; // RMS of the noise added at the input, relative to full scale
    int DelayFrames = 0;      // 0 .. TChannelPath::MaxDelayFrames
    // A further fraction of a frame, 0 <= f < 1, by a band-limited interpolator (exact in phase up to
    // 0.4 of the frame rate); with a fraction the whole frames are at least FractionReach.
    double DelayFraction = 0.0;
    double ClipLevel = 1.0; // the signal is limited to +-ClipLevel of full scale before the noise
};

class TBiquad
{
public:
    void PassThrough();
    void HighPass(double cornerHz, double frameRate);
    void LowPass(double cornerHz, double frameRate);
    void Peaking(double centreHz, double q, double gainDb, double frameRate);
    // H of the coefficients in force at a frequency: what a steady tone comes out with.
    std::complex<double> Response(double frequency, double frameRate) const;
    double Magnitude(double frequency, double frameRate) const
    {
        return std::abs(Response(frequency, frameRate));
    }
    double Process(double x)
    {
        const double y = B0 * x + Z1;
        Z1 = B1 * x - A1 * y + Z2;
        Z2 = B2 * x - A2 * y;
        return y;
    }

private:
    void Set(double b0, double b1, double b2, double a0, double a1, double a2);
    double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0, Z1 = 0, Z2 = 0;
};

// Small, fast noise source with no allocation: xorshift and a sum of four uniforms.
class TNoise
{
public:
    explicit TNoise(std::uint32_t seed) : State(seed ? seed : 1u) {}
    double Uniform() // -1 .. 1
    {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return static_cast<std::int32_t>(State) / 2147483648.0;
    }
    double Gaussian() { return (Uniform() + Uniform() + Uniform() + Uniform()) * 0.8660254037844386; }

private:
    std::uint32_t State;
};

class TChannelPath
{
public:
    static constexpr int MaxDelayFrames = 65535;
    static constexpr int FractionReach = 32; // frames on either side that a fractional delay reads

    TChannelPath();
    void Configure(const TChannelModel& model, double frameRate);
    // The linear path for a small steady tone (the nonlinearity, noise and clipping aside): gain,
    // filters and delay, with phase; and its gain in dB.
    std::complex<double> Response(double frequency, double frameRate) const;
    double ResponseDb(double frequency, double frameRate) const;
    double DelayFrames() const { return static_cast<double>(Delay) + Fraction; }
    // x and the result in full-scale units (+-1).
    double Process(double x, TNoise& noise)
    {
        double y = x * Gain;
        y += y * y * (Square + Cube * y);
        y = Resonance.Process(LowPass.Process(HighPass.Process(y)));
        y = y > Clip ? Clip : (y < -Clip ? -Clip : y);
        Line[Write] = y;
        const double delayed =
            Fraction == 0.0 ? Line[(Write + Line.size() - Delay) % Line.size()] : Interpolated();
        Write = (Write + 1) % Line.size();
        return delayed + NoiseAmplitude * noise.Gaussian();
    }

private:
    double Interpolated() const;

    TBiquad HighPass, LowPass, Resonance;
    double Gain = 1.0, Square = 0.0, Cube = 0.0, Clip = 1.0, NoiseAmplitude = 0.0, Fraction = 0.0;
    std::vector<double> Line; // delay line, allocated once
    std::size_t Write = 0, Delay = 0;
    std::array<double, 2 * FractionReach> Taps{}; // the interpolator for Fraction
};

// A quiet murmur whose level drifts slowly, heard while nothing plays.
class TAmbientSound
{
public:
    void Configure(double frameRate);
    double Next(TNoise& noise);

private:
    double FrameRate = 48000.0, Smoothing = 0.0, State = 0.0, Time = 0.0;
};
