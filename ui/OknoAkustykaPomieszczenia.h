// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/ImpulseResponse.h"
#include "measure/RoomAnalysis.h"

#include <QColor>
#include <QString>
#include <QThreadPool>
#include <QWidget>
#include <map>
#include <optional>
#include <vector>

class QComboBox;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
struct TImpulseWindowSettings;

// The page "Akustyka pomieszczenia" of the window "Odpowiedź impulsowa": the room figures of the current
// measurement per band (octaves or thirds) with the speech transmission index, and the decay curves of
// the chosen band for every measurement shown, with their fit ranges, noise level and crossing point.
// The speech level and the background noise, typed or taken from the spectrum analyser's octave bands,
// give the full index. The table goes to a CSV file. Figures are worked out on a worker thread when the
// page is shown (a long response in thirds takes a few hundred milliseconds), one measurement after
// another, and kept until the choice changes; the page says so while they are being worked out.
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
    ~TFormaAkustykaPomieszczenia() override;

    // The bands, speech level and noise as the user left them.
    void ApplySettings(const TImpulseWindowSettings& settings);
    void StoreSettings(TImpulseWindowSettings& settings) const;
    // The window's measurements now; drawn when the page is visible, or when it is next shown.
    void SetEntries(std::vector<TEntry> entries);
    // A response that goes away: its figures are dropped.
    void Forget(const TImpulseResponse* response);

public slots:
    void btnZapiszCsvClick();
    void btnHalasZPlikuClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A response's figures, or the analysis they wait for.
    struct TKnown
    {
        std::optional<TRoomFigures> Figures;
        quint64 Task = 0;
    };

    // Null while they are being worked out (the work is started here).
    const TRoomFigures* FiguresOf(const TImpulseResponse* response);
    void Take(const TImpulseResponse* response, quint64 task, TRoomFigures figures);
    void ChoiceChanged();
    void Refresh();
    void FillTable();
    void DrawDecay();
    const TEntry* Current() const;

    QString Folder;
    std::vector<TEntry> Entries;
    std::map<const TImpulseResponse*, TKnown> Figures;
    quint64 LastTask = 0;
    QThreadPool Pool; // the analyses, one at a time
    TRoomChoice Choice;
    QString Problem; // why the typed speech conditions give no full index
    int ChosenRow = -1;

    QComboBox* cbPasma{};
    QLineEdit *edtPoziomMowy{}, *edtHalasTla{};
    QLabel *lblSti{}, *lblUwagi{};
    QPushButton *btnHalasZPliku{}, *btnZapiszCsv{};
    QTableWidget* tblAkustyka{};
    QCustomPlot* chtZanik{};
};
