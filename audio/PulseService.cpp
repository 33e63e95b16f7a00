// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/PulseService.h"

#include "audio/DeviceStream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr pa_usec_t WaitLimit = pa_usec_t(TPulseService::WaitLimitMs) * PA_USEC_PER_MSEC;
constexpr pa_usec_t WatchInterval = 250 * PA_USEC_PER_MSEC;
constexpr pa_usec_t OutputMarginUsec = 120 * PA_USEC_PER_MSEC;
// The sink a server offers in place of a card when it finds none; its monitor is named after it.
constexpr const char* StandInSink = "auto_null";

// Holds the main loop's lock for a scope (UI thread only).
class TLoopLock
{
public:
    explicit TLoopLock(pa_threaded_mainloop* loop) : Loop(loop) { pa_threaded_mainloop_lock(Loop); }
    ~TLoopLock() { pa_threaded_mainloop_unlock(Loop); }
    TLoopLock(const TLoopLock&) = delete;
    TLoopLock& operator=(const TLoopLock&) = delete;

private:
    pa_threaded_mainloop* Loop;
};

timeval After(pa_usec_t delay)
{
    timeval at{};
    pa_timeval_add(pa_gettimeofday(&at), delay);
    return at;
}

// A timer on the main loop that wakes the waiting thread when the time is up. Made and freed with the
// lock held; without a timer the time counts as up at once, for a wait without an end is no option.
class TDeadline
{
public:
    TDeadline(pa_threaded_mainloop* loop, pa_usec_t limit)
        : Loop(loop), Api(pa_threaded_mainloop_get_api(loop))
    {
        const timeval at = After(limit);
        Event = Api->time_new(Api, &at, &TDeadline::Expire, this);
    }
    ~TDeadline()
    {
        if (Event)
            Api->time_free(Event);
    }
    TDeadline(const TDeadline&) = delete;
    TDeadline& operator=(const TDeadline&) = delete;
    bool Passed() const { return Expired || !Event; }

private:
    static void Expire(pa_mainloop_api*, pa_time_event*, const timeval*, void* self)
    {
        auto* me = static_cast<TDeadline*>(self);
        me->Expired = true;
        pa_threaded_mainloop_signal(me->Loop, 0);
    }

    pa_threaded_mainloop* Loop;
    pa_mainloop_api* Api;
    pa_time_event* Event = nullptr;
    bool Expired = false;
};

// Waits, with the lock held, until `done` holds; false when the deadline came first.
template <class TDone> bool WaitUntil(pa_threaded_mainloop* loop, TDone done, pa_usec_t limit = WaitLimit)
{
    const TDeadline deadline(loop, limit);
    while (!done()) {
        if (deadline.Passed())
            return false;
        pa_threaded_mainloop_wait(loop);
    }
    return true;
}

// Waits, with the lock held, for an operation whose callbacks signal the loop. False when the server
// did not finish it in time; it is cancelled then, so its callbacks never run on freed data.
bool Await(pa_threaded_mainloop* loop, pa_operation* operation)
{
    if (!operation)
        return true; // refused at once: nothing to wait for
    const bool finished =
        WaitUntil(loop, [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    if (!finished)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return finished;
}

void Signal(pa_threaded_mainloop* loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

struct TListing
{
    pa_threaded_mainloop* Loop;
    TServerDevices& Devices;
    QByteArray DefaultSink, DefaultSource;
};

QString Describe(const char* description, const char* name)
{
    return QString::fromUtf8(description ? description : name);
}

void ServerInfo(pa_context*, const pa_server_info* info, void* self)
{
    auto* listing = static_cast<TListing*>(self);
    if (info) {
        listing->DefaultSink = info->default_sink_name;
        listing->DefaultSource = info->default_source_name;
    }
    Signal(listing->Loop);
}

void ListSink(pa_context*, const pa_sink_info* info, int last, void* self)
{
    auto* listing = static_cast<TListing*>(self);
    if (!last && info)
        listing->Devices.Outputs.push_back({QByteArray(info->name), Describe(info->description, info->name),
                                            qstrcmp(info->name, StandInSink) == 0, false, info->card});
    Signal(listing->Loop);
}

// Sinks are listed first: a monitor is shown by the description of the sink it records, whatever
// language the server describes monitors in.
void ListSource(pa_context*, const pa_source_info* info, int last, void* self)
{
    auto* listing = static_cast<TListing*>(self);
    if (!last && info) {
        TServerDevice device{QByteArray(info->name), Describe(info->description, info->name)};
        device.Card = info->card;
        if (info->monitor_of_sink != PA_INVALID_INDEX) {
            device.Monitor = true;
            device.Dummy = qstrcmp(info->monitor_of_sink_name, StandInSink) == 0;
            for (const TServerDevice& sink : listing->Devices.Outputs)
                if (sink.Name == info->monitor_of_sink_name) {
                    device.Description = QStringLiteral("Monitor: ") + sink.Description;
                    device.Card = sink.Card; // a monitor runs on its sink's clock
                }
        }
        listing->Devices.Inputs.push_back(device);
    }
    Signal(listing->Loop);
}

void DefaultFirst(std::vector<TServerDevice>& devices, const QByteArray& defaultName)
{
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const TServerDevice& device) { return device.Name == defaultName; });
    if (found != devices.end())
        std::rotate(devices.begin(), found, found + 1);
}

void Notify(int descriptor)
{
    if (descriptor < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(descriptor, &one, sizeof one);
}

// Main-loop thread: a device came or went, or the default changed. Changes of a device's state or
// volume are not news for the lists.
void DevicesChanged(pa_context*, pa_subscription_event_type_t event, std::uint32_t, void* descriptor)
{
    const unsigned facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const unsigned type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    const bool device = facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SOURCE;
    if ((device && type != PA_SUBSCRIPTION_EVENT_CHANGE) || facility == PA_SUBSCRIPTION_EVENT_SERVER)
        Notify(*static_cast<int*>(descriptor));
}

} // namespace

// A sink, and the module that made it (a filter sink's module also makes its stream into its master).
struct TSinkRef
{
    std::uint32_t Index = PA_INVALID_INDEX;
    std::uint32_t Module = PA_INVALID_INDEX;
};

// One stream at the server. Output: the server asks for bytes, the queued blocks are copied into its
// buffer and returned as they are used up. Input: recorded fragments are copied into the queued blocks,
// each returned when full.
class TPulseStream final : public TDeviceStream
{
public:
    TPulseStream(TPulseService& service, TWaveDirection direction, TNotificationChannel& channel)
        : TDeviceStream(channel), Service(service), Loop(service.Loop), Direction(direction)
    {
        ++Service.OpenStreams;
    }

    int Connect(const QByteArray& name, const TWaveFormat& format, int blockBytes)
    {
        const bool floats = format.FormatTag == WaveFormatFloat;
        pa_sample_spec sampleSpec{floats                      ? PA_SAMPLE_FLOAT32LE
                                  : format.BitsPerSample == 8 ? PA_SAMPLE_U8
                                                              : PA_SAMPLE_S16LE,
                                  format.FramesPerSecond, static_cast<std::uint8_t>(format.Channels)};
        if ((format.FormatTag != WaveFormatInteger && !floats) || !pa_sample_spec_valid(&sampleSpec))
            return DeviceBadFormat;
        // Half a second held on our side, so that a UI thread late by less loses no recorded frames.
        if (Direction == TWaveDirection::Input)
            Held.Allocate(format.FramesPerSecond / 2, pa_frame_size(&sampleSpec));
        BlockUsec = pa_bytes_to_usec(static_cast<std::uint64_t>(blockBytes), &sampleSpec);
        TLoopLock lock(Loop);
        const int connected = ConnectOwn();
        if (connected != DeviceOk)
            return connected;
        pa_context* context = Context;
        if (!FindIdleSink(context, name))
            return Unanswered();
        Stream = pa_stream_new(context, "Tonvix", &sampleSpec, nullptr);
        if (!Stream)
            return pa_context_errno(context);
        pa_stream_set_state_callback(Stream, &TPulseStream::StateChanged, this);
        // The server keeps about one block: a block is done when the server has taken it, so the
        // blocks come back at the pace of playing and recording; and a start waits for one block's
        // latency, not for whatever the device had before. What is played keeps at least
        // OutputMarginUsec there: a sink whose thread wakes late on a loaded machine takes all it
        // missed at once, and a shorter store underflows although the blocks are ready.
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.minreq = static_cast<std::uint32_t>(-1);
        attributes.tlength = static_cast<std::uint32_t>(blockBytes);
        if (Direction == TWaveDirection::Output)
            attributes.tlength = std::max<std::uint32_t>(
                attributes.tlength,
                static_cast<std::uint32_t>(pa_usec_to_bytes(OutputMarginUsec, &sampleSpec)));
        attributes.fragsize = static_cast<std::uint32_t>(blockBytes);
        // A measurement never moves silently to another device: if its device goes, the stream ends.
        const auto flags = PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE;
        int result;
        if (Direction == TWaveDirection::Output) {
            pa_stream_set_write_callback(Stream, &TPulseStream::Writable, this);
            pa_stream_set_underflow_callback(Stream, &TPulseStream::Xrun, this);
            // Playing starts at once, as the first block arrives.
            result = pa_stream_connect_playback(Stream, name.constData(), &attributes,
                                                static_cast<pa_stream_flags_t>(flags), nullptr, nullptr);
        } else {
            pa_stream_set_read_callback(Stream, &TPulseStream::Readable, this);
            pa_stream_set_overflow_callback(Stream, &TPulseStream::Xrun, this);
            // Recording waits for the start.
            Corked = true;
            result = pa_stream_connect_record(Stream, name.constData(), &attributes,
                                              static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED));
        }
        if (result < 0)
            return pa_context_errno(context);
        pa_stream_state_t state = PA_STREAM_UNCONNECTED;
        if (!WaitUntil(Loop, [&] {
                state = pa_stream_get_state(Stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            }))
            return Unanswered();
        if (state != PA_STREAM_READY)
            return pa_context_errno(context);
        Ready = true;
        StartWatch();
        if (Direction == TWaveDirection::Output && !RestartIdleSink())
            return Unanswered();
        return DeviceOk;
    }

    ~TPulseStream() override
    {
        {
            TLoopLock lock(Loop);
            Release();
        }
        --Service.OpenStreams;
    }

    int Queue(TWaveHeader& header) override
    {
        TLoopLock lock(Loop);
        if (Lost)
            return LostCode;
        if (!(header.Flags & WaveHeaderPrepared))
            return DeviceUnprepared;
        if (!Front())
            Progress = pa_rtclock_now(); // the time without blocks was no stall
        if (!Push(header))
            return DeviceQueueFull;
        Flushed = false;
        if (Direction == TWaveDirection::Output)
            Fill(pa_stream_writable_size(Stream));
        else
            CompleteFromHeld();
        return DeviceOk;
    }
    int Start() override
    {
        const int result = Cork(false);
        if (result != DeviceOk)
            return result;
        TLoopLock lock(Loop);
        return RestartIdleSink() ? DeviceOk : Unanswered();
    }
    int Pause() override { return Cork(true); }
    int Restart() override { return Cork(false); }
    int Reset() override
    {
        TLoopLock lock(Loop);
        // The queued blocks come back whether the server answers or not.
        if (!Lost && !Await(Loop, pa_stream_flush(Stream, &TPulseStream::Done, this)))
            Unanswered();
        CompleteAll();
        Held.Clear();
        Flushed = true;
        return DeviceOk;
    }
    std::uint64_t Xruns() const override { return XrunCount.load(std::memory_order_relaxed); }

private:
    int Shutdown() override
    {
        TLoopLock lock(Loop);
        // A block is done once the server holds it, so at the close after the last one the server
        // still has up to a block to play. It is played out first, unless the stream was flushed (a
        // stop at once), paused or lost.
        if (Direction == TWaveDirection::Output && Ready && !Lost && !Flushed && !Corked)
            PlayOut();
        Release();
        return DeviceOk;
    }
    // With the lock held. A drain also starts a stream that never held enough to start by itself. The
    // wait is bounded: twice what the server may hold, and a second more.
    void PlayOut()
    {
        pa_stream_set_underflow_callback(Stream, nullptr, nullptr); // running empty is the end here
        pa_operation* operation = pa_stream_drain(Stream, &TPulseStream::Done, this);
        if (!operation)
            return;
        const pa_buffer_attr* attributes = pa_stream_get_buffer_attr(Stream);
        const pa_usec_t held =
            attributes ? pa_bytes_to_usec(attributes->tlength, pa_stream_get_sample_spec(Stream)) : 0;
        WaitUntil(
            Loop, [&] { return Lost || pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
            2 * held + PA_USEC_PER_SEC);
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    void Release()
    {
        if (Watch) {
            pa_mainloop_api* api = pa_threaded_mainloop_get_api(Loop);
            api->time_free(Watch);
            Watch = nullptr;
        }
        if (Stream) {
            pa_stream_set_state_callback(Stream, nullptr, nullptr);
            pa_stream_set_write_callback(Stream, nullptr, nullptr);
            pa_stream_set_read_callback(Stream, nullptr, nullptr);
            pa_stream_set_underflow_callback(Stream, nullptr, nullptr);
            pa_stream_set_overflow_callback(Stream, nullptr, nullptr);
            if (Ready)
                pa_stream_disconnect(Stream);
            pa_stream_unref(Stream);
            Stream = nullptr;
        }
        if (Context) {
            pa_context_set_state_callback(Context, nullptr, nullptr);
            pa_context_disconnect(Context);
            pa_context_unref(Context);
            Context = nullptr;
        }
    }
    // With the lock held. Every stream has a connection of its own: PipeWire's PulseAudio front stops
    // serving a record stream while a playback stream of the same connection runs, at the quanta of
    // 512 frames and more that desktops use; streams of separate connections are served independently.
    int ConnectOwn()
    {
        Context = pa_context_new(pa_threaded_mainloop_get_api(Loop), "Tonvix");
        if (!Context)
            return DeviceNoServer;
        pa_context_set_state_callback(
            Context, [](pa_context*, void* self) { Signal(static_cast<TPulseStream*>(self)->Loop); }, this);
        if (pa_context_connect(Context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return pa_context_errno(Context);
        pa_context_state_t state = PA_CONTEXT_UNCONNECTED;
        if (!WaitUntil(Loop, [&] {
                state = pa_context_get_state(Context);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            }))
            return Unanswered();
        return state == PA_CONTEXT_READY ? DeviceOk : pa_context_errno(Context);
    }
    int Cork(bool cork)
    {
        TLoopLock lock(Loop);
        if (Lost)
            return LostCode;
        if (!Await(Loop, pa_stream_cork(Stream, cork ? 1 : 0, &TPulseStream::Done, this)))
            return Unanswered();
        Corked = cork;
        Progress = pa_rtclock_now();
        return DeviceOk;
    }

    // With the lock held. An idle sink keeps the latency it last had (seconds, for a sink that renders
    // ahead) until its current cycle ends, however short a latency a new stream asks for, and would
    // hold back the first block of a start by as much. Such a sink is suspended and resumed once the
    // stream asks for its latency, which starts the sink's cycle afresh at that latency. A filter sink
    // (an equaliser, an effect) plays into another sink, which runs on at its old cycle while the
    // filter is idle: it is restarted too, while the filter is suspended, when nothing else plays into
    // it. Only an idle sink is touched: nothing plays into it, so nobody hears the restart. False: no
    // answer in time.
    bool FindIdleSink(pa_context* context, const QByteArray& name)
    {
        if (Direction == TWaveDirection::Output)
            return Await(Loop,
                         pa_context_get_sink_info_by_name(context, name.constData(), &IdleSinkInfo, this));
        const auto monitored = [](pa_context*, const pa_source_info* info, int last, void* self) {
            auto* me = static_cast<TPulseStream*>(self);
            if (!last && info)
                me->IdleSink.Index = info->monitor_of_sink;
            Signal(me->Loop);
        };
        if (!Await(Loop, pa_context_get_source_info_by_name(context, name.constData(), monitored, this)))
            return false;
        const std::uint32_t sink = std::exchange(IdleSink, TSinkRef{}).Index;
        if (sink == PA_INVALID_INDEX)
            return true; // a source of its own, which takes a new latency at once
        return Await(Loop, pa_context_get_sink_info_by_index(context, sink, &IdleSinkInfo, this));
    }
    static void IdleSinkInfo(pa_context*, const pa_sink_info* info, int last, void* self)
    {
        auto* me = static_cast<TPulseStream*>(self);
        if (!last && info && info->state == PA_SINK_IDLE && info->configured_latency > me->BlockUsec)
            me->IdleSink = {info->index, info->owner_module};
        Signal(me->Loop);
    }
    bool RestartIdleSink()
    {
        if (IdleSink.Index == PA_INVALID_INDEX)
            return true;
        return RestartChain(std::exchange(IdleSink, TSinkRef{}), MostChainedSinks);
    }
    // With the lock held: suspends the idle sink, restarts each sink that its module plays into and
    // that is idle once it is suspended (a filter's master, and its master in turn), and resumes it.
    bool RestartChain(TSinkRef sink, int depth)
    {
        pa_context* context = pa_stream_get_context(Stream);
        const auto done = [](pa_context*, int, void* self) {
            Signal(static_cast<TPulseStream*>(self)->Loop);
        };
        if (!Await(Loop, pa_context_suspend_sink_by_index(context, sink.Index, 1, done, this)))
            return false;
        if (sink.Module != PA_INVALID_INDEX && depth > 1) {
            // What the server's answers bring: the sinks the filter's streams play into, and whether
            // the one asked about is idle.
            struct TSearch
            {
                pa_threaded_mainloop* Loop;
                std::uint32_t Filter;
                std::vector<std::uint32_t> Masters;
                TSinkRef Idle;
            } search{Loop, sink.Module, {}, {}};
            const auto fed = [](pa_context*, const pa_sink_input_info* info, int last, void* data) {
                auto* found = static_cast<TSearch*>(data);
                if (!last && info && info->owner_module == found->Filter)
                    found->Masters.push_back(info->sink);
                Signal(found->Loop);
            };
            const auto idle = [](pa_context*, const pa_sink_info* info, int last, void* data) {
                auto* found = static_cast<TSearch*>(data);
                if (!last && info && info->state == PA_SINK_IDLE)
                    found->Idle = {info->index, info->owner_module};
                Signal(found->Loop);
            };
            if (!Await(Loop, pa_context_get_sink_input_info_list(context, fed, &search)))
                return false;
            for (const std::uint32_t master : search.Masters) {
                search.Idle = TSinkRef{};
                if (!Await(Loop, pa_context_get_sink_info_by_index(context, master, idle, &search)) ||
                    (search.Idle.Index != PA_INVALID_INDEX && !RestartChain(search.Idle, depth - 1)))
                    return false;
            }
        }
        return Await(Loop, pa_context_suspend_sink_by_index(context, sink.Index, 0, done, this));
    }

    // With the lock held: the queued blocks come back at once and the stream accepts nothing more.
    void GoLost(int code)
    {
        if (Lost)
            return;
        Lost = true;
        LostCode = code != 0 ? code : DeviceLost;
        CompleteAll();
        Held.Clear();
        Signal(Loop);
    }
    // With the lock held: the server did not answer in time. The stream is given up, and the
    // connection is made anew for the next open.
    int Unanswered()
    {
        Service.Unanswered = true;
        GoLost(DeviceTimedOut);
        return DeviceTimedOut;
    }

    // A stream with blocks queued that moves no frames while it runs has a server that stopped
    // answering (or a device that stopped without saying so); it is lost like a device that went.
    void StartWatch()
    {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(Loop);
        Progress = pa_rtclock_now();
        const timeval at = After(WatchInterval);
        Watch = api->time_new(api, &at, &TPulseStream::CheckProgress, this);
    }
    static void CheckProgress(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self)
    {
        auto* me = static_cast<TPulseStream*>(self);
        if (!me->Lost && !me->Corked && me->Front() &&
            pa_rtclock_now() - me->Progress > WaitLimit + 2 * me->BlockUsec) {
            me->Service.Unanswered = true;
            me->GoLost(DeviceTimedOut);
            return;
        }
        const timeval at = After(WatchInterval);
        api->time_restart(event, &at);
    }

    // Main-loop thread (or the UI thread holding the lock): copy queued blocks into the server's buffer.
    void Fill(std::size_t wanted)
    {
        while (wanted > 0 && wanted != static_cast<std::size_t>(-1)) {
            TWaveHeader* header = Front();
            if (!header)
                return;
            std::size_t size = std::min<std::size_t>(wanted, header->BufferLength - FrontOffset);
            if (size > 0) {
                void* target = nullptr;
                if (pa_stream_begin_write(Stream, &target, &size) < 0 || !target)
                    return;
                size = std::min<std::size_t>(size, header->BufferLength - FrontOffset);
                std::memcpy(target, header->Data + FrontOffset, size);
                pa_stream_write(Stream, target, size, nullptr, 0, PA_SEEK_RELATIVE);
                FrontOffset += static_cast<std::uint32_t>(size);
                wanted -= size;
                Progress = pa_rtclock_now();
            }
            if (FrontOffset >= header->BufferLength)
                CompleteFront();
        }
    }
    void Drain()
    {
        while (pa_stream_readable_size(Stream) > 0) {
            const void* data = nullptr;
            std::size_t size = 0;
            if (pa_stream_peek(Stream, &data, &size) < 0 || size == 0)
                return;
            // Without a queued block the frames are held; only an overflow of what is held loses any. A
            // hole (no data) is what the server lost: it is recorded as silence, and counted as a loss.
            if (Record(static_cast<const char*>(data), size, Silence()) || !data)
                XrunCount.fetch_add(1, std::memory_order_relaxed);
            pa_stream_drop(Stream);
            Progress = pa_rtclock_now();
        }
    }
    int Silence() const { return pa_stream_get_sample_spec(Stream)->format == PA_SAMPLE_U8 ? 0x80 : 0; }

    static void StateChanged(pa_stream* stream, void* self)
    {
        auto* me = static_cast<TPulseStream*>(self);
        if (me->Ready && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) // the server or the device went
            me->GoLost(pa_context_errno(pa_stream_get_context(stream)));
        Signal(me->Loop);
    }
    static void Writable(pa_stream*, std::size_t wanted, void* self)
    {
        static_cast<TPulseStream*>(self)->Fill(wanted);
    }
    static void Readable(pa_stream*, std::size_t, void* self) { static_cast<TPulseStream*>(self)->Drain(); }
    static void Xrun(pa_stream*, void* self)
    {
        static_cast<TPulseStream*>(self)->XrunCount.fetch_add(1, std::memory_order_relaxed);
    }
    static void Done(pa_stream*, int, void* self) { Signal(static_cast<TPulseStream*>(self)->Loop); }

    TPulseService& Service; // outlives every stream on it
    pa_threaded_mainloop* Loop;
    TWaveDirection Direction;
    pa_context* Context = nullptr; // the stream's own connection
    pa_stream* Stream = nullptr;
    pa_time_event* Watch = nullptr;
    pa_usec_t BlockUsec = 0;
    pa_usec_t Progress = 0;                    // when frames last moved (or the stream was last started)
    TSinkRef IdleSink;                         // the sink to restart once the stream runs
    static constexpr int MostChainedSinks = 4; // filters in front of filters, at most
    bool Ready = false;
    bool Lost = false;
    bool Flushed = false; // reset since the last block was queued
    bool Corked = false;  // output: paused; input: not started yet
    int LostCode = DeviceLost;
    std::atomic<std::uint64_t> XrunCount{0};
};

TPulseService::TPulseService() : ChangeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TPulseService::~TPulseService()
{
    Disconnect();
    if (ChangeFd >= 0)
        close(ChangeFd);
}

void TPulseService::Disconnect()
{
    if (Loop)
        pa_threaded_mainloop_stop(Loop);
    if (Context) {
        // Our own leaving is no news for the lists.
        pa_context_set_state_callback(Context, nullptr, nullptr);
        pa_context_disconnect(Context);
        pa_context_unref(Context);
        Context = nullptr;
    }
    if (Loop) {
        pa_threaded_mainloop_free(Loop);
        Loop = nullptr;
    }
}

int TPulseService::Connect(QString& whyNot)
{
    if (Context && !Unanswered) {
        TLoopLock lock(Loop);
        if (pa_context_get_state(Context) == PA_CONTEXT_READY)
            return DeviceOk;
    }
    if (OpenStreams > 0) { // the streams of the old connection still wait for their close
        whyNot = Unanswered ? DeviceResultText(DeviceTimedOut)
                            : QStringLiteral("Połączenie z serwerem dźwięku zostało przerwane");
        return Unanswered ? DeviceTimedOut : DeviceNoServer;
    }
    Disconnect();
    Unanswered = false;
    Connected = false;
    Loop = pa_threaded_mainloop_new();
    Context = Loop ? pa_context_new(pa_threaded_mainloop_get_api(Loop), "Tonvix") : nullptr;
    if (!Context || pa_threaded_mainloop_start(Loop) < 0) {
        whyNot = QStringLiteral("Nie można przygotować połączenia z serwerem dźwięku");
        Disconnect();
        return DeviceNoServer;
    }
    // Main-loop thread. A connection that ends takes the server's devices with it: the lists are read
    // again, once. One that never came up changed nothing, or every reading of the lists would end in
    // another attempt and another reading, for ever.
    const auto changed = [](pa_context* context, void* self) {
        auto* service = static_cast<TPulseService*>(self);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY)
            service->Connected = true;
        else if (!PA_CONTEXT_IS_GOOD(state) && std::exchange(service->Connected, false))
            Notify(service->ChangeFd);
        Signal(service->Loop);
    };
    bool answered = true;
    pa_context_state_t state = PA_CONTEXT_FAILED;
    {
        TLoopLock lock(Loop);
        pa_context_set_state_callback(Context, changed, this);
        if (pa_context_connect(Context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0)
            answered = WaitUntil(Loop, [&] {
                state = pa_context_get_state(Context);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            });
        if (state == PA_CONTEXT_READY)
            Subscribe();
        else if (!answered)
            whyNot = DeviceResultText(DeviceTimedOut);
        else
            whyNot = QStringLiteral("Nie można połączyć się z serwerem dźwięku: %1")
                         .arg(ErrorText(pa_context_errno(Context)));
    }
    if (state != PA_CONTEXT_READY) {
        Disconnect();
        return answered ? DeviceNoServer : DeviceTimedOut;
    }
    return DeviceOk;
}

// With the lock held. The answer is not waited for: the lists are read anew when a change comes.
void TPulseService::Subscribe()
{
    pa_context_set_subscribe_callback(Context, &DevicesChanged, &ChangeFd);
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
    if (pa_operation* operation = pa_context_subscribe(Context, mask, nullptr, nullptr))
        pa_operation_unref(operation);
}

int TPulseService::Devices(TServerDevices& devices, QString& whyNone)
{
    devices = {};
    const int connected = Connect(whyNone);
    if (connected != DeviceOk)
        return connected;
    TListing listing{Loop, devices, {}, {}};
    TLoopLock lock(Loop);
    if (!Await(Loop, pa_context_get_server_info(Context, &ServerInfo, &listing)) ||
        !Await(Loop, pa_context_get_sink_info_list(Context, &ListSink, &listing)) ||
        !Await(Loop, pa_context_get_source_info_list(Context, &ListSource, &listing))) {
        Unanswered = true;
        devices = {};
        whyNone = DeviceResultText(DeviceTimedOut);
        return DeviceTimedOut;
    }
    DefaultFirst(devices.Outputs, listing.DefaultSink);
    DefaultFirst(devices.Inputs, listing.DefaultSource);
    if (devices.Outputs.empty() && devices.Inputs.empty())
        whyNone = QStringLiteral("Serwer dźwięku nie udostępnia żadnego urządzenia");
    return DeviceOk;
}

int TPulseService::Open(TWaveDirection direction, const QByteArray& name, const TWaveFormat& format,
                        int blockBytes, TNotificationChannel& channel, std::unique_ptr<TDeviceStream>& stream)
{
    QString whyNot;
    const int connected = Connect(whyNot);
    if (connected != DeviceOk)
        return connected;
    auto opened = std::make_unique<TPulseStream>(*this, direction, channel);
    const int result = opened->Connect(name, format, blockBytes);
    if (result == DeviceOk)
        stream = std::move(opened);
    return result;
}

// In Polish: the client library's own texts follow the system's locale.
QString TPulseService::ErrorText(int code)
{
    switch (code) {
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
        return QStringLiteral("serwer dźwięku odmówił dostępu");
    case PA_ERR_CONNECTIONREFUSED:
        return QStringLiteral("serwer dźwięku odrzucił połączenie");
    case PA_ERR_INVALIDSERVER:
        return QStringLiteral("nieprawidłowy adres serwera dźwięku");
    case PA_ERR_TIMEOUT:
        return QStringLiteral("serwer dźwięku nie odpowiedział w czasie");
    case PA_ERR_CONNECTIONTERMINATED:
        return QStringLiteral("połączenie z serwerem dźwięku zostało przerwane");
    case PA_ERR_NOENTITY:
        return QStringLiteral("serwer dźwięku nie zna takiego urządzenia");
    case PA_ERR_VERSION:
    case PA_ERR_PROTOCOL:
        return QStringLiteral("niezgodna wersja serwera dźwięku");
    case PA_ERR_NOTSUPPORTED:
    case PA_ERR_INVALID:
        return QStringLiteral("serwer dźwięku nie przyjął tego formatu dźwięku");
    case PA_ERR_BUSY:
        return QStringLiteral("urządzenie jest zajęte");
    case PA_ERR_KILLED:
        return QStringLiteral("serwer dźwięku zamknął strumień");
    default:
        return QStringLiteral("błąd serwera dźwięku nr %1").arg(code);
    }
}
