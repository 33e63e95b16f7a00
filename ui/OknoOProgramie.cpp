#include "ui/OknoOProgramie.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFormaOProgramie::TFormaOProgramie(QWidget* parent) : QDialog(parent)
{
    setObjectName("TFormaOProgramie");
    setWindowTitle("O programie");
    setModal(true);

    auto* picture = new QLabel(this);
    picture->setObjectName("imgLogo");
    picture->setPixmap(QIcon(":/ikony/tonvix.svg").pixmap(64, 64));
    auto* text = new QLabel(this);
    text->setObjectName("lblOpis");
    text->setTextFormat(Qt::RichText);
    text->setText(QStringLiteral("<b>Tonvix</b> %1<br><br>"
                                 "Pomiar poziomu dźwięku na wejściu karty dźwiękowej<br>"
                                 "i charakterystyki częstotliwościowej toru<br>"
                                 "od wyjścia do wejścia karty.")
                      .arg(QCoreApplication::applicationVersion()));
    auto* btnOK = new QPushButton("&OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(btnOK, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint());
}
