// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/DeviceUnderTest.h"
#include "audio/WaveFormat.h"

#include <QString>
#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class TDeviceStream;
class TNotificationChannel;
class TVirtualStream;

// A sound card in software: what its output plays passes through a model of a device under test
// (per channel gain, filters, clipping, delay, noise) into its input, paced by a steady clock. While
// nothing plays, the input hears a quiet ambient sound. One output and one input may be open at a
// time, at one frame rate. Settings take effect at once; call them from the UI thread.
class TVirtualCard
{
public:
    TVirtualCard();
    ~TVirtualCard();
    TVirtualCard(const TVirtualCard&) = delete;
    TVirtualCard& operator=(const TVirtualCard&) = delete;

    // Left: a small loudspeaker (high-pass 60 Hz, low-pass 12 kHz, -10 dB); right: a wire at -3 dB.
    static TChannelModel DefaultModel(int channel);
    void SetModel(int channel, const TChannelModel& model);
    void SetAmbient(bool on);
    // Card time runs this many times faster than the steady clock (tests); 1 is real time.
    void SetSpeed(double factor);
    // Default models, real time, ambient sound on, no faults.
    void RestoreDefaults();

    // Fault injection. A non-empty text makes every open fail with it until it is cleared again.
    void RefuseOpen(const QString& text);
    QString RefusalText() const;
    // The open devices vanish: their queued blocks come back at once and nothing more is accepted.
    void LoseDevices();
    // The open devices vanish as the queue-th block from now (either direction) is handed to them, and
    // that block finds them gone: a loss between two blocks of one start. 0 disarms it.
    void LoseDevicesAtQueue(int queue);

    int Open(TWaveDirection direction, const TWaveFormat& format, TNotificationChannel& channel,
             std::unique_ptr<TDeviceStream>& stream);

private:
    friend class TVirtualStream;

    // The card's lock. The clock thread steps the frames due under it in short chunks and, between
    // two chunks, hands it to any other thread waiting for it: a plain mutex would let the clock take
    // it straight back, and keep the user-interface thread out for a whole catch-up.
    class TCardLock
    {
    public:
        void lock()
        {
            Waiting.fetch_add(1, std::memory_order_relaxed);
            Mutex.lock();
            Waiting.fetch_sub(1, std::memory_order_relaxed);
        }
        void unlock() { Mutex.unlock(); }
        // The clock thread, holding `clock` on ClockMutex(): lets the waiting threads go first.
        void HandOver(std::unique_lock<std::mutex>& clock)
        {
            if (Waiting.load(std::memory_order_relaxed) == 0)
                return;
            clock.unlock();
            while (Waiting.load(std::memory_order_relaxed) > 0)
                std::this_thread::yield();
            clock.lock();
        }
        std::mutex& ClockMutex() { return Mutex; }

    private:
        std::mutex Mutex;
        std::atomic<int> Waiting{0};
    };

    void Detach(TVirtualStream& stream);
    void LoseOpenDevices(); // under the lock
    void Run();
    void Step();
    void Configure();

    mutable TCardLock Lock;
    std::array<TChannelModel, 2> Models;
    std::array<TChannelPath, 2> Paths;
    TAmbientSound Ambient;
    TNoise Noise{0x2545F491u};
    bool AmbientOn = true;
    double AmbientMix = 1.0;
    double Speed = 1.0;
    bool Rebase = false;
    double Rate = 48000.0;
    QString Refusal;
    int QueuesBeforeLoss = 0;
    TVirtualStream* Output = nullptr;
    TVirtualStream* Input = nullptr;
    std::thread Clock;
    bool StopClock = false;
    std::condition_variable ClockWake;
};
