// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoAkustykaPomieszczenia.h"

#include "common/NumberFormat.h"
#include "results/RoomAcousticsFile.h"
#include "settings/KeyFilter.h"
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
    choices->addWidget(new QLabel(QStringLiteral("Hałas tła [dB]:"), this));
    choices->addWidget(edtHalasTla, 1);
    choices->addWidget(btnZapiszCsv);
    auto* views = new QSplitter(Qt::Vertical, this);
    views->addWidget(tblAkustyka);
    views->addWidget(chtZanik);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(lblSti);
    layout->addWidget(views, 1);
    layout->addWidget(lblUwagi);

    connect(cbPasma, &QComboBox::currentIndexChanged, this, &TFormaAkustykaPomieszczenia::ChoiceChanged);
    for (QLineEdit* edit : {edtPoziomMowy, edtHalasTla})
        connect(edit, &QLineEdit::editingFinished, this, &TFormaAkustykaPomieszczenia::ChoiceChanged);
    connect(btnZapiszCsv, &QPushButton::clicked, this, &TFormaAkustykaPomieszczenia::btnZapiszCsvClick);
    connect(tblAkustyka, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row < 0)
            return;
        ChosenRow = row;
        DrawDecay();
    });
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
    auto known = Figures.find(response);
    if (known == Figures.end())
        known = Figures.emplace(response, AnalyseRoom(*response, Choice)).first;
    return &known->second;
}

// The bands and the speech conditions as the controls hold them; the figures are worked out anew.
void TFormaAkustykaPomieszczenia::ChoiceChanged()
{
    TRoomChoice choice;
    choice.BandsPerOctave = cbPasma->currentIndex() == 1 ? 3 : 1;
    QString problem;
    const bool speech = !edtPoziomMowy->text().trimmed().isEmpty(),
               noise = !edtHalasTla->text().trimmed().isEmpty();
    if (speech || noise) {
        const auto level = NumberFormat::ParseNumber(edtPoziomMowy->text());
        const auto levels = NoiseLevelsFromText(edtHalasTla->text());
        if (level && levels)
            choice.Speech = SpeechTransmission::TConditions{*level, *levels};
        else if (!level)
            problem =
                QStringLiteral("Wpisz poziom mowy w miejscu słuchacza (dB(A)), aby policzyć pełny STI.");
        else
            problem = QStringLiteral("Wpisz 8 poziomów hałasu tła (63 Hz–8 kHz) albo 7 (125 Hz–8 kHz) "
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
    }
    Refresh();
    if (!problem.isEmpty())
        lblSti->setText(lblSti->text() + QStringLiteral(" – ") + problem);
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
    if (!figures) {
        lblSti->setText(current ? QStringLiteral("Charakterystyka z pliku nie ma odpowiedzi impulsowej.")
                                : QString());
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
    lblSti->setText(current->Name + QStringLiteral(": ") + RoomAcousticsFile::StiText(*figures));
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
