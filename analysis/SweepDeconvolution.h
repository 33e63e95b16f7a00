// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/RealFft.h"

#include <complex>
#include <span>
#include <vector>

// The impulse response of a device from a sweep through it, by division of spectra over one circular
// block of Size() frames: either by the excitation as it was played, or by a reference recording of
// the same take (a second input that takes the card's output directly, so that the card's own response
// and latency cancel).
//
// Conventions: every block starts at the excitation's time 0 (its first frame). impulse[n] is the
// response n frames after time 0; a response that leads time 0 (a negative lag) wraps to the end of the
// block. Unity scale: a response equal to the excitation (or to the reference) gives a unit impulse at 0.
// Within [startHz, stopHz] the division is exact but for a floor of 1e-12 of the strongest bin's power;
// outside, the floor rises over one octave (a raised cosine in log frequency) to that power itself, so
// the impulse is limited to the band the sweep covered and noise outside it is not amplified. The
// sweep's lowest octave is moreover weighted by BandEdgeWeight, which rises smoothly from 0 at the start
// to 1 an octave above it: a band edge as abrupt as the sweep's own start would ring for hundreds of
// milliseconds on either side of the peak, far beyond what a gate keeps, and spoil the lowest octaves;
// the analysis takes the known weight out again (TResponseAnalysis).
// The constructor allocates; the rest allocates nothing.
// 0 below startHz, a raised cosine in log frequency over the octave above it, 1 higher up.
double BandEdgeWeight(double frequency, double startHz);

class TSweepDeconvolution
{
public:
    TSweepDeconvolution(std::size_t size, double frameRate, double startHz, double stopHz);

    std::size_t Size() const { return Fft.Size(); }

    // The excitation as played, from its time 0; shorter than Size() is padded with silence.
    void SetExcitation(std::span<const double> excitation);
    // response: Size() frames from the excitation's time 0. impulse: Size() frames.
    void Deconvolve(std::span<const double> response, std::span<double> impulse);
    // measured / reference, both Size() frames of the same take.
    void DeconvolveByReference(std::span<const double> measured, std::span<const double> reference,
                               std::span<double> impulse);

private:
    void Finish(std::span<double> impulse);

    TRealFft Fft;
    std::vector<double> Floor; // per bin, of the strongest bin's power
    std::vector<double> Edge;  // per bin, BandEdgeWeight
    std::vector<std::complex<double>> Inverse, Measured, Reference;
};
