#pragma once

#include <QMainWindow>

class TFormaGlowna : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormaGlowna(QWidget* parent = nullptr);
};
