// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The PCM format record handed to a device service, laid out as the services expect it.
#pragma pack(push, 1)
struct TWaveFormat
{
    std::uint16_t FormatTag = 1; // WaveFormatInteger or WaveFormatFloat
    std::uint16_t Channels = 1;
    std::uint32_t FramesPerSecond = 22050;
    std::uint32_t BytesPerSecond = 0;
    std::uint16_t BytesPerFrame = 0;
    std::uint16_t BitsPerSample = 16;
    std::uint16_t ExtraSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormat) == 18);

enum : std::uint16_t {
    WaveFormatInteger = 1, // integer PCM of BitsPerSample: unsigned 8-bit or signed 16-bit
    WaveFormatFloat = 3,   // 32-bit float PCM, full scale +-1.0
};

// What the streams carry between the program and the sound server. Whatever it is, the blocks the
// handlers see are 32-bit float samples, full scale +-1.0.
enum class TSampleFormat : std::uint8_t {
    Integer = 0, // integer samples of the Quantization (16 bits unless set otherwise)
    Float = 1,   // 32-bit float samples: the card's own resolution, converted exactly by the server
};

// A block header: the device fills BytesRecorded and sets WaveHeaderDone when it returns the block.
struct TWaveHeader
{
    char* Data = nullptr;
    std::uint32_t BufferLength = 0;
    std::uint32_t BytesRecorded = 0;
    std::uintptr_t User = 0;
    std::uint32_t Flags = 0;
    std::uint32_t Loops = 0;
    TWaveHeader* Next = nullptr;
    std::uintptr_t Reserved = 0;
};

enum : std::uint32_t {
    WaveHeaderDone = 1,
    WaveHeaderPrepared = 2,
    WaveHeaderInQueue = 0x10,
};

// The mapper value: the system's default device of the direction.
constexpr std::uint32_t WaveMapper = 0xFFFFFFFFu;

enum class TWaveDirection { Output, Input };
