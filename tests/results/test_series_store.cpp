// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/SeriesStore.h"

#include <QSignalSpy>
#include <QTest>

// A store as the main window holds it: fresh state, empty chart.
struct TFixture
{
    TMeasurementState State;
    TChartModel Chart;
    TSeriesStore Store{State, Chart};

    void UseSlots(std::initializer_list<int> used)
    {
        for (int slot = 0; slot < ResultSeriesCount; ++slot)
            Store.SetSlotInUse(slot, false);
        for (int slot : used)
            Store.SetSlotInUse(slot, true);
        Store.Register();
    }
    void EnterPairMode()
    {
        State.ChannelMode = TChannelMode::Both;
        Store.SyncPairing();
    }
    void LeavePairMode()
    {
        State.ChannelMode = TChannelMode::Left;
        Store.SyncPairing();
    }
    QString Caption(TSeriesMenu menu, int slot) const { return Store.Item(menu, slot).Caption; }
    bool Visible(TSeriesMenu menu, int slot) const { return Store.Item(menu, slot).Visible; }
};

class TestSeriesStore : public QObject
{
    Q_OBJECT
private slots:
    void FreshInstallationHasSlotOneActive();
    void StartUpMakesLowestSlotActive();
    void AddTakesFirstFreeSlotUpToEight();
    void PairModeAddsAtMostFourPairs();
    void ActivatingRightSlotInPairModeActivatesItsPair();
    void EnteringPairModeHandsRightSlotToItsPair();
    void PairUpdateCaptionsNeverExceedNineteen();
    void PairReleaseRestoresSingleSlots();
    void AStartInBothChannelsModeComesUpPaired();
    void DeleteZeroesSlotAndChoosesHighest();
    void DeletingLastSlotLeavesNoActive();
    void DeleteInPairModeTakesBothChannels();
    void ShowHideTogglesCaptionAndChart();
    void SlotAddedAgainAfterHidingIsShown();
    void ResetEmptiesEverySeriesButKeepsSlots();
    void PrepareForSweepClearsAndShows();
    void NamesAreCutToFortyFourCharacters();
};

void TestSeriesStore::FreshInstallationHasSlotOneActive()
{
    TFixture f;
    f.Store.Register();
    QCOMPARE(f.Store.ActiveSeries(), 0);
    QCOMPARE(f.Store.SeriesName(0), QStringLiteral("Seria 0"));
    QCOMPARE(f.Store.SeriesName(7), QStringLiteral("Seria 7"));
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Aktywna seria: 1"));
    QVERIFY(f.Store.MenusEnabled());
    QVERIFY(f.Chart.Visible(0));
    QVERIFY(!f.Chart.Visible(1));
    for (int m = 0; m < SeriesMenuCount; ++m) {
        QVERIFY(f.Store.Item(TSeriesMenu(m), 0).Visible);
        QVERIFY(f.Store.Item(TSeriesMenu(m), 0).Enabled);
        QVERIFY(!f.Store.Item(TSeriesMenu(m), 1).Visible);
    }
    QVERIFY(f.Store.Item(TSeriesMenu::AktywnaSeria, 0).Checked);
    QCOMPARE(f.Caption(TSeriesMenu::AktywnaSeria, 0), QStringLiteral("Seria &1"));
    QCOMPARE(f.Caption(TSeriesMenu::PokazSerie, 0), QStringLiteral("Ukryj serię &1"));
}

void TestSeriesStore::StartUpMakesLowestSlotActive()
{
    TFixture f;
    f.UseSlots({2, 5, 6});
    QCOMPARE(f.Store.ActiveSeries(), 2);
    QVERIFY(f.Store.Item(TSeriesMenu::AktywnaSeria, 2).Checked);
    QVERIFY(!f.Store.Item(TSeriesMenu::AktywnaSeria, 6).Checked);
    QVERIFY(f.Visible(TSeriesMenu::UsunSerie, 5));
    QVERIFY(!f.Visible(TSeriesMenu::UsunSerie, 0));
}

void TestSeriesStore::AddTakesFirstFreeSlotUpToEight()
{
    TFixture f;
    f.UseSlots({0, 2});
    QSignalSpy message(&f.Store, &TSeriesStore::Message);
    QVERIFY(f.Store.Add());
    QCOMPARE(f.Store.ActiveSeries(), 1);
    QVERIFY(f.Store.SlotInUse(1));
    for (int i = 0; i < 5; ++i)
        QVERIFY(f.Store.Add());
    QCOMPARE(f.Store.ActiveSeries(), 7);
    QVERIFY(message.isEmpty());

    QVERIFY(!f.Store.Add());
    QCOMPARE(message.count(), 1);
    QCOMPARE(message.at(0).at(0).toString(), QStringLiteral("Nie można dodać więcej serii."));
    QCOMPARE(f.Store.ActiveSeries(), 7);
}

void TestSeriesStore::PairModeAddsAtMostFourPairs()
{
    TFixture f;
    f.UseSlots({0});
    f.EnterPairMode();
    QSignalSpy message(&f.Store, &TSeriesStore::Message);
    for (int i = 0; i < 3; ++i)
        QVERIFY(f.Store.Add());
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        QVERIFY2(f.Store.SlotInUse(slot), qPrintable(QString::number(slot)));
    QVERIFY(!f.Visible(TSeriesMenu::AktywnaSeria, 4));
    QVERIFY(f.Visible(TSeriesMenu::PokazSerie, 4));
    QVERIFY(f.Visible(TSeriesMenu::PokazRaport, 7));

    // Slots 5 to 8 are the right channels of the four pairs: none is free for a new pair.
    for (int slot = 4; slot < ResultSeriesCount; ++slot)
        f.Store.SetSlotInUse(slot, false);
    QVERIFY(!f.Store.Add());
    QCOMPARE(message.count(), 1);
    QCOMPARE(message.at(0).at(0).toString(), QStringLiteral("Nie można dodać więcej serii."));
}

void TestSeriesStore::ActivatingRightSlotInPairModeActivatesItsPair()
{
    TFixture f;
    f.UseSlots({0, 1});
    f.EnterPairMode();
    f.Store.SetActive(5);
    QCOMPARE(f.Store.ActiveSeries(), 1);
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Aktywna seria: 2 i 6"));
    QVERIFY(f.Store.Item(TSeriesMenu::AktywnaSeria, 1).Checked);
    QVERIFY(!f.Store.Item(TSeriesMenu::AktywnaSeria, 5).Checked);
}

void TestSeriesStore::EnteringPairModeHandsRightSlotToItsPair()
{
    // All four pairs exist, so no slot is released; slot 6 must not stay active, or a sweep would
    // write its right channel to slot 10, the right channel series.
    TFixture f;
    f.UseSlots({0, 1, 2, 3, 5});
    f.Store.SetActive(5);
    f.EnterPairMode();
    QCOMPARE(f.Store.ActiveSeries(), 1);
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Aktywna seria: 2 i 6"));
}

void TestSeriesStore::PairUpdateCaptionsNeverExceedNineteen()
{
    TFixture f;
    f.UseSlots({0, 3});
    f.EnterPairMode();
    for (int i = 0; i < 3; ++i) {
        f.Store.PairUpdate();
        f.Store.Add();
    }
    QCOMPARE(f.Caption(TSeriesMenu::AktywnaSeria, 0), QStringLiteral("Seria &1 i Seria &5"));
    QCOMPARE(f.Caption(TSeriesMenu::UsunSerie, 3), QStringLiteral("Seria &4 i Seria &8"));
    for (int slot = 0; slot < 4; ++slot)
        for (TSeriesMenu menu : {TSeriesMenu::AktywnaSeria, TSeriesMenu::UsunSerie})
            QVERIFY(f.Caption(menu, slot).size() <= TSeriesStore::PairCaptionLength);
    // The right channels' own report and show/hide items keep their single captions.
    QCOMPARE(f.Caption(TSeriesMenu::PokazRaport, 0), QStringLiteral("Seria &1"));
}

void TestSeriesStore::PairReleaseRestoresSingleSlots()
{
    TFixture f;
    f.UseSlots({0, 1});
    f.Store.Slot(6).SlotMeasured = true; // a right channel left over from an earlier pair
    f.EnterPairMode();
    QVERIFY(f.Store.SlotInUse(4));
    QVERIFY(!f.Store.SlotInUse(6));
    QVERIFY(!f.Chart.Visible(6));
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Aktywna seria: 2 i 6"));

    f.LeavePairMode();
    QCOMPARE(f.Caption(TSeriesMenu::AktywnaSeria, 1), QStringLiteral("Seria &2"));
    QCOMPARE(f.Caption(TSeriesMenu::UsunSerie, 0), QStringLiteral("Seria &1"));
    for (int slot : {0, 1, 4, 5, 6}) {
        QVERIFY2(f.Store.SlotInUse(slot), qPrintable(QString::number(slot)));
        QVERIFY(f.Visible(TSeriesMenu::AktywnaSeria, slot));
        QVERIFY(f.Chart.Visible(slot));
    }
    QVERIFY(!f.Store.SlotInUse(7));
    QCOMPARE(f.Store.ActiveSeries(), 6);
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Aktywna seria: 7"));
}

void TestSeriesStore::AStartInBothChannelsModeComesUpPaired()
{
    // The settings hand over "Kanał L i R" before the slots register, as at start-up.
    TFixture f;
    f.State.ChannelMode = TChannelMode::Both;
    f.UseSlots({0, 4});
    QVERIFY(f.Store.PairMode());
    QCOMPARE(f.Caption(TSeriesMenu::AktywnaSeria, 0), QStringLiteral("Seria &1 i Seria &5"));
    QVERIFY(!f.Visible(TSeriesMenu::AktywnaSeria, 4));
    QVERIFY(f.Chart.Visible(4));
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Aktywna seria: 1 i 5"));
    // Only one pair can be added after the first three, as in any pair mode.
    for (int i = 0; i < 3; ++i)
        QVERIFY(f.Store.Add());
    QVERIFY(!f.Store.Add());
}

void TestSeriesStore::DeleteZeroesSlotAndChoosesHighest()
{
    TFixture f;
    f.UseSlots({0, 3, 5});
    SeriesSlot& record = f.Store.Slot(5);
    record = {44100, 1, 0.125, true, -3.5};
    f.Store.SetSeriesName(5, QStringLiteral("Głośnik"));
    f.Chart.Append(5, 100, -20);
    f.Store.SetActive(5);

    f.Store.Delete(5);
    QVERIFY(!f.Store.SlotInUse(5));
    QCOMPARE(record.SlotFrameRate, 0);
    QCOMPARE(record.SlotChannel, 0);
    QCOMPARE(record.SlotAveragingTime, 0.0);
    QVERIFY(!record.SlotMeasured);
    QCOMPARE(record.SlotPeakLevel, 0.0);
    QCOMPARE(f.Store.SeriesName(5), QStringLiteral("Seria 5"));
    QVERIFY(f.Chart.Series(5).Empty());
    QVERIFY(!f.Chart.Visible(5));
    for (int m = 0; m < SeriesMenuCount; ++m) {
        QVERIFY(!f.Store.Item(TSeriesMenu(m), 5).Visible);
        QVERIFY(!f.Store.Item(TSeriesMenu(m), 5).Enabled);
    }
    QCOMPARE(f.Store.ActiveSeries(), 3);
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Aktywna seria: 4"));
}

void TestSeriesStore::DeletingLastSlotLeavesNoActive()
{
    TFixture f;
    f.UseSlots({0, 4});
    f.Store.DeleteAll();
    QCOMPARE(f.Store.ActiveSeries(), -1);
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Brak serii"));
    QVERIFY(!f.Store.MenusEnabled());

    // A slot added afterwards brings the menus back.
    QVERIFY(f.Store.Add());
    QCOMPARE(f.Store.ActiveSeries(), 0);
    QVERIFY(f.Store.MenusEnabled());

    // Settings that keep no slot start in the same state.
    TFixture stored;
    stored.UseSlots({});
    QCOMPARE(stored.Store.ActiveSeries(), -1);
    QCOMPARE(stored.Store.StatusText(), QStringLiteral("Brak serii"));
    QVERIFY(!stored.Store.MenusEnabled());
}

void TestSeriesStore::DeleteInPairModeTakesBothChannels()
{
    TFixture f;
    f.UseSlots({0, 1});
    f.EnterPairMode();
    f.Chart.Append(5, 1000, -30);
    f.Store.Slot(5).SlotMeasured = true;
    f.Store.Delete(1);
    for (int slot : {1, 5}) {
        QVERIFY(!f.Store.SlotInUse(slot));
        QVERIFY(!f.Chart.Visible(slot));
        QVERIFY(f.Chart.Series(slot).Empty());
        QVERIFY(!f.Visible(TSeriesMenu::PokazSerie, slot));
    }
    QVERIFY(!f.Store.Slot(5).SlotMeasured);
    QCOMPARE(f.Store.ActiveSeries(), 0);
    QCOMPARE(f.Store.StatusText(), QStringLiteral("Aktywna seria: 1 i 5"));
}

void TestSeriesStore::ShowHideTogglesCaptionAndChart()
{
    TFixture f;
    f.UseSlots({0, 2});
    f.Store.ShowHide(2);
    QVERIFY(!f.Chart.Visible(2));
    QVERIFY(f.Store.Item(TSeriesMenu::PokazSerie, 2).Checked);
    QCOMPARE(f.Caption(TSeriesMenu::PokazSerie, 2), QStringLiteral("Pokaż serię 3"));
    QVERIFY(f.Store.Hidden(2));

    f.Store.ShowHide(2);
    QVERIFY(f.Chart.Visible(2));
    QCOMPARE(f.Caption(TSeriesMenu::PokazSerie, 2), QStringLiteral("Ukryj serię 3"));

    f.Store.ShowHide(0);
    f.Store.ShowHide(2);
    f.Store.ShowAll();
    for (int slot : {0, 2}) {
        QVERIFY(f.Chart.Visible(slot));
        QVERIFY(!f.Store.Item(TSeriesMenu::PokazSerie, slot).Checked);
    }
}

void TestSeriesStore::SlotAddedAgainAfterHidingIsShown()
{
    TFixture f;
    f.UseSlots({0, 1});
    f.Store.ShowHide(1);
    f.Store.Delete(1);
    QVERIFY(f.Store.Add());
    QVERIFY(f.Chart.Visible(1));
    QVERIFY(!f.Store.Item(TSeriesMenu::PokazSerie, 1).Checked);
    QCOMPARE(f.Caption(TSeriesMenu::PokazSerie, 1), QStringLiteral("Ukryj serię 2"));
}

void TestSeriesStore::ResetEmptiesEverySeriesButKeepsSlots()
{
    TFixture f;
    f.UseSlots({0, 1});
    for (int series = 0; series < ChartSeriesCount; ++series) {
        f.Chart.Append(series, 1, -10);
        f.Store.Slot(series).SlotPeakLevel = -1;
    }
    f.Store.Slot(1).SlotMeasured = true;
    f.Store.SetSeriesName(1, QStringLiteral("Pomiar A"));
    f.Store.Reset();
    for (int series = 0; series < ChartSeriesCount; ++series) {
        QVERIFY(f.Chart.Series(series).Empty());
        QCOMPARE(f.Store.Slot(series).SlotPeakLevel, 0.0);
    }
    QVERIFY(!f.Store.Slot(1).SlotMeasured);
    QCOMPARE(f.Store.SeriesName(1), QStringLiteral("Seria 1"));
    QVERIFY(f.Store.SlotInUse(1));
    QVERIFY(f.Visible(TSeriesMenu::AktywnaSeria, 1));
    QCOMPARE(f.Store.ActiveSeries(), 0);

    QCOMPARE(TSeriesStore::WindowTitle(TSeriesStore::UntitledFileName, true),
             QStringLiteral("Tonvix BezNazwy"));
    QCOMPARE(TSeriesStore::WindowTitle(TSeriesStore::UntitledFileName, false), QStringLiteral("Tonvix "));
}

void TestSeriesStore::PrepareForSweepClearsAndShows()
{
    TFixture f;
    f.UseSlots({0, 1});
    f.EnterPairMode();
    for (int series : {0, 1, 4, 5})
        f.Chart.Append(series, 100, -40);
    f.Store.ShowHide(1);
    f.Store.PrepareForSweep(1);
    QCOMPARE(f.Store.ActiveSeries(), 1);
    QVERIFY(f.Chart.Series(1).Empty());
    QVERIFY(f.Chart.Series(5).Empty());
    QVERIFY(!f.Chart.Series(0).Empty());
    QVERIFY(!f.Chart.Series(4).Empty());
    QVERIFY(f.Chart.Visible(1));
    QCOMPARE(f.Caption(TSeriesMenu::PokazSerie, 1), QStringLiteral("Ukryj serię 2"));
}

void TestSeriesStore::NamesAreCutToFortyFourCharacters()
{
    TFixture f;
    QSignalSpy changed(&f.Store, &TSeriesStore::SlotChanged);
    f.Store.SetSeriesName(2, QString(60, QChar(u'ą')));
    QCOMPARE(f.Store.SeriesName(2).size(), TSeriesStore::MaxNameLength);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 2);
}

QTEST_GUILESS_MAIN(TestSeriesStore)
#include "test_series_store.moc"
