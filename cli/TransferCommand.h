// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/TransferMeasurement.h"

#include <QString>
#include <QStringList>
#include <optional>

class TGiven;

// tonvix-cli tf: a transfer-function measurement of the given length on the engine of the window
// "Funkcja przenoszenia"; the curves of the whole measurement into a CSV or FRD file, the delay found
// on the standard output.
struct TTransferCommand
{
    double Seconds = 0;
    TTransferSettings Settings; // averaged over the whole measurement unless --averages says otherwise
    int Smoothing = 0;          // 0 or 1/N octave
    QString Out;                // .csv or .frd
    std::optional<QString> Input, Output;
    double Temperature = 20; // °C, for the delay in metres
};

extern const QString TransferHelp;
extern const QStringList TransferOptions;
std::optional<TTransferCommand> ReadTransferCommand(const TGiven& given, QString& error);
int RunTransfer(const TTransferCommand& command);
