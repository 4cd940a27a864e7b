// The movie's input and stage objects: Key (state of the keyboard, listeners, key constants), Mouse (visibility,
// listeners), Stage (size, scale mode, alignment, menu, listeners), Selection (focus; no text field holds it
// yet) and TextFormat (the object and its typed fields).
#include "avm1/builtins/NativeData.h"
#include "avm1/builtins/TextEditing.h"

#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <bitset>
#include <map>
#include <climits>
#include <cmath>

namespace reelfinch::avm1 {

namespace {

// Script key codes the focus follows.
constexpr int kTabKey = 9;
constexpr int kEnterKey = 13;
constexpr int kSpaceKey = 32;

void MakeBroadcaster(Machine& m, Object* o)
{
    Value target(o);
    m.callMethod(Value(m.m_Broadcaster), "initialize", &target, 1);
}

Object* NamedObject(Machine& m, const char* name)
{
    Object* o = m.newObject();
    m.define(m.m_Global, name, Value(o));
    return o;
}

// ---- Key ----

class KeyState final : public NativeData
{
public:
    bool makesNativeKind() const override { return false; }
    std::bitset<256> down;
    std::bitset<256> toggled;
    int lastCode = 0;
    int lastAscii = 0;
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        heap.mark(focusAtMouse);
    }
    // The focus rectangle: whether the movie shows it (_focusrect), and clips' own choices (by serial, from SWF 6).
    bool focusRect = true;
    std::map<uint64_t, bool> clipFocusRect;
    // The focus is the keyboard's when the Tab key moved it, or a script did, since the mouse last moved: what was
    // focused then, and whether Tab moved it since.
    Value focusAtMouse;
    bool tabbed = false;
};

KeyState* Keys(Machine& m)
{
    Value key = m.getMember(Value(m.m_Global), "Key");
    return NativeOf<KeyState>(key);
}

// Whether the focused object holds the keyboard's focus: it hears keys, Enter presses it, its rectangle shows.
bool KeyboardFocus(Machine& m)
{
    KeyState* k = Keys(m);
    if (!k)
        return false;
    if (k->tabbed)
        return true;
    const Value focus = FocusedObject(m);
    return focus.isObject() && !m.strictEquals(focus, k->focusAtMouse);
}

Value KeyIsDown(Machine& m, const Value& self, const Value* args, int argc)
{
    KeyState* k = NativeOf<KeyState>(self);
    if (!k || argc < 1)
        return Value(false);
    const int code = m.toInt32(args[0]);
    return Value(code >= 0 && code < 256 && k->down.test(size_t(code)));
}

Value KeyIsToggled(Machine& m, const Value& self, const Value* args, int argc)
{
    KeyState* k = NativeOf<KeyState>(self);
    if (!k || argc < 1)
        return Value(false);
    const int code = m.toInt32(args[0]);
    return Value(code >= 0 && code < 256 && k->toggled.test(size_t(code)));
}

Value KeyGetCode(Machine&, const Value& self, const Value*, int)
{
    KeyState* k = NativeOf<KeyState>(self);
    return Value(k ? k->lastCode : 0);
}

Value KeyGetAscii(Machine&, const Value& self, const Value*, int)
{
    KeyState* k = NativeOf<KeyState>(self);
    return Value(k ? k->lastAscii : 0);
}

// ---- Mouse ----

Value MouseShow(Machine& m, const Value& self, const Value*, int)
{
    const bool wasShown = !m.toBoolean(m.getMember(self, "__hidden"));
    if (self.isObject())
        m.define(self.asObject(), "__hidden", Value(false), kDontEnum);
    return Value(wasShown ? 1 : 0);
}

Value MouseHide(Machine& m, const Value& self, const Value*, int)
{
    const bool wasShown = !m.toBoolean(m.getMember(self, "__hidden"));
    if (self.isObject())
        m.define(self.asObject(), "__hidden", Value(true), kDontEnum);
    return Value(wasShown ? 1 : 0);
}

// ---- Stage ----

class StageState final : public NativeData
{
public:
    bool makesNativeKind() const override { return false; }
    std::string scaleMode = "showAll";
    std::string align;
    bool showMenu = true;
};

StageState* StageOf(const Value& self)
{
    return NativeOf<StageState>(self);
}

// The stage as scripts see it, in pixels: the movie's frame, or with noScale the view the host gave the movie.
void StageSize(Machine& m, const StageState* s, double& width, double& height)
{
    int viewWidth = 0, viewHeight = 0;
    m.player().viewSize(viewWidth, viewHeight);
    if (s && s->scaleMode == "noScale" && viewWidth > 0 && viewHeight > 0) {
        width = viewWidth;
        height = viewHeight;
        return;
    }
    int32_t l, t, r, b;
    m.player().zoomRect(l, t, r, b);
    width = double((r - l) / 20);
    height = double((b - t) / 20);
}

Value StageWidth(Machine& m, const Value& self, const Value*, int)
{
    double w, h;
    StageSize(m, StageOf(self), w, h);
    return Value(w);
}

Value StageHeight(Machine& m, const Value& self, const Value*, int)
{
    double w, h;
    StageSize(m, StageOf(self), w, h);
    return Value(h);
}

// Stage's listeners hear onResize when the stage's size as scripts see it changes.
void BroadcastResize(Machine& m, const Value& stage)
{
    Value name(m.str("onResize"));
    m.callMethod(stage, "broadcastMessage", &name, 1);
}

Value GetScaleMode(Machine& m, const Value& self, const Value*, int)
{
    StageState* s = StageOf(self);
    return s ? Value(m.str(s->scaleMode)) : Value();
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

Value SetScaleMode(Machine& m, const Value& self, const Value* args, int argc)
{
    StageState* s = StageOf(self);
    if (!s)
        return Value();
    const std::string mode = Lower(m.toString(Arg(args, argc, 0)));
    double oldWidth, oldHeight;
    StageSize(m, s, oldWidth, oldHeight);
    if (mode == "exactfit")
        s->scaleMode = "exactFit";
    else if (mode == "noborder")
        s->scaleMode = "noBorder";
    else if (mode == "noscale")
        s->scaleMode = "noScale";
    else
        s->scaleMode = "showAll";
    double width, height;
    StageSize(m, s, width, height);
    if (width != oldWidth || height != oldHeight)
        BroadcastResize(m, self);
    return Value();
}

Value GetAlign(Machine& m, const Value& self, const Value*, int)
{
    StageState* s = StageOf(self);
    return s ? Value(m.str(s->align)) : Value();
}

// The letters L, T, R and B found anywhere in the text, without case, always in that order.
Value SetAlign(Machine& m, const Value& self, const Value* args, int argc)
{
    StageState* s = StageOf(self);
    if (!s)
        return Value();
    const std::string text = Lower(m.toString(Arg(args, argc, 0)));
    s->align.clear();
    for (char c : { 'l', 't', 'r', 'b' })
        if (text.find(c) != std::string::npos)
            s->align += char(c - 'a' + 'A');
    return Value();
}

Value GetShowMenu(Machine&, const Value& self, const Value*, int)
{
    StageState* s = StageOf(self);
    return s ? Value(s->showMenu) : Value();
}

Value SetShowMenu(Machine& m, const Value& self, const Value* args, int argc)
{
    if (StageState* s = StageOf(self))
        s->showMenu = m.toBoolean(Arg(args, argc, 0));
    return Value();
}

// ---- Selection ----

Value MinusOne(Machine&, const Value&, const Value*, int)
{
    return Value(-1);
}

Value NullValue(Machine&, const Value&, const Value*, int)
{
    return Value::null();
}

Value FalseValue(Machine&, const Value&, const Value*, int)
{
    return Value(false);
}

// ---- TextFormat ----

// Integer fields: rounded half to even; what does not fit (NaN and infinities included) becomes INT_MIN.
double RoundInt(double v)
{
    const double r = std::nearbyint(v);
    if (!(r >= double(INT_MIN) && r <= double(INT_MAX)))
        return double(INT_MIN);
    return r;
}

// Integer: size. Indent: indent, leading, blockIndent (never negative before SWF 8). Margin: never negative.
enum class FieldKind { Font, Text, Integer, Indent, Margin, Color, Flag, Align, Number, TabStops };

struct Field {
    const char* name;
    FieldKind kind;
};

constexpr Field kFormatFields[] = {
    { "font", FieldKind::Font },
    { "size", FieldKind::Integer },
    { "color", FieldKind::Color },
    { "url", FieldKind::Text },
    { "target", FieldKind::Text },
    { "bold", FieldKind::Flag },
    { "italic", FieldKind::Flag },
    { "underline", FieldKind::Flag },
    { "align", FieldKind::Align },
    { "leftMargin", FieldKind::Margin },
    { "rightMargin", FieldKind::Margin },
    { "indent", FieldKind::Indent },
    { "leading", FieldKind::Indent },
    { "blockIndent", FieldKind::Indent },
    { "tabStops", FieldKind::TabStops },
    { "bullet", FieldKind::Flag },
    { "kerning", FieldKind::Flag },
    { "letterSpacing", FieldKind::Number },
    { "display", FieldKind::Text },
};

// Integer fields from the constructor, and from writes before SWF 8: truncated toward zero, INT_MIN for what
// does not fit.
double TruncateInt(double v)
{
    const double r = std::trunc(v);
    if (!(r >= double(INT_MIN) && r <= double(INT_MAX)))
        return double(INT_MIN);
    return r;
}

// The value a field keeps when `v` is written to it (`constructing`: by the constructor's arguments); `previous`
// is kept where the player ignores the write.
Value Coerce(Machine& m, FieldKind kind, const Value& v, const Value& previous, bool constructing)
{
    // Alignment keeps its value unless one of its four names is written.
    if (v.isNullish())
        return kind == FieldKind::Align ? previous : Value::null();
    switch (kind) {
    case FieldKind::Text:
        return Value(m.toStringValue(v));
    case FieldKind::Font: {
        // Font names keep at most 64 characters.
        std::u16string units = Utf8ToUtf16(m.toString(v));
        if (units.size() > 64)
            units.resize(64);
        return Value(m.str(Utf16ToUtf8(units)));
    }
    case FieldKind::Integer:
    case FieldKind::Indent:
    case FieldKind::Margin: {
        const double n = m.toNumber(v);
        if (constructing)
            return Value(TruncateInt(n));
        const bool clamp = kind == FieldKind::Margin || (kind == FieldKind::Indent && m.version() < 8);
        const double c = clamp ? (n > 0 ? n : 0) : n;
        return Value(m.version() >= 8 ? RoundInt(c) : TruncateInt(c));
    }
    case FieldKind::Color:
        return Value(double(ToUint32(m.toNumber(v))));
    case FieldKind::Flag:
        return Value(m.toBoolean(v));
    case FieldKind::Number:
        return Value(m.toNumber(v));
    case FieldKind::Align: {
        const std::string a = Lower(m.toString(v));
        if (a == "left" || a == "center" || a == "right" || a == "justify")
            return Value(m.str(a));
        return previous;
    }
    case FieldKind::TabStops: {
        if (!v.isObject())
            return previous;
        ArrayObject* out = m.newArray();
        const double length = m.toNumber(m.getMember(v, "length"));
        for (int i = 0; i < length && i < 100000; ++i)
            out->m_Items.push_back(Value(RoundInt(m.toNumber(m.getMember(v, std::to_string(i))))));
        return Value(static_cast<Object*>(out));
    }
    }
    return Value::null();
}

class FormatState final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        for (const Value& v : values)
            heap.mark(v);
    }
    Value values[std::size(kFormatFields)];
};

template <size_t I> Value FormatGet(Machine&, const Value& self, const Value*, int)
{
    FormatState* f = NativeOf<FormatState>(self);
    return f ? f->values[I] : Value();
}

template <size_t I> Value FormatSet(Machine& m, const Value& self, const Value* args, int argc)
{
    FormatState* f = NativeOf<FormatState>(self);
    if (!f)
        return Value();
    Value v = Coerce(m, kFormatFields[I].kind, Arg(args, argc, 0), f->values[I], false);
    if ((f = NativeOf<FormatState>(self)))
        f->values[I] = v;
    return Value();
}

// new TextFormat(font, size, color, bold, italic, underline, url, target, align, leftMargin, rightMargin,
// indent, leading)
Value FormatConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    FormatState* f = AttachNative<FormatState>(m, self.asObject());
    for (Value& v : f->values)
        v = Value::null();
    // Text is laid out in blocks unless a style sheet says otherwise.
    f->values[std::size(kFormatFields) - 1] = Value(m.str("block"));
    static constexpr int kArgumentFields[] = { 0, 1, 2, 5, 6, 7, 3, 4, 8, 9, 10, 11, 12 };
    for (int i = 0; i < argc && i < int(std::size(kArgumentFields)); ++i) {
        const int field = kArgumentFields[i];
        Value v = Coerce(m, kFormatFields[field].kind, args[i], Value::null(), true);
        if (FormatState* g = NativeOf<FormatState>(self))
            g->values[field] = v;
    }
    return Value();
}

template <size_t... I> void DefineFormatFields(Machine& m, Object* proto, std::index_sequence<I...>)
{
    (DefineAccessor(m, proto, kFormatFields[I].name, FormatGet<I>, FormatSet<I>, kDontDelete), ...);
}

} // namespace

ScriptKey ScriptKeyFromMac(uint8_t macKey, uint8_t charCode)
{
    // Keys that type no text, by their position on the Mac keyboard.
    static constexpr std::pair<uint8_t, uint8_t> kByPosition[] = { { 0x24, 13 }, { 0x4C, 13 }, { 0x30, 9 },
        { 0x31, 32 }, { 0x33, 8 }, { 0x35, 27 }, { 0x38, 16 }, { 0x3C, 16 }, { 0x39, 20 }, { 0x3A, 18 },
        { 0x3D, 18 }, { 0x3B, 17 }, { 0x3E, 17 }, { 0x37, 17 }, { 0x75, 46 }, { 0x72, 45 }, { 0x73, 36 },
        { 0x77, 35 }, { 0x74, 33 }, { 0x79, 34 }, { 0x7B, 37 }, { 0x7C, 39 }, { 0x7D, 40 }, { 0x7E, 38 },
        { 0x7A, 112 }, { 0x78, 113 }, { 0x63, 114 }, { 0x76, 115 }, { 0x60, 116 }, { 0x61, 117 },
        { 0x62, 118 }, { 0x64, 119 }, { 0x65, 120 }, { 0x6D, 121 }, { 0x67, 122 }, { 0x6F, 123 },
        { 0x52, 96 }, { 0x53, 97 }, { 0x54, 98 }, { 0x55, 99 }, { 0x56, 100 }, { 0x57, 101 }, { 0x58, 102 },
        { 0x59, 103 }, { 0x5B, 104 }, { 0x5C, 105 }, { 0x43, 106 }, { 0x45, 107 }, { 0x4E, 109 },
        { 0x41, 110 }, { 0x4B, 111 } };
    // Punctuation by the character it types.
    static constexpr std::pair<char, uint8_t> kByCharacter[] = { { ';', 186 }, { ':', 186 }, { '=', 187 },
        { '+', 187 }, { ',', 188 }, { '<', 188 }, { '-', 189 }, { '_', 189 }, { '.', 190 }, { '>', 190 },
        { '/', 191 }, { '?', 191 }, { '`', 192 }, { '~', 192 }, { '[', 219 }, { '{', 219 }, { '\\', 220 },
        { '|', 220 }, { ']', 221 }, { '}', 221 }, { '\'', 222 }, { '"', 222 } };
    ScriptKey key;
    const bool printable = charCode >= 32 && charCode < 127;
    for (const auto& [mac, code] : kByPosition)
        if (mac == macKey) {
            key.code = code;
            break;
        }
    if (key.code == 0 && printable) {
        const char c = char(charCode);
        if (c >= 'a' && c <= 'z')
            key.code = c - 'a' + 'A';
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            key.code = c;
        else
            for (const auto& [ch, code] : kByCharacter)
                if (ch == c) {
                    key.code = code;
                    break;
                }
    }
    if (printable)
        key.ascii = charCode;
    else if (key.code == 13 || key.code == 8 || key.code == 9 || key.code == 27)
        key.ascii = key.code;
    else if (key.code == 46)
        key.ascii = 127;
    return key;
}

// The host's view of the movie changed its size: under noScale the stage changes with it.
void StageViewResized(Machine& m)
{
    const std::vector<Value> stages = MemberOfEachGlobals(m, "Stage");
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.insert(m.m_Temporaries.end(), stages.begin(), stages.end());
    for (const Value& stage : stages)
        if (const StageState* s = StageOf(stage); s && s->scaleMode == "noScale")
            BroadcastResize(m, stage);
    m.m_Temporaries.resize(std::min(mark, m.m_Temporaries.size()));
}

// A key went down or up in the host: Key's state changes and its listeners hear of it.
void DeliverKeyEvent(Machine& m, bool down, int code, int ascii, bool taken)
{
    KeyState* k = Keys(m);
    if (!k || code < 0 || code > 255)
        return;
    // Each set of globals has its Key: all of them see the key.
    const std::vector<Value> keys = MemberOfEachGlobals(m, "Key");
    for (const Value& key : keys)
        if (KeyState* each = NativeOf<KeyState>(key)) {
            each->down.set(size_t(code), down);
            if (down) {
                each->toggled.flip(size_t(code));
                each->lastCode = code;
                each->lastAscii = ascii;
            }
        }
    // The focused clip or button hears the key first, while the focus is the keyboard's (not since the mouse
    // moved); then Key's listeners; then the Tab key moves the focus.
    const Value before = FocusedObject(m);
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(before);
    m.m_Temporaries.insert(m.m_Temporaries.end(), keys.begin(), keys.end());
    if (KeyboardFocus(m) && before.isObject() && (m.spriteOf(before) || IsButtonObject(before)))
        m.callMethod(before, down ? "onKeyDown" : "onKeyUp", nullptr, 0);
    for (const Value& key : keys) {
        Value name(m.str(down ? "onKeyDown" : "onKeyUp"));
        m.callMethod(key, "broadcastMessage", &name, 1);
    }
    if (down && !taken)
        TypeIntoFocus(m, code, ascii);
    const Value focus = FocusedObject(m);
    m.m_Temporaries.push_back(focus);
    if (down && code == kTabKey && focus.isObject() && !m.strictEquals(before, focus))
        k->tabbed = true;
    m.m_Temporaries.resize(std::min(mark, m.m_Temporaries.size()));
}

void MouseButtonKey(Machine& m, int code, bool down)
{
    if (code < 0 || code > 255)
        return;
    for (const Value& key : MemberOfEachGlobals(m, "Key"))
        if (KeyState* k = NativeOf<KeyState>(key))
            k->down.set(size_t(code), down);
}

Value KeyPressTarget(Machine& m, int code)
{
    // Enter and Space press a focused clip or button while its focus rectangle shows.
    if (code != kEnterKey && code != kSpaceKey)
        return Value();
    const Value focus = FocusedObject(m);
    if (!focus.isObject() || (!m.spriteOf(focus) && !IsButtonObject(focus)) || !KeyboardFocus(m)
        || !FocusRectShown(m, focus))
        return Value();
    return focus;
}

bool FocusRectShown(Machine& m, const Value& object)
{
    KeyState* k = Keys(m);
    if (!k)
        return true;
    if (plugin::SpriteInstance* s = m.spriteOf(object); s && m.version() >= 6) {
        auto own = k->clipFocusRect.find(s->serial);
        if (own != k->clipFocusRect.end())
            return own->second;
    }
    return k->focusRect;
}

Value FocusRectProperty(Machine& m, plugin::SpriteInstance& sprite)
{
    KeyState* k = Keys(m);
    const bool on = !k || k->focusRect;
    if (m.version() < 6)
        return Value(on ? 1.0 : 0.0);
    if (sprite.parent && k) {
        auto own = k->clipFocusRect.find(sprite.serial);
        return own == k->clipFocusRect.end() ? Value::null() : Value(own->second);
    }
    return Value(on);
}

void SetFocusRectProperty(Machine& m, plugin::SpriteInstance& sprite, const Value& v)
{
    KeyState* k = Keys(m);
    if (!k)
        return;
    // Before SWF 6 every object shares the movie's choice; later a clip may make its own, and null takes it back.
    const bool own = m.version() >= 6 && sprite.parent;
    if (v.isNullish()) {
        if (own)
            k->clipFocusRect.erase(sprite.serial);
        return;
    }
    // A number or text that is no number leaves the choice as it was; an object turns it off.
    const double n = v.isObject() ? 0.0 : m.toNumber(v);
    if (!v.isBool() && std::isnan(n))
        return;
    const bool on = v.isBool() ? v.asBool() : n != 0;
    if (own)
        k->clipFocusRect[sprite.serial] = on;
    else
        k->focusRect = on;
}

bool FocusHighlight(Machine& m, double box[4])
{
    if (!KeyboardFocus(m))
        return false;
    const Value focus = FocusedObject(m);
    if (!focus.isObject() || !FocusRectShown(m, focus))
        return false;
    if (plugin::SpriteInstance* s = m.spriteOf(focus)) {
        box[0] = box[1] = 1e300;
        box[2] = box[3] = -1e300;
        return s->parent && m.player().spriteBounds(*s, m.player().stageMatrix(*s), box);
    }
    return ButtonStageBounds(m, focus, box);
}

void HideFocusHighlight(Machine& m)
{
    KeyState* k = Keys(m);
    if (!k)
        return;
    k->tabbed = false;
    k->focusAtMouse = FocusedObject(m);
}

bool ButtonHoldsKeyboardFocus(Machine& m)
{
    const Value focus = FocusedObject(m);
    return IsButtonObject(focus) && ButtonAlive(focus) && KeyboardFocus(m);
}

void FocusRoll(Machine& m, const Value& object, bool over)
{
    if (!object.isObject())
        return;
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(object);
    if (plugin::SpriteInstance* s = m.spriteOf(object)) {
        if (m.actsAsButton(*s))
            m.clipEvent(*s, over ? plugin::ClipEvent::RollOver : plugin::ClipEvent::RollOut);
    } else if (IsButtonObject(object)) {
        ButtonRoll(m, object, over);
    }
    m.m_Temporaries.resize(std::min(mark, m.m_Temporaries.size()));
}

void DropFocus(Machine& m)
{
    const Value focus = FocusedObject(m);
    if (!focus.isObject())
        return;
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(focus);
    if (KeyboardFocus(m))
        FocusRoll(m, focus, false);
    HideFocusHighlight(m);
    Value none = Value::null();
    m.callMethod(m.getMember(Value(m.m_Global), "Selection"), "setFocus", &none, 1);
    m.m_Temporaries.resize(std::min(mark, m.m_Temporaries.size()));
}

void InstallStageInput(Machine& m)
{
    Object* key = NamedObject(m, "Key");
    AttachNative<KeyState>(m, key);
    MakeBroadcaster(m, key);
    DefineMethods(m, key,
        {
            { "isDown", KeyIsDown },
            { "isToggled", KeyIsToggled },
            { "getCode", KeyGetCode },
            { "getAscii", KeyGetAscii },
        });
    static constexpr std::pair<const char*, int> kKeys[] = { { "ALT", 18 }, { "BACKSPACE", 8 }, { "CAPSLOCK", 20 },
        { "CONTROL", 17 }, { "DELETEKEY", 46 }, { "DOWN", 40 }, { "END", 35 }, { "ENTER", 13 }, { "ESCAPE", 27 },
        { "HOME", 36 }, { "INSERT", 45 }, { "LEFT", 37 }, { "PGDN", 34 }, { "PGUP", 33 }, { "RIGHT", 39 },
        { "SHIFT", 16 }, { "SPACE", 32 }, { "TAB", 9 }, { "UP", 38 } };
    for (const auto& [name, code] : kKeys)
        m.define(key, name, Value(code), kDontEnum | kDontDelete | kReadOnly);

    Object* mouse = NamedObject(m, "Mouse");
    MakeBroadcaster(m, mouse);
    DefineMethods(m, mouse, { { "show", MouseShow }, { "hide", MouseHide } });

    Object* stage = NamedObject(m, "Stage");
    AttachNative<StageState>(m, stage);
    MakeBroadcaster(m, stage);
    DefineAccessor(m, stage, "width", StageWidth, nullptr);
    DefineAccessor(m, stage, "height", StageHeight, nullptr);
    DefineAccessor(m, stage, "scaleMode", GetScaleMode, SetScaleMode);
    DefineAccessor(m, stage, "align", GetAlign, SetAlign);
    DefineAccessor(m, stage, "showMenu", GetShowMenu, SetShowMenu);

    Object* selection = NamedObject(m, "Selection");
    MakeBroadcaster(m, selection);
    DefineMethods(m, selection,
        {
            { "getFocus", NullValue },
            { "setFocus", FalseValue },
            { "getBeginIndex", MinusOne },
            { "getEndIndex", MinusOne },
            { "getCaretIndex", MinusOne },
            { "setSelection", NullValue },
        });

    Object* formatProto = m.newObject();
    DefineClass(m, "TextFormat", FormatConstruct, nullptr, formatProto);
    DefineFormatFields(m, formatProto, std::make_index_sequence<std::size(kFormatFields)>());
}

} // namespace reelfinch::avm1
