// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's panels, read-outs, measurement controls and status bar.

#include "ui/OknoGlowna.h"

#include "ui/ChartView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QLabel* NewLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

// The width a label needs to show the longest of `texts` whole, its frame and indent included.
int FittingWidth(QLabel* label, const QStringList& texts)
{
    const QString shown = label->text();
    int width = 0;
    for (const QString& text : texts) {
        label->setText(text);
        width = std::max(width, label->sizeHint().width());
    }
    label->setText(shown);
    return width;
}

QLineEdit* NewEdit(const char* name)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMinimumWidth(50);
    return edit;
}

} // namespace

// 29 px, fixed pitch, narrowed where the machine's monospaced font is too wide for the longest
// read-out (the silence floor, in the unit shown) to fit the right panel.
QFont TFormaGlowna::ReadoutFont(const QString& unit) const
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(29);
    const QMargins margins = pnlPanelPrawy->layout()->contentsMargins();
    const int width = pnlPanelPrawy->width() - margins.left() - margins.right();
    const int needed = QFontMetrics(font).horizontalAdvance(QStringLiteral("-200,0") + unit);
    if (needed > width)
        font.setStretch(std::max<int>(QFont::UltraCondensed, 100 * width / needed));
    return font;
}

void TFormaGlowna::CreatePanels()
{
    auto* centre = new QWidget(this);
    auto* rows = new QVBoxLayout(centre);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    setCentralWidget(centre);

    // The sweep panel and its progress bar, shown in the frequency-characteristic kind only. Each
    // caption stands above its edit, so the four fit the narrowest window.
    pnlPanelDolny = new QWidget(centre);
    pnlPanelDolny->setObjectName("pnlPanelDolny");
    pnlPanelDolny->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* sweep = new QHBoxLayout(pnlPanelDolny);
    sweep->setContentsMargins(4, 2, 4, 2);
    auto group = [&](const char* name, const char* firstName, const QString& first, QLineEdit* firstEdit,
                     const QString& second, QLineEdit* secondEdit) {
        auto* panel = new QWidget(pnlPanelDolny);
        panel->setObjectName(QString::fromLatin1(name));
        auto* grid = new QGridLayout(panel);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setVerticalSpacing(0);
        for (int column = 0; column < 2; ++column) {
            QLabel* caption = NewLabel(column == 0 ? first : second, panel);
            if (column == 0)
                caption->setObjectName(QString::fromLatin1(firstName));
            QFont small = caption->font();
            small.setPointSizeF(small.pointSizeF() * 0.85); // the four captions fit the narrowest window
            caption->setFont(small);
            grid->addWidget(caption, 0, column);
        }
        firstEdit->setParent(panel);
        secondEdit->setParent(panel);
        grid->addWidget(firstEdit, 1, 0);
        grid->addWidget(secondEdit, 1, 1);
        sweep->addWidget(panel, 1);
    };
    edtStartFreq = NewEdit("edtStartFreq");
    edtStopFreq = NewEdit("edtStopFreq");
    edtLiczbaPunktow = NewEdit("edtLiczbaPunktow");
    edtCzasPomiaru = NewEdit("edtCzasPomiaru");
    edtCzasPomiaru->setReadOnly(true);
    edtCzasPomiaru->setFocusPolicy(Qt::NoFocus);
    group("pnlPanelZakresuCzestotliwosci", "lblStartFreq", "Częstoliwość początkowa [Hz]", edtStartFreq,
          "Częstoliwość końcowa [Hz]", edtStopFreq);
    group("pnlPanelLiczbyPunktow", "lblLiczbaPunktow", "Liczba punktów pomiarowych", edtLiczbaPunktow,
          "Orientacyjny czas pomiaru", edtCzasPomiaru);
    // The delay of the measured channel behind the reference (or of the right channel behind the left),
    // found by the last sweep's probe.
    auto* delay = new QWidget(pnlPanelDolny);
    delay->setObjectName("pnlPanelOpoznienia");
    auto* delayColumn = new QVBoxLayout(delay);
    delayColumn->setContentsMargins(2, 0, 2, 0);
    delayColumn->setSpacing(1);
    QLabel* delayCaption = NewLabel("Opóźnienie", delay);
    delayCaption->setToolTip(
        "Opóźnienie kanału mierzonego względem kanału odniesienia (przy obu kanałach bez "
        "odniesienia: prawego względem lewego), znalezione przez sygnał próbny ostatniego "
        "pomiaru, w milisekundach i w metrach.");
    delayCaption->setObjectName("lblOpoznienie");
    QFont small = delayCaption->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    delayCaption->setFont(small);
    edtOpoznienie = NewEdit("edtOpoznienie");
    edtOpoznienie->setParent(delay);
    edtOpoznienie->setReadOnly(true);
    edtOpoznienie->setFocusPolicy(Qt::NoFocus);
    delayColumn->addWidget(delayCaption);
    delayColumn->addWidget(edtOpoznienie);
    edtOpoznienie->setMinimumWidth(
        edtOpoznienie->fontMetrics().horizontalAdvance("−1000,000 ms = −343,216 m") + 8);
    sweep->addWidget(delay);
    delay->hide(); // until a sweep has found a delay to show
    rows->addWidget(pnlPanelDolny);

    pbPasekPostepu = new QProgressBar(centre);
    pbPasekPostepu->setObjectName("pbPasekPostepu");
    pbPasekPostepu->setRange(0, 100);
    pbPasekPostepu->setValue(0);
    pbPasekPostepu->setTextVisible(false);
    pbPasekPostepu->setFixedHeight(5);
    rows->addWidget(pbPasekPostepu);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    rows->addLayout(body, 1);

    chtWykres = new TChartView(Chart, centre);
    chtWykres->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chtWykres, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmiWykres->popup(chtWykres->mapToGlobal(at)); });
    body->addWidget(chtWykres, 1);

    pnlPanelPrawy = new QWidget(centre);
    pnlPanelPrawy->setObjectName("pnlPanelPrawy");
    auto* column = new QVBoxLayout(pnlPanelPrawy);
    column->setContentsMargins(3, 2, 3, 2);
    column->setSpacing(2);
    body->addWidget(pnlPanelPrawy);

    auto* settings = new QFrame(pnlPanelPrawy);
    settings->setObjectName("pnlPanelUstawien");
    auto* settingsColumn = new QVBoxLayout(settings);
    settingsColumn->setContentsMargins(0, 0, 0, 0);
    auto* averaging = new QFrame(settings);
    averaging->setObjectName("pnlCzasUsredniania");
    averaging->setFrameShape(QFrame::StyledPanel);
    auto* averagingColumn = new QVBoxLayout(averaging);
    averagingColumn->setContentsMargins(2, 2, 2, 2);
    QLabel* averagingCaption = NewLabel(" Czas uśredniania eksponencjalnego", averaging);
    averagingCaption->setObjectName("lblCzasUsredniania");
    averagingCaption->setWordWrap(true);
    averagingCaption->setMinimumHeight(2 * averagingCaption->fontMetrics().lineSpacing() + 2); // two lines
    cbCzasUsredniania = new QComboBox(averaging);
    cbCzasUsredniania->setObjectName("cbCzasUsredniania");
    cbCzasUsredniania->addItems({"S (1s)", "F (0,125s)", "I  (0,035s)", "Inny", "Brak"});
    cbCzasUsredniania->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    averagingColumn->addWidget(averagingCaption);
    averagingColumn->addWidget(cbCzasUsredniania);
    pnlCzas = NewLabel(QString(), settings);
    pnlCzas->setObjectName("pnlCzas");
    pnlCzas->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    pnlCzas->setAlignment(Qt::AlignCenter);
    SetClockText("Czas: 00:00:00s");
    settingsColumn->addWidget(averaging);
    settingsColumn->addWidget(pnlCzas);
    column->addWidget(settings);

    auto readout = [&](const char* name, const QString& caption) {
        column->addWidget(NewLabel(caption, pnlPanelPrawy));
        QLabel* value = NewLabel(InitialReadout(), pnlPanelPrawy);
        value->setObjectName(QString::fromLatin1(name));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        column->addWidget(value);
        return value;
    };
    lblWartoscL = readout("lblWartoscL", "Kanał lewy:");
    lblWartoscP = readout("lblWartoscP", "Kanał prawy:");

    rgTrybPracy = new QGroupBox("Tryb pracy", pnlPanelPrawy);
    rgTrybPracy->setObjectName("rgTrybPracy");
    auto* modes = new QVBoxLayout(rgTrybPracy);
    modes->setContentsMargins(4, 0, 4, 0);
    modes->setSpacing(0);
    TrybPracyButtons = new QButtonGroup(rgTrybPracy);
    const char* const modeNames[] = {"rbKanalL", "rbKanalR", "rbKanalLR"};
    const QString modeCaptions[] = {"Kanał L", "Kanał R", "Kanał L i R"};
    for (int mode = 0; mode < 3; ++mode) {
        auto* button = new QRadioButton(modeCaptions[mode], rgTrybPracy);
        button->setObjectName(QString::fromLatin1(modeNames[mode]));
        TrybPracyButtons->addButton(button, mode);
        modes->addWidget(button);
    }
    TrybPracyButtons->button(0)->setChecked(true);
    column->addWidget(rgTrybPracy);

    cbKompensacja = new QCheckBox("&Kompensacja", pnlPanelPrawy);
    cbKompensacja->setObjectName("cbKompensacja");
    column->addWidget(cbKompensacja);
    btnStart = new QToolButton(pnlPanelPrawy);
    btnStart->setObjectName("btnStart");
    btnStart->setDefaultAction(actStart);
    btnStart->setToolButtonStyle(Qt::ToolButtonTextOnly);
    btnStart->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    column->addWidget(btnStart);
    btnPauza = new QPushButton("&Pauza", pnlPanelPrawy);
    btnPauza->setObjectName("btnPauza");
    btnPauza->setEnabled(false);
    column->addWidget(btnPauza);
    cbAkwizycja = new QCheckBox("&Akwizycja", pnlPanelPrawy);
    cbAkwizycja->setObjectName("cbAkwizycja");
    column->addWidget(cbAkwizycja);
    column->addStretch();

    // The panel is 120 px wide, or wider where the fonts need it for its captions: every one-line
    // control, and the longest word of the wrapped averaging caption in its frame.
    const QMargins frame = averagingColumn->contentsMargins();
    int needed = averagingCaption->fontMetrics().horizontalAdvance(QStringLiteral("eksponencjalnego")) +
                 2 * averaging->frameWidth() + frame.left() + frame.right() + 2 * averagingCaption->margin();
    for (const QWidget* control : pnlPanelPrawy->findChildren<QWidget*>())
        if (control->parentWidget() == pnlPanelPrawy && control != settings && control != lblWartoscL &&
            control != lblWartoscP)
            needed = std::max(needed, control->sizeHint().width());
    const QMargins margins = column->contentsMargins();
    pnlPanelPrawy->setFixedWidth(std::max(120, needed + margins.left() + margins.right()));
    const QFont readoutFont = ReadoutFont(LevelUnit(TFrequencyWeighting::Z));
    lblWartoscL->setFont(readoutFont);
    lblWartoscP->setFont(readoutFont);

    connect(TrybPracyButtons, &QButtonGroup::idClicked, this, &TFormaGlowna::rgTrybPracyClick);
    connect(cbKompensacja, &QCheckBox::clicked, this, &TFormaGlowna::cbKompensacjaClick);
    connect(btnPauza, &QPushButton::clicked, this, &TFormaGlowna::btnPauzaClick);
    connect(cbAkwizycja, &QCheckBox::clicked, this, &TFormaGlowna::cbAkwizycjaClick);
    connect(cbCzasUsredniania, &QComboBox::activated, this, &TFormaGlowna::cbCzasUsrednianiaChange);

    // One key filter for the numeric entries; double-clicks on the right panel open the options.
    for (QObject* watched :
         std::initializer_list<QObject*>{edtStartFreq, edtStopFreq, edtLiczbaPunktow, cbCzasUsredniania,
                                         pnlPanelPrawy, lblWartoscL, lblWartoscP})
        watched->installEventFilter(this);
    connect(edtStartFreq, &QLineEdit::textChanged, this, &TFormaGlowna::edtStartFreqChange);
    connect(edtStopFreq, &QLineEdit::textChanged, this, &TFormaGlowna::edtStopFreqChange);
    connect(edtLiczbaPunktow, &QLineEdit::textChanged, this, &TFormaGlowna::edtLiczbaPunktowChange);
}

void TFormaGlowna::CreateStatusBar()
{
    QStatusBar* stbPasekStanu = statusBar();
    stbPasekStanu->setObjectName("stbPasekStanu");
    stbPasekStanu->setSizeGripEnabled(false);
    // Panels 1 to 4 keep their widths: the design widths, or wider where the fonts need it for the
    // longest text each shows. Panel 0 takes whatever the bar has left.
    const int widths[StatusPanelCount] = {148, 74, 74, 148, 148};
    const QStringList longest[StatusPanelCount] = {
        {},
        {QStringLiteral("48000 Hz")},
        {QStringLiteral("1311 mV")},
        {QStringLiteral("-100,0dB 20000,0Hz"), QStringLiteral("-100,0dB 3600,000s")},
        {QStringLiteral("Zapis danych do pamięci"), QStringLiteral("Aktywna seria: 4 i 8")}};
    for (int panel = 0; panel < StatusPanelCount; ++panel) {
        auto* label = new QLabel(stbPasekStanu);
        label->setObjectName(QStringLiteral("stbPanel%1").arg(panel));
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        if (panel == 0) // a long message never widens the window
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        else
            label->setFixedWidth(std::max(widths[panel], FittingWidth(label, longest[panel])));
        stbPasekStanu->addPermanentWidget(label, panel == 0 ? 1 : 0);
        StatusPanels[static_cast<std::size_t>(panel)] = label;
    }
    stbPasekStanu->installEventFilter(this);
}

QSize TFormaGlowna::FirstScreenSize()
{
    // The sweep's four captions share its panel's width equally.
    int caption = 0;
    for (const QLabel* label : pnlPanelDolny->findChildren<QLabel*>())
        caption = std::max(caption, label->sizeHint().width());
    const QLayout* sweep = pnlPanelDolny->layout();
    int sweepWidth =
        4 * caption + sweep->contentsMargins().left() + sweep->contentsMargins().right() + sweep->spacing();
    for (const QGridLayout* grid : pnlPanelDolny->findChildren<QGridLayout*>())
        sweepWidth += grid->horizontalSpacing();
    // Panel 0 shows the calibration state; the bar's layout holds the other panels and the spacing.
    const int statusWidth = statusBar()->layout()->minimumSize().width() +
                            FittingWidth(StatusPanels[0], {TCalibration::StateText(1, 1)});
    // The window holds the taller kind's panels.
    int height = MinimumHeight;
    for (const TMeasurementKind kind :
         {TMeasurementKind::SoundPressure, TMeasurementKind::FrequencyCharacteristic}) {
        ShowKindPanels(kind);
        height = std::max(height, minimumSizeHint().height());
    }
    ShowKindPanels(Measurement.MeasurementKind);
    return {std::max({MinimumWidth, sweepWidth, statusWidth}), height};
}
