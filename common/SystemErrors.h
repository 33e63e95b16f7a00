// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The reason of a failed system call in Polish, from its error number (errno): the system's own texts
// are in the language of its locale, and the program speaks Polish whatever that is.
QString FileErrorReason(int errorNumber);
