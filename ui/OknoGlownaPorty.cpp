// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine (level meter, recording control, sweep, calibration) asks of the main window.

#include "ui/OknoGlowna.h"

#include "audio/DeviceServices.h"

#include "measure/RecordingControl.h"
#include "ui/ChartView.h"
#include "ui/EventSound.h"
#include "ui/OknoWybierzSerie.h"
#include "ui/SeriesMenus.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

// ---- IMeterWindow

void TFormaGlowna::SetReadoutText(int channel, const QString& text)
{
    (channel == 0 ? lblWartoscL : lblWartoscP)->setText(text);
}

void TFormaGlowna::SetReadoutRed(int channel, bool red)
{
    QLabel* readout = channel == 0 ? lblWartoscL : lblWartoscP;
    QPalette colours = readout->palette();
    colours.setColor(QPalette::Active, QPalette::WindowText, red ? Qt::red : Qt::black);
    colours.setColor(QPalette::Inactive, QPalette::WindowText, red ? Qt::red : Qt::black);
    readout->setPalette(colours);
}

void TFormaGlowna::Beep()
{
    if (!OverloadSound)
        OverloadSound = std::make_unique<TEventSound>();
    OverloadSound->PlayWarning();
}

bool TFormaGlowna::StartButtonEnabled() const
{
    return btnStart->isEnabled();
}

void TFormaGlowna::SetLevelAxisRange(double minimum, double maximum)
{
    chtWykres->SetLevelRange(minimum, maximum);
}

void TFormaGlowna::SetTimeAxisAutomatic()
{
    chtWykres->SetBottomAutoRange(true);
}

int TFormaGlowna::ActiveSeries() const
{
    return Series.ActiveSeries();
}

void TFormaGlowna::UpdateClockPanel()
{
    Recording->UpdateClockPanel();
}

void TFormaGlowna::SweepStep()
{
    Sweep->Step();
}

// ---- IRecordingWindow

void TFormaGlowna::SetClockText(const QString& text)
{
    // The longest text of a sweep, its frequency, fits the panel, and so does a longer one: the font
    // gets smaller where it would not. Every shorter text keeps the font of the sweep's.
    QFont font = pnlPanelPrawy->font();
    const QFontMetrics metrics(font);
    const int needed = std::max(metrics.horizontalAdvance(QStringLiteral("Częst.: 99999,99 Hz")),
                                metrics.horizontalAdvance(text));
    const int room = pnlPanelPrawy->width() - 12; // the column's margins and the panel's frame
    if (needed > room)
        font.setPointSizeF(font.pointSizeF() * room / needed);
    pnlCzas->setFont(font);
    pnlCzas->setText(text);
}

void TFormaGlowna::BindStartButton(bool toStop)
{
    // Only the bound action carries F2, so the key always reaches what the button shows.
    actStart->setShortcut(toStop ? QKeySequence() : QKeySequence(Qt::Key_F2));
    actStop->setShortcut(toStop ? QKeySequence(Qt::Key_F2) : QKeySequence());
    QAction* bound = toStop ? actStop : actStart;
    if (btnStart->defaultAction() != bound) {
        btnStart->removeAction(btnStart->defaultAction());
        btnStart->setDefaultAction(bound);
    }
}

void TFormaGlowna::BindStartMenuItem(bool toStop)
{
    QAction* shown = toStop ? actStop : actStart;
    QAction* replaced = toStop ? actStart : actStop;
    if (mmiPomiar->actions().contains(replaced)) {
        mmiPomiar->insertAction(replaced, shown);
        mmiPomiar->removeAction(replaced);
    }
}

void TFormaGlowna::SetStartCaption(const QString& caption)
{
    btnStart->setText(caption);
}

void TFormaGlowna::SetStartEnabled(bool enabled)
{
    btnStart->setEnabled(enabled);
}

void TFormaGlowna::SetPauseEnabled(bool enabled)
{
    btnPauza->setEnabled(enabled);
}

void TFormaGlowna::SetKindAndCalibrationEnabled(bool enabled)
{
    actPomiarCisnienia->setEnabled(enabled);
    actPomiarCharakterystyk->setEnabled(enabled);
    mmiNarzedziaKalibracja->setEnabled(enabled);
    findChild<QToolButton*>("tbnKalibracja")->setEnabled(enabled);
}

void TFormaGlowna::SetAveragingEnabled(bool enabled)
{
    cbCzasUsredniania->setEnabled(enabled);
    actCzasUsreniania->setEnabled(enabled);
}

void TFormaGlowna::SetOptionsEnabled(bool enabled)
{
    actOpcjeWykresu->setEnabled(enabled);
    actKonfiguracja->setEnabled(enabled);
}

void TFormaGlowna::SetSeriesMenusEnabled(bool enabled)
{
    SeriesMenus->LockForSweep(!enabled);
}

void TFormaGlowna::SetMemoryReleaseEnabled(bool enabled)
{
    tbnKosz->setEnabled(enabled);
    mmiKosz->setEnabled(enabled);
}

void TFormaGlowna::SetZoomAllowed(bool allowed)
{
    chtWykres->SetZoomAllowed(allowed);
}

void TFormaGlowna::SetReadoutsBlack()
{
    SetReadoutRed(0, false);
    SetReadoutRed(1, false);
}

void TFormaGlowna::SetTickInterval(int milliseconds)
{
    if (milliseconds <= 0) { // an interval of 0 leaves the timer idle: ticks come from the blocks
        tmrTimer->stop();
        tmrTimer->setInterval(0);
    } else {
        tmrTimer->start(milliseconds);
    }
}

void TFormaGlowna::SetPauseBlinking(bool on)
{
    if (on)
        tmrPauza->start();
    else
        tmrPauza->stop();
}

void TFormaGlowna::SetTimeAxisRange(double minimum, double maximum)
{
    chtWykres->SetBottomRange(minimum, maximum);
}

void TFormaGlowna::SetTimeAxisAutoRange(bool on)
{
    chtWykres->SetBottomAutoRange(on);
}

void TFormaGlowna::StoreChannelPeakLevels(double left, double right)
{
    Series.Slot(LeftChannelSeries).SlotPeakLevel = left;
    Series.Slot(RightChannelSeries).SlotPeakLevel = right;
}

void TFormaGlowna::ShowReport(int series)
{
    SeriesMenus->ShowReport(series);
}

int TFormaGlowna::AveragingItem() const
{
    return cbCzasUsredniania->currentIndex();
}

void TFormaGlowna::SetAveragingItem(int item)
{
    cbCzasUsredniania->setCurrentIndex(item);
}

void TFormaGlowna::SetOtherAveragingText(const QString& text)
{
    cbCzasUsredniania->setItemText(3, text);
}

// ---- ISweepWindow

bool TFormaGlowna::ChooseSeries(int continuedSeries)
{
    return TFormaWybierzSerie::Choose(Series, this, btnStart, continuedSeries);
}

void TFormaGlowna::SetSeriesShown(int series, bool shown)
{
    if (Series.Hidden(series) == shown) // through the store, so that its menu items follow
        Series.ShowHide(series);
}

void TFormaGlowna::StoreSweepConditions(int series, const TSweepConditions& conditions)
{
    Series.StoreSweepConditions(series, conditions); // the legend follows its SlotChanged
}

void TFormaGlowna::StoreSweepPeakLevel(int series, double level)
{
    Series.Slot(series).SlotPeakLevel = level;
}

void TFormaGlowna::SetSweepEditsEnabled(bool enabled)
{
    SetSeriesMenusEnabled(enabled);
    SetSweepParametersEnabled(enabled);
    // A sweep's points go to the series of the mode it started in, and from its first frequency on.
    rgTrybPracy->setEnabled(enabled);
    actTrybPracy->setEnabled(enabled);
    mmiZerujGenerator->setEnabled(enabled);
}

void TFormaGlowna::SetSweepParametersEnabled(bool enabled)
{
    for (QLineEdit* edit : {edtStartFreq, edtStopFreq, edtLiczbaPunktow})
        edit->setEnabled(enabled);
}

void TFormaGlowna::SetProgress(int position)
{
    pbPasekPostepu->setValue(std::clamp(position, pbPasekPostepu->minimum(), pbPasekPostepu->maximum()));
}

void TFormaGlowna::SetProgressMaximum(int maximum)
{
    pbPasekPostepu->setMaximum(maximum);
}

void TFormaGlowna::SetEstimatedTime(const QString& text)
{
    edtCzasPomiaru->setText(text);
}

void TFormaGlowna::ShowDelay(const QString& text)
{
    edtOpoznienie->setText(text);
    edtOpoznienie->parentWidget()->setVisible(!text.isEmpty());
}

double TFormaGlowna::AirTemperature() const
{
    return Stored.Impulse.Temperature; // the one the window "Odpowiedź impulsowa" sets
}

bool TFormaGlowna::SeparateClocks() const
{
    return TDeviceServices::SeparateClocks(audAudioIn, audAudioOut);
}

void TFormaGlowna::ClickStartButton()
{
    // The button is disabled during a start's settling wait, and a click would not get through it:
    // a sweep that fails in the wait (at ten times real time the probe and the first points fall in
    // it) would go on measuring with nothing left to measure.
    if (btnStart->defaultAction() == actStop)
        actStop->trigger();
}

void TFormaGlowna::SetFrequencyAxisRange(double minimum, double maximum)
{
    chtWykres->SetBottomRange(minimum, maximum);
}

// ---- ICalibrationWindow

void TFormaGlowna::SetCalibrating(bool on)
{
    // A second calibration cannot start on top of one either; a sweep parameter typed or the generator
    // zeroed would move the tone being measured.
    SetKindAndCalibrationEnabled(!on);
    SetSweepParametersEnabled(!on);
    mmiZerujGenerator->setEnabled(!on);
    UpdateStartAction();
    if (on)
        return;
    // No measurement runs now to own a tick; and the generator is back at the sweep's start, so a
    // stopped sweep starts afresh rather than going on from a point it no longer plays.
    SetTickInterval(0);
    Sweep->Zero();
    // A calibration is worth keeping even if the program never closes normally. Its failure is said once
    // the calibration's own step has ended.
    if (const QString failure = SaveSettings(); !failure.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, failure] { ShowError(failure); }, Qt::QueuedConnection);
}

void TFormaGlowna::SetCalibrationTimerInterval(int milliseconds)
{
    if (milliseconds <= 0)
        tmrKalibracja->stop();
    else
        tmrKalibracja->start(milliseconds);
}
