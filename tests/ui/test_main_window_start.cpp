// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start: the splash window and the about window.

#include "app/OknoSplash.h"
#include "ui/OknoGlowna.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestMainWindowStart : public QObject
{
    Q_OBJECT

private slots:
    void splashIsSmallBorderlessAndCentred()
    {
        TFormaSplash splash;
        splash.ShowNow();
        QVERIFY(splash.isVisible());
        QCOMPARE(splash.size(), QSize(180, 202));
        QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((splash.geometry().center() - screen.center()).manhattanLength() <= 2);
        auto* caption = splash.findChild<QLabel*>("lblLadowanie");
        QVERIFY(caption != nullptr);
        QCOMPARE(caption->text(), QString("Ładowanie..."));
        auto* picture = splash.findChild<QLabel*>("imgObraz");
        QVERIFY(picture != nullptr);
        QVERIFY(!picture->pixmap().isNull());
        QVERIFY(!picture->pixmap().toImage().allGray()); // the picture really was drawn
    }

    void aboutWindowOpensModallyAndCloses()
    {
        QTemporaryDir folder;
        QDir::setCurrent(folder.path());
        TFormaGlowna window;
        window.show();
        QString title;
        QTimer::singleShot(0, [&] {
            QWidget* about = QApplication::activeModalWidget();
            QVERIFY(about != nullptr);
            title = about->windowTitle();
            QVERIFY(about->findChild<QLabel*>("lblOpis")->text().contains("Tonvix"));
            about->findChild<QPushButton*>("btnOK")->click();
        });
        window.findChild<QAction*>("actPomocO")->trigger();
        QCOMPARE(title, QString("O programie"));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(TestMainWindowStart)
#include "test_main_window_start.moc"
