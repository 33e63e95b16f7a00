// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's part of the frequency weighting, the measurement statistics and the conformance
// test.

#include "ui/OknoGlowna.h"

#include "ui/ChartView.h"
#include "ui/OknoStatystyki.h"
#include "ui/OknoTestZgodnosci.h"

#include <QLabel>

void TFormaGlowna::SetFrequencyWeighting(TFrequencyWeighting weighting)
{
    if (weighting != Measurement.FrequencyWeighting) // figures of two weightings mean nothing together
        Measurement.Statistics.Reset();
    Measurement.FrequencyWeighting = weighting;
    ShowLevelUnit();
    if (Statystyki != nullptr)
        Statystyki->Refresh();
}

void TFormaGlowna::ShowLevelUnit()
{
    const QString unit = LevelUnit(Measurement.WeightingInForce());
    const QFont font = ReadoutFont(unit);
    for (QLabel* readout : {lblWartoscL, lblWartoscP}) {
        // The value shown stays until the next refresh; only its unit follows at once.
        const QString text = readout->text();
        const qsizetype unitStart = text.indexOf(QStringLiteral("dB"));
        readout->setFont(font);
        readout->setText((unitStart < 0 ? text : text.left(unitStart)) + unit);
    }
    chtWykres->SetLevelUnit(unit);
}

void TFormaGlowna::mmiStatystykiClick()
{
    if (Statystyki == nullptr)
        Statystyki = new TFormaStatystyki(Measurement, this);
    Statystyki->show();
    Statystyki->raise();
    Statystyki->activateWindow();
}

void TFormaGlowna::mmiTestZgodnosciClick()
{
    TConformanceSetup setup;
    setup.Weighting = Measurement.FrequencyWeighting;
    setup.FrameRate = audAudioIn.FrameRate();
    setup.BlockFrames = audAudioIn.BufferSize() / 4;
    TFormaTestZgodnosci dialog(setup, this);
    dialog.exec();
}
