// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/WaveFormat.h"
#include "cli/MeasurementSession.h"
#include "cli/Options.h"
#include "settings/WindowSettings.h"

#include <functional>

class TAudioIO;

// Exit statuses of the command line, the same for every command: 0 done; 1 a device or a file failed
// (results included, on the standard output as well); 2 a mistake in the command line; a measurement
// that SIGINT or SIGTERM ended early gives 128 + the signal's number, as a shell says of a program
// the signal ended, once what was measured until then is written.
constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
int ExitInterrupted(int signal);

int RunDevices(const TDevicesCommand& command);
int RunRecord(const TRecordCommand& command);
int RunSweep(const TSweepCommand& command);
int RunConvert(const TConvertCommand& command);

// Print the message and give the exit status of a usage error, of a failure, or of an interruption.
int UsageError(const QString& text);
int Failure(const QString& text);
int Interrupted(int signal, const QString& text);

// The device the option names, by its stable name; without the option the window's choice holds. A name
// that no device has is refused with the Polish reason.
bool ChooseDevice(TAudioIO& component, TWaveDirection direction, const std::optional<QString>& name,
                  QString& failure);
// The window's frame rate, blocks and devices into an engine's own components (read, never written),
// then the devices the options name; false with the reason.
bool TakeProgramCard(TAudioIO& input, TAudioIO& output, const std::optional<QString>& inputName,
                     const std::optional<QString>& outputName, QString& failure);
// Asked before a measurement: can its file be written where it is to go?
bool CanWrite(const QString& fileName, QString& failure);
// The window's settings, read and never written: a command's options hold for its run only.
TWindowSettings LoadProgramSettings(TMeasurementSession& session);
// The overloads the recording saw in the channels it measured, said on the standard error.
void ReportOverloads(TMeasurementSession& session);
// Runs a measurement of the session (measure: its recording or sweep) to its end, or until SIGINT or
// SIGTERM interrupts it; `signal` receives the signal's number (0: none came). The progress line is
// finished when it returns.
TMeasurementSession::TEnd
MeasureUntilStopped(TMeasurementSession& session, int& signal,
                    const std::function<TMeasurementSession::TEnd(TProgress&)>& measure);
