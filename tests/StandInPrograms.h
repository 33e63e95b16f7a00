#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

// Stand-ins for the external programs the program starts: small shell scripts in a temporary folder
// that is the whole PATH while the object lives. Each one that runs adds a line to a log: its name
// and its arguments.
class TStandInPrograms
{
public:
    TStandInPrograms() : SavedPath(qgetenv("PATH")) { qputenv("PATH", Folder.path().toLocal8Bit()); }
    ~TStandInPrograms() { qputenv("PATH", SavedPath); }
    TStandInPrograms(const TStandInPrograms&) = delete;
    TStandInPrograms& operator=(const TStandInPrograms&) = delete;

    void Add(const QString& name, int exitCode = 0)
    {
        Write(
            name,
            QStringLiteral("#!/bin/sh\necho \"%1 $*\" >>'%2'\nexit %3\n").arg(name, LogPath()).arg(exitCode));
    }
    // Executable, but its interpreter does not exist, so it cannot be started.
    void AddBroken(const QString& name) { Write(name, QStringLiteral("#!/nonexistent/sh\n")); }

    QStringList Started() const
    {
        QFile log(LogPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QString& line : QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts))
            lines.append(line.trimmed());
        return lines;
    }

private:
    QString LogPath() const { return Folder.filePath(QStringLiteral("started.log")); }
    void Write(const QString& name, const QString& script)
    {
        QFile file(Folder.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
            qFatal("cannot write the stand-in %s", qPrintable(name));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QTemporaryDir Folder;
    QByteArray SavedPath;
};
