// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

struct TDetectedPoint;
struct TPointDetail;

// What the level meter needs of the main window. The window implements it; tests fake it.
class IMeterWindow
{
public:
    virtual ~IMeterWindow() = default;
    // channel 0: lblWartoscL, 1: lblWartoscP
    virtual void SetReadoutText(int channel, const QString& text) = 0;
    virtual void SetReadoutRed(int channel, bool red) = 0; // false: black
    virtual void Beep() = 0;
    virtual bool StartButtonEnabled() const = 0;
    virtual void SetLevelAxisRange(double minimum, double maximum) = 0;
    virtual void SetTimeAxisAutomatic() = 0;
    virtual int ActiveSeries() const = 0; // 0..7, -1 when none
    virtual void UpdateClockPanel() = 0;  // after every tick of a recording
    virtual void SweepStep() = 0;         // after every tick of a sweep
};

// Where the meter puts acquired values (time, left, right per tick).
class IAcquisitionSink
{
public:
    virtual ~IAcquisitionSink() = default;
    virtual void Enqueue(double value) = 0;
    // The tick just enqueued saw an overload since the one before: bit 0 left, bit 1 right.
    virtual void MarkOverload(unsigned channels) { Q_UNUSED(channels); }
};

// What the meter and the generator read of a wave component: whether it streams, its frame rate, and
// its frames per block, and the output underflows or input overflows since it was opened (each a gap
// in its time line).
class IStreamInfo
{
public:
    virtual ~IStreamInfo() = default;
    virtual bool Running() const = 0;
    virtual int FrameRate() const = 0;
    virtual std::uint64_t Xruns() const { return 0; }
    virtual int BlockFrames() const { return 0; } // frames per block; 0: not known
    // The stream carries integer samples (rounded to 16 bits), not float ones.
    virtual bool IntegerSamples() const { return false; }
};

// How a sweep paces its points by the input's own frames; the sweep implements it. The meter passes
// every input block through it in segments that end where a point begins or ends.
class ISweepPacing
{
public:
    static constexpr unsigned PointBegins = 1; // the frame after the segment is a point's first
    static constexpr unsigned PointEnds = 2;   // the segment is the point's last: take it

    virtual ~ISweepPacing() = default;
    // The frames from here to the next point boundary, 1 .. frames.
    virtual int FramesToBoundary(int frames) const = 0;
    // The next `count` input frames (stereo float), measured: what they bring.
    virtual unsigned Passed(const float* frames, int count) = 0;
    // The point that the segment just passed ended, as synchronous detection measured it; nothing
    // when the points are averaged levels.
    virtual const TDetectedPoint* DetectedPoint() const { return nullptr; }
    // What that point holds beside its level in input 0 (left) or 1 (right): a detected point's detail,
    // or an averaged level's marks (overload, unsettled); nothing when it has none.
    virtual const TPointDetail* PointDetail(int) const { return nullptr; }
};

// The meter's three ports with nobody behind them: a stream that always runs at Rate, a sink that
// keeps nothing and a window that shows nothing but counts the overloads it was told of. For running
// the meter's arithmetic on its own (the conformance test, benchmarks); which series takes sweep
// points and whether blocks tick are the caller's to set.
struct TStandaloneMeterPorts : IStreamInfo, IAcquisitionSink, IMeterWindow
{
    int Rate = 48000;
    int Active = -1;
    bool StartEnabled = false;
    int Overloads = 0;
    bool Integer = false; // the samples fed are a 16-bit stream's

    bool Running() const override { return true; }
    int FrameRate() const override { return Rate; }
    bool IntegerSamples() const override { return Integer; }
    void Enqueue(double) override {}
    void SetReadoutText(int, const QString&) override {}
    void SetReadoutRed(int, bool red) override { Overloads += red ? 1 : 0; }
    void Beep() override {}
    bool StartButtonEnabled() const override { return StartEnabled; }
    void SetLevelAxisRange(double, double) override {}
    void SetTimeAxisAutomatic() override {}
    int ActiveSeries() const override { return Active; }
    void UpdateClockPanel() override {}
    void SweepStep() override {}
};
