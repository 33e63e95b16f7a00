#pragma once

#include <QDialog>

// "O programie": the program's name, version and purpose.
class TFormaOProgramie : public QDialog
{
    Q_OBJECT
public:
    explicit TFormaOProgramie(QWidget* parent);
};
