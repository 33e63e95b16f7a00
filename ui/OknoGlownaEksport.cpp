// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's export: the acquired values of a recording, or the chosen result series, as CSV
// for spreadsheets or FRD for crossover design tools. An export is no save: the values stay in memory
// and the results count as saved only once they are in a result file.

#include "ui/OknoGlowna.h"

#include "results/ExchangeFile.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

void TFormaGlowna::CreateExportCommands()
{
    actPlikEksportuj = NewAction("actPlikEksportuj", QStringLiteral("&Eksportuj..."));
    const QList<QAction*> items = mmiPlik->actions();
    const qsizetype after = items.indexOf(actPlikZapiszJako);
    mmiPlik->insertAction(after >= 0 && after + 1 < items.size() ? items[after + 1] : nullptr,
                          actPlikEksportuj);
    connect(actPlikEksportuj, &QAction::triggered, this, &TFormaGlowna::actPlikEksportujExecute);
}

void TFormaGlowna::actPlikEksportujExecute()
{
    const bool pressure = Measurement.MeasurementKind == TMeasurementKind::SoundPressure;
    if (pressure && Queue.Empty()) {
        ShowMessage(QStringLiteral("Nie ma odczytów do eksportu: pomiar ciśnienia akustycznego zachowuje "
                                   "odczyty, gdy włączona jest akwizycja."));
        return;
    }
    const QString csv = QStringLiteral("Plik CSV (*.csv)"), frd = QStringLiteral("Plik FRD (*.frd)");
    QFileDialog dlgEksportuj(this, QStringLiteral("Eksportuj"), DialogFolder);
    dlgEksportuj.setObjectName("dlgEksportuj");
    dlgEksportuj.setAcceptMode(QFileDialog::AcceptSave);
    dlgEksportuj.setOption(QFileDialog::DontConfirmOverwrite); // asked below, for every file written
    dlgEksportuj.setNameFilters(pressure ? QStringList{csv} : QStringList{csv, frd});
    dlgEksportuj.selectFile(
        QFileInfo(FileName.isEmpty() ? QString::fromLatin1(TSeriesStore::UntitledFileName) : FileName)
            .completeBaseName());
    if (dlgEksportuj.exec() != QDialog::Accepted || dlgEksportuj.selectedFiles().isEmpty())
        return;
    const QString extension =
        dlgEksportuj.selectedNameFilter() == frd ? QStringLiteral(".frd") : QStringLiteral(".csv");
    QString name = dlgEksportuj.selectedFiles().constFirst();
    if (!name.endsWith(extension, Qt::CaseInsensitive))
        name += extension;

    std::vector<ResultFile::TSeriesColumn> columns;
    if (!pressure) {
        actWybierzDoZapisu->trigger();
        if (actWybierzDoZapisu->data().toInt() == 1)
            return;
        for (int slot = 0; slot < ResultSeriesCount; ++slot)
            if (Series.SlotChosenForSave()[static_cast<std::size_t>(slot)])
                columns.push_back({slot, Series.SeriesName(slot), Series.Slot(slot), &Chart.Series(slot)});
        if (columns.empty()) {
            ShowMessage(QStringLiteral("Nie wybrano żadnej serii."));
            return;
        }
    }
    const QStringList files =
        extension == QLatin1String(".frd") ? ExchangeFile::FrdFileNames(name, columns) : QStringList{name};
    if (!ConfirmOverwrite(files))
        return;
    DialogFolder = QFileInfo(name).absolutePath();

    QString failure;
    const bool written = pressure ? ExchangeFile::WriteSoundPressure(name, Queue, QueueConditions(), failure)
                                  : ExchangeFile::WriteFrequency(name, columns, true, failure);
    if (!written)
        ShowError(failure);
}
