// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QPaintDevice>
#include <QSize>
#include <memory>

class TEmfPaintEngine;

// A paint device that records what is painted on it as an Enhanced Metafile: lines, polygons and
// paths as EMF drawing records with their pens and brushes, text as Unicode text records in its font
// (turned as painted), clipping to rectangles and images as device-independent bitmaps. The file keeps
// its drawing as vectors, so the programs that open it can scale and edit it.
//
// The device is the given size in pixels at 96 dots an inch; drawing is kept in units of a quarter
// pixel (paint through a painter scaled by UnitsPerPixel), so that fractional coordinates survive.
class TEmfPaintDevice : public QPaintDevice
{
public:
    static constexpr int UnitsPerPixel = 4;
    static constexpr int Dpi = 96;

    explicit TEmfPaintDevice(const QSize& pixels);
    ~TEmfPaintDevice() override;

    QPaintEngine* paintEngine() const override;
    QSize Pixels() const { return PixelSize; }
    // The complete file, once the painter on the device has ended.
    QByteArray Bytes() const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize PixelSize;
    std::unique_ptr<TEmfPaintEngine> Engine;
};
