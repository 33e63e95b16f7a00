// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QIODevice;
class TChartView;

// The chart as a picture file: an Enhanced Metafile, SVG or PDF (vectors, as drawn on the screen) or
// PNG (pixels), at the chart's size on the screen.
namespace ChartExport {

enum class TFormat { Emf, Svg, Pdf, Png };

// Draws the chart onto `out`; false when the picture could not be drawn or written whole.
bool Render(TChartView& chart, TFormat format, QIODevice& out);

// Writes the file whole or not at all; on false `failure` holds the Polish message.
bool Save(TChartView& chart, const QString& fileName, TFormat format, QString& failure);

} // namespace ChartExport
