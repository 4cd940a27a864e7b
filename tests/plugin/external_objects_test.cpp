// The classes that reach beyond the movie: ExternalInterface's encoding of values for its host (and back),
// FileReference's dialogs in an engine that cannot show one to the user, and XMLSocket over the host's sockets.
#include "avm1/Loading.h"
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"
#include "timeline/MoviePlayer.h"

#include <gtest/gtest.h>

#include <map>
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

// The host's sockets as a test plays them: one connection at a time, refused at once on port 1.
struct FakeSockets {
    std::string host;
    int32_t port = -1;
    std::string sent; // what the movie sent
    std::string incoming; // handed over at the next poll
    avm1::SocketState state = avm1::SocketState::Connecting;
    int polls = 0;
    bool closed = false;

    void install(avm1::Machine& m)
    {
        avm1::LoadHost h;
        h.socketOpen = [this](const std::string& name, int32_t p) {
            host = name;
            port = p;
            closed = false;
            return p == 1 ? 0 : 7;
        };
        h.socketSend = [this](int32_t id, const std::string& bytes) {
            EXPECT_EQ(id, 7);
            sent += bytes;
            return true;
        };
        h.socketPoll = [this](int32_t, std::string& received) {
            ++polls;
            received += incoming;
            incoming.clear();
            return state;
        };
        h.socketClose = [this](int32_t) { closed = true; };
        avm1::SetLoadHost(m, std::move(h));
    }
};

Value TraceWith(avm1::Machine& m, const char* what, const Value* a, int n)
{
    m.trace(std::string(what) + (n > 0 ? " " + m.toString(a[0]) : std::string()));
    return Value();
}

// Messages end at their zero byte whichever way they travel; handlers hear them only between steps, in order:
// onConnect first, each whole message (parsed as XML by the default onData), the other side's close last. A
// script's own close, even inside a handler, ends delivery without onClose.
TEST(XmlSocket, MessagesAndTheConnectionsEndsReachTheHandlers)
{
    Script s;
    FakeSockets host;
    host.install(s.m);
    const Value socket = s.m.construct(s.global("XMLSocket"), nullptr, 0);
    s.m.setMember(socket, "onConnect", s.native([](avm1::Machine& m, const Value&, const Value* a, int n) {
        return TraceWith(m, "connect", a, n);
    }));
    s.m.setMember(socket, "onXML", s.native([](avm1::Machine& m, const Value&, const Value* a, int n) {
        return TraceWith(m, "xml", a, n);
    }));
    s.m.setMember(socket, "onClose", s.native([](avm1::Machine& m, const Value&, const Value* a, int n) {
        return TraceWith(m, "close", a, n);
    }));
    s.call(socket, "send", { s.str("early") }); // not connected: dropped
    s.player.movieUrl = "http://user@example.org:8080/movies/m.swf";
    EXPECT_TRUE(s.m.toBoolean(s.call(socket, "connect", { Value::null(), Value(2000.0) })));
    EXPECT_EQ(host.host, "example.org"); // no host named: the movie's own
    EXPECT_EQ(host.port, 2000);
    avm1::DeliverLoads(s.m); // still connecting
    EXPECT_TRUE(s.traced.empty());

    host.state = avm1::SocketState::Open;
    host.incoming = std::string("<a>1</a>\0<b", 11);
    avm1::DeliverLoads(s.m);
    s.call(socket, "send", { s.str("hi") });
    EXPECT_EQ(host.sent, std::string("hi\0", 3));
    host.incoming = std::string("/>\0partial", 10);
    host.state = avm1::SocketState::Closed;
    avm1::DeliverLoads(s.m);
    EXPECT_EQ(s.traced, (std::vector<std::string> { "connect true", "xml <a>1</a>", "xml <b />", "close" }));
    EXPECT_TRUE(host.closed);
    const int polls = host.polls;
    avm1::DeliverLoads(s.m); // forgotten once closed
    EXPECT_EQ(host.polls, polls);

    // Refused at once: connect answers false and no handler runs; a failure found later is onConnect(false).
    s.traced.clear();
    s.player.movieUrl = "/home/a/m.swf";
    EXPECT_FALSE(s.m.toBoolean(s.call(socket, "connect", { s.str("h"), Value(1.0) })));
    host.state = avm1::SocketState::Failed;
    EXPECT_TRUE(s.m.toBoolean(s.call(socket, "connect", { Value(), Value(3000.0) })));
    EXPECT_EQ(host.host, "localhost");
    avm1::DeliverLoads(s.m);
    EXPECT_EQ(s.traced, (std::vector<std::string> { "connect false" }));

    // Closed by a handler: the messages after that one are never heard.
    s.traced.clear();
    host.state = avm1::SocketState::Open;
    host.incoming = std::string("one\0two\0", 8);
    s.m.setMember(socket, "onData", s.native([](avm1::Machine& m, const Value& self, const Value* a, int n) {
        m.callMethod(self, "close", nullptr, 0);
        return TraceWith(m, "data", a, n);
    }));
    EXPECT_TRUE(s.m.toBoolean(s.call(socket, "connect", { s.str("h"), Value(3000.0) })));
    avm1::DeliverLoads(s.m);
    avm1::DeliverLoads(s.m);
    EXPECT_EQ(s.traced, (std::vector<std::string> { "connect true", "data one" }));
    EXPECT_TRUE(host.closed);
}

} // namespace

// The host's file dialogs and transfers as a test plays them: each operation hands out the events queued for
// its kind, in order, then ends.
struct FakeFiles {
    std::map<avm1::FileOperation, std::vector<avm1::FileEvent>> script;
    std::map<int32_t, std::vector<avm1::FileEvent>> queued;
    std::vector<std::string> started; // kind, url, text and file of each start
    std::vector<int32_t> closed;
    int32_t next = 0;

    void install(avm1::Machine& m)
    {
        avm1::LoadHost h;
        h.fileStart = [this](avm1::FileOperation kind, const std::string& url, const std::string& text, int32_t file) {
            started.push_back(std::to_string(int(kind)) + "|" + url + "|" + text + "|" + std::to_string(file));
            queued[++next] = script[kind];
            return next;
        };
        h.filePoll = [this](int32_t id) {
            auto& events = queued[id];
            if (events.empty())
                return avm1::FileEvent {};
            avm1::FileEvent event = events.front();
            events.erase(events.begin());
            return event;
        };
        h.fileClose = [this](int32_t id) { closed.push_back(id); };
        avm1::SetLoadHost(m, std::move(h));
    }
};

// What the host reports reaches the listeners between steps with the file's own properties: a browse's choice
// makes upload possible (here started from onSelect and heard in the same step); a download hears an error
// status as a failure to open its URL, an upload as onHTTPError; a failed transfer prints the player's line.
TEST(FileReference, HostEventsReachTheListenersInOrder)
{
    using Kind = avm1::FileEventKind;
    using Op = avm1::FileOperation;
    auto E = [](Kind kind, double a = 0, double b = 0, const char* name = "") {
        avm1::FileEvent event;
        event.kind = kind;
        event.a = a;
        event.b = b;
        event.name = name;
        return event;
    };
    struct Case {
        const char* name;
        std::vector<avm1::FileEvent> browse;
        std::vector<avm1::FileEvent> transfer; // of the download, or of the upload started in onSelect
        bool download;
        std::vector<std::string> heard;
    };
    const Case cases[] = {
        { "browse then upload", { E(Kind::Select, 13, 0, "a.txt") },
            { E(Kind::Open), E(Kind::Progress, 13, 13), E(Kind::Complete) }, false,
            { "onSelect a.txt .txt 13", "onOpen", "onProgress 13/13", "onComplete" } },
        { "upload status", { E(Kind::Select, 2, 0, "b") },
            { E(Kind::Open), E(Kind::Progress, 2, 2), E(Kind::HttpError, 500) }, false,
            { "onSelect b undefined 2", "onOpen", "onProgress 2/2", "onHTTPError 500" } },
        { "browse cancelled", { E(Kind::Cancel) }, {}, false, { "onCancel undefined" } },
        { "download status", {}, { E(Kind::Select, 0, 0, "d.bin"), E(Kind::Open), E(Kind::HttpError, 404),
            E(Kind::Progress, 5, 5) }, true,
            { "onSelect d.bin .bin 0", "onOpen", "Error opening URL 'http://h/d?x'", "onIOError",
                "onProgress 5/5" } },
        { "download unreachable", {}, { E(Kind::Select, 0, 0, "e.txt"), E(Kind::IoError) }, true,
            { "onSelect e.txt .txt 0", "Error opening URL 'http://h/d?x'", "onIOError" } },
    };
    for (const Case& c : cases) {
        Script s;
        FakeFiles files;
        files.script[Op::Browse] = c.browse;
        files.script[c.download ? Op::Download : Op::Upload] = c.transfer;
        files.install(s.m);
        const Value file = s.m.construct(s.path("flash.net.FileReference"), nullptr, 0);
        // Nothing chosen yet: nothing to upload.
        EXPECT_FALSE(s.m.toBoolean(s.call(file, "upload", { s.str("http://h/up") }))) << c.name;
        Value listener(s.m.newObject());
        s.m.setMember(listener, "onSelect", s.native([](avm1::Machine& m, const Value&, const Value* a, int) {
            const Value f = a[0];
            m.trace("onSelect " + m.toString(m.getMember(f, "name")) + " " + m.toString(m.getMember(f, "type")) + " "
                + m.toString(m.getMember(f, "size")));
            m.callMethod(f, "upload", std::vector<Value> { Value(m.str("http://h/up")) }.data(), 1);
            return Value();
        }));
        s.m.setMember(listener, "onOpen", s.native([](avm1::Machine& m, const Value&, const Value*, int) {
            m.trace("onOpen");
            return Value();
        }));
        s.m.setMember(listener, "onComplete", s.native([](avm1::Machine& m, const Value&, const Value*, int) {
            m.trace("onComplete");
            return Value();
        }));
        s.m.setMember(listener, "onIOError", s.native([](avm1::Machine& m, const Value&, const Value*, int) {
            m.trace("onIOError");
            return Value();
        }));
        s.m.setMember(listener, "onCancel", s.native([](avm1::Machine& m, const Value&, const Value* a, int) {
            m.trace("onCancel " + m.toString(m.getMember(a[0], "name")));
            return Value();
        }));
        s.m.setMember(listener, "onProgress", s.native([](avm1::Machine& m, const Value&, const Value* a, int n) {
            m.trace("onProgress " + (n > 2 ? m.toString(a[1]) + "/" + m.toString(a[2]) : std::string("?")));
            return Value();
        }));
        s.m.setMember(listener, "onHTTPError", s.native([](avm1::Machine& m, const Value&, const Value* a, int n) {
            m.trace("onHTTPError " + (n > 1 ? m.toString(a[1]) : std::string("?")));
            return Value();
        }));
        s.call(file, "addListener", { listener });
        const Value opened = c.download ? s.call(file, "download", { s.str("http://h/d?x"), s.str("d.bin") })
                                        : s.call(file, "browse", {});
        EXPECT_TRUE(s.m.toBoolean(opened)) << c.name;
        EXPECT_TRUE(s.traced.empty()) << c.name; // nothing is heard in the middle of the script
        avm1::DeliverLoads(s.m);
        EXPECT_EQ(s.traced, c.heard) << c.name;
        EXPECT_FALSE(avm1::FilesPending(s.m)) << c.name;
        // The dialog is closed again: another may open.
        EXPECT_TRUE(s.m.toBoolean(s.call(file, "download", { s.str("http://h/again") }))) << c.name;
    }
}

// The dialog gets the filters as the host takes them, and a download without a name suggests the URL's last part.
TEST(FileReference, DialogsTellTheHostWhatToShow)
{
    Script s;
    FakeFiles files;
    files.install(s.m);
    const Value file = s.m.construct(s.path("flash.net.FileReference"), nullptr, 0);
    Value f(s.m.newObject());
    s.m.setMember(f, "description", s.str("Pictures\t"));
    s.m.setMember(f, "extension", s.str("*.png;*.jpg"));
    Value a(static_cast<avm1::Object*>(s.m.newArray()));
    s.m.setMember(a, "0", f);
    EXPECT_TRUE(s.m.toBoolean(s.call(file, "browse", { a })));
    avm1::DeliverLoads(s.m); // the fake's operation ends without a choice
    EXPECT_TRUE(s.m.toBoolean(s.call(file, "download", { s.str("http://h/dir/name.zip?q=1") })));
    EXPECT_EQ(files.started,
        (std::vector<std::string> { "0||Pictures \t*.png;*.jpg\n|0", "1|http://h/dir/name.zip?q=1|name.zip|0" }));
}

// With a host that scripts the movie, callbacks run on their object with the host's arguments and answer it; a
// callback that throws gives the host nothing; call() reaches the host by name and answers null.
TEST(ExternalInterface, CallbacksAndCallsWithAScriptingHost)
{
    Script s;
    std::vector<std::string> called;
    avm1::LoadHost host;
    host.externalHost = true;
    host.externalCall = [&called](const std::string& name) { called.push_back(name); };
    avm1::SetLoadHost(s.m, std::move(host));
    const Value ei = s.path("flash.external.ExternalInterface");
    EXPECT_TRUE(s.m.toBoolean(s.m.getMember(ei, "available")));

    Value owner(s.m.newObject());
    s.m.setMember(owner, "base", Value(10.0));
    const Value add = s.native([](avm1::Machine& m, const Value& self, const Value* a, int n) {
        return Value(m.toNumber(m.getMember(self, "base")) + (n > 1 ? m.toNumber(a[0]) + m.toNumber(a[1]) : -1));
    });
    const Value fail = s.native([](avm1::Machine& m, const Value&, const Value*, int) {
        m.m_Unwind = avm1::Unwind::Throw;
        m.m_Thrown = Value(m.str("no"));
        return Value();
    });
    EXPECT_TRUE(s.m.toBoolean(s.call(ei, "addCallback", { s.str("add"), owner, add })));
    EXPECT_TRUE(s.m.toBoolean(s.call(ei, "addCallback", { s.str("fail"), Value::null(), fail })));
    EXPECT_FALSE(s.m.toBoolean(s.call(ei, "addCallback", { s.str("notAFunction"), owner, Value(1.0) })));
    EXPECT_TRUE(avm1::HasExternalCallback(s.m, "add"));
    EXPECT_FALSE(avm1::HasExternalCallback(s.m, "notAFunction"));

    Value result;
    ASSERT_TRUE(avm1::CallExternalCallback(s.m, "add", { Value(1.0), Value(2.0) }, result));
    EXPECT_EQ(s.m.toString(result), "13");
    ASSERT_TRUE(avm1::CallExternalCallback(s.m, "fail", {}, result));
    EXPECT_TRUE(result.isUndefined());
    EXPECT_FALSE(s.m.unwinding());
    EXPECT_FALSE(avm1::CallExternalCallback(s.m, "missing", {}, result));

    EXPECT_TRUE(s.call(ei, "call", { s.str("pageFunction"), Value(1.0) }).isNull());
    EXPECT_EQ(called, (std::vector<std::string> { "pageFunction" }));
}
