#include "audio/DeviceStream.h"

int TDeviceStream::Prepare(TWaveHeader& header)
{
    if (header.Data == nullptr)
        return DeviceUnprepared;
    header.Flags |= WaveHeaderPrepared;
    return DeviceOk;
}

int TDeviceStream::Unprepare(TWaveHeader& header)
{
    if (header.Flags & WaveHeaderInQueue)
        return DeviceStillQueued;
    header.Flags &= ~std::uint32_t(WaveHeaderPrepared);
    return DeviceOk;
}

int TDeviceStream::Close()
{
    const int result = Shutdown();
    Channel.Post(TWaveNotification::Closed);
    return result;
}

bool TDeviceStream::Push(TWaveHeader& header)
{
    if (Count == Capacity)
        return false;
    header.Flags = (header.Flags & ~std::uint32_t(WaveHeaderDone)) | WaveHeaderInQueue;
    header.BytesRecorded = 0;
    Queued[(Head + Count) % Capacity] = &header;
    ++Count;
    return true;
}

void TDeviceStream::CompleteFront()
{
    TWaveHeader* header = Queued[Head];
    header->Flags = (header->Flags & ~std::uint32_t(WaveHeaderInQueue)) | WaveHeaderDone;
    Head = (Head + 1) % Capacity;
    --Count;
    FrontOffset = 0;
    Channel.Post(TWaveNotification::BlockDone);
}

void TDeviceStream::CompleteAll()
{
    if (TWaveHeader* front = Front())
        front->BytesRecorded = FrontOffset;
    while (Count > 0)
        CompleteFront();
}

QString DeviceResultText(int code)
{
    switch (code) {
    case DeviceOk:
        return QStringLiteral("The operation completed successfully");
    case DeviceBadNumber:
        return QStringLiteral("There is no wave device with this number");
    case DeviceNoServer:
        return QStringLiteral("No sound server could be reached");
    case DeviceBadFormat:
        return QStringLiteral("The device does not support this wave format");
    case DeviceUnprepared:
        return QStringLiteral("The block has not been prepared");
    case DeviceStillQueued:
        return QStringLiteral("The block is still queued at the device");
    case DeviceLost:
        return QStringLiteral("The device is no longer available");
    case DeviceRefused:
        return QStringLiteral("The device refused to open");
    case DeviceQueueFull:
        return QStringLiteral("The device's block queue is full");
    case DeviceBusy:
        return QStringLiteral("The device is already in use");
    default:
        return QStringLiteral("Unknown device error %1").arg(code);
    }
}
