// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/KeyTable.h"

#include <QString>
#include <Qt>
#include <array>
#include <cstdint>
#include <optional>

// The line appearance of one chart series.
struct TSeriesFormat
{
    std::uint32_t Colour = 0; // 0x00BBGGRR
    Qt::PenStyle Style = Qt::SolidLine;
    int Width = 1;
};

// The window's place on the screen as stored. Left and Top are absent until a normal window has been
// saved once: the window then centres itself on its monitor.
struct TWindowPosition
{
    std::optional<int> Left, Top, Width, Height; // none: as the window places and sizes itself
    int WindowState = 1; // stored code: 0 minimized, 1 normal, 2 maximized; others leave the state alone
};

// The window "Odpowiedź impulsowa" as the user left it: its sweep, gate and analysis. Values are kept as
// stored; the window brings them within their ranges when it applies them.
struct TImpulseWindowSettings
{
    double StartHz = 20, StopHz = 20000;
    int LengthExponent = 17; // the sweep's nominal length, 2^n frames
    double LevelDb = -6;     // the sweep's peak, dBFS
    int Repeats = 1;
    double TailSeconds = 1; // recorded after each sweep
    int Channel = 0;        // measured input: 0 left, 1 right
    int Reference = 0;      // 0 none, 1 left, 2 right
    int GateShape = 0;      // 0 Tukey, 1 half-Hann
    int Smoothing = 0;      // 0 none, N: 1/N octave
    int Phase = 0;          // 0 wrapped, 1 unwrapped, 2 minimum, 3 excess
    bool PhaseFromPeak = false;
    double Temperature = 20; // °C
    // The page "Akustyka pomieszczenia": 1 octaves or 3 thirds, and the speech level (dB(A)) and
    // background noise (dB per octave) for the full speech transmission index, as the user typed them.
    int RoomBands = 1;
    QString RoomSpeechLevel, RoomNoise;
};

// The window "Funkcja przenoszenia" as the user left it: its signal, averaging and view. Values are
// kept as stored; the window brings them within their ranges when it applies them.
struct TTransferWindowSettings
{
    int FftSize = 65536;
    int Signal = 0;       // 0 periodic pink noise, 1 white noise, 2 none (music)
    double LevelDb = -15; // RMS, dBFS
    int Reference = 0;    // reference input: 0 left, 1 right
    int Averaging = 0;    // 0 count, 1 exponential, 2 infinite
    int Averages = 8;
    int Smoothing = 6;      // 0 none, N: 1/N octave
    double Threshold = 0.5; // coherence below which points are faint or hidden
    int BelowThreshold = 0; // 0 faint, 1 hidden
    bool PhaseWithDelay = false;
    double Temperature = 20; // °C
};

// What the chart of the frequency kind shows beside the levels of synchronously detected points.
struct TDetailView
{
    bool Phase = false, UnwrappedPhase = false; // on a second axis, in degrees
    bool H2 = false, H3 = false, Thd = false;   // of the active series
    bool Percent = false;                       // distortion in %, not in dB of the fundamental
    bool operator==(const TDetailView&) const = default;
};

// Everything the main window shows or applies from the settings. LoadSettings fills it; the window
// applies it after loading and fills it back from its controls before SaveSettings. A field the window
// does not touch is written back as it was loaded.
struct TWindowSettings
{
    bool Compensation = false; // the "Kompensacja" check box; saved from its menu item
    int CanalNo = 0;           // item of the channel-mode group
    int Average = 0;           // item of the averaging-time list
    bool Kind = false;         // true: the frequency-characteristic measurement
    QString WorkDir;           // initial folder of the save and open dialogs
    std::array<TSeriesFormat, ChartSeriesCount> Series{}; // chart order: result series 1..8, left, right
    std::array<bool, SlotCount> SlotInUse{};
    std::array<QString, RecentFileCount> Last{}; // Last[0] is the most recent file
    TWindowPosition Position;
    TImpulseWindowSettings Impulse;
    TTransferWindowSettings Transfer;
    TDetailView DetailView;
};

// Pen-style codes of the file: 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot.
int PenStyleCode(Qt::PenStyle style);    // any other style: -1
Qt::PenStyle PenStyleFromCode(int code); // anything but 1..4: solid

// Window-state codes of the file (normal and minimized swapped against the toolkit's order).
int WindowStateCode(Qt::WindowStates states);
std::optional<Qt::WindowState> WindowStateFromCode(int code); // nothing: leave the state alone
