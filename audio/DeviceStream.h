// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/CallBackWin.h"
#include "audio/WaveFormat.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

// Result codes of the device services: 0 success, negative the services' own failures, positive the
// sound server's own error codes.
enum TDeviceResult : int {
    DeviceOk = 0,
    DeviceBadNumber = -1,
    DeviceNoServer = -2,
    DeviceBadFormat = -3,
    DeviceUnprepared = -4,
    DeviceStillQueued = -5,
    DeviceLost = -6,
    DeviceRefused = -7,
    DeviceQueueFull = -8,
    DeviceBusy = -9,
    DeviceTimedOut = -10,
};

// Input frames recorded while no block is queued, kept at the device as a card keeps them in its own
// buffer. Allocated once at the open; nothing allocates while streaming. Callers hold the service's lock.
class THeldFrames
{
public:
    void Allocate(std::size_t frames, std::size_t frameBytes);
    bool Empty() const { return Count == 0; }
    std::size_t FrameSize() const { return FrameBytes; }
    void Clear() { Head = Count = 0; }
    // Whole frames only when they do not all fit; from == nullptr stores silence (fill). Returns bytes
    // stored.
    std::size_t Put(const char* from, std::size_t size, int fill);
    std::size_t Take(char* to, std::size_t size);

private:
    std::vector<char> Bytes;
    std::size_t FrameBytes = 1, Head = 0, Count = 0;
};

// One open device: the Linux stand-in for an open wave-in or wave-out handle. Blocks are returned in
// the order they were queued; each return posts a block-done notification to the channel. All calls
// come from the UI thread.
class TDeviceStream
{
public:
    explicit TDeviceStream(TNotificationChannel& channel) : Channel(channel) {}
    virtual ~TDeviceStream() = default;
    TDeviceStream(const TDeviceStream&) = delete;
    TDeviceStream& operator=(const TDeviceStream&) = delete;

    int Prepare(TWaveHeader& header);
    int Unprepare(TWaveHeader& header);
    virtual int Queue(TWaveHeader& header) = 0; // play (output) or fill (input)
    virtual int Start() = 0;                    // input: begin recording
    virtual int Pause() = 0;                    // output: hold the queued blocks
    virtual int Restart() = 0;
    virtual int Reset() = 0; // returns every queued block as done at once
    // Stops the device for good and posts the closed notification; nothing is posted after it.
    int Close();
    // Output underflows or input overflows since the open.
    virtual std::uint64_t Xruns() const = 0;

protected:
    virtual int Shutdown() = 0;

    // The queue of blocks at the device; callers hold the service's lock.
    bool Push(TWaveHeader& header);
    TWaveHeader* Front() const { return Count > 0 ? Queued[Head] : nullptr; }
    void CompleteFront();
    void CompleteAll();
    // Input: recorded bytes go into the queued blocks, or are held while none is queued (or older
    // frames are still held, to keep the order). Returns true when the held frames overflow anew.
    bool Record(const char* from, std::size_t size, int silence);
    // Input, when a block is queued: fills it at once from the held frames.
    void CompleteFromHeld();

    TNotificationChannel& Channel;
    std::uint32_t FrontOffset = 0; // bytes of the front block already played or recorded
    THeldFrames Held;              // input only; empty for an output

private:
    static constexpr std::size_t Capacity = 8;
    std::array<TWaveHeader*, Capacity> Queued{};
    std::size_t Head = 0;
    std::size_t Count = 0;
    bool Overflowing = false; // counts an overflow once, not once per lost fragment
    // Frees room in the front block and returns it when it has no room for another frame.
    bool FrontFull(TWaveHeader& header);
};

// The service's own English text for a negative result code.
QString DeviceResultText(int code);
