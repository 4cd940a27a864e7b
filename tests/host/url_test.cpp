// URL loading against a real HTTP server on 127.0.0.1, and the movie's data requests with their file fallbacks and
// notifications, on real files.
#include "NSFlashPlugin.h"
#include "TestPluginSupport.h"
#include "UrlLoader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <strings.h>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A small HTTP/1.0 server on a free port of 127.0.0.1, answering from a table of paths; "/silent" accepts the
// connection and never answers; "/echo" answers with the body it was sent. Runs in its own thread until
// destroyed.
class HttpServer {
public:
    struct Reply {
        int status;
        std::string body;
        std::string location; // for redirects
    };

    explicit HttpServer(std::map<std::string, Reply> replies)
        : m_replies(std::move(replies))
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof(address);
        if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
            || listen(m_listener, 8) != 0
            || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~HttpServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (int held : m_held)
            close(held);
        if (m_listener >= 0)
            close(m_listener);
    }

    int port() const { return m_port; }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::vector<std::string> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    // Each request as "METHOD path", its Content-Type and its body.
    struct Seen {
        std::string line;
        std::string contentType;
        std::string body;
    };
    std::vector<Seen> seen() const
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    void serve()
    {
        while (!m_stop) {
            pollfd waiting { m_listener, POLLIN, 0 };
            if (poll(&waiting, 1, 50) <= 0)
                continue;
            const int client = accept(m_listener, nullptr, nullptr);
            if (client >= 0)
                answer(client);
        }
    }

    void answer(int client)
    {
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd readable { client, POLLIN, 0 };
            if (poll(&readable, 1, 2000) <= 0)
                break;
            const ssize_t got = recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0)
                break;
            request.append(buffer, size_t(got));
        }
        const size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        const size_t headersEnd = request.find("\r\n\r\n");
        const std::string headers = request.substr(0, headersEnd);
        std::string body = headersEnd == std::string::npos ? std::string() : request.substr(headersEnd + 4);
        const size_t length = size_t(std::atol(header(headers, "content-length").c_str()));
        while (body.size() < length) {
            pollfd readable { client, POLLIN, 0 };
            if (poll(&readable, 1, 2000) <= 0)
                break;
            const ssize_t got = recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0)
                break;
            body.append(buffer, size_t(got));
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(path);
            m_seen.push_back({ request.substr(0, request.find(' ', start)), header(headers, "content-type"), body });
        }
        if (path == "/silent") {
            m_held.push_back(client); // never answered; closed when the server goes
            return;
        }
        const auto found = m_replies.find(path);
        const Reply reply = path == "/echo" ? Reply { 200, body, {} }
            : found != m_replies.end()      ? found->second
                                            : Reply { 404, "no such page", {} };
        std::string response = "HTTP/1.0 " + std::to_string(reply.status) + " Whatever\r\n";
        if (!reply.location.empty())
            response += "Location: " + reply.location + "\r\n";
        response += "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
        response += reply.body;
        send(client, response.data(), response.size(), MSG_NOSIGNAL);
        close(client);
    }

    // A header's value (names compared without case), or empty.
    static std::string header(const std::string& headers, const std::string& name)
    {
        size_t line = headers.find("\r\n");
        while (line != std::string::npos) {
            const size_t next = headers.find("\r\n", line + 2);
            const std::string text = headers.substr(line + 2, next == std::string::npos ? std::string::npos : next - line - 2);
            const size_t colon = text.find(':');
            if (colon != std::string::npos && strcasecmp(text.substr(0, colon).c_str(), name.c_str()) == 0) {
                const size_t value = text.find_first_not_of(' ', colon + 1);
                return value == std::string::npos ? std::string() : text.substr(value);
            }
            line = next;
        }
        return {};
    }

    std::map<std::string, Reply> m_replies;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
    std::vector<int> m_held;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::vector<Seen> m_seen;
};

void writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

TEST(UrlLoader, FetchesOverHttpAndFromFiles)
{
    HttpServer server({ { "/data.xml", { 200, "<data/>", {} } },
                        { "/moved", { 302, "", "/data.xml" } },
                        { "/empty", { 200, "", {} } } });
    ASSERT_GT(server.port(), 0);

    QByteArray contents;
    EXPECT_TRUE(UrlLoader::contentsOfURL(QString::fromStdString(server.url("/data.xml")), &contents));
    EXPECT_EQ(contents, "<data/>");
    EXPECT_TRUE(UrlLoader::contentsOfURL(QString::fromStdString(server.url("/moved")), &contents));
    EXPECT_EQ(contents, "<data/>");
    EXPECT_TRUE(UrlLoader::contentsOfURL(QString::fromStdString(server.url("/empty")), &contents));
    EXPECT_TRUE(contents.isEmpty());

    // An error page is no content.
    EXPECT_FALSE(UrlLoader::contentsOfURL(QString::fromStdString(server.url("/missing")), &contents));
    EXPECT_TRUE(contents.isEmpty());
    // A text without a scheme names nothing and never reaches the network.
    const size_t before = server.requests().size();
    EXPECT_FALSE(UrlLoader::contentsOfURL(QStringLiteral("data.xml"), &contents));
    EXPECT_FALSE(UrlLoader::contentsOfURL(QStringLiteral("127.0.0.1/data.xml"), &contents));
    EXPECT_EQ(server.requests().size(), before);
    EXPECT_FALSE(UrlLoader::contentsOfURL(QStringLiteral("gopher://127.0.0.1/"), &contents));

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    writeFile(folder.filePath(QStringLiteral("local.txt")), "local");
    EXPECT_TRUE(UrlLoader::contentsOfURL(QUrl::fromLocalFile(folder.filePath(QStringLiteral("local.txt"))).toString(),
                                         &contents));
    EXPECT_EQ(contents, "local");
}

TEST(UrlLoader, PostsBodiesOverHttp)
{
    HttpServer server({ { "/moved", { 302, "", "/echo" } } });
    ASSERT_GT(server.port(), 0);
    QByteArray contents;
    const QByteArray amf("\x00\x00\x00\x00\x00\x01" "a=b&c", 11); // binary bodies pass whole
    EXPECT_TRUE(UrlLoader::postToURL(QString::fromStdString(server.url("/echo")), amf, "application/x-amf", &contents));
    EXPECT_EQ(contents, amf);
    ASSERT_EQ(server.seen().size(), 1u);
    EXPECT_EQ(server.seen()[0].line, "POST /echo");
    EXPECT_EQ(server.seen()[0].contentType, "application/x-amf");
    EXPECT_EQ(server.seen()[0].body, amf.toStdString());

    struct Case {
        const char* path;
        QByteArray contentType;
        bool ok;
        const char* line; // what the server saw last; null: nothing reached it
    };
    const Case cases[] = {
        { "/missing", "text/plain", false, "POST /missing" }, // an error status is a failure
        { "/moved", "", true, "GET /echo" },                   // a redirect is followed as a GET
        { "/echo", "text/plain\r\nX-Injected: 1", false, nullptr }, // a type that would add a header
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.path);
        const size_t before = server.seen().size();
        EXPECT_EQ(UrlLoader::postToURL(QString::fromStdString(server.url(test.path)), "x=1", test.contentType,
                      &contents),
            test.ok);
        const std::vector<HttpServer::Seen> seen = server.seen();
        if (test.line) {
            ASSERT_GT(seen.size(), before);
            EXPECT_EQ(seen.back().line, test.line);
        } else {
            EXPECT_EQ(seen.size(), before);
        }
    }
    // Only the web's schemes: a file is never written to or read by a post.
    EXPECT_FALSE(UrlLoader::postToURL(QStringLiteral("file:///etc/hostname"), "x", {}, &contents));
    EXPECT_TRUE(contents.isEmpty());
}

TEST(UrlLoader, AServerThatNeverAnswersTimesOut)
{
    HttpServer server({});
    ASSERT_GT(server.port(), 0);
    QElapsedTimer clock;
    clock.start();
    QByteArray contents = "stale";
    EXPECT_FALSE(UrlLoader::contentsOfURL(QString::fromStdString(server.url("/silent")), &contents, 300));
    EXPECT_TRUE(contents.isEmpty());
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
}

class MovieRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state = testplugin::control();
        ASSERT_NE(state, nullptr);
        state->reset();
        ASSERT_TRUE(folder.isValid());
        plugin = std::make_unique<NSFlashPlugin>(testplugin::bundlePath());
        ASSERT_TRUE(plugin->load());
        ASSERT_TRUE(plugin->callNew());
        plugin->setGetURL(true);
        plugin->setURLTimeout(1000);
        plugin->setMoviePath(folder.filePath(QStringLiteral("a/b/movie.swf")));
        state->calls.clear();
    }

    std::vector<std::string> requestCalls() const
    {
        std::vector<std::string> calls;
        for (const std::string& call : state->calls) {
            if (call.rfind("NPP_NewStream", 0) == 0 || call.rfind("NPP_DestroyStream", 0) == 0
                || call.rfind("NPP_URLNotify", 0) == 0)
                calls.push_back(call);
        }
        return calls;
    }

    TestPluginControl* state = nullptr;
    QTemporaryDir folder;
    std::unique_ptr<NSFlashPlugin> plugin;
    int token = 0;
};

TEST_F(MovieRequestTest, DataFromAServerIsStreamedIntoTheMovie)
{
    HttpServer server({ { "/vars.txt", { 200, "a=1&b=2", {} } } });
    const std::string url = server.url("/vars.txt");
    EXPECT_EQ(plugin->getURLNotify(url.c_str(), nullptr, &token), NPERR_NO_ERROR);
    const std::vector<std::string> expected = {
        "NPP_NewStream application/x-shockwave-flash " + url + " end=7 stype=1",
        "NPP_DestroyStream reason=0",
        "NPP_URLNotify " + url + " reason=0",
    };
    EXPECT_EQ(requestCalls(), expected);
    ASSERT_EQ(state->streams.size(), 1u);
    EXPECT_EQ(state->streams[0].data, "a=1&b=2");
    EXPECT_EQ(state->streams[0].notifyData, &token);
    EXPECT_EQ(state->notifications.at(0).notifyData, &token);

    // Without a notify value there is no notification.
    EXPECT_EQ(plugin->getURLTarget(url.c_str(), nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(state->notifications.size(), 1u);
    EXPECT_EQ(state->streams.size(), 2u);
}

TEST_F(MovieRequestTest, PostedDataIsAnsweredIntoTheMovie)
{
    HttpServer server({});
    plugin->setPostURL(true);
    const std::string url = server.url("/echo");
    const char body[] = "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n\r\na=1&b=2";
    EXPECT_EQ(plugin->postURLNotify(url.c_str(), nullptr, uint32_t(sizeof body - 1), body, false, &token),
        NPERR_NO_ERROR);
    ASSERT_EQ(server.seen().size(), 1u);
    EXPECT_EQ(server.seen()[0].line, "POST /echo");
    EXPECT_EQ(server.seen()[0].contentType, "application/x-www-form-urlencoded");
    ASSERT_EQ(state->streams.size(), 1u);
    EXPECT_EQ(state->streams[0].data, "a=1&b=2");
    ASSERT_EQ(state->notifications.size(), 1u);
    EXPECT_EQ(state->notifications[0].reason, NPRES_DONE);
    EXPECT_EQ(state->notifications[0].notifyData, &token);
}

TEST_F(MovieRequestTest, FilesAreFoundByPathThenBesideTheMovie)
{
    writeFile(folder.filePath(QStringLiteral("a/b/data.xml")), "beside the movie");
    writeFile(folder.filePath(QStringLiteral("work/data.xml")), "in the working folder");
    writeFile(folder.filePath(QStringLiteral("a/b/caf\u00e9.txt")), "latin");
    const QString previous = QDir::currentPath();

    struct Case {
        const char* url;
        QString workingFolder;
        const char* expected; // null: nothing found
    };
    const QByteArray absolute = QFile::encodeName(folder.filePath(QStringLiteral("a/b/data.xml")));
    const Case cases[] = {
        { "data.xml", folder.path(), "beside the movie" },
        { "data.xml", folder.filePath(QStringLiteral("work")), "in the working folder" },
        { absolute.constData(), folder.path(), "beside the movie" },
        { "caf\xe9.txt", folder.path(), "latin" }, // the url's bytes are Windows Latin-1
        { "missing.xml", folder.path(), nullptr },
        { "/dev/zero", folder.path(), nullptr }, // not a regular file: never read
        { "a", folder.path(), nullptr },         // a folder
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.url);
        state->streams.clear();
        state->notifications.clear();
        ASSERT_TRUE(QDir::setCurrent(test.workingFolder));
        const NPError result = plugin->getURLNotify(test.url, nullptr, &token);
        ASSERT_EQ(state->notifications.size(), 1u);
        if (test.expected) {
            EXPECT_EQ(result, NPERR_NO_ERROR);
            ASSERT_EQ(state->streams.size(), 1u);
            EXPECT_EQ(state->streams[0].data, test.expected);
            EXPECT_EQ(state->notifications[0].reason, NPRES_DONE);
        } else {
            EXPECT_EQ(result, NPERR_INVALID_PARAM);
            EXPECT_TRUE(state->streams.empty());
            EXPECT_EQ(state->notifications[0].reason, NPRES_NETWORK_ERR);
        }
    }
    QDir::setCurrent(previous);
    // The stream is named by the url text, not by the file found.
    state->streams.clear();
    plugin->getURLTarget("data.xml", nullptr);
    ASSERT_EQ(state->streams.size(), 1u);
    EXPECT_EQ(state->streams[0].url, "data.xml");
}

TEST_F(MovieRequestTest, FailedFetchesFallBackOrFail)
{
    HttpServer server({});
    // An error page gives nothing, and so does a server that never answers, within the time-out.
    plugin->setURLTimeout(300);
    for (const char* path : { "/missing", "/silent" }) {
        SCOPED_TRACE(path);
        state->notifications.clear();
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(plugin->getURLNotify(server.url(path).c_str(), nullptr, &token), NPERR_INVALID_PARAM);
        EXPECT_LT(clock.elapsed(), 3000);
        ASSERT_EQ(state->notifications.size(), 1u);
        EXPECT_EQ(state->notifications[0].reason, NPRES_NETWORK_ERR);
    }
    EXPECT_TRUE(state->streams.empty());

    // Data that arrives but that the plug-in refuses still counts as a request served.
    HttpServer willing({ { "/x", { 200, "x", {} } } });
    state->newStreamResult = NPERR_GENERIC_ERROR;
    state->notifications.clear();
    EXPECT_EQ(plugin->getURLNotify(willing.url("/x").c_str(), nullptr, &token), NPERR_NO_ERROR);
    ASSERT_EQ(state->notifications.size(), 1u);
    EXPECT_EQ(state->notifications[0].reason, NPRES_DONE);
}

TEST_F(MovieRequestTest, RequestsMadeDuringADeliveryNestOnlySoDeep)
{
    writeFile(folder.filePath(QStringLiteral("a/b/again.txt")), "again");
    // A plug-in that asks for the data again each time a stream opens.
    state->during = [this](const std::string& call, NPP instance, void*) {
        if (call.rfind("NPP_NewStream", 0) == 0)
            state->browser->geturl(instance, "again.txt", nullptr);
    };
    EXPECT_EQ(plugin->getURLTarget("again.txt", nullptr), NPERR_NO_ERROR);
    state->during = nullptr;
    EXPECT_GT(state->streams.size(), 1u);
    EXPECT_LT(state->streams.size(), 64u);
    for (const TestPluginStream& stream : state->streams)
        EXPECT_TRUE(stream.destroyed);
}

} // namespace
