// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/FrequencyWeighting.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct TMeasurementState;

// Levels sampled at regular instants and counted in 0.1 dB classes, for the levels exceeded for a
// share of the time. The memory stays the same however long a recording runs.
class TLevelHistogram
{
public:
    static constexpr double ClassWidth = 0.1; // dB
    static constexpr double Lowest = -200.0;  // dB, the meter's silence: lower levels count here
    static constexpr double Highest = 20.0;   // dB: higher levels count here
    static constexpr double Span = Highest - Lowest;

    // Levels from `lowest` to `lowest` + Span: the defaults, or a difference of two levels.
    explicit TLevelHistogram(double lowest = Lowest) : Bottom(lowest) {}
    void Add(double level);
    // The level exceeded for `percent` of the samples (L10: 10), to a class width; the lowest level
    // when empty. A class stands for the levels within half a width of its own.
    double Exceeded(double percent) const;
    bool Empty() const { return Total == 0; }

private:
    static constexpr int Classes = 2201; // Span in steps of ClassWidth
    double Bottom;
    std::array<std::uint64_t, Classes> Counts{};
    std::uint64_t Total = 0;
};

// The running sums of one channel over a stretch of a recording, in squared sample units of the
// weighted signal.
struct TChannelStatistics
{
    long double Exposure = 0;        // mean square x seconds
    long double MaxTimeWeighted = 0; // extremes of the time-weighted mean square, sample by sample
    long double MinTimeWeighted = 0;
    double PeakSquare = 0; // largest squared sample of the peak path
    bool Overload = false; // a sample reached full scale
};

// One interval of a recording's log: Leq, Lmax, Lmin and Lpeak follow from its sums.
struct TIntervalRecord
{
    double Start = 0;                           // s from the start of the statistics
    double Duration = 0;                        // s
    std::array<TChannelStatistics, 2> Channels; // left, right
    // The left level less the right one at the sample instants within the interval, in dB.
    double DifferenceMax = 0, DifferenceMin = 0;
    bool Differences = false; // any sample instant fell in it
};

// A piece of a recording as the meter passes it: no longer than TMeasurementStatistics allows, per
// channel (0 left, 1 right). The time-weighted values are mean squares after time weighting.
struct TStatisticsSegment
{
    int Frames = 0;
    std::array<double, 2> Squares{};    // sum of the squared weighted samples
    std::array<double, 2> PeakSquare{}; // largest squared sample of the peak path
    std::array<double, 2> MaxTimeWeighted{}, MinTimeWeighted{}, EndTimeWeighted{};
    std::array<bool, 2> Overload{};
};

// The weightings a recording's statistics were measured with: the figures are named after them.
struct TMeasuredWith
{
    TFrequencyWeighting Weighting = TFrequencyWeighting::Z;
    bool NoAveraging = false, Impulse = false;
    double AveragingTime = 1.0; // s
    bool operator==(const TMeasuredWith&) const = default;
};

// The statistics of a sound-pressure recording from its start: the sums of the whole recording, the
// histogram of its time-weighted level sampled every 10 ms (and of the left level less the right one,
// which compensation shows), and its log of intervals. Segments count only while Collecting: the
// recording control sets it after the settling wait and clears it at the stop, so a pause (whose
// device is stopped) and the settling after a continue stay out.
class TMeasurementStatistics
{
public:
    static constexpr int SamplesPerSecond = 100;     // of the time-weighted level, for the histogram
    static constexpr double ShortestInterval = 0.1;  // s, of the log
    static constexpr double LongestInterval = 86400; // s
    // The closed intervals kept by default: a day of one-second ones and more; older ones go.
    static constexpr std::size_t DefaultIntervalsKept = 100000;

    bool Collecting = false;
    // What the figures were measured with, set by the meter at the first segment.
    TMeasuredWith MeasuredWith;

    // A fresh recording; Collecting and the log's interval stay as they are.
    void Reset();
    // The log's interval in seconds (0: no log; others are taken within Shortest- and LongestInterval).
    // A change starts the log anew from the present moment of the recording; the same length again
    // keeps it.
    void SetLogInterval(double seconds);
    double LogInterval() const { return Interval; }
    // At most this many closed intervals are kept, the oldest going first (0: all).
    void SetIntervalsKept(std::size_t count) { Kept = count; }
    std::size_t IntervalsKept() const { return Kept; }

    // How many frames the meter may pass in one segment from here: up to the next sample of the
    // time-weighted level or the end of an interval, at least 1.
    int FramesToBoundary(int frameRate) const;
    // One segment. No allocation, except now and then when an interval closes.
    void Add(const TStatisticsSegment& segment, int frameRate);

    double Duration() const; // s taken in
    const TChannelStatistics& Channel(int channel) const { return Whole[Index(channel)]; }
    const TLevelHistogram& Histogram(int channel) const { return Histograms[Index(channel)]; }
    // The left level less the right one at the instants of the histograms, in dB.
    const TLevelHistogram& DifferenceHistogram() const { return Difference; }
    double LargestDifference() const { return DifferenceMax; }
    double SmallestDifference() const { return DifferenceMin; }
    // The closed intervals kept, oldest first; Forgotten() older ones were let go.
    const std::vector<TIntervalRecord>& Intervals() const { return Closed; }
    std::size_t Forgotten() const { return Dropped; }
    // Lets the oldest `count` closed intervals go (a writer that has written them).
    void ForgetIntervals(std::size_t count);
    // The interval in progress, once anything of it was taken in.
    std::optional<TIntervalRecord> OpenInterval() const;
    // Counts the starts of the log (a fresh recording, a new interval): a new count, new records.
    unsigned LogStarts() const { return Starts; }

private:
    static std::size_t Index(int channel) { return channel == 0 ? 0 : 1; }
    void StartLog();
    std::int64_t NextSampleAt(int frameRate) const;
    std::int64_t IntervalEndAt(int frameRate) const;

    std::int64_t Frames = 0; // taken in since the start
    // Seconds are counted from frames at the frame rate in force since RateOrigin.
    int Rate = 0;
    std::int64_t RateOrigin = 0;
    double SecondsAtRateOrigin = 0;
    std::array<TChannelStatistics, 2> Whole;
    std::array<TLevelHistogram, 2> Histograms;
    TLevelHistogram Difference{-TLevelHistogram::Span / 2};
    double DifferenceMax = 0, DifferenceMin = 0;
    std::int64_t Samples = 0; // of the histograms

    double Interval = 0;        // s; 0: no log
    std::int64_t LogOrigin = 0; // frame where the log started
    std::int64_t IntervalsDone = 0;
    TIntervalRecord Open;
    std::int64_t OpenFrames = 0;
    std::vector<TIntervalRecord> Closed;
    std::size_t Dropped = 0;
    std::size_t Kept = DefaultIntervalsKept;
    unsigned Starts = 0;
};

// The levels exceeded for these percentages of the time: L1 to L99.
constexpr std::array<int, 7> ExceededPercents{1, 5, 10, 50, 90, 95, 99};

// The figures of one channel in dB, with the calibration offset and compensation of the read-outs.
struct TChannelFigures
{
    double Leq = 0, Lmax = 0, Lmin = 0, Lpeak = 0, LE = 0;
    std::array<double, ExceededPercents.size()> Exceeded{}; // of the whole recording only
    bool HasExceeded = false; // a recording shorter than one sample instant has none
    bool Overload = false;
};

struct TStatisticsFigures
{
    bool Measured = false; // anything taken in
    double Duration = 0;   // s
    TChannelFigures Left, Right;
};

// The weightings of the figures: those they were measured with, or those in force before any.
TMeasuredWith FiguresMeasuredWith(const TMeasurementState& state);
QString TimeWeightingLetter(const TMeasuredWith& with); // "F", "S", "I" or empty

TStatisticsFigures StatisticsFigures(const TMeasurementState& state);
TStatisticsFigures IntervalFigures(const TMeasurementState& state, const TIntervalRecord& record);

// The figures' names for the weighting and time weighting they were measured with ("LAeq", "LAFmax",
// "LAFmin", "LCpeak", "LAE", "LAF1" to "LAF99"), then the duration's and the overload's.
constexpr int StatisticsRowCount = 7 + static_cast<int>(ExceededPercents.size());
std::array<QString, StatisticsRowCount> StatisticsRowNames(const TMeasurementState& state);

// The table of the statistics window: a header row and one row per figure, each a name and the
// left and right values ("-" before any segment), the last one whether the channel overloaded. As
// text: tab-separated lines.
QList<QStringList> StatisticsTable(const TMeasurementState& state);
QString StatisticsTableText(const TMeasurementState& state);

// The interval log as a table: a header (start and duration in seconds, then Leq, Lmax, Lmin, Lpeak
// and the overload of the channels of the channel mode, left first) and one row per interval kept,
// the one in progress last. The command line writes the same header and rows as the intervals close.
QStringList IntervalHeader(const TMeasurementState& state);
QStringList IntervalRow(const TMeasurementState& state, const TIntervalRecord& record);
QList<QStringList> IntervalTable(const TMeasurementState& state);
QString OverloadText(bool overload);                // "tak", "nie"
QString TableText(const QList<QStringList>& table); // tab-separated lines
