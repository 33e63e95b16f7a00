// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's part of the window "Odpowiedź impulsowa": opening it, and the one sound card.

#include "ui/OknoGlowna.h"

#include "ui/OknoOdpowiedzImpulsowa.h"

void TFormaGlowna::mmiOdpowiedzImpulsowaClick()
{
    if (OdpowiedzImpulsowa == nullptr)
        OdpowiedzImpulsowa = new TFormaOdpowiedzImpulsowa(
            audAudioIn, audAudioOut, Stored.Impulse,
            [this] { return !CardHolder(OdpowiedzImpulsowa).isEmpty(); }, DialogFolder, this);
    OdpowiedzImpulsowa->show();
    OdpowiedzImpulsowa->raise();
    OdpowiedzImpulsowa->activateWindow();
}

bool TFormaGlowna::CardTakenByImpulseWindow()
{
    if (OdpowiedzImpulsowa == nullptr || !OdpowiedzImpulsowa->Measuring())
        return false;
    ShowMessage(
        QStringLiteral("Karta dźwiękowa jest zajęta: trwa pomiar odpowiedzi impulsowej. Zatrzymaj go w "
                       "oknie „Odpowiedź impulsowa” albo poczekaj na jego koniec."));
    return true;
}
