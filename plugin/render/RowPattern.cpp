// cairo's sampling of a stretched row of texels, step for step: the composite rectangle of a fill, the fixed-point
// transform fitted at its centre, and pixman's bilinear read with pad or reflect extension.
#include "render/RowPattern.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace reelfinch::plugin {

namespace {

// cairo keeps path coordinates in 24.8 fixed point, pixman transforms in 16.16.
constexpr double kPathOne = 256.0;
constexpr double kTransformOne = 65536.0;
constexpr int64_t kHalf = 0x8000;
// Path coordinates beyond this (in 24.8) are left to cairo, as are transform entries pixman cannot hold.
constexpr int64_t kMaxPathFixed = int64_t(1) << 30;
constexpr double kMaxTransformEntry = 32767.0;
// Source positions stay this far inside pixman's 16.16 range.
constexpr int64_t kMaxPosition = int64_t(1) << 30;
// cairo's "close to an identity scale" tolerance: one 24.8 step.
constexpr double kScalingEpsilon = 1.0 / 256.0;
// Bilinear weights keep this many bits.
constexpr int kWeightBits = 7;
constexpr int kWeightRange = 1 << kWeightBits;
// How far from a texel's centre a bilinear read reaches, as cairo counts it when it measures what a fill samples.
constexpr double kBilinearReach = 0.495;
// How far (in 24.8 steps) a coordinate that made a round trip through a user space may stray from where it was.
constexpr double kRoundTrip = 1.0 / 64;

struct FixedPoint {
    int64_t x, y;
};

struct FixedBox {
    int64_t x1 = INT64_MAX, y1 = INT64_MAX, x2 = INT64_MIN, y2 = INT64_MIN;
    void add(int64_t x, int64_t y)
    {
        x1 = std::min(x1, x);
        y1 = std::min(y1, y);
        x2 = std::max(x2, x);
        y2 = std::max(y2, y);
    }
    void addX(int64_t x)
    {
        x1 = std::min(x1, x);
        x2 = std::max(x2, x);
    }
    void addY(int64_t top, int64_t bottom)
    {
        y1 = std::min(y1, top);
        y2 = std::max(y2, bottom);
    }
};

int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b)
{
    return -FloorDiv(-a, b);
}

// A double to 24.8 or 16.16 fixed point when it lands there exactly (path points and clip boxes come from fixed
// point), else false.
bool ExactFixed(double v, double one, int64_t& out)
{
    const double scaled = v * one;
    if (!(std::abs(scaled) < double(kMaxPathFixed)) || scaled != std::floor(scaled))
        return false;
    out = int64_t(scaled);
    return true;
}

// Where an edge crosses the line at `y` (or `x`), its coordinate cut toward zero from the upper end, as cairo
// works it out in fixed point.
int64_t XForY(const FixedPoint& p1, const FixedPoint& p2, int64_t y)
{
    if (y == p1.y)
        return p1.x;
    if (y == p2.y)
        return p2.x;
    const int64_t dy = p2.y - p1.y;
    return dy != 0 ? p1.x + (y - p1.y) * (p2.x - p1.x) / dy : p1.x;
}

int64_t YForX(const FixedPoint& p1, const FixedPoint& p2, int64_t x)
{
    if (x == p1.x)
        return p1.y;
    if (x == p2.x)
        return p2.y;
    const int64_t dx = p2.x - p1.x;
    return dx != 0 ? p1.y + (x - p1.x) * (p2.y - p1.y) / dx : p1.y;
}

// An edge from p1 to p2 (p1 the upper end) drawn between rows top and bottom adds its ends there.
void AddEdge(FixedBox& extents, const FixedPoint& p1, const FixedPoint& p2, int64_t top, int64_t bottom)
{
    extents.addY(top, bottom);
    extents.addX(top != p1.y ? XForY(p1, p2, top) : p1.x);
    extents.addX(bottom != p2.y ? XForY(p1, p2, bottom) : p2.x);
}

// One edge of the fill clipped to the box as cairo clips it: the parts beyond its sides become edges along them.
void AddClippedEdge(FixedBox& extents, FixedPoint p1, FixedPoint p2, const FixedBox& box)
{
    if (p1.y == p2.y)
        return; // horizontal edges take no part
    if (p1.y > p2.y)
        std::swap(p1, p2);
    if (p2.y <= box.y1 || p1.y >= box.y2)
        return;
    int64_t top = std::max(p1.y, box.y1);
    int64_t bottom = std::min(p2.y, box.y2);
    const int64_t left = std::min(p1.x, p2.x);
    const int64_t right = std::max(p1.x, p2.x);
    if (box.x1 <= left && right <= box.x2) {
        AddEdge(extents, p1, p2, top, bottom);
        return;
    }
    if (right <= box.x1 || box.x2 <= left) {
        extents.addY(top, bottom);
        extents.addX(right <= box.x1 ? box.x1 : box.x2);
        return;
    }
    // Across a side: the part beyond it runs along that side, the rest stays an edge inside the box.
    if ((p1.x <= p2.x) == (p1.y <= p2.y)) {
        int64_t leftY = top;
        if (left < box.x1) {
            leftY = YForX(p1, p2, box.x1);
            if (XForY(p1, p2, leftY) < box.x1)
                ++leftY;
        }
        leftY = std::min(leftY, bottom);
        if (top < leftY) {
            extents.addY(top, leftY);
            extents.addX(box.x1);
            top = leftY;
        }
        int64_t rightY = bottom;
        if (right > box.x2) {
            rightY = YForX(p1, p2, box.x2);
            if (XForY(p1, p2, rightY) > box.x2)
                --rightY;
        }
        rightY = std::max(rightY, top);
        if (bottom > rightY) {
            extents.addY(rightY, bottom);
            extents.addX(box.x2);
            bottom = rightY;
        }
    } else {
        int64_t rightY = top;
        if (right > box.x2) {
            rightY = YForX(p1, p2, box.x2);
            if (XForY(p1, p2, rightY) > box.x2)
                ++rightY;
        }
        rightY = std::min(rightY, bottom);
        if (top < rightY) {
            extents.addY(top, rightY);
            extents.addX(box.x2);
            top = rightY;
        }
        int64_t leftY = bottom;
        if (left < box.x1) {
            leftY = YForX(p1, p2, box.x1);
            if (XForY(p1, p2, leftY) < box.x1)
                --leftY;
        }
        leftY = std::max(leftY, top);
        if (bottom > leftY) {
            extents.addY(leftY, bottom);
            extents.addX(box.x1);
            bottom = leftY;
        }
    }
    if (top < bottom)
        AddEdge(extents, p1, p2, top, bottom);
}

// A device coordinate cairo worked out from a 24.8 one through a user space and back: that one, where it lies
// within a small fraction of a step.
bool NearFixed(double v, int64_t& out)
{
    const double scaled = v * kPathOne;
    const double nearest = std::nearbyint(scaled);
    if (!(std::abs(nearest) < double(kMaxPathFixed)) || std::abs(scaled - nearest) > kRoundTrip)
        return false;
    out = int64_t(nearest);
    return true;
}

IntRect RoundOut(const FixedBox& box)
{
    IntRect r;
    const int64_t x = FloorDiv(box.x1, int64_t(kPathOne));
    const int64_t y = FloorDiv(box.y1, int64_t(kPathOne));
    r.x = int(x);
    r.y = int(y);
    r.width = int(CeilDiv(box.x2, int64_t(kPathOne)) - x);
    r.height = int(CeilDiv(box.y2, int64_t(kPathOne)) - y);
    return r;
}

IntRect Intersect(const IntRect& a, const IntRect& b)
{
    const int x1 = std::max(a.x, b.x);
    const int y1 = std::max(a.y, b.y);
    const int x2 = std::min(a.x + a.width, b.x + b.width);
    const int y2 = std::min(a.y + a.height, b.y + b.height);
    return { x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1) };
}

bool Contains(const IntRect& outer, const IntRect& inner)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width
        && inner.y + inner.height <= outer.y + outer.height;
}

// A double to 16.16, rounded to nearest (ties to even) as cairo's magic-number conversion does, wrapped to 32
// bits as it is.
int32_t ToTransformFixed(double v)
{
    return int32_t(uint32_t(int64_t(std::nearbyint(v * kTransformOne))));
}

// pixman's transform of a 16.16 point (x, y, 1), in 48.16; false where a result leaves 32 bits, as pixman's does.
bool TransformPoint(const int32_t t[2][3], int64_t x, int64_t y, int64_t out[2])
{
    for (int i = 0; i < 2; ++i) {
        const int64_t whole = int64_t(t[i][0]) * (x >> 16) + int64_t(t[i][1]) * (y >> 16) + int64_t(t[i][2]);
        const int64_t fraction = int64_t(t[i][0]) * (x & 0xFFFF) + int64_t(t[i][1]) * (y & 0xFFFF);
        out[i] = whole + ((fraction + kHalf) >> 16);
        if (out[i] < INT32_MIN || out[i] > INT32_MAX)
            return false;
    }
    return true;
}

// cairo's conversion of a pattern matrix to pixman's fixed point: the entries rounded, then the translation
// nudged until the centre of the composite rectangle lands where the exact matrix puts it.
bool ToPixman(const cairo_matrix_t& m, double xc, double yc, int32_t t[2][3])
{
    for (double v : { m.xx, m.xy, m.x0, m.yx, m.yy, m.y0 })
        if (!(std::abs(v) <= kMaxTransformEntry))
            return false;
    t[0][0] = ToTransformFixed(m.xx);
    t[0][1] = ToTransformFixed(m.xy);
    t[0][2] = ToTransformFixed(m.x0);
    t[1][0] = ToTransformFixed(m.yx);
    t[1][1] = ToTransformFixed(m.yy);
    t[1][2] = ToTransformFixed(m.y0);
    const double det = m.xx * m.yy - m.yx * m.xy;
    if (std::abs(det * det - 1.0) < kScalingEpsilon
        && ((std::abs(m.xy) < kScalingEpsilon && std::abs(m.yx) < kScalingEpsilon)
            || (std::abs(m.xx) < kScalingEpsilon && std::abs(m.yy) < kScalingEpsilon)))
        return true;
    cairo_matrix_t inverse = m;
    if (cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS)
        return true;
    for (int i = 0; i < 5; ++i) {
        int64_t v[2];
        if (!TransformPoint(t, ToTransformFixed(xc), ToTransformFixed(yc), v))
            return true;
        double x = double(v[0]) / kTransformOne;
        double y = double(v[1]) / kTransformOne;
        cairo_matrix_transform_point(&inverse, &x, &y);
        x -= xc;
        y -= yc;
        cairo_matrix_transform_distance(&m, &x, &y);
        const int32_t dx = ToTransformFixed(x);
        const int32_t dy = ToTransformFixed(y);
        t[0][2] -= dx;
        t[1][2] -= dy;
        if (dx == 0 && dy == 0)
            break;
    }
    return true;
}

// The target of `cr` where cairo composites on it as worked out here: an image drawn with the OVER operator and
// default anti-aliasing (other operators and rasterisers bound their work otherwise), with no device scale and
// a whole-pixel device offset, given in `ox` and `oy`; null for any other.
cairo_surface_t* PlainTarget(cairo_t* cr, int& ox, int& oy)
{
    cairo_surface_t* target = cairo_get_target(cr);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER
        || cairo_get_antialias(cr) != CAIRO_ANTIALIAS_DEFAULT)
        return nullptr;
    double offsetX = 0;
    double offsetY = 0;
    cairo_surface_get_device_offset(target, &offsetX, &offsetY);
    double scaleX = 1;
    double scaleY = 1;
    cairo_surface_get_device_scale(target, &scaleX, &scaleY);
    if (scaleX != 1 || scaleY != 1 || offsetX != std::floor(offsetX) || offsetY != std::floor(offsetY)
        || std::abs(offsetX) > 1e6 || std::abs(offsetY) > 1e6)
        return nullptr;
    ox = int(offsetX);
    oy = int(offsetY);
    return target;
}

} // namespace

bool CompositeExtents(cairo_t* cr, IntRect& extents)
{
    int ox = 0;
    int oy = 0;
    cairo_surface_t* target = PlainTarget(cr, ox, oy);
    if (!target)
        return false;
    const IntRect surface { 0, 0, cairo_image_surface_get_width(target), cairo_image_surface_get_height(target) };

    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_identity_matrix(cr);
    cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr);
    cairo_path_t* path = cairo_copy_path(cr);
    cairo_set_matrix(cr, &user);

    bool known = clip->status == CAIRO_STATUS_SUCCESS && clip->num_rectangles > 0
        && path->status == CAIRO_STATUS_SUCCESS;
    // The path's edges in 24.8 fixed point of the surface, each contour closed.
    std::vector<std::pair<FixedPoint, FixedPoint>> edges;
    FixedBox points; // the corners of the path's extents
    FixedPoint first { 0, 0 };
    FixedPoint current { 0, 0 };
    bool open = false;
    auto closeContour = [&] {
        if (open && (current.x != first.x || current.y != first.y))
            edges.push_back({ current, first });
        current = first;
        open = false;
    };
    for (int i = 0; known && i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t& data = path->data[i];
        FixedPoint p { 0, 0 };
        if (data.header.type == CAIRO_PATH_MOVE_TO || data.header.type == CAIRO_PATH_LINE_TO)
            known = data.header.length >= 2 && i + 1 < path->num_data
                && ExactFixed(path->data[i + 1].point.x + ox, kPathOne, p.x)
                && ExactFixed(path->data[i + 1].point.y + oy, kPathOne, p.y);
        if (!known)
            break;
        switch (data.header.type) {
        case CAIRO_PATH_MOVE_TO:
            closeContour();
            first = current = p;
            break;
        case CAIRO_PATH_LINE_TO:
            if (!open)
                points.add(current.x, current.y);
            open = true;
            points.add(p.x, p.y);
            edges.push_back({ current, p });
            current = p;
            break;
        case CAIRO_PATH_CLOSE_PATH:
            closeContour();
            break;
        default:
            known = false; // curves are flattened by cairo's own rule
            break;
        }
    }
    closeContour();

    IntRect box;
    if (known && points.x1 <= points.x2) {
        IntRect clipExtents;
        FixedBox clipBounds;
        for (int i = 0; i < clip->num_rectangles; ++i) {
            const cairo_rectangle_t& r = clip->rectangles[i];
            clipBounds.add(int64_t(std::floor(r.x)) + ox, int64_t(std::floor(r.y)) + oy);
            clipBounds.add(int64_t(std::ceil(r.x + r.width)) + ox, int64_t(std::ceil(r.y + r.height)) + oy);
        }
        clipExtents = { int(clipBounds.x1), int(clipBounds.y1), int(clipBounds.x2 - clipBounds.x1),
            int(clipBounds.y2 - clipBounds.y1) };
        // What the fill may touch: its path's extents on whole pixels, on the surface, in the clip.
        const IntRect reach = Intersect(Intersect(RoundOut(points), surface), clipExtents);
        // The clip box the path is cut by: the clip's one rectangle, or of several the one holding all the
        // path may touch (cairo then cuts by that reach alone, which leaves the path whole).
        known = false;
        for (int i = 0; i < clip->num_rectangles; ++i) {
            const cairo_rectangle_t& r = clip->rectangles[i];
            const IntRect rect { int(r.x) + ox, int(r.y) + oy, int(r.width), int(r.height) };
            if (r.x != std::floor(r.x) || r.y != std::floor(r.y) || r.width != std::floor(r.width)
                || r.height != std::floor(r.height)) {
                known = false;
                break;
            }
            if (clip->num_rectangles == 1 || Contains(rect, reach)) {
                box = rect;
                known = true;
            }
        }
        if (known) {
            FixedBox limits;
            limits.add(int64_t(box.x) * int64_t(kPathOne), int64_t(box.y) * int64_t(kPathOne));
            limits.add(int64_t(box.x + box.width) * int64_t(kPathOne), int64_t(box.y + box.height) * int64_t(kPathOne));
            FixedBox polygon;
            for (const auto& [a, b] : edges)
                AddClippedEdge(polygon, a, b, limits);
            known = polygon.x1 <= polygon.x2 && polygon.y1 < polygon.y2;
            if (known)
                extents = Intersect(Intersect(RoundOut(polygon), surface), clipExtents);
            known = known && !extents.empty();
        }
    }
    cairo_path_destroy(path);
    cairo_rectangle_list_destroy(clip);
    return known;
}

bool StrokeCompositeExtents(cairo_t* cr, IntRect& extents)
{
    int ox = 0;
    int oy = 0;
    cairo_surface_t* target = PlainTarget(cr, ox, oy);
    if (!target)
        return false;
    // cairo gives the extents of the stroke's outline (the polygon it composites) in user space as the box
    // around them: with axes kept, the box's corners map back to the outline's own ones, on 24.8 fixed point.
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    if (user.xy != 0 || user.yx != 0 || user.xx == 0 || user.yy == 0)
        return false;
    double x[2];
    double y[2];
    cairo_stroke_extents(cr, &x[0], &y[0], &x[1], &y[1]);
    if (!(x[0] < x[1] && y[0] < y[1]))
        return false;
    FixedBox outline;
    for (int i = 0; i < 2; ++i) {
        cairo_user_to_device(cr, &x[i], &y[i]);
        int64_t fx = 0;
        int64_t fy = 0;
        if (!NearFixed(x[i] + ox, fx) || !NearFixed(y[i] + oy, fy))
            return false;
        outline.add(fx, fy);
    }
    const IntRect surface { 0, 0, cairo_image_surface_get_width(target), cairo_image_surface_get_height(target) };
    cairo_identity_matrix(cr);
    cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr);
    cairo_set_matrix(cr, &user);
    // One whole-pixel clip rectangle that holds the whole outline: cairo then cuts nothing from it.
    bool known = clip->status == CAIRO_STATUS_SUCCESS && clip->num_rectangles == 1;
    if (known) {
        const cairo_rectangle_t& r = clip->rectangles[0];
        known = r.x == std::floor(r.x) && r.y == std::floor(r.y) && r.width == std::floor(r.width)
            && r.height == std::floor(r.height) && std::abs(r.x) < 1e6 && std::abs(r.y) < 1e6 && r.width < 1e6
            && r.height < 1e6;
        if (known) {
            const IntRect rect { int(r.x) + ox, int(r.y) + oy, int(r.width), int(r.height) };
            const auto fixed = [](int v) { return int64_t(v) * int64_t(kPathOne); };
            known = outline.x1 >= fixed(rect.x) && outline.y1 >= fixed(rect.y)
                && outline.x2 <= fixed(rect.x + rect.width) && outline.y2 <= fixed(rect.y + rect.height);
            if (known)
                extents = Intersect(Intersect(RoundOut(outline), surface), rect);
        }
    }
    cairo_rectangle_list_destroy(clip);
    return known && !extents.empty();
}

bool SourceToSurface(cairo_t* cr, const cairo_matrix_t& patternMatrix, cairo_matrix_t& out)
{
    cairo_matrix_t userFromDevice;
    cairo_get_matrix(cr, &userFromDevice);
    if (cairo_matrix_invert(&userFromDevice) != CAIRO_STATUS_SUCCESS)
        return false;
    // Composed in cairo's order: device to user, then user to pattern, and first the surface's own offset.
    cairo_matrix_multiply(&out, &userFromDevice, &patternMatrix);
    double offsetX = 0;
    double offsetY = 0;
    cairo_surface_get_device_offset(cairo_get_target(cr), &offsetX, &offsetY);
    if (offsetX != 0 || offsetY != 0) {
        cairo_matrix_t fromSurface;
        cairo_matrix_init_translate(&fromSurface, -offsetX, -offsetY);
        cairo_matrix_multiply(&out, &fromSurface, &out);
    }
    return true;
}

bool RowSampler::set(const cairo_matrix_t& toTexels, const IntRect& extents, int texels, bool reflect)
{
    if (extents.empty() || texels < 2)
        return false;
    m_Texels = texels;
    m_Reflect = reflect;
    // A plain translation is read without filtering.
    if (toTexels.xx == 1 && toTexels.yx == 0 && toTexels.xy == 0 && toTexels.yy == 1)
        return false;
    // A fill whose samples all lie within one texel row's height is read as the row alone, unpadded.
    double x1 = extents.x + 0.5;
    double y1 = extents.y + 0.5;
    double x2 = x1 + (extents.width - 1);
    double y2 = y1 + (extents.height - 1);
    double ys[4] = { y1, y1, y2, y2 };
    double xs[4] = { x1, x2, x1, x2 };
    double low = INFINITY;
    double high = -INFINITY;
    for (int i = 0; i < 4; ++i) {
        double x = xs[i];
        double y = ys[i];
        cairo_matrix_transform_point(&toTexels, &x, &y);
        low = std::min(low, y);
        high = std::max(high, y);
    }
    if (!(std::floor(high + kBilinearReach) + 1 - std::floor(low - kBilinearReach) > 1))
        return false;
    // cairo moves as much of the translation as it can into a whole-pixel offset of the source.
    cairo_matrix_t m = toTexels;
    m_OffsetX = 0;
    m_OffsetY = 0;
    if (m.x0 != 0.0 || m.y0 != 0.0) {
        double tx = m.x0;
        double ty = m.y0;
        double norm = std::max(std::abs(tx), std::abs(ty));
        for (int i = -1; i < 2; i += 2)
            for (int j = -1; j < 2; j += 2) {
                double den = (m.xx + i) * (m.yy + j) - m.xy * m.yx;
                if (std::abs(den) < __DBL_EPSILON__)
                    continue;
                double x = m.y0 * m.xy - m.x0 * (m.yy + j);
                double y = m.x0 * m.yx - m.y0 * (m.xx + i);
                den = 1 / den;
                x *= den;
                y *= den;
                const double newNorm = std::max(std::abs(x), std::abs(y));
                if (norm > newNorm) {
                    norm = newNorm;
                    tx = x;
                    ty = y;
                }
            }
        tx = std::floor(tx);
        ty = std::floor(ty);
        if (!(std::abs(tx) < 1e9 && std::abs(ty) < 1e9))
            return false;
        m_OffsetX = -int(tx);
        m_OffsetY = -int(ty);
        cairo_matrix_translate(&m, tx, ty);
    }
    if (!ToPixman(m, extents.x + extents.width / 2., extents.y + extents.height / 2., m_Transform))
        return false;
    // Unit steps with a whole translation are read as the nearest texel.
    const auto unit = [](int32_t v) { return v == 0 || v == 0x10000 || v == -0x10000; };
    if (unit(m_Transform[0][0]) && unit(m_Transform[0][1]) && unit(m_Transform[1][0]) && unit(m_Transform[1][1]))
        return false;
    // Every position of the rectangle must stay inside pixman's range.
    for (const int64_t x : { int64_t(extents.x), int64_t(extents.x) + extents.width })
        for (const int64_t y : { int64_t(extents.y), int64_t(extents.y) + extents.height }) {
            int64_t v[2];
            if (!TransformPoint(m_Transform, ((x + m_OffsetX) << 16) + kHalf, ((y + m_OffsetY) << 16) + kHalf, v)
                || std::abs(v[0]) > kMaxPosition)
                return false;
        }
    return true;
}

void RowSampler::fill(const uint32_t* texels, int x, int y, uint32_t* out, int count) const
{
    int64_t v[2];
    if (!TransformPoint(m_Transform, ((int64_t(x) + m_OffsetX) << 16) + kHalf,
            ((int64_t(y) + m_OffsetY) << 16) + kHalf, v)) {
        std::fill_n(out, count, 0u);
        return;
    }
    const int n = m_Texels;
    // A reflected row repeats every 2n texels; for a power of two (a gradient's ramp) the remainder is a mask.
    const int64_t period = 2 * int64_t(n);
    const int64_t periodMask = (period & (period - 1)) == 0 ? period - 1 : -1;
    const auto wrap = [n, period, periodMask, reflect = m_Reflect](int64_t i) -> int {
        if (!reflect)
            return int(std::clamp<int64_t>(i, 0, n - 1));
        int64_t r = 0;
        if (periodMask >= 0) {
            r = i & periodMask;
        } else {
            r = i % period;
            if (r < 0)
                r += period;
        }
        return int(r >= n ? period - r - 1 : r);
    };
    int64_t position = v[0];
    const int64_t step = m_Transform[0][0];
    // A texel and the next mixed by weight / kWeightRange, every channel: a weight of 0, or two texels alike,
    // give the first texel itself.
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i range = _mm_set1_epi16(kWeightRange);
    int i = 0;
    for (; i + 2 <= count; i += 2, position += 2 * step) {
        const int64_t at0 = position - kHalf;
        const int64_t at1 = at0 + step;
        const int64_t whole0 = at0 >> 16;
        const int64_t whole1 = at1 >> 16;
        // Both pixels' texels as the low and high halves of 16-bit channels, and their weights alike.
        const __m128i a = _mm_unpacklo_epi8(
            _mm_set_epi32(0, 0, int(texels[wrap(whole1)]), int(texels[wrap(whole0)])), zero);
        const __m128i b = _mm_unpacklo_epi8(
            _mm_set_epi32(0, 0, int(texels[wrap(whole1 + 1)]), int(texels[wrap(whole0 + 1)])), zero);
        const auto w0 = short((at0 >> (16 - kWeightBits)) & (kWeightRange - 1));
        const auto w1 = short((at1 >> (16 - kWeightBits)) & (kWeightRange - 1));
        const __m128i weight = _mm_set_epi16(w1, w1, w1, w1, w0, w0, w0, w0);
        const __m128i mixed = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(range, weight)), _mm_mullo_epi16(b, weight)), kWeightBits);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(mixed, zero));
    }
    for (; i < count; ++i, position += step) {
#else
    for (int i = 0; i < count; ++i, position += step) {
#endif
        const int64_t at = position - kHalf;
        const int weight = int((at >> (16 - kWeightBits)) & (kWeightRange - 1));
        const int64_t whole = at >> 16;
        const uint32_t a = texels[wrap(whole)];
        const uint32_t b = texels[wrap(whole + 1)];
        uint32_t pixel = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t ca = (a >> shift) & 0xFF;
            const uint32_t cb = (b >> shift) & 0xFF;
            pixel |= ((ca * uint32_t(kWeightRange - weight) + cb * uint32_t(weight)) >> kWeightBits) << shift;
        }
        out[i] = pixel;
    }
}

void RowSampler::fillRows(const uint32_t* texels, int x, int y, uint32_t* out, size_t stride, int count, int rows) const
{
    // Where the texel position does not change down the rows, and every row is in pixman's range (the first
    // and the last are, so those between are), each row is the first one again.
    int64_t v[2];
    const auto inRange = [&](int row) {
        return TransformPoint(m_Transform, ((int64_t(x) + m_OffsetX) << 16) + kHalf,
            ((int64_t(row) + m_OffsetY) << 16) + kHalf, v);
    };
    const bool alike = rows > 1 && m_Transform[0][1] == 0 && inRange(y) && inRange(y + rows - 1);
    for (int j = 0; j < rows; ++j) {
        uint32_t* row = out + size_t(j) * stride;
        if (j > 0 && alike)
            std::copy_n(out, count, row);
        else
            fill(texels, x, y + j, row, count);
    }
}

} // namespace reelfinch::plugin
