// flash.geom.Point and flash.geom.Rectangle: plain objects with x/y (and width/height) properties and methods
// that read them through ordinary property access, so objects that merely look like points work where the
// player lets them.
#include "avm1/builtins/BitmapData.h"
#include "avm1/builtins/NativeData.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::avm1 {

namespace {

Value Get(Machine& m, const Value& o, const char* name)
{
    return m.getMember(o, name);
}

double Num(Machine& m, const Value& o, const char* name)
{
    return m.toNumber(m.getMember(o, name));
}

Value NewPoint(Machine& m, const Value& x, const Value& y)
{
    Object* p = m.newObject(CurrentPrototype(m, "__flashGeomPoint"));
    m.setMember(Value(p), "x", x);
    m.setMember(Value(p), "y", y);
    return Value(p);
}

bool IsPoint(Machine& m, const Value& v)
{
    Value ctor = m.getMember(Value(m.m_Internal), "__flashGeomPoint");
    return v.isObject() && ctor.isObject() && m.instanceOf(v.asObject(), ctor.asObject());
}

Value PointConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    m.setMember(self, "x", argc > 0 ? args[0] : Value(0));
    m.setMember(self, "y", argc > 0 ? Arg(args, argc, 1) : Value(0));
    return Value();
}

Value PointToString(Machine& m, const Value& self, const Value*, int)
{
    return Value(m.str("(x=" + m.toString(Get(m, self, "x")) + ", y=" + m.toString(Get(m, self, "y")) + ")"));
}

Value PointAdd(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value o = Arg(args, argc, 0);
    return NewPoint(m, Value(Num(m, self, "x") + Num(m, o, "x")), Value(Num(m, self, "y") + Num(m, o, "y")));
}

Value PointSubtract(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value o = Arg(args, argc, 0);
    return NewPoint(m, Value(Num(m, self, "x") - Num(m, o, "x")), Value(Num(m, self, "y") - Num(m, o, "y")));
}

Value PointEquals(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value o = Arg(args, argc, 0);
    if (!IsPoint(m, o))
        return Value(false);
    return Value(m.looseEquals(Get(m, self, "x"), Get(m, o, "x")) && m.looseEquals(Get(m, self, "y"), Get(m, o, "y")));
}

Value PointClone(Machine& m, const Value& self, const Value*, int)
{
    return NewPoint(m, Get(m, self, "x"), Get(m, self, "y"));
}

Value PointLength(Machine& m, const Value& self, const Value*, int)
{
    return Value(std::hypot(Num(m, self, "x"), Num(m, self, "y")));
}

Value PointNormalize(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value x = Get(m, self, "x");
    const Value y = Get(m, self, "y");
    // Only numeric coordinates are scaled; a point of other values stays as it is.
    if (!x.isNumber() || !y.isNumber())
        return Value();
    const double length = std::hypot(x.asNumber(), y.asNumber());
    if (!(length > 0))
        return Value();
    const double factor = m.toNumber(Arg(args, argc, 0)) / length;
    m.setMember(self, "x", Value(x.asNumber() * factor));
    m.setMember(self, "y", Value(y.asNumber() * factor));
    return Value();
}

Value PointOffset(Machine& m, const Value& self, const Value* args, int argc)
{
    m.setMember(self, "x", Value(Num(m, self, "x") + m.toNumber(Arg(args, argc, 0))));
    m.setMember(self, "y", Value(Num(m, self, "y") + m.toNumber(Arg(args, argc, 1))));
    return Value();
}

Value PointDistance(Machine& m, const Value&, const Value* args, int argc)
{
    const Value a = Arg(args, argc, 0);
    if (!IsPoint(m, a))
        return Value();
    const Value b = Arg(args, argc, 1);
    return Value(std::hypot(Num(m, a, "x") - Num(m, b, "x"), Num(m, a, "y") - Num(m, b, "y")));
}

Value PointInterpolate(Machine& m, const Value&, const Value* args, int argc)
{
    const Value a = Arg(args, argc, 0);
    const Value b = Arg(args, argc, 1);
    const double f = m.toNumber(Arg(args, argc, 2));
    const double bx = Num(m, b, "x");
    const double by = Num(m, b, "y");
    return NewPoint(m, Value(bx + f * (Num(m, a, "x") - bx)), Value(by + f * (Num(m, a, "y") - by)));
}

Value PointPolar(Machine& m, const Value&, const Value* args, int argc)
{
    const double length = m.toNumber(Arg(args, argc, 0));
    const double angle = m.toNumber(Arg(args, argc, 1));
    return NewPoint(m, Value(length * std::cos(angle)), Value(length * std::sin(angle)));
}

// ---- Rectangle ----

void SetRect(Machine& m, const Value& r, const Value& x, const Value& y, const Value& w, const Value& h)
{
    m.setMember(r, "x", x);
    m.setMember(r, "y", y);
    m.setMember(r, "width", w);
    m.setMember(r, "height", h);
}

Value NewRect(Machine& m, double x, double y, double w, double h)
{
    Object* r = m.newObject(CurrentPrototype(m, "__flashGeomRectangle"));
    SetRect(m, Value(r), Value(x), Value(y), Value(w), Value(h));
    return Value(r);
}

Value RectConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    if (argc == 0)
        SetRect(m, self, Value(0), Value(0), Value(0), Value(0));
    else
        SetRect(m, self, args[0], Arg(args, argc, 1), Arg(args, argc, 2), Arg(args, argc, 3));
    return Value();
}

Value RectToString(Machine& m, const Value& self, const Value*, int)
{
    return Value(m.str("(x=" + m.toString(Get(m, self, "x")) + ", y=" + m.toString(Get(m, self, "y"))
        + ", w=" + m.toString(Get(m, self, "width")) + ", h=" + m.toString(Get(m, self, "height")) + ")"));
}

Value RectClone(Machine& m, const Value& self, const Value*, int)
{
    Object* r = m.newObject(CurrentPrototype(m, "__flashGeomRectangle"));
    SetRect(m, Value(r), Get(m, self, "x"), Get(m, self, "y"), Get(m, self, "width"), Get(m, self, "height"));
    return Value(r);
}

Value RectIsEmpty(Machine& m, const Value& self, const Value*, int)
{
    return Value(!(Num(m, self, "width") > 0) || !(Num(m, self, "height") > 0));
}

Value RectSetEmpty(Machine& m, const Value& self, const Value*, int)
{
    SetRect(m, self, Value(0), Value(0), Value(0), Value(0));
    return Value();
}

Value RectContains(Machine& m, const Value& self, const Value* args, int argc)
{
    const double px = m.toNumber(Arg(args, argc, 0));
    const double py = m.toNumber(Arg(args, argc, 1));
    const double x = Num(m, self, "x"), y = Num(m, self, "y");
    return Value(px >= x && py >= y && px < x + Num(m, self, "width") && py < y + Num(m, self, "height"));
}

Value RectContainsPoint(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value p = Arg(args, argc, 0);
    const Value xy[2] = { Get(m, p, "x"), Get(m, p, "y") };
    return RectContains(m, self, xy, 2);
}

Value RectContainsRectangle(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value o = Arg(args, argc, 0);
    const double x = Num(m, self, "x"), y = Num(m, self, "y");
    const double r = x + Num(m, self, "width"), b = y + Num(m, self, "height");
    const double ox = Num(m, o, "x"), oy = Num(m, o, "y");
    const double orr = ox + Num(m, o, "width"), ob = oy + Num(m, o, "height");
    return Value(ox >= x && oy >= y && orr <= r && ob <= b);
}

Value RectOffset(Machine& m, const Value& self, const Value* args, int argc)
{
    m.setMember(self, "x", Value(Num(m, self, "x") + m.toNumber(Arg(args, argc, 0))));
    m.setMember(self, "y", Value(Num(m, self, "y") + m.toNumber(Arg(args, argc, 1))));
    return Value();
}

Value RectInflate(Machine& m, const Value& self, const Value* args, int argc)
{
    const double dx = m.toNumber(Arg(args, argc, 0)), dy = m.toNumber(Arg(args, argc, 1));
    m.setMember(self, "x", Value(Num(m, self, "x") - dx));
    m.setMember(self, "y", Value(Num(m, self, "y") - dy));
    m.setMember(self, "width", Value(Num(m, self, "width") + 2 * dx));
    m.setMember(self, "height", Value(Num(m, self, "height") + 2 * dy));
    return Value();
}

Value RectEquals(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value o = Arg(args, argc, 0);
    Value ctor = m.getMember(Value(m.m_Internal), "__flashGeomRectangle");
    if (!o.isObject() || !ctor.isObject() || !m.instanceOf(o.asObject(), ctor.asObject()))
        return Value(false);
    for (const char* k : { "x", "y", "width", "height" })
        if (!m.looseEquals(Get(m, self, k), Get(m, o, k)))
            return Value(false);
    return Value(true);
}

Value RectIntersection(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value o = Arg(args, argc, 0);
    const double l = std::max(Num(m, self, "x"), Num(m, o, "x"));
    const double t = std::max(Num(m, self, "y"), Num(m, o, "y"));
    const double r = std::min(Num(m, self, "x") + Num(m, self, "width"), Num(m, o, "x") + Num(m, o, "width"));
    const double b = std::min(Num(m, self, "y") + Num(m, self, "height"), Num(m, o, "y") + Num(m, o, "height"));
    if (!(r > l) || !(b > t))
        return NewRect(m, 0, 0, 0, 0);
    return NewRect(m, l, t, r - l, b - t);
}

Value RectIntersects(Machine& m, const Value& self, const Value* args, int argc)
{
    Value i = RectIntersection(m, self, args, argc);
    return Value(!m.toBoolean(RectIsEmpty(m, i, nullptr, 0)));
}

Value RectUnion(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value o = Arg(args, argc, 0);
    if (m.toBoolean(RectIsEmpty(m, self, nullptr, 0)))
        return RectClone(m, o, nullptr, 0);
    if (m.toBoolean(RectIsEmpty(m, o, nullptr, 0)))
        return RectClone(m, self, nullptr, 0);
    const double l = std::min(Num(m, self, "x"), Num(m, o, "x"));
    const double t = std::min(Num(m, self, "y"), Num(m, o, "y"));
    const double r = std::max(Num(m, self, "x") + Num(m, self, "width"), Num(m, o, "x") + Num(m, o, "width"));
    const double b = std::max(Num(m, self, "y") + Num(m, self, "height"), Num(m, o, "y") + Num(m, o, "height"));
    return NewRect(m, l, t, r - l, b - t);
}

Value RectLeft(Machine& m, const Value& self, const Value*, int)
{
    return Get(m, self, "x");
}
Value RectTop(Machine& m, const Value& self, const Value*, int)
{
    return Get(m, self, "y");
}
Value RectRight(Machine& m, const Value& self, const Value*, int)
{
    return Value(Num(m, self, "x") + Num(m, self, "width"));
}
Value RectBottom(Machine& m, const Value& self, const Value*, int)
{
    return Value(Num(m, self, "y") + Num(m, self, "height"));
}
Value RectTopLeft(Machine& m, const Value& self, const Value*, int)
{
    return NewPoint(m, Get(m, self, "x"), Get(m, self, "y"));
}
Value RectBottomRight(Machine& m, const Value& self, const Value*, int)
{
    return NewPoint(m, RectRight(m, self, nullptr, 0), RectBottom(m, self, nullptr, 0));
}
Value RectSize(Machine& m, const Value& self, const Value*, int)
{
    return NewPoint(m, Get(m, self, "width"), Get(m, self, "height"));
}

// ---- ColorTransform ----

class ColorTransformState final : public NativeData
{
public:
    // Red, green, blue, alpha multipliers, then the four offsets.
    double v[8] = { 1, 1, 1, 1, 0, 0, 0, 0 };
};

constexpr const char* kTransformFields[8] = { "redMultiplier", "greenMultiplier", "blueMultiplier",
    "alphaMultiplier", "redOffset", "greenOffset", "blueOffset", "alphaOffset" };

Value TransformConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    double values[8] = { 1, 1, 1, 1, 0, 0, 0, 0 };
    if (argc > 0)
        for (int i = 0; i < 8; ++i)
            values[i] = m.toNumber(Arg(args, argc, i));
    ColorTransformState* t = AttachNative<ColorTransformState>(m, self.asObject());
    std::copy(std::begin(values), std::end(values), t->v);
    return Value();
}

template <int I> Value TransformGet(Machine&, const Value& self, const Value*, int)
{
    ColorTransformState* t = NativeOf<ColorTransformState>(self);
    return t ? Value(t->v[I]) : Value();
}

template <int I> Value TransformSet(Machine& m, const Value& self, const Value* args, int argc)
{
    const double n = m.toNumber(Arg(args, argc, 0));
    if (ColorTransformState* t = NativeOf<ColorTransformState>(self))
        t->v[I] = n;
    return Value();
}

Value TransformGetRgb(Machine&, const Value& self, const Value*, int)
{
    ColorTransformState* t = NativeOf<ColorTransformState>(self);
    if (!t)
        return Value();
    const uint32_t rgb = uint32_t(ToInt32(t->v[4])) << 16 | uint32_t(ToInt32(t->v[5])) << 8 | uint32_t(ToInt32(t->v[6]));
    return Value(double(rgb));
}

Value TransformSetRgb(Machine& m, const Value& self, const Value* args, int argc)
{
    const uint32_t rgb = ToUint32(m.toNumber(Arg(args, argc, 0)));
    if (ColorTransformState* t = NativeOf<ColorTransformState>(self)) {
        t->v[0] = t->v[1] = t->v[2] = 0;
        t->v[4] = double((rgb >> 16) & 0xFF);
        t->v[5] = double((rgb >> 8) & 0xFF);
        t->v[6] = double(rgb & 0xFF);
    }
    return Value();
}

// This transform followed by `second`: offsets of the second scaled by this one's multipliers.
Value TransformConcat(Machine&, const Value& self, const Value* args, int argc)
{
    ColorTransformState* t = NativeOf<ColorTransformState>(self);
    ColorTransformState* o = NativeOf<ColorTransformState>(Arg(args, argc, 0));
    if (!t || !o)
        return Value();
    for (int i = 0; i < 4; ++i) {
        t->v[i + 4] += o->v[i + 4] * t->v[i];
        t->v[i] *= o->v[i];
    }
    return Value();
}

Value TransformToString(Machine& m, const Value& self, const Value*, int)
{
    ColorTransformState* t = NativeOf<ColorTransformState>(self);
    if (!t)
        return Value();
    std::string out = "(";
    for (int i = 0; i < 8; ++i) {
        if (i)
            out += ", ";
        out += kTransformFields[i];
        out += '=';
        out += NumberText(t->v[i]);
    }
    return Value(m.str(out + ")"));
}

template <int... I> void DefineTransformFields(Machine& m, Object* proto, std::integer_sequence<int, I...>)
{
    // Defined in the player's order, so that enumeration (newest first) lists them as it does.
    constexpr int kOrder[8] = { 3, 0, 1, 2, 7, 4, 5, 6 };
    NativeFunction getters[8] = { TransformGet<I>... };
    NativeFunction setters[8] = { TransformSet<I>... };
    for (int i : kOrder)
        DefineAccessor(m, proto, kTransformFields[i], getters[i], setters[i], 0);
}

// The namespace object `_global.flash.geom`, made when first asked for.
Object* GeomPackage(Machine& m)
{
    Value flash = m.getMember(Value(m.m_Global), "flash");
    if (!flash.isObject()) {
        flash = Value(m.newObject());
        m.define(m.m_Global, "flash", flash);
    }
    Value geom = m.getMember(flash, "geom");
    if (!geom.isObject()) {
        geom = Value(m.newObject());
        m.define(flash.asObject(), "geom", geom);
    }
    return geom.asObject();
}

// Defines class NAME in flash.geom, and under a hidden global name so the methods find the original class.
FunctionObject* DefineGeomClass(Machine& m, const char* name, const char* hidden, NativeFunction ctor, Object* proto)
{
    FunctionObject* f = DefineClass(m, hidden, ctor, nullptr, proto, m.m_Internal);
    m.define(GeomPackage(m), name, Value(static_cast<Object*>(f)));
    return f;
}

} // namespace

void InstallGeomClasses(Machine& m)
{
    Object* pointProto = m.newObject();
    FunctionObject* point = DefineGeomClass(m, "Point", "__flashGeomPoint", PointConstruct, pointProto);
    DefineMethods(m, pointProto,
        {
            { "toString", PointToString },
            { "add", PointAdd },
            { "subtract", PointSubtract },
            { "equals", PointEquals },
            { "clone", PointClone },
            { "normalize", PointNormalize },
            { "offset", PointOffset },
        });
    DefineAccessor(m, pointProto, "length", PointLength, nullptr);
    DefineMethods(m, point,
        {
            { "distance", PointDistance },
            { "interpolate", PointInterpolate },
            { "polar", PointPolar },
        });

    Object* rectProto = m.newObject();
    DefineGeomClass(m, "Rectangle", "__flashGeomRectangle", RectConstruct, rectProto);
    DefineMethods(m, rectProto,
        {
            { "toString", RectToString },
            { "clone", RectClone },
            { "isEmpty", RectIsEmpty },
            { "setEmpty", RectSetEmpty },
            { "contains", RectContains },
            { "containsPoint", RectContainsPoint },
            { "containsRectangle", RectContainsRectangle },
            { "offset", RectOffset },
            { "inflate", RectInflate },
            { "equals", RectEquals },
            { "intersection", RectIntersection },
            { "intersects", RectIntersects },
            { "union", RectUnion },
        });
    DefineAccessor(m, rectProto, "left", RectLeft, nullptr);
    DefineAccessor(m, rectProto, "top", RectTop, nullptr);
    DefineAccessor(m, rectProto, "right", RectRight, nullptr);
    DefineAccessor(m, rectProto, "bottom", RectBottom, nullptr);
    DefineAccessor(m, rectProto, "topLeft", RectTopLeft, nullptr);
    DefineAccessor(m, rectProto, "bottomRight", RectBottomRight, nullptr);
    DefineAccessor(m, rectProto, "size", RectSize, nullptr);

    Object* transformProto = m.newObject();
    DefineGeomClass(m, "ColorTransform", "__flashGeomColorTransform", TransformConstruct, transformProto);
    DefineTransformFields(m, transformProto, std::make_integer_sequence<int, 8>());
    DefineAccessor(m, transformProto, "rgb", TransformGetRgb, TransformSetRgb, 0);
    DefineMethods(m, transformProto, { { "concat", TransformConcat, 0 }, { "toString", TransformToString, 0 } });

    InstallMatrixClass(m, GeomPackage(m));
    InstallBitmapDataClass(m);
}

} // namespace reelfinch::avm1
