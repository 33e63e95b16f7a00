// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/ImpulseResponse.h"
#include "measure/RoomAnalysis.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <map>
#include <vector>

class QComboBox;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The page "Akustyka pomieszczenia" of the window "Odpowiedź impulsowa": the room figures of the current
// measurement per band (octaves or thirds) with the speech transmission index, and the decay curves of
// the chosen band for every measurement shown, with their fit ranges, noise level and crossing point.
// The speech level and the background noise typed here give the full index. The table goes to a CSV
// file. Figures are worked out when the page is shown and kept until the choice changes.
class TFormaAkustykaPomieszczenia : public QWidget
{
    Q_OBJECT
public:
    // One measurement of the window's list.
    struct TEntry
    {
        QString Name;
        QColor Colour;
        const TImpulseResponse* Response = nullptr; // null: a characteristic alone, no room figures
        bool Shown = true;
        bool Current = false;
    };

    TFormaAkustykaPomieszczenia(const QString& folder, QWidget* parent = nullptr);

    // The window's measurements now; drawn when the page is visible, or when it is next shown.
    void SetEntries(std::vector<TEntry> entries);
    // A response that goes away: its figures are dropped.
    void Forget(const TImpulseResponse* response);

public slots:
    void btnZapiszCsvClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const TRoomFigures* FiguresOf(const TImpulseResponse* response);
    void ChoiceChanged();
    void Refresh();
    void FillTable();
    void DrawDecay();
    const TEntry* Current() const;

    QString Folder;
    std::vector<TEntry> Entries;
    std::map<const TImpulseResponse*, TRoomFigures> Figures;
    TRoomChoice Choice;
    int ChosenRow = -1;

    QComboBox* cbPasma{};
    QLineEdit *edtPoziomMowy{}, *edtHalasTla{};
    QLabel *lblSti{}, *lblUwagi{};
    QPushButton* btnZapiszCsv{};
    QTableWidget* tblAkustyka{};
    QCustomPlot* chtZanik{};
};
