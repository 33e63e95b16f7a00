// `cmake --install` into a temporary prefix: the files land where the XDG conventions expect them,
// pass the desktop's own validators, and the installed MIME database knows result files by name and
// by their first line.

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct TRun
{
    int ExitCode = -1;
    QString Output; // standard output and error together
};

TRun Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, program + " did not run"};
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

const QString MimeType = QStringLiteral("application/x-tonvix-levels");

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir Prefix;
    QString Share;

    void Write(const QString& name, const QByteArray& contents)
    {
        QFile file(Prefix.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(contents), contents.size());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Prefix.isValid());
        const TRun install = Run(TONVIX_CMAKE, {"--install", TONVIX_BUILD_DIR, "--prefix", Prefix.path()});
        QVERIFY2(install.ExitCode == 0, qPrintable(install.Output));
        Share = Prefix.filePath("share");
    }

    void filesWhereTheDesktopLooks()
    {
        QVERIFY(QFileInfo(Prefix.filePath("bin/tonvix")).isExecutable());
        QVERIFY(QFileInfo::exists(Share + "/icons/hicolor/scalable/apps/tonvix.svg"));
        for (int size : {48, 256}) {
            const QImage icon(Share + QStringLiteral("/icons/hicolor/%1x%1/apps/tonvix.png").arg(size));
            QCOMPARE(icon.size(), QSize(size, size));
            QVERIFY(icon.hasAlphaChannel());
            // Drawn, not empty: the middle of the icon is opaque.
            QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);
        }
    }

    void desktopEntryIsValid()
    {
        const QString entry = Share + "/applications/tonvix.desktop";
        const TRun validate = Run("desktop-file-validate", {entry});
        QVERIFY2(validate.ExitCode == 0, qPrintable(validate.Output));
        QVERIFY2(!validate.Output.contains("error"), qPrintable(validate.Output));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const QString& line :
             {QStringLiteral("Exec=tonvix %f"), QStringLiteral("Icon=tonvix"), "MimeType=" + MimeType + ";",
              QStringLiteral("Categories=AudioVideo;Audio;Science;")})
            QVERIFY2(text.contains(QRegularExpression("^" + QRegularExpression::escape(line) + "$",
                                                      QRegularExpression::MultilineOption)),
                     qPrintable(line));
        QVERIFY(text.contains(QRegularExpression("^Comment=.+$", QRegularExpression::MultilineOption)));
        QVERIFY(
            text.contains(QRegularExpression("^Comment\\[pl\\]=.+$", QRegularExpression::MultilineOption)));
        // The install refreshed the prefix's desktop database with the entry's type.
        QFile cache(Share + "/applications/mimeinfo.cache");
        QVERIFY(cache.open(QIODevice::ReadOnly));
        QVERIFY(cache.readAll().contains((MimeType + "=tonvix.desktop;").toUtf8()));
    }

    void xmlIsWellFormed()
    {
        const TRun lint = Run("xmllint", {"--noout", Share + "/mime/packages/tonvix.xml",
                                          Share + "/icons/hicolor/scalable/apps/tonvix.svg"});
        QVERIFY2(lint.ExitCode == 0 && lint.Output.isEmpty(), qPrintable(lint.Output));
        // The MIME compiler is stricter than well-formedness: unknown elements and bad magic are
        // reported, and nothing may be.
        QTemporaryDir mime;
        QVERIFY(QDir().mkpath(mime.filePath("packages")));
        QVERIFY(QFile::copy(Share + "/mime/packages/tonvix.xml", mime.filePath("packages/tonvix.xml")));
        const TRun compile = Run("update-mime-database", {"-V", mime.path()});
        QVERIFY2(compile.ExitCode == 0, qPrintable(compile.Output));
        QVERIFY2(!compile.Output.contains(
                     QRegularExpression("warning|error|invalid", QRegularExpression::CaseInsensitiveOption)),
                 qPrintable(compile.Output));
    }

    void resultFilesKnownByNameAndFirstLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("ours");
        const QByteArray pressure = QString("Pomiar ciśnienia akustycznego.     Data i czas zapisu do pliku: "
                                            "01.02.2024 10:11:12\r\n")
                                        .toUtf8();
        const QByteArray frequency =
            QString("Charakterystyki częstotliwościowe. Data i czas zapisu do pliku: "
                    "01.02.2024 10:11:12\r\n")
                .toUtf8();
        QTest::newRow("by name") << "wyniki.lev" << QByteArray() << true;
        QTest::newRow("by name, capitals") << "WYNIKI.LEV" << QByteArray() << true;
        QTest::newRow("sound pressure, UTF-8") << "cisnienie" << pressure << true;
        QTest::newRow("frequency, UTF-8") << "charakterystyka" << frequency << true;
        QTest::newRow("frequency after a BOM") << "bom"
                                               << "\xef\xbb\xbf" + frequency << true;
        QTest::newRow("sound pressure, Windows-1250") << "cisnienie1250"
                                                      << QByteArray("Pomiar ci\x9c"
                                                                    "nienia akustycznego.     Data\r\n")
                                                      << true;
        QTest::newRow("frequency, Windows-1250") << "charakterystyka1250"
                                                 << QByteArray("Charakterystyki cz\xea"
                                                               "stotliwo\x9c"
                                                               "ciowe. Data\r\n")
                                                 << true;
        QTest::newRow("marker without its blanks")
            << "krotki" << QByteArray("Pomiar ciśnienia akustycznego.\r\n") << false;
        QTest::newRow("other text") << "notatka" << QByteArray("Pomiar wykonano wczoraj.\r\n") << false;
    }

    void resultFilesKnownByNameAndFirstLine()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, contents);
        QFETCH(bool, ours);
        // The installed database first; the system's for the types it builds on.
        qputenv("XDG_DATA_DIRS", (Share + ":/usr/share").toLocal8Bit());
        Write(name, contents);
        const QMimeType type = QMimeDatabase().mimeTypeForFile(Prefix.filePath(name));
        QCOMPARE(type.name() == MimeType, ours);
        if (ours)
            QVERIFY(type.inherits("text/plain"));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
