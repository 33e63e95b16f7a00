// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/RoomAnalysis.h"

#include "measure/FrequencyWeighting.h"

#include "common/NumberFormat.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

std::span<const double> RoomSamples(const TImpulseResponse& response)
{
    const std::vector<double>& samples = response.Linear.Samples;
    return std::span(samples).first(
        std::min(samples.size(), static_cast<std::size_t>(LongestRoomSeconds * response.FrameRate)));
}

TRoomFigures AnalyseRoom(std::span<const double> samples, double frameRate, const TRoomChoice& choice)
{
    const TWeightingDesign design = DesignWeighting(static_cast<int>(std::lround(frameRate)));
    std::vector<TSecondOrderSection> weighting;
    for (const TWeightingSection& section : {design.LowCut, design.HighCut, design.MidCut})
        weighting.push_back({section.B0, section.B1, section.B2, section.A1, section.A2});
    TRoomAcoustics room(choice.BandsPerOctave, frameRate, samples.size(), weighting);
    return room.Analyse(samples, choice.Speech ? &*choice.Speech : nullptr);
}

TRoomFigures AnalyseRoom(const TImpulseResponse& response, const TRoomChoice& choice)
{
    return AnalyseRoom(RoomSamples(response), response.FrameRate, choice);
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
