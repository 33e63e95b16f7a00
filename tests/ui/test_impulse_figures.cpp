// SPDX-License-Identifier: GPL-3.0-or-later
// The impulse-response window's figures, printed for the record:
//   ctest -R test_impulse_figures -V
// A 2^17-frame sweep from 20 Hz to 20 kHz at 48000 frames/s (2.73 s) with the default tail of a second
// recorded after it, from the click on Start to the response drawn on every view, in real time on the virtual
// card and through a PulseAudio of the test's own (the one scripts/test starts is left to the other tests),
// with the program's default blocks.

#include "../audio/PrivateSoundServer.h"
#include "WindowTestSupport.h"

#include "settings/SettingsStore.h"
#include "ui/OknoOdpowiedzImpulsowa.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestImpulseFigures : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    TPrivateSoundServer Server;
    bool ServerStarted = false;

    // Seconds from the click to the drawn response, in a fresh program with its default settings.
    double StartToDrawn(bool virtualCard)
    {
        TDeviceServices::UseVirtualCardOnly(virtualCard);
        TDeviceServices::VirtualCard().RestoreDefaults();
        TSettingsStore settings(Folder.filePath(virtualCard ? "virtual.ini" : "server.ini"));
        auto main = std::make_unique<TFormaGlowna>(QStringList{"tonvix"});
        main->show();
        if (!QTest::qWaitForWindowActive(main.get()))
            return -1;
        main->State().Preferences.PromptOnClose = false;
        FindControl<QAction>(*main, "mmiOdpowiedzImpulsowa")->trigger();
        auto* window = main->findChild<TFormaOdpowiedzImpulsowa*>("FormaOdpowiedzImpulsowa");
        FindControl<QComboBox>(*window, "cbKanalOdniesienia")->setCurrentIndex(2);
        auto* list = FindControl<QListWidget>(*window, "lstPomiary");
        TModalAnswer failure([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
        QElapsedTimer wall;
        wall.start();
        FindControl<QPushButton>(*window, "btnStart")->click();
        while (list->count() == 0 && !failure.Seen && wall.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double measured = wall.nsecsElapsed() / 1e9;
        QCoreApplication::processEvents(); // the views' paint events
        const double drawn = wall.nsecsElapsed() / 1e9;
        if (failure.Seen || list->count() == 0) {
            qWarning("%s", qPrintable(failure.Text));
            return -1;
        }
        qInfo("%s: response %.3f s after the click, drawn at %.3f s (%s)",
              virtualCard ? "virtual card" : "sound server", measured, drawn,
              qPrintable(FindControl<QLabel>(*window, "lblStan")->text()));
        return drawn;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Folder.isValid());
        ServerStarted = Server.Start({"tonvix_null"}); // before the program asks for any server
    }

    void virtualCard()
    {
        const double seconds = StartToDrawn(true);
        QVERIFY(seconds > 0);
        QVERIFY(seconds < 5);
    }

    void soundServer()
    {
        if (!ServerStarted) {
            if (qgetenv("CI") == "true")
                QFAIL("the test's own sound server did not start");
            QSKIP("the test's own sound server did not start");
        }
        const double seconds = StartToDrawn(false);
        QVERIFY(seconds > 0);
        QVERIFY(seconds < 5);
    }
};

QTEST_MAIN(TestImpulseFigures)
#include "test_impulse_figures.moc"
