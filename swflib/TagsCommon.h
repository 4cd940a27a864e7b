// Helpers shared by the tag readers and writers.
#pragma once

#include "SWFObject.h"
#include "SWFStream.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

// The movie's header version reached through the owner chain; 0 when no movie owns the object.
unsigned char MovieVersionOf(const CSWFObject* owner);

// Copies the bytes [from, to) of the stream's buffer, both clamped to its size.
inline void KeepBytes(const CSWFStream* stream, uint32_t from, uint32_t to, std::vector<uint8_t>& out)
{
    to = std::min(to, stream->GetSize());
    from = std::min(from, to);
    const uint8_t* data = stream->GetBuffer();
    out.assign(data ? data + from : nullptr, data ? data + to : nullptr);
}

// Points `window` (a non-owning stream) at `size` bytes of `stream` from `offset`, clamped to what exists.
inline void WindowOf(CSWFStream* stream, uint32_t offset, uint32_t size, CSWFStream& window)
{
    const uint32_t total = stream->GetSize();
    offset = std::min(offset, total);
    size = std::min(size, total - offset);
    window.Assign(stream->GetBuffer() ? stream->GetBuffer() + offset : nullptr, size);
}

class CActionsItem;
// Reads an action block of a tag body; 0 when the block cannot be written back as read.
int ReadActionBlock(CActionsItem& actions, CSWFStream* body);

// Makes `field` a copy of `src` (when src is not null) owned by `owner`.
template <class T> void SetPart(const T* src, CSWFObject* owner, unsigned char style, std::unique_ptr<T>& field)
{
    if (src)
        CopyOwned(src, owner, style, field);
}

// Creates or deletes an optional part.
template <class T> void SetHasPart(bool has, CSWFObject* owner, unsigned char style, std::unique_ptr<T>& field)
{
    if (!has)
        field.reset();
    else if (!field)
        field = std::make_unique<T>(owner, style);
}
