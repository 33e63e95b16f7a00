// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/AcquisitionQueue.h"

#include <QtGlobal>

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
}

double TAcquisitionQueue::Dequeue()
{
    Q_ASSERT_X(!Empty(), "TAcquisitionQueue::Dequeue", "taking from an empty queue");
    if (Empty())
        return 0.0;
    const double value = Head->Values[HeadIndex++];
    --Size;
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
}
