// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>
#include <optional>

class QSettings;

// The program's per-user settings: ~/.config/Marvelle/Tonvix.ini, one section per group of keys,
// every value kept as text. One store is created before the main window and released after it;
// Instance() reaches it in between.
class TSettingsStore
{
public:
    TSettingsStore();                                 // the user's own file
    explicit TSettingsStore(const QString& filePath); // any other file (tests, tools)
    ~TSettingsStore();
    TSettingsStore(const TSettingsStore&) = delete;
    TSettingsStore& operator=(const TSettingsStore&) = delete;

    // The first store created and still alive; null when there is none.
    static TSettingsStore* Instance();

    QString FileName() const;

    // A missing value, or an integer whose text is not a whole number that fits, gives the default.
    int ReadInteger(const QString& section, const QString& name, int defaultValue) const;
    std::optional<int> ReadInteger(const QString& section, const QString& name) const;
    bool ReadBool(const QString& section, const QString& name, bool defaultValue) const;
    QString ReadString(const QString& section, const QString& name, const QString& defaultValue) const;

    void WriteInteger(const QString& section, const QString& name, int value);
    void WriteBool(const QString& section, const QString& name, bool value);
    void WriteString(const QString& section, const QString& name, const QString& value);

    // Writes pending values to the file; false when it could not be written, and the file then stays
    // as it was. SyncFailure() says why in Polish, naming the file.
    bool Sync();
    QString SyncFailure() const;

private:
    explicit TSettingsStore(std::unique_ptr<QSettings> settings);

    std::unique_ptr<QSettings> Settings;
    int SyncError = 0; // the system's error number of the last Sync that failed
};
