// Gradients worked out several pixels at once against the same rows worked out one pixel at a time by the plain
// rules: every byte must agree, for every kind, spread and focal point, at any angle and scale, over ramps with
// smooth, flat and jumping stretches, with and without a colour transform.
#include "render/GradientFill.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using namespace reelfinch::plugin;

namespace {

// Premultiplied pixels: smooth runs, flat runs and hard jumps, alpha at times below the colours' bytes' reach.
RampPixels RandomRamp(std::mt19937& random)
{
    RampPixels ramp {};
    uint32_t channels[4] = { uint32_t(random() % 256), uint32_t(random() % 256), uint32_t(random() % 256), 255 };
    for (uint32_t& entry : ramp) {
        switch (random() % 8) {
        case 0: // a jump
            for (uint32_t& c : channels)
                c = uint32_t(random() % 256);
            break;
        case 1:
        case 2: // the same again
            break;
        default: // a small step
            for (uint32_t& c : channels)
                c = uint32_t(std::clamp(int(c) + int(random() % 7) - 3, 0, 255));
        }
        const uint32_t a = channels[3];
        entry = a << 24;
        for (int i = 0; i < 3; ++i)
            entry |= (std::min(channels[i], a)) << (8 * i);
    }
    return ramp;
}

struct Picture {
    FillDef fill;
    RampPixels ramp {};
    ColorTransform cx;
    GradientPicture setup;
};

// A picture of a random gradient: the unit square placed anywhere from a few pixels to far beyond the picture,
// turned and skewed, the picture anywhere on the device.
void RandomPicture(std::mt19937& random, Picture& p)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    p.fill.kind = random() % 3 == 0 ? FillDef::Linear : FillDef::Radial;
    p.fill.spread = FillDef::Spread(random() % 3);
    p.ramp = RandomRamp(random);
    p.setup.fill = &p.fill;
    p.setup.ramp = &p.ramp;
    p.setup.focal = random() % 2 ? 0.0 : unit(random) * 1.96 - 0.98;
    // At times under a colour transform (the ramp then holds the colours' own bytes, which any will do for).
    if (random() % 4 == 0) {
        p.cx.mr = unit(random) * 2;
        p.cx.ma = unit(random);
        p.cx.ab = unit(random) - 0.5;
        p.setup.cx = &p.cx;
    }
    // Pixels per unit of the gradient square: from a few (many repeats, and positions up to thousands) to
    // thousands (a picture inside one stretch of the ramp).
    const double scale = std::pow(10.0, unit(random) * 4 - 0.5);
    cairo_matrix_t toDevice;
    cairo_matrix_init_rotate(&toDevice, random() % 2 ? unit(random) * 6.3 : 0);
    cairo_matrix_scale(&toDevice, scale, scale * (0.2 + unit(random) * 2));
    toDevice.xy += random() % 3 == 0 ? scale * (unit(random) - 0.5) : 0;
    toDevice.x0 = unit(random) * 300 - 50;
    toDevice.y0 = unit(random) * 300 - 50;
    p.setup.fromDevice = toDevice;
    cairo_matrix_invert(&p.setup.fromDevice);
    p.setup.left = int(random() % 200) - 20;
    p.setup.top = int(random() % 200) - 20;
    p.setup.width = 1 + int(random() % 97);
}

std::vector<uint32_t> Rows(const Picture& p, int height, bool plainly)
{
    const size_t stride = size_t(p.setup.width) + 3;
    std::vector<uint32_t> pixels(stride * size_t(height), 0xDEADBEEF);
    if (plainly)
        FillGradientRowsPlainly(p.setup, pixels.data(), stride, 0, height);
    else
        FillGradientRows(p.setup, pixels.data(), stride, 0, height);
    return pixels;
}

TEST(GradientFill, SeveralAtOnceMatchesOneByOne)
{
    std::mt19937 random(20261209);
    for (int n = 0; n < 400; ++n) {
        Picture p;
        RandomPicture(random, p);
        const int height = 1 + int(random() % 41);
        const std::vector<uint32_t> plain = Rows(p, height, true);
        const std::vector<uint32_t> fast = Rows(p, height, false);
        const size_t stride = size_t(p.setup.width) + 3;
        for (size_t i = 0; i < fast.size(); ++i)
            ASSERT_EQ(fast[i], plain[i]) << "picture " << n << " (kind " << p.fill.kind << ", spread "
                                         << p.fill.spread << ", focal " << p.setup.focal << ") pixel "
                                         << i % stride << ", " << i / stride;
    }
}

// Positions that land on the ramp's entries and halfway between them exactly, and on its ends, where the mix
// of two entries is decided by a rounding of a half.
TEST(GradientFill, EntriesAndHalvesMatchOneByOne)
{
    std::mt19937 random(7);
    for (const FillDef::Spread spread : { FillDef::Pad, FillDef::Reflect, FillDef::Repeat }) {
        Picture p;
        p.fill.kind = FillDef::Linear;
        p.fill.spread = spread;
        p.ramp = RandomRamp(random);
        p.setup.fill = &p.fill;
        p.setup.ramp = &p.ramp;
        // A quarter of an entry a pixel: the position of pixel i is i / 1024 - 1 / 8, exactly, so the ramp is
        // read at entry centres and halfway between them, from a little before it to half a ramp past it.
        cairo_matrix_init(&p.setup.fromDevice, 1.0 / 512, 1.0 / 4096, 0, 1, -1.25 - 1.0 / 1024, 0);
        p.setup.left = 0;
        p.setup.width = 1600;
        EXPECT_EQ(Rows(p, 5, false), Rows(p, 5, true)) << "spread " << spread;
        // The same along a radial gradient's x axis (the first row).
        p.fill.kind = FillDef::Radial;
        cairo_matrix_init(&p.setup.fromDevice, 1.0 / 1024, 0, 0, 1.0 / 1024, -0.125 - 0.5 / 1024, -0.5 / 1024);
        EXPECT_EQ(Rows(p, 3, false), Rows(p, 3, true)) << "spread " << spread;
    }
}

// Rows handed out in pieces, as the drawing thread and its helper share them, give the picture whole.
TEST(GradientFill, RowsInPiecesMatchTheWhole)
{
    std::mt19937 random(11);
    Picture p;
    RandomPicture(random, p);
    p.fill.kind = FillDef::Radial;
    const int height = 9;
    const std::vector<uint32_t> whole = Rows(p, height, true);
    const size_t stride = size_t(p.setup.width) + 3;
    std::vector<uint32_t> pieces(whole.size(), 0xDEADBEEF);
    for (const auto& [from, to] : { std::pair { 0, 3 }, std::pair { 3, 4 }, std::pair { 4, 9 } })
        FillGradientRows(p.setup, pieces.data(), stride, from, to);
    EXPECT_EQ(pieces, whole);
}

// Rows worked out only over stretches of them (as a stroke reaches): those pixels as the whole rows have them,
// the rest untouched, rows without stretches too.
TEST(GradientFill, StretchesMatchTheWholeRows)
{
    std::mt19937 random(13);
    for (int n = 0; n < 100; ++n) {
        Picture p;
        RandomPicture(random, p);
        const int height = 1 + int(random() % 20);
        const int width = p.setup.width;
        RowSpans spans;
        std::vector<bool> wanted(size_t(width) * size_t(height), false);
        for (int j = 0; j < height; ++j) {
            spans.rowStart.push_back(uint32_t(spans.spans.size()));
            for (int x = int(random() % 4); x < width; x += 1 + int(random() % 9)) {
                const int end = std::min(width, x + 1 + int(random() % 12));
                spans.spans.emplace_back(x, end);
                for (; x < end; ++x)
                    wanted[size_t(j) * size_t(width) + size_t(x)] = true;
            }
        }
        spans.rowStart.push_back(uint32_t(spans.spans.size()));
        const std::vector<uint32_t> whole = Rows(p, height, true);
        p.setup.spans = &spans;
        const std::vector<uint32_t> some = Rows(p, height, false);
        const size_t stride = size_t(width) + 3;
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) {
                const size_t at = size_t(j) * stride + size_t(i);
                ASSERT_EQ(some[at], wanted[size_t(j) * size_t(width) + size_t(i)] ? whole[at] : 0xDEADBEEF)
                    << "picture " << n << " pixel " << i << ", " << j;
            }
    }
}

} // namespace
