// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/Mixer.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <alsa/asoundlib.h>

tMsMixer::tMsMixer(tMsMixerSystem& owner, int card) : OwnerSystem(owner), Card(card) {}

tMsMixer::~tMsMixer()
{
    SetActive(false);
}

void tMsMixer::Open()
{
    snd_mixer_t* mixer = nullptr;
    Result = snd_mixer_open(&mixer, 0);
    if (Result == 0) {
        const QByteArray device = "hw:" + QByteArray::number(Card);
        Result = snd_mixer_attach(mixer, device.constData());
        if (Result == 0)
            Handle = mixer;
        else
            snd_mixer_close(mixer);
    }
    IsActive = Handle != nullptr;
}

void tMsMixer::Close()
{
    Result = snd_mixer_close(Handle);
    Handle = nullptr;
}

void tMsMixer::SetActive(bool active)
{
    if (active == IsOpen())
        return;
    if (active)
        Open();
    else
        Close();
}

tMsMixerSystem::tMsMixerSystem(QObject* parent) : QObject(parent)
{
    Refresh();
}

tMsMixerSystem::~tMsMixerSystem() = default;

void tMsMixerSystem::Refresh()
{
    Mixers.clear();
    // Card numbers need not be contiguous (a card unplugged keeps its number free), so each mixer
    // keeps the number ALSA gave its card.
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0)
        Mixers.push_back(std::make_unique<tMsMixer>(*this, card));
}

namespace {

struct TVolumeControl
{
    const char* Program;
    QStringList Arguments;
    const char* Runs = nullptr; // a second program the first only hosts
};

const std::vector<TVolumeControl>& VolumeControls()
{
    static const std::vector<TVolumeControl> controls{
        {"pavucontrol", {}},
        {"pavucontrol-qt", {}},
        {"gnome-control-center", {"sound"}},
        {"systemsettings", {"kcm_pulseaudio"}},
        {"systemsettings5", {"kcm_pulseaudio"}},
        // The terminal-based mixer, in the desktop's terminal (Debian's alternative first).
        {"x-terminal-emulator", {"-e", "alsamixer"}, "alsamixer"},
        {"gnome-terminal", {"--", "alsamixer"}, "alsamixer"},
        {"konsole", {"-e", "alsamixer"}, "alsamixer"},
        {"xfce4-terminal", {"-x", "alsamixer"}, "alsamixer"},
        {"xterm", {"-e", "alsamixer"}, "alsamixer"},
    };
    return controls;
}

} // namespace

bool StartVolumeControl()
{
    for (const TVolumeControl& control : VolumeControls()) {
        if (control.Runs != nullptr && QStandardPaths::findExecutable(control.Runs).isEmpty())
            continue;
        const QString program = QStandardPaths::findExecutable(control.Program);
        // A program that is there but does not start (a broken installation) gives way to the next.
        if (!program.isEmpty() && QProcess::startDetached(program, control.Arguments))
            return true;
    }
    return false;
}
