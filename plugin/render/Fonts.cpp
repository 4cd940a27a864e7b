#include "render/Fonts.h"

#include "Movie.h"
#include "Records.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TagsModern.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace reelfinch::plugin {

namespace {

// Without an advance table a glyph moves the pen past its right edge by this share of the em, and an empty glyph
// (a space) by the second.
constexpr double kGapShare = 0.05;
constexpr double kEmptyGlyphShare = 0.25;

void AddSwflibGlyphs(Font& font, const CGlyphShapeTableItem* table)
{
    if (!table)
        return;
    const RGBA white { 1, 1, 1, 1 };
    for (int i = 0; i < table->GetItemCount(); ++i) {
        auto* glyph = dynamic_cast<const CShapeItem*>(table->GetItem(i));
        font.glyphs.push_back(glyph ? WalkShape(glyph, nullptr, nullptr, &white) : std::vector<ShapeLayer> {});
    }
}

} // namespace

int Font::glyphFor(char32_t code) const
{
    for (size_t i = 0; i < codes.size() && i < glyphs.size(); ++i) {
        if (codes[i] == code)
            return int(i);
    }
    return -1;
}

double Font::advance(int glyph) const
{
    if (glyph < 0 || size_t(glyph) >= glyphs.size())
        return 0;
    if (hasLayout && size_t(glyph) < advances.size())
        return advances[size_t(glyph)];
    bool any = false;
    double right = 0;
    for (const ShapeLayer& layer : glyphs[size_t(glyph)]) {
        for (const auto& styled : layer.edges) {
            right
                = any ? std::max({ right, styled.edge.x0, styled.edge.x1 }) : std::max(styled.edge.x0, styled.edge.x1);
            any = true;
        }
    }
    return any ? std::max(0.0, right) + emUnits * kGapShare : emUnits * kEmptyGlyphShare;
}

bool FontFromTag(const CTag* tag, Font& font)
{
    font = Font {};
    if (auto* f1 = dynamic_cast<const CDefineFontTag*>(tag)) {
        AddSwflibGlyphs(font, f1->m_pGlyphs.get());
        return true;
    }
    if (auto* f2 = dynamic_cast<const CDefineFont2Tag*>(tag)) {
        AddSwflibGlyphs(font, f2->m_pGlyphs.get());
        if (dynamic_cast<const CDefineFont3Tag*>(tag)) {
            font.emUnits = kFont3EmUnits;
            // Outlines converted from outline fonts may overlap themselves (a crossbar over a stem); they fill by
            // the non-zero rule so the overlap stays filled.
            for (auto& glyph : font.glyphs)
                for (ShapeLayer& layer : glyph)
                    layer.nonZero = true;
        }
        if (f2->m_pCodeTable)
            font.codes = f2->m_pCodeTable->m_Codes;
        font.bold = f2->m_Bold;
        font.italic = f2->m_Italic;
        if (f2->m_HasLayout && f2->m_pAdvanceTable) {
            font.hasLayout = true;
            font.ascent = f2->m_Ascent;
            font.descent = f2->m_Descent;
            font.advances.assign(f2->m_pAdvanceTable->m_Advances.begin(), f2->m_pAdvanceTable->m_Advances.end());
            const CKerningRecordsItem* pairs = f2->m_pKerningRecords.get();
            for (int i = 0; pairs && i < pairs->GetItemCount(); ++i)
                if (auto* k = dynamic_cast<const CKerningRecordItem*>(pairs->GetItem(i)))
                    font.kerning.emplace(std::pair(k->m_Code1, k->m_Code2), double(k->m_Adjustment));
        }
        return true;
    }
    return false;
}

const Font* FindFont(const std::map<uint16_t, const CTag*>& characters, std::map<const CTag*, Font>& cache,
    std::string_view name, bool bold, bool italic)
{
    const Font* best = nullptr;
    for (const auto& [id, tag] : characters) {
        if (tag->m_TagCode != kTagDefineFont2 && tag->m_TagCode != kTagDefineFont3)
            continue;
        const std::string own = FontName(tag);
        if (own.size() != name.size() || strncasecmp(own.data(), name.data(), own.size()) != 0)
            continue;
        auto cached = cache.find(tag);
        if (cached == cache.end()) {
            Font made;
            if (!FontFromTag(tag, made))
                continue;
            cached = cache.emplace(tag, std::move(made)).first;
        }
        const Font* font = &cached->second;
        if (font->glyphs.empty())
            continue;
        if (font->bold == bold && font->italic == italic)
            return font;
        if (!best)
            best = font;
    }
    return best;
}

double EmbeddedAdvance(const Font& font, char32_t c, double size)
{
    // The player lays glyphs out on whole twips: each advance loses its fraction.
    return std::floor(font.advance(font.glyphFor(c)) * size * 20.0 / font.emUnits);
}

double EmbeddedKerning(const Font& font, char32_t first, char32_t second, double size)
{
    if (font.kerning.empty() || first > 0xFFFF || second > 0xFFFF)
        return 0;
    const auto found = font.kerning.find(std::pair(uint16_t(first), uint16_t(second)));
    // Whole twips, as the advances it changes.
    return found == font.kerning.end() ? 0.0 : std::trunc(found->second * size * 20.0 / font.emUnits);
}

std::pair<double, double> EmbeddedMetrics(const Font& font, double size)
{
    const double height = size * 20.0;
    if (!font.hasLayout)
        return { height * 0.8, height * 0.2 };
    // Whole twips, as the advances.
    const double scale = height / font.emUnits;
    return { std::floor(font.ascent * scale), std::floor(font.descent * scale) };
}

std::vector<uint16_t> FontCodes(const CTag* tag)
{
    if (auto* f2 = dynamic_cast<const CDefineFont2Tag*>(tag); f2 && f2->m_pCodeTable)
        return f2->m_pCodeTable->m_Codes;
    return {};
}

std::pair<bool, bool> FontStyle(const CTag* tag)
{
    if (auto* f2 = dynamic_cast<const CDefineFont2Tag*>(tag))
        return { f2->m_Bold, f2->m_Italic };
    return { false, false };
}

std::string FontName(const CTag* tag)
{
    std::string name;
    if (auto* f2 = dynamic_cast<const CDefineFont2Tag*>(tag); f2 && f2->m_pFontName)
        name = f2->m_pFontName->GetStr();
    // Some writers end the name with its terminator.
    if (const size_t nul = name.find('\0'); nul != std::string::npos)
        name.resize(nul);
    return name;
}

} // namespace reelfinch::plugin
