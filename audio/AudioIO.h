// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wave components: TAudioOut plays blocks of PCM samples on a wave output device, TAudioIn
// records them from a wave input device. Neither looks at the samples: for every block they call
// the owner's event on the UI thread (the device threads only copy samples and post notifications).
//
// Devices come from TDeviceServices (audio/DeviceServices.h): 0 is the sound server's default of the
// direction, then its other devices, then the virtual sound card. Tests that must not depend on a
// sound server call TDeviceServices::UseVirtualCardOnly(true) (or set TONVIX_DEVICE=virtual) and
// reach the card's model, speed and fault injection through TDeviceServices::VirtualCard().

#include "audio/CallBackWin.h"
#include "audio/WaveFormat.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class TDeviceStream;

// The conversions at the device boundary, `count` samples each; nothing allocates. An integer's full
// scale is its largest positive value (32767, 127), so that +-1.0 is the same sample in both formats
// and an overload is |x| >= 1 in both; the most negative integer reads a hair beyond -1.
void IntegerToFloat(const char* from, float* to, int count, int bits);
void FloatToInteger(const float* from, char* to, int count, int bits); // rounded, limited; NaN: 0
// A float stream may carry what no card records: NaN becomes silence, and nothing reads beyond full
// scale, which is as far as a card's samples go.
void LimitFloat(float* samples, int count);

// The block event: Samples = the block's 32-bit float samples (interleaved frames, full scale +-1.0,
// whatever the stream's own format), Count = samples, by reference; returns whether the block was
// filled (output) or is to be re-queued (input).
using TBufferEvent = std::function<bool(float* Samples, int& Count)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;

// Before the reason of an output device that failed to start, in the message its caller shows.
inline const QString OutputFailurePrefix = QStringLiteral("Nie można uruchomić urządzenia wyjściowego: \r");

class TAudioIO : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxBuffers = 4;

    explicit TAudioIO(QObject* owner = nullptr);
    ~TAudioIO() override;

    // The format and block setters are ignored while the device is open (see AudioIO.cpp).
    int BufferSize() const { return EffectiveBufferSize; } // effective bytes per block
    void SetBufferSize(int bytes);                         // below 512 -> 512; reallocates the blocks
    int RequestedBufferSize() const { return RequestedSize; }
    int NumBuffers() const { return BufferCount; }
    void SetNumBuffers(int count); // clamped to 2..4
    int FrameRate() const { return static_cast<int>(Format.FramesPerSecond); }
    void SetFrameRate(int framesPerSecond);
    bool Stereo() const { return Format.Channels == 2; }
    void SetStereo(bool stereo);
    std::uint16_t Quantization() const { return Format.BitsPerSample; }
    void SetQuantization(std::uint16_t bits); // below 8 -> 8, above 8 -> 16
    // What the stream carries: float, or integers of the Quantization. The block's frames, the
    // BufferSize and the format record stay those of the Quantization either way, so that a block
    // lasts as long in both formats.
    TSampleFormat SampleFormat() const { return StreamFormat; }
    void SetSampleFormat(TSampleFormat format);
    // Samples of a block as the handlers see them (BufferSize over the Quantization's bytes).
    int BlockSamples() const { return EffectiveBufferSize / (Format.BitsPerSample / 8); }
    // The format record handed to the device: the Quantization's, or 32-bit float.
    TWaveFormat DeviceFormat() const;
    std::uint32_t WaveDevice() const { return DeviceNumber; }
    void SetWaveDevice(std::uint32_t device) { DeviceNumber = device; } // WaveMapper: the default device
    // The device chosen by its stable name (TDeviceServices::Devices), which outlives the numbering;
    // empty: the device WaveDevice numbers. Read at every open.
    QByteArray DeviceName() const { return ChosenName; }
    void SetDeviceName(const QByteArray& name) { ChosenName = name; }
    // The last open found no device of that name and opened the default device instead.
    bool DeviceMissing() const { return ChosenMissing; }
    const TWaveFormat& WaveFormat() const { return Format; }

    bool DeviceOpen() const { return Stream != nullptr; }
    bool Running() const { return IsRunning; }
    bool KeepGoing() const { return KeepStreaming; }
    int BuffersFilled() const { return FilledCount; }
    int BuffersInFlight() const { return InFlightCount; }
    int BuffersDone() const { return DoneCount; }
    int RingPosition() const { return Ring; }
    QString LastError() const { return ErrorText; }
    // Output underflows or input overflows counted by the device since it was opened.
    std::uint64_t Xruns() const;
    // Steady-clock nanoseconds at which the device posted the notification being handled now.
    std::int64_t NotificationPostedNs() const { return PostedNs; }

    TNotifyEvent OnStart;
    TNotifyEvent OnStop;

    virtual void StopNow();
    virtual void StopWhenDrained();

protected:
    void ComputeFormat();
    void InitHeaders();
    // Steps of opening shared by both directions; false leaves the reason in LastError.
    bool OpenStream(TWaveDirection direction, TAudioIO& target, const char* alreadyOpenText);
    // Hands the block at RingPosition to the device and advances the ring.
    bool QueueBlock();
    int CloseStream(bool resetFirst);
    // Block handlers may stop the component, or stop it and start it again. After a handler returns,
    // the caller goes on only while the open it was called for is still the current one.
    bool StillOpen(unsigned open) const { return DeviceOpen() && OpenCount == open; }
    virtual int CloseDevice() = 0;
    virtual void BlockDone() {}

    std::array<TWaveHeader, MaxBuffers>& Headers() { return *HeaderBlock; }
    // A block as the handlers see it; in an integer stream, Block(index) holds the device's samples.
    float* FloatBlock(int index) const { return FloatBlocks[static_cast<std::size_t>(index)].get(); }
    char* Block(int index) const { return Blocks[static_cast<std::size_t>(index)].get(); }
    bool FloatStream() const { return StreamFormat == TSampleFormat::Float; }

    int EffectiveBufferSize = 0;
    int RequestedSize = 8192;
    int BufferCount = 4;
    bool IsPaused = false;
    TWaveFormat Format;
    TSampleFormat StreamFormat = TSampleFormat::Float;
    std::uint32_t DeviceNumber = WaveMapper;
    QByteArray ChosenName;
    bool ChosenMissing = false;
    int Ring = 0;
    bool KeepStreaming = false;
    QString ErrorText;
    bool IsRunning = false;
    int FilledCount = 0;
    int InFlightCount = 0;
    int DoneCount = 0;
    unsigned OpenCount = 0; // successful opens so far
    std::unique_ptr<TDeviceStream> Stream;

private:
    friend class TDeviceCallBack;
    void DeviceNotification(TWaveNotification kind, std::int64_t postedNs, QObject* sender);
    void AllocBuffers();

    std::unique_ptr<std::array<TWaveHeader, MaxBuffers>> HeaderBlock;
    std::array<std::unique_ptr<char[]>, MaxBuffers> Blocks;
    std::array<std::unique_ptr<float[]>, MaxBuffers> FloatBlocks;
    QPointer<TDeviceCallBack> Receiver;
    std::int64_t PostedNs = 0;
    std::uint64_t ClosedXruns = 0;
};

class TAudioOut : public TAudioIO
{
    Q_OBJECT
public:
    explicit TAudioOut(QObject* owner = nullptr);
    ~TAudioOut() override;

    // Opens the device and starts playing; notifications go to target (normally the component itself).
    // A fill handler that stops the component during the start ends the start; that is no failure.
    bool Start(TAudioOut& target);
    bool Start() { return Start(*this); }

    bool Paused() const { return IsPaused; }
    void SetPaused(bool paused);

    TBufferEvent OnFillBuffer;

protected:
    virtual bool HandleBuffer(int index);
    int CloseDevice() override;
    virtual bool OpenDevice(TAudioOut& target);
    bool StartStreaming();
    bool QueueNextBuffer();
    void BlockDone() override;
};

class TAudioIn : public TAudioIO
{
    Q_OBJECT
public:
    explicit TAudioIn(QObject* owner = nullptr);
    ~TAudioIn() override;

    bool Start(TAudioIn& target);
    bool Start() { return Start(*this); }

    TBufferEvent OnBufferFilled;
    // A second reader of what this input records (the spectrum analyser beside a recording): it is
    // told just before the device opens, so that it can let go of the device itself, and it sees every
    // block after OnBufferFilled, unchanged; it must not keep the block or take long over it.
    TNotifyEvent OnOpening;
    std::function<void(const float* Samples, int Count)> OnBlockObserved;

protected:
    virtual bool HandleBuffer(int index);
    int CloseDevice() override;
    virtual bool OpenDevice(TAudioIn& target);
    bool StartStreaming();
    bool QueueNextBuffer();
    void BlockDone() override;
};
