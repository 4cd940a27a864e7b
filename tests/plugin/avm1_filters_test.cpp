// Filter objects of scripts reaching the renderer: a clip's `filters` list written and read back as copies, what
// is left out of it, and BitmapData.applyFilter drawing through the renderer's filter code.
#include "Avm1Assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using plugintest::Asm;

// new flash.filters.CLS(args...)
Asm NewFilter(const std::string& cls, const std::vector<Asm>& args)
{
    Asm a;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        a.append(*it);
    return a.i32(int32_t(args.size())).get("flash").str("filters").op(0x4E).str(cls).op(0x53);
}

// [items...]
Asm NewArray(const std::vector<Asm>& items)
{
    Asm a;
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        a.append(*it);
    return a.i32(int32_t(items.size())).op(0x42);
}

Asm Num(double v) { return Asm().num(v); }

// c.filters = value
Asm SetFilters(const Asm& value)
{
    return Asm().get("c").str("filters").append(value).op(0x4F);
}

// trace(c.filters[index].member)
Asm TraceMember(int index, const std::string& member)
{
    return Asm().get("c").str("filters").op(0x4E).i32(index).op(0x4E).str(member).op(0x4E).trace();
}

TEST(Avm1Filters, ClipFilterListsAreCopiedBothWays)
{
    struct Case {
        const char* what;
        Asm script;
        std::vector<std::string> expected;
    };
    const Asm glow = NewFilter("GlowFilter",
        { Num(0x00FF00), Num(0.5), Num(10), Num(12), Num(3), Num(2), Asm().boolean(true), Asm().boolean(false) });
    const Case cases[] = {
        { "a glow's settings survive the renderer's form",
            SetFilters(NewArray({ glow }))
                .append(TraceMember(0, "color"))
                .append(TraceMember(0, "alpha"))
                .append(TraceMember(0, "blurY"))
                .append(TraceMember(0, "strength"))
                .append(TraceMember(0, "quality"))
                .append(TraceMember(0, "inner")),
            { "65280", "0.498039215686275", "12", "3", "2", "true" } },
        { "changing a filter read from the list changes nothing",
            SetFilters(NewArray({ glow }))
                .get("c").str("filters").op(0x4E).i32(0).op(0x4E).str("blurX").num(1).op(0x4F)
                .append(TraceMember(0, "blurX")),
            { "10" } },
        { "changing a filter after writing the list changes nothing",
            Asm().str("f").append(glow).op(0x1D)
                .append(SetFilters(NewArray({ Asm().get("f") })))
                .get("f").str("blurX").num(2).op(0x4F)
                .append(TraceMember(0, "blurX")),
            { "10" } },
        { "elements that are no drawable filters are left out",
            SetFilters(NewArray({ Num(1), NewFilter("BevelFilter", {}), Asm().i32(0).op(0x43),
                           NewFilter("BitmapFilter", {}) }))
                .get("c").str("filters").op(0x4E).str("length").op(0x4E).trace()
                .append(TraceMember(0, "type")),
            { "1", "inner" } },
        { "a value that is no list leaves the filters as they were",
            SetFilters(NewArray({ NewFilter("BlurFilter", {}) }))
                .append(SetFilters(Num(5)))
                .get("c").str("filters").op(0x4E).str("length").op(0x4E).trace(),
            { "1" } },
        { "a bevel drawn over its object and a convolution's kernel",
            Asm().str("b").append(NewFilter("BevelFilter", {})).op(0x1D)
                .get("b").str("type").str("full").op(0x4F)
                .str("k").append(NewFilter("ConvolutionFilter",
                                     { Num(2), Num(1), NewArray({ Num(1), Num(-1) }), Num(3) }))
                .op(0x1D)
                .append(SetFilters(NewArray({ Asm().get("b"), Asm().get("k") })))
                .append(TraceMember(0, "type"))
                .append(TraceMember(1, "matrix"))
                .append(TraceMember(1, "divisor")),
            { "full", "1,-1", "3" } },
    };
    for (const Case& c : cases) {
        Asm script = Asm().i32(1).str("c").i32(2).get("this").str("createEmptyMovieClip").op(0x52).op(0x17);
        script.append(c.script);
        EXPECT_EQ(plugintest::RunScript(script), c.expected) << c.what;
    }
}

TEST(Avm1Filters, ApplyFilterDrawsThroughTheColourMatrix)
{
    // b = new BitmapData(3, 2, false, 0x102030); a matrix that swaps red and blue, applied to the left two
    // columns and written one pixel to the right: the first column keeps its colour.
    const Asm point = Asm().num(0).num(1).i32(2).get("flash").str("geom").op(0x4E).str("Point").op(0x53);
    const Asm rect = Asm().num(2).num(2).num(0).num(0).i32(4).get("flash").str("geom").op(0x4E).str("Rectangle")
                         .op(0x53);
    const Asm swap = NewFilter("ColorMatrixFilter",
        { NewArray({ Num(0), Num(0), Num(1), Num(0), Num(0), Num(0), Num(1), Num(0), Num(0), Num(0), Num(1), Num(0),
            Num(0), Num(0), Num(0), Num(0), Num(0), Num(0), Num(1), Num(0) }) });
    Asm script;
    script.str("b").num(0x102030).boolean(false).num(2).num(3).i32(4).get("flash").str("display").op(0x4E)
        .str("BitmapData").op(0x53).op(0x1D);
    script.append(swap).append(point).append(rect).get("b").i32(4).get("b").str("applyFilter").op(0x52).trace();
    for (int x = 0; x < 3; ++x)
        script.num(0).num(x).i32(2).get("b").str("getPixel").op(0x52).trace();
    // Anything but a filter is refused.
    script.num(1).append(point).append(rect).get("b").i32(4).get("b").str("applyFilter").op(0x52).trace();
    EXPECT_EQ(plugintest::RunScript(script),
        (std::vector<std::string> { "0", std::to_string(0x102030), std::to_string(0x302010),
            std::to_string(0x302010), "-1" }));
}

} // namespace
