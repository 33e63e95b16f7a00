// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/ResultFile.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QIODevice;
class TAcquisitionQueue;

// The files other tools read and write, beside the program's own result files:
// - CSV for spreadsheets: UTF-8 with a byte-order mark, a header row, then one row per point, ";"
//   between the fields and the user's decimal separator. A recording has the columns time, left, right;
//   frequency results a pair of columns per series (frequency, level), shorter series ending in empty
//   cells, and a series of synchronously detected points twelve more after its level: phase, H2 to H9,
//   THD, THD+N and overload (1 or 0), a value not measured left empty. The headers carry what a result
//   file says of the measurement: "Czas [s] (czas uśredniania 0,125 s, Fp 48000 Hz)",
//   "Częstotliwość [Hz] (seria 1)", "<name> [dB] (kanał lewy, czas uśredniania 1 s, Fp 48000 Hz)",
//   "Faza [°] (seria 1)", "H2 [dB] (seria 1)", "THD+N [%] (seria 1)", "Przesterowanie (seria 1)".
// - FRD for crossover design tools: comment lines starting with "*", then "frequency level phase" a
//   line with "." decimals; the phase in degrees where it was measured, 0 otherwise. One series a file.
// Numbers are written in their shortest form that reads back as exactly the same value.
namespace ExchangeFile {

enum class TFormat { Levels, Csv, Frd };

// By the file name's extension in any letter case (".lev", ".csv", ".frd"); nothing for another one.
std::optional<TFormat> FormatOf(const QString& fileName);

// The files an FRD export writes: the name itself for one series; for several, each name gets its
// series number before the extension ("pomiar_1.frd", "pomiar_5.frd").
QStringList FrdFileNames(const QString& fileName, const std::vector<ResultFile::TSeriesColumn>& columns);

bool WriteSoundPressureCsv(const QString& fileName, const TAcquisitionQueue& queue,
                           const ResultFile::TRecordingConditions& conditions, QString& failure);
bool WriteFrequencyCsv(const QString& fileName, const std::vector<ResultFile::TSeriesColumn>& columns,
                       QString& failure);
bool WriteFrd(const QString& fileName, const ResultFile::TSeriesColumn& column, QString& failure);

// Reading, into the same sink as a result file's (ResultFile::Read). A CSV file without the program's
// headers is taken as frequency results: a series at every column titled as a frequency (with a phase
// from a column titled so), otherwise three columns as one series (frequency, level, phase) and an even
// number as (frequency, level) pairs, series 1, 2, ... without conditions. The phases of FRD files
// are read unless the program's own header says that the series' points had none.
ResultFile::TReadOutcome ReadCsv(QIODevice& file, ResultFile::ISink& sink);
ResultFile::TReadOutcome ReadFrd(QIODevice& file, ResultFile::ISink& sink);

// The cells of one line of a CSV file; quotes may hold separators. Nothing when a quote is left open.
std::optional<QStringList> CsvCells(const QString& line, QChar separator);
// The separator a CSV file's header line uses: ";", a tab, or ",".
QChar CsvSeparatorOf(const QString& header);

// Any of the three formats by the file's extension. False with the Polish message naming the file;
// a kind the sink keeps (KindKept) is no failure.
bool Read(const QString& fileName, ResultFile::ISink& sink, QString& failure);

// A recording as .lev or CSV, by the extension; the queue is only read.
bool WriteSoundPressure(const QString& fileName, const TAcquisitionQueue& queue,
                        const ResultFile::TRecordingConditions& conditions, QString& failure);
// Frequency results as .lev, CSV or FRD (one file a series, FrdFileNames), by the extension.
// `written` receives the names of the files put in place.
bool WriteFrequency(const QString& fileName, const std::vector<ResultFile::TSeriesColumn>& columns,
                    bool withNames, QString& failure, QStringList* written = nullptr);

} // namespace ExchangeFile
