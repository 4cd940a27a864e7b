#include "render/Fonts.h"

#include "render/BitReader.h"

#include "Movie.h"
#include "Records.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"

#include <algorithm>
#include <strings.h>

namespace reelfinch::plugin {

namespace {

// DefineFont2 and DefineFont3 flags.
constexpr uint8_t kFontHasLayout = 0x80;
constexpr uint8_t kFontWideOffsets = 0x08;
constexpr uint8_t kFontWideCodes = 0x04;
constexpr uint8_t kFontItalic = 0x02;
constexpr uint8_t kFontBold = 0x01;

// Without an advance table a glyph moves the pen past its right edge by this share of the em, and an empty glyph
// (a space) by the second.
constexpr double kGapShare = 0.05;
constexpr double kEmptyGlyphShare = 0.25;

ShapeLayer WhiteGlyphLayer()
{
    ShapeLayer layer;
    FillDef fill;
    fill.kind = FillDef::Solid;
    fill.color = RGBA { 1, 1, 1, 1 };
    layer.fills.push_back(fill);
    return layer;
}

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
        if (f2->m_pCodeTable)
            font.codes = f2->m_pCodeTable->m_Codes;
        font.bold = f2->m_Bold;
        font.italic = f2->m_Italic;
        if (f2->m_HasLayout && f2->m_pAdvanceTable) {
            font.hasLayout = true;
            font.ascent = f2->m_Ascent;
            font.descent = f2->m_Descent;
            font.advances.assign(f2->m_pAdvanceTable->m_Advances.begin(), f2->m_pAdvanceTable->m_Advances.end());
        }
        return true;
    }
    if (auto* raw = dynamic_cast<const CRawBodyTag*>(tag); raw && tag->m_TagCode == kTagDefineFont3) {
        const CSWFStream* body = raw->m_pData ? raw->m_pData->GetData() : nullptr;
        if (body)
            font = ReadDefineFont3(body->GetBuffer(), body->GetSize());
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
    return font.advance(font.glyphFor(c)) * size * 20.0 / font.emUnits;
}

std::pair<double, double> EmbeddedMetrics(const Font& font, double size)
{
    const double height = size * 20.0;
    if (!font.hasLayout)
        return { height * 0.8, height * 0.2 };
    const double scale = height / font.emUnits;
    return { font.ascent * scale, font.descent * scale };
}

std::pair<bool, bool> FontStyle(const CTag* tag)
{
    if (auto* f2 = dynamic_cast<const CDefineFont2Tag*>(tag))
        return { f2->m_Bold, f2->m_Italic };
    if (auto* raw = dynamic_cast<const CRawBodyTag*>(tag); raw && tag->m_TagCode == kTagDefineFont3) {
        const CSWFStream* body = raw->m_pData ? raw->m_pData->GetData() : nullptr;
        if (body && body->GetSize() >= 3)
            return { (body->GetBuffer()[2] & kFontBold) != 0, (body->GetBuffer()[2] & kFontItalic) != 0 };
    }
    return { false, false };
}

std::string FontName(const CTag* tag)
{
    std::string name;
    if (auto* f2 = dynamic_cast<const CDefineFont2Tag*>(tag); f2 && f2->m_pFontName) {
        name = f2->m_pFontName->GetStr();
    } else if (auto* raw = dynamic_cast<const CRawBodyTag*>(tag); raw && tag->m_TagCode == kTagDefineFont3) {
        const CSWFStream* body = raw->m_pData ? raw->m_pData->GetData() : nullptr;
        // Character ID, flags and language code come before the name's length and bytes.
        if (body && body->GetSize() >= 5) {
            const uint8_t* bytes = body->GetBuffer();
            const size_t length = std::min<size_t>(bytes[4], body->GetSize() - 5);
            name.assign(reinterpret_cast<const char*>(bytes + 5), length);
        }
    }
    // Some writers end the name with its terminator.
    if (const size_t nul = name.find('\0'); nul != std::string::npos)
        name.resize(nul);
    return name;
}

uint16_t DefineFont3Id(const uint8_t* body, size_t size)
{
    return size >= 2 ? uint16_t(body[0] | (body[1] << 8)) : 0;
}

Font ReadDefineFont3(const uint8_t* body, size_t size)
{
    Font font;
    font.emUnits = kFont3EmUnits;
    BitReader in(body, size);
    in.u16(); // character ID
    const uint8_t flags = in.u8();
    in.u8(); // language code
    in.skip(in.u8()); // font name
    const uint16_t count = in.u16();
    font.bold = flags & kFontBold;
    font.italic = flags & kFontItalic;
    if (!in.ok())
        return font;
    // Offsets count from the start of the offset table; the last one is the code table's.
    const uint8_t* table = in.here();
    const size_t tableSize = in.remaining();
    const bool wide = flags & kFontWideOffsets;
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i <= count && in.ok(); ++i) {
        const uint32_t offset = wide ? uint32_t(in.u16()) | (uint32_t(in.u16()) << 16) : in.u16();
        if (in.ok())
            offsets.push_back(offset);
    }
    if (offsets.size() != size_t(count) + 1 || offsets[count] > tableSize)
        return font;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t begin = offsets[i];
        const uint32_t end = offsets[i + 1];
        if (begin > end || end > tableSize)
            return font; // a glyph beyond the body: nothing after it can be trusted
        BitReader glyph(table + begin, end - begin);
        std::vector<ShapeLayer> layers { WhiteGlyphLayer() };
        ReadShapeRecords(glyph, layers, false);
        // Outlines converted from outline fonts may overlap themselves (a crossbar over a stem); they fill by
        // the non-zero rule so the overlap stays filled.
        for (ShapeLayer& layer : layers)
            layer.nonZero = true;
        font.glyphs.push_back(std::move(layers));
    }
    BitReader rest(table + offsets[count], tableSize - offsets[count]);
    const bool wideCodes = flags & kFontWideCodes;
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t code = wideCodes ? rest.u16() : rest.u8();
        if (!rest.ok())
            return font;
        font.codes.push_back(code);
    }
    if (!(flags & kFontHasLayout))
        return font;
    const double ascent = int16_t(rest.u16());
    const double descent = int16_t(rest.u16());
    rest.u16(); // leading: the text field's own leading spaces its lines
    std::vector<double> advances;
    for (uint32_t i = 0; i < count && rest.ok(); ++i)
        advances.push_back(int16_t(rest.u16()));
    if (!rest.ok())
        return font;
    // The bounds and kerning tables that follow are not needed to draw.
    font.hasLayout = true;
    font.ascent = ascent;
    font.descent = descent;
    font.advances = std::move(advances);
    return font;
}

} // namespace reelfinch::plugin
