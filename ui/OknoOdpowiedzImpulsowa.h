// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/ImpulseResponse.h"
#include "measure/ImpulseMeasurement.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QCPItemStraightLine;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class TAudioIO;
class TFormaAkustykaPomieszczenia;
struct TImpulseWindowSettings;

// "Odpowiedź impulsowa": the impulse response of whatever lies between the card's output and its input,
// from a synchronized sweep (TImpulseMeasurement), with its gate, magnitude and phase, group delay,
// distortion and delay. Several measurements are kept side by side, each shown or hidden by its check
// box; the current one's gate is set in the edits or by dragging its two lines on the impulse views.
// The card is one: a start is refused while the main window measures.
class TFormaOdpowiedzImpulsowa : public QWidget
{
    Q_OBJECT
public:
    // mainIn, mainOut: the main window's components, whose frame rate, devices and blocks a take uses;
    // settings: the window's part of the program's settings, read now and kept up to date;
    // mainMeasuring: whether the main window uses the card.
    TFormaOdpowiedzImpulsowa(const TAudioIO& mainIn, const TAudioIO& mainOut,
                             TImpulseWindowSettings& settings, std::function<bool()> mainMeasuring,
                             const QString& folder, QWidget* parent = nullptr);
    ~TFormaOdpowiedzImpulsowa() override;

    bool Measuring() const { return Engine.Measuring(); }
    int MeasurementCount() const { return static_cast<int>(Measurements.size()); }

public slots:
    void btnStartClick();
    void btnStopClick();
    void btnOtworzClick();
    void btnZapiszWavClick();
    void btnZapiszCharakterystykeClick();
    void btnUsunClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One measurement of the list: a response with its analysis, or a characteristic read from a file.
    struct TPomiar
    {
        QString Name;
        QColor Colour;
        std::unique_ptr<TImpulseResponse> Response; // null for a characteristic alone
        std::unique_ptr<TImpulseAnalysis> Analysis;
        TGate Gate;
        TResponseCurves Curves;
    };
    enum class TGateEdge { None, Start, End };

    void CreateControls();
    QWidget* CreatePanel();
    void ApplySettings();
    void StoreSettings();
    TImpulseSettings ChosenSettings() const;
    void TakeFinished(bool measured);
    void AddMeasurement(std::unique_ptr<TPomiar> pomiar);
    TPomiar* Current() const;
    void CurrentChanged();
    void Analyse(TPomiar& pomiar);
    void AnalysisChanged(); // smoothing, phase kind, phase reference: every measurement again
    void GateEdited();
    void SetGate(TPomiar& pomiar, double start, double end, bool analyse);
    void ShowGate();
    void ShowDelay();
    void SetMeasuringLook(bool measuring);
    QString ChooseFile(bool save, const QString& title, const QStringList& filters,
                       QString* filter = nullptr);

    // Charts (OknoOdpowiedzImpulsowaWykresy.cpp)
    QCustomPlot* NewChart(const char* name, const QString& xTitle, const QString& yTitle, bool logarithmic);
    void Redraw();
    void ShowRoom(); // the measurements to the page "Akustyka pomieszczenia"
    void DrawImpulses();
    void DrawCurves();
    void ShowImpulseAround(const TPomiar& pomiar); // the impulse views' time range, for the next drawing
    TGateEdge EdgeAt(QCustomPlot* chart, double x) const;
    void DragGate(TGateEdge edge, double milliseconds);

    TImpulseMeasurement Engine;
    const TAudioIO& MainIn;
    const TAudioIO& MainOut;
    TImpulseWindowSettings& Settings;
    std::function<bool()> MainMeasuring;
    QString Folder;
    std::vector<std::unique_ptr<TPomiar>> Measurements;
    int Taken = 0; // measurements made so far, for their names
    TGateEdge Dragging = TGateEdge::None;

    // Panel
    QLineEdit *edtStartFreq{}, *edtStopFreq{}, *edtPoziom{}, *edtCzasPoSweepie{}, *edtTemperatura{};
    QLineEdit *edtBramkaPoczatek{}, *edtBramkaKoniec{};
    QComboBox *cbDlugosc{}, *cbKanalPomiarowy{}, *cbKanalOdniesienia{}, *cbOkno{}, *cbWygladzanie{},
        *cbFaza{};
    QSpinBox* udPowtorzenia{};
    QCheckBox* cbFazaOdSzczytu{};
    QLabel *lblUrzadzenia{}, *lblNajnizszaCzestotliwosc{}, *lblOpoznienie{}, *lblStan{};
    QPushButton *btnStart{}, *btnStop{}, *btnOtworz{}, *btnZapiszWav{}, *btnZapiszCharakterystyke{},
        *btnUsun{};
    QProgressBar* pbPostep{};
    QListWidget* lstPomiary{};
    QTimer* tmrPostep{};

    // Views
    QTabWidget* tabWidoki{};
    QCustomPlot *chtImpuls{}, *chtImpulsDb{}, *chtModul{}, *chtFaza{}, *chtOpoznienie{},
        *chtZnieksztalcenia{};
    TFormaAkustykaPomieszczenia* AkustykaPomieszczenia{};
};
