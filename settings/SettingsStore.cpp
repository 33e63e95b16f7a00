// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include "common/NumberFormat.h"
#include "results/SafeFile.h"
#include "settings/IniFormat.h"

#include <QFileInfo>
#include <QSettings>
#include <limits>

namespace {

TSettingsStore* TheInstance = nullptr;

QString KeyOf(const QString& section, const QString& name)
{
    return section + u'/' + name;
}

} // namespace

TSettingsStore::TSettingsStore()
    : TSettingsStore(std::make_unique<QSettings>(ReadableIniFormat(), QSettings::UserScope,
                                                 QStringLiteral("Marvelle"), QStringLiteral("Tonvix")))
{
}

TSettingsStore::TSettingsStore(const QString& filePath)
    : TSettingsStore(std::make_unique<QSettings>(filePath, ReadableIniFormat()))
{
}

TSettingsStore::TSettingsStore(std::unique_ptr<QSettings> settings) : Settings(std::move(settings))
{
    // Only the user's own file counts: no organisation-wide or system-wide values behind it.
    Settings->setFallbacksEnabled(false);
    if (!TheInstance)
        TheInstance = this;
}

TSettingsStore::~TSettingsStore()
{
    if (TheInstance == this)
        TheInstance = nullptr;
}

TSettingsStore* TSettingsStore::Instance()
{
    return TheInstance;
}

QString TSettingsStore::FileName() const
{
    return Settings->fileName();
}

std::optional<int> TSettingsStore::ReadInteger(const QString& section, const QString& name) const
{
    const QVariant stored = Settings->value(KeyOf(section, name));
    if (!stored.isValid())
        return std::nullopt;
    const std::optional<long long> value = NumberFormat::ParseInteger(stored.toString());
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*value);
}

int TSettingsStore::ReadInteger(const QString& section, const QString& name, int defaultValue) const
{
    return ReadInteger(section, name).value_or(defaultValue);
}

bool TSettingsStore::ReadBool(const QString& section, const QString& name, bool defaultValue) const
{
    return ReadInteger(section, name, defaultValue ? 1 : 0) != 0;
}

QString TSettingsStore::ReadString(const QString& section, const QString& name,
                                   const QString& defaultValue) const
{
    return Settings->value(KeyOf(section, name), defaultValue).toString();
}

void TSettingsStore::WriteInteger(const QString& section, const QString& name, int value)
{
    Settings->setValue(KeyOf(section, name), QString::number(value));
}

void TSettingsStore::WriteBool(const QString& section, const QString& name, bool value)
{
    WriteInteger(section, name, value ? 1 : 0);
}

void TSettingsStore::WriteString(const QString& section, const QString& name, const QString& value)
{
    Settings->setValue(KeyOf(section, name), value);
}

// A failed sync keeps the values: QSettings writes them with its next sync.
bool TSettingsStore::Sync()
{
    TakeIniWriteError();
    Settings->sync();
    const int written = TakeIniWriteError();
    if (Settings->status() == QSettings::NoError)
        return true;
    // A sync that never reached the writer could not make its lock file or its temporary file: the
    // folder says why.
    const int obstacle = WriteObstacle(FileName());
    SyncError = obstacle != 0 ? obstacle
                : written > 0 ? written
                              : FolderWriteError(QFileInfo(FileName()).absolutePath());
    return false;
}

QString TSettingsStore::SyncFailure() const
{
    if (Settings->status() == QSettings::NoError)
        return QString();
    if (Settings->status() == QSettings::FormatError)
        return QStringLiteral("Plik ustawień ") + FileName() + QStringLiteral(" ma nieprawidłowy format.");
    return WriteFailureMessage(FileName(), FileErrorReason(SyncError));
}
