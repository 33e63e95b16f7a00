// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ResponseFile.h"

#include "common/NumberFormat.h"
#include "results/MicrophoneCalibrationFile.h"
#include "results/SafeFile.h"
#include "results/TextFiles.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

namespace ResponseFile {

namespace {

const QString LineEnd = QStringLiteral("\r\n");

bool IsCsv(const QString& fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool IsResponseFile(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    return IsCsv(fileName) || suffix.compare(QLatin1String("frd"), Qt::CaseInsensitive) == 0;
}

bool Write(const QString& fileName, const TPoints& points, const QString& description, QString& failure,
           const QString& what)
{
    const bool csv = IsCsv(fileName);
    const QChar separator = csv ? QLatin1Char(';') : QLatin1Char(' ');
    const QChar decimal = csv ? NumberFormat::DecimalSeparator() : QLatin1Char('.');
    TTextFileWriter writer(fileName);
    const bool coherence = csv && !points.Coherence.empty();
    if (csv) {
        writer.Add(QStringLiteral("Częstotliwość [Hz];Poziom [dB];Faza [°]") +
                   (coherence ? QStringLiteral(";Koherencja") : QString()) + LineEnd);
    } else {
        writer.Add(QStringLiteral("* Tonvix: ") + what + QStringLiteral(", zapisano ") +
                   QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + LineEnd);
        if (!description.isEmpty())
            writer.Add(QStringLiteral("* ") + description + LineEnd);
        writer.Add(QStringLiteral("* Częstotliwość [Hz]  Poziom [dB]  Faza [°]") + LineEnd);
    }
    for (std::size_t i = 0; i < points.Frequency.size(); ++i)
        writer.Add(NumberFormat::Exact(points.Frequency[i], decimal) + separator +
                   NumberFormat::Exact(points.LevelDb[i], decimal) + separator +
                   NumberFormat::Exact(points.PhaseDegrees[i], decimal) +
                   (coherence ? separator + NumberFormat::Exact(points.Coherence[i], decimal) : QString()) +
                   LineEnd);
    return writer.Finish(failure);
}

std::optional<TPoints> Read(const QString& fileName, QString& failure)
{
    QFile file;
    if (!OpenForReading(file, fileName, failure))
        return std::nullopt;
    TTextLineReader lines(file);
    TPoints points;
    bool headed = false, coherence = true;
    while (lines.Next()) {
        const TResponseLine line = ParseResponseLine(
            QByteArrayView(lines.Bytes.data(), static_cast<qsizetype>(lines.Bytes.size())), IsCsv(fileName));
        const bool first = points.Frequency.empty() && !headed;
        if (line.Kind == TResponseLine::TKind::Invalid && first && IsCsv(fileName)) {
            headed = true; // the CSV's column header
            continue;
        }
        if (line.Kind == TResponseLine::TKind::Invalid ||
            (line.Kind == TResponseLine::TKind::Point && !(line.Frequency > 0))) {
            lines.ChooseEncoding();
            failure =
                ReadFailureMessage(fileName, QStringLiteral("wiersz %1 („%2”) nie zawiera częstotliwości, "
                                                            "poziomu i fazy")
                                                 .arg(lines.Number)
                                                 .arg(lines.Text().left(60)));
            return std::nullopt;
        }
        if (line.Kind != TResponseLine::TKind::Point)
            continue;
        points.Frequency.push_back(line.Frequency);
        points.LevelDb.push_back(line.Level);
        points.PhaseDegrees.push_back(line.Phase);
        points.Coherence.push_back(std::clamp(line.Coherence, 0.0, 1.0));
        coherence = coherence && line.HasCoherence;
    }
    if (!coherence)
        points.Coherence.clear();
    if (lines.Overlong || lines.ReadFailed || points.Frequency.empty()) {
        failure =
            ReadFailureMessage(fileName, lines.ReadFailed ? FileErrorReason(errno)
                                         : lines.Overlong ? QStringLiteral("plik zawiera zbyt długi wiersz")
                                                          : QStringLiteral("plik nie zawiera punktów "
                                                                           "charakterystyki"));
        return std::nullopt;
    }
    return points;
}

} // namespace ResponseFile
