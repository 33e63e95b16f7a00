// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/RoomAnalysis.h"

#include "measure/FrequencyWeighting.h"

#include "common/NumberFormat.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

TRoomFigures AnalyseRoom(const TImpulseResponse& response, const TRoomChoice& choice)
{
    const TWeightingDesign design = DesignWeighting(static_cast<int>(std::lround(response.FrameRate)));
    std::vector<TSecondOrderSection> weighting;
    for (const TWeightingSection& section : {design.LowCut, design.HighCut, design.MidCut})
        weighting.push_back({section.B0, section.B1, section.B2, section.A1, section.A2});
    const std::vector<double>& samples = response.Linear.Samples;
    const std::size_t frames =
        std::min(samples.size(), static_cast<std::size_t>(LongestRoomSeconds * response.FrameRate));
    TRoomAcoustics room(choice.BandsPerOctave, response.FrameRate, frames, weighting);
    return room.Analyse(std::span(samples).first(frames), choice.Speech ? &*choice.Speech : nullptr);
}

std::optional<SpeechTransmission::TOctaveValues> NoiseLevelsFromText(const QString& text)
{
    const bool semicolons = text.contains(QLatin1Char(';'));
    const QStringList parts =
        text.split(QRegularExpression(semicolons ? QStringLiteral("\\s*;\\s*") : QStringLiteral("[,\\s]+")),
                   Qt::SkipEmptyParts);
    if (parts.size() != SpeechTransmission::OctaveCount &&
        parts.size() != SpeechTransmission::OctaveCount + 1)
        return std::nullopt;
    SpeechTransmission::TOctaveValues levels{};
    const qsizetype skipped = parts.size() - SpeechTransmission::OctaveCount;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const auto value = NumberFormat::ParseNumber(parts[i]);
        if (!value)
            return std::nullopt;
        if (i >= skipped)
            levels[static_cast<std::size_t>(i - skipped)] = *value;
    }
    return levels;
}
