#pragma once

#include "audio/CallBackWin.h"
#include "audio/WaveFormat.h"

#include <QString>
#include <array>
#include <cstdint>

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

    TNotificationChannel& Channel;
    std::uint32_t FrontOffset = 0; // bytes of the front block already played or recorded

private:
    static constexpr std::size_t Capacity = 8;
    std::array<TWaveHeader*, Capacity> Queued{};
    std::size_t Head = 0;
    std::size_t Count = 0;
};

// The service's own English text for a negative result code.
QString DeviceResultText(int code);
