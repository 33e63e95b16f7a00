// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/FrequencyWeighting.h"

#include <QString>
#include <cstddef>
#include <optional>

// tonvix-cli rta: the spectrum analyser beside a sound-pressure recording of the given length; the
// Leq and Lmax of every band of both channels, or with Fft the spectrum averaged over the recording,
// written to a CSV file.
struct TRtaCommand
{
    double Seconds = 0;
    QString Out;
    int BandsPerOctave = 3;
    std::optional<std::size_t> Fft; // a spectrum of this size instead of bands
    std::optional<TFrequencyWeighting> Weighting;
    bool Slow = false; // S time weighting rather than F
    std::optional<QString> Input;
};

extern const QString RtaHelp;

int RunRta(const TRtaCommand& command);
