#pragma once

#include <QDialog>

class QTableWidget;
class QTimer;
struct TMeasurementState;

// "Statystyki pomiaru": Leq, Lmax, Lmin, Lpeak, LE and the duration of both channels since the start
// of the recording. It stays open beside the main window and follows the recording as it runs.
class TFormaStatystyki : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RefreshInterval = 250; // ms

    explicit TFormaStatystyki(const TMeasurementState& state, QWidget* parent = nullptr);

    void Refresh();        // the table from the measurement state
    void btnKopiujClick(); // the table as text to the clipboard

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    const TMeasurementState& State;
    QTableWidget* tblStatystyki;
    QTimer* tmrOdswiezanie;
};
