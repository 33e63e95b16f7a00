// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QCustomPlot;
class QIODevice;

// A chart (the main one or the analyser's) as a picture file: an Enhanced Metafile, SVG or PDF
// (vectors, as drawn on the screen) or PNG (pixels), at the chart's size on the screen.
namespace ChartExport {

enum class TFormat { Emf, Svg, Pdf, Png };

// Draws the chart onto `out`; false when the picture could not be drawn or written whole.
bool Render(QCustomPlot& chart, TFormat format, QIODevice& out);

// Writes the file whole or not at all; on false `failure` holds the Polish message.
bool Save(QCustomPlot& chart, const QString& fileName, TFormat format, QString& failure);

// "Kopiuj wykres": the chart on the clipboard as SVG and as a picture.
void CopyToClipboard(QCustomPlot& chart);

} // namespace ChartExport
