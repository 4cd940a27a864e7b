// Shapes walked into edges and style tables, the form the renderer draws from. Walking happens once per
// shape; the result is kept by the movie.
#pragma once

#include "render/ColorTransform.h"

#include "TagCodes.h"

#include <cairo.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class CShapeItem;
class CFillStyleArrayItem;
class CLineStyleArrayItem;

namespace reelfinch::plugin {

class BitmapPixels;

// One edge of a shape in twips; a straight edge has its control point half-way.
struct Edge {
    double x0, y0, cx, cy, x1, y1;
    bool curved;
};

// A gradient is drawn from a ramp of one colour for each ratio, 0 to 255.
inline constexpr int kGradientEntries = 256;
using GradientRamp = std::array<RGBA, kGradientEntries>;

// How an area is filled.
struct FillDef {
    enum Kind { Solid, Linear, Radial, Bitmap, None } kind = None;
    RGBA color;
    std::vector<std::pair<double, RGBA>> stops; // gradients: ratio 0 to 1, colour
    enum Spread { Pad, Reflect, Repeat } spread = Pad; // gradients: how the colours continue past either end
    double focal = 0; // radial gradients: where the centre of colour lies on the x axis, -1 to 1
    bool linearRGB = false; // gradients: colours mix in linear light rather than in their stored (sRGB) values
    cairo_matrix_t matrix { 1, 0, 0, 1, 0, 0 }; // gradient or bitmap space to shape space
    uint16_t bitmapId = 0;
    std::shared_ptr<BitmapPixels> pixels; // a script's bitmap, in place of the character `bitmapId`
    bool repeat = false;
    bool smooth = true;
};

struct LineDef {
    enum Cap { RoundCap, NoCap, SquareCap };
    enum Join { RoundJoin, BevelJoin, MiterJoin };
    double width = 0; // twips
    RGBA color;
    // Line styles of DefineShape4 may paint the stroke with a fill and choose its ends and corners.
    bool hasFill = false;
    FillDef fill;
    Cap cap = RoundCap;
    Join join = RoundJoin;
    double miterLimit = 3;
    // The width keeps its size on the stage as the shape is scaled horizontally (noHScale), vertically
    // (noVScale) or both; such a stroke is drawn with a round pen in the stage's space.
    bool noHScale = false;
    bool noVScale = false;
};

// A shape walked into edges: every edge with its fill styles on either side and its line style, and the style
// tables in force (a shape that brings new styles part-way starts a new layer, drawn above the earlier ones).
struct ShapeLayer {
    std::vector<FillDef> fills; // style 1 is fills[0]
    std::vector<LineDef> lines;
    struct StyledEdge {
        Edge edge;
        uint32_t fill0, fill1, line;
    };
    std::vector<StyledEdge> edges;
    bool nonZero = false; // fills by the non-zero winding rule rather than even-odd
};

// Walks shape records into layers. `fills` and `lines` are the shape's first style tables (may be null: glyph
// shapes have none), of LINESTYLE or LINESTYLE2 records. `solid` (when given) replaces every fill with that
// colour, as text glyphs need.
std::vector<ShapeLayer> WalkShape(const CShapeItem* shape, const CFillStyleArrayItem* fills,
    const CLineStyleArrayItem* lines, const RGBA* solid = nullptr);

} // namespace reelfinch::plugin
