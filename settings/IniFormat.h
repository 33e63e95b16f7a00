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
bool WriteIniText(QIODevice& device, const QSettings::SettingsMap& map);
