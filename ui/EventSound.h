// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFuture>
#include <QThreadPool>

struct _GSettings;
struct ca_context;

// The overload warning as the desktop's event sound: the sound theme's "dialog-warning", played by the
// sound server as other programs' alerts are (never the X bell, which current desktops silence). The
// desktop's choice holds: with event sounds turned off there nothing plays, and its sound theme is the
// one used; GNOME, MATE and Cinnamon keep both in GSettings, which is read at every warning. The sound
// server is reached on a thread of its own, so the user-interface thread never waits for it.
class TEventSound
{
public:
    enum class TOutcome { Played, Disabled, Failed };

    TEventSound();
    ~TEventSound();
    TEventSound(const TEventSound&) = delete;
    TEventSound& operator=(const TEventSound&) = delete;

    // Starts the warning, unless the last one still sounds. Failed: no sound server or no such sound.
    QFuture<TOutcome> PlayWarning();

private:
    struct TDesktopChoice
    {
        bool On = true;
        QByteArray Theme; // empty: libcanberra's default
    };
    TDesktopChoice DesktopChoice();
    TOutcome Play(const TDesktopChoice& choice); // on the pool's thread

    QThreadPool Pool;
    _GSettings* Settings = nullptr; // the desktop's sound settings, when it has any
    bool SettingsLooked = false;
    ca_context* Context = nullptr;
};
