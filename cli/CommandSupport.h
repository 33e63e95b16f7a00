#pragma once

#include "audio/WaveFormat.h"
#include "settings/WindowSettings.h"

#include <QString>
#include <optional>

class TAudioIO;
class TMeasurementSession;

// What the commands share (Commands.cpp).

// The message printed, with the exit status of a usage error or of a failure.
int UsageError(const QString& text);
int Failure(const QString& text);
// The device the option names, by its stable name; without the option the window's choice holds. A
// name that no device has is refused with the Polish reason in `failure`.
bool ChooseDevice(TAudioIO& component, TWaveDirection direction, const std::optional<QString>& name,
                  QString& failure);
// Asked before a measurement that may take hours: can its file be written where it is to go?
bool CanWrite(const QString& fileName, QString& failure);
// The window's settings, read and never written: a command's options hold for its run only.
TWindowSettings LoadProgramSettings(TMeasurementSession& session);
// The overloads the recording saw in the channels it measured, said on the standard error.
void ReportOverloads(TMeasurementSession& session);
