// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioIO.h"

#include "audio/DeviceServices.h"
#include "audio/DeviceStream.h"

TAudioIn::TAudioIn(QObject* owner) : TAudioIO(owner) {}

// Closing here keeps the device from touching freed blocks.
TAudioIn::~TAudioIn()
{
    StopNow();
}

bool TAudioIn::Start(TAudioIn& target)
{
    return OpenDevice(target) && StartStreaming();
}

bool TAudioIn::OpenDevice(TAudioIn& target)
{
    if (OnOpening)
        OnOpening(this);
    return OpenStream(TWaveDirection::Input, target, "Urządzenie wejściowe jest już otwarte");
}

bool TAudioIn::StartStreaming()
{
    const int result = Stream->Start();
    if (result != DeviceOk) {
        CloseDevice();
        ErrorText = QStringLiteral("Nie można rozpocząć nagrywania: ") + TDeviceServices::ErrorText(result);
        return false;
    }
    IsRunning = true;
    for (int i = 0; i < BufferCount; ++i) {
        if (!QueueNextBuffer()) {
            CloseDevice();
            return false;
        }
    }
    return true;
}

bool TAudioIn::HandleBuffer(int index)
{
    if (!KeepStreaming)
        return false;
    int count = BlockSamples();
    float* block = FloatBlock(index);
    if (FloatStream())
        LimitFloat(block, count);
    else
        IntegerToFloat(Block(index), block, count, Format.BitsPerSample);
    const unsigned open = OpenCount;
    const bool accepted = OnBufferFilled ? OnBufferFilled(block, count) : true;
    if (!StillOpen(open))
        return false;
    if (OnBlockObserved)
        OnBlockObserved(block, BlockSamples());
    if (accepted)
        ++FilledCount;
    return accepted;
}

bool TAudioIn::QueueNextBuffer()
{
    if (!QueueBlock())
        return false;
    ++InFlightCount;
    return true;
}

void TAudioIn::BlockDone()
{
    ++DoneCount;
    --InFlightCount;
    IsRunning = InFlightCount > 0;
    const bool running = IsRunning;
    const unsigned open = OpenCount;
    const bool accepted = HandleBuffer(Ring);
    if (!StillOpen(open))
        return;
    if (accepted)
        QueueNextBuffer();
    if (!running) {
        KeepStreaming = false;
        CloseDevice();
    }
}

int TAudioIn::CloseDevice()
{
    return CloseStream(true);
}
