// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/Mail.h"

#include <QProcess>

void TMailHandOver::Send(std::function<void(bool sent)> done)
{
    auto* process = new QProcess(this);
    // Whatever the client says goes to the program's own error output instead of piling up here.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    const auto answer = [process, done](bool sent) {
        process->disconnect();
        process->deleteLater();
        done(sent);
    };
    connect(process, &QProcess::finished, this, [answer](int code, QProcess::ExitStatus status) {
        answer(status == QProcess::NormalExit && code == 0);
    });
    connect(process, &QProcess::errorOccurred, this, [answer](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) // a crash comes through finished as well
            answer(false);
    });
    process->start(QStringLiteral("xdg-email"), {}); // no address, subject or text: an empty message
}
