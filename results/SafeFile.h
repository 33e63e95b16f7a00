// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/SystemErrors.h"

#include <QByteArray>
#include <QString>
#include <memory>

class QFile;
class QSaveFile;

// A file written whole or not at all. A regular file (or a new one) is written to a temporary file
// beside it and renamed over the old one only when every byte is on the disk, so a failed write leaves
// the earlier file exactly as it was. Every write goes to the system at once and is checked, and the
// data is synced before the rename: the rename of a file whose last bytes never reached the disk (a
// full disk, a quota) would replace the old file with an empty one. Anything else of that name (a named
// pipe, a device, a socket) is refused: opening a pipe waits for a reader that may never come, and
// renaming over a device would replace it with a plain file.
class TSafeFile
{
public:
    explicit TSafeFile(const QString& fileName);
    ~TSafeFile(); // an uncommitted file is discarded
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    bool Open();
    bool Write(const QByteArray& bytes);
    bool Write(const QString& text) { return Write(text.toUtf8()); }
    // Puts the file in place. False when any step failed; Reason() then says why.
    bool Commit();

    QString FileName() const { return Name; }
    QString Reason() const { return FailureReason; }

private:
    bool Fail(int errorNumber);

    QString Name;
    std::unique_ptr<QSaveFile> File;
    bool Failed = false;
    QString FailureReason;
};

// Why a file of this name could not be written (a folder that is missing or not writable, a folder of
// that name, a file that may not be written), as a system error number; 0 when nothing stands in the
// way. Asked without opening anything.
int WriteObstacle(const QString& fileName);

// Why a small file cannot be written in the folder (a full disk, a quota), found by writing one and
// removing it; 0 when it could be.
int FolderWriteError(const QString& folder);

// A descriptor of a regular file opened for reading, or -1 with the Polish message in `failure`.
int OpenRegularFile(const QString& fileName, QString& failure);
// Opens a regular file for reading, or says in Polish why not (its message names the file). Pipes,
// devices and sockets are refused without waiting: a named pipe's open would wait for a writer, and a
// device such as /dev/zero never ends.
bool OpenForReading(QFile& file, const QString& fileName, QString& failure);

// "Nie można zapisać pliku <file>: <reason>." and its reading twin.
QString WriteFailureMessage(const QString& fileName, const QString& reason);
QString ReadFailureMessage(const QString& fileName, const QString& reason);
