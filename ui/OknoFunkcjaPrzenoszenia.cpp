// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoFunkcjaPrzenoszenia.h"

#include "audio/AudioIO.h"
#include "common/NumberFormat.h"
#include "measure/ImpulseMeasurement.h"
#include "results/ResponseFile.h"
#include "settings/WindowSettings.h"
#include "ui/ChartView.h"
#include "ui/SonogramView.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <qcustomplot.h>

namespace {

const QString Title = QStringLiteral("Funkcja przenoszenia");
// The result series' colours of the main chart, in their order (0x00BBGGRR); the live curve is black.
constexpr std::array<std::uint32_t, 8> Colours = {0x0000FF, 0x804000, 0x808000, 0x0080FF,
                                                  0x8080FF, 0xFF0000, 0x408000, 0x8000FF};
constexpr std::array<int, 7> Smoothings = {0, 1, 3, 6, 12, 24, 48};
constexpr double LowestTemperature = -40, HighestTemperature = 60;
constexpr int SpectrogramInterval = 200; // ms between two columns
constexpr int SpectrogramRows = 160;

QString Number(double value)
{
    return NumberFormat::General(value);
}

using WindowParts::NewCombo;
using WindowParts::NewEdit;

QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

int FftIndex(std::size_t size)
{
    int index = 0;
    for (std::size_t fft = TTransferSettings::SmallestFft; fft < size && fft < TTransferSettings::LargestFft;
         fft *= 2)
        ++index;
    return index;
}

} // namespace

TFormaFunkcjaPrzenoszenia::TFormaFunkcjaPrzenoszenia(const TAudioIO& mainIn, const TAudioIO& mainOut,
                                                     TTransferWindowSettings& settings,
                                                     std::function<QString()> cardBusy, const QString& folder,
                                                     QWidget* parent)
    : QWidget(parent, Qt::Window), MainIn(mainIn), MainOut(mainOut), Settings(settings),
      CardBusy(std::move(cardBusy)), Folder(folder)
{
    setObjectName(QStringLiteral("FormaFunkcjaPrzenoszenia"));
    setWindowTitle(Title);

    tabWidoki = new QTabWidget(this);
    tabWidoki->setObjectName(QStringLiteral("tabWidoki"));
    chtModul = NewChart("chtModul", QString(), QStringLiteral("Poziom [dB]"));
    chtFaza = NewChart("chtFaza", QString(), QStringLiteral("Faza [°]"), 90);
    chtKoherencja =
        NewChart("chtKoherencja", QStringLiteral("Częstotliwość [Hz]"), QStringLiteral("Koherencja"));
    auto halves = QSharedPointer<QCPAxisTickerText>::create(); // with the user's decimal separator
    for (const double value : {0.0, 0.5, 1.0})
        halves->addTick(value, Number(value));
    chtKoherencja->yAxis->setTicker(halves);
    auto* curves = new QSplitter(Qt::Vertical, tabWidoki);
    curves->addWidget(chtModul);
    curves->addWidget(chtFaza);
    curves->addWidget(chtKoherencja);
    curves->setStretchFactor(0, 3);
    curves->setStretchFactor(1, 2);
    curves->setStretchFactor(2, 1);
    chtSpektrogram = new TSonogramView(tabWidoki);
    tabWidoki->addTab(curves, QStringLiteral("Charakterystyka"));
    tabWidoki->addTab(chtSpektrogram, QStringLiteral("Spektrogram"));
    lblOpoznienie = new QLabel(this);
    lblOpoznienie->setObjectName(QStringLiteral("lblOpoznienie"));
    lblOpoznienie->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblUsrednienia = new QLabel(this);
    lblUsrednienia->setObjectName(QStringLiteral("lblUsrednienia"));
    lblStan = new QLabel(this);
    lblStan->setObjectName(QStringLiteral("lblStan"));
    lblStan->setWordWrap(true);
    auto* readings = new QHBoxLayout;
    readings->addWidget(lblOpoznienie, 1);
    readings->addWidget(lblUsrednienia);
    auto* right = new QVBoxLayout;
    right->addWidget(tabWidoki, 1);
    right->addLayout(readings);
    right->addWidget(lblStan);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(CreatePanel());
    layout->addLayout(right, 1);

    tmrSpektrogram = new QTimer(this);
    tmrSpektrogram->setObjectName(QStringLiteral("tmrSpektrogram"));
    tmrSpektrogram->setInterval(SpectrogramInterval);
    connect(tmrSpektrogram, &QTimer::timeout, this, &TFormaFunkcjaPrzenoszenia::AddSpectrogramColumn);
    connect(&Engine, &TTransferMeasurement::Updated, this, &TFormaFunkcjaPrzenoszenia::EngineUpdated);
    connect(&Engine, &TTransferMeasurement::Failed, this, &TFormaFunkcjaPrzenoszenia::EngineFailed);

    ApplySettings();
    SetMeasuringLook(false);
    CurrentChanged();
    resize(1200, 650);
}

TFormaFunkcjaPrzenoszenia::~TFormaFunkcjaPrzenoszenia()
{
    StoreSettings();
}

QWidget* TFormaFunkcjaPrzenoszenia::CreatePanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("pnlUstawienia"));
    panel->setFixedWidth(320);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);

    auto* gbPomiar = new QGroupBox(QStringLiteral("Pomiar"), panel);
    gbPomiar->setObjectName(QStringLiteral("gbPomiar"));
    auto* measurementColumn = new QVBoxLayout(gbPomiar);
    auto* measurement = new QFormLayout;
    measurementColumn->addLayout(measurement);
    cbSygnal = NewCombo(gbPomiar, "cbSygnal",
                        {QStringLiteral("szum różowy okresowy"), QStringLiteral("szum biały"),
                         QStringLiteral("brak (muzyka)")});
    edtPoziom = NewEdit(gbPomiar, "edtPoziom", true);
    cbRozmiarFft = NewCombo(gbPomiar, "cbRozmiarFft", {});
    cbKanalOdniesienia =
        NewCombo(gbPomiar, "cbKanalOdniesienia",
                 {QStringLiteral("lewy (pomiarowy prawy)"), QStringLiteral("prawy (pomiarowy lewy)")});
    cbUsrednianie = NewCombo(
        gbPomiar, "cbUsrednianie",
        {QStringLiteral("ostatnie ramki"), QStringLiteral("wykładnicze"), QStringLiteral("nieskończone")});
    udUsrednienia = new QSpinBox(gbPomiar);
    udUsrednienia->setObjectName(QStringLiteral("udUsrednienia"));
    udUsrednienia->setRange(1, TTransferSettings::MostAverages);
    lblUrzadzenia = new QLabel(gbPomiar);
    lblUrzadzenia->setObjectName(QStringLiteral("lblUrzadzenia"));
    lblUrzadzenia->setWordWrap(true);
    measurement->addRow(QStringLiteral("Sygnał"), cbSygnal);
    measurement->addRow(QStringLiteral("Poziom [dBFS]"), edtPoziom);
    measurement->addRow(QStringLiteral("Rozmiar FFT"), cbRozmiarFft);
    measurement->addRow(QStringLiteral("Kanał odniesienia"), cbKanalOdniesienia);
    measurement->addRow(QStringLiteral("Uśrednianie"), cbUsrednianie);
    measurement->addRow(QStringLiteral("Liczba uśrednień"), udUsrednienia);
    measurementColumn->addWidget(lblUrzadzenia);
    btnStart = NewButton(gbPomiar, "btnStart", QStringLiteral("&Start"));
    btnStop = NewButton(gbPomiar, "btnStop", QStringLiteral("S&top"));
    btnZeruj = NewButton(gbPomiar, "btnZeruj", QStringLiteral("&Zeruj"));
    btnSzukajOpoznienia = NewButton(gbPomiar, "btnSzukajOpoznienia", QStringLiteral("Znajdź &opóźnienie"));
    auto* buttons = new QGridLayout;
    buttons->addWidget(btnStart, 0, 0);
    buttons->addWidget(btnStop, 0, 1);
    buttons->addWidget(btnZeruj, 1, 0);
    buttons->addWidget(btnSzukajOpoznienia, 1, 1);
    measurementColumn->addLayout(buttons);

    auto* gbWidok = new QGroupBox(QStringLiteral("Widok"), panel);
    gbWidok->setObjectName(QStringLiteral("gbWidok"));
    auto* view = new QFormLayout(gbWidok);
    QStringList smoothings{QStringLiteral("brak")};
    for (std::size_t i = 1; i < Smoothings.size(); ++i)
        smoothings << QStringLiteral("1/%1 oktawy").arg(Smoothings[i]);
    cbWygladzanie = NewCombo(gbWidok, "cbWygladzanie", smoothings);
    edtProgKoherencji = NewEdit(gbWidok, "edtProgKoherencji", false);
    cbPonizejProgu = NewCombo(gbWidok, "cbPonizejProgu", {QStringLiteral("blade"), QStringLiteral("ukryte")});
    cbFazaZOpoznieniem = new QCheckBox(QStringLiteral("Faza z opóźnieniem między kanałami"), gbWidok);
    cbFazaZOpoznieniem->setObjectName(QStringLiteral("cbFazaZOpoznieniem"));
    edtTemperatura = NewEdit(gbWidok, "edtTemperatura", true);
    view->addRow(QStringLiteral("Wygładzanie"), cbWygladzanie);
    view->addRow(QStringLiteral("Próg koherencji"), edtProgKoherencji);
    view->addRow(QStringLiteral("Punkty poniżej progu"), cbPonizejProgu);
    view->addRow(cbFazaZOpoznieniem);
    view->addRow(QStringLiteral("Temperatura powietrza [°C]"), edtTemperatura);

    auto* gbSerie = new QGroupBox(QStringLiteral("Serie"), panel);
    gbSerie->setObjectName(QStringLiteral("gbSerie"));
    auto* list = new QGridLayout(gbSerie);
    lstSerie = new QListWidget(gbSerie);
    lstSerie->setObjectName(QStringLiteral("lstSerie"));
    lstSerie->setMinimumHeight(60);
    btnZapamietaj = NewButton(gbSerie, "btnZapamietaj", QStringLiteral("Zapa&miętaj"));
    btnUsun = NewButton(gbSerie, "btnUsun", QStringLiteral("&Usuń"));
    btnOtworz = NewButton(gbSerie, "btnOtworz", QStringLiteral("&Otwórz..."));
    btnZapisz = NewButton(gbSerie, "btnZapisz", QStringLiteral("Zapi&sz..."));
    list->addWidget(lstSerie, 0, 0, 1, 2);
    list->addWidget(btnZapamietaj, 1, 0);
    list->addWidget(btnUsun, 1, 1);
    list->addWidget(btnOtworz, 2, 0);
    list->addWidget(btnZapisz, 2, 1);

    column->addWidget(gbPomiar);
    column->addWidget(gbWidok);
    column->addWidget(gbSerie, 1);

    connect(btnStart, &QPushButton::clicked, this, &TFormaFunkcjaPrzenoszenia::btnStartClick);
    connect(btnStop, &QPushButton::clicked, this, &TFormaFunkcjaPrzenoszenia::btnStopClick);
    connect(btnZeruj, &QPushButton::clicked, this, [this] { Engine.Reset(); });
    connect(btnSzukajOpoznienia, &QPushButton::clicked, this, [this] {
        Engine.FindDelay();
        ShowState();
    });
    connect(btnZapamietaj, &QPushButton::clicked, this, &TFormaFunkcjaPrzenoszenia::btnZapamietajClick);
    connect(btnOtworz, &QPushButton::clicked, this, &TFormaFunkcjaPrzenoszenia::btnOtworzClick);
    connect(btnZapisz, &QPushButton::clicked, this, &TFormaFunkcjaPrzenoszenia::btnZapiszClick);
    connect(btnUsun, &QPushButton::clicked, this, &TFormaFunkcjaPrzenoszenia::btnUsunClick);
    const auto averaging = [this] {
        StoreSettings();
        Engine.SetAveraging(static_cast<TTransferEstimator::TAveraging>(Settings.Averaging),
                            Settings.Averages);
    };
    connect(cbUsrednianie, &QComboBox::currentIndexChanged, this, averaging);
    connect(udUsrednienia, &QSpinBox::valueChanged, this, averaging);
    connect(cbWygladzanie, &QComboBox::currentIndexChanged, this, [this] {
        StoreSettings();
        Engine.SetSmoothing(Settings.Smoothing);
    });
    connect(cbFazaZOpoznieniem, &QCheckBox::toggled, this, [this](bool kept) {
        StoreSettings();
        Engine.SetDelayKept(kept);
    });
    connect(edtPoziom, &QLineEdit::editingFinished, this, [this] {
        // The level changes as the signal plays, within what does not clip.
        const double highest = Engine.Measuring() ? std::floor(Engine.HighestLevel() * 10) / 10 : 0.0;
        Settings.LevelDb = WindowParts::TakeNumber(edtPoziom, Settings.LevelDb,
                                                   TTransferSettings::LowestLevelDb, std::min(highest, 0.0));
        if (Engine.Measuring())
            Engine.SetLevel(Settings.LevelDb);
    });
    connect(edtProgKoherencji, &QLineEdit::editingFinished, this, [this] {
        Settings.Threshold = WindowParts::TakeNumber(edtProgKoherencji, Settings.Threshold, 0.0, 1.0);
        Redraw();
    });
    connect(cbPonizejProgu, &QComboBox::currentIndexChanged, this, [this] {
        StoreSettings();
        Redraw();
    });
    connect(edtTemperatura, &QLineEdit::editingFinished, this, [this] {
        Settings.Temperature = WindowParts::TakeNumber(edtTemperatura, Settings.Temperature,
                                                       LowestTemperature, HighestTemperature);
        ShowState();
    });
    connect(lstSerie, &QListWidget::currentRowChanged, this, &TFormaFunkcjaPrzenoszenia::CurrentChanged);
    connect(lstSerie, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int row = lstSerie->row(item);
        if (row >= 0 && row < SeriesCount())
            Series[static_cast<std::size_t>(row)]->Name = item->text();
        Redraw();
    });
    return panel;
}

// The stored values, brought within their ranges.
void TFormaFunkcjaPrzenoszenia::ApplySettings()
{
    // A control's handler stores every control into the settings: the values are applied from a copy.
    const TTransferWindowSettings stored = Settings;
    const int rate = MainIn.FrameRate();
    cbRozmiarFft->clear();
    for (std::size_t size = TTransferSettings::SmallestFft; size <= TTransferSettings::LargestFft; size *= 2)
        cbRozmiarFft->addItem(
            QStringLiteral("%1 (%2 s)").arg(size).arg(NumberFormat::Fixed(double(size) / rate, 0, 2)),
            QVariant::fromValue<qulonglong>(size));
    cbRozmiarFft->setCurrentIndex(FftIndex(std::size_t(std::max(stored.FftSize, 0))));
    cbSygnal->setCurrentIndex(std::clamp(stored.Signal, 0, 2));
    edtPoziom->setText(Number(std::clamp(stored.LevelDb, TTransferSettings::LowestLevelDb, 0.0)));
    cbKanalOdniesienia->setCurrentIndex(std::clamp(stored.Reference, 0, 1));
    cbUsrednianie->setCurrentIndex(std::clamp(stored.Averaging, 0, 2));
    udUsrednienia->setValue(std::clamp(stored.Averages, 1, TTransferSettings::MostAverages));
    const auto smoothing = std::find(Smoothings.begin(), Smoothings.end(), stored.Smoothing);
    cbWygladzanie->setCurrentIndex(smoothing == Smoothings.end() ? 0 : int(smoothing - Smoothings.begin()));
    edtProgKoherencji->setText(Number(std::clamp(stored.Threshold, 0.0, 1.0)));
    cbPonizejProgu->setCurrentIndex(std::clamp(stored.BelowThreshold, 0, 1));
    cbFazaZOpoznieniem->setChecked(stored.PhaseWithDelay);
    edtTemperatura->setText(Number(std::clamp(stored.Temperature, LowestTemperature, HighestTemperature)));
    StoreSettings();
    Settings.Temperature = std::clamp(stored.Temperature, LowestTemperature, HighestTemperature);
    Engine.SetSmoothing(Settings.Smoothing);
    Engine.SetDelayKept(Settings.PhaseWithDelay);
    const QString devices = WindowParts::CardText(MainIn, MainOut);
    lblUrzadzenia->setText(devices);
    lblUrzadzenia->setToolTip(devices);
}

// What the controls hold, into the settings; numbers that do not read keep their stored values.
void TFormaFunkcjaPrzenoszenia::StoreSettings()
{
    Settings.FftSize = static_cast<int>(cbRozmiarFft->currentData().toULongLong());
    Settings.Signal = cbSygnal->currentIndex();
    Settings.LevelDb = NumberFormat::ParseNumber(edtPoziom->text()).value_or(Settings.LevelDb);
    Settings.Reference = cbKanalOdniesienia->currentIndex();
    Settings.Averaging = cbUsrednianie->currentIndex();
    Settings.Averages = udUsrednienia->value();
    Settings.Smoothing = Smoothings[static_cast<std::size_t>(std::max(cbWygladzanie->currentIndex(), 0))];
    Settings.Threshold = NumberFormat::ParseNumber(edtProgKoherencji->text()).value_or(Settings.Threshold);
    Settings.BelowThreshold = cbPonizejProgu->currentIndex();
    Settings.PhaseWithDelay = cbFazaZOpoznieniem->isChecked();
}

TTransferSettings TFormaFunkcjaPrzenoszenia::ChosenSettings() const
{
    TTransferSettings chosen;
    chosen.FftSize = std::size_t(std::max(Settings.FftSize, 0));
    chosen.Signal = static_cast<TTransferSignal>(Settings.Signal);
    chosen.LevelDb = Settings.LevelDb;
    chosen.Reference = Settings.Reference;
    chosen.Averaging = static_cast<TTransferEstimator::TAveraging>(Settings.Averaging);
    chosen.Averages = Settings.Averages;
    return chosen;
}

void TFormaFunkcjaPrzenoszenia::btnStartClick()
{
    if (Engine.Measuring())
        return;
    if (const QString busy = CardBusy ? CardBusy() : QString(); !busy.isEmpty()) {
        QMessageBox::warning(this, Title,
                             QStringLiteral("Karta dźwiękowa jest zajęta: %1. Zatrzymaj go przed pomiarem "
                                            "funkcji przenoszenia.")
                                 .arg(busy));
        return;
    }
    if (!NumberFormat::ParseNumber(edtPoziom->text())) {
        QMessageBox::warning(this, Title, QStringLiteral("Wpisz liczbę w polu „Poziom”."));
        edtPoziom->setFocus();
        return;
    }
    StoreSettings();
    WindowParts::TakeCardChoice(Engine.AudioIn(), MainIn);
    WindowParts::TakeCardChoice(Engine.AudioOut(), MainOut);
    if (!Engine.Start(ChosenSettings())) {
        QMessageBox::warning(this, Title, Engine.Failure());
        return;
    }
    chtSpektrogram->SetRows(10, 0.45 * Engine.FrameRate(), SpectrogramRows, SpectrogramInterval / 1000.0);
    SetMeasuringLook(true);
    ShowState();
}

void TFormaFunkcjaPrzenoszenia::btnStopClick()
{
    Engine.Stop();
    SetMeasuringLook(false);
    ShowState();
}

void TFormaFunkcjaPrzenoszenia::SetMeasuringLook(bool measuring)
{
    btnStart->setEnabled(!measuring);
    btnStop->setEnabled(measuring);
    btnSzukajOpoznienia->setEnabled(measuring);
    for (QWidget* control : std::initializer_list<QWidget*>{cbSygnal, cbRozmiarFft, cbKanalOdniesienia})
        control->setEnabled(!measuring);
    measuring ? tmrSpektrogram->start() : tmrSpektrogram->stop();
}

void TFormaFunkcjaPrzenoszenia::EngineUpdated()
{
    ShowState();
    Redraw();
}

void TFormaFunkcjaPrzenoszenia::EngineFailed()
{
    SetMeasuringLook(false);
    ShowState();
    QMessageBox::warning(this, Title, Engine.Failure());
}

// The delay, the averages and the state of the measurement in their labels.
void TFormaFunkcjaPrzenoszenia::ShowState()
{
    const std::optional<double> delay = Engine.Delay();
    QString delayText = QStringLiteral("Opóźnienie: ");
    if (Engine.SearchingDelay() && Engine.Measuring())
        delayText += delay
                         ? QStringLiteral("szukanie (dotąd ") +
                               DelayText(*delay, Engine.FrameRate(), Settings.Temperature) + QLatin1Char(')')
                         : QStringLiteral("szukanie...");
    else if (delay)
        delayText += DelayText(*delay, Engine.FrameRate(), Settings.Temperature);
    else
        delayText.clear();
    lblOpoznienie->setText(delayText);
    const TTransferSettings& chosen = Engine.Settings();
    QString averages;
    if (Engine.FramesAnalysed() > 0 || Engine.Measuring()) {
        averages = QStringLiteral("Uśrednione ramki: %1").arg(Engine.Averaged());
        if (chosen.Averaging == TTransferEstimator::TAveraging::Count)
            averages += QStringLiteral(" z %1").arg(chosen.Averages);
        else if (chosen.Averaging == TTransferEstimator::TAveraging::Exponential)
            averages += QStringLiteral(" (wykładniczo, waga 1/%1)").arg(chosen.Averages);
    }
    lblUsrednienia->setText(averages);
    QString state;
    if (Engine.Measuring())
        state = Engine.HasResponse()
                    ? QStringLiteral("Pomiar: ") + SignalText(chosen.Signal) + QLatin1Char('.')
                    : QStringLiteral("Pomiar: oczekiwanie na pierwszą pełną ramkę...");
    else if (Engine.HasResponse())
        state = QStringLiteral("Pomiar zatrzymany.");
    const QString warning = Engine.Warning();
    lblStan->setText(warning.isEmpty() ? state : state + QLatin1Char(' ') + warning);
}

void TFormaFunkcjaPrzenoszenia::btnZapamietajClick()
{
    if (!Engine.HasResponse()) {
        QMessageBox::information(this, Title,
                                 QStringLiteral("Nie ma jeszcze charakterystyki do zapamiętania."));
        return;
    }
    auto seria = std::make_unique<TSeria>();
    seria->Name = QStringLiteral("Pomiar %1").arg(++Stored);
    seria->Curves = Engine.Curves();
    AddSeries(std::move(seria));
}

void TFormaFunkcjaPrzenoszenia::AddSeries(std::unique_ptr<TSeria> seria)
{
    seria->Colour = ColourFromBgr(Colours[Series.size() % Colours.size()]);
    WindowParts::AddSeriesItem(lstSerie, seria->Name, seria->Colour);
    Series.push_back(std::move(seria));
    CurrentChanged();
}

TFormaFunkcjaPrzenoszenia::TSeria* TFormaFunkcjaPrzenoszenia::Current() const
{
    const int row = lstSerie->currentRow();
    return row >= 0 && row < SeriesCount() ? Series[static_cast<std::size_t>(row)].get() : nullptr;
}

void TFormaFunkcjaPrzenoszenia::CurrentChanged()
{
    const bool chosen = Current() != nullptr;
    btnZapisz->setEnabled(chosen);
    btnUsun->setEnabled(chosen);
    Redraw();
}

void TFormaFunkcjaPrzenoszenia::btnUsunClick()
{
    const int row = lstSerie->currentRow();
    if (row < 0 || row >= SeriesCount())
        return;
    Series.erase(Series.begin() + row);
    WindowParts::RemoveSeriesItem(lstSerie, row);
    CurrentChanged();
}

void TFormaFunkcjaPrzenoszenia::btnZapiszClick()
{
    const TSeria* seria = Current();
    if (!seria)
        return;
    const QString csv = QStringLiteral("Plik CSV (*.csv)"), frd = QStringLiteral("Plik FRD (*.frd)");
    QString filter;
    QString name = WindowParts::ChooseFile(this, Folder, true, QStringLiteral("Zapisz serię"), {csv, frd},
                                           seria->Name, &filter);
    if (name.isEmpty())
        return;
    if (!ResponseFile::IsResponseFile(name))
        name += filter == frd ? QStringLiteral(".frd") : QStringLiteral(".csv");
    const TTransferCurves& curves = seria->Curves;
    const ResponseFile::TPoints points{curves.Frequency, curves.MagnitudeDb, curves.PhaseDegrees,
                                       curves.Coherence};
    QString failure;
    if (ResponseFile::Write(name, points, seria->Name, failure,
                            QStringLiteral("funkcja przenoszenia z pomiaru dwukanałowego")))
        lblStan->setText(QStringLiteral("Zapisano: ") + name);
    else
        QMessageBox::critical(this, Title, failure);
}

void TFormaFunkcjaPrzenoszenia::btnOtworzClick()
{
    const QString name = WindowParts::ChooseFile(
        this, Folder, false, QStringLiteral("Otwórz serię"),
        {QStringLiteral("Charakterystyka (*.csv *.frd)"), QStringLiteral("Wszystkie pliki (*)")});
    if (name.isEmpty())
        return;
    QString failure;
    const auto points = ResponseFile::Read(name, failure);
    if (!points) {
        QMessageBox::critical(this, Title, failure);
        return;
    }
    auto seria = std::make_unique<TSeria>();
    seria->Name = QFileInfo(name).completeBaseName();
    seria->Curves.Frequency = points->Frequency;
    seria->Curves.MagnitudeDb = points->LevelDb;
    seria->Curves.PhaseDegrees = points->PhaseDegrees;
    seria->Curves.Coherence = points->Coherence;
    AddSeries(std::move(seria));
    lblStan->setText(QStringLiteral("Otwarto: ") + name);
}

void TFormaFunkcjaPrzenoszenia::closeEvent(QCloseEvent* event)
{
    Engine.Stop(); // the card is free again when the window goes
    SetMeasuringLook(false);
    StoreSettings();
    QWidget::closeEvent(event);
}
