// SPDX-License-Identifier: GPL-3.0-or-later
// The sound devices through the main window, on a private PulseAudio of the test's own: the lists of
// the options dialog follow a sink that is loaded while it is open, and a server that stops answering
// during a measurement neither freezes the window nor loses what was measured.

#include "WindowTestSupport.h"

#include "audio/PrivateSoundServer.h"
#include "ui/OknoGlowna.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <memory>

class TestOptionsDevices : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    TPrivateSoundServer Server;
    std::unique_ptr<TFormaGlowna> Window;

    int Points() const { return Window->ChartData().Series(LeftChannelSeries).Count(); }

private slots:
    void initTestCase()
    {
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path()));
        if (!Server.Start({"pomiar"})) {
            if (qgetenv("CI") == "true")
                QFAIL("The private PulseAudio did not start");
            QSKIP("The private PulseAudio did not start");
        }
    }
    void init()
    {
        Window = std::make_unique<TFormaGlowna>(QStringList{"tonvix"});
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    }
    void cleanup()
    {
        Server.Continue();
        Window.reset();
    }

    void theListsFollowADeviceThatIsPluggedIn()
    {
        QStringList inputs;
        bool shownAtOnce = true;
        TModalAnswer answer(
            [&](QWidget* dialog) {
                auto* list = FindControl<QComboBox>(*dialog, "cbUrzadzenieWejsciowe");
                const auto listed = [list] {
                    QStringList items;
                    for (int item = 0; item < list->count(); ++item)
                        items << list->itemText(item);
                    return items;
                };
                shownAtOnce = listed().contains("Monitor: wzmacniacz");
                QVERIFY(Server.Pactl({"load-module", "module-null-sink", "sink_name=wzmacniacz",
                                      "sink_properties=device.description=wzmacniacz"}));
                QTRY_VERIFY(listed().contains("Monitor: wzmacniacz"));
                inputs = listed();
                Click(dialog, "btnAnuluj");
            },
            "TFormaOpcjeWykresu");
        FindControl<QAction>(*Window, "actKonfiguracja")->trigger();
        QVERIFY(answer.Seen);
        QVERIFY(!shownAtOnce);
        QCOMPARE(inputs.first(), QString("Urządzenie domyślne"));
        QVERIFY(inputs.contains("Monitor: pomiar"));
        QCOMPARE(inputs.last(), QString("Wirtualna karta dźwiękowa"));
    }

    void aServerThatStopsAnsweringEndsTheMeasurementAndTheWindowGoesOn()
    {
        Window->State().MeasurementDelay = 50;
        Window->State().ChartTimeRefresh = 50;
        QTest::keyClick(Window.get(), Qt::Key_F2);
        QTRY_VERIFY(Points() >= 3);
        const int before = Points();

        // A 20 ms timer keeps its pace while the server hangs: the window never waits on it.
        qint64 longestGap = 0;
        QElapsedTimer sinceTick, stopped;
        sinceTick.start();
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        tick.start(20);
        TModalAnswer message([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
        stopped.start();
        Server.Stop();
        QTRY_VERIFY_WITH_TIMEOUT(message.Seen, 6000);
        qInfo("a measurement ended %lld ms after its server stopped answering; longest pause of the window "
              "%lld ms",
              stopped.elapsed(), longestGap);
        QCOMPARE(message.Text,
                 QString("Urządzenie wejściowe przestało działać (Serwer dźwięku nie odpowiada). "
                         "Pomiar został zatrzymany; zmierzone wartości zostały zachowane."));
        QVERIFY2(longestGap < 500, qPrintable(QString::number(longestGap)));
        QVERIFY(Points() >= before);
        QCOMPARE(Window->StatusPanel(0), QString("Pomiar zatrzymany"));
    }
};

QTEST_MAIN(TestOptionsDevices)
#include "test_options_devices.moc"
