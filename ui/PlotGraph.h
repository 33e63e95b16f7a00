// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPen>
#include <QString>
#include <QVector>
#include <qcustomplot.h>

// A line graph of the windows' own charts, its points sorted by x.
inline QCPGraph* AddGraph(QCustomPlot* chart, const QVector<double>& x, const QVector<double>& y,
                          const QPen& pen, const QString& name)
{
    QCPGraph* graph = chart->addGraph();
    graph->setData(x, y, true);
    graph->setPen(pen);
    graph->setName(name);
    return graph;
}
