// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <complex>
#include <cstddef>
#include <span>

// A real-input discrete Fourier transform of one fixed size, through FFTW in double precision. The
// plans are made once, in the constructor; Forward and Inverse then allocate nothing and may be
// called from any thread (one call at a time per object).
//
// Conventions: Forward gives X[k] = sum over n of x[n] e^(-2 pi i k n / N) for k = 0 .. N/2 (N/2 + 1
// bins, unscaled); Inverse gives x[n] = sum over k of X[k] e^(+2 pi i k n / N) from the same half
// spectrum (the other half is its conjugate mirror), also unscaled, so that Inverse(Forward(x)) = N x.
class TRealFft
{
public:
    explicit TRealFft(std::size_t size);
    ~TRealFft();
    TRealFft(const TRealFft&) = delete;
    TRealFft& operator=(const TRealFft&) = delete;

    // The smallest size of at least `least` whose only prime factors are 2, 3 and 5: transforms of
    // such sizes are as fast as those of powers of two, and they waste less padding.
    static std::size_t NiceSize(std::size_t least);

    std::size_t Size() const { return N; }
    std::size_t Bins() const { return N / 2 + 1; }

    // input: Size() samples; output: Bins() values. Shorter input is padded with zeros.
    void Forward(std::span<const double> input, std::span<std::complex<double>> output);
    // input: Bins() values; output: Size() samples.
    void Inverse(std::span<const std::complex<double>> input, std::span<double> output);

private:
    std::size_t N;
    double* Time = nullptr;                    // FFTW-aligned, N samples
    std::complex<double>* Frequency = nullptr; // FFTW-aligned, N/2 + 1 bins
    void* ForwardPlan = nullptr;
    void* InversePlan = nullptr;
};
