// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <array>
#include <atomic>
#include <cstdint>

class QSocketNotifier;
class TAudioIO;

enum class TWaveNotification : std::uint8_t { Opened, Closed, BlockDone };

// Hands notifications from device threads to the UI thread without allocating or locking: a bounded
// lock-free queue (any thread posts, the UI thread takes) plus an eventfd that wakes the event loop.
// Its capacity exceeds what one open can have pending (open, four blocks, close).
class TNotificationChannel
{
public:
    TNotificationChannel();
    ~TNotificationChannel();
    TNotificationChannel(const TNotificationChannel&) = delete;
    TNotificationChannel& operator=(const TNotificationChannel&) = delete;

    // Any thread. The steady-clock time of posting travels with the notification.
    bool Post(TWaveNotification kind) noexcept;
    // UI thread.
    bool Take(TWaveNotification& kind, std::int64_t& postedNs) noexcept;
    int WakeDescriptor() const { return EventFd; }
    // 0, or the system's error number when the wake descriptor could not be made: then nothing posted
    // would ever be taken, and no device may be opened on the channel.
    int SetUpError() const { return EventFdError; }
    void ClearWake() noexcept;

    static std::int64_t NowNs() noexcept;

private:
    static constexpr std::size_t Capacity = 32;
    struct TCell
    {
        std::atomic<std::size_t> Sequence;
        TWaveNotification Kind;
        std::int64_t PostedNs;
    };
    std::array<TCell, Capacity> Cells;
    alignas(64) std::atomic<std::size_t> PostPosition{0};
    alignas(64) std::atomic<std::size_t> TakePosition{0};
    int EventFd = -1;
    int EventFdError = 0;
};

// The receiver made for each open of a device: it lives on the UI thread, takes the device's
// notifications in order and routes them to its target component. It deletes itself after the
// closed notification has been handled.
class TDeviceCallBack : public QObject
{
    Q_OBJECT
public:
    TDeviceCallBack(TAudioIO& target, QObject* parent);
    ~TDeviceCallBack() override;

    TNotificationChannel& Channel() { return Notifications; }

private:
    void Drain();

    TNotificationChannel Notifications;
    QPointer<TAudioIO> Target;
    QSocketNotifier* Wake = nullptr;
    bool Draining = false;
};

class TCallBackWinOut final : public TDeviceCallBack
{
    Q_OBJECT
public:
    using TDeviceCallBack::TDeviceCallBack;
};

class TCallBackWinIn final : public TDeviceCallBack
{
    Q_OBJECT
public:
    using TDeviceCallBack::TDeviceCallBack;
};
