// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/ConformanceTest.h"

#include <vector>

// The rows of the conformance test for the spectrum analyser's band filters of 1/b octave at a frame
// rate: every band's relative response (dB, negative where it passes less than at its midband) at
// each breakpoint of the class 1 limits that lies below half the frame rate, measured on the filters
// the analyser runs (decimation included), with the limits turned into the row's tolerance.
std::vector<TConformanceRow> BandFilterRows(int bandsPerOctave, int frameRate);
