#include "ui/OknoGlowna.h"

TFormaGlowna::TFormaGlowna(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("TFormaGlowna");
    setWindowTitle("Tonvix");
    resize(600, 440);
    setMinimumSize(600, 440);
}
