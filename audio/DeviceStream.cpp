// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/DeviceStream.h"

#include <algorithm>
#include <cstring>

void THeldFrames::Allocate(std::size_t frames, std::size_t frameBytes)
{
    FrameBytes = std::max<std::size_t>(frameBytes, 1);
    Bytes.assign(frames * FrameBytes, 0);
    Clear();
}

std::size_t THeldFrames::Put(const char* from, std::size_t size, int fill)
{
    const std::size_t room = Bytes.size() - Count;
    if (size > room)
        size = room - room % FrameBytes;
    for (std::size_t done = 0; done < size;) {
        const std::size_t at = (Head + Count) % Bytes.size();
        const std::size_t part = std::min(size - done, Bytes.size() - at);
        if (from)
            std::memcpy(Bytes.data() + at, from + done, part);
        else
            std::memset(Bytes.data() + at, fill, part);
        Count += part;
        done += part;
    }
    return size;
}

std::size_t THeldFrames::Take(char* to, std::size_t size)
{
    size = std::min(size, Count);
    for (std::size_t done = 0; done < size;) {
        const std::size_t part = std::min(size - done, Bytes.size() - Head);
        std::memcpy(to + done, Bytes.data() + Head, part);
        Head = (Head + part) % Bytes.size();
        Count -= part;
        done += part;
    }
    if (Count == 0)
        Head = 0;
    return size;
}

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

bool TDeviceStream::FrontFull(TWaveHeader& header)
{
    if (header.BufferLength - FrontOffset >= Held.FrameSize())
        return false;
    header.BytesRecorded = FrontOffset;
    CompleteFront();
    return true;
}

bool TDeviceStream::Record(const char* from, std::size_t size, int silence)
{
    while (size > 0) {
        TWaveHeader* header = Held.Empty() ? Front() : nullptr;
        if (!header) {
            const bool fits = Held.Put(from, size, silence) == size;
            const bool newOverflow = !fits && !Overflowing;
            Overflowing = !fits; // what did not fit is lost
            return newOverflow;
        }
        if (FrontFull(*header))
            continue;
        const std::size_t part = std::min<std::size_t>(size, header->BufferLength - FrontOffset);
        if (from) {
            std::memcpy(header->Data + FrontOffset, from, part);
            from += part;
        } else { // a hole in the recording reads as silence
            std::memset(header->Data + FrontOffset, silence, part);
        }
        size -= part;
        FrontOffset += static_cast<std::uint32_t>(part);
        FrontFull(*header);
    }
    Overflowing = false;
    return false;
}

void TDeviceStream::CompleteFromHeld()
{
    while (!Held.Empty()) {
        TWaveHeader* header = Front();
        if (!header)
            return;
        if (FrontFull(*header))
            continue;
        FrontOffset += static_cast<std::uint32_t>(
            Held.Take(header->Data + FrontOffset, header->BufferLength - FrontOffset));
        FrontFull(*header);
    }
}

QString DeviceResultText(int code)
{
    switch (code) {
    case DeviceOk:
        return QStringLiteral("Operacja zakończyła się powodzeniem");
    case DeviceBadNumber:
        return QStringLiteral("Nie ma urządzenia dźwiękowego o tym numerze");
    case DeviceNoServer:
        return QStringLiteral("Nie można połączyć się z serwerem dźwięku");
    case DeviceBadFormat:
        return QStringLiteral("Urządzenie nie obsługuje tego formatu dźwięku");
    case DeviceUnprepared:
        return QStringLiteral("Blok nie został przygotowany");
    case DeviceStillQueued:
        return QStringLiteral("Blok czeka jeszcze w kolejce urządzenia");
    case DeviceLost:
        return QStringLiteral("Urządzenie nie jest już dostępne");
    case DeviceRefused:
        return QStringLiteral("Urządzenie odmówiło otwarcia");
    case DeviceQueueFull:
        return QStringLiteral("Kolejka bloków urządzenia jest pełna");
    case DeviceBusy:
        return QStringLiteral("Urządzenie jest już używane");
    case DeviceTimedOut:
        return QStringLiteral("Serwer dźwięku nie odpowiada");
    default:
        return QStringLiteral("Nieznany błąd urządzenia nr %1").arg(code);
    }
}
