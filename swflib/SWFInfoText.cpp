#include "SWFInfoText.h"

#include "SWFInfo.h"

#include <cstdio>
#include <cstdlib>

const std::array<const char*, kInfoRowCount> kInfoLabels = {
    "Movie name",      "Original file size", "File size (no ZLIb)", "SWF Version",  "Width",        "Height",
    "Frame rate",      "Frames count",       "Background color",    "ZLib Compressed", "Shapes size", "Morphs size",
    "Fonts size",      "Actions size",       "Pictures size",       "Sounds size",  "Video size",   "Other size",
};

namespace {

constexpr int32_t kLargestBytes = 999;
constexpr int32_t kLargestKilobytes = 999999;
constexpr int kTwipsPerPixel = 20;

template <class... Args>
std::string Format(const char* format, Args... args)
{
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string ColourText(const CSWFInfo& info)
{
    if (!info.m_pBackgroundColor)
        return "none";
    const auto& c = info.m_pBackgroundColor->m_Color;
    return Format("#%02X%02X%02X", c.red, c.green, c.blue);
}

} // namespace

std::string SizeText(int32_t size, const InfoWords& words)
{
    if (size <= kLargestBytes)
        return Format("%d ", size) + words.byte;
    if (size <= kLargestKilobytes)
        return Format("%.2f ", size / 1024.0) + words.kilobyte;
    return Format("%.2f ", size / 1048576.0) + words.megabyte;
}

std::string ShareText(uint32_t size, uint32_t total, const InfoWords& words)
{
    const float share = total ? 100.0f * static_cast<float>(size) / static_cast<float>(total) : 0.0f;
    return SizeText(static_cast<int32_t>(size), words) + Format(" (%4.2f %%)", static_cast<double>(share));
}

uint32_t ShareRowSize(const CSWFInfo& info, int row)
{
    switch (row) {
    case 10: return info.m_ShapesSize;
    case 11: return info.m_MorphsSize;
    case 12: return info.m_FontsSize;
    case 13: return info.m_ActionsSize;
    case 14: return info.m_PicturesSize;
    case 15: return info.m_SoundsSize;
    case 16: return info.m_VideoSize;
    case 17: return info.m_OtherSize;
    default: return 0;
    }
}

InfoRow InfoRowText(const CSWFInfo& info, int row, const std::string& movieName, const InfoWords& words)
{
    InfoRow result;
    if (row < 0 || row >= kInfoRowCount)
        return result;
    result.label = kInfoLabels[row];
    if (row == 0) {
        result.value = movieName;
        return result;
    }
    if (row == 1) {
        result.value = SizeText(static_cast<int32_t>(info.m_OriginalSize), words);
        return result;
    }
    if (!info.IsValid()) {
        result.value = words.notAvailable;
        result.dimmed = true;
        return result;
    }
    const CRectItem& rect = info.m_FrameRect;
    switch (row) {
    case 2: result.value = SizeText(static_cast<int32_t>(info.m_FileLength), words); break;
    case 3: result.value = Format("%d", info.m_Version); break;
    case 4: result.value = Format("%d", static_cast<int>(std::llabs(int64_t(rect.m_XMax) - rect.m_XMin) / kTwipsPerPixel)); break;
    case 5: result.value = Format("%d", static_cast<int>(std::llabs(int64_t(rect.m_YMax) - rect.m_YMin) / kTwipsPerPixel)); break;
    case 6: result.value = Format("%g", static_cast<double>(info.m_FrameRate)); break;
    case 7: result.value = Format("%d", info.m_FrameCount); break;
    case kInfoRowBackground: result.value = ColourText(info); break;
    case 9: result.value = info.m_Compressed ? words.yes : words.no; break;
    default: {
        const uint32_t size = ShareRowSize(info, row);
        result.value = ShareText(size, info.m_TotalSize, words);
        result.dimmed = size == 0;
        break;
    }
    }
    return result;
}
