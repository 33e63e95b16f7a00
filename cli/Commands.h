// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/Options.h"

// Exit statuses of the command line.
constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1; // a device or a file failed, or a sweep was interrupted
constexpr int ExitUsage = 2;

int RunDevices(const TDevicesCommand& command);
int RunRecord(const TRecordCommand& command);
int RunSweep(const TSweepCommand& command);
int RunConvert(const TConvertCommand& command);
