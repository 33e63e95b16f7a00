// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <array>

// The list of the eight files last opened or saved, the newest first (settings "Open", "Last1".."Last8").
namespace RecentFiles {

inline constexpr int Count = 8;
using TList = std::array<QString, Count>;

// The file goes first; an equal entry (exact comparison) is taken out, the eighth entry drops off.
void Update(TList& list, const QString& fileName);

// The menu caption of entry `index`: its number from 1, a blank and the file name alone when it lies in
// the working folder, the whole path otherwise. An "&" of a name is doubled to stay a character.
QString Caption(int index, const QString& entry, const QString& workingFolder);

} // namespace RecentFiles
