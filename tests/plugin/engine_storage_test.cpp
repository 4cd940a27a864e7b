// What the confined movie engine asks of its proxy besides drawing: stored shared objects (written by the proxy
// in the user's data folder, read back by a later engine, a damaged file read as nothing) and the sound stream;
// and the proxy's refusal of malformed storage and sound calls, which ends the engine.
#include "Avm1Assembler.h"
#include "MovieRunner.h"
#include "TestApplication.h"
#include "avm1/builtins/SharedObjectStore.h"
#include "ipc/Message.h"
#include "npapi/EngineProxy.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

using namespace plugintest;
using namespace reelfinch;

namespace {

// Sets a variable for the test's length.
class ScopedVariable
{
public:
    ScopedVariable(const char* name, const std::string& value)
        : m_Name(name)
    {
        if (const char* old = std::getenv(name))
            m_Old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_Old)
            setenv(m_Name, m_Old->c_str(), 1);
        else
            unsetenv(m_Name);
    }

private:
    const char* m_Name;
    std::optional<std::string> m_Old;
};

// so = SharedObject.getLocal(name); trace(so.data.n); so.data.n = so.data.n + "x"; trace(so.flush());
Asm CountingScript(const std::string& name)
{
    Asm a;
    a.str("so").str(name).i32(1).get("SharedObject").str("getLocal").op(0x52).op(0x1D);
    a.get("so").str("data").op(0x4E).str("n").op(0x4E).trace();
    a.get("so").str("data").op(0x4E).str("n");
    a.get("so").str("data").op(0x4E).str("n").op(0x4E).str("x").op(0x47);
    a.op(0x4F);
    a.i32(0).get("so").str("flush").op(0x52).trace();
    return a;
}

std::vector<std::string> TraceLines(const QString& path)
{
    std::vector<std::string> lines;
    runner::RunOptions options;
    options.frames = 1;
    runner::RunMovie(path, options, [&](const QString& line) { lines.push_back(line.toStdString()); });
    return lines;
}

TEST(EngineStorage, ASharedObjectWrittenThroughTheEngineSurvivesANewEngine)
{
    Application();
    QTemporaryDir dir;
    ScopedVariable data("XDG_DATA_HOME", dir.filePath("data").toStdString());
    MovieBuilder movie(40, 40, 12.0f, 8);
    movie.raw(kTagDoAction, CountingScript("visits").finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    const QString path = dir.filePath("game.swf");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    using Lines = std::vector<std::string>;
    EXPECT_EQ(TraceLines(path), (Lines { "undefined", "true" }));
    EXPECT_EQ(TraceLines(path), (Lines { "undefinedx", "true" }));
    // Kept under the movie's address as the host gives it (a local movie by its name).
    const std::filesystem::path stored
        = std::filesystem::path(dir.filePath("data").toStdString()) / "Reelfinch" / "localhost" / "game.swf" / "visits.sol";
    ASSERT_TRUE(std::filesystem::exists(stored)) << stored;
    // A damaged file is no data, and the next flush replaces it.
    std::ofstream(stored, std::ios::binary | std::ios::trunc) << std::string("\0\xBF\0\0\0\x40TCSO", 10);
    EXPECT_EQ(TraceLines(path), (Lines { "undefined", "true" }));
    EXPECT_EQ(TraceLines(path), (Lines { "undefinedx", "true" }));
}

ipc::Message Call(ipc::BrowserCallId id, const ipc::Writer& args)
{
    ipc::Message m;
    m.type = ipc::MessageType::BrowserCall;
    ipc::Writer w;
    w.u16(uint16_t(id));
    w.raw(args.data().data(), args.data().size());
    m.payload = w.data();
    return m;
}

// Each call as the engine might send it, and whether the proxy takes it (a refused one ends the engine).
TEST(EngineStorage, TheProxyRefusesMalformedStorageAndSoundCalls)
{
    QTemporaryDir dir;
    ScopedVariable data("XDG_DATA_HOME", dir.path().toStdString());
    using ipc::BrowserCallId;
    using ipc::Writer;
    const std::string big(ipc::kMaxSharedObjectBytes + 1, 'x');
    struct Case {
        const char* what;
        BrowserCallId id;
        Writer args;
        bool taken;
    };
    const Case cases[] = {
        { "a plain write", BrowserCallId::SharedObjectWrite, Writer().string("localhost/a/b.sol").string("data"), true },
        { "a read", BrowserCallId::SharedObjectRead, Writer().string("localhost/a/b.sol"), true },
        { "a missing one", BrowserCallId::SharedObjectRead, Writer().string("localhost/a/none.sol"), true },
        { "a removal", BrowserCallId::SharedObjectRemove, Writer().string("localhost/a/none.sol"), true },
        { "up and out", BrowserCallId::SharedObjectWrite, Writer().string("localhost/../../x.sol").string("d"), false },
        { "absolute", BrowserCallId::SharedObjectRead, Writer().string("/etc/x.sol"), false },
        { "a dot part", BrowserCallId::SharedObjectRemove, Writer().string("a/./b.sol"), false },
        { "another kind of file", BrowserCallId::SharedObjectWrite, Writer().string("a/b.txt").string("d"), false },
        { "an empty part", BrowserCallId::SharedObjectRead, Writer().string("a//b.sol"), false },
        { "a control character", BrowserCallId::SharedObjectRead, Writer().string(std::string("a\nb.sol")), false },
        { "over the limit", BrowserCallId::SharedObjectWrite, Writer().string("a/b.sol").string(big), false },
        { "bytes left over", BrowserCallId::SharedObjectRead, Writer().string("a/b.sol").u8(0), false },
        { "cut short", BrowserCallId::SharedObjectWrite, Writer().string("a/b.sol"), false },
        { "the mixer's format", BrowserCallId::SoundOpen, Writer().string("m").u32(44100).u8(2), true },
        { "another rate", BrowserCallId::SoundOpen, Writer().string("m").u32(48000).u8(2), false },
        { "mono", BrowserCallId::SoundOpen, Writer().string("m").u32(44100).u8(1), false },
        { "a long name", BrowserCallId::SoundOpen, Writer().string(std::string(300, 'n')).u32(44100).u8(2), false },
        { "pause", BrowserCallId::SoundPause, Writer().u8(1), true },
        { "pause of 2", BrowserCallId::SoundPause, Writer().u8(2), false },
        { "pause without a value", BrowserCallId::SoundPause, Writer(), false },
    };
    plugin::EngineProxy proxy(nullptr, false);
    for (const Case& c : cases) {
        Writer reply;
        EXPECT_EQ(proxy.serveBrowserCall(Call(c.id, c.args), reply), c.taken) << c.what;
    }
    // Only the plain write reached the folder, and its bytes read back.
    EXPECT_EQ(avm1::MakeFileStore(avm1::SharedObjectFolder())->read("localhost/a/b.sol"), std::optional<std::string>("data"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir.path().toStdString()) / "x.sol"));
}

// The file store on its own: links planted in the folder are not followed, what is over the limit is neither
// written nor read.
TEST(EngineStorage, TheFileStoreKeepsToItsFolder)
{
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    auto store = avm1::MakeFileStore(root / "store");
    std::filesystem::create_directories(root / "store" / "h");
    std::ofstream(root / "secret") << "secret";
    std::filesystem::create_symlink(root / "secret", root / "store" / "h" / "link.sol");
    EXPECT_FALSE(store->read("h/link.sol"));
    EXPECT_FALSE(store->write("h/big.sol", std::string(avm1::kSharedObjectSizeLimit + 1, 'x')));
    EXPECT_FALSE(std::filesystem::exists(root / "store" / "h" / "big.sol"));
    EXPECT_TRUE(store->write("h/a.sol", "one"));
    EXPECT_TRUE(store->write("h/a.sol", "two"));
    EXPECT_EQ(store->read("h/a.sol"), std::optional<std::string>("two"));
    store->remove("h/a.sol");
    EXPECT_FALSE(store->read("h/a.sol"));
}

} // namespace
