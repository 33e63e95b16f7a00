// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/MeterPorts.h"
#include "measure/RecordingPorts.h"

#include <QString>

// A wave component that starts unless told to fail; it doubles as the meter's stream information.
struct TFakeDevice final : IWaveDevice, IStreamInfo
{
    bool IsRunning = false;
    QString FailText; // non-empty: Start fails with it
    int Starts = 0, Stops = 0;
    int Rate = 48000;

    bool Start() override
    {
        ++Starts;
        IsRunning = FailText.isEmpty();
        return IsRunning;
    }
    void StopNow() override
    {
        ++Stops;
        IsRunning = false;
    }
    bool Running() const override { return IsRunning; }
    QString LastError() const override { return FailText; }
    int FrameRate() const override { return Rate; }
};
