// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OknoCzasUsredniania.h"

#include "common/NumberFormat.h"
#include "settings/KeyFilter.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

TFormaCzasUsredniania::TFormaCzasUsredniania(double seconds, const QPoint& topRight, QWidget* parent)
    : QDialog(parent), TopRight(topRight)
{
    setObjectName(QStringLiteral("TFormaCzasUsredniania"));
    setWindowTitle(QStringLiteral("Czas usredniania"));
    edtCzasUsredniania = new QLineEdit(NumberFormat::General(seconds), this);
    edtCzasUsredniania->setObjectName(QStringLiteral("edtCzasUsredniania"));
    TKeyFilter::Install(edtCzasUsredniania, TKeyFilter::Digits + NumberFormat::DecimalSeparator());
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    auto* cancel = new QPushButton(QStringLiteral("&Anuluj"), this);
    cancel->setObjectName(QStringLiteral("btnAnuluj"));
    for (QPushButton* button : {ok, cancel})
        button->setAutoDefault(false); // Enter is OK wherever the focus is
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TFormaCzasUsredniania::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* column = new QVBoxLayout(this);
    column->addWidget(edtCzasUsredniania);
    column->addLayout(buttons);
    setFixedSize(sizeHint());
}

void TFormaCzasUsredniania::accept()
{
    const QString text = edtCzasUsredniania->text();
    const std::optional<double> value = NumberFormat::ParseNumber(text);
    if (!value) {
        QMessageBox::warning(this, QStringLiteral("Tonvix"),
                             QStringLiteral("„%1” nie jest liczbą.").arg(text.trimmed()));
        return;
    }
    if (*value < MinimumTime) {
        QMessageBox::warning(this, QStringLiteral("Tonvix"),
                             QStringLiteral("Stała czasu nie może być mniejsza niż ") +
                                 NumberFormat::General(MinimumTime) + QStringLiteral("s"));
        return;
    }
    Accepted = *value;
    QDialog::accept();
}

void TFormaCzasUsredniania::showEvent(QShowEvent* event)
{
    move(TopRight.x() - frameGeometry().width() + 1, TopRight.y());
    QDialog::showEvent(event);
}
