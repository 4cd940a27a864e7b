// The tracing mark-and-sweep collector. Every cell is in one list; a collection marks from the roots the machine
// names (its stack, frames, globals, the live movie clips, decoded literals) and frees every unmarked cell,
// cycles included. Collections happen only at safe points, where no native code holds values in its locals.
#pragma once

#include "avm1/Value.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace reelfinch::avm1 {

class Heap
{
public:
    Heap() = default;
    ~Heap();
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;

    template <class T, class... Args> T* make(Args&&... args)
    {
        T* cell = new T(std::forward<Args>(args)...);
        cell->m_Next = m_Cells;
        m_Cells = cell;
        ++m_Count;
        m_Allocated += sizeof(T) + 16;
        return cell;
    }
    String* string(std::string text)
    {
        m_Allocated += text.size();
        return make<String>(std::move(text));
    }

    void mark(Cell* cell)
    {
        if (cell && !cell->m_Marked) {
            cell->m_Marked = true;
            m_Gray.push_back(cell);
        }
    }
    void mark(const Value& v);

    // True when enough was allocated since the last collection to make one worthwhile.
    bool wantsCollection() const { return m_Allocated > m_Threshold; }
    // `markRoots` marks the roots; returns how many cells were freed.
    size_t collect(const std::function<void(Heap&)>& markRoots);

    size_t cellCount() const { return m_Count; }
    size_t liveBytes() const { return m_LiveBytes; }

private:
    Cell* m_Cells = nullptr;
    std::vector<Cell*> m_Gray;
    size_t m_Count = 0;
    size_t m_Allocated = 0;
    size_t m_LiveBytes = 0;
    size_t m_Threshold = size_t(4) << 20;
};

} // namespace reelfinch::avm1
