// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/TransferFunction.h"
#include "audio/AudioIO.h"
#include "measure/TransferSignal.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>
#include <vector>

class TDelayFinder;

// What the user asks of a transfer-function measurement.
struct TTransferSettings
{
    static constexpr std::size_t SmallestFft = 4096, LargestFft = 131072;
    static constexpr int MostAverages = 64;
    static constexpr double LowestLevelDb = -60;

    std::size_t FftSize = 65536; // a power of two from SmallestFft to LargestFft
    TTransferSignal Signal = TTransferSignal::Pink;
    double LevelDb = -15; // RMS, dBFS
    int Reference = 0;    // the reference input: 0 left, 1 right; the other one is measured
    TTransferEstimator::TAveraging Averaging = TTransferEstimator::TAveraging::Count;
    int Averages = 8; // frames of the count, or the exponential's weight 1/Averages

    // The Polish reason why these settings cannot be measured; empty when they can.
    QString Check() const;
};

// A live transfer-function measurement between two inputs: the engine of the window "Funkcja
// przenoszenia" and of tonvix-cli tf.
//
// The input starts first; with its first block the output starts playing the excitation (none: the
// music playing through the system is measured). Once the reference input hears a signal, the delay
// of the measured input behind it is found by cross-correlation (TDelayFinder over the two channels)
// and its whole frames are taken off by reading the reference that much later; the fraction is taken
// off the phase (the periodic pink noise gives the delay only within a period: the earliest that fits
// is taken, from LongestAdvance before the reference on). Frames of FftSize frames, half of each shared with
// the next, start once the measured channel has heard the signal for SettleSeconds; each goes into the
// average of the cross and auto spectra, and the curves follow ten times a second (UpdateInterval). Block
// analysis only copies samples; the transforms run on the update timer. Nothing allocates after the start. A
// gap in either stream starts the frames again after it; a stream that fails ends the measurement with the
// reason.
//
// The wave components are the engine's own; the caller sets their frame rate, devices and the output's
// block size before a start. Everything runs on the UI thread.
class TTransferMeasurement : public QObject
{
    Q_OBJECT
public:
    static constexpr int UpdateInterval = 100;    // ms
    static constexpr double SettleSeconds = 0.1;  // after the signal arrives, before the first frame
    static constexpr double ProbeSeconds = 0.68;  // of reference that the delay search looks for
    static constexpr double LongestDelay = 1.0;   // s the measured input may lag the reference
    static constexpr double LongestAdvance = 0.1; // s it may lead it
    static constexpr float Silent = 1e-3f;        // no sample louder than this: no signal (-60 dBFS)

    explicit TTransferMeasurement(QObject* parent = nullptr);
    ~TTransferMeasurement() override;

    TAudioIn& AudioIn() { return Input; }
    TAudioOut& AudioOut() { return Output; }

    // False with the reason in Failure() when nothing could start.
    bool Start(const TTransferSettings& settings);
    // The input stops at once, the signal fades out; the last curves stay.
    void Stop();
    bool Measuring() const { return Streaming; }
    // Either device is still open (the signal's fade-out plays after a stop).
    bool CardInUse() const { return Input.DeviceOpen() || Output.DeviceOpen(); }
    const TTransferSettings& Settings() const { return Chosen; }

    // The delay found again from what the inputs heard last; the averages start again with it.
    void FindDelay();
    // Each starts the averages again.
    void SetAveraging(TTransferEstimator::TAveraging averaging, int frames);
    void Reset();
    // Live; the level is clamped to what plays without clipping.
    void SetLevel(double levelDb);
    // Of the signal being played (or last played), dBFS.
    double HighestLevel() const { return Generator ? Generator->HighestLevel() : 0.0; }
    // How the curves are drawn from the estimate; the curves follow at once.
    void SetSmoothing(int fraction);
    void SetDelayKept(bool kept);

    bool HasResponse() const { return Estimator && Estimator->Frames() > 0; }
    const TTransferCurves& Curves() const { return Result; }
    // Frames of the measured input behind the reference (negative: ahead); none until found.
    std::optional<double> Delay() const { return DelayFrames; }
    bool SearchingDelay() const { return Searching; }
    int Averaged() const { return Estimator ? Estimator->Averaged() : 0; }
    long long FramesAnalysed() const { return Estimator ? Estimator->Frames() : 0; }
    int FrameRate() const { return Rate; }
    double SecondsRecorded() const { return Rate > 0 ? double(Recorded) / Rate : 0.0; }
    // From the start to the first complete response, s; 0 until it came.
    double FirstResponseSeconds() const { return FirstResponse; }
    QString Failure() const { return Reason; }
    // What the user should know of the measurement so far: no reference signal, overload, no delay
    // found, gaps in the streams. Empty when all is well.
    QString Warning() const;

    // The frames that have come in, into the averages, and the curves again when anything changed.
    // The engine's timer calls it; a command line may too.
    void Update();

signals:
    void Updated(); // new curves, delay or state
    // The measurement ended by itself: a device failed. Failure() says why.
    void Failed();

private:
    bool FillOutput(float* samples, int count);
    bool BlockRecorded(const float* samples, int count);
    void DeviceClosed(const TAudioIO& device);
    void End(const QString& failure);
    void Search();
    void Analyse();
    void Draw();
    void Copy(int channel, long long from, std::span<double> into) const;
    void Restart(long long from); // frames from there on, the averages again

    TAudioIn Input;
    TAudioOut Output;
    TTransferSettings Chosen;
    int Rate = 48000;
    std::unique_ptr<TTransferGenerator> Generator;
    std::unique_ptr<TTransferEstimator> Estimator;
    std::unique_ptr<TTransferCurveMaker> Maker;
    std::unique_ptr<TDelayFinder> Finder;
    TTransferCurves Result;
    // The newest frames of both inputs, a ring of a power of two, as fractions of full scale.
    std::array<std::vector<double>, 2> History;
    std::size_t Mask = 0;
    long long Recorded = 0;           // input frames since the start
    long long Arrival = -1;           // the first frame of signal in the reference; -1: none yet
    std::array<float, 2> Loudest{};   // sample since the start, per input
    std::vector<double> Probe, Heard; // the delay search's reference and measured frames
    std::size_t ProbeFrames = 0, Ahead = 0, Behind = 0;
    bool Searching = false;
    long long SearchFrom = 0; // the probe's first frame
    bool DelayMissed = false;
    std::optional<double> DelayFrames;
    long long Whole = 0;      // frames of the delay taken off in time
    long long NextFrame = -1; // first frame of the measured input's next analysis frame; -1: none
    long long Resume = 0;     // no frame starts before this one (a gap in the streams)
    std::array<std::vector<double>, 2> Frame;
    std::size_t Hop = 0;
    int Smoothing = 0;
    bool DelayKept = false;
    bool Changed = false;
    bool Streaming = false;
    bool OutputStarted = false;
    std::uint64_t XrunsIn = 0, XrunsOut = 0;
    int Gaps = 0;
    QTimer Ticks;
    QElapsedTimer SinceStart;
    double FirstResponse = 0;
    QString Reason;
};
