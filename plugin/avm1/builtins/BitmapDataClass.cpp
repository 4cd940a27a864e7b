// flash.display.BitmapData: pixels made and changed by scripts, shown by clips (attachBitmap) and used as fills
// (beginBitmapFill). Pixels are kept premultiplied, as the player keeps them, so a pixel read back after a write
// with partial alpha shows the same rounding.
#include "avm1/builtins/BitmapData.h"

#include "avm1/builtins/FilterClasses.h"
#include "avm1/builtins/NativeData.h"
#include "timeline/MoviePlayer.h"

#include "SWFObject.h"
#include "TagCodes.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

namespace reelfinch::avm1 {

namespace {

// Largest bitmaps: each side up to 2880 pixels before SWF 10; from SWF 10, sides up to 8191 and at most
// 16777215 pixels in all.
constexpr int kMaxSideSwf9 = 2880;
constexpr int kMaxSideSwf10 = 8191;
constexpr long kMaxPixelsSwf10 = 16777215;

class BitmapState final : public NativeData
{
public:
    std::shared_ptr<plugin::BitmapPixels> pixels;
    bool disposed = false;
};

BitmapState* StateOf(const Value& self)
{
    BitmapState* s = NativeOf<BitmapState>(self);
    return s && s->pixels && !s->disposed ? s : nullptr;
}

int Int(Machine& m, const Value& v)
{
    const double n = m.toNumber(v);
    return std::isfinite(n) ? int(std::clamp(std::trunc(n), -1e9, 1e9)) : 0;
}

// A rectangle object's x, y, width and height, in whole pixels.
struct Box {
    int x = 0, y = 0, w = 0, h = 0;
};

Box ReadBox(Machine& m, const Value& rect)
{
    return { Int(m, m.getMember(rect, "x")), Int(m, m.getMember(rect, "y")), Int(m, m.getMember(rect, "width")),
        Int(m, m.getMember(rect, "height")) };
}

// A box with a negative width or height reaches that far back from its corner (fillRect and colorTransform
// draw it so).
Box Normalized(Box b)
{
    if (b.w < 0) {
        b.x += b.w;
        b.w = -b.w;
    }
    if (b.h < 0) {
        b.y += b.h;
        b.h = -b.h;
    }
    return b;
}

// Cuts a box to the bitmap's extent.
Box Clipped(Box b, const plugin::BitmapPixels& p)
{
    // In 64 bits: a far position plus a large size passes the 32-bit range.
    const int x0 = std::max(b.x, 0);
    const int y0 = std::max(b.y, 0);
    const int x1 = int(std::min<int64_t>(int64_t(b.x) + std::max(b.w, 0), p.width()));
    const int y1 = int(std::min<int64_t>(int64_t(b.y) + std::max(b.h, 0), p.height()));
    return { x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0) };
}

// Source over destination on premultiplied pixels.
uint32_t Over(uint32_t src, uint32_t dst)
{
    const uint32_t keep = 255 - (src >> 24);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t s = (src >> shift) & 0xFF;
        const uint32_t d = (dst >> shift) & 0xFF;
        out |= std::min<uint32_t>(255, s + d * keep / 255) << shift;
    }
    return out;
}

Value Construct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || argc < 2)
        return Value::null();
    const int w = Int(m, args[0]);
    const int h = Int(m, args[1]);
    const bool fits = m.version() >= 10 ? w <= kMaxSideSwf10 && h <= kMaxSideSwf10 && long(w) * h <= kMaxPixelsSwf10
                                        : w <= kMaxSideSwf9 && h <= kMaxSideSwf9;
    if (w <= 0 || h <= 0 || !fits)
        return Value::null(); // `new` gives undefined
    // An object already of another native kind (a clip the function was called on, say) stays what it is.
    if (HasNativeKind(self.asObject()) && !NativeOf<BitmapState>(self))
        return Value();
    const bool transparent = argc < 3 || m.toBoolean(args[2]);
    const uint32_t fill = argc < 4 ? 0xFFFFFFFFu : uint32_t(m.toInt32(args[3]));
    BitmapState* state = AttachNative<BitmapState>(m, self.asObject());
    state->pixels = std::make_shared<plugin::BitmapPixels>(w, h, transparent, fill);
    return Value();
}

Value Width(Machine&, const Value& self, const Value*, int)
{
    BitmapState* s = StateOf(self);
    return Value(s ? double(s->pixels->width()) : -1.0);
}

Value Height(Machine&, const Value& self, const Value*, int)
{
    BitmapState* s = StateOf(self);
    return Value(s ? double(s->pixels->height()) : -1.0);
}

Value Transparent(Machine&, const Value& self, const Value*, int)
{
    BitmapState* s = StateOf(self);
    return s ? Value(s->pixels->transparent()) : Value(-1.0);
}

Value RectangleOf(Machine& m, const Value& self, const Value*, int)
{
    BitmapState* s = StateOf(self);
    if (!s)
        return Value(-1.0);
    Value ctor = m.getMember(Value(m.m_Internal), "__flashGeomRectangle");
    const Value parts[4] = { Value(0.0), Value(0.0), Value(double(s->pixels->width())),
        Value(double(s->pixels->height())) };
    return m.construct(ctor, parts, 4);
}

Value GetPixel(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    if (!s)
        return Value(-1.0);
    return Value(double(s->pixels->get(Int(m, Arg(args, argc, 0)), Int(m, Arg(args, argc, 1))) & 0xFFFFFF));
}

Value GetPixel32(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    if (!s)
        return Value(-1.0);
    return Value(double(int32_t(s->pixels->get(Int(m, Arg(args, argc, 0)), Int(m, Arg(args, argc, 1))))));
}

Value SetPixelWith(Machine& m, const Value& self, const Value* args, int argc, bool withAlpha)
{
    BitmapState* s = StateOf(self);
    if (!s || argc < 3)
        return Value();
    const int x = Int(m, args[0]);
    const int y = Int(m, args[1]);
    uint32_t c = uint32_t(m.toInt32(args[2]));
    if (!withAlpha)
        c = (s->pixels->get(x, y) & 0xFF000000u) | (c & 0xFFFFFF);
    s->pixels->set(x, y, c);
    s->pixels->changed();
    return Value();
}

Value SetPixel(Machine& m, const Value& self, const Value* args, int argc)
{
    return SetPixelWith(m, self, args, argc, false);
}

Value SetPixel32(Machine& m, const Value& self, const Value* args, int argc)
{
    return SetPixelWith(m, self, args, argc, true);
}

Value FillRect(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    if (!s || argc < 2 || !args[0].isObject())
        return Value();
    plugin::BitmapPixels& p = *s->pixels;
    const Box b = Clipped(Normalized(ReadBox(m, args[0])), p);
    const uint32_t c = uint32_t(m.toInt32(args[1]));
    for (int y = b.y; y < b.y + b.h; ++y)
        for (int x = b.x; x < b.x + b.w; ++x)
            p.set(x, y, c);
    p.changed();
    return Value();
}

// colorTransform(rect, transform): the transform's fields are read by name, so any object with them serves.
Value ColorTransformPixels(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    if (!s || argc < 2 || !args[0].isObject() || !args[1].isObject())
        return Value();
    static constexpr const char* kFields[8] = { "redMultiplier", "greenMultiplier", "blueMultiplier",
        "alphaMultiplier", "redOffset", "greenOffset", "blueOffset", "alphaOffset" };
    double transform[8];
    for (int i = 0; i < 8; ++i)
        transform[i] = m.toNumber(m.getMember(args[1], kFields[i]));
    const Box b = Normalized(ReadBox(m, args[0]));
    s->pixels->colorTransform(b.x, b.y, b.w, b.h, transform);
    return Value();
}

// copyPixels(source, sourceRect, destPoint[, alphaBitmap, alphaPoint, mergeAlpha])
Value CopyPixels(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    BitmapState* from = argc > 0 ? StateOf(args[0]) : nullptr;
    if (!s || !from || argc < 3 || !args[1].isObject() || !args[2].isObject())
        return Value();
    plugin::BitmapPixels& dst = *s->pixels;
    const plugin::BitmapPixels& src = *from->pixels;
    const Box asked = ReadBox(m, args[1]);
    int dx = Int(m, m.getMember(args[2], "x"));
    int dy = Int(m, m.getMember(args[2], "y"));
    // Only a transparent alpha bitmap has alpha to give.
    BitmapState* alpha = argc > 3 ? StateOf(args[3]) : nullptr;
    if (alpha && !alpha->pixels->transparent())
        alpha = nullptr;
    int ax = 0, ay = 0;
    if (alpha && argc > 4 && args[4].isObject()) {
        ax = Int(m, m.getMember(args[4], "x"));
        ay = Int(m, m.getMember(args[4], "y"));
    }
    // Only pixels of the source are copied: the rectangle is cut to it first (a huge rectangle costs nothing),
    // the points moving with its corner.
    const Box b = Clipped(asked, src);
    dx += b.x - asked.x;
    dy += b.y - asked.y;
    ax += b.x - asked.x;
    ay += b.y - asked.y;
    const bool merge = argc > 5 && m.toBoolean(args[5]);
    // Copied pixels are read first, so a bitmap copied onto itself reads none of what it wrote.
    std::vector<uint32_t> copied(size_t(std::max(b.w, 0)) * size_t(std::max(b.h, 0)));
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) {
            const int sx = b.x + x, sy = b.y + y;
            uint32_t pixel = 0;
            if (sx >= 0 && sy >= 0 && sx < src.width() && sy < src.height())
                pixel = src.data()[size_t(sy) * size_t(src.width()) + size_t(sx)];
            copied[size_t(y) * size_t(b.w) + size_t(x)] = pixel;
        }
    for (int y = 0; y < b.h; ++y) {
        for (int x = 0; x < b.w; ++x) {
            const int tx = dx + x, ty = dy + y;
            if (tx < 0 || ty < 0 || tx >= dst.width() || ty >= dst.height())
                continue;
            const int sx = b.x + x, sy = b.y + y;
            if (sx < 0 || sy < 0 || sx >= src.width() || sy >= src.height())
                continue;
            uint32_t pixel = copied[size_t(y) * size_t(b.w) + size_t(x)];
            if (alpha) {
                // The alpha bitmap's alpha scales the copied pixel's; where it does not reach, nothing is copied.
                const plugin::BitmapPixels& a = *alpha->pixels;
                const int px = ax + x, py = ay + y;
                if (px < 0 || py < 0 || px >= a.width() || py >= a.height())
                    continue;
                const uint32_t k = a.data()[size_t(py) * size_t(a.width()) + size_t(px)] >> 24;
                const uint32_t argb = plugin::BitmapPixels::Unpremultiply(pixel);
                pixel = plugin::BitmapPixels::Premultiply(((argb >> 24) * k / 255) << 24 | (argb & 0xFFFFFF));
            }
            uint32_t& out = dst.data()[size_t(ty) * size_t(dst.width()) + size_t(tx)];
            // An opaque bitmap cannot keep the pixel's alpha: the pixel is laid over what was there.
            if (merge || !dst.transparent())
                pixel = Over(pixel, out);
            if (!dst.transparent())
                pixel |= 0xFF000000u;
            out = pixel;
        }
    }
    dst.changed();
    return Value();
}

// applyFilter(source, sourceRect, destPoint, filter): the source rectangle's pixels drawn through the filter, the
// way the renderer filters a clip's picture, written at destPoint. 0 when applied, -1 when an argument is wrong.
Value ApplyFilter(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    BitmapState* from = argc > 0 ? StateOf(args[0]) : nullptr;
    plugin::Filter filter;
    if (!s || !from || argc < 4 || !args[1].isObject() || !args[2].isObject() || !FilterFromObject(args[3], filter))
        return Value(-1.0);
    plugin::BitmapPixels& dst = *s->pixels;
    const plugin::BitmapPixels& src = *from->pixels;
    const Box asked = ReadBox(m, args[1]);
    const Box b = Clipped(asked, src);
    const int dx = Int(m, m.getMember(args[2], "x")) + b.x - asked.x;
    const int dy = Int(m, m.getMember(args[2], "y")) + b.y - asked.y;
    if (b.w <= 0 || b.h <= 0)
        return Value(0.0);
    cairo_surface_t* work = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, b.w, b.h);
    if (cairo_surface_status(work) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(work);
        return Value(-1.0);
    }
    cairo_surface_flush(work);
    const int stride = cairo_image_surface_get_stride(work);
    unsigned char* bytes = cairo_image_surface_get_data(work);
    auto row = [&](int y) { return reinterpret_cast<uint32_t*>(bytes + size_t(y) * size_t(stride)); };
    for (int y = 0; y < b.h; ++y)
        std::copy_n(src.data() + size_t(b.y + y) * size_t(src.width()) + size_t(b.x), size_t(b.w), row(y));
    cairo_surface_mark_dirty(work);
    plugin::ApplyFilters(work, { filter }, 1, 1);
    cairo_surface_flush(work);
    for (int y = 0; y < b.h; ++y) {
        const int ty = dy + y;
        if (ty < 0 || ty >= dst.height())
            continue;
        for (int x = 0; x < b.w; ++x) {
            const int tx = dx + x;
            if (tx < 0 || tx >= dst.width())
                continue;
            uint32_t pixel = row(y)[x];
            if (!dst.transparent())
                pixel |= 0xFF000000u;
            dst.data()[size_t(ty) * size_t(dst.width()) + size_t(tx)] = pixel;
        }
    }
    cairo_surface_destroy(work);
    dst.changed();
    return Value(0.0);
}

Value Clone(Machine& m, const Value& self, const Value*, int)
{
    BitmapState* s = StateOf(self);
    if (!s)
        return Value();
    Value ctor = m.getMember(Value(m.m_Internal), "__flashDisplayBitmapData");
    const plugin::BitmapPixels& p = *s->pixels;
    const Value size[3] = { Value(double(p.width())), Value(double(p.height())), Value(p.transparent()) };
    Value copy = m.construct(ctor, size, 3);
    if (BitmapState* c = StateOf(copy)) {
        std::copy(p.data(), p.data() + size_t(p.width()) * size_t(p.height()), c->pixels->data());
        c->pixels->changed();
    }
    return copy;
}

// BitmapData.loadBitmap(name): a new bitmap holding the pixels of the bitmap character exported by that name;
// bitmaps of kinds that carry alpha are transparent.
Value LoadBitmap(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1)
        return Value();
    const uint16_t id = m.player().exportedCharacter(m.toString(args[0]), m.caseSensitive());
    const CTag* tag = id ? m.player().character(id) : nullptr;
    cairo_surface_t* surface = tag ? m.player().bitmapSurface(id) : nullptr;
    if (!surface || cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
        return Value();
    const int w = cairo_image_surface_get_width(surface);
    const int h = cairo_image_surface_get_height(surface);
    const bool transparent = tag->m_TagCode == kTagDefineBitsLossless2 || tag->m_TagCode == kTagDefineBitsJPEG3
        || tag->m_TagCode == kTagDefineBitsJPEG4;
    Value ctor = m.getMember(Value(m.m_Internal), "__flashDisplayBitmapData");
    const Value size[3] = { Value(double(w)), Value(double(h)), Value(transparent) };
    Value made = m.construct(ctor, size, 3);
    BitmapState* state = StateOf(made);
    if (!state || state->pixels->width() != w || state->pixels->height() != h)
        return made;
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        uint32_t* out = state->pixels->data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x)
            out[x] = transparent ? row[x] : row[x] | 0xFF000000u;
    }
    state->pixels->changed();
    return made;
}

Value Dispose(Machine&, const Value& self, const Value*, int)
{
    if (BitmapState* s = StateOf(self)) {
        s->pixels->release();
        s->disposed = true;
    }
    return Value();
}

// floodFill(x, y, color): the 4-connected area of the pixel's colour takes the new colour.
Value FloodFill(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    if (!s || argc < 3)
        return Value();
    plugin::BitmapPixels& p = *s->pixels;
    const int x0 = Int(m, args[0]);
    const int y0 = Int(m, args[1]);
    if (x0 < 0 || y0 < 0 || x0 >= p.width() || y0 >= p.height())
        return Value();
    uint32_t* data = p.data();
    const uint32_t from = data[size_t(y0) * size_t(p.width()) + size_t(x0)];
    p.set(x0, y0, uint32_t(m.toInt32(args[2])));
    const uint32_t to = data[size_t(y0) * size_t(p.width()) + size_t(x0)];
    data[size_t(y0) * size_t(p.width()) + size_t(x0)] = from;
    if (from == to)
        return Value();
    std::vector<std::pair<int, int>> stack { { x0, y0 } };
    while (!stack.empty()) {
        const auto [x, y] = stack.back();
        stack.pop_back();
        if (x < 0 || y < 0 || x >= p.width() || y >= p.height())
            continue;
        uint32_t& pixel = data[size_t(y) * size_t(p.width()) + size_t(x)];
        if (pixel != from)
            continue;
        pixel = to;
        stack.insert(stack.end(), { { x + 1, y }, { x - 1, y }, { x, y + 1 }, { x, y - 1 } });
    }
    p.changed();
    return Value();
}

// noise(randomSeed[, low, high, channelOptions, grayScale])
Value Noise(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    if (!s || argc < 1)
        return Value();
    const int low = argc > 1 ? Int(m, args[1]) : 0;
    const int high = argc > 2 ? Int(m, args[2]) : 255;
    const int channels = argc > 3 ? m.toInt32(args[3]) : 7;
    const bool grey = argc > 4 && m.toBoolean(args[4]);
    s->pixels->noise(m.toInt32(args[0]), low, high, channels, grey);
    return Value();
}

// The pixel copied from `src` at (sx, sy), 0 outside it.
uint32_t RawAt(const plugin::BitmapPixels& p, int x, int y)
{
    if (x < 0 || y < 0 || x >= p.width() || y >= p.height())
        return 0;
    return p.data()[size_t(y) * size_t(p.width()) + size_t(x)];
}

// threshold(source, sourceRect, destPoint, operation, threshold[, color, mask, copySource]): source pixels whose
// masked value passes the test against the masked threshold take `color` in this bitmap; the others are copied
// when copySource is set. Gives how many passed. The player places the result at the source rectangle's own
// position whatever the destination point, and compares "!=" against the threshold without its mask.
Value Threshold(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    BitmapState* from = argc > 0 ? StateOf(args[0]) : nullptr;
    if (!s || !from || argc < 5 || !args[1].isObject())
        return Value(0.0);
    const std::string op = m.toString(args[3]);
    const uint32_t mask = argc > 6 ? uint32_t(m.toInt32(args[6])) : 0xFFFFFFFFu;
    const uint32_t limit = uint32_t(m.toInt32(args[4]));
    const uint32_t masked = limit & mask;
    const uint32_t color = argc > 5 ? uint32_t(m.toInt32(args[5])) : 0;
    const bool copySource = argc > 7 && m.toBoolean(args[7]);
    std::function<bool(uint32_t)> passes;
    if (op == "<")
        passes = [masked](uint32_t v) { return v < masked; };
    else if (op == "<=")
        passes = [masked](uint32_t v) { return v <= masked; };
    else if (op == ">")
        passes = [masked](uint32_t v) { return v > masked; };
    else if (op == ">=")
        passes = [masked](uint32_t v) { return v >= masked; };
    else if (op == "==")
        passes = [masked](uint32_t v) { return v == masked; };
    else if (op == "!=")
        passes = [limit](uint32_t v) { return v != limit; };
    else
        return Value(0.0);
    plugin::BitmapPixels& dst = *s->pixels;
    const plugin::BitmapPixels& src = *from->pixels;
    const Box b = Clipped(Clipped(ReadBox(m, args[1]), src), dst);
    // Read before writing, so a bitmap tested against itself sees none of its new pixels.
    std::vector<uint32_t> read(size_t(b.w) * size_t(b.h));
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x)
            read[size_t(y) * size_t(b.w) + size_t(x)] = src.get(b.x + x, b.y + y);
    double count = 0;
    for (int y = 0; y < b.h; ++y) {
        for (int x = 0; x < b.w; ++x) {
            const uint32_t pixel = read[size_t(y) * size_t(b.w) + size_t(x)];
            if (passes(pixel & mask)) {
                dst.set(b.x + x, b.y + y, color);
                ++count;
            } else if (copySource) {
                dst.set(b.x + x, b.y + y, pixel);
            }
        }
    }
    dst.changed();
    return Value(count);
}

// pixelDissolve(source, sourceRect, destPoint[, randomSeed, numPixels, fillColor]): from the position the seed
// names in the region's dissolve order, numPixels + 1 pixels take the source's pixels (or fillColor when the
// source is this bitmap); gives the position reached, the seed of the next step. A region one pixel wide or
// tall is left as it is, as the player leaves it.
Value PixelDissolve(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    BitmapState* from = argc > 0 ? StateOf(args[0]) : nullptr;
    if (!s || !from)
        return Value(-1.0);
    if (argc < 3 || !args[1].isObject() || !args[2].isObject())
        return Value(-4.0);
    plugin::BitmapPixels& dst = *s->pixels;
    const plugin::BitmapPixels& src = *from->pixels;
    const double seedNumber = argc > 3 ? m.toNumber(args[3]) : 0;
    const int64_t seed = std::isfinite(seedNumber) ? int64_t(std::clamp(std::trunc(seedNumber), -4e18, 4e18)) : 0;
    if (argc < 5)
        return Value(double(seed));
    const int64_t count = std::max<int64_t>(0, m.toInt32(args[4]));
    const uint32_t fill = argc > 5 ? uint32_t(m.toInt32(args[5])) : 0;
    // The source rectangle within the source, moved to the destination point and cut to this bitmap.
    Box b = Clipped(ReadBox(m, args[1]), src);
    int dx = Int(m, m.getMember(args[2], "x"));
    int dy = Int(m, m.getMember(args[2], "y"));
    if (dx < 0) {
        b.x -= dx;
        b.w += dx;
        dx = 0;
    }
    if (dy < 0) {
        b.y -= dy;
        b.h += dy;
        dy = 0;
    }
    b.w = std::min(b.w, dst.width() - dx);
    b.h = std::min(b.h, dst.height() - dy);
    if (b.w <= 1 || b.h <= 1)
        return Value(double(seed));
    const int64_t area = int64_t(b.w) * b.h;
    const bool same = from == s;
    int64_t position = ((seed % area) + area) % area;
    const int64_t steps = std::min(count, area);
    for (int64_t i = 0; i <= steps; ++i) {
        const int64_t index = plugin::DissolveIndex(position + i, area);
        const int x = int(index % b.w), y = int(index / b.w);
        dst.set(dx + x, dy + y, same ? fill : src.get(b.x + x, b.y + y));
    }
    dst.changed();
    position = (position + count) % area;
    return Value(double(position));
}

// A point-like object of a hit test: own x and y properties (a prototype's are not looked at).
bool OwnPoint(Machine& m, const Value& v, int& x, int& y)
{
    if (!v.isObject() || !m.hasOwnProperty(v.asObject(), "x") || !m.hasOwnProperty(v.asObject(), "y"))
        return false;
    x = Int(m, m.getMember(v, "x"));
    y = Int(m, m.getMember(v, "y"));
    return true;
}

// An alpha passes a hit test's threshold when it reaches it. Tested at a point or against another bitmap, a
// fully transparent pixel never passes; inside a rectangle it does when the threshold is 0.
bool Solid(const plugin::BitmapPixels& p, int x, int y, uint32_t threshold, bool transparentCounts = false)
{
    if (x < 0 || y < 0 || x >= p.width() || y >= p.height())
        return false;
    const uint32_t a = RawAt(p, x, y) >> 24;
    return (a > 0 || transparentCounts) && a >= threshold;
}

// hitTest(firstPoint, firstAlphaThreshold, secondObject[, secondBitmapDataPoint, secondAlphaThreshold]): this
// bitmap placed at firstPoint against a point, a rectangle or another bitmap placed at its own point. Bad
// arguments give negative codes: -1 for a disposed bitmap, -2 for the first point, -3 for the second object,
// -4 for the second bitmap's point.
Value HitTest(Machine& m, const Value& self, const Value* args, int argc)
{
    BitmapState* s = StateOf(self);
    if (!s)
        return Value(-1.0);
    int fx = 0, fy = 0;
    if (!OwnPoint(m, Arg(args, argc, 0), fx, fy))
        return Value(-2.0);
    const plugin::BitmapPixels& p = *s->pixels;
    const uint32_t firstThreshold = uint32_t(std::clamp(Int(m, Arg(args, argc, 1)), 0, 255));
    const Value second = Arg(args, argc, 2);
    if (!second.isObject())
        return Value(-3.0);
    if (NativeOf<BitmapState>(second)) {
        BitmapState* other = StateOf(second);
        if (!other)
            return Value(-3.0);
        int sx = 0, sy = 0;
        if (!OwnPoint(m, Arg(args, argc, 3), sx, sy))
            return Value(-4.0);
        const uint32_t secondThreshold = argc > 4 ? uint32_t(std::clamp(Int(m, args[4]), 0, 255)) : 1;
        const plugin::BitmapPixels& q = *other->pixels;
        // The overlap of the two placed bitmaps, in the shared space.
        const int x0 = std::max(fx, sx), y0 = std::max(fy, sy);
        const int x1 = std::min(fx + p.width(), sx + q.width()), y1 = std::min(fy + p.height(), sy + q.height());
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (Solid(p, x - fx, y - fy, firstThreshold) && Solid(q, x - sx, y - sy, secondThreshold))
                    return Value(true);
        return Value(false);
    }
    Object* o = second.asObject();
    if (!m.hasOwnProperty(o, "x") || !m.hasOwnProperty(o, "y"))
        return Value(-3.0);
    const int x = Int(m, m.getMember(second, "x")) - fx;
    const int y = Int(m, m.getMember(second, "y")) - fy;
    if (m.hasOwnProperty(o, "width") && m.hasOwnProperty(o, "height")) {
        const Box b = Clipped(
            { x, y, Int(m, m.getMember(second, "width")), Int(m, m.getMember(second, "height")) }, p);
        for (int yy = b.y; yy < b.y + b.h; ++yy)
            for (int xx = b.x; xx < b.x + b.w; ++xx)
                if (Solid(p, xx, yy, firstThreshold, true))
                    return Value(true);
        return Value(false);
    }
    return Value(Solid(p, x, y, firstThreshold));
}

Object* DisplayPackage(Machine& m)
{
    Value flash = m.getMember(Value(m.m_Global), "flash");
    if (!flash.isObject()) {
        flash = Value(m.newObject());
        m.define(m.m_Global, "flash", flash);
    }
    Value display = m.getMember(flash, "display");
    if (!display.isObject()) {
        display = Value(m.newObject());
        m.define(flash.asObject(), "display", display);
    }
    return display.asObject();
}

} // namespace

std::shared_ptr<plugin::BitmapPixels> BitmapPixelsOf(const Value& v)
{
    BitmapState* s = StateOf(v);
    return s ? s->pixels : nullptr;
}

void InstallBitmapDataClass(Machine& m)
{
    Object* proto = m.newObject();
    // Called as a function (a subclass's super(width, height)) it makes `this` a bitmap, as `new` makes its object.
    FunctionObject* f = DefineClass(m, "__flashDisplayBitmapData", Construct, Construct, proto, m.m_Internal);
    m.define(DisplayPackage(m), "BitmapData", Value(static_cast<Object*>(f)));
    DefineAccessor(m, proto, "width", Width, nullptr);
    DefineAccessor(m, proto, "height", Height, nullptr);
    DefineAccessor(m, proto, "transparent", Transparent, nullptr);
    DefineAccessor(m, proto, "rectangle", RectangleOf, nullptr);
    DefineMethods(m, proto,
        {
            { "getPixel", GetPixel },
            { "getPixel32", GetPixel32 },
            { "setPixel", SetPixel },
            { "setPixel32", SetPixel32 },
            { "fillRect", FillRect },
            { "copyPixels", CopyPixels },
            { "colorTransform", ColorTransformPixels },
            { "applyFilter", ApplyFilter },
            { "clone", Clone },
            { "dispose", Dispose },
            { "floodFill", FloodFill },
            { "noise", Noise },
            { "threshold", Threshold },
            { "pixelDissolve", PixelDissolve },
            { "hitTest", HitTest },
        });
    // The channel flags are plain properties of the class.
    constexpr std::pair<const char*, double> kChannels[]
        = { { "RED_CHANNEL", 1 }, { "GREEN_CHANNEL", 2 }, { "BLUE_CHANNEL", 4 }, { "ALPHA_CHANNEL", 8 } };
    m.defineMethod(f, "loadBitmap", LoadBitmap);
    for (const auto& [name, value] : kChannels)
        m.define(f, name, Value(value), 0);
}

} // namespace reelfinch::avm1
