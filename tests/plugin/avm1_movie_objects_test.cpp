// The movie's own script classes (XML, flash.geom, LoadVars, TextFormat, Stage, Key), driven through the
// machine directly: objects made with `new`, methods called, results converted as a script would see them.
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"
#include "timeline/MoviePlayer.h"

#include "Avm1Assembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <unistd.h>

using namespace reelfinch;
using avm1::Value;

namespace {

struct Script {
    plugin::MoviePlayer player;
    avm1::Machine m { player, 8 };

    Value global(const char* name) { return m.getMember(Value(m.m_Global), name); }
    Value str(const std::string& s) { return Value(m.str(s)); }
    Value make(const char* cls, std::vector<Value> args = {})
    {
        return m.construct(global(cls), args.data(), int(args.size()));
    }
    Value call(const Value& object, const char* method, std::vector<Value> args = {})
    {
        return m.callMethod(object, method, args.data(), int(args.size()));
    }
    std::string text(const Value& v) { return m.toString(v); }
    std::string get(const Value& object, const char* path)
    {
        return m.toString(m.getMember(object, path));
    }
};

TEST(Avm1MovieObjects, XmlParsesAndPrintsAsThePlayer)
{
    struct Case {
        const char* source;
        bool ignoreWhite;
        const char* printed;
        int status;
    };
    const Case cases[] = {
        { "<a x=\"1\" y='2'><b/>t&amp;u</a>", false, "<a x=\"1\" y=\"2\"><b />t&amp;u</a>", 0 },
        { "<r>  <f> x </f>  </r>", true, "<r><f> x </f></r>", 0 },
        { "<r>  <f> x </f>  </r>", false, "<r>  <f> x </f>  </r>", 0 },
        { "<t><![CDATA[<raw>]]>n</t>", false, "<t>&lt;raw&gt;n</t>", 0 },
        { "<?xml version='1.0'?><!DOCTYPE d><a/>", false, "<?xml version='1.0'?><!DOCTYPE d><a />", 0 },
        { "<a>&#65;&#x42;&bogus;</a>", false, "<a>AB&amp;bogus;</a>", 0 },
        { "<a><!-- note --></a>", false, "<a />", 0 },
        { "<a><b></a>", false, "<a><b /></a>", -9 },
        { "</a>", false, "", -10 },
        { "<a x=\"1></a>", false, "<a />", -8 },
        { "<a><!-- open", false, "<a />", -5 },
        { "<a><![CDATA[open", false, "<a />", -2 },
        { "<", false, "", -6 },
    };
    for (const Case& c : cases) {
        Script s;
        Value xml = s.make("XML");
        s.m.setMember(xml, "ignoreWhite", Value(c.ignoreWhite));
        s.call(xml, "parseXML", { s.str(c.source) });
        EXPECT_EQ(s.text(s.call(xml, "toString")), c.printed) << c.source;
        EXPECT_EQ(s.m.toNumber(s.m.getMember(xml, "status")), c.status) << c.source;
    }
}

TEST(Avm1MovieObjects, XmlTreeEditsKeepLinksConsistent)
{
    Script s;
    Value doc = s.make("XML", { s.str("<a/><b/><c>text</c>") });
    Value a = s.m.getMember(doc, "firstChild");
    Value c = s.m.getMember(doc, "lastChild");
    EXPECT_EQ(s.get(a, "nodeName"), "a");
    EXPECT_TRUE(s.m.strictEquals(s.m.getMember(c, "parentNode"), doc));
    EXPECT_TRUE(s.m.getMember(a, "previousSibling").isNull());
    EXPECT_EQ(s.get(s.m.getMember(c, "firstChild"), "nodeValue"), "text");
    EXPECT_EQ(s.m.toNumber(s.m.getMember(s.m.getMember(c, "firstChild"), "nodeType")), 3);

    // A node in a tree stays put until removed; a node may not become its own descendant.
    s.call(c, "appendChild", { a });
    EXPECT_EQ(s.text(s.call(doc, "toString")), "<a /><b /><c>text</c>");
    s.call(a, "removeNode");
    s.call(c, "appendChild", { a });
    EXPECT_EQ(s.text(s.call(doc, "toString")), "<b /><c>text<a /></c>");
    s.call(a, "removeNode");
    s.call(c, "appendChild", { doc });
    EXPECT_EQ(s.text(s.call(doc, "toString")), "<b /><c>text</c>");
    s.call(doc, "insertBefore", { a, s.m.getMember(doc, "firstChild") });
    EXPECT_EQ(s.text(s.call(doc, "toString")), "<a /><b /><c>text</c>");
    s.m.setMember(doc, "nodeName", s.str("n"));
    s.m.setMember(doc, "nodeName", Value());
    EXPECT_EQ(s.text(doc), "<n><a /><b /><c>text</c></n>");
    s.m.setMember(doc, "nodeName", Value::null());
    s.call(s.m.getMember(doc, "lastChild"), "removeNode");
    EXPECT_EQ(s.text(s.call(doc, "toString")), "<a /><b />");
    EXPECT_EQ(s.m.toNumber(s.m.getMember(s.m.getMember(doc, "childNodes"), "length")), 2);

    Value copy = s.call(doc, "cloneNode", { Value(true) });
    s.call(doc, "appendChild", { s.call(doc, "createTextNode", { s.str("<&>") }) });
    EXPECT_EQ(s.text(s.call(doc, "toString")), "<a /><b />&lt;&amp;&gt;");
    EXPECT_EQ(s.text(s.call(copy, "toString")), "<a /><b />");

    Value ns = s.make("XML", { s.str("<p:x xmlns:p=\"urn:p\"><p:y/></p:x>") });
    Value y = s.m.getMember(s.m.getMember(ns, "firstChild"), "firstChild");
    EXPECT_EQ(s.get(y, "prefix"), "p");
    EXPECT_EQ(s.get(y, "localName"), "y");
    EXPECT_EQ(s.get(y, "namespaceURI"), "urn:p");
    EXPECT_EQ(s.text(s.call(y, "getPrefixForNamespace", { s.str("urn:p") })), "p");
}

TEST(Avm1MovieObjects, DroppedXmlTreesAreCollected)
{
    Script s;
    s.m.collectGarbage();
    const size_t before = s.m.heap().cellCount();
    for (int i = 0; i < 50; ++i) {
        Value doc = s.make("XML", { s.str("<a><b x='1'/><c>t</c></a>") });
        // A cycle through a script property as well as the tree's own links.
        s.m.setMember(s.m.getMember(doc, "firstChild"), "owner", doc);
    }
    s.m.collectGarbage();
    EXPECT_LE(s.m.heap().cellCount(), before + 8);
}

TEST(Avm1MovieObjects, PointAndRectangle)
{
    Script s;
    Value geom = s.m.getMember(s.global("flash"), "geom");
    auto point = [&](double x, double y) {
        Value args[2] = { Value(x), Value(y) };
        return s.m.construct(s.m.getMember(geom, "Point"), args, 2);
    };
    Value p = point(100, 200);
    EXPECT_EQ(s.text(s.call(p, "add", { point(1, 2) })), "(x=101, y=202)");
    EXPECT_EQ(s.text(s.call(p, "subtract", { Value() })), "(x=NaN, y=NaN)");
    EXPECT_EQ(s.get(point(3, -4), "length"), "5");
    s.call(p, "normalize", { Value(10) });
    EXPECT_EQ(s.text(p), "(x=4.47213595499958, y=8.94427190999916)");
    Value pointClass = s.m.getMember(geom, "Point");
    EXPECT_EQ(s.text(s.call(pointClass, "distance", { point(-100, 0), point(100, 0) })), "200");
    EXPECT_EQ(s.text(s.call(pointClass, "interpolate", { point(0, 0), point(10, 20), Value(0.5) })), "(x=5, y=10)");

    Value args[4] = { Value(0), Value(0), Value(10), Value(10) };
    Value r = s.m.construct(s.m.getMember(geom, "Rectangle"), args, 4);
    Value args2[4] = { Value(5), Value(5), Value(10), Value(10) };
    Value r2 = s.m.construct(s.m.getMember(geom, "Rectangle"), args2, 4);
    EXPECT_EQ(s.text(s.call(r, "intersection", { r2 })), "(x=5, y=5, w=5, h=5)");
    EXPECT_EQ(s.text(s.call(r, "union", { r2 })), "(x=0, y=0, w=15, h=15)");
    EXPECT_EQ(s.get(r, "bottomRight"), "(x=10, y=10)");
    EXPECT_TRUE(s.m.toBoolean(s.call(r, "contains", { Value(9.5), Value(0) })));
    EXPECT_FALSE(s.m.toBoolean(s.call(r, "contains", { Value(10), Value(0) })));

    Value ctArgs[8] = { Value(0.5), Value(0.5), Value(0.5), Value(0.5), Value(10), Value(20), Value(30), Value(40) };
    Value ct = s.m.construct(s.m.getMember(geom, "ColorTransform"), ctArgs, 8);
    Value second = s.m.construct(s.m.getMember(geom, "ColorTransform"), ctArgs, 8);
    s.call(ct, "concat", { second });
    EXPECT_EQ(s.text(ct), "(redMultiplier=0.25, greenMultiplier=0.25, blueMultiplier=0.25, alphaMultiplier=0.25, "
                          "redOffset=15, greenOffset=30, blueOffset=45, alphaOffset=60)");
    s.m.setMember(ct, "rgb", Value(0x102030));
    EXPECT_EQ(s.get(ct, "rgb"), "1056816");
    EXPECT_EQ(s.get(ct, "redMultiplier"), "0");
}

TEST(Avm1MovieObjects, LoadVarsDecodesAndEncodes)
{
    Script s;
    Value lv = s.make("LoadVars");
    s.call(lv, "decode", { s.str("a=1&name=J%C3%BCrg+en&empty=&flag") });
    EXPECT_EQ(s.get(lv, "a"), "1");
    EXPECT_EQ(s.get(lv, "name"), "J\xC3\xBCrg en");
    EXPECT_EQ(s.get(lv, "empty"), "");
    EXPECT_EQ(s.get(lv, "flag"), "");
    Value out = s.make("LoadVars");
    s.m.setMember(out, "k", s.str("a b&c"));
    EXPECT_EQ(s.text(s.call(out, "toString")), "k=a%20b%26c");
}

TEST(Avm1MovieObjects, TextFormatFieldsCoerceWhatIsWritten)
{
    struct Case {
        const char* field;
        Value written;
        const char* read;
    };
    Script s;
    const Case cases[] = {
        { "size", Value(2.5), "2" },
        { "size", Value(3.5), "4" },
        { "size", Value(4294967295.0), "-2147483648" },
        { "size", Value(), "null" },
        { "color", Value(-3.5), "4294967293" },
        { "leftMargin", Value(-3.0), "0" },
        { "bold", Value(0.5), "true" },
        { "align", s.str("CENTER"), "center" },
        { "align", s.str("nowhere"), "center" },
        { "letterSpacing", Value(2.5), "2.5" },
        { "font", Value(7), "7" },
    };
    Value format = s.make("TextFormat");
    for (const Case& c : cases) {
        s.m.setMember(format, c.field, c.written);
        EXPECT_EQ(s.get(format, c.field), c.read) << c.field;
    }
    Value made = s.make("TextFormat", { s.str("Arial"), Value(12), Value(0xFF0000), Value(true) });
    EXPECT_EQ(s.get(made, "font"), "Arial");
    EXPECT_EQ(s.get(made, "color"), "16711680");
    EXPECT_EQ(s.get(made, "bold"), "true");
    EXPECT_EQ(s.get(made, "italic"), "null");
}

TEST(Avm1MovieObjects, StageAndKey)
{
    Script s;
    Value stage = s.global("Stage");
    const std::pair<const char*, const char*> aligns[] = { { "TL", "LT" }, { "br", "RB" }, { "xyz", "" },
        { "TllLBbbtRrrlBr", "LTRB" } };
    for (const auto& [written, read] : aligns) {
        s.m.setMember(stage, "align", s.str(written));
        EXPECT_EQ(s.get(stage, "align"), read) << written;
    }
    s.m.setMember(stage, "scaleMode", s.str("NOSCALE"));
    EXPECT_EQ(s.get(stage, "scaleMode"), "noScale");
    s.m.setMember(stage, "scaleMode", s.str("junk"));
    EXPECT_EQ(s.get(stage, "scaleMode"), "showAll");

    Value key = s.global("Key");
    Value listener = s.make("Object");
    s.call(key, "addListener", { listener });
    avm1::DeliverKeyEvent(s.m, true, 37, 0);
    EXPECT_TRUE(s.m.toBoolean(s.call(key, "isDown", { s.m.getMember(key, "LEFT") })));
    EXPECT_EQ(s.text(s.call(key, "getCode")), "37");
    avm1::DeliverKeyEvent(s.m, false, 37, 0);
    EXPECT_FALSE(s.m.toBoolean(s.call(key, "isDown", { Value(37) })));
    avm1::DeliverKeyEvent(s.m, true, 999, 0); // out of range: ignored

    // The host's Mac key codes and characters to the script's codes.
    struct KeyCase {
        uint8_t macKey, charCode;
        int code, ascii;
    };
    const KeyCase keys[] = { { 0x7B, 0x1C, 37, 0 }, { 0x00, 'a', 65, 97 }, { 0x00, 'A', 65, 65 },
        { 0x24, 0x0D, 13, 13 }, { 0x31, ' ', 32, 32 }, { 0x1B, '-', 189, 45 }, { 0x7A, 0x10, 112, 0 },
        { 0x1D, '0', 48, 48 }, { 0x53, '1', 97, 49 }, { 0x75, 0x7F, 46, 127 }, { 0x0A, 0xA7, 0, 0 } };
    for (const KeyCase& k : keys) {
        const avm1::ScriptKey key = avm1::ScriptKeyFromMac(k.macKey, k.charCode);
        EXPECT_EQ(key.code, k.code) << int(k.macKey);
        EXPECT_EQ(key.ascii, k.ascii) << int(k.macKey);
    }
}

TEST(Avm1MovieObjects, SharedObjectsPersistAndSurviveDamage)
{
    const std::filesystem::path home = std::filesystem::temp_directory_path()
        / ("reelfinch-so-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    {
        Script s;
        avm1::SetSharedObjectLocation(s.m, "file:///movies/game.swf");
        Value so = s.call(s.global("SharedObject"), "getLocal", { s.str("scores") });
        Value data = s.m.getMember(so, "data");
        s.m.setMember(data, "name", s.str("ann"));
        s.m.setMember(data, "best", Value(42.5));
        Value list = s.make("Array");
        s.call(list, "push", { Value(1), s.str("two"), Value::null() });
        s.m.setMember(list, "self", list); // a cycle is written as a reference
        s.m.setMember(data, "list", list);
        EXPECT_TRUE(s.m.toBoolean(s.call(so, "flush")));
        EXPECT_GT(s.m.toNumber(s.call(so, "getSize")), 0);
        EXPECT_TRUE(s.m.strictEquals(s.call(s.global("SharedObject"), "getLocal", { s.str("scores") }), so));
        // Names that cannot be file names are refused.
        EXPECT_TRUE(s.call(s.global("SharedObject"), "getLocal", { s.str("a:b") }).isNull());

        // Over the size limit: refused, nothing written.
        Value big = s.call(s.global("SharedObject"), "getLocal", { s.str("big") });
        s.m.setMember(s.m.getMember(big, "data"), "blob", s.str(std::string(200 * 1024, 'x')));
        EXPECT_FALSE(s.m.toBoolean(s.call(big, "flush")));
    }
    // Under the movie's host and its whole path.
    const std::filesystem::path folder = home / "Reelfinch" / "localhost" / "movies" / "game.swf";
    const std::filesystem::path file = folder / "scores.sol";
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(folder / "big.sol"));
    {
        Script s;
        avm1::SetSharedObjectLocation(s.m, "file:///movies/game.swf");
        Value data = s.m.getMember(s.call(s.global("SharedObject"), "getLocal", { s.str("scores") }), "data");
        EXPECT_EQ(s.get(data, "name"), "ann");
        EXPECT_EQ(s.get(data, "best"), "42.5");
        Value list = s.m.getMember(data, "list");
        EXPECT_EQ(s.text(list), "1,two,null");
        EXPECT_TRUE(s.m.strictEquals(s.m.getMember(list, "self"), list));
    }
    // Every truncation of the stored file, and a flipped byte, read as no data.
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> damaged;
    for (size_t n = 0; n < bytes.size(); n += 3)
        damaged.push_back(bytes.substr(0, n));
    std::string flipped = bytes;
    flipped[flipped.size() / 2] = char(0x42);
    damaged.push_back(flipped);
    for (const std::string& d : damaged) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << d;
        Script s;
        avm1::SetSharedObjectLocation(s.m, "file:///movies/game.swf");
        Value data = s.m.getMember(s.call(s.global("SharedObject"), "getLocal", { s.str("scores") }), "data");
        EXPECT_TRUE(data.isObject());
    }
    // A crafted object whose __proto__ refers to itself gets no prototype loop.
    {
        std::string body("TCSO\0\x04\0\0\0\0\0\x06scores\0\0\0\0\0\x01o\x03\0\x09__proto__\x07\0\0\0\0\x09\0", 44);
        std::string crafted("\0\xBF\0\0\0", 5);
        crafted += char(body.size());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << crafted + body;
        Script s;
        avm1::SetSharedObjectLocation(s.m, "file:///movies/game.swf");
        Value data = s.m.getMember(s.call(s.global("SharedObject"), "getLocal", { s.str("scores") }), "data");
        Value o = s.m.getMember(data, "o");
        ASSERT_TRUE(o.isObject());
        EXPECT_TRUE(s.m.getMember(o, "missing").isUndefined());
    }
    std::filesystem::remove_all(home);
    unsetenv("XDG_DATA_HOME");
}

// Where getLocal keeps an object: the movie's host and whole path, or the local path the script gives when that
// is part of the movie's path; secure objects only for movies not over plain HTTP.
TEST(Avm1MovieObjects, SharedObjectLocationsFollowTheMoviesAddress)
{
    const std::filesystem::path home = std::filesystem::temp_directory_path()
        / ("reelfinch-so-where-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    struct Case {
        const char* url;
        const char* localPath; // null: not given
        bool secure;
        const char* stored; // null: getLocal refuses
    };
    const char* web = "http://www.example.com:8080/a/b/game.swf?level=2";
    const Case cases[] = {
        { "file:///movies/game.swf", nullptr, false, "localhost/movies/game.swf/s.sol" },
        { web, nullptr, false, "www.example.com/a/b/game.swf/s.sol" },
        { web, "/", false, "www.example.com/s.sol" },
        { web, "/a", false, "www.example.com/a/s.sol" },
        { web, "/a/b/game.swf", false, "www.example.com/a/b/game.swf/s.sol" },
        { web, "/c", false, nullptr },
        { web, "/a/bb", false, nullptr },
        { web, nullptr, true, nullptr },
        { "https://secure.example.com/game.swf", nullptr, true, "secure.example.com/game.swf/s.sol" },
        { "game.swf", "/", false, "localhost/s.sol" }, // "/" is part of every path, a relative one too
    };
    for (const Case& c : cases) {
        Script s;
        avm1::SetSharedObjectLocation(s.m, c.url);
        Value so = s.call(s.global("SharedObject"), "getLocal",
            { s.str("s"), c.localPath ? s.str(c.localPath) : Value::null(), Value(c.secure) });
        if (!c.stored) {
            EXPECT_TRUE(so.isNull()) << c.url << " " << (c.localPath ? c.localPath : "-");
            continue;
        }
        ASSERT_TRUE(so.isObject()) << c.url;
        s.m.setMember(s.m.getMember(so, "data"), "v", Value(1));
        EXPECT_TRUE(s.m.toBoolean(s.call(so, "flush")));
        EXPECT_TRUE(std::filesystem::exists(home / "Reelfinch" / c.stored)) << c.stored;
    }
    std::filesystem::remove_all(home);
    unsetenv("XDG_DATA_HOME");
}

// The stored form of arrays as the player writes it: elements in index order without the holes, then the other
// properties in the order they were made; the object's own properties first to last.
TEST(Avm1MovieObjects, SharedObjectsStoreArraysAsThePlayer)
{
    const std::filesystem::path home = std::filesystem::temp_directory_path()
        / ("reelfinch-so-form-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    {
        Script s;
        avm1::SetSharedObjectLocation(s.m, "file:///m.swf");
        Value so = s.call(s.global("SharedObject"), "getLocal", { s.str("f") });
        Value data = s.m.getMember(so, "data");
        Value list = s.make("Array");
        s.call(list, "push", { s.str("x") });
        s.m.setMember(list, "3", s.str("y"));
        s.m.setMember(list, "p", s.str("q"));
        s.m.setMember(data, "a", list);
        s.m.setMember(data, "b", Value(true));
        EXPECT_TRUE(s.m.toBoolean(s.call(so, "flush")));
    }
    std::ifstream in(home / "Reelfinch" / "localhost" / "m.swf" / "f.sol", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string values("\0\x01" "a\x08\0\0\0\x04"
                             "\0\x01" "0\x02\0\x01x" "\0\x01" "3\x02\0\x01y" "\0\x01" "p\x02\0\x01q" "\0\0\x09" "\0"
                             "\0\x01" "b\x01\x01" "\0",
        39);
    ASSERT_GE(bytes.size(), values.size());
    EXPECT_EQ(bytes.substr(bytes.size() - values.size()), values);
    std::filesystem::remove_all(home);
    unsetenv("XDG_DATA_HOME");
}

} // namespace

// ---- clips driven by the host's mouse ----

namespace clips {

using plugintest::Asm;

constexpr uint8_t kSetMember = 0x4F;
constexpr uint8_t kCallMethod = 0x52;
constexpr uint8_t kPop = 0x17;
constexpr int kSide = 100; // pixels of the stage; the view is the same size

// `clip.event = function () { trace(text); }`
Asm Handler(const std::string& event, const std::string& text)
{
    return Asm().get("clip").str(event).function("", {}, Asm().str(text).trace()).op(kSetMember);
}

// A movie with a 40x40 pixel square in a sprite named "clip" at (30, 30); the first frame's script runs, the
// movie stops there.
struct ClipMovie {
    reelfinch::plugin::MoviePlayer player;
    std::vector<std::string> lines;

    explicit ClipMovie(const Asm& script)
    {
        plugintest::MovieBuilder movie(kSide, kSide);
        movie.rectShape(1, 0, 0, 40 * 20, 40 * 20, { 255, 0, 0 });
        plugintest::SpriteBuilder sprite;
        sprite.place(1, 1, 0, 0);
        sprite.showFrame();
        sprite.define(movie, 2);
        movie.place(1, 2, 30 * 20, 30 * 20, nullptr, 0, "clip");
        movie.raw(kTagDoAction, Asm(script).op(0x07).finished());
        movie.showFrame();
        const std::vector<uint8_t> bytes = movie.finish();
        player.onTrace = [this](const std::string& line) { lines.push_back(line); };
        player.load(bytes.data(), bytes.size());
    }
    void mouse(double x, double y, bool down) { player.mouseEvent(x, y, down, kSide, kSide); }
};

TEST(Avm1Clips, ClipsWithButtonHandlersAnswerTheMouse)
{
    struct Step {
        double x, y;
        bool down;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> heard;
    };
    const Case cases[] = {
        { "click inside", { { 50, 50, false }, { 50, 50, true }, { 50, 50, false } }, { "over", "press", "release" } },
        { "press, leave, release outside",
            { { 50, 50, false }, { 50, 50, true }, { 5, 5, true }, { 5, 5, false } },
            { "over", "press", "dragOut", "releaseOutside" } },
        { "press, leave and come back", { { 50, 50, true }, { 90, 90, true }, { 60, 60, true }, { 60, 60, false } },
            { "over", "press", "dragOut", "dragOver", "release" } },
        { "pass over", { { 50, 50, false }, { 95, 95, false }, { 2, 2, false } }, { "over", "out" } },
    };
    Asm script;
    for (const auto& [event, text] : std::vector<std::pair<std::string, std::string>> { { "onPress", "press" },
             { "onRelease", "release" }, { "onReleaseOutside", "releaseOutside" }, { "onRollOver", "over" },
             { "onRollOut", "out" }, { "onDragOut", "dragOut" }, { "onDragOver", "dragOver" } })
        script.append(Handler(event, text));
    for (const Case& c : cases) {
        ClipMovie movie(script);
        for (const Step& step : c.steps)
            movie.mouse(step.x, step.y, step.down);
        EXPECT_EQ(movie.lines, c.heard) << c.name;
    }
}

TEST(Avm1Clips, TheRootsOwnTransformMovesWhereClipsAreHit)
{
    // _root._x = 100: the clip's handlers answer 100 pixels further right, no longer at its old place.
    Asm script = Asm().get("_root").str("_x").num(100).op(kSetMember);
    script.append(Handler("onPress", "press"));
    ClipMovie movie(script);
    movie.mouse(50, 50, true);
    movie.mouse(50, 50, false);
    EXPECT_TRUE(movie.lines.empty());
    movie.mouse(150, 50, true);
    movie.mouse(150, 50, false);
    EXPECT_EQ(movie.lines, std::vector<std::string> { "press" });
}

TEST(Avm1Clips, DraggedClipFollowsTheMouseWithinItsBounds)
{
    // clip.startDrag(true, 0, 0, 60, 40): the clip's origin at the mouse, held to the rectangle.
    Asm script = Asm().num(40).num(60).num(0).num(0).boolean(true).i32(5).get("clip").str("startDrag")
                     .op(kCallMethod).op(kPop);
    ClipMovie movie(script);
    auto* machine = movie.player.scriptMachine();
    ASSERT_NE(machine, nullptr);
    const avm1::Value clip = machine->getMember(avm1::Value(machine->rootClip()), "clip");
    struct Case {
        double mouseX, mouseY, x, y;
    };
    for (const Case& c : { Case { 40, 30, 40, 30 }, Case { 10, 20, 10, 20 }, Case { 95, 90, 60, 40 } }) {
        movie.mouse(c.mouseX, c.mouseY, false);
        EXPECT_DOUBLE_EQ(machine->toNumber(machine->getMember(clip, "_x")), c.x) << c.mouseX;
        EXPECT_DOUBLE_EQ(machine->toNumber(machine->getMember(clip, "_y")), c.y) << c.mouseY;
    }
}

TEST(Avm1Clips, RemovedClipHearsUnloadWhileStillNamed)
{
    // clip.onUnload = function () { trace(this._name); }; clip.swapDepths(5); clip.removeMovieClip();
    Asm script = Asm().get("clip").str("onUnload")
                     .function("", {}, Asm().str("this").op(0x1C).str("_name").op(0x4E).trace())
                     .op(kSetMember)
                     .num(5).i32(1).get("clip").str("swapDepths").op(kCallMethod).op(kPop)
                     .i32(0).get("clip").str("removeMovieClip").op(kCallMethod).op(kPop)
                     .get("clip").trace();
    ClipMovie movie(script);
    // The clip is gone from its parent at once; its unload handler runs after the script, still named.
    EXPECT_EQ(movie.lines, (std::vector<std::string> { "undefined", "clip" }));
}

// `object.method(args...)` with its result traced.
Asm TraceCall(const std::string& object, const std::string& method, std::vector<Asm> args)
{
    Asm a;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        a.append(*it);
    return a.i32(int32_t(args.size())).get(object).str(method).op(kCallMethod).trace();
}

TEST(Avm1Clips, ScriptDepthsMoveClipsAndRefuseWhatTheyMayNotTouch)
{
    struct Case {
        const char* name;
        Asm script;
        std::vector<std::string> heard;
    };
    const Asm twoClips = Asm()
                             .append(TraceCall("_root", "createEmptyMovieClip", { Asm().str("a"), Asm().num(5) }))
                             .append(TraceCall("_root", "createEmptyMovieClip", { Asm().str("b"), Asm().num(9) }));
    const std::vector<std::string> made { "_level0.a", "_level0.b" };
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> all = made;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const Case cases[] = {
        { "the next depth is above the highest", Asm(twoClips).append(TraceCall("_root", "getNextHighestDepth", {})),
            with({ "10" }) },
        { "swapping with a clip exchanges depths",
            Asm(twoClips)
                .append(Asm().get("b").i32(1).get("a").str("swapDepths").op(kCallMethod).op(kPop))
                .append(TraceCall("a", "getDepth", {}))
                .append(TraceCall("b", "getDepth", {}))
                .append(TraceCall("_root", "getInstanceAtDepth", { Asm().num(9) })),
            with({ "9", "5", "_level0.a" }) },
        { "a clip made at a taken depth replaces the one there",
            Asm(twoClips)
                .append(TraceCall("_root", "createEmptyMovieClip", { Asm().str("c"), Asm().num(5) }))
                .append(Asm().get("a").trace()),
            with({ "_level0.c", "undefined" }) },
        { "a text field made at a clip's depth takes the clip off, its queued events with it",
            Asm(twoClips)
                .append(TraceCall("_root", "createTextField",
                    { Asm().str("t"), Asm().num(5), Asm().num(0), Asm().num(0), Asm().num(10), Asm().num(10) }))
                .append(Asm().get("a").trace())
                .append(Asm().get("t").trace()),
            with({ "_level0.t", "undefined", "_level0.t" }) },
        { "a depth that is no number makes nothing",
            Asm().append(TraceCall("_root", "createEmptyMovieClip", { Asm().str("d"), Asm().str("x") })),
            { "undefined" } },
        { "the timeline's clips are not removed by scripts",
            Asm().append(TraceCall("clip", "removeMovieClip", {})).append(Asm().get("clip").trace()),
            { "undefined", "_level0.clip" } },
        { "a duplicate copies the transform",
            Asm()
                .append(TraceCall("clip", "duplicateMovieClip", { Asm().str("copy"), Asm().num(3) }))
                .append(Asm().get("copy").str("_x").op(0x4E).trace()),
            { "_level0.copy", "30" } },
    };
    for (const Case& c : cases) {
        ClipMovie movie(c.script);
        EXPECT_EQ(movie.lines, c.heard) << c.name;
    }
}

} // namespace clips

namespace clips {

TEST(Avm1Clips, DrawingSwitchesOfClipsReachTheirDisplayObjects)
{
    auto set = [](const std::string& name, Asm value) {
        return Asm().get("clip").str(name).append(value).op(kSetMember);
    };
    auto show = [](const std::string& name) { return Asm().get("clip").str(name).op(0x4E).trace(); };
    const Asm rect = Asm().str("x").num(10).str("y").num(5).str("width").num(20).str("height").num(15).i32(4).op(0x43);
    const Asm script = Asm()
                           .append(show("blendMode"))
                           .append(set("blendMode", Asm().str("screen")))
                           .append(show("blendMode"))
                           .append(set("blendMode", Asm().str("bogus")))
                           .append(show("blendMode"))
                           .append(set("blendMode", Asm().num(3)))
                           .append(show("blendMode"))
                           .append(show("cacheAsBitmap"))
                           .append(set("cacheAsBitmap", Asm().num(1)))
                           .append(show("cacheAsBitmap"))
                           .append(show("opaqueBackground"))
                           .append(set("opaqueBackground", Asm().num(0x1FF0000)))
                           .append(show("opaqueBackground"))
                           .append(show("scrollRect"))
                           .append(set("scrollRect", rect))
                           .append(Asm().get("clip").str("scrollRect").op(0x4E).str("width").op(0x4E).trace());
    ClipMovie movie(script);
    EXPECT_EQ(movie.lines,
        (std::vector<std::string> { "normal", "screen", "screen", "multiply", "false", "true", "undefined",
            "16711680", "undefined", "20" }));
    // What the renderer reads: the mode's number, the switch, the colour and the rectangle in twips.
    const auto& object = movie.player.root().displayList.begin()->second;
    EXPECT_EQ(object.blendMode, reelfinch::plugin::kBlendMultiply);
    EXPECT_TRUE(object.cacheAsBitmap);
    EXPECT_EQ(object.opaqueBackground, std::optional<uint32_t>(0xFF0000));
    ASSERT_TRUE(object.scrollRect);
    EXPECT_EQ(*object.scrollRect, (std::array<double, 4> { 200, 100, 400, 300 }));
}

} // namespace clips

namespace {

// A copy of a field a script made is a new field placed where the original is: its transform comes with it, what
// scripts set on the instance does not (its type excepted), and its box is empty.
TEST(Avm1Clips, CopiedTextFieldsStartAgainFromTheirCharacter)
{
    Script s;
    const Value root(s.m.rootClip());
    const Value t
        = s.call(root, "createTextField", { s.str("t"), Value(1.0), Value(5.0), Value(6.0), Value(30.0), Value(20.0) });
    s.m.setMember(t, "type", s.str("input"));
    s.m.setMember(t, "text", s.str("x"));
    s.m.setMember(t, "border", Value(true));
    s.m.setMember(t, "_visible", Value(false));
    s.m.setMember(t, "_xscale", Value(200.0));
    ASSERT_TRUE(s.player.duplicateObject(
        s.player.root(), plugin::kScriptDepthOffset + 1, "u", plugin::kScriptDepthOffset + 2));
    const Value u = s.m.getMember(root, "u");
    std::string seen;
    for (const char* property : { "_x", "_y", "_xscale", "_width", "_height", "type", "text", "border", "_visible" })
        seen += s.get(u, property) + ",";
    EXPECT_EQ(seen, "5,6,200,0,0,input,,false,true,");
    EXPECT_EQ(s.get(t, "text"), "x");
}

} // namespace
