// Color: a script's handle on a clip's colour transform. Multipliers are kept as the player keeps them, in 8.8
// fixed point (so percentages round to 1/256 and wrap at 16 bits), offsets as 16-bit integers.
#include "avm1/builtins/NativeData.h"

#include "timeline/MoviePlayer.h"

#include <cmath>

namespace reelfinch::avm1 {

namespace {

int16_t Wrap16(double v)
{
    if (!std::isfinite(v))
        return 0;
    return int16_t(uint16_t(int64_t(std::fmod(std::trunc(v), 65536.0))));
}

// The clip or button the colour object targets, or null when it names none.
plugin::DisplayObject* Target(Machine& m, const Value& self)
{
    Value target = m.getMember(self, "target");
    if (IsButtonObject(target))
        return ButtonDisplay(target, nullptr);
    plugin::SpriteInstance* sprite = m.spriteOf(target);
    if (!sprite && target.isString()) {
        Object* clip = m.resolveTarget(m.rootClip(), target.str());
        if (clip && IsButtonObject(Value(clip)))
            return ButtonDisplay(Value(clip), nullptr);
        sprite = clip ? m.spriteOf(Value(clip)) : nullptr;
    }
    // A root or level answers nothing here.
    return sprite && sprite->parent ? sprite->display : nullptr;
}

// The transform's parts in the player's units: multipliers in 1/256, offsets in colour units.
struct Fixed {
    int16_t m[4];
    int16_t a[4];
};

Fixed Read(const plugin::ColorTransform& t)
{
    Fixed f {};
    const double mults[4] = { t.mr, t.mg, t.mb, t.ma };
    const double adds[4] = { t.ar, t.ag, t.ab, t.aa };
    for (int i = 0; i < 4; ++i) {
        f.m[i] = Wrap16(std::round(mults[i] * 256));
        f.a[i] = Wrap16(std::round(adds[i] * 255));
    }
    return f;
}

void Write(plugin::ColorTransform& t, const Fixed& f)
{
    t.mr = f.m[0] / 256.0;
    t.mg = f.m[1] / 256.0;
    t.mb = f.m[2] / 256.0;
    t.ma = f.m[3] / 256.0;
    t.ar = f.a[0] / 255.0;
    t.ag = f.a[1] / 255.0;
    t.ab = f.a[2] / 255.0;
    t.aa = f.a[3] / 255.0;
}

Value ColorConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (self.isObject()) {
        m.define(self.asObject(), "target", Arg(args, argc, 0));
        LockMembers(self.asObject());
    }
    return Value();
}

Value GetRGB(Machine& m, const Value& self, const Value*, int)
{
    plugin::DisplayObject* d = Target(m, self);
    if (!d)
        return Value();
    const Fixed f = Read(d->colorTransform);
    return Value(double(int32_t(f.a[0]) << 16 | int32_t(f.a[1]) << 8 | int32_t(f.a[2])));
}

Value SetRGB(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::DisplayObject* d = Target(m, self);
    if (!d || argc < 1)
        return Value();
    const int32_t rgb = m.toInt32(args[0]);
    Fixed f = Read(d->colorTransform);
    f.m[0] = f.m[1] = f.m[2] = 0;
    f.a[0] = int16_t((rgb >> 16) & 0xFF);
    f.a[1] = int16_t((rgb >> 8) & 0xFF);
    f.a[2] = int16_t(rgb & 0xFF);
    Write(d->colorTransform, f);
    d->scriptMoved = true;
    return Value();
}

constexpr const char* kMultNames[4] = { "ra", "ga", "ba", "aa" };
constexpr const char* kAddNames[4] = { "rb", "gb", "bb", "ab" };

Value GetTransform(Machine& m, const Value& self, const Value*, int)
{
    plugin::DisplayObject* d = Target(m, self);
    if (!d)
        return Value();
    const Fixed f = Read(d->colorTransform);
    Object* o = m.newObject();
    for (int i = 0; i < 4; ++i) {
        m.setMember(Value(o), kMultNames[i], Value(f.m[i] * 100.0 / 256.0));
        m.setMember(Value(o), kAddNames[i], Value(double(f.a[i])));
    }
    return Value(o);
}

Value SetTransform(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::DisplayObject* d = Target(m, self);
    if (!d || argc < 1 || !args[0].isObject())
        return Value();
    Fixed f = Read(d->colorTransform);
    Object* o = args[0].asObject();
    for (int i = 0; i < 4; ++i) {
        // Only the object's own fields count, not what its prototypes hold.
        if (m.hasOwnProperty(o, kMultNames[i]))
            f.m[i] = Wrap16(m.toNumber(m.getMember(args[0], kMultNames[i])) * 2.56);
        if (m.hasOwnProperty(o, kAddNames[i]))
            f.a[i] = Wrap16(m.toNumber(m.getMember(args[0], kAddNames[i])));
    }
    // The target may have gone while the getters ran.
    if ((d = Target(m, self))) {
        Write(d->colorTransform, f);
        // Like a change of its place, a change of its colour by a script ends the timeline's hold on the clip.
        d->scriptMoved = true;
    }
    return Value();
}

} // namespace

void InstallColorClass(Machine& m)
{
    Object* proto = m.newObject();
    DefineClass(m, "Color", ColorConstruct, nullptr, proto);
    DefineMethods(m, proto,
        {
            { "getRGB", GetRGB },
            { "setRGB", SetRGB },
            { "getTransform", GetTransform },
            { "setTransform", SetTransform },
        });
}

} // namespace reelfinch::avm1
