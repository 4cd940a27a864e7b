// The plug-in object against the recording test plug-in: loading and call order, the browser table, identifiers
// and object reference counting, stream delivery, targets and the request policy, scripting, redraw requests.
#include "NSFlashPlugin.h"
#include "QuickDraw.h"
#include "TestPluginSupport.h"
#include "npapi.h"

#include <QDesktopServices>
#include <QPaintEvent>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>

using testplugin::control;

namespace {

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state = control();
        ASSERT_NE(state, nullptr) << "test bundle missing: " << testplugin::bundlePath().toStdString();
        state->reset();
    }

    // A plug-in object loaded and started, with the record of those steps cleared.
    std::unique_ptr<NSFlashPlugin> startedPlugin()
    {
        auto plugin = std::make_unique<NSFlashPlugin>(testplugin::bundlePath());
        EXPECT_TRUE(plugin->load());
        EXPECT_TRUE(plugin->callNew());
        state->calls.clear();
        return plugin;
    }

    TestPluginControl* state = nullptr;
};

QByteArray movieBytes(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

TEST_F(PluginTest, CallsArriveInTheOrderOfAMovieLifetime)
{
    {
        NSFlashPlugin plugin(testplugin::bundlePath());
        ASSERT_TRUE(plugin.load());
        ASSERT_TRUE(plugin.load()); // already loaded: nothing more reaches the bundle
        ASSERT_TRUE(plugin.callNew());
        NP_Port port {};
        NPWindow window {};
        window.window = &port;
        window.width = 550;
        window.height = 400;
        window.type = NPWindowTypeWindow;
        EXPECT_TRUE(plugin.callSetWindow(&window));
        EXPECT_TRUE(plugin.loadMovieAtPath(movieBytes(100), QStringLiteral("/a/b/movie.swf")));
        EventRecord event {};
        event.what = nullEvent;
        EXPECT_TRUE(plugin.callHandleEvent(&event));
        EXPECT_TRUE(plugin.play());
        plugin.callDestroy();
        plugin.shutdown();
        EXPECT_FALSE(plugin.isLoaded());
    }
    const std::vector<std::string> expected = {
        "NP_Initialize",
        "NP_GetEntryPoints size=0 version=0",
        "Flash_EnforceLocalSecurity",
        "NPP_New application/x-shockwave-flash mode=1 argc=0",
        "NPP_SetWindow",
        "NPP_NewStream application/x-shockwave-flash movie.swf end=100 stype=1",
        "NPP_WriteReady",
        "NPP_Write 0 100",
        "NPP_DestroyStream reason=0",
        "NPP_HandleEvent what=0",
        "NPP_GetValue 15",
        "allocate",
        "invoke Play",
        "NPP_Destroy",
        "deallocate",
        "NP_Shutdown",
    };
    EXPECT_EQ(state->calls, expected);
    EXPECT_EQ(state->instancesAlive, 0);
    EXPECT_EQ(state->objectsAlive, 0);
}

TEST_F(PluginTest, SecurityChoiceIsMadeOncePerLoad)
{
    NSFlashPlugin plugin(testplugin::bundlePath());
    plugin.setEnabledSecurity(false);
    ASSERT_TRUE(plugin.load());
    plugin.setEnabledSecurity(true); // no effect until loaded again
    ASSERT_TRUE(plugin.load());
    EXPECT_EQ(state->callsStartingWith("Flash_"), std::vector<std::string> { "Flash_DisableLocalSecurity" });

    plugin.shutdown();
    ASSERT_TRUE(plugin.load());
    EXPECT_EQ(state->callsStartingWith("Flash_"),
              (std::vector<std::string> { "Flash_DisableLocalSecurity", "Flash_EnforceLocalSecurity" }));
}

TEST_F(PluginTest, LoadFailuresLeaveTheObjectUnloadedAndRetryable)
{
    // No bundle at all.
    NSFlashPlugin missing(testplugin::bundlePath("No Such Plugin"));
    EXPECT_FALSE(missing.load());

    // A bundle without NP_GetEntryPoints is refused before anything in it is called.
    TestPluginControl* broken = control("Broken Plugin");
    ASSERT_NE(broken, nullptr);
    broken->reset();
    NSFlashPlugin brokenPlugin(testplugin::bundlePath("Broken Plugin"));
    EXPECT_FALSE(brokenPlugin.load());
    EXPECT_FALSE(brokenPlugin.isLoaded());
    EXPECT_TRUE(broken->calls.empty());

    // A bundle without the security exports loads, and no security call is made.
    TestPluginControl* bare = control("Bare Plugin");
    ASSERT_NE(bare, nullptr);
    bare->reset();
    NSFlashPlugin barePlugin(testplugin::bundlePath("Bare Plugin"));
    EXPECT_TRUE(barePlugin.load());
    EXPECT_EQ(bare->calls, (std::vector<std::string> { "NP_Initialize", "NP_GetEntryPoints size=0 version=0" }));

    NSFlashPlugin plugin(testplugin::bundlePath());
    state->initializeResult = NPERR_GENERIC_ERROR;
    EXPECT_FALSE(plugin.load());
    state->initializeResult = NPERR_NO_ERROR;
    state->entryPointsResult = NPERR_GENERIC_ERROR;
    EXPECT_FALSE(plugin.load());
    EXPECT_FALSE(plugin.isLoaded());
    state->entryPointsResult = NPERR_NO_ERROR;
    EXPECT_TRUE(plugin.load());
    const std::vector<std::string> expected = {
        "NP_Initialize",
        "NP_Initialize", "NP_GetEntryPoints size=0 version=0", "NP_Shutdown",
        "NP_Initialize", "NP_GetEntryPoints size=0 version=0", "Flash_EnforceLocalSecurity",
    };
    EXPECT_EQ(state->calls, expected);
}

TEST_F(PluginTest, NothingReachesThePluginWithoutAStartedInstance)
{
    NSFlashPlugin plugin(testplugin::bundlePath());
    plugin.shutdown();
    plugin.unload();
    EXPECT_FALSE(plugin.callNew());
    ASSERT_TRUE(plugin.load());
    state->calls.clear();

    NPWindow window {};
    EventRecord event {};
    EXPECT_FALSE(plugin.callSetWindow(&window));
    EXPECT_FALSE(plugin.callHandleEvent(&event));
    plugin.callDestroy();
    EXPECT_FALSE(plugin.loadMovieAtPath(movieBytes(10), QStringLiteral("/m.swf")));
    EXPECT_FALSE(plugin.play());
    EXPECT_EQ(plugin.totalFrames(), 0);
    EXPECT_EQ(plugin.getScriptableObject(), nullptr);
    EXPECT_TRUE(state->calls.empty());

    state->newResult = NPERR_GENERIC_ERROR;
    EXPECT_FALSE(plugin.callNew());
    EXPECT_FALSE(plugin.isStarted());
    EXPECT_TRUE(plugin.isLoaded());
}

TEST_F(PluginTest, OneInstanceAtATime)
{
    {
        NSFlashPlugin plugin(testplugin::bundlePath());
        ASSERT_TRUE(plugin.load());
        ASSERT_TRUE(plugin.callNew());
        ASSERT_TRUE(plugin.callNew()); // the running instance goes first
        EXPECT_EQ(state->instancesAlive, 1);
        // Released while still started: the instance is destroyed before the plug-in shuts down.
    }
    EXPECT_EQ(state->instancesAlive, 0);
    const std::vector<std::string> tail(state->calls.end() - 2, state->calls.end());
    EXPECT_EQ(tail, (std::vector<std::string> { "NPP_Destroy", "NP_Shutdown" }));
}

TEST_F(PluginTest, BrowserTableHoldsTheHostFunctions)
{
    NSFlashPlugin plugin(testplugin::bundlePath());
    ASSERT_TRUE(plugin.load());
    ASSERT_TRUE(plugin.callNew());
    const NPNetscapeFuncs& seen = state->browserCopy;
    EXPECT_EQ(seen.size, sizeof(NPNetscapeFuncs));
    EXPECT_EQ(seen.version, 14);
    EXPECT_EQ(state->browser, &plugin.browserFunctions());
    EXPECT_EQ(state->instance->ndata, state->browser);
    EXPECT_EQ(state->instance, plugin.npp());

    EXPECT_EQ(seen.getJavaEnv, nullptr);
    EXPECT_EQ(seen.getJavaPeer, nullptr);
    EXPECT_EQ(seen.intfromidentifier, nullptr);
    const std::pair<const void*, const void*> entries[] = {
        { (void*)seen.geturl, (void*)NPN_GetURL },
        { (void*)seen.posturl, (void*)NPN_PostURL },
        { (void*)seen.requestread, (void*)NPN_RequestRead },
        { (void*)seen.newstream, (void*)NPN_NewStream },
        { (void*)seen.write, (void*)NPN_Write },
        { (void*)seen.destroystream, (void*)NPN_DestroyStream },
        { (void*)seen.status, (void*)NPN_Status },
        { (void*)seen.uagent, (void*)NPN_UserAgent },
        { (void*)seen.memalloc, (void*)NPN_MemAlloc },
        { (void*)seen.memfree, (void*)NPN_MemFree },
        { (void*)seen.memflush, (void*)NPN_MemFlush },
        { (void*)seen.reloadplugins, (void*)NPN_ReloadPlugins },
        { (void*)seen.geturlnotify, (void*)NPN_GetURLNotify },
        { (void*)seen.posturlnotify, (void*)NPN_PostURLNotify },
        { (void*)seen.getvalue, (void*)NPN_GetValue },
        { (void*)seen.setvalue, (void*)NPN_SetValue },
        { (void*)seen.invalidaterect, (void*)NPN_InvalidateRect },
        { (void*)seen.invalidateregion, (void*)NPN_InvalidateRegion },
        { (void*)seen.forceredraw, (void*)NPN_ForceRedraw },
        { (void*)seen.getstringidentifier, (void*)NPN_GetStringIdentifier },
        { (void*)seen.getstringidentifiers, (void*)NPN_GetStringIdentifiers },
        { (void*)seen.getintidentifier, (void*)NPN_GetIntIdentifier },
        { (void*)seen.identifierisstring, (void*)NPN_IdentifierIsString },
        { (void*)seen.utf8fromidentifier, (void*)NPN_UTF8FromIdentifier },
        { (void*)seen.createobject, (void*)NPN_CreateObject },
        { (void*)seen.retainobject, (void*)NPN_RetainObject },
        { (void*)seen.releaseobject, (void*)NPN_ReleaseObject },
        { (void*)seen.invoke, (void*)NPN_Invoke },
        { (void*)seen.invokeDefault, (void*)NPN_InvokeDefault },
        { (void*)seen.evaluate, (void*)NPN_Evaluate },
        { (void*)seen.getproperty, (void*)NPN_GetProperty },
        { (void*)seen.setproperty, (void*)NPN_SetProperty },
        { (void*)seen.removeproperty, (void*)NPN_RemoveProperty },
        { (void*)seen.hasproperty, (void*)NPN_HasProperty },
        { (void*)seen.hasmethod, (void*)NPN_HasMethod },
        { (void*)seen.releasevariantvalue, (void*)NPN_ReleaseVariantValue },
        { (void*)seen.setexception, (void*)NPN_SetException },
    };
    for (size_t i = 0; i < std::size(entries); ++i)
        EXPECT_EQ(entries[i].first, entries[i].second) << "entry " << i;

    // Through the table: the owner is found from the instance record, and a record without one reaches nothing.
    EXPECT_STREQ(seen.uagent(state->instance), NSFlashPlugin::kUserAgent);
    NPP_t orphan {};
    EXPECT_EQ(seen.uagent(&orphan), nullptr);
    plugin.setGetURL(true);
    state->calls.clear();
    EXPECT_EQ(seen.geturl(&orphan, "/no/such/file", nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(seen.geturl(nullptr, "/no/such/file", nullptr), NPERR_NO_ERROR);
    EXPECT_TRUE(state->calls.empty());
}

TEST(BrowserFunctions, IdentifiersAreTheMethodNameRecords)
{
    const std::pair<NSFlashPlugin::Method, const char*> names[] = {
        { NSFlashPlugin::MethodIsPlaying, "IsPlaying" },     { NSFlashPlugin::MethodPlay, "Play" },
        { NSFlashPlugin::MethodStopPlay, "StopPlay" },       { NSFlashPlugin::MethodTotalFrames, "TotalFrames" },
        { NSFlashPlugin::MethodCurrentFrame, "CurrentFrame" }, { NSFlashPlugin::MethodGotoFrame, "GotoFrame" },
        { NSFlashPlugin::MethodRewind, "Rewind" },           { NSFlashPlugin::MethodBack, "Back" },
        { NSFlashPlugin::MethodForward, "Forward" },         { NSFlashPlugin::MethodPan, "Pan" },
        { NSFlashPlugin::MethodZoom, "Zoom" },               { NSFlashPlugin::MethodSetZoomRect, "SetZoomRect" },
        { NSFlashPlugin::MethodTSetProperty, "TSetProperty" }, { NSFlashPlugin::MethodTGetProperty, "TGetProperty" },
    };
    for (const auto& [method, name] : names) {
        const auto* record = static_cast<const NPString*>(NSFlashPlugin::methodIdentifier(method));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->UTF8Length, std::strlen(name) + 1) << name;
        NPUTF8* copy = NPN_UTF8FromIdentifier(NSFlashPlugin::methodIdentifier(method));
        ASSERT_NE(copy, nullptr);
        EXPECT_STREQ(copy, name);
        EXPECT_NE(static_cast<const void*>(copy), static_cast<const void*>(record->UTF8Characters));
        NPN_MemFree(copy);
    }

    NPString empty { "Play", 0 };
    NPString noCharacters { nullptr, 5 };
    EXPECT_EQ(NPN_UTF8FromIdentifier(&empty), nullptr);
    EXPECT_EQ(NPN_UTF8FromIdentifier(&noCharacters), nullptr);
    EXPECT_EQ(NPN_UTF8FromIdentifier(nullptr), nullptr);
    // A stated length without its NUL is not read past.
    const char unterminated[3] = { 'a', 'b', 'c' };
    NPString shortRecord { unterminated, 2 };
    NPUTF8* copy = NPN_UTF8FromIdentifier(&shortRecord);
    EXPECT_STREQ(copy, "ab");
    NPN_MemFree(copy);

    // The host makes no identifiers of its own.
    EXPECT_EQ(NPN_GetStringIdentifier("Play"), nullptr);
    EXPECT_EQ(NPN_GetIntIdentifier(3), nullptr);
    EXPECT_FALSE(NPN_IdentifierIsString(NSFlashPlugin::methodIdentifier(NSFlashPlugin::MethodPlay)));
    const NPUTF8* requested[] = { "Play" };
    NPIdentifier out[1] = { reinterpret_cast<NPIdentifier>(0x1) };
    NPN_GetStringIdentifiers(requested, 1, out);
    EXPECT_EQ(out[0], reinterpret_cast<NPIdentifier>(0x1));
}

struct CountingObject : NPObject {
    static int allocated;
    static int deallocated;
};
int CountingObject::allocated = 0;
int CountingObject::deallocated = 0;

NPObject* allocateCounting(NPP, NPClass*)
{
    ++CountingObject::allocated;
    return new CountingObject;
}

void deallocateCounting(NPObject* object)
{
    ++CountingObject::deallocated;
    delete static_cast<CountingObject*>(object);
}

TEST(BrowserFunctions, ObjectsLiveUntilTheirLastRelease)
{
    NPClass counting {};
    counting.structVersion = NP_CLASS_STRUCT_VERSION;
    counting.allocate = allocateCounting;
    counting.deallocate = deallocateCounting;
    CountingObject::allocated = CountingObject::deallocated = 0;

    NPObject* object = NPN_CreateObject(nullptr, &counting);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(CountingObject::allocated, 1);
    EXPECT_EQ(object->_class, &counting);
    EXPECT_EQ(object->referenceCount, 1u);
    EXPECT_EQ(NPN_RetainObject(object), object);
    EXPECT_EQ(object->referenceCount, 2u);
    NPN_ReleaseObject(object);
    EXPECT_EQ(object->referenceCount, 1u);
    EXPECT_EQ(CountingObject::deallocated, 0);
    NPN_ReleaseObject(object);
    EXPECT_EQ(CountingObject::deallocated, 1);

    // A class without allocate and deallocate entries gets a bare record from the system allocator and back.
    NPClass bare {};
    NPObject* plain = NPN_CreateObject(nullptr, &bare);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->referenceCount, 1u);
    NPN_ReleaseObject(plain); // the sanitizers see a leak or a mismatched free here
}

void releaseOnceTooOften()
{
    NPObject released {};
    NPN_ReleaseObject(&released);
}

TEST(BrowserFunctionsDeathTest, ContractBreachesStopTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(NPN_CreateObject(nullptr, nullptr), "^npapi:[0-9]+: failed assertion `aClass'\n");
    EXPECT_DEATH(NPN_RetainObject(nullptr), "^npapi:[0-9]+: failed assertion `obj'\n");
    EXPECT_DEATH(releaseOnceTooOften(), "failed assertion `obj->referenceCount >= 1'");
}

TEST(BrowserFunctions, StubsAnswerFixedResults)
{
    EXPECT_EQ(NPN_RequestRead(nullptr, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(NPN_NewStream(nullptr, nullptr, nullptr, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(NPN_Write(nullptr, nullptr, 0, nullptr), 1);
    EXPECT_EQ(NPN_DestroyStream(nullptr, nullptr, NPRES_DONE), NPERR_NO_ERROR);
    int untouched = 7;
    EXPECT_EQ(NPN_GetValue(nullptr, NPNVWindowNPObject, &untouched), NPERR_GENERIC_ERROR);
    EXPECT_EQ(untouched, 7);
    EXPECT_EQ(NPN_SetValue(nullptr, NPPVpluginWindowBool, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_FALSE(NPN_Invoke(nullptr, nullptr, nullptr, nullptr, 0, nullptr));
    EXPECT_FALSE(NPN_HasMethod(nullptr, nullptr, nullptr));
    void* memory = NPN_MemAlloc(16);
    ASSERT_NE(memory, nullptr);
    NPN_MemFree(memory);
}

// ---- Stream delivery

struct ChunkCase {
    const char* name;
    int size;
    std::vector<int32_t> room; // answers of NPP_WriteReady; afterwards 1000
    std::vector<int32_t> take; // answers of NPP_Write; afterwards all offered
    std::vector<std::string> writes;
    bool delivered;
};

TEST_F(PluginTest, MovieIsPushedInChunksTheSizeOfTheRoomOffered)
{
    const ChunkCase cases[] = {
        { "room 1000", 2500, {}, {}, { "NPP_Write 0 1000", "NPP_Write 1000 1000", "NPP_Write 2000 500" }, true },
        { "takes 300 of 1000",
          2500,
          {},
          { 300 },
          { "NPP_Write 0 1000", "NPP_Write 300 1000", "NPP_Write 1300 1000", "NPP_Write 2300 200" },
          true },
        { "takes more than offered", 2500, {}, { 5000 },
          { "NPP_Write 0 1000", "NPP_Write 1000 1000", "NPP_Write 2000 500" }, true },
        { "room shrinks", 1500, { 1000, 200 }, {}, { "NPP_Write 0 1000", "NPP_Write 1000 200", "NPP_Write 1200 300" },
          true },
        { "empty movie", 0, {}, {}, {}, true },
        { "no room", 2500, { 1000, 0 }, {}, { "NPP_Write 0 1000" }, false },
        { "write error", 2500, {}, { 1000, -1 }, { "NPP_Write 0 1000", "NPP_Write 1000 1000" }, false },
    };
    for (const ChunkCase& test : cases) {
        SCOPED_TRACE(test.name);
        state->reset();
        auto plugin = startedPlugin();
        state->room = 1000;
        state->roomQueue = test.room;
        state->takeQueue = test.take;
        const QByteArray movie = movieBytes(test.size);
        EXPECT_EQ(plugin->loadMovieAtPath(movie, QStringLiteral("/a/b/movie.swf")), test.delivered);
        EXPECT_EQ(state->callsStartingWith("NPP_Write "), test.writes);
        ASSERT_EQ(state->streams.size(), 1u);
        const TestPluginStream& stream = state->streams[0];
        EXPECT_EQ(stream.url, "movie.swf");
        EXPECT_EQ(stream.end, uint32_t(test.size));
        EXPECT_EQ(stream.notifyData, nullptr);
        EXPECT_TRUE(stream.seekable);
        EXPECT_TRUE(stream.destroyed);
        EXPECT_EQ(stream.reason, test.delivered ? NPRES_DONE : NPRES_NETWORK_ERR);
        if (test.delivered) {
            EXPECT_EQ(QByteArray::fromStdString(stream.data), movie);
        }
        if (test.size == 0) {
            EXPECT_TRUE(state->callsStartingWith("NPP_WriteReady").empty());
        }
    }
}

TEST_F(PluginTest, DeliveryEndsWhenThePluginRefusesOrStalls)
{
    auto plugin = startedPlugin();
    state->newStreamResult = NPERR_GENERIC_ERROR;
    EXPECT_FALSE(plugin->loadMovieAtPath(movieBytes(10), QStringLiteral("/m.swf")));
    EXPECT_TRUE(state->callsStartingWith("NPP_DestroyStream").empty());
    EXPECT_TRUE(state->callsStartingWith("NPP_Write").empty());

    // Room offered again and again while nothing is taken: the delivery gives up instead of spinning for ever.
    state->reset();
    plugin = startedPlugin();
    state->room = 1000;
    state->takeQueue.assign(100000, 0);
    EXPECT_FALSE(plugin->loadMovieAtPath(movieBytes(2500), QStringLiteral("/m.swf")));
    const size_t rounds = state->callsStartingWith("NPP_Write ").size();
    EXPECT_GT(rounds, 1u);
    EXPECT_LT(rounds, 1000u);
    EXPECT_EQ(state->callsStartingWith("NPP_DestroyStream"),
              std::vector<std::string> { "NPP_DestroyStream reason=1" });

    // Progress, however slow, is not a stall.
    state->reset();
    plugin = startedPlugin();
    state->room = 1000;
    state->takeQueue.assign(200, 0);
    state->takeQueue.push_back(10);
    state->takeQueue.insert(state->takeQueue.end(), 60, 0);
    EXPECT_FALSE(plugin->loadMovieAtPath(movieBytes(2500), QStringLiteral("/m.swf")));
    state->reset();
    plugin = startedPlugin();
    state->room = 1000;
    for (int i = 0; i < 30; ++i) {
        state->takeQueue.insert(state->takeQueue.end(), 50, 0);
        state->takeQueue.push_back(100);
    }
    EXPECT_TRUE(plugin->loadMovieAtPath(movieBytes(2500), QStringLiteral("/m.swf")));
}

// ---- Targets and the request policy

TEST(RequestTargets, NamesMapToTheirCodesIgnoringCase)
{
    const std::pair<const char*, int> targets[] = {
        { nullptr, 6 }, { "_blank", 0 }, { "_BLANK", 0 }, { "_new", 1 }, { "_Top", 2 }, { "_self", 3 },
        { "_CURRENT", 4 }, { "_parent", 5 }, { "main", -1 }, { "", -1 }, { "_blankx", -1 }, { "_blan", -1 },
        { "\xC9_blank", -1 },
    };
    for (const auto& [target, code] : targets)
        EXPECT_EQ(NSFlashPlugin::targetFromCString(target), code) << (target ? target : "(null)");
}

class RequestTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        testplugin::ensureApplication();
        plugin = startedPlugin();
        plugin->setURLTimeout(1000);
    }
    std::unique_ptr<NSFlashPlugin> plugin;
    int token = 0;
    void* notify() { return &token; }
};

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

TEST_F(RequestTest, NothingIsFetchedWithoutPermission)
{
    plugin->setGetURL(false);
    EXPECT_EQ(plugin->getURLNotify("/etc/hostname", nullptr, notify()), NPERR_GENERIC_ERROR);
    EXPECT_EQ(plugin->getURLTarget("/etc/hostname", nullptr), NPERR_GENERIC_ERROR);
    EXPECT_TRUE(state->streams.empty());
    ASSERT_EQ(state->notifications.size(), 1u);
    EXPECT_EQ(state->notifications[0].url, "/etc/hostname");
    EXPECT_EQ(state->notifications[0].reason, NPRES_NETWORK_ERR);
    EXPECT_EQ(state->notifications[0].notifyData, notify());
}

TEST_F(RequestTest, PostsNeedPermissionAndReportFailures)
{
    // Without the switch nothing is posted and nothing is notified.
    plugin->setGetURL(false);
    plugin->setPostURL(false);
    EXPECT_FALSE(plugin->postURL());
    EXPECT_EQ(NPN_PostURL(plugin->npp(), "http://127.0.0.1:1/", nullptr, 3, "a=b", false), NPERR_GENERIC_ERROR);
    EXPECT_EQ(NPN_PostURLNotify(plugin->npp(), "http://127.0.0.1:1/", nullptr, 3, "a=b", false, notify()),
              NPERR_GENERIC_ERROR);
    EXPECT_TRUE(state->calls.empty());

    // With it, a post nobody answers (port 1) and a post into a window fail, and say so to the notify value.
    plugin->setGetURL(true);
    plugin->setPostURL(true);
    EXPECT_TRUE(plugin->postURL());
    EXPECT_EQ(NPN_PostURL(plugin->npp(), "http://127.0.0.1:1/", nullptr, 3, "a=b", false), NPERR_INVALID_PARAM);
    EXPECT_EQ(NPN_PostURLNotify(plugin->npp(), "http://127.0.0.1:1/", "_blank", 3, "a=b", false, notify()),
              NPERR_INVALID_PARAM);
    // A body the plug-in says is in a file is never read.
    EXPECT_EQ(NPN_PostURL(plugin->npp(), "http://127.0.0.1:1/", nullptr, 11, "/etc/passwd", true), NPERR_GENERIC_ERROR);
    EXPECT_TRUE(state->streams.empty());
    ASSERT_EQ(state->notifications.size(), 1u);
    EXPECT_EQ(state->notifications[0].reason, NPRES_NETWORK_ERR);
    EXPECT_EQ(state->notifications[0].notifyData, notify());
}

TEST_F(RequestTest, NamedWindowsOpenOutsideThePlayer)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("reelfinch-test"), &catcher, "open");
    plugin->setGetURL(true);

    EXPECT_EQ(NPN_GetURLNotify(plugin->npp(), "reelfinch-test://host/page", "_BLANK", notify()), NPERR_NO_ERROR);
    EXPECT_EQ(plugin->getURLTarget("reelfinch-test://host/other", "_parent"), NPERR_NO_ERROR);
    ASSERT_EQ(catcher.opened.size(), 2);
    EXPECT_EQ(catcher.opened[0], QUrl(QStringLiteral("reelfinch-test://host/page")));
    EXPECT_EQ(catcher.opened[1], QUrl(QStringLiteral("reelfinch-test://host/other")));

    // Frame names, texts that are no URL and URLs without a scheme fail with an invalid-parameter code.
    EXPECT_EQ(plugin->getURLNotify("reelfinch-test://host/frame", "main", notify()), NPERR_INVALID_PARAM);
    EXPECT_EQ(plugin->getURLTarget("not a url", "_self"), NPERR_INVALID_PARAM);
    EXPECT_EQ(plugin->getURLTarget("relative/page.html", "_top"), NPERR_INVALID_PARAM);
    EXPECT_EQ(plugin->getURLTarget(nullptr, "_top"), NPERR_INVALID_PARAM);
    EXPECT_EQ(catcher.opened.size(), 2);
    QDesktopServices::unsetUrlHandler(QStringLiteral("reelfinch-test"));

    ASSERT_EQ(state->notifications.size(), 2u);
    EXPECT_EQ(state->notifications[0].reason, NPRES_DONE);
    EXPECT_EQ(state->notifications[1].url, "reelfinch-test://host/frame");
    EXPECT_EQ(state->notifications[1].reason, NPRES_NETWORK_ERR);
    EXPECT_TRUE(state->streams.empty());
}

// ---- Scripting

TEST_F(PluginTest, ScriptingMethodsCarryTheirArguments)
{
    auto plugin = startedPlugin();
    EXPECT_TRUE(plugin->play());
    EXPECT_TRUE(plugin->stopPlay());
    EXPECT_TRUE(plugin->rewind());
    EXPECT_TRUE(plugin->back());
    EXPECT_TRUE(plugin->forward());
    EXPECT_TRUE(plugin->gotoFrame(5));
    EXPECT_TRUE(plugin->pan(-3, 4, 1));
    EXPECT_TRUE(plugin->zoom(150));
    EXPECT_TRUE(plugin->setZoomRect(LONG_MIN, -1, 11000, LONG_MAX)); // clamped, not wrapped
    EXPECT_TRUE(plugin->setFlashQuality(2));
    EXPECT_TRUE(plugin->setFlashQuality(1));
    EXPECT_TRUE(plugin->setFlashQuality(7));
    const std::vector<std::string> expected = {
        "invoke Play",
        "invoke StopPlay",
        "invoke Rewind",
        "invoke Back",
        "invoke Forward",
        "invoke GotoFrame 5",
        "invoke Pan -3 4 1",
        "invoke Zoom 150",
        "invoke SetZoomRect -2147483648 -1 11000 2147483647",
        "invoke TSetProperty \"/\"/2 19 \"HIGH\"/5",
        "invoke TSetProperty \"/\"/2 19 \"MEDIUM\"/7",
        "invoke TSetProperty \"/\"/2 19 \"LOW\"/4",
    };
    EXPECT_EQ(state->callsStartingWith("invoke"), expected);
    // The object is fetched afresh for each call.
    EXPECT_EQ(state->callsStartingWith("NPP_GetValue 15").size(), expected.size());

    NPObject* object = plugin->getScriptableObject();
    ASSERT_NE(object, nullptr);
    state->methods = { "Play" };
    EXPECT_TRUE(plugin->isObject(object, NSFlashPlugin::methodIdentifier(NSFlashPlugin::MethodPlay)));
    EXPECT_FALSE(plugin->isObject(object, NSFlashPlugin::methodIdentifier(NSFlashPlugin::MethodZoom)));
}

TEST_F(PluginTest, ScriptingResultsAreReadByType)
{
    auto plugin = startedPlugin();
    int32_t frames = 42;
    std::string quality;
    int playing = -1; // -1: write nothing
    state->answer = [&](const std::string& method, const NPVariant*, uint32_t, NPVariant* result) {
        if (method == "TotalFrames" || method == "CurrentFrame")
            INT32_TO_NPVARIANT(frames, *result);
        else if (method == "TGetProperty")
            STRINGN_TO_NPVARIANT(quality.c_str(), quality.size(), *result);
        else if (method == "IsPlaying" && playing >= 0)
            BOOLEAN_TO_NPVARIANT(playing == 1, *result);
    };
    EXPECT_EQ(plugin->totalFrames(), 42);
    frames = 7;
    EXPECT_EQ(plugin->currentFrame(), 7);

    const std::pair<const char*, int> qualities[] = { { "HIGH", 2 }, { "high", 2 }, { "Medium", 1 }, { "LOW", 0 },
                                                      { "BEST", 0 }, { "", 0 } };
    for (const auto& [text, code] : qualities) {
        quality = text;
        EXPECT_EQ(plugin->flashQuality(), code) << text;
    }
    quality = std::string("HIGH", 5); // a length that counts the NUL
    EXPECT_EQ(plugin->flashQuality(), 2);

    for (int written : { 1, 0, -1 }) {
        playing = written;
        EXPECT_EQ(plugin->isPlaying(), written == 1) << written;
    }

    // A failed call gives nothing, whatever the plug-in wrote.
    state->invokeResult = false;
    playing = 1;
    quality = "HIGH";
    EXPECT_EQ(plugin->totalFrames(), 0);
    EXPECT_EQ(plugin->currentFrame(), 0);
    EXPECT_FALSE(plugin->isPlaying());
    EXPECT_EQ(plugin->flashQuality(), 0);
    EXPECT_FALSE(plugin->play());

    // Without a scripting object every operation fails and no method is invoked.
    state->invokeResult = true;
    state->offerScriptable = false;
    state->calls.clear();
    EXPECT_FALSE(plugin->play());
    EXPECT_FALSE(plugin->gotoFrame(3));
    EXPECT_EQ(plugin->totalFrames(), 0);
    EXPECT_EQ(plugin->flashQuality(), 0);
    EXPECT_TRUE(state->callsStartingWith("invoke").empty());
}

// ---- Redraw requests

class PaintRecorder : public QWidget {
public:
    QList<QRect> painted;

protected:
    void paintEvent(QPaintEvent* event) override { painted.append(event->rect()); }
};

TEST_F(PluginTest, RedrawRequestsReachTheContentView)
{
    testplugin::ensureApplication();
    auto plugin = startedPlugin();
    PaintRecorder view;
    view.resize(400, 300);
    view.show();
    QCoreApplication::processEvents();
    plugin->setContentView(&view);
    view.painted.clear();

    NPRect rect { 10, 20, 110, 220 }; // top, left, bottom, right
    NPN_InvalidateRect(plugin->npp(), &rect);
    EXPECT_TRUE(view.painted.isEmpty()); // scheduled, not painted yet
    QCoreApplication::processEvents();
    ASSERT_FALSE(view.painted.isEmpty());
    EXPECT_EQ(view.painted.last(), QRect(20, 10, 200, 100));

    view.painted.clear();
    RgnHandle region = NewRgn();
    SetRectRgn(region, 5, 6, 50, 60);
    NPN_InvalidateRegion(plugin->npp(), region);
    DisposeRgn(region);
    QCoreApplication::processEvents();
    ASSERT_FALSE(view.painted.isEmpty());
    EXPECT_EQ(view.painted.last(), QRect(5, 6, 45, 54));

    // A forced redraw paints before it returns.
    view.painted.clear();
    NPN_ForceRedraw(plugin->npp());
    ASSERT_EQ(view.painted.size(), 1);
    EXPECT_EQ(view.painted[0], view.rect());

    // Without a view the requests do nothing.
    plugin->setContentView(nullptr);
    NPN_InvalidateRect(plugin->npp(), &rect);
    NPN_ForceRedraw(plugin->npp());
}

} // namespace

#include "plugin_test.moc"
