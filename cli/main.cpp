// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli: the program's measurements and result files without a window (QCoreApplication only,
// no display needed), sharing the settings and the devices with the window program.

#include "cli/Commands.h"
#include "cli/ImpulseCommand.h"
#include "cli/Terminal.h"

#include <QCoreApplication>
#include <csignal>
#include <variant>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Marvelle");
    QCoreApplication::setApplicationName("Tonvix");
    QCoreApplication::setApplicationVersion(TONVIX_VERSION);
    // A reader that goes away (the other end of a pipe) is a failed write, which the command handles.
    std::signal(SIGPIPE, SIG_IGN);

    QString error;
    const std::optional<TCommand> command = ParseCommandLine(QCoreApplication::arguments().mid(1), error);
    if (!command) {
        PrintMessage(error);
        return ExitUsage;
    }
    struct TRun
    {
        int operator()(const TDevicesCommand& devices) const { return RunDevices(devices); }
        int operator()(const TRecordCommand& record) const { return RunRecord(record); }
        int operator()(const TSweepCommand& sweep) const { return RunSweep(sweep); }
        int operator()(const TConvertCommand& convert) const { return RunConvert(convert); }
        int operator()(const TImpulseCommand& impulse) const { return RunImpulse(impulse); }
        int operator()(const TRtaCommand& rta) const { return RunRta(rta); }
        int operator()(const TTransferCommand& transfer) const { return RunTransfer(transfer); }
        int operator()(const TRoomCommand& room) const { return RunRoom(room); }
        int operator()(const THelpCommand& help) const
        {
            PrintResult(help.Text);
            return ExitSuccess;
        }
    };
    int status = std::visit(TRun{}, *command);
    // Results that did not reach the standard output are a failed write like any other.
    if (const QString failed = FinishResults(); !failed.isEmpty()) {
        PrintMessage(failed);
        status = ExitFailure;
    }
    return status;
}
