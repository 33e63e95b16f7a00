// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The program's own question box for closing and for changing the measurement kind: "&Tak", "&Nie"
// and, when cancelling is allowed, "&Anuluj".
class TFormaDialog : public QDialog
{
    Q_OBJECT
public:
    enum TAnswer { Anuluj = 0, Tak = 1, Nie = 2 }; // closing the box counts as "&Anuluj"

    static constexpr int ButtonWidth = 60;
    static constexpr int ButtonHeight = 20;
    static constexpr int FullWidth = 297;
    static constexpr int Height = 76;
    static constexpr int ButtonLeft[3] = {39, 119, 199}; // "&Tak", "&Nie", "&Anuluj"

    TFormaDialog(const QString& question, bool withCancel, QWidget* parent);

    // Shows the box modally and returns the answer.
    TAnswer Ask();
};
