// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The window opens the file named after "/o". A desktop (the entry's "Exec=tonvix %f") hands the
// file over as the only argument, so a lone argument other than "/o" is taken as that file.
QStringList WindowArguments(const QStringList& arguments);

// What `tonvix --help` (or -h) and `tonvix --version` print instead of opening the window; nothing for
// any other command line. The manual page tonvix(1) is made from the same help.
std::optional<QString> CommandLineAnswer(const QStringList& arguments);
QString WindowHelpText();

// Why the window cannot take this command line (Qt's own options already taken out of it), in Polish
// with where to find help: an option it does not know, more than one file, "/o" without a file.
// Nothing when it can: no argument, one file, or "/o" and a file (which may have been cut at blanks).
std::optional<QString> WindowArgumentsRefusal(const QStringList& arguments);
