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

// Vectors, without the pixel caches the screen uses.
void Draw(QCustomPlot& chart, QPaintDevice& device, const QSize& size, double scale)
{
    QCPPainter painter(&device);
    if (!painter.isActive())
        return;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    chart.toPainter(&painter, size.width(), size.height());
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

QByteArray Render(QCustomPlot& chart, TFormat format)
{
    DrawNow(chart);
    const QSize size = chart.size().isEmpty() ? QSize(800, 600) : chart.size();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    switch (format) {
    case TFormat::Emf: {
        TEmfPaintDevice device(size);
        Draw(chart, device, size, TEmfPaintDevice::UnitsPerPixel);
        return device.Bytes();
    }
    case TFormat::Svg: {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("Tonvix"));
        Draw(chart, generator, size, 1);
        break;
    }
    case TFormat::Pdf: {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Tonvix"));
        writer.setResolution(TEmfPaintDevice::Dpi);
        writer.setPageSize(QPageSize(QSizeF(size) * 72.0 / TEmfPaintDevice::Dpi, QPageSize::Point));
        writer.setPageMargins(QMarginsF());
        Draw(chart, writer, size, 1);
        break;
    }
    case TFormat::Png:
        chart.toPixmap(size.width(), size.height()).save(&buffer, "PNG");
        break;
    }
    return bytes;
}

bool Save(QCustomPlot& chart, const QString& fileName, TFormat format, QString& failure)
{
    const QByteArray bytes = Render(chart, format);
    TSafeFile file(fileName);
    if (file.Open() && file.Write(bytes) && file.Commit())
        return true;
    failure = WriteFailureMessage(fileName, file.Reason());
    return false;
}

void CopyToClipboard(QCustomPlot& chart)
{
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/svg+xml"), Render(chart, TFormat::Svg));
    data->setImageData(chart.toPixmap().toImage());
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace ChartExport
