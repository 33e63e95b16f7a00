#pragma once

#include <cstdint>
#include <vector>

// One channel of the device under test that the virtual card puts between its output and its input.
struct TChannelModel
{
    double GainDb = 0.0;
    double HighPassHz = 0.0;  // 2nd-order high-pass corner; 0: none
    double LowPassHz = 0.0;   // 2nd-order low-pass corner; 0: none
    double NoiseDbfs = -90.0; // RMS of the noise added at the input, relative to full scale
    int DelayFrames = 0;      // 0 .. TChannelPath::MaxDelayFrames
    double ClipLevel = 1.0;   // the signal is limited to +-ClipLevel of full scale before the noise
};

class TBiquad
{
public:
    void PassThrough();
    void HighPass(double cornerHz, double frameRate);
    void LowPass(double cornerHz, double frameRate);
    // |H| of the coefficients in force at a frequency: what a steady tone comes out with.
    double Magnitude(double frequency, double frameRate) const;
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

    TChannelPath();
    void Configure(const TChannelModel& model, double frameRate);
    // The gain of the configured path for a steady tone, in dB (noise, delay and clipping aside).
    double ResponseDb(double frequency, double frameRate) const;
    // x and the result in full-scale units (+-1).
    double Process(double x, TNoise& noise)
    {
        double y = LowPass.Process(HighPass.Process(x * Gain));
        y = y > Clip ? Clip : (y < -Clip ? -Clip : y);
        Line[Write] = static_cast<float>(y);
        const double delayed = Line[(Write + Line.size() - Delay) % Line.size()];
        Write = (Write + 1) % Line.size();
        return delayed + NoiseAmplitude * noise.Gaussian();
    }

private:
    TBiquad HighPass, LowPass;
    double Gain = 1.0, Clip = 1.0, NoiseAmplitude = 0.0;
    std::vector<float> Line; // delay line, allocated once
    std::size_t Write = 0, Delay = 0;
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
