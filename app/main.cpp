// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"
#include "app/OknoSplash.h"
#include "settings/SettingsStore.h"
#include "ui/OknoGlowna.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QIcon>
#include <QTextStream>

namespace {

// With TONVIX_START_TIME set, prints the time from the program's start to the first painted main
// window and quits: the start-time figure.
class TStartTimeProbe : public QObject
{
public:
    explicit TStartTimeProbe(const QElapsedTimer& since) : Since(since) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            QTextStream(stderr) << "Czas startu: " << Since.elapsed() << " ms\n";
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }

private:
    const QElapsedTimer& Since;
};

} // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<QString> answer = CommandLineAnswer(arguments)) { // needs no display
        QTextStream(stdout) << *answer;
        return 0;
    }
    QApplication app(argc, argv);
    if (const std::optional<QString> refusal = WindowArgumentsRefusal(QApplication::arguments())) {
        QTextStream(stderr) << "tonvix: " << *refusal << '\n';
        return 2;
    }
    QApplication::setOrganizationName("Marvelle");
    QApplication::setApplicationName("Tonvix");
    QApplication::setApplicationVersion(TONVIX_VERSION);
    QApplication::setDesktopFileName(TONVIX_APP_ID); // the desktop matches the window to its entry
    QApplication::setWindowIcon(QIcon(":/app/tonvix.svg"));

    auto* splash = new TFormaSplash;
    splash->ShowNow();
    TSettingsStore settings; // before the main window, released after it
    TFormaGlowna window(WindowArguments(QApplication::arguments()));
    TStartTimeProbe probe(sinceStart);
    if (qEnvironmentVariableIsSet("TONVIX_START_TIME"))
        window.installEventFilter(&probe);
    window.show();
    delete splash;
    return app.exec();
}
