// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/DropoutDetector.h"

#include <algorithm>
#include <cmath>

void TDropoutDetector::Begin(double frequency, int frameRate, unsigned channels)
{
    const double rate = std::max(frameRate, 1);
    const double period = rate / std::max(frequency, 1e-3);
    PieceFrames = static_cast<int>(std::ceil(std::max(ShortestPieceSeconds * rate, PiecePeriods * period)));
    Filled = 0;
    Channels = channels & 3u ? channels & 3u : 1u;
    Watched[0] = Watched[1] = TChannel{};
}

void TDropoutDetector::Add(const float* frames, int count)
{
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < 2; ++c) {
            const double x = frames[2 * i + c];
            Watched[c].Total += x * x;
            Watched[c].PieceHeard = Watched[c].PieceHeard || x != 0;
        }
        if (++Filled < PieceFrames)
            continue;
        for (TChannel& channel : Watched) {
            channel.SilentPiece = channel.SilentPiece || !channel.PieceHeard;
            channel.PieceHeard = false;
            ++channel.Pieces;
        }
        Filled = 0;
    }
}

bool TDropoutDetector::DropoutHeard() const
{
    for (int c = 0; c < 2; ++c) {
        const TChannel& channel = Watched[c];
        // Of a single piece nothing can be told: a dropout needs the tone around it.
        if ((Channels & (1u << c)) && channel.Pieces >= 2 && channel.SilentPiece &&
            channel.Total >= QuietestMeanSquare * PieceFrames * channel.Pieces)
            return true;
    }
    return false;
}
