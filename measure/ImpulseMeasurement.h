// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/ImpulseResponse.h"
#include "audio/AudioIO.h"
#include "measure/MeasurementState.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class TLogSweep;
class TSweepDeconvolution;

// A delay as the user reads it: "37,37 próbki = 0,779 ms = 0,267 m (343,2 m/s w 20 °C)", with the
// user's decimal separator.
QString DelayText(double frames, double frameRate, double celsius);

// What the user asks of an impulse-response measurement.
struct TImpulseSettings
{
    static constexpr int ShortestExponent = 16, LongestExponent = 20;
    static constexpr int MostRepeats = 16;
    static constexpr double LowestLevelDb = -60;
    static constexpr double ShortestTail = 0.1, LongestTail = 10; // s

    double StartHz = 20, StopHz = 20000;
    int LengthExponent = 17; // the sweep's nominal length, 2^LengthExponent frames
    double LevelDb = -6;     // the sweep's peak, dB re full scale
    int Repeats = 1;         // sweeps averaged
    int Channel = 0;         // the measured input: 0 left, 1 right
    TReferenceChannel Reference = TReferenceChannel::None;
    double TailSeconds = 1; // recorded after each sweep: the latency and the response's decay

    // The Polish reason why these settings cannot be measured at the frame rate; empty when they can.
    QString Check(int frameRate) const;
};

// How a take of a sweep is laid out, in frames: the silence before the first sweep, the recording after
// each sweep (for the latency and the response's decay: the tail asked for and an input block, after
// which the output starts), the period of the repeats (a sweep and its tail), and the deconvolution's
// block, a period and a sweep long at least, so that the harmonics' responses, which lead time 0,
// never overlap the linear one.
struct TTakeLayout
{
    std::size_t Lead = 0, Tail = 0, Period = 0, Block = 0;
};
TTakeLayout TakeLayout(const TLogSweep& sweep, double tailSeconds);

// An impulse-response measurement: the engine of the window "Odpowiedź impulsowa" and of tonvix-cli ir.
//
// One take: the input starts first; with its first block the output starts and plays a short silence,
// then the repeats of the synchronized sweep, each followed by the silence of the tail the user set,
// in which the response decays; the take ends with the last tail. Sample positions, not timers, pace it: the
// recording counts from the first block's first frame, before which the output played nothing, and the take
// ends once it holds the last sweep and a tail for the latency and the response's decay. The repeats are
// averaged frame by frame and deconvolved, by the measured ÷ reference channel with a reference, or by
// the sweep as played without one (the card's latency and the first block are then part of the
// delay). Output underflows or input overflows during the take spoil it, and so does a latency longer
// than the tail: it fails with the reason, and no response is given.
//
// The wave components are the engine's own; the caller sets their frame rate, devices and the output's
// block size (as the options chose them) before a start; the input's blocks are the engine's own.
// Everything runs on the UI thread.
class TImpulseMeasurement : public QObject
{
    Q_OBJECT
public:
    explicit TImpulseMeasurement(QObject* parent = nullptr);
    ~TImpulseMeasurement() override;

    TAudioIn& AudioIn() { return Input; }
    TAudioOut& AudioOut() { return Output; }

    // False with the reason in Failure() when nothing could start.
    bool Start(const TImpulseSettings& settings);
    // Ends a take at once; Finished(false) follows with an empty Failure().
    void Stop();
    bool Measuring() const { return Taking; }
    double Progress() const; // of the take, 0 .. 1

    const TImpulseResponse& Result() const { return Response; }
    QString Failure() const { return Reason; }
    QString Warning() const { return Note; }       // of a finished take: overload, a missing device
    double TakeSeconds() const { return Seconds; } // of the last take, from the start to the response

signals:
    // After every take that started: true with the response in Result(), false with the reason in
    // Failure() (empty when the user stopped it).
    void Finished(bool measured);

private:
    // A take from the first frame; false with the reason when the input does not start.
    bool BeginTake();
    bool FillOutput(float* samples, int count);
    bool BlockRecorded(const float* samples, int count);
    void StartOutput();
    void DeviceClosed(const TAudioIO& device);
    void End(const QString& failure);
    void Analyse();
    std::vector<double> Averaged(int channel) const;
    bool CutShort(int channel) const;

    TAudioIn Input;
    TAudioOut Output;
    TImpulseSettings Settings;
    std::unique_ptr<TLogSweep> Sweep;
    std::unique_ptr<TSweepDeconvolution> Deconvolution; // kept while the sweep and its block stay
    std::vector<float> Played; // the sweep as played: on the 16-bit grid when the stream is 16-bit
    TSampleFormat PlayedFormat = TSampleFormat::Float;
    std::vector<float> Recorded[2]; // both inputs from the output's start, allocated at the start
    TTakeLayout Layout;
    std::size_t Needed = 0;             // frames of the whole take from the output's start
    std::size_t Written = 0, Taken = 0; // output frames handed over, input frames kept
    std::uint64_t XrunsIn = 0, XrunsOut = 0;
    bool Taking = false;    // from a start until Finished
    bool Streaming = false; // the devices are to run
    bool OutputStarted = false;
    unsigned TakeNumber = 0; // tells a late notification of an earlier take from the current one
    // Takes that lost frames are taken again this many times before the measurement fails.
    static constexpr int MostRetakes = 2;
    int Retakes = 0;
    qint64 StartedNs = 0;
    double Seconds = 0;
    TImpulseResponse Response;
    QString Reason, Note;
};
