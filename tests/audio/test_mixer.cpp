// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer list and the start of the desktop's volume control.

#include "StandInPrograms.h"

#include "audio/Mixer.h"

#include <QDir>
#include <QTest>

class TestMixer : public QObject
{
    Q_OBJECT
private slots:
    void oneMixerPerCardNeverOpened()
    {
        const QDir cards("/proc/asound"); // the kernel's list of ALSA cards
        tMsMixerSystem system;
        QCOMPARE(system.Count(), cards.entryList({"card*"}, QDir::Dirs).size());
        for (int i = 0; i < system.Count(); ++i) {
            QVERIFY(cards.exists(QStringLiteral("card%1").arg(system.Mixer(i).DeviceNumber())));
            QVERIFY(!system.Mixer(i).IsOpen());
            QVERIFY(system.Mixer(i).Active());
        }
        tMsMixer missing(system, 31); // ALSA numbers cards below 32; this one is not there
        missing.SetActive(true);
        QVERIFY(!missing.IsOpen());
        QVERIFY(!missing.Active());
        QVERIFY(missing.LastResult() < 0);
    }

    void firstVolumeControlThatStarts_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("broken");
        QTest::addColumn<QString>("started"); // empty: none could be started
        QTest::newRow("all there") << QStringList{"alsamixer",       "xterm",
                                                  "systemsettings5", "gnome-control-center",
                                                  "pavucontrol-qt",  "pavucontrol"}
                                   << ""
                                   << "pavucontrol";
        QTest::newRow("GNOME before KDE") << QStringList{"systemsettings", "gnome-control-center"} << ""
                                          << "gnome-control-center sound";
        QTest::newRow("a broken one gives way") << QStringList{"pavucontrol-qt"} << "pavucontrol"
                                                << "pavucontrol-qt";
        QTest::newRow("alsamixer in a terminal") << QStringList{"alsamixer", "x-terminal-emulator"} << ""
                                                 << "x-terminal-emulator -e alsamixer";
        QTest::newRow("a terminal without alsamixer") << QStringList{"xterm"} << ""
                                                      << "";
        QTest::newRow("nothing") << QStringList{} << ""
                                 << "";
    }

    void firstVolumeControlThatStarts()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, broken);
        QFETCH(QString, started);
        TStandInPrograms programs;
        for (const QString& name : present)
            programs.Add(name);
        if (!broken.isEmpty())
            programs.AddBroken(broken);
        QCOMPARE(StartVolumeControl(), !started.isEmpty());
        if (!started.isEmpty())
            QTRY_COMPARE(programs.Started(), QStringList{started});
        QTest::qWait(50); // and nothing after it
        QCOMPARE(programs.Started().size(), started.isEmpty() ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestMixer)
#include "test_mixer.moc"
