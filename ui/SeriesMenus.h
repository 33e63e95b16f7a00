// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/SeriesStore.h"

#include <QObject>
#include <array>

class QAction;
class QMenu;
class QWidget;

// The series sub-menus of the "Edycja" menu and of the chart's pop-up menu: "Aktywna seria",
// "Pokaż raport", "Pokaż/ukryj serię", "Dodaj serię", "Usuń serię", "Usuń wszystkie" and the hidden
// "Wyczyść serie". They mirror the series store and hand every click to it; shortcuts live on the
// menu bar's items only.
class TSeriesMenus : public QObject
{
    Q_OBJECT
public:
    // window: the parent of the menus and of the report box.
    TSeriesMenus(TSeriesStore& store, TMeasurementState& state, QWidget* window);

    // Appends the items, from "Aktywna seria" to "Wyczyść serie", to the given menu.
    void AddToEditMenu(QMenu* menu);
    void AddToPopupMenu(QMenu* menu);

    // While a sweep runs its slot must stay: "Aktywna seria", "Usuń serię", "Dodaj serię" and
    // "Usuń wszystkie" are disabled in both menus, and stay so whatever the store does meanwhile.
    void LockForSweep(bool locked);

    // The report box of a chart series (0..9); nothing where this kind has no report for it.
    void ShowReport(int series);
    // From a menu click the "ShowRaport" preference is inverted; both check marks follow it always.
    void mmiPokazujRaportClick(bool fromMenu);

signals:
    // Shown or hidden from the menu bar: the chart's axes are to be set up again.
    void RescaleRequested();

private:
    struct TMenuSet
    {
        std::array<QMenu*, SeriesMenuCount> Menus{};
        std::array<std::array<QAction*, ResultSeriesCount>, SeriesMenuCount> Items{};
        QAction* PokazujRaport{};
        QAction* WyczyscSeries{};
    };

    void Build(TMenuSet& set, bool popup);
    void AddTo(const TMenuSet& set, QMenu* menu);
    void Mirror();

    TSeriesStore& Store;
    TMeasurementState& State;
    QWidget* Window;
    TMenuSet Main, Popup;
    QAction *actDodajSerie{}, *actUsunWszystkie{};
    bool Locked = false;
};
