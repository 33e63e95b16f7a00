// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StopSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int Pipe[2] = {-1, -1};
volatile std::sig_atomic_t LastCaught = 0;

void Handle(int signal)
{
    LastCaught = signal;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(Pipe[0], &number, 1); // async-signal-safe
}

void Install(void (*handler)(int))
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent)
{
    LastCaught = 0;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, Pipe) != 0)
        return; // the signals then end the program as they would without this
    fcntl(Pipe[0], F_SETFL, O_NONBLOCK);
    Notifier = new QSocketNotifier(Pipe[1], QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        while (read(Pipe[1], &number, 1) == 1)
            emit Received(number);
    });
    fcntl(Pipe[1], F_SETFL, O_NONBLOCK);
    Install(&Handle);
}

TStopSignals::~TStopSignals()
{
    Install(SIG_DFL);
    delete Notifier;
    for (int& end : Pipe) {
        if (end >= 0)
            close(end);
        end = -1;
    }
}

int TStopSignals::Caught()
{
    return LastCaught;
}

QString TStopSignals::Name(int signal)
{
    return signal == SIGTERM ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT");
}
