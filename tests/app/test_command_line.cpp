// SPDX-License-Identifier: GPL-3.0-or-later
// What the window is handed from the program's command line.

#include "app/CommandLine.h"

#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void aFileFromTheDesktopIsOpened()
    {
        QCOMPARE(WindowArguments({"tonvix"}), QStringList{"tonvix"});
        QCOMPARE(WindowArguments({"tonvix", "/home/ala/Pomiary 1.lev"}),
                 (QStringList{"tonvix", "/o", "/home/ala/Pomiary 1.lev"}));
        QCOMPARE(WindowArguments({"tonvix", "/o", "Pomiary", "1.lev"}), // a name a shell cut at a blank
                 (QStringList{"tonvix", "/o", "Pomiary", "1.lev"}));
        QCOMPARE(WindowArguments({"tonvix", "/o"}), (QStringList{"tonvix", "/o"}));
    }

    // --help and --version answer alone; a file named so, or anything beside them, opens the window.
    void helpAndVersionAnswerInsteadOfTheWindow()
    {
        QVERIFY(CommandLineAnswer({"tonvix", "--help"})->startsWith("Użycie: tonvix [PLIK.lev]\n"));
        QCOMPARE(CommandLineAnswer({"tonvix", "-h"}), WindowHelpText());
        QCOMPARE(*CommandLineAnswer({"tonvix", "--version"}), "tonvix " TONVIX_VERSION "\n");
        QVERIFY(!CommandLineAnswer({"tonvix"}));
        QVERIFY(!CommandLineAnswer({"tonvix", "pomiar.lev"}));
        QVERIFY(!CommandLineAnswer({"tonvix", "/o", "--help"}));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
