// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/SeriesStore.h"

#include <algorithm>

namespace {

QString ActiveCaption(int slot)
{
    return QStringLiteral("Seria &%1").arg(slot + 1);
}

QString ShowHideCaption(int slot, bool hidden)
{
    return (hidden ? QStringLiteral("Pokaż serię %1") : QStringLiteral("Ukryj serię %1")).arg(slot + 1);
}

constexpr std::array<TSeriesMenu, SeriesMenuCount> AllMenus{
    TSeriesMenu::AktywnaSeria, TSeriesMenu::PokazRaport, TSeriesMenu::PokazSerie, TSeriesMenu::UsunSerie};

} // namespace

// Nested operations (Add runs Make present, which runs Set active) notify the menus once, at the end.
class TSeriesStore::TBatch
{
public:
    explicit TBatch(TSeriesStore& store) : Store(store) { ++Store.BatchDepth; }
    ~TBatch()
    {
        if (--Store.BatchDepth == 0)
            emit Store.MenusChanged();
    }
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;

private:
    TSeriesStore& Store;
};

TSeriesStore::TSeriesStore(TMeasurementState& state, TChartModel& chart, QObject* parent)
    : QObject(parent), State(state), Chart(chart)
{
    for (int slot = 0; slot < ResultSeriesCount; ++slot) {
        Names[static_cast<std::size_t>(slot)] = DefaultName(slot);
        for (TSeriesMenu menu : AllMenus)
            MutableItem(menu, slot).Caption = ActiveCaption(slot);
        MutableItem(TSeriesMenu::PokazSerie, slot).Caption = QStringLiteral("Ukryj serię &%1").arg(slot + 1);
    }
}

QString TSeriesStore::DefaultName(int slot)
{
    return QStringLiteral("Seria %1").arg(slot);
}

void TSeriesStore::SetSeriesName(int slot, const QString& name)
{
    Names[static_cast<std::size_t>(slot)] = name.left(MaxNameLength);
    emit SlotChanged(slot);
}

const TSeriesMenuItem& TSeriesStore::Item(TSeriesMenu menu, int slot) const
{
    return Items[static_cast<std::size_t>(menu)][static_cast<std::size_t>(slot)];
}

TSeriesMenuItem& TSeriesStore::MutableItem(TSeriesMenu menu, int slot)
{
    return Items[static_cast<std::size_t>(menu)][static_cast<std::size_t>(slot)];
}

QString TSeriesStore::WindowTitle(const QString& fileName, bool showPath)
{
    return showPath ? QStringLiteral("Tonvix ") + fileName : QStringLiteral("Tonvix ");
}

void TSeriesStore::SetStatus(const QString& text)
{
    Status = text;
    emit StatusTextChanged(text);
}

void TSeriesStore::SetItems(int slot, bool visible, bool enabled)
{
    for (TSeriesMenu menu : AllMenus) {
        TSeriesMenuItem& item = MutableItem(menu, slot);
        item.Visible = visible;
        item.Enabled = enabled;
    }
}

void TSeriesStore::SetShowHideItem(int slot, bool hidden)
{
    if (Item(TSeriesMenu::PokazSerie, slot).Checked == hidden)
        return; // the first captions keep their mnemonics until the user toggles
    TSeriesMenuItem& item = MutableItem(TSeriesMenu::PokazSerie, slot);
    item.Checked = hidden;
    item.Caption = ShowHideCaption(slot, hidden);
}

void TSeriesStore::SetActive(int slot)
{
    if (!ValidSlot(slot))
        return;
    TBatch batch(*this);
    slot = Reduced(slot);
    Active = slot;
    for (int other = 0; other < ResultSeriesCount; ++other)
        MutableItem(TSeriesMenu::AktywnaSeria, other).Checked = other == slot;
    QString text = QStringLiteral("Aktywna seria: %1").arg(slot + 1);
    if (PairMode())
        text += QStringLiteral(" i %1").arg(slot + 5);
    SetStatus(text);
}

void TSeriesStore::MakePresent(int slot)
{
    if (!ValidSlot(slot))
        return;
    TBatch batch(*this);
    SeriesMenusEnabled = true;
    SetItems(slot, true, true);
    Chart.SetVisible(slot, true);
    // The series is visible now, so its show/hide item must offer hiding, whatever it said before.
    SetShowHideItem(slot, false);
    SetActive(slot);
}

bool TSeriesStore::Add()
{
    const int limit = PairMode() ? 4 : ResultSeriesCount;
    const auto free = std::find(InUse.begin(), InUse.begin() + limit, false);
    if (free == InUse.begin() + limit) {
        emit Message(QStringLiteral("Nie można dodać więcej serii."));
        return false;
    }
    TBatch batch(*this);
    const int slot = static_cast<int>(free - InUse.begin());
    MakePresent(slot);
    InUse[static_cast<std::size_t>(slot)] = true;
    if (PairMode())
        PairUpdate();
    return true;
}

void TSeriesStore::ClearSlot(int slot)
{
    Slots[static_cast<std::size_t>(slot)] = SeriesSlot{};
    if (slot < ResultSeriesCount)
        Names[static_cast<std::size_t>(slot)] = DefaultName(slot);
    emit SlotChanged(slot);
}

void TSeriesStore::DeleteOne(int slot, bool itemsStayEnabled)
{
    for (TSeriesMenu menu : AllMenus) {
        TSeriesMenuItem& item = MutableItem(menu, slot);
        item.Visible = false;
        item.Enabled = item.Enabled && itemsStayEnabled;
    }
    InUse[static_cast<std::size_t>(slot)] = false;
    Chart.Clear(slot);
    Chart.SetVisible(slot, false);
    ClearSlot(slot);
}

void TSeriesStore::Delete(int slot)
{
    if (!ValidSlot(slot))
        return;
    TBatch batch(*this);
    slot = Reduced(slot);
    DeleteOne(slot, false);
    if (PairMode())
        DeleteOne(slot + 4, true);
    ChooseActive();
}

void TSeriesStore::ChooseActive()
{
    TBatch batch(*this);
    for (int slot = ResultSeriesCount - 1; slot >= 0; --slot) {
        if (InUse[static_cast<std::size_t>(slot)]) {
            SetActive(slot);
            return;
        }
    }
    SeriesMenusEnabled = false;
    Active = -1;
    SetStatus(QStringLiteral("Brak serii"));
}

void TSeriesStore::DeleteAll()
{
    TBatch batch(*this);
    const int count = PairMode() ? 4 : ResultSeriesCount;
    for (int slot = 0; slot < count; ++slot)
        Delete(slot);
    ChooseActive();
}

void TSeriesStore::ShowHide(int slot)
{
    if (!ValidSlot(slot))
        return;
    TBatch batch(*this);
    const bool wasHidden = Item(TSeriesMenu::PokazSerie, slot).Checked;
    Chart.SetVisible(slot, wasHidden);
    SetShowHideItem(slot, !wasHidden);
}

void TSeriesStore::ShowAll()
{
    TBatch batch(*this);
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        if (Item(TSeriesMenu::PokazSerie, slot).Checked)
            ShowHide(slot);
}

void TSeriesStore::PairUpdate()
{
    TBatch batch(*this);
    bool released = false;
    for (int k = 0; k < 4; ++k) {
        const int pair = k + 4;
        if (Item(TSeriesMenu::AktywnaSeria, k).Visible) {
            InUse[static_cast<std::size_t>(pair)] = true;
            for (TSeriesMenu menu : {TSeriesMenu::PokazSerie, TSeriesMenu::PokazRaport}) {
                MutableItem(menu, pair).Visible = true;
                MutableItem(menu, pair).Enabled = true;
            }
            Chart.SetVisible(pair, true);
            SetShowHideItem(pair, false);
            for (TSeriesMenu menu : {TSeriesMenu::AktywnaSeria, TSeriesMenu::UsunSerie}) {
                MutableItem(menu, pair).Visible = false;
                TSeriesMenuItem& item = MutableItem(menu, k);
                // Cut, so that repeating the update never lengthens the caption.
                item.Caption =
                    (item.Caption + QStringLiteral(" i ") + Item(menu, pair).Caption).left(PairCaptionLength);
            }
        } else {
            InUse[static_cast<std::size_t>(pair)] = false;
            SetItems(pair, false, false);
            Chart.SetVisible(pair, false);
            released = true;
        }
    }
    // Choosing once after the loop ends where choosing after each released pair would.
    if (released)
        ChooseActive();
    else if (Active >= 0)
        SetActive(
            Active); // a right-channel slot that was active hands over to its pair, and the status says so
}

void TSeriesStore::PairRelease()
{
    TBatch batch(*this);
    for (int k = 0; k < 4; ++k) {
        if (!Item(TSeriesMenu::AktywnaSeria, k).Visible)
            continue;
        MakePresent(k + 4);
        InUse[static_cast<std::size_t>(k + 4)] = true;
        for (TSeriesMenu menu : {TSeriesMenu::AktywnaSeria, TSeriesMenu::UsunSerie}) {
            TSeriesMenuItem& item = MutableItem(menu, k);
            item.Caption = item.Caption.left(SingleCaptionLength);
        }
    }
    // A measured right-channel slot comes back as a slot of its own; it exists, so it is in use too.
    for (int slot = 4; slot < ResultSeriesCount; ++slot) {
        if (Slots[static_cast<std::size_t>(slot)].SlotMeasured) {
            MakePresent(slot);
            InUse[static_cast<std::size_t>(slot)] = true;
        }
    }
    ChooseActive();
}

void TSeriesStore::SyncPairing()
{
    const bool wanted = State.ChannelMode == TChannelMode::Both;
    if (wanted == Paired)
        return;
    Paired = wanted;
    if (Paired)
        PairUpdate();
    else
        PairRelease();
}

void TSeriesStore::Reset()
{
    TBatch batch(*this);
    Chart.ClearAll();
    for (int series = 0; series < ChartSeriesCount; ++series)
        ClearSlot(series);
}

void TSeriesStore::Register()
{
    TBatch batch(*this);
    for (int slot = ResultSeriesCount - 1; slot >= 0; --slot)
        if (InUse[static_cast<std::size_t>(slot)])
            MakePresent(slot);
    if (Active < 0) // settings that keep no slot: as after deleting the last one
        ChooseActive();
    SyncPairing();
}

void TSeriesStore::StoreSweepConditions(int series, const TSweepConditions& conditions)
{
    if (!ValidSlot(series))
        return;
    SeriesSlot& record = Slots[static_cast<std::size_t>(series)];
    record.SlotAveragingTime = conditions.AveragingTime;
    record.SlotFrameRate = conditions.FrameRate;
    record.SlotChannel = static_cast<std::uint8_t>(conditions.Mode);
    record.SlotMicrophoneCorrected = conditions.MicrophoneCorrected;
    record.SlotSynchronous = conditions.Synchronous;
    record.SlotReference = static_cast<std::uint8_t>(conditions.Reference);
    record.SlotMeasured = true;
    emit SlotChanged(series);
}

void TSeriesStore::ClearChannelSeries()
{
    Chart.Clear(LeftChannelSeries);
    Chart.Clear(RightChannelSeries);
}

void TSeriesStore::PrepareForSweep(int slot, bool keepPoints)
{
    if (!ValidSlot(slot))
        return;
    TBatch batch(*this);
    SetActive(slot);
    slot = Active;
    if (!keepPoints) {
        Chart.Clear(slot);
        if (PairMode())
            Chart.Clear(slot + 4);
    }
    if (Item(TSeriesMenu::PokazSerie, slot).Checked)
        ShowHide(slot);
}
