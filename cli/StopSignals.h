// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM, turned into a Qt signal on the event loop: the handler itself only writes the
// signal's number into a pipe, and the measurement is ended where the engine can end it safely.
class TStopSignals : public QObject
{
    Q_OBJECT
public:
    explicit TStopSignals(QObject* parent = nullptr);
    ~TStopSignals() override; // the default handling comes back

    // "SIGINT" or "SIGTERM".
    static QString Name(int signal);
    // The last signal caught since this object was made, also one whose Received is yet to come
    // (the event loop has not run since); 0 when none was.
    static int Caught();

signals:
    void Received(int signal);

private:
    QSocketNotifier* Notifier = nullptr;
};
