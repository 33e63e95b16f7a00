#pragma once

#include <QString>
#include <QStringList>
#include <array>

struct TMeasurementState;

// The running sums of one channel, in squared sample units of the weighted signal.
struct TChannelStatistics
{
    long double Exposure = 0;        // sum of block mean square x block duration (s)
    long double MaxTimeWeighted = 0; // extremes of the time-weighted mean square, block by block
    long double MinTimeWeighted = 0;
    double PeakSquare = 0; // largest squared sample of the peak path
};

// The statistics of a sound-pressure recording from its start. Blocks count only while Collecting:
// the recording control sets it after the settling wait and clears it at the stop, so a pause (whose
// device is stopped) and the settling after a continue stay out.
struct TMeasurementStatistics
{
    bool Collecting = false;
    double Duration = 0; // s of blocks taken in
    TChannelStatistics Left, Right;

    void Reset(); // a fresh recording; Collecting stays as it is

    // One block of `seconds`: its mean squares, the time-weighted mean squares after it and the
    // largest squared sample of each channel. No allocation: it runs with every block.
    void AddBlock(double seconds, long double meanSquareL, long double meanSquareR, long double timeWeightedL,
                  long double timeWeightedR, double peakSquareL, double peakSquareR);
};

// The figures of one channel in dB, with the calibration offset and compensation of the read-outs.
struct TChannelFigures
{
    double Leq = 0, Lmax = 0, Lmin = 0, Lpeak = 0, LE = 0;
};

struct TStatisticsFigures
{
    bool Measured = false; // any block taken in since the start
    double Duration = 0;   // s
    TChannelFigures Left, Right;
};

TStatisticsFigures StatisticsFigures(const TMeasurementState& state);

// The figures' names for the weighting and time weighting in force ("LAeq", "LAFmax", "LAFmin",
// "LCpeak", "LAE"), then the duration's.
constexpr int StatisticsRowCount = 6;
std::array<QString, StatisticsRowCount> StatisticsRowNames(const TMeasurementState& state);

// The table of the statistics window: a header row and one row per figure, each a name and the
// left and right values ("-" before any block). As text: tab-separated lines.
QList<QStringList> StatisticsTable(const TMeasurementState& state);
QString StatisticsTableText(const TMeasurementState& state);
