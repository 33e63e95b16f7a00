// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoDialog.h"

#include <QLabel>
#include <QPushButton>

TFormaDialog::TFormaDialog(const QString& question, bool withCancel, QWidget* parent) : QDialog(parent)
{
    setObjectName("TFormaDialog");
    setWindowTitle("Tonvix");
    setModal(true);
    // Without "&Anuluj" the box loses the distance between two buttons' left edges.
    const int width = withCancel ? FullWidth : FullWidth - (ButtonLeft[1] - ButtonLeft[0]);
    setFixedSize(width, Height);

    auto* pnlDialog = new QLabel(question, this);
    pnlDialog->setObjectName("pnlDialog");
    pnlDialog->setAlignment(Qt::AlignCenter);
    pnlDialog->setWordWrap(true);
    pnlDialog->setGeometry(4, 4, width - 8, Height - ButtonHeight - 16);

    const char* const names[] = {"btnTak", "btnNie", "btnAnuluj"};
    const QString captions[] = {"&Tak", "&Nie", "&Anuluj"};
    const TAnswer answers[] = {Tak, Nie, Anuluj};
    for (int i = 0; i < (withCancel ? 3 : 2); ++i) {
        auto* button = new QPushButton(captions[i], this);
        button->setObjectName(QString::fromLatin1(names[i]));
        button->setGeometry(ButtonLeft[i], Height - ButtonHeight - 8, ButtonWidth, ButtonHeight);
        button->setAutoDefault(false);
        const TAnswer answer = answers[i];
        connect(button, &QPushButton::clicked, this, [this, answer] { done(answer); });
    }
    findChild<QPushButton*>("btnTak")->setDefault(true);
}

TFormaDialog::TAnswer TFormaDialog::Ask()
{
    if (parentWidget() != nullptr) // centred on the main window
        move(parentWidget()->geometry().center() - rect().center());
    return static_cast<TAnswer>(exec());
}
