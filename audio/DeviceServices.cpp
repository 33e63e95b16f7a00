// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/DeviceServices.h"

#include "audio/AudioIO.h"
#include "audio/CallBackWin.h"
#include "audio/DeviceStream.h"
#include "audio/PulseService.h"
#include "audio/VirtualCard.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QtGlobal>
#include <algorithm>
#include <unistd.h>

namespace {

const QString VirtualCardDescription = QStringLiteral("Wirtualna karta dźwiękowa");

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
    TDeviceLists Devices;
    int Result = DeviceOk; // DeviceTimedOut: the server stopped answering, and nothing may be opened
    QString WhyNoServer;
};

TNumbering Number()
{
    TNumbering numbering;
    TServerDevices server;
    if (!VirtualOnlyFlag())
        numbering.Result = Server().Devices(server, numbering.WhyNoServer);
    const auto number = [](const std::vector<TServerDevice>& devices, std::vector<TDeviceEntry>& numbered) {
        bool anyReal = false;
        for (const TServerDevice& device : devices) {
            numbered.push_back({device.Name, device.Description, device.Monitor, device.Card});
            anyReal = anyReal || !device.Dummy;
        }
        // With no real device the program still shows something: the virtual card becomes the default.
        const TDeviceEntry card{TDeviceServices::VirtualCardName, VirtualCardDescription};
        numbered.insert(anyReal ? numbered.end() : numbered.begin(), card);
    };
    number(server.Inputs, numbering.Devices.Inputs);
    number(server.Outputs, numbering.Devices.Outputs);
    return numbering;
}

} // namespace

const QByteArray TDeviceServices::VirtualCardName = QByteArrayLiteral("virtual-card");

TDeviceWatch::TDeviceWatch(int descriptor, QObject* parent) : QObject(parent)
{
    if (descriptor < 0)
        return;
    Notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this, descriptor] {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(descriptor, &count, sizeof count);
        emit DevicesChanged();
    });
}

void TDeviceServices::UseVirtualCardOnly(bool only)
{
    VirtualOnlyFlag() = only;
}

TVirtualCard& TDeviceServices::VirtualCard()
{
    static TVirtualCard card;
    return card;
}

TDeviceLists TDeviceServices::AllDevices()
{
    return Number().Devices;
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
    return VirtualOnlyFlag() ? QStringLiteral("Serwer dźwięku nie jest używany") : Number().WhyNoServer;
}

TDeviceWatch& TDeviceServices::Watch()
{
    // Owned by the application object, so that its notifier goes while the event loop still exists.
    static QPointer<TDeviceWatch> watch;
    if (!watch)
        watch = new TDeviceWatch(Server().ChangeDescriptor(), QCoreApplication::instance());
    return *watch;
}

int TDeviceServices::Open(TWaveDirection direction, std::uint32_t device, const QByteArray& name,
                          const TWaveFormat& format, int blockBytes, TNotificationChannel& channel,
                          std::unique_ptr<TDeviceStream>& stream, QString& errorText, bool& missing)
{
    const TNumbering numbering = Number();
    const std::vector<TDeviceEntry>& devices = numbering.Devices.Of(direction);
    std::size_t index = device == WaveMapper ? 0 : device;
    missing = false;
    if (!name.isEmpty()) {
        const auto named = std::find_if(devices.begin(), devices.end(),
                                        [&](const TDeviceEntry& entry) { return entry.Name == name; });
        missing = named == devices.end();
        index = missing ? 0 : static_cast<std::size_t>(named - devices.begin());
    }
    int result;
    if (numbering.Result == DeviceTimedOut) // never the virtual card in place of a server that hangs
        result = DeviceTimedOut;
    else if (index >= devices.size())
        result = DeviceBadNumber;
    else if (devices[index].Name == VirtualCardName)
        result = VirtualCard().Open(direction, format, channel, stream);
    else
        result = Server().Open(direction, devices[index].Name, format, blockBytes, channel, stream);
    if (result != DeviceOk) {
        errorText = ErrorText(result);
        return result;
    }
    channel.Post(TWaveNotification::Opened);
    return DeviceOk;
}

bool TDeviceServices::SeparateClocks(const TAudioIO& input, const TAudioIO& output)
{
    const TDeviceLists devices = AllDevices();
    // The entry a component opens: by its name, else by its number (the default first).
    const auto opened = [](const std::vector<TDeviceEntry>& list, const TAudioIO& component) {
        const auto named = std::find_if(list.begin(), list.end(), [&](const TDeviceEntry& entry) {
            return entry.Name == component.DeviceName();
        });
        const std::size_t index = component.WaveDevice() == WaveMapper ? 0 : component.WaveDevice();
        return named != list.end() ? &*named : (index < list.size() ? &list[index] : nullptr);
    };
    const TDeviceEntry* in = opened(devices.Inputs, input);
    const TDeviceEntry* out = opened(devices.Outputs, output);
    return in && out && in->Card != TServerDevice::NoCard && out->Card != TServerDevice::NoCard &&
           in->Card != out->Card;
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
