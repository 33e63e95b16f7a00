// `cmake --install` into a temporary prefix: the files land where the XDG conventions expect them,
// pass the desktop's validators, and the installed MIME database knows result files by name and by
// their first line.

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The program's exit code, or -1 when it did not run; its output and errors go to `output`.
int Run(const QString& program, const QStringList& arguments, QString& output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ran = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    output = QString::fromUtf8(process.readAll());
    return ran ? process.exitCode() : -1;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir Prefix;
    QString Share;

private slots:
    void initTestCase()
    {
        QString output;
        QVERIFY2(Run(TONVIX_CMAKE, {"--install", TONVIX_BUILD_DIR, "--prefix", Prefix.path()}, output) == 0,
                 qPrintable(output));
        Share = Prefix.filePath("share");
    }

    void filesPassTheDesktopsValidators()
    {
        QVERIFY(QFileInfo(Prefix.filePath("bin/tonvix")).isExecutable());
        QVERIFY(QFileInfo(Prefix.filePath("bin/tonvix-cli")).isExecutable());
        for (int size : {48, 256}) {
            const QImage icon(Share + QStringLiteral("/icons/hicolor/%1x%1/apps/tonvix.png").arg(size));
            QCOMPARE(icon.size(), QSize(size, size));
            QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255); // drawn, not empty
        }
        QString output;
        const QString entry = Share + "/applications/tonvix.desktop";
        QVERIFY2(Run("desktop-file-validate", {entry}, output) == 0 && !output.contains("error"),
                 qPrintable(output));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("\nExec=tonvix %f\n"));
        QVERIFY(text.contains("\nMimeType=application/x-tonvix-levels;\n"));
        QVERIFY2(Run("xmllint",
                     {"--noout", Share + "/mime/packages/tonvix.xml",
                      Share + "/icons/hicolor/scalable/apps/tonvix.svg"},
                     output) == 0 &&
                     output.isEmpty(),
                 qPrintable(output));
    }

    void resultFilesKnownByNameAndFirstLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("firstLine");
        QTest::addColumn<bool>("ours");
        QTest::newRow("by name") << "WYNIKI.LEV" << QByteArray() << true;
        QTest::newRow("sound pressure, UTF-8")
            << "cisnienie" << QString("Pomiar ciśnienia akustycznego.     Data").toUtf8() << true;
        QTest::newRow("frequency after a byte-order mark")
            << "bom"
            << "\xef\xbb\xbf" + QString("Charakterystyki częstotliwościowe. Data").toUtf8() << true;
        QTest::newRow("frequency, Windows-1250") << "cp1250"
                                                 << QByteArray("Charakterystyki cz\xea"
                                                               "stotliwo\x9c"
                                                               "ciowe. Data")
                                                 << true;
        QTest::newRow("marker without its blanks")
            << "krotki" << QString("Pomiar ciśnienia akustycznego.\r\n").toUtf8() << false;
    }

    void resultFilesKnownByNameAndFirstLine()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, firstLine);
        QFETCH(bool, ours);
        // The install refreshed the prefix's MIME database; the system's holds the types it builds on.
        qputenv("XDG_DATA_DIRS", (Share + ":/usr/share").toLocal8Bit());
        QFile file(Prefix.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(firstLine + "\r\n");
        file.close();
        const QMimeType type = QMimeDatabase().mimeTypeForFile(file.fileName());
        QCOMPARE(type.name() == "application/x-tonvix-levels", ours);
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
