// Loading through the host's streams: a movie's LoadVars and XML requests travel from the engine (or the
// instance in the host's process) to the player's host, which answers from a file beside the movie or from an HTTP
// server on 127.0.0.1, and the scripts' handlers hear the result. Also where relative URLs lead, and the proxy's
// refusal of malformed requests from the engine.
#include "Avm1Assembler.h"
#include "MovieRunner.h"
#include "NSFlashPluginView.h"
#include "PluginTestSupport.h"
#include "TestApplication.h"
#include "ipc/Message.h"
#include "npapi/EngineProxy.h"
#include "npapi/RequestLoader.h"

#include "EventRecord.h"
#include "MovieFiles.h"
#include "MovieSockets.h"
#include "npextensions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace plugintest;
using namespace reelfinch;

namespace {

// An HTTP server on 127.0.0.1 that answers every GET with one body, and keeps the request lines it saw.
class TinyHttpServer
{
public:
    explicit TinyHttpServer(std::string body)
        : m_Body(std::move(body))
    {
        m_Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_Fd < 0 || bind(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_Fd, 4) != 0
            || getsockname(m_Fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_Port = ntohs(address.sin_port);
        m_Thread = std::thread([this] { serve(); });
    }
    ~TinyHttpServer()
    {
        m_Stop = true;
        if (m_Thread.joinable())
            m_Thread.join();
        if (m_Fd >= 0)
            close(m_Fd);
    }
    int port() const { return m_Port; }
    std::string requests() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Requests;
    }

private:
    void serve()
    {
        while (!m_Stop) {
            pollfd p { m_Fd, POLLIN, 0 };
            if (poll(&p, 1, 50) <= 0)
                continue;
            const int client = accept4(m_Fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                pollfd c { client, POLLIN, 0 };
                if (poll(&c, 1, 2000) <= 0)
                    break;
                const ssize_t n = read(client, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                request.append(buffer, size_t(n));
            }
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Requests += request.substr(0, request.find("\r\n")) + "\n";
            }
            const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
                + std::to_string(m_Body.size()) + "\r\nConnection: close\r\n\r\n" + m_Body;
            (void)!write(client, answer.data(), answer.size());
            close(client);
        }
    }

    std::string m_Body;
    int m_Fd = -1;
    int m_Port = 0;
    std::atomic<bool> m_Stop { false };
    std::thread m_Thread;
    mutable std::mutex m_Mutex;
    std::string m_Requests;
};

// var o = new CLASS(); o.onLoad = function (ok) { trace(ok); trace(REPORT); }; o.load(url);
std::vector<uint8_t> LoadingMovie(const std::string& className, const std::string& url, bool reportXml)
{
    Asm onLoad;
    onLoad.get("ok").trace();
    if (reportXml)
        onLoad.i32(0).str("this").op(0x1C).str("toString").op(0x52).trace();
    else
        onLoad.str("this").op(0x1C).str("a").op(0x4E).trace();
    Asm script;
    script.str("o").i32(0).str(className).op(0x40).op(0x1D);
    script.get("o").str("onLoad").function("", { "ok" }, onLoad).op(0x4F);
    script.str(url).i32(1).get("o").str("load").op(0x52).op(0x17).op(0x07);
    MovieBuilder movie(40, 40, 12.0f, 8);
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    movie.showFrame();
    return movie.finish();
}

// A server on 127.0.0.1 for one XMLSocket connection: it waits for "ping" and its zero byte, answers two
// messages (the second in two pieces) and closes.
class PingServer
{
public:
    PingServer()
    {
        m_Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_Fd < 0 || bind(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_Fd, 1) != 0
            || getsockname(m_Fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_Port = ntohs(address.sin_port);
        m_Thread = std::thread([this] { serve(); });
    }
    ~PingServer()
    {
        if (m_Thread.joinable())
            m_Thread.join();
        if (m_Fd >= 0)
            close(m_Fd);
    }
    int port() const { return m_Port; }
    std::string received() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Received;
    }

private:
    void serve()
    {
        pollfd p { m_Fd, POLLIN, 0 };
        if (poll(&p, 1, 5000) <= 0)
            return;
        const int client = accept4(m_Fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        std::string got;
        char buffer[256];
        while (got.find('\0') == std::string::npos) {
            pollfd c { client, POLLIN, 0 };
            if (poll(&c, 1, 5000) <= 0)
                break;
            const ssize_t n = read(client, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, size_t(n));
        }
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Received = got;
        }
        (void)!send(client, "pong\0tw", 7, MSG_NOSIGNAL); // the other side may have gone already

        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        (void)!send(client, "o\0", 2, MSG_NOSIGNAL);
        close(client);
    }

    int m_Fd = -1;
    int m_Port = 0;
    std::thread m_Thread;
    mutable std::mutex m_Mutex;
    std::string m_Received;
};

// s = new XMLSocket(); s.onConnect = function (ok) { trace(ok); s.send("ping"); };
// s.onData = function (d) { trace(d); }; s.onClose = function () { trace("closed"); };
// trace(s.connect("127.0.0.1", port));
std::vector<uint8_t> SocketMovie(int port)
{
    Asm onConnect;
    onConnect.get("ok").trace().str("ping").i32(1).get("s").str("send").op(0x52).op(0x17);
    Asm onData;
    onData.get("d").trace();
    Asm onClose;
    onClose.str("closed").trace();
    Asm script;
    script.str("s").i32(0).str("XMLSocket").op(0x40).op(0x1D);
    script.get("s").str("onConnect").function("", { "ok" }, onConnect).op(0x4F);
    script.get("s").str("onData").function("", { "d" }, onData).op(0x4F);
    script.get("s").str("onClose").function("", {}, onClose).op(0x4F);
    script.i32(port).str("127.0.0.1").i32(2).get("s").str("connect").op(0x52).trace().op(0x07);
    MovieBuilder movie(40, 40, 12.0f, 8);
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    movie.showFrame();
    return movie.finish();
}

class PluginHostLoading : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Application();
        ASSERT_TRUE(folder.isValid());
        NSFlashPluginView::setPluginPath(QStringLiteral(REELFINCH_PLUGIN_BUNDLE));
        window = std::make_unique<QWidget>();
        window->resize(40, 40);
        view = new NSFlashPluginView(window.get()); // owned by the window
        view->setGeometry(0, 0, 40, 40);
        view->setTraceHandler([this](const QString& line) { lines.push_back(line.toStdString()); });
        window->show();
        QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        window.reset();
        NSFlashPluginView::setPluginPath(QString());
    }

    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // Plays the movie from the temporary folder for a few steps; the traced lines.
    std::vector<std::string> play(const std::vector<uint8_t>& movie, bool localSecurity, uint32_t steps = 2)
    {
        view->setEnabledSecurity(localSecurity); // before the plug-in object is made
        view->setGetURL(true);
        view->setOriginalRect(0, 0, 40 * kTwips, 40 * kTwips);
        const QByteArray bytes(reinterpret_cast<const char*>(movie.data()), qsizetype(movie.size()));
        EXPECT_TRUE(view->loadMovie(bytes, folder.filePath(QStringLiteral("movie.swf"))));
        view->stopNullEvents();
        for (uint32_t step = 0; step <= steps; ++step) {
            EventRecord event {};
            event.what = nullEvent;
            event.when = step * 5;
            event.where = Point { -1, -1 };
            event.modifiers = btnState;
            view->sendEvent(&event);
        }
        return lines;
    }

    // Plays until `count` lines were traced or a few seconds went by, for answers that take real time.
    std::vector<std::string> playUntil(const std::vector<uint8_t>& movie, size_t count)
    {
        play(movie, false, 0);
        QElapsedTimer timer;
        timer.start();
        for (uint32_t step = 1; lines.size() < count && timer.elapsed() < 5000; ++step) {
            EventRecord event {};
            event.what = nullEvent;
            event.when = step * 5;
            event.where = Point { -1, -1 };
            event.modifiers = btnState;
            view->sendEvent(&event);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return lines;
    }

    QTemporaryDir folder;
    std::unique_ptr<QWidget> window;
    NSFlashPluginView* view = nullptr;
    std::vector<std::string> lines;
};

} // namespace

TEST(RequestURLs, RelativeURLsJoinTheMoviesFolder)
{
    struct Case {
        const char* movie;
        const char* url;
        const char* resolved;
    } cases[] = {
        { "file:///home/a/movie.swf", "vars.txt", "file:///home/a/vars.txt" },
        { "/home/a/movie.swf", "sub/data.xml", "/home/a/sub/data.xml" },
        { "http://example.org/x/m.swf?v=1", "d.txt", "http://example.org/x/d.txt" },
        { "movie.swf", "vars.txt", "vars.txt" }, // no folder named: the host looks beside the movie
        { "/home/a/movie.swf", "http://example.org/d", "http://example.org/d" },
        { "/home/a/movie.swf", "/etc/passwd", "/etc/passwd" }, // judged by local security, not rewritten
        { "/home/a/movie.swf", "", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(plugin::ResolveMovieURL(c.movie, c.url), c.resolved) << c.movie << " + " << c.url;
}

TEST_F(PluginHostLoading, LoadVarsReadsAFileBesideTheMovie)
{
    writeFile(QStringLiteral("vars.txt"), "a=hello+world%21&b=2");
    const auto out = play(LoadingMovie("LoadVars", "vars.txt", false), true);
    EXPECT_EQ(out, (std::vector<std::string> { "true", "hello world!" }));
}

TEST_F(PluginHostLoading, XmlLoadsAFileURL)
{
    writeFile(QStringLiteral("data.xml"), "<a><b>x</b></a>");
    const std::string url = "file://" + folder.filePath(QStringLiteral("data.xml")).toStdString();
    EXPECT_EQ(play(LoadingMovie("XML", url, true), true), (std::vector<std::string> { "true", "<a><b>x</b></a>" }));
}

TEST_F(PluginHostLoading, AMissingFileFailsTheLoad)
{
    EXPECT_EQ(play(LoadingMovie("LoadVars", "absent.txt", false), true),
        (std::vector<std::string> { "false", "undefined" }));
}

TEST_F(PluginHostLoading, LoadVarsFetchesFromAnHttpServer)
{
    TinyHttpServer server("a=from+the+server");
    ASSERT_GT(server.port(), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/vars.txt";
    EXPECT_EQ(play(LoadingMovie("LoadVars", url, false), false),
        (std::vector<std::string> { "true", "from the server" }));
    EXPECT_EQ(server.requests(), "GET /vars.txt HTTP/1.1\n");
}

TEST_F(PluginHostLoading, LocalSecurityRefusesTheNetworkToALocalMovie)
{
    TinyHttpServer server("a=1");
    ASSERT_GT(server.port(), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/vars.txt";
    EXPECT_EQ(play(LoadingMovie("LoadVars", url, false), true), (std::vector<std::string> { "false", "undefined" }));
    EXPECT_EQ(server.requests(), "");
}

// Movies loaded into clips and levels. The child's sprite 1 says whose timeline plays; the parent defines a sprite
// 1 of its own, so one dictionary shared by both movies would play the parent's.
std::vector<uint8_t> ChildMovie()
{
    MovieBuilder movie(20, 20, 12.0f, 6);
    SpriteBuilder sprite;
    sprite.actions(Asm().str("child sprite").trace().finished());
    sprite.showFrame();
    sprite.define(movie, 1);
    movie.place(1, 1, 0, 0);
    movie.raw(kTagDoAction, Asm().str("v").str("set by the child").op(0x1D).finished());
    movie.showFrame();
    return movie.finish();
}

// Asm for: function (c[, a]) { trace(PREFIX + a); }
Asm Reporter(const std::string& prefix, const std::string& argument)
{
    Asm body;
    body.str(prefix);
    if (!argument.empty())
        body.get(argument).op(0x47);
    return Asm().function("", { "c", "a" }, body.trace());
}

// l = new MovieClipLoader(); handlers for every event; createEmptyMovieClip("m", 1); trace(l.loadClip(URL, "m"))
std::vector<uint8_t> LoaderMovie(const std::string& url)
{
    MovieBuilder movie(40, 40, 12.0f, 8);
    SpriteBuilder own;
    own.actions(Asm().str("parent sprite").trace().finished());
    own.showFrame();
    own.define(movie, 1);
    Asm script;
    script.str("l").i32(0).str("MovieClipLoader").op(0x40).op(0x1D);
    auto handler = [&](const std::string& event, Asm function) {
        script.get("l").str(event).append(function).op(0x4F);
    };
    handler("onLoadStart", Reporter("start ", "c"));
    handler("onLoadProgress", Reporter("progress", ""));
    handler("onLoadComplete", Reporter("complete", ""));
    Asm init;
    init.str("init ").get("c").str("v").op(0x4E).op(0x47).trace();
    handler("onLoadInit", Asm().function("", { "c" }, init));
    handler("onLoadError", Reporter("error ", "a"));
    script.i32(1).str("m").i32(2).str("this").op(0x1C).str("createEmptyMovieClip").op(0x52).op(0x17);
    script.str("m").str(url).i32(2).get("l").str("loadClip").op(0x52).trace().op(0x07);
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    movie.showFrame();
    return movie.finish();
}

TEST_F(PluginHostLoading, MovieClipLoaderLoadsAChildMovieWithItsOwnCharacters)
{
    const std::vector<uint8_t> child = ChildMovie();
    writeFile(QStringLiteral("child.swf"), QByteArray(reinterpret_cast<const char*>(child.data()), qsizetype(child.size())));
    const std::vector<std::string> loaded { "true", "start _level0.m", "progress", "complete", "child sprite",
        "init set by the child" };
    EXPECT_EQ(play(LoaderMovie("child.swf"), true, 4), loaded);
    lines.clear();
    EXPECT_EQ(play(LoaderMovie("absent.swf"), true, 4), (std::vector<std::string> { "true", "error URLNotFound" }));
}

// A MovieClipLoader loading into m, whose onLoadInit traces the clip's size.
std::vector<uint8_t> ImageLoaderMovie(const std::string& url)
{
    MovieBuilder movie(40, 40, 12.0f, 8);
    Asm init;
    init.get("c").str("_width").op(0x4E).trace().get("c").str("_height").op(0x4E).trace();
    Asm script;
    script.str("l").i32(0).str("MovieClipLoader").op(0x40).op(0x1D);
    script.get("l").str("onLoadInit").function("", { "c" }, init).op(0x4F);
    script.i32(1).str("m").i32(2).str("this").op(0x1C).str("createEmptyMovieClip").op(0x52).op(0x17);
    script.str("m").str(url).i32(2).get("l").str("loadClip").op(0x52).op(0x17).op(0x07);
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    movie.showFrame();
    return movie.finish();
}

// Picture files loaded into a clip show at their own size; other bytes leave the clip empty.
TEST_F(PluginHostLoading, MovieClipLoaderLoadsPictures)
{
    struct Case {
        const char* file;
        const char* format; // null: the bytes are text
        int width;
        int height;
    } cases[] = { { "pic.png", "PNG", 3, 2 }, { "pic.jpg", "JPEG", 5, 4 }, { "pic.gif", nullptr, 0, 0 } };
    for (const Case& c : cases) {
        if (c.format) {
            QImage image(c.width, c.height, QImage::Format_ARGB32);
            image.fill(QColor(200, 40, 10));
            ASSERT_TRUE(image.save(folder.filePath(QString::fromUtf8(c.file)), c.format)) << c.file;
        } else {
            writeFile(QString::fromUtf8(c.file), "GIF8 but not a picture");
        }
        lines.clear();
        EXPECT_EQ(play(ImageLoaderMovie(c.file), true, 4),
            (std::vector<std::string> { std::to_string(c.width), std::to_string(c.height) }))
            << c.file;
    }
}

TEST_F(PluginHostLoading, MovieClipLoaderLoadsFromAnHttpServer)
{
    const std::vector<uint8_t> child = ChildMovie();
    TinyHttpServer server(std::string(child.begin(), child.end()));
    ASSERT_GT(server.port(), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/child.swf";
    EXPECT_EQ(play(LoaderMovie(url), false, 4), (std::vector<std::string> { "true", "start _level0.m", "progress",
                                                    "complete", "child sprite", "init set by the child" }));
    EXPECT_EQ(server.requests(), "GET /child.swf HTTP/1.1\n");
}

// Through the engine, the proxy and the host's sockets: the messages both ways, each ended by its zero byte
// whatever pieces it came in, then the server's close.
TEST_F(PluginHostLoading, XmlSocketTalksToAServer)
{
    PingServer server;
    ASSERT_GT(server.port(), 0);
    EXPECT_EQ(playUntil(SocketMovie(server.port()), 5),
        (std::vector<std::string> { "true", "true", "pong", "two", "closed" }));
    EXPECT_EQ(server.received(), std::string("ping\0", 5));
}

// A port below 1024 is refused at once; a port nobody listens on fails when the connection does.
TEST_F(PluginHostLoading, XmlSocketRefusals)
{
    EXPECT_EQ(playUntil(SocketMovie(80), 1), (std::vector<std::string> { "false" }));
    lines.clear();
    int closedPort = 0;
    {
        PingServer unused; // its port, free again once it is gone
        closedPort = unused.port();
        const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); // lets its thread end at once
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(closedPort));
        (void)!connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
        (void)!write(client, "", 1);
        close(client);
    }
    ASSERT_GT(closedPort, 0);
    EXPECT_EQ(playUntil(SocketMovie(closedPort), 2), (std::vector<std::string> { "true", "false" }));
}

// A named host is looked up off the caller's thread: open answers at once (still connecting), and the polls
// that follow connect to the server (its name's IPv6 address, where nobody listens, is passed over) and carry
// the exchange both ways.
TEST(TcpSockets, NamesAreLookedUpWithoutHoldingTheCaller)
{
    PingServer server;
    ASSERT_GT(server.port(), 0);
    TcpSockets sockets;
    const int32_t id = sockets.open(QStringLiteral("localhost"), server.port());
    ASSERT_GT(id, 0);
    EXPECT_TRUE(sockets.send(id, "ping", 5)); // queued while the name is looked up
    std::string received;
    int32_t state = NPReelfinchSocketConnecting;
    QElapsedTimer timer;
    timer.start();
    char buffer[64];
    while (state != NPReelfinchSocketClosed && state != NPReelfinchSocketFailed && timer.elapsed() < 5000) {
        received.append(buffer, sockets.poll(id, buffer, sizeof buffer, &state));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(state, NPReelfinchSocketClosed);
    EXPECT_EQ(received, std::string("pong\0two\0", 9));
    EXPECT_EQ(server.received(), std::string("ping\0", 5));
    sockets.close(id);
}

// The dialog's filters from the plug-in's list, and the form an upload sends (names that would break the
// form's quoting are escaped).
TEST(DesktopFiles, DialogFiltersAndUploadForm)
{
    const struct {
        const char* list;
        QStringList filters;
    } cases[] = {
        { "", {} },
        { "Text\t*.txt;*.md\n", { "Text (*.txt *.md)" } },
        { "Pictures\t(*.png) ; *.jpg\nNothing\t\nBare\n", { "Pictures (*.png *.jpg)" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopFiles::nameFilters(QString::fromUtf8(c.list)), c.filters) << c.list;
    const QByteArray body = DesktopFiles::multipartBody("XYZ", QStringLiteral("Filedata"),
        QStringLiteral("a\"b.txt"), QByteArray("data\0more", 9));
    EXPECT_TRUE(body.startsWith("--XYZ\r\n"));
    EXPECT_TRUE(body.endsWith("\r\n--XYZ--\r\n"));
    EXPECT_TRUE(body.contains("name=\"Filedata\"; filename=\"a%22b.txt\"\r\n"));
    EXPECT_TRUE(body.contains(QByteArray("\r\n\r\ndata\0more\r\n", 15)));
}

// loadMovieNum into level 1, then unloadMovie of a clip loaded into: the level's variables and path, and the clip
// emptied with the next frame (its child gone, its unload heard, no frame and no bytes left).
TEST_F(PluginHostLoading, LevelsAndUnloading)
{
    const std::vector<uint8_t> child = ChildMovie();
    writeFile(QStringLiteral("child.swf"), QByteArray(reinterpret_cast<const char*>(child.data()), qsizetype(child.size())));
    MovieBuilder movie(40, 40, 12.0f, 8);
    // Frame 1: loadMovieNum("child.swf", 1); m = createEmptyMovieClip("m", 1); m.loadMovie("child.swf")
    Asm first;
    first.str("child.swf").str("_level1").action(0x9A, { 0x40 });
    first.i32(1).str("m").i32(2).str("this").op(0x1C).str("createEmptyMovieClip").op(0x52).op(0x17);
    first.str("child.swf").i32(1).get("m").str("loadMovie").op(0x52).op(0x17);
    movie.raw(kTagDoAction, first.finished());
    movie.showFrame();
    movie.showFrame();
    movie.showFrame();
    // Frame 4: the level and the clip as loaded; then the clip unloaded.
    Asm fourth;
    fourth.get("_level1").trace().get("_level1.v").trace();
    // typeof m.getInstanceAtDepth(-16383): the child movie's sprite at its depth 1
    Asm childOfM;
    childOfM.i32(-16383).i32(1).get("m").str("getInstanceAtDepth").op(0x52).op(0x44).trace();
    fourth.append(childOfM);
    fourth.get("m").str("onUnload").append(Asm().function("", {}, Asm().str("unloaded").trace())).op(0x4F);
    fourth.i32(0).get("m").str("unloadMovie").op(0x52).op(0x17);
    fourth.append(childOfM).get("m._currentframe").trace();
    // The next frame: onEnterFrame = function () { trace(m._currentframe), m._totalframes, m.getBytesTotal(),
    // the child; delete onEnterFrame }
    Asm next;
    next.get("m._currentframe").trace().get("m._totalframes").trace();
    next.i32(0).get("m").str("getBytesTotal").op(0x52).trace();
    next.append(childOfM).get("this").str("onEnterFrame").op(0x3A).op(0x17);
    fourth.get("this").str("onEnterFrame").append(Asm().function("", {}, next)).op(0x4F);
    fourth.op(0x07);
    movie.raw(kTagDoAction, fourth.finished());
    movie.showFrame();
    const auto out = play(movie.finish(), true, 6);
    ASSERT_GE(out.size(), 10u);
    const std::vector<std::string> tail(out.end() - 10, out.end());
    EXPECT_EQ(tail, (std::vector<std::string> { "_level1", "set by the child", "movieclip", "movieclip", "1", "unloaded",
                        "0", "0", "0", "undefined" }));
}

// The engine's URL requests are untrusted: every malformed one ends the conversation (and so the engine), a
// well-formed one the host cannot serve is answered with an error.
TEST(EngineMessages, MalformedURLRequestsOfTheEngineAreRefused)
{
    NPP_t npp {};
    plugin::EngineProxy proxy(&npp, true);
    auto request = [](ipc::BrowserCallId id, const std::function<void(ipc::Writer&)>& args) {
        ipc::Writer w;
        w.u16(uint16_t(id));
        args(w);
        ipc::Message m;
        m.type = ipc::MessageType::BrowserCall;
        m.payload = w.data();
        return m;
    };
    const std::string huge(ipc::kMaxPostBytes + 1, 'x');
    struct Case {
        const char* name;
        ipc::Message message;
        bool served;
    } cases[] = {
        { "get", request(ipc::BrowserCallId::GetURLNotify, [](ipc::Writer& w) { w.string("http://x/a.txt").u8(0).string("").u32(7); }),
            true },
        { "post", request(ipc::BrowserCallId::PostURLNotify,
                      [](ipc::Writer& w) { w.string("http://x/a.txt").u8(0).string("").string("x=1").u32(8); }),
            true },
        { "request id zero",
            request(ipc::BrowserCallId::GetURLNotify, [](ipc::Writer& w) { w.string("http://x/a.txt").u8(0).string("").u32(0); }),
            false },
        { "no request id",
            request(ipc::BrowserCallId::GetURLNotify, [](ipc::Writer& w) { w.string("http://x/a.txt").u8(0).string(""); }), false },
        { "bytes left over",
            request(ipc::BrowserCallId::GetURLNotify,
                [](ipc::Writer& w) { w.string("http://x/a.txt").u8(0).string("").u32(9).u8(1); }),
            false },
        { "post body over the limit",
            request(ipc::BrowserCallId::PostURLNotify,
                [&huge](ipc::Writer& w) { w.string("http://x/a.txt").u8(0).string("").string(huge).u32(10); }),
            false },
        { "post body longer than the message",
            request(ipc::BrowserCallId::PostURLNotify,
                [](ipc::Writer& w) { w.string("http://x/a.txt").u8(0).string("").u32(100).raw("ab", 2); }),
            false },
        { "target without its flag",
            request(ipc::BrowserCallId::GetURLNotify,
                [](ipc::Writer& w) { w.string("http://x/a.txt").u8(0).string("_blank").u32(11); }),
            false },
        { "unknown call", request(ipc::BrowserCallId(22), [](ipc::Writer& w) { w.u32(1); }), false },
    };
    for (const Case& c : cases) {
        ipc::Writer reply;
        EXPECT_EQ(proxy.serveBrowserCall(c.message, reply), c.served) << c.name;
        if (c.served) {
            // Refused by local security before the host hears of it.
            ipc::Reader r(reply.data());
            EXPECT_NE(r.i32(), NPERR_NO_ERROR) << c.name;
        }
    }
}

// reelfinch-run answers only files of the movie's folder and below it (web URLs from the folder of their host).
TEST(RunRequests, OnlyFilesOfTheMoviesFolderAreAnswered)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString movies = root.filePath(QStringLiteral("movies"));
    ASSERT_TRUE(QDir().mkpath(movies + QStringLiteral("/sub")));
    for (const QString& name : { QStringLiteral("movies/a.txt"), QStringLiteral("movies/sub/b.txt"),
             QStringLiteral("secret.txt") }) {
        QFile file(root.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(root.filePath(QStringLiteral("secret.txt")), movies + QStringLiteral("/link.txt")));
    struct Case {
        QString url;
        bool answered;
    } cases[] = {
        { QStringLiteral("a.txt"), true },
        { QStringLiteral("sub/b.txt?x=1"), true },
        { QStringLiteral("file://") + movies + QStringLiteral("/a.txt"), true },
        { QStringLiteral("../secret.txt"), false },
        { QStringLiteral("sub/../../secret.txt"), false },
        { QStringLiteral("link.txt"), false }, // a link leading out of the folder
        { root.filePath(QStringLiteral("secret.txt")), false },
        { QStringLiteral("http://127.0.0.1/a.txt"), false }, // no folder of that host
        { QStringLiteral("http://sub:8000/b.txt?q"), true },  // the host's folder stands in for it
        { QStringLiteral("https://sub/../secret.txt"), false },
        { QStringLiteral("http://sub/%2e%2e/%2e%2e/secret.txt"), false },
        { QStringLiteral("ftp://sub/b.txt"), false },
        { QStringLiteral("sub"), false }, // a folder
        { QStringLiteral("missing.txt"), false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(!runner::RequestedFile(movies, c.url).isEmpty(), c.answered) << c.url.toStdString();
}

TEST(RunRequests, FetchLogsPrintPostedBodiesAsTextOrBytes)
{
    EXPECT_EQ(runner::LogRequest(QStringLiteral("v.txt"), {}, false, true, "application/x-www-form-urlencoded", "a=1&b=x+y"),
        (QStringList { "Navigator::fetch:", "  URL: v.txt", "  Method: POST",
            "  Mime-Type: application/x-www-form-urlencoded", "  Body: a=1&b=x+y" }));
    EXPECT_EQ(runner::LogRequest(QStringLiteral("http://h/"), {}, false, true, "application/x-amf", QByteArray("\x00\x0A\xFF", 3)),
        (QStringList { "Navigator::fetch:", "  URL: http://h/", "  Method: POST", "  Mime-Type: application/x-amf",
            "  Body: [00, 0A, FF]" }));
    EXPECT_EQ(runner::LogRequest(QStringLiteral("http://h/"), "_blank", true, true, {}, "a=x+y&b=%24"),
        (QStringList { "Navigator::navigate_to_url:", "  URL: http://h/", "  Target: _blank", "  Method: POST",
            "  Param: a=x y", "  Param: b=$" }));
}
