// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qcustomplot.h>
#include <span>
#include <vector>

// The analyser's spectrogram "chtSpektrogram": the last minute of one channel's levels as colours,
// time across (the newest column at the right edge, 0 s) and frequency up on a logarithmic scale,
// with the colour scale in dB beside it, in a perceptually uniform map.
class TSonogramView : public QCustomPlot
{
    Q_OBJECT
public:
    static constexpr int Columns = 300; // a minute at five columns a second

    explicit TSonogramView(QWidget* parent = nullptr);

    // Rows evenly spaced on a logarithmic scale from `lowest` to `highest` Hz (their outer edges);
    // columns gone before are cleared.
    void SetRows(double lowest, double highest, int rows, double columnSeconds);
    // A column from levels (dB) at ascending frequencies: a row takes the loudest level inside it, or
    // what lies between its neighbours where it holds none.
    void AddColumn(std::span<const double> frequencies, std::span<const double> levels);
    void Clear();
    void SetLevelRange(double lowest, double highest, const QString& unit);
    int Rows() const { return RowCount; }
    // The level in a row of the newest column (tests).
    double Newest(int row) const;

private:
    void Redraw();

    QCPColorMap* Map;
    QCPColorScale* Scale;
    int RowCount = 1;
    double Lowest = 10, Highest = 20000;
    std::vector<double> History; // Columns x RowCount, column after column, a ring
    int Next = 0;                // the column the next AddColumn writes
    std::vector<double> Column;  // the row levels being built
};
