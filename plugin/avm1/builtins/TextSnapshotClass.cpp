// TextSnapshot: the characters of a clip's static text (DefineText and DefineText2 on its display list, in depth
// order), read when the snapshot is made, with a selection flag per character. Scripts count, read, search and
// select them, and find the character nearest to a point.
#include "avm1/builtins/NativeData.h"

#include "render/EditText.h"
#include "render/Fonts.h"
#include "render/TextRecords.h"
#include "timeline/MoviePlayer.h"

#include "Tags.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace reelfinch::avm1 {

namespace {

constexpr double kTwips = 20.0;

// One character of static text: its code (UTF-16 unit), where its glyph box lies in the clip (twips), and
// whether it starts a new line of text (a record that moves down, or another text object).
struct SnapshotChar {
    char16_t code = 0;
    double left = 0;
    double right = 0;
    double top = 0;
    double bottom = 0;
    bool lineStart = false;
    bool selected = false;
};

class SnapshotData final : public NativeData
{
public:
    std::vector<SnapshotChar> chars;
    double selectColor = 0xFFFF00;
};

SnapshotData* SnapshotOf(const Value& self)
{
    return NativeOf<SnapshotData>(self);
}

// The characters a static text character shows, placed through its own matrix and the object's.
void ReadText(Machine& m, const CTextTag& text, const cairo_matrix_t& placed, std::vector<SnapshotChar>& out)
{
    if (!text.m_pTextRecords)
        return;
    cairo_matrix_t own { 1, 0, 0, 1, 0, 0 };
    if (const CMatrixItem* mx = text.m_pMatrix.get())
        cairo_matrix_init(&own, mx->m_ScaleX, mx->m_RotateSkew0, mx->m_RotateSkew1, mx->m_ScaleY, mx->m_TranslateX,
            mx->m_TranslateY);
    cairo_matrix_t base;
    cairo_matrix_multiply(&base, &own, &placed);
    std::vector<uint16_t> codes;
    std::optional<uint16_t> fontId;
    double lastY = std::numeric_limits<double>::quiet_NaN();
    bool first = true;
    plugin::ForEachGlyph(text, [&](const plugin::TextGlyph& g) {
        if (g.hasFont && fontId != g.fontId) {
            fontId = g.fontId;
            codes = plugin::FontCodes(m.player().character(g.fontId));
        }
        if (g.index >= codes.size())
            return true;
        SnapshotChar c;
        c.code = char16_t(codes[g.index]);
        c.lineStart = first || g.y != lastY;
        first = false;
        lastY = g.y;
        // The glyph's box: its advance wide, from the baseline up by the text height.
        const double xs[2] = { g.x, g.x + g.advance };
        const double ys[2] = { g.y - g.height, g.y };
        c.left = c.top = std::numeric_limits<double>::infinity();
        c.right = c.bottom = -std::numeric_limits<double>::infinity();
        for (double px : xs)
            for (double py : ys) {
                double tx = px;
                double ty = py;
                cairo_matrix_transform_point(&base, &tx, &ty);
                c.left = std::min(c.left, tx);
                c.right = std::max(c.right, tx);
                c.top = std::min(c.top, ty);
                c.bottom = std::max(c.bottom, ty);
            }
        out.push_back(c);
        return true;
    });
}

// The static text of a clip's own display list, in depth order.
std::vector<SnapshotChar> ReadClip(Machine& m, plugin::SpriteInstance& sprite)
{
    std::vector<SnapshotChar> chars;
    for (const auto& [depth, object] : sprite.displayList) {
        if (object.sprite || object.field)
            continue;
        const auto* text = dynamic_cast<const CTextTag*>(m.player().character(sprite, object.characterId));
        if (!text)
            continue;
        const size_t before = chars.size();
        ReadText(m, *text, object.matrix, chars);
        if (before < chars.size())
            chars[before].lineStart = true;
    }
    return chars;
}

char16_t Fold(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return char16_t(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return char16_t(c + 32);
    return c;
}

// An index argument as an integer; NaN reads 0.
int Index(Machine& m, const Value& v)
{
    const double n = m.toNumber(v);
    if (!std::isfinite(n))
        return std::isnan(n) ? 0 : (n > 0 ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min());
    return int(std::clamp(std::trunc(n), -2147483648.0, 2147483647.0));
}

// The range [begin, end) two index arguments name within `count` characters: `end` is clamped to the text, and an
// end at or before the beginning still takes the character at the beginning.
bool IndexRange(Machine& m, const Value& a, const Value& b, size_t count, size_t& begin, size_t& end)
{
    const int first = std::max(0, Index(m, a));
    const int last = Index(m, b);
    if (size_t(first) >= count)
        return false;
    begin = size_t(first);
    end = last <= first ? begin + 1 : std::min(count, size_t(last));
    return true;
}

std::u16string Characters(const SnapshotData& d, size_t begin, size_t end, bool lineEndings, bool onlySelected)
{
    std::u16string out;
    bool any = false;
    for (size_t i = begin; i < end && i < d.chars.size(); ++i) {
        const SnapshotChar& c = d.chars[i];
        if (onlySelected && !c.selected)
            continue;
        if (lineEndings && any && c.lineStart)
            out.push_back(u'\n');
        out.push_back(c.code);
        any = true;
    }
    return out;
}

Value Construct(Machine& m, const Value& self, const Value* args, int argc)
{
    // Only a snapshot of one clip is made: other arguments leave a plain object whose methods answer nothing.
    plugin::SpriteInstance* sprite = argc == 1 ? m.spriteOf(args[0]) : nullptr;
    if (!self.isObject() || !sprite)
        return Value();
    AttachNative<SnapshotData>(m, self.asObject())->chars = ReadClip(m, *sprite);
    return Value();
}

Value GetCount(Machine&, const Value& self, const Value*, int)
{
    SnapshotData* d = SnapshotOf(self);
    return d ? Value(double(d->chars.size())) : Value();
}

// findText(start, text, caseSensitive): the first index from `start` where the text begins, or -1.
Value FindText(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!SnapshotOf(self) || argc != 3)
        return Value();
    const int start = Index(m, args[0]);
    const std::u16string wanted = plugin::ToUtf16(m.toString(args[1]));
    const bool exact = m.toBoolean(args[2]);
    SnapshotData* d = SnapshotOf(self);
    if (!d)
        return Value();
    const size_t count = d->chars.size();
    if (wanted.empty() || start < 0 || size_t(start) > count || wanted.size() > count)
        return Value(-1.0);
    for (size_t i = size_t(start); i + wanted.size() <= count; ++i) {
        size_t k = 0;
        for (; k < wanted.size(); ++k) {
            const char16_t a = d->chars[i + k].code;
            const char16_t b = wanted[k];
            if (exact ? a != b : Fold(a) != Fold(b))
                break;
        }
        if (k == wanted.size())
            return Value(double(i));
    }
    return Value(-1.0);
}

// getText(start, end, includeLineEndings)
Value GetText(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!SnapshotOf(self) || argc < 2)
        return Value();
    const bool lineEndings = m.toBoolean(Arg(args, argc, 2));
    SnapshotData* d = SnapshotOf(self);
    size_t begin = 0;
    size_t end = 0;
    if (!d || !IndexRange(m, args[0], args[1], d->chars.size(), begin, end))
        return Value(m.emptyString());
    return Value(m.str(plugin::ToUtf8(Characters(*d, begin, end, lineEndings, false))));
}

// getSelected(start, end): whether any character of the range is selected.
Value GetSelected(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!SnapshotOf(self) || argc < 2)
        return Value();
    SnapshotData* d = SnapshotOf(self);
    size_t begin = 0;
    size_t end = 0;
    if (!d || !IndexRange(m, args[0], args[1], d->chars.size(), begin, end))
        return Value(false);
    for (size_t i = begin; i < end; ++i)
        if (d->chars[i].selected)
            return Value(true);
    return Value(false);
}

// setSelected(start, end, select)
Value SetSelected(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!SnapshotOf(self) || argc < 3)
        return Value();
    const bool select = m.toBoolean(args[2]);
    SnapshotData* d = SnapshotOf(self);
    size_t begin = 0;
    size_t end = 0;
    if (!d || !IndexRange(m, args[0], args[1], d->chars.size(), begin, end))
        return Value();
    for (size_t i = begin; i < end; ++i)
        d->chars[i].selected = select;
    return Value();
}

// getSelectedText(includeLineEndings)
Value GetSelectedText(Machine& m, const Value& self, const Value* args, int argc)
{
    SnapshotData* d = SnapshotOf(self);
    if (!d)
        return Value();
    const bool lineEndings = m.toBoolean(Arg(args, argc, 0));
    if (!(d = SnapshotOf(self)))
        return Value();
    return Value(m.str(plugin::ToUtf8(Characters(*d, 0, d->chars.size(), lineEndings, true))));
}

// hitTestTextNearPos(x, y, maxDistance): the character whose box lies nearest the point (clip pixels), within
// the distance when one is given; -1 when none does.
Value HitTestTextNearPos(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!SnapshotOf(self) || argc < 2)
        return Value();
    const double x = m.toNumber(args[0]) * kTwips;
    const double y = m.toNumber(args[1]) * kTwips;
    const double limit = argc >= 3 ? m.toNumber(args[2]) * kTwips : 0.0;
    SnapshotData* d = SnapshotOf(self);
    if (!d || std::isnan(x) || std::isnan(y))
        return Value(-1.0);
    double best = std::numeric_limits<double>::infinity();
    int found = -1;
    for (size_t i = 0; i < d->chars.size(); ++i) {
        const SnapshotChar& c = d->chars[i];
        const double dx = x < c.left ? c.left - x : x > c.right ? x - c.right : 0.0;
        const double dy = y < c.top ? c.top - y : y > c.bottom ? y - c.bottom : 0.0;
        const double distance = std::hypot(dx, dy);
        if (distance < best) {
            best = distance;
            found = int(i);
        }
    }
    if (found < 0 || !(best <= limit))
        return Value(-1.0);
    return Value(double(found));
}

Value SetSelectColor(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc < 1 || !SnapshotOf(self))
        return Value();
    const double color = double(ToUint32(m.toNumber(args[0])) & 0xFFFFFF);
    if (SnapshotData* d = SnapshotOf(self))
        d->selectColor = color;
    return Value();
}

// getTextRunInfo(start, end): one object per character of the range with its index and selection.
Value GetTextRunInfo(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!SnapshotOf(self) || argc < 2)
        return Value();
    SnapshotData* d = SnapshotOf(self);
    ArrayObject* runs = m.newArray();
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(Value(static_cast<Object*>(runs)));
    size_t begin = 0;
    size_t end = 0;
    if (d && IndexRange(m, args[0], args[1], d->chars.size(), begin, end)) {
        for (size_t i = begin; i < end && i < d->chars.size(); ++i) {
            Object* run = m.newObject();
            runs->m_Items.push_back(Value(run));
            const SnapshotChar c = d->chars[i];
            m.setMember(Value(run), "indexInRun", Value(double(i)));
            m.setMember(Value(run), "selected", Value(c.selected));
            m.setMember(Value(run), "corner0x", Value(c.left / kTwips));
            m.setMember(Value(run), "corner0y", Value(c.bottom / kTwips));
            m.setMember(Value(run), "corner1x", Value(c.right / kTwips));
            m.setMember(Value(run), "corner1y", Value(c.bottom / kTwips));
            m.setMember(Value(run), "corner2x", Value(c.right / kTwips));
            m.setMember(Value(run), "corner2y", Value(c.top / kTwips));
            m.setMember(Value(run), "corner3x", Value(c.left / kTwips));
            m.setMember(Value(run), "corner3y", Value(c.top / kTwips));
        }
    }
    m.m_Temporaries.resize(mark);
    return Value(static_cast<Object*>(runs));
}

Value GetTextSnapshot(Machine& m, const Value& self, const Value*, int)
{
    if (!m.spriteOf(self))
        return Value();
    Value ctor = m.getMember(Value(m.m_Global), "TextSnapshot");
    Value target = self;
    return m.construct(ctor, &target, 1);
}

} // namespace

void InstallTextSnapshotClass(Machine& m)
{
    Object* proto = m.newObject();
    DefineClass(m, "TextSnapshot", Construct, Construct, proto);
    // Enumerable, hidden before SWF 6; listed newest first, so defined in the reverse of the order for-in shows.
    constexpr uint16_t flags = kOnlySwf6;
    DefineMethods(m, proto,
        {
            { "getCount", GetCount, flags },
            { "setSelected", SetSelected, flags },
            { "getSelected", GetSelected, flags },
            { "getText", GetText, flags },
            { "getSelectedText", GetSelectedText, flags },
            { "hitTestTextNearPos", HitTestTextNearPos, flags },
            { "findText", FindText, flags },
            { "setSelectColor", SetSelectColor, flags },
            { "getTextRunInfo", GetTextRunInfo, flags },
        });
    if (!m.hasOwnProperty(m.m_ClipProto, "getTextSnapshot"))
        DefineMethods(m, m.m_ClipProto, { { "getTextSnapshot", GetTextSnapshot, kDontEnum | kOnlySwf6 } });
}

} // namespace reelfinch::avm1
