// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Terminal.h"

#include "results/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int BarWidth = 30;
constexpr qint64 RedrawInterval = 100;   // ms between two drawings of the bar
constexpr qint64 LongestSilence = 60000; // ms without a progress line when not on a terminal

QString ResultsFailed; // the reason of the first result that was not written

bool Write(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream) ==
               static_cast<std::size_t>(bytes.size()) &&
           std::fflush(stream) == 0;
}

QString OutputFailure(int errorNumber)
{
    return QStringLiteral("Nie można zapisać wyników na standardowe wyjście: ") +
           FileErrorReason(errorNumber) + QLatin1Char('.');
}

} // namespace

bool PrintResult(const QString& text)
{
    if (!ResultsFailed.isEmpty())
        return false;
    if (Write(stdout, text))
        return true;
    ResultsFailed = OutputFailure(errno);
    return false;
}

QString FinishResults()
{
    if (ResultsFailed.isEmpty()) {
        errno = 0;
        if (std::fclose(stdout) != 0)
            ResultsFailed = OutputFailure(errno);
    }
    return ResultsFailed;
}

void PrintMessage(const QString& text)
{
    Write(stderr, QStringLiteral("tonvix-cli: ") + text + QLatin1Char('\n'));
}

QString Counted(qint64 count, const QString& one, const QString& few, const QString& many)
{
    const qint64 units = count % 10, tens = count % 100;
    const QString& noun = count == 1                                               ? one
                          : (units >= 2 && units <= 4 && (tens < 12 || tens > 14)) ? few
                                                                                   : many;
    return QString::number(count) + QLatin1Char(' ') + noun;
}

TProgress::TProgress() : Terminal(isatty(STDERR_FILENO) == 1) {}

void TProgress::Show(double fraction, const QString& text)
{
    fraction = std::clamp(std::isfinite(fraction) ? fraction : 0.0, 0.0, 1.0);
    const int percent = static_cast<int>(std::floor(fraction * 100));
    if (Terminal) {
        if (Drawn && fraction < 1 && SinceDrawn.elapsed() < RedrawInterval)
            return;
        const int filled = static_cast<int>(std::lround(fraction * BarWidth));
        // "\x1b[K" clears what a longer line before it left on the right.
        Write(stderr, QStringLiteral("\r[") + QString(filled, QLatin1Char('#')) +
                          QString(BarWidth - filled, QLatin1Char('.')) + QStringLiteral("] ") +
                          QStringLiteral("%1 %  ").arg(percent, 3) + text + QStringLiteral("\x1b[K"));
    } else {
        const int tenth = percent / 10;
        if (Drawn && tenth == LastTenth && SinceDrawn.elapsed() < LongestSilence)
            return;
        LastTenth = tenth;
        Write(stderr, QStringLiteral("%1 %  ").arg(percent, 3) + text + QLatin1Char('\n'));
    }
    Drawn = true;
    SinceDrawn.start();
}

void TProgress::Finish()
{
    if (Terminal && Drawn)
        Write(stderr, QStringLiteral("\n"));
    Drawn = false;
}

void TProgress::Clear()
{
    if (Terminal && Drawn)
        Write(stderr, QStringLiteral("\r\x1b[K"));
    Drawn = false;
}
