// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Terminal.h"

#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int BarWidth = 30;
constexpr qint64 RedrawInterval = 100;   // ms between two drawings of the bar
constexpr qint64 LongestSilence = 60000; // ms without a progress line when not on a terminal

void Write(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void PrintResult(const QString& text)
{
    Write(stdout, text);
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
