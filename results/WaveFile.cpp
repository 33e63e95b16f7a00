// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/WaveFile.h"

#include "common/NumberFormat.h"
#include "results/SafeFile.h"

#include <QByteArray>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sndfile.h>

namespace WaveFile {

namespace {

// libsndfile writing into memory: the header is rewritten at the end, so the whole file is made here
// before it goes to the disk through TSafeFile.
struct TMemory
{
    QByteArray Bytes;
    sf_count_t Position = 0;

    static TMemory& Of(void* data) { return *static_cast<TMemory*>(data); }
    static sf_count_t Length(void* data) { return Of(data).Bytes.size(); }
    static sf_count_t Seek(sf_count_t offset, int whence, void* data)
    {
        TMemory& memory = Of(data);
        const sf_count_t base = whence == SEEK_CUR   ? memory.Position
                                : whence == SEEK_END ? memory.Bytes.size()
                                                     : 0;
        memory.Position = std::max<sf_count_t>(0, base + offset);
        return memory.Position;
    }
    static sf_count_t Read(void* to, sf_count_t count, void* data)
    {
        TMemory& memory = Of(data);
        const sf_count_t available = std::clamp<sf_count_t>(memory.Bytes.size() - memory.Position, 0, count);
        std::memcpy(to, memory.Bytes.constData() + memory.Position, static_cast<std::size_t>(available));
        memory.Position += available;
        return available;
    }
    static sf_count_t Write(const void* from, sf_count_t count, void* data)
    {
        TMemory& memory = Of(data);
        if (memory.Position + count > memory.Bytes.size())
            memory.Bytes.resize(static_cast<qsizetype>(memory.Position + count));
        std::memcpy(memory.Bytes.data() + memory.Position, from, static_cast<std::size_t>(count));
        memory.Position += count;
        return count;
    }
    static sf_count_t Tell(void* data) { return Of(data).Position; }
};

// A RIFF chunk's identifier as libsndfile takes it.
constexpr std::int32_t DataChunk = 'd' | ('a' << 8) | ('t' << 16) | ('a' << 24);

} // namespace

QString TimeZeroComment(std::size_t timeZero, int frameRate)
{
    return QStringLiteral("Tonvix: odpowiedź impulsowa, chwila 0 w próbce %1 (%2 ms od początku pliku)")
        .arg(timeZero)
        .arg(NumberFormat::Exact(1000.0 * static_cast<double>(timeZero) / frameRate, QLatin1Char('.')));
}

bool Write(const QString& fileName, std::span<const double> samples, int frameRate, std::size_t timeZero,
           QString& failure)
{
    if (!std::all_of(samples.begin(), samples.end(), [](double x) { return std::isfinite(x); })) {
        failure = WriteFailureMessage(fileName, QStringLiteral("odpowiedź zawiera nieprawidłowe wartości"));
        return false;
    }
    SF_INFO info{};
    info.samplerate = frameRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SF_VIRTUAL_IO io{&TMemory::Length, &TMemory::Seek, &TMemory::Read, &TMemory::Write, &TMemory::Tell};
    TMemory memory;
    SNDFILE* sound = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (!sound) {
        failure = WriteFailureMessage(fileName, QStringLiteral("biblioteka plików dźwiękowych nie przyjęła "
                                                               "częstotliwości próbkowania %1 Hz")
                                                    .arg(frameRate));
        return false;
    }
    // The cue point and the comment go into the chunks written at the end.
    SF_CUES cues{};
    cues.cue_count = 1;
    SF_CUE_POINT& mark = cues.cue_points[0];
    mark.indx = 1;
    mark.position = static_cast<std::uint32_t>(timeZero);
    mark.fcc_chunk = DataChunk;
    mark.sample_offset = static_cast<std::uint32_t>(timeZero);
    std::strncpy(mark.name, "t0", sizeof mark.name - 1);
    const QByteArray comment = TimeZeroComment(timeZero, frameRate).toUtf8();
    if (sf_command(sound, SFC_SET_CUE, &cues, sizeof cues) != SF_TRUE ||
        sf_set_string(sound, SF_STR_COMMENT, comment.constData()) != 0) {
        failure = WriteFailureMessage(fileName, QStringLiteral("biblioteka plików dźwiękowych nie przyjęła "
                                                               "znacznika chwili 0"));
        sf_close(sound);
        return false;
    }
    std::vector<float> block(samples.size());
    std::transform(samples.begin(), samples.end(), block.begin(),
                   [](double x) { return static_cast<float>(x); });
    const sf_count_t written = sf_writef_float(sound, block.data(), static_cast<sf_count_t>(block.size()));
    sf_close(sound);
    if (written != static_cast<sf_count_t>(block.size())) {
        failure = WriteFailureMessage(fileName, FileErrorReason(ENOMEM));
        return false;
    }
    TSafeFile file(fileName);
    if (!file.Open() || !file.Write(memory.Bytes) || !file.Commit()) {
        failure = WriteFailureMessage(fileName, file.Reason());
        return false;
    }
    return true;
}

std::optional<TSound> Read(const QString& fileName, QString& failure)
{
    const int descriptor = OpenRegularFile(fileName, failure);
    if (descriptor < 0)
        return std::nullopt;
    SF_INFO info{};
    SNDFILE* sound = sf_open_fd(descriptor, SFM_READ, &info, SF_TRUE); // closes the descriptor
    if (!sound) {
        failure = ReadFailureMessage(fileName, sf_error(nullptr) == SF_ERR_SYSTEM
                                                   ? FileErrorReason(errno)
                                                   : QStringLiteral("to nie jest plik dźwiękowy, który "
                                                                    "program umie odczytać"));
        return std::nullopt;
    }
    const auto close = [&](const QString& reason) {
        sf_close(sound);
        if (!reason.isEmpty())
            failure = ReadFailureMessage(fileName, reason);
        return std::nullopt;
    };
    if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0)
        return close(QStringLiteral("plik nie zawiera próbek"));
    if (info.frames > LongestFrames)
        return close(QStringLiteral("plik jest za długi na odpowiedź impulsową"));
    TSound read;
    read.FrameRate = info.samplerate;
    read.Channels = info.channels;
    if (auto cues = std::make_unique<SF_CUES>();
        sf_command(sound, SFC_GET_CUE, cues.get(), sizeof *cues) == SF_TRUE && cues->cue_count > 0 &&
        cues->cue_points[0].sample_offset < info.frames)
        read.TimeZero = cues->cue_points[0].sample_offset;
    // In pieces of a bounded size, whatever the header claims: the samples kept grow only with those
    // the file really holds, and only the first channel is kept.
    const auto channels = static_cast<std::size_t>(info.channels);
    const sf_count_t pieceFrames = std::max<sf_count_t>(1, (1 << 16) / info.channels);
    std::vector<double> piece(static_cast<std::size_t>(pieceFrames) * channels);
    for (;;) {
        const sf_count_t got = sf_readf_double(sound, piece.data(), pieceFrames);
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got; ++i)
            read.Samples.push_back(piece[static_cast<std::size_t>(i) * channels]);
        if (read.Samples.size() > static_cast<std::size_t>(LongestFrames))
            return close(QStringLiteral("plik jest za długi na odpowiedź impulsową"));
    }
    if (sf_error(sound) != SF_ERR_NO_ERROR)
        return close(QStringLiteral("plik jest uszkodzony"));
    if (read.Samples.empty())
        return close(QStringLiteral("plik nie zawiera próbek"));
    if (read.TimeZero >= read.Samples.size()) // a cue beyond the samples the file really holds
        read.TimeZero = 0;
    if (!std::all_of(read.Samples.begin(), read.Samples.end(), [](double x) { return std::isfinite(x); }))
        return close(QStringLiteral("plik zawiera nieprawidłowe wartości próbek"));
    sf_close(sound);
    return read;
}

} // namespace WaveFile
