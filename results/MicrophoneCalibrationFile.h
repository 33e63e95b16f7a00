// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/MicrophoneCorrection.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

struct TMeasurementState;

// The common text format of frequency responses, which microphone calibration files and FRD files
// share: lines of frequency and level (dB), optionally a phase, separated by blanks, tabs or ";" (or
// by "," when the decimals are ".", as in "781.25,  0.7222968"); comment lines starting with "*",
// "\"", "#" or ";"; column titles (a line starting with a letter), which count only before the first
// point; and, in calibration files, a "Sens Factor" line.
struct TResponseLine
{
    enum class TKind { Empty, Comment, Heading, SensFactor, Point, Invalid };
    TKind Kind = TKind::Empty;
    double Frequency = 0, Level = 0, Phase = 0, Coherence = 0;
    bool HasPhase = false;     // the line has a third column
    bool HasCoherence = false; // and a fourth (a transfer function's coherence)
    double SensFactor = 0;     // dB
};
// withCoherence: a fourth column, a transfer function's coherence, is read too (a fourth number is
// otherwise a malformed line).
TResponseLine ParseResponseLine(QByteArrayView line, bool withCoherence = false);

// Reads a microphone calibration file. A malformed file gives nothing, with a Polish message that
// names the file and its first bad line.
std::optional<TMicrophoneCorrection> ReadMicrophoneCalibration(const QString& fileName, QString& failure);

// Reads the calibration files named in state.MicrophoneFiles into state.Microphone. A channel whose
// file cannot be read measures without a correction and keeps the name; its message is returned.
QStringList LoadMicrophoneCorrections(TMeasurementState& state);
