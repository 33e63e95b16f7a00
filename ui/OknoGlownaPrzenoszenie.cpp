// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's part of the window "Funkcja przenoszenia": opening it, and the one sound card that
// the main window and its measuring windows share.

#include "ui/OknoGlowna.h"

#include "ui/OknoFunkcjaPrzenoszenia.h"
#include "ui/OknoOdpowiedzImpulsowa.h"

void TFormaGlowna::mmiFunkcjaPrzenoszeniaClick()
{
    if (FunkcjaPrzenoszenia == nullptr)
        FunkcjaPrzenoszenia = new TFormaFunkcjaPrzenoszenia(
            audAudioIn, audAudioOut, Stored.Transfer, [this] { return CardHolder(FunkcjaPrzenoszenia); },
            DialogFolder, this);
    FunkcjaPrzenoszenia->show();
    FunkcjaPrzenoszenia->raise();
    FunkcjaPrzenoszenia->activateWindow();
}

bool TFormaGlowna::CardTakenByTransferWindow()
{
    if (FunkcjaPrzenoszenia == nullptr || !FunkcjaPrzenoszenia->CardInUse())
        return false;
    ShowMessage(
        QStringLiteral("Karta dźwiękowa jest zajęta: trwa pomiar funkcji przenoszenia. Zatrzymaj go w "
                       "oknie „Funkcja przenoszenia”."));
    return true;
}

QString TFormaGlowna::CardHolder(const QWidget* asking) const
{
    if (audAudioIn.DeviceOpen() || audAudioOut.DeviceOpen())
        return QStringLiteral("trwa pomiar w oknie głównym");
    if (OdpowiedzImpulsowa != nullptr && asking != OdpowiedzImpulsowa && OdpowiedzImpulsowa->Measuring())
        return QStringLiteral("trwa pomiar odpowiedzi impulsowej");
    if (FunkcjaPrzenoszenia != nullptr && asking != FunkcjaPrzenoszenia && FunkcjaPrzenoszenia->CardInUse())
        return QStringLiteral("trwa pomiar funkcji przenoszenia");
    return QString();
}
