// Helpers shared by the record files: shortfall checks, bit-field widths, copying owned parts, the movie version.
#pragma once

#include "SWFObject.h"
#include "SWFStream.h"

#include <cstdint>
#include <initializer_list>
#include <memory>

namespace records {

inline bool NoShortfall(const CSWFStream* stream)
{
    return stream && stream->m_DataLow == 0;
}

// Smallest width of a signed field that holds v (0 for 0).
unsigned SignedWidth(int64_t v);
// Smallest width of an unsigned field that holds v (0 for 0).
unsigned UnsignedWidth(uint64_t v);
bool FitsSigned(int64_t v, int bits);
bool FitsUnsigned(uint64_t v, int bits);

// The width to write signed values with: `kept` (a width read from the file) while every value fits in it and
// it does not exceed `maxBits`; otherwise the width of the largest magnitude, or, should that not fit the width
// field, the exact smallest width. -1 when no width up to maxBits holds the values.
int ChooseSignedBits(int kept, std::initializer_list<int64_t> values, int maxBits);
// The same for unsigned values, given their maximum.
int ChooseUnsignedBits(int kept, uint64_t largest, int maxBits);

// Deep-copies an owned part keeping the part's own style, so that a copy is the same tree as its source.
template <class T> int CopyChild(const T* src, CSWFObject* owner, std::unique_ptr<T>& dest)
{
    return CopyOwned(src, owner, src ? src->m_Style : kStyleDefault, dest);
}

// Puts a copy of `src` in place of an owned part, given the style of the record that holds it; null changes
// nothing.
template <class T> void ReplaceChild(const T* src, CSWFObject* owner, unsigned char style, std::unique_ptr<T>& dest)
{
    if (!src || src == dest.get())
        return;
    CopyOwned(src, owner, style, dest);
    if (dest)
        dest->SetItemStyle(style);
}

// The first step of a MakeCopy override once the base class has made the blank copy.
template <class T> T* CopyInto(int baseResult, CSWFObject*& dest)
{
    return baseResult ? CopyTarget<T>(dest) : nullptr;
}

// The header version of the movie that owns `object` (through its owner chain); -1 when there is none.
int MovieVersion(const CSWFObject* object);

} // namespace records
