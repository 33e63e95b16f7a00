// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SonogramView.h"

#include <algorithm>
#include <cmath>

namespace {

// Nothing measured yet: below every colour of the scale.
constexpr double Empty = -1000;

// The frequency axis runs in decades (log10 of Hz): a colour map draws on linear axes only.
QSharedPointer<QCPAxisTickerText> DecadeTicker()
{
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    const std::pair<double, const char*> labels[] = {
        {10, "10"},   {20, "20"},   {50, "50"},   {100, "100"},   {200, "200"},  {500, "500"},
        {1000, "1k"}, {2000, "2k"}, {5000, "5k"}, {10000, "10k"}, {20000, "20k"}};
    for (const auto& [hertz, text] : labels)
        ticker->addTick(std::log10(hertz), QString::fromLatin1(text));
    return ticker;
}

// A perceptually uniform map, dark violet through blue and green to yellow: equal steps in level look
// like equal steps in colour, and the lightness rises all the way, so that a smooth level shows no
// false edges (a rainbow's bright yellow and cyan bands draw them) and reads in grey too.
QCPColorGradient PerceptualGradient()
{
    QCPColorGradient gradient;
    gradient.setColorInterpolation(QCPColorGradient::ciRGB);
    const QRgb stops[] = {0x440154, 0x472D7B, 0x3B528B, 0x2C728E, 0x21908C,
                          0x27AD81, 0x5DC863, 0xAADC32, 0xFDE725};
    const auto last = static_cast<double>(std::size(stops) - 1);
    for (std::size_t i = 0; i < std::size(stops); ++i)
        gradient.setColorStopAt(static_cast<double>(i) / last, QColor(stops[i]));
    return gradient;
}

} // namespace

TSonogramView::TSonogramView(QWidget* parent)
    : QCustomPlot(parent), Map(new QCPColorMap(xAxis, yAxis)), Scale(new QCPColorScale(this))
{
    setObjectName(QStringLiteral("chtSpektrogram"));
    setBackground(Qt::white);
    xAxis->setLabel(QStringLiteral("Czas [s]"));
    yAxis->setLabel(QStringLiteral("Częstotliwość [Hz]"));
    yAxis->setTicker(DecadeTicker());
    plotLayout()->addElement(0, 1, Scale);
    Scale->setType(QCPAxis::atRight);
    Map->setColorScale(Scale);
    Map->setGradient(PerceptualGradient());
    Map->setInterpolate(false);
    QCPMarginGroup* margins = new QCPMarginGroup(this);
    axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    Scale->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    SetRows(10, 20000, 1, 0.1);
    SetLevelRange(-100, 0, QStringLiteral("dB"));
}

void TSonogramView::SetRows(double lowest, double highest, int rows, double columnSeconds)
{
    Lowest = lowest;
    Highest = highest;
    RowCount = std::max(rows, 1);
    History.assign(static_cast<std::size_t>(Columns * RowCount), Empty);
    Column.assign(static_cast<std::size_t>(RowCount), Empty);
    Next = 0;
    const double rowHeight = (std::log10(highest) - std::log10(lowest)) / RowCount;
    const double span = Columns * columnSeconds;
    // Cell centres: the columns from -span to 0 s, the rows half a row inside the edges.
    Map->data()->setSize(Columns, RowCount);
    Map->data()->setRange(QCPRange(-span + columnSeconds, 0),
                          QCPRange(std::log10(lowest) + rowHeight / 2, std::log10(highest) - rowHeight / 2));
    xAxis->setRange(-span + columnSeconds / 2, columnSeconds / 2);
    yAxis->setRange(std::log10(lowest), std::log10(highest));
    Redraw();
}

void TSonogramView::Clear()
{
    std::fill(History.begin(), History.end(), Empty);
    Redraw();
}

void TSonogramView::SetLevelRange(double lowest, double highest, const QString& unit)
{
    Map->setDataRange(QCPRange(lowest, highest));
    Scale->axis()->setLabel(unit);
}

void TSonogramView::AddColumn(std::span<const double> frequencies, std::span<const double> levels)
{
    const double step = (std::log10(Highest) - std::log10(Lowest)) / RowCount;
    std::size_t bin = 0;
    for (int row = 0; row < RowCount; ++row) {
        const double lower = std::pow(10.0, std::log10(Lowest) + step * row);
        const double upper = std::pow(10.0, std::log10(Lowest) + step * (row + 1));
        while (bin < frequencies.size() && frequencies[bin] < lower)
            ++bin;
        double level = Empty;
        std::size_t inside = bin;
        for (; inside < frequencies.size() && frequencies[inside] < upper; ++inside)
            level = std::max(level, levels[inside]);
        if (inside == bin && bin > 0 && bin < frequencies.size()) {
            // A row narrower than the spacing of the frequencies: straight between the two around it.
            const double centre = std::sqrt(lower * upper);
            const double share =
                std::log(centre / frequencies[bin - 1]) / std::log(frequencies[bin] / frequencies[bin - 1]);
            level = levels[bin - 1] + share * (levels[bin] - levels[bin - 1]);
        }
        Column[static_cast<std::size_t>(row)] = level;
    }
    std::copy(Column.begin(), Column.end(), History.begin() + std::ptrdiff_t(Next) * RowCount);
    Next = (Next + 1) % Columns;
    Redraw();
}

double TSonogramView::Newest(int row) const
{
    const int column = (Next + Columns - 1) % Columns;
    return History[static_cast<std::size_t>(column * RowCount + row)];
}

void TSonogramView::Redraw()
{
    QCPColorMapData* data = Map->data();
    for (int column = 0; column < Columns; ++column) {
        const int stored = (Next + column) % Columns; // the oldest first
        for (int row = 0; row < RowCount; ++row)
            data->setCell(column, row, History[static_cast<std::size_t>(stored * RowCount + row)]);
    }
    replot(QCustomPlot::rpQueuedReplot);
}
