// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString NotRegular = QStringLiteral("to nie jest zwykły plik, tylko potok, gniazdo lub urządzenie");

} // namespace

// Asked before the temporary file is made: Qt's own refusals carry no error number.
int WriteObstacle(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (access(QFile::encodeName(info.absolutePath()).constData(), W_OK | X_OK) != 0)
        return errno;
    if (info.isDir())
        return EISDIR;
    if (info.exists() && access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK) != 0)
        return errno;
    return 0;
}

int FolderWriteError(const QString& folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.tonvix-XXXXXX"));
    errno = 0;
    if (!probe.open())
        return errno != 0 ? errno : EIO;
    const QByteArray bytes(512, ' ');
    if (probe.write(bytes) != bytes.size() || !probe.flush() || fdatasync(probe.handle()) != 0)
        return errno != 0 ? errno : EIO;
    return 0;
}

namespace {

// The folder's entry of a renamed file reaches the disk with the folder; a failure here loses nothing
// that was not lost before the save, and the file itself is written.
void SyncFolder(const QString& fileName)
{
    const int folder = ::open(QFile::encodeName(QFileInfo(fileName).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        ::close(folder);
    }
}

} // namespace

TSafeFile::TSafeFile(const QString& fileName) : Name(fileName), File(std::make_unique<QSaveFile>(fileName)) {}

TSafeFile::~TSafeFile()
{
    if (File->isOpen())
        File->cancelWriting();
}

bool TSafeFile::Fail(int errorNumber)
{
    if (!Failed) {
        Failed = true;
        FailureReason = FileErrorReason(errorNumber);
    }
    if (File->isOpen())
        File->cancelWriting();
    return false;
}

bool TSafeFile::Open()
{
    // Asked without opening it: a stat never waits.
    const QFileInfo info(Name);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        Failed = true;
        FailureReason = NotRegular;
        return false;
    }
    if (const int obstacle = WriteObstacle(Name))
        return Fail(obstacle);
    errno = 0;
    // Unbuffered: each write reaches the system at once, where its failure is seen with its reason.
    if (!File->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Fail(errno);
    return true;
}

bool TSafeFile::Write(const QByteArray& bytes)
{
    if (Failed || !File->isOpen())
        return false;
    errno = 0;
    if (File->write(bytes) != bytes.size())
        return Fail(errno);
    return true;
}

bool TSafeFile::Commit()
{
    if (Failed || !File->isOpen())
        return false;
    errno = 0;
    if (!File->flush())
        return Fail(errno);
    // QSaveFile's commit neither checks a write it still holds nor a failed sync: both are done here.
    if (fdatasync(File->handle()) != 0)
        return Fail(errno);
    errno = 0;
    if (!File->commit())
        return Fail(errno);
    SyncFolder(Name);
    return true;
}

int OpenRegularFile(const QString& fileName, QString& failure)
{
    errno = 0;
    const int descriptor =
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        failure = ReadFailureMessage(fileName, FileErrorReason(errno));
        return -1;
    }
    struct stat status
    {
    };
    QString reason;
    if (fstat(descriptor, &status) != 0)
        reason = FileErrorReason(errno);
    else if (S_ISDIR(status.st_mode))
        reason = FileErrorReason(EISDIR);
    else if (!S_ISREG(status.st_mode))
        reason = NotRegular;
    else if (const int flags = fcntl(descriptor, F_GETFL);
             flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0)
        reason = FileErrorReason(errno);
    if (reason.isEmpty())
        return descriptor;
    ::close(descriptor);
    failure = ReadFailureMessage(fileName, reason);
    return -1;
}

bool OpenForReading(QFile& file, const QString& fileName, QString& failure)
{
    const int descriptor = OpenRegularFile(fileName, failure);
    if (descriptor < 0)
        return false;
    file.setFileName(fileName);
    errno = 0;
    if (file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(descriptor);
    failure = ReadFailureMessage(fileName, FileErrorReason(errno));
    return false;
}

QString WriteFailureMessage(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Nie można zapisać pliku ") + fileName + QStringLiteral(": ") + reason +
           QLatin1Char('.');
}

QString ReadFailureMessage(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Nie można odczytać pliku ") + fileName + QStringLiteral(": ") + reason +
           QLatin1Char('.');
}
