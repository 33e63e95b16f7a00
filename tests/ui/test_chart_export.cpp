// SPDX-License-Identifier: GPL-3.0-or-later
// The chart as a picture file: the metafile's records as other programs read them, and the three
// other formats, drawn with antialiased lines.

#include "common/ChartModel.h"
#include "ui/ChartExport.h"
#include "ui/ChartView.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTest>
#include <QtEndian>
#include <cmath>

namespace {

struct TEmfRecord
{
    quint32 Type;
    QByteArray Data; // the whole record
    quint32 U32(int offset) const { return qFromLittleEndian<quint32>(Data.constData() + offset); }
};

// Splits a metafile into its records; an inconsistent size ends the test.
std::vector<TEmfRecord> Records(const QByteArray& file)
{
    std::vector<TEmfRecord> records;
    qsizetype at = 0;
    while (at + 8 <= file.size()) {
        const auto type = qFromLittleEndian<quint32>(file.constData() + at);
        const auto size = qFromLittleEndian<quint32>(file.constData() + at + 4);
        if (size < 8 || size % 4 != 0 || at + size > file.size())
            qFatal("record %u at %lld has size %u", type, static_cast<long long>(at), size);
        records.push_back({type, file.mid(at, size)});
        at += size;
    }
    if (at != file.size())
        qFatal("trailing bytes");
    return records;
}

QByteArray Rendered(TChartView& chart, ChartExport::TFormat format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!ChartExport::Render(chart, format, buffer))
        qFatal("the chart was not drawn");
    return bytes;
}

// Pixels where a red line on white blends into the white: none where the line is not antialiased.
int BlendedRedPixels(const QImage& image)
{
    int blended = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            blended += colour.red() == 255 && colour.green() == colour.blue() && colour.green() > 0 &&
                       colour.green() < 255;
        }
    return blended;
}

QString Text(const TEmfRecord& textOut)
{
    const quint32 chars = textOut.U32(44), offset = textOut.U32(48);
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(textOut.Data.constData() + offset), chars);
}

} // namespace

class TestChartExport : public QObject
{
    Q_OBJECT

    TChartModel Model;
    std::unique_ptr<TChartView> Chart;
    // Kept beside the test's home, for a look at them in other programs.
    QString Output = qEnvironmentVariable("TONVIX_TEST_HOME", QDir::tempPath());

private slots:
    void initTestCase()
    {
        Model.SetVisible(0, true);
        Model.SetVisible(1, true);
        for (int i = 0; i <= 60; ++i) {
            const double f = 20 * std::pow(1000.0, i / 60.0);
            Model.Append(0, f, -20 - 10 * std::sin(i / 8.0));
            Model.Append(1, f, -120 + i); // leaves the level range: clipped
        }
        Chart = std::make_unique<TChartView>(Model);
        Chart->resize(640, 400);
        Chart->SetSeriesPen(1, 0xFF0000, Qt::DashLine, 2);
        Chart->SetMeasurementKind(TMeasurementKind::FrequencyCharacteristic);
        Chart->SetBottomTitle("Częstotliwość [Hz]");
        Chart->SetBottomLabelFormat("####.");
        Chart->SetBottomLogarithmic(true);
        Chart->SetBottomRange(20, 20000);
        Chart->SetLevelRange(-90, 0);
        Chart->SetLegendVisible(true);
        Chart->show();
        QVERIFY(QTest::qWaitForWindowExposed(Chart.get()));
    }

    // A well-formed metafile of the chart as drawn: its size and record count in the header, the
    // series' pens with their colours and styles, the texts in Unicode with the level title turned
    // upright, and the plot clipped to the axes.
    void metafileOfTheChart()
    {
        const QByteArray file = Rendered(*Chart, ChartExport::TFormat::Emf);
        const std::vector<TEmfRecord> records = Records(file);
        QCOMPARE(records.front().Type, quint32(1));
        QCOMPARE(records.front().U32(40), quint32(0x464D4520)); // " EMF"
        QCOMPARE(records.front().U32(48), quint32(file.size()));
        QCOMPARE(records.front().U32(52), quint32(records.size()));
        QCOMPARE(records.back().Type, quint32(14));

        QStringList texts;
        bool redPen = false, blueDashedPen = false, clipped = false, uprightFont = false;
        int polylines = 0;
        for (const TEmfRecord& record : records) {
            switch (record.Type) {
            case 84:
                texts << Text(record);
                break;
            case 95: // pen style at 28, width at 32, colour at 40
                redPen = redPen || record.U32(40) == 0x0000FF;
                blueDashedPen = blueDashedPen || (record.U32(40) == 0xFF0000 && (record.U32(28) & 0xF) == 1 &&
                                                  record.U32(32) == 8);
                break;
            case 82:
                uprightFont = uprightFont || record.U32(20) == 900;
                break;
            case 30:
                clipped = true;
                break;
            case 4:
                ++polylines;
                break;
            }
        }
        QVERIFY(texts.contains("Poziom [dB]"));
        QVERIFY(texts.contains("Częstotliwość [Hz]"));
        QVERIFY(texts.contains("1k"));
        QVERIFY(redPen);
        QVERIFY(blueDashedPen); // width 2 pixels: 8 quarter pixels
        QVERIFY(uprightFont);
        QVERIFY(clipped);
        QVERIFY(polylines > 10);
        QString failure;
        QVERIFY(ChartExport::Save(*Chart, Output + "/wykres.emf", ChartExport::TFormat::Emf, failure));
    }

    void otherFormats_data()
    {
        QTest::addColumn<ChartExport::TFormat>("format");
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<QString>("name");
        QTest::newRow("svg") << ChartExport::TFormat::Svg << QByteArray("<?xml") << "wykres.svg";
        QTest::newRow("pdf") << ChartExport::TFormat::Pdf << QByteArray("%PDF") << "wykres.pdf";
        QTest::newRow("png") << ChartExport::TFormat::Png << QByteArray("\x89PNG") << "wykres.png";
    }
    void otherFormats()
    {
        QFETCH(ChartExport::TFormat, format);
        QFETCH(QByteArray, start);
        QFETCH(QString, name);
        const QByteArray file = Rendered(*Chart, format);
        QVERIFY(file.startsWith(start));
        QVERIFY(file.size() > 1000);
        QString failure;
        QVERIFY(ChartExport::Save(*Chart, Output + '/' + name, format, failure));
    }

    // A sloped line is antialiased in a picture whatever its count of points, and on the screen while
    // the points are few enough to replot within a frame.
    void linesAntialiased()
    {
        for (const int points : {2, TChartView::AntialiasedPointLimit + 1}) {
            TChartModel model;
            model.SetVisible(0, true);
            for (int i = 0; i < points; ++i)
                model.Append(0, 1 + i / (points - 1.0), -80 + 70.0 * i / (points - 1));
            TChartView chart(model);
            chart.resize(400, 300);
            chart.SetSeriesPen(0, 0x0000FF, Qt::SolidLine, 1);
            chart.SetBottomRange(1, 2);
            chart.SetLevelRange(-90, 0);
            chart.show();
            QVERIFY(QTest::qWaitForWindowExposed(&chart));
            chart.ReplotNow();
            QCOMPARE(BlendedRedPixels(chart.grab().toImage()) > 0,
                     points <= TChartView::AntialiasedPointLimit);
            QVERIFY(BlendedRedPixels(QImage::fromData(Rendered(chart, ChartExport::TFormat::Png))) > 100);
        }
    }

    // Onto a device that takes nothing, the painter never begins or the bytes are not written: no
    // format reports that as drawn.
    void aPictureNotWrittenIsNoSuccess()
    {
        for (const auto format : {ChartExport::TFormat::Emf, ChartExport::TFormat::Svg,
                                  ChartExport::TFormat::Pdf, ChartExport::TFormat::Png}) {
            QByteArray none;
            QBuffer refusing(&none);
            refusing.open(QIODevice::ReadOnly);
            QVERIFY2(!ChartExport::Render(*Chart, format, refusing),
                     qPrintable(QString::number(int(format))));
        }
    }
};

QTEST_MAIN(TestChartExport)
#include "test_chart_export.moc"
