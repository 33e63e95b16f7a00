// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Mixer access. Recording levels and output volume are set in the desktop's own volume control,
// which StartVolumeControl starts; the program itself only keeps a list of the machine's sound-card
// mixers (one per ALSA card), counted when the main window is made and never opened by it.

#include <QObject>
#include <memory>
#include <vector>

struct _snd_mixer; // snd_mixer_t of <alsa/asoundlib.h>, kept out of every includer

class tMsMixerSystem;

// The mixer of one sound card.
class tMsMixer
{
public:
    tMsMixer(tMsMixerSystem& owner, int card);
    virtual ~tMsMixer(); // closes first
    tMsMixer(const tMsMixer&) = delete;
    tMsMixer& operator=(const tMsMixer&) = delete;

    // Open attaches the card's control device; a failure only lands in LastResult.
    virtual void Open();
    virtual void Close();
    bool IsOpen() const { return Handle != nullptr; }
    // Opens or closes so that IsOpen() follows the flag.
    void SetActive(bool active);

    tMsMixerSystem& Owner() const { return OwnerSystem; }
    int DeviceNumber() const { return Card; }
    int LastResult() const { return Result; } // 0, or the negative ALSA error of the last open or close
    bool Active() const { return IsActive; }  // true from creation; after an open, whether it worked

private:
    tMsMixerSystem& OwnerSystem;
    int Card;
    _snd_mixer* Handle = nullptr;
    int Result = 0;
    bool IsActive = true;
};

// The list of the machine's mixers, one per sound card ALSA reports, in card order.
class tMsMixerSystem : public QObject
{
    Q_OBJECT
public:
    explicit tMsMixerSystem(QObject* parent = nullptr); // counts the cards
    ~tMsMixerSystem() override;

    void Refresh();
    int Count() const { return static_cast<int>(Mixers.size()); }
    tMsMixer& Mixer(int index) const { return *Mixers.at(static_cast<std::size_t>(index)); }

private:
    std::vector<std::unique_ptr<tMsMixer>> Mixers;
};

// Starts the first volume control found on PATH that starts: pavucontrol, pavucontrol-qt, the GNOME
// and the KDE sound settings, then alsamixer in a terminal emulator. False when none could be started.
bool StartVolumeControl();
