// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/VirtualCard.h"

#include "audio/DeviceStream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

class TVirtualStream final : public TDeviceStream
{
public:
    const TWaveDirection Direction;
    const TWaveFormat Format;

    TVirtualStream(TVirtualCard& card, TWaveDirection direction, const TWaveFormat& format,
                   TNotificationChannel& channel)
        : TDeviceStream(channel), Direction(direction), Format(format), Card(card),
          Started(direction == TWaveDirection::Output)
    {
        // Half a second of card time, as a card's own buffer: a UI thread late by less loses nothing.
        if (direction == TWaveDirection::Input)
            Held.Allocate(format.FramesPerSecond / 2, format.BytesPerFrame);
    }

    int Queue(TWaveHeader& header) override
    {
        std::lock_guard guard(Card.Lock);
        if (Card.QueuesBeforeLoss > 0 && --Card.QueuesBeforeLoss == 0)
            Card.LoseOpenDevices();
        if (Lost)
            return DeviceLost;
        if (!(header.Flags & WaveHeaderPrepared))
            return DeviceUnprepared;
        if (!Push(header))
            return DeviceQueueFull;
        if (Direction == TWaveDirection::Input)
            CompleteFromHeld();
        return DeviceOk;
    }
    int Start() override { return SetFlag(Started, true); }
    int Pause() override { return SetFlag(Paused, true); }
    int Restart() override { return SetFlag(Paused, false); }
    int Reset() override
    {
        std::lock_guard guard(Card.Lock);
        CompleteAll();
        Held.Clear();
        return DeviceOk;
    }
    std::uint64_t Xruns() const override { return XrunCount.load(std::memory_order_relaxed); }

    // Card thread, under the card's lock: one frame in full-scale units.
    bool ReadFrame(double frame[2])
    {
        if (Lost || Paused)
            return false;
        TWaveHeader* header = Front();
        while (header && header->BufferLength == 0) {
            CompleteFront();
            header = Front();
        }
        if (!header) {
            CountStarvation();
            return false;
        }
        Starved = false;
        const char* at = header->Data + FrontOffset;
        frame[0] = Sample(at);
        frame[1] = Format.Channels == 2 ? Sample(at + Format.BitsPerSample / 8) : frame[0];
        FrontOffset += Format.BytesPerFrame;
        if (FrontOffset + Format.BytesPerFrame > header->BufferLength)
            CompleteFront();
        return true;
    }
    void WriteFrame(const double frame[2])
    {
        if (Lost || !Started)
            return;
        char bytes[8];
        PutSample(bytes, frame[0]);
        if (Format.Channels == 2)
            PutSample(bytes + Format.BitsPerSample / 8, frame[1]);
        if (Record(bytes, Format.BytesPerFrame, 0)) // only when the card's own buffer is full
            XrunCount.fetch_add(1, std::memory_order_relaxed);
    }
    void Lose()
    {
        Lost = true;
        CompleteAll();
        Held.Clear();
    }

private:
    int Shutdown() override
    {
        Card.Detach(*this);
        return DeviceOk;
    }
    int SetFlag(bool& flag, bool value)
    {
        std::lock_guard guard(Card.Lock);
        if (Lost)
            return DeviceLost;
        flag = value;
        return DeviceOk;
    }
    void CountStarvation()
    {
        if (!Starved)
            XrunCount.fetch_add(1, std::memory_order_relaxed);
        Starved = true;
    }
    double Sample(const char* at) const
    {
        if (Format.FormatTag == WaveFormatFloat) {
            float value;
            std::memcpy(&value, at, sizeof value);
            return value;
        }
        if (Format.BitsPerSample == 8)
            return (static_cast<unsigned char>(*at) - 128) / 128.0;
        std::int16_t value;
        std::memcpy(&value, at, sizeof value);
        return value / 32768.0;
    }
    void PutSample(char* at, double x) const
    {
        if (Format.FormatTag == WaveFormatFloat) { // the card's converter ends at full scale
            const auto value = static_cast<float>(std::clamp(x, -1.0, 1.0));
            std::memcpy(at, &value, sizeof value);
            return;
        }
        if (Format.BitsPerSample == 8) {
            *at = static_cast<char>(
                static_cast<unsigned char>(std::clamp(std::lround(x * 128.0) + 128, 0L, 255L)));
            return;
        }
        const auto value = static_cast<std::int16_t>(std::clamp(std::lround(x * 32768.0), -32768L, 32767L));
        std::memcpy(at, &value, sizeof value);
    }

    TVirtualCard& Card;
    bool Started;
    bool Paused = false;
    bool Lost = false;
    bool Starved = true; // nothing was queued yet: not an underflow
    std::atomic<std::uint64_t> XrunCount{0};
};

TVirtualCard::TVirtualCard()
{
    RestoreDefaults();
}

TVirtualCard::~TVirtualCard()
{
    {
        std::lock_guard guard(Lock);
        StopClock = true;
    }
    ClockWake.notify_all();
    if (Clock.joinable())
        Clock.join();
}

TChannelModel TVirtualCard::DefaultModel(int channel)
{
    TChannelModel model;
    if (channel == 0) {
        model.GainDb = -10.0;
        model.HighPassHz = 60.0;
        model.LowPassHz = 12000.0;
    } else {
        model.GainDb = -3.0;
    }
    return model;
}

void TVirtualCard::SetModel(int channel, const TChannelModel& model)
{
    std::lock_guard guard(Lock);
    Models[channel == 0 ? 0 : 1] = model;
    Configure();
}

void TVirtualCard::SetAmbient(bool on)
{
    std::lock_guard guard(Lock);
    AmbientOn = on;
}

void TVirtualCard::SetSpeed(double factor)
{
    std::lock_guard guard(Lock);
    Speed = std::isfinite(factor) ? std::clamp(factor, 0.01, 1000.0) : 1.0;
    Rebase = true;
}

void TVirtualCard::RestoreDefaults()
{
    std::lock_guard guard(Lock);
    Models = {DefaultModel(0), DefaultModel(1)};
    AmbientOn = true;
    Speed = 1.0;
    Rebase = true;
    Refusal.clear();
    QueuesBeforeLoss = 0;
    Configure();
}

void TVirtualCard::RefuseOpen(const QString& text)
{
    std::lock_guard guard(Lock);
    Refusal = text;
}

QString TVirtualCard::RefusalText() const
{
    std::lock_guard guard(Lock);
    return Refusal;
}

void TVirtualCard::LoseDevices()
{
    std::lock_guard guard(Lock);
    LoseOpenDevices();
}

void TVirtualCard::LoseDevicesAtQueue(int queue)
{
    std::lock_guard guard(Lock);
    QueuesBeforeLoss = std::max(queue, 0);
}

void TVirtualCard::LoseOpenDevices()
{
    for (TVirtualStream* stream : {Output, Input})
        if (stream)
            stream->Lose();
}

int TVirtualCard::Open(TWaveDirection direction, const TWaveFormat& format, TNotificationChannel& channel,
                       std::unique_ptr<TDeviceStream>& stream)
{
    std::unique_lock guard(Lock);
    if (!Refusal.isEmpty())
        return DeviceRefused;
    TVirtualStream*& slot = direction == TWaveDirection::Output ? Output : Input;
    if (slot)
        return DeviceBusy;
    const bool valid = ((format.FormatTag == WaveFormatInteger &&
                         (format.BitsPerSample == 8 || format.BitsPerSample == 16)) ||
                        (format.FormatTag == WaveFormatFloat && format.BitsPerSample == 32)) &&
                       (format.Channels == 1 || format.Channels == 2) &&
                       format.BytesPerFrame == format.BitsPerSample / 8 * format.Channels &&
                       format.FramesPerSecond >= 8000 && format.FramesPerSecond <= 192000;
    TVirtualStream* other = direction == TWaveDirection::Output ? Input : Output;
    // Both directions share the card's clock.
    if (!valid || (other && other->Format.FramesPerSecond != format.FramesPerSecond))
        return DeviceBadFormat;
    auto opened = std::make_unique<TVirtualStream>(*this, direction, format, channel);
    slot = opened.get();
    stream = std::move(opened);
    if (!other) {
        Rate = format.FramesPerSecond;
        Configure();
        Rebase = true;
    }
    if (!Clock.joinable()) {
        StopClock = false;
        Clock = std::thread(&TVirtualCard::Run, this);
    }
    return DeviceOk;
}

void TVirtualCard::Detach(TVirtualStream& stream)
{
    std::unique_lock guard(Lock);
    (stream.Direction == TWaveDirection::Output ? Output : Input) = nullptr;
    if (Output || Input)
        return;
    StopClock = true;
    guard.unlock();
    ClockWake.notify_all();
    Clock.join();
}

void TVirtualCard::Configure()
{
    for (std::size_t c = 0; c < Paths.size(); ++c)
        Paths[c].Configure(Models[c], Rate);
    Ambient.Configure(Rate);
}

void TVirtualCard::Run()
{
    using Clock_ = std::chrono::steady_clock;
    constexpr auto Tick = std::chrono::milliseconds(1);
    // A waiting caller waits for one chunk at most: 256 frames take some tens of microseconds.
    constexpr double ChunkFrames = 256;
    Clock_::time_point start;
    double frames = 0;
    std::unique_lock guard(Lock.ClockMutex());
    while (!StopClock) {
        const auto now = Clock_::now();
        if (Rebase) {
            start = now;
            frames = 0;
            Rebase = false;
        }
        const double due = std::chrono::duration<double>(now - start).count() * Rate * Speed;
        // After a stall (a stopped process, an overloaded machine) the card skips ahead rather than racing.
        if (due - frames > Rate * Speed * 0.25)
            frames = due - Rate * Speed * 0.25;
        const double chunkEnd = std::min(due, frames + ChunkFrames);
        for (; frames + 1 <= chunkEnd; frames += 1)
            Step();
        if (frames + 1 <= due) { // more is due: no sleep, but any waiting caller goes first
            Lock.HandOver(guard);
            continue;
        }
        ClockWake.wait_for(guard, Tick, [this] { return StopClock; });
    }
}

void TVirtualCard::Step()
{
    double played[2] = {0.0, 0.0};
    const bool playing = Output && Output->ReadFrame(played);
    // The ambient sound fades out while something plays and back in after it.
    AmbientMix += ((AmbientOn && !playing ? 1.0 : 0.0) - AmbientMix) * (200.0 / Rate);
    const double ambient = AmbientMix > 1e-6 ? AmbientMix * Ambient.Next(Noise) : 0.0;
    double recorded[2];
    for (std::size_t c = 0; c < 2; ++c)
        recorded[c] = Paths[c].Process(played[c], Noise) + ambient;
    if (Input)
        Input->WriteFrame(recorded);
}
