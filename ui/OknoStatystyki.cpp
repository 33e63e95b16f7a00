// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OknoStatystyki.h"

#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <iterator>

namespace {

QTableWidget* NewTable(const char* name, QWidget* parent)
{
    auto* table = new QTableWidget(parent);
    table->setObjectName(QLatin1String(name));
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    return table;
}

// Writes the cells of one row; numbers stand to the right.
void SetRow(QTableWidget* table, int row, const QStringList& cells, int firstNumber)
{
    for (int column = 0; column < cells.size(); ++column) {
        QTableWidgetItem* cell = table->item(row, column);
        if (cell == nullptr) {
            cell = new QTableWidgetItem;
            if (column >= firstNumber)
                cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, column, cell);
        }
        cell->setText(cells.at(column));
    }
}

QString IntervalCaption(double seconds)
{
    if (seconds == 0)
        return QStringLiteral("Brak");
    if (seconds >= 60)
        return NumberFormat::General(seconds / 60) + QStringLiteral(" min");
    return NumberFormat::General(seconds) + QStringLiteral(" s");
}

} // namespace

TFormaStatystyki::TFormaStatystyki(TMeasurementState& state, QWidget* parent)
    : QDialog(parent), State(state), tabStatystyki(new QTabWidget(this)),
      tblStatystyki(NewTable("tblStatystyki", this)), cbPrzedzial(new QComboBox(this)),
      tblPrzedzialy(NewTable("tblPrzedzialy", this)), lblPrzedzialy(new QLabel(this)),
      tmrOdswiezanie(new QTimer(this))
{
    setObjectName(QStringLiteral("FormaStatystyki"));
    setWindowTitle(QStringLiteral("Statystyki pomiaru"));
    setModal(false);

    const QList<QStringList> table = StatisticsTable(State);
    tblStatystyki->setRowCount(static_cast<int>(table.size()) - 1);
    tblStatystyki->setColumnCount(static_cast<int>(table.front().size()));
    tblStatystyki->setHorizontalHeaderLabels(table.front());
    tblStatystyki->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblPrzedzialy->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    cbPrzedzial->setObjectName(QStringLiteral("cbPrzedzial"));
    for (const double seconds : Intervals) {
        cbPrzedzial->addItem(IntervalCaption(seconds));
        if (seconds == State.Statistics.LogInterval())
            cbPrzedzial->setCurrentIndex(cbPrzedzial->count() - 1);
    }
    connect(cbPrzedzial, &QComboBox::activated, this, &TFormaStatystyki::cbPrzedzialChange);
    auto* intervals = new QWidget(this);
    auto* choice = new QHBoxLayout;
    choice->addWidget(new QLabel(QStringLiteral("Długość przedziału:"), intervals));
    choice->addWidget(cbPrzedzial);
    choice->addStretch();
    auto* intervalsLayout = new QVBoxLayout(intervals);
    intervalsLayout->addLayout(choice);
    intervalsLayout->addWidget(tblPrzedzialy);
    lblPrzedzialy->setObjectName(QStringLiteral("lblPrzedzialy"));
    intervalsLayout->addWidget(lblPrzedzialy);

    tabStatystyki->setObjectName(QStringLiteral("tabStatystyki"));
    tabStatystyki->addTab(tblStatystyki, QStringLiteral("Cały pomiar"));
    tabStatystyki->addTab(intervals, QStringLiteral("Przedziały"));

    auto* copy = new QPushButton(QStringLiteral("&Kopiuj"), this);
    copy->setObjectName(QStringLiteral("btnKopiuj"));
    auto* close = new QPushButton(QStringLiteral("&Zamknij"), this);
    close->setObjectName(QStringLiteral("btnZamknij"));
    connect(copy, &QPushButton::clicked, this, &TFormaStatystyki::btnKopiujClick);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabStatystyki);
    layout->addLayout(buttons);
    resize(720, 440);

    tmrOdswiezanie->setObjectName(QStringLiteral("tmrOdswiezanie"));
    tmrOdswiezanie->setInterval(RefreshInterval);
    connect(tmrOdswiezanie, &QTimer::timeout, this, &TFormaStatystyki::Refresh);
    Refresh();
}

void TFormaStatystyki::Refresh()
{
    const QList<QStringList> table = StatisticsTable(State);
    for (int row = 0; row < tblStatystyki->rowCount(); ++row)
        SetRow(tblStatystyki, row, table.at(row + 1), 1);
    RefreshIntervals();
}

// Rows of closed intervals are written once; the one in progress follows the recording. Another
// header (weighting, channel mode) or a log started anew writes the table afresh.
void TFormaStatystyki::RefreshIntervals()
{
    const QStringList header = IntervalHeader(State);
    const TMeasurementStatistics& statistics = State.Statistics;
    // The log keeps its newest intervals only; when older ones went, the rows are written afresh.
    if (header != IntervalColumns || statistics.LogStarts() != LogShown ||
        statistics.Forgotten() != ForgottenShown) {
        tblPrzedzialy->setRowCount(0);
        tblPrzedzialy->setColumnCount(static_cast<int>(header.size()));
        tblPrzedzialy->setHorizontalHeaderLabels(header);
        IntervalColumns = header;
        LogShown = statistics.LogStarts();
        ForgottenShown = statistics.Forgotten();
        ClosedShown = 0;
        const QString kept = NumberFormat::Integer(static_cast<qint64>(statistics.IntervalsKept()));
        lblPrzedzialy->setText(
            statistics.Forgotten() == 0
                ? QStringLiteral("Okno przechowuje najwyżej %1 ostatnich przedziałów.").arg(kept)
                : QStringLiteral("Okno przechowuje najwyżej %1 ostatnich przedziałów; %2 wcześniejszych "
                                 "usunięto.")
                      .arg(kept, NumberFormat::Integer(static_cast<qint64>(statistics.Forgotten()))));
    }
    const std::vector<TIntervalRecord>& closed = State.Statistics.Intervals();
    const std::optional<TIntervalRecord> open = State.Statistics.OpenInterval();
    tblPrzedzialy->setRowCount(static_cast<int>(closed.size()) + (open ? 1 : 0));
    for (; ClosedShown < static_cast<int>(closed.size()); ++ClosedShown)
        SetRow(tblPrzedzialy, ClosedShown, IntervalRow(State, closed[static_cast<std::size_t>(ClosedShown)]),
               0);
    if (open)
        SetRow(tblPrzedzialy, ClosedShown, IntervalRow(State, *open), 0);
}

void TFormaStatystyki::btnKopiujClick()
{
    QApplication::clipboard()->setText(
        TableText(tabStatystyki->currentIndex() == 0 ? StatisticsTable(State) : IntervalTable(State)));
}

void TFormaStatystyki::cbPrzedzialChange()
{
    const int item = cbPrzedzial->currentIndex();
    if (item < 0 || item >= static_cast<int>(std::size(Intervals)))
        return;
    State.Statistics.SetLogInterval(Intervals[item]);
    RefreshIntervals();
}

// Only an open window follows the recording.
void TFormaStatystyki::showEvent(QShowEvent* event)
{
    Refresh();
    tmrOdswiezanie->start();
    QDialog::showEvent(event);
}

void TFormaStatystyki::hideEvent(QHideEvent* event)
{
    tmrOdswiezanie->stop();
    QDialog::hideEvent(event);
}
