// The loop that runs decoded instructions: one switch over the instruction codes, operands on the machine's
// stack, registers in the machine's register file, and nested ranges (with, try, catch, finally) run by nested
// calls of the same loop.
#include "avm1/Clip.h"
#include "avm1/Loading.h"
#include "avm1/Machine.h"
#include "avm1/NumberText.h"
#include "avm1/TextCodec.h"
#include "avm1/builtins/NativeData.h"
#include "sound/MovieSound.h"
#include "timeline/MoviePlayer.h"

#include "Actions.h"
#include "TagCodes.h"
#include "Tags.h"

#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <strings.h>

namespace reelfinch::avm1 {

using plugin::SpriteInstance;

// Calls a getter or setter with `super` starting at `holder`.
Value CallAccessor(
    Machine& m, const Value& function, const Value& self, const Value* args, int argc, Object* holder = nullptr);
// A getter's value read for `self`; while the property may not be used again, the value last written to it.
Value ReadAccessor(Machine& m, Object* owner, const Property& p, const Value& self, Object* holder = nullptr);

namespace {

// How often (in backward jumps) the clock is read.
constexpr uint32_t kTimeCheckMask = 0x3FF;

// Script functions that scripts called straight from the interpreter and that run now. The callers of these hold
// nothing the collector cannot see (the function, `this` and the arguments are in the callee's frame and
// registers), so a loop in them may collect; any other way into a script (native code, accessors, watchers,
// constructors, clip events) holds values in its locals and rules collections out until it returns.
thread_local size_t t_DirectCalls = 0;

struct DirectCall {
    DirectCall() { ++t_DirectCalls; }
    ~DirectCall() { --t_DirectCalls; }
    DirectCall(const DirectCall&) = delete;
    DirectCall& operator=(const DirectCall&) = delete;
};
// GetURL2 flags.
constexpr uint8_t kGetURL2LoadTarget = 0x40;
constexpr uint8_t kGetURL2LoadVariables = 0x80;
// GotoFrame2 flags.
constexpr uint16_t kGotoFramePlay = 0x01;

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

// Where a slash-syntax name splits into the clip's path and the variable: the last ':', or from SWF 5 the last
// '.' that is not part of "..", in a name holding a ':' or a '/' ("a/b.c" is the variable c of a/b). Names
// without either are plain names or dot paths.
size_t VariableSeparator(std::string_view name, bool dots)
{
    if (name.find_first_of(":/") == std::string_view::npos)
        return std::string_view::npos;
    for (size_t i = name.size(); i-- > 0;) {
        if (name[i] == ':')
            return i;
        if (dots && name[i] == '.' && !(i > 0 && name[i - 1] == '.')
            && !(i + 1 < name.size() && name[i + 1] == '.'))
            return i;
    }
    return std::string_view::npos;
}

// "/a/b" as "_level0.a.b", "_level2/a" as "_level2.a".
std::string DotPath(const std::string& slashPath)
{
    std::string path = slashPath;
    if (path.empty() || path[0] == '/')
        path.insert(0, "_level0");
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::replace(path.begin(), path.end(), '/', '.');
    return path;
}

// Whether frame `index` (from 0) has arrived. Movies are whole before they play; frames past the end count as
// arrived up to the format's limit of 16,000 frames.
bool FrameLoaded(uint32_t index)
{
    constexpr uint32_t kLastFrameIndex = 16000;
    return index <= kLastFrameIndex;
}

} // namespace

// What `super(...)` gives: a native constructor that answers nothing gives the object it worked on when it made
// that one of its native kinds (XML, LocalConnection, a filter ...), else nothing.
static Value NativeSuperResult(const Value& constructor, const Value& self, const Value& result);

class Interpreter
{
public:
    Interpreter(Machine& m, Frame& f)
        : m(m)
        , f(f)
        , code(*f.code)
    {
    }

    void run(uint32_t start, uint32_t end, uint32_t& pc);

private:
    Value pop()
    {
        if (m.m_Stack.size() <= f.stackBase)
            return Value();
        Value v = m.m_Stack.back();
        m.m_Stack.pop_back();
        return v;
    }
    Value& top()
    {
        if (m.m_Stack.size() <= f.stackBase)
            m.m_Stack.emplace_back();
        return m.m_Stack.back();
    }
    void push(const Value& v)
    {
        if (m.m_Stack.size() >= kStackLimit) {
            m.m_Unwind = Unwind::Abort;
            return;
        }
        m.m_Stack.push_back(v);
    }
    bool cs() const { return f.version >= 7; }
    Object* targetObject() const { return f.target; }
    SpriteInstance* targetSprite() const { return m.spriteOf(Value(f.target)); }
    // The timeline names are looked up in; a clip taken off the stage (with no clip of its path since) gives way
    // to the root, as a target that names nothing does.
    Object* baseObject() const
    {
        Object* base = f.target ? f.target : f.originalTarget;
        return removedClip(base) ? m.rootClip() : base;
    }
    bool removedClip(Object* o) const
    {
        return o && o->kind() == ObjectKind::Clip && !m.clipSprite(static_cast<ClipObject*>(o));
    }

    // Pops a count and that many values (first popped first); the count is bounded by what the stack holds.
    std::vector<Value> popArgs()
    {
        const double n = m.toNumber(pop());
        size_t count = 0;
        const size_t available = m.m_Stack.size() - std::min(m.m_Stack.size(), f.stackBase);
        if (n > 0)
            count = size_t(std::min(n, double(available)));
        std::vector<Value> args(count);
        for (size_t i = 0; i < count; ++i)
            args[i] = pop();
        return args;
    }

    // Whether a plain name (no path) is first found among the local variables of a running function.
    bool localName(std::string_view name)
    {
        if (!f.callee || name.find_first_of("/:.") != std::string_view::npos)
            return false;
        for (Scope* s = f.scope; s; s = s->m_Parent)
            if (s->m_Object && !removedClip(s->m_Object) && m.hasProperty(s->m_Object, name))
                return s->m_Object->kind() == ObjectKind::Activation;
        return false;
    }
    // The object of the `with` block in which a plain name is first found, or null: a function called by that
    // name runs as the object's method, with it as `this` (with (clip) { lineTo(...); } draws into the clip).
    Object* withHolder(std::string_view name)
    {
        if (name.find_first_of("/:.") != std::string_view::npos)
            return nullptr;
        for (Scope* s = f.scope; s; s = s->m_Parent)
            if (s->m_Object && !removedClip(s->m_Object) && m.hasProperty(s->m_Object, name))
                return s->m_Kind == ScopeKind::With ? s->m_Object : nullptr;
        return nullptr;
    }
    Value lookup(std::string_view name, bool& found);
    Value lookupScopes(std::string_view name, bool& found);
    Value getVariable(std::string_view name);
    Value dotPath(std::string_view name, size_t dot);
    void setVariable(std::string_view name, const Value& v);
    void defineLocal(std::string_view name, const Value& v, bool onlyIfAbsent);
    Object* activation();
    Value superObject();
    Value argumentsObject();
    Value callValue(const Value& function, const Value& self, std::vector<Value>& args, Object* holder);
    // Pops an argument count (bounded by what the stack holds) and puts that many arguments in calling order.
    size_t argCount()
    {
        const double n = m.toNumber(pop());
        const size_t available = m.m_Stack.size() - std::min(m.m_Stack.size(), f.stackBase);
        const size_t count = n > 0 ? size_t(std::min(n, double(available))) : 0;
        std::reverse(m.m_Stack.end() - long(count), m.m_Stack.end());
        return count;
    }
    // Calls with the `count` arguments on top of the stack (they stay there, rooted, during the call), then
    // replaces them with the result.
    void callOnStack(const Value& callee, const Value& callSelf, size_t count, Object* callHolder, bool keepThis = false)
    {
        const size_t base = m.m_Stack.size() - count;
        Value result;
        const DirectCall direct;
        Value function = callee;
        Value self = callSelf;
        Object* holder = callHolder;
        // `super(...)` called as a function runs the super class's constructor on `this`.
        bool viaSuper = false;
        if (function.isObject() && function.asObject()->kind() == ObjectKind::Super) {
            auto* s = static_cast<SuperObject*>(function.asObject());
            s->refresh();
            function = superConstructor(s);
            self = s->m_Primitive;
            holder = s->proto();
            viaSuper = true;
        }
        // The built-in Date makes its date as a constructor does; the object then takes it over.
        if (viaSuper && m.isDateClass(function))
            result = m.construct(function, m.m_Stack.data() + base, int(count));
        else if (function.isObject() && function.asObject()->isFunction())
            result = m.invoke(static_cast<FunctionObject*>(function.asObject()), self, m.m_Stack.data() + base,
                int(count), holder, nullptr, keepThis);
        if (viaSuper) {
            m.superConstructed(function, self, result);
            result = NativeSuperResult(function, self, result);
        }
        m.m_Stack.resize(std::min(m.m_Stack.size(), base));
        push(result);
    }
    bool findMethod(const Value& object, std::string_view name, Value& method, Object*& holder);
    // The constructor `super()` runs: __constructor__ from the prototype the method was found on up (getters
    // answer, __resolve does not). A movie clip there answers nothing.
    Value superConstructor(SuperObject* s)
    {
        Value ctor;
        if (s->m_Holder && s->m_Holder->kind() != ObjectKind::Clip)
            m.getProperty(s->m_Holder, "__constructor__", ctor, s->m_Primitive);
        return ctor;
    }
    void getURL(const std::string& url, const std::string& target, int method);
    void callFrame(const Value& frame);
    void tryBlock(const TryInfo& info, uint32_t tryStart, uint32_t& pc);
    void clipProperty(bool set);
    bool waitedFrameLoaded(SpriteInstance& sprite, const Value& frame);

    Machine& m;
    Frame& f;
    Code& code;
};

static Value NativeSuperResult(const Value& constructor, const Value& self, const Value& result)
{
    const bool native = constructor.isObject() && constructor.asObject()->isFunction()
        && !static_cast<FunctionObject*>(constructor.asObject())->m_Code;
    return native && result.isUndefined() && self.isObject() && HasNativeKind(self.asObject()) ? self : result;
}

Object* Interpreter::activation()
{
    if (!f.activation && f.callee) {
        f.activation = m.heap().make<Object>(nullptr, ObjectKind::Activation);
        // The new locals go below any with blocks that are open.
        std::vector<Scope*> withs;
        Scope* s = f.scope;
        while (s && s != f.callee->m_Scope && s->m_Kind == ScopeKind::With) {
            withs.push_back(s);
            s = s->m_Parent;
        }
        Scope* chain = m.heap().make<Scope>(f.activation, s, ScopeKind::Local);
        for (auto it = withs.rbegin(); it != withs.rend(); ++it)
            chain = m.heap().make<Scope>((*it)->m_Object, chain, ScopeKind::With);
        f.scope = chain;
    }
    return f.activation;
}

Value Interpreter::argumentsObject()
{
    if (!f.arguments && f.callee) {
        ArrayObject* a = m.newArray();
        const size_t begin = f.regBase + f.regCount;
        size_t end = begin;
        // The arguments were stored after the registers; nested frames start after them.
        for (size_t i = m.m_Frames.size(); i-- > 0;)
            if (m.m_Frames[i] == &f) {
                end = i + 1 < m.m_Frames.size() ? m.m_Frames[i + 1]->regBase : m.m_Registers.size();
                break;
            }
        for (size_t i = begin; i < end && i < m.m_Registers.size(); ++i)
            a->m_Items.push_back(m.m_Registers[i]);
        m.define(a, "callee", Value(static_cast<Object*>(f.callee)));
        Value caller;
        for (size_t i = m.m_Frames.size(); i-- > 1;)
            if (m.m_Frames[i] == &f) {
                if (m.m_Frames[i - 1]->callee)
                    caller = Value(static_cast<Object*>(m.m_Frames[i - 1]->callee));
                else
                    caller = Value::null();
                break;
            }
        m.define(a, "caller", caller);
        f.arguments = a;
    }
    return f.arguments ? Value(f.arguments) : Value();
}

Value Interpreter::superObject()
{
    if (!f.callee)
        return Value();
    return Value(static_cast<Object*>(m.heap().make<SuperObject>(f.holder, f.self)));
}

Value Interpreter::lookup(std::string_view name, bool& found)
{
    found = true;
    const bool c = cs();
    // SWF 4 code knows none of these names: they are plain variables of the timeline there.
    if (f.version < 5)
        return lookupScopes(name, found);
    // A DefineFunction2 function that preloads or suppresses this, arguments or super has no such name: `this`
    // is then the timeline's, the others are looked up as plain variables.
    const FunctionInfo* info = f.callee ? f.callee->m_Info : nullptr;
    const bool fn2 = info && info->function2;
    // Inside a function, `this` is its own name, spelled exactly.
    if (NameIs(name, "this", c || f.callee)) {
        if (fn2 && (info->preloadThis || info->suppressThis))
            return baseObject() ? Value(baseObject()) : Value();
        return f.self;
    }
    // A variable a script named _root or _global (on the timeline, in a function) hides the real one. _global
    // came with SWF 6: before, it is a plain variable.
    const bool global = NameIs(name, "_global", c) && f.version >= 6;
    const bool root = NameIs(name, "_root", c);
    const bool level0 = NameIs(name, "_level0", c);
    if (global || root || level0) {
        Value own;
        for (Scope* s = f.scope; s; s = s->m_Parent)
            if (s->m_Object && m.hasOwnProperty(s->m_Object, name))
                return m.getProperty(s->m_Object, name, own, Value(s->m_Object)) ? own : Value();
        if (Object* base = baseObject(); base && m.hasOwnProperty(base, name))
            return m.getProperty(base, name, own, Value(base)) ? own : Value();
        if (global)
            return Value(m.m_Global);
        if (level0)
            return Value(m.rootClip());
        // A clip with _lockroot set is the root of the scripts inside it: of its frames and of the functions
        // they define (whose scope holds the clip), wherever those are called from.
        Object* from = nullptr;
        for (Scope* s = f.scope; s && !from; s = s->m_Parent)
            if (s->m_Object && s->m_Object->kind() == ObjectKind::Clip)
                from = s->m_Object;
        return Value(m.rootClip(from ? from : baseObject()));
    }
    if (Object* level = LevelNameCased(name, c) ? LevelTarget(m, name, false) : nullptr)
        return Value(level);
    if (f.callee && NameIs(name, "arguments", c) && !(f.activation && m.hasOwnProperty(f.activation, name))
        && !(fn2 && (info->preloadArguments || info->suppressArguments)))
        return argumentsObject();
    if (f.callee && NameIs(name, "super", c) && !(fn2 && (info->preloadSuper || info->suppressSuper)))
        return superObject();
    return lookupScopes(name, found);
}

Value Interpreter::lookupScopes(std::string_view name, bool& found)
{
    found = true;
    Value out;
    for (Scope* s = f.scope; s; s = s->m_Parent)
        if (s->m_Object && !removedClip(s->m_Object) && m.getProperty(s->m_Object, name, out, Value(s->m_Object)))
            return out;
    if (Object* base = baseObject(); base && m.getProperty(base, name, out, Value(base)))
        return out;
    // SWF 4 scripts see only their timelines' variables: the globals (NaN, Infinity...) came with SWF 5.
    if (f.version >= 5 && m.getProperty(m.m_Global, name, out, Value(m.m_Global)))
        return out;
    found = false;
    return Value();
}

// "a.b.c": each scope in turn that holds the whole path gives the value; a scope where it breaks off is passed.
Value Interpreter::dotPath(std::string_view name, size_t dot)
{
    auto walk = [&](Value v, Value& out) {
        size_t pos = dot + 1;
        while (pos <= name.size()) {
            size_t next = name.find('.', pos);
            if (next == std::string_view::npos)
                next = name.size();
            const std::string_view part = name.substr(pos, next - pos);
            if (!v.isObject() || !m.hasProperty(v.asObject(), part))
                return false;
            v = m.getMember(v, part);
            pos = next + 1;
        }
        out = v;
        return true;
    };
    const std::string_view first = name.substr(0, dot);
    Value out;
    const bool c = cs();
    if (NameIs(first, "this", c) || NameIs(first, "_global", c) || NameIs(first, "_root", c)
        || NameIs(first, "_level0", c) || NameIs(first, "arguments", c) || NameIs(first, "super", c)) {
        bool found = false;
        return walk(lookup(first, found), out) ? out : Value();
    }
    std::vector<Object*> scopes;
    for (Scope* s = f.scope; s; s = s->m_Parent)
        if (s->m_Object)
            scopes.push_back(s->m_Object);
    if (Object* base = baseObject())
        scopes.push_back(base);
    scopes.push_back(m.m_Global);
    for (Object* scope : scopes) {
        Value head;
        if (!m.getProperty(scope, first, head, Value(scope)))
            continue;
        if (walk(head, out))
            return out;
    }
    return Value();
}

Value Interpreter::getVariable(std::string_view name)
{
    // Paths: "/a/b:c", "a:b", "a/b.c", "_root.a.b".
    const size_t colon = VariableSeparator(name, f.version >= 5);
    if (colon != std::string_view::npos) {
        Object* target = m.resolveTarget(baseObject(), name.substr(0, colon));
        return target ? m.getMember(Value(target), name.substr(colon + 1)) : Value();
    }
    if (name.find('/') != std::string_view::npos) {
        Object* target = m.resolveTarget(baseObject(), name);
        return target ? Value(target) : Value();
    }
    const size_t dot = name.find('.');
    if (dot != std::string_view::npos && dot > 0 && f.version >= 5)
        return dotPath(name, dot);
    bool found = false;
    return lookup(name, found);
}

void Interpreter::setVariable(std::string_view name, const Value& v)
{
    const size_t colon = VariableSeparator(name, f.version >= 5);
    if (colon != std::string_view::npos) {
        if (Object* target = m.resolveTarget(baseObject(), name.substr(0, colon)))
            m.setProperty(target, name.substr(colon + 1), v);
        return;
    }
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && f.version >= 5) {
        Value holder = getVariable(name.substr(0, dot));
        if (holder.isObject())
            m.setProperty(holder.asObject(), name.substr(dot + 1), v);
        return;
    }
    if (name.find('/') != std::string_view::npos)
        return;
    // `this` is a variable of the running frame like any other (from SWF 5).
    if (f.version >= 5 && NameIs(name, "this", cs() || f.callee)) {
        f.self = v;
        return;
    }
    Object* fallback = nullptr;
    for (Scope* s = f.scope; s; s = s->m_Parent) {
        if (!s->m_Object || removedClip(s->m_Object))
            continue;
        const bool has = s->m_Kind == ScopeKind::Local ? m.hasOwnProperty(s->m_Object, name)
                                                       : m.hasProperty(s->m_Object, name);
        if (has) {
            m.setProperty(s->m_Object, name, v);
            return;
        }
        if (!fallback && s->m_Kind == ScopeKind::Target)
            fallback = s->m_Object;
    }
    Object* base = baseObject();
    if (!fallback)
        fallback = base;
    if (fallback)
        m.setProperty(fallback, name, v);
}

void Interpreter::defineLocal(std::string_view name, const Value& v, bool onlyIfAbsent)
{
    // Inside with blocks, a name one of their objects has is that object's.
    if (!onlyIfAbsent)
        for (Scope* s = f.scope; s && s->m_Kind == ScopeKind::With; s = s->m_Parent)
            if (s->m_Object && m.hasOwnProperty(s->m_Object, name)) {
                // Only a name the object holds itself: one its prototype holds is defined as if outside.
                m.setProperty(s->m_Object, name, v);
                return;
            }
    Object* holder = f.callee ? activation() : baseObject();
    if (!holder)
        return;
    if (onlyIfAbsent && m.hasProperty(holder, name))
        return;
    if (holder->kind() == ObjectKind::Activation)
        m.define(holder, name, v, 0);
    else
        m.setProperty(holder, name, v);
}

bool Interpreter::findMethod(const Value& object, std::string_view name, Value& method, Object*& holder)
{
    holder = nullptr;
    Object* start = nullptr;
    Value self = object;
    switch (object.type()) {
    case Type::Object:
        start = object.asObject();
        if (start->kind() == ObjectKind::Super) {
            // Methods of a movie clip above are not reached through `super`.
            static_cast<SuperObject*>(start)->refresh();
            Object* superHolder = static_cast<SuperObject*>(start)->m_Holder;
            self = start->m_Primitive;
            start = start->proto();
            if ((start && start->kind() == ObjectKind::Clip) || (superHolder && superHolder->kind() == ObjectKind::Clip))
                return false;
        }
        break;
    case Type::String:
        start = m.m_StringProto;
        break;
    case Type::Number:
        start = m.m_NumberProto;
        break;
    case Type::Boolean:
        start = m.m_BooleanProto;
        break;
    default:
        return false;
    }
    const bool c = cs();
    for (Object* o = start; o; o = o->proto()) {
        const Property* p = o->props().find(name, c);
        if (p && PropertyVisible(p->flags, m.version())) {
            // A method the object holds itself gets `super` from the object's prototype, as one found on
            // that prototype would.
            const bool own = object.isObject() && o == object.asObject() && o->kind() != ObjectKind::Clip;
            holder = own ? o->proto() : o;
            if (p->flags & kAccessor)
                method = ReadAccessor(m, o, *p, self);
            else
                method = p->value;
            return true;
        }
        if (o->kind() == ObjectKind::Clip || o->kind() == ObjectKind::Array) {
            Value v;
            if (m.hasOwnProperty(o, name) || o->kind() == ObjectKind::Clip) {
                bool found = false;
                if (o->kind() == ObjectKind::Clip) {
                    v = m.getClipProperty(static_cast<ClipObject*>(o), name, found);
                } else {
                    found = m.getProperty(o, name, v, self);
                }
                if (found) {
                    holder = o;
                    method = v;
                    return true;
                }
            }
        }
    }
    return false;
}

Value Interpreter::callValue(const Value& function, const Value& self, std::vector<Value>& args, Object* holder)
{
    if (!function.isObject() || !function.asObject()->isFunction())
        return Value();
    auto* fn = static_cast<FunctionObject*>(function.asObject());
    const DirectCall direct;
    return m.invoke(fn, self, args.data(), int(args.size()), holder, nullptr);
}

void Interpreter::getURL(const std::string& url, const std::string& target, int method)
{
    // A level as the window loads the movie into that level.
    if (LevelNumber(target) >= 0) {
        ScriptGetURL(m, f.target, url, target, kGetURL2LoadTarget);
        return;
    }
    // "FSCommand:" requests go to the host as they are: it handles the commands it knows.
    if (m.onGetURL)
        m.onGetURL(url, target, method);
}

void Interpreter::callFrame(const Value& frameValue)
{
    // Runs the actions of a frame of the target clip now, in that clip.
    SpriteInstance* sprite = targetSprite();
    Value frame = frameValue;
    // An object names its frame by its text.
    if (frame.isObject() && frame.asObject()->kind() != ObjectKind::Clip)
        frame = Value(m.toStringValue(frame));
    if (frame.isString()) {
        const std::string& s = frame.str();
        const size_t colon = s.rfind(':');
        if (colon != std::string::npos) {
            sprite = m.spriteOf(Value(m.resolveTarget(baseObject(), std::string_view(s).substr(0, colon))));
            frame = Value(m.str(s.substr(colon + 1)));
        }
    }
    if (!sprite)
        return;
    int index = -1;
    if (frame.isString()) {
        for (const auto& [name, at] : sprite->timeline->labels)
            if (NameIs(name, frame.str(), false))
                index = at;
        if (index < 0) {
            const double n = stringToNumber(frame.str(), f.version);
            if (std::isfinite(n))
                index = int(n) - 1;
        }
    } else {
        // The frame number is a 32-bit integer (4294967299 is 3).
        const int32_t n = ToInt32(m.toNumber(frame));
        if (n >= 1)
            index = n - 1;
    }
    if (index < 0 || size_t(index) >= sprite->timeline->frames.size())
        return;
    for (const CTag* tag : sprite->timeline->frames[size_t(index)]) {
        auto* doAction = dynamic_cast<const CDoActionTag*>(tag);
        if (!doAction || !doAction->m_pActions)
            continue;
        // A frame's code runs like a function without arguments in that clip.
        auto code = m.codeFor(doAction->m_pActions.get());
        if (int(m.m_Frames.size()) >= m.m_RecursionLimit) {
            m.m_Unwind = Unwind::Abort;
            return;
        }
        Frame inner;
        inner.code = code;
        inner.version = code->version;
        inner.target = inner.originalTarget = m.clipObject(*sprite);
        inner.self = Value(inner.target);
        inner.stackBase = m.m_Stack.size();
        inner.regBase = m.m_Registers.size();
        m.m_Registers.resize(inner.regBase + 4);
        m.m_Frames.push_back(&inner);
        uint32_t pc = 0;
        Execute(m, inner, 0, uint32_t(code->ops.size()), pc);
        m.m_Frames.pop_back();
        m.m_Stack.resize(std::min(m.m_Stack.size(), inner.stackBase));
        m.m_Registers.resize(inner.regBase);
        if (m.m_Unwind == Unwind::Return)
            m.m_Unwind = Unwind::None;
        if (m.m_Unwind != Unwind::None)
            return;
    }
}

void Interpreter::tryBlock(const TryInfo& info, uint32_t tryStart, uint32_t& pc)
{
    uint32_t inner = tryStart;
    Execute(m, f, tryStart, info.tryEnd, inner);
    // Running off the end of a block goes on after the whole statement; a jump out goes where it leads.
    uint32_t resume = inner == info.tryEnd ? info.finallyEnd : inner;
    if (m.m_Unwind == Unwind::Throw && info.hasCatch) {
        Value thrown = m.m_Thrown;
        m.m_Thrown = Value();
        m.m_Unwind = Unwind::None;
        if (info.catchInRegister) {
            if (info.catchRegister < f.regCount)
                m.m_Registers[f.regBase + info.catchRegister] = thrown;
        } else {
            defineLocal(info.catchName, thrown, false);
        }
        inner = info.tryEnd;
        Execute(m, f, info.tryEnd, info.catchEnd, inner);
        resume = inner == info.catchEnd ? info.finallyEnd : inner;
    }
    if (info.hasFinally && m.m_Unwind != Unwind::Abort) {
        // The finally block runs whatever happened; what it does itself wins.
        const Unwind pending = m.m_Unwind;
        const Value thrown = m.m_Thrown;
        const Value returned = m.m_Returned;
        // What waits for the finally block stays reachable for the collector while it runs.
        const size_t mark = m.m_Temporaries.size();
        m.m_Temporaries.push_back(thrown);
        m.m_Temporaries.push_back(returned);
        m.m_Unwind = Unwind::None;
        inner = info.catchEnd;
        Execute(m, f, info.catchEnd, info.finallyEnd, inner);
        m.m_Temporaries.resize(mark);
        if (m.m_Unwind == Unwind::None) {
            m.m_Unwind = pending;
            m.m_Thrown = thrown;
            m.m_Returned = returned;
            if (inner != info.finallyEnd)
                resume = inner;
        } else {
            resume = inner;
        }
    }
    pc = resume;
}

// WaitForFrame2 names its frame as gotos do: a label, a number, or a whole number written as a string (in 32-bit
// arithmetic that wraps). A value naming no frame, or one before the first, waits for nothing.
bool Interpreter::waitedFrameLoaded(SpriteInstance& sprite, const Value& frameValue)
{
    Value frame = frameValue;
    if (frame.isNumber() && frame.asNumber() != std::trunc(frame.asNumber()) && !std::isnan(frame.asNumber()))
        frame = Value(m.toStringValue(frame));
    double number = 0;
    if (frame.isNumber()) {
        number = frame.asNumber();
    } else {
        const std::string s = m.toString(frame);
        for (const auto& [name, at] : sprite.timeline->labels)
            if (NameIs(name, s, false))
                return FrameLoaded(uint32_t(at));
        const size_t sign = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
        if (sign == s.size() || s.find_first_not_of("0123456789", sign) != std::string::npos)
            return true;
        number = stringToNumber(s, f.version);
    }
    const int32_t index = int32_t(uint32_t(ToInt32(number)) - 1u);
    return index < 0 || FrameLoaded(uint32_t(index));
}

// The text of an object whose valueOf gave an object: its toString's string, or its type when it has no toString
// to call or that gives no string. A clip is its path.
static std::string ObjectText(Machine& m, const Value& v)
{
    Object* o = v.asObject();
    if (o->kind() == ObjectKind::Clip || o->kind() == ObjectKind::Super)
        return m.toString(v);
    const char* type = o->isFunction() ? "[type Function]" : "[type Object]";
    Value method;
    m.getProperty(o, "toString", method, v);
    if (!method.isObject() || !method.asObject()->isFunction() || m.unwinding())
        return type;
    const Value r = m.call(method, v, nullptr, 0);
    if (m.unwinding())
        return std::string();
    return r.isString() ? r.str() : type;
}

// Clips, and the text fields, buttons and videos whose native state a script object carries: what the SWF 4
// clip actions take as a target as it is. Other objects name their target by their string.
static bool DisplayObjectValue(const Value& v)
{
    const Object* o = v.asObject();
    return o->kind() == ObjectKind::Clip || o->m_Primitive.isObject();
}

void Interpreter::clipProperty(bool set)
{
    Value value;
    if (set)
        value = pop();
    const double index = m.toNumber(pop());
    Value targetValue = pop();
    // The index is converted first, then the target (a display object, or else a path), then the value.
    Object* target = nullptr;
    if (targetValue.isObject() && DisplayObjectValue(targetValue))
        target = targetValue.asObject();
    else {
        const std::string path = m.toString(targetValue);
        target = path.empty() ? baseObject() : m.resolveTarget(baseObject(), path);
    }
    static const char* const names[] = { "_x", "_y", "_xscale", "_yscale", "_currentframe", "_totalframes", "_alpha",
        "_visible", "_width", "_height", "_rotation", "_target", "_framesloaded", "_name", "_droptarget", "_url",
        "_highquality", "_focusrect", "_soundbuftime", "_quality", "_xmouse", "_ymouse" };
    // Truncated toward zero; anything outside the table (NaN, infinities, huge numbers) names no property.
    const int i = index > -1 && index < double(std::size(names)) ? int(index) : -1;
    if (i < 0 || i >= int(std::size(names))) {
        if (!set)
            push(Value());
        return;
    }
    if (set) {
        // An object value is converted as the property takes it, whether or not the target exists; the
        // read-only text properties take nothing.
        if (value.isObject() && value.asObject()->kind() != ObjectKind::Clip) {
            if (i == 11 || i == 14 || i == 15)
                return;
            if (i != 16 && i != 17) // these two take an object as it is
                value = i == 13 || i == 19 ? Value(m.str(m.toString(value))) : Value(m.toNumber(value));
            if (m.unwinding())
                return;
        }
        if (target)
            m.setProperty(target, names[i], value);
    } else {
        push(target ? m.getMember(Value(target), names[i]) : Value());
    }
}

void Interpreter::run(uint32_t start, uint32_t end, uint32_t& pc)
{
    const size_t opCount = code.ops.size();
    if (end > opCount)
        end = uint32_t(opCount);
    while (pc < end) {
        const Instruction ins = code.ops[pc++];
        switch (ins.op) {
        case kOpPushUndefined:
            push(Value());
            break;
        case kOpPushNull:
            push(Value::null());
            break;
        case kOpPushTrue:
            push(Value(true));
            break;
        case kOpPushFalse:
            push(Value(false));
            break;
        case kOpPushNumber:
            push(Value(code.numbers[size_t(ins.a)]));
            break;
        case kOpPushString:
            push(Value(code.strings[size_t(ins.a)]));
            break;
        case kOpPushRegister:
            push(uint32_t(ins.a) < f.regCount ? m.m_Registers[f.regBase + size_t(ins.a)] : Value());
            break;
        case kOpPushPool:
            if (f.pool >= 0 && size_t(ins.a) < code.pools[size_t(f.pool)].size())
                push(Value(code.pools[size_t(f.pool)][size_t(ins.a)]));
            else
                push(Value());
            break;
        case kActionEnd:
            pc = end;
            return;
        case 0x04: // NextFrame
            if (SpriteInstance* s = targetSprite())
                m.gotoFrame(*s, s->currentFrame + 1, false);
            break;
        case 0x05: // PreviousFrame
            if (SpriteInstance* s = targetSprite())
                m.gotoFrame(*s, s->currentFrame - 1, false);
            break;
        case 0x06: // Play
            if (SpriteInstance* s = targetSprite())
                s->playing = true;
            break;
        case 0x07: // Stop
            if (SpriteInstance* s = targetSprite())
                s->playing = false;
            break;
        case 0x08: // ToggleQuality
            m.player().setQuality(m.player().quality() == plugin::Quality::High ? plugin::Quality::Low
                                                                                : plugin::Quality::High);
            break;
        case 0x09: // StopSounds: every sound of the movie
            m.player().sound().stopAll();
            break;
        case 0x0A: // Add
        case 0x0B: // Subtract
        case 0x0C: // Multiply
        case 0x0D: { // Divide
            // Add and Multiply convert their left operand first, Subtract and Divide their right (the top).
            const Value vb = pop();
            const Value va = pop();
            double a = 0, b = 0;
            if (ins.op == 0x0A || ins.op == 0x0C) {
                a = m.toNumber(va);
                b = m.toNumber(vb);
            } else {
                b = m.toNumber(vb);
                a = m.toNumber(va);
            }
            double r = 0;
            switch (ins.op) {
            case 0x0A:
                r = a + b;
                break;
            case 0x0B:
                r = a - b;
                break;
            case 0x0C:
                r = a * b;
                break;
            default:
                if (b == 0 && f.version < 5) {
                    push(Value(m.str("#ERROR#")));
                    continue;
                }
                r = a / b;
                break;
            }
            push(Value(r));
            break;
        }
        case 0x0E: // Equals
        case 0x0F: { // Less
            // Equals converts its right operand first, Less its left.
            const Value vb = pop();
            const Value va = pop();
            double a = 0, b = 0;
            if (ins.op == 0x0E) {
                b = m.toNumber(vb);
                a = m.toNumber(va);
            } else {
                a = m.toNumber(va);
                b = m.toNumber(vb);
            }
            const bool r = ins.op == 0x0E ? a == b : a < b;
            push(Value(r)); // a boolean, which SWF 4 prints as 1 or 0
            break;
        }
        case 0x10: // And
        case 0x11: { // Or
            const Value vb = pop();
            const bool a = m.toBoolean(pop());
            const bool b = m.toBoolean(vb);
            const bool r = ins.op == 0x10 ? (a && b) : (a || b);
            push(Value(r)); // a boolean, which SWF 4 prints as 1 or 0
            break;
        }
        case 0x12: { // Not
            const bool r = !m.toBoolean(pop());
            push(Value(r)); // a boolean, which SWF 4 prints as 1 or 0
            break;
        }
        case 0x13: // StringEquals
        case 0x29: // StringLess
        case 0x68: { // StringGreater
            const std::string b = m.toString(pop());
            const std::string a = m.toString(pop());
            const bool r = ins.op == 0x13 ? a == b : ins.op == 0x29 ? a < b : a > b;
            push(Value(r)); // a boolean, which SWF 4 prints as 1 or 0
            break;
        }
        case 0x14: // StringLength
        case 0x31: { // MBStringLength
            const std::string s = m.toString(pop());
            const bool units = ins.op == 0x31 || f.version >= 6;
            push(Value(double(units ? Utf16Length(s) : s.size())));
            break;
        }
        case 0x15: // StringExtract
        case 0x35: { // MBStringExtract
            const double count = m.toNumber(pop());
            const double index = m.toNumber(pop());
            const std::string s = m.toString(pop());
            const bool units = ins.op == 0x35 || f.version >= 6;
            std::u16string u = units ? Utf8ToUtf16(s) : std::u16string();
            const long length = long(units ? u.size() : s.size());
            // Index and count are 32-bit integers (4294967303 is 7).
            long from = long(ToInt32(index)) - 1;
            if (from < 0)
                from = 0;
            long n = long(ToInt32(count));
            if (n < 0 || from + n > length)
                n = length - from;
            if (from >= length || n <= 0) {
                push(Value(m.emptyString()));
                break;
            }
            if (units)
                push(Value(m.str(Utf16ToUtf8(u.substr(size_t(from), size_t(n))))));
            else
                push(Value(m.str(s.substr(size_t(from), size_t(n)))));
            break;
        }
        case 0x17: // Pop
            pop();
            break;
        case 0x18: { // ToInteger
            // The integer part, wrapped to 32 bits as the bit operators wrap it.
            push(Value(double(ToInt32(m.toNumber(pop())))));
            break;
        }
        case 0x1C: { // GetVariable
            Value name = pop();
            if (name.isString())
                push(getVariable(name.str()));
            else
                push(getVariable(m.toString(name)));
            break;
        }
        case 0x1D: { // SetVariable
            Value v = pop();
            Value name = pop();
            setVariable(m.toString(name), v);
            break;
        }
        case 0x20: { // SetTarget2
            Value t = pop();
            // A clip is the target itself; anything else names one by its text (an object by its toString).
            if (t.isObject() && t.asObject()->kind() == ObjectKind::Clip) {
                f.target = t.asObject();
            } else {
                const std::string path = m.toString(t);
                f.target = path.empty() ? f.originalTarget : m.resolveTarget(f.originalTarget, path);
            }
            // A target that names nothing sends the commands to the root timeline (undefined names nothing from
            // SWF 7, where it reads as "undefined"; before, it is the empty path: the script's own timeline).
            if (!f.target)
                f.target = m.rootClip();
            break;
        }
        case 0x8B: { // SetTarget
            const std::string& path = code.strings[size_t(ins.a)]->text();
            f.target = path.empty() ? f.originalTarget : m.resolveTarget(f.originalTarget, path);
            if (!f.target)
                f.target = m.rootClip();
            break;
        }
        case 0x21: { // StringAdd
            const std::string b = m.toString(pop());
            std::string a = m.toString(pop());
            appendJoined(a, b);
            push(Value(m.str(std::move(a))));
            break;
        }
        case 0x22: // GetProperty
            clipProperty(false);
            break;
        case 0x23: // SetProperty
            clipProperty(true);
            break;
        case 0x24: { // CloneSprite
            // Converted from the top: the depth, the new name, then (in cloneSprite) the source's path.
            Value depth = pop();
            Value name = pop();
            const Value source = pop();
            if (depth.isObject())
                depth = Value(m.toNumber(depth));
            if (name.isObject())
                name = Value(m.str(m.toString(name)));
            if (!m.unwinding())
                m.cloneSprite(baseObject(), source, name, depth);
            break;
        }
        case 0x25: // RemoveSprite
            m.removeSpriteAt(baseObject(), pop());
            break;
        case 0x26: { // Trace
            Value v = pop();
            if (v.isObject() && v.asObject()->kind() == ObjectKind::Super) {
                // `super` traces as the toString its prototypes give `this` says; without one, as its type.
                Value method;
                Object* holder = nullptr;
                Value text;
                if (findMethod(v, "toString", method, holder) && method.isObject() && method.asObject()->isFunction())
                    text = m.call(method, v.asObject()->m_Primitive, nullptr, 0);
                if (m.unwinding())
                    break;
                m.trace(text.isString() ? text.str() : std::string("[type Object]"));
                break;
            }
            if (v.isObject() && v.asObject()->kind() != ObjectKind::Clip) {
                // An object whose toString is missing or fails traces as its type.
                const Value p = m.toPrimitive(v, true);
                if (p.isUndefined() || p.isObject()) {
                    m.trace(v.asObject()->isFunction() ? "[type Function]" : "[type Object]");
                    break;
                }
                m.trace(m.toString(p));
                break;
            }
            m.trace(v.isUndefined() ? std::string("undefined") : m.toString(v));
            break;
        }
        case 0x27: { // StartDrag
            // The target (a display object, or else a path), the centre lock and the constraint flag (objects by
            // their number), then the bounds.
            Value target = pop();
            if (target.isObject() && !DisplayObjectValue(target))
                target = Value(m.str(m.toString(target)));
            auto flag = [&](const Value& v) { return v.isObject() ? m.toNumber(v) != 0 : m.toBoolean(v); };
            const bool lockCenter = flag(pop());
            double bounds[4];
            // An object constrains only when its number is 1, the value the flag is written with.
            const Value constraint = pop();
            const bool constrained = constraint.isObject() ? m.toNumber(constraint) == 1 : m.toBoolean(constraint);
            if (constrained)
                for (int i = 3; i >= 0; --i)
                    bounds[i] = m.toNumber(pop()) * 20.0;
            m.startDragAt(baseObject(), target, lockCenter, constrained ? bounds : nullptr);
            break;
        }
        case 0x28: // EndDrag
            m.stopDrag();
            break;
        case 0x2A: // Throw
            m.throwValue(pop());
            break;
        case 0x2B: { // CastOp
            Value object = pop();
            Value constructor = pop();
            if (m.instanceOfValue(object, constructor, true))
                push(object);
            else
                push(Value::null());
            break;
        }
        case 0x2C: { // ImplementsOp
            Value constructor = pop();
            std::vector<Value> interfaces = popArgs();
            // The interfaces' prototypes as they are now make the class's list, once; prototypes are read as
            // stored, getters not run.
            if (constructor.isObject() && !interfaces.empty()) {
                const Value proto = m.storedMember(constructor.asObject(), "prototype");
                if (proto.isObject() && !proto.asObject()->m_InterfacesSet) {
                    Object* holder = proto.asObject();
                    holder->m_InterfacesSet = true;
                    for (const Value& i : interfaces)
                        if (i.isObject())
                            if (const Value ip = m.storedMember(i.asObject(), "prototype"); ip.isObject())
                                holder->m_Interfaces.push_back(ip.asObject());
                }
            }
            break;
        }
        case 0x30: { // RandomNumber
            const double max = m.toNumber(pop());
            m.m_RandomState ^= m.m_RandomState << 13;
            m.m_RandomState ^= m.m_RandomState >> 7;
            m.m_RandomState ^= m.m_RandomState << 17;
            const double n = std::isfinite(max) && max > 0 ? std::floor(double(m.m_RandomState % (1ULL << 53))
                                                                 / double(1ULL << 53) * std::floor(max))
                                                           : 0.0;
            push(Value(n));
            break;
        }
        case 0x32: // CharToAscii
            push(Value(double(ordOfFirst(m.toString(pop()), f.version))));
            break;
        case 0x36: // MBCharToAscii
            push(Value(double(mbCodeOfFirst(m.toString(pop())))));
            break;
        case 0x33: // AsciiToChar
            push(Value(m.str(charFromCode(ToUint32(m.toNumber(pop())), f.version))));
            break;
        case 0x37: // MBAsciiToChar
            push(Value(m.str(mbCharFromCode(ToUint32(m.toNumber(pop()))))));
            break;
        case 0x34: // GetTime
            push(Value(std::floor(m.now())));
            break;
        case 0x3A: { // Delete
            const std::string name = m.toString(pop());
            Value object = pop();
            push(Value(object.isObject() && m.deleteMember(object.asObject(), name)));
            break;
        }
        case 0x3B: { // Delete2
            const std::string name = m.toString(pop());
            bool done = false;
            for (Scope* s = f.scope; s && !done; s = s->m_Parent)
                if (s->m_Object && m.hasOwnProperty(s->m_Object, name)) {
                    done = m.deleteMember(s->m_Object, name);
                    break;
                }
            if (!done)
                if (Object* base = baseObject(); base && m.hasOwnProperty(base, name))
                    done = m.deleteMember(base, name);
            if (!done && m.hasOwnProperty(m.m_Global, name))
                done = m.deleteMember(m.m_Global, name);
            push(Value(done));
            break;
        }
        case 0x3C: { // DefineLocal
            Value v = pop();
            const std::string name = m.toString(pop());
            defineLocal(name, v, false);
            break;
        }
        case 0x41: { // DefineLocal2
            const std::string name = m.toString(pop());
            defineLocal(name, Value(), true);
            break;
        }
        case 0x3D: { // CallFunction
            Value nameValue = pop();
            const size_t count = argCount();
            const std::string name = nameValue.isString() ? nameValue.str() : m.toString(nameValue);
            Value fn = getVariable(name);
            // A plain call runs with the timeline the caller is in as `this`; a function kept in a local variable
            // is called without one.
            if (localName(name))
                callOnStack(fn, Value(), count, nullptr, true);
            else if (Object* holder = withHolder(name))
                callOnStack(fn, Value(holder), count, nullptr);
            else
                callOnStack(fn, baseObject() ? Value(baseObject()) : Value(), count, nullptr);
            if (m.scriptClipGone(f)) {
                m.m_Returned = Value();
                m.m_Unwind = Unwind::Return;
            }
            break;
        }
        case 0x52: { // CallMethod
            Value nameValue = pop();
            Value object = pop();
            std::vector<Value> args = popArgs();
            // An undefined or empty name (after conversion: an object whose toString gives "") calls the object.
            const std::string name = nameValue.isUndefined() ? std::string() : m.toString(nameValue);
            if (name.empty()) {
                // The object itself is the function; `super(...)` calls the super class's constructor.
                if (object.isObject() && object.asObject()->kind() == ObjectKind::Super) {
                    auto* s = static_cast<SuperObject*>(object.asObject());
                    s->refresh();
                    const Value ctor = superConstructor(s);
                    const Value result = m.isDateClass(ctor) ? m.construct(ctor, args.data(), int(args.size()))
                                                             : callValue(ctor, s->m_Primitive, args, s->proto());
                    m.superConstructed(ctor, s->m_Primitive, result);
                    push(NativeSuperResult(ctor, s->m_Primitive, result));
                } else if (object.isObject() && object.asObject()->isFunction()) {
                    // Called bare, the function has no `this`.
                    const DirectCall direct;
                    push(m.invoke(static_cast<FunctionObject*>(object.asObject()), Value(), args.data(),
                        int(args.size()), nullptr, nullptr, true));
                } else {
                    // A primitive is made an object by its class first (a replaced class sees it), to no use.
                    if (m.primitiveClassReplaced(object))
                        m.boxPrimitive(object);
                    push(Value());
                }
                break;
            }
            Value method;
            Object* holder = nullptr;
            // A primitive's methods are those of the object its class (as _global names it now) makes of it.
            bool boxLater = false;
            if (object.isString() || object.isNumber() || object.isBool()) {
                if (m.primitiveClassReplaced(object)) {
                    Object* boxed = m.boxPrimitive(object);
                    if (!boxed) {
                        push(Value());
                        break;
                    }
                    object = Value(boxed);
                } else {
                    boxLater = true;
                }
            }
            Value self = object;
            if (object.isObject() && object.asObject()->kind() == ObjectKind::Super)
                self = object.asObject()->m_Primitive;
            if (!findMethod(object, name, method, holder)) {
                if (!object.isObject() || object.asObject()->kind() == ObjectKind::Super
                    || !m.resolveMissing(object.asObject(), name, method)) {
                    push(Value());
                    // A call into an object that lacks the method ends a script whose clip is gone, as any call
                    // does; a call on no object at all does not.
                    if (object.isObject() && m.scriptClipGone(f)) {
                        m.m_Returned = Value();
                        m.m_Unwind = Unwind::Return;
                    }
                    break;
                }
            }
            // Script methods see a primitive `this` as an object (the built-in ones take it as it is).
            if (boxLater && method.isObject() && method.asObject()->isFunction()
                && static_cast<FunctionObject*>(method.asObject())->m_Code)
                self = Value(m.toObject(self));
            // The arguments go back on the stack for the call.
            for (const Value& a : args)
                push(a);
            callOnStack(method, self, args.size(), holder);
            if (m.scriptClipGone(f)) {
                m.m_Returned = Value();
                m.m_Unwind = Unwind::Return;
            }
            break;
        }
        case 0x40: // NewObject
        case 0x53: { // NewMethod
            Value constructor;
            if (ins.op == 0x40) {
                const std::string name = m.toString(pop());
                std::vector<Value> args = popArgs();
                constructor = getVariable(name);
                push(m.construct(constructor, args.data(), int(args.size())));
            } else {
                Value nameValue = pop();
                Value object = pop();
                std::vector<Value> args = popArgs();
                if (nameValue.isUndefined() || (nameValue.isString() && nameValue.str().empty())) {
                    constructor = object;
                    if (m.primitiveClassReplaced(object))
                        m.boxPrimitive(object);
                }
                else
                    constructor = m.getMember(object, m.toString(nameValue));
                push(m.construct(constructor, args.data(), int(args.size())));
                if (!object.isObject())
                    break;
            }
            // Constructing ends a script whose clip is gone, as calls do.
            if (m.scriptClipGone(f)) {
                m.m_Returned = Value();
                m.m_Unwind = Unwind::Return;
            }
            break;
        }
        case 0x3E: // Return
            m.m_Returned = pop();
            m.m_Unwind = Unwind::Return;
            break;
        case 0x3F: { // Modulo
            const Value vb = pop();
            const double a = m.toNumber(pop());
            const double b = m.toNumber(vb);
            push(Value(std::fmod(a, b)));
            break;
        }
        case 0x42: { // InitArray
            // More elements asked for than the stack holds: undefined, and the stack is left as it is.
            const double n = m.toNumber(top());
            if (n > double(m.m_Stack.size() - std::min(m.m_Stack.size(), f.stackBase + 1))) {
                top() = Value();
                break;
            }
            std::vector<Value> items = popArgs();
            ArrayObject* a = m.newArray();
            a->m_Items = std::move(items);
            push(Value(static_cast<Object*>(a)));
            break;
        }
        case 0x43: { // InitObject
            const double n = m.toNumber(pop());
            const size_t available = (m.m_Stack.size() - std::min(m.m_Stack.size(), f.stackBase)) / 2;
            if (n > double(available)) {
                push(Value());
                break;
            }
            Object* o = m.newObject();
            const size_t count = n > 0 ? size_t(std::min(n, double(available))) : 0;
            for (size_t i = 0; i < count; ++i) {
                Value v = pop();
                const std::string name = m.toString(pop());
                m.setProperty(o, name, v);
            }
            push(Value(o));
            break;
        }
        case 0x44: // TypeOf
            push(Value(m.str(m.typeOf(pop()))));
            break;
        case 0x45: { // TargetPath
            Value v = pop();
            if (SpriteInstance* s = m.spriteOf(v)) {
                push(Value(m.str(m.targetPath(*s, false))));
            } else if (v.isObject() && v.asObject()->kind() == ObjectKind::Plain && v.asObject()->m_Primitive.isObject()
                && v.asObject()->m_Primitive.asObject()->kind() == ObjectKind::Other) {
                // Objects of the player's own display classes (buttons, text fields) answer with their path,
                // which `_target` gives in slash form.
                const Value slashPath = m.getMember(v, "_target");
                push(slashPath.isString() ? Value(m.str(DotPath(slashPath.str()))) : Value());
            } else {
                push(Value());
            }
            break;
        }
        case 0x46: // Enumerate
        case 0x55: { // Enumerate2
            Value object;
            if (ins.op == 0x46) {
                object = getVariable(m.toString(pop()));
            } else {
                object = pop();
            }
            push(Value());
            // The loop takes names from the top: the first to enumerate goes on last.
            if (object.isObject()) {
                const std::vector<std::string> names = m.enumerate(object.asObject());
                for (auto it = names.rbegin(); it != names.rend(); ++it)
                    push(Value(m.str(*it)));
            }
            break;
        }
        case 0x47: { // Add2
            // Each side by its valueOf; an object that gives an object is asked for its toString only when the
            // other side is a string, and is no number otherwise.
            const Value vb = pop();
            const Value va = pop();
            Value a = m.toPrimitive(va, false, true);
            Value b = m.toPrimitive(vb, false, true);
            const auto number = [&](const Value& v) {
                return v.isObject() && v.asObject()->kind() != ObjectKind::Clip ? std::nan("") : m.toNumber(v);
            };
            if (a.isNumber() && b.isNumber()) {
                push(Value(a.asNumber() + b.asNumber()));
            } else if (a.isString() || b.isString()) {
                std::string s = a.isObject() ? ObjectText(m, va) : m.toString(a);
                appendJoined(s, b.isObject() ? ObjectText(m, vb) : m.toString(b));
                push(Value(m.str(std::move(s))));
            } else {
                push(Value(number(a) + number(b)));
            }
            break;
        }
        case 0x48: { // Less2
            Value b = pop();
            Value a = pop();
            push(m.lessThan(a, b));
            break;
        }
        case 0x67: { // Greater
            Value b = pop();
            Value a = pop();
            push(m.lessThan(b, a, true));
            break;
        }
        case 0x49: { // Equals2
            Value b = pop();
            Value a = pop();
            push(Value(m.looseEquals(a, b)));
            break;
        }
        case 0x66: { // StrictEquals
            Value b = pop();
            Value a = pop();
            push(Value(m.strictEquals(a, b)));
            break;
        }
        case 0x4A: // ToNumber
            push(Value(m.toNumber(pop())));
            break;
        case 0x4B: { // ToString
            // An object without a toString to call converts as its type, as trace shows it.
            const Value v = pop();
            if (v.isObject() && v.asObject()->kind() != ObjectKind::Clip && v.asObject()->kind() != ObjectKind::Super) {
                const Value p = m.toPrimitive(v, true);
                if ((p.isUndefined() && !m.unwinding()) || p.isObject())
                    push(Value(m.str(p.isObject() || !v.asObject()->isFunction() ? "[type Object]" : "[type Function]")));
                else
                    push(Value(m.toStringValue(p)));
                break;
            }
            push(Value(m.toStringValue(v)));
            break;
        }
        case 0x4C: { // PushDuplicate
            Value v = top();
            push(v);
            break;
        }
        case 0x4D: { // StackSwap
            Value a = pop();
            Value b = pop();
            push(a);
            push(b);
            break;
        }
        case 0x4E: { // GetMember
            Value name = pop();
            Value object = pop();
            if (name.isString())
                push(m.getMember(object, name.str()));
            else
                push(m.getMember(object, m.toString(name)));
            break;
        }
        case 0x4F: { // SetMember
            Value v = pop();
            Value name = pop();
            Value object = pop();
            if (object.isObject())
                m.setProperty(object.asObject(), name.isString() ? name.str() : m.toString(name), v);
            break;
        }
        case 0x50: { // Increment
            Value& t = top();
            t = Value(m.toNumber(t) + 1);
            break;
        }
        case 0x51: { // Decrement
            Value& t = top();
            t = Value(m.toNumber(t) - 1);
            break;
        }
        case 0x54: { // InstanceOf
            Value constructor = pop();
            Value object = pop();
            push(Value(m.instanceOfValue(object, constructor, false)));
            break;
        }
        case 0x60: // BitAnd
        case 0x61: // BitOr
        case 0x62: // BitXor
        case 0x63: // BitLShift
        case 0x64: // BitRShift
        case 0x65: { // BitURShift
            const Value vb = pop();
            const double na = m.toNumber(pop());
            const double nb = m.toNumber(vb);
            const int32_t a = ToInt32(na);
            const int32_t b = ToInt32(nb);
            double r = 0;
            switch (ins.op) {
            case 0x60:
                r = double(a & b);
                break;
            case 0x61:
                r = double(a | b);
                break;
            case 0x62:
                r = double(a ^ b);
                break;
            case 0x63:
                r = double(int32_t(uint32_t(a) << (b & 31)));
                break;
            case 0x64:
                r = double(a >> (b & 31));
                break;
            default:
                r = double(uint32_t(a) >> (b & 31));
                break;
            }
            push(Value(r));
            break;
        }
        case 0x69: { // Extends
            Value superClass = pop();
            Value subClass = pop();
            if (subClass.isObject() && superClass.isObject()) {
                Value superProto = m.getMember(superClass, "prototype");
                Object* proto = m.newObject(superProto.isObject() ? superProto.asObject() : nullptr);
                if (!superProto.isObject())
                    proto->setProto(superProto);
                m.define(proto, "__constructor__", superClass);
                m.setProperty(subClass.asObject(), "prototype", Value(proto));
            }
            break;
        }
        case 0x81: // GotoFrame
            // A frame number past the clip's last frame goes nowhere.
            if (SpriteInstance* s = targetSprite(); s && size_t(ins.a) < s->timeline->frames.size())
                m.gotoFrame(*s, ins.a, false);
            break;
        case 0x8C: // GotoLabel
            if (SpriteInstance* s = targetSprite())
                m.gotoLabel(*s, code.strings[size_t(ins.a)]->text(), false);
            break;
        case 0x9F: { // GotoFrame2
            Value frame = pop();
            if (SpriteInstance* s = targetSprite())
                m.gotoValue(*s, frame, (ins.b & kGotoFramePlay) != 0, ins.a);
            break;
        }
        case 0x83: // GetURL
            getURL(code.strings[size_t(ins.a)]->text(), code.strings[size_t(ins.a) + 1]->text(), 0);
            break;
        case 0x9A: { // GetURL2
            const std::string target = m.toString(pop());
            const std::string url = m.toString(pop());
            if (ins.a & (kGetURL2LoadTarget | kGetURL2LoadVariables | 3))
                ScriptGetURL(m, f.target, url, target, ins.a);
            else
                getURL(url, target, 0);
            break;
        }
        case 0x87: // StoreRegister
            if (uint32_t(ins.a) < f.regCount)
                m.m_Registers[f.regBase + size_t(ins.a)] = top();
            break;
        case 0x88: // ConstantPool
            f.pool = ins.a;
            break;
        case 0x8A: // WaitForFrame
        case 0x8D: { // WaitForFrame2
            SpriteInstance* s = targetSprite();
            bool loaded = s != nullptr;
            if (ins.op == 0x8A)
                loaded = loaded && FrameLoaded(ins.b);
            else
                loaded = loaded && waitedFrameLoaded(*s, pop());
            if (!loaded)
                pc = uint32_t(ins.a);
            break;
        }
        case 0x8E: // DefineFunction2
        case 0x9B: { // DefineFunction
            const FunctionInfo& info = code.functions[size_t(ins.a)];
            // A function defined in a function closes over its locals.
            if (f.callee)
                activation();
            FunctionObject* fn = m.newScriptFunction(f.code, info, f);
            if (info.name.empty())
                push(Value(static_cast<Object*>(fn)));
            else
                defineLocal(info.name, Value(static_cast<Object*>(fn)), false);
            pc = std::max(pc, info.end);
            break;
        }
        case 0x8F: { // Try
            if (++m.m_BlockDepth > kBlockNestingLimit)
                m.m_Unwind = Unwind::Abort;
            else
                tryBlock(code.tries[size_t(ins.a)], pc, pc);
            --m.m_BlockDepth;
            break;
        }
        case 0x94: { // With
            Value object = pop();
            const uint32_t blockEnd = uint32_t(ins.a);
            Scope* saved = f.scope;
            if (object.isObject())
                f.scope = m.heap().make<Scope>(object.asObject(), f.scope, ScopeKind::With);
            uint32_t inner = pc;
            if (++m.m_BlockDepth > kBlockNestingLimit)
                m.m_Unwind = Unwind::Abort;
            else
                Execute(m, f, pc, blockEnd, inner);
            --m.m_BlockDepth;
            f.scope = saved;
            pc = inner;
            break;
        }
        case 0x99: // Jump
        case 0x9D: { // If
            if (ins.op == 0x9D && !m.toBoolean(pop()))
                break;
            const uint32_t to = uint32_t(ins.a);
            if (to < pc) {
                // A loop: the clock is read now and then; collections may run in the outermost frame and in
                // functions it called straight (see DirectCall).
                if ((++m.m_TimeCheck & kTimeCheckMask) == 0 && m.timeUp())
                    m.m_Unwind = Unwind::Abort;
                if (m.heap().wantsCollection() && m.m_Frames.size() == 1 + t_DirectCalls && m.m_NativeDepth == 0)
                    m.collectGarbage();
            }
            pc = to;
            if (pc < start || pc >= end)
                return;
            break;
        }
        case 0x9E: // Call
            callFrame(pop());
            break;
        default:
            break;
        }
        if (m.m_Unwind != Unwind::None)
            return;
    }
}

void Execute(Machine& m, Frame& frame, uint32_t start, uint32_t end, uint32_t& pc)
{
    Interpreter(m, frame).run(start, end, pc);
}

} // namespace reelfinch::avm1
