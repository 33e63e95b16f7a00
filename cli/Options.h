#pragma once

#include "measure/FrequencyWeighting.h"
#include "measure/MeasurementState.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

// The averaging choice of a recording: an item of the window's list, with the seconds of "Inny".
struct TAveragingChoice
{
    int Item = 0; // 0 "S (1s)", 1 "F (0,125s)", 2 "I  (0,035s)", 3 "Inny", 4 "Brak"
    double Seconds = 0;
};

struct TDevicesCommand
{
};

struct TRecordCommand
{
    double Seconds = 0;
    QString Out;
    std::optional<QString> Input;
    std::optional<TAveragingChoice> Average;
    std::optional<int> Interval; // ms
    std::optional<TFrequencyWeighting> Weighting;
    std::optional<TChannelMode> Channels;
    std::optional<double> LogInterval; // s
};

struct TSweepCommand
{
    double Start = 0, Stop = 0; // Hz
    int Points = 0;
    std::optional<int> PointTime; // ms
    std::optional<int> Amplitude; // mV
    std::optional<QString> Input, Output, MicrophoneFile;
    std::optional<TChannelMode> Channels;
    std::optional<TSweepMethod> Method;
    std::optional<TReferenceChannel> Reference;
    std::optional<int> HighestHarmonic;
    QString Out;
};

struct TConvertCommand
{
    QString In, Out;
};

// What to print instead of doing anything: the help of the program or of a command, or the version.
struct THelpCommand
{
    QString Text;
};

using TCommand = std::variant<TDevicesCommand, TRecordCommand, TSweepCommand, TConvertCommand, THelpCommand>;

// The command line without the program's name. Nothing, with the Polish reason in `error`, for a
// usage error; `error` then also says how to get help.
std::optional<TCommand> ParseCommandLine(const QStringList& arguments, QString& error);
