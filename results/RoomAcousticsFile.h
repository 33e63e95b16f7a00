// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/RoomAcoustics.h"

#include <QString>
#include <QStringList>
#include <vector>

// The room figures as the user reads them: the table of the window, of tonvix-cli and of the CSV file.
// Each band a row: its nominal midband (or "Z" and "A" for the broadband results), EDT, T20, T30, C50,
// C80, D50, Ts, INR, xi20, xi30, the curvature C, and the notes: why a figure is "-", and the quality
// warnings (xi above 10 per mille, C outside 0 to 10 %, a band filter too narrow for the decay: B*T below
// 16).
namespace RoomAcousticsFile {

QStringList Header();
// The table's rows: the bands, then the broadband Z and A results.
std::vector<const TRoomBand*> Rows(const TRoomFigures& figures);
QString BandName(const TRoomBand& band);
// Rounded to what the figure's accuracy allows, with the user's decimal separator; "-" where none.
QStringList Cells(const TRoomBand& band);
QString Notes(const TRoomBand& band);
// "STI: 0,55 (tylko pogłos)", the kind of the index said, or why there is none.
QString StiText(const TRoomFigures& figures);

// The table as CSV for spreadsheets, as the other exchange files are written (";" between fields, the
// user's decimal separator, numbers in their shortest exact form, the file whole or not at all): the
// first header cell says the bands and the source, the bands and the broadband rows follow, and the
// index in a row of its own. False with the Polish message.
bool Write(const QString& fileName, const TRoomFigures& figures, const QString& source, QString& failure);

} // namespace RoomAcousticsFile
