// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSettings>

// The settings file's own INI dialect: value names as they are ("MeasurmentDelay[ms]", not
// percent-escaped), text values as they are (UTF-8), sections and keys in the key table's order.
// Only a backslash, a line feed and a carriage return in a value are escaped (\\, \n, \r).
// Reading is lenient: lines that are not a section or a "name=value" pair are skipped, and the
// last of duplicated values wins.
QSettings::Format ReadableIniFormat();

bool ReadIniText(QIODevice& device, QSettings::SettingsMap& map);
// The file whole or not at all: QSettings commits its temporary file without checking the write it
// still holds and without syncing it, so both are done here, and a failure leaves the old file.
bool WriteIniText(QIODevice& device, const QSettings::SettingsMap& map);
// The system's error number of the last WriteIniText on this thread since the last call (0: it wrote
// its file; -1: none ran), which this call forgets.
int TakeIniWriteError();
