// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The device services behind the wave components: the sound server (every sink and source it offers,
// monitors included) and the virtual sound card.
//
// Numbering, per direction: 0 is the server's default device, then its other devices, then the
// virtual card; WaveMapper (all bits set) means device 0. When the server offers no real device (only
// its stand-in for a missing card) or none is reachable, the virtual card comes first and is the
// default. A device is also known by its stable name, which survives the numbering changing as
// devices come and go; that is how the settings keep the user's choice.
//
// For tests: TDeviceServices::UseVirtualCardOnly(true), or the environment variable
// TONVIX_DEVICE=virtual, hides the sound server, so that every number opens the virtual card.
// TDeviceServices::VirtualCard() reaches its model, its speed factor and its fault injection.

#include "audio/WaveFormat.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;
class TAudioIO;
class TDeviceStream;
class TNotificationChannel;
class TVirtualCard;

struct TDeviceEntry
{
    QByteArray Name; // stable name
    QString Description;
    bool Monitor = false;             // records what one of the server's sinks plays
    std::uint32_t Card = 0xffffffffu; // the server's index of the card whose clock runs it; all bits: none
};

// The devices of both directions in number order, from one question to the sound server.
struct TDeviceLists
{
    std::vector<TDeviceEntry> Inputs, Outputs;
    const std::vector<TDeviceEntry>& Of(TWaveDirection direction) const
    {
        return direction == TWaveDirection::Output ? Outputs : Inputs;
    }
};

// Tells the UI thread that the sound server's devices changed: one came or went, the default changed,
// or the server itself went. The lists are then to be read again.
class TDeviceWatch : public QObject
{
    Q_OBJECT
public:
    TDeviceWatch(int descriptor, QObject* parent);

signals:
    void DevicesChanged();

private:
    QSocketNotifier* Notifier = nullptr;
};

class TDeviceServices
{
public:
    static const QByteArray VirtualCardName;

    static void UseVirtualCardOnly(bool only);
    static TVirtualCard& VirtualCard();

    static TDeviceLists AllDevices();
    static std::vector<TDeviceEntry> Devices(TWaveDirection direction) { return AllDevices().Of(direction); }
    static QStringList DeviceNames(TWaveDirection direction); // their descriptions
    // Why the sound server offers no device, or empty when it does.
    static QString ServerStatus();
    // UI thread, while an application object exists.
    static TDeviceWatch& Watch();

    // Opens a device for the format; blockBytes sizes the device's own buffering. A non-empty name
    // chooses the device by its stable name instead of its number; when no device has that name the
    // default device is opened and `missing` is set. On success the opened notification is posted;
    // on failure the code is returned and its text set.
    static int Open(TWaveDirection direction, std::uint32_t device, const QByteArray& name,
                    const TWaveFormat& format, int blockBytes, TNotificationChannel& channel,
                    std::unique_ptr<TDeviceStream>& stream, QString& errorText, bool& missing);
    static QString ErrorText(int code);
    // The devices that the two components open run on two different cards' clocks, as far as the server
    // tells (a virtual device or a sink's monitor shares the clock of what it is fed by).
    static bool SeparateClocks(const TAudioIO& input, const TAudioIO& output);
};
