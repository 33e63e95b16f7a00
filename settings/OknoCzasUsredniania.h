// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/RecordingControl.h"

#include <QDialog>
#include <QPoint>

class QLineEdit;

// "Czas usredniania": a free averaging time constant in seconds, for the item "Inny" of the averaging
// list. Shown with its top right corner at the given point (over the main window's right panel).
class TFormaCzasUsredniania : public QDialog
{
    Q_OBJECT
public:
    static constexpr double MinimumTime = TRecordingControl::MinimumAveragingTime; // s

    TFormaCzasUsredniania(double seconds, const QPoint& topRight, QWidget* parent = nullptr);

    // The accepted time; valid after the dialog closed with OK.
    double Seconds() const { return Accepted; }

    // OK: a number of at least MinimumTime closes the dialog; anything else is refused with a message
    // and the dialog stays open.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* edtCzasUsredniania;
    QPoint TopRight;
    double Accepted = 0;
};
