// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>
#include <vector>

// A frequency response with its phase, as other tools exchange it, by the file name's extension:
// - FRD: comment lines starting with "*", then "frequency level phase" a line, "." decimals;
// - the program's CSV: the header "Częstotliwość [Hz];Poziom [dB];Faza [°]" (and ";Koherencja" for a
//   transfer function), then a row a point, ";" between the fields and the user's decimal separator.
// Both read back through the same reader, which also takes the FRD files of other programs (blanks,
// tabs or ";" between the fields, no phase meaning 0).
namespace ResponseFile {

struct TPoints
{
    std::vector<double> Frequency, LevelDb, PhaseDegrees;
    std::vector<double> Coherence = {}; // 0 .. 1 a point, which only CSV files hold; empty: none
};

// ".frd" or ".csv" in any letter case.
bool IsResponseFile(const QString& fileName);

// `what` and `description` go into the FRD file's comments. Written whole or not at all; false with
// the Polish message naming the file.
bool Write(const QString& fileName, const TPoints& points, const QString& description, QString& failure,
           const QString& what = QStringLiteral("odpowiedź częstotliwościowa z odpowiedzi impulsowej"));

// Nothing, with the Polish message naming the file and its first bad line, for a file without points or
// with a line that is neither a comment nor a point. The coherence is read when every point has one.
std::optional<TPoints> Read(const QString& fileName, QString& failure);

} // namespace ResponseFile
