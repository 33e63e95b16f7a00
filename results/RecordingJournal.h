#pragma once

#include "measure/MeasurementState.h"
#include "measure/MeterPorts.h"

#include <QFile>
#include <QLockFile>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class TAcquisitionQueue;

// A copy on disk of what the acquisition queue holds, so that a crash, a killed process or a power cut
// during a long recording loses at most the tick being written. Every value the meter acquires passes
// through here into the queue; each completed tick is appended to the journal (a sound-pressure result
// file) and handed to the system at once. The journal goes when the queue is saved or released.
//
// Each running program holds a journal of its own, guarded by a lock file; a journal whose lock is
// stale was left by a program that ended without saving, and the next start offers to open it.
class TRecordingJournal final : public IAcquisitionSink
{
public:
    TRecordingJournal(TAcquisitionQueue& queue, const TMeasurementState& state, const IStreamInfo& input);
    ~TRecordingJournal() override; // a program that ends in order has released its queue
    TRecordingJournal(const TRecordingJournal&) = delete;
    TRecordingJournal& operator=(const TRecordingJournal&) = delete;

    // The user's state folder for journals.
    static QString DefaultFolder();

    // Takes a journal place of its own in the folder. True when that place holds a journal left by a
    // program that ended during a recording.
    bool Claim(const QString& folder);
    // Takes a place that holds no journal, leaving those of ended programs to the window's offer.
    // False when every place is taken: the recording then runs without a journal.
    bool ClaimFreePlace(const QString& folder);
    QString FileName() const { return Path; }

    // After the left journal was read back into the queue: the next ticks are appended to it. A tick
    // that was cut short by the end of the earlier program is dropped first.
    bool Adopt();

    void Enqueue(double value) override;
    // The queue was saved or released: the journal goes.
    void Discard();
    // The program ends with its values unsaved (their file could not be written): the journal stays,
    // and the window offers it at its next start.
    void KeepForRecovery();

    // Called once when the journal cannot be written; the recording itself goes on in memory.
    std::function<void(const QString& message)> OnFailure;

private:
    bool TakePlace(const QString& folder, bool freeOnly);
    bool OpenFresh();
    void WriteTick();
    void Fail();

    TAcquisitionQueue& Queue;
    const TMeasurementState& State;
    const IStreamInfo& Input;
    std::unique_ptr<QLockFile> Lock;
    QString Path;
    QFile File;
    std::array<double, 3> Tick{};
    std::size_t Filled = 0;
    bool Broken = false;
};
