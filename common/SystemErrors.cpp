// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SystemErrors.h"

#include <cerrno>

QString FileErrorReason(int errorNumber)
{
    switch (errorNumber) {
    case 0:
        return QStringLiteral("nieznany błąd");
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
    case EEXIST:
        return QStringLiteral("plik lub folder o tej nazwie już istnieje");
    case ENAMETOOLONG:
        return QStringLiteral("nazwa pliku jest za długa");
    case ELOOP:
        return QStringLiteral("za dużo dowiązań symbolicznych w ścieżce");
    case EIO:
        return QStringLiteral("błąd wejścia/wyjścia urządzenia");
    case EPIPE:
        return QStringLiteral("program odbierający dane zakończył pracę");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("urządzenie nie istnieje");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("plik jest w użyciu");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("za dużo otwartych plików");
    case ENOMEM:
        return QStringLiteral("brak pamięci");
    case EAGAIN:
        return QStringLiteral("zasób jest chwilowo niedostępny");
    case ESTALE:
    case ETIMEDOUT:
    case ECONNRESET:
    case EHOSTUNREACH:
        return QStringLiteral("folder sieciowy nie odpowiada");
    case EXDEV:
        return QStringLiteral("nie można przenieść pliku na inny dysk");
    case EINVAL:
        return QStringLiteral("system plików nie przyjmuje tej operacji lub nazwy");
    default:
        return QStringLiteral("błąd systemu nr %1").arg(errorNumber);
    }
}
