// The mixer list and the start of the desktop's volume control.

#include "StandInPrograms.h"

#include "audio/Mixer.h"

#include <QDir>
#include <QTest>

class TestMixer : public QObject
{
    Q_OBJECT
private slots:
    void OneMixerPerCard()
    {
        // ALSA's own view of the cards, as the kernel lists them.
        const int cards = QDir("/proc/asound").entryList({"card*"}, QDir::Dirs).size();
        tMsMixerSystem system;
        QCOMPARE(system.Count(), cards);
        for (int i = 0; i < system.Count(); ++i) {
            tMsMixer& mixer = system.Mixer(i);
            QCOMPARE(&mixer.Owner(), &system);
            QVERIFY(!mixer.IsOpen());
            QVERIFY(mixer.Active());
            QVERIFY(QDir("/proc/asound").exists(QStringLiteral("card%1").arg(mixer.DeviceNumber())));
        }
    }

    void OpenAndCloseFollowTheFlag()
    {
        tMsMixerSystem system;
        tMsMixer missing(system, 31); // ALSA numbers cards below 32; this one is not there
        missing.SetActive(false);     // closed already: nothing is done
        QCOMPARE(missing.LastResult(), 0);
        QVERIFY(missing.Active());
        missing.SetActive(true);
        QVERIFY(!missing.IsOpen());
        QVERIFY(!missing.Active());
        QVERIFY(missing.LastResult() < 0);
        if (system.Count() == 0)
            return;
        tMsMixer& first = system.Mixer(0);
        first.SetActive(true);
        QVERIFY(first.IsOpen());
        QVERIFY(first.Active());
        first.SetActive(false);
        QVERIFY(!first.IsOpen());
        QCOMPARE(first.LastResult(), 0);
    }

    void FirstVolumeControlThatStarts_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("broken");
        QTest::addColumn<QString>("started"); // empty: none could be started
        const QStringList all{"pavucontrol",     "pavucontrol-qt", "gnome-control-center", "systemsettings",
                              "systemsettings5", "alsamixer",      "x-terminal-emulator",  "xterm"};
        QTest::newRow("all there") << all << QStringList{} << "pavucontrol";
        QTest::newRow("the Qt one") << QStringList{"gnome-control-center", "pavucontrol-qt"} << QStringList{}
                                    << "pavucontrol-qt";
        QTest::newRow("GNOME before KDE") << QStringList{"systemsettings", "gnome-control-center"}
                                          << QStringList{} << "gnome-control-center sound";
        QTest::newRow("KDE 5") << QStringList{"systemsettings5", "xterm", "alsamixer"} << QStringList{}
                               << "systemsettings5 kcm_pulseaudio";
        QTest::newRow("alsamixer in a terminal")
            << QStringList{"alsamixer", "xterm"} << QStringList{} << "xterm -e alsamixer";
        QTest::newRow("a broken one gives way")
            << QStringList{"pavucontrol-qt"} << QStringList{"pavucontrol"} << "pavucontrol-qt";
        QTest::newRow("a terminal without alsamixer") << QStringList{"xterm"} << QStringList{} << "";
        QTest::newRow("alsamixer without a terminal") << QStringList{"alsamixer"} << QStringList{} << "";
        QTest::newRow("nothing") << QStringList{} << QStringList{} << "";
    }

    void FirstVolumeControlThatStarts()
    {
        QFETCH(QStringList, present);
        QFETCH(QStringList, broken);
        QFETCH(QString, started);
        TStandInPrograms programs;
        for (const QString& name : present)
            programs.Add(name);
        for (const QString& name : broken)
            programs.AddBroken(name);
        QCOMPARE(StartVolumeControl(), !started.isEmpty());
        if (!started.isEmpty())
            QTRY_COMPARE(programs.Started(), QStringList{started});
        QTest::qWait(50); // nothing else starts after it
        QCOMPARE(programs.Started().size(), started.isEmpty() ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestMixer)
#include "test_mixer.moc"
