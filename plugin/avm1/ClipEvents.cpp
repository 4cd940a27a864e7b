// Clip events as scripts hear them: onClipEvent handlers of a clip's placement and handler properties
// (onEnterFrame, onLoad, onPress...), classes bound to symbols, the Mouse object's listeners and dragging.
#include "avm1/ClassRegistry.h"
#include "avm1/Clip.h"
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"

#include "timeline/MoviePlayer.h"

#include "Records.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace reelfinch::avm1 {

using plugin::ClipEvent;
using plugin::MovieLibrary;
using plugin::SpriteInstance;

namespace {

// The handler property a clip event calls; null for events only onClipEvent answers.
const char* HandlerName(ClipEvent event)
{
    switch (event) {
    case ClipEvent::Load: return "onLoad";
    case ClipEvent::EnterFrame: return "onEnterFrame";
    case ClipEvent::Unload: return "onUnload";
    case ClipEvent::MouseMove: return "onMouseMove";
    case ClipEvent::MouseDown: return "onMouseDown";
    case ClipEvent::MouseUp: return "onMouseUp";
    case ClipEvent::Data: return "onData";
    case ClipEvent::Press: return "onPress";
    case ClipEvent::Release: return "onRelease";
    case ClipEvent::ReleaseOutside: return "onReleaseOutside";
    case ClipEvent::RollOver: return "onRollOver";
    case ClipEvent::RollOut: return "onRollOut";
    case ClipEvent::DragOver: return "onDragOver";
    case ClipEvent::DragOut: return "onDragOut";
    default: return nullptr;
    }
}

bool FlagFor(const CClipEventFlagsItem& f, ClipEvent event)
{
    switch (event) {
    case ClipEvent::Load: return f.m_ClipEventLoad;
    case ClipEvent::EnterFrame: return f.m_ClipEventEnterFrame;
    case ClipEvent::Unload: return f.m_ClipEventUnload;
    case ClipEvent::MouseMove: return f.m_ClipEventMouseMove;
    case ClipEvent::MouseDown: return f.m_ClipEventMouseDown;
    case ClipEvent::MouseUp: return f.m_ClipEventMouseUp;
    case ClipEvent::KeyDown: return f.m_ClipEventKeyDown;
    case ClipEvent::KeyUp: return f.m_ClipEventKeyUp;
    case ClipEvent::Data: return f.m_ClipEventData;
    case ClipEvent::Initialize: return f.m_ClipEventInitialize;
    case ClipEvent::Press: return f.m_ClipEventPress;
    case ClipEvent::Release: return f.m_ClipEventRelease;
    case ClipEvent::ReleaseOutside: return f.m_ClipEventReleaseOutside;
    case ClipEvent::RollOver: return f.m_ClipEventRollOver;
    case ClipEvent::RollOut: return f.m_ClipEventRollOut;
    case ClipEvent::DragOver: return f.m_ClipEventDragOver;
    case ClipEvent::DragOut: return f.m_ClipEventDragOut;
    case ClipEvent::KeyPress: return f.m_ClipEventKeyPress;
    case ClipEvent::Construct: return f.m_ClipEventConstruct;
    }
    return false;
}

// The clip's onClipEvent records answering the event, in order.
template <typename Visit> void ForEachRecord(const SpriteInstance& sprite, ClipEvent event, Visit visit)
{
    const CClipActionsItem* actions = sprite.display ? sprite.display->clipActions : nullptr;
    if (!actions || !actions->m_pClipActionRecords)
        return;
    const CClipActionsRecordsItem& records = *actions->m_pClipActionRecords;
    for (int i = 0; i < records.GetItemCount(); ++i) {
        auto* record = dynamic_cast<const CClipActionsRecordItem*>(records.GetItem(i));
        if (record && record->m_pEventFlags && FlagFor(*record->m_pEventFlags, event) && record->m_pActions)
            visit(record->m_pActions.get());
    }
}

constexpr const char* kButtonHandlers[]
    = { "onPress", "onRelease", "onReleaseOutside", "onRollOver", "onRollOut", "onDragOver", "onDragOut" };

} // namespace

Object* ClassRegistry(Machine& m, bool caseSensitive, bool make)
{
    // Each table is kept with the globals of the versions it serves, out of scripts' sight.
    const char* name = caseSensitive ? "__registeredClasses" : "__registeredClassesNoCase";
    Object* global = m.internalOf(caseSensitive ? 7 : 6, make);
    if (!global)
        return nullptr;
    if (const Property* p = global->props().find(name, true); p && !p->removed && p->value.isObject())
        return p->value.asObject();
    if (!make)
        return nullptr;
    Object* registry = m.newObject();
    global->setOwn(name, Value(registry), true, kDontEnum);
    return registry;
}

uint16_t ExportedCharacter(Machine& m, const std::string& name, bool caseSensitive, const MovieLibrary* library)
{
    if (!library)
        return m.player().exportedCharacter(name, caseSensitive);
    if (auto found = library->exportNames.find(name); found != library->exportNames.end())
        return found->second;
    if (caseSensitive)
        return 0;
    for (const auto& [known, id] : library->exportNames)
        if (known.size() == name.size() && strncasecmp(known.data(), name.data(), name.size()) == 0)
            return id;
    return 0;
}

std::string ExportName(Machine& m, uint16_t characterId, const MovieLibrary* library)
{
    if (!library)
        return m.player().exportName(characterId);
    for (const auto& [name, id] : library->exportNames)
        if (id == characterId)
            return name;
    return {};
}

Value RegisteredClass(Machine& m, const SpriteInstance& sprite)
{
    if (!sprite.symbolId)
        return Value();
    const std::string name = ExportName(m, sprite.symbolId, sprite.library);
    if (name.empty())
        return Value();
    // The table is the one of the symbol's own movie's version.
    const bool exact = m.player().versionOf(sprite) >= 7;
    Object* registry = ClassRegistry(m, exact, false);
    if (!registry)
        return Value();
    const Property* p = registry->props().find(name, exact);
    if (!p || p->removed || (p->flags & kAccessor) || !p->value.isObject() || !p->value.asObject()->isFunction())
        return Value();
    return p->value;
}

Value Machine::registeredClass(uint16_t symbol)
{
    // A symbol of the main movie.
    SpriteInstance probe;
    probe.symbolId = symbol;
    return RegisteredClass(*this, probe);
}

void Machine::bindClass(SpriteInstance& sprite, const Value& ctor)
{
    if (!ctor.isObject())
        return;
    Object* clip = clipObject(sprite);
    Value proto = getMember(ctor, "prototype");
    if (proto.isObject())
        clip->setProto(proto);
}

void Machine::constructOn(const Value& constructor, Object* object)
{
    if (!constructor.isObject() || !constructor.asObject()->isFunction() || !object)
        return;
    auto* f = static_cast<FunctionObject*>(constructor.asObject());
    const Value proto = getMember(constructor, "prototype");
    define(object, "__constructor__", constructor);
    if (m_Version < 7)
        define(object, "constructor", constructor);
    const bool top = beginRun();
    invoke(f, Value(object), nullptr, 0, proto.isObject() ? proto.asObject() : nullptr, object);
    endRun(top);
}

bool Machine::hearsEvent(SpriteInstance& sprite, ClipEvent event)
{
    bool any = false;
    ForEachRecord(sprite, event, [&](const CActionsItem*) { any = true; });
    if (any)
        return true;
    // A symbol's class may be registered by init actions that run after the event is queued.
    if (event == ClipEvent::Initialize || event == ClipEvent::Construct)
        return sprite.symbolId && !ExportName(*this, sprite.symbolId, sprite.library).empty();
    const char* name = HandlerName(event);
    if (!name || m_Version < 6)
        return false;
    if (event == ClipEvent::Load || event == ClipEvent::Unload)
        return true; // a handler may still be set before the event runs
    Object* o = sprite.script.m_Link && sprite.script.m_Link->object ? sprite.script.m_Link->object : m_ClipProto;
    return hasProperty(o, name);
}

// Whether taking a clip off runs any script: an unload record or onUnload handler of it or of a clip it holds.
bool HearsUnload(Machine& m, SpriteInstance& sprite)
{
    bool any = false;
    ForEachRecord(sprite, ClipEvent::Unload, [&](const CActionsItem*) { any = true; });
    if (any)
        return true;
    if (m.version() >= 6) {
        Object* o = sprite.script.m_Link && sprite.script.m_Link->object ? sprite.script.m_Link->object : m.m_ClipProto;
        if (m.hasProperty(o, "onUnload"))
            return true;
    }
    for (auto& [depth, object] : sprite.displayList)
        if (SpriteInstance* content = ContentOf(object); content && HearsUnload(m, *content))
            return true;
    return false;
}

void Machine::runHandler(const Value& function, const Value& self)
{
    if (!function.isObject() || !function.asObject()->isFunction())
        return;
    const bool top = beginRun();
    call(function, self, nullptr, 0);
    endRun(top);
}

void Machine::clipEvent(SpriteInstance& sprite, ClipEvent event)
{
    Value ctor;
    if (event == ClipEvent::Initialize || event == ClipEvent::Construct) {
        ctor = RegisteredClass(*this, sprite);
        // The class's prototype is in place before the clip's first handlers run.
        if (event == ClipEvent::Initialize)
            bindClass(sprite, ctor);
    }
    std::vector<const CActionsItem*> records;
    ForEachRecord(sprite, event, [&](const CActionsItem* actions) { records.push_back(actions); });
    struct UnloadScope {
        int& depth;
        bool on;
        UnloadScope(int& d, bool o) : depth(d), on(o) { depth += on; }
        ~UnloadScope() { depth -= on; }
    } unloading(m_UnloadDepth, event == ClipEvent::Unload);
    for (const CActionsItem* actions : records)
        runFrameActions(sprite, actions);
    if (event == ClipEvent::Construct && ctor.isObject()) {
        if (!sprite.script.m_Link || !sprite.script.m_Link->object)
            bindClass(sprite, ctor);
        constructOn(ctor, clipObject(sprite));
        return;
    }
    const char* name = HandlerName(event);
    if (!name || m_Version < 6 || (sprite.removed || AwaitsUnload(sprite)) != (event == ClipEvent::Unload))
        return;
    Object* clip = clipObject(sprite);
    Value handler;
    if (getProperty(clip, name, handler, Value(clip)))
        runHandler(handler, Value(clip));
}

void Machine::mouseListeners(ClipEvent event)
{
    const char* name = HandlerName(event);
    if (!name || m_Version < 6)
        return;
    const std::vector<Value> mice = MemberOfEachGlobals(*this, "Mouse");
    const size_t mark = m_Temporaries.size();
    m_Temporaries.insert(m_Temporaries.end(), mice.begin(), mice.end());
    for (const Value& mouse : mice) {
        Value broadcast = mouse.isObject() ? getMember(mouse, "broadcastMessage") : Value();
        if (!broadcast.isObject())
            continue;
        Value message(str(name));
        const bool top = beginRun();
        call(broadcast, mouse, &message, 1);
        endRun(top);
    }
    m_Temporaries.resize(std::min(mark, m_Temporaries.size()));
}

bool Machine::actsAsButton(SpriteInstance& sprite)
{
    for (ClipEvent event : { ClipEvent::Press, ClipEvent::Release, ClipEvent::ReleaseOutside, ClipEvent::RollOver,
             ClipEvent::RollOut, ClipEvent::DragOver, ClipEvent::DragOut }) {
        bool any = false;
        ForEachRecord(sprite, event, [&](const CActionsItem*) { any = true; });
        if (any)
            return true;
    }
    if (m_Version < 6 || !sprite.script.m_Link || !sprite.script.m_Link->object)
        return false;
    Object* clip = sprite.script.m_Link->object;
    Value enabled;
    if (getProperty(clip, "enabled", enabled, Value(clip)) && !enabled.isUndefined() && !toBoolean(enabled))
        return false;
    for (const char* name : kButtonHandlers) {
        Value v;
        if (getProperty(clip, name, v, Value(clip)) && v.isObject())
            return true;
    }
    return false;
}

bool Machine::showsHand(SpriteInstance& sprite)
{
    if (!actsAsButton(sprite))
        return false;
    if (!sprite.script.m_Link || !sprite.script.m_Link->object)
        return true;
    Object* clip = sprite.script.m_Link->object;
    Value hand;
    return !getProperty(clip, "useHandCursor", hand, Value(clip)) || hand.isUndefined() || toBoolean(hand);
}

bool Machine::tracksAsMenu(SpriteInstance& sprite)
{
    if (!sprite.script.m_Link || !sprite.script.m_Link->object)
        return false;
    Object* clip = sprite.script.m_Link->object;
    Value menu;
    return getProperty(clip, "trackAsMenu", menu, Value(clip)) && toBoolean(menu);
}

bool Machine::scriptClipGone(const Frame& frame) const
{
    if (m_UnloadDepth > 0 || !frame.originalTarget || frame.originalTarget->kind() != ObjectKind::Clip)
        return false;
    const auto& link = static_cast<const ClipObject*>(frame.originalTarget)->m_Link;
    if (!link)
        return false;
    if (!link->sprite)
        return true;
    for (const SpriteInstance* s = link->sprite; s; s = s->parent)
        if (s->removed)
            return true;
    return false;
}

// ---- the clip actions ----

SpriteInstance* Machine::targetSprite(Object* base, const Value& target)
{
    if (SpriteInstance* s = spriteOf(target))
        return s;
    if (target.isUndefined())
        return nullptr;
    const std::string path = toString(target);
    if (path.empty())
        return spriteOf(Value(base));
    return spriteOf(Value(resolveTarget(base, path)));
}

void Machine::cloneSprite(Object* base, const Value& source, const Value& name, const Value& depth)
{
    SpriteInstance* s = targetSprite(base, source);
    const double d = toNumber(depth);
    // The action's depth already counts from the script offset; it stays below that offset above the
    // largest depth the methods give.
    if (!std::isfinite(d) || d < 0 || d - plugin::kScriptDepthOffset >= plugin::kMaxScriptDepth)
        return;
    if (s) {
        m_Player.duplicateSprite(*s, toString(name), int32_t(d));
        return;
    }
    // Buttons, text fields and videos are copied as well; shapes and static text have no script object to name.
    Value object = source;
    if (!object.isObject()) {
        const std::string path = source.isUndefined() ? std::string() : toString(source);
        Object* found = path.empty() ? nullptr : resolveTarget(base, path);
        if (!found)
            return;
        object = Value(found);
    }
    SpriteInstance* parent = nullptr;
    plugin::DisplayObject* display = ButtonDisplay(object, &parent);
    if (!display)
        display = FieldDisplay(object, &parent);
    if (!display)
        display = VideoDisplay(object, &parent);
    if (display && parent)
        m_Player.duplicateObject(*parent, display->depth, toString(name), int32_t(d));
}

void Machine::removeSpriteAt(Object* base, const Value& target)
{
    SpriteInstance* s = targetSprite(base, target);
    if (s && s->display && s->display->depth >= plugin::kScriptDepthOffset)
        m_Player.removeSprite(*s);
}

void Machine::startDragAt(Object* base, const Value& target, bool lockCenter, const double* bounds)
{
    if (SpriteInstance* s = targetSprite(base, target))
        startDrag(*s, lockCenter, bounds);
}

// ---- dragging ----

void Machine::startDrag(SpriteInstance& sprite, bool lockCenter, const double* bounds)
{
    m_Drag = DragState {};
    m_Drag.clip = Value(clipObject(sprite));
    m_Drag.lockCenter = lockCenter;
    if (bounds) {
        m_Drag.constrained = true;
        for (int i = 0; i < 4; ++i)
            m_Drag.bounds[i] = bounds[i];
    }
    if (!sprite.display || !sprite.parent)
        return;
    // Without locking the centre, the clip keeps its offset from the mouse.
    cairo_matrix_t parent = m_Player.stageMatrix(*sprite.parent);
    double x = m_Player.mouseX();
    double y = m_Player.mouseY();
    if (cairo_matrix_invert(&parent) == CAIRO_STATUS_SUCCESS)
        cairo_matrix_transform_point(&parent, &x, &y);
    m_Drag.offsetX = lockCenter ? 0 : sprite.display->matrix.x0 - x;
    m_Drag.offsetY = lockCenter ? 0 : sprite.display->matrix.y0 - y;
    dragTo(m_Player.mouseX(), m_Player.mouseY());
}

void Machine::stopDrag()
{
    // The drop target stays readable after the drag.
    if (SpriteInstance* sprite = spriteOf(m_Drag.clip))
        dropTarget(*sprite);
    m_Drag = DragState {};
}

namespace {

// The deepest clip under a stage point whose content lies there, passing over `skip` and what it holds.
SpriteInstance* ClipAt(plugin::MoviePlayer& player, SpriteInstance& sprite, const SpriteInstance* skip, double x,
    double y, int nesting)
{
    if (nesting > plugin::kMaxSpriteNesting)
        return nullptr;
    for (auto it = sprite.displayList.rbegin(); it != sprite.displayList.rend(); ++it) {
        SpriteInstance* child = it->second.sprite.get();
        if (!child || child == skip || !it->second.visible || !player.spriteHit(*child, x, y, true))
            continue;
        SpriteInstance* inner = ClipAt(player, *child, skip, x, y, nesting + 1);
        return inner ? inner : child;
    }
    return nullptr;
}

} // namespace

void Machine::mouseWheel(int delta)
{
    if (m_Version < 6)
        return;
    SpriteInstance* under = ClipAt(m_Player, m_Player.m_Root, nullptr, m_Player.mouseX(), m_Player.mouseY(), 0);
    const Value underObject = under ? Value(clipObject(*under)) : Value();
    const std::vector<Value> mice = MemberOfEachGlobals(*this, "Mouse");
    const size_t mark = m_Temporaries.size();
    m_Temporaries.push_back(underObject);
    m_Temporaries.insert(m_Temporaries.end(), mice.begin(), mice.end());
    for (const Value& mouse : mice) {
        if (!mouse.isObject())
            continue;
        Value message[3] = { Value(str("onMouseWheel")), Value(double(delta)), underObject };
        const bool top = beginRun();
        callMethod(mouse, "broadcastMessage", message, 3);
        endRun(top);
    }
    m_Temporaries.resize(std::min(mark, m_Temporaries.size()));
}

std::string Machine::dropTarget(SpriteInstance& sprite)
{
    if (spriteOf(m_Drag.clip) == &sprite) {
        SpriteInstance* under = ClipAt(m_Player, m_Player.m_Root, &sprite, m_Player.mouseX(), m_Player.mouseY(), 0);
        m_DroppedSerial = sprite.serial;
        m_DropPath = under ? targetPath(*under, true) : std::string();
    }
    return sprite.serial == m_DroppedSerial ? m_DropPath : std::string();
}

bool Machine::dragging() const
{
    return m_Drag.clip.isObject();
}

void Machine::dragTo(double stageX, double stageY)
{
    SpriteInstance* sprite = spriteOf(m_Drag.clip);
    if (!sprite || !sprite->display || !sprite->parent)
        return;
    cairo_matrix_t parent = m_Player.stageMatrix(*sprite->parent);
    double x = stageX;
    double y = stageY;
    if (cairo_matrix_invert(&parent) == CAIRO_STATUS_SUCCESS)
        cairo_matrix_transform_point(&parent, &x, &y);
    x += m_Drag.offsetX;
    y += m_Drag.offsetY;
    if (m_Drag.constrained) {
        x = std::clamp(x, std::min(m_Drag.bounds[0], m_Drag.bounds[2]), std::max(m_Drag.bounds[0], m_Drag.bounds[2]));
        y = std::clamp(y, std::min(m_Drag.bounds[1], m_Drag.bounds[3]), std::max(m_Drag.bounds[1], m_Drag.bounds[3]));
    }
    if (std::isfinite(x) && std::isfinite(y)) {
        sprite->display->matrix.x0 = x;
        sprite->display->matrix.y0 = y;
        sprite->display->scriptMoved = true;
    }
}

} // namespace reelfinch::avm1
