#pragma once

#include <QObject>
#include <QString>

// Finds a control by its objectName; a control that is missing ends the test program with its name.
template <class T> T* FindControl(const QObject& root, const char* name)
{
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
        qFatal("no control named %s", name);
    return found;
}
