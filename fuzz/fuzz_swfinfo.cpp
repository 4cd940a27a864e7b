// Arbitrary bytes as a movie file: the summary must survive them, leave the caller's stream untouched and give
// the same answer whether the bytes sit in an owning stream or in a buffer the stream only views.
#include "SWFDebugger.h"
#include "SWFInfo.h"
#include "SWFStream.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

uint64_t CategorySizes(const CSWFInfo& info)
{
    return uint64_t { info.m_ShapesSize } + info.m_MorphsSize + info.m_FontsSize + info.m_ActionsSize
        + info.m_PicturesSize + info.m_SoundsSize + info.m_VideoSize;
}

void CheckConsistent(const CSWFInfo& info, int result, size_t size)
{
    Check(info.m_OriginalSize == size);
    if (!result) {
        Check(info.m_TotalSize == 0 && !info.m_pBackgroundColor);
        return;
    }
    // Sprite bodies lie inside their tag's body, so no byte is counted twice.
    Check(CategorySizes(info) <= info.m_TotalSize);
    Check(info.m_OtherSize == info.m_TotalSize - static_cast<uint32_t>(CategorySizes(info)));
}

bool SameSummary(const CSWFInfo& a, const CSWFInfo& b)
{
    return a.m_Compressed == b.m_Compressed && a.m_Version == b.m_Version && a.m_FileLength == b.m_FileLength
        && a.m_FrameCount == b.m_FrameCount && a.m_TagsCount == b.m_TagsCount && a.m_OtherCount == b.m_OtherCount
        && a.m_OtherSize == b.m_OtherSize && a.m_TotalSize == b.m_TotalSize && a.m_ActionsCount == b.m_ActionsCount
        && a.m_SoundsSize == b.m_SoundsSize && a.m_FrameRect.m_XMax == b.m_FrameRect.m_XMax;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > UINT32_MAX)
        return 0;
    SWFDebugger.ClearLog();

    CSWFStream owning;
    owning.WriteBuf(data, size);
    owning.SetPosition(size / 2); // the summary ignores the caller's position
    CSWFInfo fromOwning;
    const int owningResult = fromOwning.ReadSWF(&owning);
    CheckConsistent(fromOwning, owningResult, size);
    Check(owning.GetSize() == size && owning.GetPosition() == size / 2);
    Check(size == 0 || std::memcmp(owning.GetBuffer(), data, size) == 0);

    // A view of the caller's bytes: decompression must not touch them.
    std::vector<uint8_t> bytes(data, data + size);
    CSWFStream view;
    view.Assign(bytes.data(), bytes.size());
    CSWFInfo fromView(&view);
    const int viewResult = fromView.m_TotalSize != 0;
    Check(viewResult == owningResult);
    Check(SameSummary(fromOwning, fromView));
    if (fromOwning.m_pBackgroundColor && fromView.m_pBackgroundColor)
        Check(fromOwning.m_pBackgroundColor->GetColor() == fromView.m_pBackgroundColor->GetColor());
    Check(size == 0 || std::memcmp(bytes.data(), data, size) == 0);

    // A reused summary: the second read overwrites everything the first one counted.
    const int again = fromView.ReadSWF(&owning);
    Check(again == owningResult);
    Check(fromView.m_TagsCount == fromOwning.m_TagsCount && fromView.m_TotalSize == fromOwning.m_TotalSize);
    SWFDebugger.ClearLog();
    return 0;
}
