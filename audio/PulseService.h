// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/WaveFormat.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct pa_context;
struct pa_threaded_mainloop;
class TDeviceStream;
class TNotificationChannel;

struct TServerDevice
{
    QByteArray Name;
    QString Description;
    bool Dummy = false;          // the server's own stand-in for a missing card, or its monitor
    bool Monitor = false;        // a source that records what one of the sinks plays
    std::uint32_t Card = NoCard; // the server's index of the card whose clock runs it
    static constexpr std::uint32_t NoCard = 0xffffffffu; // a virtual device, or one not on a card
};

// The devices of both directions, each list with the server's default device first.
struct TServerDevices
{
    std::vector<TServerDevice> Inputs, Outputs;
};

// The sound server through its client API: a threaded main loop whose thread only copies frames
// between the streams and the queued blocks. Connects on first use and again after the server went
// away or stopped answering. Every wait of the UI thread on the server ends after WaitLimitMs at the
// latest, and a stream that has queued blocks but moves no frames for as long is taken as lost.
class TPulseService
{
public:
    static constexpr int WaitLimitMs = 2000;

    TPulseService();
    ~TPulseService();
    TPulseService(const TPulseService&) = delete;
    TPulseService& operator=(const TPulseService&) = delete;

    // DeviceOk; DeviceNoServer when no server can be reached (whyNone says why); DeviceTimedOut when
    // the server stopped answering.
    int Devices(TServerDevices& devices, QString& whyNone);
    int Open(TWaveDirection direction, const QByteArray& name, const TWaveFormat& format, int blockBytes,
             TNotificationChannel& channel, std::unique_ptr<TDeviceStream>& stream);
    static QString ErrorText(int code);

    // Becomes readable (an eventfd) when the server reports a device that came or went, or a new
    // default device; reading it clears it. -1 when it could not be made.
    int ChangeDescriptor() const { return ChangeFd; }

private:
    friend class TPulseStream;

    int Connect(QString& whyNot);
    void Disconnect();
    void Subscribe();

    pa_threaded_mainloop* Loop = nullptr;
    pa_context* Context = nullptr;
    int OpenStreams = 0;
    std::atomic<bool> Unanswered{false}; // a wait ran out: the connection is made anew when it can be
    bool Connected = false;              // the connection came up (main-loop thread, or the lock held)
    int ChangeFd = -1;
};
