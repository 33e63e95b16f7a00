// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/AdvancedSettings.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// "Ustawienia zaawansowane": the block sizes, the automatic block-size rule, the measurement delay, the
// linear averaging time 1/N and the output-voltage slope K. The dialog only edits; the caller applies
// what it accepted (ApplyAdvancedSettings).
class TFormaZaawansowane : public QDialog
{
    Q_OBJECT
public:
    // Asks "Czy na pewno chcesz zatwierdzić zmiany?" over the dialog; true for yes.
    using TConfirmation = std::function<bool(QWidget* dialog)>;

    // inForce: the values in force; frameRate: the input frame rate the sizes and durations are
    // reckoned at (the rate chosen in the options, or the running input's).
    TFormaZaawansowane(const TAdvancedSettings& inForce, int frameRate, TConfirmation confirm,
                       QWidget* parent = nullptr);

    TAdvancedSettings Values() const;

    // OK and Enter: the confirmation; yes closes with OK, any other answer with Cancel.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cbAutoBuffSizeClick();
    void ShowDuration(QLineEdit* samples, QLineEdit* duration);
    void Restore(QLineEdit* edit); // an empty (or, except the delay, zero) edit takes the value in force
    int Number(const QLineEdit* edit) const;

    TAdvancedSettings InForce;
    int FrameRate;
    TConfirmation Confirm;
    QLineEdit *edtBuforWejsciowy, *edtBuforWejsciowyT, *edtBuforWyjsciowy, *edtBuforWyjsciowyT;
    QLineEdit *edtOpoznieniePomiaru, *edtCzasUsLin, *edtNachylenie;
    QCheckBox* cbAutoBuffSize;
    QComboBox* cbFormatProbek;    // item 0 "16 bitów", 1 "32 bity zmiennoprzecinkowe"
    QList<QWidget*> SizeControls; // the size edits, their durations and labels
    QLabel* lblCzasUsLin;
};
