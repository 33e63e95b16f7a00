// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

// Where the peak of a band-limited impulse response stands, to a small fraction of a frame: the
// largest magnitude among the samples, refined between its neighbours on the response between the
// samples (a Kaiser-windowed sinc interpolation over 32 frames on either side) to 1e-6 frame. A
// response of negative polarity peaks where its magnitude does. The result is a sample index with a
// fraction; an empty response gives 0.
double ImpulsePeak(std::span<const double> impulse);
