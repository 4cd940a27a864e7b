// The ActionScript 1 and 2 machine of one movie: its heap, globals and built-in classes, the interpreter's
// stack and frames, conversions and property access with the language's rules, and the link to the movie's
// timelines (movie clips as objects, target paths, frame scripts).
#pragma once

#include "avm1/Code.h"
#include "avm1/Heap.h"
#include "avm1/Object.h"
#include "avm1/Value.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CActionsItem;

namespace reelfinch::plugin {
class MoviePlayer;
struct SpriteInstance;
struct DisplayObject;
struct EditField;
struct Font;
enum class ClipEvent : uint8_t;
} // namespace reelfinch::plugin

namespace reelfinch::avm1 {

class ClipObject;

// Limits of a script run as the player has them: 256 nested calls, 15 s for one action list.
inline constexpr int kDefaultRecursionLimit = 256;
inline constexpr double kDefaultTimeLimitSeconds = 15.0;
// Values on the operand stack at most; a script that needs more is stopped.
inline constexpr size_t kStackLimit = size_t(1) << 16;
// Nested with, try, catch and finally blocks at most; deeper nesting stops the script.
inline constexpr int kBlockNestingLimit = 256;
// The longest string a script may make (bytes); making a longer one stops the script.
inline constexpr size_t kMaxStringBytes = size_t(1) << 26;

// How an instruction range ended besides running off its end.
enum class Unwind : uint8_t { None, Return, Throw, Abort };

struct Frame {
    std::shared_ptr<Code> code;
    Scope* scope = nullptr; // with blocks, activations and the chain a function closed over
    Object* target = nullptr; // the clip names resolve in (SetTarget changes it)
    Object* originalTarget = nullptr;
    Value self; // `this`
    Object* activation = nullptr; // where DefineLocal puts variables; null in frame scripts
    Object* arguments = nullptr;
    FunctionObject* callee = nullptr;
    Object* holder = nullptr; // the prototype the running method was found on (for `super`)
    int pool = -1;
    size_t regBase = 0;
    uint16_t regCount = 4;
    size_t stackBase = 0;
    int version = 0;
};

struct Timer {
    int id = 0;
    Value function; // or an object...
    Value object; // ...and the name of its method
    std::string method;
    std::vector<Value> args;
    double interval = 0; // ms
    double due = 0;
    bool repeat = true;
};

class Machine
{
public:
    Machine(plugin::MoviePlayer& player, int version);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // ---- driven by the movie ----
    void runFrameActions(plugin::SpriteInstance& sprite, const CActionsItem* actions);
    // Time passes (ms since the movie started): intervals and timeouts that are due run.
    void advanceTime(double nowMs);
    // Between frames: a collection when enough was allocated.
    void idle();
    std::function<void(const std::string&)> onTrace;
    std::function<void(const std::string& url, const std::string& target, int method)> onGetURL;
    void setLimits(int recursion, double seconds)
    {
        m_RecursionLimit = recursion;
        m_TimeLimit = seconds;
    }
    void collectGarbage();
    Heap& heap() { return m_Heap; }

    int version() const { return m_Version; }
    bool caseSensitive() const { return m_Version >= 7; }

    // ---- values ----
    String* str(std::string text)
    {
        if (text.size() > kMaxStringBytes) {
            m_Unwind = Unwind::Abort;
            return m_Empty;
        }
        return m_Heap.string(std::move(text));
    }
    String* emptyString() const { return m_Empty; }
    // With `keepObject`, an object that valueOf gives is the result (no toString asked).
    Value toPrimitive(const Value& v, bool preferString = false, bool keepObject = false);
    double toNumber(const Value& v);
    std::string toString(const Value& v);
    String* toStringValue(const Value& v);
    bool toBoolean(const Value& v) const { return ToBooleanPrimitive(v, m_Version); }
    Object* toObject(const Value& v);
    // Whether _global's String, Number or Boolean (the class of the primitive `v`) is no longer the built-in one.
    bool primitiveClassReplaced(const Value& v);
    // The object a primitive stands for where its class was replaced: what that class's constructor makes of it
    // (null when it names no function or makes no object).
    Object* boxPrimitive(const Value& v);
    // After `super()` ran the built-in Number, String or Boolean on a plain object, the object holds its primitive.
    void superConstructed(const Value& constructor, const Value& self, const Value& result);
    // Whether `v` is the built-in Date class (whose `super()` makes a date as `new` does).
    bool isDateClass(const Value& v);
    int32_t toInt32(const Value& v) { return ToInt32(toNumber(v)); }
    const char* typeOf(const Value& v) const;
    bool looseEquals(const Value& a, const Value& b);
    bool strictEquals(const Value& a, const Value& b) const;
    // Less2: true, false, or undefined for NaN comparisons.
    Value lessThan(const Value& a, const Value& b, bool rightFirst = false);

    // ---- objects ----
    Object* newObject(Object* proto = nullptr);
    ArrayObject* newArray();
    FunctionObject* newNative(NativeFunction fn, NativeFunction construct = nullptr);
    FunctionObject* newScriptFunction(const std::shared_ptr<Code>& code, const FunctionInfo& info, const Frame& frame);

    Value getMember(const Value& object, std::string_view name);
    void setMember(const Value& object, std::string_view name, const Value& v);
    bool deleteMember(Object* object, std::string_view name);
    // A property found on the object or its prototypes (getters called).
    bool getProperty(Object* object, std::string_view name, Value& out, const Value& self);
    bool hasProperty(Object* object, std::string_view name);
    // A member the object lacks: what the first __resolve function of its chain returns for the name.
    bool resolveMissing(Object* object, std::string_view name, Value& out);
    bool hasOwnProperty(Object* object, std::string_view name);
    void setProperty(Object* object, std::string_view name, const Value& v);
    // Defines a property directly (built-in tables).
    void define(Object* object, std::string_view name, const Value& v, uint16_t flags = kDontEnum);
    void defineMethod(Object* object, std::string_view name, NativeFunction fn, uint16_t flags = kDontEnum);
    // Enumerable property names in the player's order (newest first), prototypes after.
    std::vector<std::string> enumerate(Object* object);
    // An own property's value as stored: a getter/setter pair gives the value last written, without running.
    Value storedMember(Object* object, std::string_view name);
    bool instanceOf(Object* object, Object* constructor);
    // Whether `prototype` is on the object's chain or among the interfaces the prototypes there implement.
    bool inherits(Object* object, Object* prototype);
    // InstanceOf (or with `cast`, CastOp) on any values.
    bool instanceOfValue(const Value& object, const Value& constructor, bool cast);

    // ---- calls ----
    Value call(const Value& function, const Value& self, const Value* args, int argc);
    Value callMethod(const Value& object, std::string_view name, const Value* args, int argc);
    Value construct(const Value& constructor, const Value* args, int argc);
    bool unwinding() const { return m_Unwind != Unwind::None; }
    void throwValue(const Value& v);
    bool constructing() const { return m_Constructing; }

    // ---- the movie ----
    Object* clipObject(plugin::SpriteInstance& sprite);
    plugin::SpriteInstance* spriteOf(const Value& v) const;
    // The sprite a clip object stands for: its own while it lives, afterwards the clip that has its path.
    plugin::SpriteInstance* clipSprite(const ClipObject* clip) const;
    Object* rootClip();
    // `_root` as scripts of the clip `from` see it: the nearest clip up from it with _lockroot set, else the root.
    Object* rootClip(Object* from);
    // A target path ("/a/b", "_root.a", "../x", "_level0") from `base`; null when it names no clip.
    Object* resolveTarget(Object* base, std::string_view path);
    std::string targetPath(plugin::SpriteInstance& sprite, bool slash);
    plugin::MoviePlayer& player() { return m_Player; }
    // The text field an entry of `parent`'s display list shows (made from its tag when first needed), and its
    // script object; null for other characters.
    plugin::EditField* fieldOf(plugin::SpriteInstance& parent, plugin::DisplayObject& display);
    Object* fieldObject(plugin::SpriteInstance& parent, plugin::DisplayObject& display);
    // The movie's embedded font of a name, for laying out fields; null when it has none.
    const plugin::Font* embeddedFont(std::string_view name, bool bold, bool italic);
    void gotoFrame(plugin::SpriteInstance& sprite, int frame, bool play);
    bool gotoLabel(plugin::SpriteInstance& sprite, const std::string& label, bool play);
    void gotoValue(plugin::SpriteInstance& sprite, const Value& frame, bool play, int bias = 0);
    void gotoNumber(plugin::SpriteInstance& sprite, double number, bool play, int bias = 0);
    // A traced value; a carriage return in it ends a line as a line feed does.
    void trace(std::string line)
    {
        for (char& c : line)
            if (c == '\r')
                c = '\n';
        if (onTrace)
            onTrace(line);
    }

    // ---- clip events, classes bound to symbols, dragging ----
    bool hearsEvent(plugin::SpriteInstance& sprite, plugin::ClipEvent event);
    void clipEvent(plugin::SpriteInstance& sprite, plugin::ClipEvent event);
    void mouseListeners(plugin::ClipEvent event);
    // Mouse listeners hear onMouseWheel(delta, the clip under the mouse).
    void mouseWheel(int delta);
    bool actsAsButton(plugin::SpriteInstance& sprite);
    // A clip acting as a button shows the hand cursor unless its useHandCursor is false.
    bool showsHand(plugin::SpriteInstance& sprite);
    bool tracksAsMenu(plugin::SpriteInstance& sprite);
    // The class Object.registerClass bound to a symbol's export name (undefined when none).
    Value registeredClass(uint16_t symbol);
    void bindClass(plugin::SpriteInstance& sprite, const Value& constructor);
    // Runs a class's constructor on an existing object (a clip made from a symbol bound to the class).
    void constructOn(const Value& constructor, Object* object);
    void runHandler(const Value& function, const Value& self);
    // `bounds` (left, top, right, bottom in the parent's twips) constrains the clip, when given.
    void startDrag(plugin::SpriteInstance& sprite, bool lockCenter, const double* bounds);
    void stopDrag();
    bool dragging() const;
    void dragTo(double stageX, double stageY);
    Value dragClip() const { return m_Drag.clip; }
    // The slash path of the clip a dragged clip was last over ("" for clips never dragged).
    std::string dropTarget(plugin::SpriteInstance& sprite);
    // The clip actions of SWF 4 and 5 (duplicateMovieClip, removeMovieClip, startDrag as global functions):
    // their targets are paths or clips, seen from `base`.
    void cloneSprite(Object* base, const Value& source, const Value& name, const Value& depth);
    void removeSpriteAt(Object* base, const Value& target);
    void startDragAt(Object* base, const Value& target, bool lockCenter, const double* bounds);
    plugin::SpriteInstance* targetSprite(Object* base, const Value& target);
    // Whether the clip a running script or function belongs to was taken off the stage: the script returns at
    // its next call (unload handlers excepted, whose clip is gone from the start).
    bool scriptClipGone(const Frame& frame) const;
    int m_UnloadDepth = 0;

    // ---- timers ----
    int addTimer(Timer timer);
    void clearTimer(int id);
    double now() const { return m_NowMs; }
    double startTime() const { return m_StartWall; }

    // Built-in objects.
    Object* m_Global = nullptr;
    // The machine's own objects that built-ins reach by name (the original classes behind ones scripts may
    // replace, the file dialog's state): kept with each set of globals, out of every script's sight.
    Object* m_Internal = nullptr;
    Object* m_ObjectProto = nullptr;
    Object* m_FunctionProto = nullptr;
    Object* m_ArrayProto = nullptr;
    Object* m_StringProto = nullptr;
    Object* m_NumberProto = nullptr;
    Object* m_BooleanProto = nullptr;
    Object* m_ClipProto = nullptr;
    Object* m_ErrorProto = nullptr;
    Object* m_DateProto = nullptr;
    Object* m_Broadcaster = nullptr;
    // The built-in String, Number, Boolean and Array classes.
    Object* m_StringClass = nullptr;
    Object* m_NumberClass = nullptr;
    Object* m_BooleanClass = nullptr;
    Object* m_ArrayClass = nullptr;
    std::vector<Object*> m_Roots; // further built-in objects kept alive whatever scripts do

    // Movies of SWF 6 and earlier and movies of SWF 7 and later see two separate sets of globals and built-in
    // classes (two _global objects), made each when first needed. The members above are the set of the code
    // running now; `useGlobalsOf` switches them to the set of a version and gives the version they were for.
    int useGlobalsOf(int version);
    // A movie of another version replaced the main one (level 0): code run from outside any script (events,
    // loads, timers) follows its rules and sees its globals from now on.
    void switchMovieVersion(int version);
    // The _global and MovieClip prototype of a version's set (made if need be, else null when not made yet),
    // whatever set is in use.
    Object* globalOf(int version, bool make = true);
    // The machine's own objects (m_Internal) of a version's set, as globalOf gives its _global.
    Object* internalOf(int version, bool make = true);
    Object* clipPrototypeOf(int version);

private:
    friend class Interpreter;
    friend class ClipObject;
    // `self` undefined or null runs the function with its timeline as `this`, unless `keepThis` says to keep it.
    Value invoke(FunctionObject* f, const Value& self, const Value* args, int argc, Object* holder,
        Object* newObject, bool keepThis = false);
    void markRoots(Heap& heap);
    void installBuiltins();
    void readScriptLimits();
    Value getClipProperty(ClipObject* clip, std::string_view name, bool& found);
    bool setClipProperty(ClipObject* clip, std::string_view name, const Value& v);
    std::shared_ptr<Code> codeFor(const CActionsItem* actions);
    bool timeUp();

    plugin::MoviePlayer& m_Player;
    int m_Version;
    struct GlobalSet {
        bool made = false;
        Object* global = nullptr;
        Object* internal = nullptr;
        Object* objectProto = nullptr;
        Object* functionProto = nullptr;
        Object* arrayProto = nullptr;
        Object* stringProto = nullptr;
        Object* numberProto = nullptr;
        Object* booleanProto = nullptr;
        Object* clipProto = nullptr;
        Object* errorProto = nullptr;
        Object* dateProto = nullptr;
        Object* broadcaster = nullptr;
        Object* stringClass = nullptr;
        Object* numberClass = nullptr;
        Object* booleanClass = nullptr;
        Object* arrayClass = nullptr;
    };
    static int GlobalSetIndex(int version) { return version >= 7 ? 1 : 0; }
    void saveGlobals(GlobalSet& set) const;
    void loadGlobals(const GlobalSet& set);
    void makeGlobals();
    GlobalSet m_GlobalSets[2];
    int m_GlobalSet = 0; // the set the members hold now
    Heap m_Heap;
    String* m_Empty = nullptr;
    std::map<const CActionsItem*, std::shared_ptr<Code>> m_Codes;

public:
    // The interpreter's state (the interpreter and the built-ins work on it directly).
    std::vector<Value> m_Stack;
    std::vector<Value> m_Registers;
    std::vector<Frame*> m_Frames;
    std::vector<Value> m_Temporaries; // values natives keep alive across calls into scripts
    Unwind m_Unwind = Unwind::None;
    Value m_Thrown;
    Value m_Returned;
    int m_NativeDepth = 0;
    int m_BlockDepth = 0;
    bool m_Constructing = false;
    int m_RecursionLimit = kDefaultRecursionLimit;
    double m_TimeLimit = kDefaultTimeLimitSeconds;
    std::chrono::steady_clock::time_point m_RunStart;
    uint32_t m_TimeCheck = 0;
    // A script started from outside any running one (an event, a timer, a finished sound): its time limit
    // counts from now, and what it leaves on the stack and in registers goes when it ends. Inside a running script
    // both do nothing. `beginRun` says which it was, for `endRun`.
    bool beginRun()
    {
        if (!m_Frames.empty())
            return false;
        m_Unwind = Unwind::None;
        m_RunStart = std::chrono::steady_clock::now();
        return true;
    }
    void endRun(bool top)
    {
        if (!top)
            return;
        m_Unwind = Unwind::None;
        m_Stack.clear();
        m_Registers.clear();
        m_Temporaries.clear();
        m_Thrown = Value();
        m_Returned = Value();
    }
    std::vector<Timer> m_Timers;
    int m_NextTimer = 1;
    double m_NowMs = 0;
    double m_StartWall = 0;
    double m_Random = 0;
    uint64_t m_RandomState = 0x2545F4914F6CDD1DULL;
    std::vector<std::string> m_GetURLQueue;
    struct DragState {
        Value clip;
        bool lockCenter = false;
        bool constrained = false;
        double bounds[4] = { 0, 0, 0, 0 };
        double offsetX = 0;
        double offsetY = 0;
    };
    // The clip last dragged and the path of what it was last over.
    uint64_t m_DroppedSerial = 0;
    std::string m_DropPath;
    DragState m_Drag;
    bool m_WideNoBounds = false; // getBounds was called from a script of SWF 8 or later
};

// Runs instructions of `frame` from `pc` until it leaves [start, end); sets the machine's unwind state.
void Execute(Machine& m, Frame& frame, uint32_t start, uint32_t end, uint32_t& pc);

} // namespace reelfinch::avm1
