// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/ImpulseResponse.h"
#include "analysis/RoomAcoustics.h"

#include <QString>
#include <optional>
#include <span>

// What the user asks of a room analysis.
struct TRoomChoice
{
    int BandsPerOctave = 1; // 1 or 3
    // The speech level and the background noise at the listener, for the full speech transmission index.
    std::optional<SpeechTransmission::TConditions> Speech;
};

// The room figures of a response's linear part (whatever its time 0; its first LongestRoomSeconds, which
// hold the decay and the noise after it of any hall), with the meter's A weighting for the broadband A
// result: what the window "Odpowiedź impulsowa" and tonvix-cli show.
inline constexpr double LongestRoomSeconds = 20;
TRoomFigures AnalyseRoom(const TImpulseResponse& response, const TRoomChoice& choice);
// The part of the response that is analysed, and the analysis of such samples on their own (a copy
// that a worker thread owns).
std::span<const double> RoomSamples(const TImpulseResponse& response);
TRoomFigures AnalyseRoom(std::span<const double> samples, double frameRate, const TRoomChoice& choice);

// The background noise levels as the user types them: 8 numbers (octaves 63 Hz to 8 kHz) or 7 (125 Hz to
// 8 kHz), dB, separated by semicolons or blanks (any decimal separator), or by commas with "." decimals;
// the index's seven octaves of them. Nothing when the text is no such list.
std::optional<SpeechTransmission::TOctaveValues> NoiseLevelsFromText(const QString& text);
