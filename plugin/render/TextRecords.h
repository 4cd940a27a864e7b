// The walk over a static text's records (DefineText/DefineText2): each glyph with the style in force where it
// stands. Drawing, hit testing and text snapshots all read a text this way.
#pragma once

#include "Records.h"
#include "Tags.h"

#include <cstdint>

namespace reelfinch::plugin {

// One glyph of a static text, in the text's own space (twips, before its matrix).
struct TextGlyph {
    bool hasFont = false; // whether the records named a font yet
    uint16_t fontId = 0; // the font they last named
    double height = 0; // the text height last set, in twips
    const CColorItem* color = nullptr; // the colour last set, if any
    uint32_t index = 0; // into the font's glyphs
    double x = 0; // the pen on the baseline where the glyph starts
    double y = 0;
    double advance = 0;
};

// Calls `visit(const TextGlyph&)` for each glyph in order; a visit returning false ends the walk. Returns false
// when a visit ended it.
template <class Visit>
bool ForEachGlyph(const CTextTag& text, Visit&& visit)
{
    const CTextRecordsItem* records = text.m_pTextRecords.get();
    if (!records)
        return true;
    TextGlyph glyph;
    for (int i = 0; i < records->GetItemCount(); ++i) {
        const CSWFItem* item = records->GetItem(i);
        if (auto* style = dynamic_cast<const CTextRecordType1Item*>(item)) {
            if (style->m_HasFont) {
                glyph.hasFont = true;
                glyph.fontId = style->m_FontID;
                glyph.height = style->m_TextHeight;
            }
            if (style->m_pColor)
                glyph.color = style->m_pColor.get();
            if (style->m_HasXOffset)
                glyph.x = style->m_XOffset;
            if (style->m_HasYOffset)
                glyph.y = style->m_YOffset;
            continue;
        }
        auto* entries = dynamic_cast<const CTextRecordType0Item*>(item);
        for (int g = 0; entries && g < entries->GetItemCount(); ++g) {
            auto* entry = dynamic_cast<const CGlyphEntryItem*>(entries->GetItem(g));
            if (!entry)
                continue;
            glyph.index = entry->m_GlyphIndex;
            glyph.advance = entry->m_GlyphAdvance;
            if (!visit(static_cast<const TextGlyph&>(glyph)))
                return false;
            glyph.x += glyph.advance;
        }
    }
    return true;
}

} // namespace reelfinch::plugin
