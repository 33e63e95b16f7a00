// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoOdpowiedzImpulsowa.h"

#include "audio/AudioIO.h"
#include "common/NumberFormat.h"
#include "results/ResponseFile.h"
#include "results/WaveFile.h"
#include "settings/WindowSettings.h"
#include "ui/ChartView.h"
#include "ui/OknoAkustykaPomieszczenia.h"
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
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

const QString Title = QStringLiteral("Odpowiedź impulsowa");
// The result series' colours of the main chart, in their order (0x00BBGGRR).
constexpr std::array<std::uint32_t, 8> Colours = {0x0000FF, 0x804000, 0x808000, 0x0080FF,
                                                  0x8080FF, 0xFF0000, 0x408000, 0x8000FF};
constexpr std::array<int, 8> Smoothings = {0, 1, 2, 3, 6, 12, 24, 48};
constexpr double LowestTemperature = -40, HighestTemperature = 60;

QString Number(double value)
{
    return NumberFormat::General(value);
}

using WindowParts::NewCombo;
using WindowParts::NewEdit;

// The phase of a characteristic read from a file, unwrapped along its points.
std::vector<double> Unwrapped(const std::vector<double>& wrapped)
{
    std::vector<double> phase(wrapped);
    for (std::size_t i = 1; i < phase.size(); ++i)
        phase[i] = phase[i - 1] + WrapDegrees(wrapped[i] - wrapped[i - 1]);
    return phase;
}

} // namespace

TFormaOdpowiedzImpulsowa::TFormaOdpowiedzImpulsowa(const TAudioIO& mainIn, const TAudioIO& mainOut,
                                                   TImpulseWindowSettings& settings,
                                                   std::function<bool()> mainMeasuring, const QString& folder,
                                                   QWidget* parent)
    : QWidget(parent, Qt::Window), MainIn(mainIn), MainOut(mainOut), Settings(settings),
      MainMeasuring(std::move(mainMeasuring)), Folder(folder)
{
    setObjectName(QStringLiteral("FormaOdpowiedzImpulsowa"));
    setWindowTitle(Title);
    CreateControls();
    ApplySettings();
    connect(&Engine, &TImpulseMeasurement::Finished, this, &TFormaOdpowiedzImpulsowa::TakeFinished);
    SetMeasuringLook(false);
    resize(1120, 660);
}

TFormaOdpowiedzImpulsowa::~TFormaOdpowiedzImpulsowa()
{
    StoreSettings();
}

void TFormaOdpowiedzImpulsowa::CreateControls()
{
    tabWidoki = new QTabWidget(this);
    tabWidoki->setObjectName(QStringLiteral("tabWidoki"));
    chtImpuls = NewChart("chtImpuls", QStringLiteral("Czas [ms]"), QStringLiteral("Amplituda"), false);
    chtImpulsDb = NewChart("chtImpulsDb", QStringLiteral("Czas [ms]"), QStringLiteral("Poziom [dB]"), false);
    chtModul = NewChart("chtModul", QString(), QStringLiteral("Poziom [dB]"), true);
    chtFaza = NewChart("chtFaza", QStringLiteral("Częstotliwość [Hz]"), QStringLiteral("Faza [°]"), true);
    chtOpoznienie = NewChart("chtOpoznienie", QStringLiteral("Częstotliwość [Hz]"),
                             QStringLiteral("Opóźnienie grupowe [ms]"), true);
    chtZnieksztalcenia = NewChart("chtZnieksztalcenia", QStringLiteral("Częstotliwość pobudzenia [Hz]"),
                                  QStringLiteral("Poziom harmonicznej względem podstawowej [dB]"), true);
    auto* response = new QSplitter(Qt::Vertical, tabWidoki);
    response->addWidget(chtModul);
    response->addWidget(chtFaza);
    tabWidoki->addTab(chtImpuls, QStringLiteral("Impuls"));
    tabWidoki->addTab(chtImpulsDb, QStringLiteral("Impuls [dB]"));
    tabWidoki->addTab(response, QStringLiteral("Moduł i faza"));
    tabWidoki->addTab(chtOpoznienie, QStringLiteral("Opóźnienie grupowe"));
    tabWidoki->addTab(chtZnieksztalcenia, QStringLiteral("Zniekształcenia"));
    AkustykaPomieszczenia = new TFormaAkustykaPomieszczenia(Folder, tabWidoki);
    tabWidoki->addTab(AkustykaPomieszczenia, QStringLiteral("Akustyka pomieszczenia"));
    for (QCustomPlot* chart : {chtImpuls, chtImpulsDb}) {
        chart->installEventFilter(this);
        chart->setMouseTracking(true);
    }

    lblStan = new QLabel(this);
    lblStan->setObjectName(QStringLiteral("lblStan"));
    auto* right = new QVBoxLayout;
    right->addWidget(tabWidoki, 1);
    right->addWidget(lblStan);
    // The settings scroll on a screen too low for them all: the window fits 1366x720.
    auto* settings = new QScrollArea(this);
    settings->setObjectName(QStringLiteral("scrUstawienia"));
    settings->setWidget(CreatePanel());
    settings->setWidgetResizable(true);
    settings->setFrameShape(QFrame::NoFrame);
    settings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    settings->setFixedWidth(settings->widget()->width() + settings->verticalScrollBar()->sizeHint().width());
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(settings);
    layout->addLayout(right, 1);

    tmrPostep = new QTimer(this);
    tmrPostep->setObjectName(QStringLiteral("tmrPostep"));
    tmrPostep->setInterval(100);
    connect(tmrPostep, &QTimer::timeout, this,
            [this] { pbPostep->setValue(static_cast<int>(std::lround(Engine.Progress() * 100))); });
}

QWidget* TFormaOdpowiedzImpulsowa::CreatePanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("pnlUstawienia"));
    panel->setFixedWidth(380);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);

    auto* gbPomiar = new QGroupBox(QStringLiteral("Pomiar"), panel);
    gbPomiar->setObjectName(QStringLiteral("gbPomiar"));
    auto* measurementColumn = new QVBoxLayout(gbPomiar);
    auto* measurement = new QFormLayout;
    measurementColumn->addLayout(measurement);
    edtStartFreq = NewEdit(gbPomiar, "edtStartFreq", false);
    edtStopFreq = NewEdit(gbPomiar, "edtStopFreq", false);
    cbDlugosc = NewCombo(gbPomiar, "cbDlugosc", {});
    edtPoziom = NewEdit(gbPomiar, "edtPoziom", true);
    udPowtorzenia = new QSpinBox(gbPomiar);
    udPowtorzenia->setObjectName(QStringLiteral("udPowtorzenia"));
    udPowtorzenia->setRange(1, TImpulseSettings::MostRepeats);
    edtCzasPoSweepie = NewEdit(gbPomiar, "edtCzasPoSweepie", false);
    edtCzasPoSweepie->setToolTip(
        QStringLiteral("Cisza nagrywana po każdym sweepie, w której odpowiedź wygasa (od %1 do %2 s). "
                       "Odpowiedź zawiera wszystkie częstotliwości do tego czasu po chwili 0; pogłos "
                       "pomieszczenia wymaga czasu dłuższego niż jego zanik.")
            .arg(Number(TImpulseSettings::ShortestTail), Number(TImpulseSettings::LongestTail)));
    cbKanalPomiarowy =
        NewCombo(gbPomiar, "cbKanalPomiarowy", {QStringLiteral("lewy"), QStringLiteral("prawy")});
    cbKanalOdniesienia = NewCombo(gbPomiar, "cbKanalOdniesienia",
                                  {QStringLiteral("brak"), QStringLiteral("lewy"), QStringLiteral("prawy")});
    lblUrzadzenia = new QLabel(gbPomiar);
    lblUrzadzenia->setObjectName(QStringLiteral("lblUrzadzenia"));
    measurement->addRow(QStringLiteral("Częstotliwość początkowa [Hz]"), edtStartFreq);
    measurement->addRow(QStringLiteral("Częstotliwość końcowa [Hz]"), edtStopFreq);
    measurement->addRow(QStringLiteral("Długość sweepu [próbki]"), cbDlugosc);
    measurement->addRow(QStringLiteral("Poziom [dBFS]"), edtPoziom);
    measurement->addRow(QStringLiteral("Powtórzenia"), udPowtorzenia);
    measurement->addRow(QStringLiteral("Czas rejestracji po sweepie [s]"), edtCzasPoSweepie);
    measurement->addRow(QStringLiteral("Kanał pomiarowy"), cbKanalPomiarowy);
    measurement->addRow(QStringLiteral("Kanał odniesienia"), cbKanalOdniesienia);
    measurementColumn->addWidget(lblUrzadzenia);
    btnStart = new QPushButton(QStringLiteral("&Start"), gbPomiar);
    btnStart->setObjectName(QStringLiteral("btnStart"));
    btnStop = new QPushButton(QStringLiteral("S&top"), gbPomiar);
    btnStop->setObjectName(QStringLiteral("btnStop"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart);
    buttons->addWidget(btnStop);
    measurementColumn->addLayout(buttons);
    pbPostep = new QProgressBar(gbPomiar);
    pbPostep->setObjectName(QStringLiteral("pbPostep"));
    pbPostep->setRange(0, 100);
    measurementColumn->addWidget(pbPostep);

    auto* gbBramka = new QGroupBox(QStringLiteral("Bramka"), panel);
    gbBramka->setObjectName(QStringLiteral("gbBramka"));
    auto* gate = new QFormLayout(gbBramka);
    edtBramkaPoczatek = NewEdit(gbBramka, "edtBramkaPoczatek", true);
    edtBramkaKoniec = NewEdit(gbBramka, "edtBramkaKoniec", true);
    cbOkno = NewCombo(gbBramka, "cbOkno", {QStringLiteral("Tukey"), QStringLiteral("pół-Hann")});
    lblNajnizszaCzestotliwosc = new QLabel(gbBramka);
    lblNajnizszaCzestotliwosc->setObjectName(QStringLiteral("lblNajnizszaCzestotliwosc"));
    gate->addRow(QStringLiteral("Początek [ms]"), edtBramkaPoczatek);
    gate->addRow(QStringLiteral("Koniec [ms]"), edtBramkaKoniec);
    gate->addRow(QStringLiteral("Okno"), cbOkno);
    gate->addRow(lblNajnizszaCzestotliwosc);

    auto* gbAnaliza = new QGroupBox(QStringLiteral("Analiza"), panel);
    gbAnaliza->setObjectName(QStringLiteral("gbAnaliza"));
    auto* analysis = new QFormLayout(gbAnaliza);
    QStringList smoothings{QStringLiteral("brak")};
    for (std::size_t i = 1; i < Smoothings.size(); ++i)
        smoothings << QStringLiteral("1/%1 oktawy").arg(Smoothings[i]);
    cbWygladzanie = NewCombo(gbAnaliza, "cbWygladzanie", smoothings);
    cbFaza = NewCombo(gbAnaliza, "cbFaza",
                      {QStringLiteral("zawinięta"), QStringLiteral("rozwinięta"), QStringLiteral("minimalna"),
                       QStringLiteral("nadmiarowa")});
    cbFazaOdSzczytu = new QCheckBox(QStringLiteral("Faza bez opóźnienia urządzenia"), gbAnaliza);
    cbFazaOdSzczytu->setObjectName(QStringLiteral("cbFazaOdSzczytu"));
    edtTemperatura = NewEdit(gbAnaliza, "edtTemperatura", true);
    lblOpoznienie = new QLabel(gbAnaliza);
    lblOpoznienie->setObjectName(QStringLiteral("lblOpoznienie"));
    lblOpoznienie->setWordWrap(true);
    lblOpoznienie->setTextInteractionFlags(Qt::TextSelectableByMouse);
    analysis->addRow(QStringLiteral("Wygładzanie"), cbWygladzanie);
    analysis->addRow(QStringLiteral("Faza"), cbFaza);
    analysis->addRow(cbFazaOdSzczytu);
    analysis->addRow(QStringLiteral("Temperatura powietrza [°C]"), edtTemperatura);
    analysis->addRow(lblOpoznienie);

    auto* gbPomiary = new QGroupBox(QStringLiteral("Pomiary"), panel);
    gbPomiary->setObjectName(QStringLiteral("gbPomiary"));
    auto* list = new QGridLayout(gbPomiary);
    lstPomiary = new QListWidget(gbPomiary);
    lstPomiary->setObjectName(QStringLiteral("lstPomiary"));
    const auto newButton = [&](const char* name, const QString& caption) {
        auto* button = new QPushButton(caption, gbPomiary);
        button->setObjectName(QLatin1String(name));
        return button;
    };
    btnOtworz = newButton("btnOtworz", QStringLiteral("&Otwórz..."));
    btnUsun = newButton("btnUsun", QStringLiteral("&Usuń"));
    btnZapiszWav = newButton("btnZapiszWav", QStringLiteral("Zapisz &WAV..."));
    btnZapiszCharakterystyke =
        newButton("btnZapiszCharakterystyke", QStringLiteral("Zapisz &charakterystykę..."));
    list->addWidget(lstPomiary, 0, 0, 1, 2);
    list->addWidget(btnOtworz, 1, 0);
    list->addWidget(btnUsun, 1, 1);
    list->addWidget(btnZapiszWav, 2, 0);
    list->addWidget(btnZapiszCharakterystyke, 2, 1);

    column->addWidget(gbPomiar);
    column->addWidget(gbBramka);
    column->addWidget(gbAnaliza);
    column->addWidget(gbPomiary, 1);

    connect(btnStart, &QPushButton::clicked, this, &TFormaOdpowiedzImpulsowa::btnStartClick);
    connect(btnStop, &QPushButton::clicked, this, &TFormaOdpowiedzImpulsowa::btnStopClick);
    connect(btnOtworz, &QPushButton::clicked, this, &TFormaOdpowiedzImpulsowa::btnOtworzClick);
    connect(btnUsun, &QPushButton::clicked, this, &TFormaOdpowiedzImpulsowa::btnUsunClick);
    connect(btnZapiszWav, &QPushButton::clicked, this, &TFormaOdpowiedzImpulsowa::btnZapiszWavClick);
    connect(btnZapiszCharakterystyke, &QPushButton::clicked, this,
            &TFormaOdpowiedzImpulsowa::btnZapiszCharakterystykeClick);
    connect(edtBramkaPoczatek, &QLineEdit::editingFinished, this, &TFormaOdpowiedzImpulsowa::GateEdited);
    connect(edtBramkaKoniec, &QLineEdit::editingFinished, this, &TFormaOdpowiedzImpulsowa::GateEdited);
    connect(cbOkno, &QComboBox::currentIndexChanged, this, [this] {
        for (const auto& pomiar : Measurements)
            pomiar->Gate.Shape = static_cast<TGateShape>(cbOkno->currentIndex());
        AnalysisChanged();
    });
    for (QComboBox* combo : {cbWygladzanie, cbFaza})
        connect(combo, &QComboBox::currentIndexChanged, this, &TFormaOdpowiedzImpulsowa::AnalysisChanged);
    connect(cbFazaOdSzczytu, &QCheckBox::toggled, this, &TFormaOdpowiedzImpulsowa::AnalysisChanged);
    connect(edtTemperatura, &QLineEdit::editingFinished, this, [this] {
        Settings.Temperature = WindowParts::TakeNumber(edtTemperatura, Settings.Temperature,
                                                       LowestTemperature, HighestTemperature);
        ShowDelay();
    });
    connect(lstPomiary, &QListWidget::currentRowChanged, this, &TFormaOdpowiedzImpulsowa::CurrentChanged);
    connect(lstPomiary, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int row = lstPomiary->row(item);
        if (row >= 0 && row < MeasurementCount())
            Measurements[static_cast<std::size_t>(row)]->Name = item->text();
        Redraw();
    });
    return panel;
}

// The stored values, brought within their ranges.
void TFormaOdpowiedzImpulsowa::ApplySettings()
{
    const int rate = MainIn.FrameRate();
    edtStartFreq->setText(Number(std::clamp(Settings.StartHz, 1.0, 0.25 * rate)));
    edtStopFreq->setText(Number(std::clamp(Settings.StopHz, 2.0, 0.5 * rate)));
    cbDlugosc->clear();
    for (int exponent = TImpulseSettings::ShortestExponent; exponent <= TImpulseSettings::LongestExponent;
         ++exponent)
        cbDlugosc->addItem(QStringLiteral("%1 (%2 s)")
                               .arg(1 << exponent)
                               .arg(NumberFormat::Fixed(double(1 << exponent) / rate, 0, 2)),
                           exponent);
    cbDlugosc->setMinimumWidth(cbDlugosc->sizeHint().width()); // its items whole
    cbDlugosc->setCurrentIndex(std::clamp(Settings.LengthExponent, TImpulseSettings::ShortestExponent,
                                          TImpulseSettings::LongestExponent) -
                               TImpulseSettings::ShortestExponent);
    edtPoziom->setText(Number(std::clamp(Settings.LevelDb, TImpulseSettings::LowestLevelDb, 0.0)));
    udPowtorzenia->setValue(Settings.Repeats);
    edtCzasPoSweepie->setText(Number(
        std::clamp(Settings.TailSeconds, TImpulseSettings::ShortestTail, TImpulseSettings::LongestTail)));
    cbKanalPomiarowy->setCurrentIndex(std::clamp(Settings.Channel, 0, 1));
    cbKanalOdniesienia->setCurrentIndex(std::clamp(Settings.Reference, 0, 2));
    cbOkno->setCurrentIndex(std::clamp(Settings.GateShape, 0, 1));
    const auto smoothing = std::find(Smoothings.begin(), Smoothings.end(), Settings.Smoothing);
    cbWygladzanie->setCurrentIndex(smoothing == Smoothings.end() ? 0 : int(smoothing - Smoothings.begin()));
    cbFaza->setCurrentIndex(std::clamp(Settings.Phase, 0, PhaseKindCount - 1));
    cbFazaOdSzczytu->setChecked(Settings.PhaseFromPeak);
    Settings.Temperature = std::clamp(Settings.Temperature, LowestTemperature, HighestTemperature);
    edtTemperatura->setText(Number(Settings.Temperature));
    AkustykaPomieszczenia->ApplySettings(Settings);
    // The whole of it in the tip too: the server's names can be long.
    const QString devices = WindowParts::CardText(MainIn, MainOut);
    lblUrzadzenia->setText(devices);
    lblUrzadzenia->setToolTip(devices);
}

// What the controls hold, into the settings; numbers that do not read keep their stored values.
void TFormaOdpowiedzImpulsowa::StoreSettings()
{
    Settings.StartHz = NumberFormat::ParseNumber(edtStartFreq->text()).value_or(Settings.StartHz);
    Settings.StopHz = NumberFormat::ParseNumber(edtStopFreq->text()).value_or(Settings.StopHz);
    Settings.LengthExponent = cbDlugosc->currentData().toInt();
    Settings.LevelDb = NumberFormat::ParseNumber(edtPoziom->text()).value_or(Settings.LevelDb);
    Settings.Repeats = udPowtorzenia->value();
    Settings.TailSeconds = NumberFormat::ParseNumber(edtCzasPoSweepie->text()).value_or(Settings.TailSeconds);
    Settings.Channel = cbKanalPomiarowy->currentIndex();
    Settings.Reference = cbKanalOdniesienia->currentIndex();
    Settings.GateShape = cbOkno->currentIndex();
    Settings.Smoothing = Smoothings[static_cast<std::size_t>(std::max(cbWygladzanie->currentIndex(), 0))];
    Settings.Phase = cbFaza->currentIndex();
    Settings.PhaseFromPeak = cbFazaOdSzczytu->isChecked();
    AkustykaPomieszczenia->StoreSettings(Settings);
}

TImpulseSettings TFormaOdpowiedzImpulsowa::ChosenSettings() const
{
    TImpulseSettings chosen;
    chosen.StartHz = Settings.StartHz;
    chosen.StopHz = Settings.StopHz;
    chosen.LengthExponent = Settings.LengthExponent;
    chosen.LevelDb = Settings.LevelDb;
    chosen.Repeats = Settings.Repeats;
    chosen.TailSeconds = Settings.TailSeconds;
    chosen.Channel = Settings.Channel;
    chosen.Reference = static_cast<TReferenceChannel>(Settings.Reference);
    return chosen;
}

void TFormaOdpowiedzImpulsowa::btnStartClick()
{
    if (Engine.Measuring())
        return;
    if (MainMeasuring && MainMeasuring()) {
        QMessageBox::warning(
            this, Title,
            QStringLiteral("Karta dźwiękowa jest zajęta: trwa pomiar w oknie głównym lub w oknie „Funkcja "
                           "przenoszenia”. Zatrzymaj go przed pomiarem odpowiedzi impulsowej."));
        return;
    }
    const std::pair<QLineEdit*, QString> numbers[] = {
        {edtStartFreq, QStringLiteral("Częstotliwość początkowa")},
        {edtStopFreq, QStringLiteral("Częstotliwość końcowa")},
        {edtPoziom, QStringLiteral("Poziom")},
        {edtCzasPoSweepie, QStringLiteral("Czas rejestracji po sweepie")}};
    for (const auto& [edit, caption] : numbers)
        if (!NumberFormat::ParseNumber(edit->text())) {
            QMessageBox::warning(this, Title, QStringLiteral("Wpisz liczbę w polu „%1”.").arg(caption));
            edit->setFocus();
            return;
        }
    StoreSettings();
    WindowParts::TakeCardChoice(Engine.AudioIn(), MainIn);
    WindowParts::TakeCardChoice(Engine.AudioOut(), MainOut);
    if (!Engine.Start(ChosenSettings())) {
        QMessageBox::warning(this, Title, Engine.Failure());
        return;
    }
    SetMeasuringLook(true);
    lblStan->setText(QStringLiteral("Pomiar..."));
}

void TFormaOdpowiedzImpulsowa::btnStopClick()
{
    Engine.Stop();
}

void TFormaOdpowiedzImpulsowa::SetMeasuringLook(bool measuring)
{
    btnStart->setEnabled(!measuring);
    btnStop->setEnabled(measuring);
    for (QWidget* control :
         std::initializer_list<QWidget*>{edtStartFreq, edtStopFreq, cbDlugosc, edtPoziom, udPowtorzenia,
                                         edtCzasPoSweepie, cbKanalPomiarowy, cbKanalOdniesienia})
        control->setEnabled(!measuring);
    pbPostep->setValue(0);
    measuring ? tmrPostep->start() : tmrPostep->stop();
}

void TFormaOdpowiedzImpulsowa::TakeFinished(bool measured)
{
    SetMeasuringLook(false);
    if (!measured) {
        lblStan->setText(Engine.Failure().isEmpty() ? QStringLiteral("Pomiar zatrzymany.")
                                                    : QStringLiteral("Pomiar nieudany."));
        if (!Engine.Failure().isEmpty())
            QMessageBox::warning(this, Title, Engine.Failure());
        return;
    }
    auto pomiar = std::make_unique<TPomiar>();
    pomiar->Name = QStringLiteral("Pomiar %1").arg(++Taken);
    pomiar->Response = std::make_unique<TImpulseResponse>(Engine.Result());
    AddMeasurement(std::move(pomiar));
    pbPostep->setValue(100);
    lblStan->setText(
        QStringLiteral("Zmierzono w %1 s. ").arg(NumberFormat::Fixed(Engine.TakeSeconds(), 0, 2)) +
        Engine.Warning());
}

void TFormaOdpowiedzImpulsowa::AddMeasurement(std::unique_ptr<TPomiar> pomiar)
{
    pomiar->Colour = ColourFromBgr(Colours[Measurements.size() % Colours.size()]);
    if (pomiar->Response) {
        pomiar->Gate = pomiar->Response->WholeGate();
        pomiar->Gate.Shape = static_cast<TGateShape>(cbOkno->currentIndex());
        pomiar->Analysis = std::make_unique<TImpulseAnalysis>(*pomiar->Response);
        Analyse(*pomiar);
    }
    ShowImpulseAround(*pomiar);
    WindowParts::AddSeriesItem(lstPomiary, pomiar->Name, pomiar->Colour);
    Measurements.push_back(std::move(pomiar));
    CurrentChanged();
}

TFormaOdpowiedzImpulsowa::TPomiar* TFormaOdpowiedzImpulsowa::Current() const
{
    const int row = lstPomiary->currentRow();
    return row >= 0 && row < MeasurementCount() ? Measurements[static_cast<std::size_t>(row)].get() : nullptr;
}

void TFormaOdpowiedzImpulsowa::CurrentChanged()
{
    const TPomiar* pomiar = Current();
    const bool impulse = pomiar && pomiar->Response;
    btnZapiszWav->setEnabled(impulse);
    btnZapiszCharakterystyke->setEnabled(pomiar != nullptr);
    btnUsun->setEnabled(pomiar != nullptr);
    for (QWidget* control : std::initializer_list<QWidget*>{edtBramkaPoczatek, edtBramkaKoniec})
        control->setEnabled(impulse);
    ShowGate();
    ShowDelay();
    Redraw();
}

void TFormaOdpowiedzImpulsowa::Analyse(TPomiar& pomiar)
{
    if (!pomiar.Analysis)
        return;
    const int smoothing = Smoothings[static_cast<std::size_t>(std::max(cbWygladzanie->currentIndex(), 0))];
    pomiar.Analysis->Compute({pomiar.Gate, smoothing, cbFazaOdSzczytu->isChecked()}, pomiar.Curves);
}

void TFormaOdpowiedzImpulsowa::AnalysisChanged()
{
    StoreSettings();
    for (const auto& pomiar : Measurements)
        Analyse(*pomiar);
    ShowGate();
    Redraw();
}

void TFormaOdpowiedzImpulsowa::GateEdited()
{
    TPomiar* pomiar = Current();
    if (!pomiar || !pomiar->Response)
        return;
    const auto start = NumberFormat::ParseNumber(edtBramkaPoczatek->text());
    const auto end = NumberFormat::ParseNumber(edtBramkaKoniec->text());
    SetGate(*pomiar, start ? *start / 1000 : pomiar->Gate.Start, end ? *end / 1000 : pomiar->Gate.End, true);
}

// The gate kept within the response, its left window ending at the peak and its right one starting
// there, each at least a frame long.
void TFormaOdpowiedzImpulsowa::SetGate(TPomiar& pomiar, double start, double end, bool analyse)
{
    const TGate whole = pomiar.Response->WholeGate();
    const double frame = 1 / pomiar.Response->FrameRate;
    pomiar.Gate.Start = std::clamp(start, whole.Start, whole.Peak - frame);
    pomiar.Gate.End = std::clamp(end, whole.Peak + frame, whole.End);
    if (analyse) {
        Analyse(pomiar);
        Redraw();
    } else {
        DrawImpulses();
    }
    ShowGate();
}

void TFormaOdpowiedzImpulsowa::ShowGate()
{
    const TPomiar* pomiar = Current();
    const bool impulse = pomiar && pomiar->Response;
    edtBramkaPoczatek->setText(impulse ? NumberFormat::Fixed(pomiar->Gate.Start * 1000, 0, 3) : QString());
    edtBramkaKoniec->setText(impulse ? NumberFormat::Fixed(pomiar->Gate.End * 1000, 0, 3) : QString());
    lblNajnizszaCzestotliwosc->setText(impulse
                                           ? QStringLiteral("Najniższa wiarygodna częstotliwość: %1 Hz")
                                                 .arg(NumberFormat::Fixed(pomiar->Gate.LowestValidHz(), 0, 1))
                                           : QString());
}

void TFormaOdpowiedzImpulsowa::ShowDelay()
{
    const TPomiar* pomiar = Current();
    if (!pomiar || !pomiar->Response) {
        lblOpoznienie->clear();
        return;
    }
    const TImpulseResponse& response = *pomiar->Response;
    lblOpoznienie->setText(QStringLiteral("Opóźnienie: ") +
                           DelayText(response.DelayFrames(), response.FrameRate, Settings.Temperature));
}

void TFormaOdpowiedzImpulsowa::btnUsunClick()
{
    const int row = lstPomiary->currentRow();
    if (row < 0 || row >= MeasurementCount())
        return;
    AkustykaPomieszczenia->Forget(Measurements[static_cast<std::size_t>(row)]->Response.get());
    Measurements.erase(Measurements.begin() + row);
    WindowParts::RemoveSeriesItem(lstPomiary, row);
    CurrentChanged();
}

QString TFormaOdpowiedzImpulsowa::ChooseFile(bool save, const QString& title, const QStringList& filters,
                                             QString* filter)
{
    const TPomiar* pomiar = Current();
    return WindowParts::ChooseFile(this, Folder, save, title, filters, pomiar ? pomiar->Name : QString(),
                                   filter);
}

void TFormaOdpowiedzImpulsowa::btnZapiszWavClick()
{
    const TPomiar* pomiar = Current();
    if (!pomiar || !pomiar->Response)
        return;
    QString name = ChooseFile(true, QStringLiteral("Zapisz odpowiedź impulsową"),
                              {QStringLiteral("Odpowiedź impulsowa (*.wav)")});
    if (name.isEmpty())
        return;
    if (!name.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive))
        name += QStringLiteral(".wav");
    QString failure;
    const TImpulseResponse& response = *pomiar->Response;
    if (WaveFile::Write(name, response.ForFile(), static_cast<int>(std::lround(response.FrameRate)),
                        response.FileTimeZero(), failure))
        lblStan->setText(QStringLiteral("Zapisano: ") + name);
    else
        QMessageBox::critical(this, Title, failure);
}

void TFormaOdpowiedzImpulsowa::btnZapiszCharakterystykeClick()
{
    const TPomiar* pomiar = Current();
    if (!pomiar)
        return;
    const QString frd = QStringLiteral("Plik FRD (*.frd)"), csv = QStringLiteral("Plik CSV (*.csv)");
    QString filter;
    QString name = ChooseFile(true, QStringLiteral("Zapisz charakterystykę"), {frd, csv}, &filter);
    if (name.isEmpty())
        return;
    const QString extension = filter == csv ? QStringLiteral(".csv") : QStringLiteral(".frd");
    if (!ResponseFile::IsResponseFile(name))
        name += extension;
    const TResponseCurves& curves = pomiar->Curves;
    const ResponseFile::TPoints points{curves.Frequency, curves.MagnitudeDb,
                                       curves.PhaseOf(TPhaseKind::Wrapped)};
    QString failure;
    if (ResponseFile::Write(name, points, pomiar->Name, failure))
        lblStan->setText(QStringLiteral("Zapisano: ") + name);
    else
        QMessageBox::critical(this, Title, failure);
}

void TFormaOdpowiedzImpulsowa::btnOtworzClick()
{
    const QString name =
        ChooseFile(false, QStringLiteral("Otwórz"),
                   {QStringLiteral("Odpowiedź impulsowa lub charakterystyka (*.wav *.frd *.csv)"),
                    QStringLiteral("Wszystkie pliki (*)")});
    if (name.isEmpty())
        return;
    auto pomiar = std::make_unique<TPomiar>();
    pomiar->Name = QFileInfo(name).completeBaseName();
    QString failure;
    if (ResponseFile::IsResponseFile(name)) {
        const auto points = ResponseFile::Read(name, failure);
        if (!points) {
            QMessageBox::critical(this, Title, failure);
            return;
        }
        TResponseCurves& curves = pomiar->Curves;
        curves.Frequency = points->Frequency;
        curves.MagnitudeDb = points->LevelDb;
        curves.Phase[static_cast<std::size_t>(TPhaseKind::Wrapped)] = points->PhaseDegrees;
        curves.Phase[static_cast<std::size_t>(TPhaseKind::Unwrapped)] = Unwrapped(points->PhaseDegrees);
    } else {
        auto sound = WaveFile::Read(name, failure);
        if (!sound) {
            QMessageBox::critical(this, Title, failure);
            return;
        }
        pomiar->Response = std::make_unique<TImpulseResponse>(
            ImpulseResponseOf(std::move(sound->Samples), sound->FrameRate, double(sound->TimeZero)));
    }
    AddMeasurement(std::move(pomiar));
    lblStan->setText(QStringLiteral("Otwarto: ") + name);
}

void TFormaOdpowiedzImpulsowa::closeEvent(QCloseEvent* event)
{
    Engine.Stop(); // the card is free again when the window goes
    StoreSettings();
    QWidget::closeEvent(event);
}
