// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoWybierzDoZapisu.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TFormaWybierzDoZapisu::TFormaWybierzDoZapisu(const TSeriesStore& store, QWidget* parent) : QDialog(parent)
{
    setObjectName("TFormaWybierzDoZapisu");
    setWindowTitle(QStringLiteral("Wybierz serie"));
    auto* layout = new QVBoxLayout(this);
    for (int slot = 0; slot < ResultSeriesCount; ++slot) {
        auto* box = new QCheckBox(Caption(store, slot), this);
        box->setObjectName(QStringLiteral("cbSeria%1").arg(slot));
        box->setEnabled(store.SlotInUse(slot));
        box->setChecked(store.SlotInUse(slot) && store.Slot(slot).SlotMeasured && !store.Hidden(slot));
        layout->addWidget(box);
        cbSeria[static_cast<std::size_t>(slot)] = box;
    }
    auto* pnlPrzyciski = new QWidget(this);
    pnlPrzyciski->setObjectName("pnlPrzyciski");
    auto* buttons = new QHBoxLayout(pnlPrzyciski);
    auto* btnOK = new QPushButton(QStringLiteral("&OK"), pnlPrzyciski);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true); // Enter
    auto* btnAnuluj = new QPushButton(QStringLiteral("&Anuluj"), pnlPrzyciski);
    btnAnuluj->setObjectName("btnAnuluj");
    btnAnuluj->setAutoDefault(false);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnAnuluj);
    layout->addWidget(pnlPrzyciski);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnAnuluj, &QPushButton::clicked, this, &QDialog::reject); // and Escape
    setFixedSize(sizeHint());                                          // a fixed dialog border
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QString TFormaWybierzDoZapisu::Caption(const TSeriesStore& store, int slot)
{
    QString caption = QStringLiteral("Seria %1").arg(slot + 1);
    if (!store.SlotInUse(slot))
        return caption;
    const bool measured = store.Slot(slot).SlotMeasured;
    caption += measured ? QStringLiteral(" (wykorzystana)") : QStringLiteral(" (pusta)");
    if (store.Hidden(slot))
        caption += measured ? QStringLiteral("(ukryta)") : QStringLiteral(" (ukryta)");
    return caption;
}

std::array<bool, ResultSeriesCount> TFormaWybierzDoZapisu::Ticked() const
{
    std::array<bool, ResultSeriesCount> ticked{};
    for (std::size_t slot = 0; slot < ticked.size(); ++slot)
        ticked[slot] = cbSeria[slot]->isEnabled() && cbSeria[slot]->isChecked();
    return ticked;
}

bool TFormaWybierzDoZapisu::Choose(TSeriesStore& store, QWidget* parent)
{
    store.SlotChosenForSave().fill(false);
    TFormaWybierzDoZapisu dialog(store, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    store.SlotChosenForSave() = dialog.Ticked();
    return true;
}
