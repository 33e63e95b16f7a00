// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <memory>
#include <string_view>

class QIODevice;
class TSafeFile;

// A text file written whole or not at all (TSafeFile), in UTF-8, handed to the system in pieces of
// about a megabyte, so that a day's recording never sits in memory twice.
class TTextFileWriter
{
public:
    explicit TTextFileWriter(const QString& fileName);
    ~TTextFileWriter();
    void Add(const QString& text);
    // Puts the file in place; false with the Polish message naming the file and the reason.
    bool Finish(QString& failure);

private:
    void Flush();

    std::unique_ptr<TSafeFile> File;
    QString Pending;
    bool Ok = false;
};

// The lines of an open text file, one at a time (no whole file in memory): raw bytes without their
// line end, and decoded text where the caller needs it. A line longer than 64 KiB ends the reading:
// no file the program reads has one, and a damaged file must not take unbounded memory.
class TTextLineReader
{
public:
    static constexpr qint64 LongestLine = 1 << 16;

    explicit TTextLineReader(QIODevice& file);

    // False at the end of the file, or after a read error or an overlong line (see the flags).
    bool Next();
    // Decides the text encoding from the current line: UTF-8 when it is valid UTF-8, Windows-1250
    // otherwise. The result files' kind markers and the exchange files' headers hold letters that
    // tell the two apart.
    void ChooseEncoding();
    // The current line decoded, without a byte-order mark on the first line.
    QString Text();

    std::string_view Bytes;
    int Number = 0; // of the current line, from 1
    bool Overlong = false, ReadFailed = false;

private:
    QIODevice& File;
    QByteArray Buffer;
    QStringDecoder Decoder;
    bool Failed = false;
};
