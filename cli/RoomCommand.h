// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/RoomAnalysis.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

class TGiven;

// tonvix-cli room: the room figures of an impulse response read from a sound file, printed as a table
// or as one JSON object, and written to a CSV file.
struct TRoomCommand
{
    QString In;
    TRoomChoice Choice; // with --noise-file, its speech conditions' noise comes from that file
    bool Json = false;
    std::optional<QString> Out;       // .csv
    std::optional<QString> NoiseFile; // the spectrum analyser's octave bands (.csv)
    std::optional<int> NoiseChannel;  // of the noise file: 0 left, 1 right
};

extern const QString RoomHelp;
extern const QStringList RoomOptions;
std::optional<TRoomCommand> ReadRoomCommand(const TGiven& given, QString& error);
int RunRoom(const TRoomCommand& command);
// --bands 1|3 of the room table (room, ir --room): 1 when not given; nothing, with `error`, otherwise.
std::optional<int> ReadRoomBands(const TGiven& given, QString& error);

// {"bands": [...], "broadband": {...}, "broadband_A": {...}, "STI": value, "STI_kind": ...}: each band
// {"frequency", "EDT", "T20", "T30", "C50", "C80", "D50", "Ts", "INR", "xi20", "xi30", "curvature",
// "notes"}, null where a figure cannot be had.
QJsonObject RoomJson(const TRoomFigures& figures);
