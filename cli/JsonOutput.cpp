// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/JsonOutput.h"

#include "measure/FrequencyWeighting.h"
#include "measure/MeasurementState.h"
#include "results/SafeFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cerrno>
#include <cmath>
#include <unistd.h>

namespace {

QJsonValue Level(double level)
{
    return JsonOutput::Rounded(level, 2);
}

QJsonValue Seconds(double seconds)
{
    return JsonOutput::Rounded(seconds, 3);
}

QString IsoTime(const QDateTime& start, double seconds)
{
    return start.addMSecs(std::llround(seconds * 1000)).toUTC().toString(Qt::ISODateWithMs);
}

// The weighting and time weighting the figures were measured with, which every recording object holds.
QJsonObject Weightings(const TMeasurementState& state)
{
    const TMeasuredWith with = FiguresMeasuredWith(state);
    QJsonObject object{{"weighting", WeightingLetter(with.Weighting)}};
    if (with.NoAveraging) {
        object.insert("time_weighting", "none");
        return object;
    }
    const QString letter = TimeWeightingLetter(with);
    object.insert("time_weighting", letter.isEmpty() ? QStringLiteral("custom") : letter);
    object.insert("time_constant", with.Impulse ? 0.035 : with.AveragingTime);
    return object;
}

// The peak's name says its weighting: C whenever a weighting is on, Z without.
QString PeakName(const TMeasurementState& state)
{
    return FiguresMeasuredWith(state).Weighting == TFrequencyWeighting::Z ? QStringLiteral("LZpeak")
                                                                          : QStringLiteral("LCpeak");
}

// An object about an instant of the recording, `seconds` after its start.
QJsonObject At(const TMeasurementState& state, const QDateTime& start, double seconds)
{
    QJsonObject object = Weightings(state);
    object.insert("time", IsoTime(start, seconds));
    object.insert("seconds", Seconds(seconds));
    return object;
}

QJsonObject ChannelFigures(const TMeasurementState& state, const TChannelFigures& figures, bool exceeded)
{
    QJsonObject object{{"Leq", Level(figures.Leq)},
                       {"Lmax", Level(figures.Lmax)},
                       {"Lmin", Level(figures.Lmin)},
                       {PeakName(state), Level(figures.Lpeak)},
                       {"overload", figures.Overload}};
    if (!exceeded)
        return object;
    object.insert("LE", Level(figures.LE));
    // A recording shorter than the first sample instant has no levels exceeded: null.
    for (std::size_t i = 0; i < ExceededPercents.size(); ++i)
        object.insert(QStringLiteral("L%1").arg(ExceededPercents[i]),
                      figures.HasExceeded ? Level(figures.Exceeded[i]) : QJsonValue());
    return object;
}

QJsonArray DeviceArray(const std::vector<TDeviceEntry>& devices)
{
    QJsonArray array;
    for (std::size_t i = 0; i < devices.size(); ++i)
        array.append(QJsonObject{{"name", QString::fromUtf8(devices[i].Name)},
                                 {"description", devices[i].Description},
                                 {"default", i == 0}});
    return array;
}

} // namespace

namespace JsonOutput {

// A whole number of steps divided by a power of ten is rounded once, to the double nearest to that
// decimal, while one multiplied by 0.01 is not (-19998 * 0.01 is -199.98000000000002).
QJsonValue Rounded(double value, int decimals)
{
    if (!std::isfinite(value))
        return QJsonValue(); // null: never a number that is none
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

QJsonObject Devices(const TDeviceLists& devices, const QString& serverError)
{
    QJsonObject object{{"input", DeviceArray(devices.Inputs)}, {"output", DeviceArray(devices.Outputs)}};
    if (!serverError.isEmpty())
        object.insert("server_error", serverError);
    return object;
}

QJsonObject Statistics(const TMeasurementState& state, const QDateTime& start)
{
    const TStatisticsFigures figures = StatisticsFigures(state);
    QJsonObject object = Weightings(state);
    object.insert("start", IsoTime(start, 0));
    object.insert("duration", Seconds(figures.Duration));
    if (figures.Measured) {
        object.insert("left", ChannelFigures(state, figures.Left, true));
        object.insert("right", ChannelFigures(state, figures.Right, true));
    }
    return object;
}

QJsonObject Reading(const TMeasurementState& state, const QDateTime& start)
{
    QJsonObject object = At(state, start, state.ElapsedTime);
    object.insert("left", Level(state.LevelL + state.TimeCalibrationL));
    object.insert("right", Level(state.LevelR + state.TimeCalibrationR));
    // Latched: whether the channel overloaded since the recording started.
    object.insert("overload", QJsonObject{{"left", state.Statistics.Channel(0).Overload},
                                          {"right", state.Statistics.Channel(1).Overload}});
    return object;
}

QJsonObject Interval(const TMeasurementState& state, const TIntervalRecord& record, const QDateTime& start)
{
    const TStatisticsFigures figures = IntervalFigures(state, record);
    QJsonObject object = At(state, start, record.Start);
    object.insert("duration", Seconds(record.Duration));
    object.insert("left", ChannelFigures(state, figures.Left, false));
    object.insert("right", ChannelFigures(state, figures.Right, false));
    return object;
}

} // namespace JsonOutput

bool TJsonLines::Open(const QString& target, QString& failure)
{
    Target = target;
    File.setFileName(target);
    errno = 0;
    const bool opened =
        target == QLatin1String("-")
            ? File.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFile::DontCloseHandle)
            : File.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (opened)
        return true;
    failure = WriteFailureMessage(target, FileErrorReason(errno));
    return false;
}

bool TJsonLines::Write(const QJsonObject& object)
{
    if (!Reason.isEmpty() || !File.isOpen())
        return false;
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    for (qsizetype done = 0; done < line.size();) {
        const ssize_t written =
            ::write(File.handle(), line.constData() + done, static_cast<std::size_t>(line.size() - done));
        if (written > 0) {
            done += written;
        } else if (written < 0 && errno != EINTR) {
            const int error = errno;
            Error = error;
            Reason = WriteFailureMessage(
                Target == QLatin1String("-") ? QStringLiteral("(standardowe wyjście)") : Target,
                FileErrorReason(error));
            return false;
        }
    }
    return true;
}

bool TJsonRecording::AfterTick()
{
    if (!Start.isValid())
        Start = QDateTime::currentDateTimeUtc().addMSecs(-std::llround(State.ElapsedTime * 1000));
    if (!Lines)
        return true;
    if (State.Statistics.LogInterval() > 0)
        return WriteClosedIntervals();
    return Lines->Write(JsonOutput::Reading(State, Start));
}

bool TJsonRecording::WriteClosedIntervals()
{
    // Counted from the log's start: intervals written may have been let go since.
    const std::vector<TIntervalRecord>& closed = State.Statistics.Intervals();
    const std::size_t forgotten = State.Statistics.Forgotten();
    for (; IntervalsWritten < forgotten + closed.size(); ++IntervalsWritten)
        if (IntervalsWritten >= forgotten &&
            !Lines->Write(JsonOutput::Interval(State, closed[IntervalsWritten - forgotten], StartTime())))
            return false;
    return true;
}

bool TJsonRecording::Finish()
{
    if (!Lines || State.Statistics.LogInterval() <= 0)
        return true;
    if (!WriteClosedIntervals())
        return false;
    const std::optional<TIntervalRecord> open = State.Statistics.OpenInterval();
    return !open || Lines->Write(JsonOutput::Interval(State, *open, StartTime()));
}

QJsonObject TJsonRecording::Document() const
{
    QJsonObject document{{"statistics", JsonOutput::Statistics(State, StartTime())}};
    if (State.Statistics.LogInterval() <= 0)
        return document;
    QJsonArray intervals;
    for (const TIntervalRecord& record : State.Statistics.Intervals())
        intervals.append(JsonOutput::Interval(State, record, StartTime()));
    if (const std::optional<TIntervalRecord> open = State.Statistics.OpenInterval())
        intervals.append(JsonOutput::Interval(State, *open, StartTime()));
    document.insert("intervals", intervals);
    return document;
}

QDateTime TJsonRecording::StartTime() const
{
    return Start.isValid() ? Start : QDateTime::currentDateTimeUtc(); // no reading was taken
}
