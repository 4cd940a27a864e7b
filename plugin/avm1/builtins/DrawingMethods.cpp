// MovieClip's drawing methods: the pen, line styles, solid and gradient fills and bitmap fills, drawn into the
// clip's own drawing (under its children). Coordinates are the clip's pixels; the drawing keeps twips.
#include "avm1/builtins/BitmapData.h"
#include "avm1/builtins/Builtins.h"

#include "render/Drawing.h"
#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::avm1 {

namespace {

constexpr double kTwips = 20.0;
// Gradients hold at most this many colours.
constexpr int kMaxGradientStops = 15;
// The gradient square is 32768 twips wide: a box's size in pixels over this is the matrix's scale.
constexpr double kGradientBoxUnit = 1638.4;

plugin::Drawing* DrawingOf(Machine& m, const Value& self)
{
    plugin::SpriteInstance* s = m.spriteOf(self);
    if (!s)
        return nullptr;
    if (!s->drawing)
        s->drawing = std::make_shared<plugin::Drawing>();
    return s->drawing.get();
}

// A coordinate in twips; what is no number counts as 0.
double Coordinate(Machine& m, const Value& v)
{
    const double n = m.toNumber(v);
    return std::isfinite(n) ? n * kTwips : 0.0;
}

plugin::RGBA Colour(Machine& m, const Value& rgb, const Value& alpha)
{
    const uint32_t c = uint32_t(m.toInt32(rgb)) & 0xFFFFFF;
    double a = alpha.isUndefined() ? 100.0 : m.toNumber(alpha);
    if (std::isnan(a))
        a = 0;
    a = std::clamp(a, 0.0, 100.0);
    return { ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0, a / 100.0 };
}

double Number(Machine& m, const Value& object, const char* name)
{
    const double n = m.toNumber(m.getMember(object, name));
    return std::isfinite(n) ? n : 0.0;
}

// A gradient's or bitmap's matrix from a script object: {matrixType: "box", x, y, w, h, r}, a matrix with a, b, c,
// d, tx and ty, or the older 3 by 3 form with a, b, d, e, g and h. `unit` is what the matrix's scale of 1 spans
// in pixels of the object's own space.
bool ScriptMatrix(Machine& m, const Value& v, cairo_matrix_t& out, bool gradient)
{
    if (!v.isObject())
        return false;
    if (m.toString(m.getMember(v, "matrixType")) == "box") {
        const double x = Number(m, v, "x");
        const double y = Number(m, v, "y");
        const double w = Number(m, v, "w");
        const double h = Number(m, v, "h");
        const double r = Number(m, v, "r");
        const double unit = gradient ? kGradientBoxUnit : 1.0;
        cairo_matrix_init(&out, std::cos(r) * w / unit, std::sin(r) * h / unit, -std::sin(r) * w / unit,
            std::cos(r) * h / unit, (x + w / 2) * kTwips, (y + h / 2) * kTwips);
        return true;
    }
    if (m.getMember(v, "tx").isUndefined() && !m.getMember(v, "g").isUndefined()) {
        const double scale = gradient ? kTwips / 32768.0 * kTwips : 1.0;
        cairo_matrix_init(&out, Number(m, v, "a") * scale, Number(m, v, "b") * scale, Number(m, v, "d") * scale,
            Number(m, v, "e") * scale, Number(m, v, "g") * kTwips, Number(m, v, "h") * kTwips);
        return true;
    }
    cairo_matrix_init(&out, Number(m, v, "a"), Number(m, v, "b"), Number(m, v, "c"), Number(m, v, "d"),
        Number(m, v, "tx") * kTwips, Number(m, v, "ty") * kTwips);
    return true;
}

// Reads (type, colors, alphas, ratios, matrix[, spread[, interpolation[, focal]]]); false when the arguments
// describe no gradient (the wrong count, an unknown type, lists of different lengths, a ratio out of range).
bool ReadGradient(Machine& m, const Value* args, int argc, plugin::FillDef& fill)
{
    if (argc < 5 || argc > 8 || !args[1].isObject() || !args[2].isObject() || !args[3].isObject())
        return false;
    const std::string type = m.toString(args[0]);
    if (type == "linear")
        fill.kind = plugin::FillDef::Linear;
    else if (type == "radial")
        fill.kind = plugin::FillDef::Radial;
    else
        return false;
    const int n = m.toInt32(m.getMember(args[1], "length"));
    if (n <= 0 || n != m.toInt32(m.getMember(args[2], "length")) || n != m.toInt32(m.getMember(args[3], "length")))
        return false;
    fill.stops.clear();
    for (int i = 0; i < std::min(n, kMaxGradientStops); ++i) {
        const std::string index = std::to_string(i);
        double ratio = m.toNumber(m.getMember(args[3], index));
        if (ratio <= -1 || ratio >= 256)
            return false;
        if (std::isnan(ratio))
            ratio = 0;
        ratio = std::clamp(std::trunc(ratio), 0.0, 255.0);
        fill.stops.emplace_back(ratio / 255.0, Colour(m, m.getMember(args[1], index), m.getMember(args[2], index)));
    }
    if (!ScriptMatrix(m, args[4], fill.matrix, true))
        return false;
    const std::string spread = m.toString(Arg(args, argc, 5));
    fill.spread = spread == "reflect" ? plugin::FillDef::Reflect
        : spread == "repeat"         ? plugin::FillDef::Repeat
                                     : plugin::FillDef::Pad;
    fill.linearRGB = m.toString(Arg(args, argc, 6)) == "linearRGB";
    const double focal = argc > 7 ? m.toNumber(args[7]) : 0.0;
    // The focal point is kept as a shape's is, in 256ths (cut towards 0).
    fill.focal = std::isfinite(focal) ? std::trunc(std::clamp(focal, -1.0, 1.0) * 256) / 256 : 0.0;
    return true;
}

Value MoveTo(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc < 2)
        return Value();
    if (plugin::Drawing* d = DrawingOf(m, self))
        d->moveTo(Coordinate(m, args[0]), Coordinate(m, args[1]));
    return Value();
}

Value LineTo(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc < 2)
        return Value();
    if (plugin::Drawing* d = DrawingOf(m, self))
        d->lineTo(Coordinate(m, args[0]), Coordinate(m, args[1]));
    return Value();
}

Value CurveTo(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc < 4)
        return Value();
    if (plugin::Drawing* d = DrawingOf(m, self))
        d->curveTo(Coordinate(m, args[0]), Coordinate(m, args[1]), Coordinate(m, args[2]), Coordinate(m, args[3]));
    return Value();
}

// lineStyle(thickness, rgb, alpha, pixelHinting, noScale, capsStyle, jointStyle, miterLimit); no thickness
// draws no lines.
Value LineStyle(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::Drawing* d = DrawingOf(m, self);
    if (!d)
        return Value();
    if (argc < 1 || args[0].isUndefined()) {
        d->setLine(nullptr);
        return Value();
    }
    plugin::LineDef line;
    double thickness = m.toNumber(args[0]);
    if (std::isnan(thickness))
        thickness = 0;
    line.width = std::clamp(thickness, 0.0, 255.0) * kTwips;
    line.color = Colour(m, Arg(args, argc, 1), Arg(args, argc, 2));
    const std::string caps = m.toString(Arg(args, argc, 5));
    line.cap = caps == "none" ? plugin::LineDef::NoCap
        : caps == "square"   ? plugin::LineDef::SquareCap
                             : plugin::LineDef::RoundCap;
    const std::string joints = m.toString(Arg(args, argc, 6));
    line.join = joints == "miter" ? plugin::LineDef::MiterJoin
        : joints == "bevel"      ? plugin::LineDef::BevelJoin
                                 : plugin::LineDef::RoundJoin;
    if (argc > 7) {
        const double limit = m.toNumber(args[7]);
        line.miterLimit = std::isfinite(limit) ? std::clamp(limit, 1.0, 255.0) : 3.0;
    }
    d->setLine(&line);
    return Value();
}

Value BeginFill(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::Drawing* d = DrawingOf(m, self);
    if (!d)
        return Value();
    if (argc < 1 || args[0].isUndefined()) {
        d->beginFill(nullptr);
        return Value();
    }
    plugin::FillDef fill;
    fill.kind = plugin::FillDef::Solid;
    fill.color = Colour(m, args[0], Arg(args, argc, 1));
    d->beginFill(&fill);
    return Value();
}

Value BeginGradientFill(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::Drawing* d = DrawingOf(m, self);
    if (!d)
        return Value();
    // Too few arguments, or a null type, leave the fill as it was; other wrong arguments end it.
    if (argc < 5 || args[0].isNull())
        return Value();
    plugin::FillDef fill;
    d->beginFill(ReadGradient(m, args, argc, fill) ? &fill : nullptr);
    return Value();
}

// beginBitmapFill(bitmap[, matrix, repeat, smoothing]): a BitmapData's pixels as the fill.
Value BeginBitmapFill(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::Drawing* d = DrawingOf(m, self);
    if (!d)
        return Value();
    std::shared_ptr<plugin::BitmapPixels> pixels = argc > 0 ? BitmapPixelsOf(args[0]) : nullptr;
    if (!pixels) {
        d->beginFill(nullptr);
        return Value();
    }
    plugin::FillDef fill;
    fill.kind = plugin::FillDef::Bitmap;
    fill.pixels = std::move(pixels);
    // The matrix maps the bitmap's pixels to the clip's; the drawing's space is twips.
    cairo_matrix_init_scale(&fill.matrix, kTwips, kTwips);
    if (cairo_matrix_t given; argc > 1 && ScriptMatrix(m, args[1], given, false))
        cairo_matrix_init(&fill.matrix, given.xx * kTwips, given.yx * kTwips, given.xy * kTwips, given.yy * kTwips,
            given.x0, given.y0);
    fill.repeat = argc < 3 || m.toBoolean(args[2]);
    fill.smooth = argc > 3 && m.toBoolean(args[3]);
    d->beginFill(&fill);
    return Value();
}

Value LineGradientStyle(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::Drawing* d = DrawingOf(m, self);
    // As with beginGradientFill: too few arguments or a null type change nothing.
    if (!d || !d->line() || argc < 5 || args[0].isNull())
        return Value();
    plugin::LineDef line = *d->line();
    plugin::FillDef fill;
    line.hasFill = ReadGradient(m, args, argc, fill);
    line.fill = fill;
    d->setLine(&line);
    return Value();
}

Value EndFill(Machine& m, const Value& self, const Value*, int)
{
    if (plugin::Drawing* d = DrawingOf(m, self))
        d->endFill();
    return Value();
}

Value Clear(Machine& m, const Value& self, const Value*, int)
{
    if (plugin::SpriteInstance* s = m.spriteOf(self); s && s->drawing)
        s->drawing->clear();
    return Value();
}

} // namespace

void InstallDrawingMethods(Machine& m, Object* clipPrototype)
{
    DefineMethods(m, clipPrototype,
        {
            { "moveTo", MoveTo, kDontEnum | kOnlySwf6 },
            { "lineTo", LineTo, kDontEnum | kOnlySwf6 },
            { "curveTo", CurveTo, kDontEnum | kOnlySwf6 },
            { "lineStyle", LineStyle, kDontEnum | kOnlySwf6 },
            { "beginFill", BeginFill, kDontEnum | kOnlySwf6 },
            { "beginGradientFill", BeginGradientFill, kDontEnum | kOnlySwf6 },
            { "beginBitmapFill", BeginBitmapFill, kDontEnum | kOnlySwf8 },
            { "lineGradientStyle", LineGradientStyle, kDontEnum | kOnlySwf8 },
            { "endFill", EndFill, kDontEnum | kOnlySwf6 },
            { "clear", Clear, kDontEnum | kOnlySwf6 },
        });
}

} // namespace reelfinch::avm1
