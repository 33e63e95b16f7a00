// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/OknoSplash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSvgRenderer>
#include <QVBoxLayout>

TFormaSplash::TFormaSplash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("TFormaSplash");
    setFixedSize(Width, Height);
    setAutoFillBackground(true);

    QPixmap picture(Width - 20, Width - 20);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    QSvgRenderer(QStringLiteral(":/splash/splash.svg")).render(&painter);
    painter.end();

    auto* image = new QLabel(this);
    image->setObjectName("imgObraz");
    image->setPixmap(picture);
    image->setAlignment(Qt::AlignCenter);
    auto* caption = new QLabel("Ładowanie...", this);
    caption->setObjectName("lblLadowanie");
    caption->setAlignment(Qt::AlignCenter);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 8);
    column->addWidget(image, 1);
    column->addWidget(caption);
}

void TFormaSplash::ShowNow()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    show();
    repaint();
    QGuiApplication::processEvents(); // let the window system put it on the screen now
}
