// Buttons as script objects: a placed button's display properties (_x, _alpha, _name...), enabled, useHandCursor,
// trackAsMenu, tabIndex and getDepth, and its handler properties (onPress, onRelease...), which run with the
// button as `this`. A button gets its object when a script first reaches it by its instance name.
#include "avm1/MatrixParts.h"
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/NativeData.h"

#include "timeline/MoviePlayer.h"

#include "HeaderItems.h"
#include "Records.h"
#include "TagCodes.h"
#include "Tags.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <optional>
#include <tuple>
#include <vector>

namespace reelfinch::avm1 {

using plugin::ClipEvent;
using plugin::DisplayObject;
using plugin::SpriteInstance;

namespace {

class ButtonData final : public NativeData
{
public:
    ~ButtonData() override
    {
        if (link && link->object == owner)
            link->object = nullptr;
    }
    std::shared_ptr<ButtonLink> link;
    Object* owner = nullptr;
    std::optional<int32_t> tabIndex; // unset: undefined
};

ButtonLink* LinkOf(const Value& self)
{
    ButtonData* data = NativeOf<ButtonData>(self);
    return data ? data->link.get() : nullptr;
}

bool SameName(std::string_view a, std::string_view b, bool caseSensitive)
{
    if (caseSensitive)
        return a == b;
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
        [](char x, char y) { return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y)); });
}

// The button a link names while it is on the stage, and the clip holding it.
DisplayObject* DisplayOf(const ButtonLink* link, SpriteInstance** parent = nullptr)
{
    if (!link || !link->holder || !link->holder->sprite)
        return nullptr;
    SpriteInstance* holder = link->holder->sprite;
    for (auto& [depth, object] : holder->displayList)
        if (object.button.get() == link) {
            if (parent)
                *parent = holder;
            return &object;
        }
    return nullptr;
}

// The handler property a button's change of state calls.
const char* HandlerName(ClipEvent event)
{
    switch (event) {
    case ClipEvent::Press: return "onPress";
    case ClipEvent::Release: return "onRelease";
    case ClipEvent::ReleaseOutside: return "onReleaseOutside";
    case ClipEvent::RollOver: return "onRollOver";
    case ClipEvent::RollOut: return "onRollOut";
    case ClipEvent::DragOver: return "onDragOver";
    case ClipEvent::DragOut: return "onDragOut";
    case ClipEvent::KeyDown: return "onKeyDown";
    case ClipEvent::KeyUp: return "onKeyUp";
    default: return nullptr;
    }
}

double Twentieths(double twips)
{
    return std::round(twips) / 20.0;
}

// The extent of the button's up state in its parent's space (twips), from its characters' stated bounds.
bool ButtonBounds(Machine& m, const DisplayObject& d, double box[4])
{
    const CTag* tag = m.player().character(d.characterId);
    const CButtonRecordsItem* records = nullptr;
    if (auto* b2 = dynamic_cast<const CDefineButton2Tag*>(tag))
        records = b2->m_pCharacters.get();
    else if (auto* b1 = dynamic_cast<const CDefineButtonTag*>(tag))
        records = b1->m_pCharacters.get();
    if (!records)
        return false;
    bool any = false;
    for (int i = 0; i < records->GetItemCount(); ++i) {
        auto* record = dynamic_cast<const CButtonRecord*>(records->GetItem(i));
        if (!record || !record->m_StateUp)
            continue;
        const CTag* character = m.player().character(record->m_CharacterID);
        const CRectItem* rect = nullptr;
        if (auto* shape = dynamic_cast<const CShapeTag*>(character))
            rect = shape->m_pBounds.get();
        else if (auto* text = dynamic_cast<const CTextTag*>(character))
            rect = text->m_pBounds.get();
        if (!rect)
            continue;
        cairo_matrix_t placed;
        cairo_matrix_init_identity(&placed);
        if (const CMatrixItem* item = record->m_pMatrix.get())
            cairo_matrix_init(&placed, item->m_ScaleX, item->m_RotateSkew0, item->m_RotateSkew1, item->m_ScaleY,
                item->m_TranslateX, item->m_TranslateY);
        cairo_matrix_multiply(&placed, &placed, &d.matrix);
        const double xs[2] = { double(rect->m_XMin), double(rect->m_XMax) };
        const double ys[2] = { double(rect->m_YMin), double(rect->m_YMax) };
        for (double x : xs)
            for (double y : ys) {
                double px = x;
                double py = y;
                cairo_matrix_transform_point(&placed, &px, &py);
                box[0] = std::min(box[0], px);
                box[1] = std::min(box[1], py);
                box[2] = std::max(box[2], px);
                box[3] = std::max(box[3], py);
            }
        any = true;
    }
    return any;
}

std::string ButtonPath(Machine& m, SpriteInstance& parent, const DisplayObject& d, bool slash)
{
    std::string path = m.targetPath(parent, slash);
    if (!slash || path != "/")
        path += slash ? "/" : ".";
    return path + d.name;
}

enum class Display { X, Y, XScale, YScale, Alpha, Visible, Width, Height, Rotation, Name, Target, Parent, XMouse,
    YMouse };

template <Display D> Value DisplayGet(Machine& m, const Value& self, const Value*, int)
{
    SpriteInstance* parent = nullptr;
    DisplayObject* d = DisplayOf(LinkOf(self), &parent);
    if (!d)
        return Value();
    const cairo_matrix_t& mx = d->matrix;
    switch (D) {
    case Display::X: return Value(Twentieths(mx.x0));
    case Display::Y: return Value(Twentieths(mx.y0));
    case Display::XScale: return Value(MatrixScaleX(mx) * 100.0);
    case Display::YScale: return Value(MatrixScaleY(mx) * 100.0);
    case Display::Alpha: return Value(d->colorTransform.ma * 100.0);
    case Display::Visible: return Value(d->visible);
    case Display::Width:
    case Display::Height: {
        double box[4] = { 1e300, 1e300, -1e300, -1e300 };
        if (!ButtonBounds(m, *d, box))
            return Value(0.0);
        return Value(Twentieths(D == Display::Width ? box[2] - box[0] : box[3] - box[1]));
    }
    case Display::Rotation: return Value(MatrixRotation(mx));
    case Display::Name: return Value(m.str(d->name));
    case Display::Target: return Value(m.str(ButtonPath(m, *parent, *d, true)));
    case Display::Parent: return Value(m.clipObject(*parent));
    case Display::XMouse:
    case Display::YMouse: {
        cairo_matrix_t toLocal;
        const cairo_matrix_t stage = m.player().stageMatrix(*parent);
        cairo_matrix_multiply(&toLocal, &mx, &stage);
        double x = m.player().mouseX();
        double y = m.player().mouseY();
        if (cairo_matrix_invert(&toLocal) == CAIRO_STATUS_SUCCESS)
            cairo_matrix_transform_point(&toLocal, &x, &y);
        return Value(std::round((D == Display::XMouse ? x : y) / 20.0));
    }
    }
    return Value();
}

template <Display D> Value DisplaySet(Machine& m, const Value& self, const Value* args, int argc)
{
    // The value is converted first: a conversion may run a script that changes the display list.
    const Value v = Arg(args, argc, 0);
    const double n = D == Display::Name || D == Display::Visible ? 0.0 : m.toNumber(v);
    const std::string name = D == Display::Name ? m.toString(v) : std::string();
    DisplayObject* d = DisplayOf(LinkOf(self));
    if (!d)
        return Value();
    cairo_matrix_t& mx = d->matrix;
    if (D != Display::Name && D != Display::Visible && !std::isfinite(n))
        return Value();
    switch (D) {
    case Display::X: mx.x0 = std::trunc(n * 20.0); break;
    case Display::Y: mx.y0 = std::trunc(n * 20.0); break;
    case Display::XScale: SetMatrix(mx, n / 100.0, MatrixScaleY(mx), MatrixRotation(mx)); break;
    case Display::YScale: SetMatrix(mx, MatrixScaleX(mx), n / 100.0, MatrixRotation(mx)); break;
    case Display::Alpha: d->colorTransform.ma = n / 100.0; break;
    case Display::Visible: d->visible = m.toBoolean(v) || (v.isNumber() && v.asNumber() != 0); break;
    case Display::Rotation: SetMatrix(mx, MatrixScaleX(mx), MatrixScaleY(mx), n); break;
    case Display::Name: d->name = name; break;
    case Display::Width:
    case Display::Height: {
        double box[4] = { 1e300, 1e300, -1e300, -1e300 };
        if (n < 0 || !ButtonBounds(m, *d, box))
            break;
        const double now = D == Display::Width ? box[2] - box[0] : box[3] - box[1];
        if (now <= 0)
            break;
        const double factor = n * 20.0 / now;
        if (D == Display::Width)
            SetMatrix(mx, MatrixScaleX(mx) * factor, MatrixScaleY(mx), MatrixRotation(mx));
        else
            SetMatrix(mx, MatrixScaleX(mx), MatrixScaleY(mx) * factor, MatrixRotation(mx));
        break;
    }
    default: break;
    }
    if (D != Display::Name && D != Display::Visible)
        d->scriptMoved = true;
    return Value();
}

// The properties of the whole movie that every display object answers too.
template <const char* Name> Value MovieGet(Machine& m, const Value&, const Value*, int)
{
    return m.getMember(Value(m.rootClip()), Name);
}

template <const char* Name> Value MovieSet(Machine& m, const Value&, const Value* args, int argc)
{
    m.setMember(Value(m.rootClip()), Name, Arg(args, argc, 0));
    return Value();
}

constexpr char kQuality[] = "_quality";
constexpr char kHighQuality[] = "_highquality";
constexpr char kFocusRect[] = "_focusrect";
constexpr char kSoundBufTime[] = "_soundbuftime";
constexpr char kUrl[] = "_url";

// A button's tab index is a 32-bit integer: a number outside that range (or no number) reads as its lowest value.
Value TabIndexGet(Machine&, const Value& self, const Value*, int)
{
    ButtonData* data = NativeOf<ButtonData>(self);
    return data && data->tabIndex ? Value(double(*data->tabIndex)) : Value();
}

Value TabIndexSet(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value v = Arg(args, argc, 0);
    ButtonData* data = NativeOf<ButtonData>(self);
    if (!data)
        return Value();
    if (v.isUndefined()) {
        data->tabIndex.reset();
        return Value();
    }
    const double n = m.toNumber(v);
    data->tabIndex = std::isfinite(n) && n > double(INT32_MIN) - 1 && n < double(INT32_MAX) + 1 ? int32_t(n)
                                                                                                   : INT32_MIN;
    return Value();
}

Value GetDepth(Machine&, const Value& self, const Value*, int)
{
    DisplayObject* d = DisplayOf(LinkOf(self));
    return d ? Value(double(d->depth - plugin::kScriptDepthOffset)) : Value();
}

Value ToStringMethod(Machine& m, const Value& self, const Value*, int)
{
    ButtonLink* link = LinkOf(self);
    SpriteInstance* parent = nullptr;
    if (DisplayObject* d = DisplayOf(link, &parent))
        link->lastPath = ButtonPath(m, *parent, *d, false);
    if (link && !link->lastPath.empty())
        return Value(m.str(link->lastPath));
    return Value(m.str("[object Object]"));
}

bool IsButton(const CTag* tag)
{
    return tag && (tag->m_TagCode == kTagDefineButton || tag->m_TagCode == kTagDefineButton2);
}

// A property of a button's object, or of Button.prototype when no script has made the object yet.
Value ButtonMember(Machine& m, DisplayObject& display, const char* name)
{
    if (display.button && display.button->object)
        return m.getMember(Value(display.button->object), name);
    return m.getMember(Value(CurrentPrototype(m, "Button")), name);
}

} // namespace

Object* ButtonObject(Machine& m, SpriteInstance& parent, DisplayObject& display)
{
    if (display.sprite || !IsButton(m.player().character(parent, display.characterId)))
        return nullptr;
    if (!display.button)
        display.button = std::make_shared<ButtonLink>();
    m.clipObject(parent);
    display.button->holder = parent.script.m_Link;
    if (!display.button->object) {
        Object* o = m.newObject(CurrentPrototype(m, "Button"));
        ButtonData* data = AttachNative<ButtonData>(m, o);
        data->link = display.button;
        data->owner = o;
        display.button->object = o;
        auto* button2 = dynamic_cast<const CDefineButton2Tag*>(m.player().character(parent, display.characterId));
        if (button2 && button2->m_TrackAsMenu)
            m.setMember(Value(o), "trackAsMenu", Value(true));
    }
    return display.button->object;
}

namespace {

// Whether `sprite` is still reached from `from` with the same serial (compared, never read, until found).
bool Reached(SpriteInstance& from, const SpriteInstance* sprite, uint64_t serial)
{
    if (&from == sprite)
        return from.serial == serial;
    for (auto& [depth, object] : from.displayList)
        if (SpriteInstance* content = plugin::ContentOf(object); content && Reached(*content, sprite, serial))
            return true;
    return false;
}

} // namespace

void RollOutHovered(Machine& m)
{
    // Gathered first: the roll-outs run scripts, which may change the lists.
    std::vector<std::tuple<SpriteInstance*, uint64_t, int32_t>> over;
    std::vector<SpriteInstance*> todo { &m.player().root() };
    while (!todo.empty()) {
        SpriteInstance* sprite = todo.back();
        todo.pop_back();
        for (auto& [depth, object] : sprite->displayList) {
            if (object.buttonState == plugin::kButtonOver && !object.buttonHeld && !object.sprite)
                over.emplace_back(sprite, sprite->serial, depth);
            if (SpriteInstance* content = plugin::ContentOf(object))
                todo.push_back(content);
        }
    }
    for (const auto& [sprite, serial, depth] : over) {
        if (!Reached(m.player().root(), sprite, serial))
            continue;
        if (auto it = sprite->displayList.find(depth); it != sprite->displayList.end() && !it->second.sprite)
            m.player().rollButton(*sprite, it->second, false);
    }
}

Value ButtonChild(Machine& m, Object* button, std::string_view name)
{
    ButtonData* data = NativeOf<ButtonData>(Value(button));
    DisplayObject* d = data ? DisplayOf(data->link.get()) : nullptr;
    if (!d || !d->buttonContent)
        return Value();
    for (auto& [depth, object] : d->buttonContent->displayList)
        if (object.sprite && SameName(object.name, name, m.caseSensitive()))
            return Value(m.clipObject(*object.sprite));
    return Value();
}

void ButtonEvent(Machine& m, const std::shared_ptr<ButtonLink>& link, ClipEvent event)
{
    const char* name = HandlerName(event);
    if (!name || m.version() < 6 || !link || !link->object || !DisplayOf(link.get()))
        return;
    Object* o = link->object;
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(Value(o));
    Value handler;
    if (m.getProperty(o, name, handler, Value(o)))
        m.runHandler(handler, Value(o));
    m.m_Temporaries.resize(std::min(mark, m.m_Temporaries.size()));
}

void ButtonRoll(Machine& m, const Value& button, bool over)
{
    SpriteInstance* parent = nullptr;
    if (DisplayObject* d = DisplayOf(LinkOf(button), &parent))
        m.player().rollButton(*parent, *d, over);
}

bool ButtonHears(Machine& m, const DisplayObject& display, ClipEvent event)
{
    const char* name = HandlerName(event);
    return name && m.version() >= 6 && display.button && display.button->object
        && m.hasProperty(display.button->object, name);
}

bool ButtonEnabled(Machine& m, DisplayObject& display)
{
    if (m.version() < 6)
        return true;
    const Value v = ButtonMember(m, display, "enabled");
    return v.isUndefined() || m.toBoolean(v);
}

bool ButtonShowsHand(Machine& m, DisplayObject& display)
{
    if (m.version() < 6)
        return true;
    const Value v = ButtonMember(m, display, "useHandCursor");
    return v.isUndefined() || m.toBoolean(v);
}

bool ButtonTracksAsMenu(Machine& m, DisplayObject& display)
{
    auto* button2 = dynamic_cast<const CDefineButton2Tag*>(m.player().character(display.characterId));
    if (m.version() < 6 || !display.button || !display.button->object)
        return button2 && button2->m_TrackAsMenu;
    return m.toBoolean(ButtonMember(m, display, "trackAsMenu"));
}

std::optional<double> ButtonTabIndex(const Value& button)
{
    ButtonData* data = NativeOf<ButtonData>(button);
    if (!data || !data->tabIndex)
        return std::nullopt;
    return double(*data->tabIndex);
}

bool IsButtonObject(const Value& v)
{
    return NativeOf<ButtonData>(v) != nullptr;
}

bool ButtonAlive(const Value& button)
{
    return DisplayOf(LinkOf(button)) != nullptr;
}

DisplayObject* ButtonDisplay(const Value& button, SpriteInstance** parent)
{
    return DisplayOf(LinkOf(button), parent);
}

bool ButtonStageBounds(Machine& m, const Value& button, double box[4])
{
    SpriteInstance* parent = nullptr;
    DisplayObject* d = DisplayOf(LinkOf(button), &parent);
    if (!d)
        return false;
    // The bounds in the parent's space, then the parent's place on the stage.
    double local[4] = { 1e300, 1e300, -1e300, -1e300 };
    if (!ButtonBounds(m, *d, local))
        return false;
    const cairo_matrix_t stage = m.player().stageMatrix(*parent);
    box[0] = box[1] = 1e300;
    box[2] = box[3] = -1e300;
    for (double x : { local[0], local[2] })
        for (double y : { local[1], local[3] }) {
            double px = x;
            double py = y;
            cairo_matrix_transform_point(&stage, &px, &py);
            box[0] = std::min(box[0], px);
            box[1] = std::min(box[1], py);
            box[2] = std::max(box[2], px);
            box[3] = std::max(box[3], py);
        }
    return true;
}

// A clip's tab index: a 32-bit integer as a button's is, kept in a hidden slot of the clip's object; not listed
// by for-in.
constexpr char kClipTabIndexSlot[] = "\x01tabIndex";

Value ClipTabIndexGet(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject() || !m.hasOwnProperty(self.asObject(), kClipTabIndexSlot))
        return Value();
    return m.getMember(self, kClipTabIndexSlot);
}

Value ClipTabIndexSet(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value();
    const Value v = Arg(args, argc, 0);
    if (v.isUndefined()) {
        m.deleteMember(self.asObject(), kClipTabIndexSlot);
        return Value();
    }
    const double n = m.toNumber(v);
    const int32_t index
        = std::isfinite(n) && n > double(INT32_MIN) - 1 && n < double(INT32_MAX) + 1 ? int32_t(n) : INT32_MIN;
    m.define(self.asObject(), kClipTabIndexSlot, Value(double(index)), kDontEnum);
    return Value();
}

// `new Button()` makes no button, but an object of the button's native kind all the same.
static Value ButtonConstruct(Machine& m, const Value& self, const Value*, int)
{
    if (self.isObject())
        AttachNative<NativeMark>(m, self.asObject());
    return Value();
}

void InstallButtonClass(Machine& m)
{
    // Clips acting as buttons share the buttons' defaults: they are enabled, the hand cursor shows, and tab
    // indices are integers.
    m.define(m.m_ClipProto, "enabled", Value(true));
    m.define(m.m_ClipProto, "useHandCursor", Value(true));
    DefineAccessor(m, m.m_ClipProto, "tabIndex", ClipTabIndexGet, ClipTabIndexSet, kDontEnum | kDontDelete | kOnlySwf6);

    Object* proto = m.newObject();
    DefineClass(m, "Button", nullptr, ButtonConstruct, proto);
    const auto both = [&](const char* name, NativeFunction get, NativeFunction set) {
        DefineAccessor(m, proto, name, get, set, kDontEnum | kDontDelete);
    };
    both("_x", DisplayGet<Display::X>, DisplaySet<Display::X>);
    both("_y", DisplayGet<Display::Y>, DisplaySet<Display::Y>);
    both("_xscale", DisplayGet<Display::XScale>, DisplaySet<Display::XScale>);
    both("_yscale", DisplayGet<Display::YScale>, DisplaySet<Display::YScale>);
    both("_alpha", DisplayGet<Display::Alpha>, DisplaySet<Display::Alpha>);
    both("_visible", DisplayGet<Display::Visible>, DisplaySet<Display::Visible>);
    both("_width", DisplayGet<Display::Width>, DisplaySet<Display::Width>);
    both("_height", DisplayGet<Display::Height>, DisplaySet<Display::Height>);
    both("_rotation", DisplayGet<Display::Rotation>, DisplaySet<Display::Rotation>);
    both("_name", DisplayGet<Display::Name>, DisplaySet<Display::Name>);
    both("_target", DisplayGet<Display::Target>, nullptr);
    both("_parent", DisplayGet<Display::Parent>, nullptr);
    both("_xmouse", DisplayGet<Display::XMouse>, nullptr);
    both("_ymouse", DisplayGet<Display::YMouse>, nullptr);
    both("_quality", MovieGet<kQuality>, MovieSet<kQuality>);
    both("_highquality", MovieGet<kHighQuality>, MovieSet<kHighQuality>);
    both("_focusrect", MovieGet<kFocusRect>, MovieSet<kFocusRect>);
    both("_soundbuftime", MovieGet<kSoundBufTime>, MovieSet<kSoundBufTime>);
    both("_url", MovieGet<kUrl>, nullptr);
    // The tab index is listed by for-in even while unset.
    DefineAccessor(m, proto, "tabIndex", TabIndexGet, TabIndexSet, kDontDelete);
    m.define(proto, "enabled", Value(true));
    m.define(proto, "useHandCursor", Value(true));
    DefineMethods(m, proto,
        {
            { "getDepth", GetDepth },
            { "toString", ToStringMethod },
        });
}

} // namespace reelfinch::avm1
