// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoFormatSerii.h"

#include "common/NumberFormat.h"
#include "settings/KeyFilter.h"
#include "settings/WindowSettings.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

TFormaFormatSerii::TFormaFormatSerii(int series, Qt::PenStyle style, int width, QWidget* parent)
    : QDialog(parent), SeriesIndex(series)
{
    setObjectName(QStringLiteral("TFormaFormatSerii"));
    setWindowTitle(QStringLiteral("Format serii"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(275, 131);

    // The item index is the pen-style code of the settings.
    rgStyl = new QGroupBox(QStringLiteral("&Styl:"), this);
    rgStyl->setObjectName(QStringLiteral("rgStyl"));
    Styles = new QButtonGroup(rgStyl);
    auto* items = new QVBoxLayout(rgStyl);
    items->setContentsMargins(6, 2, 6, 2);
    items->setSpacing(0);
    const QString captions[] = {QStringLiteral("Ciągły"), QStringLiteral("Kreska kreska"),
                                QStringLiteral("Kropka kropka"), QStringLiteral("Kreska kropka"),
                                QStringLiteral("Kreska kropka kropka")};
    for (int code = 0; code < 5; ++code) {
        auto* item = new QRadioButton(captions[code], rgStyl);
        item->setObjectName(QStringLiteral("rbStyl%1").arg(code));
        Styles->addButton(item, code);
        items->addWidget(item);
    }
    Styles->button(0)->setChecked(true);
    if (const int code = PenStyleCode(style); code >= 0)
        Styles->button(code)->setChecked(true);

    edtSzerokosc = new QLineEdit(QStringLiteral("1"), this);
    edtSzerokosc->setObjectName(QStringLiteral("edtSzerokosc"));
    TKeyFilter::Install(edtSzerokosc, TKeyFilter::Digits);
    auto* caption = new QLabel(QStringLiteral("&Szerokość"), this);
    caption->setBuddy(edtSzerokosc);
    udSzerokosc = new QSpinBox(this);
    udSzerokosc->setObjectName(QStringLiteral("udSzerokosc"));
    udSzerokosc->setRange(MinimumWidth, MaximumWidth);
    udSzerokosc->setWrapping(false);
    udSzerokosc->setValue(1);
    udSzerokosc->setFixedWidth(udSzerokosc->sizeHint().height()); // the arrows of the edit beside it
    udSzerokosc->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    connect(udSzerokosc, &QSpinBox::valueChanged, this,
            [this](int value) { edtSzerokosc->setText(NumberFormat::Integer(value)); });
    connect(edtSzerokosc, &QLineEdit::textChanged, this, &TFormaFormatSerii::edtSzerokoscChange);

    auto* btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    auto* btnAnuluj = new QPushButton(QStringLiteral("&Anuluj"), this);
    btnAnuluj->setObjectName(QStringLiteral("btnAnuluj"));
    for (QPushButton* button : {btnOK, btnAnuluj})
        button->setAutoDefault(false); // Enter is OK wherever the focus is
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnAnuluj, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->addWidget(rgStyl, 0, 0, 4, 1);
    grid->addWidget(caption, 0, 1, 1, 2);
    grid->addWidget(edtSzerokosc, 1, 1);
    grid->addWidget(udSzerokosc, 1, 2);
    grid->addWidget(btnOK, 2, 1, 1, 2);
    grid->addWidget(btnAnuluj, 3, 1, 1, 2);

    udSzerokosc->setValue(std::clamp(width, MinimumWidth, MaximumWidth));
    edtSzerokosc->setText(NumberFormat::Integer(udSzerokosc->value()));
}

Qt::PenStyle TFormaFormatSerii::Style() const
{
    return PenStyleFromCode(Styles->checkedId());
}

int TFormaFormatSerii::Width() const
{
    const std::optional<long long> typed = NumberFormat::ParseInteger(edtSzerokosc->text());
    if (!typed)
        return udSzerokosc->value();
    return static_cast<int>(std::clamp<long long>(*typed, MinimumWidth, MaximumWidth));
}

void TFormaFormatSerii::showEvent(QShowEvent* event)
{
    if (parentWidget() != nullptr) // centred on its owner
        move(parentWidget()->window()->geometry().center() - rect().center());
    QDialog::showEvent(event);
}

// The style is chosen for a line one pixel wide only.
void TFormaFormatSerii::edtSzerokoscChange()
{
    const std::optional<long long> typed = NumberFormat::ParseInteger(edtSzerokosc->text());
    rgStyl->setEnabled(typed && *typed == 1);
    if (typed && *typed >= MinimumWidth && *typed <= MaximumWidth) {
        const QSignalBlocker quiet(udSzerokosc); // the up-down steps on from the width typed
        udSzerokosc->setValue(static_cast<int>(*typed));
    }
}
