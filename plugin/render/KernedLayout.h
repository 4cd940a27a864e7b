// Text layout with an embedded font's kerning: the pairs of neighbouring characters a font's table moves closer
// together (or apart) where the text's format asks for kerning.
#pragma once

#include "render/EditText.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace reelfinch::plugin {

// The kerning between two neighbouring characters of a format, in twips.
using PairKerning = std::function<double(char16_t, char16_t, const CharFormat&)>;

// What character `i` of a field's text moves the pen besides its advance: the kerning between it and the next one
// when both are in the same font and size, the format asks for kerning, and the next one comes before `end`.
double KerningAfter(const EditField& field, size_t i, size_t end, const PairKerning& kerning);

// LayoutField, with `kerning` applied between the characters of each line.
FieldLayout LayoutField(
    const EditField& field, const CharMeasure& advance, const LineMetrics& metrics, const PairKerning& kerning);

// Where a laid-out line's characters stand, as drawn and as the caret finds them: margins, indents, the bullet's
// room, alignment, horizontal scrolling, tab stops, letter spacing and kerning. Twips from the field's left edge.
struct PlacedLine {
    std::optional<double> bullet; // where a list item's bullet is drawn, on its first line
    std::vector<double> x; // the left edge of each character of the line, then where the last one ends
};
PlacedLine PlaceLine(
    const EditField& field, const FieldLine& line, const CharMeasure& advance, const PairKerning& kerning);

} // namespace reelfinch::plugin
