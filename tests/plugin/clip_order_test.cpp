// The order in which a frame's scripts run when it places sprites, and the symbols and classes a loaded movie
// sees: its own exports, and the classes registered by movies of its own kind of version.
#include "Avm1Assembler.h"
#include "TagCodes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plugintest;

namespace {

constexpr uint8_t kCallMethod = 0x52;
constexpr uint8_t kPop = 0x17;

// ExportAssets naming one character.
void Export(MovieBuilder& movie, uint16_t id, const std::string& name)
{
    std::vector<uint8_t> body;
    Asm::u16(body, 1);
    Asm::u16(body, id);
    Asm::text(body, name);
    movie.raw(kTagExportAssets, body);
}

// A sprite (id 2) of one frame whose script traces `line`.
void ScriptedSprite(MovieBuilder& movie, uint16_t id, const std::string& line)
{
    SpriteBuilder sprite;
    sprite.actions(Asm().str(line).trace().bytes);
    sprite.showFrame();
    sprite.define(movie, id);
}

std::vector<std::string> Play(MovieBuilder& movie)
{
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<std::string> lines;
    reelfinch::plugin::MoviePlayer player;
    player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
    player.load(bytes.data(), bytes.size());
    return lines;
}

TEST(ClipOrder, ASpritePlacedBeforeAFramesScriptRunsItsFirstFrameFirst)
{
    MovieBuilder movie(40, 40);
    ScriptedSprite(movie, 2, "early child");
    ScriptedSprite(movie, 3, "late child");
    movie.place(1, 2, 0, 0, nullptr, 0, "early");
    movie.raw(kTagDoAction, Asm().str("root").trace().finished());
    movie.place(2, 3, 0, 0, nullptr, 0, "late");
    movie.showFrame();
    EXPECT_EQ(Play(movie), (std::vector<std::string> { "early child", "root", "late child" }));
}

TEST(ClipOrder, RegisteredClassesFollowTheSymbolsMovieVersion)
{
    // function C() { trace("made"); } Object.registerClass(NAME, C); trace(typeof attachMovie("Box", "b", 1));
    struct Case {
        uint8_t version;
        const char* registered;
        std::vector<std::string> heard;
    };
    const Case cases[] = {
        { 6, "box", { "made", "movieclip" } }, // SWF 6 names ignore case
        { 7, "box", { "movieclip" } },
        { 7, "Box", { "made", "movieclip" } },
    };
    for (const Case& c : cases) {
        MovieBuilder movie(40, 40, 12.0f, c.version);
        SpriteBuilder sprite;
        sprite.showFrame();
        sprite.define(movie, 2);
        Export(movie, 2, "Box");
        const Asm script = Asm()
                               .function("C", {}, Asm().str("made").trace())
                               .get("C").str(c.registered).i32(2).get("Object").str("registerClass")
                               .op(kCallMethod).op(kPop)
                               .i32(1).str("b").str("Box").i32(3).str("_root").op(0x1C).str("attachMovie")
                               .op(kCallMethod).op(0x44).trace();
        movie.raw(kTagDoAction, script.finished());
        movie.showFrame();
        EXPECT_EQ(Play(movie), c.heard) << int(c.version) << " " << c.registered;
    }
}

TEST(ClipOrder, ALoadedMovieAttachesItsOwnSymbolsWithClassesOfItsKindOfVersion)
{
    // The main movie (SWF 8) registers a class for "Box", a name only the loaded movie exports; the loaded
    // movie's script attaches it into itself. A SWF 7 movie shares the main movie's classes, a SWF 6 one not.
    struct Case {
        uint8_t version;
        std::vector<std::string> heard;
    };
    const Case cases[] = {
        { 7, { "made", "_level0.holder.b" } },
        { 6, { "_level0.holder.b" } },
    };
    for (const Case& c : cases) {
        MovieBuilder child(40, 40, 12.0f, c.version);
        SpriteBuilder box;
        box.showFrame();
        box.define(child, 5);
        Export(child, 5, "Box");
        child.raw(kTagDoAction,
            Asm().i32(1).str("b").str("Box").i32(3).str("this").op(0x1C).str("attachMovie").op(kCallMethod).trace()
                .finished());
        child.showFrame();
        const std::vector<uint8_t> childBytes = child.finish();

        MovieBuilder movie(40, 40);
        SpriteBuilder holder;
        holder.showFrame();
        holder.define(movie, 2);
        movie.place(1, 2, 0, 0, nullptr, 0, "holder");
        movie.raw(kTagDoAction,
            Asm().function("C", {}, Asm().str("made").trace())
                .get("C").str("Box").i32(2).get("Object").str("registerClass").op(kCallMethod).op(kPop)
                .finished());
        movie.showFrame();
        const std::vector<uint8_t> bytes = movie.finish();
        std::vector<std::string> lines;
        reelfinch::plugin::MoviePlayer player;
        player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
        player.load(bytes.data(), bytes.size());
        auto it = player.root().displayList.find(1);
        ASSERT_TRUE(it != player.root().displayList.end() && it->second.sprite);
        ASSERT_TRUE(player.loadInto(*it->second.sprite, childBytes.data(), childBytes.size(), "child.swf"));
        player.runQueuedActions();
        EXPECT_EQ(lines, c.heard) << int(c.version);
    }
}

} // namespace
