// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoAnalizatorWidma.h"

#include "measure/MeasurementState.h"
#include "results/AnalyserExport.h"
#include "ui/AnalyserChart.h"
#include "ui/ChartExport.h"
#include "ui/OknoDialog.h"
#include "ui/SonogramView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The items of "Widok": the bands of 1/b octave, then the FFT spectrum.
constexpr int ViewBands[] = {1, 3, 6, 12, 24};
constexpr int FftView = static_cast<int>(std::size(ViewBands));
constexpr int ThirdOctaveView = 1;
constexpr std::size_t FftSizes[] = {1024, 2048, 4096, 8192, 16384, 32768, 65536};
constexpr int DefaultFftSize = 3; // 8192
constexpr double TimeConstants[] = {0.125, 1.0};
constexpr int SpectrumRows = 160;           // of the spectrogram in the FFT view
constexpr int SpectrogramEvery = 2;         // pictures to a spectrogram column
constexpr std::size_t DisplayPoints = 2048; // of the FFT spectrum on the screen, at most

struct TPictureFilter
{
    const char* Text;
    const char* Extension;
    ChartExport::TFormat Format;
};
const TPictureFilter PictureFilters[] = {
    {"Rysunek (*.emf)", ".emf", ChartExport::TFormat::Emf},
    {"Rysunek SVG (*.svg)", ".svg", ChartExport::TFormat::Svg},
    {"Dokument PDF (*.pdf)", ".pdf", ChartExport::TFormat::Pdf},
    {"Obraz PNG (*.png)", ".png", ChartExport::TFormat::Png},
};

QComboBox* Combo(const char* name, const QStringList& items, int current, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->addItems(items);
    combo->setCurrentIndex(current);
    return combo;
}

QCheckBox* Check(const char* name, const QString& caption, bool checked, QWidget* parent)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(checked);
    return box;
}

QPushButton* Button(const char* name, const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

// A name with the extension of the chosen filter, whatever the user typed.
QString WithExtension(QString name, const QString& extension)
{
    if (!name.endsWith(extension, Qt::CaseInsensitive))
        name += extension;
    return name;
}

} // namespace

TFormaAnalizatorWidma::TFormaAnalizatorWidma(TAudioIn& recordingInput, const TMeasurementState& state,
                                             QWidget* parent)
    : QDialog(parent), RecordingInput(recordingInput), RecordingAlive(&recordingInput), State(state),
      OwnInput(this), tmrOdswiezanie(new QTimer(this))
{
    setObjectName(QStringLiteral("FormaAnalizatorWidma"));
    setWindowTitle(QStringLiteral("Analizator widma"));
    setModal(false);
    setWindowFlag(Qt::WindowMaximizeButtonHint);

    QStringList views;
    for (const int bands : ViewBands)
        views << QStringLiteral("Pasma ") + BandsText(bands);
    views << QStringLiteral("Widmo FFT");
    cbWidok = Combo("cbWidok", views, ThirdOctaveView, this);
    cbKorekcja = Combo("cbKorekcja", {QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("Z")},
                       static_cast<int>(State.FrequencyWeighting), this);
    cbStalaCzasowa =
        Combo("cbStalaCzasowa", {QStringLiteral("F (0,125s)"), QStringLiteral("S (1s)")}, 0, this);
    QStringList sizes;
    for (const std::size_t size : FftSizes)
        sizes << QString::number(size);
    cbRozmiarFft = Combo("cbRozmiarFft", sizes, DefaultFftSize, this);
    cbOkno = Combo("cbOkno",
                   {QStringLiteral("Hann"), QStringLiteral("Blackman-Harris"), QStringLiteral("Flat-top")},
                   static_cast<int>(TFftAnalyser::TWindow::FlatTop), this);
    cbUsrednianie = Combo("cbUsrednianie",
                          {QStringLiteral("Brak"), QStringLiteral("Liniowe"), QStringLiteral("Wykładnicze")},
                          static_cast<int>(TFftAnalyser::TAveraging::Exponential), this);
    cbGestosc = Check("cbGestosc", QStringLiteral("Gęstość widmowa (dB/Hz)"), false, this);
    cbKanalLewy = Check("cbKanalLewy", QStringLiteral("Kanał lewy"), true, this);
    cbKanalPrawy = Check("cbKanalPrawy", QStringLiteral("Kanał prawy"), true, this);
    cbSzczyty = Check("cbSzczyty", QStringLiteral("Trzymanie szczytów"), false, this);
    cbSpektrogram = Check("cbSpektrogram", QStringLiteral("Spektrogram"), true, this);
    btnPauza = Button("btnPauza", QStringLiteral("&Pauza"), this);
    btnZeruj = Button("btnZeruj", QStringLiteral("&Zeruj"), this);
    btnKopiuj = Button("btnKopiuj", QStringLiteral("&Kopiuj wykres"), this);
    btnZapiszRysunek = Button("btnZapiszRysunek", QStringLiteral("Zapisz &rysunek..."), this);
    btnEksportuj = Button("btnEksportuj", QStringLiteral("&Eksportuj CSV..."), this);
    auto* close = Button("btnZamknij", QStringLiteral("Za&mknij"), this);
    chtWidmo = new TAnalyserChart(this);
    chtSpektrogram = new TSonogramView(this);
    lblOdczyt = new QLabel(this);
    lblOdczyt->setObjectName(QStringLiteral("lblOdczyt"));
    lblZrodlo = new QLabel(this);
    lblZrodlo->setObjectName(QStringLiteral("lblZrodlo"));
    tmrOdswiezanie->setObjectName(QStringLiteral("tmrOdswiezanie"));
    tmrOdswiezanie->setInterval(RefreshInterval);

    auto* choices = new QGridLayout;
    const auto add = [&](int row, int column, const QString& caption, QWidget* control) {
        choices->addWidget(new QLabel(caption, this), row, column, Qt::AlignRight);
        choices->addWidget(control, row, column + 1);
    };
    add(0, 0, QStringLiteral("Widok:"), cbWidok);
    add(0, 2, QStringLiteral("Korekcja:"), cbKorekcja);
    add(0, 4, QStringLiteral("Stała czasowa:"), cbStalaCzasowa);
    add(1, 0, QStringLiteral("Rozmiar FFT:"), cbRozmiarFft);
    add(1, 2, QStringLiteral("Okno:"), cbOkno);
    add(1, 4, QStringLiteral("Uśrednianie:"), cbUsrednianie);
    choices->addWidget(cbKanalLewy, 0, 6);
    choices->addWidget(cbKanalPrawy, 0, 7);
    choices->addWidget(cbSzczyty, 0, 8);
    choices->addWidget(cbSpektrogram, 1, 6);
    choices->addWidget(cbGestosc, 1, 7, 1, 2);
    choices->setColumnStretch(9, 1);
    auto* charts = new QSplitter(Qt::Vertical, this);
    charts->addWidget(chtWidmo);
    charts->addWidget(chtSpektrogram);
    charts->setStretchFactor(0, 3);
    charts->setStretchFactor(1, 2);
    auto* status = new QHBoxLayout;
    status->addWidget(lblZrodlo, 1);
    status->addWidget(lblOdczyt);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {btnPauza, btnZeruj})
        buttons->addWidget(button);
    buttons->addStretch();
    for (QPushButton* button : {btnKopiuj, btnZapiszRysunek, btnEksportuj, close})
        buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(charts, 1);
    layout->addLayout(status);
    layout->addLayout(buttons);
    resize(900, 640);

    for (QComboBox* combo : {cbWidok, cbKorekcja, cbRozmiarFft, cbOkno})
        connect(combo, &QComboBox::currentIndexChanged, this, &TFormaAnalizatorWidma::AnalysisChange);
    connect(cbStalaCzasowa, &QComboBox::currentIndexChanged, this,
            &TFormaAnalizatorWidma::cbStalaCzasowaChange);
    connect(cbUsrednianie, &QComboBox::currentIndexChanged, this,
            &TFormaAnalizatorWidma::cbUsrednianieChange);
    for (QCheckBox* box : {cbGestosc, cbKanalLewy, cbKanalPrawy, cbSzczyty})
        connect(box, &QCheckBox::toggled, this, [this] { Draw(false); });
    connect(cbSpektrogram, &QCheckBox::toggled, chtSpektrogram, &QWidget::setVisible);
    connect(btnPauza, &QPushButton::clicked, this, &TFormaAnalizatorWidma::btnPauzaClick);
    connect(btnZeruj, &QPushButton::clicked, this, &TFormaAnalizatorWidma::btnZerujClick);
    connect(btnKopiuj, &QPushButton::clicked, this, &TFormaAnalizatorWidma::btnKopiujClick);
    connect(btnZapiszRysunek, &QPushButton::clicked, this, &TFormaAnalizatorWidma::btnZapiszRysunekClick);
    connect(btnEksportuj, &QPushButton::clicked, this, &TFormaAnalizatorWidma::btnEksportujClick);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(chtWidmo, &TAnalyserChart::ReadoutChanged, lblOdczyt, &QLabel::setText);
    connect(tmrOdswiezanie, &QTimer::timeout, this, &TFormaAnalizatorWidma::tmrOdswiezanieTimer);

    OwnInput.OnBufferFilled = [this](float* samples, int& count) {
        if (!RecordingInput.DeviceOpen()) // the recording's blocks come through the observer
            Analyse(samples, count);
        return true;
    };
    // The main window lets its input go before its child windows: this window's own one goes with it.
    connect(&RecordingInput, &QObject::destroyed, this, [this] {
        tmrOdswiezanie->stop();
        StopOwnInput();
    });
    AnalysisChange();
}

TFormaAnalizatorWidma::~TFormaAnalizatorWidma()
{
    if (RecordingAlive) {
        RecordingInput.OnBlockObserved = nullptr;
        RecordingInput.OnOpening = nullptr;
    }
    OwnInput.StopNow();
}

// Only an open window analyses, and only it holds an input; minimised, it goes on measuring.
void TFormaAnalizatorWidma::showEvent(QShowEvent* event)
{
    RecordingInput.OnBlockObserved = [this](const float* samples, int count) { Analyse(samples, count); };
    RecordingInput.OnOpening = [this](QObject*) { StopOwnInput(); };
    tmrOdswiezanie->start();
    FollowSource();
    QDialog::showEvent(event);
}

void TFormaAnalizatorWidma::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous()) {
        tmrOdswiezanie->stop();
        RecordingInput.OnBlockObserved = nullptr;
        RecordingInput.OnOpening = nullptr;
        StopOwnInput();
    }
    QDialog::hideEvent(event);
}

bool TFormaAnalizatorWidma::BandView() const
{
    return cbWidok->currentIndex() != FftView;
}

TSpectrumSettings TFormaAnalizatorWidma::ChosenSettings() const
{
    TSpectrumSettings settings;
    settings.BandsPerOctave = BandView() ? ViewBands[std::clamp(cbWidok->currentIndex(), 0, FftView - 1)] : 0;
    settings.FftSize = FftSizes[std::clamp(cbRozmiarFft->currentIndex(), 0, int(std::size(FftSizes)) - 1)];
    settings.Window = static_cast<TFftAnalyser::TWindow>(cbOkno->currentIndex());
    settings.Averaging = static_cast<TFftAnalyser::TAveraging>(cbUsrednianie->currentIndex());
    settings.Weighting = WeightingFromItem(cbKorekcja->currentIndex());
    settings.TimeConstant = TimeConstants[std::clamp(cbStalaCzasowa->currentIndex(), 0, 1)];
    return settings;
}

std::array<bool, 2> TFormaAnalizatorWidma::ShownChannels() const
{
    return {cbKanalLewy->isChecked(), cbKanalPrawy->isChecked()};
}

std::array<double, 2> TFormaAnalizatorWidma::Calibration() const
{
    return {State.TimeCalibrationL, State.TimeCalibrationR};
}

// A new engine for what the controls choose at the input's frame rate: its figures start again.
void TFormaAnalizatorWidma::AnalysisChange()
{
    const bool fft = !BandView();
    for (QWidget* control : std::initializer_list<QWidget*>{cbRozmiarFft, cbOkno, cbUsrednianie, cbGestosc})
        control->setEnabled(fft);
    Engine = std::make_unique<TRealTimeAnalyser>(RecordingInput.FrameRate(), ChosenSettings());
    // The filters start from rest on a running signal: their start-up is no part of a band's Leq or Lmax.
    Engine->CountBandsOnceSettled();
    const double columnSeconds = SpectrogramEvery * RefreshInterval / 1000.0;
    if (fft) {
        const double binWidth = double(Engine->FrameRate()) / double(Engine->Settings().FftSize);
        chtSpektrogram->SetRows(std::max(10.0, binWidth), Engine->FrameRate() / 2.0, SpectrumRows,
                                columnSeconds);
    } else if (const TOctaveFilterBank& bank = Engine->Bank(); bank.BandCount() > 0) {
        chtSpektrogram->SetRows(bank.Band(0).Lower, bank.Band(bank.BandCount() - 1).Upper, bank.BandCount(),
                                columnSeconds);
    }
    Draw(false);
}

void TFormaAnalizatorWidma::cbStalaCzasowaChange()
{
    Engine->SetTimeConstant(ChosenSettings().TimeConstant);
}

void TFormaAnalizatorWidma::cbUsrednianieChange()
{
    Engine->SetAveraging(ChosenSettings().Averaging);
}

void TFormaAnalizatorWidma::btnPauzaClick()
{
    Paused = !Paused;
    btnPauza->setText(Paused ? QStringLiteral("Wzn&ów") : QStringLiteral("&Pauza"));
    FollowSource();
}

void TFormaAnalizatorWidma::btnZerujClick()
{
    Engine->Reset();
    chtSpektrogram->Clear();
    Draw(false);
}

void TFormaAnalizatorWidma::btnKopiujClick()
{
    ChartExport::CopyToClipboard(*chtWidmo);
}

void TFormaAnalizatorWidma::btnZapiszRysunekClick()
{
    QFileDialog dlgZapiszRysunek(this, QStringLiteral("Zapisz rysunek"), Folder);
    dlgZapiszRysunek.setObjectName(QStringLiteral("dlgZapiszRysunek"));
    dlgZapiszRysunek.setAcceptMode(QFileDialog::AcceptSave);
    dlgZapiszRysunek.setOption(QFileDialog::DontConfirmOverwrite); // asked below, once the extension is known
    QStringList filters;
    for (const TPictureFilter& filter : PictureFilters)
        filters << QString::fromUtf8(filter.Text);
    dlgZapiszRysunek.setNameFilters(filters);
    if (dlgZapiszRysunek.exec() != QDialog::Accepted || dlgZapiszRysunek.selectedFiles().isEmpty())
        return;
    const TPictureFilter& filter =
        PictureFilters[std::max<qsizetype>(0, filters.indexOf(dlgZapiszRysunek.selectedNameFilter()))];
    const QString name =
        WithExtension(dlgZapiszRysunek.selectedFiles().constFirst(), QString::fromLatin1(filter.Extension));
    if (!ConfirmOverwrite(name))
        return;
    QString failure;
    if (!ChartExport::Save(*chtWidmo, name, filter.Format, failure))
        ShowError(failure);
}

void TFormaAnalizatorWidma::btnEksportujClick()
{
    if (BandView() ? Engine->SecondsSinceReset() <= 0 : Engine->SpectrumFrames() == 0) {
        QMessageBox::information(
            this, QStringLiteral("Tonvix"),
            QStringLiteral("Nie ma jeszcze nic do eksportu: analiza dopiero się zaczęła."));
        return;
    }
    QFileDialog dlgEksportuj(this, QStringLiteral("Eksportuj"), Folder);
    dlgEksportuj.setObjectName(QStringLiteral("dlgEksportuj"));
    dlgEksportuj.setAcceptMode(QFileDialog::AcceptSave);
    dlgEksportuj.setOption(QFileDialog::DontConfirmOverwrite);
    dlgEksportuj.setNameFilters({QStringLiteral("Plik CSV (*.csv)")});
    if (dlgEksportuj.exec() != QDialog::Accepted || dlgEksportuj.selectedFiles().isEmpty())
        return;
    const QString name = WithExtension(dlgEksportuj.selectedFiles().constFirst(), QStringLiteral(".csv"));
    if (!ConfirmOverwrite(name))
        return;
    QString failure;
    const bool written = BandView() ? AnalyserExport::WriteBands(name, *Engine, Calibration(), failure)
                                    : AnalyserExport::WriteSpectrum(name, *Engine, Calibration(),
                                                                    cbGestosc->isChecked(), failure);
    if (!written)
        ShowError(failure);
}

bool TFormaAnalizatorWidma::ConfirmOverwrite(const QString& fileName)
{
    Folder = QFileInfo(fileName).absolutePath();
    return !QFileInfo::exists(fileName) ||
           TFormaDialog(QStringLiteral("Plik ") + fileName +
                            QStringLiteral(" już istnieje.\nCzy chcesz go zastąpić?"),
                        false, this)
                   .Ask() == TFormaDialog::Tak;
}

void TFormaAnalizatorWidma::ShowError(const QString& text)
{
    QMessageBox::critical(this, QStringLiteral("Tonvix"), text);
}

// The block, whichever input it comes from: nothing but the engine's block analysis.
void TFormaAnalizatorWidma::Analyse(const float* samples, int count)
{
    if (Paused || !Engine || Engine->FrameRate() != RecordingInput.FrameRate())
        return; // a new frame rate: the timer makes a new engine
    Engine->AnalyseBlock(samples, count / 2);
}

// The main window's input when it records, the window's own otherwise, opened with the same device
// and format. A failed open is tried again after a while, saying why meanwhile.
void TFormaAnalizatorWidma::FollowSource()
{
    if (RecordingInput.DeviceOpen()) {
        StopOwnInput();
        lblZrodlo->setText(QStringLiteral("Analizowane są bloki pomiaru z okna głównego."));
    } else if (OwnInput.DeviceOpen() && (OwnInput.FrameRate() != RecordingInput.FrameRate() ||
                                         OwnInput.DeviceName() != RecordingInput.DeviceName() ||
                                         OwnInput.SampleFormat() != RecordingInput.SampleFormat() ||
                                         OwnInput.WaveDevice() != RecordingInput.WaveDevice())) {
        StopOwnInput(); // the program's input settings have changed: open again with them
    } else if (!OwnInput.DeviceOpen() && (!SinceFailure || SinceFailure->hasExpired(RetryInterval))) {
        StartOwnInput();
    }
    if (Paused)
        lblZrodlo->setText(QStringLiteral("Analiza wstrzymana."));
}

void TFormaAnalizatorWidma::StartOwnInput()
{
    OwnInput.SetFrameRate(RecordingInput.FrameRate());
    OwnInput.SetStereo(RecordingInput.Stereo());
    OwnInput.SetQuantization(RecordingInput.Quantization());
    OwnInput.SetSampleFormat(RecordingInput.SampleFormat());
    OwnInput.SetNumBuffers(RecordingInput.NumBuffers());
    OwnInput.SetBufferSize(RecordingInput.RequestedBufferSize());
    OwnInput.SetWaveDevice(RecordingInput.WaveDevice());
    OwnInput.SetDeviceName(RecordingInput.DeviceName());
    if (OwnInput.Start()) {
        SinceFailure.reset();
        lblZrodlo->setText(QStringLiteral("Analizowane jest wejście karty dźwiękowej."));
        return;
    }
    SinceFailure = std::make_unique<QElapsedTimer>();
    SinceFailure->start();
    lblZrodlo->setText(
        QStringLiteral("Nie można otworzyć wejścia karty dźwiękowej: %1. Ponowna próba za chwilę.")
            .arg(OwnInput.LastError()));
}

void TFormaAnalizatorWidma::StopOwnInput()
{
    OwnInput.StopNow();
}

void TFormaAnalizatorWidma::tmrOdswiezanieTimer()
{
    FollowSource();
    if (Engine->FrameRate() != RecordingInput.FrameRate())
        AnalysisChange();
    Draw(!Paused);
    Pictures = (Pictures + 1) % SpectrogramEvery;
}

// The picture from the engine's figures. Live (not paused), the spectrum takes a new frame first and
// every SpectrogramEvery-th picture moves the spectrogram on by a column.
void TFormaAnalizatorWidma::Draw(bool live)
{
    const std::array<bool, 2> channels = ShownChannels();
    const std::size_t spectrogramChannel = channels[0] || !channels[1] ? 0 : 1;
    const QString weighted = LevelUnit(Engine->Settings().Weighting);
    if (BandView()) {
        chtWidmo->SetUnit(weighted);
        const std::vector<TBandReading> bands = Engine->BandReadings(Calibration());
        chtWidmo->ShowBands(bands, channels, cbSzczyty->isChecked());
        if (live && Pictures == 0 && cbSpektrogram->isChecked()) {
            std::vector<double> frequencies, levels;
            for (const TBandReading& band : bands) {
                frequencies.push_back(band.Midband);
                levels.push_back(band.Level[spectrogramChannel]);
            }
            chtSpektrogram->AddColumn(frequencies, levels);
        }
    } else {
        const bool density = cbGestosc->isChecked();
        chtWidmo->SetUnit(density ? weighted + QStringLiteral("/Hz") : weighted);
        if (live)
            Engine->UpdateSpectrum();
        const TSpectrumReading spectrum = Engine->SpectrumReading(Calibration(), density, DisplayPoints);
        chtWidmo->ShowSpectrum(spectrum, channels, cbSzczyty->isChecked());
        if (live && Pictures == 0 && cbSpektrogram->isChecked() && Engine->SpectrumFrames() > 0)
            chtSpektrogram->AddColumn(spectrum.Frequency, spectrum.Level[spectrogramChannel]);
    }
    const QCPRange levels = chtWidmo->yAxis->range();
    chtSpektrogram->SetLevelRange(levels.lower, levels.upper,
                                  spectrogramChannel == 0 ? QStringLiteral("L [dB]")
                                                          : QStringLiteral("P [dB]"));
}
