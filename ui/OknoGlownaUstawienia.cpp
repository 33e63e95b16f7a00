// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's settings: loaded first at creation, saved last at destruction.

#include "ui/OknoGlowna.h"

#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"
#include "ui/ChartView.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>

void TFormaGlowna::LoadSettings()
{
    const TSettingsStore* store = TSettingsStore::Instance();
    if (store == nullptr) { // no settings (a tool or a test): a first start's window
        chtWykres->SetPreferences(Measurement.Preferences);
        ShowDetailView(TDetailView{});
        Series.Register();
        SelectKind(Measurement.MeasurementKind, this);
        ApplyPosition(TWindowPosition{}); // sized for the kind's panels
        return;
    }
    ::LoadSettings(*store, audAudioIn, audAudioOut, Measurement, Stored);
    LoadMicrophoneFiles();
    SetFrequencyWeighting(Measurement.FrequencyWeighting);
    DialogFolder = Stored.WorkDir;
    cbKompensacja->setChecked(Stored.Compensation);
    TrybPracyButtons->button(std::clamp(Stored.CanalNo, 0, 2))->setChecked(true);
    Measurement.ChannelMode = static_cast<TChannelMode>(std::clamp(Stored.CanalNo, 0, 2));
    cbCzasUsredniania->setCurrentIndex(std::clamp(Stored.Average, 0, cbCzasUsredniania->count() - 1));
    for (int series = 0; series < ChartSeriesCount; ++series) {
        const TSeriesFormat& format = Stored.Series[static_cast<std::size_t>(series)];
        chtWykres->SetSeriesPen(series, format.Colour, format.Style, format.Width);
    }
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        Series.SetSlotInUse(slot, Stored.SlotInUse[static_cast<std::size_t>(slot)]);
    chtWykres->SetPreferences(Measurement.Preferences);
    ShowDetailView(Stored.DetailView);
    // Slots register before the stored kind is selected, whose switch then owns status panel 4.
    Series.Register();
    SelectKind(Stored.Kind ? TMeasurementKind::FrequencyCharacteristic : TMeasurementKind::SoundPressure,
               this);
    ApplyPosition(Stored.Position);
}

void TFormaGlowna::ApplyPosition(const TWindowPosition& position)
{
    // An unstored size is the window's first size; an unstored place centres the window, from its
    // first size before a stored size applies.
    const QSize first = FirstScreenSize();
    resize(first);
    QRect area(QPoint(0, 0), first);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    const int centredLeft = area.x() + qRound((area.width() - width()) / 2.0);
    const int centredTop = area.y() + qRound((area.height() - height()) / 2.0);
    int left = position.Left.value_or(centredLeft);
    int top = position.Top.value_or(centredTop);
    const int storedWidth = position.Width.value_or(0) > 0 ? *position.Width : first.width();
    // A place stored on a monitor that is gone would open the window out of reach; the top edge's
    // middle must lie on some screen, or the window is centred as on a first start.
    if (QGuiApplication::screenAt(QPoint(left + storedWidth / 2, top)) == nullptr) {
        left = centredLeft;
        top = centredTop;
    }
    move(left, top);
    resize(storedWidth, position.Height.value_or(0) > 0 ? *position.Height : first.height());
    if (const std::optional<Qt::WindowState> state = WindowStateFromCode(position.WindowState))
        setWindowState(*state);
}

QString TFormaGlowna::SaveSettings()
{
    TSettingsStore* store = TSettingsStore::Instance();
    if (store == nullptr)
        return QString();
    Stored.Compensation = mmiKompensacja->isChecked();
    Stored.CanalNo = TrybPracyButtons->checkedId();
    Stored.Average = cbCzasUsredniania->currentIndex();
    Stored.Kind = actPomiarCharakterystyk->isChecked();
    Stored.WorkDir = DialogFolder;
    Stored.DetailView = ChosenDetailView();
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        Stored.SlotInUse[static_cast<std::size_t>(slot)] = Series.SlotInUse(slot);
    TWindowPosition& position = Stored.Position;
    position.WindowState = WindowStateCode(windowState());
    if (position.WindowState == 1) { // a minimized or maximized window keeps its last normal place
        position.Left = x();
        position.Top = y();
        position.Width = width();
        position.Height = height();
    }
    return ::SaveSettings(*store, audAudioIn, audAudioOut, Measurement, Stored) ? QString()
                                                                                : store->SyncFailure();
}
