// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioIO.h"

#include "audio/DeviceServices.h"
#include "audio/DeviceStream.h"
#include "common/SystemErrors.h"

#include <algorithm>
#include <new>

TAudioIO::TAudioIO(QObject* owner) : QObject(owner)
{
    ComputeFormat();
    HeaderBlock.reset(new (std::nothrow) std::array<TWaveHeader, MaxBuffers>{});
    if (!HeaderBlock)
        ErrorText = QStringLiteral("Brak pamięci na nagłówki bloków dźwięku");
    AllocBuffers();
}

TAudioIO::~TAudioIO() = default;

// While the device is open, the blocks, the ring and the format are those it was opened with: the
// device writes into or reads from the blocks, only the headers prepared at the open may be queued,
// and the handlers take the format for what is streaming. So a write while open is ignored, not
// kept for the next open (a kept value would make the properties disagree with the stream). The
// program changes these only while the device is closed, where each write takes effect at once.

void TAudioIO::SetBufferSize(int bytes)
{
    if (DeviceOpen())
        return;
    RequestedSize = std::max(bytes, 512);
    ComputeFormat();
    AllocBuffers();
}

void TAudioIO::SetNumBuffers(int count)
{
    if (DeviceOpen())
        return;
    BufferCount = std::clamp(count, 2, MaxBuffers);
}

void TAudioIO::SetFrameRate(int framesPerSecond)
{
    if (DeviceOpen())
        return;
    Format.FramesPerSecond = static_cast<std::uint32_t>(std::max(framesPerSecond, 0));
    ComputeFormat();
}

void TAudioIO::SetStereo(bool stereo)
{
    if (DeviceOpen())
        return;
    Format.Channels = stereo ? 2 : 1;
    ComputeFormat();
}

void TAudioIO::SetQuantization(std::uint16_t bits)
{
    if (DeviceOpen())
        return;
    Format.BitsPerSample = bits <= 8 ? 8 : 16;
    ComputeFormat();
}

std::uint64_t TAudioIO::Xruns() const
{
    return Stream ? Stream->Xruns() : ClosedXruns;
}

void TAudioIO::ComputeFormat()
{
    Format.BytesPerFrame = static_cast<std::uint16_t>(Format.BitsPerSample / 8 * Format.Channels);
    Format.BytesPerSecond = Format.BytesPerFrame * Format.FramesPerSecond;
    EffectiveBufferSize = RequestedSize - RequestedSize % Format.BytesPerFrame;
}

void TAudioIO::InitHeaders()
{
    ComputeFormat();
    for (int i = 0; i < BufferCount; ++i) {
        TWaveHeader& header = Headers()[static_cast<std::size_t>(i)];
        header = TWaveHeader{};
        header.Data = Block(i);
        header.BufferLength = static_cast<std::uint32_t>(EffectiveBufferSize);
    }
}

// Always four blocks of the requested size: raising NumBuffers or shrinking the frame never needs
// new memory, and a block is never smaller than the effective size.
void TAudioIO::AllocBuffers()
{
    for (auto& block : Blocks) {
        block.reset(new (std::nothrow) char[static_cast<std::size_t>(RequestedSize)]());
        if (!block) {
            for (auto& allocated : Blocks)
                allocated.reset();
            ErrorText = QStringLiteral("Brak pamięci na bloki dźwięku");
            return;
        }
    }
}

bool TAudioIO::OpenStream(TWaveDirection direction, TAudioIO& target, const char* alreadyOpenText)
{
    if (DeviceOpen()) {
        ErrorText = QString::fromUtf8(alreadyOpenText);
        return false;
    }
    if (!HeaderBlock) {
        ErrorText = QStringLiteral("Brak pamięci na nagłówki bloków dźwięku");
        return false;
    }
    if (!Blocks[0]) {
        ErrorText = QStringLiteral("Brak pamięci na bloki dźwięku");
        return false;
    }
    Ring = 0;
    QObject* receiverParent = parent() ? parent() : this;
    TDeviceCallBack* receiver =
        direction == TWaveDirection::Output
            ? static_cast<TDeviceCallBack*>(new TCallBackWinOut(target, receiverParent))
            : new TCallBackWinIn(target, receiverParent);
    if (const int error = receiver->Channel().SetUpError()) {
        delete receiver;
        ErrorText = QStringLiteral("Nie można przygotować powiadomień urządzenia dźwiękowego: ") +
                    FileErrorReason(error);
        return false;
    }
    QString failure;
    if (TDeviceServices::Open(direction, DeviceNumber, ChosenName, Format, EffectiveBufferSize,
                              receiver->Channel(), Stream, failure, ChosenMissing) != DeviceOk) {
        delete receiver;
        ErrorText = failure.left(255);
        return false;
    }
    Receiver = receiver;
    ++OpenCount;
    InitHeaders();
    for (int i = 0; i < BufferCount; ++i) {
        const int result = Stream->Prepare(Headers()[static_cast<std::size_t>(i)]);
        if (result != DeviceOk) {
            ErrorText = TDeviceServices::ErrorText(result).left(255);
            CloseStream(direction == TWaveDirection::Input);
            return false;
        }
    }
    InFlightCount = 0;
    DoneCount = 0;
    FilledCount = 0;
    KeepStreaming = true;
    IsRunning = true;
    return true;
}

bool TAudioIO::QueueBlock()
{
    TWaveHeader& header = Headers()[static_cast<std::size_t>(Ring)];
    header.Flags = WaveHeaderPrepared;
    const int result = Stream->Queue(header);
    if (result != DeviceOk) {
        ErrorText = TDeviceServices::ErrorText(result).left(255);
        StopWhenDrained();
        return false;
    }
    Ring = (Ring + 1) % BufferCount;
    return true;
}

int TAudioIO::CloseStream(bool resetFirst)
{
    IsRunning = false;
    IsPaused = false;
    for (int i = 0; i < BufferCount; ++i)
        Stream->Unprepare(Headers()[static_cast<std::size_t>(i)]);
    if (resetFirst)
        Stream->Reset();
    const int result = Stream->Close();
    ClosedXruns = Stream->Xruns();
    Stream.reset();
    Receiver = nullptr;
    return result;
}

void TAudioIO::StopNow()
{
    if (!DeviceOpen())
        return;
    IsRunning = false;
    KeepStreaming = false;
    Stream->Reset();
    CloseDevice();
}

void TAudioIO::StopWhenDrained()
{
    KeepStreaming = false;
}

void TAudioIO::DeviceNotification(TWaveNotification kind, std::int64_t postedNs, QObject* sender)
{
    PostedNs = postedNs;
    switch (kind) {
    case TWaveNotification::Opened:
        if (OnStart)
            OnStart(sender);
        break;
    case TWaveNotification::Closed:
        if (OnStop)
            OnStop(sender);
        break;
    case TWaveNotification::BlockDone:
        // Blocks returned by a reset come after the close; they belong to no open device.
        if (sender == Receiver && DeviceOpen())
            BlockDone();
        break;
    }
}
