// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QTabWidget;
class QTableWidget;
class QTimer;
struct TMeasurementState;

// "Statystyki pomiaru": Leq, Lmax, Lmin, Lpeak, LE, the levels exceeded for 1 % to 99 % of the time
// and the duration of both channels since the start of the recording, and on a page of its own the
// same per interval of a chosen length. It stays open beside the main window and follows the
// recording as it runs.
class TFormaStatystyki : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RefreshInterval = 250; // ms
    // The interval lengths offered, in seconds; 0: no intervals.
    static constexpr double Intervals[] = {0, 1, 10, 60, 300, 900, 3600};

    explicit TFormaStatystyki(TMeasurementState& state, QWidget* parent = nullptr);

    void Refresh();           // both tables from the measurement state
    void btnKopiujClick();    // the table of the page shown as text to the clipboard
    void cbPrzedzialChange(); // the interval of the log: it starts anew

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void RefreshIntervals();

    TMeasurementState& State;
    QTabWidget* tabStatystyki;
    QTableWidget* tblStatystyki;
    QComboBox* cbPrzedzial;
    QTableWidget* tblPrzedzialy;
    QLabel* lblPrzedzialy; // how many intervals the log keeps
    QTimer* tmrOdswiezanie;
    QStringList IntervalColumns;
    unsigned LogShown = 0;          // the start of the log the interval rows come from
    int ClosedShown = 0;            // interval rows shown that will not change any more
    std::size_t ForgottenShown = 0; // intervals let go before the rows shown
};
