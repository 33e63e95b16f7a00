#pragma once

// CONTRACT DRAFT: the public face of the wave components that the rest of the program uses.
// The audio work owns this file and may add to it, but keeps these names and meanings.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

// The block event: Buffer = the block's bytes, Size = bytes, by reference; returns whether the block
// was filled (output) or is to be re-queued (input).
using TBufferEvent = std::function<bool(char* Buffer, int& Size)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;

class TAudioIO : public QObject
{
    Q_OBJECT
public:
    explicit TAudioIO(QObject* owner = nullptr);
    ~TAudioIO() override;

    int BufferSize() const;          // effective bytes per block
    void SetBufferSize(int bytes);   // below 512 -> 512; reallocates the blocks
    int RequestedBufferSize() const;
    int NumBuffers() const;
    void SetNumBuffers(int count);   // clamped to 2..4
    int FrameRate() const;
    void SetFrameRate(int framesPerSecond);
    bool Stereo() const;
    void SetStereo(bool stereo);
    std::uint16_t Quantization() const;
    void SetQuantization(std::uint16_t bits);
    std::uint32_t WaveDevice() const;
    void SetWaveDevice(std::uint32_t device); // 0xFFFFFFFF: the default device

    bool Running() const;
    bool KeepGoing() const;
    int BuffersFilled() const;
    int BuffersInFlight() const;
    int BuffersDone() const;
    int RingPosition() const;
    QString LastError() const;

    TNotifyEvent OnStart;
    TNotifyEvent OnStop;

    virtual void StopNow();
    virtual void StopWhenDrained();
};
