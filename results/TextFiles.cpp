// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/TextFiles.h"

#include "results/SafeFile.h"

#include <QIODevice>

TTextLineReader::TTextLineReader(QIODevice& file) : File(file)
{
    Buffer.resize(LongestLine + 1);
}

bool TTextLineReader::Next()
{
    if (Failed)
        return false;
    const qint64 length = File.readLine(Buffer.data(), LongestLine + 1);
    if (length <= 0) {
        if (length < 0 && !File.atEnd())
            ReadFailed = true;
        return false;
    }
    qint64 end = length;
    if (Buffer[end - 1] != '\n' && length == LongestLine) {
        Overlong = true;
        Failed = true;
        return false;
    }
    while (end > 0 && (Buffer[end - 1] == '\n' || Buffer[end - 1] == '\r'))
        --end;
    Bytes = std::string_view(Buffer.data(), static_cast<std::size_t>(end));
    ++Number;
    if (Number == 1 && Bytes.starts_with("\xEF\xBB\xBF")) // a byte-order mark says nothing here
        Bytes.remove_prefix(3);
    return true;
}

void TTextLineReader::ChooseEncoding()
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
    Q_UNUSED(text);
    Decoder = utf8.hasError() ? QStringDecoder("windows-1250")
                              : QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
}

QString TTextLineReader::Text()
{
    return Decoder.decode(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
}

namespace {
constexpr qsizetype FlushBytes = 1 << 20;
}

TTextFileWriter::TTextFileWriter(const QString& fileName) : File(std::make_unique<TSafeFile>(fileName))
{
    Ok = File->Open();
}

TTextFileWriter::~TTextFileWriter() = default;

void TTextFileWriter::Add(const QString& text)
{
    Pending += text;
    if (Pending.size() >= FlushBytes)
        Flush();
}

bool TTextFileWriter::Finish(QString& failure)
{
    Flush();
    if (Ok && File->Commit())
        return true;
    failure = WriteFailureMessage(File->FileName(), File->Reason());
    return false;
}

void TTextFileWriter::Flush()
{
    if (Ok && !Pending.isEmpty())
        Ok = File->Write(Pending);
    Pending.clear();
}
