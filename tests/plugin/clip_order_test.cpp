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

TEST(ClipOrder, AClipHearingItsUnloadStaysReachableUntilTheNextFrame)
{
    // "kept" hears its unload, "plain" does not. The frame that takes both off still finds the first by name,
    // below every depth in use (where swapDepths leaves it); the next frame finds neither.
    MovieBuilder movie(40, 40, 12.0f, 8);
    SpriteBuilder sprite;
    sprite.showFrame();
    sprite.define(movie, 2);
    movie.place(1, 2, 0, 0, nullptr, 0, "kept");
    movie.place(2, 2, 0, 0, nullptr, 0, "plain");
    movie.raw(kTagDoAction,
        Asm().get("kept").str("onUnload").function("", {}, Asm().str("unload").trace()).op(0x4F).finished());
    movie.showFrame();
    movie.remove(1);
    movie.remove(2);
    movie.raw(kTagDoAction,
        Asm().get("kept").trace().get("plain").trace()
            .i32(5).i32(1).get("kept").str("swapDepths").op(kCallMethod).op(kPop)
            .i32(0).get("kept").str("getDepth").op(kCallMethod).trace()
            .finished());
    movie.showFrame();
    movie.raw(kTagDoAction, Asm().get("kept").trace().op(0x07).finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<std::string> lines;
    reelfinch::plugin::MoviePlayer player;
    player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
    player.load(bytes.data(), bytes.size());
    player.step();
    player.step();
    EXPECT_EQ(lines, (std::vector<std::string> { "unload", "_level0.kept", "undefined", "-16386", "undefined" }));
    EXPECT_EQ(player.root().displayList.size(), 0u);
}

// A button (DefineButton2) showing character `shape` in all its states, without actions.
void PlainButton(MovieBuilder& movie, uint16_t id, uint16_t shape)
{
    std::vector<uint8_t> body;
    Asm::u16(body, id);
    body.push_back(0); // not a menu
    Asm::u16(body, 0); // no actions
    body.push_back(0x0F); // up, over, down and hit
    Asm::u16(body, shape);
    Asm::u16(body, 1); // depth
    body.push_back(0); // identity matrix
    body.push_back(0); // no colour transform
    body.push_back(0); // end of records
    movie.raw(kTagDefineButton2, body);
}

TEST(ClipOrder, ScriptsAttachAndCopyButtonsAndTextFields)
{
    MovieBuilder movie(40, 40, 12.0f, 8);
    movie.rectShape(1, 0, 0, 200, 200, { 255, 0, 0 });
    PlainButton(movie, 10, 1);
    Export(movie, 10, "Btn");
    movie.place(1, 10, 0, 0, nullptr, 0, "btn");
    const auto call = [](Asm args, int count, const std::string& method) -> Asm {
        args.i32(count).str("_root").op(0x1C).str(method).op(kCallMethod);
        return args;
    };
    const int32_t script = 16384; // the clip actions count depths from here
    const Asm code
        = Asm()
              // An exported button symbol attaches as a button object.
              .append(call(Asm().i32(5).str("b2").str("Btn"), 3, "attachMovie")).op(0x44).trace()
              .get("b2").get("Button").op(0x54).trace()
              // duplicateMovieClip copies a placed button and a field a script made, under their new names.
              .str("btn").str("btn2").i32(script + 3).op(0x24).get("btn2").trace()
              .append(call(Asm().i32(10).i32(10).i32(0).i32(0).i32(7).str("t"), 6, "createTextField")).op(kPop)
              .str("t").str("t2").i32(script + 8).op(0x24).get("t2").trace()
              // A copy at the original's own depth replaces nothing.
              .str("btn2").str("btn3").i32(script + 3).op(0x24).get("btn3").trace()
              .get("btn2").trace();
    movie.raw(kTagDoAction, code.finished());
    movie.showFrame();
    EXPECT_EQ(Play(movie),
        (std::vector<std::string> { "object", "true", "_level0.btn2", "_level0.t2", "undefined", "_level0.btn2" }));
}

} // namespace
