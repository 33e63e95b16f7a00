#pragma once

// The device services behind the wave components: the sound server (every sink and source it offers,
// monitors included) and the virtual sound card.
//
// Numbering, per direction: 0 is the server's default device, then its other devices, then the
// virtual card; WaveMapper (all bits set) means device 0. When the server offers no real device (only
// a null or dummy sink) or none is reachable, the virtual card comes first and is the default.
//
// For tests: TDeviceServices::UseVirtualCardOnly(true), or the environment variable
// TONVIX_DEVICE=virtual, hides the sound server, so that every number opens the virtual card.
// TDeviceServices::VirtualCard() reaches its model, its speed factor and its fault injection.

#include "audio/WaveFormat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class TDeviceStream;
class TNotificationChannel;
class TVirtualCard;

// A device as the user names it: its stable name, which outlives the numbering as devices come and
// go, and its description.
struct TDeviceEntry
{
    QByteArray Name;
    QString Description;
};

class TDeviceServices
{
public:
    static const QByteArray VirtualCardName;

    static void UseVirtualCardOnly(bool only);
    static TVirtualCard& VirtualCard();

    // The devices of a direction in number order.
    static std::vector<TDeviceEntry> Devices(TWaveDirection direction);
    static QStringList DeviceNames(TWaveDirection direction); // their descriptions
    // Why the sound server offers no device, or empty when it does.
    static QString ServerStatus();

    // Opens a device for the format; blockBytes sizes the device's own buffering. On success the
    // opened notification is posted; on failure the code is returned and its text set.
    static int Open(TWaveDirection direction, std::uint32_t device, const TWaveFormat& format, int blockBytes,
                    TNotificationChannel& channel, std::unique_ptr<TDeviceStream>& stream,
                    QString& errorText);
    static QString ErrorText(int code);
};
