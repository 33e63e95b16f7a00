// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/MeasurementState.h"
#include "measure/MeterPorts.h"

#include <QDateTime>
#include <QFile>
#include <QLockFile>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TAcquisitionQueue;

// A copy on disk of what the acquisition queue holds, so that a crash, a killed process or a power cut
// during a long recording loses at most the last second. Every value the meter acquires passes through
// here into the queue; each completed tick is appended to the journal (a sound-pressure result file)
// and handed to the system at once, and a thread of the journal's own has the system put it on the
// disk (fdatasync) twice a second, so that the meter's tick never waits for the disk. The journal goes
// when the queue is saved or released.
//
// Each running program holds a journal of its own, guarded by a lock file; a journal whose lock is
// stale was left by a program that ended without saving, and the next start offers to open it.
class TRecordingJournal final : public IAcquisitionSink
{
public:
    static constexpr int SyncIntervalMs = 500;

    // A journal left by a program that ended during a recording, locked for whoever found it until it
    // goes (or is adopted).
    struct TLeftJournal
    {
        QString Path;
        QDateTime LastWritten;
        std::unique_ptr<QLockFile> Lock;
    };

    TRecordingJournal(TAcquisitionQueue& queue, const TMeasurementState& state, const IStreamInfo& input);
    ~TRecordingJournal() override; // a program that ends in order has released its queue
    TRecordingJournal(const TRecordingJournal&) = delete;
    TRecordingJournal& operator=(const TRecordingJournal&) = delete;

    // The user's state folder for journals.
    static QString DefaultFolder();
    // Every journal in the folder left by a program that has ended, oldest place first; journals of
    // running programs are never among them.
    static std::vector<TLeftJournal> FindLeft(const QString& folder);

    // Takes a place that holds no journal, leaving those of ended programs to the window's offer.
    // False when the folder cannot be written or every place is taken: the recording then runs
    // without a journal, and ClaimFailure() says why in Polish.
    bool ClaimFreePlace(const QString& folder);
    QString ClaimFailure() const { return Unclaimed; }
    QString FileName() const { return Path; }

    // Takes over a left journal, whose values the caller then reads back into the queue: the next
    // ticks are appended to it, and the place taken at the start, which holds nothing, is given up. A
    // tick cut short by the end of the earlier program is dropped first. False, with the Polish
    // message, when it cannot be written to; the left journal then stays exactly as it was.
    bool Adopt(TLeftJournal& left, QString& failure);
    // Gives the journal up without removing it (its values are not all in the queue) and takes a free
    // place for the next ticks: the next start offers it again.
    void Release(const QString& folder);

    void Enqueue(double value) override;
    void MarkOverload(unsigned channels) override;
    // The queue was saved or released: the journal goes.
    void Discard();
    // The program ends with its values unsaved (their file could not be written): the journal stays,
    // and the window offers it at its next start.
    void KeepForRecovery();
    // The same, once the journal holds every value of the queue: as written, when every tick reached
    // it and the disk, or else written anew from the queue, whole or not at all, in its place (or in a
    // place taken now). The journal's file; nothing, with the Polish reason, when no place holds them
    // all: a journal that holds a part of them then stays as it was.
    std::optional<QString> KeepWhole(QString& failure);

    // Called once when the journal cannot be written, from within the meter's tick; the recording
    // itself goes on in memory.
    std::function<void(const QString& message)> OnFailure;

private:
    class TDiskSync;

    bool OpenFresh();
    void WriteTick();
    bool Synced();
    void Fail();
    void Close();

    TAcquisitionQueue& Queue;
    const TMeasurementState& State;
    const IStreamInfo& Input;
    std::unique_ptr<QLockFile> Lock;
    QString Path;
    QFile File;
    std::unique_ptr<TDiskSync> Sync;
    std::array<double, 3> Tick{};
    std::size_t Filled = 0;
    bool Broken = false;
    QString Unclaimed;
};
