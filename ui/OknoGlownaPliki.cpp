// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's file commands: opening and saving result files and the chart, the recent-files
// list, the save selection, the queue dump and the recovery of a recording that a crash interrupted.

#include "ui/OknoGlowna.h"

#include "common/NumberFormat.h"
#include "measure/RecordingControl.h"
#include "results/RecentFiles.h"
#include "results/ResultFile.h"
#include "results/ResultLoader.h"
#include "results/SafeFile.h"
#include "settings/KeyTable.h"
#include "ui/ChartExport.h"
#include "ui/ChartView.h"
#include "ui/OknoWybierzDoZapisu.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <cerrno>

namespace {

const QString UntitledFile = QString::fromLatin1(TSeriesStore::UntitledFileName);

// The save dialog's filters, in order; the first writes results, the others the chart.
struct TSaveFilter
{
    const char* Text;
    const char* Extension;
    ChartExport::TFormat Format;
};
const TSaveFilter SaveFilters[] = {
    {"Wartości poziomów (*.lev)", ".lev", ChartExport::TFormat::Emf},
    {"Rysunek (*.emf)", ".emf", ChartExport::TFormat::Emf},
    {"Rysunek SVG (*.svg)", ".svg", ChartExport::TFormat::Svg},
    {"Dokument PDF (*.pdf)", ".pdf", ChartExport::TFormat::Pdf},
    {"Obraz PNG (*.png)", ".png", ChartExport::TFormat::Png},
};

bool AskYesNo(QWidget* parent, const QString& question)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tonvix"), question, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Tak"), QMessageBox::YesRole);
    box.setDefaultButton(box.addButton(QStringLiteral("&Nie"), QMessageBox::NoRole));
    box.exec();
    return box.clickedButton() == yes;
}

enum class TRecoveryAnswer { Open, Later, Delete };

// The safe answers are the default (Enter) and the escape (Esc); deleting is said on its button.
TRecoveryAnswer AskRecovery(QWidget* parent, const QDateTime& lastWritten)
{
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Tonvix"),
        QStringLiteral("Poprzednia praca programu zakończyła się w czasie pomiaru, którego wyniki "
                       "nie zostały zapisane (ostatni zapis: ") +
            NumberFormat::ShortDateLongTime(lastWritten) +
            QStringLiteral(").\nOtworzyć niezapisane wyniki pomiarów?\n\n„Później”: wyniki zostaną "
                           "na dysku, a program zapyta o nie przy następnym uruchomieniu."),
        QMessageBox::NoButton, parent);
    QPushButton* open = box.addButton(QStringLiteral("&Otwórz"), QMessageBox::AcceptRole);
    QPushButton* later = box.addButton(QStringLiteral("&Później"), QMessageBox::RejectRole);
    QPushButton* remove = box.addButton(QStringLiteral("&Usuń wyniki"), QMessageBox::DestructiveRole);
    box.setDefaultButton(open);
    box.setEscapeButton(later);
    box.exec();
    return box.clickedButton() == open     ? TRecoveryAnswer::Open
           : box.clickedButton() == remove ? TRecoveryAnswer::Delete
                                           : TRecoveryAnswer::Later;
}

// Right after the failing call, while errno still holds its reason.
QString CannotRead(const QString& fileName)
{
    return ReadFailureMessage(fileName, FileErrorReason(errno));
}

} // namespace

void TFormaGlowna::CreateFileCommands()
{
    connect(actWybierzDoZapisu, &QAction::triggered, this, &TFormaGlowna::actWybierzDoZapisuExecute);
    // The sweep panel's two hidden buttons, for the program's developer.
    auto* save = new QPushButton(QStringLiteral("Save"), pnlPanelDolny);
    save->setObjectName("btnSave");
    save->hide();
    connect(save, &QPushButton::clicked, this, &TFormaGlowna::DumpQueue);
    auto* release = new QPushButton(QStringLiteral("Release"), pnlPanelDolny);
    release->setObjectName("btnRelease");
    release->hide();
    connect(release, &QPushButton::clicked, this, &TFormaGlowna::ReleaseMemory);
    // The journal fails inside the meter's tick: the message waits until the tick has ended, or the
    // ticks that run while it is shown would come between the tick's two channel points.
    Journal.OnFailure = [this](const QString& message) {
        QMetaObject::invokeMethod(
            this, [this, message] { ShowError(message); }, Qt::QueuedConnection);
    };
    // Anything measured after the last save is unsaved: a point of a running sweep, or a reading that
    // the acquisition keeps for the result file.
    connect(&Chart, &TChartModel::PointAppended, this, [this](int series) {
        if (Recording->InProgress() && (series < ResultSeriesCount || Measurement.AcquisitionOn))
            Measurement.ResultsSaved = false;
    });
}

// ---- Opening

void TFormaGlowna::actPlikOtworzExecute()
{
    QFileDialog dlgOtworz(this, QStringLiteral("Otwórz"), DialogFolder);
    dlgOtworz.setObjectName("dlgOtworz");
    dlgOtworz.setAcceptMode(QFileDialog::AcceptOpen);
    dlgOtworz.setFileMode(QFileDialog::ExistingFile);
    dlgOtworz.setNameFilters(
        {QStringLiteral("Wartości poziomów (*.lev)"), QStringLiteral("Wszystkie pliki (*)")});
    if (dlgOtworz.exec() != QDialog::Accepted || dlgOtworz.selectedFiles().isEmpty())
        return;
    const QString file = dlgOtworz.selectedFiles().constFirst();
    DialogFolder = QFileInfo(file).absolutePath();
    OpenResultFile(file, true);
}

void TFormaGlowna::mmiOstatniPlikClick(int entry)
{
    const QString file = Stored.Last.at(static_cast<std::size_t>(entry));
    if (file.isEmpty())
        return;
    DialogFolder = QFileInfo(file).absolutePath();
    OpenResultFile(file, true);
}

void TFormaGlowna::OpenFromCommandLine(const QStringList& arguments)
{
    // "/o" and the file name, which a shell may have cut at blanks; or the file alone, as a desktop's
    // "Open with" passes it.
    QString file;
    if (arguments.size() >= 3 && arguments.at(1) == QLatin1String("/o"))
        file = arguments.mid(2).join(' ');
    else if (arguments.size() == 2 && !arguments.at(1).startsWith('-') &&
             arguments.at(1) != QLatin1String("/o"))
        file = arguments.at(1);
    if (!file.isEmpty())
        OpenResultFile(QFileInfo(file).absoluteFilePath(), false);
}

// Reads a result file onto the chart. A user's open switches the kind with its prompts; the program's
// own (command line, recovery) switches it without asking.
bool TFormaGlowna::OpenResultFile(const QString& fileName, bool byUser)
{
    Series.ShowAll();
    if (!ResultFile::HasResultExtension(fileName)) {
        ShowMessage(ResultFile::UnknownFormatMessage);
        return false;
    }
    QFile file;
    if (QString failure; !OpenForReading(file, fileName, failure)) {
        ShowError(failure);
        return false;
    }
    TResultLoader loader(
        Series, Chart,
        [this, byUser](TMeasurementKind kind) {
            if (Measurement.MeasurementKind != kind) {
                QAction* action =
                    kind == TMeasurementKind::SoundPressure ? actPomiarCisnienia : actPomiarCharakterystyk;
                SelectKind(kind, byUser ? static_cast<QObject*>(action) : this);
            }
            return Measurement.MeasurementKind == kind;
        },
        [this] { TrybPracyButtons->button(0)->click(); });
    errno = 0;
    const ResultFile::TReadOutcome outcome = ResultFile::Read(file, loader);
    switch (outcome) {
    case ResultFile::TReadOutcome::UnknownFormat:
        ShowMessage(ResultFile::UnknownFormatMessage);
        return false;
    case ResultFile::TReadOutcome::KindKept:
        return false;
    case ResultFile::TReadOutcome::ReadError:
        ShowError(CannotRead(fileName));
        break;
    case ResultFile::TReadOutcome::InvalidFormat:
        ShowMessage(ResultFile::InvalidFormatMessage);
        break;
    case ResultFile::TReadOutcome::Read:
        break;
    }
    // The file is the current one once its contents are shown (a refused kind switch leaves it unread),
    // and a stopped sweep has no points left to continue.
    Sweep->Zero();
    FileName = fileName;
    SetUpAxesAfterReading();
    UpdateRecentFiles(fileName);
    return outcome == ResultFile::TReadOutcome::Read;
}

// The axes show what was read: a recording over its whole time, series with their frequency range and
// levels from the data. The user's axis settings stay as they were.
void TFormaGlowna::SetUpAxesAfterReading()
{
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        UpdateLegend(slot);
    TMeasurementState& state = Measurement;
    if (state.MeasurementKind == TMeasurementKind::SoundPressure) {
        const TChartSeriesData& left = Chart.Series(LeftChannelSeries);
        const auto kept = std::tuple(state.TimeAutoScale, state.TimeScaleMinimum, state.TimeScaleMaximum);
        state.TimeAutoScale = false;
        state.TimeScaleMinimum = left.MinX();
        state.TimeScaleMaximum = left.MaxX();
        SetUpAxes(false);
        std::tie(state.TimeAutoScale, state.TimeScaleMinimum, state.TimeScaleMaximum) = kept;
    } else {
        const auto kept = std::tuple(state.FreqAutoScale, state.FreqAutoLevelScale);
        state.FreqAutoScale = 0;
        state.FreqAutoLevelScale = true;
        SetUpAxes(false);
        std::tie(state.FreqAutoScale, state.FreqAutoLevelScale) = kept;
    }
}

// ---- Saving

void TFormaGlowna::actPlikZapiszExecute()
{
    SaveResults();
}

void TFormaGlowna::actPlikZapiszJakoExecute()
{
    SaveResults();
}

// A cancelled dialog keeps everything as it was: the acquired values stay in memory for a later save.
bool TFormaGlowna::SaveResults()
{
    QFileDialog dlgZapisz(this, QStringLiteral("Zapisz jako"), DialogFolder);
    dlgZapisz.setObjectName("dlgZapisz");
    dlgZapisz.setAcceptMode(QFileDialog::AcceptSave);
    dlgZapisz.setOption(QFileDialog::DontConfirmOverwrite); // asked below, once the extension is known
    QStringList filters;
    for (const TSaveFilter& filter : SaveFilters)
        filters << QString::fromUtf8(filter.Text);
    dlgZapisz.setNameFilters(filters);
    dlgZapisz.selectFile(FileName.isEmpty() ? UntitledFile : QFileInfo(FileName).completeBaseName());
    if (dlgZapisz.exec() != QDialog::Accepted || dlgZapisz.selectedFiles().isEmpty())
        return false;
    const auto filterIndex = std::max<qsizetype>(0, filters.indexOf(dlgZapisz.selectedNameFilter()));
    const TSaveFilter& filter = SaveFilters[filterIndex];
    const bool results = filterIndex == 0;
    if (results && Measurement.MeasurementKind == TMeasurementKind::FrequencyCharacteristic) {
        actWybierzDoZapisu->trigger();
        if (actWybierzDoZapisu->data().toInt() == 1)
            return false;
    }
    QString name = dlgZapisz.selectedFiles().constFirst();
    if (!name.endsWith(QString::fromLatin1(filter.Extension), Qt::CaseInsensitive))
        name += QString::fromLatin1(filter.Extension);
    if (!ConfirmOverwrite({name}))
        return false;
    DialogFolder = QFileInfo(name).absolutePath();

    if (!results) {
        QString failure;
        if (!ChartExport::Save(*chtWykres, name, filter.Format, failure))
            ShowError(failure);
        return false; // a picture keeps no results
    }
    if (!WriteResultFile(name))
        return false;
    FileName = name;
    UpdateRecentFiles(name);
    return true;
}

// Writes the results of the current kind; the acquired values are released only once the file is in
// place, so a failed write leaves them, and any earlier file, as they were.
bool TFormaGlowna::WriteResultFile(const QString& fileName)
{
    const QDateTime now = QDateTime::currentDateTime();
    QString failure;
    bool written = false;
    if (Measurement.MeasurementKind == TMeasurementKind::SoundPressure) {
        written = ResultFile::WriteSoundPressure(fileName, Queue, QueueConditions(), now, failure);
        if (written)
            ReleaseMemory();
    } else {
        std::vector<ResultFile::TSeriesColumn> columns;
        for (int slot = 0; slot < ResultSeriesCount; ++slot)
            if (Series.SlotChosenForSave()[static_cast<std::size_t>(slot)])
                columns.push_back({slot, Series.SeriesName(slot), Series.Slot(slot), &Chart.Series(slot)});
        written = ResultFile::WriteFrequency(fileName, columns, chtWykres->legend->visible(), now, failure);
    }
    if (!written) {
        ShowError(failure);
        return false;
    }
    Measurement.ResultsSaved = true;
    return true;
}

// The dialogs' own overwrite prompt would ask before the extension is appended ("wynik" -> "wynik.lev").
bool TFormaGlowna::ConfirmOverwrite(const QStringList& files)
{
    QStringList existing;
    for (const QString& file : files)
        if (QFileInfo::exists(file))
            existing << file;
    if (existing.isEmpty())
        return true;
    return AskYesNo(this, existing.size() == 1
                              ? QStringLiteral("Plik ") + existing.front() +
                                    QStringLiteral(" już istnieje.\nCzy chcesz go zastąpić?")
                              : QStringLiteral("Pliki ") + existing.join(QStringLiteral(", ")) +
                                    QStringLiteral(" już istnieją.\nCzy chcesz je zastąpić?"));
}

void TFormaGlowna::actWybierzDoZapisuExecute()
{
    actWybierzDoZapisu->setData(TFormaWybierzDoZapisu::Choose(Series, this) ? 0 : 1);
}

// "Save" of the sweep panel: the queue, one value a line, to "kolejka.txt" in the results folder.
void TFormaGlowna::DumpQueue()
{
    const QString folder = DefaultWorkFolder();
    QDir().mkpath(folder);
    QString failure;
    if (ResultFile::WriteQueueDump(folder + QStringLiteral("/kolejka.txt"), Queue, QueueConditions(),
                                   QDateTime::currentDateTime(), failure))
        ReleaseMemory();
    else
        ShowError(failure);
}

// ---- Recent files

void TFormaGlowna::UpdateRecentFiles(const QString& fileName)
{
    RecentFiles::Update(Stored.Last, fileName);
    RefreshRecentFiles();
}

void TFormaGlowna::RefreshRecentFiles()
{
    bool any = false;
    for (int entry = 0; entry < RecentFiles::Count; ++entry) {
        const QString& file = Stored.Last.at(static_cast<std::size_t>(entry));
        QAction* item = mmiOstatnie.at(static_cast<std::size_t>(entry));
        item->setVisible(!file.isEmpty());
        item->setText(RecentFiles::Caption(entry, file, DialogFolder));
        any = any || !file.isEmpty();
    }
    SeparatorPrzedZakoncz->setVisible(any);
    setWindowTitle(TSeriesStore::WindowTitle(FileName, Measurement.Preferences.ShowPath));
}

// ---- The recording journal

// Every journal left by a program that ended during a recording is offered at the start, one after
// another. Opened, its values return to the chart and to the acquisition queue, unsaved, and the
// journal goes on with them; the queue holds one recording, so the journals after an opened one wait
// for the next start.
void TFormaGlowna::RecoverRecording()
{
    const QString folder = TRecordingJournal::DefaultFolder();
    Journal.ClaimFreePlace(folder);
    for (TRecordingJournal::TLeftJournal& left : TRecordingJournal::FindLeft(folder)) {
        switch (AskRecovery(this, left.LastWritten)) {
        case TRecoveryAnswer::Open:
            if (OpenLeftJournal(left))
                return;
            break;
        case TRecoveryAnswer::Delete:
            if (QFile journal(left.Path); !journal.remove())
                ShowError(QStringLiteral("Nie można usunąć pliku ") + left.Path + QStringLiteral(": ") +
                          FileErrorReason(errno) + QLatin1Char('.'));
            break;
        case TRecoveryAnswer::Later:
            break;
        }
    }
}

// False when the journal could not be taken over; it then stays as it was.
bool TFormaGlowna::OpenLeftJournal(TRecordingJournal::TLeftJournal& left)
{
    QString failure;
    if (!Journal.Adopt(left, failure)) {
        ShowError(failure);
        return false;
    }
    const QString fileName = Journal.FileName();
    QFile file;
    QString reason;
    ResultFile::TReadOutcome outcome = ResultFile::TReadOutcome::ReadError;
    if (OpenForReading(file, fileName, reason)) {
        TResultLoader loader(
            Series, Chart,
            [this](TMeasurementKind kind) {
                if (Measurement.MeasurementKind != kind)
                    SelectKind(kind, this);
                return kind == TMeasurementKind::SoundPressure && Measurement.MeasurementKind == kind;
            },
            [] {});
        loader.RefillQueue(&Queue);
        errno = 0;
        outcome = ResultFile::Read(file, loader);
        if (outcome == ResultFile::TReadOutcome::ReadError)
            reason = CannotRead(fileName);
        else if (outcome != ResultFile::TReadOutcome::Read)
            reason = fileName + QStringLiteral(": ") +
                     (outcome == ResultFile::TReadOutcome::InvalidFormat ? ResultFile::InvalidFormatMessage
                                                                         : ResultFile::UnknownFormatMessage);
        // Saved as it was measured, whatever the settings are now.
        RecoveredConditions = loader.Conditions();
    }
    if (outcome != ResultFile::TReadOutcome::Read) {
        // Not every value reached the queue: the journal must outlive the next save.
        Journal.Release(TRecordingJournal::DefaultFolder());
        ShowError(reason + QStringLiteral("\nKopia nagrania zostaje na dysku, a program zapyta o nią przy "
                                          "następnym uruchomieniu."));
    }
    SetUpAxesAfterReading();
    Measurement.ResultsSaved = Queue.Empty();
    mmiKosz->setEnabled(!Queue.Empty());
    tbnKosz->setEnabled(!Queue.Empty());
    return true;
}

ResultFile::TRecordingConditions TFormaGlowna::QueueConditions() const
{
    ResultFile::TRecordingConditions conditions{Measurement.AveragingTime, audAudioIn.FrameRate(),
                                                Measurement.FrequencyWeighting};
    if (RecoveredConditions) {
        conditions.AveragingTime = RecoveredConditions->AveragingTime;
        conditions.FrameRate = RecoveredConditions->FrameRate;
    }
    return conditions;
}

bool TFormaGlowna::JournalReady()
{
    if (!Journal.FileName().isEmpty() || Journal.ClaimFreePlace(TRecordingJournal::DefaultFolder()))
        return true;
    return AskYesNo(this, Journal.ClaimFailure() +
                              QStringLiteral("\nBez tej kopii awaria programu albo zanik zasilania przed "
                                             "zapisem wyników zabierze całe nagranie.\nRozpocząć akwizycję "
                                             "mimo to?"));
}
