// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/ExchangeFile.h"
#include "results/ResultSet.h"
#include "settings/KeyTable.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTest>
#include <memory>
#include <utility>
#include <vector>

// One run of the built tonvix-cli in the test's own home (the ctest environment), on the virtual card
// unless the caller lets the sound server in.
struct TCliRun
{
    int Exit = -1;
    QString Out, Err;
    double Seconds = 0; // wall time from the start to the end of the process
};

inline QProcessEnvironment CliEnvironment(bool virtualCard = true)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (virtualCard)
        environment.insert("TONVIX_DEVICE", "virtual");
    else
        environment.remove("TONVIX_DEVICE");
    return environment;
}

inline void StartCli(QProcess& process, const QStringList& arguments,
                     const QProcessEnvironment& environment = CliEnvironment())
{
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TONVIX_CLI), arguments);
    if (!process.waitForStarted(10000))
        qFatal("tonvix-cli did not start");
}

inline TCliRun RunCli(const QStringList& arguments, const QProcessEnvironment& environment = CliEnvironment(),
                      int timeoutMs = 120000)
{
    QProcess process;
    QElapsedTimer wall;
    wall.start();
    StartCli(process, arguments, environment);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    TCliRun run;
    run.Seconds = wall.nsecsElapsed() / 1e9;
    run.Exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The window program's settings file, which tonvix-cli reads: the given values, the rest as stored.
inline void StoreSettings(const std::vector<std::pair<TKey, QString>>& values)
{
    QCoreApplication::setOrganizationName("Marvelle");
    QCoreApplication::setApplicationName("Tonvix");
    TSettingsStore store;
    for (const auto& [key, value] : values)
        store.WriteString(QLatin1String(KeyInfo(key).Section), QLatin1String(KeyInfo(key).Name), value);
    if (!store.Sync())
        qFatal("cannot write the settings");
}

inline std::unique_ptr<TResultSet> ReadResults(const QString& path)
{
    auto results = std::make_unique<TResultSet>();
    QString failure;
    if (!ExchangeFile::Read(path, *results, failure))
        qFatal("%s", qPrintable(failure));
    return results;
}

#define QVERIFY_RUN(run, expectedExit)                                                                       \
    QVERIFY2((run).Exit == (expectedExit), qPrintable(QStringLiteral("exit %1, expected %2\n%3%4")           \
                                                          .arg((run).Exit)                                   \
                                                          .arg(expectedExit)                                 \
                                                          .arg((run).Out, (run).Err)))
