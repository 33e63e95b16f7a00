// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoTestZgodnosci.h"

#include "common/NumberFormat.h"
#include "measure/BandFilterConformance.h"
#include "measure/RealTimeAnalyser.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The spectrum analyser's band filters whose rows follow the meter's; 0: none.
constexpr int BandFilterChoices[] = {0, 1, 3, 6, 12, 24};

const QStringList Columns{QStringLiteral("Próba"), QStringLiteral("Oczekiwana"), QStringLiteral("Zmierzona"),
                          QStringLiteral("Tolerancja klasy 1"), QStringLiteral("Wynik")};

QStringList Cells(const TConformanceRow& row)
{
    return {row.Test, ExpectedText(row), MeasuredText(row), ToleranceText(row), VerdictText(row)};
}

// Each group of rows under its heading, in the order the rows come.
template <typename THeading, typename TRow>
void ForEachRow(const std::vector<TConformanceRow>& rows, THeading heading, TRow row)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i == 0 || rows[i].Group != rows[i - 1].Group)
            heading(rows[i].Group);
        row(rows[i]);
    }
}

} // namespace

TFormaTestZgodnosci::TFormaTestZgodnosci(const TConformanceSetup& setup, QWidget* parent)
    : QDialog(parent), Setup(setup), cbKorekcja(new QComboBox(this)), cbFiltry(new QComboBox(this)),
      btnUruchom(new QPushButton(QStringLiteral("&Uruchom"), this)),
      btnKopiuj(new QPushButton(QStringLiteral("&Kopiuj"), this)), tblWyniki(new QTableWidget(this)),
      lblPodsumowanie(new QLabel(this))
{
    setObjectName(QStringLiteral("FormaTestZgodnosci"));
    setWindowTitle(QStringLiteral("Test zgodności miernika"));

    auto* conditions =
        new QLabel(QStringLiteral("Częstotliwość próbkowania: %1 Hz, bufor wejściowy: %2 próbek")
                       .arg(NumberFormat::Integer(Setup.FrameRate), NumberFormat::Integer(Setup.BlockFrames)),
                   this);
    conditions->setObjectName(QStringLiteral("lblWarunki"));
    auto* scope =
        new QLabel(QStringLiteral("Test sprawdza cyfrowe przetwarzanie sygnału w programie, a nie mikrofon "
                                  "ani kartę dźwiękową."),
                   this);
    scope->setObjectName(QStringLiteral("lblZakres"));
    scope->setWordWrap(true);
    cbKorekcja->setObjectName(QStringLiteral("cbKorekcja"));
    cbKorekcja->addItems({QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("Z")});
    cbKorekcja->setCurrentIndex(static_cast<int>(Setup.Weighting));
    cbFiltry->setObjectName(QStringLiteral("cbFiltry"));
    for (const int bands : BandFilterChoices)
        cbFiltry->addItem(bands > 0 ? BandsText(bands) : QStringLiteral("bez filtrów"));
    btnUruchom->setObjectName(QStringLiteral("btnUruchom"));
    btnUruchom->setDefault(true);
    btnKopiuj->setObjectName(QStringLiteral("btnKopiuj"));
    btnKopiuj->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("&Zamknij"), this);
    close->setObjectName(QStringLiteral("btnZamknij"));

    tblWyniki->setObjectName(QStringLiteral("tblWyniki"));
    tblWyniki->setColumnCount(static_cast<int>(Columns.size()));
    tblWyniki->setHorizontalHeaderLabels(Columns);
    tblWyniki->verticalHeader()->hide();
    tblWyniki->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblWyniki->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblWyniki->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblWyniki->horizontalHeader()->setStretchLastSection(true);
    lblPodsumowanie->setObjectName(QStringLiteral("lblPodsumowanie"));

    auto* choice = new QHBoxLayout;
    choice->addWidget(new QLabel(QStringLiteral("Korekcja częstotliwościowa:"), this));
    choice->addWidget(cbKorekcja);
    choice->addWidget(new QLabel(QStringLiteral("Filtry pasmowe analizatora:"), this));
    choice->addWidget(cbFiltry);
    choice->addStretch();
    choice->addWidget(btnUruchom);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblPodsumowanie, 1);
    buttons->addWidget(btnKopiuj);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(conditions);
    layout->addWidget(scope);
    layout->addLayout(choice);
    layout->addWidget(tblWyniki);
    layout->addLayout(buttons);
    resize(720, 520);

    connect(btnUruchom, &QPushButton::clicked, this, &TFormaTestZgodnosci::btnUruchomClick);
    connect(btnKopiuj, &QPushButton::clicked, this, &TFormaTestZgodnosci::btnKopiujClick);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

TFormaTestZgodnosci::~TFormaTestZgodnosci()
{
    if (Worker != nullptr) // its result has nowhere to go; the run itself takes a second at most
        Worker->wait();
}

void TFormaTestZgodnosci::btnUruchomClick()
{
    if (Worker != nullptr)
        return;
    Setup.Weighting = WeightingFromItem(cbKorekcja->currentIndex());
    btnUruchom->setEnabled(false);
    btnKopiuj->setEnabled(false);
    cbKorekcja->setEnabled(false);
    cbFiltry->setEnabled(false);
    lblPodsumowanie->setText(QStringLiteral("Trwa test..."));
    const TConformanceSetup setup = Setup;
    const int bands =
        BandFilterChoices[std::clamp(cbFiltry->currentIndex(), 0, int(std::size(BandFilterChoices)) - 1)];
    Worker = QThread::create([this, setup, bands] {
        Rows = RunConformanceTest(setup);
        if (bands > 0) {
            const std::vector<TConformanceRow> filters = BandFilterRows(bands, setup.FrameRate);
            Rows.insert(Rows.end(), filters.begin(), filters.end());
        }
    });
    Worker->setParent(this);
    connect(Worker, &QThread::finished, this, [this] {
        Worker->deleteLater();
        Worker = nullptr;
        ShowRows();
        emit Finished();
    });
    Worker->start();
}

void TFormaTestZgodnosci::ShowRows()
{
    tblWyniki->clearSpans();
    tblWyniki->setRowCount(0);
    QFont headingFont = tblWyniki->font();
    headingFont.setBold(true);
    const auto append = [this] {
        const int row = tblWyniki->rowCount();
        tblWyniki->insertRow(row);
        return row;
    };
    ForEachRow(
        Rows,
        [&](const QString& group) {
            const int row = append();
            auto* cell = new QTableWidgetItem(group);
            cell->setFont(headingFont);
            tblWyniki->setItem(row, 0, cell);
            tblWyniki->setSpan(row, 0, 1, tblWyniki->columnCount());
        },
        [&](const TConformanceRow& result) {
            const int row = append();
            const QStringList cells = Cells(result);
            for (int column = 0; column < cells.size(); ++column) {
                auto* cell = new QTableWidgetItem(cells.at(column));
                if (column > 0)
                    cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                if (!result.Passed)
                    cell->setForeground(Qt::red);
                tblWyniki->setItem(row, column, cell);
            }
        });
    const auto failed =
        std::count_if(Rows.begin(), Rows.end(), [](const TConformanceRow& row) { return !row.Passed; });
    lblPodsumowanie->setText(failed == 0
                                 ? QStringLiteral("Wszystkie próby zgodne z tolerancją klasy 1.")
                                 : QStringLiteral("Próby niezgodne: %1 z %2.")
                                       .arg(NumberFormat::Integer(failed),
                                            NumberFormat::Integer(static_cast<long long>(Rows.size()))));
    btnUruchom->setEnabled(true);
    cbKorekcja->setEnabled(true);
    cbFiltry->setEnabled(true);
    btnKopiuj->setEnabled(!Rows.empty());
}

void TFormaTestZgodnosci::btnKopiujClick()
{
    QString text = Columns.join(QLatin1Char('\t')) + QLatin1Char('\n');
    ForEachRow(
        Rows, [&](const QString& group) { text += group + QLatin1Char('\n'); },
        [&](const TConformanceRow& row) { text += Cells(row).join(QLatin1Char('\t')) + QLatin1Char('\n'); });
    QApplication::clipboard()->setText(text);
}
