#include "ui/OknoOpcjeWykresu.h"

#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"
#include "settings/AdvancedSettings.h"
#include "settings/KeyFilter.h"
#include "settings/OknoZaawansowane.h"
#include "ui/ChartView.h"
#include "ui/OknoDialog.h"
#include "ui/OknoFormatSerii.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

const QString DefaultDevice = QStringLiteral("Urządzenie domyślne");
constexpr int TimerCheckInterval = 2000; // ms
constexpr int MinimumPoints = 3;
constexpr int SampleWidth = 65, SampleHeight = 17;

QString Text(double value)
{
    return NumberFormat::General(value);
}

QString Text(int value)
{
    return NumberFormat::Integer(value);
}

std::optional<double> Real(const QLineEdit* edit)
{
    return NumberFormat::ParseNumber(edit->text());
}

std::optional<int> Whole(const QLineEdit* edit)
{
    const std::optional<long long> value = NumberFormat::ParseInteger(edit->text());
    if (!value || *value < 0 || *value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*value);
}

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

void SetEnabled(const QList<QWidget*>& controls, bool enabled)
{
    for (QWidget* control : controls)
        control->setEnabled(enabled);
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
                     [edit](int value) { edit->setText(Text(value)); });
    QObject::connect(edit, &QLineEdit::textChanged, upDown, [edit, upDown] {
        if (const std::optional<int> value = Whole(edit)) {
            const QSignalBlocker quiet(upDown);
            upDown->setValue(std::min(*value, upDown->maximum()));
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
    for (const QString& frameRate : FrameRates)
        cbCzestotliwoscProbkowania->addItem(frameRate.rightJustified(5, ' ') + QStringLiteral(" Hz"));
    (new QHBoxLayout(rate))->addWidget(cbCzestotliwoscProbkowania);
    groups->addWidget(rate);

    auto* amplitude = new QGroupBox(QStringLiteral("Amplituda sygnału generatora"), page);
    auto* amplitudeRow = new QHBoxLayout(amplitude);
    edtAmplituda = NewEdit("edtAmplituda", TKeyFilter::Digits);
    edtAmplituda->setMaxLength(4);
    amplitudeRow->addWidget(Caption(QStringLiteral("Wartość RMS sygnału generatora"), amplitude));
    amplitudeRow->addWidget(edtAmplituda);
    amplitudeRow->addWidget(Caption(QStringLiteral("mV"), amplitude));
    amplitudeRow->addStretch();
    connect(edtAmplituda, &QLineEdit::textChanged, this, [this] {
        if (const std::optional<int> value = Whole(edtAmplituda); value && *value > InForce.MaxAmplitudeMv)
            edtAmplituda->setText(Text(InForce.MaxAmplitudeMv));
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

    auto* level = new QGroupBox(QStringLiteral("Skala osi poziomu"), page);
    auto* levelGrid = new QGridLayout(level);
    rbAutoPoziom1 = NewRadio("rbAutoPoziom1", QStringLiteral("Automatycznie dobierz zakres"), level);
    rbStalyPoziom1 = NewRadio("rbStalyPoziom1", QStringLiteral("Ustaw stały zakres wartości"), level);
    edtPoziomMin1 = NewEdit("edtPoziomMin1", signedNumeric);
    edtPoziomMax1 = NewEdit("edtPoziomMax1", signedNumeric);
    StalyPoziom1Controls = {Caption(QStringLiteral("Minimum"), level), edtPoziomMin1,
                            Caption(QStringLiteral("dB,  maksimum"), level), edtPoziomMax1,
                            Caption(QStringLiteral("dB."), level)};
    levelGrid->addWidget(rbAutoPoziom1, 0, 0, 1, 5);
    levelGrid->addWidget(rbStalyPoziom1, 1, 0, 1, 5);
    Row(levelGrid, {StalyPoziom1Controls[0], StalyPoziom1Controls[1], StalyPoziom1Controls[2],
                    StalyPoziom1Controls[3], StalyPoziom1Controls[4]});
    levelGrid->setColumnStretch(5, 1);
    groups->addWidget(level);
    groups->addStretch();

    for (QRadioButton* button : {rbZmienna, rbStala, rbAutoPoziom1, rbStalyPoziom1})
        connect(button, &QRadioButton::toggled, this, &TFormaOpcjeWykresu::UpdateEnabling);
    connect(edtMinX, &QLineEdit::textEdited, this, [this] { CheckPair(edtMinX, edtMinX, edtMaxX); });
    connect(edtMaxX, &QLineEdit::textEdited, this, [this] { CheckPair(edtMaxX, edtMinX, edtMaxX); });
    connect(edtPoziomMin1, &QLineEdit::textEdited, this,
            [this] { CheckPair(edtPoziomMin1, edtPoziomMin1, edtPoziomMax1); });
    connect(edtPoziomMax1, &QLineEdit::textEdited, this,
            [this] { CheckPair(edtPoziomMax1, edtPoziomMin1, edtPoziomMax1); });
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

    auto* level = new QGroupBox(QStringLiteral("Skala osi poziomu"), page);
    auto* levelGrid = new QGridLayout(level);
    rbAutoPoziom2 = NewRadio("rbAutoPoziom2", QStringLiteral("Automatycznie dobierz zakres"), level);
    rbStalyPoziom2 = NewRadio("rbStalyPoziom2", QStringLiteral("Ustaw stały zakres wartości"), level);
    edtPoziomMin2 = NewEdit("edtPoziomMin2", signedNumeric);
    edtPoziomMax2 = NewEdit("edtPoziomMax2", signedNumeric);
    StalyPoziom2Controls = {Caption(QStringLiteral("Minimum"), level), edtPoziomMin2,
                            Caption(QStringLiteral("dB,  maksimum"), level), edtPoziomMax2,
                            Caption(QStringLiteral("dB."), level)};
    levelGrid->addWidget(rbAutoPoziom2, 0, 0, 1, 5);
    levelGrid->addWidget(rbStalyPoziom2, 1, 0, 1, 5);
    Row(levelGrid, {StalyPoziom2Controls[0], StalyPoziom2Controls[1], StalyPoziom2Controls[2],
                    StalyPoziom2Controls[3], StalyPoziom2Controls[4]});
    levelGrid->setColumnStretch(5, 1);
    groups->addWidget(level);
    groups->addStretch();

    for (QRadioButton* button :
         {rbDopasujDoMinMax, rbDopasujDoGeneratora, rbUstawNaStale, rbAutoPoziom2, rbStalyPoziom2})
        connect(button, &QRadioButton::toggled, this, &TFormaOpcjeWykresu::UpdateEnabling);
    connect(edtMin, &QLineEdit::textEdited, this, [this] { CheckPair(edtMin, edtMin, edtMax); });
    connect(edtMax, &QLineEdit::textEdited, this, [this] { CheckPair(edtMax, edtMin, edtMax); });
    connect(edtPoziomMin2, &QLineEdit::textEdited, this,
            [this] { CheckPair(edtPoziomMin2, edtPoziomMin2, edtPoziomMax2); });
    connect(edtPoziomMax2, &QLineEdit::textEdited, this,
            [this] { CheckPair(edtPoziomMax2, edtPoziomMin2, edtPoziomMax2); });
    return page;
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
        Row(grid, {Caption(QStringLiteral("Seria ") + Text(slot + 1), page), edit});
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
        seriesRow(sweepGrid, slot, QStringLiteral("Seria ") + Text(slot + 1),
                  QStringLiteral("imgSeria%1").arg(slot), QStringLiteral("pnlSeria%1").arg(slot));
    sweepGrid->setColumnStretch(3, 1);
    groups->addWidget(sweep);
    groups->addStretch();
    return page;
}

// ---- Filling and enabling

void TFormaOpcjeWykresu::Fill()
{
    const qsizetype rate = FrameRates.indexOf(Text(InForce.FrameRate));
    cbCzestotliwoscProbkowania->setCurrentIndex(rate >= 0 ? static_cast<int>(rate) : 0);
    edtAmplituda->setText(Text(InForce.AmplitudeMv));
    FillDevices();

    edtZmianaCzestotliwosci->setText(Text(InForce.PointTime));
    edtOdswiezanieWykresu->setText(Text(InForce.ChartTimeRefresh));
    edtOdswiezanieWyswietlacza->setText(Text(InForce.DisplayTimeRefresh));
    MinInterval = ::MinRefreshInterval(Input, Output);
    ShowMinRefreshInterval();

    edtKalStartFreq->setText(Text(InForce.CalibrationStartFreq));
    edtKalStopFreq->setText(Text(InForce.CalibrationStopFreq));
    edtKalLiczbaPunktow->setText(Text(InForce.CalibrationPointsCount));
    edtKalZmianaCzestotliwosci->setText(Text(InForce.CalibrationTime));

    cbPokazSciezke->setChecked(InForce.ShowPath);
    edtNadmiarCzestotliwosci->setText(Text(InForce.FreqExcessPercent));
    edtnadmiarPoziomu->setText(Text(InForce.LevelExcessDb));
    edtKatalogRoboczy->setText(InForce.WorkDir);
    cbMinimalizuj->setChecked(InForce.MinimizeOnMeasurment);
    cbPytaj->setChecked(InForce.PromptOnClose);

    edtCzasHistorii->setText(Text(InForce.ChartTimeScope));
    (InForce.TimeAutoScale ? rbZmienna : rbStala)->setChecked(true);
    edtMinX->setText(Text(InForce.TimeScaleMinimum));
    edtMaxX->setText(Text(InForce.TimeScaleMaximum));
    (InForce.TimeAutoLevelScale ? rbAutoPoziom1 : rbStalyPoziom1)->setChecked(true);
    edtPoziomMin1->setText(Text(InForce.TimeLevelScaleMinimum));
    edtPoziomMax1->setText(Text(InForce.TimeLevelScaleMaximum));

    const std::array<QRadioButton*, 3> rules = {rbDopasujDoMinMax, rbDopasujDoGeneratora, rbUstawNaStale};
    rules[static_cast<std::size_t>(std::clamp(InForce.FreqAutoScale, 0, 2))]->setChecked(true);
    edtMin->setText(Text(InForce.FreqScaleMinimum));
    edtMax->setText(Text(InForce.FreqScaleMaximum));
    (InForce.FreqAutoLevelScale ? rbAutoPoziom2 : rbStalyPoziom2)->setChecked(true);
    edtPoziomMin2->setText(Text(InForce.FreqLevelScaleMinimum));
    edtPoziomMax2->setText(Text(InForce.FreqLevelScaleMaximum));

    memNazwaWykresu->setPlainText(InForce.ChartName);
    ChartNameFont = InForce.ChartNameFont;
    cbPokazNazwe->setChecked(InForce.ShowChartName);
    edtOpisX->setText(InForce.BottomTitle);
    edtOpisY->setText(InForce.LeftTitle);
    BottomTitleFont = InForce.BottomTitleFont;
    LeftTitleFont = InForce.LeftTitleFont;
    cbRysujKrzyz->setChecked(InForce.ShowCross);
    cbLogarytmiczna->setChecked(InForce.BottomAxisLogarithmic);

    cbPokazLegende->setChecked(InForce.ShowLegend);
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        edtSeria[static_cast<std::size_t>(slot)]->setText(
            InForce.SeriesNames[static_cast<std::size_t>(slot)]);
    cbPokazujKanal->setChecked(InForce.ShowCanal);
    cbPokazujCzestotliwosc->setChecked(InForce.ShowFrameRate);
    cbPokazujCzasUsredniania->setChecked(InForce.ShowAverageTime);

    Formats = InForce.Series;
    for (int series = 0; series < ChartSeriesCount; ++series)
        DrawSample(series);
    UpdateEnabling();
}

// The default device first, then every device by its description; a chosen device that is absent
// stays on the list, marked, so that the choice is not lost while it is unplugged.
void TFormaOpcjeWykresu::FillDevices()
{
    const TDeviceLists devices = TDeviceServices::AllDevices();
    const auto fill = [&](QComboBox* list, TWaveDirection direction, const QByteArray& inForce) {
        const QByteArray chosen = list->count() > 0 ? list->currentData().toByteArray() : inForce;
        const QSignalBlocker quiet(list);
        list->clear();
        list->addItem(DefaultDevice, QByteArray());
        for (const TDeviceEntry& device : devices.Of(direction))
            list->addItem(device.Description, device.Name);
        int index = list->findData(chosen);
        if (index < 0) {
            list->addItem(QString::fromUtf8(chosen) + QStringLiteral(" (niedostępne)"), chosen);
            index = list->count() - 1;
        }
        list->setCurrentIndex(index);
    };
    fill(cbUrzadzenieWejsciowe, TWaveDirection::Input, InForce.InputDevice);
    fill(cbUrzadzenieWyjsciowe, TWaveDirection::Output, InForce.OutputDevice);
}

void TFormaOpcjeWykresu::ShowMinRefreshInterval()
{
    const QString text = QStringLiteral("ms (min. ") + Text(MinInterval) + QStringLiteral("ms)");
    lblMS2->setText(text);
    lblMS3->setText(text);
}

void TFormaOpcjeWykresu::UpdateEnabling()
{
    SetEnabled(ZmiennaControls, rbZmienna->isChecked());
    SetEnabled(StalaControls, rbStala->isChecked());
    SetEnabled(StalyPoziom1Controls, rbStalyPoziom1->isChecked());
    SetEnabled(UstawNaStaleControls, rbUstawNaStale->isChecked());
    SetEnabled(StalyPoziom2Controls, rbStalyPoziom2->isChecked());
    for (QLineEdit* name : edtSeria)
        name->setEnabled(cbPokazLegende->isChecked());
    memNazwaWykresu->setEnabled(cbPokazNazwe->isChecked());
}

void TFormaOpcjeWykresu::SetPage(const QString& page)
{
    auto* tab = pgcOpcjeWykresu->findChild<QWidget*>(page);
    const int index = tab ? pgcOpcjeWykresu->indexOf(tab) : -1;
    pgcOpcjeWykresu->setCurrentIndex(std::max(index, 0));
}

// ---- Field checks

int TFormaOpcjeWykresu::SelectedFrameRate() const
{
    return FrameRates.value(cbCzestotliwoscProbkowania->currentIndex()).toInt();
}

// The rate in force after OK: the one chosen, unless the input runs and keeps its own.
double TFormaOpcjeWykresu::HalfFrameRate() const
{
    return (Input.Running() ? Input.FrameRate() : SelectedFrameRate()) / 2;
}

void TFormaOpcjeWykresu::CheckOnLeaving(QLineEdit* edit)
{
    const QString text = edit->text().trimmed();
    const auto set = [edit](const QString& value) {
        if (edit->text() != value)
            edit->setText(value);
    };
    // A refresh or step interval: 0 is allowed (one tick per block), anything else not below the minimum.
    const auto interval = [&](int inForce, bool zeroAllowed) {
        const std::optional<int> value = Whole(edit);
        if (!value)
            set(Text(inForce));
        else if ((*value != 0 || !zeroAllowed) && *value < MinInterval)
            set(Text(MinInterval));
    };
    const auto atLeastOne = [&](int inForce) {
        const std::optional<int> value = Whole(edit);
        if (!value)
            set(Text(inForce));
        else if (*value == 0)
            set(QStringLiteral("1"));
    };
    const auto frequency = [&](double inForce) {
        const std::optional<double> value = Real(edit);
        if (!value)
            set(Text(inForce));
        else if (*value > HalfFrameRate())
            set(Text(static_cast<int>(HalfFrameRate())));
    };
    const auto number = [&](double inForce) {
        if (!Real(edit))
            set(Text(inForce));
    };

    if (edit == edtAmplituda && text.isEmpty())
        set(Text(InForce.AmplitudeMv));
    else if (edit == edtZmianaCzestotliwosci)
        interval(InForce.PointTime, true);
    else if (edit == edtOdswiezanieWykresu)
        interval(InForce.ChartTimeRefresh, true);
    else if (edit == edtKalZmianaCzestotliwosci)
        interval(InForce.CalibrationTime, false);
    else if (edit == edtOdswiezanieWyswietlacza)
        atLeastOne(InForce.DisplayTimeRefresh);
    else if (edit == edtCzasHistorii)
        atLeastOne(InForce.ChartTimeScope);
    else if (edit == edtKalStartFreq)
        frequency(InForce.CalibrationStartFreq);
    else if (edit == edtKalStopFreq)
        frequency(InForce.CalibrationStopFreq);
    else if (edit == edtKalLiczbaPunktow) {
        const std::optional<int> value = Whole(edit);
        if (!value)
            set(Text(InForce.CalibrationPointsCount));
        else if (*value < MinimumPoints)
            set(Text(MinimumPoints));
    } else if (edit == edtNadmiarCzestotliwosci && text.isEmpty())
        set(Text(InForce.FreqExcessPercent));
    else if (edit == edtnadmiarPoziomu && text.isEmpty())
        set(Text(InForce.LevelExcessDb));
    else if (edit == edtMinX)
        number(InForce.TimeScaleMinimum);
    else if (edit == edtMaxX)
        number(InForce.TimeScaleMaximum);
    else if (edit == edtMin)
        number(InForce.FreqScaleMinimum);
    else if (edit == edtMax)
        number(InForce.FreqScaleMaximum);
    else if (edit == edtPoziomMin1)
        number(InForce.TimeLevelScaleMinimum);
    else if (edit == edtPoziomMax1)
        number(InForce.TimeLevelScaleMaximum);
    else if (edit == edtPoziomMin2)
        number(InForce.FreqLevelScaleMinimum);
    else if (edit == edtPoziomMax2)
        number(InForce.FreqLevelScaleMaximum);
}

// On every change of a limit: a pair that would be inverted takes the edited limit to the other's value.
void TFormaOpcjeWykresu::CheckPair(QLineEdit* edited, QLineEdit* minimum, QLineEdit* maximum)
{
    const std::optional<double> low = Real(minimum), high = Real(maximum);
    if (low && high && *high < *low)
        edited->setText((edited == minimum ? maximum : minimum)->text());
}

// ---- Buttons, panels and pictures

void TFormaOpcjeWykresu::btnZaawansowaneClick()
{
    // The sizes and durations are reckoned at the rate chosen here; the components change only when
    // the advanced values are applied, and their rate only with this dialog's OK.
    const int frameRate = Input.Running() ? Input.FrameRate() : SelectedFrameRate();
    const auto confirm = [](QWidget* dialog) {
        TFormaDialog question(QStringLiteral("Czy na pewno chcesz zatwierdzić zmiany?"), true, dialog);
        question.findChild<QPushButton*>(QStringLiteral("btnAnuluj"))
            ->setText(QStringLiteral("N&ie wiem..."));
        auto* no = question.findChild<QPushButton*>(QStringLiteral("btnNie"));
        no->setDefault(true); // Enter answers what has the focus
        no->setFocus();
        return question.Ask() == TFormaDialog::Tak;
    };
    TFormaZaawansowane advanced(CurrentAdvancedSettings(State, Input, Output), frameRate, confirm, this);
    if (advanced.exec() != QDialog::Accepted)
        return;
    ApplyAdvancedSettings(advanced.Values(), State, Input, Output);
    MinInterval = ::MinRefreshInterval(Input, Output);
    ShowMinRefreshInterval();
    for (QLineEdit* edit : {edtOdswiezanieWykresu, edtZmianaCzestotliwosci})
        CheckOnLeaving(edit);
}

void TFormaOpcjeWykresu::ChooseColour(int series)
{
    TSeriesFormat& format = Formats[static_cast<std::size_t>(series)];
    const QColor chosen = QColorDialog::getColor(ColourFromBgr(format.Colour), this);
    if (!chosen.isValid())
        return;
    format.Colour = BgrFromColour(chosen);
    DrawSample(series);
}

void TFormaOpcjeWykresu::ChooseFormat(int series)
{
    TSeriesFormat& format = Formats[static_cast<std::size_t>(series)];
    TFormaFormatSerii dialog(series, format.Style, format.Width, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    format.Style = dialog.Style();
    format.Width = dialog.Width();
    DrawSample(series);
}

// The sample: a black line with the series' style and width; beside it the panel in its colour.
void TFormaOpcjeWykresu::DrawSample(int series)
{
    const TSeriesFormat& format = Formats[static_cast<std::size_t>(series)];
    QPixmap picture(SampleWidth, SampleHeight);
    picture.fill(palette().color(QPalette::Button));
    QPainter painter(&picture);
    painter.setPen(QPen(Qt::black, std::max(format.Width, 1), format.Style));
    painter.drawLine(0, SampleHeight / 2, SampleWidth - 1, SampleHeight / 2);
    painter.end();
    imgSeria[static_cast<std::size_t>(series)]->setPixmap(picture);
    QFrame* panel = pnlSeria[static_cast<std::size_t>(series)];
    QPalette colours = panel->palette();
    colours.setColor(QPalette::Window, ColourFromBgr(format.Colour));
    panel->setPalette(colours);
}

void TFormaOpcjeWykresu::ChooseFont(QFont& font)
{
    bool chosen = false;
    const QFont picked = QFontDialog::getFont(&chosen, font, this);
    if (chosen)
        font = picked;
}

void TFormaOpcjeWykresu::ChooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Wybierz katalog roboczy:"),
                                                             edtKatalogRoboczy->text());
    if (!folder.isEmpty())
        edtKatalogRoboczy->setText(folder);
}

// ---- The timer check

void TFormaOpcjeWykresu::StartTimerCheck()
{
    if (tmrKontrolaDokladnosci->isActive())
        return;
    QMessageBox::information(this, QStringLiteral("Tonvix"),
                             QStringLiteral("QueryPerformanceFrequency: ") +
                                 Text(static_cast<double>(ProgramClock().CounterFrequency())) +
                                 QStringLiteral(" Hz"));
    TimerCheckStart = ProgramClock().Counter();
    tmrKontrolaDokladnosci->start();
}

void TFormaOpcjeWykresu::tmrKontrolaDokladnosciTimer()
{
    const std::int64_t elapsed = ProgramClock().Counter() - TimerCheckStart;
    tmrKontrolaDokladnosci->stop();
    const double milliseconds =
        static_cast<double>(elapsed) / static_cast<double>(ProgramClock().CounterFrequency()) * 1000.0;
    QMessageBox::information(this, QStringLiteral("Tonvix"),
                             QStringLiteral("Czas odmierzony przez TTimer (TTimer.Interval = 2000ms): ") +
                                 NumberFormat::Fixed(milliseconds, 10, 4) + QStringLiteral(" ms"));
}

// ---- Events

bool TFormaOpcjeWykresu::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusOut:
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            CheckOnLeaving(edit);
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == pnlKontrolaDokladnosci) {
            StartTimerCheck();
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        for (int series = 0; series < ChartSeriesCount; ++series) {
            if (watched == pnlSeria[static_cast<std::size_t>(series)]) {
                ChooseColour(series);
                return true;
            }
            if (watched == imgSeria[static_cast<std::size_t>(series)]) {
                ChooseFormat(series);
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- What OK gives back

TOpcjeProgramu TFormaOpcjeWykresu::Values() const
{
    TOpcjeProgramu values = InForce;
    const auto whole = [](const QLineEdit* edit, int otherwise) { return Whole(edit).value_or(otherwise); };
    const auto real = [](const QLineEdit* edit, double otherwise) { return Real(edit).value_or(otherwise); };

    values.FrameRate = SelectedFrameRate();
    values.AmplitudeMv = std::min(whole(edtAmplituda, InForce.AmplitudeMv), InForce.MaxAmplitudeMv);
    values.InputDevice = cbUrzadzenieWejsciowe->currentData().toByteArray();
    values.OutputDevice = cbUrzadzenieWyjsciowe->currentData().toByteArray();

    values.PointTime = whole(edtZmianaCzestotliwosci, InForce.PointTime);
    values.ChartTimeRefresh = whole(edtOdswiezanieWykresu, InForce.ChartTimeRefresh);
    values.DisplayTimeRefresh = std::max(whole(edtOdswiezanieWyswietlacza, InForce.DisplayTimeRefresh), 1);

    values.CalibrationStartFreq = real(edtKalStartFreq, InForce.CalibrationStartFreq);
    values.CalibrationStopFreq = real(edtKalStopFreq, InForce.CalibrationStopFreq);
    values.CalibrationPointsCount = whole(edtKalLiczbaPunktow, InForce.CalibrationPointsCount);
    values.CalibrationTime = whole(edtKalZmianaCzestotliwosci, InForce.CalibrationTime);

    values.ShowPath = cbPokazSciezke->isChecked();
    values.FreqExcessPercent = whole(edtNadmiarCzestotliwosci, InForce.FreqExcessPercent);
    values.LevelExcessDb = whole(edtnadmiarPoziomu, InForce.LevelExcessDb);
    values.WorkDir = edtKatalogRoboczy->text();
    values.MinimizeOnMeasurment = cbMinimalizuj->isChecked();
    values.PromptOnClose = cbPytaj->isChecked();

    values.ChartTimeScope = std::max(whole(edtCzasHistorii, InForce.ChartTimeScope), 1);
    values.TimeAutoScale = rbZmienna->isChecked();
    values.TimeScaleMinimum = real(edtMinX, InForce.TimeScaleMinimum);
    values.TimeScaleMaximum = real(edtMaxX, InForce.TimeScaleMaximum);
    values.TimeAutoLevelScale = rbAutoPoziom1->isChecked();
    values.TimeLevelScaleMinimum = real(edtPoziomMin1, InForce.TimeLevelScaleMinimum);
    values.TimeLevelScaleMaximum = real(edtPoziomMax1, InForce.TimeLevelScaleMaximum);

    values.FreqAutoScale = rbDopasujDoMinMax->isChecked() ? 0 : rbDopasujDoGeneratora->isChecked() ? 1 : 2;
    values.FreqScaleMinimum = real(edtMin, InForce.FreqScaleMinimum);
    values.FreqScaleMaximum = real(edtMax, InForce.FreqScaleMaximum);
    values.FreqAutoLevelScale = rbAutoPoziom2->isChecked();
    values.FreqLevelScaleMinimum = real(edtPoziomMin2, InForce.FreqLevelScaleMinimum);
    values.FreqLevelScaleMaximum = real(edtPoziomMax2, InForce.FreqLevelScaleMaximum);

    values.ChartName = memNazwaWykresu->toPlainText();
    values.ChartNameFont = ChartNameFont;
    values.ShowChartName = cbPokazNazwe->isChecked();
    values.BottomTitle = edtOpisX->text();
    values.BottomTitleFont = BottomTitleFont;
    values.LeftTitle = edtOpisY->text();
    values.LeftTitleFont = LeftTitleFont;
    values.ShowCross = cbRysujKrzyz->isChecked();
    values.BottomAxisLogarithmic = cbLogarytmiczna->isChecked();

    values.ShowLegend = cbPokazLegende->isChecked();
    for (int slot = 0; slot < ResultSeriesCount; ++slot)
        values.SeriesNames[static_cast<std::size_t>(slot)] =
            edtSeria[static_cast<std::size_t>(slot)]->text().left(MaxNameLength);
    values.ShowCanal = cbPokazujKanal->isChecked();
    values.ShowFrameRate = cbPokazujCzestotliwosc->isChecked();
    values.ShowAverageTime = cbPokazujCzasUsredniania->isChecked();

    values.Series = Formats;
    return values;
}
