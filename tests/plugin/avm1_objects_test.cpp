// Objects: the prototype chain, accessors, watchers, attributes and enumeration order; built-in classes.
#include "Avm1Assembler.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>

using plugintest::Asm;
using plugintest::RunScript;

namespace {

constexpr uint8_t kGetMember = 0x4E, kSetMember = 0x4F, kCallMethod = 0x52, kNewObject = 0x40, kInitObject = 0x43,
                  kInitArray = 0x42, kEnumerate2 = 0x55, kEquals2 = 0x49, kPop = 0x17, kSetVariable = 0x1D,
                  kReturn = 0x3E, kCallFunction = 0x3D;

Asm NewObject(const std::string& name)
{
    return Asm().set(name, Asm().i32(0).op(kInitObject));
}

Asm SetMember(const std::string& object, const std::string& name, Asm value)
{
    return Asm().get(object).str(name).append(value).op(kSetMember);
}

Asm Member(const std::string& object, const std::string& name)
{
    return Asm().get(object).str(name).op(kGetMember);
}

// Traces each enumerated name of a variable's object.
// Traces each enumerated name of a variable's object (`loop` tells the labels of two such loops apart).
Asm TraceNames(const std::string& object, const std::string& loop = "")
{
    return Asm()
        .get(object)
        .op(kEnumerate2)
        .label("next" + loop)
        .store(0)
        .null()
        .op(kEquals2)
        .ifTrue("done" + loop)
        .reg(0)
        .trace()
        .jump("next" + loop)
        .label("done" + loop);
}

TEST(Avm1Objects, PrototypeChainAccessorsAndWatchers)
{
    Asm script = NewObject("p").append(NewObject("o"));
    script.append(SetMember("o", "__proto__", Asm().get("p"))).append(SetMember("p", "x", Asm().num(5)));
    script.append(Member("o", "x")).trace();
    // o.addProperty("v", function () { return 42; }, null)
    script.null().function("", {}, Asm().num(42).op(kReturn)).str("v").i32(3).get("o").str("addProperty")
        .op(kCallMethod).op(kPop);
    script.append(Member("o", "v")).trace();
    // o.watch("w", function (name, old, now) { return now * 2; }); o.w = 4
    script.function("", { "name", "old", "now" }, Asm().get("now").num(2).op(0x0C).op(kReturn)).str("w").i32(2)
        .get("o").str("watch").op(kCallMethod).op(kPop);
    script.append(SetMember("o", "w", Asm().num(4))).append(Member("o", "w")).trace();
    // A watcher of a property that a prototype's getter serves hears no old value, not the getter's:
    // p.addProperty("g", function () { return 7; }, null); o.watch("g", function (name, old) { trace(old); });
    // o.g = 1
    script.null().function("", {}, Asm().num(7).op(kReturn)).str("g").i32(3).get("p").str("addProperty")
        .op(kCallMethod).op(kPop);
    script.function("", { "name", "old" }, Asm().get("old").trace()).str("g").i32(2).get("o").str("watch")
        .op(kCallMethod).op(kPop);
    script.append(SetMember("o", "g", Asm().num(1)));
    EXPECT_EQ(RunScript(script, 7), (std::vector<std::string> { "5", "42", "8", "undefined" }));
}

TEST(Avm1Objects, EnumerationOrderAndHiddenProperties)
{
    Asm script = NewObject("o");
    for (const char* name : { "a", "b", "c" })
        script.append(SetMember("o", name, Asm().num(1)));
    // ASSetPropFlags(o, "b", 1): b no longer enumerates.
    script.num(1).str("b").get("o").i32(3).str("ASSetPropFlags").op(kCallFunction).op(kPop);
    script.append(TraceNames("o"));
    // Once its flag is cleared, __proto__ enumerates as the oldest member: ASSetPropFlags(o, "__proto__", 0, 1).
    script.num(1).num(0).str("__proto__").get("o").i32(4).str("ASSetPropFlags").op(kCallFunction).op(kPop);
    script.append(TraceNames("o", "2"));
    // A script's object lets its link go; the player's own objects keep theirs.
    script.get("o").str("__proto__").op(0x3A).trace();
    script.get("Math").str("__proto__").op(0x3A).trace();
    EXPECT_EQ(RunScript(script, 7),
        (std::vector<std::string> { "c", "a", "c", "a", "__proto__", "true", "false" }));
}

TEST(Avm1Objects, ArrayElementsKeepTheirAttributes)
{
    // a = [1, 2, 3]; ASSetPropFlags(a, "0,1", 7 (hidden, kept, read-only)); a[0] = 9; delete a[1]; delete a[2]
    Asm script = Asm().set("a", Asm().num(3).num(2).num(1).i32(3).op(kInitArray));
    script.num(7).str("0,1").get("a").i32(3).str("ASSetPropFlags").op(kCallFunction).op(kPop);
    script.append(SetMember("a", "0", Asm().num(9)));
    script.get("a").str("1").op(0x3A).trace();
    script.get("a").str("2").op(0x3A).trace();
    script.get("a").trace();
    // Only an element made anew (after its delete) enumerates: it has no attributes.
    script.append(SetMember("a", "2", Asm().num(4))).append(TraceNames("a"));
    EXPECT_EQ(RunScript(script, 7), (std::vector<std::string> { "false", "true", "1,2,undefined", "2" }));
}

TEST(Avm1Objects, PrototypesNamesEnumerateBeforeTheObjectsOwn)
{
    // p = {x, a}; o = {a, b} with p as its prototype: p's x first, then o's names newest first; p's a is hidden
    // by o's own a.
    Asm script = NewObject("p").append(NewObject("o"));
    script.append(SetMember("p", "x", Asm().num(1))).append(SetMember("p", "a", Asm().num(1)));
    script.append(SetMember("o", "__proto__", Asm().get("p")));
    script.append(SetMember("o", "a", Asm().num(1))).append(SetMember("o", "b", Asm().num(1)));
    script.append(TraceNames("o"));
    EXPECT_EQ(RunScript(script, 7), (std::vector<std::string> { "x", "b", "a" }));
}

TEST(Avm1Objects, SetNativeNumbersNamesInTurnAndHidesVersionedOnes)
{
    // ASSetNative(o, 200, "a,6b,,c"): Math's natives 0 (abs), 1 (min) for b from SWF 6, and 3 (sin) for c, the
    // empty name using up number 2.
    Asm script = NewObject("o");
    script.str("a,6b,,c").num(200).get("o").i32(3).str("ASSetNative").op(kCallFunction).op(kPop);
    script.num(-4).i32(1).get("o").str("a").op(kCallMethod).trace();
    script.num(0).i32(1).get("o").str("c").op(kCallMethod).trace();
    script.append(Member("o", "b")).trace();
    EXPECT_EQ(RunScript(script, 5), (std::vector<std::string> { "4", "0", "undefined" }));
    EXPECT_EQ(RunScript(script, 6), (std::vector<std::string> { "4", "0", "[type Function]" }));
}

TEST(Avm1Objects, ArrayAndStringMethods)
{
    struct MethodCase {
        const char* what;
        Asm script;
        std::string expected;
    };
    auto array = [](std::vector<double> items) {
        Asm a;
        for (auto it = items.rbegin(); it != items.rend(); ++it)
            a.num(*it);
        return a.i32(int32_t(items.size())).op(kInitArray);
    };
    auto method = [](Asm self, const std::string& name, std::vector<Asm> args) {
        Asm a;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            a.append(*it);
        return a.i32(int32_t(args.size())).append(self).str(name).op(kCallMethod);
    };
    const std::vector<MethodCase> cases = {
        { "sort as strings", method(array({ 10, 9, 1 }), "sort", {}), "1,10,9" },
        { "numeric descending", method(array({ 10, 9, 1 }), "sort", { Asm().num(16 | 2) }), "10,9,1" },
        { "comparator", method(array({ 3, 1, 2 }), "sort", { Asm().function("", { "a", "b" },
            Asm().get("a").get("b").op(0x0B).op(kReturn)) }), "1,2,3" },
        { "numeric puts NaN last", method(array({ NAN, 4, -INFINITY, 1 }), "sort", { Asm().num(16) }),
            "-Infinity,1,4,NaN" },
        { "sortOn compares primitives themselves", method(array({ 3, 1, 2 }), "sortOn", { Asm().str("x") }),
            "1,2,3" },
        { "splice", method(array({ 1, 2, 3, 4 }), "splice", { Asm().num(1), Asm().num(2) }), "2,3" },
        { "join", method(array({ 1, 2 }), "join", { Asm().str("-") }), "1-2" },
        { "substr from the end", method(Asm().str("hello"), "substr", { Asm().num(-3) }), "llo" },
        { "split", method(Asm().str("a,b,,c"), "split", { Asm().str(",") }), "a,b,,c" },
        { "indexOf", method(Asm().str("hello"), "indexOf", { Asm().str("l") }), "2" },
        { "charCodeAt", method(Asm().str("A"), "charCodeAt", { Asm().num(0) }), "65" },
        { "toUpperCase", method(Asm().str("abc"), "toUpperCase", {}), "ABC" },
    };
    for (const MethodCase& c : cases)
        EXPECT_EQ(RunScript(Asm(c.script).trace(), 8), std::vector<std::string> { c.expected }) << c.what;
}

TEST(Avm1Objects, ClassesAndInstanceOf)
{
    // function A() {}; function B() {}; B extends A; b = new B(); trace(b instanceof A)
    Asm script = Asm().function("A", {}, Asm()).function("B", {}, Asm());
    script.get("B").get("A").op(0x69);
    script.str("b").i32(0).str("B").op(kNewObject).op(kSetVariable);
    script.get("b").get("A").op(0x54).trace();
    script.get("b").get("Array").op(0x54).trace();
    EXPECT_EQ(RunScript(script, 7), (std::vector<std::string> { "true", "false" }));
}

// super() into the built-in Date makes a plain object a date (Date's methods then read its time); an array stays
// an array. Function makes plain objects, never functions.
TEST(Avm1Objects, SuperIntoDateAndWhatFunctionMakes)
{
    // p = { __proto__: Date.prototype, __constructor__: Date, init: function () { super(0); } }
    Asm script = NewObject("p");
    script.append(SetMember("p", "__proto__", Member("Date", "prototype")));
    script.append(SetMember("p", "__constructor__", Asm().get("Date")));
    script.append(SetMember("p", "init", Asm().function("", {}, Asm().num(0).i32(1).get("super").undef().op(kCallMethod).op(kPop))));
    for (const char* name : { "o", "a" }) {
        // o.__proto__ = p; o.init(); trace(Date.prototype.getTime.call(o))
        script.append(name[0] == 'o' ? NewObject(name) : Asm().set(name, Asm().i32(0).op(kInitArray)));
        script.append(SetMember(name, "__proto__", Asm().get("p")));
        script.i32(0).get(name).str("init").op(kCallMethod).op(kPop);
        script.get(name).i32(1).append(Member("Date", "prototype")).str("getTime").op(kGetMember).str("call")
            .op(kCallMethod).trace();
    }
    // trace(typeof new Function()); trace(typeof Function())
    script.i32(0).str("Function").op(kNewObject).op(0x44).trace();
    script.i32(0).str("Function").op(kCallFunction).op(0x44).trace();
    // Function(x) gives x back.
    script.str("x").i32(1).str("Function").op(kCallFunction).trace();
    EXPECT_EQ(RunScript(script, 7), (std::vector<std::string> { "0", "undefined", "object", "object", "x" }));
}

TEST(Avm1Objects, SuperGivesNativeStateToASubclassObject)
{
    // For each class C: o = { __proto__: { __proto__: C.prototype, __constructor__: C, init: function (a, b) {
    // return super(a, b); } } }; trace(o.init(...)); then a member only C's state answers.
    struct Case {
        const char* path[3];
        Asm args;
        const char* member;
        bool call;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        { { "Sound" }, Asm().get("_root").i32(1), "getVolume", true, { "[object Object]", "100" } },
        { { "flash", "display", "BitmapData" }, Asm().num(30).num(20).i32(2), "height", false,
            { "[object Object]", "30" } },
        { { "flash", "geom", "Transform" }, Asm().get("_root").i32(1), "matrix", false,
            { "[object Object]", "(a=1, b=0, c=0, d=1, tx=0, ty=0)" } },
    };
    for (const Case& c : cases) {
        Asm cls = Asm().get(c.path[0]);
        for (int i = 1; i < 3 && c.path[i]; ++i)
            cls.str(c.path[i]).op(kGetMember);
        Asm script = NewObject("p").append(NewObject("o"));
        script.append(SetMember("p", "__proto__", Asm().append(cls).str("prototype").op(kGetMember)));
        script.append(SetMember("p", "__constructor__", cls));
        script.append(SetMember("p", "init",
            Asm().function("", { "a", "b" },
                Asm().get("b").get("a").i32(2).get("super").undef().op(kCallMethod).op(kReturn))));
        script.append(SetMember("o", "__proto__", Asm().get("p")));
        script.append(c.args).get("o").str("init").op(kCallMethod).trace();
        if (c.call)
            script.i32(0).get("o").str(c.member).op(kCallMethod).trace();
        else
            script.append(Member("o", c.member)).trace();
        EXPECT_EQ(RunScript(script, 8), c.expected) << c.path[0];
    }
}

TEST(Avm1Objects, BuiltInsKeepTheirOwnClassesOutOfTheGlobals)
{
    // A built-in that makes a Point does so from the original class, whatever scripts did to flash.geom.Point.
    Asm script;
    script.str("g").get("flash").str("geom").op(kGetMember).op(kSetVariable);
    script.append(SetMember("g", "Point", Asm().null()));
    script.str("r").num(4).num(3).num(2).num(1).i32(4).get("g").str("Rectangle").op(0x53).op(kSetVariable);
    script.i32(0).append(Member("r", "size")).str("toString").op(kCallMethod).trace();
    // Every global shown, hidden ones too (ASSetPropFlags(_global, null, 0, 1)): none is the machine's own.
    script.num(1).num(0).null().get("_global").i32(4).str("ASSetPropFlags").op(kCallFunction).op(kPop);
    script.append(TraceNames("_global"));
    const std::vector<std::string> lines = RunScript(script, 8);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "(x=3, y=4)");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "flash"), lines.end());
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_NE(lines[i].rfind("__", 0), 0u) << lines[i];
}

} // namespace
