// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoSkalowanie.h"

#include "common/ChartModel.h"
#include "common/NumberFormat.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

namespace {

constexpr double ScaleLimit = 200;
constexpr int UpDownMinimum = -2000, UpDownMaximum = 200;

// A key that edits text rather than moving focus or running a shortcut (paste, copy, Tab, ...).
bool IsTypedCharacter(const QKeyEvent& key)
{
    if (key.text().isEmpty() || key.modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    const QChar typed = key.text().front();
    return typed == '\b' || typed.isPrint();
}

} // namespace

TFormaSkalowanie::TFormaSkalowanie(TChartModel& model, const QString& allowedKeys, QWidget* parent)
    : QDialog(parent), Model(model), AllowedKeys(allowedKeys)
{
    setObjectName(QStringLiteral("FormaSkalowanie"));
    setWindowTitle(QStringLiteral("Skalowanie"));
    setFixedSize(189, 221);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setVerticalSpacing(1);
    for (int row = 0; row < RowCount; ++row) {
        const QString index = NumberFormat::Integer(row);
        auto* check = new QCheckBox(QStringLiteral("Seria ") + NumberFormat::Integer(row + 1), this);
        check->setObjectName(QStringLiteral("cbSeria") + index);
        auto* edit = new QLineEdit(QStringLiteral("0"), this);
        edit->setObjectName(QStringLiteral("edtSeria") + index);
        edit->installEventFilter(this);
        auto* upDown = new QSpinBox(this);
        upDown->setObjectName(QStringLiteral("udSeria") + index);
        upDown->setRange(UpDownMinimum, UpDownMaximum);
        upDown->setSingleStep(1);
        upDown->setWrapping(false);
        upDown->setValue(0);
        upDown->setFixedWidth(upDown->sizeHint().height()); // the arrows of the edit beside it
        upDown->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        for (QWidget* control : std::initializer_list<QWidget*>{check, edit, upDown})
            control->setEnabled(false);
        grid->addWidget(check, row, 0);
        grid->addWidget(edit, row, 1);
        grid->addWidget(upDown, row, 2);
        Checks[static_cast<std::size_t>(row)] = check;
        Edits[static_cast<std::size_t>(row)] = edit;
        UpDowns[static_cast<std::size_t>(row)] = upDown;

        connect(edit, &QLineEdit::textChanged, this, [this, row] { EditChanged(row); });
        // The up-down steps the edit's value; the edit keeps the limits.
        connect(upDown, &QSpinBox::valueChanged, this, [this, row](int value) {
            Edits[static_cast<std::size_t>(row)]->setText(NumberFormat::Integer(value));
            Normalise(row);
        });
    }

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Anuluj"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    grid->addWidget(ok, RowCount, 0);
    grid->addWidget(cancel, RowCount, 1, 1, 2);
}

QString TFormaSkalowanie::NormalisedValue(const QString& text)
{
    const std::optional<double> value = NumberFormat::ParseNumber(text);
    if (!value)
        return QStringLiteral("0");
    if (*value > ScaleLimit)
        return NumberFormat::Integer(static_cast<long long>(ScaleLimit));
    if (*value < -ScaleLimit)
        return NumberFormat::Integer(-static_cast<long long>(ScaleLimit));
    return text;
}

void TFormaSkalowanie::accept()
{
    for (int row = 0; row < RowCount; ++row) {
        // Enter reaches OK without leaving the edit, so its value is brought within the limits here too.
        Normalise(row);
        const std::optional<double> value =
            NumberFormat::ParseNumber(Edits[static_cast<std::size_t>(row)]->text());
        if (Checks[static_cast<std::size_t>(row)]->isChecked() && value && *value != 0)
            Model.AddToY(row, *value);
    }
    QDialog::accept();
}

void TFormaSkalowanie::showEvent(QShowEvent* event)
{
    for (int row = 0; row < RowCount; ++row) {
        const bool usable = Model.Visible(row) && !Model.Series(row).Empty();
        Checks[static_cast<std::size_t>(row)]->setEnabled(usable);
        Edits[static_cast<std::size_t>(row)]->setEnabled(usable);
        UpDowns[static_cast<std::size_t>(row)]->setEnabled(usable);
    }
    QDialog::showEvent(event);
}

bool TFormaSkalowanie::eventFilter(QObject* watched, QEvent* event)
{
    const auto edit = std::find(Edits.begin(), Edits.end(), watched);
    if (edit != Edits.end()) {
        if (event->type() == QEvent::KeyPress) {
            const auto& key = static_cast<const QKeyEvent&>(*event);
            if (IsTypedCharacter(key) && !AllowedKeys.contains(key.text().front()))
                return true;
        } else if (event->type() == QEvent::FocusOut) {
            Normalise(static_cast<int>(edit - Edits.begin()));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormaSkalowanie::EditChanged(int row)
{
    const std::optional<double> value =
        NumberFormat::ParseNumber(Edits[static_cast<std::size_t>(row)]->text());
    Checks[static_cast<std::size_t>(row)]->setChecked(value && *value != 0);
    // The up-down steps on from the value typed, without writing it back into the edit.
    if (value) {
        QSpinBox* upDown = UpDowns[static_cast<std::size_t>(row)];
        const QSignalBlocker quiet(upDown);
        upDown->setValue(
            static_cast<int>(std::lround(std::clamp<double>(*value, UpDownMinimum, UpDownMaximum))));
    }
}

void TFormaSkalowanie::Normalise(int row)
{
    QLineEdit* edit = Edits[static_cast<std::size_t>(row)];
    const QString text = NormalisedValue(edit->text());
    if (text != edit->text())
        edit->setText(text);
}
