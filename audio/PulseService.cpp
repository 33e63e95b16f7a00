#include "audio/PulseService.h"

#include "audio/DeviceStream.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstring>

namespace {

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

// Waits, with the lock held, for an operation to finish; its callbacks signal the loop.
void Await(pa_threaded_mainloop* loop, pa_operation* operation)
{
    if (!operation)
        return;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop);
    pa_operation_unref(operation);
}

struct TListing
{
    pa_threaded_mainloop* Loop;
    std::vector<TServerDevice>* Devices;
    QByteArray* DefaultName;
};

bool IsDummy(const char* name, const char* driver)
{
    const QByteArray device(name);
    if (device.startsWith("tonvix_null")) // the test server's sink stands for a real card
        return false;
    return device.startsWith("auto_null") || (driver && std::strstr(driver, "null-sink"));
}

void AddDevice(TListing& listing, const char* name, const char* description, bool dummy)
{
    TServerDevice device{QByteArray(name), QString::fromUtf8(description ? description : name), dummy};
    if (device.Name == *listing.DefaultName)
        listing.Devices->insert(listing.Devices->begin(), device);
    else
        listing.Devices->push_back(device);
}

void DefaultSink(pa_context*, const pa_server_info* info, void* self)
{
    auto* listing = static_cast<TListing*>(self);
    if (info && info->default_sink_name)
        *listing->DefaultName = info->default_sink_name;
    pa_threaded_mainloop_signal(listing->Loop, 0);
}

void DefaultSource(pa_context*, const pa_server_info* info, void* self)
{
    auto* listing = static_cast<TListing*>(self);
    if (info && info->default_source_name)
        *listing->DefaultName = info->default_source_name;
    pa_threaded_mainloop_signal(listing->Loop, 0);
}

void ListSink(pa_context*, const pa_sink_info* info, int last, void* self)
{
    auto* listing = static_cast<TListing*>(self);
    if (!last && info)
        AddDevice(*listing, info->name, info->description, IsDummy(info->name, info->driver));
    pa_threaded_mainloop_signal(listing->Loop, 0);
}

void ListSource(pa_context*, const pa_source_info* info, int last, void* self)
{
    auto* listing = static_cast<TListing*>(self);
    if (!last && info) {
        // A monitor is as real as the sink it listens to.
        const char* dummyOf = info->monitor_of_sink_name ? info->monitor_of_sink_name : info->name;
        AddDevice(*listing, info->name, info->description, IsDummy(dummyOf, info->driver));
    }
    pa_threaded_mainloop_signal(listing->Loop, 0);
}

} // namespace

// One stream at the server. Output: the server asks for bytes, the queued blocks are copied into its
// buffer and returned as they are used up. Input: recorded fragments are copied into the queued blocks,
// each returned when full.
class TPulseStream final : public TDeviceStream
{
public:
    TPulseStream(pa_threaded_mainloop* loop, int& openStreams, TWaveDirection direction,
                 TNotificationChannel& channel)
        : TDeviceStream(channel), Loop(loop), OpenStreams(openStreams), Direction(direction)
    {
        ++OpenStreams;
    }

    int Connect(pa_context* context, const QByteArray& name, const TWaveFormat& format, int blockBytes)
    {
        pa_sample_spec sampleSpec{format.BitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE,
                                  format.FramesPerSecond, static_cast<std::uint8_t>(format.Channels)};
        if (format.FormatTag != 1 || !pa_sample_spec_valid(&sampleSpec))
            return DeviceBadFormat;
        // Half a second held on our side, so that a UI thread late by less loses no recorded frames.
        if (Direction == TWaveDirection::Input)
            Held.Allocate(format.FramesPerSecond / 2, pa_frame_size(&sampleSpec));
        TLoopLock lock(Loop);
        Stream = pa_stream_new(context, "Tonvix", &sampleSpec, nullptr);
        if (!Stream)
            return pa_context_errno(context);
        pa_stream_set_state_callback(Stream, &TPulseStream::StateChanged, this);
        // The server keeps about one block: a block is done when the server has taken it, so the
        // blocks come back at the pace of playing and recording.
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.minreq = static_cast<std::uint32_t>(-1);
        attributes.tlength = static_cast<std::uint32_t>(blockBytes);
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
            result = pa_stream_connect_record(Stream, name.constData(), &attributes,
                                              static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED));
        }
        if (result < 0)
            return pa_context_errno(context);
        pa_stream_state_t state;
        while ((state = pa_stream_get_state(Stream)) != PA_STREAM_READY && PA_STREAM_IS_GOOD(state))
            pa_threaded_mainloop_wait(Loop);
        if (state != PA_STREAM_READY)
            return pa_context_errno(context);
        Ready = true;
        return DeviceOk;
    }

    ~TPulseStream() override
    {
        if (Stream) {
            TLoopLock lock(Loop);
            Release();
        }
        --OpenStreams;
    }

    int Queue(TWaveHeader& header) override
    {
        TLoopLock lock(Loop);
        if (Lost)
            return LostCode;
        if (!(header.Flags & WaveHeaderPrepared))
            return DeviceUnprepared;
        if (!Push(header))
            return DeviceQueueFull;
        Flushed = false;
        if (Direction == TWaveDirection::Output)
            Fill(pa_stream_writable_size(Stream));
        else
            CompleteFromHeld();
        return DeviceOk;
    }
    int Start() override { return Cork(false); }
    int Pause() override { return Cork(true); }
    int Restart() override { return Cork(false); }
    int Reset() override
    {
        TLoopLock lock(Loop);
        if (!Lost)
            Await(Loop, pa_stream_flush(Stream, &TPulseStream::Done, this));
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
    // wait is bounded, in case the server never answers: twice what it may hold, and a second more.
    void PlayOut()
    {
        pa_stream_set_underflow_callback(Stream, nullptr, nullptr); // running empty is the end here
        pa_operation* operation = pa_stream_drain(Stream, &TPulseStream::Done, this);
        if (!operation)
            return;
        const pa_buffer_attr* attributes = pa_stream_get_buffer_attr(Stream);
        const pa_usec_t held =
            attributes ? pa_bytes_to_usec(attributes->tlength, pa_stream_get_sample_spec(Stream)) : 0;
        timeval deadline{};
        pa_timeval_add(pa_gettimeofday(&deadline), 2 * held + PA_USEC_PER_SEC);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(Loop);
        TimedOut = false;
        pa_time_event* timer = api->time_new(api, &deadline, &TPulseStream::Timeout, this);
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING && !TimedOut && !Lost)
            pa_threaded_mainloop_wait(Loop);
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_operation_cancel(operation);
        if (timer)
            api->time_free(timer);
        pa_operation_unref(operation);
    }
    void Release()
    {
        if (!Stream)
            return;
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
    int Cork(bool cork)
    {
        TLoopLock lock(Loop);
        if (Lost)
            return LostCode;
        Await(Loop, pa_stream_cork(Stream, cork ? 1 : 0, &TPulseStream::Done, this));
        Corked = cork;
        return DeviceOk;
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
            // Without a queued block the frames are held; only an overflow of what is held loses any.
            if (Record(static_cast<const char*>(data), size, Silence()))
                XrunCount.fetch_add(1, std::memory_order_relaxed);
            pa_stream_drop(Stream);
        }
    }
    int Silence() const { return pa_stream_get_sample_spec(Stream)->format == PA_SAMPLE_U8 ? 0x80 : 0; }

    static void StateChanged(pa_stream* stream, void* self)
    {
        auto* me = static_cast<TPulseStream*>(self);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (me->Ready && !PA_STREAM_IS_GOOD(state)) { // the server or the device went away
            me->Lost = true;
            me->LostCode = pa_context_errno(pa_stream_get_context(stream));
            if (me->LostCode == 0)
                me->LostCode = DeviceLost;
            me->CompleteAll();
            me->Held.Clear();
        }
        pa_threaded_mainloop_signal(me->Loop, 0);
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
    static void Done(pa_stream*, int, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<TPulseStream*>(self)->Loop, 0);
    }
    static void Timeout(pa_mainloop_api*, pa_time_event*, const timeval*, void* self)
    {
        auto* me = static_cast<TPulseStream*>(self);
        me->TimedOut = true;
        pa_threaded_mainloop_signal(me->Loop, 0);
    }

    pa_threaded_mainloop* Loop;
    int& OpenStreams; // the main loop outlives every stream on it
    TWaveDirection Direction;
    pa_stream* Stream = nullptr;
    bool Ready = false;
    bool Lost = false;
    bool Flushed = false; // reset since the last block was queued
    bool Corked = false;  // output: paused
    bool TimedOut = false;
    int LostCode = DeviceLost;
    std::atomic<std::uint64_t> XrunCount{0};
};

TPulseService::TPulseService() = default;

TPulseService::~TPulseService()
{
    Disconnect();
}

void TPulseService::Disconnect()
{
    if (Loop)
        pa_threaded_mainloop_stop(Loop);
    if (Context) {
        pa_context_disconnect(Context);
        pa_context_unref(Context);
        Context = nullptr;
    }
    if (Loop) {
        pa_threaded_mainloop_free(Loop);
        Loop = nullptr;
    }
}

namespace {
void ContextChanged(pa_context*, void* loop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}
} // namespace

bool TPulseService::Connect(QString& whyNot)
{
    if (Context) {
        TLoopLock lock(Loop);
        if (pa_context_get_state(Context) == PA_CONTEXT_READY)
            return true;
    }
    if (OpenStreams > 0) { // streams of the lost connection still wait for their close
        whyNot = QStringLiteral("The connection to the sound server was lost");
        return false;
    }
    Disconnect();
    Loop = pa_threaded_mainloop_new();
    Context = Loop ? pa_context_new(pa_threaded_mainloop_get_api(Loop), "Tonvix") : nullptr;
    if (!Context) {
        whyNot = QStringLiteral("The sound server's client could not be set up");
        Disconnect();
        return false;
    }
    pa_context_set_state_callback(Context, &ContextChanged, Loop);
    if (pa_threaded_mainloop_start(Loop) < 0) {
        whyNot = QStringLiteral("The sound server's client could not be set up");
        Disconnect();
        return false;
    }
    pa_context_state_t state;
    {
        TLoopLock lock(Loop);
        if (pa_context_connect(Context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            while ((state = pa_context_get_state(Context)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state))
                pa_threaded_mainloop_wait(Loop);
        } else {
            state = PA_CONTEXT_FAILED;
        }
        if (state != PA_CONTEXT_READY)
            whyNot = QStringLiteral("No sound server could be reached: %1")
                         .arg(QString::fromUtf8(pa_strerror(pa_context_errno(Context))));
    }
    if (state != PA_CONTEXT_READY) {
        Disconnect();
        return false;
    }
    return true;
}

std::vector<TServerDevice> TPulseService::Devices(TWaveDirection direction, QString& whyNone)
{
    std::vector<TServerDevice> devices;
    if (!Connect(whyNone))
        return devices;
    QByteArray defaultName;
    TListing listing{Loop, &devices, &defaultName};
    const bool output = direction == TWaveDirection::Output;
    TLoopLock lock(Loop);
    Await(Loop, pa_context_get_server_info(Context, output ? &DefaultSink : &DefaultSource, &listing));
    Await(Loop, output ? pa_context_get_sink_info_list(Context, &ListSink, &listing)
                       : pa_context_get_source_info_list(Context, &ListSource, &listing));
    if (devices.empty())
        whyNone = QStringLiteral("The sound server offers no device");
    return devices;
}

int TPulseService::Open(TWaveDirection direction, const QByteArray& name, const TWaveFormat& format,
                        int blockBytes, TNotificationChannel& channel, std::unique_ptr<TDeviceStream>& stream)
{
    QString whyNot;
    if (!Connect(whyNot))
        return DeviceNoServer;
    auto opened = std::make_unique<TPulseStream>(Loop, OpenStreams, direction, channel);
    const int result = opened->Connect(Context, name, format, blockBytes);
    if (result == DeviceOk)
        stream = std::move(opened);
    return result;
}

QString TPulseService::ErrorText(int code)
{
    return QString::fromUtf8(pa_strerror(code));
}
