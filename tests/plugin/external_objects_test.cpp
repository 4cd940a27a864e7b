// The classes that reach beyond the movie: ExternalInterface's encoding of values for its host (and back), and
// FileReference's dialogs in an engine that cannot show one to the user.
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"
#include "timeline/MoviePlayer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace reelfinch;
using avm1::Value;

namespace {

struct Script {
    explicit Script(int version = 8)
        : m(player, version)
    {
        m.onTrace = [this](const std::string& line) { traced.push_back(line); };
    }
    plugin::MoviePlayer player;
    avm1::Machine m;
    std::vector<std::string> traced;

    Value global(const char* name) { return m.getMember(Value(m.m_Global), name); }
    Value path(const char* dotted)
    {
        Value v(m.m_Global);
        std::string rest = dotted;
        for (size_t dot; (dot = rest.find('.')) != std::string::npos; rest = rest.substr(dot + 1))
            v = m.getMember(v, rest.substr(0, dot));
        return m.getMember(v, rest);
    }
    Value str(const std::string& s) { return Value(m.str(s)); }
    Value call(const Value& object, const char* method, std::vector<Value> args = {})
    {
        return m.callMethod(object, method, args.data(), int(args.size()));
    }
    Value native(avm1::NativeFunction f) { return Value(static_cast<avm1::Object*>(m.newNative(f))); }
};

// Values written as the host's XML and read back from the parsed XML come back as they were.
TEST(ExternalInterface, ValuesSurviveTheTripThroughXml)
{
    Script s;
    const Value ei = s.path("flash.external.ExternalInterface");
    ASSERT_TRUE(ei.isObject());
    EXPECT_FALSE(s.m.toBoolean(s.m.getMember(ei, "available"))); // no page hosts the standalone player
    EXPECT_TRUE(s.call(ei, "call", { s.str("f") }).isNull());

    Value nested(s.m.newObject());
    s.m.setMember(nested, "k", s.str("<x y='1'>"));
    Value array(static_cast<avm1::Object*>(s.m.newArray()));
    s.m.setMember(array, "0", Value(-2.5));
    s.m.setMember(array, "1", nested);
    s.m.setMember(array, "2", Value(true));
    s.m.setMember(array, "3", Value::null());
    struct Case {
        Value value;
        const char* xml;
        const char* back; // the value read back, as text (null: not read back; a text node prints escaped)
    };
    const Case cases[] = {
        { Value(), "<undefined/>", "undefined" },
        { Value(false), "<false/>", "false" },
        { Value(1e21), "<number>1e+21</number>", "1e+21" },
        { s.str("\"q\" & 'a'"), "<string>&quot;q&quot; &amp; &apos;a&apos;</string>", nullptr },
        { s.str("plain text"), "<string>plain text</string>", "plain text" },
        { array,
            "<array><property id=\"0\"><number>-2.5</number></property><property id=\"1\"><object><property "
            "id=\"k\"><string>&lt;x y=&apos;1&apos;&gt;</string></property></object></property><property "
            "id=\"2\"><true/></property><property id=\"3\"><null/></property></array>",
            "-2.5,[object Object],true,null" },
    };
    for (const Case& c : cases) {
        const std::string xml = s.m.toString(s.call(ei, "_toXML", { c.value }));
        EXPECT_EQ(xml, c.xml);
        if (!c.back)
            continue;
        const Value doc = s.m.construct(s.global("XML"), nullptr, 0);
        s.call(doc, "parseXML", { s.str(xml) });
        const Value back = s.call(ei, "_toAS", { s.m.getMember(doc, "firstChild") });
        EXPECT_EQ(s.m.toString(back), c.back) << c.xml;
    }
    // A value that refers to itself is cut off, never followed for ever.
    Value loop(s.m.newObject());
    s.m.setMember(loop, "self", loop);
    EXPECT_NE(s.m.toString(s.call(ei, "_toXML", { loop })).find("<null/>"), std::string::npos);
}

TEST(ExternalInterface, OnlyFromVersion8)
{
    Script s(7);
    EXPECT_TRUE(s.path("flash.external.ExternalInterface").isUndefined());
    EXPECT_TRUE(s.path("flash.net.FileReference").isUndefined());
}

// One dialog at a time; with nobody to choose a file, it ends as a cancel heard at the next step.
TEST(FileReference, DialogsCheckTheirArgumentsAndEndCancelled)
{
    Script s;
    const Value file = s.m.construct(s.path("flash.net.FileReference"), nullptr, 0);
    const Value list = s.m.construct(s.path("flash.net.FileReferenceList"), nullptr, 0);
    Value listener(s.m.newObject());
    s.m.setMember(listener, "onCancel", s.native([](avm1::Machine& m, const Value&, const Value* a, int n) {
        m.trace("cancel " + std::string(n > 0 ? m.typeOf(a[0]) : "none"));
        return Value();
    }));
    s.call(file, "addListener", { listener });
    s.call(list, "addListener", { listener });

    auto filter = [&](const char* description, const char* extension) {
        Value f(s.m.newObject());
        if (description)
            s.m.setMember(f, "description", s.str(description));
        if (extension)
            s.m.setMember(f, "extension", s.str(extension));
        Value a(static_cast<avm1::Object*>(s.m.newArray()));
        s.m.setMember(a, "0", f);
        return a;
    };
    EXPECT_FALSE(s.m.toBoolean(s.call(file, "browse", { filter("Text", nullptr) })));
    EXPECT_FALSE(s.m.toBoolean(s.call(file, "browse", { filter("", "*.txt") })));
    EXPECT_FALSE(s.m.toBoolean(s.call(file, "download", { s.str("nowhere") })));
    EXPECT_TRUE(s.m.toBoolean(s.call(file, "browse", { filter("Text", "*.txt") })));
    // The dialog is open: neither object may open another.
    EXPECT_FALSE(s.m.toBoolean(s.call(list, "browse", {})));
    EXPECT_FALSE(s.m.toBoolean(s.call(file, "download", { s.str("http://h/f.txt") })));
    EXPECT_FALSE(s.m.toBoolean(s.call(file, "upload", { s.str("http://h/up") })));
    EXPECT_TRUE(s.traced.empty());
    s.m.advanceTime(100);
    EXPECT_EQ(s.traced, (std::vector<std::string> { "cancel object" }));
    // Closed again: the next dialog opens.
    EXPECT_TRUE(s.m.toBoolean(s.call(list, "browse", {})));
    s.m.advanceTime(200);
    EXPECT_EQ(s.traced.size(), 2u);
}

} // namespace
