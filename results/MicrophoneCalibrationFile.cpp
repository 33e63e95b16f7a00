// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/MicrophoneCalibrationFile.h"

#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"
#include "results/SafeFile.h"

#include <QFile>
#include <QList>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <vector>

namespace {

constexpr qint64 LargestFile = 16 << 20; // far beyond any calibration file
constexpr qsizetype QuotedLength = 60;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QByteArrayView Trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && IsBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && IsBlank(text.back()))
        text.chop(1);
    return text;
}

// Whether "," separates the fields of a line rather than the decimals: with "." in the line
// ("781.25,  0.7222968", "20.5,-1.2"), next to a blank ("100, 2"), or in a line without another
// separator ("100,2": a single number is no point anyway).
bool CommaSeparates(QByteArrayView line)
{
    if (!line.contains(','))
        return false;
    if (line.contains('.'))
        return true;
    bool otherSeparator = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == ',' &&
            ((i > 0 && IsBlank(line[i - 1])) || (i + 1 < line.size() && IsBlank(line[i + 1]))))
            return true;
        otherSeparator = otherSeparator || IsBlank(line[i]) || line[i] == ';';
    }
    return !otherSeparator;
}

QList<QByteArrayView> Fields(QByteArrayView line)
{
    const bool comma = CommaSeparates(line);
    QList<QByteArrayView> fields;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        const bool separator =
            i == line.size() || IsBlank(line[i]) || line[i] == ';' || (comma && line[i] == ',');
        if (separator && start >= 0) {
            fields << line.sliced(start, i - start);
            start = -1;
        } else if (!separator && start < 0) {
            start = i;
        }
    }
    return fields;
}

std::optional<double> Number(QByteArrayView field)
{
    return NumberFormat::ParseNumber(QString::fromUtf8(field));
}

// "Sens Factor =-1.5dB, SERNO: 123", perhaps quoted or marked as a comment.
std::optional<double> SensFactorOf(QByteArrayView line)
{
    while (!line.isEmpty() &&
           (line.front() == '"' || line.front() == '*' || line.front() == '#' || IsBlank(line.front())))
        line = line.sliced(1);
    const QString text = QString::fromLatin1(line);
    if (!text.startsWith(QLatin1String("sens factor"), Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0)
        return std::nullopt;
    QString value = text.mid(equals + 1);
    const qsizetype end = value.indexOf(QLatin1String("db"), 0, Qt::CaseInsensitive);
    value = value.left(end >= 0 ? end : value.indexOf(QLatin1Char(',')));
    return NumberFormat::ParseNumber(value);
}

QString Quoted(QByteArrayView line)
{
    QString text = QString::fromUtf8(Trimmed(line));
    if (text.size() > QuotedLength)
        text = text.left(QuotedLength) + QStringLiteral("…");
    return QStringLiteral("„") + text + QStringLiteral("”");
}

} // namespace

TResponseLine ParseResponseLine(QByteArrayView line, bool withCoherence)
{
    using enum TResponseLine::TKind;
    TResponseLine parsed;
    line = Trimmed(line);
    if (line.isEmpty())
        return parsed;
    if (const auto factor = SensFactorOf(line)) {
        parsed.Kind = SensFactor;
        parsed.SensFactor = *factor;
        return parsed;
    }
    if (line.front() == '*' || line.front() == '"' || line.front() == '#' || line.front() == ';') {
        parsed.Kind = Comment;
        return parsed;
    }
    // "Frequency, SPL, Phase", "Częstotliwość [Hz]": column titles, which files exported as CSV start with.
    if (static_cast<unsigned char>(line.front()) >= 0x80 ||
        std::isalpha(static_cast<unsigned char>(line.front()))) {
        parsed.Kind = Heading;
        return parsed;
    }
    const QList<QByteArrayView> fields = Fields(line);
    parsed.Kind = Invalid;
    if (fields.size() < 2 || fields.size() > (withCoherence ? 4 : 3))
        return parsed;
    const auto frequency = Number(fields[0]), level = Number(fields[1]);
    const auto phase = fields.size() >= 3 ? Number(fields[2]) : std::optional<double>(0.0);
    const auto coherence = fields.size() == 4 ? Number(fields[3]) : std::optional<double>(0.0);
    if (!frequency || !level || !phase || !coherence)
        return parsed;
    parsed.Kind = Point;
    parsed.Frequency = *frequency;
    parsed.Level = *level;
    parsed.Phase = *phase;
    parsed.Coherence = *coherence;
    parsed.HasPhase = fields.size() >= 3;
    parsed.HasCoherence = fields.size() == 4;
    return parsed;
}

std::optional<TMicrophoneCorrection> ReadMicrophoneCalibration(const QString& fileName, QString& failure)
{
    const QString prefix = QStringLiteral("Nieprawidłowy plik kalibracji mikrofonu ") + fileName;
    QFile file;
    if (!OpenForReading(file, fileName, failure))
        return std::nullopt;
    // At most one byte past the limit, whatever the file grows to while it is read.
    errno = 0;
    const QByteArray bytes = file.read(LargestFile + 1);
    if (file.error() != QFileDevice::NoError) {
        failure = ReadFailureMessage(fileName, FileErrorReason(errno));
        return std::nullopt;
    }
    if (bytes.size() > LargestFile) {
        failure = prefix + QStringLiteral(": plik jest za duży.");
        return std::nullopt;
    }

    std::vector<TMicrophoneCorrection::TPoint> points;
    std::optional<double> sensFactor;
    int number = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        ++number;
        const TResponseLine parsed = ParseResponseLine(line);
        const QString where = QStringLiteral(": wiersz ") + QString::number(number) + QStringLiteral(" (") +
                              Quoted(line) + QStringLiteral(") ");
        switch (parsed.Kind) {
        case TResponseLine::TKind::Empty:
        case TResponseLine::TKind::Comment:
            break;
        case TResponseLine::TKind::SensFactor:
            sensFactor = parsed.SensFactor;
            break;
        case TResponseLine::TKind::Heading:
            if (points.empty())
                break;
            [[fallthrough]]; // titles among the points: a damaged line
        case TResponseLine::TKind::Invalid:
            failure = prefix + where + QStringLiteral("nie zawiera częstotliwości i poprawki w dB.");
            return std::nullopt;
        case TResponseLine::TKind::Point:
            if (!(parsed.Frequency > 0)) {
                failure =
                    prefix + where + QStringLiteral("podaje częstotliwość, która nie jest większa od 0.");
                return std::nullopt;
            }
            if (!points.empty() && parsed.Frequency < points.back().Frequency) {
                failure = prefix + where +
                          QStringLiteral("podaje częstotliwość mniejszą niż wiersz przed nim; "
                                         "częstotliwości muszą rosnąć.");
                return std::nullopt;
            }
            points.push_back({parsed.Frequency, parsed.Level});
        }
    }
    if (points.empty()) {
        failure = prefix + QStringLiteral(": plik nie zawiera żadnego punktu.");
        return std::nullopt;
    }
    return TMicrophoneCorrection(std::move(points), sensFactor);
}

QStringList LoadMicrophoneCorrections(TMeasurementState& state)
{
    QStringList failures;
    for (std::size_t channel = 0; channel < state.MicrophoneFiles.size(); ++channel) {
        state.Microphone[channel] = TMicrophoneCorrection();
        const QString& fileName = state.MicrophoneFiles[channel];
        if (fileName.isEmpty())
            continue;
        QString failure;
        if (auto correction = ReadMicrophoneCalibration(fileName, failure))
            state.Microphone[channel] = std::move(*correction);
        else
            failures << failure;
    }
    return failures;
}
