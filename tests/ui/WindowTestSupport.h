#pragma once

#include <QApplication>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

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
