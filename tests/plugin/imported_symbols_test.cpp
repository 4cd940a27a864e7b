// Symbols a movie imports from another movie file: fetched through the host, the other file's init actions run
// once on the importing movie's root, and the imported names attach instances that play from that file. A file
// that imports from a third one fetches it in turn, beside itself, and never goes round a loop.
#include "Avm1Assembler.h"
#include "MovieBuilder.h"
#include "avm1/Loading.h"
#include "avm1/Machine.h"
#include "timeline/MoviePlayer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace plugintest;
using reelfinch::plugin::MoviePlayer;
namespace avm1 = reelfinch::avm1;

std::vector<uint8_t> Text(const std::string& s)
{
    std::vector<uint8_t> out(s.begin(), s.end());
    out.push_back(0);
    return out;
}

// A library file: sprite 1 (tracing from its frame) exported as "box", with init actions for it.
std::vector<uint8_t> LibraryMovie()
{
    MovieBuilder movie(40, 40, 12.0f, 8);
    SpriteBuilder sprite;
    sprite.actions(Asm().str("box frame").trace().finished());
    sprite.showFrame();
    sprite.define(movie, 1);
    std::vector<uint8_t> exports { 1, 0, 1, 0 };
    const std::vector<uint8_t> name = Text("box");
    exports.insert(exports.end(), name.begin(), name.end());
    movie.raw(kTagExportAssets, exports);
    std::vector<uint8_t> init { 1, 0 };
    const std::vector<uint8_t> code = Asm().str("init ").get("this").op(0x47).trace().finished();
    init.insert(init.end(), code.begin(), code.end());
    movie.raw(kTagDoInitAction, init);
    movie.showFrame();
    return movie.finish();
}

// A player that keeps the movie's trace lines and its requests, which the test answers with whole files.
struct Fetching {
    std::vector<std::string> lines;
    std::vector<std::pair<uint32_t, std::string>> requests;
    avm1::Machine* machine = nullptr;
    MoviePlayer player;

    Fetching()
    {
        player.onTrace = [this](const std::string& line) { lines.push_back(line); };
        player.onMachineCreated = [this](avm1::Machine& m) {
            machine = &m;
            avm1::LoadHost host;
            host.request = [this](uint32_t id, const std::string& url, bool, const std::string&, const std::string&) {
                requests.emplace_back(id, url);
                return true;
            };
            avm1::SetLoadHost(m, std::move(host));
        };
    }
    Fetching(const Fetching&) = delete;
    Fetching& operator=(const Fetching&) = delete;

    // Answers request `index` with `file`, all of it at once.
    void deliver(size_t index, const std::vector<uint8_t>& file)
    {
        avm1::LoadReceived(*machine, requests[index].first, file.data(), file.size(), uint32_t(file.size()));
        avm1::LoadEnded(*machine, requests[index].first, true);
        avm1::DeliverLoads(*machine);
    }
};

TEST(ImportedSymbols, InitActionsRunOnceOnTheImporterAndNamesAttachTheirSprites)
{
    MovieBuilder movie(40, 40, 12.0f, 8);
    // ImportAssets2: the file, two reserved bytes, then "box" as this movie's character 7 and a name the file
    // does not export.
    std::vector<uint8_t> import = Text("lib.swf");
    import.insert(import.end(), { 1, 0, 2, 0, 7, 0 });
    for (const char* name : { "box", "missing" }) {
        const std::vector<uint8_t> text = Text(name);
        import.insert(import.end(), text.begin(), text.end());
        if (name[0] == 'b')
            import.insert(import.end(), { 8, 0 });
    }
    movie.raw(71, import);
    movie.raw(kTagDoAction, Asm().str("frame 1").trace().finished());
    movie.showFrame();
    movie.raw(kTagDoAction,
        Asm()
            .i32(1).str("b").str("box").i32(3).get("_root").str("attachMovie").op(0x52).op(0x17)
            .i32(2).str("m").str("missing").i32(3).get("_root").str("attachMovie").op(0x52).trace()
            .get("_root").str("b").op(0x4E).trace()
            .finished());
    movie.showFrame();
    movie.raw(kTagDoAction, Asm().str("stop").trace().op(0x07).finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    const std::vector<uint8_t> library = LibraryMovie();

    Fetching fetching;
    MoviePlayer& player = fetching.player;
    const std::vector<std::string>& lines = fetching.lines;
    const auto& requests = fetching.requests;
    ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
    ASSERT_TRUE(fetching.machine);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].second, "lib.swf");
    fetching.deliver(0, library);
    player.step();
    player.step();
    EXPECT_EQ(lines,
        (std::vector<std::string> { "frame 1", "init _level0", "undefined", "_level0.b", "box frame", "stop" }));
}

// ImportAssets2 (`url`, then each character ID with its name) and ExportAssets bodies.
std::vector<uint8_t> ImportBody(const std::string& url, const std::vector<std::pair<uint16_t, std::string>>& assets)
{
    std::vector<uint8_t> body = Text(url);
    body.insert(body.end(), { 1, 0, uint8_t(assets.size()), 0 });
    for (const auto& [id, name] : assets) {
        body.insert(body.end(), { uint8_t(id), uint8_t(id >> 8) });
        const std::vector<uint8_t> text = Text(name);
        body.insert(body.end(), text.begin(), text.end());
    }
    return body;
}

std::vector<uint8_t> ExportBody(const std::vector<std::pair<uint16_t, std::string>>& assets)
{
    std::vector<uint8_t> body { uint8_t(assets.size()), 0 };
    for (const auto& [id, name] : assets) {
        body.insert(body.end(), { uint8_t(id), uint8_t(id >> 8) });
        const std::vector<uint8_t> text = Text(name);
        body.insert(body.end(), text.begin(), text.end());
    }
    return body;
}

TEST(ImportedSymbols, ImportsOfAnImportedFileAreFetchedBesideItWithoutLooping)
{
    // The main movie imports "box" (a sprite) and "dot" (a shape) from libs/mid.swf, which defines neither: it
    // imports both from leaf.swf beside it and exports them again. leaf.swf imports from mid.swf in turn, and
    // from itself: neither is fetched again.
    MovieBuilder leaf(40, 40, 12.0f, 8);
    SpriteBuilder sprite;
    sprite.actions(Asm().str("box frame").trace().finished());
    sprite.showFrame();
    sprite.define(leaf, 1);
    leaf.rectShape(2, 0, 0, 200, 200, { 255, 0, 0 });
    leaf.raw(71, ImportBody("mid.swf", { { 5, "box" } }));
    leaf.raw(71, ImportBody("leaf.swf", { { 6, "dot" } }));
    leaf.raw(kTagExportAssets, ExportBody({ { 1, "box" }, { 2, "dot" } }));
    std::vector<uint8_t> init { 1, 0 };
    const std::vector<uint8_t> code = Asm().str("leaf init ").get("this").op(0x47).trace().finished();
    init.insert(init.end(), code.begin(), code.end());
    leaf.raw(kTagDoInitAction, init);
    leaf.showFrame();
    const std::vector<uint8_t> leafBytes = leaf.finish();

    MovieBuilder mid(40, 40, 12.0f, 8);
    mid.raw(71, ImportBody("leaf.swf", { { 3, "box" }, { 4, "dot" } }));
    mid.raw(kTagExportAssets, ExportBody({ { 3, "box" }, { 4, "dot" } }));
    mid.showFrame();
    const std::vector<uint8_t> midBytes = mid.finish();

    MovieBuilder movie(40, 40, 12.0f, 8);
    movie.raw(71, ImportBody("libs/mid.swf", { { 7, "box" }, { 9, "dot" } }));
    movie.showFrame();
    movie.raw(kTagDoAction,
        Asm().i32(1).str("b").str("box").i32(3).get("_root").str("attachMovie").op(0x52).trace().finished());
    movie.showFrame();
    movie.raw(kTagDoAction, Asm().op(0x07).finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();

    Fetching fetching;
    MoviePlayer& player = fetching.player;
    const std::vector<std::string>& lines = fetching.lines;
    const auto& requests = fetching.requests;
    ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
    ASSERT_TRUE(fetching.machine);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].second, "libs/mid.swf");
    fetching.deliver(0, midBytes);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].second, "libs/leaf.swf");
    // Nothing shows the shape yet: only the file that defines it can give it.
    EXPECT_EQ(player.character(player.root(), 9), nullptr);
    fetching.deliver(1, leafBytes);
    EXPECT_EQ(requests.size(), 2u) << "a file the chain already fetched is not fetched again";
    EXPECT_NE(player.character(player.root(), 9), nullptr);
    player.step();
    player.step();
    EXPECT_EQ(lines, (std::vector<std::string> { "leaf init _level0", "_level0.b", "box frame" }));
}

} // namespace
