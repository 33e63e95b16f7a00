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

    // What the window cannot take is refused as a program refuses it, saying where help is; a file,
    // "/o" and a file (cut at blanks or named like an option) and nothing at all are taken.
    void whatTheWindowCannotTakeIsRefused()
    {
        const QString help = "\nOpis programu: tonvix --help";
        QCOMPARE(WindowArgumentsRefusal({"tonvix", "--foo"}), "nieznana opcja „--foo”" + help);
        QCOMPARE(WindowArgumentsRefusal({"tonvix", "a.lev", "-x"}), "nieznana opcja „-x”" + help);
        QCOMPARE(WindowArgumentsRefusal({"tonvix", "a.lev", "b.lev"}),
                 "program otwiera jeden plik wyników, a podano 2: a.lev, b.lev" + help);
        QCOMPARE(WindowArgumentsRefusal({"tonvix", "/o"}), "po /o brak nazwy pliku" + help);
        for (const QStringList& taken : {QStringList{"tonvix"}, QStringList{"tonvix", "a.lev"},
                                         QStringList{"tonvix", "/o", "Pomiary", "1.lev"},
                                         QStringList{"tonvix", "/o", "--dziwna-nazwa.lev"}})
            QVERIFY2(!WindowArgumentsRefusal(taken), qPrintable(taken.join(' ')));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
