// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoOProgramie.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
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
    text->setOpenExternalLinks(true);
    text->setText(QStringLiteral("<b>Tonvix</b> %1<br><br>"
                                 "Pomiar poziomu dźwięku na wejściu karty dźwiękowej<br>"
                                 "i charakterystyki częstotliwościowej toru<br>"
                                 "od wyjścia do wejścia karty.<br><br>"
                                 "Copyright © 2026 Marvelle<br><br>"
                                 "Ten program jest wolnym oprogramowaniem: można go rozpowszechniać<br>"
                                 "i zmieniać na warunkach Powszechnej Licencji Publicznej GNU<br>"
                                 "(GNU GPL) w wersji 3 albo, według uznania, w dowolnej późniejszej.<br>"
                                 "Program jest rozpowszechniany BEZ JAKIEJKOLWIEK GWARANCJI.<br>"
                                 "Szczegóły: przycisk „Licencja” i "
                                 "<a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">"
                                 "www.gnu.org/licenses</a>.")
                      .arg(QCoreApplication::applicationVersion()));
    auto* btnLicencja = new QPushButton("&Licencja", this);
    btnLicencja->setObjectName("btnLicencja");
    connect(btnLicencja, &QPushButton::clicked, this, &TFormaOProgramie::ShowLicence);
    auto* btnOK = new QPushButton("&OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnLicencja);
    buttons->addWidget(btnOK);
    buttons->addStretch();
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addLayout(buttons);
    setFixedSize(sizeHint());
}

// The licence's whole text, as the program carries it.
void TFormaOProgramie::ShowLicence()
{
    QFile licence(QStringLiteral(":/licencja/LICENSE"));
    licence.open(QIODevice::ReadOnly);
    QDialog dialog(this);
    dialog.setObjectName("TFormaLicencja");
    dialog.setWindowTitle("Licencja");
    auto* edtLicencja = new QPlainTextEdit(QString::fromUtf8(licence.readAll()), &dialog);
    edtLicencja->setObjectName("edtLicencja");
    edtLicencja->setReadOnly(true);
    edtLicencja->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int columns = edtLicencja->fontMetrics().horizontalAdvance(QString(80, QLatin1Char('M')));
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    close->button(QDialogButtonBox::Close)->setText("&Zamknij");
    connect(close, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* column = new QVBoxLayout(&dialog);
    column->addWidget(edtLicencja);
    column->addWidget(close);
    dialog.resize(columns + 60, 520);
    dialog.exec();
}
