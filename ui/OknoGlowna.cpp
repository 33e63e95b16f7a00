// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoGlowna.h"

#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/RecordingControl.h"
#include "measure/SineGenerator.h"
#include "results/Report.h"
#include "settings/KeyTable.h"
#include "ui/ChartView.h"
#include "ui/EventSound.h"
#include "ui/OknoDialog.h"
#include "ui/OknoFunkcjaPrzenoszenia.h"
#include "ui/OknoKalibracja.h"
#include "ui/OknoOdpowiedzImpulsowa.h"
#include "ui/OknoSkalowanie.h"
#include "ui/SeriesMenus.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

// The icons live in a static library, whose resources must be registered by hand.
static void RegisterIcons()
{
    Q_INIT_RESOURCE(Ikony);
}

namespace {

const QString ResultsFolderName = QStringLiteral("Wyniki Pomiarów");
const QString ZwolnieniePamieci = QStringLiteral("Zwolnienie pamięci");
const QString Skalowanie = QStringLiteral("Skalowanie");

QTimer* NewTimer(const char* name, int interval, QObject* owner)
{
    auto* timer = new QTimer(owner);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(interval);
    // Points are taken at these ticks: a coarse timer would let them wander by 5 % of the interval.
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

} // namespace

TFormaGlowna::TFormaGlowna(const QStringList& arguments, QWidget* parent) : QMainWindow(parent)
{
    RegisterIcons();
    setObjectName("TFormaGlowna");
    audAudioIn.setObjectName("audAudioIn");
    audAudioIn.SetBufferSize(512);
    audAudioIn.SetFrameRate(44100);
    audAudioIn.SetStereo(true);
    audAudioIn.SetWaveDevice(0);
    audAudioOut.setObjectName("audAudioOut");
    audAudioOut.SetBufferSize(4096);
    audAudioOut.SetFrameRate(44100);
    audAudioOut.SetWaveDevice(0);
    Mikser.setObjectName("Mikser");
    Meter = std::make_unique<TLevelMeter>(Measurement, InputDevice, Chart, Journal, *this);
    Sweep = std::make_unique<TSweep>(Measurement, InputDevice, OutputDevice, Chart, *this);
    Generator = std::make_unique<TSineGenerator>(Measurement, OutputDevice, &Sweep->Timeline());
    Meter->SetSweepPacing(Sweep.get());
    Recording =
        std::make_unique<TRecordingControl>(Measurement, InputDevice, OutputDevice, Chart, *this, *Sweep);
    Calibration = std::make_unique<TCalibration>(Measurement, InputDevice, OutputDevice, *Meter, *this);
    audAudioIn.OnBufferFilled = [this](float* samples, int& count) {
        return Meter->AnalyseBlock(samples, count);
    };
    audAudioOut.OnFillBuffer = [this](float* samples, int& count) {
        return Generator->FillOutputBlock(samples, count);
    };
    setWindowTitle("Tonvix");
    setMinimumSize(MinimumWidth, MinimumHeight);
    resize(MinimumWidth, MinimumHeight);

    tmrTimer = NewTimer("tmrTimer", 0, this);
    tmrKalibracja = NewTimer("tmrKalibracja", 0, this);
    tmrPauza = NewTimer("tmrPauza", TRecordingControl::PauseBlinkInterval, this);
    connect(tmrTimer, &QTimer::timeout, this, &TFormaGlowna::tmrTimerTimer);
    connect(tmrKalibracja, &QTimer::timeout, this, &TFormaGlowna::tmrKalibracjaTimer);
    connect(tmrPauza, &QTimer::timeout, this, &TFormaGlowna::tmrPauzaTimer);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreatePanels();
    CreateStatusBar();
    ConnectHandlers();
    CreateFileCommands();
    CreateExportCommands();
    connect(&Series, &TSeriesStore::StatusTextChanged, this,
            [this](const QString& text) { SetStatusPanel(4, text); });
    connect(&Series, &TSeriesStore::MenusChanged, this, &TFormaGlowna::UpdateStartAction);
    connect(&Series, &TSeriesStore::MenusChanged, this,
            [this] { chtWykres->SetChosenSeries(Series.ActiveSeries()); });
    connect(&Series, &TSeriesStore::Message, this, [this](const QString& text) { ShowMessage(text); });
    connect(&Series, &TSeriesStore::SlotChanged, this, &TFormaGlowna::UpdateLegend);
    connect(SeriesMenus.get(), &TSeriesMenus::RescaleRequested, this, [this] { SetUpAxes(false); });
    connect(chtWykres, &TChartView::ReadoutChanged, this,
            [this](const QString& text) { SetStatusPanel(3, text); });
    connect(chtWykres, &TChartView::OptionsPageRequested, this, &TFormaGlowna::ShowOptions);
    FormCreate(arguments);
}

TFormaGlowna::~TFormaGlowna()
{
    audAudioIn.StopNow(); // no block may reach the engine while it goes
    audAudioOut.StopNow();
    delete OdpowiedzImpulsowa; // its take ends and its settings go into Stored, which is saved now
    delete FunkcjaPrzenoszenia;
    // The window is going and no box can be shown any more; the reason goes to the error output.
    if (const QString failure = SaveSettings(); !failure.isEmpty())
        qWarning("%s", qUtf8Printable(failure));
    delete chtWykres; // it draws from Chart, which goes before the window's children
}

void TFormaGlowna::FormCreate(const QStringList& arguments)
{
    LoadSettings();
    // The edits' change handlers check the stored values as they would typed ones.
    edtStartFreq->setText(NumberFormat::General(Measurement.StartFreq));
    edtStopFreq->setText(NumberFormat::General(Measurement.StopFreq));
    edtLiczbaPunktow->setText(NumberFormat::Integer(Measurement.PointsCount));
    Sweep->ShowEstimatedTime();
    SetStatusPanel(1, NumberFormat::Integer(audAudioIn.FrameRate()) + " Hz");
    SeriesMenus->mmiPokazujRaportClick(false);
    cbKompensacjaClick();
    // A work folder that cannot be made is reported, and the dialogs keep their folder; the steps
    // after it still run, or the program would refuse digits and time its recordings by a counter
    // frequency never read.
    PrepareWorkFolder();
    actPlikNowyExecute();
    BuildNumericKeys();
    ApplyingSettings = true;
    cbCzasUsrednianiaChange();
    rgTrybPracyClick();
    ApplyingSettings = false;
    Measurement.CounterFrequency = ProgramClock().CounterFrequency();
    WatchDevices();
    // The cross-hair starts hidden, yellow and solid: the chart view's own start.
    RefreshRecentFiles();
    RecoverRecording();
    OpenFromCommandLine(arguments);
}

void TFormaGlowna::PrepareWorkFolder()
{
    // The program's own results folder in the user's documents is made when first needed; only a
    // folder the user chose that has gone since falls back to one in the current folder.
    if (DialogFolder == DefaultWorkFolder())
        QDir().mkpath(DialogFolder);
    if (!DialogFolder.isEmpty() && QDir(DialogFolder).exists())
        return;
    const QString folder = QDir::currentPath() + "/" + ResultsFolderName;
    if (!QDir(folder).exists() && !QDir().mkdir(folder)) {
        ShowError("Nie można utworzyć " + folder);
        return;
    }
    DialogFolder = folder;
}

void TFormaGlowna::BuildNumericKeys()
{
    NumericKeys = QStringLiteral("\b0123456789") + NumberFormat::DecimalSeparator();
    SignedNumericKeys = NumericKeys + '-';
}

QString TFormaGlowna::StatusPanel(int panel) const
{
    return StatusPanels.at(static_cast<std::size_t>(panel))->text();
}

void TFormaGlowna::SetStatusPanel(int panel, const QString& text)
{
    StatusPanels.at(static_cast<std::size_t>(panel))->setText(text);
}

QString TFormaGlowna::InitialReadout()
{
    return QStringLiteral(" 00") + NumberFormat::DecimalSeparator() + QStringLiteral("0dB");
}

void TFormaGlowna::ShowError(const QString& text)
{
    QMessageBox::critical(this, "Tonvix", text);
}

void TFormaGlowna::ShowMessage(const QString& text)
{
    QMessageBox::information(this, "Tonvix", text);
}

void TFormaGlowna::actPlikNowyExecute()
{
    Series.Reset();
    Sweep->Zero();
    FileName = TSeriesStore::UntitledFileName;
    setWindowTitle(TSeriesStore::WindowTitle(FileName, Measurement.Preferences.ShowPath));
}

void TFormaGlowna::UpdateLegend(int slot)
{
    if (slot < 0 || slot >= ResultSeriesCount)
        return;
    const SeriesSlot& record = Series.Slot(slot);
    chtWykres->SetLegendFacts(slot, TLegendFacts{record.SlotMeasured, record.SlotChannel,
                                                 record.SlotFrameRate, record.SlotAveragingTime,
                                                 Series.SeriesName(slot), record.SlotMicrophoneCorrected});
}

void TFormaGlowna::SetUpAxes(bool callerIsAction)
{
    if (Measurement.MeasurementKind == TMeasurementKind::SoundPressure)
        Recording->SetUpAxes(callerIsAction);
    else
        Sweep->SetUpAxes();
}

void TFormaGlowna::UpdateStartAction()
{
    const bool pressure = Measurement.MeasurementKind == TMeasurementKind::SoundPressure;
    actStart->setEnabled(!Calibration->Running() && (pressure || Sweep->StartAllowed()));
}

// ---- Closing and the save prompt

bool TFormaGlowna::QuerySaveResults(QObject* sender, bool kindChange)
{
    const bool byAction = qobject_cast<QAction*>(sender) != nullptr;
    if (kindChange && !byAction)
        return true; // the program switches the kind itself: never ask
    if (!Measurement.Preferences.PromptOnClose)
        return true;
    bool goOn = false;
    if (Measurement.ResultsSaved) {
        TFormaDialog dialog(byAction ? "Zmienić rodzaj pomiaru?" : "Zakończyć pracę z programem?", false,
                            this);
        goOn = dialog.Ask() != TFormaDialog::Nie;
    } else {
        TFormaDialog dialog(byAction ? "Zapisać wyniki pomiarów przed zmianą rodzaju pomiaru?"
                                     : "Zapisać wyniki pomiarów przed zamknięciem programu?",
                            true, this);
        switch (dialog.Ask()) {
        case TFormaDialog::Tak:
            goOn = SaveResults(); // only a file written and in place lets the action go on
            break;
        case TFormaDialog::Nie:
            ReleaseMemory();
            goOn = true;
            break;
        case TFormaDialog::Anuluj:
            break;
        }
    }
    if (goOn)
        Measurement.ResultsSaved = true;
    return goOn;
}

void TFormaGlowna::closeEvent(QCloseEvent* event)
{
    if (!QuerySaveResults(this, false)) {
        event->ignore();
        return;
    }
    if (Calibration->Running())
        Calibration->Stop();
    Recording->Stop(TStopSender::None);
    ReleaseMemory();
    event->accept();
}

// ---- The measurement kind

// Choosing the kind already in force changes nothing: switching would clear the measured series.
void TFormaGlowna::actPomiarCisnieniaExecute()
{
    if (Measurement.MeasurementKind != TMeasurementKind::SoundPressure)
        SelectKind(TMeasurementKind::SoundPressure, actPomiarCisnienia);
}

void TFormaGlowna::actPomiarCharakterystykExecute()
{
    if (Measurement.MeasurementKind != TMeasurementKind::FrequencyCharacteristic)
        SelectKind(TMeasurementKind::FrequencyCharacteristic, actPomiarCharakterystyk);
}

void TFormaGlowna::CheckKindAction(TMeasurementKind kind)
{
    (kind == TMeasurementKind::SoundPressure ? actPomiarCisnienia : actPomiarCharakterystyk)
        ->setChecked(true);
}

void TFormaGlowna::SelectKind(TMeasurementKind kind, QObject* sender)
{
    if (!QuerySaveResults(sender, true)) {
        CheckKindAction(Measurement.MeasurementKind); // the menu check went ahead of the answer
        return;
    }
    Measurement.MeasurementKind = kind;
    CheckKindAction(kind);
    ApplyKindLook(kind);
    if (kind == TMeasurementKind::SoundPressure) {
        mmiZerujGeneratorClick(); // "Zeruj czas"
        rgTrybPracyClick();
    } else {
        if (Measurement.AcquisitionOn) {
            Measurement.AcquisitionOn = false;
            cbAkwizycja->setChecked(false);
            ReleaseMemory();
        }
        Series.SyncPairing(); // the channel mode may have changed in the other kind
        SetStatusPanel(4, Series.StatusText());
        Chart.SetVisible(LeftChannelSeries, false);
        Chart.SetVisible(RightChannelSeries, false);
        for (int series = 0; series < ResultSeriesCount; ++series)
            Chart.Clear(series);
        SetUpAxes(false);         // for the emptied series
        mmiZerujGeneratorClick(); // "Zeruj generator"
    }
    UpdateStartAction();
}

void TFormaGlowna::ShowKindPanels(TMeasurementKind kind)
{
    const bool pressure = kind == TMeasurementKind::SoundPressure;
    pnlPanelDolny->setVisible(!pressure);
    pbPasekPostepu->setVisible(!pressure);
    btnPauza->setVisible(pressure);
    cbAkwizycja->setVisible(pressure);
}

void TFormaGlowna::ApplyKindLook(TMeasurementKind kind)
{
    const bool pressure = kind == TMeasurementKind::SoundPressure;
    mmiZerujGenerator->setText(pressure ? "Zeruj czas" : "Zeruj generator");
    if (pressure) {
        SetClockText("Czas: 00:00:00s");
        SetStatusPanel(2, QString());
        SetStatusPanel(4, QString());
        SetStatusPanel(0,
                       TCalibration::StateText(Measurement.TimeCalibrationL, Measurement.TimeCalibrationR));
    } else {
        SetClockText("Częstotliwość [Hz]");
        SetStatusPanel(2, NumberFormat::Integer(AmplitudeMillivolts(Measurement)) + " mV");
        SetStatusPanel(0,
                       TCalibration::StateText(Measurement.FreqCalibrationL, Measurement.FreqCalibrationR));
    }
    chtWykres->SetMeasurementKind(kind);
    ShowLevelUnit();
    chtWykres->SetBottomTitle(pressure ? "Czas [s]" : "Częstotliwość [Hz]");
    chtWykres->SetBottomLabelFormat(pressure ? "#0.0" : "####.");
    chtWykres->SetBottomLogarithmic(!pressure && Measurement.BottomAxisLogarithmic);
    chtWykres->SetLegendVisible(!pressure && Measurement.Preferences.ShowLegend);
    ShowKindPanels(kind);
    UpdateCompensation(); // the kind decides whether the sweep's method leaves it any use

    const QString command = pressure ? ZwolnieniePamieci : Skalowanie;
    mmiKosz->setText(command);
    mmiKosz->setEnabled(!pressure);
    tbnKosz->setToolTip(command);
    tbnKosz->setEnabled(!pressure);
    tbnKosz->setIcon(pressure ? QIcon::fromTheme("user-trash", QIcon(":/ikony/kosz.svg"))
                              : QIcon::fromTheme("zoom-fit-best", QIcon(":/ikony/skalowanie.svg")));

    // The current kind's action gives up F4; see CreateActions for where a press of F4 goes.
    actPomiarCisnienia->setShortcut(pressure ? QKeySequence() : QKeySequence(Qt::Key_F4));
    actPomiarCharakterystyk->setShortcut(pressure ? QKeySequence(Qt::Key_F4) : QKeySequence());
}

// ---- Channel mode, compensation, averaging

void TFormaGlowna::rgTrybPracyClick()
{
    const int mode = TrybPracyButtons->checkedId();
    const TChannelMode previous = Measurement.ChannelMode;
    Measurement.ChannelMode = static_cast<TChannelMode>(mode);
    lblWartoscL->setEnabled(mode != 1);
    lblWartoscP->setEnabled(mode != 0);
    if (Measurement.MeasurementKind == TMeasurementKind::SoundPressure) {
        Chart.SetVisible(LeftChannelSeries, mode != 1);
        Chart.SetVisible(RightChannelSeries, mode != 0);
    } else {
        Series.SyncPairing();
        // A stopped sweep measured other series than this mode would continue: the next starts afresh.
        if (Measurement.ChannelMode != previous && !Recording->InProgress())
            Sweep->Zero();
    }
    UpdateCompensation();
}

void TFormaGlowna::actTrybPracyExecute()
{
    TrybPracyButtons->button((TrybPracyButtons->checkedId() + 1) % 3)->click();
}

void TFormaGlowna::actTrybPracyShiftExecute()
{
    TrybPracyButtons->button((TrybPracyButtons->checkedId() + 2) % 3)->click();
}

void TFormaGlowna::UpdateCompensation()
{
    const bool available = Measurement.ChannelMode != TChannelMode::Both;
    mmiKompensacja->setVisible(available);
    cbKompensacja->setVisible(available);
    // A detected point is the channel's own, or its ratio to the reference channel, which does what the
    // compensation does and keeps the phase: the box is greyed rather than ticked and ignored.
    const bool detected = Measurement.MeasurementKind == TMeasurementKind::FrequencyCharacteristic &&
                          Measurement.Detection.Synchronous();
    const QString why = detected ? QStringLiteral("Przy detekcji synchronicznej jeden kanał odnosi się do "
                                                  "drugiego przez kanał odniesienia (opcje wykresu).")
                                 : QString();
    for (QObject* control : std::initializer_list<QObject*>{cbKompensacja, mmiKompensacja})
        control->setProperty("enabled", !detected);
    cbKompensacja->setToolTip(why);
    mmiKompensacja->setToolTip(why);
    Measurement.Compensation = available && !detected && mmiKompensacja->isChecked();
}

void TFormaGlowna::cbKompensacjaClick()
{
    mmiKompensacja->setChecked(cbKompensacja->isChecked());
    UpdateCompensation();
}

void TFormaGlowna::mmiKompensacjaClick()
{
    cbKompensacja->setChecked(mmiKompensacja->isChecked());
    cbKompensacjaClick();
}

void TFormaGlowna::actCzasUsrenianiaExecute()
{
    Recording->StepAveraging();
}

// ---- Tool bar, options, memory release

void TFormaGlowna::tbnKoszClick()
{
    if (Measurement.MeasurementKind == TMeasurementKind::SoundPressure) {
        ReleaseMemory();
        return;
    }
    TFormaSkalowanie scaling(Chart, SignedNumericKeys, this);
    if (scaling.exec() == QDialog::Accepted) {
        SetUpAxes(false);
        Measurement.ResultsSaved = false;
    }
}

void TFormaGlowna::ReleaseMemory()
{
    const bool collecting = Report::ReleaseMemory(Queue, InputRunning(), Measurement.AcquisitionOn);
    Journal.Discard();
    RecoveredConditions.reset();
    // In the frequency kind the same button is the scaling command, which stays as the kind set it.
    if (Measurement.MeasurementKind != TMeasurementKind::SoundPressure)
        return;
    mmiKosz->setEnabled(collecting);
    tbnKosz->setEnabled(collecting);
}

bool TFormaGlowna::InputRunning() const
{
    return audAudioIn.Running();
}

void TFormaGlowna::actKonfiguracjaExecute()
{
    ShowOptions("tabOgolne");
}

void TFormaGlowna::actOpcjeWykresuExecute()
{
    ShowOptions("tabWykres");
}

// The standard editing commands act on the focused edit (or the edit of a focused combo box).
static QLineEdit* FocusedEdit()
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* combo = qobject_cast<QComboBox*>(focus))
        return combo->lineEdit();
    return qobject_cast<QLineEdit*>(focus);
}

void TFormaGlowna::actEdycjaWytnijExecute()
{
    if (QLineEdit* edit = FocusedEdit())
        edit->cut();
}

void TFormaGlowna::actEdycjaKopiujExecute()
{
    if (QLineEdit* edit = FocusedEdit())
        edit->copy();
}

void TFormaGlowna::actEdycjaWklejExecute()
{
    if (QLineEdit* edit = FocusedEdit())
        edit->paste();
}

bool TFormaGlowna::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && (watched == edtStartFreq || watched == edtStopFreq ||
                                              watched == edtLiczbaPunktow || watched == cbCzasUsredniania)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool command = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        const bool accepted = watched == edtLiczbaPunktow
                                  ? text.isEmpty() || text.at(0).isDigit() || text.at(0) == '\b'
                                  : text.isEmpty() || IsNumericKey(text.at(0));
        if (!command && !accepted && text.at(0).isPrint())
            return true; // a character the number cannot hold
    }
    if (event->type() == QEvent::FocusOut &&
        (watched == edtStartFreq || watched == edtStopFreq || watched == edtLiczbaPunktow))
        SweepEditLeft(static_cast<QLineEdit*>(watched));
    if (event->type() == QEvent::KeyPress && watched == mmiPomiar &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F4) {
        // Inside the open "Pomiar" menu, F4 selects the kind that carries it (see CreateActions).
        QAction* other = Measurement.MeasurementKind == TMeasurementKind::SoundPressure
                             ? actPomiarCharakterystyk
                             : actPomiarCisnienia;
        mmiPomiar->close();
        other->trigger();
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == pnlPanelPrawy || watched == lblWartoscL || watched == lblWartoscP) {
            ShowOptions("tabOdswiezanieWykresu");
            return true;
        }
        if (watched == statusBar()) {
            ShowOptions("tabOgolne");
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormaGlowna::actDrukujExecute()
{
    chtWykres->PrintPreview();
}

void TFormaGlowna::mmiKopiujWykresClick()
{
    chtWykres->CopyToClipboard();
}

void TFormaGlowna::mmiPowiekszenieClick()
{
    chtWykres->ZoomIn();
}

void TFormaGlowna::mmiPomniejszenieClick()
{
    chtWykres->ZoomOut();
}

void TFormaGlowna::mmiAktualnaWielkoscClick()
{
    chtWykres->UndoZoom();
}

// ---- Handlers whose work lives in the engine

void TFormaGlowna::actPlikWyslijExecute()
{
    Poczta.Send([this](bool sent) {
        if (!sent)
            ShowError("Podczas wysyłania poczty wystąpił błąd.");
    });
}
void TFormaGlowna::actStartExecute()
{
    if (CardTakenByImpulseWindow() || CardTakenByTransferWindow())
        return;
    if (Measurement.MeasurementKind == TMeasurementKind::SoundPressure && Measurement.AcquisitionOn &&
        !JournalReady())
        return;
    Recording->Start(true);
}
void TFormaGlowna::actStopExecute()
{
    Recording->Stop(TStopSender::Action);
}
void TFormaGlowna::mmiZerujGeneratorClick()
{
    if (Measurement.MeasurementKind == TMeasurementKind::SoundPressure)
        Recording->ResetTime(); // "Zeruj czas"
    else
        Sweep->Zero();
}
void TFormaGlowna::edtStartFreqChange()
{
    Sweep->StartFreqChanged(edtStartFreq->text());
}
void TFormaGlowna::edtStopFreqChange()
{
    Sweep->StopFreqChanged(edtStopFreq->text());
}
void TFormaGlowna::edtLiczbaPunktowChange()
{
    Sweep->PointsChanged(edtLiczbaPunktow->text());
}
void TFormaGlowna::SweepEditLeft(QLineEdit* edit)
{
    const QString text = edit->text();
    const QString corrected = edit == edtStartFreq  ? Sweep->StartFreqOnExit(text)
                              : edit == edtStopFreq ? Sweep->StopFreqOnExit(text)
                                                    : Sweep->PointsOnExit(text);
    if (corrected != text)
        edit->setText(corrected); // which runs the change handler
}
void TFormaGlowna::btnPauzaClick()
{
    Recording->Pause();
}
void TFormaGlowna::cbAkwizycjaClick()
{
    if (cbAkwizycja->isChecked() && Recording->InProgress() && !JournalReady())
        cbAkwizycja->setChecked(false);
    Recording->SetAcquisition(cbAkwizycja->isChecked());
}
void TFormaGlowna::cbCzasUsrednianiaChange()
{
    Recording->AveragingChanged(ApplyingSettings);
}
void TFormaGlowna::tmrTimerTimer()
{
    Meter->Tick();
}
void TFormaGlowna::tmrPauzaTimer()
{
    Recording->PauseBlink();
}
void TFormaGlowna::tmrKalibracjaTimer()
{
    Calibration->TimerTick();
}
void TFormaGlowna::mmiNarzedziaKalibracjaClick()
{
    // The calibrator's level is kept in the settings; the rest of the request for the session.
    CalibrationRequest.ReferenceLevel = Measurement.CalibratorLevel;
    TFormaKalibracja dialog(Measurement.MeasurementKind, CalibrationRequest, this);
    switch (dialog.exec()) {
    case TFormaKalibracja::Wykonaj:
        CalibrationRequest = dialog.Request();
        Measurement.CalibratorLevel = CalibrationRequest.ReferenceLevel;
        actKalibracja->trigger();
        break;
    case TFormaKalibracja::Reset:
        Calibration->Reset();
        break;
    default:
        break;
    }
    SetStatusPanel(0, Calibration->StateText());
}
void TFormaGlowna::actKalibracjaExecute()
{
    if (CardTakenByImpulseWindow() || CardTakenByTransferWindow())
        return;
    Calibration->Start(CalibrationRequest);
}
void TFormaGlowna::actKalibracjaStopExecute()
{
    Calibration->Stop();
}
void TFormaGlowna::mmiMikserClick()
{
    if (!StartVolumeControl())
        ShowError("Could not execute system information!");
}
