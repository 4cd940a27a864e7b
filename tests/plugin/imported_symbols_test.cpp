// Symbols a movie imports from another movie file: fetched through the host, the other file's init actions run
// once on the importing movie's root, and the imported names attach instances that play from that file.
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

    std::vector<std::string> lines;
    std::vector<std::pair<uint32_t, std::string>> requests;
    avm1::Machine* machine = nullptr;
    MoviePlayer player;
    player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
    player.onMachineCreated = [&](avm1::Machine& m) {
        machine = &m;
        avm1::LoadHost host;
        host.request = [&](uint32_t id, const std::string& url, bool, const std::string&, const std::string&) {
            requests.emplace_back(id, url);
            return true;
        };
        avm1::SetLoadHost(m, std::move(host));
    };
    ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
    ASSERT_TRUE(machine);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].second, "lib.swf");
    avm1::LoadReceived(*machine, requests[0].first, library.data(), library.size(), uint32_t(library.size()));
    avm1::LoadEnded(*machine, requests[0].first, true);
    avm1::DeliverLoads(*machine);
    player.step();
    player.step();
    EXPECT_EQ(lines,
        (std::vector<std::string> { "frame 1", "init _level0", "undefined", "_level0.b", "box frame", "stop" }));
}

} // namespace
