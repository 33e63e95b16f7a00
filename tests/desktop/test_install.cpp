// SPDX-License-Identifier: GPL-3.0-or-later
// `cmake --install` into a temporary prefix: the files land where the XDG and Debian conventions expect
// them and pass the desktop's validators (desktop entry, software-centre metadata, manual pages); the
// manual pages and the shell completion know every command and option of tonvix-cli's table; the
// installed MIME database knows result files by name and by their first line.

#include "cli/Options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The program's exit code, or -1 when it did not run; its output goes to `output`, its errors to
// `errors` (or to `output` when not asked for).
int Run(const QString& program, const QStringList& arguments, QString& output, QString* errors = nullptr,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!errors)
        process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ran = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    output = QString::fromUtf8(process.readAllStandardOutput());
    if (errors)
        *errors = QString::fromUtf8(process.readAllStandardError());
    return ran ? process.exitCode() : -1;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir Prefix;
    QString Share;

    // The words bash's completion of tonvix-cli offers for the command line `words` (the last one is
    // the word being completed), in `folder`.
    QStringList Complete(const QStringList& words, const QString& folder = QDir::tempPath())
    {
        QString script = QStringLiteral("cd '%1' && source '%2' && COMP_WORDS=(")
                             .arg(folder, Share + "/bash-completion/completions/tonvix-cli");
        for (const QString& word : words)
            script += QLatin1Char('\'') + word + QStringLiteral("' ");
        script += QStringLiteral(") && COMP_CWORD=%1 && _tonvix_cli && printf '%s\\n' \"${COMPREPLY[@]}\"")
                      .arg(words.size() - 1);
        QString output;
        if (Run("bash", {"-c", script}, output) != 0)
            qWarning("%s", qPrintable(output));
        QStringList offered = output.split('\n', Qt::SkipEmptyParts);
        offered.sort();
        return offered;
    }

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
        const QString entry = Share + "/applications/" TONVIX_APP_ID ".desktop";
        QVERIFY2(Run("desktop-file-validate", {entry}, output) == 0 && !output.contains("error"),
                 qPrintable(output));
        const QByteArray text = ReadAll(entry);
        QVERIFY(text.contains("\nExec=tonvix %f\n"));
        QVERIFY(text.contains("\nMimeType=application/x-tonvix-levels;\n"));
        QVERIFY2(Run("xmllint",
                     {"--noout", Share + "/mime/packages/tonvix.xml",
                      Share + "/icons/hicolor/scalable/apps/tonvix.svg"},
                     output) == 0 &&
                     output.isEmpty(),
                 qPrintable(output));
    }

    // The metadata is valid and names the desktop entry that is installed beside it (validate-tree
    // fails on a launchable entry that is missing).
    void softwareCentresCanListIt()
    {
        const QString metainfo = Share + "/metainfo/" TONVIX_APP_ID ".metainfo.xml";
        QString output;
        QVERIFY2(Run("appstreamcli", {"validate", "--no-net", metainfo}, output) == 0, qPrintable(output));
        QVERIFY2(Run("appstreamcli", {"validate-tree", "--no-net", Prefix.path()}, output) == 0 &&
                     !output.contains(QRegularExpression("^\\s*[EW]: ", QRegularExpression::MultilineOption)),
                 qPrintable(output));
        const QByteArray text = ReadAll(metainfo);
        for (const char* expected :
             {"<mediatype>application/x-tonvix-levels</mediatype>", "<summary xml:lang=\"pl\">",
              "<content_rating type=\"oars-1.1\"/>", "/docs/main-window-sound-pressure.png</image>"})
            QVERIFY2(text.contains(expected), expected);
    }

    // Debian's machine-readable form: the format line, and a licence paragraph for every licence a
    // files paragraph names.
    void copyrightFileIsMachineReadable()
    {
        const QString text = QString::fromUtf8(ReadAll(Share + "/doc/tonvix/copyright"));
        QVERIFY(
            text.startsWith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"));
        QStringList named, given;
        for (const QString& paragraph : text.split("\n\n")) {
            const QString licence = paragraph.section("License: ", 1).section('\n', 0, 0);
            (paragraph.startsWith("Files: ") ? named : given) << licence;
            if (paragraph.startsWith("Files: "))
                QVERIFY2(paragraph.contains("\nCopyright: "), qPrintable(paragraph));
        }
        QVERIFY(named.contains("GPL-3.0-or-later"));
        for (const QString& licence : named)
            QVERIFY2(given.contains(licence), qPrintable(licence));
    }

    // Both pages pass man's own checks, and tonvix-cli's names every command and option of the table.
    void manualPagesKnowEveryCommand()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("MANWIDTH", "200");
        environment.insert("LC_ALL", "C.UTF-8");
        QString page;
        for (const char* name : {"tonvix", "tonvix-cli"}) {
            const QString file = Share + "/man/man1/" + name + ".1.gz";
            QString errors;
            QVERIFY2(Run("man", {"--warnings", "-l", file}, page, &errors, environment) == 0 &&
                         errors.isEmpty(),
                     qPrintable(errors));
            QString summary;
            QVERIFY2(Run("lexgrog", {file}, summary) == 0 && summary.contains(QString(": \"") + name + " - "),
                     qPrintable(summary));
        }
        for (const TCommandHelp& command : CommandHelpTexts()) {
            QVERIFY2(page.contains(QRegularExpression("^   " + command.Name + "$",
                                                      QRegularExpression::MultilineOption)),
                     qPrintable(command.Name));
            for (const QString& option : command.Options)
                QVERIFY2(page.contains("--" + option), qPrintable(command.Name + " --" + option));
        }
    }

    void bashCompletesCommandsOptionsAndValues()
    {
        QString output;
        QVERIFY2(Run("bash", {"-n", Share + "/bash-completion/completions/tonvix-cli"}, output) == 0,
                 qPrintable(output));
        QCOMPARE(Complete({"tonvix-cli", "re"}), QStringList{"record"});
        QCOMPARE(Complete({"tonvix-cli", "record", "--w"}), QStringList{"--weighting"});
        QCOMPARE(Complete({"tonvix-cli", "record", "--weighting", ""}), (QStringList{"A", "C", "Z"}));
        QCOMPARE(Complete({"tonvix-cli", "record", "--average", ""}), (QStringList{"F", "I", "S", "none"}));
        QCOMPARE(Complete({"tonvix-cli", "sweep", "--points", ""}), QStringList{}); // a number to type
        QTemporaryDir folder;
        QFile(folder.filePath("pomiar.lev")).open(QIODevice::WriteOnly);
        QCOMPARE(Complete({"tonvix-cli", "record", "--jsonl", ""}, folder.path()),
                 (QStringList{"-", "pomiar.lev"}));
        QCOMPARE(Complete({"tonvix-cli", "convert", "po"}, folder.path()), QStringList{"pomiar.lev"});
        for (const TCommandHelp& command : CommandHelpTexts()) {
            QVERIFY(Complete({"tonvix-cli", command.Name.left(3)}).contains(command.Name));
            const QStringList offered = Complete({"tonvix-cli", command.Name, "--"});
            for (const QString& option : command.Options)
                QVERIFY2(offered.contains("--" + option), qPrintable(command.Name + " --" + option));
        }
    }

    // The user's manual is installed whole: valid HTML and every picture it shows.
    void userManualIsInstalledWhole()
    {
        const QString manual = Share + "/tonvix/podrecznik/index.html";
        QString output;
        QVERIFY2(Run("xmllint", {"--html", "--noout", manual}, output) == 0 && output.isEmpty(),
                 qPrintable(output));
        const QString text = QString::fromUtf8(ReadAll(manual));
        QRegularExpressionMatchIterator pictures =
            QRegularExpression("<img src=\"([^\"]+)\"").globalMatch(text);
        int count = 0;
        for (; pictures.hasNext(); ++count) {
            const QString picture = pictures.next().captured(1);
            QVERIFY2(!QImage(QFileInfo(manual).dir().filePath(picture)).isNull(), qPrintable(picture));
        }
        QVERIFY(count >= 2);
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
