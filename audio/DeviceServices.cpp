#include "audio/DeviceServices.h"

#include "audio/CallBackWin.h"
#include "audio/DeviceStream.h"
#include "audio/PulseService.h"
#include "audio/VirtualCard.h"

#include <QtGlobal>
#include <algorithm>

namespace {

const QString VirtualCardName = QStringLiteral("Wirtualna karta dźwiękowa");

bool& VirtualOnlyFlag()
{
    static bool only = qgetenv("TONVIX_DEVICE") == "virtual";
    return only;
}

TPulseService& Server()
{
    static TPulseService server;
    return server;
}

struct TNumbering
{
    std::vector<TServerDevice> Devices; // in number order; the virtual card is the one without a name
    QString WhyNoServer;
};

TNumbering Number(TWaveDirection direction)
{
    TNumbering numbering;
    if (!VirtualOnlyFlag())
        numbering.Devices = Server().Devices(direction, numbering.WhyNoServer);
    const bool anyReal = std::any_of(numbering.Devices.begin(), numbering.Devices.end(),
                                     [](const TServerDevice& device) { return !device.Dummy; });
    const TServerDevice card{QByteArray(), VirtualCardName, false};
    // With no real device the program still shows something: the virtual card becomes the default.
    numbering.Devices.insert(anyReal ? numbering.Devices.end() : numbering.Devices.begin(), card);
    return numbering;
}

} // namespace

void TDeviceServices::UseVirtualCardOnly(bool only)
{
    VirtualOnlyFlag() = only;
}

TVirtualCard& TDeviceServices::VirtualCard()
{
    static TVirtualCard card;
    return card;
}

const QByteArray TDeviceServices::VirtualCardName = QByteArrayLiteral("virtual-card");

std::vector<TDeviceEntry> TDeviceServices::Devices(TWaveDirection direction)
{
    std::vector<TDeviceEntry> devices;
    for (const TServerDevice& device : Number(direction).Devices)
        devices.push_back({device.Name.isEmpty() ? VirtualCardName : device.Name, device.Description});
    return devices;
}

QStringList TDeviceServices::DeviceNames(TWaveDirection direction)
{
    QStringList names;
    for (const TDeviceEntry& device : Devices(direction))
        names << device.Description;
    return names;
}

QString TDeviceServices::ServerStatus()
{
    return VirtualOnlyFlag() ? QStringLiteral("The sound server is not used")
                             : Number(TWaveDirection::Output).WhyNoServer;
}

int TDeviceServices::Open(TWaveDirection direction, std::uint32_t device, const TWaveFormat& format,
                          int blockBytes, TNotificationChannel& channel,
                          std::unique_ptr<TDeviceStream>& stream, QString& errorText)
{
    const TNumbering numbering = Number(direction);
    const std::size_t index = device == WaveMapper ? 0 : device;
    int result;
    if (index >= numbering.Devices.size())
        result = DeviceBadNumber;
    else if (numbering.Devices[index].Name.isEmpty())
        result = VirtualCard().Open(direction, format, channel, stream);
    else
        result = Server().Open(direction, numbering.Devices[index].Name, format, blockBytes, channel, stream);
    if (result != DeviceOk) {
        errorText = ErrorText(result);
        return result;
    }
    channel.Post(TWaveNotification::Opened);
    return DeviceOk;
}

QString TDeviceServices::ErrorText(int code)
{
    if (code > 0)
        return TPulseService::ErrorText(code);
    if (code == DeviceRefused) {
        const QString text = VirtualCard().RefusalText();
        if (!text.isEmpty())
            return text;
    }
    return DeviceResultText(code);
}
