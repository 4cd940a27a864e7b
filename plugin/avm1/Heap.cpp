#include "avm1/Heap.h"

#include "avm1/Object.h"

namespace reelfinch::avm1 {

namespace {
// The next collection comes when this many bytes were allocated since the last, or twice what survived it.
constexpr size_t kMinThreshold = size_t(4) << 20;
} // namespace

Heap::~Heap()
{
    Cell* cell = m_Cells;
    while (cell) {
        Cell* next = cell->m_Next;
        delete cell;
        cell = next;
    }
}

void Heap::mark(const Value& v)
{
    if (v.isString())
        mark(static_cast<Cell*>(v.asString()));
    else if (v.isObject())
        mark(static_cast<Cell*>(v.asObject()));
}

size_t Heap::collect(const std::function<void(Heap&)>& markRoots)
{
    markRoots(*this);
    while (!m_Gray.empty()) {
        Cell* cell = m_Gray.back();
        m_Gray.pop_back();
        cell->trace(*this);
    }
    size_t freed = 0;
    size_t live = 0;
    Cell** link = &m_Cells;
    while (Cell* cell = *link) {
        if (cell->m_Marked || cell->m_Permanent) {
            cell->m_Marked = false;
            live += 64 + cell->extraBytes();
            link = &cell->m_Next;
        } else {
            *link = cell->m_Next;
            delete cell;
            ++freed;
        }
    }
    m_Count -= freed;
    m_LiveBytes = live;
    m_Allocated = 0;
    m_Threshold = std::max(kMinThreshold, live * 2);
    return freed;
}

} // namespace reelfinch::avm1
