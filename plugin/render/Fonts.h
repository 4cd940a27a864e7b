// Fonts as the text drawing uses them: the glyph shapes walked once, the character code of each glyph, and the
// layout figures (advances, ascent, descent) when the font carries them, taken from swflib's DefineFont,
// DefineFont2 and DefineFont3 tags.
#pragma once

#include "render/Shapes.h"

#include "TagCodes.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>
#include <utility>
#include <string>
#include <vector>

class CTag;

namespace reelfinch::plugin {

// Units per em of DefineFont and DefineFont2 glyphs; DefineFont3 draws on a square twenty times finer.
inline constexpr double kFontEmUnits = 1024.0;
inline constexpr double kFont3EmUnits = 1024.0 * 20.0;

struct Font {
    double emUnits = kFontEmUnits;
    // Each glyph walked with a white fill: drawing tints it through a colour transform.
    std::vector<std::vector<ShapeLayer>> glyphs;
    std::vector<uint16_t> codes; // the character of each glyph (may be shorter than `glyphs`)
    bool hasLayout = false;
    std::vector<double> advances; // font units, one per glyph when `hasLayout`
    double ascent = 0; // font units
    double descent = 0;
    std::map<std::pair<uint16_t, uint16_t>, double> kerning; // font units added between a pair of characters
    bool bold = false;
    bool italic = false;

    // The glyph drawn for a character, or -1.
    int glyphFor(char32_t code) const;
    // How far a glyph moves the pen, in font units: its advance, or without layout its right edge and a little.
    double advance(int glyph) const;
};

// A font tag (DefineFont, DefineFont2 or DefineFont3) made into a Font; false for other tags.
bool FontFromTag(const CTag* tag, Font& font);

// The movie's embedded font of a name (without regard to case), the one of the same boldness and slant when there
// are several; fonts are made into `cache` as they are first needed. Null when the movie has none of that name.
const Font* FindFont(const std::map<uint16_t, const CTag*>& characters, std::map<const CTag*, Font>& cache,
    std::string_view name, bool bold, bool italic);

// A field's measures with an embedded font: a character's advance and a line's ascent and descent, in twips for
// a font `size` pixels high.
double EmbeddedAdvance(const Font& font, char32_t c, double size);
std::pair<double, double> EmbeddedMetrics(const Font& font, double size);
// The font's kerning between two characters in twips for a font `size` pixels high (0 for pairs it has none for).
double EmbeddedKerning(const Font& font, char32_t first, char32_t second, double size);

// The character of each glyph of a font tag (DefineFont2 and DefineFont3 carry a code table; others give none).
std::vector<uint16_t> FontCodes(const CTag* tag);

// The name a font tag gives its font (DefineFont2 and DefineFont3), or empty; and whether it is bold and italic.
std::string FontName(const CTag* tag);
std::pair<bool, bool> FontStyle(const CTag* tag);

} // namespace reelfinch::plugin
