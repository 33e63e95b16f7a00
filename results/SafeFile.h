#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QFileDevice;

// A file written whole or not at all. A regular file (or a new one) is written to a temporary file
// beside it and renamed over the old one only when every byte is on the disk, so a failed write leaves
// the earlier file exactly as it was. An existing device or pipe is written directly: renaming over it
// would replace the device with a plain file.
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
    std::unique_ptr<QFileDevice> File;
    bool Direct = false;
    bool Failed = false;
    QString FailureReason;
};

// The reason of a failed file operation in Polish, from the system's error number; the system's own
// text (given) where the program has no Polish words for it.
QString FileErrorReason(int errorNumber, const QString& systemText);

// "Nie można zapisać pliku <file>: <reason>." and its reading twin.
QString WriteFailureMessage(const QString& fileName, const QString& reason);
QString ReadFailureMessage(const QString& fileName, const QString& reason);
