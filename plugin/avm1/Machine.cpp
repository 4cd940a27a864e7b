#include "avm1/Machine.h"

#include "avm1/Clip.h"
#include "avm1/Loading.h"
#include "avm1/MatrixParts.h"
#include "avm1/NumberText.h"
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/NativeData.h"
#include "timeline/MoviePlayer.h"
#include "video/FlvMedia.h"

#include "Actions.h"
#include "Movie.h"
#include "Tags.h"
#include "TagsModern.h"
#include "TagCodes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <strings.h>
#include <utility>

namespace reelfinch::avm1 {

using plugin::SpriteInstance;

namespace {

// The getters, setters and watchers running now, by the property they run for (its object and id; a watched
// property not made yet by its name). One property's uses nest 65 deep from SWF 7; before, a property in use is
// not used again. Past that, reads and writes of it go to its stored value and the script goes on. Calls nest
// on one thread, so the list is the thread's.
struct PropertyUse {
    const Object* object;
    uint64_t id;
    std::string name;
};
thread_local std::vector<PropertyUse> t_PropertyUses;

bool NameIs(std::string_view a, std::string_view b, bool caseSensitive);

int PropertyUseLimit(int version)
{
    return version >= 7 ? 65 : 1;
}

int PropertyUses(const Object* object, uint64_t id, std::string_view name, bool caseSensitive)
{
    int n = 0;
    for (const PropertyUse& u : t_PropertyUses)
        if (u.object == object && u.id == id && (id != 0 || NameIs(u.name, name, caseSensitive)))
            ++n;
    return n;
}

// Marks a property in use for as long as it lives.
class PropertyInUse
{
public:
    PropertyInUse(const Object* object, uint64_t id, std::string_view name)
    {
        t_PropertyUses.push_back(PropertyUse { object, id, id ? std::string() : std::string(name) });
    }
    ~PropertyInUse() { t_PropertyUses.pop_back(); }
    PropertyInUse(const PropertyInUse&) = delete;
    PropertyInUse& operator=(const PropertyInUse&) = delete;
};
// The prototype the accessor that the next call runs was found on (for `super` inside it).
thread_local Object* t_CallHolder = nullptr;

bool NameIs(std::string_view a, std::string_view b, bool caseSensitive)
{
    if (a.size() != b.size())
        return false;
    return caseSensitive ? a == b : strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Level names ("_level3") are spelled in lower case from SWF 7, in any case before.
bool LevelNameCased(std::string_view name, bool caseSensitive)
{
    return !caseSensitive || name.substr(0, 6) == "_level";
}

// An optional '-' and digits only: a name that moves an array's length.
bool IntegerName(std::string_view name)
{
    if (!name.empty() && name[0] == '-')
        name.remove_prefix(1);
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Names with an underscore that every clip answers (display properties and the links of the clip tree).
constexpr const char* kClipPropertyNames[] = { "_x", "_y", "_xscale", "_yscale", "_currentframe", "_totalframes",
    "_alpha", "_visible", "_width", "_height", "_rotation", "_target", "_framesloaded", "_name", "_droptarget", "_url",
    "_highquality", "_focusrect", "_soundbuftime", "_quality", "_xmouse", "_ymouse" };

int ClipPropertyIndex(std::string_view name)
{
    if (name.empty() || name[0] != '_')
        return -1;
    for (int i = 0; i < int(std::size(kClipPropertyNames)); ++i)
        if (NameIs(name, kClipPropertyNames[i], false))
            return i;
    return -1;
}


} // namespace

// Calls a getter or setter with `super` starting at `holder`.
Value CallAccessor(
    Machine& m, const Value& function, const Value& self, const Value* args, int argc, Object* holder = nullptr);
// A getter's value read for `self`; while the property may not be used again, the value last written to it.
Value ReadAccessor(Machine& m, Object* owner, const Property& p, const Value& self, Object* holder = nullptr);
// Runs the setter of `owner`'s property `name` for `self` (unless the property may not be used again) and keeps
// the value as the property's stored value.
void WriteAccessor(Machine& m, Object* owner, std::string_view name, const Value& self, const Value& v, Object* holder);

namespace {

// The prototype `super` starts from inside an accessor or method of `owner` read through `object`: the owner,
// or for one the object holds itself, its prototype. A super object stands for the object it was made for.
Object* SuperHolder(Object* object, Object* owner)
{
    if (owner == object && object->kind() != ObjectKind::Super && object->kind() != ObjectKind::Clip)
        return object->proto();
    return owner;
}

Value SelfOf(Object* object)
{
    return object->kind() == ObjectKind::Super ? object->m_Primitive : Value(object);
}

} // namespace

Machine::Machine(plugin::MoviePlayer& player, int version)
    : m_Player(player)
    , m_Version(version)
{
    m_Stack.reserve(kStackLimit + 16);
    m_Empty = m_Heap.string("");
    m_Empty->m_Permanent = true;
    m_StartWall = double(std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count());
    m_RandomState ^= uint64_t(m_StartWall);
    // Test harnesses may shorten the time one action list may run.
    if (const char* limit = std::getenv("REELFINCH_SCRIPT_TIME_LIMIT")) {
        const double seconds = std::atof(limit);
        if (seconds > 0)
            m_TimeLimit = seconds;
    }
    readScriptLimits();
    m_GlobalSet = GlobalSetIndex(version);
    makeGlobals();
}

void Machine::makeGlobals()
{
    installBuiltins();
    for (auto [name, slot] : { std::pair { "String", &m_StringClass }, std::pair { "Number", &m_NumberClass },
             std::pair { "Boolean", &m_BooleanClass }, std::pair { "Array", &m_ArrayClass } }) {
        const Property* p = m_Global->props().find(name, true);
        *slot = p && p->value.isObject() ? p->value.asObject() : nullptr;
    }
    m_GlobalSets[m_GlobalSet].made = true;
    // System.security.sandboxType: a movie played from a file reaches files, or the network when its
    // FileAttributes ask for it.
    bool useNetwork = false;
    const CTagsItem* tags = m_Player.m_Movie ? m_Player.m_Movie->GetTags() : nullptr;
    for (int i = 0; tags && i < tags->GetItemCount(); ++i)
        if (auto* attributes = dynamic_cast<const CFileAttributesTag*>(tags->GetTag(i)))
            useNetwork = attributes->m_UseNetwork;
    Value system;
    if (getProperty(m_Global, "System", system, Value(m_Global)) && system.isObject()) {
        Value security;
        if (!getProperty(system.asObject(), "security", security, system) || !security.isObject()) {
            security = Value(newObject());
            define(system.asObject(), "security", security);
        }
        DefineSandboxType(*this, security.asObject(), useNetwork ? "localWithNetwork" : "localWithFile");
    }
}

void Machine::readScriptLimits()
{
    // ScriptLimits: the deepest recursion and the seconds an action list may run.
    const CTagsItem* tags = m_Player.m_Movie ? m_Player.m_Movie->GetTags() : nullptr;
    for (int i = 0; tags && i < tags->GetItemCount(); ++i) {
        auto* tag = dynamic_cast<const CScriptLimitsTag*>(tags->GetTag(i));
        if (!tag || tag->m_KeptWhole)
            continue;
        const int depth = tag->m_MaxRecursionDepth;
        const int seconds = tag->m_ScriptTimeoutSeconds;
        if (depth > 0)
            m_RecursionLimit = std::min(depth, 65535);
        if (seconds > 0 && !std::getenv("REELFINCH_SCRIPT_TIME_LIMIT"))
            m_TimeLimit = seconds;
    }
}

Machine::~Machine() = default;

void Machine::saveGlobals(GlobalSet& set) const
{
    set.global = m_Global;
    set.internal = m_Internal;
    set.objectProto = m_ObjectProto;
    set.functionProto = m_FunctionProto;
    set.arrayProto = m_ArrayProto;
    set.stringProto = m_StringProto;
    set.numberProto = m_NumberProto;
    set.booleanProto = m_BooleanProto;
    set.clipProto = m_ClipProto;
    set.errorProto = m_ErrorProto;
    set.dateProto = m_DateProto;
    set.broadcaster = m_Broadcaster;
    set.stringClass = m_StringClass;
    set.numberClass = m_NumberClass;
    set.booleanClass = m_BooleanClass;
    set.arrayClass = m_ArrayClass;
}

void Machine::loadGlobals(const GlobalSet& set)
{
    m_Global = set.global;
    m_Internal = set.internal;
    m_ObjectProto = set.objectProto;
    m_FunctionProto = set.functionProto;
    m_ArrayProto = set.arrayProto;
    m_StringProto = set.stringProto;
    m_NumberProto = set.numberProto;
    m_BooleanProto = set.booleanProto;
    m_ClipProto = set.clipProto;
    m_ErrorProto = set.errorProto;
    m_DateProto = set.dateProto;
    m_Broadcaster = set.broadcaster;
    m_StringClass = set.stringClass;
    m_NumberClass = set.numberClass;
    m_BooleanClass = set.booleanClass;
    m_ArrayClass = set.arrayClass;
}

int Machine::useGlobalsOf(int version)
{
    const int before = m_GlobalSet == 1 ? 7 : 6;
    const int wanted = GlobalSetIndex(version);
    if (version <= 0 || wanted == m_GlobalSet)
        return before;
    saveGlobals(m_GlobalSets[m_GlobalSet]);
    m_GlobalSet = wanted;
    if (m_GlobalSets[wanted].made) {
        loadGlobals(m_GlobalSets[wanted]);
    } else {
        // The built-ins are made by the rules of the version they are for.
        const int running = m_Version;
        m_Version = version;
        makeGlobals();
        m_Version = running;
    }
    return before;
}

void Machine::switchMovieVersion(int version)
{
    // Scripts running now restore the version they started with when they end: only the base level switches.
    if (version <= 0 || !m_Frames.empty())
        return;
    m_Version = version;
    useGlobalsOf(version);
}

Object* Machine::globalOf(int version, bool make)
{
    if (!make && GlobalSetIndex(version) != m_GlobalSet && !m_GlobalSets[GlobalSetIndex(version)].made)
        return nullptr;
    const int before = useGlobalsOf(version);
    Object* global = m_Global;
    useGlobalsOf(before);
    return global;
}

Object* Machine::internalOf(int version, bool make)
{
    if (!make && GlobalSetIndex(version) != m_GlobalSet && !m_GlobalSets[GlobalSetIndex(version)].made)
        return nullptr;
    const int before = useGlobalsOf(version);
    Object* internal = m_Internal;
    useGlobalsOf(before);
    return internal;
}

Object* Machine::clipPrototypeOf(int version)
{
    const int before = useGlobalsOf(version);
    Object* proto = m_ClipProto;
    useGlobalsOf(before);
    return proto;
}

void Machine::installBuiltins()
{
    InstallBuiltins(*this);
}

// ---- conversions ----

Value Machine::toPrimitive(const Value& v, bool preferString, bool keepObject)
{
    if (!v.isObject())
        return v;
    Object* o = v.asObject();
    if (o->kind() == ObjectKind::Clip) {
        // A clip reads as its path where a string is wanted, and as no number at all.
        if (!preferString)
            return v;
        SpriteInstance* sprite = clipSprite(static_cast<ClipObject*>(o));
        return sprite ? Value(str(targetPath(*sprite, false))) : Value(m_Empty);
    }
    // Dates convert as strings from SWF 6.
    if (o->kind() == ObjectKind::Date && m_Version >= 6)
        preferString = true;
    const auto callable = [](const Value& f) { return f.isObject() && f.asObject()->isFunction(); };
    Value method;
    if (!preferString) {
        // valueOf decides: none that can be called gives undefined; an object it gives turns to toString.
        getProperty(o, "valueOf", method, v);
        if (!callable(method) || unwinding())
            return Value();
        Value r = call(method, v, nullptr, 0);
        if (unwinding())
            return Value();
        if (!r.isObject() || keepObject)
            return r;
        method = Value();
        getProperty(o, "toString", method, v);
        if (!callable(method) || unwinding())
            return Value(str(o->isFunction() ? "[type Function]" : "[type Object]"));
        r = call(method, v, nullptr, 0);
        if (unwinding())
            return Value();
        return r.isString() ? r : Value(str(o->isFunction() ? "[type Function]" : "[type Object]"));
    }
    // toString decides: none that can be called gives undefined, an object it gives leaves the object as it is
    // (converting that to a string asks toString again), other values stand for the type.
    getProperty(o, "toString", method, v);
    if (!callable(method) || unwinding())
        return Value();
    Value r = call(method, v, nullptr, 0);
    if (unwinding())
        return Value();
    if (r.isString() || r.isObject())
        return r.isString() ? r : v;
    return Value(str(o->isFunction() ? "[type Function]" : "[type Object]"));
}

double Machine::toNumber(const Value& v)
{
    switch (v.type()) {
    case Type::Undefined:
    case Type::Null:
        return m_Version >= 7 ? NAN : 0.0;
    case Type::Boolean:
        return v.asBool() ? 1.0 : 0.0;
    case Type::Number:
        return v.asNumber();
    case Type::String:
        return stringToNumber(v.str(), m_Version);
    case Type::Object: {
        Object* o = v.asObject();
        if (o->kind() == ObjectKind::Clip)
            return NAN;
        Value p = toPrimitive(v, false);
        if (p.isObject())
            return NAN;
        return toNumber(p);
    }
    }
    return NAN;
}

String* Machine::toStringValue(const Value& v)
{
    if (v.isString())
        return v.asString();
    return str(toString(v));
}

std::string Machine::toString(const Value& v)
{
    switch (v.type()) {
    case Type::Undefined:
        return m_Version >= 7 ? "undefined" : "";
    case Type::Null:
        return "null";
    case Type::Boolean:
        if (m_Version < 5) // SWF 4 has no booleans to print
            return v.asBool() ? "1" : "0";
        return v.asBool() ? "true" : "false";
    case Type::Number:
        return NumberText(v.asNumber());
    case Type::String:
        return v.str();
    case Type::Object: {
        Value p = toPrimitive(v, true);
        if (p.isObject())
            return "[type Object]";
        if (p.isUndefined())
            return "undefined";
        return toString(p);
    }
    }
    return "";
}

Object* Machine::toObject(const Value& v)
{
    switch (v.type()) {
    case Type::Object:
        return v.asObject();
    case Type::String: {
        Object* o = m_Heap.make<Object>(m_StringProto, ObjectKind::String);
        o->m_Primitive = v;
        return o;
    }
    case Type::Number: {
        Object* o = m_Heap.make<Object>(m_NumberProto, ObjectKind::Number);
        o->m_Primitive = v;
        return o;
    }
    case Type::Boolean: {
        Object* o = m_Heap.make<Object>(m_BooleanProto, ObjectKind::Boolean);
        o->m_Primitive = v;
        return o;
    }
    default:
        return nullptr;
    }
}

namespace {
const char* PrimitiveClassName(const Value& v)
{
    return v.isString() ? "String" : v.isNumber() ? "Number" : v.isBool() ? "Boolean" : nullptr;
}
} // namespace

bool Machine::primitiveClassReplaced(const Value& v)
{
    const char* name = PrimitiveClassName(v);
    if (!name)
        return false;
    const Object* builtIn = v.isString() ? m_StringClass : v.isNumber() ? m_NumberClass : m_BooleanClass;
    const Property* p = m_Global->props().find(name, caseSensitive());
    return !p || (p->flags & kAccessor) || !p->value.isObject() || p->value.asObject() != builtIn;
}

Object* Machine::boxPrimitive(const Value& v)
{
    const char* name = PrimitiveClassName(v);
    if (!name)
        return v.isObject() ? v.asObject() : nullptr;
    // The class is read as a script reads _global's member (its getter runs), without __resolve.
    Value constructor;
    getProperty(m_Global, name, constructor, Value(m_Global));
    if (!constructor.isObject() || !constructor.asObject()->isFunction() || unwinding())
        return nullptr;
    const Value made = construct(constructor, &v, 1);
    return made.isObject() ? made.asObject() : nullptr;
}

void Machine::superConstructed(const Value& constructor, const Value& self, const Value& result)
{
    if (!constructor.isObject() || !self.isObject())
        return;
    const Object* c = constructor.asObject();
    Object* o = self.asObject();
    // An object of another native kind keeps it; one of the same kind takes the new primitive.
    const auto free = [o](ObjectKind kind) { return o->kind() == kind || !HasNativeKind(o); };
    if (c == m_NumberClass && result.isNumber() && free(ObjectKind::Number))
        o->adoptPrimitive(ObjectKind::Number, result);
    else if (c == m_StringClass && result.isString() && free(ObjectKind::String))
        o->adoptPrimitive(ObjectKind::String, result);
    else if (c == m_BooleanClass && result.isBool() && free(ObjectKind::Boolean))
        o->adoptPrimitive(ObjectKind::Boolean, result);
    else if (c == m_ArrayClass && result.isObject() && result.asObject()->kind() == ObjectKind::Array)
        o->becomeArray(*static_cast<const ArrayObject*>(result.asObject()));
    // The built-in Date makes any object without a native kind of its own a date, holding the time it made. The
    // state of the player's own that such an object may carry (Key's, Stage's) gives way to it.
    else if (c->isFunction() && static_cast<const FunctionObject*>(c)->m_NativeConstruct && result.isObject()
        && result.asObject()->kind() == ObjectKind::Date && !HasNativeKind(o))
        o->adoptPrimitive(ObjectKind::Date, result.asObject()->m_Primitive);
}

bool Machine::isDateClass(const Value& v)
{
    if (!v.isObject() || !v.asObject()->isFunction() || !static_cast<FunctionObject*>(v.asObject())->m_NativeConstruct)
        return false;
    const Property* p = v.asObject()->props().find("prototype", false);
    return p && !(p->flags & kAccessor) && p->value.isObject() && p->value.asObject() == m_DateProto;
}

const char* Machine::typeOf(const Value& v) const
{
    switch (v.type()) {
    case Type::Undefined:
        return "undefined";
    case Type::Null:
        return "null";
    case Type::Boolean:
        return "boolean";
    case Type::Number:
        return "number";
    case Type::String:
        return "string";
    case Type::Object:
        if (v.asObject()->isFunction())
            return "function";
        if (v.asObject()->kind() == ObjectKind::Clip)
            return "movieclip";
        return "object";
    }
    return "undefined";
}

bool Machine::strictEquals(const Value& a, const Value& b) const
{
    if (a.type() != b.type())
        return false;
    switch (a.type()) {
    case Type::Undefined:
    case Type::Null:
        return true;
    case Type::Boolean:
        return a.asBool() == b.asBool();
    case Type::Number:
        return a.asNumber() == b.asNumber();
    case Type::String:
        return a.asString() == b.asString() || a.str() == b.str();
    case Type::Object: {
        if (a.asObject() == b.asObject())
            return true;
        // Clips are references by target path, for strict equality too.
        if (a.asObject()->kind() != ObjectKind::Clip || b.asObject()->kind() != ObjectKind::Clip)
            return false;
        auto* self = const_cast<Machine*>(this);
        SpriteInstance* x = self->spriteOf(a);
        SpriteInstance* y = self->spriteOf(b);
        return x && y && (x == y || self->targetPath(*x, false) == self->targetPath(*y, false));
    }
    }
    return false;
}

bool Machine::looseEquals(const Value& a, const Value& b)
{
    // Equals2 finds NaN equal to NaN.
    if (a.isNumber() && b.isNumber() && std::isnan(a.asNumber()) && std::isnan(b.asNumber()))
        return true;
    // Clips are equal when they stand at the same target path (a clip placed again where another was).
    if (a.isObject() && b.isObject() && a.asObject() != b.asObject() && a.asObject()->kind() == ObjectKind::Clip
        && b.asObject()->kind() == ObjectKind::Clip) {
        SpriteInstance* x = spriteOf(a);
        SpriteInstance* y = spriteOf(b);
        return x && y && (x == y || targetPath(*x, false) == targetPath(*y, false));
    }
    if (a.type() == b.type())
        return strictEquals(a, b);
    // An object compared with anything else converts first (one without valueOf and toString, like the
    // global object, converts to undefined and so equals undefined and null).
    // An object that valueOf gives is not asked for its toString: it equals nothing else.
    if (a.isObject() && !b.isObject()) {
        Value p = toPrimitive(a, false, true);
        return !p.isObject() && looseEquals(p, b);
    }
    if (b.isObject() && !a.isObject()) {
        Value p = toPrimitive(b, false, true);
        return !p.isObject() && looseEquals(a, p);
    }
    if (a.isNullish() && b.isNullish())
        return true;
    if (a.isNullish() || b.isNullish())
        return false;
    if (a.isNumber() && b.isString())
        return a.asNumber() == toNumber(b);
    if (a.isString() && b.isNumber())
        return toNumber(a) == b.asNumber();
    if (a.isBool())
        return looseEquals(Value(a.asBool() ? 1.0 : 0.0), b);
    if (b.isBool())
        return looseEquals(a, Value(b.asBool() ? 1.0 : 0.0));
    return false;
}

Value Machine::lessThan(const Value& a, const Value& b, bool rightFirst)
{
    // The left operand converts first, as written (Greater compares its operands swapped). Objects convert by
    // valueOf alone; one that stays an object makes the comparison false, and the other is not converted.
    // A clip is no number; an object without valueOf converts to undefined.
    auto value = [&](const Value& v, Value& out) {
        out = v;
        if (!v.isObject())
            return true;
        if (v.asObject()->kind() == ObjectKind::Clip) {
            out = Value(NAN);
            return true;
        }
        Value method;
        if (getProperty(v.asObject(), "valueOf", method, v) && method.isObject() && method.asObject()->isFunction())
            out = call(method, v, nullptr, 0);
        else
            out = Value();
        return !out.isObject();
    };
    Value pa, pb;
    if (rightFirst) {
        if (!value(b, pb) || !value(a, pa))
            return Value(false);
    } else {
        if (!value(a, pa) || !value(b, pb))
            return Value(false);
    }
    if (pa.isString() && pb.isString()) {
        if (m_Version >= 6)
            return Value(Utf8ToUtf16(pa.str()) < Utf8ToUtf16(pb.str()));
        return Value(pa.str() < pb.str());
    }
    const double x = toNumber(pa);
    const double y = toNumber(pb);
    if (std::isnan(x) || std::isnan(y))
        return Value();
    return Value(x < y);
}

// ---- objects ----

Object* Machine::newObject(Object* proto)
{
    return m_Heap.make<Object>(proto ? proto : m_ObjectProto);
}

ArrayObject* Machine::newArray()
{
    return m_Heap.make<ArrayObject>(m_ArrayProto);
}

FunctionObject* Machine::newNative(NativeFunction fn, NativeFunction construct)
{
    auto* f = m_Heap.make<FunctionObject>(m_FunctionProto);
    f->m_Native = fn;
    f->m_NativeConstruct = construct;
    return f;
}

FunctionObject* Machine::newScriptFunction(
    const std::shared_ptr<Code>& code, const FunctionInfo& info, const Frame& frame)
{
    auto* f = m_Heap.make<FunctionObject>(m_FunctionProto);
    f->m_Code = code;
    f->m_Info = &info;
    f->m_Pool = frame.pool;
    f->m_Version = frame.version;
    f->m_Target = frame.target ? frame.target : frame.originalTarget;
    // The chain it closes over ends at the timeline it was defined in.
    Scope* chain = frame.scope;
    if (!frame.callee && f->m_Target)
        chain = m_Heap.make<Scope>(f->m_Target, frame.scope, ScopeKind::Target);
    f->m_Scope = chain;
    Object* proto = newObject();
    define(proto, "constructor", Value(static_cast<Object*>(f)));
    define(f, "prototype", Value(proto), kDontEnum | kDontDelete);
    return f;
}

void Machine::define(Object* object, std::string_view name, const Value& v, uint16_t flags)
{
    object->setOwn(name, v, caseSensitive(), flags);
}

void Machine::defineMethod(Object* object, std::string_view name, NativeFunction fn, uint16_t flags)
{
    define(object, name, Value(static_cast<Object*>(newNative(fn))), flags);
}

bool Machine::getProperty(Object* object, std::string_view name, Value& out, const Value& self)
{
    const bool cs = caseSensitive();
    if (object->kind() == ObjectKind::Super)
        static_cast<SuperObject*>(object)->refresh();
    if (NameIs(name, "__proto__", cs)) {
        // `super` stands for the prototype its lookups start at: its __proto__ is that one's.
        if (object->kind() == ObjectKind::Super)
            out = object->proto() ? object->proto()->protoValue() : Value();
        else
            out = object->protoValue();
        return true;
    }
    Object* o = object;
    for (int depth = 0; o && depth < 256; ++depth) {
        switch (o->kind()) {
        case ObjectKind::Array: {
            auto* a = static_cast<ArrayObject*>(o);
            const long index = ArrayIndex(name);
            // A getter added under an element's index hides the element.
            if (index >= 0 && size_t(index) < a->m_Items.size() && !a->hole(size_t(index))) {
                const Property* p = a->props().size() == 0 ? nullptr : a->props().find(name, cs);
                if (!p || !(p->flags & kAccessor)) {
                    out = a->m_Items[size_t(index)];
                    return true;
                }
            }
            // A length property added with addProperty hides the array's own.
            if (NameIs(name, "length", cs) && !a->props().find(name, cs)) {
                out = Value(a->length());
                return true;
            }
            break;
        }
        case ObjectKind::String:
            if (NameIs(name, "length", cs) && o->m_Primitive.isString()) {
                out = Value(double(m_Version >= 5 ? Utf16Length(o->m_Primitive.str()) : o->m_Primitive.str().size()));
                return true;
            }
            break;
        default:
            break;
        }
        const Property* p = o->props().find(name, cs);
        if (p && PropertyVisible(p->flags, m_Version)) {
            if (p->flags & kAccessor) {
                out = ReadAccessor(*this, o, *p, self, SuperHolder(object, o));
                return true;
            }
            out = p->value;
            return true;
        }
        if (o->kind() == ObjectKind::Clip) {
            bool found = false;
            out = getClipProperty(static_cast<ClipObject*>(o), name, found);
            if (found)
                return true;
        }
        o = o->proto();
    }
    // A chain longer than the player walks (a prototype cycle) stops the script.
    if (o)
        m_Unwind = Unwind::Abort;
    // The clips a button shows are found by name through the button, from SWF 6 where buttons are objects.
    else if (m_Version >= 6 && object->m_Primitive.isObject())
        if (Value child = ButtonChild(*this, object, name); !child.isUndefined()) {
            out = child;
            return true;
        }
    return false;
}

bool Machine::hasOwnProperty(Object* object, std::string_view name)
{
    const bool cs = caseSensitive();
    if (object->kind() == ObjectKind::Array) {
        auto* a = static_cast<ArrayObject*>(object);
        const long index = ArrayIndex(name);
        if (index >= 0 && size_t(index) < a->m_Items.size() && !a->hole(size_t(index)))
            return true;
    }
    const Property* p = object->props().find(name, cs);
    return p && PropertyVisible(p->flags, m_Version);
}

bool Machine::hasProperty(Object* object, std::string_view name)
{
    const bool cs = caseSensitive();
    Object* o = object;
    for (int depth = 0; o && depth < 256; ++depth) {
        if (hasOwnProperty(o, name))
            return true;
        if (o->kind() == ObjectKind::Array && NameIs(name, "length", cs))
            return true;
        if (o->kind() == ObjectKind::Clip) {
            bool found = false;
            getClipProperty(static_cast<ClipObject*>(o), name, found);
            if (found)
                return true;
        }
        o = o->proto();
    }
    return false;
}

void Machine::setProperty(Object* object, std::string_view name, const Value& v)
{
    const bool cs = caseSensitive();
    Value value = v;
    if (object->m_Watchers) {
        for (auto& [watched, w] : *object->m_Watchers)
            if (NameIs(watched, name, cs) && w.callback.isObject()) {
                // A watcher is a use of its property: one setting the property it watches past the limit of
                // uses sets it without being called again. It hears the old value a getter pair keeps (its
                // own or a prototype's), not the getter's.
                const Property* own = object->props().find(name, cs);
                const uint64_t id = own ? own->id : 0;
                if (PropertyUses(object, id, name, cs) >= PropertyUseLimit(m_Version))
                    break;
                const Property* pair = nullptr;
                int depth = 0;
                for (Object* o = object; o && depth < 256 && !pair; o = o->proto(), ++depth) {
                    const Property* q = o->props().find(name, cs);
                    if (q && PropertyVisible(q->flags, m_Version)) {
                        if (q->flags & kAccessor)
                            pair = q;
                        break;
                    }
                }
                Value old;
                if (pair)
                    old = pair->stored;
                else
                    getProperty(object, name, old, Value(object));
                Value args[4] = { Value(str(std::string(name))), old, value, w.data };
                Value callback = w.callback;
                PropertyInUse use(object, id, name);
                value = call(callback, Value(object), args, 4);
                break;
            }
    }
    // __proto__ is watched like any property.
    if (NameIs(name, "__proto__", cs)) {
        if (!(object->m_ProtoFlags & (kReadOnly | kAccessor)))
            object->setProto(value);
        return;
    }
    if (object->kind() == ObjectKind::Array) {
        auto* a = static_cast<ArrayObject*>(object);
        const long index = ArrayIndex(name);
        if (index >= 0 && index < ArrayObject::kMaxDenseLength) {
            const bool odd = a->m_OddLength;
            const int32_t length = a->m_Length;
            a->writeItem(size_t(index), value, a->props().size());
            // A length kept apart stays unless the index is at or past it.
            a->m_OddLength = odd && int32_t(index) < length;
            return;
        }
        if (NameIs(name, "length", cs)) {
            a->setLength(ToInt32(toNumber(value)));
            return;
        }
        // Other integer names ("-5", "4294967296") are kept as properties but move the length by their value
        // wrapped to 32 bits (its digits read exactly, however many).
        if (IntegerName(name)) {
            uint32_t wrapped = 0;
            for (char c : name)
                if (c != '-')
                    wrapped = wrapped * 10u + uint32_t(c - '0');
            const int32_t i = int32_t(name[0] == '-' ? 0u - wrapped : wrapped);
            if (double(i) >= a->length())
                a->setLength(int32_t(uint32_t(i) + 1u));
        }
    }
    if (object->kind() == ObjectKind::Clip && setClipProperty(static_cast<ClipObject*>(object), name, value))
        return;
    Property* p = object->props().find(name, cs);
    if (p) {
        if (p->flags & kAccessor) {
            WriteAccessor(*this, object, name, SelfOf(object), value, SuperHolder(object, object));
            return;
        }
        if (p->flags & kReadOnly)
            return;
        p->value = value;
        // Writing a property hidden from this version makes it visible again.
        if (!PropertyVisible(p->flags, m_Version))
            p->flags = uint16_t(p->flags & ~kVersionMask);
        return;
    }
    // A setter that a prototype defined with addProperty takes the value for this object.
    for (Object* o = object->proto(); o; o = o->proto()) {
        const Property* q = o->props().find(name, cs);
        if (q && (q->flags & kAccessor) && PropertyVisible(q->flags, m_Version)) {
            WriteAccessor(*this, o, name, SelfOf(object), value, o);
            return;
        }
        if (q)
            break;
    }
    object->props().add(name, cs).value = value;
}

bool Machine::deleteMember(Object* object, std::string_view name)
{
    const bool cs = caseSensitive();
    // Deleting __proto__ cuts the chain: it reads undefined afterwards.
    if (NameIs(name, "__proto__", cs)) {
        if (object->protoValue().isUndefined() || (object->m_ProtoFlags & kDontDelete))
            return false;
        object->setProto(Value());
        return true;
    }
    if (object->kind() == ObjectKind::Array) {
        auto* a = static_cast<ArrayObject*>(object);
        const long index = ArrayIndex(name);
        if (index >= 0 && size_t(index) < a->m_Items.size())
            return a->deleteItem(size_t(index));
    }
    const Property* p = object->props().find(name, cs);
    if (!p || (p->flags & kDontDelete))
        return false;
    return object->props().remove(name, cs);
}

bool Machine::resolveMissing(Object* object, std::string_view name, Value& out)
{
    const bool cs = caseSensitive();
    if (NameIs(name, "__resolve", cs))
        return false;
    // The chain's first __resolve decides: a function is called with the name; an object (not a clip) or an
    // added property answers nothing; other values are passed over.
    int depth = 0;
    for (Object* o = object; o && depth < 256; o = o->proto(), ++depth) {
        const Property* p = o->props().find("__resolve", cs);
        if (!p || !PropertyVisible(p->flags, m_Version))
            continue;
        if (p->flags & kAccessor)
            return false;
        if (p->value.isObject() && p->value.asObject()->isFunction()) {
            Value arg(str(std::string(name)));
            Value function = p->value;
            out = call(function, Value(object), &arg, 1);
            return true;
        }
        if (p->value.isObject() && p->value.asObject()->kind() != ObjectKind::Clip)
            return false;
    }
    return false;
}

Value Machine::getMember(const Value& object, std::string_view name)
{
    Value out;
    switch (object.type()) {
    case Type::Object:
        // Getters read through `super` run with the real `this`.
        if (!getProperty(object.asObject(), name, out, SelfOf(object.asObject())))
            resolveMissing(object.asObject(), name, out);
        return out;
    case Type::String:
        if (primitiveClassReplaced(object))
            break;
        if (NameIs(name, "length", caseSensitive()))
            return Value(double(m_Version >= 5 ? Utf16Length(object.str()) : object.str().size()));
        getProperty(m_StringProto, name, out, object);
        return out;
    case Type::Number:
        if (primitiveClassReplaced(object))
            break;
        getProperty(m_NumberProto, name, out, object);
        return out;
    case Type::Boolean:
        if (primitiveClassReplaced(object))
            break;
        getProperty(m_BooleanProto, name, out, object);
        return out;
    default:
        return out;
    }
    // A primitive whose class was replaced: the member of the object that class makes of it.
    if (Object* boxed = boxPrimitive(object))
        getProperty(boxed, name, out, Value(boxed));
    return out;
}

void Machine::setMember(const Value& object, std::string_view name, const Value& v)
{
    if (object.isObject())
        setProperty(object.asObject(), name, v);
}

std::vector<std::string> Machine::enumerate(Object* object)
{
    // Each object of the chain gives its own names (a nearer object's name hides the same one further down);
    // the prototypes' names come first, the furthest prototype's before the nearer ones, the object's last.
    std::vector<std::vector<std::string>> groups;
    std::vector<std::string> seen;
    const bool cs = caseSensitive();
    auto add = [&](const std::string& name) {
        for (const auto& s : seen)
            if (NameIs(s, name, cs))
                return;
        seen.push_back(name);
        groups.back().push_back(name);
    };
    // Names come newest first. An array's elements written by index sit among its named properties in the
    // order they were made; other elements count as older than every named property.
    struct Item {
        const Property* named;
        size_t index;
        bool proto = false;
    };
    std::vector<Item> order;
    int depth = 0;
    for (Object* o = object; o && depth < 256; o = o->proto(), ++depth) {
        order.clear();
        groups.emplace_back();
        auto* a = o->kind() == ObjectKind::Array ? static_cast<ArrayObject*>(o) : nullptr;
        std::vector<std::pair<uint64_t, size_t>> elements;
        if (a)
            for (size_t i = 0; i < a->m_Items.size(); ++i)
                if (!a->hole(i))
                    elements.emplace_back(a->bornKey(i), i);
        std::sort(elements.begin(), elements.end());
        size_t next = 0;
        size_t named = 0;
        for (const Property& p : o->props().entries()) {
            if (p.removed)
                continue;
            for (; next < elements.size() && (elements[next].first >> 32) <= named; ++next)
                order.push_back({ nullptr, elements[next].second });
            order.push_back({ &p, 0 });
            ++named;
        }
        for (; next < elements.size(); ++next)
            order.push_back({ nullptr, elements[next].second });
        // The __proto__ link is a member born with its object: the oldest, after only a `constructor` made with it.
        if (!o->protoValue().isUndefined()) {
            const bool afterConstructor
                = !order.empty() && order.front().named && NameIs(order.front().named->name, "constructor", cs);
            order.insert(order.begin() + (afterConstructor ? 1 : 0), Item { nullptr, 0, true });
        }
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            if (it->proto) {
                if (o->m_ProtoFlags & kDontEnum)
                    seen.push_back("__proto__");
                else
                    add("__proto__");
                continue;
            }
            if (!it->named) {
                if (a->itemFlags(it->index) & kDontEnum)
                    seen.push_back(std::to_string(it->index));
                else
                    add(std::to_string(it->index));
                continue;
            }
            // Properties hidden from this version are still enumerated (reading them gives undefined).
            if (it->named->flags & kDontEnum) {
                seen.push_back(it->named->name); // hides the same name further down the chain
                continue;
            }
            add(it->named->name);
        }
        if (o->kind() == ObjectKind::Clip) {
            if (SpriteInstance* s = clipSprite(static_cast<ClipObject*>(o)))
                // Every named child is listed, shapes and static text too: their names read as the clip.
                for (auto it = s->displayList.rbegin(); it != s->displayList.rend(); ++it)
                    if (!it->second.name.empty()
                        && (it->second.sprite || it->second.field || m_Player.character(*s, it->second.characterId)))
                        add(it->second.name);
        }
    }
    std::vector<std::string> names;
    for (auto group = groups.rbegin(); group != groups.rend(); ++group)
        names.insert(names.end(), group->begin(), group->end());
    return names;
}

// Whether the interfaces `holder` implements (ImplementsOp), or those they implement in turn, include the
// prototype `proto`. The interfaces' own prototype chains do not count. Each holder is searched once (`seen`), so
// cycles and shared interfaces cost no more than the objects they hold.
static bool ImplementsInterface(Object* holder, Object* proto, std::vector<Object*>& seen)
{
    if (std::find(seen.begin(), seen.end(), holder) != seen.end() || seen.size() >= 4096)
        return false;
    seen.push_back(holder);
    for (Object* i : holder->m_Interfaces)
        if (i == proto || (!i->m_Interfaces.empty() && ImplementsInterface(i, proto, seen)))
            return true;
    return false;
}

Value Machine::storedMember(Object* object, std::string_view name)
{
    const Property* p = object->props().find(name, caseSensitive());
    if (!p)
        return Value();
    return (p->flags & kAccessor) ? p->stored : p->value;
}

bool Machine::instanceOfValue(const Value& object, const Value& constructor, bool cast)
{
    // A primitive class is made an object by its class (which a replaced class can see) and matches nothing;
    // so does a primitive cast (InstanceOf does not convert it).
    const auto primitive = [](const Value& v) { return v.isString() || v.isNumber() || v.isBool(); };
    const auto box = [&](const Value& v) {
        if (primitiveClassReplaced(v))
            boxPrimitive(v);
        return false;
    };
    const auto gone = [&](const Value& v) {
        return v.asObject()->kind() == ObjectKind::Clip && !clipSprite(static_cast<ClipObject*>(v.asObject()));
    };
    if (primitive(object))
        return cast ? box(object) : false;
    if (!object.isObject())
        return false;
    if (primitive(constructor))
        return box(constructor);
    if (!constructor.isObject() || constructor.asObject()->kind() == ObjectKind::Super)
        return false;
    // The class's own prototype as stored, whatever version may see it; a getter there is not run. A primitive
    // is made an object by its class, which a replaced class may have made an interface meanwhile.
    Value protoValue = storedMember(constructor.asObject(), "prototype");
    if (primitive(protoValue)) {
        Object* boxed = primitiveClassReplaced(protoValue) ? boxPrimitive(protoValue) : nullptr;
        if (!boxed || gone(object))
            return false;
        return inherits(object.asObject(), boxed);
    }
    if (!protoValue.isObject() || protoValue.asObject()->kind() == ObjectKind::Clip || gone(object)
        || gone(constructor))
        return false;
    return inherits(object.asObject(), protoValue.asObject());
}

bool Machine::instanceOf(Object* object, Object* constructor)
{
    Value protoValue;
    if (!getProperty(constructor, "prototype", protoValue, Value(constructor)) || !protoValue.isObject())
        return false;
    return inherits(object, protoValue.asObject());
}

bool Machine::inherits(Object* object, Object* proto)
{
    std::vector<Object*> seen;
    int depth = 0;
    for (Object* o = object->proto(); o && depth < 256; o = o->proto(), ++depth) {
        if (o == proto)
            return true;
        if (!o->m_Interfaces.empty() && ImplementsInterface(o, proto, seen))
            return true;
    }
    return false;
}

// ---- calls ----

void Machine::throwValue(const Value& v)
{
    m_Thrown = v;
    m_Unwind = Unwind::Throw;
}

bool Machine::timeUp()
{
    if (m_TimeLimit <= 0)
        return false;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_RunStart).count();
    return elapsed > m_TimeLimit;
}

Value Machine::call(const Value& function, const Value& self, const Value* args, int argc)
{
    Object* holder = std::exchange(t_CallHolder, nullptr);
    if (!function.isObject() || !function.asObject()->isFunction() || m_Unwind != Unwind::None)
        return Value();
    // Native code calling back into functions (conversions calling toString...) nests as deep as scripts may.
    if (m_NativeDepth >= m_RecursionLimit) {
        m_Unwind = Unwind::Abort;
        return Value();
    }
    ++m_NativeDepth;
    Value r = invoke(static_cast<FunctionObject*>(function.asObject()), self, args, argc, holder, nullptr);
    --m_NativeDepth;
    return r;
}

Value CallAccessor(Machine& m, const Value& function, const Value& self, const Value* args, int argc, Object* holder)
{
    // With the prototype it was found on, `super` inside the accessor works as in a method found there.
    t_CallHolder = holder;
    return m.call(function, self, args, argc);
}

Value ReadAccessor(Machine& m, Object* owner, const Property& p, const Value& self, Object* holder)
{
    if (PropertyUses(owner, p.id, p.name, m.caseSensitive()) >= PropertyUseLimit(m.version()) || !p.value.isObject())
        return p.stored;
    PropertyInUse use(owner, p.id, p.name);
    const Value getter = p.value;
    return CallAccessor(m, getter, self, nullptr, 0, holder);
}

void WriteAccessor(Machine& m, Object* owner, std::string_view name, const Value& self, const Value& v, Object* holder)
{
    const bool cs = m.caseSensitive();
    Property* p = owner->props().find(name, cs);
    if (!p)
        return;
    const uint64_t id = p->id;
    if (PropertyUses(owner, id, name, cs) < PropertyUseLimit(m.version()) && p->setter.isObject()) {
        PropertyInUse use(owner, id, name);
        const Value setter = p->setter;
        CallAccessor(m, setter, self, &v, 1, holder);
        // The setter may have removed or replaced the property.
        p = owner->props().find(name, cs);
        if (!p || p->id != id)
            return;
    }
    p->stored = v;
}

Value Machine::callMethod(const Value& object, std::string_view name, const Value* args, int argc)
{
    Value f = getMember(object, name);
    return call(f, object, args, argc);
}

Value Machine::construct(const Value& constructor, const Value* args, int argc)
{
    if (!constructor.isObject() || !constructor.asObject()->isFunction())
        return Value();
    auto* f = static_cast<FunctionObject*>(constructor.asObject());
    if (m_NativeDepth >= m_RecursionLimit) {
        m_Unwind = Unwind::Abort;
        return Value();
    }
    ++m_NativeDepth;
    Value protoValue = getMember(constructor, "prototype");
    Object* object = newObject(protoValue.isObject() ? protoValue.asObject() : m_ObjectProto);
    if (!protoValue.isObject())
        object->setProto(protoValue);
    define(object, "__constructor__", constructor);
    if (m_Version < 7)
        define(object, "constructor", constructor);
    Value result = invoke(f, Value(object), args, argc, protoValue.isObject() ? protoValue.asObject() : nullptr, object);
    --m_NativeDepth;
    if (f->m_NativeConstruct && result.isObject())
        return result;
    // A native constructor that refuses its arguments (null) makes nothing.
    if (f->m_NativeConstruct && result.isNull())
        return Value();
    return Value(object);
}

Value Machine::invoke(FunctionObject* f, const Value& self, const Value* args, int argc, Object* holder,
    Object* newObject, bool keepThis)
{
    if (m_Unwind != Unwind::None)
        return Value();
    if (f->m_Native || f->m_NativeConstruct) {
        const bool wasConstructing = m_Constructing;
        m_Constructing = newObject != nullptr;
        NativeFunction fn = (newObject && f->m_NativeConstruct) ? f->m_NativeConstruct : f->m_Native;
        Value r = fn ? fn(*this, self, args, argc) : Value();
        m_Constructing = wasConstructing;
        return r;
    }
    if (!f->m_Code || !f->m_Info)
        return Value();
    // The frame script is the first frame; functions may nest as deep as the limit below it.
    if (int(m_Frames.size()) >= m_RecursionLimit) {
        // Too deep: the whole action list stops, as the player stops it.
        m_Unwind = Unwind::Abort;
        return Value();
    }
    const FunctionInfo& info = *f->m_Info;
    Frame frame;
    frame.code = f->m_Code;
    // A function runs by the version of the movie its clip shows now: one defined before another movie was
    // loaded into its clip takes that movie's rules.
    frame.version = f->m_Version;
    if (f->m_Target && f->m_Target->kind() == ObjectKind::Clip)
        if (const SpriteInstance* home = clipSprite(static_cast<ClipObject*>(f->m_Target)))
            frame.version = m_Player.versionOf(*home);
    frame.pool = f->m_Pool;
    frame.callee = f;
    frame.holder = holder;
    frame.originalTarget = f->m_Target;
    frame.target = f->m_Target;
    frame.self = self.isNullish() && !keepThis ? Value(f->m_Target) : self;
    // A primitive `this` is the object its class makes of it.
    if (self.isString() || self.isNumber() || self.isBool()) {
        Object* boxed = primitiveClassReplaced(self) ? boxPrimitive(self) : toObject(self);
        frame.self = boxed ? Value(boxed) : Value(m_Global);
    }
    frame.stackBase = m_Stack.size();
    frame.regBase = m_Registers.size();
    frame.regCount = info.function2 ? std::max<uint16_t>(info.registerCount, 1) : 4;
    m_Registers.resize(frame.regBase + frame.regCount + size_t(std::max(argc, 0)));
    // The arguments follow the registers, for `arguments`.
    for (int i = 0; i < argc; ++i)
        m_Registers[frame.regBase + frame.regCount + size_t(i)] = args[i];
    frame.scope = f->m_Scope;
    // Calls made by SWF 5 code run functions of SWF 5 and earlier, and any function called without `this`, as
    // that version runs them: closed over nothing, names resolve in the timeline of the clip they are called on,
    // or else in the caller's timeline, and by the caller's rules. Other calls keep the function's own rules and
    // the chain it closed over.
    const int callerVersion = m_Version;
    if (callerVersion < 6 && (frame.version < 6 || self.isNullish())) {
        frame.scope = nullptr;
        frame.version = std::min(frame.version, callerVersion);
        if (self.isObject() && self.asObject()->kind() == ObjectKind::Clip) {
            frame.target = frame.originalTarget = self.asObject();
        } else if (!m_Frames.empty()) {
            const Frame* caller = m_Frames.back();
            frame.target = frame.originalTarget = caller->target ? caller->target : caller->originalTarget;
        }
    }
    // A function whose clip is gone runs in the clip it is called on, or else in the root.
    if (frame.target && frame.target->kind() == ObjectKind::Clip
        && !clipSprite(static_cast<ClipObject*>(frame.target))) {
        Object* base = rootClip();
        if (Object* o = self.isObject() ? self.asObject() : nullptr;
            o && o->kind() == ObjectKind::Clip && clipSprite(static_cast<ClipObject*>(o)))
            base = o;
        frame.target = frame.originalTarget = base;
    }
    m_Frames.push_back(&frame);

    auto ensureActivation = [&]() {
        if (!frame.activation) {
            frame.activation = m_Heap.make<Object>(nullptr, ObjectKind::Activation);
            frame.scope = m_Heap.make<Scope>(frame.activation, frame.scope, ScopeKind::Local);
        }
    };
    if (!info.function2 || !info.params.empty()) {
        bool needLocals = !info.function2;
        for (auto& [reg, name] : info.params)
            if (reg == 0)
                needLocals = true;
        if (needLocals)
            ensureActivation();
    }
    if (info.function2) {
        uint16_t r = 1;
        auto preload = [&](bool flag, const Value& v) {
            if (flag && r < frame.regCount)
                m_Registers[frame.regBase + r++] = v;
        };
        // A value both preloaded and suppressed takes its register but stays undefined (`arguments` excepted).
        preload(info.preloadThis, info.suppressThis ? Value() : frame.self);
        if (info.preloadArguments) {
            ArrayObject* a = newArray();
            a->m_Items.assign(args, args + std::max(argc, 0));
            define(a, "callee", Value(static_cast<Object*>(f)));
            frame.arguments = a;
            preload(true, Value(a));
        }
        if (info.preloadSuper)
            preload(true,
                info.suppressSuper ? Value()
                                   : Value(static_cast<Object*>(m_Heap.make<SuperObject>(holder, frame.self))));
        preload(info.preloadRoot, Value(rootClip(f->m_Target)));
        if (info.preloadParent) {
            // The timeline's real parent (not a variable named _parent); without one, no register is taken.
            Value parent;
            bool found = false;
            if (frame.target && frame.target->kind() == ObjectKind::Clip)
                parent = getClipProperty(static_cast<ClipObject*>(frame.target), "_parent", found);
            preload(!parent.isUndefined(), parent);
        }
        preload(info.preloadGlobal, Value(m_Global));
    }
    for (size_t i = 0; i < info.params.size(); ++i) {
        const Value v = int(i) < argc ? args[i] : Value();
        const auto& [reg, name] = info.params[i];
        if (info.function2 && reg != 0) {
            if (reg < frame.regCount)
                m_Registers[frame.regBase + reg] = v;
        } else if (frame.activation) {
            define(frame.activation, name, v, 0);
        }
    }
    uint32_t pc = info.start;
    // The function runs by the rules of its version (see above), with that version's globals.
    const int callerGlobals = useGlobalsOf(frame.version);
    if (frame.version > 0)
        m_Version = frame.version;
    if (m_TimeCheck++ % 256 == 0 && timeUp())
        m_Unwind = Unwind::Abort;
    else
        Execute(*this, frame, info.start, info.end, pc);
    m_Version = callerVersion;
    useGlobalsOf(callerGlobals);
    m_Frames.pop_back();
    m_Stack.resize(std::min(m_Stack.size(), frame.stackBase));
    m_Registers.resize(frame.regBase);
    if (m_Unwind == Unwind::Return) {
        m_Unwind = Unwind::None;
        Value r = m_Returned;
        m_Returned = Value();
        return r;
    }
    return Value();
}

// ---- the movie ----

std::shared_ptr<Code> Machine::codeFor(const CActionsItem* actions)
{
    auto it = m_Codes.find(actions);
    if (it != m_Codes.end())
        return it->second;
    auto code = DecodeActions(*actions, m_Version, m_Heap);
    m_Codes.emplace(actions, code);
    return code;
}

void Machine::runFrameActions(SpriteInstance& sprite, const CActionsItem* actions)
{
    if (!actions || !m_Frames.empty())
        return;
    // Fields placed with this frame show their variables, or give them their text, before its script runs.
    SyncTextFields(*this, sprite, false);
    // A loaded movie's actions are read by the rules of its own version.
    const int version = m_Player.versionOf(sprite);
    if (version != m_Version && !m_Codes.count(actions))
        m_Codes.emplace(actions, DecodeActions(*actions, version, m_Heap));
    std::shared_ptr<Code> code = codeFor(actions);
    Frame frame;
    frame.code = code;
    frame.version = code->version;
    frame.target = frame.originalTarget = clipObject(sprite);
    frame.self = Value(frame.target);
    frame.stackBase = m_Stack.size();
    frame.regBase = m_Registers.size();
    frame.regCount = 4;
    m_Registers.resize(frame.regBase + 4);
    m_Unwind = Unwind::None;
    m_RunStart = std::chrono::steady_clock::now();
    m_Frames.push_back(&frame);
    uint32_t pc = 0;
    const int movieVersion = m_Version;
    const int movieGlobals = useGlobalsOf(frame.version);
    if (frame.version > 0)
        m_Version = frame.version;
    Execute(*this, frame, 0, uint32_t(code->ops.size()), pc);
    m_Version = movieVersion;
    useGlobalsOf(movieGlobals);
    m_Frames.pop_back();
    m_Stack.clear();
    m_Registers.clear();
    m_Temporaries.clear();
    m_Unwind = Unwind::None;
    m_Thrown = Value();
    m_Returned = Value();
}

Object* Machine::clipObject(SpriteInstance& sprite)
{
    if (!sprite.script.m_Link) {
        sprite.script.m_Link = std::make_shared<ClipLink>();
        sprite.script.m_Link->sprite = &sprite;
    }
    ClipLink& link = *sprite.script.m_Link;
    if (!link.object) {
        // A clip's prototype is the MovieClip prototype of its own movie's version.
        link.object = m_Heap.make<ClipObject>(clipPrototypeOf(m_Player.versionOf(sprite)), sprite.script.m_Link);
        // References to the clip keep the path it has now: once it is gone they stand for what is found there,
        // whatever it was renamed to in between.
        if (link.path.empty())
            link.path = targetPath(sprite, false);
        // The main movie's timeline carries the player's version as a variable of its own.
        if (&sprite == &m_Player.m_Root) {
            const Value version = getMember(getMember(getMember(Value(m_Global), "System"), "capabilities"), "version");
            if (version.isString())
                link.object->props().add("$version", caseSensitive()).value = version;
        }
    }
    return link.object;
}

SpriteInstance* Machine::spriteOf(const Value& v) const
{
    if (!v.isObject() || v.asObject()->kind() != ObjectKind::Clip)
        return nullptr;
    return clipSprite(static_cast<ClipObject*>(v.asObject()));
}

SpriteInstance* Machine::clipSprite(const ClipObject* clip) const
{
    // A clip taken off the stage is gone for scripts at once, though it lives on until the step's actions end;
    // only its unload handlers still see it.
    if (SpriteInstance* sprite = clip->sprite(); sprite && (!sprite->removed || m_UnloadDepth > 0))
        return sprite;
    if (!clip->m_Link || clip->m_Link->path.empty())
        return nullptr;
    // Walks the path's names down from the root; "_level0" is the root itself.
    std::string_view path = clip->m_Link->path;
    const size_t first = path.find('.');
    if (first == std::string_view::npos)
        return nullptr;
    SpriteInstance* current = &m_Player.m_Root;
    const bool cs = caseSensitive();
    for (size_t pos = first + 1; current && pos <= path.size();) {
        size_t next = path.find('.', pos);
        if (next == std::string_view::npos)
            next = path.size();
        const std::string_view part = path.substr(pos, next - pos);
        SpriteInstance* found = nullptr;
        for (auto& [depth, object] : current->displayList)
            if (object.sprite && NameIs(object.name, part, cs)) {
                found = object.sprite.get();
                break;
            }
        current = found;
        pos = next + 1;
    }
    return current;
}

Object* Machine::rootClip()
{
    return clipObject(m_Player.m_Root);
}

Object* Machine::rootClip(Object* from)
{
    for (SpriteInstance* s = from ? spriteOf(Value(from)) : nullptr; s && s->parent; s = s->parent) {
        Object* clip = clipObject(*s);
        const Property* p = clip->props().find("_lockroot", false);
        if (p && !p->removed && toBoolean(p->value))
            return clip;
    }
    return rootClip();
}

std::string Machine::targetPath(SpriteInstance& sprite, bool slash)
{
    std::vector<const std::string*> names;
    SpriteInstance* top = &sprite;
    for (SpriteInstance* s = &sprite; s && s->parent && s->display; s = s->parent) {
        names.push_back(&s->display->name);
        top = s->parent;
    }
    const int level = m_Player.levelNumber(*top);
    std::string path = slash ? "" : "_level" + std::to_string(std::max(level, 0));
    if (slash && level > 0)
        path = "_level" + std::to_string(level);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        path += slash ? "/" : ".";
        path += **it;
    }
    if (slash && path.empty())
        return std::string(1, '/');
    return path;
}

Object* Machine::resolveTarget(Object* base, std::string_view path)
{
    if (path.empty())
        return base;
    const bool cs = caseSensitive();
    SpriteInstance* current = spriteOf(Value(base));
    Object* currentObject = base;
    const bool slash = path.find('/') != std::string_view::npos;
    // Dot paths take ':' as a separator too ("a:b.c"); slash paths only '/', but their first name may be a dot
    // path of its own ("a.b/c").
    const std::string_view separators = slash ? std::string_view("/") : std::string_view(".:");
    size_t pos = 0;
    if (slash && path[0] == '/') {
        current = &m_Player.m_Root;
        currentObject = nullptr;
        pos = 1;
    } else if (slash) {
        const std::string_view first = path.substr(0, path.find('/'));
        if (first.find(':') != std::string_view::npos
            || (first.find('.') != std::string_view::npos && first.find("..") == std::string_view::npos)) {
            Object* head = resolveTarget(base, first);
            if (!head)
                return nullptr;
            current = spriteOf(Value(head));
            currentObject = current ? nullptr : head;
            pos = first.size() + 1;
        }
    }
    while (pos <= path.size()) {
        size_t next = path.find_first_of(separators, pos);
        if (next == std::string_view::npos)
            next = path.size();
        std::string_view part = path.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty()) {
            if (next >= path.size())
                break;
            if (slash)
                return nullptr; // "a//b" names nothing
            continue;
        }
        if (part == "..") {
            current = current ? current->parent : nullptr;
            currentObject = nullptr;
        } else if (part == "." || NameIs(part, "this", cs)) {
            // stays
        } else if (NameIs(part, "_root", cs) || NameIs(part, "_level0", cs)) {
            current = &m_Player.m_Root;
            currentObject = nullptr;
        } else if (NameIs(part, "_parent", cs)) {
            current = current ? current->parent : nullptr;
            currentObject = nullptr;
        } else if (Object* level = LevelTarget(*this, part, false)) {
            current = spriteOf(Value(level));
            currentObject = nullptr;
        } else if (NameIs(part, "_global", false)) {
            current = nullptr;
            currentObject = m_Global;
        } else {
            SpriteInstance* found = nullptr;
            if (current)
                for (auto& [depth, object] : current->displayList)
                    if (object.sprite && NameIs(object.name, part, cs)) {
                        found = object.sprite.get();
                        break;
                    }
            if (!found) {
                // Not a child: an object property that holds a clip.
                Object* holder = current ? clipObject(*current) : currentObject;
                if (!holder)
                    return nullptr;
                Value v = getMember(Value(holder), part);
                if (!v.isObject())
                    return nullptr;
                found = spriteOf(v);
                currentObject = v.asObject();
                current = found;
                continue;
            }
            current = found;
            currentObject = nullptr;
        }
        if (!current && !currentObject)
            return nullptr;
    }
    if (current)
        return clipObject(*current);
    return currentObject;
}

void Machine::gotoFrame(SpriteInstance& sprite, int frame, bool play)
{
    const int count = int(sprite.timeline->frames.size());
    if (count == 0)
        return;
    // A frame past the end is gone through to the last (see MoviePlayer::seek).
    frame = std::clamp(frame, 0, count);
    sprite.playing = play;
    m_Player.seek(sprite, frame, true);
}

bool Machine::gotoLabel(SpriteInstance& sprite, const std::string& label, bool play)
{
    for (const auto& [name, frame] : sprite.timeline->labels)
        if (NameIs(name, label, false)) {
            gotoFrame(sprite, frame, play);
            return true;
        }
    return false;
}

void Machine::gotoValue(SpriteInstance& sprite, const Value& frame, bool play, int bias)
{
    if (frame.isString()) {
        const std::string& s = frame.str();
        // "target:frame" names the frame of another clip.
        const size_t colon = s.rfind(':');
        if (colon != std::string::npos) {
            Object* other = resolveTarget(clipObject(sprite), std::string_view(s).substr(0, colon));
            if (SpriteInstance* target = spriteOf(Value(other)))
                gotoValue(*target, Value(str(s.substr(colon + 1))), play, bias);
            return;
        }
        // A label counts from its scene's start as a number does: the scene's bias moves it too.
        for (const auto& [name, number] : sprite.timeline->labels)
            if (NameIs(name, s, false)) {
                gotoFrame(sprite, int(std::min(double(number) + bias, 1e9)), play);
                return;
            }
        // Not a label: a frame number when it is written as a whole number, else nowhere.
        size_t digits = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
        if (digits == s.size())
            return;
        for (size_t i = digits; i < s.size(); ++i)
            if (s[i] < '0' || s[i] > '9')
                return;
        gotoNumber(sprite, stringToNumber(s, m_Version), play, bias);
        return;
    }
    if (frame.isNumber() && frame.asNumber() == std::trunc(frame.asNumber())) {
        gotoNumber(sprite, frame.asNumber(), play, bias);
        return;
    }
    // Everything else (fractions, undefined, booleans, objects) names its frame by its string form.
    gotoValue(sprite, Value(toStringValue(frame)), play, bias);
}

void Machine::gotoNumber(SpriteInstance& sprite, double n, bool play, int bias)
{
    // Frame numbers are 32-bit integers and counted from 1 in 32-bit arithmetic that wraps: a frame before the
    // first goes nowhere, one past the end goes to the last frame.
    const uint32_t number = uint32_t(ToInt32(n));
    const int32_t index = int32_t(number - 1u);
    if (index < 0)
        return;
    gotoFrame(sprite, int(std::min(double(index) + bias, 1e9)), play);
}

plugin::EditField* Machine::fieldOf(SpriteInstance& parent, plugin::DisplayObject& display)
{
    if (display.sprite)
        return nullptr;
    if (display.field && display.field->characterId == display.characterId)
        return display.field.get();
    auto found = m_Player.m_Characters.find(display.characterId);
    if (found == m_Player.m_Characters.end() || found->second->m_TagCode != kTagDefineEditText)
        return nullptr;
    auto* tag = dynamic_cast<const CDefineEditTextTag*>(found->second);
    if (!tag)
        return nullptr;
    const CTag* font = nullptr;
    if (tag->m_HasFont)
        if (auto found = m_Player.m_Characters.find(tag->m_FontID); found != m_Player.m_Characters.end())
            font = found->second;
    display.field = plugin::FieldFromTag(*tag, font, m_Version);
    display.field->alignedTrailingSpaces = m_Version <= 7;
    // The movie's CSMTextSettings for this field (the first one naming it) set how its glyphs are drawn.
    const CTagsItem* tags = m_Player.m_Movie ? m_Player.m_Movie->GetTags() : nullptr;
    for (int i = 0; tags && i < tags->GetItemCount(); ++i) {
        const CTag* t = tags->GetTag(i);
        auto* settings = t && t->m_TagCode == kTagCSMTextSettings ? dynamic_cast<const CCSMTextSettingsTag*>(t)
                                                                   : nullptr;
        if (!settings || settings->m_TextID != display.characterId)
            continue;
        static constexpr const char* kGridFit[] = { "none", "pixel", "subpixel" };
        display.field->antiAliasType = settings->m_UseFlashType == 1 ? "advanced" : "normal";
        if (settings->m_GridFit < std::size(kGridFit))
            display.field->gridFitType = kGridFit[settings->m_GridFit];
        display.field->thickness = settings->m_Thickness;
        display.field->sharpness = settings->m_Sharpness;
        break;
    }
    (void)parent;
    return display.field.get();
}

const plugin::Font* Machine::embeddedFont(std::string_view name, bool bold, bool italic)
{
    return plugin::FindFont(m_Player.m_Characters, m_Player.m_FontCache, name, bold, italic);
}

Object* Machine::fieldObject(SpriteInstance& parent, plugin::DisplayObject& display)
{
    plugin::EditField* field = fieldOf(parent, display);
    if (!field)
        return nullptr;
    if (!field->script) {
        field->script = std::make_shared<FieldLink>();
        field->script->field = field;
    }
    clipObject(parent);
    field->script->holder = parent.script.m_Link;
    if (!field->script->object)
        field->script->object = MakeFieldObject(*this, field->script);
    return field->script->object;
}

Value Machine::getClipProperty(ClipObject* clip, std::string_view name, bool& found)
{
    found = false;
    SpriteInstance* sprite = clipSprite(clip);
    if (!sprite)
        return Value();
    const bool cs = caseSensitive();
    for (auto& [depth, object] : sprite->displayList) {
        if (object.name.empty() || !NameIs(object.name, name, cs))
            continue;
        if (object.sprite) {
            found = true;
            return Value(clipObject(*object.sprite));
        }
        if (Object* field = fieldObject(*sprite, object)) {
            found = true;
            return Value(field);
        }
        if (Object* button = m_Version >= 6 ? ButtonObject(*this, *sprite, object) : nullptr) {
            found = true;
            return Value(button);
        }
        if (Object* video = m_Version >= 6 ? VideoObject(*this, *sprite, object) : nullptr) {
            found = true;
            return Value(video);
        }
        // A named shape (or other object that is no script object of its own, as buttons before SWF 6) stands
        // for the clip holding it.
        const CTag* character = m_Player.character(*sprite, object.characterId);
        if (character) {
            found = true;
            return Value(clipObject(*sprite));
        }
    }
    if (name.empty() || name[0] != '_')
        return Value();
    // SWF 4 has no names for other timelines: they are plain variables of the clip there.
    if (m_Version < 5
        && (NameIs(name, "_parent", false) || NameIs(name, "_root", false) || NameIs(name, "_global", false)
            || LevelNumber(name) >= 0))
        return Value();
    if (NameIs(name, "_parent", false)) {
        found = true;
        // A clip in a button's state has the button as its parent: an object of its own from SWF 6, the clip
        // holding the button before.
        if (SpriteInstance* up = sprite->parent; up && up->buttonContent && up->parent && up->display) {
            if (Object* button = m_Version >= 6 ? ButtonObject(*this, *up->parent, *up->display) : nullptr)
                return Value(button);
            return Value(clipObject(*up->parent));
        }
        return sprite->parent ? Value(clipObject(*sprite->parent)) : Value();
    }
    // Level names follow the version's case rule; the other names here match in any case.
    // A clip's _root is the root its own scripts see (a clip up from it with _lockroot set, else level 0).
    if (NameIs(name, "_root", false)) {
        found = true;
        return Value(rootClip(clip));
    }
    if (NameIs(name, "_level0", caseSensitive())) {
        found = true;
        return Value(rootClip());
    }
    if (Object* level = LevelNameCased(name, caseSensitive()) ? LevelTarget(*this, name, false) : nullptr) {
        found = true;
        return Value(level);
    }
    if (NameIs(name, "_global", false) && m_Version >= 6) {
        found = true;
        return Value(m_Global);
    }
    if (NameIs(name, "_lockroot", false)) {
        found = true;
        return Value(false);
    }
    const int index = ClipPropertyIndex(name);
    if (index < 0)
        return Value();
    found = true;
    const plugin::DisplayObject* display = sprite->display;
    const cairo_matrix_t identity { 1, 0, 0, 1, 0, 0 };
    const cairo_matrix_t& m = display ? display->matrix : identity;
    auto round = [](double v) { return std::round(v * 20.0) / 20.0; };
    switch (index) {
    case 0:
        return Value(round(m.x0 / 20.0));
    case 1:
        return Value(round(m.y0 / 20.0));
    case 2:
        return Value(MatrixScaleX(m) * 100.0);
    case 3:
        return Value(MatrixScaleY(m) * 100.0);
    case 4:
        // A clip whose movie was unloaded stands on no frame.
        return Value(sprite->unloaded ? 0.0 : double(std::max(0, sprite->currentFrame) + 1));
    case 5:
    case 12:
        return Value(double(sprite->timeline->frames.size()));
    case 6:
        return Value(display ? display->colorTransform.ma * 100.0 : 100.0);
    case 7:
        return Value(display ? display->visible : true);
    case 8:
    case 9: {
        // The extent of the clip's content in its parent's space.
        double box[4] = { 1e300, 1e300, -1e300, -1e300 };
        if (!m_Player.spriteBounds(*sprite, m, box))
            return Value(0.0);
        return Value(round((index == 8 ? box[2] - box[0] : box[3] - box[1]) / 20.0));
    }
    case 20:
    case 21: {
        cairo_matrix_t toLocal = m_Player.stageMatrix(*sprite);
        // The clip's place on the stage counts in whole pixels here: a clip at a fractional position reads the
        // mouse as if it were at the nearest pixel.
        toLocal.x0 = std::round(toLocal.x0 / 20.0) * 20.0;
        toLocal.y0 = std::round(toLocal.y0 / 20.0) * 20.0;
        double x = m_Player.mouseX();
        double y = m_Player.mouseY();
        // To the nearest twip; a clip scaled to nothing reads the stage's pixels as its twips.
        if (cairo_matrix_invert(&toLocal) == CAIRO_STATUS_SUCCESS) {
            // The inverse keeps its offset in whole twips, as the player's matrices hold translations.
            toLocal.x0 = std::round(toLocal.x0);
            toLocal.y0 = std::round(toLocal.y0);
            cairo_matrix_transform_point(&toLocal, &x, &y);
        } else {
            x /= 20.0;
            y /= 20.0;
        }
        return Value(std::round(index == 20 ? x : y) / 20.0);
    }
    case 10:
        return Value(MatrixRotation(m));
    case 11:
        return Value(str(targetPath(*sprite, true)));
    case 13:
        return Value(str(display ? display->name : std::string()));
    case 14:
        return Value(str(dropTarget(*sprite)));
    case 15:
        if (!sprite->failedUrl.empty())
            return Value(str(sprite->failedUrl));
        if (sprite->library)
            return Value(str(sprite->library->url));
        // The main movie shows as the loaded ones do: relative to the root of local files, by its file name.
        if (const std::string& url = m_Player.movieUrl; !url.empty() && url.find("://") == std::string::npos)
            return Value(str("file:///" + url.substr(url.find_last_of('/') + 1)));
        return Value(str(m_Player.movieUrl.empty() ? std::string("file:///movie.swf") : m_Player.movieUrl));
    case 16:
        return Value(m_Player.quality() == plugin::Quality::High ? 1.0 : 0.0);
    case 17:
        return FocusRectProperty(*this, *sprite);
    case 18:
        return Value(5.0);
    case 19:
        return Value(str(m_Player.quality() == plugin::Quality::High ? "HIGH"
                : m_Player.quality() == plugin::Quality::Medium          ? "MEDIUM"
                                                                         : "LOW"));
    default:
        return Value(0.0);
    }
}

bool Machine::setClipProperty(ClipObject* clip, std::string_view name, const Value& v)
{
    // _lockroot holds a boolean; it stays with the clip when a movie is loaded into it.
    if (NameIs(name, "_lockroot", false)) {
        define(clip, "_lockroot", Value(toBoolean(v)), kDontEnum);
        return true;
    }
    const int index = ClipPropertyIndex(name);
    if (index < 0)
        return false;
    SpriteInstance* sprite = clipSprite(clip);
    if (!sprite)
        return true;
    // _highquality and _focusrect ignore text that is no number, in SWF 4 movies too (which read it as 0).
    if ((index == 16 || index == 17) && v.isString() && std::isnan(stringToNumber(v.str(), 5)))
        return true;
    if (index == 17) {
        SetFocusRectProperty(*this, *sprite, v);
        return true;
    }
    plugin::DisplayObject* display = sprite->display;
    const double n = toNumber(v);
    if (!display)
        return index != 13 && index != 19 && index != 16;
    cairo_matrix_t& m = display->matrix;
    // Once a script sets where a clip is, the timeline no longer moves it.
    if (index <= 3 || index == 6 || index == 8 || index == 9 || index == 10)
        display->scriptMoved = true;
    switch (index) {
    case 0:
        if (std::isfinite(n))
            m.x0 = n * 20.0;
        return true;
    case 1:
        if (std::isfinite(n))
            m.y0 = n * 20.0;
        return true;
    case 2:
        if (std::isfinite(n))
            SetMatrix(m, n / 100.0, MatrixScaleY(m), MatrixRotation(m));
        return true;
    case 3:
        if (std::isfinite(n))
            SetMatrix(m, MatrixScaleX(m), n / 100.0, MatrixRotation(m));
        return true;
    case 6:
        if (std::isfinite(n))
            display->colorTransform.ma = n / 100.0;
        return true;
    case 7:
        display->visible = toBoolean(v) || (v.isNumber() && v.asNumber() != 0);
        return true;
    case 10:
        if (std::isfinite(n))
            SetMatrix(m, MatrixScaleX(m), MatrixScaleY(m), n);
        return true;
    case 8:
    case 9: {
        // Scales the clip so that its content's extent in the parent's space becomes the value.
        double box[4] = { 1e300, 1e300, -1e300, -1e300 };
        const cairo_matrix_t rotation = [&] {
            cairo_matrix_t r = m;
            SetMatrix(r, 1, 1, MatrixRotation(m));
            r.x0 = r.y0 = 0;
            return r;
        }();
        if (!std::isfinite(n) || n < 0 || !m_Player.spriteBounds(*sprite, rotation, box))
            return true;
        const double extent = index == 8 ? box[2] - box[0] : box[3] - box[1];
        if (extent <= 0)
            return true;
        const double scale = n * 20.0 / extent;
        if (index == 8)
            SetMatrix(m, scale, MatrixScaleY(m), MatrixRotation(m));
        else
            SetMatrix(m, MatrixScaleX(m), scale, MatrixRotation(m));
        return true;
    }
    case 13:
        display->name = toString(v);
        return true;
    case 16:
        m_Player.setQuality(toBoolean(v) ? plugin::Quality::High : plugin::Quality::Low);
        return true;
    case 19: {
        const std::string q = toString(v);
        if (strcasecmp(q.c_str(), "LOW") == 0)
            m_Player.setQuality(plugin::Quality::Low);
        else if (strcasecmp(q.c_str(), "MEDIUM") == 0)
            m_Player.setQuality(plugin::Quality::Medium);
        else if (strcasecmp(q.c_str(), "HIGH") == 0 || strcasecmp(q.c_str(), "BEST") == 0)
            m_Player.setQuality(plugin::Quality::High);
        return true;
    }
    default:
        return true; // read-only ones ignore writes
    }
}

// ---- timers ----

int Machine::addTimer(Timer timer)
{
    timer.id = m_NextTimer++;
    timer.due = m_NowMs + std::max(timer.interval, 1.0);
    m_Timers.push_back(std::move(timer));
    return m_Timers.back().id;
}

void Machine::clearTimer(int id)
{
    m_Timers.erase(std::remove_if(m_Timers.begin(), m_Timers.end(), [id](const Timer& t) { return t.id == id; }),
        m_Timers.end());
}

void Machine::advanceTime(double nowMs)
{
    if (nowMs > m_NowMs)
        m_NowMs = nowMs;
    // A timer runs once for each of its intervals that the time passed holds, earliest due first, and what each
    // call queued (the events of clips it made) runs before the next call. Timers added meanwhile wait for the
    // next advance; a bound keeps a stalled host from running a short interval without end.
    constexpr int kMaxRunsPerAdvance = 1000;
    const int newer = m_NextTimer;
    for (int runs = 0; runs < kMaxRunsPerAdvance; ++runs) {
        auto next = m_Timers.end();
        for (auto it = m_Timers.begin(); it != m_Timers.end(); ++it)
            if (it->id < newer && it->due <= m_NowMs && (next == m_Timers.end() || it->due < next->due))
                next = it;
        if (next == m_Timers.end())
            return;
        Timer timer = *next;
        if (timer.repeat)
            next->due += std::max(timer.interval, 1.0);
        else
            m_Timers.erase(next);
        // A clip's method is looked up on the clip its reference stands for now (one of the same path), if any.
        Value object = timer.object;
        if (!timer.method.empty() && object.isObject() && object.asObject()->kind() == ObjectKind::Clip) {
            SpriteInstance* sprite = spriteOf(object);
            if (!sprite)
                continue;
            object = Value(clipObject(*sprite));
        }
        const bool top = beginRun();
        if (!timer.method.empty())
            callMethod(object, timer.method, timer.args.data(), int(timer.args.size()));
        else
            call(timer.function, Value(), timer.args.data(), int(timer.args.size()));
        endRun(top);
        m_Player.runQueuedActions();
    }
    // Still behind after the bound: what is left counts afresh from now.
    for (Timer& t : m_Timers)
        if (t.due <= m_NowMs)
            t.due = m_NowMs + std::max(t.interval, 1.0);
}

// ---- collection ----

void Machine::markRoots(Heap& heap)
{
    saveGlobals(m_GlobalSets[m_GlobalSet]);
    for (const GlobalSet& set : m_GlobalSets)
        for (Object* o : { set.global, set.internal, set.objectProto, set.functionProto, set.arrayProto, set.stringProto,
                 set.numberProto, set.booleanProto, set.clipProto, set.errorProto, set.dateProto, set.broadcaster,
                 set.stringClass, set.numberClass, set.booleanClass, set.arrayClass })
            if (o)
                heap.mark(static_cast<Cell*>(o));
    for (Object* o : m_Roots)
        heap.mark(static_cast<Cell*>(o));
    for (const Value& v : m_Stack)
        heap.mark(v);
    for (const Value& v : m_Registers)
        heap.mark(v);
    for (const Value& v : m_Temporaries)
        heap.mark(v);
    heap.mark(m_Thrown);
    heap.mark(m_Returned);
    heap.mark(m_Drag.clip);
    for (const Frame* f : m_Frames) {
        heap.mark(f->scope);
        heap.mark(static_cast<Cell*>(f->target));
        heap.mark(static_cast<Cell*>(f->originalTarget));
        heap.mark(f->self);
        heap.mark(static_cast<Cell*>(f->activation));
        heap.mark(static_cast<Cell*>(f->arguments));
        heap.mark(static_cast<Cell*>(f->callee));
        heap.mark(static_cast<Cell*>(f->holder));
    }
    for (const Timer& t : m_Timers) {
        heap.mark(t.function);
        heap.mark(t.object);
        for (const Value& v : t.args)
            heap.mark(v);
    }
    // Clips on the stage keep their script objects.
    std::vector<SpriteInstance*> todo { &m_Player.m_Root };
    while (!todo.empty()) {
        SpriteInstance* s = todo.back();
        todo.pop_back();
        if (s->script.m_Link && s->script.m_Link->object)
            heap.mark(static_cast<Cell*>(s->script.m_Link->object));
        for (auto& [depth, object] : s->displayList) {
            if (object.sprite)
                todo.push_back(object.sprite.get());
            if (object.field && object.field->script && object.field->script->object)
                heap.mark(static_cast<Cell*>(object.field->script->object));
            if (object.button && object.button->object)
                heap.mark(static_cast<Cell*>(object.button->object));
            if (object.video && object.video->object)
                heap.mark(static_cast<Cell*>(object.video->object));
        }
    }
}

void Machine::collectGarbage()
{
    // Clip objects that the collector frees must not stay in their links.
    m_Heap.collect([this](Heap& heap) { markRoots(heap); });
}

void Machine::idle()
{
    SyncTextFields(*this, m_Player.m_Root, true);
    if (m_Frames.empty() && m_Heap.wantsCollection())
        collectGarbage();
}

} // namespace reelfinch::avm1
