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
// response n frames after time 0; a response that leads time 0 (a negative lag, where a sweep puts the
// harmonics) wraps to the end of the block. A block at least as long as the recording plus the sweep
// keeps the two apart: the deconvolution is then linear, not circular. Unity scale: a response equal
// to the excitation (or to the reference) gives a unit impulse at 0.
// Within the band the division is exact but for a floor of 1e-12 of the strongest bin's power: the
// response is the device's, flat where the device is, with nothing of ours in it. That holds down to a
// sixteenth of startHz, where the sweep's fade-in still carries energy (within 40 dB of the strongest bin):
// a band limit just below the start would ring for a tenth of a second on either side of the peak,
// and a file that keeps 10 ms before the peak would lose the half that leads it (a dB at a fifth above
// the start). Below that the floor rises smoothly (a raised cosine of its level in dB) to the strongest
// power over two octaves, which keeps out what a sweep cannot measure there (the slow offset that
// even-order distortion makes of a sweep, rumble). Above stopHz, where the sweep has no energy, the
// floor rises over an octave as a raised cosine of the power, fast; that edge rings for a millisecond
// or two.
// The constructor allocates; the rest allocates nothing.
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
    std::vector<std::complex<double>> Inverse, Measured, Reference;
};
