#include "results/MicrophoneCalibrationFile.h"

#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"
#include "results/SafeFile.h"

#include <QFile>
#include <QList>
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

QList<QByteArrayView> Fields(QByteArrayView line)
{
    QList<QByteArrayView> fields;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        const bool separator = i == line.size() || IsBlank(line[i]) || line[i] == ';';
        if (separator && start >= 0) {
            fields << line.sliced(start, i - start);
            start = -1;
        } else if (!separator && start < 0) {
            start = i;
        }
    }
    // "20.5,-1.2": commas between the fields, points for decimals. A single number is no point anyway.
    if (fields.size() == 1 && fields.front().contains(',')) {
        const QByteArrayView only = fields.takeFirst();
        qsizetype from = 0;
        for (qsizetype i = 0; i <= only.size(); ++i) {
            if (i == only.size() || only[i] == ',') {
                fields << only.sliced(from, i - from);
                from = i + 1;
            }
        }
    }
    return fields;
}

std::optional<double> Number(QByteArrayView field)
{
    return NumberFormat::ParseNumber(QString::fromLatin1(field));
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

TResponseLine ParseResponseLine(QByteArrayView line)
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
    if (line.front() == '*' || line.front() == '"' || line.front() == '#') {
        parsed.Kind = Comment;
        return parsed;
    }
    const QList<QByteArrayView> fields = Fields(line);
    parsed.Kind = Invalid;
    if (fields.size() < 2 || fields.size() > 3)
        return parsed;
    const auto frequency = Number(fields[0]), level = Number(fields[1]);
    const auto phase = fields.size() == 3 ? Number(fields[2]) : std::optional<double>(0.0);
    if (!frequency || !level || !phase)
        return parsed;
    parsed.Kind = Point;
    parsed.Frequency = *frequency;
    parsed.Level = *level;
    parsed.Phase = *phase;
    return parsed;
}

std::optional<TMicrophoneCorrection> ReadMicrophoneCalibration(const QString& fileName, QString& failure)
{
    const QString prefix = QStringLiteral("Nieprawidłowy plik kalibracji mikrofonu ") + fileName;
    QFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        failure = ReadFailureMessage(fileName, FileErrorReason(errno, file.errorString()));
        return std::nullopt;
    }
    if (file.size() > LargestFile) {
        failure = prefix + QStringLiteral(": plik jest za duży.");
        return std::nullopt;
    }
    errno = 0;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        failure = ReadFailureMessage(fileName, FileErrorReason(errno, file.errorString()));
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
