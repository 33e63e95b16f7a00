// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/RoomCommand.h"
#include "cli/RtaCommand.h"
#include "cli/TransferCommand.h"
#include "measure/FrequencyWeighting.h"
#include "measure/ImpulseMeasurement.h"
#include "measure/MeasurementState.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>
#include <vector>

// The averaging choice of a recording: an item of the window's list, with the seconds of "Inny".
struct TAveragingChoice
{
    int Item = 0; // 0 "S (1s)", 1 "F (0,125s)", 2 "I  (0,035s)", 3 "Inny", 4 "Brak"
    double Seconds = 0;
};

struct TDevicesCommand
{
    bool Json = false;
};

struct TRecordCommand
{
    double Seconds = 0;
    std::optional<QString> Out; // none: the values go only to the JSON lines
    std::optional<QString> Input;
    std::optional<TAveragingChoice> Average;
    std::optional<int> Interval; // ms
    std::optional<TFrequencyWeighting> Weighting;
    std::optional<TChannelMode> Channels;
    std::optional<double> LogInterval; // s
    bool Json = false;                 // the statistics as one JSON document on the standard output
    std::optional<QString> JsonLines;  // a file, or "-" for the standard output
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
    std::optional<double> LongestSettling; // s
    QString Out;
};

struct TConvertCommand
{
    QString In, Out;
};

struct TImpulseCommand
{
    TImpulseSettings Settings;
    QString Out;                          // .wav
    std::optional<QString> Response;      // .csv or .frd
    std::optional<QString> Input, Output; // devices by their stable names
    double Temperature = 20;              // °C, for the delay in metres
    int Smoothing = 0;                    // of the response file: 0 or 1/N octave
    std::optional<QString> Room;          // the room figures as .csv
    int RoomBands = 1;                    // of those figures: 1 octaves, 3 thirds
};

// What to print instead of doing anything: the help of the program or of a command, or the version.
struct THelpCommand
{
    QString Text;
};

using TCommand = std::variant<TDevicesCommand, TRecordCommand, TSweepCommand, TConvertCommand,
                              TImpulseCommand, TRtaCommand, TRoomCommand, TTransferCommand, THelpCommand>;

// The help of tonvix-cli as `--help` prints it, and of each command of its table in the table's order
// with the options the command takes: the manual page and the shell completion are made from these.
struct TCommandHelp
{
    QString Name;
    QString Help;
    QStringList Options; // without the leading "--"
};
QString ProgramHelpText();
std::vector<TCommandHelp> CommandHelpTexts();

// The command line without the program's name. Nothing, with the Polish reason in `error`, for a
// usage error; `error` then also says how to get help.
std::optional<TCommand> ParseCommandLine(const QStringList& arguments, QString& error);

// The options of one command as given: "--name value" or "--name=value", a flag alone.
class TGiven
{
public:
    bool Parse(const QStringList& arguments, const QStringList& known, QString& error);
    bool Has(const QString& name) const { return Values.contains(name); }
    QString Value(const QString& name) const { return Values.value(name); }
    QStringList Positional;

private:
    QMap<QString, QString> Values;
};

// Readers of the given options for the commands' own parsers; each sets `error` and gives nothing when
// the value does not fit.
std::optional<double> PositiveNumber(const TGiven& given, const char* name, QString& error);
std::optional<int> WholeNumber(const TGiven& given, const char* name, int minimum, int maximum,
                               QString& error);
std::optional<double> AnyNumber(const TGiven& given, const char* name, QString& error);
// "L" or "R" (any letter case): 0 or 1, and "none" where it is allowed: -1.
std::optional<int> InputChannel(const TGiven& given, const char* name, bool noneAllowed, QString& error);
bool Required(const TGiven& given, const QStringList& names, QString& error);
// --smoothing N, --temperature C, --input NAME and --output NAME, where given, of a measurement of a
// response and its delay.
bool ReadResponseOptions(const TGiven& given, int& smoothing, double& temperature,
                         std::optional<QString>& input, std::optional<QString>& output, QString& error);
bool NoPositional(const TGiven& given, QString& error);
