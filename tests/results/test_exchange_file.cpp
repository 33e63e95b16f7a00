// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange files: CSV and FRD written under either decimal separator read back to exactly the
// numbers written, with the conditions and names their headers carry; files from other programs.

#include "common/NumberFormat.h"
#include "results/AcquisitionQueue.h"
#include "results/ExchangeFile.h"
#include "results/ResultSet.h"
#include "results/SeriesStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

// Values whose shortest exact form is long, negative, tiny or at the silence floor.
const std::vector<std::pair<double, double>> Points = {
    {20, -200}, {1258.9254117941673, -45.123456789012345}, {1000, 0.001}, {19999.999, 3.0103}};

// What synchronous detection leaves with a point: a harmonic or distortion not measured stays so, and
// the third point overloaded.
TPointDetail DetailOf(int point)
{
    TPointDetail detail;
    detail.Measured = TPointDetail::PhaseMeasured | TPointDetail::ThdNMeasured;
    detail.Phase = -179.99999999999997 + point;
    for (int k = 2; k <= 9 - point; ++k)
        detail.SetHarmonic(k, -200 + k * 1.0000000000000002);
    if (point != 1) {
        detail.Thd = 0.0012345678901234567;
        detail.Measured |= TPointDetail::ThdMeasured;
    }
    detail.ThdN = 12.5 * point;
    detail.Overloaded = point == 2;
    detail.Unsettled = point == 1;
    if (point == 3) { // a point whose phase was not measured (two cards' clocks, nothing heard)
        detail.Measured &= ~TPointDetail::PhaseMeasured;
        detail.Phase = 0;
    }
    return detail;
}

std::unique_ptr<TResultSet> ReadBack(const QString& path)
{
    auto results = std::make_unique<TResultSet>();
    QString failure;
    if (!ExchangeFile::Read(path, *results, failure))
        qFatal("%s", qPrintable(failure));
    return results;
}

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

class TestExchangeFile : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    QString Path(const QString& name) const { return Folder.filePath(name); }

private slots:
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    void writtenUnderEitherSeparatorReadsBackExactly_data()
    {
        QTest::addColumn<QChar>("written");
        QTest::addColumn<QChar>("read");
        QTest::newRow("comma, read under point") << QChar(',') << QChar('.');
        QTest::newRow("point, read under comma") << QChar('.') << QChar(',');
        QTest::newRow("U+066B, read under point")
            << QChar(NumberFormat::ArabicDecimalSeparator) << QChar('.');
    }
    void writtenUnderEitherSeparatorReadsBackExactly()
    {
        QFETCH(QChar, written);
        QFETCH(QChar, read);
        NumberFormat::SetDecimalSeparator(written);
        TChartSeriesData first, second;
        for (const auto& [x, y] : Points) {
            const TPointDetail detail = DetailOf(first.Count());
            first.Append(x, y, &detail);
        }
        second.Append(100, -12.5);
        SeriesSlot measured{48000, 2, 0.125, true, -1.5, true, true, 2};
        const std::vector<ResultFile::TSeriesColumn> columns{
            {0, "Głośnik; nisko\"tonowy\"", measured, &first}, {4, "", SeriesSlot{}, &second}};
        TAcquisitionQueue queue;
        for (double value : {0.25, -45.123456789012345, -200.0, 0.5, 12.0, 0.001})
            queue.Enqueue(value);
        QString failure;
        QVERIFY2(ExchangeFile::WriteFrequency(Path("f.csv"), columns, true, failure), qPrintable(failure));
        QStringList frd;
        QVERIFY2(ExchangeFile::WriteFrequency(Path("f.frd"), columns, true, failure, &frd),
                 qPrintable(failure));
        QCOMPARE(frd, QStringList({Path("f_1.frd"), Path("f_5.frd")}));
        QVERIFY2(ExchangeFile::WriteSoundPressure(Path("p.csv"), queue, {1, 44100, TFrequencyWeighting::A},
                                                  failure),
                 qPrintable(failure));

        // Spreadsheets read a CSV file as UTF-8 only with a byte-order mark.
        for (const char* csv : {"f.csv", "p.csv"}) {
            QFile file(Path(csv));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.read(3), QByteArray("\xEF\xBB\xBF"));
        }

        NumberFormat::SetDecimalSeparator(read);
        for (const QString& name : {QStringLiteral("f.csv"), QStringLiteral("f_1.frd")}) {
            const auto results = ReadBack(Path(name));
            QCOMPARE(results->Kind(), TMeasurementKind::FrequencyCharacteristic);
            const auto back = results->Columns();
            QCOMPARE(int(back.size()), name.endsWith("csv") ? 2 : 1);
            QCOMPARE(back[0].Slot, 0);
            QCOMPARE(back[0].Name, QString("Głośnik; nisko\"tonowy\""));
            QVERIFY(back[0].Record.SlotMeasured && back[0].Record.SlotMicrophoneCorrected);
            QCOMPARE(back[0].Record.SlotChannel, std::uint8_t(2));
            QCOMPARE(back[0].Record.SlotFrameRate, 48000);
            QVERIFY(back[0].Record.SlotAveragingTime == 0.125);
            QVERIFY(back[0].Record.SlotSynchronous);
            QCOMPARE(back[0].Record.SlotReference, std::uint8_t(2));
            QCOMPARE(back[0].Points->Count(), first.Count());
            for (int i = 0; i < first.Count(); ++i) {
                QVERIFY2(back[0].Points->X(i) == first.X(i) && back[0].Points->Y(i) == first.Y(i),
                         qPrintable(QString("point %1 of %2").arg(i).arg(name)));
                // CSV keeps the whole detail; FRD the phase, where one was measured (none reads back as
                // none, not as 0).
                TPointDetail expected = *first.Detail(i);
                if (name.endsWith("frd")) {
                    const bool phased = expected.Has(TPointDetail::PhaseMeasured);
                    expected = TPointDetail{};
                    expected.Measured = phased ? TPointDetail::PhaseMeasured : 0u;
                    expected.Phase = phased ? first.Detail(i)->Phase : 0.0;
                }
                QVERIFY2(*back[0].Points->Detail(i) == expected,
                         qPrintable(QString("detail %1 of %2").arg(i).arg(name)));
            }
            if (back.size() == 2) { // the shorter, unmeasured series, without a name
                QCOMPARE(back[1].Slot, 4);
                QCOMPARE(back[1].Name, TSeriesStore::DefaultName(4));
                QVERIFY(!back[1].Record.SlotMeasured);
                QCOMPARE(back[1].Points->Count(), 1);
                QVERIFY(!back[1].Points->HasDetails());
            }
        }
        const auto pressure = ReadBack(Path("p.csv"));
        QCOMPARE(pressure->Kind(), TMeasurementKind::SoundPressure);
        QCOMPARE(pressure->Conditions().FrameRate, 44100);
        QCOMPARE(pressure->Conditions().Weighting, TFrequencyWeighting::A);
        std::vector<double> values;
        pressure->Ticks().ForEach([&](double value) { values.push_back(value); });
        QVERIFY(values == std::vector<double>({0.25, -45.123456789012345, -200.0, 0.5, 12.0, 0.001}));
    }

    // What a spreadsheet or another program may hand over.
    void filesOfOtherPrograms()
    {
        // A spreadsheet's own header, in Windows-1250, with commas for decimals; a row short of a value.
        Write(Path("arkusz.csv"), QByteArray("Hz;Poziom wzmacniacza \xb3\xb9\x63znie [dB]\r\n"
                                             "20;-3,5\r\n\"1000\";\"0,25\"\r\n"));
        const auto sheetFile = ReadBack(Path("arkusz.csv"));
        const auto sheet = sheetFile->Columns();
        QCOMPARE(sheet.size(), std::size_t(1));
        QCOMPARE(sheet[0].Name, QString("Poziom wzmacniacza łącznie"));
        QVERIFY(!sheet[0].Record.SlotMeasured);
        QCOMPARE(sheet[0].Points->Count(), 2);
        QVERIFY(sheet[0].Points->Y(1) == 0.25);

        // Numbers alone, commas between them: two series.
        Write(Path("liczby.csv"), "20.5,-1.25,30,-2\n40,-3,,\n");
        const auto numbersFile = ReadBack(Path("liczby.csv"));
        const auto numbers = numbersFile->Columns();
        QCOMPARE(numbers.size(), std::size_t(2));
        QCOMPARE(numbers[0].Points->Count(), 2);
        QCOMPARE(numbers[1].Points->Count(), 1);

        // An FRD file of another tool: quoted and hash comments, tabs, a phase, a byte-order mark.
        Write(Path("inny.frd"), "\xEF\xBB\xBF\"Driver X\"\r\n# measured at 1 m\r\n20\t-10.5\t-45.2\r\n"
                                "20000\t-12\t30\r\n");
        const auto driverFile = ReadBack(Path("inny.frd"));
        const auto driver = driverFile->Columns();
        QCOMPARE(driver[0].Points->Count(), 2);
        QVERIFY(driver[0].Points->Y(0) == -10.5);

        // Responses other programs export: frequency, level and phase with titles, "." decimals and
        // "," between the fields; an FRD file with ";" comments and a comma and blanks after the frequency.
        Write(Path("odpowiedz.csv"), "Freq (Hz),SPL (dB),Phase (deg)\r\n20,-10.5,-45.25\r\n"
                                     "20000,-12,30\r\n");
        Write(Path("producent.frd"), "; Driver Y\r\n; 1 m, 2.83 V\r\n781.25,  0.7222968\r\n"
                                     "1000,\t-1.5, 12\r\n");
        for (const char* response : {"odpowiedz.csv", "producent.frd"}) {
            const auto responseFile = ReadBack(Path(response));
            const auto columns = responseFile->Columns();
            QCOMPARE(columns.size(), std::size_t(1));
            QCOMPARE(columns[0].Points->Count(), 2);
        }
        const auto exported = ReadBack(Path("odpowiedz.csv"));
        QCOMPARE(exported->Columns()[0].Name, QString("SPL"));
        QVERIFY(exported->Columns()[0].Points->X(1) == 20000 && exported->Columns()[0].Points->Y(0) == -10.5);
        // Their phases come along; a line without one has none.
        for (const auto* response : {exported.get(), driverFile.get()}) {
            const TChartSeriesData& points = *response->Columns()[0].Points;
            QVERIFY(points.Detail(0)->Has(TPointDetail::PhaseMeasured) && points.Detail(1)->Phase == 30);
        }
        const auto producer = ReadBack(Path("producent.frd"));
        const TChartSeriesData& producerPoints = *producer->Columns()[0].Points;
        QVERIFY(producerPoints.Y(0) == 0.7222968);
        QVERIFY(!producerPoints.Detail(0)->Has(TPointDetail::PhaseMeasured) &&
                producerPoints.Detail(1)->Phase == 12);

        // A cell that is no number: the program's message, with the file's name.
        Write(Path("zly.csv"), "Częstotliwość [Hz] (seria 1);Seria 0 [dB]\r\n100;abc\r\n");
        Write(Path("zly.frd"), "* Seria 1: x\n100 -3 0 7\n");
        for (const char* bad : {"zly.csv", "zly.frd"}) {
            TResultSet results;
            QString failure;
            QVERIFY(!ExchangeFile::Read(Path(bad), results, failure));
            QCOMPARE(failure, Path(bad) + ": Nieprawidłowy format pliku!");
        }
    }
};

QTEST_GUILESS_MAIN(TestExchangeFile)
#include "test_exchange_file.moc"
