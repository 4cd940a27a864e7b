// Input as scripts see it, driven through the movie's own mouse and key entry points: buttons as script objects
// and their handlers, the hand cursor, keyboard focus with Tab, Enter and the focus rectangle, and what a dragged
// clip is dropped on.
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"
#include "timeline/MoviePlayer.h"

#include "Avm1Assembler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace reelfinch;
using avm1::Value;
using plugintest::Asm;

namespace {

constexpr uint8_t kSetMember = 0x4F;
constexpr uint8_t kCallMethod = 0x52;
constexpr uint8_t kPop = 0x17;
constexpr uint8_t kStop = 0x07;
constexpr int kSide = 100; // pixels of the stage; the view is the same size
constexpr int kTwips = 20;

// Button record states and the key codes scripts see.
constexpr uint8_t kAllStates = 0x0F;
constexpr uint16_t kCondOverUpToOverDown = 0x0004;
constexpr uint8_t kMacTab = 0x30;
constexpr uint8_t kMacReturn = 0x24;

// `object.event = function () { trace(text); }`
Asm Handler(const std::string& object, const std::string& event, const std::string& text)
{
    return Asm().get(object).str(event).function("", {}, Asm().str(text).trace()).op(kSetMember);
}

Asm SetProperty(const std::string& object, const std::string& name, Asm value)
{
    return Asm().get(object).str(name).append(value).op(kSetMember);
}

// A DefineButton2 showing character `shape` in every state, with the given record actions.
void DefineButton(plugintest::MovieBuilder& movie, uint16_t id, uint16_t shape, bool trackAsMenu,
    const std::vector<std::pair<uint16_t, Asm>>& actions)
{
    std::vector<uint8_t> body;
    auto u16 = [&body](uint16_t v) {
        body.push_back(uint8_t(v));
        body.push_back(uint8_t(v >> 8));
    };
    u16(id);
    body.push_back(trackAsMenu ? 1 : 0);
    const size_t offsetAt = body.size();
    u16(0);
    // One record: states, character, depth 1, identity matrix, empty colour transform.
    body.push_back(kAllStates);
    u16(shape);
    u16(1);
    body.push_back(0);
    body.push_back(0);
    body.push_back(0); // end of records
    if (!actions.empty()) {
        const size_t offset = body.size() - offsetAt;
        body[offsetAt] = uint8_t(offset);
        body[offsetAt + 1] = uint8_t(offset >> 8);
    }
    for (size_t i = 0; i < actions.size(); ++i) {
        const std::vector<uint8_t> code = actions[i].second.finished();
        u16(i + 1 == actions.size() ? 0 : uint16_t(4 + code.size()));
        u16(actions[i].first);
        body.insert(body.end(), code.begin(), code.end());
    }
    movie.raw(kTagDefineButton2, body);
}

// A SWF 8 movie: a 40x40 pixel button "btn" at (10, 10), a second one "menu" at (60, 60) (a menu button when
// asked), and a 20x20 clip "clip" at (60, 10); the first frame's script runs and the movie stops there.
struct InputMovie {
    plugin::MoviePlayer player;
    std::vector<std::string> lines;

    explicit InputMovie(const Asm& script, bool menus = false, uint8_t version = 8)
    {
        plugintest::MovieBuilder movie(kSide, kSide, 12.0f, version);
        movie.rectShape(1, 0, 0, 40 * kTwips, 40 * kTwips, { 255, 0, 0 });
        movie.rectShape(2, 0, 0, 20 * kTwips, 20 * kTwips, { 0, 0, 255 });
        DefineButton(movie, 10, 1, menus, { { kCondOverUpToOverDown, Asm().str("record press").trace() } });
        DefineButton(movie, 11, 2, menus, {});
        plugintest::SpriteBuilder sprite;
        sprite.place(1, 2, 0, 0);
        sprite.showFrame();
        sprite.define(movie, 20);
        movie.place(1, 10, 10 * kTwips, 10 * kTwips, nullptr, 0, "btn");
        movie.place(2, 11, 60 * kTwips, 60 * kTwips, nullptr, 0, "menu");
        movie.place(3, 20, 60 * kTwips, 10 * kTwips, nullptr, 0, "clip");
        movie.raw(kTagDoAction, Asm(script).op(kStop).finished());
        movie.showFrame();
        const std::vector<uint8_t> bytes = movie.finish();
        player.onTrace = [this](const std::string& line) { lines.push_back(line); };
        player.load(bytes.data(), bytes.size());
    }
    void mouse(double x, double y, bool down) { player.mouseEvent(x, y, down, kSide, kSide); }
    void key(uint8_t macKey, uint8_t charCode)
    {
        player.keyEvent(true, macKey, charCode);
        player.keyEvent(false, macKey, charCode);
    }
    avm1::Machine& m() { return *player.scriptMachine(); }
    Value member(const char* path) { return m().getMember(Value(m().rootClip()), path); }
};

Asm ButtonHandlers(const std::string& object)
{
    Asm script;
    for (const auto& [event, text] : std::vector<std::pair<std::string, std::string>> { { "onPress", "press" },
             { "onRelease", "release" }, { "onReleaseOutside", "releaseOutside" }, { "onRollOver", "over" },
             { "onRollOut", "out" }, { "onDragOut", "dragOut" }, { "onDragOver", "dragOver" } })
        script.append(Handler(object, event, object + " " + text));
    return script;
}

struct Step {
    double x, y;
    bool down;
};

TEST(Input, ButtonHandlersFollowTheMouse)
{
    struct Case {
        const char* name;
        Asm extra;
        std::vector<Step> steps;
        std::vector<std::string> heard;
        bool menus = false;
    };
    const Case cases[] = {
        { "click", Asm(), { { 30, 30, false }, { 30, 30, true }, { 30, 30, false } },
            { "btn over", "record press", "btn press", "btn release" } },
        { "a press where the mouse first comes", Asm(), { { 30, 30, true }, { 30, 30, false } },
            { "btn over", "record press", "btn press", "btn release" } },
        { "release outside", Asm(), { { 30, 30, false }, { 30, 30, true }, { 90, 5, true }, { 90, 5, false } },
            { "btn over", "record press", "btn press", "btn dragOut", "btn releaseOutside" } },
        { "leave and come back", Asm(), { { 30, 30, true }, { 90, 5, true }, { 30, 30, true }, { 30, 30, false } },
            { "btn over", "record press", "btn press", "btn dragOut", "btn dragOver", "btn release" } },
        { "a held mouse passes over", Asm(), { { 90, 5, true }, { 30, 30, true }, { 90, 5, true }, { 90, 5, false } },
            {} },
        { "disabled", SetProperty("btn", "enabled", Asm().boolean(false)),
            { { 30, 30, false }, { 30, 30, true }, { 30, 30, false } }, {} },
        { "hidden", SetProperty("btn", "_visible", Asm().boolean(false)),
            { { 30, 30, false }, { 30, 30, true }, { 30, 30, false } }, {} },
        { "menus: press one, release on the other", ButtonHandlers("menu"),
            { { 30, 30, true }, { 70, 70, true }, { 70, 70, false } },
            { "btn over", "record press", "btn press", "menu dragOver", "btn dragOut", "menu release" }, true },
        { "no menus: the other button does not take the held mouse", ButtonHandlers("menu"),
            { { 30, 30, true }, { 70, 70, true }, { 70, 70, false } },
            { "btn over", "record press", "btn press", "btn dragOut", "menu over", "btn releaseOutside" } },
    };
    for (const Case& c : cases) {
        InputMovie movie(Asm(ButtonHandlers("btn")).append(c.extra), c.menus);
        for (const Step& step : c.steps)
            movie.mouse(step.x, step.y, step.down);
        EXPECT_EQ(movie.lines, c.heard) << c.name;
    }
}

TEST(Input, ButtonsAndClipsUnderAStillMouseHearWhatChangesUnderIt)
{
    // Between mouse events a script hides, disables or moves a button or clip, and the next frame tells what the
    // mouse, which did not move, is now over.
    struct Action {
        Step mouse;
        const char* object = nullptr; // a change of this object's property, then a frame, instead of the mouse
        const char* property = nullptr;
        Value value {};
    };
    auto set = [](const char* object, const char* property, Value value) {
        return Action { {}, object, property, value };
    };
    auto at = [](double x, double y, bool down) { return Action { { x, y, down } }; };
    struct Case {
        const char* name;
        std::vector<Action> actions;
        std::vector<std::string> heard;
    };
    const Case cases[] = {
        { "hidden and shown again under the mouse",
            { at(30, 30, false), set("btn", "_visible", false), set("btn", "_visible", true) },
            { "btn over", "btn out", "btn over" } },
        { "disabled and enabled again: its state is kept, no roll",
            { at(30, 30, false), set("btn", "enabled", false), set("btn", "enabled", true) }, { "btn over" } },
        { "disabled, the mouse left and came back, enabled again",
            { at(30, 30, false), set("btn", "enabled", false), at(90, 5, false), at(30, 30, false),
                set("btn", "enabled", true) },
            { "btn over", "btn over" } },
        { "hidden while pressed: the release is outside, with no drag",
            { at(30, 30, false), at(30, 30, true), set("btn", "_visible", false), at(30, 30, false) },
            { "btn over", "record press", "btn press", "btn releaseOutside" } },
        { "a clip with handlers moved away from the mouse and back",
            { at(70, 20, false), set("clip", "_x", 0.0), set("clip", "_x", 60.0) },
            { "clip over", "clip out", "clip over" } },
    };
    for (const Case& c : cases) {
        InputMovie movie(Asm(ButtonHandlers("btn")).append(ButtonHandlers("clip")));
        for (const Action& action : c.actions) {
            if (!action.object) {
                movie.mouse(action.mouse.x, action.mouse.y, action.mouse.down);
                continue;
            }
            movie.m().setMember(movie.member(action.object), action.property, action.value);
            movie.player.step();
        }
        EXPECT_EQ(movie.lines, c.heard) << c.name;
    }
}

TEST(Input, ButtonCountsClicks)
{
    // btn.onRelease = function () { count = count + 1; trace(count); }
    const Asm script = Asm().str("count").num(0).op(0x1D)
                           .get("btn").str("onRelease")
                           .function("", {}, Asm().str("count").get("count").num(1).op(0x47).op(0x1D).get("count").trace())
                           .op(kSetMember);
    InputMovie movie(script);
    for (int i = 0; i < 3; ++i) {
        movie.mouse(30, 30, true);
        movie.mouse(30, 30, false);
    }
    movie.mouse(90, 90, true); // outside: no click
    movie.mouse(90, 90, false);
    EXPECT_EQ(movie.lines,
        (std::vector<std::string> { "record press", "1", "record press", "2", "record press", "3" }));
}

TEST(Input, ButtonsAreScriptObjectsOfTheirParent)
{
    InputMovie movie { Asm() };
    avm1::Machine& m = movie.m();
    const Value btn = movie.member("btn");
    ASSERT_TRUE(btn.isObject());
    EXPECT_TRUE(m.strictEquals(btn, movie.member("btn"))) << "one object for one button";
    EXPECT_STREQ(m.typeOf(btn), "object");
    EXPECT_EQ(m.toString(btn), "_level0.btn");
    EXPECT_EQ(m.toString(m.getMember(btn, "_target")), "/btn");
    EXPECT_EQ(m.toNumber(m.callMethod(btn, "getDepth", nullptr, 0)), 1 - plugin::kScriptDepthOffset);
    EXPECT_TRUE(m.strictEquals(m.getMember(btn, "_parent"), Value(m.rootClip())));
    EXPECT_EQ(m.toNumber(m.getMember(btn, "_x")), 10);
    EXPECT_EQ(m.toNumber(m.getMember(btn, "_width")), 40);
    m.setMember(btn, "_x", Value(25.5));
    m.setMember(btn, "_xscale", Value(50.0));
    EXPECT_EQ(m.toNumber(m.getMember(btn, "_x")), 25.5);
    EXPECT_EQ(m.toNumber(m.getMember(btn, "_width")), 20);
    // Properties a script sets stay with the button between collections.
    m.setMember(btn, "note", Value(m.str("kept")));
    m.collectGarbage();
    EXPECT_EQ(m.toString(m.getMember(movie.member("btn"), "note")), "kept");
    // Renamed, it answers to its new name only.
    m.setMember(btn, "_name", Value(m.str("renamed")));
    EXPECT_TRUE(movie.member("btn").isUndefined());
    EXPECT_TRUE(m.strictEquals(movie.member("renamed"), btn));

    // A tab index is a 32-bit integer; what is no such number reads as the lowest one, undefined unsets it.
    struct Case {
        Value set;
        const char* read;
    };
    const Case cases[] = { { Value(-4.0), "-4" }, { Value(1.9), "1" }, { Value(2147483648.0), "-2147483648" },
        { Value(m.str("x")), "-2147483648" }, { Value(), "undefined" }, { Value(7.0), "7" } };
    for (const Case& c : cases) {
        m.setMember(btn, "tabIndex", c.set);
        EXPECT_EQ(m.toString(m.getMember(btn, "tabIndex")), c.read) << m.toString(c.set);
    }
}

TEST(Input, ButtonsAreNoScriptObjectsBeforeSwf6)
{
    InputMovie movie(Asm(), false, 5);
    // Its name stands for the clip holding it, as a named shape's does.
    EXPECT_TRUE(movie.m().strictEquals(movie.member("btn"), Value(movie.m().rootClip())));
    movie.mouse(30, 30, true);
    movie.mouse(30, 30, false);
    EXPECT_EQ(movie.lines, (std::vector<std::string> { "record press" })) << "the records still answer";
}

TEST(Input, HandCursorOverWhatCanBeClicked)
{
    struct Case {
        const char* name;
        Asm script;
        double x, y;
        bool hand;
    };
    const Case cases[] = {
        { "over a button", Asm(), 30, 30, true },
        { "over nothing", Asm(), 5, 95, false },
        { "a button without the hand", SetProperty("btn", "useHandCursor", Asm().boolean(false)), 30, 30, false },
        { "a disabled button", SetProperty("btn", "enabled", Asm().boolean(false)), 30, 30, false },
        { "a clip without handlers", Asm(), 65, 15, false },
        { "a clip with a press handler", Handler("clip", "onPress", "p"), 65, 15, true },
        { "a clip with a handler, without the hand",
            Asm(Handler("clip", "onPress", "p")).append(SetProperty("clip", "useHandCursor", Asm().boolean(false))),
            65, 15, false },
    };
    for (const Case& c : cases) {
        InputMovie movie(c.script);
        movie.mouse(c.x, c.y, false);
        EXPECT_EQ(movie.player.handCursor(), c.hand) << c.name;
        movie.mouse(1, 1, false);
        EXPECT_FALSE(movie.player.handCursor()) << c.name << ": left again";
    }
}

TEST(Input, TabFocusesAndEnterPressesWhileTheRectangleShows)
{
    // Tab order by index: the clip, then the button; both hear keys while focused.
    Asm script = Asm(ButtonHandlers("btn"))
                     .append(Handler("clip", "onPress", "clip press"))
                     .append(Handler("clip", "onKeyDown", "clip keyDown"))
                     .append(Handler("btn", "onKeyUp", "btn keyUp"))
                     .append(SetProperty("clip", "tabIndex", Asm().num(1)))
                     .append(SetProperty("btn", "tabIndex", Asm().num(2)))
                     .append(SetProperty("menu", "tabIndex", Asm().num(3)));
    InputMovie movie(script);
    double box[4];
    EXPECT_FALSE(movie.player.focusRectangle(box));
    movie.key(kMacTab, '\t');
    movie.key(kMacReturn, '\r');
    ASSERT_TRUE(movie.player.focusRectangle(box));
    EXPECT_EQ(box[0], 60 * kTwips);
    EXPECT_EQ(box[3], 30 * kTwips);
    movie.key(kMacTab, '\t');
    movie.key(kMacReturn, '\r');
    ASSERT_TRUE(movie.player.focusRectangle(box));
    EXPECT_EQ(box[0], 10 * kTwips);
    EXPECT_EQ(box[2], 50 * kTwips);
    // The focused object hears keys first; Tab rolls the button it reaches over; Enter presses what has the focus.
    EXPECT_EQ(movie.lines, (std::vector<std::string> { "clip keyDown", "clip press", "clip keyDown", "btn over",
                               "btn keyUp", "record press", "btn press", "btn release", "btn keyUp" }));
    // The mouse takes the focus from the keyboard: the rectangle goes, and keys no longer reach the button.
    movie.lines.clear();
    movie.mouse(95, 95, true);
    movie.mouse(95, 95, false);
    EXPECT_FALSE(movie.player.focusRectangle(box));
    movie.m().setMember(Value(movie.m().rootClip()), "_focusrect", Value(false));
    movie.key(kMacTab, '\t');
    EXPECT_FALSE(movie.player.focusRectangle(box)) << "_focusrect is off";
    movie.key(kMacReturn, '\r');
    EXPECT_EQ(movie.lines, (std::vector<std::string> { "btn out" })) << "only rolled out as the focus left";
}

TEST(Input, DraggedClipKnowsWhatItIsOver)
{
    // A second clip to drop on, then the first is dragged by its centre.
    Asm script = Asm().num(5).str("target").i32(2).get("clip").str("duplicateMovieClip").op(kCallMethod).op(kPop)
                     .append(SetProperty("target", "_y", Asm().num(70)))
                     .num(0).get("clip").str("startDrag").op(kCallMethod).op(kPop);
    InputMovie movie(script);
    avm1::Machine& m = movie.m();
    const Value clip = movie.member("clip");
    ASSERT_TRUE(movie.member("target").isObject());
    movie.mouse(5, 50, false);
    EXPECT_EQ(m.toString(m.getMember(clip, "_droptarget")), "");
    movie.mouse(65, 75, false);
    EXPECT_EQ(m.toString(m.getMember(clip, "_droptarget")), "/target");
    m.stopDrag();
    movie.mouse(5, 50, false);
    EXPECT_EQ(m.toString(m.getMember(clip, "_droptarget")), "/target") << "kept after the drop";
    EXPECT_EQ(m.toString(m.getMember(movie.member("target"), "_droptarget")), "");
}

TEST(Input, MouseWheelReachesMouseListenersWithTheClipUnderTheMouse)
{
    // var l = {}; l.onMouseWheel = function (d, t) { trace(d + " " + t); }; Mouse.addListener(l);
    const Asm script = Asm().str("l").i32(0).op(0x43).op(0x1D)
                           .get("l").str("onMouseWheel")
                           .function("", { "d", "t" }, Asm().get("d").str(" ").op(0x47).get("t").op(0x47).trace())
                           .op(kSetMember)
                           .get("l").i32(1).get("Mouse").str("addListener").op(kCallMethod).op(kPop);
    InputMovie movie(script);
    struct Case {
        double x, y;
        int lines;
    };
    for (const Case& c : { Case { 65, 15, 3 }, Case { 5, 95, -1 }, Case { 65, 15, 0 } }) {
        movie.mouse(c.x, c.y, false);
        movie.player.wheelEvent(c.lines);
    }
    EXPECT_EQ(movie.lines, (std::vector<std::string> { "3 _level0.clip", "-1 undefined" }));
}

// Movies on either side of SWF 7 have their own Key and Mouse: listeners added to the other set's (a loaded movie
// of another version) hear the player's events as well, and its Key knows which keys are down.
int g_HeardEvents = 0;

TEST(Input, ListenersOfTheOtherVersionsGlobalsHearKeysAndTheMouse)
{
    InputMovie movie(Asm(), false, 8);
    avm1::Machine& m = movie.m();
    g_HeardEvents = 0;
    const int before = m.useGlobalsOf(6);
    const Value key = m.getMember(Value(m.m_Global), "Key");
    const Value mouse = m.getMember(Value(m.m_Global), "Mouse");
    m.useGlobalsOf(before);
    ASSERT_TRUE(key.isObject() && mouse.isObject());
    ASSERT_NE(key.asObject(), m.getMember(Value(m.m_Global), "Key").asObject());
    const avm1::NativeFunction heard = [](avm1::Machine&, const Value&, const Value*, int) {
        ++g_HeardEvents;
        return Value();
    };
    Value listener(m.newObject());
    for (const char* event : { "onKeyDown", "onMouseDown" })
        m.setMember(listener, event, Value(static_cast<avm1::Object*>(m.newNative(heard))));
    m.callMethod(key, "addListener", &listener, 1);
    m.callMethod(mouse, "addListener", &listener, 1);

    movie.player.keyEvent(true, kMacTab, 9);
    Value tab(9.0);
    EXPECT_TRUE(m.toBoolean(m.callMethod(key, "isDown", &tab, 1)));
    movie.mouse(5, 95, false);
    movie.mouse(5, 95, true);
    EXPECT_EQ(g_HeardEvents, 2);
}

TEST(Input, ClipTabIndexIsAHiddenInteger)
{
    InputMovie movie { Asm() };
    avm1::Machine& m = movie.m();
    const Value clip = movie.member("clip");
    ASSERT_TRUE(clip.isObject());
    EXPECT_TRUE(m.getMember(clip, "tabIndex").isUndefined());
    EXPECT_EQ(m.toString(m.getMember(clip, "useHandCursor")), "true");
    struct Case {
        Value set;
        const char* read;
    };
    const Case cases[] = { { Value(1.1), "1" }, { Value(2147483648.0), "-2147483648" },
        { Value(m.str("x")), "-2147483648" }, { Value(), "undefined" }, { Value(-4.0), "-4" } };
    for (const Case& c : cases) {
        m.setMember(clip, "tabIndex", c.set);
        EXPECT_EQ(m.toString(m.getMember(clip, "tabIndex")), c.read) << m.toString(c.set);
        for (const std::string& name : m.enumerate(clip.asObject()))
            EXPECT_NE(name, "tabIndex") << "never listed by for-in";
    }
}

TEST(Input, RemovedFocusedClipLosesTheFocus)
{
    InputMovie movie { Asm() };
    avm1::Machine& m = movie.m();
    const Value selection = m.getMember(Value(m.m_Global), "Selection");
    Value made[2] = { Value(m.str("made")), Value(5.0) };
    Value clip = m.callMethod(Value(m.rootClip()), "createEmptyMovieClip", made, 2);
    // A plain clip takes the focus from a script only once its focusEnabled is set (or it acts as a button).
    EXPECT_FALSE(m.toBoolean(m.callMethod(selection, "setFocus", &clip, 1)));
    EXPECT_TRUE(m.callMethod(selection, "getFocus", nullptr, 0).isNull());
    m.setMember(clip, "focusEnabled", Value(true));
    m.callMethod(selection, "setFocus", &clip, 1);
    EXPECT_EQ(m.toString(m.callMethod(selection, "getFocus", nullptr, 0)), "_level0.made");
    m.callMethod(clip, "removeMovieClip", nullptr, 0);
    EXPECT_TRUE(m.callMethod(selection, "getFocus", nullptr, 0).isNull()) << "gone as it was taken off the stage";
}

TEST(Input, ContextMenuObjects)
{
    InputMovie movie { Asm() };
    avm1::Machine& m = movie.m();
    const Value menuClass = m.getMember(Value(m.m_Global), "ContextMenu");
    const Value itemClass = m.getMember(Value(m.m_Global), "ContextMenuItem");
    Value handler(m.str("handler"));
    const Value menu = m.construct(menuClass, &handler, 1);
    ASSERT_TRUE(menu.isObject());
    m.m_Temporaries.push_back(menu);
    const Value builtIn = m.getMember(menu, "builtInItems");
    EXPECT_EQ(m.enumerate(builtIn.asObject()),
        (std::vector<std::string> { "save", "zoom", "quality", "play", "loop", "rewind", "forward_back", "print" }));
    EXPECT_EQ(m.enumerate(menu.asObject()), (std::vector<std::string> { "customItems", "builtInItems", "onSelect" }));

    // An item: caption and handler as given, flags defaulting to shown, enabled, no separator.
    Value itemArgs[2] = { Value(m.str("Go")), Value() };
    const Value item = m.construct(itemClass, itemArgs, 2);
    m.m_Temporaries.push_back(item);
    for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>> { { "caption", "Go" },
             { "separatorBefore", "false" }, { "enabled", "true" }, { "visible", "true" } })
        EXPECT_EQ(m.toString(m.getMember(item, name)), value) << name;

    // A copy has its own switches and its own copies of the items; later changes to either stay apart.
    m.setMember(builtIn, "play", Value(false));
    Value pushed = item;
    m.callMethod(m.getMember(menu, "customItems"), "push", &pushed, 1);
    const Value copy = m.callMethod(menu, "copy", nullptr, 0);
    m.m_Temporaries.push_back(copy);
    EXPECT_EQ(m.toString(m.getMember(copy, "onSelect")), "handler");
    EXPECT_EQ(m.toString(m.getMember(m.getMember(copy, "builtInItems"), "play")), "false");
    const Value copiedItem = m.getMember(m.getMember(copy, "customItems"), "0");
    EXPECT_EQ(m.toString(m.getMember(copiedItem, "caption")), "Go");
    EXPECT_FALSE(m.strictEquals(copiedItem, item));
    m.callMethod(menu, "hideBuiltInItems", nullptr, 0);
    EXPECT_EQ(m.toString(m.getMember(builtIn, "zoom")), "false");
    EXPECT_EQ(m.toString(m.getMember(m.getMember(copy, "builtInItems"), "zoom")), "true");
}

TEST(Input, TabPassesOverHiddenObjectsAndTheRootTakesNoFocus)
{
    // The button is hidden; the clip has a press handler property, though undefined.
    InputMovie movie(Asm(SetProperty("btn", "_visible", Asm().boolean(false)))
                         .append(SetProperty("clip", "onRelease", Asm().undef())));
    avm1::Machine& m = movie.m();
    const Value selection = m.getMember(Value(m.m_Global), "Selection");
    std::vector<std::string> reached;
    for (int i = 0; i < 3; ++i) {
        movie.key(kMacTab, '\t');
        reached.push_back(m.toString(m.callMethod(selection, "getFocus", nullptr, 0)));
    }
    EXPECT_EQ(reached, (std::vector<std::string> { "_level0.clip", "_level0.menu", "_level0.clip" }));
    Value root(m.rootClip());
    EXPECT_FALSE(m.toBoolean(m.callMethod(selection, "setFocus", &root, 1)));
    EXPECT_EQ(m.toString(m.callMethod(selection, "getFocus", nullptr, 0)), "_level0.clip");
}

TEST(Input, FocusRectKeepsItsValueWhenGivenNoNumber)
{
    InputMovie movie { Asm() };
    avm1::Machine& m = movie.m();
    const Value root(m.rootClip());
    struct Case {
        Value set;
        const char* read;
    };
    const Case cases[] = { { Value(0.0), "false" }, { Value(m.str("test")), "false" }, { Value(1.0), "true" },
        { Value(std::nan("")), "true" }, { Value(), "true" }, { Value(m.newObject()), "false" },
        { Value(m.str("2")), "true" } };
    for (const Case& c : cases) {
        m.setMember(root, "_focusrect", c.set);
        EXPECT_EQ(m.toString(m.getMember(root, "_focusrect")), c.read) << m.toString(c.set);
    }
}

// The keyboard's focus takes the over state from the button the mouse is over, even when Tab lands on that same
// button; while a button holds the focus, a mouse that stays put rolls nothing back over.
TEST(Input, TabTakesTheOverStateFromTheMouse)
{
    Asm script = Asm(ButtonHandlers("btn"))
                     .append(ButtonHandlers("menu"))
                     .append(SetProperty("btn", "tabIndex", Asm().num(1)))
                     .append(SetProperty("menu", "tabIndex", Asm().num(2)));
    InputMovie movie(script);
    movie.mouse(30, 30, false);
    movie.key(kMacTab, '\t');
    movie.key(kMacTab, '\t');
    movie.player.step(true);
    EXPECT_EQ(movie.lines,
        (std::vector<std::string> { "btn over", "btn out", "btn over", "btn out", "menu over" }));
}

// A button whose states hold sprites: one in every shown state (also its hit area), one more over it only.
// Sprite 20 has two frames, each tracing where it runs; sprite 21 traces once.
TEST(Input, SpritesInAButtonsStatesAreItsLiveChildren)
{
    constexpr uint8_t kAdd2 = 0x47;
    constexpr uint8_t kTypeOf = 0x44;
    plugintest::MovieBuilder movie(kSide, kSide, 12.0f, 8);
    movie.rectShape(1, 0, 0, 40 * kTwips, 40 * kTwips, { 255, 0, 0 });
    plugintest::SpriteBuilder always;
    always.place(1, 1, 0, 0);
    always.actions(Asm()
                       .str("made ")
                       .get("this")
                       .op(kAdd2)
                       .str(" ")
                       .op(kAdd2)
                       .get("_parent")
                       .op(kTypeOf)
                       .op(kAdd2)
                       .trace()
                       .finished());
    always.showFrame();
    always.actions(Asm().str("frame 2 ").get("this").op(kAdd2).trace().op(kStop).finished());
    always.showFrame();
    always.define(movie, 20);
    plugintest::SpriteBuilder overOnly;
    overOnly.actions(Asm().str("over ").get("this").op(kAdd2).trace().finished());
    overOnly.showFrame();
    overOnly.define(movie, 21);
    // Records: up/over/down and hit show sprite 20 at depth 1; over shows sprite 21 at depth 2.
    std::vector<uint8_t> body { 10, 0, 0 };
    const size_t offsetAt = body.size();
    body.insert(body.end(), { 0, 0 });
    for (auto [states, id, depth] : { std::tuple<uint8_t, uint8_t, uint8_t> { 0x0F, 20, 1 }, { 0x02, 21, 2 } })
        body.insert(body.end(), { states, id, 0, depth, 0, 0, 0 });
    body.push_back(0);
    body[offsetAt] = uint8_t(body.size() - offsetAt);
    const std::vector<uint8_t> press = Asm().str("press").trace().finished();
    body.insert(body.end(), { 0, 0, uint8_t(kCondOverUpToOverDown), 0 });
    body.insert(body.end(), press.begin(), press.end());
    movie.raw(kTagDefineButton2, body);
    movie.place(1, 10, 10 * kTwips, 10 * kTwips, nullptr, 0, "btn");
    movie.raw(kTagDoAction, Asm().op(kStop).finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    plugin::MoviePlayer player;
    std::vector<std::string> lines;
    player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
    ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
    player.step(true);
    // Over the button: the over state's sprite is made, the one that stays keeps its frame; the press is found
    // through the sprite in the hit state; down drops the over-only sprite.
    player.mouseEvent(30, 30, false, kSide, kSide);
    player.mouseEvent(30, 30, true, kSide, kSide);
    player.step(true);
    EXPECT_EQ(lines,
        (std::vector<std::string> { "made _level0.btn.instance1 object", "frame 2 _level0.btn.instance1",
            "over _level0.btn.instance2", "press" }));
    avm1::Machine& m = *player.scriptMachine();
    const Value button = m.getMember(Value(m.rootClip()), "btn");
    EXPECT_TRUE(m.getMember(button, "instance1").isObject());
    EXPECT_TRUE(m.getMember(button, "instance2").isUndefined());
}

} // namespace

// A field shown by a button binds its variable on the timeline holding the button (buttons are no timelines):
// plain names and paths both start there, and the field shows what that timeline's script put in them.
TEST(Input, FieldsInAButtonBindOnTheButtonsTimeline)
{
    plugintest::MovieBuilder movie(kSide, kSide, 12.0f, 6);
    // Fields 2 and 3: no font, a zero box, text to show until their variables say otherwise.
    const auto field = [&movie](uint8_t id, const std::string& variable) {
        std::vector<uint8_t> body { id, 0, 0x00, 0x80, 0x00 };
        body.insert(body.end(), variable.begin(), variable.end());
        body.push_back(0);
        for (char c : std::string("Broken"))
            body.push_back(uint8_t(c));
        body.push_back(0);
        movie.raw(kTagDefineEditText, body);
    };
    field(2, "shown");
    field(3, "_parent.inner.path");
    std::vector<uint8_t> body { 10, 0, 0, 0, 0 };
    for (uint8_t id : { 2, 3 })
        body.insert(body.end(), { kAllStates, id, 0, id, 0, 0, 0 });
    body.push_back(0);
    movie.raw(kTagDefineButton2, body);
    plugintest::SpriteBuilder holder;
    holder.place(1, 10, 0, 0);
    holder.showFrame();
    holder.define(movie, 20);
    movie.place(1, 20, 0, 0, nullptr, 0, "outer");
    movie.actions(Asm()
                      .append(SetProperty("outer", "shown", Asm().str("Working")))
                      .get("_root")
                      .str("inner")
                      .get("outer")
                      .op(kSetMember)
                      .append(SetProperty("outer", "path", Asm().str("Also")))
                      .op(kStop)
                      .finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    plugin::MoviePlayer player;
    ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
    player.step(true);
    player.step(true);
    plugin::SpriteInstance* outer = nullptr;
    for (auto& [depth, object] : player.root().displayList)
        if (object.sprite)
            outer = object.sprite.get();
    ASSERT_NE(outer, nullptr);
    auto button = outer->displayList.find(1);
    ASSERT_TRUE(button != outer->displayList.end() && button->second.buttonContent);
    std::vector<std::u16string> shown;
    for (auto& [depth, object] : button->second.buttonContent->displayList)
        shown.push_back(object.field ? object.field->text : u"");
    EXPECT_EQ(shown, (std::vector<std::u16string> { u"Working", u"Also" }));
}

TEST(Input, APressOnALinkedCharacterFollowsTheLink)
{
    // A function that traces its name and argument and marks the object it ran on.
    const auto marker = [](const std::string& name) {
        return Asm().str(name + ":").get("a").op(0x47).trace().get("this").str("seen").str(name).op(kSetMember);
    };
    const Asm script = Asm()
                           .num(50).num(55).num(50).num(0).num(5).str("t").num(6).get("_root").str("createTextField")
                           .op(kCallMethod).op(kPop)
                           .append(SetProperty("t", "html", Asm().boolean(true)))
                           .function("f", { "a" }, marker("f"))
                           .str("o").i32(0).op(0x43).op(0x1D)
                           .get("o").str("g").function("", { "a" }, marker("g")).op(kSetMember)
                           .get("_global").str("h").function("", { "a" }, marker("h")).op(kSetMember);
    InputMovie movie(script);
    std::vector<std::string> fetched;
    movie.player.onGetURL = [&](const std::string& url, const std::string& target) {
        fetched.push_back(url + " " + target);
    };
    avm1::Machine& m = movie.m();
    struct Case {
        const char* html;
        std::vector<std::string> lines;
        const char* ranOn; // the object marked, "" for none
    };
    const Case cases[] = {
        // The field's clip is looked in first, then _global; after the first comma comes one text argument.
        { "<a href=\"asfunction:f,x,y\">WWWWWWWW</a>", { "f:x,y" }, "_root" },
        { "<a href=\"ASFUNCTION:o.g\">WWWWWWWW</a>", { "g:undefined" }, "o" },
        { "<a href=\"asfunction:h, z\">WWWWWWWW</a>", { "h: z" }, "_global" },
        { "<a href=\"asfunction:\">WWWWWWWW</a>", {}, "" },
        { "<a href=\"asfunction:missing,1\">WWWWWWWW</a>", {}, "" },
        { "WWWWWWWW", {}, "" }, // no link
    };
    const auto holderOf = [&](const std::string& name) {
        return name == "_root" ? m.rootClip() : name == "o" ? movie.member("o").asObject() : m.m_Global;
    };
    for (const Case& c : cases) {
        for (const char* holder : { "_root", "o", "_global" })
            m.deleteMember(holderOf(holder), "seen");
        m.setMember(movie.member("t"), "htmlText", Value(m.str(c.html)));
        movie.lines.clear();
        movie.mouse(6, 58, true);
        movie.mouse(6, 58, false);
        EXPECT_EQ(movie.lines, c.lines) << c.html;
        for (const char* holder : { "_root", "o", "_global" }) {
            const Value seen = m.getMember(Value(holderOf(holder)), "seen");
            EXPECT_EQ(seen.isUndefined(), std::string(holder) != c.ranOn) << c.html << " " << holder;
        }
    }
    // Other links go to the host; a press beside the text follows nothing.
    m.setMember(movie.member("t"), "htmlText", Value(m.str("<a href=\"http://x/\" target=\"_blank\">WWWWWWWW</a>")));
    movie.mouse(6, 97, true);
    movie.mouse(6, 97, false);
    EXPECT_TRUE(fetched.empty());
    movie.mouse(6, 58, true);
    movie.mouse(6, 58, false);
    EXPECT_EQ(fetched, std::vector<std::string> { "http://x/ _blank" });
}
