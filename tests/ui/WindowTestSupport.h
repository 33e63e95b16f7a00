#pragma once

#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "ui/OknoGlowna.h"

#include <QApplication>
#include <QObject>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Finds a control by its objectName; a control that is missing ends the test program with its name.
template <class T> T* FindControl(const QObject& root, const char* name)
{
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
        qFatal("no control named %s", name);
    return found;
}

// Runs handler on the next modal widget as soon as it shows; counts the widgets it handled.
class TModalCloser
{
public:
    explicit TModalCloser(std::function<void(QWidget*)> handler) : Handler(std::move(handler))
    {
        Timer.setInterval(10);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++Handled;
                Handler(modal);
            }
        });
        Timer.start();
    }
    int Handled = 0;

private:
    std::function<void(QWidget*)> Handler;
    QTimer Timer;
};

// A fresh main window on the virtual card with its default model, shown and active, that shows no
// report and asks nothing on closing; null when it never became active.
inline std::unique_ptr<TFormaGlowna> OpenWindowOnVirtualCard()
{
    TDeviceServices::UseVirtualCardOnly(true);
    TDeviceServices::VirtualCard().RestoreDefaults();
    auto window = std::make_unique<TFormaGlowna>(QStringList{"tonvix"});
    window->show();
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    window->State().Preferences.ShowRaport = false;
    window->State().Preferences.PromptOnClose = false;
    return window;
}
