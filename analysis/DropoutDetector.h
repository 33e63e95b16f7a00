// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Finds a dropout in a steady tone: a moment where the sound server lost or held back the stream and
// silence was heard instead, even when no stream counted it. The tone's frames are cut into short
// pieces, each at least a twentieth of a period long, so that even the piece around a zero crossing
// of the slowest tone keeps more than 1/60 of the tone's mean square; a piece below a thousandth of
// it (-30 dB) is no part of a tone. Noise cannot take a piece that low either, nor can a tone beating
// with the dying end of the one before it. A tone of a few LSB has whole pieces of exact zeros around
// its zero crossings: below QuietestMeanSquare (squared LSB a frame) silence cannot be told from it,
// and nothing is judged. Add does not allocate.
class TDropoutDetector
{
public:
    static constexpr double ShortestPieceSeconds = 0.001;
    static constexpr double PiecePeriods = 0.05;
    static constexpr double DropoutRatio = 1e-3;
    static constexpr double QuietestMeanSquare = 64; // an RMS of 8 LSB: its pieces keep a few LSB

    // A new tone of `frequency` at `frameRate`; channels: bit 0 left, bit 1 right, those watched.
    void Begin(double frequency, int frameRate, unsigned channels);
    // The next stereo 16-bit frames of the tone.
    void Add(const std::int16_t* frames, int count);
    // In the louder of the channels watched, a whole piece fell silent.
    bool DropoutHeard() const;

private:
    struct TChannel
    {
        double Piece = 0;  // the sum of squares of the piece being filled
        double Total = 0;  // of the whole pieces
        double Lowest = 0; // the quietest whole piece's sum
        int Pieces = 0;
    };
    int PieceFrames = 1, Filled = 0;
    unsigned Channels = 1;
    TChannel Watched[2];
};
