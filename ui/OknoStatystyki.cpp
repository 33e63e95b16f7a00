#include "ui/OknoStatystyki.h"

#include "measure/MeasurementState.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

TFormaStatystyki::TFormaStatystyki(const TMeasurementState& state, QWidget* parent)
    : QDialog(parent), State(state), tblStatystyki(new QTableWidget(this)), tmrOdswiezanie(new QTimer(this))
{
    setObjectName(QStringLiteral("FormaStatystyki"));
    setWindowTitle(QStringLiteral("Statystyki pomiaru"));
    setModal(false);

    const QList<QStringList> table = StatisticsTable(State);
    tblStatystyki->setObjectName(QStringLiteral("tblStatystyki"));
    tblStatystyki->setRowCount(static_cast<int>(table.size()) - 1);
    tblStatystyki->setColumnCount(static_cast<int>(table.front().size()));
    tblStatystyki->setHorizontalHeaderLabels(table.front());
    tblStatystyki->verticalHeader()->hide();
    tblStatystyki->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblStatystyki->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblStatystyki->setSelectionMode(QAbstractItemView::NoSelection);
    tblStatystyki->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int row = 0; row < tblStatystyki->rowCount(); ++row)
        for (int column = 0; column < tblStatystyki->columnCount(); ++column) {
            auto* cell = new QTableWidgetItem;
            if (column > 0)
                cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tblStatystyki->setItem(row, column, cell);
        }

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
    layout->addWidget(tblStatystyki);
    layout->addLayout(buttons);
    resize(380, 260);

    tmrOdswiezanie->setObjectName(QStringLiteral("tmrOdswiezanie"));
    tmrOdswiezanie->setInterval(RefreshInterval);
    connect(tmrOdswiezanie, &QTimer::timeout, this, &TFormaStatystyki::Refresh);
    Refresh();
}

void TFormaStatystyki::Refresh()
{
    const QList<QStringList> table = StatisticsTable(State);
    for (int row = 0; row < tblStatystyki->rowCount(); ++row)
        for (int column = 0; column < tblStatystyki->columnCount(); ++column)
            tblStatystyki->item(row, column)->setText(table.at(row + 1).at(column));
}

void TFormaStatystyki::btnKopiujClick()
{
    QApplication::clipboard()->setText(StatisticsTableText(State));
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
