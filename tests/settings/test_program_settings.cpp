// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioIO.h"
#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"
#include "settings/KeyTable.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"
#include "settings/WindowSettings.h"

#include "TestFiles.h"

#include <QStandardPaths>

namespace {

// What one run of the program loads into and saves from: a stereo input and a mono output, as in the window.
struct TProgram
{
    TProgram() { AudioIn.SetStereo(true); }

    TAudioIn AudioIn;
    TAudioOut AudioOut;
    TMeasurementState State;
    TWindowSettings Window;

    void Load(const TSettingsStore& store) { LoadSettings(store, AudioIn, AudioOut, State, Window); }
    bool Save(TSettingsStore& store) { return SaveSettings(store, AudioIn, AudioOut, State, Window); }
};

QString Section(TKey key)
{
    return QLatin1String(KeyInfo(key).Section);
}

QString Name(TKey key)
{
    return QLatin1String(KeyInfo(key).Name);
}

QString Stored(const TSettingsStore& store, TKey key)
{
    return store.ReadString(Section(key), Name(key), QStringLiteral("<missing>"));
}

void Store(TSettingsStore& store, TKey key, const QString& text)
{
    store.WriteString(Section(key), Name(key), text);
}

// A stored value for every key, none of them its default, each valid for its use.
QString SampleText(const TKeyInfo& info)
{
    using enum TKey;
    const int index = static_cast<int>(info.Key);
    if (info.Key == WorkDir)
        return QStringLiteral("/home/użytkownik/Wyniki pomiarów – łąka");
    if (info.Key >= Last && info.Key < KeyAt(Last, RecentFileCount))
        return QStringLiteral("/dane/pomiar żółw %1.lev").arg(index);
    if (info.Key >= SeriesStyle && info.Key < SeriesWidth)
        return QString::number(1 + index % 4); // codes 1..4 come back as themselves
    if (info.Key == InputBufferSize || info.Key == OutputBufferSize)
        return QString::number(1001 + index); // above the smallest block; the output's is odd
    if (info.Key == FrameRate)
        return QStringLiteral("44100");
    if (info.Key == WindowState)
        return QStringLiteral("1"); // normal, so that the place is written back too
    if (info.Key == FrequencyWeighting)
        return QStringLiteral("1"); // C; an unknown item loads as Z
    if (info.Key == FreqMethod || info.Key == FreqReferenceChannel)
        return QStringLiteral("1"); // synchronous detection, the left reference
    if (info.Key == SampleFormat)
        return QStringLiteral("0"); // 16 bits; anything else loads as float
    if (info.Key == FreqHighestHarmonic)
        return QStringLiteral("5");
    if (info.Key == FreqDistortionBandLow || info.Key == FreqDistortionBandHigh)
        return info.Key == FreqDistortionBandLow ? QStringLiteral("3150") : QStringLiteral("1500000");
    if (info.Key == FreqShortestPointTime || info.Key == FreqLongestPointTime)
        return info.Key == FreqShortestPointTime ? QStringLiteral("40") : QStringLiteral("2500");
    if (info.Key == CalibratorLevel)
        return QStringLiteral("9380"); // 93.8 dB, within a calibrator's levels
    if (info.Key == FreqLongestSettlingTime)
        return QStringLiteral("3500");
    if (info.Type == TKeyType::WrittenOnly)
        return QStringLiteral("edited by hand");
    if (info.Type == TKeyType::Bool)
        return info.Default ? QStringLiteral("0") : QStringLiteral("1");
    return QString::number(info.Default - 1234567 + index);
}

} // namespace

class TestProgramSettings : public QObject
{
    Q_OBJECT
private:
    TTestFiles Files;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    // A first start: nothing stored.
    void EmptyStoreGivesDefaults()
    {
        const TSettingsStore store(Files.NewFile());
        TProgram program;
        program.State.StartFreq = program.State.LevelExcess = program.State.AveragingTime = -1;
        program.Load(store);

        QCOMPARE(program.AudioIn.FrameRate(), 48000);
        QCOMPARE(program.AudioOut.FrameRate(), 48000);
        QCOMPARE(program.AudioIn.BufferSize(), 6000);
        QCOMPARE(program.AudioOut.BufferSize(), 3000);
        // Settings with no sample format (an older version's, or none) stream float.
        QCOMPARE(program.AudioIn.SampleFormat(), TSampleFormat::Float);
        QCOMPARE(program.AudioOut.SampleFormat(), TSampleFormat::Float);
        const TMeasurementState& state = program.State;
        QCOMPARE(state.StartFreq, 100.0);
        QCOMPARE(state.LevelExcess, 5.0);
        QCOMPARE(state.FreqExcess, 0.1);
        QCOMPARE(state.AveragingTime, 1.0);
        QVERIFY(state.AutoBuforSize && state.Preferences.ShowCanal && !state.Preferences.PromptOnClose);

        const TWindowSettings& window = program.Window;
        QCOMPARE(window.Average, 0);  // "S (1s)"
        QCOMPARE(window.Kind, false); // sound pressure
        QCOMPARE(window.SlotInUse, (std::array<bool, SlotCount>{true}));
        QCOMPARE(window.WorkDir, DefaultWorkFolder());
        QCOMPARE(window.Series[1].Colour, 0x804000u);
        QCOMPARE(window.Series[9].Colour, 0xFF0000u);
        QCOMPARE(window.Series[4].Width, 1);
        // No size and no place stored: the window sizes and centres itself.
        QCOMPARE(window.Position.Width, std::nullopt);
        QCOMPARE(window.Position.Height, std::nullopt);
        QCOMPARE(window.Position.Left, std::nullopt);
        QCOMPARE(window.Position.Top, std::nullopt);
        QCOMPARE(WindowStateFromCode(window.Position.WindowState), Qt::WindowNoState);
    }

    // Real values are stored scaled, rounded to the nearest integer with ties to even.
    void StoresRealValuesScaled()
    {
        const QString path = Files.NewFile();
        TSettingsStore store(path);
        Store(store, TKey::TimeLevelScaleMinimum, QStringLiteral("-9000"));
        Store(store, TKey::FreqLeftCanalCalibration, QStringLiteral("1500"));
        Store(store, TKey::AverageTime, QStringLiteral("35"));
        Store(store, TKey::FreqExcess, QStringLiteral("25"));
        TProgram program;
        program.Load(store);
        QCOMPARE(program.State.TimeLevelScaleMinimum, -90.0);
        QCOMPARE(program.State.FreqCalibrationL, 1.5);
        QCOMPARE(program.State.AveragingTime, 0.035);
        QCOMPARE(program.State.FreqExcess, 0.25);

        program.State.TimeLevelScaleMinimum = -12.125; // -1212.5: the even neighbour
        program.State.TimeLevelScaleMaximum = -12.135; // not a tie
        program.State.FreqLevelScaleMinimum = 0.125;   // 12.5: the even neighbour
        program.State.FreqLevelScaleMaximum = 0.135;
        program.State.TimeCalibrationR = -0.0004; // rounds to zero, written without a sign
        program.State.StopFreq = 1e300;           // beyond 32 bits: the largest that fits
        QVERIFY(program.Save(store));
        QCOMPARE(Stored(store, TKey::TimeLevelScaleMinimum), QStringLiteral("-1212"));
        QCOMPARE(Stored(store, TKey::TimeLevelScaleMaximum), QStringLiteral("-1214"));
        QCOMPARE(Stored(store, TKey::FreqLevelScaleMinimum), QStringLiteral("12"));
        QCOMPARE(Stored(store, TKey::FreqLevelScaleMaximum), QStringLiteral("14"));
        QCOMPARE(Stored(store, TKey::TimeRightCanalCalibration), QStringLiteral("0"));
        QCOMPARE(Stored(store, TKey::FreqStopFreq), QStringLiteral("2147483647"));
        QCOMPARE(Stored(store, TKey::AverageTime), QStringLiteral("35"));
    }

    // Both rates are written, the output's last; the block durations are for the reader only.
    void WritesRatesAndDurations_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("comma") << QChar(u',');
        QTest::newRow("point") << QChar(u'.');
    }
    void WritesRatesAndDurations()
    {
        QFETCH(QChar, separator);
        NumberFormat::SetDecimalSeparator(separator);
        TSettingsStore store(Files.NewFile());
        TProgram program;
        program.Load(store);
        program.AudioIn.SetFrameRate(44100);
        program.AudioOut.SetFrameRate(32000);
        program.AudioIn.SetBufferSize(6000);  // 1500 frames: 34.0136 ms
        program.AudioOut.SetBufferSize(1000); // 500 samples: 15.625 ms, a tie that goes to even
        QVERIFY(program.Save(store));
        QCOMPARE(Stored(store, TKey::FrameRate), QStringLiteral("32000"));
        QCOMPARE(Stored(store, TKey::InputBufferSize), QStringLiteral("1500"));
        QCOMPARE(Stored(store, TKey::OutputBufferSize), QStringLiteral("500"));
        QCOMPARE(Stored(store, TKey::InputBufferDuration),
                 QStringLiteral("34") + separator + QStringLiteral("01ms"));
        QCOMPARE(Stored(store, TKey::OutputBufferDuration),
                 QStringLiteral("15") + separator + QStringLiteral("62ms"));

        // The next start gives both components the rate that remained.
        TProgram next;
        next.Load(store);
        QCOMPARE(next.AudioIn.FrameRate(), 32000);
        QCOMPARE(next.AudioOut.FrameRate(), 32000);
    }

    // Every key goes through a load and a save unchanged.
    void RoundTripsTheWholeTable()
    {
        const QString firstPath = Files.NewFile(), secondPath = Files.NewFile();
        TSettingsStore first(firstPath);
        for (const TKeyInfo& info : KeyTable())
            Store(first, info.Key, SampleText(info));
        QVERIFY(first.Sync());

        TProgram program;
        program.Load(first);
        TSettingsStore second(secondPath);
        QVERIFY(program.Save(second));

        for (const TKeyInfo& info : KeyTable()) {
            if (info.Type == TKeyType::WrittenOnly)
                QVERIFY(Stored(second, info.Key).endsWith(QStringLiteral("ms")));
            else
                QVERIFY2(Stored(second, info.Key) == SampleText(info), info.Name);
        }
        QCOMPARE(program.Window.WorkDir, SampleText(KeyInfo(TKey::WorkDir)));
    }

    // Pen styles: codes 0..4; other styles save as -1 and other codes load as solid.
    void MapsPenStyles()
    {
        const QString path = Files.NewFile();
        TSettingsStore store(path);
        const QString codes[ChartSeriesCount] = {
            QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"),  QStringLiteral("3"),
            QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("-1"), QStringLiteral("99"),
            QStringLiteral("x"), QStringLiteral("-0")};
        for (int n = 0; n < ChartSeriesCount; ++n)
            Store(store, KeyAt(TKey::SeriesStyle, n), codes[n]);
        TProgram program;
        program.Load(store);
        const Qt::PenStyle expected[ChartSeriesCount] = {
            Qt::SolidLine, Qt::DashLine,  Qt::DotLine,   Qt::DashDotLine, Qt::DashDotDotLine,
            Qt::SolidLine, Qt::SolidLine, Qt::SolidLine, Qt::SolidLine,   Qt::SolidLine};
        for (int n = 0; n < ChartSeriesCount; ++n)
            QCOMPARE(program.Window.Series[n].Style, expected[n]);

        program.Window.Series[0].Style = Qt::NoPen;
        program.Window.Series[1].Style = Qt::CustomDashLine;
        program.Window.Series[2].Style = Qt::DashDotDotLine;
        QVERIFY(program.Save(store));
        QCOMPARE(Stored(store, KeyAt(TKey::SeriesStyle, 0)), QStringLiteral("-1"));
        QCOMPARE(Stored(store, KeyAt(TKey::SeriesStyle, 1)), QStringLiteral("-1"));
        QCOMPARE(Stored(store, KeyAt(TKey::SeriesStyle, 2)), QStringLiteral("4"));
        QCOMPARE(Stored(store, KeyAt(TKey::SeriesStyle, 3)), QStringLiteral("3"));
    }

    // The window's place: a normal window writes it, a minimized or maximized one keeps the last normal
    // place on disk, and an unknown state code leaves the state alone.
    void KeepsTheNormalPlace_data()
    {
        QTest::addColumn<QString>("storedState");
        QTest::addColumn<int>("savedState");
        QTest::addColumn<bool>("placeWritten");
        QTest::newRow("normal") << QStringLiteral("1") << WindowStateCode(Qt::WindowNoState) << true;
        QTest::newRow("maximized") << QStringLiteral("1") << WindowStateCode(Qt::WindowMaximized) << false;
        QTest::newRow("minimized") << QStringLiteral("2") << WindowStateCode(Qt::WindowMinimized) << false;
        QTest::newRow("unknown code") << QStringLiteral("7") << 7 << false;
    }
    void KeepsTheNormalPlace()
    {
        QFETCH(QString, storedState);
        QFETCH(int, savedState);
        QFETCH(bool, placeWritten);
        TSettingsStore store(Files.NewFile());
        Store(store, TKey::WindowState, storedState);
        Store(store, TKey::Left, QStringLiteral("10"));
        Store(store, TKey::Top, QStringLiteral("-20"));
        Store(store, TKey::Width, QStringLiteral("800"));
        Store(store, TKey::Height, QStringLiteral("500"));
        TProgram program;
        program.Load(store);
        QCOMPARE(program.Window.Position.Left, 10);
        QCOMPARE(program.Window.Position.Top, -20);
        QCOMPARE(WindowStateFromCode(program.Window.Position.WindowState).has_value(), storedState != u"7");

        program.Window.Position = {30, 40, 1024, 768, savedState};
        QVERIFY(program.Save(store));
        QCOMPARE(Stored(store, TKey::WindowState), QString::number(savedState));
        QCOMPARE(Stored(store, TKey::Left), placeWritten ? QStringLiteral("30") : QStringLiteral("10"));
        QCOMPARE(Stored(store, TKey::Top), placeWritten ? QStringLiteral("40") : QStringLiteral("-20"));
        QCOMPARE(Stored(store, TKey::Width), placeWritten ? QStringLiteral("1024") : QStringLiteral("800"));
        QCOMPARE(Stored(store, TKey::Height), placeWritten ? QStringLiteral("768") : QStringLiteral("500"));
    }

    // A window that was never placed or sized does not invent a place or a size.
    void LeavesAnUnplacedWindowUnplaced()
    {
        TSettingsStore store(Files.NewFile());
        TProgram program;
        program.Load(store);
        QVERIFY(program.Save(store));
        QCOMPARE(Stored(store, TKey::Left), QStringLiteral("<missing>"));
        QCOMPARE(Stored(store, TKey::Width), QStringLiteral("<missing>"));
    }

    // Damaged values give their defaults; a huge block size neither overflows nor allocates gigabytes.
    void LoadsDamagedValues()
    {
        const QString path = Files.NewFile();
        TTestFiles::Write(path, "[Advanced]\n"
                                "InputBufferSize[Samples]=2147483647\n"
                                "OutputBufferSize[Samples]=999999999999\n"
                                "MeasurmentDelay[ms]=\n"
                                "[Analysis]\n"
                                "FrameRate=12abc\n"
                                "Amplitude=-0\n"
                                "Average=2\n"
                                "Average=3\n"
                                "FrequencyWeighting=7\n"
                                "[Preferences]\n"
                                "\x01\x02\xFF\xFE\n"
                                "LevelExcess=250\n"
                                "WorkDir=");
        TSettingsStore store(path);
        TProgram program;
        program.Load(store);
        QVERIFY(program.AudioIn.BufferSize() > 6000);
        QVERIFY(program.AudioIn.BufferSize() <= 64 * 1024 * 1024);
        QCOMPARE(program.AudioOut.BufferSize(), 3000);
        QCOMPARE(program.State.MeasurementDelay, 300);
        QCOMPARE(program.AudioIn.FrameRate(), 48000);
        QCOMPARE(program.State.Amplitude, 0);
        QCOMPARE(program.Window.Average, 3);
        QCOMPARE(program.State.FrequencyWeighting, TFrequencyWeighting::Z);
        QCOMPARE(program.State.LevelExcess, 2.5);
        QCOMPARE(program.Window.WorkDir, QString()); // stored empty: the window's folder check deals with it
        QCOMPARE(program.State.TimeLevelScaleMinimum, -90.0);
    }

    // The settings folder cannot be written: saving says so, and the values stay with the program.
    void SaveFailsSoftlyInAnUnwritableFolder()
    {
        const QString blocker = Files.NewFile();
        TTestFiles::Write(blocker, "a file where a folder should be");
        TSettingsStore store(blocker + QStringLiteral("/Tonvix.ini"));
        TProgram program;
        program.Load(store);
        program.State.LevelExcess = 7.5;
        QVERIFY(!program.Save(store));
        QCOMPARE(program.State.LevelExcess, 7.5);
        QCOMPARE(Stored(store, TKey::LevelExcess), QStringLiteral("750"));
    }
};

QTEST_GUILESS_MAIN(TestProgramSettings)
#include "test_program_settings.moc"
