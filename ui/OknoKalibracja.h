// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/Calibration.h"
#include "measure/MeasurementState.h"

#include <QDialog>

class QButtonGroup;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QSpinBox;

// "Kalibracja": the procedure of the current measurement kind and its value. The pressure kind's
// group and the frequency kind's group are each enabled in their own kind only.
class TFormaKalibracja : public QDialog
{
    Q_OBJECT
public:
    enum TResult { Anuluj = 0, Wykonaj = 1, Reset = 2 };

    // Offers the values of `last`, the request chosen before.
    TFormaKalibracja(TMeasurementKind kind, const TCalibrationRequest& last, QWidget* parent = nullptr);

    // The procedure and values chosen, for the kind the dialog was opened in.
    TCalibrationRequest Request() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSpinBox* NewValueEdit(const char* name, int minimum, int maximum, int value, int step = 1);

    TMeasurementKind Kind;
    QGroupBox *rgSposobKalibracji1{}, *rgSposobKalibracji2{};
    QButtonGroup* SposobKalibracji2{};
    QDoubleSpinBox* edtPoziomOdniesienia{}; // one decimal, as calibrators state their levels
    QSpinBox *edtCzestotliwoscOdnieseienia{}, *edtPoziomMaksimum{};
};
