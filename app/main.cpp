#include "ui/OknoGlowna.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonvix");
    QApplication::setOrganizationName("Marvelle");
    QApplication::setApplicationDisplayName("Tonvix");
    TFormaGlowna window;
    window.show();
    return app.exec();
}
