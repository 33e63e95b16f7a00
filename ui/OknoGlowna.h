// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioIO.h"
#include "audio/Mixer.h"
#include "common/ChartModel.h"
#include "measure/Calibration.h"
#include "measure/MeasurementState.h"
#include "measure/MeterPorts.h"
#include "measure/RecordingPorts.h"
#include "measure/Sweep.h"
#include "results/AcquisitionQueue.h"
#include "results/Mail.h"
#include "results/RecordingJournal.h"
#include "results/ResultFile.h"
#include "results/SeriesStore.h"
#include "settings/WindowSettings.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;
class TChartView;
class TEventSound;
class TLevelMeter;
class TRecordingControl;
class TSeriesMenus;
class TSineGenerator;
class TSweep;
class TFormaAnalizatorWidma;
class TFormaStatystyki;
class TFormaOdpowiedzImpulsowa;
class TFormaFunkcjaPrzenoszenia;
struct TOpcjeProgramu;

// The program's only long-lived window: it owns the measurement state, the chart data, the wave
// components, the timers and every control, and its handlers stay thin and hand the work to the engine.
// The engine reaches the window through its ports (OknoGlownaPorty.cpp).
class TFormaGlowna : public QMainWindow,
                     public IMeterWindow,
                     public IRecordingWindow,
                     public ISweepWindow,
                     public ICalibrationWindow
{
    Q_OBJECT
public:
    static constexpr int StatusPanelCount = 5;
    static constexpr int MinimumWidth = 600;
    static constexpr int MinimumHeight = 440;

    // arguments: the command line as QCoreApplication::arguments() gives it ("/o" <file> opens a file).
    explicit TFormaGlowna(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~TFormaGlowna() override;

    TMeasurementState& State() { return Measurement; }
    TChartModel& ChartData() { return Chart; }
    TSweep& SweepEngine() { return *Sweep; }
    TAcquisitionQueue& AcquisitionQueue() { return Queue; }
    TSeriesStore& SeriesStore() { return Series; }
    TAudioIn& AudioIn() { return audAudioIn; }
    TAudioOut& AudioOut() { return audAudioOut; }
    QString CurrentFileName() const { return FileName; }
    QString WorkFolder() const { return DialogFolder; }

    QString StatusPanel(int panel) const;
    void SetStatusPanel(int panel, const QString& text);

    // Backspace, the digits and the decimal separator; the signed set adds "-".
    bool IsNumericKey(QChar key) const { return NumericKeys.contains(key); }
    bool IsSignedNumericKey(QChar key) const { return SignedNumericKeys.contains(key); }

    // Decides whether closing (kindChange false) or a kind change may go on. A sender that is an
    // action means the user asked; the window itself means the program did.
    bool QuerySaveResults(QObject* sender, bool kindChange);

    // IMeterWindow
    void SetReadoutText(int channel, const QString& text) override;
    void SetReadoutRed(int channel, bool red) override;
    void Beep() override;
    bool StartButtonEnabled() const override;
    void SetLevelAxisRange(double minimum, double maximum) override; // every port
    void SetTimeAxisAutomatic() override;
    int ActiveSeries() const override;
    void UpdateClockPanel() override;
    void SweepStep() override;

    // IRecordingWindow
    QString StatusText(int panel) const override { return StatusPanel(panel); }
    void SetStatusText(int panel, const QString& text) override { SetStatusPanel(panel, text); }
    void SetClockText(const QString& text) override;
    void BindStartButton(bool toStop) override;
    void BindStartMenuItem(bool toStop) override;
    void SetStartCaption(const QString& caption) override;
    void SetStartEnabled(bool enabled) override;
    void SetPauseEnabled(bool enabled) override;
    void SetKindAndCalibrationEnabled(bool enabled) override;
    void SetOptionsEnabled(bool enabled) override;
    void SetAveragingEnabled(bool enabled) override;
    void SetSeriesMenusEnabled(bool enabled) override;
    void SetMemoryReleaseEnabled(bool enabled) override;
    void SetZoomAllowed(bool allowed) override;
    void SetReadoutsBlack() override;
    void SetTickInterval(int milliseconds) override;
    void SetPauseBlinking(bool on) override;
    void SetTimeAxisRange(double minimum, double maximum) override;
    void SetTimeAxisAutoRange(bool on) override;
    void ShowError(const QString& text) override;
    bool AcquisitionQueueEmpty() const override { return Queue.Empty(); }
    void StoreChannelPeakLevels(double left, double right) override;
    void ShowReport(int series) override;
    int AveragingItem() const override;
    void SetAveragingItem(int item) override;
    void SetOtherAveragingText(const QString& text) override;
    bool AskAveragingTime(double& seconds) override;

    // ISweepWindow
    bool ChooseSeries(int continuedSeries) override;
    void SetSeriesShown(int series, bool shown) override;
    void StoreSweepConditions(int series, const TSweepConditions& conditions) override;
    void StoreSweepPeakLevel(int series, double level) override;
    void SetSweepEditsEnabled(bool enabled) override;
    void SetProgress(int position) override;
    void SetProgressMaximum(int maximum) override;
    void SetEstimatedTime(const QString& text) override;
    void ClickStartButton() override;
    void StartConditionsChanged() override { UpdateStartAction(); }
    void SetFrequencyAxisRange(double minimum, double maximum) override;
    void ShowDelay(const QString& text) override;
    double AirTemperature() const override;
    bool SeparateClocks() const override;

    // ICalibrationWindow
    void SetCalibrating(bool on) override;
    void SetCalibrationTimerInterval(int milliseconds) override;

public slots:
    // File
    void actPlikNowyExecute();
    void actPlikOtworzExecute();
    void actPlikZapiszExecute();
    void actPlikZapiszJakoExecute();
    void actPlikWyslijExecute();
    void mmiOstatniPlikClick(int entry);
    void actDrukujExecute();
    // Edit
    void actEdycjaWytnijExecute();
    void actEdycjaKopiujExecute();
    void actEdycjaWklejExecute();
    void mmiKopiujWykresClick();
    // View
    void mmiPowiekszenieClick();
    void mmiPomniejszenieClick();
    void mmiAktualnaWielkoscClick();
    void mmiSzczegolyClick(); // any of the detail view's items
    // Measurement
    void actPomiarCisnieniaExecute();
    void actPomiarCharakterystykExecute();
    void actStartExecute();
    void actStopExecute();
    void mmiZerujGeneratorClick();
    void edtStartFreqChange();
    void edtStopFreqChange();
    void edtLiczbaPunktowChange();
    void btnPauzaClick();
    void cbAkwizycjaClick();
    void cbCzasUsrednianiaChange();
    void actCzasUsrenianiaExecute();
    void rgTrybPracyClick();
    void actTrybPracyExecute();
    void actTrybPracyShiftExecute();
    void cbKompensacjaClick();
    void mmiKompensacjaClick();
    void tmrTimerTimer();
    void tmrPauzaTimer();
    void tmrKalibracjaTimer();
    // Tools
    void mmiNarzedziaKalibracjaClick();
    void actKalibracjaExecute();
    void actKalibracjaStopExecute();
    void mmiMikserClick();
    void actKonfiguracjaExecute();
    void actOpcjeWykresuExecute();
    void tbnKoszClick();
    // Help (OknoGlownaPomoc.cpp)
    void actPomocPodrecznikExecute();
    void actPomocOExecute();
    // Result files, recent files, save selection and the queue dump (OknoGlownaPliki.cpp)
    void actWybierzDoZapisuExecute();
    void DumpQueue();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Building (OknoGlownaMenu.cpp and OknoGlownaPanele.cpp)
    QAction* NewAction(const char* name, const QString& caption, const QKeySequence& shortcut = {});
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreatePanels();
    void CreateStatusBar();
    void ConnectHandlers();

    // Creation steps
    void FormCreate(const QStringList& arguments);
    void LoadSettings();
    void ApplyPosition(const TWindowPosition& position);
    QString SaveSettings(); // the Polish reason when the file could not be written, and it stays as it was
    void PrepareWorkFolder();
    void BuildNumericKeys();
    void OpenFromCommandLine(const QStringList& arguments);

    // Result files, recent files, the recording journal (OknoGlownaPliki.cpp)
    void CreateFileCommands();
    bool SaveResults(); // true once the results are written and in place
    bool WriteResultFile(const QString& fileName);
    bool OpenResultFile(const QString& fileName, bool byUser);
    void SetUpAxesAfterReading();
    void UpdateRecentFiles(const QString& fileName);
    void RefreshRecentFiles();
    void RecoverRecording();
    bool OpenLeftJournal(TRecordingJournal::TLeftJournal& left);
    // Whether a recording that acquires may go on: it has a journal place, or the user chose to record
    // without one once told why there is none.
    bool JournalReady();
    // What the queue's recording was measured with: a recovered journal's own, or what is in force.
    ResultFile::TRecordingConditions QueueConditions() const;

    void SelectKind(TMeasurementKind kind, QObject* sender);
    void ApplyKindLook(TMeasurementKind kind);
    void ShowKindPanels(TMeasurementKind kind); // the panels and controls only one kind has
    void CheckKindAction(TMeasurementKind kind);
    void UpdateCompensation();
    // actStart: never while calibrating; in the frequency kind only when a sweep may start.
    void UpdateStartAction();
    void SweepEditLeft(QLineEdit* edit);
    void SetSweepParametersEnabled(bool enabled); // edtStartFreq, edtStopFreq, edtLiczbaPunktow
    void ReleaseMemory();
    void UpdateLegend(int slot);
    void SetUpAxes(bool callerIsAction);
    bool InputRunning() const;
    void ShowOptions(const QString& page);
    void ShowMessage(const QString& text);
    static QString InitialReadout();

    // The options dialog and the sound devices (OknoGlownaOpcje.cpp, OknoGlownaUrzadzenia.cpp)
    TOpcjeProgramu CurrentOptions() const;
    void ApplyOptions(const TOpcjeProgramu& options);
    void WatchDevices();
    void ShowDevices(bool noteMissing);
    bool DeviceFailed(const TAudioIO& device) const;
    void DeviceStopped(const TAudioIO& device);

    TMeasurementState Measurement;
    TChartModel Chart;
    TAcquisitionQueue Queue;
    TSeriesStore Series{Measurement, Chart};
    std::unique_ptr<TSeriesMenus> SeriesMenus; // built with the menus; gone before the store
    TWindowSettings Stored;                    // what the settings gave the window, written back at the end
    // The wave components and the engine on them; the engine goes first, then the components.
    TAudioIn audAudioIn;
    TAudioOut audAudioOut;
    TWaveDeviceOf<TAudioIn> InputDevice{audAudioIn};
    TWaveDeviceOf<TAudioOut> OutputDevice{audAudioOut};
    TRecordingJournal Journal{Queue, Measurement, InputDevice}; // every acquired value passes through it
    // Line 4 of the journal whose values the queue holds, kept until the queue is released.
    std::optional<ResultFile::TRecordingConditions> RecoveredConditions;
    std::unique_ptr<TLevelMeter> Meter;
    std::unique_ptr<TSineGenerator> Generator;
    std::unique_ptr<TRecordingControl> Recording;
    std::unique_ptr<TSweep> Sweep;
    std::unique_ptr<TCalibration> Calibration;
    TCalibrationRequest CalibrationRequest; // what the calibration dialog chose last
    // Mixer list and mail hand-over
    tMsMixerSystem Mikser{this}; // a child, so that it is found by name
    TMailHandOver Poczta;
    std::unique_ptr<TEventSound> OverloadSound; // made at the first overload
    QString FileName;
    QString DialogFolder;
    QString NumericKeys, SignedNumericKeys;
    bool ApplyingSettings =
        false; // the initialising mark: handlers tell the program's changes from the user's

    // Actions
    QAction *actPlikNowy{}, *actPlikOtworz{}, *actPlikZapisz{}, *actPlikZapiszJako{}, *actPlikWyslij{};
    QAction *actPlikZakoncz{}, *actDrukuj{}, *actEdycjaWytnij{}, *actEdycjaKopiuj{}, *actEdycjaWklej{};
    QAction *actPomocPodrecznik{}, *actPomocO{}, *actPomiarCisnienia{}, *actPomiarCharakterystyk{},
        *actKonfiguracja{};
    QAction *actOpcjeWykresu{}, *actStart{}, *actStop{}, *actTrybPracy{}, *actTrybPracyShift{};
    QAction *actCzasUsreniania{}, *actKalibracja{}, *actKalibracjaStop{}, *actAktywacja{};
    QAction *actWybierzSerie{}, *actWybierzDoZapisu{};
    QActionGroup* KindGroup{};

    // Menu items that are not actions of the list
    std::array<QAction*, 8> mmiOstatnie{};
    std::array<QAction*, 8> pmiOstatnie{};
    QAction *mmiKopiujWykres{}, *pmiKopiujWykres{}, *mmiPowiekszenie{}, *mmiPomniejszenie{};
    QAction *mmiAktualnaWielkosc{}, *mmiZerujGenerator{}, *mmiNarzedziaKalibracja{}, *mmiMikser{};
    QAction *mmiKompensacja{}, *mmiKosz{}, *SeparatorPrzedWyslij{}, *SeparatorPrzedZakoncz{};
    QMenu *mmiPlik{}, *mmiEdycja{}, *mmiWidok{}, *mmiPomiar{}, *mmiNarzedzia{}, *mmiPomoc{};
    QMenu *pmiWykres{}, *pmiOtworz{};
    // "Widok": what the frequency chart shows of synchronously detected points, in TDetailView's order
    // (phase, unwrapped, H2, H3, THD, in %).
    std::array<QAction*, 6> mmiSzczegoly{};
    TDetailView ChosenDetailView() const;
    void ShowDetailView(const TDetailView& view);

    // Tool bar
    QToolBar* tlbPasekNarzedzi{};
    QToolButton *tbnOtworz{}, *tbnKosz{};
    QAction *tbnDrukujItem{}, *tbnWyslijSeparator{}, *tbnDrukujSeparator{};

    // Panels and controls
    QWidget *pnlPanelDolny{}, *pnlPanelPrawy{};
    TChartView* chtWykres{};
    QProgressBar* pbPasekPostepu{};
    QLineEdit *edtStartFreq{}, *edtStopFreq{}, *edtLiczbaPunktow{}, *edtCzasPomiaru{}, *edtOpoznienie{};
    QComboBox* cbCzasUsredniania{};
    QLabel *pnlCzas{}, *lblWartoscL{}, *lblWartoscP{};
    QGroupBox* rgTrybPracy{};
    QButtonGroup* TrybPracyButtons{};
    QCheckBox *cbKompensacja{}, *cbAkwizycja{};
    QToolButton* btnStart{};
    QPushButton* btnPauza{};
    std::array<QLabel*, StatusPanelCount> StatusPanels{};

    // Timers
    QTimer *tmrTimer{}, *tmrKalibracja{}, *tmrPauza{};

    // Frequency weighting, measurement statistics and the conformance test (OknoGlownaKorekcja.cpp)
public:
    // The meter's weighting with everything that shows it: read-outs, level axis title, statistics.
    void SetFrequencyWeighting(TFrequencyWeighting weighting);
    void ShowLevelUnit(); // of the weighting in force in this kind
public slots:
    void mmiStatystykiClick();
    void mmiTestZgodnosciClick();

private:
    QFont ReadoutFont(const QString& unit) const; // fitted to the right panel (OknoGlownaPanele.cpp)
    // The window's size when none is stored: the smallest, not below the minimum, in which every
    // caption and status text of both kinds reads whole in the fonts in use (OknoGlownaPanele.cpp).
    QSize FirstScreenSize();
    QAction *mmiStatystyki{}, *mmiTestZgodnosci{};
    TFormaStatystyki* Statystyki{}; // made when first asked for, then shown and hidden

    // Export as CSV and FRD (OknoGlownaEksport.cpp) and the measurement microphones' calibration
    // files (OknoGlownaMikrofon.cpp)
public slots:
    void actPlikEksportujExecute();

private:
    void CreateExportCommands();
    bool ConfirmOverwrite(const QStringList& files); // asks once for all that exist
    void LoadMicrophoneFiles();                      // after the settings; a file that fails is said
    QAction* actPlikEksportuj{};

    // The window "Odpowiedź impulsowa" (OknoGlownaOdpowiedz.cpp)
public slots:
    void mmiOdpowiedzImpulsowaClick();

private:
    // True, once said to the user, while the impulse-response window measures: the card is one.
    bool CardTakenByImpulseWindow();
    QAction* mmiOdpowiedzImpulsowa{};
    TFormaOdpowiedzImpulsowa* OdpowiedzImpulsowa{}; // made when first asked for
    // The window "Funkcja przenoszenia" (OknoGlownaPrzenoszenie.cpp)
public slots:
    void mmiFunkcjaPrzenoszeniaClick();

private:
    // True, once said to the user, while the transfer-function window holds the card.
    bool CardTakenByTransferWindow();
    // Why a window other than `asking` holds the card ("trwa pomiar w oknie głównym"); empty: none.
    QString CardHolder(const QWidget* asking) const;
    QAction* mmiFunkcjaPrzenoszenia{};
    TFormaFunkcjaPrzenoszenia* FunkcjaPrzenoszenia{}; // made when first asked for
    // The spectrum analyser beside the window, on its input (OknoGlownaAnalizator.cpp)
public slots:
    void mmiAnalizatorWidmaClick();

private:
    QAction* mmiAnalizatorWidma{};
    TFormaAnalizatorWidma* AnalizatorWidma{}; // made when first asked for, then shown and hidden
};
