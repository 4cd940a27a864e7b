// The software QuickDraw: region arithmetic, drawing limited by the port's regions and origin, a pixel map that
// follows its window's size, and the conversions between global and local points.
#include "QuickDraw.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct RegionDeleter {
    void operator()(MacRegion* rgn) const { DisposeRgn(rgn); }
};
using Region = std::unique_ptr<MacRegion, RegionDeleter>;

Region RegionOf(std::vector<Rect> rects)
{
    Region rgn(NewRgn());
    for (const Rect& r : rects) {
        Region piece(NewRgn());
        RectRgn(piece.get(), &r);
        UnionRgn(rgn.get(), piece.get(), rgn.get());
    }
    return rgn;
}

struct WindowDeleter {
    void operator()(MacWindow* window) const { DisposeWindow(window); }
};
using Window = std::unique_ptr<MacWindow, WindowDeleter>;

Window MakeWindow(short left, short top, short width, short height)
{
    const Rect content = MakeRect(left, top, left + width, top + height);
    WindowRef ref = nullptr;
    EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &content, &ref), noErr);
    return Window(ref);
}

uint32_t PixelAt(CGrafPtr port, int x, int y)
{
    return port->pixels[static_cast<size_t>(y) * port->pixelWidth + x];
}

// How many of the port's pixels hold `value`.
int CountPixels(CGrafPtr port, uint32_t value)
{
    int count = 0;
    for (uint32_t pixel : port->pixels)
        count += pixel == value;
    return count;
}

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlack = 0xFF000000u;

} // namespace

TEST(QuickDrawRegions, ArithmeticMatchesPointCoverage)
{
    enum Op { Sect, Union, Diff };
    struct Case {
        const char* name;
        std::vector<Rect> a, b;
        Op op;
        std::vector<Rect> expected;
    };
    const std::vector<Case> cases = {
        { "overlapping union", { { 0, 0, 10, 10 } }, { { 5, 5, 15, 15 } }, Union,
            { { 0, 0, 10, 10 }, { 10, 5, 15, 15 }, { 5, 10, 10, 15 } } },
        { "overlapping sect", { { 0, 0, 10, 10 } }, { { 5, 5, 15, 15 } }, Sect, { { 5, 5, 10, 10 } } },
        { "hole punched", { { 0, 0, 30, 30 } }, { { 10, 10, 20, 20 } }, Diff,
            { { 0, 0, 10, 30 }, { 20, 0, 30, 30 }, { 10, 0, 20, 10 }, { 10, 20, 20, 30 } } },
        { "disjoint sect", { { 0, 0, 5, 5 } }, { { 10, 10, 20, 20 } }, Sect, {} },
        { "diff to nothing", { { 2, 2, 4, 4 } }, { { 0, 0, 10, 10 } }, Diff, {} },
        { "union of two pieces", { { 0, 0, 5, 5 }, { 0, 10, 5, 15 } }, { { 0, 3, 5, 12 } }, Union,
            { { 0, 0, 5, 15 } } },
        { "sect of two pieces", { { 0, 0, 5, 5 }, { 0, 10, 5, 15 } }, { { 0, 3, 5, 12 } }, Sect,
            { { 0, 3, 5, 5 }, { 0, 10, 5, 12 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Region a = RegionOf(c.a), b = RegionOf(c.b), result(NewRgn());
        if (c.op == Sect)
            SectRgn(a.get(), b.get(), result.get());
        else if (c.op == Union)
            UnionRgn(a.get(), b.get(), result.get());
        else
            DiffRgn(a.get(), b.get(), result.get());
        Region expected = RegionOf(c.expected);
        EXPECT_TRUE(EqualRgn(result.get(), expected.get()));
        EXPECT_EQ(EmptyRgn(result.get()), c.expected.empty());
        // The rectangle list stays disjoint: areas add up to the covered points.
        int area = 0, covered = 0;
        for (const Rect& r : result->rects)
            area += (r.bottom - r.top) * (r.right - r.left);
        for (short v = -2; v < 32; ++v)
            for (short h = -2; h < 32; ++h)
                covered += PtInRgn(Point { v, h }, result.get());
        EXPECT_EQ(area, covered);
    }
}

TEST(QuickDrawRegions, BoundsAndOffsetsClampAtThePlaneEdge)
{
    Region rgn = RegionOf({ { 0, 0, 10, 10 }, { 20, 30, 25, 40 } });
    Rect bounds;
    GetRegionBounds(rgn.get(), &bounds);
    EXPECT_TRUE((bounds.top == 0 && bounds.left == 0 && bounds.bottom == 25 && bounds.right == 40));

    // Moving toward the edge of the 16-bit plane squeezes rectangles against it instead of wrapping them around.
    OffsetRgn(rgn.get(), 32760, 0);
    GetRegionBounds(rgn.get(), &bounds);
    EXPECT_EQ(bounds.left, 32760);
    EXPECT_EQ(bounds.right, INT16_MAX);
    EXPECT_EQ(rgn->rects.size(), 1u) << "the piece pushed wholly past the edge flattens and goes";

    Region empty(NewRgn());
    GetRegionBounds(empty.get(), &bounds);
    EXPECT_TRUE(EmptyRect(&bounds));
}

TEST(QuickDrawPort, NewWindowPortCoversItsContent)
{
    Window window = MakeWindow(100, 50, 40, 30);
    CGrafPtr port = GetWindowPort(window.get());
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(GetWindowFromPort(port), window.get());
    Rect bounds;
    GetPortBounds(port, &bounds);
    EXPECT_TRUE((bounds.top == 0 && bounds.left == 0 && bounds.bottom == 30 && bounds.right == 40));
    PixMapHandle map = GetPortPixMap(port);
    EXPECT_EQ(GetPixRowBytes(map), 40 * 4);
    EXPECT_EQ(GetPixBaseAddr(map), port->pixels.data());
    EXPECT_EQ(port->pixels.size(), 40u * 30u);
    EXPECT_NE(window->windowNumber, 0u);
    Window other = MakeWindow(0, 0, 1, 1);
    EXPECT_NE(other->windowNumber, window->windowNumber);
}

TEST(QuickDrawPort, PaintRectHonoursOriginClipAndVisibleRegion)
{
    Window window = MakeWindow(0, 0, 40, 30);
    CGrafPtr port = GetWindowPort(window.get());
    SetPort(port);
    ForeColor(redColor);

    // Local (0, 0) is pixel (10, 5) once the origin is (-10, -5).
    SetOrigin(-10, -5);
    const Rect clip { 0, 0, 4, 6 }; // local
    ClipRect(&clip);
    const Rect everything = kWideOpenRect;
    PaintRect(&everything);
    EXPECT_EQ(CountPixels(port, kRed), 4 * 6);
    EXPECT_EQ(PixelAt(port, 10, 5), kRed);
    EXPECT_EQ(PixelAt(port, 15, 8), kRed);
    EXPECT_EQ(PixelAt(port, 16, 5), kBlack);
    EXPECT_EQ(PixelAt(port, 9, 5), kBlack);

    // The visible region followed the pixels when the origin moved; limiting it limits drawing too.
    Region vis(NewRgn());
    GetPortVisibleRegion(port, vis.get());
    Rect visBounds;
    GetRegionBounds(vis.get(), &visBounds);
    EXPECT_TRUE((visBounds.left == -10 && visBounds.top == -5 && visBounds.right == 30 && visBounds.bottom == 25));
    Region narrow = RegionOf({ { 0, 0, 2, 2 } });
    SetPortVisibleRegion(port, narrow.get());
    ForeColor(greenColor);
    PaintRect(&everything);
    EXPECT_EQ(CountPixels(port, kGreen), 4);

    // Drawing reaches no pixel outside the map however far the clip goes.
    SetPortVisibleRegion(port, vis.get());
    ClipRect(&everything);
    const Rect huge = MakeRect(-30000, -30000, 30000, 30000);
    EraseRect(&huge);
    EXPECT_EQ(CountPixels(port, 0xFFFFFFFFu), 40 * 30);
    SetPort(nullptr);
}

TEST(QuickDrawPort, FrameRectDrawsOnlyTheEdges)
{
    Window window = MakeWindow(0, 0, 10, 10);
    SetPort(GetWindowPort(window.get()));
    ForeColor(redColor);
    PenSize(2, 1);
    const Rect r { 2, 2, 8, 8 };
    FrameRect(&r);
    CGrafPtr port = GetWindowPort(window.get());
    EXPECT_EQ(CountPixels(port, kRed), 2 * 6 + 2 * 2 * 4); // rows of 6 at top and bottom, two columns each side
    EXPECT_EQ(PixelAt(port, 4, 4), kBlack);
    SetPort(nullptr);
}

TEST(QuickDrawPort, PixelMapFollowsTheWindowSize)
{
    Window window = MakeWindow(0, 0, 4, 3);
    CGrafPtr port = GetWindowPort(window.get());
    SetPort(port);
    ForeColor(redColor);
    const Rect all { 0, 0, 3, 4 };
    PaintRect(&all);

    SizeWindow(window.get(), 6, 2, false);
    EXPECT_EQ(port->pixelWidth, 6);
    EXPECT_EQ(port->pixelHeight, 2);
    EXPECT_EQ(GetPixRowBytes(GetPortPixMap(port)), 6 * 4);
    EXPECT_EQ(GetPixBaseAddr(GetPortPixMap(port)), port->pixels.data());
    EXPECT_EQ(PixelAt(port, 3, 1), kRed) << "pixels both sizes share are kept";
    EXPECT_EQ(PixelAt(port, 4, 0), kBlack) << "new pixels start black";
    Region vis(NewRgn());
    Region whole = RegionOf({ { 0, 0, 2, 6 } });
    EXPECT_TRUE(EqualRgn(GetPortVisibleRegion(port, vis.get()), whole.get()));

    // Absurd sizes are bounded, never negative.
    SizeWindow(window.get(), -5, 0, false);
    EXPECT_EQ(port->pixels.size(), 0u);
    PaintRect(&all);
    SetPort(nullptr);
}

TEST(QuickDrawPort, GlobalAndLocalPointsRoundTrip)
{
    Window window = MakeWindow(0, 0, 100, 80);
    MoveWindow(window.get(), 300, 200, false);
    SetPort(GetWindowPort(window.get()));
    SetOrigin(-20, -10); // the plug-in's area starts 20 pixels right and 10 down in the window
    Point pt { 215, 325 }; // global: 25 right and 15 down of the window's content
    GlobalToLocal(&pt);
    EXPECT_EQ(pt.h, 5);
    EXPECT_EQ(pt.v, 5);
    LocalToGlobal(&pt);
    EXPECT_EQ(pt.h, 325);
    EXPECT_EQ(pt.v, 215);

    // A point that lands outside 16 bits is clamped, not wrapped to the other side of the plane.
    MoveWindow(window.get(), -30000, -30000, false);
    Point far { 32000, 32000 };
    GlobalToLocal(&far);
    EXPECT_EQ(far.h, INT16_MAX);
    EXPECT_EQ(far.v, INT16_MAX);
    SetPort(nullptr);
}

TEST(QuickDrawWindow, InvalidationIsKeptInContentCoordinates)
{
    Window window = MakeWindow(0, 0, 50, 50);
    MoveWindow(window.get(), 100, 100, false);
    SetPort(GetWindowPort(window.get()));
    SetOrigin(-10, -10);
    const Rect local { 0, 0, 5, 5 };
    InvalWindowRect(window.get(), &local);
    Region update(NewRgn());
    GetWindowRegion(window.get(), kWindowUpdateRgn, update.get());
    Region expected = RegionOf({ { 110, 110, 115, 115 } }); // global
    EXPECT_TRUE(EqualRgn(update.get(), expected.get()));

    // Validation after the origin moved back still names the same pixels when given in the new local terms.
    SetOrigin(0, 0);
    const Rect same { 10, 10, 15, 15 };
    ValidWindowRect(window.get(), &same);
    GetWindowRegion(window.get(), kWindowUpdateRgn, update.get());
    EXPECT_TRUE(EmptyRgn(update.get()));
    SetPort(nullptr);
}

TEST(QuickDrawCopyBits, CopiesScaledAndLimitedByTheDestinationPort)
{
    std::vector<uint32_t> source = { kRed, kGreen, kGreen, kRed }; // 2 x 2
    PixMap src { source.data(), 2 * 4, Rect { 0, 0, 2, 2 }, 32 };
    Window window = MakeWindow(0, 0, 8, 8);
    CGrafPtr port = GetWindowPort(window.get());
    SetPort(port);
    const Rect clip { 0, 0, 8, 6 }; // the two right columns are clipped
    ClipRect(&clip);
    const Rect dst { 0, 0, 4, 8 }; // each source pixel becomes 4 wide and 2 high
    const Rect srcRect { 0, 0, 2, 2 };
    CopyBits(&src, GetPortBitMapForCopyBits(port), &srcRect, &dst, srcCopy, nullptr);
    EXPECT_EQ(PixelAt(port, 0, 0), kRed);
    EXPECT_EQ(PixelAt(port, 3, 1), kRed);
    EXPECT_EQ(PixelAt(port, 4, 0), kGreen);
    EXPECT_EQ(PixelAt(port, 5, 3), kRed);
    EXPECT_EQ(PixelAt(port, 6, 0), kBlack) << "clipped";
    EXPECT_EQ(PixelAt(port, 0, 4), kBlack) << "outside the destination rectangle";
    SetPort(nullptr);
}

TEST(QuickDrawPort, DisposingTheCurrentPortLeavesNoneCurrent)
{
    Window window = MakeWindow(0, 0, 4, 4);
    SetPort(GetWindowPort(window.get()));
    window.reset();
    GrafPtr current = reinterpret_cast<GrafPtr>(1);
    GetPort(&current);
    EXPECT_EQ(current, nullptr);
    const Rect r { 0, 0, 4, 4 };
    PaintRect(&r); // no port: nothing to draw on, and no crash
    Point pt { 1, 2 };
    GlobalToLocal(&pt);
    EXPECT_EQ(pt.h, 2);
}
