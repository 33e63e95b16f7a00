// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/SeriesStore.h"

#include <QDialog>
#include <QPoint>

class QButtonGroup;
class QPushButton;
class QWidget;

// "Wybierz serię": before a sweep the user picks the slot (the pair, with both channels) that the
// points will go to. One radio item per existing slot; "&Dodaj" adds a slot and lists it at once.
class TFormaWybierzSerie : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ItemHeight = 24;
    static constexpr int BaseHeight = 52; // the buttons' row and the margins
    static constexpr int FormWidth = 260;

    // continuedSlot: the slot that holds the first points of an interrupted sweep, which stay when it
    // is chosen again (-1: none).
    explicit TFormaWybierzSerie(TSeriesStore& store, QWidget* parent = nullptr, int continuedSlot = -1);

    // Runs the chooser with its right edge on the main window's right edge and its bottom level with
    // the Start button's lower edge. False when the start is cancelled.
    static bool Choose(TSeriesStore& store, QWidget* mainWindow, QWidget* startButton,
                       int continuedSlot = -1);

    // "Seria 1: wykorzystana, ukryta", "Seria 2 i 6: puste" and so on.
    static QString ItemText(const TSeriesStore& store, int slot);

    // Keeps the given point (global coordinates) as the frame's bottom right corner, also when the
    // dialog grows.
    void Anchor(const QPoint& bottomRight);
    int ItemCount() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill();
    void Place();
    void btnOKClick();
    void btnDodajClick();

    TSeriesStore& Store;
    int ContinuedSlot;
    QWidget* pnlSerie;
    QButtonGroup* rgSerie;
    QPushButton *btnOK, *btnDodaj, *btnAnuluj;
    QPoint BottomRight;
    bool Anchored = false;
};
