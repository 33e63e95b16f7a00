// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ChartExport.h"

#include "results/SafeFile.h"
#include "ui/ChartView.h"
#include "ui/EmfPaintDevice.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>

namespace ChartExport {

namespace {

// Vectors, without the pixel caches the screen uses. False when the device took no painter.
bool Draw(QCustomPlot& chart, QPaintDevice& device, const QSize& size, double scale)
{
    QCPPainter painter;
    if (!painter.begin(&device))
        return false;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    chart.toPainter(&painter, size.width(), size.height());
    return painter.end();
}

// The main chart fits an automatic bottom axis only as it draws; any chart shows what it holds now.
void DrawNow(QCustomPlot& chart)
{
    if (auto* view = qobject_cast<TChartView*>(&chart))
        view->ReplotNow();
    else
        chart.replot();
}

} // namespace

bool Render(QCustomPlot& chart, TFormat format, QIODevice& out)
{
    DrawNow(chart);
    const TChartView::TPictureDrawing picture(chart);
    const QSize size = chart.size().isEmpty() ? QSize(800, 600) : chart.size();
    switch (format) {
    case TFormat::Emf: {
        TEmfPaintDevice device(size);
        if (!Draw(chart, device, size, TEmfPaintDevice::UnitsPerPixel))
            return false;
        const QByteArray bytes = device.Bytes();
        return out.write(bytes) == bytes.size();
    }
    case TFormat::Svg: {
        QSvgGenerator generator;
        generator.setOutputDevice(&out);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("Tonvix"));
        return Draw(chart, generator, size, 1);
    }
    case TFormat::Pdf: { // drawn in memory first: the PDF writer says nothing of a failed write
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Tonvix"));
        writer.setResolution(TEmfPaintDevice::Dpi);
        writer.setPageSize(QPageSize(QSizeF(size) * 72.0 / TEmfPaintDevice::Dpi, QPageSize::Point));
        writer.setPageMargins(QMarginsF());
        return Draw(chart, writer, size, 1) && out.write(bytes) == bytes.size();
    }
    case TFormat::Png: {
        const QPixmap pixels = chart.toPixmap(size.width(), size.height());
        return !pixels.isNull() && pixels.save(&out, "PNG");
    }
    }
    return false;
}

bool Save(QCustomPlot& chart, const QString& fileName, TFormat format, QString& failure)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!Render(chart, format, buffer)) {
        failure = WriteFailureMessage(fileName, QStringLiteral("nie udało się narysować wykresu"));
        return false;
    }
    TSafeFile file(fileName);
    if (file.Open() && file.Write(bytes) && file.Commit())
        return true;
    failure = WriteFailureMessage(fileName, file.Reason());
    return false;
}

void CopyToClipboard(QCustomPlot& chart)
{
    DrawNow(chart);
    const TChartView::TPictureDrawing picture(chart);
    QByteArray svg;
    QBuffer buffer(&svg);
    buffer.open(QIODevice::WriteOnly);
    auto* data = new QMimeData;
    if (Render(chart, TFormat::Svg, buffer))
        data->setData(QStringLiteral("image/svg+xml"), svg);
    data->setImageData(chart.toPixmap().toImage());
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace ChartExport
