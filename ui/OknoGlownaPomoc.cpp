// SPDX-License-Identifier: GPL-3.0-or-later
// The Help menu: the user's manual and the about window.

#include "ui/OknoGlowna.h"

#include "ui/OknoOProgramie.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

namespace {

// The user's manual: in share/tonvix beside the program's bin folder (an installed program, or the
// build tree, where it is copied), else in the desktop's data folders.
QString UserManualFile()
{
    const QString manual = QStringLiteral("tonvix/podrecznik/index.html");
    const QString beside =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") + manual);
    if (QFileInfo(beside).isFile())
        return beside;
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, manual);
}

} // namespace

void TFormaGlowna::actPomocPodrecznikExecute()
{
    const QString manual = UserManualFile();
    if (manual.isEmpty()) {
        ShowError(QStringLiteral("Nie znaleziono podręcznika użytkownika (tonvix/podrecznik/index.html w "
                                 "folderach danych programów). Zainstaluj program ponownie."));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(manual)))
        ShowError(QStringLiteral("Nie można otworzyć podręcznika w przeglądarce. Otwórz plik ") + manual +
                  QStringLiteral(" samodzielnie."));
}

void TFormaGlowna::actPomocOExecute()
{
    TFormaOProgramie about(this);
    about.exec();
}
