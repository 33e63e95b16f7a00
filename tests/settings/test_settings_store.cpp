// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/KeyTable.h"
#include "settings/SettingsStore.h"

#include "TestFiles.h"

#include <QSet>
#include <QStandardPaths>

class TestSettingsStore : public QObject
{
    Q_OBJECT
private:
    TTestFiles Files;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The user's store lives in the configuration folder; the store created first is the instance.
    void UserFileAndInstance()
    {
        QCOMPARE(TSettingsStore::Instance(), nullptr);
        {
            TSettingsStore store;
            QVERIFY(store.FileName().endsWith(QStringLiteral("/Marvelle/Tonvix.ini")));
            QVERIFY(store.FileName().startsWith(
                QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)));
            const TSettingsStore other(Files.NewFile());
            QCOMPARE(TSettingsStore::Instance(), &store);
        }
        QCOMPARE(TSettingsStore::Instance(), nullptr);
    }

    // Names with brackets and parentheses and Polish text land in the file as they are, and come back.
    void WritesReadableText()
    {
        const QString path = Files.NewFile();
        const QString folder = QStringLiteral("/home/zażółć/Wyniki pomiarów");
        {
            TSettingsStore store(path);
            store.WriteString(QStringLiteral("Preferences"), QStringLiteral("WorkDir"), folder);
            store.WriteInteger(QStringLiteral("Advanced"), QStringLiteral("MeasurmentDelay[ms]"), -250);
            store.WriteString(QStringLiteral("Advanced"), QStringLiteral("InputBufferDuration(InfoOnly)"),
                              QStringLiteral("31,25ms"));
            store.WriteBool(QStringLiteral("Save"), QStringLiteral("Series1Save"), true);
            QVERIFY(store.Sync());
        }
        const QByteArray text = TTestFiles::Read(path);
        QVERIFY2(text.contains("[Preferences]\nWorkDir=" + folder.toUtf8() + "\n"), text.constData());
        QVERIFY2(
            text.contains("[Advanced]\nMeasurmentDelay[ms]=-250\nInputBufferDuration(InfoOnly)=31,25ms\n"),
            text.constData());
        QVERIFY(text.contains("[Save]\nSeries1Save=1\n"));
        // Sections follow the key table, not the alphabet.
        QVERIFY(text.indexOf("[Preferences]") < text.indexOf("[Advanced]"));
        QVERIFY(text.indexOf("[Advanced]") < text.indexOf("[Save]"));

        TSettingsStore again(path);
        QCOMPARE(again.ReadString(QStringLiteral("Preferences"), QStringLiteral("WorkDir"), {}), folder);
        QCOMPARE(again.ReadInteger(QStringLiteral("Advanced"), QStringLiteral("MeasurmentDelay[ms]"), 0),
                 -250);
        QCOMPARE(again.ReadBool(QStringLiteral("Save"), QStringLiteral("Series1Save"), false), true);
    }

    // Text with line breaks, backslashes and blanks at either end comes back unchanged; values the
    // program does not know survive a save.
    void KeepsAwkwardTextAndUnknownValues()
    {
        const QString path = Files.NewFile();
        TTestFiles::Write(path, "[Open]\nLast9=kept\n[Future]\nSomething=else\n");
        const QString awkward = QStringLiteral("  C:\\n\\\\dir\nline two\r\n=x  ");
        {
            TSettingsStore store(path);
            store.WriteString(QStringLiteral("Open"), QStringLiteral("Last1"), awkward);
            QVERIFY(store.Sync());
        }
        const QByteArray text = TTestFiles::Read(path);
        QCOMPARE(text.count('\n'), 7); // three sections' lines, blank lines between, one line per value
        TSettingsStore again(path);
        QCOMPARE(again.ReadString(QStringLiteral("Open"), QStringLiteral("Last1"), {}), awkward);
        QCOMPARE(again.ReadString(QStringLiteral("Open"), QStringLiteral("Last9"), {}),
                 QStringLiteral("kept"));
        QCOMPARE(again.ReadString(QStringLiteral("Future"), QStringLiteral("Something"), {}),
                 QStringLiteral("else"));
    }

    // Integers: signed decimal that fits 32 bits, blanks around allowed; anything else gives the default.
    void ReadsIntegersAndFlags_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("integer");
        QTest::addColumn<bool>("flag");
        QTest::newRow("plain") << QByteArray("-9000") << -9000 << true;
        QTest::newRow("minus zero") << QByteArray("-0") << 0 << false;
        QTest::newRow("blanks") << QByteArray("  42 ") << 42 << true; // any non-zero is true
        QTest::newRow("trailing letters") << QByteArray("12abc") << 77 << true;
        QTest::newRow("empty") << QByteArray("") << 77 << true;
        QTest::newRow("too large") << QByteArray("999999999999") << 77 << true;
        QTest::newRow("just past 32 bits") << QByteArray("2147483648") << 77 << true;
        QTest::newRow("fraction") << QByteArray("1.5") << 77 << true;
    }
    void ReadsIntegersAndFlags()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, integer);
        QFETCH(bool, flag);
        const QString path = Files.NewFile();
        TTestFiles::Write(path, "[Analysis]\nFrameRate=" + stored + "\n");
        const TSettingsStore store(path);
        QCOMPARE(store.ReadInteger(QStringLiteral("Analysis"), QStringLiteral("FrameRate"), 77), integer);
        QCOMPARE(store.ReadBool(QStringLiteral("Analysis"), QStringLiteral("FrameRate"), true), flag);
        QCOMPARE(store.ReadInteger(QStringLiteral("Analysis"), QStringLiteral("Missing"), 77), 77);
        QCOMPARE(store.ReadInteger(QStringLiteral("Missing"), QStringLiteral("FrameRate"), 77), 77);
        QCOMPARE(store.ReadInteger(QStringLiteral("Analysis"), QStringLiteral("Missing")), std::nullopt);
    }

    // A damaged file gives what parses and nothing else, and can be written over.
    void LoadsWhatParsesFromADamagedFile()
    {
        const QString path = Files.NewFile();
        QByteArray damaged = "\xEF\xBB\xBF[Analysis]\r\n"
                             "garbage line without an equals sign\n"
                             "Amplitude=100\n"
                             "Amplitude=200\n" // the later one wins
                             "  Average = 3 \n"
                             "=no name\n"
                             "; Amplitude=300\n"
                             "[Broken\n"
                             "CanalNo=1\n";
        static const char binary[] = "\x00\xFF\xFE\x01binary=\x80\x00zz\n";
        damaged += QByteArray(binary, sizeof binary - 1);
        damaged += "[Calibration]\nTime=5";
        damaged += "\n[Position]\nLef"; // cut off mid-name
        TTestFiles::Write(path, damaged);

        TSettingsStore store(path);
        const QString analysis = QStringLiteral("Analysis");
        QCOMPARE(store.ReadInteger(analysis, QStringLiteral("Amplitude"), 0), 200);
        QCOMPARE(store.ReadInteger(analysis, QStringLiteral("Average"), 0), 3);
        QCOMPARE(store.ReadInteger(analysis, QStringLiteral("CanalNo"), 0), 1); // "[Broken" is no section
        QCOMPARE(store.ReadInteger(QStringLiteral("Calibration"), QStringLiteral("Time"), 0), 5);
        QCOMPARE(store.ReadInteger(QStringLiteral("Position"), QStringLiteral("Lef"), 9), 9);

        store.WriteInteger(analysis, QStringLiteral("Amplitude"), 250);
        QVERIFY(store.Sync());
        TSettingsStore again(path);
        QCOMPARE(again.ReadInteger(analysis, QStringLiteral("Amplitude"), 0), 250);
        QCOMPARE(again.ReadInteger(analysis, QStringLiteral("Average"), 0), 3);
    }

    // The table names each value once, keeps each section together and holds the colours it states.
    void KeyTableIsConsistent()
    {
        QSet<QString> names, closedSections;
        QString section;
        for (const TKeyInfo& info : KeyTable()) {
            const QString name = QLatin1String(info.Section) + u'/' + QLatin1String(info.Name);
            QVERIFY2(!names.contains(name), qPrintable(name));
            names.insert(name);
            if (section != QLatin1String(info.Section)) {
                QVERIFY2(!closedSections.contains(info.Section), info.Section);
                closedSections.insert(section);
                section = QLatin1String(info.Section);
            }
            QVERIFY(info.Scale == 1 || info.Scale == 100 || info.Scale == 1000);
        }
        QCOMPARE(names.size(), static_cast<int>(TKey::Count));

        struct TRgb
        {
            int Red, Green, Blue;
        };
        const TRgb colours[ChartSeriesCount] = {{255, 0, 0},   {0, 64, 128}, {0, 128, 128}, {255, 0, 128},
                                                {255, 128, 0}, {0, 0, 255},  {0, 128, 64},  {255, 128, 128},
                                                {255, 0, 0},   {0, 0, 255}};
        for (int n = 0; n < ChartSeriesCount; ++n) {
            const TRgb& c = colours[n];
            QCOMPARE(KeyInfo(KeyAt(TKey::SeriesColour, n)).Default, c.Blue << 16 | c.Green << 8 | c.Red);
        }
        QCOMPARE(DefaultText(TKey::WorkDir),
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                     QStringLiteral("/Tonvix/Wyniki pomiarów"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
