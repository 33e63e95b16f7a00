// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioIO.h"

#include "audio/DeviceStream.h"

#include <algorithm>

TAudioOut::TAudioOut(QObject* owner) : TAudioIO(owner) {}

// Closing here keeps the device from touching freed blocks.
TAudioOut::~TAudioOut()
{
    StopNow();
}

bool TAudioOut::Start(TAudioOut& target)
{
    const unsigned open = OpenCount + 1; // the number that the open below is given
    if (!OpenDevice(target))
        return false;
    return !StillOpen(open) || StartStreaming();
}

bool TAudioOut::OpenDevice(TAudioOut& target)
{
    if (!OpenStream(TWaveDirection::Output, target, "Urządzenie wyjściowe jest już otwarte"))
        return false;
    const unsigned open = OpenCount;
    const bool filled = HandleBuffer(0);
    if (!StillOpen(open))
        return true; // stopped by its own handler, not a failure to open
    if (!filled) {
        CloseDevice();
        ErrorText = QStringLiteral("Nie ma żadnego wypełnionego bloku do odtworzenia");
        return false;
    }
    // A block left unfilled must not be played: asking stops at the first refusal.
    for (int i = 1; i < BufferCount && HandleBuffer(i); ++i) {
    }
    return true;
}

bool TAudioOut::StartStreaming()
{
    IsRunning = true;
    if (IsPaused)
        Stream->Pause();
    // A filled block that never reached the device would stay counted in flight and keep the stream
    // open for good, so a refusal of any of them ends the start, as it does for an input.
    for (int i = 0, filled = FilledCount; i < filled; ++i) {
        if (!QueueNextBuffer()) {
            StopNow();
            return false;
        }
    }
    return true;
}

bool TAudioOut::HandleBuffer(int index)
{
    if (!KeepStreaming)
        return false;
    bool filled = false;
    if (OnFillBuffer) {
        const unsigned open = OpenCount;
        int count = BlockSamples();
        filled = OnFillBuffer(FloatBlock(index), count);
        if (!StillOpen(open))
            return false;
        // The handler may only shorten the block, and only to whole frames.
        count = std::clamp(count, 0, BlockSamples());
        count -= count % Format.Channels;
        if (!FloatStream())
            FloatToInteger(FloatBlock(index), Block(index), count, Format.BitsPerSample);
        Headers()[static_cast<std::size_t>(index)].BufferLength =
            static_cast<std::uint32_t>(count * (DeviceFormat().BitsPerSample / 8));
    }
    if (filled)
        ++FilledCount;
    InFlightCount = FilledCount - DoneCount;
    return filled;
}

bool TAudioOut::QueueNextBuffer()
{
    if (QueueBlock())
        return true;
    // The block never reached the device: counting it in flight would keep the stream open forever.
    --FilledCount;
    InFlightCount = FilledCount - DoneCount;
    return false;
}

void TAudioOut::BlockDone()
{
    ++DoneCount;
    InFlightCount = FilledCount - DoneCount;
    IsRunning = InFlightCount > 0;
    const bool running = IsRunning;
    const unsigned open = OpenCount;
    const bool filled = HandleBuffer(Ring);
    if (!StillOpen(open))
        return;
    if (filled)
        QueueNextBuffer();
    if (!running) {
        KeepStreaming = false;
        CloseDevice();
    }
}

int TAudioOut::CloseDevice()
{
    return CloseStream(false);
}

void TAudioOut::SetPaused(bool paused)
{
    IsPaused = paused;
    if (IsRunning)
        paused ? Stream->Pause() : Stream->Restart();
}
