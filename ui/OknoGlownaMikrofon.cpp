// SPDX-License-Identifier: GPL-3.0-or-later
// The main window and the measurement microphones' calibration files: read with the settings, each
// failure said once, and the channel then measured without a correction.

#include "ui/OknoGlowna.h"

#include "results/MicrophoneCalibrationFile.h"

void TFormaGlowna::LoadMicrophoneFiles()
{
    for (const QString& failure : LoadMicrophoneCorrections(Measurement))
        ShowError(failure + QStringLiteral("\nPomiary charakterystyk w tym kanale nie będą korygowane."));
}
