// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's part of the spectrum analyser: the window beside it, on the same input.

#include "ui/OknoGlowna.h"

#include "ui/OknoAnalizatorWidma.h"

void TFormaGlowna::mmiAnalizatorWidmaClick()
{
    if (AnalizatorWidma == nullptr)
        AnalizatorWidma = new TFormaAnalizatorWidma(audAudioIn, Measurement, this);
    AnalizatorWidma->SetFolder(DialogFolder);
    AnalizatorWidma->show();
    AnalizatorWidma->raise();
    AnalizatorWidma->activateWindow();
}
