// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Finds a dropout in a steady tone: a moment where the sound server lost or held back the stream and
// handed digital silence on instead, even when no stream counted it. The tone's frames are cut into short
// pieces, each at least a twentieth of a period long; a piece of nothing but exact zeros is no part of a
// tone. A tone that is quiet, beats with the dying end of the one before it or has noise on it never
// gives one: only a tone of a few LSB has whole pieces of zeros around its zero crossings, so below
// QuietestMeanSquare (a frame's mean square) nothing is judged. Add does not allocate.
class TDropoutDetector
{
public:
    static constexpr double ShortestPieceSeconds = 0.001;
    static constexpr double PiecePeriods = 0.05;
    // An RMS of 8 LSB of 16 bits (the samples are float, full scale 1): its pieces keep a few LSB.
    static constexpr double QuietestMeanSquare = 64.0 / (32767.0 * 32767.0);

    // A new tone of `frequency` at `frameRate`; channels: bit 0 left, bit 1 right, those watched.
    void Begin(double frequency, int frameRate, unsigned channels);
    // The next stereo float frames of the tone.
    void Add(const float* frames, int count);
    // In a channel watched, loud enough to tell, a whole piece fell silent.
    bool DropoutHeard() const;

private:
    struct TChannel
    {
        double Total = 0;        // sum of squares of the whole pieces
        bool PieceHeard = false; // the piece being filled has a sample other than 0
        bool SilentPiece = false;
        int Pieces = 0;
    };
    int PieceFrames = 1, Filled = 0;
    unsigned Channels = 1;
    TChannel Watched[2];
};
