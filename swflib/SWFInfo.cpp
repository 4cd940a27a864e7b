#include "SWFInfo.h"

#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"

namespace {

// The sprite body starts with its character ID and frame count.
constexpr uint32_t kSpriteHeaderSize = 4;
// Codes above the last one with a category count as Other.
constexpr uint16_t kHighestCategorisedCode = kTagDefineFont4;

} // namespace

CSWFInfo::CSWFInfo(CSWFStream* stream) : m_pBackgroundColor(std::make_unique<CColorItem>(nullptr, kStyleDefault))
{
    ReadSWF(stream);
}

void CSWFInfo::ResetCounters()
{
    m_ShapesCount = m_MorphsCount = m_FontsCount = m_ActionsCount = 0;
    m_PicturesCount = m_SoundsCount = m_VideoCount = m_OtherCount = m_TagsCount = 0;
    m_ShapesSize = m_MorphsSize = m_FontsSize = m_ActionsSize = 0;
    m_PicturesSize = m_SoundsSize = m_VideoSize = m_OtherSize = m_TotalSize = 0;
}

void CSWFInfo::CountTag(uint16_t code, uint32_t size)
{
    auto add = [size](uint32_t& count, uint32_t& total) {
        ++count;
        total += size;
    };
    switch (code) {
    case kTagDefineShape:
    case kTagDefineShape2:
    case kTagDefineShape3:
    case kTagDefineShape4:
        add(m_ShapesCount, m_ShapesSize);
        break;
    case kTagDefineMorphShape:
    case kTagDefineMorphShape2:
        add(m_MorphsCount, m_MorphsSize);
        break;
    case kTagDefineFont:
    case kTagDefineFontInfo:
    case kTagDefineFont2:
    case kTagDefineFontInfo2:
    case kTagDefineFont3:
    case kTagDefineFont4:
    case kTagDefineFontAlignZones:
    case kTagDefineFontName:
        add(m_FontsCount, m_FontsSize);
        break;
    case kTagDoAction:
    case kTagDoInitAction:
    case kTagDoABC:
        add(m_ActionsCount, m_ActionsSize);
        break;
    case kTagDefineBits:
    case kTagJPEGTables:
    case kTagDefineBitsLossless:
    case kTagDefineBitsJPEG2:
    case kTagDefineBitsJPEG3:
    case kTagDefineBitsLossless2:
    case kTagDefineBitsJPEG4:
        add(m_PicturesCount, m_PicturesSize);
        break;
    case kTagDefineSound:
    case kTagStartSound:
    case kTagDefineButtonSound:
    case kTagSoundStreamHead:
    case kTagSoundStreamBlock:
    case kTagSoundStreamHead2:
    case kTagStartSound2:
        add(m_SoundsCount, m_SoundsSize);
        break;
    case kTagDefineVideoStream:
    case kTagVideoFrame:
        add(m_VideoCount, m_VideoSize);
        break;
    default:
        break;
    }
}

void CSWFInfo::CountSpriteTags(CSWFStream* spriteBody)
{
    spriteBody->SetPosition(kSpriteHeaderSize);
    CSWFStream inner;
    uint16_t code = 0;
    bool longHeader = false;
    while (spriteBody->GetNexTag(&code, &longHeader, &inner) && code != kTagEnd) {
        switch (code) {
        case kTagDoAction:
        case kTagStartSound:
        case kTagSoundStreamHead:
        case kTagSoundStreamBlock:
        case kTagSoundStreamHead2:
        case kTagStartSound2:
            CountTag(code, inner.GetSize());
            break;
        default:
            break;
        }
    }
}

int CSWFInfo::ReadSWF(CSWFStream* stream)
{
    ResetCounters();
    CSWFStream* copy = nullptr;
    if (!stream || !stream->MakeCopy(copy)) {
        delete copy;
        m_OriginalSize = 0;
        m_FileLength = 0;
        m_pBackgroundColor.reset();
        return 0;
    }
    std::unique_ptr<CSWFStream> movie(copy);
    movie->m_Position = 0;
    movie->m_Bit = 8;
    movie->m_DataLow = 0;
    // Decompression replaces the body in place; a view of the caller's bytes must become a buffer of its own.
    if (!movie->m_AutoDispose) {
        auto owned = std::make_unique<CSWFStream>();
        owned->WriteBuf(movie->m_pBuffer, movie->m_Size);
        owned->m_Position = 0;
        movie = std::move(owned);
    }
    m_OriginalSize = movie->m_Size;
    m_FileLength = 0;

    CHeaderItem header(nullptr, kStyleNone);
    if (!header.ReadSWF(movie.get())) {
        m_pBackgroundColor.reset();
        return 0;
    }
    m_Compressed = header.m_Compressed;
    m_CompressionMethod = header.m_Compressed ? header.m_CompressionMethod : kCompressionNone;
    m_Version = header.m_Version;
    m_FileLength = header.m_FileLength;
    m_FrameRate = header.m_FrameRate;
    m_FrameRect.m_pOwner = header.m_pFrameRect->m_pOwner;
    m_FrameRect.m_Style = header.m_pFrameRect->m_Style;
    m_FrameRect.m_XMin = header.m_pFrameRect->m_XMin;
    m_FrameRect.m_XMax = header.m_pFrameRect->m_XMax;
    m_FrameRect.m_YMin = header.m_pFrameRect->m_YMin;
    m_FrameRect.m_YMax = header.m_pFrameRect->m_YMax;
    m_FrameCount = movie->GetU16();
    m_TotalSize = movie->m_Size;

    CSWFStream body;
    uint16_t code = 0;
    bool longHeader = false;
    while (movie->GetNexTag(&code, &longHeader, &body) && code != kTagEnd) {
        ++m_TagsCount;
        if (code > kHighestCategorisedCode)
            continue;
        if (code == kTagSetBackgroundColor) {
            CSetBackGroundColorTag tag(nullptr, kStyleDefault);
            tag.ReadSWF(&body);
            CSWFObject* colour = m_pBackgroundColor.release();
            tag.m_pColor->MakeCopy(nullptr, kStyleDefault, colour);
            m_pBackgroundColor.reset(static_cast<CColorItem*>(colour));
        } else if (code == kTagDefineSprite) {
            CountSpriteTags(&body);
        } else {
            CountTag(code, body.GetSize());
        }
    }

    m_OtherCount = m_TagsCount - (m_ShapesCount + m_MorphsCount + m_FontsCount + m_ActionsCount + m_PicturesCount +
                                  m_SoundsCount + m_VideoCount);
    m_OtherSize = m_TotalSize - (m_ShapesSize + m_MorphsSize + m_FontsSize + m_ActionsSize + m_PicturesSize +
                                 m_SoundsSize + m_VideoSize);
    return 1;
}
