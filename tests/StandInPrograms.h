// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// Stand-ins for the external programs the program starts: shell scripts in a temporary folder that
// is the whole PATH while the object lives. Each one that runs logs a line: its name and arguments.
class TStandInPrograms
{
public:
    TStandInPrograms() : SavedPath(qgetenv("PATH")) { qputenv("PATH", Folder.path().toLocal8Bit()); }
    ~TStandInPrograms() { qputenv("PATH", SavedPath); }

    void Add(const QString& name, int exitCode = 0)
    {
        Write(name, QStringLiteral("#!/bin/sh\necho \"${0##*/}\" \"$@\" >>'%1'\nexit %2\n")
                        .arg(Folder.filePath("log"))
                        .arg(exitCode));
    }
    // Executable, but its interpreter does not exist, so it cannot be started.
    void AddBroken(const QString& name) { Write(name, QStringLiteral("#!/nonexistent/sh\n")); }

    QStringList Started() const
    {
        QFile log(Folder.filePath("log"));
        return log.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList{};
    }

private:
    void Write(const QString& name, const QString& script)
    {
        QFile file(Folder.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0 ||
            !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            qFatal("cannot write the stand-in %s", qPrintable(name));
    }

    QTemporaryDir Folder;
    QByteArray SavedPath;
};
