// The plug-in's timelines: the display list through PlaceObject, PlaceObject2 and the two RemoveObject tags,
// going back in time, simple frame actions, sprites, time from the host clock, and malformed movies.
#include "npapi/PluginInstance.h"
#include "PluginTestSupport.h"

using namespace plugintest;
using reelfinch::plugin::MoviePlayer;

namespace {

constexpr int T = kTwips;
constexpr uint8_t kStop = 0x07;
constexpr uint8_t kPlay = 0x06;
constexpr uint8_t kNextFrame = 0x04;
constexpr uint8_t kPreviousFrame = 0x05;

// Which of three 20-pixel cells along the top row of a 60x20 stage show the red square.
std::string Cells(MoviePlayer& player)
{
    const Canvas c = Render(player, 60, 20);
    std::string cells;
    for (int x : { 10, 30, 50 })
        cells += Near(c.at(x, 10), kRed) ? 'R' : Near(c.at(x, 10), kBlue) ? 'B' : '.';
    return cells;
}

std::vector<uint8_t> DisplayListMovie()
{
    MovieBuilder movie(60, 20);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kRed);
    movie.rectShape(2, 0, 0, 20 * T, 20 * T, kBlue);
    movie.place(1, 1, 0, 0); // frame 0: red in cell 0
    movie.showFrame();
    movie.move(1, 20 * T, 0); // frame 1: moved to cell 1
    movie.placeObject1(2, 2, 40 * T, 0); //          blue in cell 2 (PlaceObject)
    movie.showFrame();
    movie.remove(1); // frame 2: red gone (RemoveObject2)
    movie.showFrame();
    movie.remove1(2, 2); // frame 3: blue gone (RemoveObject)
    movie.place(1, 2, 0, 0); //          blue placed anew in cell 0
    movie.showFrame();
    return movie.finish();
}

} // namespace

TEST(PluginTimeline, DisplayListFollowsPlaceMoveAndRemoveForwardAndBack)
{
    MoviePlayer player;
    ASSERT_TRUE(Load(player, DisplayListMovie()));
    EXPECT_EQ(player.totalFrames(), 4);
    const char* expected[] = { "R..", ".RB", "..B", "B.." };
    for (int frame : { 0, 1, 2, 3, 1, 0, 2, 3, 3 }) {
        ASSERT_TRUE(player.gotoFrame(frame));
        EXPECT_EQ(player.currentFrame(), frame);
        EXPECT_EQ(Cells(player), expected[frame]) << "at frame " << frame;
    }
    EXPECT_FALSE(player.gotoFrame(4));
    EXPECT_FALSE(player.gotoFrame(-1));
    EXPECT_EQ(player.currentFrame(), 3);
}

TEST(PluginTimeline, PlayingLoopsAndStepsRespectStopAndPlay)
{
    MoviePlayer player;
    ASSERT_TRUE(Load(player, DisplayListMovie()));
    EXPECT_TRUE(player.isPlaying());
    for (int expected : { 1, 2, 3, 0, 1 }) {
        player.step();
        EXPECT_EQ(player.currentFrame(), expected);
    }
    player.stop();
    EXPECT_FALSE(player.step()) << "a stopped movie without sprites has nothing to redraw";
    EXPECT_EQ(player.currentFrame(), 1);
    EXPECT_TRUE(player.forward());
    EXPECT_EQ(player.currentFrame(), 2);
    EXPECT_TRUE(player.back());
    EXPECT_TRUE(player.back());
    EXPECT_EQ(player.currentFrame(), 0);
    EXPECT_TRUE(player.gotoFrame(3));
    EXPECT_TRUE(player.forward()) << "forward at the last frame stays there";
    EXPECT_EQ(player.currentFrame(), 3);
    EXPECT_TRUE(player.rewind());
    EXPECT_EQ(player.currentFrame(), 0);
    EXPECT_FALSE(player.isPlaying());
}

TEST(PluginTimeline, SimpleFrameActionsRunOnTheirFrame)
{
    MovieBuilder movie(60, 20);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kRed);
    movie.place(1, 1, 0, 0);
    movie.showFrame(); // 0
    movie.gotoLabelAction("end");
    movie.showFrame(); // 1: goes to "end" and stops there
    movie.showFrame(); // 2: skipped
    movie.label("end");
    movie.actions({ kPlay });
    movie.showFrame(); // 3: plays on
    movie.actions({ kStop });
    movie.showFrame(); // 4: stops
    movie.gotoFrameAction(0);
    movie.showFrame(); // 5: reached only by stepping
    movie.actions({ kNextFrame });
    movie.showFrame(); // 6
    std::vector<std::pair<std::string, std::string>> requests;
    movie.getURLAction("page.html", "_blank");
    movie.showFrame(); // 7
    MoviePlayer player;
    player.onGetURL = [&](const std::string& url, const std::string& target) { requests.emplace_back(url, target); };
    ASSERT_TRUE(Load(player, movie.finish()));
    player.step();
    EXPECT_EQ(player.currentFrame(), 3) << "GoToLabel went to its frame";
    EXPECT_TRUE(player.isPlaying()) << "the goto stopped the timeline, the frame's own Play started it again";
    player.step();
    EXPECT_EQ(player.currentFrame(), 4);
    EXPECT_FALSE(player.isPlaying());
    player.step();
    EXPECT_EQ(player.currentFrame(), 4) << "stopped";
    EXPECT_TRUE(player.forward());
    EXPECT_EQ(player.currentFrame(), 0) << "frame 5 went to frame 0";
    EXPECT_TRUE(player.gotoFrame(6));
    EXPECT_EQ(player.currentFrame(), 7) << "NextFrame on entering frame 6";
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], std::make_pair(std::string("page.html"), std::string("_blank")));
}

TEST(PluginTimeline, SpritesRunTheirOwnTimelineWhileTheRootIsStopped)
{
    MovieBuilder movie(60, 20);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kRed);
    SpriteBuilder sprite;
    sprite.place(1, 1, 0, 0);
    sprite.showFrame();
    sprite.move(1, 20 * T, 0);
    sprite.showFrame();
    sprite.move(1, 40 * T, 0);
    sprite.showFrame();
    sprite.define(movie, 7);
    movie.place(1, 7, 0, 0);
    movie.actions({ kStop });
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    EXPECT_EQ(Cells(player), "R..");
    player.step();
    EXPECT_EQ(Cells(player), ".R.");
    player.step();
    player.step();
    EXPECT_EQ(Cells(player), "R..") << "the sprite loops";
    EXPECT_EQ(player.currentFrame(), 0);
}

TEST(PluginTimeline, ASpriteRemovedByItsParentsGotoNeverRunsItsQueuedActions)
{
    // The root's frame 2 places a sprite whose first frame has actions, and sends the root back to frame 1: the
    // root's actions run first and remove the sprite, whose own actions were queued on the same step.
    MovieBuilder movie(60, 20);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kRed);
    SpriteBuilder sprite;
    sprite.place(1, 1, 0, 0);
    sprite.actions({ kStop });
    sprite.showFrame();
    sprite.define(movie, 7);
    movie.showFrame();
    movie.place(1, 7, 0, 0);
    movie.gotoFrameAction(0);
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    EXPECT_TRUE(player.step());
    EXPECT_EQ(player.currentFrame(), 0);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(Cells(player), "...");
}

TEST(PluginTimeline, ASpriteThatPlacesItselfNestsOnlySoDeep)
{
    // Sprite 7 places sprite 7 inside itself: every instance would hold another one without end.
    MovieBuilder movie(60, 20);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kRed);
    SpriteBuilder sprite;
    sprite.place(1, 1, 0, 0);
    sprite.place(2, 7, 0, 0);
    sprite.showFrame();
    sprite.define(movie, 7);
    movie.place(1, 7, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    EXPECT_EQ(Cells(player), "R..");
    EXPECT_FALSE(player.step()) << "a one-frame movie of one-frame sprites enters no frame";
    EXPECT_EQ(Cells(player), "R..");
}

TEST(PluginTimeline, GotosThatEnterFramesOfGotosEndWithinTheStep)
{
    // Each frame's actions step forward and back fifty times, and every frame entered queues those actions
    // again: without a bound on the work of a step the queue would grow fiftyfold at each round.
    std::vector<uint8_t> codes;
    for (int i = 0; i < 50; ++i)
        codes.insert(codes.end(), { kNextFrame, kPreviousFrame });
    MovieBuilder movie(60, 20);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kRed);
    movie.place(1, 1, 0, 0);
    movie.actions(codes);
    movie.showFrame();
    movie.actions(codes);
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    player.step(true);
    player.step(true);
    EXPECT_EQ(Cells(player), "R..") << "the player goes on drawing after the bounded steps";
}

TEST(PluginTimeline, TimeComesFromTheHostClockWithBoundedCatchUp)
{
    MovieBuilder movie(60, 20, 12.0f); // 5 ticks a frame
    for (int i = 0; i < 20; ++i)
        movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    EXPECT_FALSE(player.advanceTo(1000)) << "the first event only starts the clock";
    EXPECT_FALSE(player.advanceTo(1004));
    EXPECT_TRUE(player.advanceTo(1005));
    EXPECT_EQ(player.currentFrame(), 1);
    EXPECT_TRUE(player.advanceTo(1015));
    EXPECT_EQ(player.currentFrame(), 3);
    player.advanceTo(5000);
    EXPECT_EQ(player.currentFrame(), 3 + reelfinch::plugin::kMaxCatchUpFrames) << "a long pause catches up a few";
    player.advanceTo(5005);
    EXPECT_EQ(player.currentFrame(), 7) << "and then keeps the pace";
    player.advanceTo(4000); // a clock that went back starts afresh
    player.advanceTo(4005);
    EXPECT_EQ(player.currentFrame(), 8);
}

TEST(PluginTimeline, MalformedMoviesNeverCrashAndLeaveTheInstanceBlank)
{
    const std::vector<std::vector<uint8_t>> blanks = {
        {},
        { 'F', 'W', 'S' },
        { 'x', 'y', 'z', 1, 2, 3, 4, 5, 6, 7, 8, 9 },
        std::vector<uint8_t>(100, 0xFF),
    };
    for (const auto& bytes : blanks) {
        MoviePlayer player;
        EXPECT_FALSE(player.load(bytes.data(), bytes.size()));
        EXPECT_EQ(player.totalFrames(), 0);
        EXPECT_FALSE(player.step());
        EXPECT_FALSE(player.gotoFrame(0));
        const Canvas c = Render(player, 10, 10);
        EXPECT_EQ(c.at(5, 5), 0xFF000000u) << "a blank instance draws black";
    }
    // Every cut of a real movie, and every single corrupted byte of it, reads or is refused without harm.
    const std::vector<uint8_t> movie = DisplayListMovie();
    for (size_t cut = 0; cut < movie.size(); ++cut) {
        MoviePlayer player;
        player.load(movie.data(), cut);
        for (int i = 0; i < 5; ++i)
            player.step();
        Render(player, 12, 4);
    }
    for (size_t at = 8; at < movie.size(); ++at) {
        std::vector<uint8_t> broken = movie;
        broken[at] ^= 0xA5;
        MoviePlayer player;
        player.load(broken.data(), broken.size());
        player.gotoFrame(player.totalFrames() - 1);
        player.gotoFrame(0);
        Render(player, 12, 4);
    }
}

TEST(PluginSecurity, LocalMoviesReachOnlyFilesBesideThem)
{
    using reelfinch::plugin::RequestAllowedUnderLocalSecurity;
    struct Case {
        const char* movie;
        const char* url;
        bool allowed;
    };
    const Case cases[] = {
        { "/home/a/movies/m.swf", "data.txt", true },
        { "/home/a/movies/m.swf", "sub/more.swf", true },
        { "/home/a/movies/m.swf", "file:///home/a/movies/x.swf", true },
        { "file:///home/a/movies/m.swf", "x.swf", true },
        { "/home/a/movies/m.swf", "../secret.txt", false },
        { "/home/a/movies/m.swf", "/etc/passwd", false },
        { "/home/a/movies/m.swf", "http://example.com/", false },
        { "/home/a/movies/m.swf", "javascript:alert(1)", false },
        { "/home/a/movies/m.swf", "", false },
        { "http://example.com/m.swf", "x.swf", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(RequestAllowedUnderLocalSecurity(c.movie, c.url), c.allowed) << c.movie << " -> " << c.url;
}

TEST(PluginTimeline, ASecondMovieReplacesTheFirstWhole)
{
    // The second movie defines character 1 anew and has no background tag; nothing of the first may remain.
    MovieBuilder second(60, 20);
    second.rectShape(1, 0, 0, 20 * T, 20 * T, kBlue);
    second.place(1, 1, 40 * T, 0);
    second.showFrame();
    const std::vector<uint8_t> first = DisplayListMovie();
    const std::vector<uint8_t> next = second.finish();
    MoviePlayer player;
    ASSERT_TRUE(player.load(first.data(), first.size()));
    Render(player, 60, 20);
    ASSERT_TRUE(player.load(next.data(), next.size()));
    EXPECT_EQ(player.totalFrames(), 1);
    EXPECT_EQ(Cells(player), "..B");
    EXPECT_TRUE(Near(Render(player, 60, 20).at(10, 10), kWhite));
    const std::vector<uint8_t> garbage(40, 0xFF);
    EXPECT_FALSE(player.load(garbage.data(), garbage.size()));
    EXPECT_EQ(player.totalFrames(), 0);
}
