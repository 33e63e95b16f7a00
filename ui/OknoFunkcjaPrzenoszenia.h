// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/TransferFunction.h"
#include "measure/TransferMeasurement.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class TAudioIO;
class TSonogramView;
struct TTransferWindowSettings;

// "Funkcja przenoszenia": the live transfer function between a reference input (the mixing console's
// output, wired to the card) and a measured one (a microphone), from the program's pink or white
// noise or from whatever music plays (TTransferMeasurement): magnitude, phase and coherence ten
// times a second, points below a coherence threshold faint or hidden, the delay and the averages, and
// the magnitude's spectrogram. Curves are kept as series beside the live one, each shown or hidden by
// its check box, named, removed, saved as CSV or FRD and opened again. The card is one: a start is
// refused while another window measures.
class TFormaFunkcjaPrzenoszenia : public QWidget
{
    Q_OBJECT
public:
    // mainIn, mainOut: the main window's components, whose frame rate, devices and output blocks the
    // measurement uses; settings: the window's part of the program's settings, read now and kept up to
    // date; cardBusy: why another window holds the card ("trwa pomiar w oknie głównym"), empty when
    // none does.
    TFormaFunkcjaPrzenoszenia(const TAudioIO& mainIn, const TAudioIO& mainOut,
                              TTransferWindowSettings& settings, std::function<QString()> cardBusy,
                              const QString& folder, QWidget* parent = nullptr);
    ~TFormaFunkcjaPrzenoszenia() override;

    bool Measuring() const { return Engine.Measuring(); }
    bool CardInUse() const { return Engine.CardInUse(); }
    int SeriesCount() const { return static_cast<int>(Series.size()); }
    const TTransferMeasurement& Measurement() const { return Engine; }

public slots:
    void btnStartClick();
    void btnStopClick();
    void btnZapamietajClick();
    void btnOtworzClick();
    void btnZapiszClick();
    void btnUsunClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A curve kept beside the live one: measured and stored, or read from a file.
    struct TSeria
    {
        QString Name;
        QColor Colour;
        TTransferCurves Curves; // Coherence empty: a file without it
    };

    QWidget* CreatePanel();
    void ApplySettings();
    void StoreSettings();
    TTransferSettings ChosenSettings() const;
    void SetMeasuringLook(bool measuring);
    void EngineUpdated();
    void EngineFailed();
    void ShowState();
    void AddSeries(std::unique_ptr<TSeria> seria);
    TSeria* Current() const;
    void CurrentChanged();

    // Charts (OknoFunkcjaPrzenoszeniaWykresy.cpp)
    // step: between the value axis's ticks; 0 lets the axis choose.
    QCustomPlot* NewChart(const char* name, const QString& xTitle, const QString& yTitle, double step = 0);
    void Redraw();
    void DrawCurves(const TTransferCurves& curves, const QColor& colour, const QString& name);
    void FitLevels();
    void AddSpectrogramColumn();

    TTransferMeasurement Engine;
    const TAudioIO& MainIn;
    const TAudioIO& MainOut;
    TTransferWindowSettings& Settings;
    std::function<QString()> CardBusy;
    QString Folder;
    std::vector<std::unique_ptr<TSeria>> Series;
    int Stored = 0; // series stored so far, for their names

    // Panel
    QComboBox *cbSygnal{}, *cbRozmiarFft{}, *cbKanalOdniesienia{}, *cbUsrednianie{}, *cbWygladzanie{},
        *cbPonizejProgu{};
    QLineEdit *edtPoziom{}, *edtProgKoherencji{}, *edtTemperatura{};
    QSpinBox* udUsrednienia{};
    QCheckBox* cbFazaZOpoznieniem{};
    QLabel *lblUrzadzenia{}, *lblOpoznienie{}, *lblUsrednienia{}, *lblStan{};
    QPushButton *btnStart{}, *btnStop{}, *btnZeruj{}, *btnSzukajOpoznienia{}, *btnZapamietaj{}, *btnOtworz{},
        *btnZapisz{}, *btnUsun{};
    QListWidget* lstSerie{};

    // Views
    QTabWidget* tabWidoki{};
    QCustomPlot *chtModul{}, *chtFaza{}, *chtKoherencja{};
    TSonogramView* chtSpektrogram{};
    QTimer* tmrSpektrogram{};
};
