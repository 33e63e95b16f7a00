// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "measure/FrequencyWeighting.h"
#include "measure/MeasurementState.h"
#include "settings/WindowSettings.h"

#include <QByteArray>
#include <QDialog>
#include <QFont>
#include <QString>
#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class TAudioIO;
struct TMeasurementState;

// What "Opcje programu" edits: the main window fills it with the values in force, the dialog shows and
// checks them, and on OK the window applies what the dialog gives back.
struct TOpcjeProgramu
{
    // "  Ogólne  "
    int FrameRate = 48000;
    int AmplitudeMv = 1000; // the generator's amplitude in mV
    int MaxAmplitudeMv = 1311;
    QByteArray InputDevice, OutputDevice; // stable names; empty: the default device
    TFrequencyWeighting Weighting = TFrequencyWeighting::Z;
    // "Odświeżanie wykresu"
    int PointTime = 250;
    int ChartTimeRefresh = 250;
    int DisplayTimeRefresh = 4;
    // "Kalibracja"
    double CalibrationStartFreq = 100, CalibrationStopFreq = 10000;
    int CalibrationPointsCount = 100, CalibrationTime = 50;
    std::array<QString, 2> MicrophoneFiles; // left, right; empty: no correction
    // "Preferencje"
    bool ShowPath = false;
    int FreqExcessPercent = 10;
    int LevelExcessDb = 5;
    QString WorkDir;
    bool MinimizeOnMeasurment = false, PromptOnClose = false;
    // "Pomiar ciśnienia-ustawienia osi"
    int ChartTimeScope = 2;
    bool TimeAutoScale = true;
    double TimeScaleMinimum = 0, TimeScaleMaximum = 5;
    bool TimeAutoLevelScale = false;
    double TimeLevelScaleMinimum = -90, TimeLevelScaleMaximum = 0;
    // "Pomiar charakterystyk-ustawienia osi"
    int FreqAutoScale = 0; // 0 fit to the data, 1 to the generator, 2 fixed
    double FreqScaleMinimum = 100, FreqScaleMaximum = 10000;
    bool FreqAutoLevelScale = false;
    double FreqLevelScaleMinimum = -90, FreqLevelScaleMaximum = 0;
    TDetectionSettings Detection; // "Pomiar punktu": the method, the reference channel, the THD+N band
    // "Wykres"
    QString ChartName; // the chart's foot, one line per line
    QFont ChartNameFont;
    bool ShowChartName = false;
    QString BottomTitle, LeftTitle;
    QFont BottomTitleFont, LeftTitleFont;
    bool ShowCross = false;
    bool BottomAxisLogarithmic = true;
    // "Legenda"
    bool ShowLegend = false;
    std::array<QString, ResultSeriesCount> SeriesNames;
    bool ShowCanal = true, ShowFrameRate = true, ShowAverageTime = true;
    // "Kolor i styl serii": chart order, result series 1..8, left, right
    std::array<TSeriesFormat, ChartSeriesCount> Series{};
};

// "Opcje programu", the program's preferences on nine pages. The advanced dialog opened from it
// applies its own changes at once (to the measurement state and, while the input is not running, to
// the wave components); everything else waits for the window's apply step after OK.
class TFormaOpcjeWykresu : public QDialog
{
    Q_OBJECT
public:
    static const QStringList FrameRates; // the items of the sampling-rate list, in Hz
    static constexpr int MaxNameLength = 44;

    TFormaOpcjeWykresu(const TOpcjeProgramu& inForce, TMeasurementState& state, TAudioIO& input,
                       TAudioIO& output, QWidget* parent = nullptr);
    ~TFormaOpcjeWykresu() override;

    // The page shown first, by its name ("tabWykres", ...); any other name leaves "  Ogólne  ".
    void SetPage(const QString& page);
    // The values as the dialog holds them (as the user left them, checked).
    TOpcjeProgramu Values() const;
    int MinRefreshInterval() const { return MinInterval; }
    // OK and Enter: an edit still focused is checked as if it had been left.
    void accept() override;

signals:
    void MikserRequested(); // "&Mikser"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Building, one page each
    QWidget* PageOgolne();
    QWidget* PageOdswiezanie();
    QWidget* PageKalibracja();
    QWidget* PagePreferencje();
    QWidget* PagePomiarCisnienia();
    QWidget* PagePomiarCharakterystyk();
    QWidget* PageWykres();
    QWidget* PageLegenda();
    QWidget* PageKolory();
    QLineEdit* NewEdit(const char* name, const QString& allowedKeys);

    void Fill();
    void FillDevices();
    void ShowMinRefreshInterval();
    void UpdateEnabling();
    void CheckOnLeaving(QLineEdit* edit);
    void CheckPair(QLineEdit* edited, QLineEdit* minimum, QLineEdit* maximum);
    // "Skala osi poziomu" of one kind (1: sound pressure, 2: frequency characteristic), its controls named
    // with the number: the automatic range or a fixed one, whose edits are checked as a pair when typed.
    QGroupBox* LevelAxisGroup(QWidget* page, int number, QRadioButton*& automatic, QRadioButton*& fixed,
                              QLineEdit*& minimum, QLineEdit*& maximum, QList<QWidget*>& fixedControls);
    void btnZaawansowaneClick();
    void ChooseColour(int series);
    void ChooseFormat(int series);
    void DrawSample(int series);
    void ChooseFont(QFont& font);
    void ChooseFolder();
    void ChooseMicrophoneFile(int channel);
    // A microphone file that is not in force yet must read; false (after saying why) when it does not.
    bool MicrophoneFileReads(int channel);
    void StartTimerCheck();
    void tmrKontrolaDokladnosciTimer();
    int SelectedFrameRate() const;
    double HalfFrameRate() const;
    // A recording running or paused keeps its weighting: its values and its statistics are of one.
    bool WeightingLocked() const;

    TOpcjeProgramu InForce;
    TMeasurementState& State;
    TAudioIO& Input;
    TAudioIO& Output;
    static constexpr int SampleWidth = 65, SampleHeight = 17; // a sample picture
    int MinInterval = 1;
    QFont ChartNameFont, BottomTitleFont, LeftTitleFont;
    std::array<TSeriesFormat, ChartSeriesCount> Formats{};
    std::int64_t TimerCheckStart = 0;

    QTabWidget* pgcOpcjeWykresu{};
    // "  Ogólne  "
    QComboBox *cbCzestotliwoscProbkowania{}, *cbUrzadzenieWejsciowe{}, *cbUrzadzenieWyjsciowe{};
    QComboBox* cbKorekcja{};
    QLineEdit* edtAmplituda{};
    QFrame* pnlKontrolaDokladnosci{};
    QTimer* tmrKontrolaDokladnosci{};
    // "Odświeżanie wykresu"
    QLineEdit *edtZmianaCzestotliwosci{}, *edtOdswiezanieWykresu{}, *edtOdswiezanieWyswietlacza{},
        *edtMnoznik{};
    QLabel *lblMS2{}, *lblMS3{};
    // "Kalibracja"
    QLineEdit *edtKalStartFreq{}, *edtKalStopFreq{}, *edtKalLiczbaPunktow{}, *edtKalZmianaCzestotliwosci{};
    std::array<QLineEdit*, 2> edtPlikKalibracjiMikrofonu{}; // "...L", "...P"
    // "Preferencje"
    QCheckBox *cbPokazSciezke{}, *cbMinimalizuj{}, *cbPytaj{};
    QLineEdit *edtNadmiarCzestotliwosci{}, *edtnadmiarPoziomu{}, *edtKatalogRoboczy{};
    QSpinBox *udNadmiarCzestotliwosci{}, *udNadmiarPoziomu{};
    // "Pomiar ciśnienia-ustawienia osi"
    QRadioButton *rbZmienna{}, *rbStala{}, *rbAutoPoziom1{}, *rbStalyPoziom1{};
    QLineEdit *edtCzasHistorii{}, *edtMinX{}, *edtMaxX{}, *edtPoziomMin1{}, *edtPoziomMax1{};
    QList<QWidget*> ZmiennaControls, StalaControls, StalyPoziom1Controls;
    // "Pomiar charakterystyk-ustawienia osi"
    QRadioButton *rbDopasujDoMinMax{}, *rbDopasujDoGeneratora{}, *rbUstawNaStale{}, *rbAutoPoziom2{},
        *rbStalyPoziom2{};
    QLineEdit *edtMin{}, *edtMax{}, *edtPoziomMin2{}, *edtPoziomMax2{};
    QList<QWidget*> UstawNaStaleControls, StalyPoziom2Controls;
    QComboBox *cbMetodaPomiaru{}, *cbKanalOdniesienia{};
    QLineEdit *edtPasmoOd{}, *edtPasmoDo{}, *edtCzasUstalania{};
    QList<QWidget*> DetekcjaControls; // what only the synchronous detection uses
    // "Wykres"
    QPlainTextEdit* memNazwaWykresu{};
    QCheckBox *cbPokazNazwe{}, *cbRysujKrzyz{}, *cbLogarytmiczna{};
    QLineEdit *edtOpisX{}, *edtOpisY{};
    // "Legenda"
    QCheckBox *cbPokazLegende{}, *cbPokazujKanal{}, *cbPokazujCzestotliwosc{}, *cbPokazujCzasUsredniania{};
    std::array<QLineEdit*, ResultSeriesCount> edtSeria{};
    // "Kolor i styl serii": chart order, as the formats
    std::array<QLabel*, ChartSeriesCount> imgSeria{};
    std::array<QFrame*, ChartSeriesCount> pnlSeria{};
};
