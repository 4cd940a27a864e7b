// CSWFInfo: the summary of one movie in a single pass over its bytes: the header, and how many tags and body
// bytes each kind of content (shapes, morphs, fonts, actions, pictures, sounds, video, other) takes.
#pragma once

#include "HeaderItems.h"

#include <cstdint>
#include <memory>

class CSWFStream;

class CSWFInfo
{
public:
    CSWFInfo() = default;
    explicit CSWFInfo(CSWFStream* stream);
    CSWFInfo(const CSWFInfo&) = delete;
    CSWFInfo& operator=(const CSWFInfo&) = delete;

    // Fills the summary from the whole content of `stream`, which is neither moved nor modified. Returns 1 when
    // the header was valid. Fields the header does not reach keep their values from an earlier read.
    int ReadSWF(CSWFStream* stream);

    bool IsValid() const { return m_TotalSize != 0; }

    bool m_Compressed = false;
    uint8_t m_Version = 0;
    uint32_t m_FileLength = 0;
    uint32_t m_OriginalSize = 0;
    CRectItem m_FrameRect{nullptr, 0};
    float m_FrameRate = 0.0f;
    uint16_t m_FrameCount = 0;
    std::unique_ptr<CColorItem> m_pBackgroundColor;
    uint32_t m_ShapesCount = 0;
    uint32_t m_MorphsCount = 0;
    uint32_t m_FontsCount = 0;
    uint32_t m_ActionsCount = 0;
    uint32_t m_PicturesCount = 0;
    uint32_t m_SoundsCount = 0;
    uint32_t m_VideoCount = 0;
    uint32_t m_OtherCount = 0;
    uint32_t m_TagsCount = 0;
    uint32_t m_ShapesSize = 0;
    uint32_t m_MorphsSize = 0;
    uint32_t m_FontsSize = 0;
    uint32_t m_ActionsSize = 0;
    uint32_t m_PicturesSize = 0;
    uint32_t m_SoundsSize = 0;
    uint32_t m_VideoSize = 0;
    uint32_t m_OtherSize = 0;
    uint32_t m_TotalSize = 0;
    // Which compression the stored movie used (zlib or LZMA) when m_Compressed is set.
    SWFCompression m_CompressionMethod = kCompressionNone;

private:
    void ResetCounters();
    void CountTag(uint16_t code, uint32_t size);
    void CountSpriteTags(CSWFStream* spriteBody);
};
