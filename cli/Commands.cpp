// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of tonvix-cli: each sets the engine up from the window's settings and its options,
// measures or reads, writes the results and says how it went.

#include "cli/Commands.h"

#include "audio/DeviceServices.h"
#include "cli/JsonOutput.h"
#include "cli/MeasurementSession.h"
#include "cli/StopSignals.h"
#include "cli/Terminal.h"
#include "common/NumberFormat.h"
#include "measure/MeasurementStatistics.h"
#include "results/ExchangeFile.h"
#include "results/MicrophoneCalibrationFile.h"
#include "results/ResultSet.h"
#include "results/SafeFile.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"
#include "settings/WindowSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>
#include <optional>

int UsageError(const QString& text)
{
    PrintMessage(text);
    return ExitUsage;
}

int Failure(const QString& text)
{
    PrintMessage(text.trimmed());
    return ExitFailure;
}

int ExitInterrupted(int signal)
{
    return 128 + signal;
}

int Interrupted(int signal, const QString& text)
{
    PrintMessage(text);
    return ExitInterrupted(signal);
}

// The device the option names, by its stable name; without the option the window's choice (the
// settings' "Devices") holds. A name that no device has is refused: a measurement never moves to
// another device than the one the user asked for.
bool ChooseDevice(TAudioIO& component, TWaveDirection direction, const std::optional<QString>& name,
                  QString& failure)
{
    if (!name)
        return true;
    const auto listed = [&] {
        const std::vector<TDeviceEntry> devices = TDeviceServices::Devices(direction);
        return std::any_of(devices.begin(), devices.end(),
                           [&](const TDeviceEntry& device) { return device.Name == name->toUtf8(); });
    };
    // A sound server too busy to answer in time lists no device: it is asked once more, and if it still
    // does not list the device, the server's own reason (when it gave one) follows.
    if (!listed() && !listed()) {
        const QString why = TDeviceServices::ServerStatus();
        failure = QStringLiteral("Nie ma urządzenia ") +
                  (direction == TWaveDirection::Input ? QStringLiteral("wejściowego")
                                                      : QStringLiteral("wyjściowego")) +
                  QStringLiteral(" o nazwie „") + *name + QStringLiteral("”") +
                  (why.isEmpty() ? QStringLiteral(". Nazwy urządzeń podaje: tonvix-cli devices")
                                 : QStringLiteral(": ") + why);
        return false;
    }
    component.SetDeviceName(name->toUtf8());
    return true;
}

bool TakeProgramCard(TAudioIO& input, TAudioIO& output, const std::optional<QString>& inputName,
                     const std::optional<QString>& outputName, QString& failure)
{
    {
        const TSettingsStore store;
        TMeasurementState state;
        TWindowSettings window;
        LoadSettings(store, input, output, state, window);
    }
    return ChooseDevice(input, TWaveDirection::Input, inputName, failure) &&
           ChooseDevice(output, TWaveDirection::Output, outputName, failure);
}

// Asked before a measurement that may take hours: can its file be written where it is to go?
bool CanWrite(const QString& fileName, QString& failure)
{
    const int error = WriteObstacle(fileName);
    if (error == 0)
        return true;
    failure = WriteFailureMessage(fileName, FileErrorReason(error));
    return false;
}

// The window's settings, read and never written: a command's options hold for its run only.
TWindowSettings LoadProgramSettings(TMeasurementSession& session)
{
    const TSettingsStore store;
    TWindowSettings window;
    LoadSettings(store, session.AudioIn(), session.AudioOut(), session.State(), window);
    return window;
}

namespace {

void ApplyChannels(TMeasurementSession& session, const TWindowSettings& window,
                   const std::optional<TChannelMode>& channels)
{
    session.ChooseChannels(channels.value_or(static_cast<TChannelMode>(std::clamp(window.CanalNo, 0, 2))),
                           window.Compensation);
}

void ApplyStoredAveraging(TMeasurementSession& session, const TWindowSettings& window)
{
    session.ChooseAveraging({std::clamp(window.Average, 0, 4), session.State().AveragingTime}, true);
}

QString StatisticsText(const TMeasurementState& state)
{
    const QList<QStringList> table = StatisticsTable(state);
    std::vector<qsizetype> columns{0};
    if (state.ChannelMode != TChannelMode::Right)
        columns.push_back(1);
    if (state.ChannelMode != TChannelMode::Left)
        columns.push_back(2);
    std::vector<qsizetype> widths(columns.size(), 0);
    for (const QStringList& row : table)
        for (std::size_t i = 0; i < columns.size(); ++i)
            widths[i] = std::max(widths[i], row.value(columns[i]).size());
    QString text = QStringLiteral("Statystyki pomiaru:\n");
    for (const QStringList& row : table) {
        QString line = row.value(0).leftJustified(widths[0]);
        for (std::size_t i = 1; i < columns.size(); ++i)
            line += QStringLiteral("   ") + row.value(columns[i]).rightJustified(widths[i]);
        text += line.trimmed().isEmpty() ? QString() : line + QLatin1Char('\n');
    }
    return text;
}

// The interval log on the standard output: a header, then a row as each interval closes, the one in
// progress at the end last. Columns are aligned to the header's names.
class TIntervalPrinter
{
public:
    explicit TIntervalPrinter(const TMeasurementState& state) : State(state), Header(IntervalHeader(state))
    {
        PrintResult(QStringLiteral("Przedziały po %1 s:\n")
                        .arg(NumberFormat::General(state.Statistics.LogInterval())) +
                    Line(Header));
    }
    void PrintClosed(TProgress& progress)
    {
        // Counted from the log's start: rows printed may have been let go since.
        QString text;
        const std::vector<TIntervalRecord>& closed = State.Statistics.Intervals();
        const std::size_t forgotten = State.Statistics.Forgotten();
        for (; Printed < forgotten + closed.size(); ++Printed)
            if (Printed >= forgotten)
                text += Line(IntervalRow(State, closed[Printed - forgotten]));
        if (text.isEmpty())
            return;
        progress.Clear();
        PrintResult(text);
    }
    // After the recording and its progress bar.
    void Finish(TProgress& progress)
    {
        PrintClosed(progress);
        if (const std::optional<TIntervalRecord> open = State.Statistics.OpenInterval())
            PrintResult(Line(IntervalRow(State, *open)));
    }

private:
    QString Line(const QStringList& cells) const
    {
        QString line;
        for (qsizetype i = 0; i < cells.size(); ++i)
            line += (i == 0 ? QString() : QStringLiteral("  ")) +
                    cells[i].rightJustified(std::max<qsizetype>(Header.value(i).size(), MinimumWidth));
        return line + QLatin1Char('\n');
    }

    static constexpr qsizetype MinimumWidth = 7;
    const TMeasurementState& State;
    QStringList Header;
    std::size_t Printed = 0;
};

// The acquired values into the result file. When that fails, they stay in memory until a copy of
// them all is somewhere: the journal (written anew when it failed during the recording), which the
// window offers at its next start, or else a file in the temporary folder; `failure` says where they
// are, or that they are nowhere.
bool WriteRecording(TMeasurementSession& session, const QString& fileName, QString& failure)
{
    const TMeasurementState& state = session.State();
    const TAcquisitionQueue& queue = session.AcquisitionQueue();
    const ResultFile::TRecordingConditions conditions{state.AveragingTime, session.AudioIn().FrameRate(),
                                                      state.FrequencyWeighting};
    if (!ExchangeFile::WriteSoundPressure(fileName, queue, conditions, failure)) {
        QString journalFailure;
        if (const std::optional<QString> journal = session.Journal().KeepWhole(journalFailure)) {
            failure +=
                QStringLiteral(" Wszystkie zmierzone wartości są w pliku ") + *journal +
                QStringLiteral("; program Tonvix zaproponuje jego otwarcie przy następnym uruchomieniu.");
            return false;
        }
        failure += QLatin1Char('\n') + journalFailure;
        const QString rescue = QDir::temp().filePath(
            QStringLiteral("tonvix-nagranie-%1-%2.lev")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
                .arg(QCoreApplication::applicationPid()));
        QString rescueFailure;
        if (ResultFile::WriteSoundPressure(rescue, queue, conditions, QDateTime::currentDateTime(),
                                           rescueFailure)) {
            failure += QStringLiteral("\nWszystkie zmierzone wartości zapisano w pliku ") + rescue +
                       QLatin1Char('.');
            return false;
        }
        failure += QLatin1Char('\n') + rescueFailure +
                   QStringLiteral("\nZmierzonych wartości nie udało się zapisać w żadnym pliku; zostają "
                                  "tylko statystyki pomiaru.");
        return false;
    }
    PrintMessage(QStringLiteral("Zapisano ") +
                 Counted(static_cast<qint64>(session.AcquisitionQueue().Count() / 3),
                         QStringLiteral("odczyt"), QStringLiteral("odczyty"), QStringLiteral("odczytów")) +
                 QStringLiteral(" w pliku ") + fileName + QLatin1Char('.'));
    return true;
}

} // namespace

void ReportOverloads(TMeasurementSession& session)
{
    const TChannelMode mode = session.State().ChannelMode;
    if (session.Overloaded(0) && mode != TChannelMode::Right)
        PrintMessage(QStringLiteral("Uwaga: w kanale lewym wystąpiło przesterowanie."));
    if (session.Overloaded(1) && mode != TChannelMode::Left)
        PrintMessage(QStringLiteral("Uwaga: w kanale prawym wystąpiło przesterowanie."));
}

TMeasurementSession::TEnd
MeasureUntilStopped(TMeasurementSession& session, int& signal,
                    const std::function<TMeasurementSession::TEnd(TProgress&)>& measure)
{
    TStopSignals stopSignals;
    signal = 0;
    QObject::connect(&stopSignals, &TStopSignals::Received, [&](int received) {
        signal = received;
        session.Interrupt();
    });
    TProgress progress;
    const TMeasurementSession::TEnd end = measure(progress);
    progress.Finish();
    return end;
}

int RunDevices(const TDevicesCommand& command)
{
    const QString why = TDeviceServices::ServerStatus();
    const TDeviceLists devices = TDeviceServices::AllDevices();
    if (command.Json) {
        PrintResult(QString::fromUtf8(QJsonDocument(JsonOutput::Devices(devices, why)).toJson()));
        return ExitSuccess;
    }
    if (!why.isEmpty())
        PrintMessage(QStringLiteral("Uwaga: serwer dźwięku nie udostępnia urządzeń (") + why +
                     QStringLiteral("); dostępna jest wirtualna karta dźwiękowa."));
    QString text;
    for (const auto direction : {TWaveDirection::Input, TWaveDirection::Output}) {
        const std::vector<TDeviceEntry>& list = devices.Of(direction);
        qsizetype width = 0;
        for (const TDeviceEntry& device : list)
            width = std::max(width, QString::fromUtf8(device.Name).size());
        text += direction == TWaveDirection::Input ? QStringLiteral("Urządzenia wejściowe:\n")
                                                   : QStringLiteral("Urządzenia wyjściowe:\n");
        for (std::size_t i = 0; i < list.size(); ++i)
            text += (i == 0 ? QStringLiteral("* ") : QStringLiteral("  ")) +
                    QString::fromUtf8(list[i].Name).leftJustified(width) + QStringLiteral("  ") +
                    list[i].Description + QLatin1Char('\n');
    }
    PrintResult(text + QStringLiteral("(* urządzenie domyślne)\n"));
    return ExitSuccess;
}

int RunRecord(const TRecordCommand& command)
{
    QString failure;
    if (command.Out) {
        const auto format = ExchangeFile::FormatOf(*command.Out);
        if (format != ExchangeFile::TFormat::Levels && format != ExchangeFile::TFormat::Csv)
            return UsageError(
                QStringLiteral("wyniki pomiaru ciśnienia akustycznego zapisuje się w pliku .lev lub "
                               ".csv, a nie „%1”")
                    .arg(*command.Out));
        if (!CanWrite(*command.Out, failure))
            return Failure(failure);
    }
    TJsonLines jsonLines;
    if (command.JsonLines && !jsonLines.Open(*command.JsonLines, failure))
        return Failure(failure);
    // The standard output carries one kind of result: text, the JSON document or the JSON lines.
    const bool textResults = !command.Json && command.JsonLines != QStringLiteral("-");

    TMeasurementSession session;
    const TWindowSettings window = LoadProgramSettings(session);
    TMeasurementState& state = session.State();
    if (!ChooseDevice(session.AudioIn(), TWaveDirection::Input, command.Input, failure))
        return Failure(failure);
    // The values for the result file are copied to the journal as they come, so that a crash or a
    // power cut loses at most the last second; a recording without one is said to be so.
    if (command.Out && !session.Journal().ClaimFreePlace(TRecordingJournal::DefaultFolder()))
        PrintMessage(QStringLiteral("Uwaga: ") + session.Journal().ClaimFailure() +
                     QStringLiteral(" Do zapisu pliku wyników zmierzone wartości będą tylko w pamięci."));
    ApplyChannels(session, window, command.Channels);
    if (command.Average)
        session.ChooseAveraging(*command.Average, false);
    else
        ApplyStoredAveraging(session, window);
    if (command.Interval)
        state.ChartTimeRefresh = *command.Interval;
    if (command.Weighting)
        state.FrequencyWeighting = *command.Weighting;

    int signalReceived = 0;
    std::optional<TIntervalPrinter> intervals;
    if (command.LogInterval) {
        state.Statistics.SetLogInterval(*command.LogInterval);
        // The JSON document holds every interval; rows written as they close are let go at once.
        state.Statistics.SetIntervalsKept(command.Json ? 0 : TMeasurementStatistics::DefaultIntervalsKept);
        if (textResults)
            intervals.emplace(state);
    }
    TJsonRecording json(state, command.JsonLines ? &jsonLines : nullptr);
    // Ctrl+C reaches every program of a pipe: a reader of the JSON lines that went away with a stop
    // signal ends the recording as the signal does, one that went away alone as a failure.
    const auto interruptedWithReader = [&] {
        if (!jsonLines.ReaderGone() || TStopSignals::Caught() == 0)
            return false;
        signalReceived = TStopSignals::Caught();
        return true;
    };
    TMeasurementSession::TEnd end = MeasureUntilStopped(session, signalReceived, [&](TProgress& progress) {
        session.AfterTick = [&] {
            if (intervals)
                intervals->PrintClosed(progress); // a standard output that fails is said at the end
            if (json.AfterTick())
                return;
            if (interruptedWithReader())
                session.Interrupt();
            else
                session.Abort(jsonLines.Failure());
            if (!command.Json)
                state.Statistics.ForgetIntervals(state.Statistics.Intervals().size());
        };
        const TMeasurementSession::TEnd recorded =
            session.Record(command.Seconds, progress, command.Out.has_value());
        progress.Finish();
        if (intervals)
            intervals->Finish(progress);
        return recorded;
    });
    // The interval in progress.
    if (!json.Finish() && end != TMeasurementSession::TEnd::Failed && !interruptedWithReader()) {
        session.Abort(jsonLines.Failure());
        end = TMeasurementSession::TEnd::Failed;
    }
    if (end == TMeasurementSession::TEnd::Interrupted)
        PrintMessage(
            QStringLiteral("Pomiar zakończony sygnałem %1 po %2 s.")
                .arg(TStopSignals::Name(signalReceived), NumberFormat::Fixed(state.ElapsedTime, 0, 1)));
    ReportOverloads(session);

    const bool failed = end == TMeasurementSession::TEnd::Failed;
    bool saved = true;
    if (command.Out) {
        if (failed && session.AcquisitionQueue().Empty())
            return Failure(session.Failure());
        saved = WriteRecording(session, *command.Out, failure);
    }
    if (saved)
        session.Journal().Discard();
    // The statistics also when the values could not be saved: they are then what is left.
    if (command.Json)
        PrintResult(QString::fromUtf8(QJsonDocument(json.Document()).toJson()));
    else if (textResults && StatisticsFigures(state).Measured)
        PrintResult(StatisticsText(state));
    if (!saved)
        return Failure(session.Failure() + failure);
    if (failed)
        return Failure(session.Failure());
    return end == TMeasurementSession::TEnd::Interrupted ? ExitInterrupted(signalReceived) : ExitSuccess;
}

int RunSweep(const TSweepCommand& command)
{
    const auto format = ExchangeFile::FormatOf(command.Out);
    if (!format)
        return UsageError(
            QStringLiteral("charakterystykę zapisuje się w pliku .lev, .csv lub .frd, a nie „%1”")
                .arg(command.Out));
    QString failure;
    if (!CanWrite(command.Out, failure))
        return Failure(failure);

    TMeasurementSession session;
    const TWindowSettings window = LoadProgramSettings(session);
    TMeasurementState& state = session.State();
    const int rate = session.AudioIn().FrameRate();
    for (const auto& [frequency, name] :
         {std::pair(command.Start, "--start"), std::pair(command.Stop, "--stop")})
        if (frequency > TSweep::HighestFrequency(rate))
            return UsageError(QStringLiteral("częstotliwość %1 (%2 Hz) przekracza najwyższą mierzalną "
                                             "częstotliwość, 0,49 częstotliwości próbkowania (%3 Hz przy "
                                             "%4 Hz)")
                                  .arg(QLatin1String(name), NumberFormat::General(frequency),
                                       NumberFormat::General(std::floor(TSweep::HighestFrequency(rate))))
                                  .arg(rate));
    if (command.Amplitude && *command.Amplitude > state.MaxAmplitude)
        return UsageError(
            QStringLiteral("amplituda (--amplitude) nie może przekraczać %1 mV").arg(state.MaxAmplitude));
    TDetectionSettings& detection = state.Detection;
    detection.Method = command.Method.value_or(detection.Method);
    if (!detection.Synchronous() &&
        ((command.Reference && *command.Reference != TReferenceChannel::None) || command.HighestHarmonic))
        return UsageError(QStringLiteral("kanał odniesienia i harmoniczne mierzy detekcja synchroniczna: "
                                         "dodaj opcję --method sync"));
    detection.Reference =
        detection.Synchronous() ? command.Reference.value_or(detection.Reference) : TReferenceChannel::None;
    detection.HighestHarmonic = command.HighestHarmonic.value_or(detection.HighestHarmonic);
    if (command.LongestSettling)
        detection.LongestSettling = static_cast<int>(std::lround(*command.LongestSettling * 1000));
    session.SetAirTemperature(window.Impulse.Temperature);
    if (!ChooseDevice(session.AudioIn(), TWaveDirection::Input, command.Input, failure) ||
        !ChooseDevice(session.AudioOut(), TWaveDirection::Output, command.Output, failure))
        return Failure(failure);
    // Against a reference the other input is measured, unless the options say otherwise.
    std::optional<TChannelMode> channels = command.Channels;
    if (!channels && detection.ReferenceInput() >= 0)
        channels = detection.Reference == TReferenceChannel::Left ? TChannelMode::Right : TChannelMode::Left;
    ApplyChannels(session, window, channels);
    ApplyStoredAveraging(session, window);
    if (command.MicrophoneFile) {
        const auto correction = ReadMicrophoneCalibration(*command.MicrophoneFile, failure);
        if (!correction)
            return Failure(failure);
        state.Microphone = {*correction, *correction};
    } else if (const QStringList failures = LoadMicrophoneCorrections(state); !failures.isEmpty()) {
        return Failure(failures.join(QLatin1Char('\n')) +
                       QStringLiteral("\nPopraw plik albo wskaż inny opcją --mic-cal."));
    }
    state.StartFreq = command.Start;
    state.StopFreq = command.Stop;
    state.PointsCount = command.Points;
    if (command.PointTime)
        state.PointTime = *command.PointTime;
    if (command.Amplitude)
        state.Amplitude = *command.Amplitude * state.AmplitudeConst;

    int signalReceived = 0;
    if (detection.Synchronous() && detection.ReferenceInput() < 0 && session.SeparateClocks())
        PrintMessage(QStringLiteral("Uwaga: wyjście i wejście należą do różnych kart dźwiękowych, których "
                                    "zegary się rozchodzą: bez kanału odniesienia (--reference) faza nie "
                                    "jest mierzona."));
    const TMeasurementSession::TEnd end = MeasureUntilStopped(
        session, signalReceived, [&](TProgress& progress) { return session.Sweep(progress); });
    ReportOverloads(session);
    if (const QString delay = session.SweepEngine().DelayText(); !delay.isEmpty())
        PrintMessage((detection.Synchronous() && detection.ReferenceInput() >= 0
                          ? QStringLiteral("Opóźnienie kanału mierzonego względem kanału odniesienia: ")
                          : QStringLiteral("Opóźnienie kanału prawego względem lewego: ")) +
                     delay + QStringLiteral(" (przy ") + NumberFormat::General(window.Impulse.Temperature) +
                     QStringLiteral(" °C)."));

    const int active = session.Series().ActiveSeries();
    std::vector<ResultFile::TSeriesColumn> columns;
    for (const int slot : {active, state.ChannelMode == TChannelMode::Both ? active + 4 : -1})
        if (slot >= 0 && slot < ResultSeriesCount)
            columns.push_back({slot, session.Series().SeriesName(slot), session.Series().Slot(slot),
                               &session.ChartData().Series(slot)});
    const int taken = columns.empty() ? 0 : columns.front().Points->Count();
    int unsettled = 0;
    for (const ResultFile::TSeriesColumn& column : columns)
        for (int i = 0; i < column.Points->Count(); ++i)
            unsettled += column.Points->Detail(i) && column.Points->Detail(i)->Unsettled;
    if (unsettled > 0)
        PrintMessage(
            QStringLiteral("Uwaga: ton nie ustalił się w maksymalnym czasie ustalania (%1 s) w %2; są "
                           "oznaczone w kolumnie „Nieustalony” pliku .csv.")
                .arg(NumberFormat::General(detection.LongestSettling / 1000.0),
                     Counted(unsettled, QStringLiteral("punkcie"), QStringLiteral("punktach"),
                             QStringLiteral("punktach"))));
    if (taken == 0 && end == TMeasurementSession::TEnd::Interrupted)
        return Interrupted(
            signalReceived,
            QStringLiteral("Pomiar charakterystyki przerwany sygnałem %1 przed pierwszym punktem.")
                .arg(TStopSignals::Name(signalReceived)));
    if (taken == 0)
        return Failure(session.Failure().isEmpty() ? QStringLiteral("Nie zmierzono żadnego punktu.")
                                                   : session.Failure());
    QStringList written;
    if (!ExchangeFile::WriteFrequency(command.Out, columns, true, failure, &written))
        return Failure(session.Failure() + failure);
    PrintMessage(QStringLiteral("Czas pomiaru: %1 s. Zapisano %2 z %3 punktów: %4")
                     .arg(NumberFormat::Fixed(session.SweepSeconds(), 0, 2))
                     .arg(taken)
                     .arg(command.Points)
                     .arg(written.join(QStringLiteral(", "))));
    if (end == TMeasurementSession::TEnd::Interrupted)
        return Interrupted(signalReceived, QStringLiteral("Pomiar charakterystyki przerwany sygnałem %1.")
                                               .arg(TStopSignals::Name(signalReceived)));
    return end == TMeasurementSession::TEnd::Failed ? Failure(session.Failure()) : ExitSuccess;
}

int RunConvert(const TConvertCommand& command)
{
    const auto in = ExchangeFile::FormatOf(command.In);
    const auto out = ExchangeFile::FormatOf(command.Out);
    if (!in || !out)
        return UsageError(QStringLiteral("nieznany format pliku „%1”; obsługiwane są pliki .lev, .csv i .frd")
                              .arg(!in ? command.In : command.Out));
    TResultSet results;
    QString failure;
    if (!ExchangeFile::Read(command.In, results, failure))
        return Failure(failure);
    QStringList written;
    if (results.Kind() == TMeasurementKind::SoundPressure) {
        if (*out == ExchangeFile::TFormat::Frd)
            return UsageError(
                QStringLiteral("plik %1 zawiera pomiar ciśnienia akustycznego, który można zapisać "
                               "tylko jako .lev lub .csv")
                    .arg(command.In));
        if (!ExchangeFile::WriteSoundPressure(command.Out, results.Ticks(), results.Conditions(), failure))
            return Failure(failure);
        written << command.Out;
    } else {
        // A result file saved with the legend hidden names no series; written as .lev it stays so.
        const bool withNames = *out != ExchangeFile::TFormat::Levels || results.Named();
        if (!ExchangeFile::WriteFrequency(command.Out, results.Columns(), withNames, failure, &written))
            return Failure(failure);
    }
    PrintMessage(QStringLiteral("Zapisano: ") + written.join(QStringLiteral(", ")));
    return ExitSuccess;
}
