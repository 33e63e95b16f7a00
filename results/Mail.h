// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>

// Hands an empty new message to the user's mail client through xdg-email, which opens the client's
// compose window. The client may keep xdg-email waiting until its window closes, so the answer comes
// later, on the UI thread, and nothing waits for it.
class TMailHandOver : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // `done` is called once: true when xdg-email ended with 0; false when it could not be started,
    // crashed or ended with any other code (the client's error or the user's cancel).
    void Send(std::function<void(bool sent)> done);
};
