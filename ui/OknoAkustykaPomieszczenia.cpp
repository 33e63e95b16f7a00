// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoAkustykaPomieszczenia.h"

#include "common/NumberFormat.h"
#include "results/AnalyserExport.h"
#include "results/RoomAcousticsFile.h"
#include "settings/KeyFilter.h"
#include "settings/WindowSettings.h"
#include "ui/PlotGraph.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <qcustomplot.h>

namespace {

const QString Title = QStringLiteral("Akustyka pomieszczenia");
constexpr double LowestShownDb = -100;

} // namespace

TFormaAkustykaPomieszczenia::TFormaAkustykaPomieszczenia(const QString& folder, QWidget* parent)
    : QWidget(parent), Folder(folder)
{
    setObjectName(QStringLiteral("FormaAkustykaPomieszczenia"));
    cbPasma = new QComboBox(this);
    cbPasma->setObjectName(QStringLiteral("cbPasma"));
    cbPasma->addItems({QStringLiteral("oktawowe"), QStringLiteral("tercjowe")});
    edtPoziomMowy = new QLineEdit(this);
    edtPoziomMowy->setObjectName(QStringLiteral("edtPoziomMowy"));
    edtPoziomMowy->setPlaceholderText(QStringLiteral("np. 60"));
    edtPoziomMowy->setMaximumWidth(70);
    TKeyFilter::Install(edtPoziomMowy, TKeyFilter::Digits + NumberFormat::DecimalSeparator());
    edtHalasTla = new QLineEdit(this);
    edtHalasTla->setObjectName(QStringLiteral("edtHalasTla"));
    edtHalasTla->setPlaceholderText(QStringLiteral("63; 125; 250; 500; 1k; 2k; 4k; 8k Hz"));
    edtHalasTla->setToolTip(QStringLiteral("Poziomy hałasu tła w miejscu słuchacza w pasmach oktawowych "
                                           "63 Hz–8 kHz (8 wartości) albo 125 Hz–8 kHz (7 wartości) w dB, "
                                           "rozdzielone średnikami"));
    TKeyFilter::Install(edtHalasTla,
                        TKeyFilter::Digits + NumberFormat::DecimalSeparator() + QStringLiteral("-; "));
    btnHalasZPliku = new QPushButton(QStringLiteral("Z pliku &analizatora..."), this);
    btnHalasZPliku->setObjectName(QStringLiteral("btnHalasZPliku"));
    btnHalasZPliku->setToolTip(
        QStringLiteral("Hałas tła z pomiaru analizatorem widma: Leq pasm oktawowych bez "
                       "korekcji (Z), zapisane przyciskiem „Eksportuj CSV...” w oknie "
                       "analizatora widma"));
    btnZapiszCsv = new QPushButton(QStringLiteral("&Zapisz tabelę..."), this);
    btnZapiszCsv->setObjectName(QStringLiteral("btnZapiszCsv"));
    lblSti = new QLabel(this);
    lblSti->setObjectName(QStringLiteral("lblSti"));
    lblSti->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblUwagi = new QLabel(this);
    lblUwagi->setObjectName(QStringLiteral("lblUwagi"));
    lblUwagi->setWordWrap(true);

    tblAkustyka = new QTableWidget(this);
    tblAkustyka->setObjectName(QStringLiteral("tblAkustyka"));
    tblAkustyka->setColumnCount(static_cast<int>(RoomAcousticsFile::Header().size()));
    tblAkustyka->setHorizontalHeaderLabels(RoomAcousticsFile::Header());
    tblAkustyka->verticalHeader()->hide();
    tblAkustyka->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    tblAkustyka->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblAkustyka->horizontalHeader()->setStretchLastSection(true);
    tblAkustyka->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblAkustyka->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblAkustyka->setSelectionMode(QAbstractItemView::SingleSelection);

    chtZanik = new QCustomPlot(this);
    chtZanik->setObjectName(QStringLiteral("chtZanik"));
    chtZanik->setMinimumSize(300, 160);
    chtZanik->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    chtZanik->xAxis->setLabel(QStringLiteral("Czas od początku odpowiedzi [s]"));
    chtZanik->yAxis->setLabel(QStringLiteral("Poziom [dB]"));
    chtZanik->legend->setFont(font());

    auto* choices = new QHBoxLayout;
    choices->addWidget(new QLabel(QStringLiteral("Pasma:"), this));
    choices->addWidget(cbPasma);
    choices->addSpacing(12);
    choices->addWidget(new QLabel(QStringLiteral("Poziom mowy [dB(A)]:"), this));
    choices->addWidget(edtPoziomMowy);
    choices->addStretch(1);
    choices->addWidget(btnZapiszCsv);
    // A row of its own: eight levels need the width.
    auto* noise = new QHBoxLayout;
    noise->addWidget(new QLabel(QStringLiteral("Hałas tła [dB]:"), this));
    noise->addWidget(edtHalasTla, 1);
    noise->addWidget(btnHalasZPliku);
    auto* views = new QSplitter(Qt::Vertical, this);
    views->addWidget(tblAkustyka);
    views->addWidget(chtZanik);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(noise);
    layout->addWidget(lblSti);
    layout->addWidget(views, 1);
    layout->addWidget(lblUwagi);

    connect(cbPasma, &QComboBox::currentIndexChanged, this, &TFormaAkustykaPomieszczenia::ChoiceChanged);
    for (QLineEdit* edit : {edtPoziomMowy, edtHalasTla})
        connect(edit, &QLineEdit::editingFinished, this, &TFormaAkustykaPomieszczenia::ChoiceChanged);
    connect(btnZapiszCsv, &QPushButton::clicked, this, &TFormaAkustykaPomieszczenia::btnZapiszCsvClick);
    connect(btnHalasZPliku, &QPushButton::clicked, this, &TFormaAkustykaPomieszczenia::btnHalasZPlikuClick);
    connect(tblAkustyka, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row < 0)
            return;
        ChosenRow = row;
        DrawDecay();
    });
    Pool.setMaxThreadCount(1);
}

TFormaAkustykaPomieszczenia::~TFormaAkustykaPomieszczenia()
{
    // A running analysis owns its samples; it only must not post to a page that is gone.
    Pool.clear();
    Pool.waitForDone();
}

void TFormaAkustykaPomieszczenia::ApplySettings(const TImpulseWindowSettings& settings)
{
    cbPasma->setCurrentIndex(settings.RoomBands == 3 ? 1 : 0);
    edtPoziomMowy->setText(settings.RoomSpeechLevel);
    edtHalasTla->setText(settings.RoomNoise);
    ChoiceChanged();
}

void TFormaAkustykaPomieszczenia::StoreSettings(TImpulseWindowSettings& settings) const
{
    settings.RoomBands = cbPasma->currentIndex() == 1 ? 3 : 1;
    settings.RoomSpeechLevel = edtPoziomMowy->text().trimmed();
    settings.RoomNoise = edtHalasTla->text().trimmed();
}

void TFormaAkustykaPomieszczenia::SetEntries(std::vector<TEntry> entries)
{
    Entries = std::move(entries);
    if (isVisible())
        Refresh();
}

void TFormaAkustykaPomieszczenia::Forget(const TImpulseResponse* response)
{
    Figures.erase(response);
}

void TFormaAkustykaPomieszczenia::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Refresh();
}

const TFormaAkustykaPomieszczenia::TEntry* TFormaAkustykaPomieszczenia::Current() const
{
    for (const TEntry& entry : Entries)
        if (entry.Current)
            return &entry;
    return nullptr;
}

const TRoomFigures* TFormaAkustykaPomieszczenia::FiguresOf(const TImpulseResponse* response)
{
    if (!response)
        return nullptr;
    const auto [known, added] = Figures.try_emplace(response);
    if (added) {
        // The worker takes a copy of the samples: the window may drop the response meanwhile.
        const quint64 task = known->second.Task = ++LastTask;
        const std::span<const double> part = RoomSamples(*response);
        Pool.start([this, response, task, samples = std::vector<double>(part.begin(), part.end()),
                    rate = response->FrameRate, choice = Choice] {
            auto figures = std::make_shared<TRoomFigures>(AnalyseRoom(samples, rate, choice));
            QMetaObject::invokeMethod(
                this, [this, response, task, figures] { Take(response, task, std::move(*figures)); },
                Qt::QueuedConnection);
        });
    }
    return known->second.Figures ? &*known->second.Figures : nullptr;
}

void TFormaAkustykaPomieszczenia::Take(const TImpulseResponse* response, quint64 task, TRoomFigures figures)
{
    // Dropped when the response went away or the choice changed since the work began.
    const auto known = Figures.find(response);
    if (known == Figures.end() || known->second.Task != task)
        return;
    known->second.Figures = std::move(figures);
    if (isVisible())
        Refresh();
}

// The bands and the speech conditions as the controls hold them; the figures are worked out anew.
void TFormaAkustykaPomieszczenia::ChoiceChanged()
{
    TRoomChoice choice;
    choice.BandsPerOctave = cbPasma->currentIndex() == 1 ? 3 : 1;
    Problem.clear();
    const bool speech = !edtPoziomMowy->text().trimmed().isEmpty(),
               noise = !edtHalasTla->text().trimmed().isEmpty();
    if (speech || noise) {
        const auto level = NumberFormat::ParseNumber(edtPoziomMowy->text());
        const auto levels = NoiseLevelsFromText(edtHalasTla->text());
        if (level && levels)
            choice.Speech = SpeechTransmission::TConditions{*level, *levels};
        else if (!level)
            Problem =
                QStringLiteral("Wpisz poziom mowy w miejscu słuchacza (dB(A)), aby policzyć pełny STI.");
        else
            Problem = QStringLiteral("Wpisz 8 poziomów hałasu tła (63 Hz–8 kHz) albo 7 (125 Hz–8 kHz) "
                                     "rozdzielonych średnikami, aby policzyć pełny STI.");
    }
    const bool same = choice.BandsPerOctave == Choice.BandsPerOctave &&
                      choice.Speech.has_value() == Choice.Speech.has_value() &&
                      (!choice.Speech || (choice.Speech->SpeechLevel == Choice.Speech->SpeechLevel &&
                                          choice.Speech->NoiseLevels == Choice.Speech->NoiseLevels));
    if (!same) {
        if (choice.BandsPerOctave != Choice.BandsPerOctave)
            ChosenRow = -1;
        Choice = choice;
        Figures.clear();
        Pool.clear(); // analyses not yet begun for the old choice
    }
    if (isVisible())
        Refresh();
}

void TFormaAkustykaPomieszczenia::Refresh()
{
    FillTable();
    DrawDecay();
}

void TFormaAkustykaPomieszczenia::FillTable()
{
    const TEntry* current = Current();
    const TRoomFigures* figures = current ? FiguresOf(current->Response) : nullptr;
    btnZapiszCsv->setEnabled(figures != nullptr);
    const QSignalBlocker quiet(tblAkustyka);
    tblAkustyka->setRowCount(0);
    const auto say = [this](const QString& text) {
        lblSti->setText(Problem.isEmpty() ? text : text + QStringLiteral(" – ") + Problem);
    };
    if (!figures) {
        say(!current            ? QString()
            : current->Response ? QStringLiteral("Trwa obliczanie akustyki pomieszczenia...")
                                : QStringLiteral("Charakterystyka z pliku nie ma odpowiedzi impulsowej."));
        return;
    }
    const std::vector<const TRoomBand*> rows = RoomAcousticsFile::Rows(*figures);
    tblAkustyka->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const QStringList cells = RoomAcousticsFile::Cells(*rows[row]);
        for (qsizetype column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(column + 1 < cells.size() ? Qt::AlignRight | Qt::AlignVCenter
                                                             : Qt::AlignLeft | Qt::AlignVCenter);
            tblAkustyka->setItem(static_cast<int>(row), static_cast<int>(column), item);
        }
    }
    if (ChosenRow < 0 || ChosenRow >= tblAkustyka->rowCount()) {
        // 1 kHz when there is one, else the first band.
        ChosenRow = 0;
        for (std::size_t row = 0; row < figures->Bands.size(); ++row)
            if (figures->Bands[row].Nominal == 1000)
                ChosenRow = static_cast<int>(row);
    }
    tblAkustyka->selectRow(ChosenRow);
    say(current->Name + QStringLiteral(": ") + RoomAcousticsFile::StiText(*figures));
}

void TFormaAkustykaPomieszczenia::DrawDecay()
{
    chtZanik->clearGraphs();
    chtZanik->clearItems();
    double longest = 0;
    QString notes;
    for (const TEntry& entry : Entries) {
        const TRoomFigures* figures = entry.Shown || entry.Current ? FiguresOf(entry.Response) : nullptr;
        if (!figures)
            continue;
        const std::vector<const TRoomBand*> rows = RoomAcousticsFile::Rows(*figures);
        if (ChosenRow < 0 || ChosenRow >= static_cast<int>(rows.size()))
            continue;
        const TRoomBand& band = *rows[static_cast<std::size_t>(ChosenRow)];
        if (entry.Current)
            notes = RoomAcousticsFile::BandName(band) + QStringLiteral(": ") +
                    (RoomAcousticsFile::Notes(band).isEmpty() ? QStringLiteral("bez uwag")
                                                              : RoomAcousticsFile::Notes(band));
        const auto curve = [&](const std::vector<float>& levels) {
            QVector<double> x(static_cast<qsizetype>(levels.size())), y(x.size());
            for (std::size_t i = 0; i < levels.size(); ++i) {
                x[static_cast<qsizetype>(i)] = static_cast<double>(i) * band.CurveStep;
                y[static_cast<qsizetype>(i)] = std::max<double>(levels[i], LowestShownDb);
            }
            longest = std::max(longest, x.isEmpty() ? 0.0 : x.back());
            return std::pair{x, y};
        };
        QColor light = entry.Colour;
        light.setAlpha(90);
        const auto [envelopeX, envelopeY] = curve(band.Envelope);
        AddGraph(chtZanik, envelopeX, envelopeY, QPen(light), entry.Name + QStringLiteral(": poziom"));
        const auto [decayX, decayY] = curve(band.Decay);
        AddGraph(chtZanik, decayX, decayY, QPen(entry.Colour, 2), entry.Name + QStringLiteral(": zanik"));
        if (band.Refusal != TRoomRefusal::None)
            continue;
        const double end = envelopeX.isEmpty() ? 0.0 : envelopeX.back();
        QCPGraph* noise =
            AddGraph(chtZanik, {0, end}, {band.NoiseDb, band.NoiseDb}, QPen(entry.Colour, 1, Qt::DashLine),
                     entry.Name + QStringLiteral(": szum"));
        noise->removeFromLegend();
        auto* crossing = new QCPItemStraightLine(chtZanik);
        crossing->point1->setCoords(band.Crossing, 0);
        crossing->point2->setCoords(band.Crossing, 1);
        crossing->setPen(QPen(entry.Colour, 1, Qt::DotLine));
        for (const TDecayFit* fit : {&band.Edt, &band.T20, &band.T30}) {
            if (fit->Refusal != TRoomRefusal::None)
                continue;
            QCPGraph* line =
                AddGraph(chtZanik, {fit->From, fit->To},
                         {fit->Intercept + fit->Slope * fit->From, fit->Intercept + fit->Slope * fit->To},
                         QPen(Qt::black, 1, fit == &band.T30 ? Qt::DashDotLine : Qt::DashLine), QString());
            line->removeFromLegend();
        }
    }
    lblUwagi->setText(notes);
    chtZanik->legend->setVisible(chtZanik->graphCount() > 0);
    chtZanik->xAxis->setRange(0, std::max(longest, 0.1));
    chtZanik->yAxis->setRange(LowestShownDb, 5);
    chtZanik->replot();
}

void TFormaAkustykaPomieszczenia::btnZapiszCsvClick()
{
    const TEntry* current = Current();
    const TRoomFigures* figures = current ? FiguresOf(current->Response) : nullptr;
    if (!figures)
        return;
    QFileDialog dialog(this, QStringLiteral("Zapisz tabelę akustyki pomieszczenia"), Folder);
    dialog.setObjectName(QStringLiteral("dlgZapisz"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Plik CSV (*.csv)")});
    dialog.selectFile(current->Name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString name = dialog.selectedFiles().constFirst();
    Folder = QFileInfo(name).absolutePath();
    if (!name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        name += QStringLiteral(".csv");
    QString failure;
    if (!RoomAcousticsFile::Write(name, *figures, current->Name, failure))
        QMessageBox::critical(this, Title, failure);
    else
        lblUwagi->setText(QStringLiteral("Zapisano: ") + name);
}

void TFormaAkustykaPomieszczenia::btnHalasZPlikuClick()
{
    QFileDialog dialog(this, QStringLiteral("Hałas tła z pliku analizatora widma"), Folder);
    dialog.setObjectName(QStringLiteral("dlgOtworz"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Pasma analizatora widma (*.csv)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString name = dialog.selectedFiles().constFirst();
    Folder = QFileInfo(name).absolutePath();
    QString failure;
    const auto noise = AnalyserExport::ReadOctaveNoise(name, failure);
    if (!noise) {
        QMessageBox::warning(this, Title, failure);
        return;
    }
    const auto text = [](const AnalyserExport::TOctaveLevels& levels) {
        QStringList cells;
        for (const double level : levels)
            cells << NumberFormat::Fixed(level, 0, 1);
        return cells.join(QStringLiteral("; "));
    };
    std::size_t channel = 0;
    if ((*noise)[0] != (*noise)[1]) {
        QMessageBox ask(QMessageBox::Question, Title,
                        QStringLiteral("Plik zawiera poziomy obu kanałów (63 Hz–8 kHz, dB):\nlewy: %1\n"
                                       "prawy: %2\nKtóry kanał mierzył hałas tła w miejscu słuchacza?")
                            .arg(text((*noise)[0]), text((*noise)[1])),
                        QMessageBox::Cancel, this);
        QPushButton* left = ask.addButton(QStringLiteral("Kanał &lewy"), QMessageBox::AcceptRole);
        QPushButton* right = ask.addButton(QStringLiteral("Kanał &prawy"), QMessageBox::AcceptRole);
        ask.setDefaultButton(left);
        ask.exec();
        if (ask.clickedButton() != left && ask.clickedButton() != right)
            return;
        channel = ask.clickedButton() == right ? 1 : 0;
    }
    edtHalasTla->setText(text((*noise)[channel]));
    ChoiceChanged();
}
