// SPDX-License-Identifier: GPL-3.0-or-later
// "Opcje programu": building the dialog and its nine pages (the behaviour is in OknoOpcjeWykresu.cpp).

#include "ui/OknoOpcjeWykresu.h"

#include "audio/DeviceServices.h"
#include "common/NumberFormat.h"
#include "settings/KeyFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int TimerCheckInterval = 2000; // ms

QLabel* Caption(const QString& text, QWidget* parent)
{
    return new QLabel(text, parent);
}

QPushButton* NewButton(const char* name, const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false); // Enter is OK, whichever button has the focus
    return button;
}

QRadioButton* NewRadio(const char* name, const QString& caption, QWidget* parent)
{
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QCheckBox* NewCheck(const char* name, const QString& caption, QWidget* parent)
{
    auto* check = new QCheckBox(caption, parent);
    check->setObjectName(QString::fromLatin1(name));
    return check;
}

// A row of a grid: the widgets from column 0 on; null leaves a cell empty.
void Row(QGridLayout* grid, std::initializer_list<QWidget*> cells)
{
    const int row = grid->rowCount();
    int column = 0;
    for (QWidget* cell : cells) {
        if (cell)
            grid->addWidget(cell, row, column);
        ++column;
    }
}

// An edit with the up-down beside it that steps it (as the scaling dialog pairs them).
QSpinBox* UpDownFor(QLineEdit* edit, const char* name, int maximum, int step)
{
    auto* upDown = new QSpinBox(edit->parentWidget());
    upDown->setObjectName(QString::fromLatin1(name));
    upDown->setRange(0, maximum);
    upDown->setSingleStep(step);
    upDown->setFixedWidth(upDown->sizeHint().height());
    QObject::connect(upDown, &QSpinBox::valueChanged, edit,
                     [edit](int value) { edit->setText(NumberFormat::Integer(value)); });
    QObject::connect(edit, &QLineEdit::textChanged, upDown, [edit, upDown] {
        if (const std::optional<long long> value = NumberFormat::ParseInteger(edit->text())) {
            const QSignalBlocker quiet(upDown);
            upDown->setValue(static_cast<int>(std::clamp<long long>(*value, 0, upDown->maximum())));
        }
    });
    return upDown;
}

} // namespace

const QStringList TFormaOpcjeWykresu::FrameRates = {"48000", "44100", "32000", "24000",
                                                    "22050", "16000", "11025", "8000"};

TFormaOpcjeWykresu::TFormaOpcjeWykresu(const TOpcjeProgramu& inForce, TMeasurementState& state,
                                       TAudioIO& input, TAudioIO& output, QWidget* parent)
    : QDialog(parent), InForce(inForce), State(state), Input(input), Output(output)
{
    setObjectName(QStringLiteral("TFormaOpcjeWykresu"));
    setWindowTitle(QStringLiteral("Opcje programu"));

    pgcOpcjeWykresu = new QTabWidget(this);
    pgcOpcjeWykresu->setObjectName(QStringLiteral("pgcOpcjeWykresu"));
    pgcOpcjeWykresu->addTab(PageOgolne(), QStringLiteral("  Ogólne  "));
    pgcOpcjeWykresu->addTab(PageOdswiezanie(), QStringLiteral("Odświeżanie wykresu"));
    pgcOpcjeWykresu->addTab(PageKalibracja(), QStringLiteral("Kalibracja"));
    pgcOpcjeWykresu->addTab(PagePreferencje(), QStringLiteral("Preferencje"));
    pgcOpcjeWykresu->addTab(PagePomiarCisnienia(), QStringLiteral("Pomiar ciśnienia-ustawienia osi"));
    pgcOpcjeWykresu->addTab(PagePomiarCharakterystyk(),
                            QStringLiteral("Pomiar charakterystyk-ustawienia osi"));
    pgcOpcjeWykresu->addTab(PageWykres(), QStringLiteral("       Wykres       "));
    pgcOpcjeWykresu->addTab(PageLegenda(), QStringLiteral("     Legenda     "));
    pgcOpcjeWykresu->addTab(PageKolory(), QStringLiteral("Kolor i styl serii"));
    pgcOpcjeWykresu->setUsesScrollButtons(true);

    auto* btnOK = NewButton("btnOK", QStringLiteral("&OK"), this);
    btnOK->setDefault(true);
    auto* btnAnuluj = NewButton("btnAnuluj", QStringLiteral("&Anuluj"), this);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnAnuluj, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnAnuluj);
    auto* column = new QVBoxLayout(this);
    column->addWidget(pgcOpcjeWykresu);
    column->addLayout(buttons);

    Fill();
}

TFormaOpcjeWykresu::~TFormaOpcjeWykresu() = default;

QLineEdit* TFormaOpcjeWykresu::NewEdit(const char* name, const QString& allowedKeys)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaximumWidth(90);
    if (!allowedKeys.isEmpty())
        TKeyFilter::Install(edit, allowedKeys);
    edit->installEventFilter(this); // the checks made on leaving
    return edit;
}

// ---- The pages

QWidget* TFormaOpcjeWykresu::PageOgolne()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabOgolne"));
    // One group under another: a further setting is one more group.
    auto* groups = new QVBoxLayout(page);

    auto* rate = new QGroupBox(QStringLiteral("Częstotliwość próbkowania"), page);
    cbCzestotliwoscProbkowania = new QComboBox(rate);
    cbCzestotliwoscProbkowania->setObjectName(QStringLiteral("cbCzestotliwoscProbkowania"));
    // Two blanks take the place of a missing digit, so that the rates line up: "  8000 Hz".
    for (const QString& frameRate : FrameRates)
        cbCzestotliwoscProbkowania->addItem(QString(2 * (5 - frameRate.size()), u' ') + frameRate +
                                            QStringLiteral(" Hz"));
    (new QHBoxLayout(rate))->addWidget(cbCzestotliwoscProbkowania);
    groups->addWidget(rate);

    auto* weighting = new QGroupBox(QStringLiteral("Korekcja częstotliwościowa"), page);
    cbKorekcja = new QComboBox(weighting);
    cbKorekcja->setObjectName(QStringLiteral("cbKorekcja"));
    cbKorekcja->addItems(
        {QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("Z")}); // as the stored value
    (new QHBoxLayout(weighting))->addWidget(cbKorekcja);
    groups->addWidget(weighting);

    auto* amplitude = new QGroupBox(QStringLiteral("Amplituda sygnału generatora"), page);
    auto* amplitudeRow = new QHBoxLayout(amplitude);
    edtAmplituda = NewEdit("edtAmplituda", TKeyFilter::Digits);
    edtAmplituda->setMaxLength(4);
    amplitudeRow->addWidget(Caption(QStringLiteral("Wartość RMS sygnału generatora"), amplitude));
    amplitudeRow->addWidget(edtAmplituda);
    amplitudeRow->addWidget(Caption(QStringLiteral("mV"), amplitude));
    amplitudeRow->addStretch();
    connect(edtAmplituda, &QLineEdit::textChanged, this, [this] {
        const std::optional<long long> value = NumberFormat::ParseInteger(edtAmplituda->text());
        if (value && *value > InForce.MaxAmplitudeMv)
            edtAmplituda->setText(NumberFormat::Integer(InForce.MaxAmplitudeMv));
    });
    groups->addWidget(amplitude);

    auto* devices = new QGroupBox(QStringLiteral("Urządzenia"), page);
    auto* deviceGrid = new QGridLayout(devices);
    cbUrzadzenieWejsciowe = new QComboBox(devices);
    cbUrzadzenieWejsciowe->setObjectName(QStringLiteral("cbUrzadzenieWejsciowe"));
    cbUrzadzenieWyjsciowe = new QComboBox(devices);
    cbUrzadzenieWyjsciowe->setObjectName(QStringLiteral("cbUrzadzenieWyjsciowe"));
    for (QComboBox* list : {cbUrzadzenieWejsciowe, cbUrzadzenieWyjsciowe}) {
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setMinimumContentsLength(30);
    }
    Row(deviceGrid, {Caption(QStringLiteral("Urządzenie wejściowe"), devices), cbUrzadzenieWejsciowe});
    Row(deviceGrid, {Caption(QStringLiteral("Urządzenie wyjściowe"), devices), cbUrzadzenieWyjsciowe});
    deviceGrid->setColumnStretch(1, 1);
    groups->addWidget(devices);
    // The lists follow the devices that come and go while the dialog is open.
    connect(&TDeviceServices::Watch(), &TDeviceWatch::DevicesChanged, this, &TFormaOpcjeWykresu::FillDevices);

    auto* buttons = new QHBoxLayout;
    auto* btnZaawansowane = NewButton("btnZaawansowane", QStringLiteral("&Zaawansowane"), page);
    auto* btnMikser = NewButton("btnMikser", QStringLiteral("&Mikser"), page);
    connect(btnZaawansowane, &QPushButton::clicked, this, &TFormaOpcjeWykresu::btnZaawansowaneClick);
    connect(btnMikser, &QPushButton::clicked, this, &TFormaOpcjeWykresu::MikserRequested);
    buttons->addWidget(btnZaawansowane);
    buttons->addWidget(btnMikser);
    buttons->addStretch();
    groups->addLayout(buttons);

    // Double-clicked, the panel measures the 2 s of a timer against the steady clock.
    pnlKontrolaDokladnosci = new QFrame(page);
    pnlKontrolaDokladnosci->setObjectName(QStringLiteral("pnlKontrolaDokladnosci"));
    pnlKontrolaDokladnosci->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* check = new QHBoxLayout(pnlKontrolaDokladnosci);
    check->addWidget(
        Caption(QStringLiteral("Kontrola dokładności odmierzania czasu"), pnlKontrolaDokladnosci));
    pnlKontrolaDokladnosci->installEventFilter(this);
    tmrKontrolaDokladnosci = new QTimer(this);
    tmrKontrolaDokladnosci->setObjectName(QStringLiteral("tmrKontrolaDokladnosci"));
    tmrKontrolaDokladnosci->setInterval(TimerCheckInterval);
    connect(tmrKontrolaDokladnosci, &QTimer::timeout, this, &TFormaOpcjeWykresu::tmrKontrolaDokladnosciTimer);
    groups->addWidget(pnlKontrolaDokladnosci);
    groups->addStretch();
    return page;
}

QWidget* TFormaOpcjeWykresu::PageOdswiezanie()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabOdswiezanieWykresu"));
    auto* groups = new QVBoxLayout(page);

    auto* sweep = new QGroupBox(QStringLiteral("Pomiar charakterystyk"), page);
    auto* sweepGrid = new QGridLayout(sweep);
    edtZmianaCzestotliwosci = NewEdit("edtZmianaCzestotliwosci", TKeyFilter::Digits);
    lblMS3 = Caption(QString(), sweep);
    lblMS3->setObjectName(QStringLiteral("lblMS3"));
    Row(sweepGrid,
        {Caption(QStringLiteral("Zmiana częstotliwości co"), sweep), edtZmianaCzestotliwosci, lblMS3});
    sweepGrid->setColumnStretch(3, 1);
    groups->addWidget(sweep);

    auto* pressure = new QGroupBox(QStringLiteral("Pomiar ciśnienia"), page);
    auto* pressureGrid = new QGridLayout(pressure);
    edtOdswiezanieWykresu = NewEdit("edtOdswiezanieWykresu", TKeyFilter::Digits);
    edtOdswiezanieWyswietlacza = NewEdit("edtOdswiezanieWyswietlacza", TKeyFilter::Digits);
    edtMnoznik = NewEdit("edtMnoznik", QString());
    edtMnoznik->setEnabled(false);
    lblMS2 = Caption(QString(), pressure);
    lblMS2->setObjectName(QStringLiteral("lblMS2"));
    Row(pressureGrid,
        {Caption(QStringLiteral("Odswieżanie wykresu co"), pressure), edtOdswiezanieWykresu, lblMS2});
    Row(pressureGrid, {Caption(QStringLiteral("Odswieżanie wyświetlacza co"), pressure), edtMnoznik,
                       Caption(QStringLiteral("ms  x"), pressure), edtOdswiezanieWyswietlacza});
    pressureGrid->setColumnStretch(4, 1);
    connect(edtOdswiezanieWykresu, &QLineEdit::textChanged, edtMnoznik, &QLineEdit::setText);
    groups->addWidget(pressure);
    groups->addStretch();
    return page;
}

QWidget* TFormaOpcjeWykresu::PageKalibracja()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabKalibracja"));
    auto* grid = new QGridLayout(page);
    const QString numeric = TKeyFilter::Digits + NumberFormat::DecimalSeparator();
    edtKalStartFreq = NewEdit("edtKalStartFreq", numeric);
    edtKalStopFreq = NewEdit("edtKalStopFreq", numeric);
    edtKalLiczbaPunktow = NewEdit("edtKalLiczbaPunktow", TKeyFilter::Digits);
    edtKalZmianaCzestotliwosci = NewEdit("edtKalZmianaCzestotliwosci", TKeyFilter::Digits);
    Row(grid, {Caption(QStringLiteral("Częstoliwość początkowa [Hz]"), page), edtKalStartFreq});
    Row(grid, {Caption(QStringLiteral("Częstotliwość końcowa [Hz]"), page), edtKalStopFreq});
    Row(grid, {Caption(QStringLiteral("Liczba punktów"), page), edtKalLiczbaPunktow});
    Row(grid, {Caption(QStringLiteral("Czas zmiany częstotliwości [ms]"), page), edtKalZmianaCzestotliwosci});

    // Each channel's measurement microphone: its calibration file corrects every sweep point.
    auto* microphones = new QGroupBox(QStringLiteral("Plik kalibracji mikrofonu"), page);
    auto* files = new QGridLayout(microphones);
    const char* edits[2] = {"edtPlikKalibracjiMikrofonuL", "edtPlikKalibracjiMikrofonuP"};
    const char* buttons[2] = {"btnPlikKalibracjiMikrofonuL", "btnPlikKalibracjiMikrofonuP"};
    const QString channels[2] = {QStringLiteral("Kanał lewy"), QStringLiteral("Kanał prawy")};
    for (int channel = 0; channel < 2; ++channel) {
        QLineEdit*& edit = edtPlikKalibracjiMikrofonu[static_cast<std::size_t>(channel)];
        edit = new QLineEdit(microphones);
        edit->setObjectName(QString::fromLatin1(edits[channel]));
        edit->setPlaceholderText(QStringLiteral("bez korekcji"));
        auto* browse = NewButton(buttons[channel], QStringLiteral("..."), microphones);
        browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
        connect(browse, &QPushButton::clicked, this, [this, channel] { ChooseMicrophoneFile(channel); });
        Row(files, {Caption(channels[channel], microphones), edit, browse});
    }
    files->setColumnStretch(1, 1);
    grid->addWidget(microphones, grid->rowCount(), 0, 1, 3);
    grid->setRowStretch(grid->rowCount(), 1);
    grid->setColumnStretch(2, 1);
    return page;
}

QWidget* TFormaOpcjeWykresu::PagePreferencje()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabPreferencje"));
    auto* groups = new QVBoxLayout(page);
    cbPokazSciezke =
        NewCheck("cbPokazSciezke", QStringLiteral("Pokaż ściezkę dostępu w nagłówku okna"), page);
    groups->addWidget(cbPokazSciezke);

    auto* margins = new QGroupBox(QStringLiteral("Usatwienia automatycznego doboru skali osi"), page);
    auto* marginGrid = new QGridLayout(margins);
    edtNadmiarCzestotliwosci = NewEdit("edtNadmiarCzestotliwosci", TKeyFilter::Digits);
    edtNadmiarCzestotliwosci->setParent(margins);
    udNadmiarCzestotliwosci = UpDownFor(edtNadmiarCzestotliwosci, "udNadmiarCzestotliwosci", 1000, 10);
    edtnadmiarPoziomu = NewEdit("edtnadmiarPoziomu", TKeyFilter::Digits);
    edtnadmiarPoziomu->setParent(margins);
    udNadmiarPoziomu = UpDownFor(edtnadmiarPoziomu, "udNadmiarPoziomu", 1000, 1);
    Row(marginGrid,
        {Caption(QStringLiteral("Nadmiar przy automatycznym doborze skali częstotliwości [%]"), margins),
         edtNadmiarCzestotliwosci, udNadmiarCzestotliwosci});
    Row(marginGrid,
        {Caption(QStringLiteral("Nadmiar przy automatycznym doborze skali poziomu [dB]"), margins),
         edtnadmiarPoziomu, udNadmiarPoziomu});
    marginGrid->setColumnStretch(3, 1);
    groups->addWidget(margins);

    auto* folder = new QGroupBox(QStringLiteral("Katalog roboczy"), page);
    auto* folderRow = new QHBoxLayout(folder);
    edtKatalogRoboczy = NewEdit("edtKatalogRoboczy", QString());
    edtKatalogRoboczy->setMaximumWidth(QWIDGETSIZE_MAX);
    auto* browse = NewButton("btnKatalogRoboczy", QStringLiteral("..."), folder);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
    connect(browse, &QPushButton::clicked, this, &TFormaOpcjeWykresu::ChooseFolder);
    folderRow->addWidget(edtKatalogRoboczy);
    folderRow->addWidget(browse);
    groups->addWidget(folder);

    cbMinimalizuj =
        NewCheck("cbMinimalizuj", QStringLiteral("Ukrywaj serie na czas pomiaru charakterystyk"), page);
    cbPytaj =
        NewCheck("cbPytaj", QStringLiteral("Potwierdzaj zamknięcie programu i zmianę rodzaju pomiaru"), page);
    groups->addWidget(cbMinimalizuj);
    groups->addWidget(cbPytaj);
    groups->addStretch();
    return page;
}

QWidget* TFormaOpcjeWykresu::PagePomiarCisnienia()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabPomiarCisnienia"));
    auto* groups = new QVBoxLayout(page);
    const QString numeric = TKeyFilter::Digits + NumberFormat::DecimalSeparator();
    const QString signedNumeric = numeric + '-';

    auto* time = new QGroupBox(QStringLiteral("Skala osi czasu"), page);
    auto* timeGrid = new QGridLayout(time);
    rbZmienna = NewRadio("rbZmienna", QStringLiteral("Zmienna"), time);
    rbStala = NewRadio("rbStala", QStringLiteral("Stała"), time);
    edtCzasHistorii = NewEdit("edtCzasHistorii", TKeyFilter::Digits);
    edtMinX = NewEdit("edtMinX", numeric);
    edtMaxX = NewEdit("edtMaxX", numeric);
    ZmiennaControls = {Caption(QStringLiteral("Czas historii pomiaru"), time), edtCzasHistorii,
                       Caption(QStringLiteral("s."), time)};
    StalaControls = {Caption(QStringLiteral("Minimum"), time), edtMinX,
                     Caption(QStringLiteral("s,  maksimum"), time), edtMaxX,
                     Caption(QStringLiteral("s."), time)};
    Row(timeGrid, {rbZmienna, ZmiennaControls[0], ZmiennaControls[1], ZmiennaControls[2]});
    Row(timeGrid,
        {rbStala, StalaControls[0], StalaControls[1], StalaControls[2], StalaControls[3], StalaControls[4]});
    timeGrid->setColumnStretch(6, 1);
    groups->addWidget(time);

    groups->addWidget(LevelAxisGroup(page, 1, rbAutoPoziom1, rbStalyPoziom1, edtPoziomMin1, edtPoziomMax1,
                                     StalyPoziom1Controls));
    groups->addStretch();

    for (QRadioButton* button : {rbZmienna, rbStala})
        connect(button, &QRadioButton::toggled, this, &TFormaOpcjeWykresu::UpdateEnabling);
    connect(edtMinX, &QLineEdit::textEdited, this, [this] { CheckPair(edtMinX, edtMinX, edtMaxX); });
    connect(edtMaxX, &QLineEdit::textEdited, this, [this] { CheckPair(edtMaxX, edtMinX, edtMaxX); });
    return page;
}

QWidget* TFormaOpcjeWykresu::PagePomiarCharakterystyk()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabPomiarCharakterystyk"));
    auto* groups = new QVBoxLayout(page);
    const QString numeric = TKeyFilter::Digits + NumberFormat::DecimalSeparator();
    const QString signedNumeric = numeric + '-';

    auto* frequency = new QGroupBox(QStringLiteral("Skala osi częstotliwości"), page);
    auto* frequencyGrid = new QGridLayout(frequency);
    rbDopasujDoMinMax =
        NewRadio("rbDopasujDoMinMax",
                 QStringLiteral("Dopasuj skalę do minimalnej i maksymalnej wartości przebiegów"), frequency);
    rbDopasujDoGeneratora =
        NewRadio("rbDopasujDoGeneratora", QStringLiteral("Dopasuj skalę do ustawień generatora"), frequency);
    rbUstawNaStale = NewRadio("rbUstawNaStale", QStringLiteral("Ustaw stały zakres wartości"), frequency);
    edtMin = NewEdit("edtMin", numeric);
    edtMax = NewEdit("edtMax", numeric);
    UstawNaStaleControls = {Caption(QStringLiteral("Minimum"), frequency), edtMin,
                            Caption(QStringLiteral("Hz,  maksimum"), frequency), edtMax,
                            Caption(QStringLiteral("Hz."), frequency)};
    frequencyGrid->addWidget(rbDopasujDoMinMax, 0, 0, 1, 5);
    frequencyGrid->addWidget(rbDopasujDoGeneratora, 1, 0, 1, 5);
    frequencyGrid->addWidget(rbUstawNaStale, 2, 0, 1, 5);
    Row(frequencyGrid, {UstawNaStaleControls[0], UstawNaStaleControls[1], UstawNaStaleControls[2],
                        UstawNaStaleControls[3], UstawNaStaleControls[4]});
    frequencyGrid->setColumnStretch(5, 1);
    groups->addWidget(frequency);

    groups->addWidget(LevelAxisGroup(page, 2, rbAutoPoziom2, rbStalyPoziom2, edtPoziomMin2, edtPoziomMax2,
                                     StalyPoziom2Controls));

    // How each point of a sweep is measured; the reference and the band serve the detection only.
    auto* point = new QGroupBox(QStringLiteral("Pomiar punktu"), page);
    point->setObjectName(QStringLiteral("gbPomiarPunktu"));
    auto* pointGrid = new QGridLayout(point);
    cbMetodaPomiaru = new QComboBox(point);
    cbMetodaPomiaru->setObjectName(QStringLiteral("cbMetodaPomiaru"));
    cbMetodaPomiaru->addItems(
        {QStringLiteral("Uśredniony poziom"), QStringLiteral("Detekcja synchroniczna")});
    cbKanalOdniesienia = new QComboBox(point);
    cbKanalOdniesienia->setObjectName(QStringLiteral("cbKanalOdniesienia"));
    cbKanalOdniesienia->addItems({QStringLiteral("brak"), QStringLiteral("L"), QStringLiteral("R")});
    edtPasmoOd = NewEdit("edtPasmoOd", numeric);
    edtPasmoDo = NewEdit("edtPasmoDo", numeric);
    QLabel* reference = Caption(QStringLiteral("Kanał odniesienia"), point);
    QLabel* band = Caption(QStringLiteral("Pasmo THD+N od"), point);
    QLabel* bandTo = Caption(QStringLiteral("Hz  do"), point);
    QLabel* bandEnd = Caption(QStringLiteral("Hz."), point);
    pointGrid->addWidget(Caption(QStringLiteral("Metoda"), point), 0, 0);
    pointGrid->addWidget(cbMetodaPomiaru, 0, 1, 1, 3);
    pointGrid->addWidget(reference, 1, 0);
    pointGrid->addWidget(cbKanalOdniesienia, 1, 1, 1, 3);
    Row(pointGrid, {band, edtPasmoOd, bandTo, edtPasmoDo, bandEnd});
    // Either method: a point is taken once its tone has settled, waiting at most this long for it.
    edtCzasUstalania = NewEdit("edtCzasUstalania", numeric);
    edtCzasUstalania->setToolTip(QStringLiteral(
        "Punkt jest mierzony, gdy ton się ustali (rezonans, pogłos). Punkt, który nie ustalił się w tym "
        "czasie, zostaje oznaczony na wykresie."));
    Row(pointGrid, {Caption(QStringLiteral("Maksymalny czas ustalania"), point), edtCzasUstalania,
                    Caption(QStringLiteral("s"), point)});
    pointGrid->setColumnStretch(5, 1);
    DetekcjaControls = {reference, cbKanalOdniesienia, band, edtPasmoOd, bandTo, edtPasmoDo, bandEnd};
    groups->addWidget(point);
    groups->addStretch();

    for (QRadioButton* button : {rbDopasujDoMinMax, rbDopasujDoGeneratora, rbUstawNaStale})
        connect(button, &QRadioButton::toggled, this, &TFormaOpcjeWykresu::UpdateEnabling);
    connect(edtMin, &QLineEdit::textEdited, this, [this] { CheckPair(edtMin, edtMin, edtMax); });
    connect(edtMax, &QLineEdit::textEdited, this, [this] { CheckPair(edtMax, edtMin, edtMax); });
    connect(cbMetodaPomiaru, &QComboBox::currentIndexChanged, this, &TFormaOpcjeWykresu::UpdateEnabling);
    connect(edtPasmoOd, &QLineEdit::textEdited, this,
            [this] { CheckPair(edtPasmoOd, edtPasmoOd, edtPasmoDo); });
    connect(edtPasmoDo, &QLineEdit::textEdited, this,
            [this] { CheckPair(edtPasmoDo, edtPasmoOd, edtPasmoDo); });
    return page;
}

QGroupBox* TFormaOpcjeWykresu::LevelAxisGroup(QWidget* page, int number, QRadioButton*& automatic,
                                              QRadioButton*& fixed, QLineEdit*& minimum, QLineEdit*& maximum,
                                              QList<QWidget*>& fixedControls)
{
    const QByteArray n = QByteArray::number(number);
    const QString signedNumeric = TKeyFilter::Digits + NumberFormat::DecimalSeparator() + '-';
    auto* level = new QGroupBox(QStringLiteral("Skala osi poziomu"), page);
    auto* levelGrid = new QGridLayout(level);
    automatic =
        NewRadio(("rbAutoPoziom" + n).constData(), QStringLiteral("Automatycznie dobierz zakres"), level);
    fixed = NewRadio(("rbStalyPoziom" + n).constData(), QStringLiteral("Ustaw stały zakres wartości"), level);
    minimum = NewEdit(("edtPoziomMin" + n).constData(), signedNumeric);
    maximum = NewEdit(("edtPoziomMax" + n).constData(), signedNumeric);
    fixedControls = {Caption(QStringLiteral("Minimum"), level), minimum,
                     Caption(QStringLiteral("dB,  maksimum"), level), maximum,
                     Caption(QStringLiteral("dB."), level)};
    levelGrid->addWidget(automatic, 0, 0, 1, 5);
    levelGrid->addWidget(fixed, 1, 0, 1, 5);
    Row(levelGrid,
        {fixedControls[0], fixedControls[1], fixedControls[2], fixedControls[3], fixedControls[4]});
    levelGrid->setColumnStretch(5, 1);

    for (QRadioButton* button : {automatic, fixed})
        connect(button, &QRadioButton::toggled, this, &TFormaOpcjeWykresu::UpdateEnabling);
    QLineEdit* low = minimum;
    QLineEdit* high = maximum;
    connect(low, &QLineEdit::textEdited, this, [this, low, high] { CheckPair(low, low, high); });
    connect(high, &QLineEdit::textEdited, this, [this, low, high] { CheckPair(high, low, high); });
    return level;
}

QWidget* TFormaOpcjeWykresu::PageWykres()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabWykres"));
    auto* grid = new QGridLayout(page);
    const auto fontButton = [&](const char* name, QFont& font) {
        auto* button = NewButton(name, QStringLiteral("F..."), page);
        connect(button, &QPushButton::clicked, this, [this, &font] { ChooseFont(font); });
        return button;
    };
    memNazwaWykresu = new QPlainTextEdit(page);
    memNazwaWykresu->setObjectName(QStringLiteral("memNazwaWykresu"));
    memNazwaWykresu->setTabChangesFocus(true);
    memNazwaWykresu->setMaximumHeight(memNazwaWykresu->fontMetrics().lineSpacing() * 4);
    cbPokazNazwe = NewCheck("cbPokazNazwe", QStringLiteral("Pokaż nazwę wykresu"), page);
    connect(cbPokazNazwe, &QCheckBox::toggled, this, &TFormaOpcjeWykresu::UpdateEnabling);
    grid->addWidget(Caption(QStringLiteral("Nazwa wykresu"), page), 0, 0);
    grid->addWidget(memNazwaWykresu, 1, 0);
    grid->addWidget(fontButton("btnCzcionkaNazwy", ChartNameFont), 1, 1, Qt::AlignTop);
    grid->addWidget(cbPokazNazwe, 2, 0);
    edtOpisX = NewEdit("edtOpisX", QString());
    edtOpisY = NewEdit("edtOpisY", QString());
    for (QLineEdit* edit : {edtOpisX, edtOpisY})
        edit->setMaximumWidth(QWIDGETSIZE_MAX);
    grid->addWidget(Caption(QStringLiteral("Opis osi poziomej"), page), 3, 0);
    grid->addWidget(edtOpisX, 4, 0);
    grid->addWidget(fontButton("btnCzcionkaOpisuX", BottomTitleFont), 4, 1);
    grid->addWidget(Caption(QStringLiteral("Opis osi pionowej"), page), 5, 0);
    grid->addWidget(edtOpisY, 6, 0);
    grid->addWidget(fontButton("btnCzcionkaOpisuY", LeftTitleFont), 6, 1);
    cbRysujKrzyz =
        NewCheck("cbRysujKrzyz", QStringLiteral("Rysuj duży krzyż wskazujący współrzędne wykresu"), page);
    cbLogarytmiczna =
        NewCheck("cbLogarytmiczna", QStringLiteral("Logarytmiczna skala osi częstotliwości"), page);
    grid->addWidget(cbRysujKrzyz, 7, 0, 1, 2);
    grid->addWidget(cbLogarytmiczna, 8, 0, 1, 2);
    grid->setRowStretch(9, 1);
    return page;
}

QWidget* TFormaOpcjeWykresu::PageLegenda()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabLegenda"));
    auto* grid = new QGridLayout(page);
    cbPokazLegende = NewCheck("cbPokazLegende", QStringLiteral("Pokaż legendę"), page);
    connect(cbPokazLegende, &QCheckBox::toggled, this, &TFormaOpcjeWykresu::UpdateEnabling);
    grid->addWidget(cbPokazLegende, 0, 0, 1, 2);
    for (int slot = 0; slot < ResultSeriesCount; ++slot) {
        QLineEdit*& edit = edtSeria[static_cast<std::size_t>(slot)];
        edit = NewEdit(QStringLiteral("edtSeria%1").arg(slot).toLatin1().constData(), QString());
        edit->setMaxLength(MaxNameLength);
        edit->setMaximumWidth(QWIDGETSIZE_MAX);
        Row(grid, {Caption(QStringLiteral("Seria ") + NumberFormat::Integer(slot + 1), page), edit});
    }
    cbPokazujKanal = NewCheck("cbPokazujKanal", QStringLiteral("Pokazuj w tytule kanał pomiarowy"), page);
    cbPokazujCzestotliwosc = NewCheck("cbPokazujCzestotliwosc",
                                      QStringLiteral("Pokazuj w tytule częstotliwość próbkowania"), page);
    cbPokazujCzasUsredniania =
        NewCheck("cbPokazujCzasUsredniania", QStringLiteral("Pokazuj w tytule czas uśredniania"), page);
    for (QCheckBox* check : {cbPokazujKanal, cbPokazujCzestotliwosc, cbPokazujCzasUsredniania})
        grid->addWidget(check, grid->rowCount(), 0, 1, 2);
    grid->setRowStretch(grid->rowCount(), 1);
    return page;
}

QWidget* TFormaOpcjeWykresu::PageKolory()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabKolory"));
    auto* groups = new QVBoxLayout(page);
    const auto seriesRow = [&](QGridLayout* grid, int series, const QString& caption, const QString& picture,
                               const QString& panel) {
        QLabel*& sample = imgSeria[static_cast<std::size_t>(series)];
        sample = new QLabel(grid->parentWidget());
        sample->setObjectName(picture);
        sample->setFixedSize(SampleWidth, SampleHeight);
        sample->setCursor(Qt::PointingHandCursor);
        sample->installEventFilter(this);
        QFrame*& colour = pnlSeria[static_cast<std::size_t>(series)];
        colour = new QFrame(grid->parentWidget());
        colour->setObjectName(panel);
        colour->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        colour->setFixedSize(40, SampleHeight);
        colour->setAutoFillBackground(true);
        colour->setCursor(Qt::PointingHandCursor);
        colour->installEventFilter(this);
        Row(grid, {Caption(caption, grid->parentWidget()), sample, colour});
    };
    const auto heads = [](QGridLayout* grid) {
        Row(grid, {nullptr, Caption(QStringLiteral("Szerokość"), grid->parentWidget()),
                   Caption(QStringLiteral("Kolor"), grid->parentWidget())});
    };

    auto* pressure = new QGroupBox(QStringLiteral("Pomiar ciśnienia"), page);
    auto* pressureGrid = new QGridLayout(pressure);
    heads(pressureGrid);
    seriesRow(pressureGrid, LeftChannelSeries, QStringLiteral("Styl i kolor serii kanału lewego"),
              QStringLiteral("imgKanalLewy"), QStringLiteral("pnlKanalLewy"));
    seriesRow(pressureGrid, RightChannelSeries, QStringLiteral("Styl i kolor serii kanału prawego"),
              QStringLiteral("imgKanalPrawy"), QStringLiteral("pnlKanalPrawy"));
    pressureGrid->setColumnStretch(3, 1);
    groups->addWidget(pressure);

    auto* sweep = new QGroupBox(QStringLiteral("Pomiar charakterystyk"), page);
    auto* sweepGrid = new QGridLayout(sweep);
    heads(sweepGrid);
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        seriesRow(sweepGrid, slot, QStringLiteral("Seria ") + NumberFormat::Integer(slot + 1),
                  QStringLiteral("imgSeria%1").arg(slot), QStringLiteral("pnlSeria%1").arg(slot));
    sweepGrid->setColumnStretch(3, 1);
    groups->addWidget(sweep);
    groups->addStretch();
    return page;
}
