// The drawing switches of clips from SWF 8: cacheAsBitmap, opaqueBackground, blendMode, scrollRect and filters,
// read and written on the clip's display object, which the renderer draws by.
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/FilterClasses.h"
#include "avm1/builtins/NativeData.h"

#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace reelfinch::avm1 {

namespace {

// The blend modes by their number in a placement; 0 reads as normal too.
constexpr const char* kBlendNames[] = { "normal", "normal", "layer", "multiply", "screen", "lighten", "darken",
    "difference", "add", "subtract", "invert", "alpha", "erase", "overlay", "hardlight" };
constexpr int kBlendCount = int(std::size(kBlendNames));
constexpr double kMaxTwips = 1 << 30; // far beyond any stage, and still exact in a double

plugin::DisplayObject* Display(Machine& m, const Value& self)
{
    plugin::SpriteInstance* s = m.spriteOf(self);
    return s ? s->display : nullptr;
}

Value CacheGet(Machine& m, const Value& self, const Value*, int)
{
    const plugin::DisplayObject* d = Display(m, self);
    return d ? Value(d->cacheAsBitmap) : Value();
}

Value CacheSet(Machine& m, const Value& self, const Value* args, int argc)
{
    if (plugin::DisplayObject* d = Display(m, self))
        d->cacheAsBitmap = m.toBoolean(Arg(args, argc, 0));
    return Value();
}

Value BackgroundGet(Machine& m, const Value& self, const Value*, int)
{
    const plugin::DisplayObject* d = Display(m, self);
    if (!d || !d->opaqueBackground)
        return Value();
    return Value(double(*d->opaqueBackground));
}

// undefined and null take the background away; a number is a colour 0xRRGGBB (higher bits dropped).
Value BackgroundSet(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::DisplayObject* d = Display(m, self);
    if (!d)
        return Value();
    const Value v = Arg(args, argc, 0);
    if (v.isUndefined() || v.isNull()) {
        d->opaqueBackground.reset();
        return Value();
    }
    const double n = m.toNumber(v);
    const double wrapped = std::isfinite(n) ? std::fmod(std::trunc(n), 4294967296.0) : 0;
    d->opaqueBackground = uint32_t(int64_t(wrapped)) & 0xFFFFFFu;
    return Value();
}

Value BlendGet(Machine& m, const Value& self, const Value*, int)
{
    const plugin::DisplayObject* d = Display(m, self);
    if (!d)
        return Value();
    return Value(m.str(kBlendNames[d->blendMode < kBlendCount ? d->blendMode : 0]));
}

// A mode's name or its number (1 to 14); anything else leaves the mode as it was.
Value BlendSet(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::DisplayObject* d = Display(m, self);
    if (!d || argc < 1)
        return Value();
    const Value& v = args[0];
    if (v.isNumber()) {
        const double n = v.asNumber();
        if (n >= 1 && n < kBlendCount)
            d->blendMode = uint8_t(n);
        return Value();
    }
    const std::string name = m.toString(v);
    for (int i = 1; i < kBlendCount; ++i)
        if (name == kBlendNames[i]) {
            d->blendMode = uint8_t(i);
            break;
        }
    return Value();
}

constexpr double kTwips = 20.0;

// A new flash.geom.Rectangle of the scroll rectangle in pixels, or undefined when the clip has none.
Value ScrollGet(Machine& m, const Value& self, const Value*, int)
{
    const plugin::DisplayObject* d = Display(m, self);
    if (!d || !d->scrollRect)
        return Value();
    Object* r = m.newObject(CurrentPrototype(m, "__flashGeomRectangle"));
    const char* names[] = { "x", "y", "width", "height" };
    for (size_t i = 0; i < 4; ++i)
        m.setMember(Value(r), names[i], Value((*d->scrollRect)[i] / kTwips));
    return Value(r);
}

// Any object with x, y, width and height (pixels) sets the rectangle, anything else takes it away.
Value ScrollSet(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::DisplayObject* d = Display(m, self);
    if (!d)
        return Value();
    const Value v = Arg(args, argc, 0);
    if (!v.isObject()) {
        d->scrollRect.reset();
        return Value();
    }
    std::array<double, 4> rect {};
    const char* names[] = { "x", "y", "width", "height" };
    for (size_t i = 0; i < 4; ++i) {
        const double n = m.toNumber(m.getMember(v, names[i])) * kTwips;
        rect[i] = std::isfinite(n) ? std::clamp(n, -kMaxTwips, kMaxTwips) : 0;
    }
    d->scrollRect = rect;
    return Value();
}

// The display object of a clip, a button or a text field.
plugin::DisplayObject* ClipOrButton(Machine& m, const Value& self)
{
    if (plugin::DisplayObject* d = Display(m, self))
        return d;
    if (plugin::DisplayObject* d = ButtonDisplay(self, nullptr))
        return d;
    return FieldDisplay(self, nullptr);
}

} // namespace

// A new array of new filter objects: changing them changes nothing until the array is written back.
Value FiltersGet(Machine& m, const Value& self, const Value*, int)
{
    const plugin::DisplayObject* d = ClipOrButton(m, self);
    if (!d)
        return Value();
    ArrayObject* list = m.newArray();
    const Value keep(static_cast<Object*>(list));
    m.m_Temporaries.push_back(keep); // the array lives while the filter objects are made
    for (const plugin::Filter& f : d->filters) {
        const Value o = ObjectFromFilter(m, f);
        if (o.isObject())
            list->m_Items.push_back(o);
    }
    m.m_Temporaries.pop_back();
    return keep;
}

// An array of filter objects replaces the list (copied: later changes to the objects do not show); elements that
// are no filters are left out. Anything else than an array-like object leaves the list as it was.
Value FiltersSet(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::DisplayObject* d = ClipOrButton(m, self);
    const Value v = Arg(args, argc, 0);
    if (!d || !v.isObject())
        return Value();
    const double n = m.toNumber(m.getMember(v, "length"));
    const size_t count = std::isfinite(n) && n > 0 ? size_t(std::min(n, 4096.0)) : 0;
    std::vector<plugin::Filter> filters;
    for (size_t i = 0; i < count && !m.unwinding(); ++i) {
        plugin::Filter f;
        if (FilterFromObject(m.getMember(v, std::to_string(i)), f))
            filters.push_back(std::move(f));
    }
    if (!m.unwinding())
        d->filters = std::move(filters);
    return Value();
}

void InstallDisplayEffects(Machine& m)
{
    constexpr uint16_t flags = kDontEnum | kDontDelete | kOnlySwf8;
    DefineAccessor(m, m.m_ClipProto, "cacheAsBitmap", CacheGet, CacheSet, flags);
    DefineAccessor(m, m.m_ClipProto, "opaqueBackground", BackgroundGet, BackgroundSet, flags);
    DefineAccessor(m, m.m_ClipProto, "blendMode", BlendGet, BlendSet, flags);
    DefineAccessor(m, m.m_ClipProto, "scrollRect", ScrollGet, ScrollSet, flags);
    DefineAccessor(m, m.m_ClipProto, "filters", FiltersGet, FiltersSet, flags);
    DefineAccessor(m, CurrentPrototype(m, "Button"), "filters", FiltersGet, FiltersSet, flags);
}

} // namespace reelfinch::avm1
