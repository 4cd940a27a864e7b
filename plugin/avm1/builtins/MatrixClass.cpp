// flash.geom.Matrix: a 2D affine matrix kept in plain properties a, b, c, d, tx and ty (scripts read and write
// them directly), with the usual operations. A point (x, y) maps to (a x + c y + tx, b x + d y + ty).
// flash.geom.Transform: a clip's matrix and colour transform as those objects, alone and concatenated with the
// clip's parents, and MovieClip's `transform` property.
#include "avm1/builtins/NativeData.h"

#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace reelfinch::avm1 {

namespace {

constexpr const char* kFields[6] = { "a", "b", "c", "d", "tx", "ty" };
// A gradient box's size over this is the scale of the gradient square.
constexpr double kGradientBoxUnit = 1638.4;

struct Parts {
    double v[6] = { 1, 0, 0, 1, 0, 0 };
};

Parts Read(Machine& m, const Value& o)
{
    Parts p;
    for (int i = 0; i < 6; ++i)
        p.v[i] = m.toNumber(m.getMember(o, kFields[i]));
    return p;
}

void Write(Machine& m, const Value& o, const Parts& p)
{
    for (int i = 0; i < 6; ++i)
        m.setMember(o, kFields[i], Value(p.v[i]));
}

// `x` then `y`: the matrix that applies x first.
Parts Then(const Parts& x, const Parts& y)
{
    const double* a = x.v;
    const double* b = y.v;
    return { { a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
        a[2] * b[1] + a[3] * b[3], a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5] } };
}

Value NewPoint(Machine& m, double x, double y)
{
    Object* p = m.newObject(CurrentPrototype(m, "__flashGeomPoint"));
    m.setMember(Value(p), "x", Value(x));
    m.setMember(Value(p), "y", Value(y));
    return Value(p);
}

Value Construct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    Parts p;
    if (argc > 0)
        for (int i = 0; i < 6; ++i)
            p.v[i] = m.toNumber(Arg(args, argc, i));
    Write(m, self, p);
    return Value();
}

Value ToString(Machine& m, const Value& self, const Value*, int)
{
    std::string text = "(";
    for (int i = 0; i < 6; ++i) {
        if (i)
            text += ", ";
        text += std::string(kFields[i]) + "=" + m.toString(m.getMember(self, kFields[i]));
    }
    return Value(m.str(text + ")"));
}

Value Clone(Machine& m, const Value& self, const Value*, int)
{
    Object* copy = m.newObject(CurrentPrototype(m, "__flashGeomMatrix"));
    for (const char* field : kFields)
        m.setMember(Value(copy), field, m.getMember(self, field));
    return Value(copy);
}

Value Concat(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc > 0 && args[0].isObject())
        Write(m, self, Then(Read(m, self), Read(m, args[0])));
    return Value();
}

Value Identity(Machine& m, const Value& self, const Value*, int)
{
    Write(m, self, Parts {});
    return Value();
}

Value Invert(Machine& m, const Value& self, const Value*, int)
{
    const Parts p = Read(m, self);
    const double det = p.v[0] * p.v[3] - p.v[1] * p.v[2];
    Parts r;
    r.v[0] = p.v[3] / det;
    r.v[1] = -p.v[1] / det;
    r.v[2] = -p.v[2] / det;
    r.v[3] = p.v[0] / det;
    r.v[4] = -(r.v[0] * p.v[4] + r.v[2] * p.v[5]);
    r.v[5] = -(r.v[1] * p.v[4] + r.v[3] * p.v[5]);
    Write(m, self, r);
    return Value();
}

Value Rotate(Machine& m, const Value& self, const Value* args, int argc)
{
    const double r = m.toNumber(Arg(args, argc, 0));
    const Parts turn { { std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0 } };
    Write(m, self, Then(Read(m, self), turn));
    return Value();
}

Value Scale(Machine& m, const Value& self, const Value* args, int argc)
{
    const Parts by { { m.toNumber(Arg(args, argc, 0)), 0, 0, m.toNumber(Arg(args, argc, 1)), 0, 0 } };
    Write(m, self, Then(Read(m, self), by));
    return Value();
}

Value Translate(Machine& m, const Value& self, const Value* args, int argc)
{
    Parts p = Read(m, self);
    p.v[4] += m.toNumber(Arg(args, argc, 0));
    p.v[5] += m.toNumber(Arg(args, argc, 1));
    Write(m, self, p);
    return Value();
}

// createBox(scaleX, scaleY, rotation, tx, ty): scaled, then rotated, then moved.
Value CreateBox(Machine& m, const Value& self, const Value* args, int argc)
{
    const double sx = m.toNumber(Arg(args, argc, 0));
    const double sy = m.toNumber(Arg(args, argc, 1));
    const double r = argc > 2 ? m.toNumber(args[2]) : 0.0;
    const double tx = argc > 3 ? m.toNumber(args[3]) : 0.0;
    const double ty = argc > 4 ? m.toNumber(args[4]) : 0.0;
    Write(m, self, { { std::cos(r) * sx, std::sin(r) * sy, -std::sin(r) * sx, std::cos(r) * sy, tx, ty } });
    return Value();
}

// createGradientBox(width, height, rotation, tx, ty): the gradient square fitted to the box.
Value CreateGradientBox(Machine& m, const Value& self, const Value* args, int argc)
{
    const double w = m.toNumber(Arg(args, argc, 0)) / kGradientBoxUnit;
    const double h = m.toNumber(Arg(args, argc, 1)) / kGradientBoxUnit;
    const double r = argc > 2 ? m.toNumber(args[2]) : 0.0;
    const double tx = (argc > 3 ? m.toNumber(args[3]) : 0.0) + m.toNumber(Arg(args, argc, 0)) / 2;
    const double ty = (argc > 4 ? m.toNumber(args[4]) : 0.0) + m.toNumber(Arg(args, argc, 1)) / 2;
    Write(m, self, { { std::cos(r) * w, std::sin(r) * h, -std::sin(r) * w, std::cos(r) * h, tx, ty } });
    return Value();
}

Value TransformPointBy(Machine& m, const Value& self, const Value* args, int argc, bool move)
{
    const Value point = Arg(args, argc, 0);
    const Parts p = Read(m, self);
    const double x = m.toNumber(m.getMember(point, "x"));
    const double y = m.toNumber(m.getMember(point, "y"));
    return NewPoint(m, p.v[0] * x + p.v[2] * y + (move ? p.v[4] : 0), p.v[1] * x + p.v[3] * y + (move ? p.v[5] : 0));
}

Value TransformPoint(Machine& m, const Value& self, const Value* args, int argc)
{
    return TransformPointBy(m, self, args, argc, true);
}

Value DeltaTransformPoint(Machine& m, const Value& self, const Value* args, int argc)
{
    return TransformPointBy(m, self, args, argc, false);
}

// ---- Transform ----

constexpr double kTwips = 20.0;
// The clip a Transform stands for, kept as native state (no member a script could see or change), so that a
// subclass's constructor calling super(clip) makes its object a Transform too.
class TransformState final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        heap.mark(clip);
    }
    Value clip;
};

plugin::SpriteInstance* TransformClip(Machine& m, const Value& self)
{
    TransformState* t = NativeOf<TransformState>(self);
    return t ? m.spriteOf(t->clip) : nullptr;
}

bool IsInstance(Machine& m, const Value& v, const char* hiddenClass)
{
    Value ctor = m.getMember(Value(m.m_Internal), hiddenClass);
    return v.isObject() && ctor.isObject() && m.instanceOf(v.asObject(), ctor.asObject());
}

Value MatrixValue(Machine& m, const cairo_matrix_t& t)
{
    const Value parts[6] = { Value(t.xx), Value(t.yx), Value(t.xy), Value(t.yy), Value(t.x0 / kTwips),
        Value(t.y0 / kTwips) };
    return m.construct(m.getMember(Value(m.m_Internal), "__flashGeomMatrix"), parts, 6);
}

Value ColorValue(Machine& m, const plugin::ColorTransform& c)
{
    const Value parts[8] = { Value(c.mr), Value(c.mg), Value(c.mb), Value(c.ma), Value(c.ar * 255), Value(c.ag * 255),
        Value(c.ab * 255), Value(c.aa * 255) };
    return m.construct(m.getMember(Value(m.m_Internal), "__flashGeomColorTransform"), parts, 8);
}

// new Transform(clip); without a clip it makes nothing.
Value TransformConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc < 1 || !m.spriteOf(args[0]))
        return Value::null();
    if (self.isObject())
        AttachNative<TransformState>(m, self.asObject())->clip = args[0];
    return Value();
}

// The player keeps a colour transform in 16 bits a component: multipliers in 8.8 fixed point, offsets whole.
// Composing transforms of a clip's ancestors wraps what leaves that range.
double Wrap16(double v)
{
    if (!std::isfinite(v))
        return 0;
    const auto whole = static_cast<int64_t>(std::clamp(std::round(v), -1e15, 1e15));
    return double(static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(whole) & 0xFFFF)));
}

plugin::ColorTransform Stored(const plugin::ColorTransform& c)
{
    plugin::ColorTransform t;
    double* multipliers[] = { &t.mr, &t.mg, &t.mb, &t.ma };
    double* offsets[] = { &t.ar, &t.ag, &t.ab, &t.aa };
    const double from[8] = { c.mr, c.mg, c.mb, c.ma, c.ar, c.ag, c.ab, c.aa };
    for (int i = 0; i < 4; ++i) {
        *multipliers[i] = Wrap16(from[i] * 256) / 256;
        *offsets[i] = Wrap16(from[4 + i] * 255) / 255;
    }
    return t;
}

Value GetMatrix(Machine& m, const Value& self, const Value*, int)
{
    plugin::SpriteInstance* s = TransformClip(m, self);
    return s && s->display ? MatrixValue(m, s->display->matrix) : Value();
}

Value SetMatrix(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::SpriteInstance* s = TransformClip(m, self);
    if (!s || !s->display || argc < 1 || !IsInstance(m, args[0], "__flashGeomMatrix"))
        return Value();
    const Parts p = Read(m, args[0]);
    for (double v : p.v)
        if (!std::isfinite(v))
            return Value();
    cairo_matrix_init(&s->display->matrix, p.v[0], p.v[1], p.v[2], p.v[3], p.v[4] * kTwips, p.v[5] * kTwips);
    s->display->scriptMoved = true;
    return Value();
}

Value GetColor(Machine& m, const Value& self, const Value*, int)
{
    plugin::SpriteInstance* s = TransformClip(m, self);
    return s && s->display ? ColorValue(m, s->display->colorTransform) : Value();
}

Value SetColor(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::SpriteInstance* s = TransformClip(m, self);
    if (!s || !s->display || argc < 1 || !IsInstance(m, args[0], "__flashGeomColorTransform"))
        return Value();
    double v[8];
    constexpr const char* kNames[8] = { "redMultiplier", "greenMultiplier", "blueMultiplier", "alphaMultiplier",
        "redOffset", "greenOffset", "blueOffset", "alphaOffset" };
    for (int i = 0; i < 8; ++i) {
        v[i] = m.toNumber(m.getMember(args[0], kNames[i]));
        if (!std::isfinite(v[i]))
            v[i] = 0;
    }
    plugin::ColorTransform& c = s->display->colorTransform;
    c.mr = v[0];
    c.mg = v[1];
    c.mb = v[2];
    c.ma = v[3];
    c.ar = v[4] / 255;
    c.ag = v[5] / 255;
    c.ab = v[6] / 255;
    c.aa = v[7] / 255;
    return Value();
}

Value GetConcatenatedMatrix(Machine& m, const Value& self, const Value*, int)
{
    plugin::SpriteInstance* s = TransformClip(m, self);
    return s ? MatrixValue(m, m.player().stageMatrix(*s)) : Value();
}

Value GetConcatenatedColor(Machine& m, const Value& self, const Value*, int)
{
    plugin::SpriteInstance* s = TransformClip(m, self);
    if (!s)
        return Value();
    plugin::ColorTransform all;
    for (plugin::SpriteInstance* at = s; at && at->display; at = at->parent)
        all = Stored(at->display->colorTransform.after(all));
    return ColorValue(m, all);
}

Value GetPixelBounds(Machine& m, const Value& self, const Value*, int)
{
    plugin::SpriteInstance* s = TransformClip(m, self);
    if (!s)
        return Value();
    double box[4] = { 1e300, 1e300, -1e300, -1e300 };
    Value parts[4] = { Value(0.0), Value(0.0), Value(0.0), Value(0.0) };
    if (m.player().spriteBounds(*s, m.player().stageMatrix(*s), box)) {
        parts[0] = Value(std::round(box[0] / kTwips));
        parts[1] = Value(std::round(box[1] / kTwips));
        parts[2] = Value(std::round((box[2] - box[0]) / kTwips));
        parts[3] = Value(std::round((box[3] - box[1]) / kTwips));
    }
    return m.construct(m.getMember(Value(m.m_Internal), "__flashGeomRectangle"), parts, 4);
}

// MovieClip's `transform`: a fresh Transform of the clip; set from another Transform, the clip takes that
// clip's matrix and colour transform.
Value ClipTransform(Machine& m, const Value& self, const Value*, int)
{
    if (!m.spriteOf(self))
        return Value();
    return m.construct(m.getMember(Value(m.m_Internal), "__flashGeomTransform"), &self, 1);
}

Value SetClipTransform(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::SpriteInstance* s = m.spriteOf(self);
    plugin::SpriteInstance* from = argc > 0 ? TransformClip(m, args[0]) : nullptr;
    if (!s || !s->display || !from || !from->display)
        return Value();
    s->display->matrix = from->display->matrix;
    s->display->colorTransform = from->display->colorTransform;
    s->display->scriptMoved = true;
    return Value();
}

} // namespace

void InstallMatrixClass(Machine& m, Object* geomPackage)
{
    Object* transformProto = m.newObject();
    FunctionObject* transform = DefineClass(
        m, "__flashGeomTransform", TransformConstruct, TransformConstruct, transformProto, m.m_Internal);
    m.define(geomPackage, "Transform", Value(static_cast<Object*>(transform)));
    DefineAccessor(m, transformProto, "matrix", GetMatrix, SetMatrix);
    DefineAccessor(m, transformProto, "colorTransform", GetColor, SetColor);
    DefineAccessor(m, transformProto, "concatenatedMatrix", GetConcatenatedMatrix, nullptr);
    DefineAccessor(m, transformProto, "concatenatedColorTransform", GetConcatenatedColor, nullptr);
    DefineAccessor(m, transformProto, "pixelBounds", GetPixelBounds, nullptr);
    DefineAccessor(m, m.m_ClipProto, "transform", ClipTransform, SetClipTransform, kDontEnum | kDontDelete | kOnlySwf8);

    Object* proto = m.newObject();
    FunctionObject* f = DefineClass(m, "__flashGeomMatrix", Construct, nullptr, proto, m.m_Internal);
    m.define(geomPackage, "Matrix", Value(static_cast<Object*>(f)));
    DefineMethods(m, proto,
        {
            { "toString", ToString },
            { "clone", Clone },
            { "concat", Concat },
            { "identity", Identity },
            { "invert", Invert },
            { "rotate", Rotate },
            { "scale", Scale },
            { "translate", Translate },
            { "createBox", CreateBox },
            { "createGradientBox", CreateGradientBox },
            { "transformPoint", TransformPoint },
            { "deltaTransformPoint", DeltaTransformPoint },
        });
}

} // namespace reelfinch::avm1
