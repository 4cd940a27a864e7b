// The movie engine in its own process, through the real bundle and the player's host: it runs confined (seccomp
// filter, no new privileges, nothing refused allowed from inside), and when it is killed, crashes or hangs the
// host carries on, the view shows the stopped movie and the next movie plays. Also the message format's reader
// on frames that break it.
#include "Avm1Assembler.h"
#include "NSFlashPluginView.h"
#include "PluginTestSupport.h"
#include "TestApplication.h"
#include "ipc/Conversation.h"
#include "ipc/Message.h"
#include "ipc/Records.h"
#include "npapi/EngineProxy.h"

#include "EventRecord.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QWidget>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

using namespace plugintest;
using namespace reelfinch;

namespace {

constexpr int T = kTwips;
constexpr int kViewW = 120;
constexpr int kViewH = 40;
constexpr uint32_t kStoppedField = 0x303030u;

bool InProcess()
{
    const char* v = std::getenv("REELFINCH_IN_PROCESS");
    return v && std::string(v) == "1";
}

std::vector<uint8_t> RedSquare()
{
    MovieBuilder movie(kViewW, kViewH, 12.0f);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 40 * T, 40 * T, kRed);
    movie.place(1, 1, 0, 0);
    movie.showFrame();
    movie.move(1, 40 * T, 0);
    movie.showFrame();
    return movie.finish();
}

std::string ProcStatusField(pid_t pid, const std::string& field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0) {
            std::string value = line.substr(field.size() + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            return value;
        }
    return {};
}

bool ProcessGone(pid_t pid)
{
    // Reaped by the proxy: no such process any more (or, at worst, a zombie of someone else's).
    return kill(pid, 0) != 0 || ProcStatusField(pid, "State").rfind("Z", 0) == 0;
}

class EngineProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (InProcess())
            GTEST_SKIP() << "the engine runs in the host's process under REELFINCH_IN_PROCESS=1";
        setenv("REELFINCH_ENGINE_TEST_ENTRIES", "1", 1);
        Application();
        NSFlashPluginView::setPluginPath(QStringLiteral(REELFINCH_PLUGIN_BUNDLE));
        window = std::make_unique<QWidget>();
        window->resize(kViewW, kViewH);
        view = new NSFlashPluginView(window.get()); // owned by the window
        view->setGeometry(0, 0, kViewW, kViewH);
        QObject::connect(view, &NSFlashPluginView::movieStopped, [this] { ++stoppedSignals; });
        window->show();
        QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        window.reset();
        NSFlashPluginView::setPluginPath(QString());
        unsetenv("REELFINCH_ENGINE_TEST_ENTRIES");
    }

    bool load(const std::vector<uint8_t>& movie)
    {
        view->setOriginalRect(0, 0, kViewW * T, kViewH * T);
        const QByteArray bytes(reinterpret_cast<const char*>(movie.data()), qsizetype(movie.size()));
        const bool loaded = view->loadMovie(bytes, QStringLiteral("/tmp/reelfinch-engine-test.swf"));
        view->stopNullEvents();
        return loaded;
    }

    // A scripting call by name through the host's scriptable object; the result's text in `text`.
    bool invoke(const char* name, const std::vector<NPVariant>& args, NPVariant& result)
    {
        NPObject* object = view->plugin() ? view->plugin()->getScriptableObject() : nullptr;
        if (!object || !object->_class || !object->_class->invoke)
            return false;
        // The host's identifiers are counted strings whose length includes the NUL.
        NPString identifier { name, uint32_t(std::strlen(name) + 1) };
        VOID_TO_NPVARIANT(result);
        return object->_class->invoke(object, &identifier, args.data(), uint32_t(args.size()), &result);
    }

    pid_t enginePid()
    {
        NPVariant result;
        if (!invoke("ReelfinchTestEnginePid", {}, result) || !NPVARIANT_IS_INT32(result))
            return -1;
        return pid_t(NPVARIANT_TO_INT32(result));
    }

    std::string cells()
    {
        const QImage image = view->snapshot();
        std::string out;
        for (int x : { 20, 60, 100 }) {
            const uint32_t p = image.pixel(x, 20);
            out += Near(p, kRed) ? 'R' : Near(p, kWhite) ? '.' : '?';
        }
        return out;
    }

    void sendNull(uint32_t when)
    {
        EventRecord event {};
        event.what = nullEvent;
        event.when = when;
        event.where = Point { -1, -1 };
        event.modifiers = btnState;
        view->sendEvent(&event);
    }

    // After the engine ended: the host is fine, the view shows the stopped picture, and a next movie plays.
    void expectStoppedThenNextMoviePlays(pid_t pid)
    {
        EXPECT_TRUE(ProcessGone(pid));
        QCoreApplication::processEvents();
        EXPECT_EQ(stoppedSignals, 1) << "the host hears of the stop once";
        EXPECT_EQ(view->totalFrames(), 0);
        EXPECT_FALSE(view->plugin()->play());
        EXPECT_FALSE(view->isPlaying());
        sendNull(1000);
        const QImage stopped = view->snapshot();
        EXPECT_EQ(stopped.pixel(5, 5) & 0xFFFFFFu, kStoppedField);
        ASSERT_TRUE(load(RedSquare()));
        EXPECT_EQ(view->totalFrames(), 2);
        view->stopPlay();
        EXPECT_EQ(cells(), "R..");
        const pid_t next = enginePid();
        EXPECT_GT(next, 0);
        EXPECT_NE(next, pid);
    }

    std::unique_ptr<QWidget> window;
    NSFlashPluginView* view = nullptr;
    int stoppedSignals = 0;
};

} // namespace

TEST_F(EngineProcess, RunsConfinedInAChildProcess)
{
    EXPECT_STREQ(plugin::kEngineStoppedStatus, NSFlashPlugin::kMovieStoppedStatus);
    ASSERT_TRUE(load(RedSquare()));
    const pid_t pid = enginePid();
    ASSERT_GT(pid, 0);
    EXPECT_NE(pid, getpid());
    EXPECT_EQ(ProcStatusField(pid, "Seccomp"), "2");
    EXPECT_EQ(ProcStatusField(pid, "NoNewPrivs"), "1");
    EXPECT_EQ(ProcStatusField(pid, "PPid"), std::to_string(getpid()));
    // The movie plays and draws through it.
    view->stopPlay();
    EXPECT_EQ(cells(), "R..");
    EXPECT_TRUE(view->gotoFrame(1));
    EXPECT_EQ(cells(), ".R.");
}

// flash.external.ExternalInterface.addCallback("twice", null, function (x) { return x * 2; }): the host calls
// the function through the plug-in's scriptable object, across the engine's process, and gets its answer.
TEST_F(EngineProcess, TheHostCallsAMoviesExternalInterfaceCallback)
{
    Asm twice;
    twice.get("x").i32(2).op(0x0C).op(0x3E);
    Asm script;
    script.function("", { "x" }, twice).null().str("twice").i32(3);
    script.get("flash").str("external").op(0x4E).str("ExternalInterface").op(0x4E).str("addCallback").op(0x52).trace();
    MovieBuilder movie(kViewW, kViewH, 12.0f, 8);
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    ASSERT_TRUE(load(movie.finish()));
    sendNull(100);
    NPVariant arg;
    INT32_TO_NPVARIANT(21, arg);
    NPVariant result;
    ASSERT_TRUE(invoke("twice", { arg }, result));
    ASSERT_TRUE(NPVARIANT_IS_DOUBLE(result));
    EXPECT_EQ(NPVARIANT_TO_DOUBLE(result), 42.0);
    EXPECT_FALSE(invoke("thrice", { arg }, result)); // no such callback
}

TEST_F(EngineProcess, RefusesSocketsFilesAndProcessesFromInside)
{
    ASSERT_TRUE(load(RedSquare()));
    // A file this test can read, which the engine must not.
    const std::string file = "/tmp/reelfinch-engine-test-secret";
    std::ofstream(file) << "secret";
    NPVariant arg;
    STRINGZ_TO_NPVARIANT(file.c_str(), arg);
    NPVariant result;
    ASSERT_TRUE(invoke("ReelfinchTestProbe", { arg }, result));
    ASSERT_TRUE(NPVARIANT_IS_STRING(result));
    const std::string answer(result.value.stringValue.UTF8Characters, result.value.stringValue.UTF8Length);
    EXPECT_EQ(answer, "socket=refused unix=refused open=refused create=refused exec=refused fork=refused");
    std::remove(file.c_str());
    // The engine is still there and playing after being refused.
    EXPECT_EQ(view->totalFrames(), 2);
}

TEST_F(EngineProcess, AKilledEngineLeavesTheHostRunning)
{
    ASSERT_TRUE(load(RedSquare()));
    sendNull(100);
    const pid_t pid = enginePid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    // Give the kernel a moment to end it, then keep using the instance as the host would.
    for (int i = 0; i < 100 && ProcStatusField(pid, "State").rfind("Z", 0) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sendNull(110);
    expectStoppedThenNextMoviePlays(pid);
}

TEST_F(EngineProcess, ACrashingEngineLeavesTheHostRunning)
{
    ASSERT_TRUE(load(RedSquare()));
    const pid_t pid = enginePid();
    NPVariant result;
    EXPECT_FALSE(invoke("ReelfinchTestCrash", {}, result));
    expectStoppedThenNextMoviePlays(pid);
}

TEST_F(EngineProcess, AHangingEngineIsEndedAfterTheTimeOut)
{
    ASSERT_TRUE(load(RedSquare()));
    const pid_t pid = enginePid();
    const auto start = std::chrono::steady_clock::now();
    NPVariant result;
    EXPECT_FALSE(invoke("ReelfinchTestHang", {}, result));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::seconds(8));
    expectStoppedThenNextMoviePlays(pid);
}

// ---- The message format

namespace {

std::vector<uint8_t> Frame(uint32_t length, uint16_t type, uint8_t kind, uint8_t version, uint32_t depth,
    const std::vector<uint8_t>& payload)
{
    ipc::Writer w;
    w.u32(length).u16(type).u8(kind).u8(version).u32(depth);
    w.raw(payload.data(), payload.size());
    return w.data();
}

} // namespace

TEST(EngineMessages, FramesThatBreakTheFormatAreRefused)
{
    const uint16_t hello = uint16_t(ipc::MessageType::Hello);
    const uint16_t call = uint16_t(ipc::MessageType::BrowserCall);
    const std::vector<uint8_t> four { 1, 2, 3, 4 };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool ok;
    } cases[] = {
        { "whole frame", Frame(4, call, 0, ipc::kProtocolVersion, 0, four), true },
        { "empty payload", Frame(0, hello, 1, ipc::kProtocolVersion, 3, {}), true },
        { "other version", Frame(4, call, 0, ipc::kProtocolVersion + 1, 0, four), false },
        { "unknown type", Frame(4, 77, 0, ipc::kProtocolVersion, 0, four), false },
        { "unknown kind", Frame(4, call, 2, ipc::kProtocolVersion, 0, four), false },
        { "too deep", Frame(4, call, 0, ipc::kProtocolVersion, ipc::kMaxCallDepth + 1, four), false },
        { "cut short", Frame(8, call, 0, ipc::kProtocolVersion, 0, four), false },
        { "oversized", Frame(ipc::kMaxPayloadBytes + 1, call, 0, ipc::kProtocolVersion, 0, four), false },
        { "half a header", { 4, 0, 0, 0, 100 }, false },
    };
    for (const Case& c : cases) {
        std::vector<ipc::Message> out;
        EXPECT_EQ(ipc::SplitFrames(c.bytes.data(), c.bytes.size(), out), c.ok) << c.name;
    }
}

TEST(EngineMessages, ReaderStopsAtTheEndAndAtBadStrings)
{
    ipc::Writer w;
    w.string("movie.swf").u32(7);
    ipc::Reader good(w.data());
    std::string text;
    EXPECT_TRUE(good.string(text));
    EXPECT_EQ(text, "movie.swf");
    EXPECT_EQ(good.u32(), 7u);
    EXPECT_TRUE(good.done());
    EXPECT_EQ(good.u32(), 0u) << "past the end reads zero";
    EXPECT_FALSE(good.ok());

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } bad[] = {
        { "length beyond the payload", { 200, 0, 0, 0, 'a' } },
        { "NUL inside", { 3, 0, 0, 0, 'a', 0, 'b' } },
        { "length beyond the limit", { 0xFF, 0xFF, 0xFF, 0xFF } },
    };
    for (const auto& c : bad) {
        ipc::Reader r(c.bytes);
        EXPECT_FALSE(r.string(text)) << c.name;
        EXPECT_FALSE(r.ok()) << c.name;
    }
    // A window state claiming more clip rectangles than it carries.
    ipc::Writer window;
    ipc::WindowState state;
    state.clipRgn = { Rect { 0, 0, 10, 10 } };
    ipc::WriteWindow(window, state);
    window.data().resize(window.data().size() - 8);
    ipc::Reader r(window.data());
    EXPECT_FALSE(ipc::ReadWindow(r, state));
}

TEST(EngineMessages, ConversationServesNestedCallsAndRefusesStrayReplies)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    ipc::Channel hostEnd(pair[0]);
    ipc::Channel engineEnd(pair[1]);
    // The other side, by hand: answers the call after a nested request of its own.
    std::thread engine([&] {
        ipc::Message request;
        ASSERT_EQ(engineEnd.receive(request, 2000), ipc::ReceiveStatus::Ok);
        ipc::Message nested;
        nested.type = ipc::MessageType::BrowserCall;
        nested.depth = 1;
        engineEnd.send(nested);
        ipc::Message nestedReply;
        ASSERT_EQ(engineEnd.receive(nestedReply, 2000), ipc::ReceiveStatus::Ok);
        EXPECT_EQ(nestedReply.kind, ipc::MessageKind::Reply);
        EXPECT_EQ(nestedReply.depth, 1u);
        ipc::Message reply;
        reply.type = request.type;
        reply.kind = ipc::MessageKind::Reply;
        reply.payload = nestedReply.payload;
        engineEnd.send(reply);
        // Then a reply nobody asked for.
        engineEnd.send(reply);
    });
    ipc::Conversation conversation(hostEnd);
    conversation.setTimeout(2000);
    int served = 0;
    conversation.setServer([&](const ipc::Message&, ipc::Writer& reply) {
        ++served;
        reply.u32(42);
        return true;
    });
    ipc::Message reply;
    ASSERT_EQ(conversation.call(ipc::MessageType::Invoke, ipc::Writer(), reply), ipc::ReceiveStatus::Ok);
    EXPECT_EQ(served, 1);
    ipc::Reader r(reply.payload);
    EXPECT_EQ(r.u32(), 42u);
    EXPECT_EQ(conversation.serveOne(), ipc::ReceiveStatus::Malformed);
    EXPECT_TRUE(conversation.broken());
    engine.join();
    close(pair[0]);
    close(pair[1]);
}

TEST(EngineMessages, AFloodOfRequestsOrASlowDripBreaksTheCall)
{
    struct Case {
        const char* name;
        int requests;
        int pauseMs;
        ipc::ReceiveStatus expected;
    } cases[] = {
        { "within the limits", 5, 0, ipc::ReceiveStatus::Ok },
        { "more requests than one call serves", 9, 0, ipc::ReceiveStatus::Malformed },
        { "each frame in time, all of them too late", 4, 60, ipc::ReceiveStatus::TimedOut },
    };
    for (const Case& c : cases) {
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        ipc::Channel hostEnd(pair[0]);
        ipc::Channel engineEnd(pair[1]);
        std::thread engine([&] {
            ipc::Message request;
            if (engineEnd.receive(request, 2000) != ipc::ReceiveStatus::Ok)
                return;
            for (int i = 0; i < c.requests; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
                ipc::Message nested;
                nested.type = ipc::MessageType::BrowserCall;
                nested.depth = 1;
                ipc::Message answer;
                if (!engineEnd.send(nested) || engineEnd.receive(answer, 2000) != ipc::ReceiveStatus::Ok)
                    return;
            }
            ipc::Message reply;
            reply.type = request.type;
            reply.kind = ipc::MessageKind::Reply;
            engineEnd.send(reply);
        });
        ipc::Conversation conversation(hostEnd);
        conversation.setTimeout(200);
        conversation.setMaxRequestsPerCall(8);
        conversation.setServer([](const ipc::Message&, ipc::Writer&) { return true; });
        ipc::Message reply;
        EXPECT_EQ(conversation.call(ipc::MessageType::HandleEvent, ipc::Writer(), reply), c.expected) << c.name;
        shutdown(pair[0], SHUT_RDWR);
        engine.join();
        close(pair[0]);
        close(pair[1]);
    }
}

// A hosting page's scripting methods reach the movie's scripts through the proxy and the engine: variables by
// path, timelines by target, labels, frames called without going there, properties by number.
TEST_F(EngineProcess, HostScriptingReachesTheMoviesScripts)
{
    MovieBuilder movie(kViewW, kViewH, 12.0f, 6);
    movie.raw(kTagDoAction, Asm().op(0x07).str("v").str("start").op(0x1D).finished());
    movie.showFrame();
    movie.label("two");
    movie.raw(kTagDoAction, Asm().str("n").str("called").op(0x1D).finished());
    movie.showFrame();
    movie.showFrame();
    ASSERT_TRUE(load(movie.finish()));
    auto text = [](const char* s) {
        NPVariant v;
        STRINGZ_TO_NPVARIANT(s, v);
        return v;
    };
    auto number = [](int n) {
        NPVariant v;
        INT32_TO_NPVARIANT(n, v);
        return v;
    };
    // A call's answer as text: strings as they are, numbers as integers, "null", "void"; "failed" when refused.
    auto call = [&](const char* name, const std::vector<NPVariant>& args) -> std::string {
        NPVariant result;
        if (!invoke(name, args, result))
            return "failed";
        if (NPVARIANT_IS_STRING(result))
            return std::string(result.value.stringValue.UTF8Characters, result.value.stringValue.UTF8Length);
        if (NPVARIANT_IS_INT32(result))
            return std::to_string(NPVARIANT_TO_INT32(result));
        if (NPVARIANT_IS_DOUBLE(result))
            return std::to_string(int(NPVARIANT_TO_DOUBLE(result)));
        return NPVARIANT_IS_NULL(result) ? "null" : "void";
    };
    struct Step {
        const char* name;
        std::vector<NPVariant> args;
        const char* answer;
    } steps[] = {
        { "GetVariable", { text("v") }, "start" },
        { "GetVariable", { text("/:v") }, "start" },
        { "GetVariable", { text("n") }, "null" },
        { "SetVariable", { text("_root.w"), text("7") }, "void" },
        { "GetVariable", { text("w") }, "7" },
        { "TCallFrame", { text("/"), number(1) }, "void" },
        { "GetVariable", { text("n") }, "called" },
        { "TCurrentFrame", { text("/") }, "0" },
        { "TGotoLabel", { text("/"), text("two") }, "void" },
        { "TCurrentFrame", { text("/") }, "1" },
        { "TCurrentLabel", { text("/") }, "two" },
        { "TGotoFrame", { text("/"), number(2) }, "void" },
        { "TGetPropertyAsNumber", { text("/"), number(4) }, "3" },
        { "TGotoFrame", { text("/"), number(9) }, "failed" },
        { "TCurrentFrame", { text("/nothing") }, "failed" },
        { "TPlay", { text("/") }, "void" },
        { "PercentLoaded", {}, "100" },
    };
    for (const Step& step : steps)
        EXPECT_EQ(call(step.name, step.args), step.answer) << step.name;
    NPVariant playing;
    ASSERT_TRUE(invoke("IsPlaying", {}, playing));
    EXPECT_TRUE(NPVARIANT_IS_BOOLEAN(playing) && NPVARIANT_TO_BOOLEAN(playing));
}

TEST(EngineMessages, ASideThatStopsReadingCannotHoldTheSender)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    ipc::Channel sender(pair[0]);
    sender.setSendTimeout(100);
    ipc::Message big;
    big.type = ipc::MessageType::Write;
    big.payload.assign(ipc::kMaxPayloadBytes, 0x5A);
    const auto start = std::chrono::steady_clock::now();
    bool sent = true;
    // Nobody reads the other end: the socket's buffer fills and a send gives up.
    for (int i = 0; i < 16 && sent; ++i)
        sent = sender.send(big);
    EXPECT_FALSE(sent);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    close(pair[0]);
    close(pair[1]);
}
