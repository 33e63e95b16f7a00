// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioIO.h"
#include "measure/RealTimeAnalyser.h"

#include <QDialog>
#include <QPointer>
#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QElapsedTimer;
class QLabel;
class QPushButton;
class QTimer;
class TSonogramView;
class TAnalyserChart;
struct TMeasurementState;

// "Analizator widma": the fractional-octave bands or the FFT spectrum of both channels, live, with a
// spectrogram of the last minute. It stays open beside the main window. While the main window's input
// records (a sound-pressure recording, a sweep, a calibration) the window analyses the very blocks the
// meter analyses; otherwise it opens the input itself with the same device and format, and lets go
// of it the moment the main window opens its input. Block analysis is all the work done per block;
// the transform and the drawing run on the window's timer.
class TFormaAnalizatorWidma : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RefreshInterval = 100; // ms between two pictures
    static constexpr int RetryInterval = 2000;  // ms before opening a failed input again

    TFormaAnalizatorWidma(TAudioIn& recordingInput, const TMeasurementState& state,
                          QWidget* parent = nullptr);
    ~TFormaAnalizatorWidma() override;

    // Handlers
    void AnalysisChange(); // view, weighting, FFT size or window: a new engine
    void cbStalaCzasowaChange();
    void cbUsrednianieChange();
    void btnPauzaClick();
    void btnZerujClick();
    void btnKopiujClick();
    void btnZapiszRysunekClick();
    void btnEksportujClick();
    void tmrOdswiezanieTimer();

    // Where the file dialogs start: the main window's folder of results.
    void SetFolder(const QString& folder) { Folder = folder; }
    const TRealTimeAnalyser* Analyser() const { return Engine.get(); }
    bool OwnInputOpen() const { return OwnInput.DeviceOpen(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TSpectrumSettings ChosenSettings() const;
    bool BandView() const;
    std::array<bool, 2> ShownChannels() const;
    std::array<double, 2> Calibration() const;
    void Analyse(const float* samples, int count);
    void FollowSource();
    void StartOwnInput();
    void StopOwnInput();
    void Draw(bool live);
    bool ConfirmOverwrite(const QString& fileName);
    void ShowError(const QString& text);

    TAudioIn& RecordingInput;
    QPointer<TAudioIn> RecordingAlive; // the main window's input may go before this window does
    const TMeasurementState& State;
    TAudioIn OwnInput;
    std::unique_ptr<TRealTimeAnalyser> Engine;
    std::unique_ptr<QElapsedTimer> SinceFailure; // since the own input last failed to open
    bool Paused = false;
    int Pictures = 0; // drawn since the last spectrogram column
    QString Folder;

    QComboBox *cbWidok, *cbKorekcja, *cbStalaCzasowa, *cbRozmiarFft, *cbOkno, *cbUsrednianie;
    QCheckBox *cbGestosc, *cbKanalLewy, *cbKanalPrawy, *cbSzczyty, *cbSpektrogram;
    QPushButton *btnPauza, *btnZeruj, *btnKopiuj, *btnZapiszRysunek, *btnEksportuj;
    TAnalyserChart* chtWidmo;
    TSonogramView* chtSpektrogram;
    QLabel *lblOdczyt, *lblZrodlo;
    QTimer* tmrOdswiezanie;
};
