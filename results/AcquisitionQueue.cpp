// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/AcquisitionQueue.h"

#include <QtGlobal>
#include <algorithm>

TAcquisitionQueue::~TAcquisitionQueue()
{
    Clear();
}

void TAcquisitionQueue::Enqueue(double value)
{
    if (!Tail || TailFill == ChunkValues) {
        auto chunk = std::make_unique_for_overwrite<TChunk>();
        TChunk* added = chunk.get();
        if (Tail)
            Tail->Next = std::move(chunk);
        else
            Head = std::move(chunk);
        Tail = added;
        TailFill = 0;
        ++Chunks;
    }
    Tail->Values[TailFill++] = value;
    ++Size;
    ++Added;
}

void TAcquisitionQueue::MarkOverload(unsigned channels)
{
    if (Added == 0 || channels == 0)
        return;
    const std::uint64_t tick = (Added - 1) / 3;
    if (!Overloads.empty() && Overloads.back().Tick == tick)
        Overloads.back().Channels |= channels;
    else
        Overloads.push_back({tick, channels});
}

unsigned TAcquisitionQueue::OverloadAt(std::size_t row) const
{
    const std::uint64_t tick = Taken / 3 + row;
    const auto mark = std::lower_bound(Overloads.begin(), Overloads.end(), tick,
                                       [](const TOverloadMark& m, std::uint64_t t) { return m.Tick < t; });
    return mark != Overloads.end() && mark->Tick == tick ? mark->Channels : 0;
}

double TAcquisitionQueue::Dequeue()
{
    Q_ASSERT_X(!Empty(), "TAcquisitionQueue::Dequeue", "taking from an empty queue");
    if (Empty())
        return 0.0;
    const double value = Head->Values[HeadIndex++];
    --Size;
    ++Taken;
    if (Size == 0) { // keep nothing once drained: the next recording starts afresh
        Clear();
    } else if (HeadIndex == ChunkValues) {
        Head = std::move(Head->Next);
        HeadIndex = 0;
        --Chunks;
    }
    return value;
}

void TAcquisitionQueue::Clear()
{
    // One chunk at a time: a recursive release of a long chain could exhaust the stack.
    while (Head)
        Head = std::move(Head->Next);
    Tail = nullptr;
    HeadIndex = TailFill = Size = Chunks = 0;
    Taken = Added = 0;
    Overloads.clear();
}
