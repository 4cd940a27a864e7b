// Variable names that carry target paths: slash and dot forms, ':' and '.' before the variable, "..", and
// which part of a mixed name is a path and which a variable.
#include "Avm1Assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using plugintest::Asm;

TEST(Avm1Paths, NamesResolveByThePlayersPathRules)
{
    struct Case {
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        { "v", "1" },
        { "clip:v", "7" },
        { "/clip:v", "7" },
        { "clip.v", "7" },
        { "_root.clip:v", "7" }, // a dot path before ':'
        { "_level0/clip.v", "7" }, // '.' ends a slash path as ':' does
        { "/clip/..:v", "1" },
        { "clip/..", "_level0" },
        { "/:v", "1" },
        { "clip.nothing/v", "undefined" }, // the variable "nothing/v" of clip
        { "clip/v", "undefined" }, // a path to a clip named v
        { "/clip/child.w", "undefined" },
        { "_level0.clip/x", "undefined" }, // "x" names no clip
    };
    // v = 1; this.createEmptyMovieClip("clip", 1); clip.v = 7; then trace(eval(name)) for each name.
    Asm script = Asm().str("v").i32(1).op(0x1D);
    script.i32(1).str("clip").i32(2).get("this").str("createEmptyMovieClip").op(0x52).op(0x17);
    script.get("clip").str("v").i32(7).op(0x4F);
    for (const Case& c : cases)
        script.get(c.name).trace();
    // Setting through a slash path with a '.' before the variable writes the clip's variable.
    script.str("/clip.w").i32(3).op(0x1D).get("clip").str("w").op(0x4E).trace();
    const std::vector<std::string> lines = plugintest::RunScript(script);
    ASSERT_EQ(lines.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(lines[i], cases[i].value) << cases[i].name;
    EXPECT_EQ(lines.back(), "3");
}

TEST(Avm1Paths, Swf4KnowsNoTimelineNames)
{
    // In SWF 4 code `_root` and `this` are variables like any other: unset at first, then what was set.
    const Asm script = Asm().get("_root").trace().get("this").trace().get("_level0").trace()
                           .str("_root").str("r").op(0x1D).get("_root").trace()
                           .str("/:x").i32(5).op(0x1D).get("_level0:x").trace();
    EXPECT_EQ(plugintest::RunScript(script, 4),
        (std::vector<std::string> { "undefined", "undefined", "undefined", "r", "5" }));
}

} // namespace
