// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/Options.h"

#include <QString>
#include <QStringList>
#include <optional>

// tonvix-cli ir: an impulse-response measurement on the engine of the window "Odpowiedź impulsowa".
extern const QString ImpulseHelp;
extern const QStringList ImpulseOptions;
std::optional<TImpulseCommand> ReadImpulseCommand(const TGiven& given, QString& error);
int RunImpulse(const TImpulseCommand& command);
