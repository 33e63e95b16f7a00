// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <array>
#include <optional>

class TRealTimeAnalyser;

// The spectrum analyser's figures as CSV for spreadsheets, as the other exchange files are written
// (";" between fields, the user's decimal separator, numbers in their shortest exact form, the file
// whole or not at all). The first header cell carries the conditions of the measurement:
// - bands: "Pasmo [Hz] (1/3 oktawy, korekcja A, stała czasowa F, Fp 48000 Hz, czas 20 s)", the exact
//   midband, then LAeq, LAFmax and the time-weighted level now of the left and the right channel;
// - spectrum: "Częstotliwość [Hz] (FFT 8192, okno flat-top, uśrednianie wykładnicze, ...)", then the
//   averaged spectrum and the peak hold of both channels, in dB or dB/Hz.
// calibration: dB added to each channel (the sound-pressure recording's offsets).
namespace AnalyserExport {

bool WriteBands(const QString& fileName, const TRealTimeAnalyser& analyser,
                const std::array<double, 2>& calibration, QString& failure);
bool WriteSpectrum(const QString& fileName, const TRealTimeAnalyser& analyser,
                   const std::array<double, 2>& calibration, bool density, QString& failure);

// The background noise at a listener for a room's speech transmission index, from a file that
// WriteBands wrote (or a spreadsheet saved again: ";", a tab or "," between fields, UTF-8 or
// Windows-1250): the Leq of the left and the right channel in the octaves 63 Hz to 8 kHz, dB. Only
// octave bands without weighting (Z) are taken, as the index asks for them. Nothing, with the Polish
// message naming the file and saying what it should be, for any other file.
inline constexpr std::array<double, 8> NoiseOctaves = {63, 125, 250, 500, 1000, 2000, 4000, 8000};
using TOctaveLevels = std::array<double, NoiseOctaves.size()>;
std::optional<std::array<TOctaveLevels, 2>> ReadOctaveNoise(const QString& fileName, QString& failure);

} // namespace AnalyserExport
