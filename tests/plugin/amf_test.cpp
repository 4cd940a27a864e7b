// AMF0 as stored objects and remote calls write it: typed objects by registered class name, strict and
// associative arrays, what is left out of an object; reading back, damaged input; a remote call's packet and
// its answer reaching the responder.
#include "avm1/Loading.h"
#include "avm1/Machine.h"
#include "avm1/builtins/Amf0.h"
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
    }
    plugin::MoviePlayer player;
    avm1::Machine m;

    Value global(const char* name) { return m.getMember(Value(m.m_Global), name); }
    Value str(const std::string& s) { return Value(m.str(s)); }
    Value call(const Value& object, const char* method, std::vector<Value> args = {})
    {
        return m.callMethod(object, method, args.data(), int(args.size()));
    }
    // A constructor function that sets nothing, registered under each of `names` in turn.
    Value registered(std::initializer_list<const char*> names)
    {
        const Value ctor(static_cast<avm1::Object*>(m.newNative(avm1::Nothing)));
        m.setMember(ctor, "prototype", Value(m.newObject()));
        for (const char* name : names)
            call(global("Object"), "registerClass", { str(name), ctor });
        return ctor;
    }
    Value instance(const Value& ctor) { return m.construct(ctor, nullptr, 0); }
    std::string write(const Value& v, avm1::amf0::ArrayForm form)
    {
        avm1::amf0::Writer w(m, form);
        w.value(v);
        return w.take();
    }
};

std::string Utf(const char* s)
{
    const size_t n = std::char_traits<char>::length(s);
    return std::string { char(n >> 8), char(n & 0xFF) } + s;
}

std::string Str(const char* s)
{
    return "\x02" + Utf(s);
}

const std::string kEnd("\0\0\x09", 3);
const std::string kUndefined("\x06", 1);

TEST(Amf0, TypedObjectsTakeTheNameRegisteredLastForTheirConstructor)
{
    Script s;
    const Value once = s.registered({ "a.One" });
    const Value twice = s.registered({ "First", "Second" });
    const Value robbed = s.registered({ "Shared" });
    s.registered({ "Shared" }); // the name moves to another constructor
    const Value late = s.instance(s.registered({ "Early" }));
    s.call(s.global("Object"), "registerClass", { s.str("Later"), s.m.getMember(late, "__constructor__") });

    struct Case {
        Value object;
        std::string written;
    };
    const auto withFoo = [&](Value o) {
        s.m.setMember(o, "foo", s.str("x"));
        return o;
    };
    const std::string foo = Utf("foo") + Str("x") + kEnd;
    Value forged = withFoo(Value(s.m.newObject()));
    s.m.setMember(forged, "constructor", once); // an own constructor decides
    Value protoOnly = withFoo(Value(s.m.newObject()));
    s.m.setMember(protoOnly, "__proto__", s.m.getMember(once, "prototype")); // the prototype does not
    const Case cases[] = {
        { withFoo(s.instance(once)), "\x10" + Utf("a.One") + foo },
        { withFoo(s.instance(twice)), "\x10" + Utf("Second") + foo },
        { withFoo(s.instance(robbed)), "\x03" + foo },
        { withFoo(late), "\x10" + Utf("Later") + foo },
        { forged, "\x10" + Utf("a.One") + foo },
        { protoOnly, "\x03" + foo },
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(s.write(cases[i].object, avm1::amf0::ArrayForm::Associative), cases[i].written) << i;
}

TEST(Amf0, ArraysAreStrictOnlyInCallsAndOnlyWithNothingButElements)
{
    Script s;
    Value dense = Value(static_cast<avm1::Object*>(s.m.newArray()));
    s.call(dense, "push", { s.str("a"), s.str("b") });
    Value sparse = Value(static_cast<avm1::Object*>(s.m.newArray()));
    s.m.setMember(sparse, "0", s.str("a"));
    s.m.setMember(sparse, "3", s.str("d"));
    Value mixed = Value(static_cast<avm1::Object*>(s.m.newArray()));
    s.call(mixed, "push", { s.str("a") });
    s.m.setMember(mixed, "p", Value(true));
    // An element made by addProperty counts (read as undefined); a script's own __constructor__ does not.
    Value indexed = Value(static_cast<avm1::Object*>(s.m.newArray()));
    s.call(indexed, "push", { s.str("a") });
    s.call(indexed, "addProperty", { s.str("1"), Value(static_cast<avm1::Object*>(s.m.newNative(avm1::Nothing))), Value::null() });
    s.m.setMember(indexed, "__constructor__", s.global("Object"));
    Value fake = Value(s.m.newObject(static_cast<avm1::Object*>(s.m.m_ArrayProto)));
    s.m.setMember(fake, "0", s.str("a"));

    const std::string count2("\0\0\0\x02", 4), count4("\0\0\0\x04", 4), count1("\0\0\0\x01", 4);
    using avm1::amf0::ArrayForm;
    struct Case {
        Value array;
        ArrayForm form;
        std::string written;
    };
    const Case cases[] = {
        { dense, ArrayForm::StrictWhenDense, "\x0A" + count2 + Str("a") + Str("b") },
        { sparse, ArrayForm::StrictWhenDense, "\x0A" + count4 + Str("a") + kUndefined + kUndefined + Str("d") },
        { mixed, ArrayForm::StrictWhenDense, "\x08" + count1 + Utf("0") + Str("a") + Utf("p") + "\x01\x01" + kEnd },
        { indexed, ArrayForm::StrictWhenDense, "\x0A" + count2 + Str("a") + kUndefined },
        { fake, ArrayForm::StrictWhenDense, "\x03" + Utf("0") + Str("a") + kEnd },
        { dense, ArrayForm::Associative, "\x08" + count2 + Utf("0") + Str("a") + Utf("1") + Str("b") + kEnd },
        { sparse, ArrayForm::Associative, "\x08" + count4 + Utf("0") + Str("a") + Utf("3") + Str("d") + kEnd },
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(s.write(cases[i].array, cases[i].form), cases[i].written) << i;
}

// Getters are never run (their property is undefined), functions are left out, a hidden own property hides the
// prototype's, the prototype's enumerable ones follow the object's own, and a second visit is a reference.
TEST(Amf0, WhatAnObjectWrites)
{
    Script s;
    std::vector<std::string> traced;
    s.m.onTrace = [&](const std::string& line) { traced.push_back(line); };
    Value proto = Value(s.m.newObject());
    s.m.setMember(proto, "inherited", Value(1));
    s.m.setMember(proto, "hidden", Value(2));
    Value o = Value(s.m.newObject(proto.asObject()));
    s.m.setMember(o, "own", s.str("v"));
    s.m.define(o.asObject(), "hidden", Value(3)); // not enumerable: hides the prototype's
    const Value getter = Value(static_cast<avm1::Object*>(s.m.newNative([](avm1::Machine& m, const Value&, const Value*, int) {
        m.trace("getter ran");
        return Value(9);
    })));
    s.call(o, "addProperty", { s.str("got"), getter, Value::null() });
    s.m.setMember(o, "method", getter);
    s.m.setMember(o, "me", o);
    const std::string written = s.write(o, avm1::amf0::ArrayForm::Associative);
    EXPECT_EQ(written, "\x03" + Utf("own") + Str("v") + Utf("got") + kUndefined + Utf("me") + std::string("\x07\0\0", 3)
            + Utf("inherited") + std::string("\0\x3F\xF0\0\0\0\0\0\0", 9) + kEnd);
    EXPECT_TRUE(traced.empty());
}

// Dates and XML documents take reference numbers as objects do, so later references count them; a clip is
// written as undefined. Local connections write a repeated object in full and only a cycle as a reference.
TEST(Amf0, ReferenceNumbersAndRepeatedObjects)
{
    Script s;
    Value shared = Value(s.m.newObject());
    Value o = Value(s.m.newObject());
    const Value zero(0);
    s.m.setMember(o, "d", s.m.construct(s.global("Date"), &zero, 1));
    s.m.setMember(o, "a", shared);
    s.m.setMember(o, "b", shared);
    s.m.setMember(o, "mc", Value(s.m.rootClip()));
    const std::string date = std::string("\x0B", 1) + std::string(10, '\0');
    const std::string written = s.write(o, avm1::amf0::ArrayForm::StrictWhenDense);
    EXPECT_EQ(written, "\x03" + Utf("d") + date + Utf("a") + "\x03" + kEnd + Utf("b") + std::string("\x07\0\x02", 3)
            + Utf("mc") + kUndefined + kEnd);
    avm1::amf0::Reader r(s.m, written);
    const Value back = r.value();
    ASSERT_FALSE(r.failed());
    EXPECT_TRUE(s.m.strictEquals(s.m.getMember(back, "a"), s.m.getMember(back, "b")));

    s.m.setMember(o, "me", o);
    avm1::amf0::Writer copies(s.m, avm1::amf0::ArrayForm::StrictWhenDense, true);
    copies.value(o);
    EXPECT_EQ(copies.take(), "\x03" + Utf("d") + date + Utf("a") + "\x03" + kEnd + Utf("b") + "\x03" + kEnd
            + Utf("mc") + kUndefined + Utf("me") + std::string("\x07\0\0", 3) + kEnd);
}

TEST(Amf0, ReadingBackAndDamage)
{
    Script s;
    const Value ctor = s.registered({ "pt.Point" });
    Value p = s.instance(ctor);
    s.m.setMember(p, "x", Value(4));
    Value list = Value(static_cast<avm1::Object*>(s.m.newArray()));
    s.call(list, "push", { p, p, s.str(std::string(70000, 'y')) });
    const std::string bytes = s.write(list, avm1::amf0::ArrayForm::StrictWhenDense);

    avm1::amf0::Reader r(s.m, bytes);
    const Value back = r.value();
    ASSERT_FALSE(r.failed());
    EXPECT_TRUE(r.atEnd());
    const Value first = s.m.getMember(back, "0");
    EXPECT_TRUE(s.m.instanceOf(first.asObject(), ctor.asObject()));
    EXPECT_EQ(s.m.toNumber(s.m.getMember(first, "x")), 4);
    EXPECT_TRUE(s.m.strictEquals(s.m.getMember(back, "1"), first));
    EXPECT_EQ(s.m.toString(s.m.getMember(back, "2")).size(), 70000u);

    // Every cut of the data fails cleanly; so do a reference past the objects read and a count larger than the
    // data.
    for (size_t n = 0; n < bytes.size(); n += 7) {
        avm1::amf0::Reader cut(s.m, std::string_view(bytes).substr(0, n));
        cut.value();
        EXPECT_TRUE(cut.failed()) << n;
    }
    for (const std::string& bad : { std::string("\x07\0\x05", 3), std::string("\x0A\xFF\xFF\xFF\xFF\x06", 6),
             std::string("\x42", 1), std::string(200, '\x03') }) {
        avm1::amf0::Reader r2(s.m, bad);
        r2.value();
        EXPECT_TRUE(r2.failed());
    }
}

// The remote calls of one step go out together at the next timer step as one POSTed packet (each message the
// method, a response id and the arguments as a strict array); the answer's result reaches the responder's
// onResult, a failed request the connection's onStatus without an argument.
TEST(Amf0, NetConnectionCallsAndAnswers)
{
    Script s;
    struct Sent {
        uint32_t id;
        std::string url, type, body;
        bool post;
    };
    std::vector<Sent> sent;
    avm1::LoadHost host;
    host.request = [&](uint32_t id, const std::string& url, bool post, const std::string& type, const std::string& body) {
        sent.push_back({ id, url, type, body, post });
        return true;
    };
    avm1::SetLoadHost(s.m, std::move(host));
    std::vector<std::string> traced;
    s.m.onTrace = [&](const std::string& line) { traced.push_back(line); };
    const Value nc = s.m.construct(s.global("NetConnection"), nullptr, 0);
    EXPECT_FALSE(s.m.toBoolean(s.call(nc, "call", { s.str("early") }))); // not connected to anything
    s.call(nc, "connect", { s.str("http://h/gateway") });
    Value responder = Value(s.m.newObject());
    const Value show = Value(static_cast<avm1::Object*>(s.m.newNative([](avm1::Machine& m, const Value&, const Value* a, int n) {
        m.trace("result " + m.toString(n > 0 ? m.getMember(a[0], "code") : Value(m.str("(none)"))));
        return Value();
    })));
    s.m.setMember(responder, "onResult", show);
    s.m.setMember(nc, "onStatus", show);
    EXPECT_TRUE(s.m.toBoolean(s.call(nc, "call", { s.str("svc.echo"), responder, Value(1), s.str("two") })));
    EXPECT_TRUE(s.m.toBoolean(s.call(nc, "call", { s.str("svc.none"), Value::null() })));
    EXPECT_TRUE(sent.empty()); // nothing before the next step
    s.m.advanceTime(100);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].post);
    EXPECT_EQ(sent[0].url, "http://h/gateway");
    EXPECT_EQ(sent[0].type, "application/x-amf");
    const std::string args = "\x0A" + std::string("\0\0\0\x02\0\x3F\xF0\0\0\0\0\0\0", 13) + Str("two");
    const std::string none = std::string("\x0A\0\0\0\0", 5);
    EXPECT_EQ(sent[0].body, std::string("\0\0\0\0\0\x02", 6) + Utf("svc.echo") + Utf("/1") + std::string("\0\0\0", 3)
            + char(args.size()) + args + Utf("svc.none") + Utf("/2") + std::string("\0\0\0", 3) + char(none.size())
            + none);

    // The answer: one message to "/1/onResult" with an object { code: "ok" }.
    const std::string result = "\x03" + Utf("code") + Str("ok") + kEnd;
    const std::string answer = std::string("\0\0\0\0\0\x01", 6) + Utf("/1/onResult") + Utf("null")
        + std::string("\0\0\0", 3) + char(result.size()) + result;
    avm1::LoadReceived(s.m, sent[0].id, reinterpret_cast<const uint8_t*>(answer.data()), answer.size(), 0);
    avm1::LoadEnded(s.m, sent[0].id, true);
    avm1::DeliverLoads(s.m);
    s.call(nc, "call", { s.str("svc.fail") });
    s.m.advanceTime(200);
    ASSERT_EQ(sent.size(), 2u);
    avm1::LoadEnded(s.m, sent[1].id, false);
    avm1::DeliverLoads(s.m);
    EXPECT_EQ(traced, (std::vector<std::string> { "result ok", "result (none)" }));
}

// connect(null) succeeds at once; connecting again or closing reports the connection's end.
TEST(Amf0, NetConnectionStatusesOfConnectAndClose)
{
    Script s;
    std::vector<std::string> traced;
    s.m.onTrace = [&](const std::string& line) { traced.push_back(line); };
    const Value nc = s.m.construct(s.global("NetConnection"), nullptr, 0);
    s.m.setMember(nc, "onStatus", Value(static_cast<avm1::Object*>(s.m.newNative([](avm1::Machine& m, const Value&, const Value* a, int n) {
        m.trace(n > 0 ? m.toString(m.getMember(a[0], "code")) : "(none)");
        return Value();
    }))));
    struct Step {
        const char* method;
        Value arg;
        std::vector<std::string> heard;
    };
    const Step steps[] = {
        { "close", Value(), {} },
        { "connect", Value::null(), { "NetConnection.Connect.Success" } },
        { "connect", Value::null(), { "NetConnection.Connect.Closed", "NetConnection.Connect.Success" } },
        { "connect", s.str("http://h/a"), {} },
        { "connect", s.str("http://h/b"), { "NetConnection.Connect.Closed" } },
        { "close", Value(), { "NetConnection.Connect.Closed", "(none)" } },
        { "close", Value(), {} },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.method) + " " + s.m.toString(step.arg));
        traced.clear();
        s.call(nc, step.method, { step.arg });
        EXPECT_EQ(traced, step.heard);
    }
}

// A message to a connected name arrives two timer steps later as copies of the arguments taken when it was
// sent (a function as an object of its properties), after the sender heard "status"; a name nobody connected
// tells the sender "error".
TEST(Amf0, LocalConnectionCarriesCopiesOfItsArguments)
{
    Script s;
    std::vector<std::string> traced;
    s.m.onTrace = [&](const std::string& line) { traced.push_back(line); };
    const Value receiver = s.m.construct(s.global("LocalConnection"), nullptr, 0);
    const Value sender = s.m.construct(s.global("LocalConnection"), nullptr, 0);
    EXPECT_TRUE(s.m.toBoolean(s.call(receiver, "connect", { s.str("Chat") })));
    EXPECT_FALSE(s.m.toBoolean(s.call(sender, "connect", { s.str("chat") }))); // taken, in any case
    s.m.setMember(receiver, "said", Value(static_cast<avm1::Object*>(s.m.newNative([](avm1::Machine& m, const Value&, const Value* a, int n) {
        m.trace(m.toString(m.getMember(a[0], "text")) + " " + m.typeOf(n > 1 ? a[1] : Value()) + " " + std::to_string(n));
        return Value();
    }))));
    s.m.setMember(sender, "onStatus", Value(static_cast<avm1::Object*>(s.m.newNative([](avm1::Machine& m, const Value&, const Value* a, int) {
        m.trace(m.toString(m.getMember(a[0], "level")));
        return Value();
    }))));
    Value message = Value(s.m.newObject());
    s.m.setMember(message, "text", s.str("hi"));
    s.call(sender, "send", { s.str("CHAT"), s.str("said"), message, s.global("Object") });
    s.call(sender, "send", { s.str("nobody"), s.str("said"), message });
    s.m.setMember(message, "text", s.str("changed"));
    EXPECT_TRUE(traced.empty()); // nothing before the next step
    s.m.advanceTime(100);
    EXPECT_TRUE(traced.empty()); // nor at it: remote calls of the same step leave first
    s.m.advanceTime(200);
    EXPECT_EQ(traced, (std::vector<std::string> { "status", "hi object 2", "error" }));
}

} // namespace
