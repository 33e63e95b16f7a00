// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/CallBackWin.h"

#include "audio/AudioIO.h"

#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <sys/eventfd.h>
#include <unistd.h>

TNotificationChannel::TNotificationChannel()
{
    for (std::size_t i = 0; i < Capacity; ++i)
        Cells[i].Sequence.store(i, std::memory_order_relaxed);
    EventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (EventFd < 0)
        EventFdError = errno;
}

TNotificationChannel::~TNotificationChannel()
{
    if (EventFd >= 0)
        close(EventFd);
}

std::int64_t TNotificationChannel::NowNs() noexcept
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool TNotificationChannel::Post(TWaveNotification kind) noexcept
{
    std::size_t position = PostPosition.load(std::memory_order_relaxed);
    for (;;) {
        TCell& cell = Cells[position % Capacity];
        const std::size_t sequence = cell.Sequence.load(std::memory_order_acquire);
        const auto difference = static_cast<std::ptrdiff_t>(sequence) - static_cast<std::ptrdiff_t>(position);
        if (difference == 0) {
            if (PostPosition.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                cell.Kind = kind;
                cell.PostedNs = NowNs();
                cell.Sequence.store(position + 1, std::memory_order_release);
                break;
            }
        } else if (difference < 0) {
            return false; // full: cannot happen with at most four blocks per open
        } else {
            position = PostPosition.load(std::memory_order_relaxed);
        }
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(EventFd, &one, sizeof one);
    return true;
}

bool TNotificationChannel::Take(TWaveNotification& kind, std::int64_t& postedNs) noexcept
{
    const std::size_t position = TakePosition.load(std::memory_order_relaxed);
    TCell& cell = Cells[position % Capacity];
    if (cell.Sequence.load(std::memory_order_acquire) != position + 1)
        return false;
    kind = cell.Kind;
    postedNs = cell.PostedNs;
    TakePosition.store(position + 1, std::memory_order_relaxed);
    cell.Sequence.store(position + Capacity, std::memory_order_release);
    return true;
}

void TNotificationChannel::ClearWake() noexcept
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(EventFd, &count, sizeof count);
}

TDeviceCallBack::TDeviceCallBack(TAudioIO& target, QObject* parent) : QObject(parent), Target(&target)
{
    if (Notifications.SetUpError() != 0)
        return; // the open fails; nothing will be posted
    Wake = new QSocketNotifier(Notifications.WakeDescriptor(), QSocketNotifier::Read, this);
    connect(Wake, &QSocketNotifier::activated, this, &TDeviceCallBack::Drain);
}

TDeviceCallBack::~TDeviceCallBack() = default;

void TDeviceCallBack::Drain()
{
    Notifications.ClearWake();
    // A handler that runs an event loop (a message box) must not see the next notifications inside
    // it: its block is still out of the ring. The pass it was called from takes them once it returns.
    if (Draining)
        return;
    Draining = true;
    TWaveNotification kind;
    std::int64_t postedNs = 0;
    bool closed = false;
    // Handlers may stop or restart the device, which posts more; those are taken in the same pass.
    while (!closed && Notifications.Take(kind, postedNs)) {
        closed = kind == TWaveNotification::Closed;
        if (Target)
            Target->DeviceNotification(kind, postedNs, this);
    }
    Draining = false;
    if (closed) {
        Wake->setEnabled(false);
        deleteLater();
    }
}
