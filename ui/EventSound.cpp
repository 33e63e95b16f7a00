// SPDX-License-Identifier: GPL-3.0-or-later
// GLib first: its headers use names that Qt's keyword macros (signals, slots) would rewrite.
#include <gio/gio.h>

#include "ui/EventSound.h"

#include <QGuiApplication>
#include <QPromise>
#include <canberra.h>

namespace {

constexpr std::uint32_t WarningId = 1;

// The sound settings of the desktop in use; GNOME's for any other, which most desktops follow.
const char* SoundSchema()
{
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP").toUpper();
    if (desktop.contains("MATE"))
        return "org.mate.sound";
    if (desktop.contains("CINNAMON"))
        return "org.cinnamon.desktop.sound";
    return "org.gnome.desktop.sound";
}

} // namespace

TEventSound::TEventSound()
{
    Pool.setMaxThreadCount(1); // one warning after another, never two at once
}

TEventSound::~TEventSound()
{
    Pool.waitForDone();
    if (Context)
        ca_context_destroy(Context);
    if (Settings)
        g_object_unref(Settings);
}

QFuture<TEventSound::TOutcome> TEventSound::PlayWarning()
{
    auto promise = std::make_shared<QPromise<TOutcome>>();
    QFuture<TOutcome> future = promise->future();
    promise->start();
    const TDesktopChoice choice = DesktopChoice();
    Pool.start([this, promise, choice] {
        promise->addResult(Play(choice));
        promise->finish();
    });
    return future;
}

TEventSound::TDesktopChoice TEventSound::DesktopChoice()
{
    if (!SettingsLooked) {
        SettingsLooked = true;
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema =
            source ? g_settings_schema_source_lookup(source, SoundSchema(), TRUE) : nullptr;
        if (schema && g_settings_schema_has_key(schema, "event-sounds") &&
            g_settings_schema_has_key(schema, "theme-name"))
            Settings = g_settings_new_full(schema, nullptr, nullptr);
        if (schema)
            g_settings_schema_unref(schema);
    }
    TDesktopChoice choice;
    if (!Settings)
        return choice;
    choice.On = g_settings_get_boolean(Settings, "event-sounds");
    gchar* theme = g_settings_get_string(Settings, "theme-name");
    choice.Theme = theme;
    g_free(theme);
    return choice;
}

TEventSound::TOutcome TEventSound::Play(const TDesktopChoice& choice)
{
    if (!Context) {
        if (ca_context_create(&Context) != CA_SUCCESS)
            return TOutcome::Failed;
        const QByteArray id = QGuiApplication::desktopFileName().toUtf8();
        ca_context_change_props(Context, CA_PROP_APPLICATION_NAME, "Tonvix", CA_PROP_APPLICATION_ICON_NAME,
                                "tonvix", nullptr);
        if (!id.isEmpty())
            ca_context_change_props(Context, CA_PROP_APPLICATION_ID, id.constData(), nullptr);
    }
    // libcanberra itself refuses what the desktop turned off.
    ca_context_change_props(Context, CA_PROP_CANBERRA_ENABLE, choice.On ? "1" : "0", nullptr);
    if (!choice.Theme.isEmpty())
        ca_context_change_props(Context, CA_PROP_CANBERRA_XDG_THEME_NAME, choice.Theme.constData(), nullptr);
    int playing = 0;
    if (choice.On && ca_context_playing(Context, WarningId, &playing) == CA_SUCCESS && playing)
        return TOutcome::Played;
    switch (ca_context_play(Context, WarningId, CA_PROP_EVENT_ID, "dialog-warning", CA_PROP_EVENT_DESCRIPTION,
                            "Przesterowanie", CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr)) {
    case CA_SUCCESS:
        return TOutcome::Played;
    case CA_ERROR_DISABLED:
        return TOutcome::Disabled;
    default:
        return TOutcome::Failed;
    }
}
