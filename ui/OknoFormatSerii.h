// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QSpinBox;

// "Format serii": the line style and width of one chart series. It only edits: the options dialog
// gives the chosen pen to the series' sample picture, and its apply step to the series.
class TFormaFormatSerii : public QDialog
{
    Q_OBJECT
public:
    static constexpr int MinimumWidth = 1, MaximumWidth = 20;

    // series: 0..7 the result series, 8 and 9 the left and right channel series (the picture's tag).
    TFormaFormatSerii(int series, Qt::PenStyle style, int width, QWidget* parent = nullptr);

    int Series() const { return SeriesIndex; }
    Qt::PenStyle Style() const;
    // The width typed, within 1..20; a text that is no number leaves the last width the up-down held.
    int Width() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void edtSzerokoscChange();

    int SeriesIndex;
    QGroupBox* rgStyl;
    QButtonGroup* Styles;
    QLineEdit* edtSzerokosc;
    QSpinBox* udSzerokosc;
};
