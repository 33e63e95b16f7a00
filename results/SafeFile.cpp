// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/SafeFile.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>

TSafeFile::TSafeFile(const QString& fileName) : Name(fileName), File(std::make_unique<QSaveFile>(fileName)) {}

TSafeFile::~TSafeFile()
{
    if (File->isOpen())
        File->cancelWriting();
}

bool TSafeFile::Fail()
{
    if (!Failed) {
        const int error = errno;
        Failed = true;
        FailureReason = FileErrorReason(error, File->errorString());
    }
    return false;
}

bool TSafeFile::Open()
{
    // Asked without opening it: a stat never waits.
    const QFileInfo info(Name);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        Failed = true;
        FailureReason = QStringLiteral("to nie jest zwykły plik, tylko potok, gniazdo lub urządzenie");
        return false;
    }
    errno = 0;
    if (!File->open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Fail();
    return true;
}

bool TSafeFile::Write(const QByteArray& bytes)
{
    if (Failed || !File->isOpen())
        return false;
    errno = 0;
    if (File->write(bytes) != bytes.size())
        return Fail();
    return true;
}

bool TSafeFile::Commit()
{
    if (Failed || !File->isOpen())
        return false;
    errno = 0;
    if (!File->commit())
        return Fail();
    return true;
}

QString FileErrorReason(int errorNumber, const QString& systemText)
{
    switch (errorNumber) {
    case ENOSPC:
        return QStringLiteral("brak miejsca na dysku");
    case EDQUOT:
        return QStringLiteral("przekroczony przydział miejsca na dysku");
    case EACCES:
    case EPERM:
        return QStringLiteral("brak uprawnień");
    case EROFS:
        return QStringLiteral("system plików jest tylko do odczytu");
    case ENOENT:
        return QStringLiteral("plik lub folder nie istnieje");
    case ENOTDIR:
        return QStringLiteral("ścieżka nie prowadzi do folderu");
    case EISDIR:
        return QStringLiteral("to jest folder");
    case EFBIG:
        return QStringLiteral("plik jest za duży");
    case ENAMETOOLONG:
        return QStringLiteral("nazwa pliku jest za długa");
    case EIO:
        return QStringLiteral("błąd wejścia/wyjścia urządzenia");
    case EPIPE:
        return QStringLiteral("program odbierający dane zakończył pracę");
    default:
        return systemText.isEmpty() ? QStringLiteral("nieznany błąd") : systemText;
    }
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
