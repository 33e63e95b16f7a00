// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

// The borderless window with the program's picture and "Ładowanie..." shown while the main window
// is being created.
class TFormaSplash : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Width = 180;
    static constexpr int Height = 202;

    TFormaSplash();

    // Shows the window centred on the screen and paints it before returning.
    void ShowNow();
};
