// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioIO.h"

#include "audio/DeviceServices.h"
#include "audio/DeviceStream.h"
#include "common/SystemErrors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

void IntegerToFloat(const char* from, float* to, int count, int bits)
{
    if (bits == 8) {
        for (int k = 0; k < count; ++k)
            to[k] = static_cast<float>(static_cast<unsigned char>(from[k]) - 128) / 127.0f;
        return;
    }
    for (int k = 0; k < count; ++k) {
        std::int16_t sample;
        std::memcpy(&sample, from + 2 * k, sizeof sample);
        to[k] = static_cast<float>(sample) / 32767.0f;
    }
}

void FloatToInteger(const float* from, char* to, int count, int bits)
{
    const auto scaled = [](float x, float full) { return x == x ? std::lrint(x * full) : 0L; };
    if (bits == 8) {
        for (int k = 0; k < count; ++k)
            to[k] = static_cast<char>(
                static_cast<unsigned char>(std::clamp(scaled(from[k], 127.0f), -128L, 127L) + 128));
        return;
    }
    for (int k = 0; k < count; ++k) {
        const auto sample = static_cast<std::int16_t>(std::clamp(scaled(from[k], 32767.0f), -32768L, 32767L));
        std::memcpy(to + 2 * k, &sample, sizeof sample);
    }
}

void LimitFloat(float* samples, int count)
{
    for (int k = 0; k < count; ++k)
        samples[k] = samples[k] == samples[k] ? std::clamp(samples[k], -1.0f, 1.0f) : 0.0f;
}

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

void TAudioIO::SetSampleFormat(TSampleFormat format)
{
    if (DeviceOpen())
        return;
    StreamFormat = format;
}

TWaveFormat TAudioIO::DeviceFormat() const
{
    TWaveFormat device = Format;
    if (FloatStream()) {
        device.FormatTag = WaveFormatFloat;
        device.BitsPerSample = 32;
        device.BytesPerFrame = static_cast<std::uint16_t>(4 * device.Channels);
        device.BytesPerSecond = device.BytesPerFrame * device.FramesPerSecond;
    }
    return device;
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
        header.Data = FloatStream() ? reinterpret_cast<char*>(FloatBlock(i)) : Block(i);
        header.BufferLength =
            static_cast<std::uint32_t>(BlockSamples() * (FloatStream() ? 4 : Format.BitsPerSample / 8));
    }
}

// Always four blocks of the requested size, and four float blocks of as many samples as the smallest
// sample could make of it: raising NumBuffers, shrinking the frame or changing the sample format
// never needs new memory, and a block is never smaller than the effective size.
void TAudioIO::AllocBuffers()
{
    const auto size = static_cast<std::size_t>(RequestedSize);
    for (std::size_t i = 0; i < Blocks.size(); ++i) {
        Blocks[i].reset(new (std::nothrow) char[size]());
        FloatBlocks[i].reset(new (std::nothrow) float[size]());
        if (!Blocks[i] || !FloatBlocks[i]) {
            for (std::size_t j = 0; j < Blocks.size(); ++j) {
                Blocks[j].reset();
                FloatBlocks[j].reset();
            }
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
    const TWaveFormat device = DeviceFormat();
    if (TDeviceServices::Open(direction, DeviceNumber, ChosenName, device,
                              BlockSamples() * (device.BitsPerSample / 8), receiver->Channel(), Stream,
                              failure, ChosenMissing) != DeviceOk) {
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
