// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/MeterPorts.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The values of a sound-pressure recording (time, left, right per tick), kept first in, first out
// until they are saved or released. A day's recording holds millions of values, so they are stored
// in chunks of 4096 (8 bytes a value plus one small header a chunk) rather than a node per value;
// a chunk is freed as soon as it has been drained.
class TAcquisitionQueue final : public IAcquisitionSink
{
public:
    static constexpr std::size_t ChunkValues = 4096;

    TAcquisitionQueue() = default;
    ~TAcquisitionQueue() override;
    TAcquisitionQueue(const TAcquisitionQueue&) = delete;
    TAcquisitionQueue& operator=(const TAcquisitionQueue&) = delete;

    void Enqueue(double value) override;
    // Kept beside the values, one mark a tick with an overload (not in a result file, whose layout
    // has no place for it; the exchange files write it).
    void MarkOverload(unsigned channels) override;
    // The overload bits of the tick `row` ticks from the oldest one kept (0 none, bit 0 left, bit 1
    // right).
    unsigned OverloadAt(std::size_t row) const;
    // The oldest value. Callers test Empty() first, as every consumer loops while it is false.
    double Dequeue();
    bool Empty() const { return Size == 0; }
    std::size_t Count() const { return Size; }
    void Clear();

    // Visits every value from the oldest on without taking any: a file is written from the queue and
    // the queue released only once the file is safely in place.
    template <class TVisit> void ForEach(TVisit visit) const
    {
        std::size_t index = HeadIndex;
        for (const TChunk* chunk = Head.get(); chunk != nullptr; chunk = chunk->Next.get(), index = 0) {
            const std::size_t end = chunk == Tail ? TailFill : ChunkValues;
            for (; index < end; ++index)
                visit(chunk->Values[index]);
        }
    }

    // Heap bytes held now, for the memory figures of the benchmark and the tests.
    std::size_t AllocatedBytes() const { return Chunks * sizeof(TChunk); }

private:
    struct TChunk
    {
        std::unique_ptr<TChunk> Next;
        std::array<double, ChunkValues> Values;
    };

    std::unique_ptr<TChunk> Head;
    TChunk* Tail = nullptr;
    std::size_t HeadIndex = 0; // next value to take from Head
    std::size_t TailFill = 0;  // values written into Tail
    std::size_t Size = 0;
    std::size_t Chunks = 0;
    std::uint64_t Taken = 0, Added = 0; // values, since the queue was last empty
    struct TOverloadMark
    {
        std::uint64_t Tick;
        unsigned Channels;
    };
    std::vector<TOverloadMark> Overloads; // by tick, ascending
};
