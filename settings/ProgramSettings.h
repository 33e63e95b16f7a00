// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class TAudioIO;
class TSettingsStore;
struct TMeasurementState;
struct TWindowSettings;

// Reads every setting once, when the main window is created: block sizes and frame rates go straight
// into the two wave components, engine values into the measurement state, and what the window shows
// into TWindowSettings. Missing or unparsable values give their defaults.
void LoadSettings(const TSettingsStore& store, TAudioIO& audioIn, TAudioIO& audioOut,
                  TMeasurementState& state, TWindowSettings& window);

// Writes every setting back, when the main window is destroyed. Returns false when the file could not
// be written; the values are still held by the program for the rest of the run.
bool SaveSettings(TSettingsStore& store, const TAudioIO& audioIn, const TAudioIO& audioOut,
                  const TMeasurementState& state, const TWindowSettings& window);
