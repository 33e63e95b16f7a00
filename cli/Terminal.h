// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QString>

// The command line's two outputs: results on the standard output, messages and progress on the
// standard error, both in UTF-8 and written at once.
// False once a result could not be written whole (a full disk, a reader that went away); the first
// failure's reason stays for FinishResults, and nothing more is written.
bool PrintResult(const QString& text);
void PrintMessage(const QString& text); // "tonvix-cli: " goes before it
// After the last result: the standard output closed, and the Polish message of the first write that
// failed on it (or of the close), or nothing when every result reached it.
QString FinishResults();
// The count with its noun in the Polish form for it: 1 odczyt, 2 odczyty, 5 odczytów, 22 odczyty.
QString Counted(qint64 count, const QString& one, const QString& few, const QString& many);

// The progress of a measurement on the standard error: a bar redrawn in place on a terminal, plain
// lines elsewhere (a log file, a pipe), one at every tenth of the way and at least once a minute.
class TProgress
{
public:
    TProgress();
    // fraction 0..1 of the way; text says where the measurement is.
    void Show(double fraction, const QString& text);
    // Ends the bar's line, so that what follows starts on its own.
    void Finish();
    // Takes the bar away, so that a result line can take its place; the next Show draws it anew.
    void Clear();

private:
    bool Terminal;
    bool Drawn = false;
    int LastTenth = -1;
    QElapsedTimer SinceDrawn;
};
