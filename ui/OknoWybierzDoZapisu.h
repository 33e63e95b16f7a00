// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/SeriesStore.h"

#include <QDialog>
#include <array>

class QCheckBox;

// "Wybierz serie": before a frequency-characteristic file is written the user ticks the result series
// that go into it. Measured series come ticked, hidden and empty ones unticked, slots that do not exist
// cannot be ticked.
class TFormaWybierzDoZapisu : public QDialog
{
    Q_OBJECT
public:
    explicit TFormaWybierzDoZapisu(const TSeriesStore& store, QWidget* parent = nullptr);

    // The check box caption of a slot: "Seria N", then " (wykorzystana)" or " (pusta)" for a slot in
    // use, then "(ukryta)" after a measured one or " (ukryta)" after an empty one when it is hidden.
    static QString Caption(const TSeriesStore& store, int slot);

    // Runs the dialog. OK: the slots' flags take the ticks; cancel: the flags stay cleared.
    static bool Choose(TSeriesStore& store, QWidget* parent);

    std::array<bool, ResultSeriesCount> Ticked() const;

private:
    std::array<QCheckBox*, ResultSeriesCount> cbSeria{};
};
