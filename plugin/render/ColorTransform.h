// Colour transforms as the display list composes them: each component is multiplied, then offset.
#pragma once

#include <algorithm>
#include <cstdint>

class CCXFormItem;

namespace reelfinch::plugin {

struct RGBA {
    double r = 0, g = 0, b = 0, a = 1; // 0 to 1
};

struct ColorTransform {
    double mr = 1, mg = 1, mb = 1, ma = 1; // multipliers
    double ar = 0, ag = 0, ab = 0, aa = 0; // offsets, in the 0 to 1 range

    static ColorTransform fromItem(const CCXFormItem* item);

    bool isIdentity() const
    {
        return mr == 1 && mg == 1 && mb == 1 && ma == 1 && ar == 0 && ag == 0 && ab == 0 && aa == 0;
    }
    // This transform applied after `inner`.
    ColorTransform after(const ColorTransform& inner) const
    {
        ColorTransform t;
        t.mr = mr * inner.mr;
        t.mg = mg * inner.mg;
        t.mb = mb * inner.mb;
        t.ma = ma * inner.ma;
        t.ar = mr * inner.ar + ar;
        t.ag = mg * inner.ag + ag;
        t.ab = mb * inner.ab + ab;
        t.aa = ma * inner.aa + aa;
        return t;
    }
    RGBA apply(const RGBA& c) const
    {
        return { std::clamp(c.r * mr + ar, 0.0, 1.0), std::clamp(c.g * mg + ag, 0.0, 1.0),
            std::clamp(c.b * mb + ab, 0.0, 1.0), std::clamp(c.a * ma + aa, 0.0, 1.0) };
    }
};

} // namespace reelfinch::plugin
