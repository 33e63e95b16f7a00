// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "measure/MeasurementState.h"
#include "results/SeriesStore.h"

#include <QDateTime>
#include <QString>
#include <vector>

class QIODevice;
class TAcquisitionQueue;

// Result files (".lev"): plain text with fixed-width fields, in two layouts told apart by the first
// line. The sound-pressure layout holds the acquired values (time, left, right a line), the frequency
// layout chosen result series as column pairs (frequency, level), 46 characters a series. Written in
// UTF-8 with the user's decimal separator; read in UTF-8 or Windows-1250 with either separator.
namespace ResultFile {

inline const QString SoundPressureMarker = QStringLiteral("Pomiar ciśnienia akustycznego.     ");
inline const QString FrequencyMarker = QStringLiteral("Charakterystyki częstotliwościowe. ");
inline const QString UnknownFormatMessage = QStringLiteral("Nieznany format pliku");
inline const QString InvalidFormatMessage = QStringLiteral("Nieprawidłowy format pliku!");
inline const QString Extension = QStringLiteral(".lev");
inline constexpr int ColumnWidth = 46; // one series of the frequency layout
inline constexpr int NameWidth = 44;

// What a sound-pressure file says of its recording: line 4.
struct TRecordingConditions
{
    double AveragingTime = 0; // s
    int FrameRate = 0;        // Hz
    // Not in a result file's text; the exchange files name it in their units.
    TFrequencyWeighting Weighting = TFrequencyWeighting::Z;
};

// Lines 1 to 6 of the sound-pressure layout, each with its line end.
QString SoundPressureHeader(const QDateTime& written, const TRecordingConditions& conditions);
// One tick: "%8.3f " and twice "%22.15e ", then the line end.
QString SoundPressureLine(double time, double left, double right);

// The sound-pressure layout with every value of the queue. The queue is only read: the caller
// releases it once this returns true. On false, `failure` holds the Polish message.
bool WriteSoundPressure(const QString& fileName, const TAcquisitionQueue& queue,
                        const TRecordingConditions& conditions, const QDateTime& written, QString& failure);

// One chosen series of a frequency file.
struct TSeriesColumn
{
    int Slot = 0; // 0..7
    QString Name;
    SeriesSlot Record;
    const TChartSeriesData* Points = nullptr;
};

// The frequency layout with the given series, in the order given (ascending slots); the names line
// is empty when the legend is hidden.
bool WriteFrequency(const QString& fileName, const std::vector<TSeriesColumn>& columns, bool withNames,
                    const QDateTime& written, QString& failure);

// The queue dump: the sound-pressure header, then one "%22.15e " value a line.
bool WriteQueueDump(const QString& fileName, const TAcquisitionQueue& queue,
                    const TRecordingConditions& conditions, const QDateTime& written, QString& failure);

// Where the values read go, in file order.
class ISink
{
public:
    virtual ~ISink() = default;
    // The kind of the file, switched by its action with its prompts; false when the user kept the
    // current kind, which ends the reading before anything changed.
    virtual bool SelectKind(TMeasurementKind kind) = 0;
    // A sound-pressure file's line 4, before its points; files that say nothing there skip it.
    virtual void RecordingConditions(const TRecordingConditions& conditions) { Q_UNUSED(conditions); }
    virtual void ChannelPoint(double time, double left, double right) = 0;
    // The slots of a frequency file in file order, before any of their names, conditions or points.
    virtual void SeriesListed(const std::vector<int>& listedSlots) = 0;
    virtual void SeriesName(int slot, const QString& name) = 0;
    virtual void SeriesConditions(int slot, int channel, double averagingTime, int frameRate) = 0;
    virtual void SeriesPoint(int slot, double frequency, double level) = 0;
    // Only the exchange files say that a microphone correction was applied to a series, that its
    // points were detected synchronously (reference: 0 none, 1 left, 2 right), and what a point holds
    // beside its level; a sink that keeps no details takes such a point as a plain one.
    virtual void SeriesMicrophoneCorrected(int slot) { Q_UNUSED(slot); }
    virtual void SeriesSynchronous(int slot, int reference)
    {
        Q_UNUSED(slot);
        Q_UNUSED(reference);
    }
    virtual void SeriesDetailedPoint(int slot, double frequency, double level, const TPointDetail& detail)
    {
        Q_UNUSED(detail);
        SeriesPoint(slot, frequency, level);
    }
};

enum class TReadOutcome { Read, UnknownFormat, InvalidFormat, KindKept, ReadError };

// Reads an open file into the sink. On InvalidFormat what was read until the faulty field stays with
// the sink; on UnknownFormat and KindKept the sink got nothing.
TReadOutcome Read(QIODevice& file, ISink& sink);

// Whether a file name has the result files' extension (any letter case).
bool HasResultExtension(const QString& fileName);

} // namespace ResultFile
