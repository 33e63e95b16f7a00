// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/ConformanceTest.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QThread;

// "Test zgodności miernika": runs every section of the conformance table at the program's frame rate
// and input block size, with the weighting chosen here, and shows the rows under their groups'
// headings. The test runs on a thread of its own, so the window and the program stay responsive
// meanwhile.
class TFormaTestZgodnosci : public QDialog
{
    Q_OBJECT
public:
    TFormaTestZgodnosci(const TConformanceSetup& setup, QWidget* parent = nullptr);
    ~TFormaTestZgodnosci() override;

    void btnUruchomClick();
    void btnKopiujClick();
    bool Running() const { return Worker != nullptr; }

signals:
    void Finished();

private:
    void ShowRows();

    TConformanceSetup Setup;
    std::vector<TConformanceRow> Rows;
    QThread* Worker = nullptr;
    QComboBox* cbKorekcja;
    QComboBox* cbFiltry; // the analyser's band filters tested with the meter
    QPushButton* btnUruchom;
    QPushButton* btnKopiuj;
    QTableWidget* tblWyniki;
    QLabel* lblPodsumowanie;
};
