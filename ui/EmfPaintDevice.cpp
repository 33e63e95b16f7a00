// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/EmfPaintDevice.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QtEndian>
#include <cmath>
#include <optional>

namespace {

// Record types and values of the metafile format.
enum : quint32 {
    EmrHeader = 1,
    EmrPolygon = 3,
    EmrPolyline = 4,
    EmrPolyPolygon = 8,
    EmrEof = 14,
    EmrSetMapMode = 17,
    EmrSetBkMode = 18,
    EmrSetPolyFillMode = 19,
    EmrSetTextAlign = 22,
    EmrSetTextColor = 24,
    EmrIntersectClipRect = 30,
    EmrSaveDc = 33,
    EmrRestoreDc = 34,
    EmrSelectObject = 37,
    EmrCreateBrushIndirect = 39,
    EmrDeleteObject = 40,
    EmrStretchDiBits = 81,
    EmrExtCreateFontIndirectW = 82,
    EmrExtTextOutW = 84,
    EmrExtCreatePen = 95,
};
constexpr quint32 NullBrush = 0x80000005, NullPen = 0x80000008; // stock objects
constexpr quint32 PsGeometric = 0x00010000, PsNull = 5;
constexpr quint32 TaBaseline = 24, Transparent = 1, MmText = 1, GmCompatible = 1;
constexpr quint32 Alternate = 1, Winding = 2;
constexpr quint32 SrcCopy = 0x00CC0020;

quint32 ColourRef(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return quint32(rgb.red()) | quint32(rgb.green()) << 8 | quint32(rgb.blue()) << 16;
}

quint32 PenStyle(const QPen& pen)
{
    quint32 style = 0; // solid
    switch (pen.style()) {
    case Qt::DashLine:
        style = 1;
        break;
    case Qt::DotLine:
        style = 2;
        break;
    case Qt::DashDotLine:
        style = 3;
        break;
    case Qt::DashDotDotLine:
        style = 4;
        break;
    default:
        break;
    }
    // Square caps would close the short gaps of the metafile's dash patterns: dashes end flat.
    const quint32 cap = pen.capStyle() == Qt::FlatCap || style != 0 ? 0x200
                        : pen.capStyle() == Qt::SquareCap           ? 0x100
                                                                    : 0;
    const quint32 join = pen.joinStyle() == Qt::MiterJoin   ? 0x2000
                         : pen.joinStyle() == Qt::BevelJoin ? 0x1000
                                                            : 0;
    return PsGeometric | style | cap | join;
}

// One record being built: little-endian fields, padded to whole 32-bit words.
class TRecord
{
public:
    explicit TRecord(quint32 type) { U32(type).U32(0); }
    TRecord& U32(quint32 value) { return Raw(qToLittleEndian(value)); }
    TRecord& I32(qint32 value) { return Raw(qToLittleEndian(value)); }
    TRecord& U16(quint16 value) { return Raw(qToLittleEndian(value)); }
    TRecord& U8(quint8 value) { return Raw(value); }
    TRecord& F32(float value) { return Raw(qToLittleEndian(value)); }
    TRecord& Rect(const QRect& r) { return I32(r.left()).I32(r.top()).I32(r.right()).I32(r.bottom()); }
    TRecord& Bytes(const QByteArray& bytes)
    {
        Data += bytes;
        return *this;
    }
    qsizetype Size() const { return Data.size(); }
    QByteArray Finish()
    {
        while (Data.size() % 4 != 0)
            Data += '\0';
        qToLittleEndian(quint32(Data.size()), Data.data() + 4);
        return Data;
    }

private:
    template <class T> TRecord& Raw(T value)
    {
        Data.append(reinterpret_cast<const char*>(&value), sizeof value);
        return *this;
    }
    QByteArray Data;
};

} // namespace

class TEmfPaintEngine : public QPaintEngine
{
public:
    explicit TEmfPaintEngine(const QSize& units)
        : QPaintEngine(QPaintEngine::PaintEngineFeatures(QPaintEngine::AllFeatures) &
                       ~(QPaintEngine::PerspectiveTransform | QPaintEngine::ConicalGradientFill |
                         QPaintEngine::PorterDuff)),
          Units(units)
    {
    }

    bool begin(QPaintDevice*) override
    {
        Body.clear();
        Records = 0;
        PenHandle = BrushHandle = FontHandle = 0;
        AppliedClip.reset();
        DesiredClip.reset();
        Add(TRecord(EmrSetMapMode).U32(MmText));
        Add(TRecord(EmrSetBkMode).U32(Transparent));
        Add(TRecord(EmrSetTextAlign).U32(TaBaseline));
        FillMode = 0;
        setActive(true);
        return true;
    }

    bool end() override
    {
        ApplyClip(std::nullopt);
        TRecord eof(EmrEof);
        eof.U32(0).U32(16).U32(20);
        Add(eof);
        File = Header() + Body;
        return true;
    }

    void updateState(const QPaintEngineState& state) override
    {
        const QPaintEngine::DirtyFlags flags = state.state();
        if (flags & DirtyTransform)
            Matrix = state.transform();
        if (flags & DirtyPen)
            Pen = state.pen();
        if (flags & DirtyBrush)
            Brush = state.brush();
        if (flags & DirtyFont)
            Font = state.font();
        if (flags & DirtyClipEnabled && !state.isClipEnabled())
            DesiredClip.reset();
        if (flags & (DirtyClipRegion | DirtyClipPath)) {
            const QRectF area = flags & DirtyClipPath ? state.clipPath().boundingRect()
                                                      : QRectF(state.clipRegion().boundingRect());
            const QRectF mapped = Matrix.mapRect(area);
            switch (state.clipOperation()) {
            case Qt::NoClip:
                DesiredClip.reset();
                break;
            case Qt::IntersectClip:
                DesiredClip = DesiredClip ? DesiredClip->intersected(mapped) : mapped;
                break;
            default:
                DesiredClip = mapped;
            }
        }
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override
    {
        const QPolygon polygon = Mapped(points, count);
        if (mode == PolylineMode) {
            Prepare(true, false);
            Add(PolyRecord(EmrPolyline, polygon));
            return;
        }
        Prepare(true, true);
        SetFillMode(mode == WindingMode ? Winding : Alternate);
        Add(PolyRecord(EmrPolygon, polygon));
    }

    void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override
    {
        QPolygonF polygon;
        for (int i = 0; i < count; ++i)
            polygon << points[i];
        drawPolygon(polygon.constData(), count, mode);
    }

    void drawLines(const QLineF* lines, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QPointF ends[2] = {lines[i].p1(), lines[i].p2()};
            drawPolygon(ends, 2, PolylineMode);
        }
    }

    void drawRects(const QRectF* rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QPolygonF corners(rects[i]);
            drawPolygon(corners.constData(), 4, OddEvenMode);
        }
    }

    void drawPath(const QPainterPath& path) override
    {
        if (Visible(Brush)) {
            const QList<QPolygonF> fills = path.toFillPolygons();
            Prepare(false, true);
            SetFillMode(path.fillRule() == Qt::WindingFill ? Winding : Alternate);
            TRecord record(EmrPolyPolygon);
            QList<QPolygon> polygons;
            quint32 total = 0;
            QRect bounds;
            for (const QPolygonF& fill : fills) {
                polygons << Mapped(fill.constData(), int(fill.size()));
                total += quint32(polygons.back().size());
                bounds |= polygons.back().boundingRect();
            }
            record.Rect(bounds).U32(quint32(polygons.size())).U32(total);
            for (const QPolygon& polygon : polygons)
                record.U32(quint32(polygon.size()));
            for (const QPolygon& polygon : polygons)
                for (const QPoint& point : polygon)
                    record.I32(point.x()).I32(point.y());
            Add(record);
        }
        if (Pen.style() != Qt::NoPen)
            for (const QPolygonF& outline : path.toSubpathPolygons())
                drawPolygon(outline.constData(), int(outline.size()), PolylineMode);
    }

    void drawTextItem(const QPointF& position, const QTextItem& item) override
    {
        const QString text = item.text();
        if (text.isEmpty())
            return;
        const QFont font = item.font();
        const double scale = std::sqrt(std::abs(Matrix.determinant()));
        const double pixelSize =
            font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * TEmfPaintDevice::Dpi / 72.0;
        const QPointF along = Matrix.map(QPointF(1, 0)) - Matrix.map(QPointF(0, 0));
        const int escapement = int(std::lround(std::atan2(-along.y(), along.x()) * 1800.0 / M_PI));
        ApplyClip(DesiredClip);
        SelectFont(font, int(std::lround(pixelSize * scale)), escapement);
        Add(TRecord(EmrSetTextColor).U32(ColourRef(Pen.color())));

        const QPoint reference = Matrix.map(position).toPoint();
        const QFontMetricsF metrics(font, paintDevice());
        TRecord record(EmrExtTextOutW);
        const quint32 textOffset = 76;
        const quint32 chars = quint32(text.size());
        const quint32 dxOffset = textOffset + ((chars * 2 + 3) / 4) * 4;
        record.Rect(QRect()).U32(GmCompatible).F32(1).F32(1);
        record.I32(reference.x()).I32(reference.y()).U32(chars).U32(textOffset).U32(0);
        record.Rect(QRect()).U32(dxOffset);
        for (const QChar c : text)
            record.U16(c.unicode());
        while (record.Size() % 4 != 0)
            record.U8(0);
        for (const QChar c : text)
            record.I32(int(std::lround(metrics.horizontalAdvance(c) * scale)));
        Add(record);
    }

    void drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source) override
    {
        drawImage(target, pixmap.toImage(), source, Qt::AutoColor);
    }

    void drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                   Qt::ImageConversionFlags) override
    {
        const QImage part = image.copy(source.toAlignedRect()).convertToFormat(QImage::Format_RGB32);
        if (part.isNull())
            return;
        ApplyClip(DesiredClip);
        const QRect box = Matrix.mapRect(target).toRect();
        QByteArray bits;
        for (int row = part.height() - 1; row >= 0; --row) // bottom-up rows
            bits.append(reinterpret_cast<const char*>(part.constScanLine(row)), part.width() * 4);
        TRecord record(EmrStretchDiBits);
        record.Rect(box).I32(box.x()).I32(box.y()).I32(0).I32(0).I32(part.width()).I32(part.height());
        record.U32(80).U32(40).U32(120).U32(quint32(bits.size())).U32(0).U32(SrcCopy);
        record.I32(box.width()).I32(box.height());
        record.U32(40).I32(part.width()).I32(part.height()).U16(1).U16(32).U32(0).U32(quint32(bits.size()));
        record.I32(3780).I32(3780).U32(0).U32(0);
        record.Bytes(bits);
        Add(record);
    }

    Type type() const override { return QPaintEngine::User; }

    QByteArray File;

private:
    void Add(TRecord record)
    {
        Body += record.Finish();
        ++Records;
    }

    QPolygon Mapped(const QPointF* points, int count) const
    {
        QPolygon polygon(count);
        for (int i = 0; i < count; ++i)
            polygon[i] = Matrix.map(points[i]).toPoint();
        return polygon;
    }

    static TRecord PolyRecord(quint32 type, const QPolygon& polygon)
    {
        TRecord record(type);
        record.Rect(polygon.boundingRect()).U32(quint32(polygon.size()));
        for (const QPoint& point : polygon)
            record.I32(point.x()).I32(point.y());
        return record;
    }

    void SetFillMode(quint32 mode)
    {
        if (mode != FillMode)
            Add(TRecord(EmrSetPolyFillMode).U32(mode));
        FillMode = mode;
    }

    static bool Visible(const QBrush& brush)
    {
        return brush.style() != Qt::NoBrush && brush.color().alpha() != 0;
    }

    // Selects the current pen (or none) and brush (or none) before a drawing record.
    void Prepare(bool withPen, bool withBrush)
    {
        ApplyClip(DesiredClip);
        const bool pen = withPen && Pen.style() != Qt::NoPen;
        const double scale = std::sqrt(std::abs(Matrix.determinant()));
        const quint32 width = quint32(std::max(1L, std::lround(std::max(Pen.widthF(), 1.0) * scale)));
        const QString penKey = pen ? QString::number(PenStyle(Pen)) + '/' + QString::number(width) + '/' +
                                         QString::number(ColourRef(Pen.color()))
                                   : QString();
        if (penKey != SelectedPen) {
            SelectedPen = penKey;
            if (!pen) {
                Add(TRecord(EmrSelectObject).U32(NullPen));
            } else {
                const quint32 handle = NextHandle(PenHandle, 1);
                TRecord record(EmrExtCreatePen);
                record.U32(handle).U32(0).U32(0).U32(0).U32(0);
                record.U32(PenStyle(Pen)).U32(width).U32(0).U32(ColourRef(Pen.color())).U32(0).U32(0);
                Replace(record, PenHandle, handle);
            }
        }
        const bool brush = withBrush && Visible(Brush);
        const QString brushKey = brush ? QString::number(ColourRef(Brush.color())) : QString();
        if (brushKey != SelectedBrush) {
            SelectedBrush = brushKey;
            if (!brush) {
                Add(TRecord(EmrSelectObject).U32(NullBrush));
            } else {
                const quint32 handle = NextHandle(BrushHandle, 3);
                TRecord record(EmrCreateBrushIndirect);
                record.U32(handle).U32(0).U32(ColourRef(Brush.color())).U32(0);
                Replace(record, BrushHandle, handle);
            }
        }
    }

    void SelectFont(const QFont& font, int height, int escapement)
    {
        const QString key = font.key() + '/' + QString::number(height) + '/' + QString::number(escapement);
        if (key == SelectedFont)
            return;
        SelectedFont = key;
        const quint32 handle = NextHandle(FontHandle, 5);
        TRecord record(EmrExtCreateFontIndirectW);
        record.U32(handle).I32(-std::max(height, 1)).I32(0).I32(escapement).I32(escapement);
        record.I32(font.weight()).U8(font.italic()).U8(font.underline()).U8(font.strikeOut());
        record.U8(1).U8(0).U8(0).U8(0).U8(0); // default character set, precisions, quality and pitch
        const QString face = font.family().left(31);
        for (int i = 0; i < 32; ++i)
            record.U16(i < face.size() ? face.at(i).unicode() : 0);
        Replace(record, FontHandle, handle);
    }

    // Two handles per kind of object: the new one is made and selected before the old one goes.
    static quint32 NextHandle(quint32 current, quint32 first) { return current == first ? first + 1 : first; }

    void Replace(TRecord& create, quint32& current, quint32 handle)
    {
        Add(create);
        Add(TRecord(EmrSelectObject).U32(handle));
        if (current != 0)
            Add(TRecord(EmrDeleteObject).U32(current));
        current = handle;
    }

    // The clip lives in a saved device context: leaving it undoes the clip, and the selections made
    // inside it, which are then made again.
    void ApplyClip(const std::optional<QRectF>& clip)
    {
        if (clip == AppliedClip)
            return;
        if (AppliedClip) {
            Add(TRecord(EmrRestoreDc).I32(-1));
            // The objects live on; the next drawing selects fresh ones and lets these go.
            SelectedPen = SelectedBrush = SelectedFont = QStringLiteral("?");
            FillMode = 0;
        }
        AppliedClip = clip;
        if (clip) {
            Add(TRecord(EmrSaveDc));
            const QRect r = clip->toAlignedRect();
            Add(TRecord(EmrIntersectClipRect)
                    .I32(r.left())
                    .I32(r.top())
                    .I32(r.right() + 1)
                    .I32(r.bottom() + 1));
        }
    }

    QByteArray Header() const
    {
        const QRect bounds(0, 0, Units.width(), Units.height());
        const double unitsPerMm = TEmfPaintDevice::Dpi * TEmfPaintDevice::UnitsPerPixel / 25.4;
        auto hundredths = [&](int units) { return int(std::lround(units / unitsPerMm * 100.0)); };
        TRecord header(EmrHeader);
        header.Rect(bounds.adjusted(0, 0, -1, -1));
        header.I32(0).I32(0).I32(hundredths(Units.width()) - 1).I32(hundredths(Units.height()) - 1);
        header.U32(0x464D4520).U32(0x00010000).U32(0).U32(0).U16(7).U16(0).U32(0).U32(0).U32(0);
        header.I32(Units.width()).I32(Units.height());
        header.I32(int(std::lround(Units.width() / unitsPerMm)))
            .I32(int(std::lround(Units.height() / unitsPerMm)));
        header.U32(0).U32(0).U32(0);
        header.U32(quint32(std::lround(Units.width() / unitsPerMm * 1000)));
        header.U32(quint32(std::lround(Units.height() / unitsPerMm * 1000)));
        QByteArray bytes = header.Finish();
        qToLittleEndian(quint32(bytes.size() + Body.size()), bytes.data() + 48);
        qToLittleEndian(quint32(Records + 1), bytes.data() + 52);
        return bytes;
    }

    QSize Units;
    QByteArray Body;
    quint32 Records = 0;
    QTransform Matrix;
    QPen Pen;
    QBrush Brush;
    QFont Font;
    QString SelectedPen = QStringLiteral("?"), SelectedBrush = QStringLiteral("?"), SelectedFont;
    quint32 PenHandle = 0, BrushHandle = 0, FontHandle = 0;
    quint32 FillMode = 0;
    std::optional<QRectF> AppliedClip, DesiredClip;
};

TEmfPaintDevice::TEmfPaintDevice(const QSize& pixels)
    : PixelSize(pixels), Engine(std::make_unique<TEmfPaintEngine>(pixels * UnitsPerPixel))
{
}

TEmfPaintDevice::~TEmfPaintDevice() = default;

QPaintEngine* TEmfPaintDevice::paintEngine() const
{
    return Engine.get();
}

QByteArray TEmfPaintDevice::Bytes() const
{
    return Engine->File;
}

int TEmfPaintDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return PixelSize.width() * UnitsPerPixel;
    case PdmHeight:
        return PixelSize.height() * UnitsPerPixel;
    case PdmWidthMM:
        return int(std::lround(PixelSize.width() * 25.4 / Dpi));
    case PdmHeightMM:
        return int(std::lround(PixelSize.height() * 25.4 / Dpi));
    case PdmNumColors:
        return 0x7FFFFFFF;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return Dpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    default:
        return 0;
    }
}
