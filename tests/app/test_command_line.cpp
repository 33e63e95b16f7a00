// What the window is handed from the program's command line.

#include "app/CommandLine.h"

#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void desktopFileBecomesTheOpenedFile_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("window");
        QTest::newRow("menu start") << QStringList{"tonvix"} << QStringList{"tonvix"};
        QTest::newRow("double-click") << QStringList{"tonvix", "/home/ala/Pomiary 1.lev"}
                                      << QStringList{"tonvix", "/o", "/home/ala/Pomiary 1.lev"};
        QTest::newRow("the program's own form")
            << QStringList{"tonvix", "/o", "/opt/a.lev"} << QStringList{"tonvix", "/o", "/opt/a.lev"};
        QTest::newRow("a name cut at a blank") << QStringList{"tonvix", "/o", "Pomiary", "1.lev"}
                                               << QStringList{"tonvix", "/o", "Pomiary", "1.lev"};
        QTest::newRow("a lone /o") << QStringList{"tonvix", "/o"} << QStringList{"tonvix", "/o"};
    }
    void desktopFileBecomesTheOpenedFile()
    {
        QFETCH(QStringList, given);
        QFETCH(QStringList, window);
        QCOMPARE(WindowArguments(given), window);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
