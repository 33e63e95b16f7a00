// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <array>

class QCheckBox;
class QLineEdit;
class QSpinBox;
class TChartModel;

// "Skalowanie": shifts chosen result series up or down by a number of decibels. Only series that are
// shown and hold points can be chosen. The caller runs the axis set-up after an accepted dialog.
class TFormaSkalowanie : public QDialog
{
    Q_OBJECT
public:
    // `allowedKeys` are the characters the edits accept (digits, backspace, separator and "-").
    TFormaSkalowanie(TChartModel& model, const QString& allowedKeys, QWidget* parent = nullptr);

    // The limits a value is brought within when an edit is left, and the value that OK applies.
    static QString NormalisedValue(const QString& text);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int RowCount = 8;
    void EditChanged(int row);
    void Normalise(int row);

    TChartModel& Model;
    QString AllowedKeys;
    std::array<QCheckBox*, RowCount> Checks{};
    std::array<QLineEdit*, RowCount> Edits{};
    std::array<QSpinBox*, RowCount> UpDowns{};
};
