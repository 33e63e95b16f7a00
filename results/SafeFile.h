// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QSaveFile;

// A file written whole or not at all. A regular file (or a new one) is written to a temporary file
// beside it and renamed over the old one only when every byte is on the disk, so a failed write leaves
// the earlier file exactly as it was. Anything else of that name (a named pipe, a device, a socket) is
// refused: opening a pipe waits for a reader that may never come, and renaming over a device would
// replace it with a plain file.
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
    bool Fail();

    QString Name;
    std::unique_ptr<QSaveFile> File;
    bool Failed = false;
    QString FailureReason;
};

// The reason of a failed file operation in Polish, from the system's error number; the system's own
// text (given) where the program has no Polish words for it.
QString FileErrorReason(int errorNumber, const QString& systemText);

// "Nie można zapisać pliku <file>: <reason>." and its reading twin.
QString WriteFailureMessage(const QString& fileName, const QString& reason);
QString ReadFailureMessage(const QString& fileName, const QString& reason);
