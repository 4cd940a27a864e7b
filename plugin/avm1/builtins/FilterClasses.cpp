// flash.filters: the bitmap filter classes of SWF 8 scripts. Each filter object keeps its settings in native
// state, read and written through accessors on its class's prototype (enumerable, as the player lists them), with
// the player's clamping and conversions. Clips' `filters` property turns these objects into the renderer's filter
// list and back, giving copies both ways.
#include "avm1/builtins/FilterClasses.h"

#include "avm1/builtins/BitmapData.h"
#include "avm1/builtins/NativeData.h"
#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>

namespace reelfinch::avm1 {

namespace {

constexpr int kMaxGradientColors = 16;
constexpr int kMaxMatrixSide = 15;
constexpr double kMaxBlur = 255;
constexpr double kMaxStrength = 255;
constexpr int kMaxQuality = 15;
constexpr double kMaxDisplacementScale = 65535;
constexpr size_t kColorMatrixCells = 20;

// The classes, in the order of the renderer's kinds, and the base class (no settings).
enum class Kind : int8_t {
    DropShadow,
    Blur,
    Glow,
    Bevel,
    GradientGlow,
    Convolution,
    ColorMatrix,
    GradientBevel,
    DisplacementMap,
    Base
};

constexpr const char* kClassNames[] = { "DropShadowFilter", "BlurFilter", "GlowFilter", "BevelFilter",
    "GradientGlowFilter", "ConvolutionFilter", "ColorMatrixFilter", "GradientBevelFilter", "DisplacementMapFilter",
    "BitmapFilter" };
constexpr const char* kHiddenNames[] = { "__flashFilterDropShadow", "__flashFilterBlur", "__flashFilterGlow",
    "__flashFilterBevel", "__flashFilterGradientGlow", "__flashFilterConvolution", "__flashFilterColorMatrix",
    "__flashFilterGradientBevel", "__flashFilterDisplacementMap", "__flashFilterBase" };

enum Field : int {
    Distance,
    Angle,
    Color,
    Alpha,
    HighlightColor,
    HighlightAlpha,
    ShadowColor,
    ShadowAlpha,
    Quality,
    Strength,
    Knockout,
    Inner,
    HideObject,
    BlurX,
    BlurY,
    Type,
    Colors,
    Alphas,
    Ratios,
    Matrix,
    MatrixX,
    MatrixY,
    Divisor,
    Bias,
    PreserveAlpha,
    Clamp,
    MapBitmap,
    MapPoint,
    ComponentX,
    ComponentY,
    ScaleX,
    ScaleY,
    Mode,
    FieldCount
};

constexpr const char* kFieldNames[FieldCount] = { "distance", "angle", "color", "alpha", "highlightColor",
    "highlightAlpha", "shadowColor", "shadowAlpha", "quality", "strength", "knockout", "inner", "hideObject",
    "blurX", "blurY", "type", "colors", "alphas", "ratios", "matrix", "matrixX", "matrixY", "divisor", "bias",
    "preserveAlpha", "clamp", "mapBitmap", "mapPoint", "componentX", "componentY", "scaleX", "scaleY", "mode" };

// Each class's properties in its constructor's order (also the order a for-in loop lists them, reversed).
const std::vector<Field>& FieldsOf(Kind kind)
{
    static const std::vector<Field> kFields[] = {
        { Distance, Angle, Color, Alpha, BlurX, BlurY, Strength, Quality, Inner, Knockout, HideObject },
        { BlurX, BlurY, Quality },
        { Color, Alpha, BlurX, BlurY, Strength, Quality, Inner, Knockout },
        { Distance, Angle, HighlightColor, HighlightAlpha, ShadowColor, ShadowAlpha, BlurX, BlurY, Strength, Quality,
            Type, Knockout },
        { Distance, Angle, Colors, Alphas, Ratios, BlurX, BlurY, Strength, Quality, Type, Knockout },
        { MatrixX, MatrixY, Matrix, Divisor, Bias, PreserveAlpha, Clamp, Color, Alpha },
        { Matrix },
        { Distance, Angle, Colors, Alphas, Ratios, BlurX, BlurY, Strength, Quality, Type, Knockout },
        { MapBitmap, MapPoint, ComponentX, ComponentY, ScaleX, ScaleY, Mode, Color, Alpha },
        {},
    };
    return kFields[int(kind)];
}

// The order the player's prototypes hold the properties in (for-in lists them newest first).
const std::vector<Field>& ListedFieldsOf(Kind kind)
{
    static const std::vector<Field> kListed[] = {
        { Distance, Angle, Color, Alpha, Quality, Inner, Knockout, BlurX, BlurY, Strength, HideObject },
        { BlurX, BlurY, Quality },
        { Color, Alpha, Quality, Inner, Knockout, BlurX, BlurY, Strength },
        { Distance, Angle, HighlightColor, HighlightAlpha, ShadowColor, ShadowAlpha, Quality, Strength, Knockout,
            BlurX, BlurY, Type },
        { Distance, Angle, Colors, Alphas, Ratios, BlurX, BlurY, Quality, Strength, Knockout, Type },
        { MatrixX, MatrixY, Matrix, Divisor, Bias, PreserveAlpha, Clamp, Color, Alpha },
        { Matrix },
        { Distance, Angle, Colors, Alphas, Ratios, BlurX, BlurY, Quality, Strength, Knockout, Type },
        { MapBitmap, MapPoint, ComponentX, ComponentY, ScaleX, ScaleY, Mode, Color, Alpha },
        {},
    };
    return kListed[int(kind)];
}

class FilterState final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        if (mapBitmap.isObject())
            heap.mark(static_cast<Cell*>(mapBitmap.asObject()));
    }

    Kind kind = Kind::Base;
    double distance = 4, angle = 45; // pixels, degrees
    uint32_t color = 0; // 0xRRGGBB; a bevel's shadow colour
    double alpha = 1; // a multiple of 1/255
    uint32_t highlightColor = 0xFFFFFF;
    double highlightAlpha = 1;
    int quality = 1;
    double strength = 1;
    bool knockout = false, inner = false, hideObject = false;
    double blurX = 4, blurY = 4;
    std::string type = "inner";
    // Gradients keep 16 slots each; `count` of them show. A shorter list written later leaves the slots past it.
    std::array<uint32_t, kMaxGradientColors> colors {};
    std::array<double, kMaxGradientColors> alphas {};
    std::array<int, kMaxGradientColors> ratios {};
    int count = 0;
    std::vector<double> matrix; // colour matrix (20 cells) or convolution kernel
    int matrixX = 0, matrixY = 0;
    double divisor = 1, bias = 0;
    bool preserveAlpha = true, clamp = true;
    Value mapBitmap;
    int32_t mapX = 0, mapY = 0;
    int32_t componentX = 0, componentY = 0;
    double scaleX = 0, scaleY = 0;
    std::string mode = "wrap";

    void copyFrom(const FilterState& o)
    {
        kind = o.kind;
        distance = o.distance;
        angle = o.angle;
        color = o.color;
        alpha = o.alpha;
        highlightColor = o.highlightColor;
        highlightAlpha = o.highlightAlpha;
        quality = o.quality;
        strength = o.strength;
        knockout = o.knockout;
        inner = o.inner;
        hideObject = o.hideObject;
        blurX = o.blurX;
        blurY = o.blurY;
        type = o.type;
        colors = o.colors;
        alphas = o.alphas;
        ratios = o.ratios;
        count = o.count;
        matrix = o.matrix;
        matrixX = o.matrixX;
        matrixY = o.matrixY;
        divisor = o.divisor;
        bias = o.bias;
        preserveAlpha = o.preserveAlpha;
        clamp = o.clamp;
        mapBitmap = o.mapBitmap;
        mapX = o.mapX;
        mapY = o.mapY;
        componentX = o.componentX;
        componentY = o.componentY;
        scaleX = o.scaleX;
        scaleY = o.scaleY;
        mode = o.mode;
    }
};

// Defaults differing from the state's own.
void SetDefaults(FilterState& s, Kind kind)
{
    s.kind = kind;
    switch (kind) {
    case Kind::Glow:
        s.color = 0xFF0000;
        s.blurX = s.blurY = 6;
        s.strength = 2;
        break;
    case Kind::ColorMatrix:
        s.matrix.assign(kColorMatrixCells, 0.0);
        for (size_t i = 0; i < 4; ++i)
            s.matrix[i * 6] = 1;
        break;
    case Kind::Convolution:
    case Kind::DisplacementMap:
        s.alpha = 0;
        break;
    default: break;
    }
}

double Bound(double v, double lo, double hi)
{
    return std::isnan(v) ? lo : std::clamp(v, lo, hi);
}

uint32_t ToColor(Machine& m, const Value& v)
{
    return uint32_t(m.toInt32(v)) & 0xFFFFFFu;
}

// An alpha as the player keeps it: a byte, rounded down.
double ToAlpha(Machine& m, const Value& v)
{
    return std::floor(Bound(m.toNumber(v), 0, 1) * 255) / 255;
}

int ToWhole(Machine& m, const Value& v, int lo, int hi)
{
    return int(Bound(std::trunc(m.toNumber(v)), lo, hi));
}

// The length of an array-like value (objects and strings); 0 for anything else.
size_t LengthOf(Machine& m, const Value& v)
{
    const double n = m.toNumber(m.getMember(v, "length"));
    return std::isfinite(n) && n > 0 ? size_t(std::min(n, 1e6)) : 0;
}

Value NumberArray(Machine& m, const std::vector<double>& values)
{
    ArrayObject* a = m.newArray();
    for (double v : values)
        a->m_Items.push_back(Value(v));
    return Value(static_cast<Object*>(a));
}

Value NewPoint(Machine& m, double x, double y)
{
    Object* p = m.newObject(CurrentPrototype(m, "__flashGeomPoint"));
    m.setMember(Value(p), "x", Value(x));
    m.setMember(Value(p), "y", Value(y));
    return Value(p);
}

void PadMatrix(FilterState& s)
{
    const size_t cells = size_t(s.matrixX) * size_t(s.matrixY);
    if (s.matrix.size() < cells)
        s.matrix.resize(cells, 0.0);
}

// Converts a member to a number with the script's own valueOf; a throw is caught and kept as the first error.
int32_t PointPart(Machine& m, const Value& v, Value& firstError, bool& failed)
{
    const double n = m.toNumber(v);
    if (m.m_Unwind == Unwind::Throw) {
        if (!failed)
            firstError = m.m_Thrown;
        failed = true;
        m.m_Unwind = Unwind::None;
        m.m_Thrown = Value();
        return INT32_MIN;
    }
    return ToInt32(n);
}

void SetMapPoint(Machine& m, FilterState& s, const Value& v)
{
    if (!v.isObject()) {
        s.mapX = s.mapY = 0;
        return;
    }
    const Value x = m.getMember(v, "x");
    if (m.unwinding())
        return;
    const Value y = m.getMember(v, "y");
    if (m.unwinding())
        return;
    Value firstError;
    bool failed = false;
    const int32_t nx = x.isUndefined() ? 0 : PointPart(m, x, firstError, failed);
    if (m.unwinding())
        return; // stopped for good (time or recursion limit)
    const int32_t ny = y.isUndefined() ? 0 : PointPart(m, y, firstError, failed);
    if (m.unwinding())
        return;
    const bool whole = !x.isUndefined() && !y.isUndefined();
    s.mapX = whole ? nx : 0;
    s.mapY = whole ? ny : 0;
    if (failed)
        m.throwValue(firstError);
}

Value GetField(Machine& m, const FilterState& s, Field field)
{
    switch (field) {
    case Distance: return Value(s.distance);
    case Angle: return Value(s.angle);
    case Color:
    case ShadowColor: return Value(double(s.color));
    case Alpha:
    case ShadowAlpha: return Value(s.alpha);
    case HighlightColor: return Value(double(s.highlightColor));
    case HighlightAlpha: return Value(s.highlightAlpha);
    case Quality: return Value(double(s.quality));
    case Strength: return Value(s.strength);
    case Knockout: return Value(s.knockout);
    case Inner: return Value(s.inner);
    case HideObject: return Value(s.hideObject);
    case BlurX: return Value(s.blurX);
    case BlurY: return Value(s.blurY);
    case Type: return Value(m.str(s.type));
    case Colors:
    case Alphas:
    case Ratios: {
        std::vector<double> out;
        for (int i = 0; i < s.count; ++i)
            out.push_back(field == Colors ? double(s.colors[size_t(i)])
                    : field == Alphas     ? s.alphas[size_t(i)]
                                          : double(s.ratios[size_t(i)]));
        return NumberArray(m, out);
    }
    case Matrix: return NumberArray(m, s.matrix);
    case MatrixX: return Value(double(s.matrixX));
    case MatrixY: return Value(double(s.matrixY));
    case Divisor: return Value(s.divisor);
    case Bias: return Value(s.bias);
    case PreserveAlpha: return Value(s.preserveAlpha);
    case Clamp: return Value(s.clamp);
    case MapBitmap: return s.mapBitmap;
    case MapPoint: return NewPoint(m, s.mapX, s.mapY);
    case ComponentX: return Value(double(s.componentX));
    case ComponentY: return Value(double(s.componentY));
    case ScaleX: return Value(s.scaleX);
    case ScaleY: return Value(s.scaleY);
    case Mode: return Value(m.str(s.mode));
    case FieldCount: break;
    }
    return Value();
}

void SetField(Machine& m, FilterState& s, Field field, const Value& v)
{
    switch (field) {
    case Distance: s.distance = m.toNumber(v); break;
    case Angle: s.angle = std::fmod(m.toNumber(v), 360.0); break;
    case Color:
    case ShadowColor: s.color = ToColor(m, v); break;
    case Alpha:
    case ShadowAlpha: s.alpha = ToAlpha(m, v); break;
    case HighlightColor: s.highlightColor = ToColor(m, v); break;
    case HighlightAlpha: s.highlightAlpha = ToAlpha(m, v); break;
    case Quality: s.quality = ToWhole(m, v, 0, kMaxQuality); break;
    case Strength: s.strength = Bound(m.toNumber(v), 0, kMaxStrength); break;
    case Knockout: s.knockout = m.toBoolean(v); break;
    case Inner: s.inner = m.toBoolean(v); break;
    case HideObject: s.hideObject = m.toBoolean(v); break;
    case BlurX: s.blurX = Bound(m.toNumber(v), 0, kMaxBlur); break;
    case BlurY: s.blurY = Bound(m.toNumber(v), 0, kMaxBlur); break;
    case Type: {
        const std::string t = m.toString(v);
        s.type = t == "inner" || t == "outer" ? t : "full";
        break;
    }
    case Colors:
        if (v.isUndefined() || v.isNull())
            break;
        s.count = int(std::min<size_t>(LengthOf(m, v), kMaxGradientColors));
        for (int i = 0; i < s.count; ++i)
            s.colors[size_t(i)] = ToColor(m, m.getMember(v, std::to_string(i)));
        break;
    case Alphas:
        if (v.isUndefined() || v.isNull())
            break;
        for (int i = 0; i < s.count; ++i) {
            // An alpha that is no number (past the list's end) reads as opaque.
            const double a = m.toNumber(m.getMember(v, std::to_string(i)));
            s.alphas[size_t(i)] = std::isnan(a) ? 1.0 : std::round(Bound(a, 0, 1) * 255) / 255;
        }
        break;
    case Ratios: {
        if (v.isUndefined() || v.isNull())
            break;
        s.count = int(std::min<size_t>(LengthOf(m, v), size_t(s.count)));
        for (int i = 0; i < s.count; ++i)
            s.ratios[size_t(i)] = ToWhole(m, m.getMember(v, std::to_string(i)), 0, 255);
        break;
    }
    case Matrix:
        if (v.isUndefined() || v.isNull())
            break;
        if (s.kind == Kind::ColorMatrix) {
            for (size_t i = 0; i < kColorMatrixCells; ++i)
                s.matrix[i] = m.toNumber(m.getMember(v, std::to_string(i)));
        } else {
            const size_t n = std::min<size_t>(LengthOf(m, v), kMaxMatrixSide * kMaxMatrixSide);
            s.matrix.assign(n, 0.0);
            for (size_t i = 0; i < n; ++i)
                s.matrix[i] = m.toNumber(m.getMember(v, std::to_string(i)));
            PadMatrix(s);
        }
        break;
    case MatrixX:
        s.matrixX = ToWhole(m, v, 0, kMaxMatrixSide);
        PadMatrix(s);
        break;
    case MatrixY:
        s.matrixY = ToWhole(m, v, 0, kMaxMatrixSide);
        PadMatrix(s);
        break;
    case Divisor: s.divisor = m.toNumber(v); break;
    case Bias: s.bias = m.toNumber(v); break;
    case PreserveAlpha: s.preserveAlpha = m.toBoolean(v); break;
    case Clamp: s.clamp = m.toBoolean(v); break;
    case MapBitmap:
        if (BitmapPixelsOf(v))
            s.mapBitmap = v;
        break;
    case MapPoint: SetMapPoint(m, s, v); break;
    case ComponentX: s.componentX = m.toInt32(v); break;
    case ComponentY: s.componentY = m.toInt32(v); break;
    case ScaleX: s.scaleX = Bound(m.toNumber(v), -kMaxDisplacementScale, kMaxDisplacementScale); break;
    case ScaleY: s.scaleY = Bound(m.toNumber(v), -kMaxDisplacementScale, kMaxDisplacementScale); break;
    case Mode: {
        const std::string t = m.toString(v);
        s.mode = t == "clamp" || t == "ignore" || t == "color" ? t : "wrap";
        break;
    }
    case FieldCount: break;
    }
}

template <int F> Value Getter(Machine& m, const Value& self, const Value*, int)
{
    const FilterState* s = NativeOf<FilterState>(self);
    return s ? GetField(m, *s, Field(F)) : Value();
}

template <int F> Value Setter(Machine& m, const Value& self, const Value* args, int argc)
{
    if (FilterState* s = NativeOf<FilterState>(self))
        SetField(m, *s, Field(F), Arg(args, argc, 0));
    return Value();
}

template <size_t... I> constexpr auto MakeGetters(std::index_sequence<I...>)
{
    return std::array<NativeFunction, sizeof...(I)> { &Getter<int(I)>... };
}

template <size_t... I> constexpr auto MakeSetters(std::index_sequence<I...>)
{
    return std::array<NativeFunction, sizeof...(I)> { &Setter<int(I)>... };
}

constexpr auto kGetters = MakeGetters(std::make_index_sequence<FieldCount>());
constexpr auto kSetters = MakeSetters(std::make_index_sequence<FieldCount>());

template <int K> Value Construct(Machine& m, const Value& self, const Value* args, int argc)
{
    // Called as a plain function the class gives nothing: only new plain objects take filter state.
    if (!self.isObject() || self.asObject()->kind() != ObjectKind::Plain)
        return Value();
    // An object that is a filter already stays the filter it is: the arguments are still converted, to no use.
    FilterState* s = NativeOf<FilterState>(self) ? m.heap().make<FilterState>()
                                                 : AttachNative<FilterState>(m, self.asObject());
    SetDefaults(*s, Kind(K));
    const std::vector<Field>& fields = FieldsOf(Kind(K));
    for (size_t i = 0; i < fields.size() && int(i) < argc && !m.unwinding(); ++i)
        if (!args[i].isUndefined())
            SetField(m, *s, fields[i], args[i]);
    return Value();
}

Value NewFilterObject(Machine& m, Kind kind, FilterState*& state)
{
    Object* o = m.newObject(CurrentPrototype(m, kHiddenNames[int(kind)]));
    state = AttachNative<FilterState>(m, o);
    SetDefaults(*state, kind);
    return Value(o);
}

Value Clone(Machine& m, const Value& self, const Value*, int)
{
    const FilterState* s = NativeOf<FilterState>(self);
    if (!s || s->kind == Kind::Base)
        return Value();
    FilterState* copy = nullptr;
    Value out = NewFilterObject(m, s->kind, copy);
    copy->copyFrom(*s);
    return out;
}

template <size_t... I> constexpr auto MakeConstructors(std::index_sequence<I...>)
{
    return std::array<NativeFunction, sizeof...(I)> { &Construct<int(I)>... };
}

constexpr auto kConstructors = MakeConstructors(std::make_index_sequence<size_t(Kind::Base) + 1>());

// ---- between script objects and the renderer's filters ----

plugin::RGBA ToRGBA(uint32_t rgb, double alpha)
{
    return { ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha };
}

uint32_t FromRGBA(const plugin::RGBA& c)
{
    auto byte = [](double v) { return uint32_t(std::lround(Bound(v, 0, 1) * 255)); };
    return (byte(c.r) << 16) | (byte(c.g) << 8) | byte(c.b);
}

double AlphaOf(const plugin::RGBA& c)
{
    return std::round(Bound(c.a, 0, 1) * 255) / 255;
}

double Finite(double v)
{
    return std::isfinite(v) ? v : 0;
}

constexpr double kDegrees = 180 / std::numbers::pi;

void StateFromFilter(FilterState& s, const plugin::Filter& f)
{
    s.distance = f.distance;
    s.angle = f.angle * kDegrees;
    s.blurX = f.blurX;
    s.blurY = f.blurY;
    s.quality = f.passes;
    s.strength = f.strength;
    s.knockout = f.knockout;
    s.inner = f.inner;
    s.hideObject = !f.compositeSource;
    s.color = FromRGBA(f.color);
    s.alpha = AlphaOf(f.color);
    s.highlightColor = FromRGBA(f.highlight);
    s.highlightAlpha = AlphaOf(f.highlight);
    if (f.kind == plugin::Filter::Bevel) {
        // The renderer's bevel draws its first colour where scripts see the highlight.
        std::swap(s.color, s.highlightColor);
        std::swap(s.alpha, s.highlightAlpha);
    }
    s.type = f.onTop ? "full" : f.inner ? "inner" : "outer";
    s.count = int(std::min<size_t>(f.gradient.size(), kMaxGradientColors));
    for (int i = 0; i < s.count; ++i) {
        const auto& [ratio, c] = f.gradient[size_t(i)];
        s.colors[size_t(i)] = FromRGBA(c);
        s.alphas[size_t(i)] = AlphaOf(c);
        s.ratios[size_t(i)] = int(std::lround(Bound(ratio, 0, 1) * 255));
    }
    if (f.kind == plugin::Filter::ColorMatrix)
        s.matrix.assign(f.matrix.begin(), f.matrix.end());
    if (f.kind == plugin::Filter::Convolution) {
        s.matrixX = f.matrixX;
        s.matrixY = f.matrixY;
        s.matrix = f.kernel;
        s.divisor = f.divisor;
        s.bias = f.bias;
        s.preserveAlpha = f.preserveAlpha;
        s.clamp = f.clamp;
        s.color = FromRGBA(f.defaultColor);
        s.alpha = AlphaOf(f.defaultColor);
    }
}

} // namespace

bool FilterFromObject(const Value& v, plugin::Filter& f)
{
    const FilterState* s = NativeOf<FilterState>(v);
    if (!s || s->kind == Kind::Base || s->kind == Kind::DisplacementMap)
        return false;
    f = plugin::Filter();
    f.kind = plugin::Filter::Kind(int(s->kind));
    f.distance = Finite(s->distance);
    f.angle = Finite(s->angle) / kDegrees;
    f.blurX = s->quality > 0 ? s->blurX : 0;
    f.blurY = s->quality > 0 ? s->blurY : 0;
    f.passes = std::max(1, s->quality);
    f.strength = s->strength;
    f.knockout = s->knockout;
    f.compositeSource = !s->hideObject;
    f.color = ToRGBA(s->color, s->alpha);
    switch (s->kind) {
    case Kind::DropShadow:
    case Kind::Glow: f.inner = s->inner; break;
    case Kind::Bevel:
    case Kind::GradientGlow:
    case Kind::GradientBevel:
        f.inner = s->type == "inner";
        f.onTop = s->type == "full";
        f.highlight = ToRGBA(s->highlightColor, s->highlightAlpha);
        if (s->kind == Kind::Bevel)
            std::swap(f.color, f.highlight); // see StateFromFilter
        for (int i = 0; i < s->count; ++i)
            f.gradient.emplace_back(s->ratios[size_t(i)] / 255.0, ToRGBA(s->colors[size_t(i)], s->alphas[size_t(i)]));
        break;
    case Kind::ColorMatrix:
        for (size_t i = 0; i < kColorMatrixCells && i < s->matrix.size(); ++i)
            f.matrix[i] = Finite(s->matrix[i]);
        break;
    case Kind::Convolution: {
        f.matrixX = s->matrixX;
        f.matrixY = s->matrixY;
        const size_t cells = size_t(s->matrixX) * size_t(s->matrixY);
        for (size_t i = 0; i < cells; ++i)
            f.kernel.push_back(i < s->matrix.size() ? Finite(s->matrix[i]) : 0.0);
        f.divisor = Finite(s->divisor);
        f.bias = Finite(s->bias);
        f.preserveAlpha = s->preserveAlpha;
        f.clamp = s->clamp;
        f.defaultColor = ToRGBA(s->color, s->alpha);
        break;
    }
    default: break;
    }
    return true;
}

Value ObjectFromFilter(Machine& m, const plugin::Filter& f)
{
    const int kind = int(f.kind);
    if (kind < 0 || kind >= int(Kind::DisplacementMap))
        return Value();
    FilterState* s = nullptr;
    Value out = NewFilterObject(m, Kind(kind), s);
    StateFromFilter(*s, f);
    return out;
}

void InstallFilterClasses(Machine& m)
{
    Value flash = m.getMember(Value(m.m_Global), "flash");
    if (!flash.isObject()) {
        flash = Value(m.newObject());
        m.define(m.m_Global, "flash", flash);
    }
    Object* package = m.newObject();
    m.define(flash.asObject(), "filters", Value(package));

    constexpr uint16_t kListed = kDontDelete;
    Object* baseProto = m.newObject();
    m.defineMethod(baseProto, "clone", Clone, kListed);
    for (int k = int(Kind::Base); k >= 0; --k) {
        const Kind kind = Kind(k);
        Object* proto = kind == Kind::Base ? baseProto : m.newObject(baseProto);
        for (Field field : ListedFieldsOf(kind))
            DefineAccessor(m, proto, kFieldNames[field], kGetters[size_t(field)], kSetters[size_t(field)], kListed);
        if (kind != Kind::Base)
            m.defineMethod(proto, "clone", Clone, kListed);
        FunctionObject* ctor = DefineClass(m, kHiddenNames[k], kConstructors[size_t(k)], nullptr, proto, m.m_Internal);
        m.define(package, kClassNames[k], Value(static_cast<Object*>(ctor)));
    }
}

} // namespace reelfinch::avm1
