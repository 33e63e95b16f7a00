// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/MeasurementState.h"
#include "measure/RecordingPorts.h"

#include <QString>
#include <cstdint>

class TLevelMeter;

// What calibration needs of the main window. The window implements it; tests fake it.
class ICalibrationWindow
{
public:
    virtual ~ICalibrationWindow() = default;
    virtual void ShowError(const QString& text) = 0;
    virtual void SetStatusText(int panel, const QString& text) = 0;
    virtual void SetClockText(const QString& text) = 0; // pnlCzas
    // While a calibration runs, neither a measurement nor the other kind can be started.
    virtual void SetCalibrating(bool on) = 0;
    virtual void SetCalibrationTimerInterval(int milliseconds) = 0; // tmrKalibracja; 0 stops it
    virtual void SetLevelAxisRange(double minimum, double maximum) = 0;
};

enum class TCalibrationProcedure : std::uint8_t {
    ReferenceLevel,  // "Poziom odniesienia": the input reads the reference level
    ZeroAtFrequency, // "Ustaw 0dB dla częstotliwości": a tone at the frequency reads 0 dB
    FindMaximum      // "Znajdź maksimum i ustaw jako": the loudest point of a sweep reads the target
};

struct TCalibrationRequest
{
    TCalibrationProcedure Procedure = TCalibrationProcedure::ReferenceLevel;
    double ReferenceLevel = 124; // dB, as the calibrator states it (93.8, 114.0)
    double Frequency = 1000;     // Hz
    int TargetLevel = 0;         // dB
};

// The three calibration procedures: each sets the offsets of the current kind (the left, the right
// or both, by the channel mode) so that a known input reads a chosen value. The find-maximum
// procedure sweeps the generator in tmrKalibracja's ticks; the others end within their start.
class TCalibration
{
public:
    static constexpr double NoPeakLevel = -100.0; // dB, the peak level before any capture

    TCalibration(TMeasurementState& state, IWaveDevice& input, IWaveDevice& output, TLevelMeter& meter,
                 ICalibrationWindow& window);
    TCalibration(const TCalibration&) = delete;
    TCalibration& operator=(const TCalibration&) = delete;

    void Start(const TCalibrationRequest& request); // actKalibracja
    void TimerTick();                               // tmrKalibracja
    void Stop();                                    // actKalibracjaStop
    // A device failed: the procedure ends with the offsets as they were, and the reason is shown.
    void Abort(const QString& reason);
    void Reset(); // "&Reset": the current kind's offsets to 0
    bool Running() const { return Active; }

    // Status panel 0: which channels of the current kind carry an offset.
    QString StateText() const;
    static QString StateText(double offsetLeft, double offsetRight);

private:
    bool Pressure() const { return State.MeasurementKind == TMeasurementKind::SoundPressure; }
    double& OffsetL() { return Pressure() ? State.TimeCalibrationL : State.FreqCalibrationL; }
    double& OffsetR() { return Pressure() ? State.TimeCalibrationR : State.FreqCalibrationR; }
    bool StartDevices();
    // The levels of a steady input over a window of whole blocks after the wait; false when the
    // calibration ended meanwhile.
    bool MeasureSteadyLevels(double& left, double& right, double frequency);
    void ResetPeakCapture();
    // Offsets that make the given levels read `target`; a channel that heard nothing keeps its offset,
    // and the returned text says so (empty when every channel was calibrated).
    QString Calibrate(double target, double levelL, bool heardL, double levelR, bool heardR);
    // Ends the procedure, then shows the warning if there is one.
    void Finish(const QString& warning);
    void ShowPeakFrequency();

    TMeasurementState& State;
    IWaveDevice& Input;
    IWaveDevice& Output;
    TLevelMeter& Meter;
    ICalibrationWindow& Window;
    bool Active = false;
};
