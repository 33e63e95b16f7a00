// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/KeyTable.h"
#include "settings/SettingsStore.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

// Reading and writing the settings through the key table: every section, name, default and scale
// comes from there.

inline QString SectionOf(TKey key)
{
    return QLatin1String(KeyInfo(key).Section);
}

inline QString NameOf(TKey key)
{
    return QLatin1String(KeyInfo(key).Name);
}

class TKeyReader
{
public:
    explicit TKeyReader(const TSettingsStore& store) : Store(store) {}

    int Integer(TKey key) const
    {
        return Store.ReadInteger(SectionOf(key), NameOf(key), KeyInfo(key).Default);
    }
    std::optional<int> OptionalInteger(TKey key) const
    {
        return Store.ReadInteger(SectionOf(key), NameOf(key));
    }
    double Real(TKey key) const { return static_cast<double>(Integer(key)) / KeyInfo(key).Scale; }
    bool Flag(TKey key) const
    {
        return Store.ReadBool(SectionOf(key), NameOf(key), KeyInfo(key).Default != 0);
    }
    QString Text(TKey key) const { return Store.ReadString(SectionOf(key), NameOf(key), DefaultText(key)); }

private:
    const TSettingsStore& Store;
};

class TKeyWriter
{
public:
    explicit TKeyWriter(TSettingsStore& store) : Store(store) {}

    void Integer(TKey key, int value) { Store.WriteInteger(SectionOf(key), NameOf(key), value); }
    void Flag(TKey key, bool value) { Store.WriteBool(SectionOf(key), NameOf(key), value); }
    void Text(TKey key, const QString& value) { Store.WriteString(SectionOf(key), NameOf(key), value); }

    // value x scale to the nearest integer, ties to even (the default rounding mode)
    void Real(TKey key, double value)
    {
        const double scaled = value * KeyInfo(key).Scale;
        if (std::isnan(scaled))
            return Integer(key, KeyInfo(key).Default);
        const double limited = std::clamp(scaled, static_cast<double>(std::numeric_limits<int>::min()),
                                          static_cast<double>(std::numeric_limits<int>::max()));
        Integer(key, static_cast<int>(std::nearbyint(limited)));
    }

private:
    TSettingsStore& Store;
};
