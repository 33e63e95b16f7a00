#pragma once

#include <QStringList>

// The window opens the file named after "/o". A desktop (the entry's "Exec=tonvix %f") hands the
// file over as the only argument, so a lone argument other than "/o" is taken as that file.
QStringList WindowArguments(const QStringList& arguments);
