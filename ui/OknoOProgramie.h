// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

// "O programie": the program's name, version, purpose, copyright and licence, whose whole text the
// "Licencja" button shows.
class TFormaOProgramie : public QDialog
{
    Q_OBJECT
public:
    explicit TFormaOProgramie(QWidget* parent);

private:
    void ShowLicence();
};
