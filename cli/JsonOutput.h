// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/DeviceServices.h"
#include "measure/MeasurementStatistics.h"

#include <QDateTime>
#include <QFile>
#include <QJsonObject>
#include <QString>
#include <cerrno>

struct TMeasurementState;

// What tonvix-cli writes for scripts, as JSON with English keys. Levels are in dB with the read-outs'
// calibration offsets (and compensation), rounded to 0.01 dB; times are seconds from the start of the
// recording ("seconds"), rounded to 1 ms, and that instant as ISO 8601 UTC text with milliseconds
// ("time"). Every recording object says its frequency weighting ("weighting": "A", "C" or "Z") and
// time weighting ("time_weighting": "F", "S", "I", "custom" with "time_constant" in seconds, or "none").
namespace JsonOutput {

// The value rounded to `decimals` decimal places as the double nearest to that decimal, so that the
// shortest text that reads back as it, which JSON is written with, is that decimal; null for a value
// that is no number.
QJsonValue Rounded(double value, int decimals);

// {"input": [...], "output": [...]}, each device {"name", "description", "default"}; the default one
// is the first. With the sound server out of reach, "server_error" says why.
QJsonObject Devices(const TDeviceLists& devices, const QString& serverError);

// The statistics of the whole recording: "duration" and per channel ("left", "right") Leq, Lmax, Lmin,
// the peak ("LCpeak", or "LZpeak" unweighted), LE, the levels exceeded L1 to L99 (null for a recording
// too short to have them) and "overload"; "start" is the recording's start.
QJsonObject Statistics(const TMeasurementState& state, const QDateTime& start);

// One reading: the levels of both channels as numbers, "left" and "right", and "overload" of each
// since the start.
QJsonObject Reading(const TMeasurementState& state, const QDateTime& start);

// One interval of the log: its start, "duration", and per channel Leq, Lmax, Lmin, the peak and
// "overload".
QJsonObject Interval(const TMeasurementState& state, const TIntervalRecord& record, const QDateTime& start);

} // namespace JsonOutput

// JSON lines to a file or to the standard output ("-"): one object a line, each handed to the system
// as soon as it is written, so that a reader at the other end of a pipe has it at once.
class TJsonLines
{
public:
    // The file is emptied first. False, with the Polish reason in `failure`, when it cannot be opened.
    bool Open(const QString& target, QString& failure);
    // False once a line could not be written whole (a reader that went away, a full disk); Failure()
    // then says why and nothing more is written.
    bool Write(const QJsonObject& object);
    QString Failure() const { return Reason; }
    // The line could not be written because nothing reads the pipe any more.
    bool ReaderGone() const { return Error == EPIPE; }

private:
    QString Target;
    QFile File;
    QString Reason;
    int Error = 0;
};

// The JSON of a recording as it runs: into `lines` (when given) a line per reading, or with the
// interval log a line per interval as it closes; at the end the document of its statistics and log.
class TJsonRecording
{
public:
    TJsonRecording(const TMeasurementState& state, TJsonLines* lines) : State(state), Lines(lines) {}
    // After every tick; false when a line could not be written.
    bool AfterTick();
    // After the recording: the interval in progress, when logging; false when it could not be written.
    bool Finish();
    // {"statistics": {...}, "intervals": [...]}, the intervals when logging.
    QJsonObject Document() const;

private:
    bool WriteClosedIntervals();
    QDateTime StartTime() const;

    const TMeasurementState& State;
    TJsonLines* Lines;
    QDateTime Start; // of the recording, from its first reading
    std::size_t IntervalsWritten = 0;
};
