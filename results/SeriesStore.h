// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "measure/MeasurementState.h"
#include "measure/Sweep.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

// The measurement conditions of one chart series. Records 8 and 9 (the channel series) use only
// SlotPeakLevel.
struct SeriesSlot
{
    std::int32_t SlotFrameRate = 0; // Hz
    std::uint8_t SlotChannel = 0;   // 0 left, 1 right, 2 both (paired slots)
    double SlotAveragingTime = 0;   // s
    bool SlotMeasured = false;
    double SlotPeakLevel = 0;             // dB
    bool SlotMicrophoneCorrected = false; // a microphone's calibration file was applied to its points
    bool SlotSynchronous = false;         // its points were detected synchronously
    std::uint8_t SlotReference = 0;       // and divided by: 0 no reference, 1 the left input, 2 the right
};

// The four series menus that exist on the menu bar and in the chart's pop-up menu alike.
enum class TSeriesMenu : std::uint8_t { AktywnaSeria = 0, PokazRaport = 1, PokazSerie = 2, UsunSerie = 3 };
constexpr int SeriesMenuCount = 4;

// The state of one item "Seria &N" (or "Ukryj serię &N") of a series menu, the same in both menus.
struct TSeriesMenuItem
{
    bool Visible = false;
    bool Enabled = false;
    bool Checked = false;
    QString Caption;
};

// The eight result slots: which exist, which is active (the one the next sweep fills), which are
// hidden, their names and measurement conditions, and the state of every series menu item as data.
// The widgets follow the signals. With both channels measured slot k (0..3) takes the left channel and
// slot k+4 the right one, and every operation on k applies to k+4 too.
class TSeriesStore : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxNameLength = 44;
    static constexpr int PairCaptionLength = 19;  // "Seria &1 i Seria &5"
    static constexpr int SingleCaptionLength = 8; // "Seria &1"
    static constexpr const char* UntitledFileName = "BezNazwy";

    TSeriesStore(TMeasurementState& state, TChartModel& chart, QObject* parent = nullptr);

    // Records of the ten chart series; the recording and the sweep write conditions and peaks here.
    SeriesSlot& Slot(int series) { return Slots[static_cast<std::size_t>(series)]; }
    const SeriesSlot& Slot(int series) const { return Slots[static_cast<std::size_t>(series)]; }

    // Slot flags; SlotInUse is persisted by the settings ("Save"/"SeriesNSave").
    bool SlotInUse(int slot) const { return InUse[static_cast<std::size_t>(slot)]; }
    void SetSlotInUse(int slot, bool inUse) { InUse[static_cast<std::size_t>(slot)] = inUse; }
    std::array<bool, ResultSeriesCount>& SlotChosenForSave() { return ChosenForSave; }

    QString SeriesName(int slot) const { return Names[static_cast<std::size_t>(slot)]; }
    void SetSeriesName(int slot, const QString& name); // cut to MaxNameLength
    static QString DefaultName(int slot);              // "Seria " + slot, counted from 0

    int ActiveSeries() const { return Active; } // -1 when no slot exists
    bool PairMode() const { return Paired; }    // follows "Kanał L i R" through SyncPairing
    bool Hidden(int slot) const { return !Chart.Visible(slot); }
    const TChartSeriesData& Points(int series) const { return Chart.Series(series); }

    // The state of the series menus of both menu bars.
    const TSeriesMenuItem& Item(TSeriesMenu menu, int slot) const;
    bool MenusEnabled() const { return SeriesMenusEnabled; }
    QString StatusText() const { return Status; } // status panel 4

    // "Tonvix " followed by the file name when the path is shown, "Tonvix " alone otherwise.
    static QString WindowTitle(const QString& fileName, bool showPath);

    // The operations; each leaves menus, status and chart consistent and then emits MenusChanged.
    void SetActive(int slot);
    void MakePresent(int slot);
    bool Add(); // false (and Message) when no slot is free
    void Delete(int slot);
    void ChooseActive();
    void DeleteAll();
    void ShowHide(int slot);
    void ShowAll();
    void PairUpdate();
    void PairRelease();
    // Brings the slots in line with State.ChannelMode: entering "Kanał L i R" pairs slot k with k + 4
    // (Pair update), leaving it releases them (Pair release); otherwise nothing changes.
    void SyncPairing();
    // "&Nowe pomiary": empties all ten chart series, zeroes every record and restores the names. The
    // caller sets the file name UntitledFileName, the title and resets the generator.
    void Reset();
    // Start-up, after SlotInUse is loaded: every existing slot is made present, the lowest ends active,
    // and the slots are paired when the stored channel mode is "Kanał L i R".
    void Register();
    // The record of a series a sweep starts to fill: its conditions and the measured flag.
    void StoreSweepConditions(int series, const TSweepConditions& conditions);
    // "Wyczyść serie": empties the two channel series.
    void ClearChannelSeries();
    // The chooser's OK before a sweep: the slot becomes active, is emptied (with its pair) and shown.
    // A slot that holds the first points of the sweep that goes on keeps them.
    void PrepareForSweep(int slot, bool keepPoints = false);

signals:
    void MenusChanged();                         // any item, the menus' enabled flag or the active slot
    void StatusTextChanged(const QString& text); // status panel 4
    void SlotChanged(int slot);                  // record or name changed (legend texts follow)
    void Message(const QString& text);           // a message box for the user

private:
    class TBatch; // emits MenusChanged once when the outermost operation ends

    TSeriesMenuItem& MutableItem(TSeriesMenu menu, int slot);
    void SetItems(int slot, bool visible, bool enabled);
    void SetShowHideItem(int slot, bool hidden);
    void SetStatus(const QString& text);
    void ClearSlot(int slot);
    void DeleteOne(int slot, bool itemsStayEnabled);
    int Reduced(int slot) const { return PairMode() && slot > 3 ? slot - 4 : slot; }
    static bool ValidSlot(int slot) { return slot >= 0 && slot < ResultSeriesCount; }

    TMeasurementState& State;
    TChartModel& Chart;
    std::array<SeriesSlot, ChartSeriesCount> Slots{};
    std::array<bool, ResultSeriesCount> InUse{true, false, false, false, false, false, false, false};
    std::array<bool, ResultSeriesCount> ChosenForSave{};
    std::array<QString, ResultSeriesCount> Names;
    std::array<std::array<TSeriesMenuItem, ResultSeriesCount>, SeriesMenuCount> Items;
    bool SeriesMenusEnabled = false;
    int Active = -1;
    bool Paired = false;
    QString Status;
    int BatchDepth = 0;
};
