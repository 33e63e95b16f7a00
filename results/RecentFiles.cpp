// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/RecentFiles.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace RecentFiles {

void Update(TList& list, const QString& fileName)
{
    auto end = list.end();
    if (const auto same = std::find(list.begin(), list.end(), fileName); same != list.end())
        end = same + 1; // the entries after it move up by one, the same as dropping the eighth
    std::move_backward(list.begin(), end - 1, end);
    list.front() = fileName;
}

QString Caption(int index, const QString& entry, const QString& workingFolder)
{
    const QFileInfo file(entry);
    const bool inWorkingFolder =
        !workingFolder.isEmpty() && QDir::cleanPath(file.absolutePath()) == QDir::cleanPath(workingFolder);
    QString shown = inWorkingFolder ? file.fileName() : entry;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QString::number(index + 1) + QLatin1Char(' ') + shown;
}

} // namespace RecentFiles
