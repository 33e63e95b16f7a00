// SPDX-License-Identifier: GPL-3.0-or-later
// The page "Akustyka pomieszczenia" of the window "Odpowiedź impulsowa" as a user works it: two rooms
// opened from WAV files, their figures in the table (octaves, then thirds) once worked out beside the
// window, their decay curves side by side, the full index from a typed speech level and noise and from
// the spectrum analyser's file, the table saved as CSV under either decimal separator, the choices kept
// for the next run; and the window fitting a 1366x720 screen with its sweep-length list whole.

#include "AnalyserFiles.h"
#include "SyntheticRooms.h"
#include "WindowTestSupport.h"

#include "common/NumberFormat.h"
#include "results/WaveFile.h"
#include "settings/SettingsStore.h"
#include "ui/OknoOdpowiedzImpulsowa.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <qcustomplot.h>

class TestRoomPage : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    std::unique_ptr<TSettingsStore> Settings;
    std::unique_ptr<TFormaGlowna> Main;
    TFormaOdpowiedzImpulsowa* Window = nullptr;

    template <class T> T* Control(const char* name) { return FindControl<T>(*Window, name); }
    QTableWidget* Table() { return Control<QTableWidget>("tblAkustyka"); }
    QString Cell(const QString& band, int column)
    {
        for (int row = 0; row < Table()->rowCount(); ++row)
            if (Table()->item(row, 0)->text() == band)
                return Table()->item(row, column)->text();
        return QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Folder.isValid());
        Settings = std::make_unique<TSettingsStore>(Folder.filePath("Tonvix.ini"));
        Main = OpenWindowOnVirtualCard();
        QVERIFY(Main);
        FindControl<QAction>(*Main, "mmiOdpowiedzImpulsowa")->trigger();
        Window = Main->findChild<TFormaOdpowiedzImpulsowa*>("FormaOdpowiedzImpulsowa");
        QVERIFY(Window && Window->isVisible());
        QVERIFY(Control<QLineEdit>("edtHalasTla")->text().isEmpty()); // nothing kept from an earlier run
        // Two rooms, 1.0 s and 0.5 s, as 16-bit and float files.
        QString failure;
        QVERIFY2(WaveFile::Write(Folder.filePath("sala.wav"), DecayingTones(1.0, 70, 48000, 2.5, 30), 48000,
                                 0, failure),
                 qPrintable(failure));
        QVERIFY2(WaveFile::Write(Folder.filePath("studio.wav"), DecayingTones(0.5, 70, 48000, 1.5, 30), 48000,
                                 0, failure),
                 qPrintable(failure));
    }

    // The whole window on a 1366x720 screen (a title bar above it), every setting reachable, and the
    // sweep-length list as wide as its longest item.
    void fitsTheScreen()
    {
        QVERIFY2(Window->width() <= 1366 && Window->height() <= 690,
                 qPrintable(QStringLiteral("%1x%2").arg(Window->width()).arg(Window->height())));
        QVERIFY(Window->minimumSizeHint().height() <= 690);
        auto* length = Control<QComboBox>("cbDlugosc");
        QVERIFY2(length->width() >= length->sizeHint().width(),
                 qPrintable(QStringLiteral("%1 < %2").arg(length->width()).arg(length->sizeHint().width())));
    }

    void roomsFromFiles_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("comma") << QChar(',');
        QTest::newRow("point") << QChar('.');
    }
    void roomsFromFiles()
    {
        QFETCH(QChar, separator);
        NumberFormat::SetDecimalSeparator(separator);
        auto* list = Control<QListWidget>("lstPomiary");
        while (list->count() > 0)
            Control<QPushButton>("btnUsun")->click();
        for (const char* name : {"sala.wav", "studio.wav"}) {
            TModalAnswer dialog(ChooseFile(Folder.filePath(name)));
            Control<QPushButton>("btnOtworz")->click();
        }
        QCOMPARE(list->count(), 2);
        auto* tabs = Control<QTabWidget>("tabWidoki");
        tabs->setCurrentWidget(Control<QWidget>("FormaAkustykaPomieszczenia"));
        Control<QComboBox>("cbPasma")->setCurrentIndex(0);

        // The current (last opened) room: octaves, Z and A, its T30 at 1 kHz, the index of reverberation.
        QTRY_COMPARE(Table()->rowCount(), 8 + 2);
        const auto seconds = [&](const QString& band, int column) {
            const QString text = Cell(band, column);
            if (!text.contains(separator) && text != QStringLiteral("-"))
                return -1.0;
            return NumberFormat::ParseNumber(text).value_or(-1);
        };
        QVERIFY2(std::abs(seconds("1000", 3) - 0.5) < 0.02, qPrintable(Cell("1000", 3)));
        QVERIFY2(std::abs(seconds("Z", 3) - 0.5) < 0.02, qPrintable(Cell("Z", 3)));
        QVERIFY2(Control<QLabel>("lblSti")->text().contains(QStringLiteral("(tylko pogłos)")),
                 qPrintable(Control<QLabel>("lblSti")->text()));
        // Both rooms' decay curves of the chosen band (1 kHz), each with its level, decay and noise.
        auto* decay = Control<QCustomPlot>("chtZanik");
        QTRY_COMPARE(decay->graphCount(), 2 * 3 + 2 * 3); // and each room's three fit lines
        QVERIFY(Control<QLabel>("lblUwagi")->text().startsWith(QStringLiteral("1000: ")));

        // The first room chosen, in thirds: worked out beside the window, which says so meanwhile.
        list->setCurrentRow(0);
        Control<QComboBox>("cbPasma")->setCurrentIndex(1);
        QCOMPARE(Table()->rowCount(), 0);
        QCOMPARE(Control<QLabel>("lblSti")->text(),
                 QStringLiteral("Trwa obliczanie akustyki pomieszczenia..."));
        QVERIFY(!Control<QPushButton>("btnZapiszCsv")->isEnabled());
        QTRY_COMPARE(Table()->rowCount(), 24 + 2);
        QVERIFY2(std::abs(seconds("1250", 2) - 1.0) < 0.03, qPrintable(Cell("1250", 2)));

        // A speech level and a noise give the full index, lower than the reverberation's.
        const QString before = Control<QLabel>("lblSti")->text();
        TypeAndLeave(Control<QLineEdit>("edtPoziomMowy"), QStringLiteral("60"));
        TypeAndLeave(Control<QLineEdit>("edtHalasTla"), QStringLiteral("50; 50; 48; 45; 40; 35; 30; 25"));
        QTRY_VERIFY(
            Control<QLabel>("lblSti")->text().contains(QStringLiteral("(z poziomem mowy i hałasem tła)")));
        QVERIFY2(Control<QLabel>("lblSti")->text() != before, qPrintable(before));

        // The table to CSV, with the user's separator.
        const QString csv = Folder.filePath(QStringLiteral("sala-%1.csv").arg(separator == ',' ? 1 : 2));
        {
            TModalAnswer dialog(ChooseFile(csv));
            Control<QPushButton>("btnZapiszCsv")->click();
        }
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.contains(QStringLiteral("Pasmo [Hz] (1/3 oktawy, sala);EDT [s]")));
        QVERIFY(text.contains(QRegularExpression(QStringLiteral("\r\n1000;[01]\\%1\\d").arg(separator))));
        QVERIFY(text.contains(QStringLiteral("STI;0") + separator));

        // A room removed leaves the other's figures.
        Control<QPushButton>("btnUsun")->click();
        QCOMPARE(list->count(), 1);
        QTRY_VERIFY2(std::abs(seconds("1250", 2) - 0.5) < 0.02, qPrintable(Cell("1250", 2)));
        TypeAndLeave(Control<QLineEdit>("edtPoziomMowy"), QString());
        TypeAndLeave(Control<QLineEdit>("edtHalasTla"), QString());
        NumberFormat::SetDecimalSeparator(QChar());
    }

    // The noise taken from the spectrum analyser's octave bands: the channel asked for when the two
    // differ, its levels into the field, the full index; a file of thirds refused with the reason.
    void noiseFromAnalyserFile()
    {
        const QString noise = Folder.filePath("halas.csv"), thirds = Folder.filePath("tercje.csv");
        std::vector<TBandReading> readings;
        QString failure;
        QVERIFY2(WriteAnalyserBands(noise, 1, TFrequencyWeighting::Z, failure, &readings),
                 qPrintable(failure));
        QVERIFY2(WriteAnalyserBands(thirds, 3, TFrequencyWeighting::Z, failure), qPrintable(failure));
        QStringList right;
        for (const TBandReading& band : readings)
            if (band.Nominal >= 63 && band.Nominal <= 8000)
                right << NumberFormat::Fixed(band.Leq[1], 0, 1);
        TypeAndLeave(Control<QLineEdit>("edtPoziomMowy"), QStringLiteral("60"));
        // The file chosen, and the message that follows answered with the right channel, or read.
        const auto take = [&](const QString& path) {
            QString said;
            TModalCloser answers([&](QWidget* modal) {
                if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                    ChooseInFileDialog(*dialog, path);
                } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    said = box->text();
                    for (QAbstractButton* button : box->buttons())
                        if (button->text() == QStringLiteral("Kanał &prawy") || box->buttons().size() == 1)
                            button->click();
                }
            });
            Control<QPushButton>("btnHalasZPliku")->click();
            return said;
        };
        const QString asked = take(noise);
        QVERIFY2(asked.contains(QStringLiteral("prawy: ") + right.join(QStringLiteral("; "))),
                 qPrintable(asked));
        QCOMPARE(Control<QLineEdit>("edtHalasTla")->text(), right.join(QStringLiteral("; ")));
        QTRY_VERIFY(
            Control<QLabel>("lblSti")->text().contains(QStringLiteral("(z poziomem mowy i hałasem tła)")));

        const QString refusal = take(thirds);
        QVERIFY2(refusal.contains(QStringLiteral("zawiera pasma 1/3 oktawy")), qPrintable(refusal));
        QCOMPARE(Control<QLineEdit>("edtHalasTla")->text(), right.join(QStringLiteral("; ")));
    }

    // The bands, speech level and noise outlive the program, stored as the user typed them.
    void choicesKept()
    {
        const QString noise = Control<QLineEdit>("edtHalasTla")->text();
        Main.reset();
        QFile file(Folder.filePath("Tonvix.ini"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString stored = QString::fromUtf8(file.readAll());
        for (const QString& line :
             {QStringLiteral("RoomBandsPerOctave=3"), QStringLiteral("RoomSpeechLevel[dBA]=60"),
              QStringLiteral("RoomNoise[dB]=") + noise})
            QVERIFY2(stored.contains(line), qPrintable(line));
        Main = OpenWindowOnVirtualCard();
        QVERIFY(Main);
        FindControl<QAction>(*Main, "mmiOdpowiedzImpulsowa")->trigger();
        Window = Main->findChild<TFormaOdpowiedzImpulsowa*>("FormaOdpowiedzImpulsowa");
        QVERIFY(Window);
        QCOMPARE(Control<QComboBox>("cbPasma")->currentIndex(), 1);
        QCOMPARE(Control<QLineEdit>("edtPoziomMowy")->text(), QStringLiteral("60"));
        QCOMPARE(Control<QLineEdit>("edtHalasTla")->text(), noise);
    }
};

QTEST_MAIN(TestRoomPage)
#include "test_room_page.moc"
