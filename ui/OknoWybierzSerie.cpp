// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoWybierzSerie.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TFormaWybierzSerie::TFormaWybierzSerie(TSeriesStore& store, QWidget* parent, int continuedSlot)
    : QDialog(parent), Store(store), ContinuedSlot(continuedSlot), pnlSerie(new QWidget(this)),
      rgSerie(new QButtonGroup(this)), btnOK(new QPushButton(QStringLiteral("&OK"), this)),
      btnDodaj(new QPushButton(QStringLiteral("&Dodaj"), this)),
      btnAnuluj(new QPushButton(QStringLiteral("&Anuluj"), this))
{
    setObjectName("TFormaWybierzSerie");
    setWindowTitle(QStringLiteral("Wybierz serię"));
    pnlSerie->setObjectName("pnlSerie");
    btnOK->setObjectName("btnOK");
    btnDodaj->setObjectName("btnDodaj");
    btnAnuluj->setObjectName("btnAnuluj");
    // Enter presses "&OK" through the default button, Esc rejects as in every QDialog.
    btnOK->setDefault(true);
    btnDodaj->setAutoDefault(false);
    btnAnuluj->setAutoDefault(false);

    auto* items = new QVBoxLayout(pnlSerie);
    items->setContentsMargins(0, 0, 0, 0);
    items->setSpacing(0);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnOK);
    buttons->addWidget(btnDodaj);
    buttons->addWidget(btnAnuluj);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnlSerie);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &TFormaWybierzSerie::btnOKClick);
    connect(btnDodaj, &QPushButton::clicked, this, &TFormaWybierzSerie::btnDodajClick);
    connect(btnAnuluj, &QPushButton::clicked, this, &QDialog::reject);
    Fill();
}

QString TFormaWybierzSerie::ItemText(const TSeriesStore& store, int slot)
{
    const bool measured = store.Slot(slot).SlotMeasured;
    const bool hidden = store.Hidden(slot);
    if (store.PairMode())
        return QStringLiteral("Seria %1 i %2: ").arg(slot + 1).arg(slot + 5) +
               (measured ? QStringLiteral("wykorzystane") : QStringLiteral("puste")) +
               (hidden ? QStringLiteral(", ukryte") : QString());
    return QStringLiteral("Seria %1: ").arg(slot + 1) +
           (measured ? QStringLiteral("wykorzystana") : QStringLiteral("pusta")) +
           (hidden ? QStringLiteral(", ukryta") : QString());
}

int TFormaWybierzSerie::ItemCount() const
{
    return static_cast<int>(rgSerie->buttons().size());
}

void TFormaWybierzSerie::Fill()
{
    for (QAbstractButton* button : rgSerie->buttons()) {
        rgSerie->removeButton(button);
        delete button;
    }
    const int count = Store.PairMode() ? 4 : ResultSeriesCount;
    for (int slot = 0; slot < count; ++slot) {
        if (!Store.SlotInUse(slot))
            continue;
        auto* item = new QRadioButton(ItemText(Store, slot), pnlSerie);
        item->setObjectName(QStringLiteral("rbSeria%1").arg(slot + 1));
        item->setFixedHeight(ItemHeight);
        item->setChecked(slot == Store.ActiveSeries());
        rgSerie->addButton(item, slot);
        pnlSerie->layout()->addWidget(item);
    }
    setFixedSize(FormWidth, BaseHeight + ItemHeight * ItemCount());
    Place();
}

void TFormaWybierzSerie::Anchor(const QPoint& bottomRight)
{
    BottomRight = bottomRight;
    Anchored = true;
    Place();
}

void TFormaWybierzSerie::Place()
{
    if (!Anchored)
        return;
    // The frame adds the title bar and borders to the client size; QWidget::move places the frame.
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    const QSize outer = size() + frameExtra;
    move(BottomRight.x() - outer.width() + 1, BottomRight.y() - outer.height() + 1);
}

void TFormaWybierzSerie::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Place(); // the frame's size is known only now
}

void TFormaWybierzSerie::btnOKClick()
{
    const QAbstractButton* chosen = rgSerie->checkedButton();
    if (chosen == nullptr)
        return; // nothing chosen yet: the user may still add a slot or cancel
    // The slot number is the seventh character of "Seria N...".
    const int slot = chosen->text().at(6).digitValue() - 1;
    Store.PrepareForSweep(slot, slot == ContinuedSlot);
    accept();
}

void TFormaWybierzSerie::btnDodajClick()
{
    if (Store.Add())
        Fill();
}

bool TFormaWybierzSerie::Choose(TSeriesStore& store, QWidget* mainWindow, QWidget* startButton,
                                int continuedSlot)
{
    TFormaWybierzSerie form(store, mainWindow, continuedSlot);
    const QPoint buttonBottom = startButton->mapToGlobal(QPoint(0, startButton->height() - 1));
    form.Anchor(QPoint(mainWindow->frameGeometry().right(), buttonBottom.y()));
    return form.exec() == QDialog::Accepted;
}
