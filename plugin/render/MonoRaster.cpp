#include "render/MonoRaster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace reelfinch::plugin {

namespace {

// Crossings of rows land on this fraction of a pixel: a centre that lies on an edge but for the rounding errors
// of the division falls to the edge's side by the top-left rule.
constexpr double kCrossingSteps = 65536.0;

// Points land on this fraction of a pixel first, the precision of the format's players' rasterizers: it decides
// the side of centres lying within a hair of an edge.
constexpr double kSubpixelSteps = 256.0;
// Beyond this many pixels from the origin points are not drawn (the rounding above needs room in a double).
constexpr double kMaxCoordinate = 1e9;
// Sampling grids finer than this many points a side are taken as this one.
constexpr int kMaxGrid = 8;

PolyPoint Snapped(const PolyPoint& p)
{
    return { std::round(std::clamp(p.x, -kMaxCoordinate, kMaxCoordinate) * kSubpixelSteps) / kSubpixelSteps,
        std::round(std::clamp(p.y, -kMaxCoordinate, kMaxCoordinate) * kSubpixelSteps) / kSubpixelSteps };
}

// A crossing rounded to the nearest step, halves away from zero as std::round does, without the library call:
// points lie within kMaxCoordinate, so the steps fit an int64_t.
inline double RoundToStep(double x)
{
    const double v = x * kCrossingSteps;
    if (!(std::abs(v) < 4e18))
        return x;
    const double whole = double(int64_t(v));
    const double fraction = v - whole;
    return (fraction >= 0.5 ? whole + 1 : fraction <= -0.5 ? whole - 1 : whole) / kCrossingSteps;
}

// std::ceil without the library call, for values within kMaxCoordinate.
inline double Ceil(double x)
{
    if (!(std::abs(x) < 4e18))
        return x;
    const double whole = double(int64_t(x));
    return whole < x ? whole + 1 : whole;
}

struct RasterEdge {
    double top, bottom; // y, top < bottom
    double x, slope; // x at `top`, and its change per unit of y
    int direction; // +1 downwards, -1 upwards
};

struct Crossing {
    double x;
    int direction;
    bool operator<(const Crossing& other) const { return x < other.x; }
};

} // namespace

cairo_surface_t* RasterizeMono(const Polygons& polygons, bool nonZero, const double clip[4], int& left, int& top)
{
    return RasterizeSampled(polygons, nonZero, clip, 1, left, top);
}

cairo_surface_t* RasterizeSampled(const Polygons& polygons, bool nonZero, const double clip[4], int grid, int& left,
    int& top, std::vector<unsigned char>* scratch)
{
    grid = std::clamp(grid, 1, kMaxGrid);
    std::vector<RasterEdge> edges;
    double minX = std::numeric_limits<double>::max();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    for (const auto& contour : polygons) {
        const size_t n = contour.size();
        for (size_t i = 0; i < n; ++i) {
            const PolyPoint& ra = contour[i];
            const PolyPoint& rb = contour[(i + 1) % n];
            if (!std::isfinite(ra.x) || !std::isfinite(ra.y) || !std::isfinite(rb.x) || !std::isfinite(rb.y))
                return nullptr;
            const PolyPoint a = Snapped(ra);
            const PolyPoint b = Snapped(rb);
            minX = std::min(minX, a.x);
            maxX = std::max(maxX, a.x);
            minY = std::min(minY, a.y);
            maxY = std::max(maxY, a.y);
            if (a.y == b.y)
                continue; // horizontal edges cross no row of centres
            const bool down = b.y > a.y;
            const PolyPoint& p = down ? a : b;
            const PolyPoint& q = down ? b : a;
            edges.push_back({ p.y, q.y, p.x, (q.x - p.x) / (q.y - p.y), down ? 1 : -1 });
        }
    }
    if (edges.empty())
        return nullptr;
    // The rows and columns whose centres the polygons may hold, within the clip.
    const double x0 = std::max(minX, clip[0]);
    const double x1 = std::min(maxX, clip[2]);
    const double y0 = std::max(minY, clip[1]);
    const double y1 = std::min(maxY, clip[3]);
    if (x1 <= x0 || y1 <= y0)
        return nullptr;
    left = int(std::floor(x0));
    top = int(std::floor(y0));
    const int width = int(std::ceil(x1)) - left;
    const int height = int(std::ceil(y1)) - top;
    if (width <= 0 || height <= 0)
        return nullptr;
    cairo_surface_t* mask = nullptr;
    const int scratchStride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
    if (scratch && scratchStride > 0) {
        const size_t bytes = size_t(scratchStride) * size_t(height);
        if (scratch->size() < bytes)
            scratch->resize(bytes);
        std::memset(scratch->data(), 0, bytes);
        mask = cairo_image_surface_create_for_data(scratch->data(), CAIRO_FORMAT_A8, width, height, scratchStride);
    } else {
        mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    }
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(mask);
        return nullptr;
    }
    cairo_surface_flush(mask);
    unsigned char* data = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    std::sort(edges.begin(), edges.end(), [](const RasterEdge& a, const RasterEdge& b) { return a.top < b.top; });
    std::vector<const RasterEdge*> active;
    std::vector<Crossing> crossings;
    const int points = grid * grid;
    // Where the row's runs of points inside start (the pixel times 2, plus 1) and end (times 2).
    std::vector<int> runs;
    // The value of a pixel with so many of its points inside.
    std::vector<uint8_t> shades(size_t(points) + 1);
    for (int k = 0; k <= points; ++k)
        shades[size_t(k)] = uint8_t(k >= points ? 255 : k * 256 / points);
    size_t next = 0;
    bool any = false;
    for (int row = 0; row < height; ++row) {
        runs.clear();
        for (int j = 0; j < grid; ++j) {
            const double sy = top + row + (j + 0.5) / grid;
            // An edge holds the sample rows from its top (included) to its bottom (left out).
            while (next < edges.size() && edges[next].top <= sy)
                active.push_back(&edges[next++]);
            active.erase(
                std::remove_if(active.begin(), active.end(), [sy](const RasterEdge* e) { return e->bottom <= sy; }),
                active.end());
            crossings.clear();
            for (const RasterEdge* e : active)
                crossings.push_back({ RoundToStep(e->x + (sy - e->top) * e->slope), e->direction });
            std::sort(crossings.begin(), crossings.end());
            int winding = 0;
            for (size_t k = 0; k + 1 < crossings.size(); ++k) {
                winding += nonZero ? crossings[k].direction : 1;
                const bool inside = nonZero ? winding != 0 : (winding & 1) != 0;
                if (!inside)
                    continue;
                for (int i = 0; i < grid; ++i) {
                    // Pixels whose point i lies from the left crossing (included) to the right one (left out).
                    const double at = (i + 0.5) / grid;
                    const double from = Ceil(crossings[k].x - at) - left;
                    const double to = Ceil(crossings[k + 1].x - at) - left;
                    const int a = int(std::clamp(from, 0.0, double(width)));
                    const int b = int(std::clamp(to, 0.0, double(width)));
                    if (points == 1) {
                        std::fill(data + size_t(row) * size_t(stride) + a, data + size_t(row) * size_t(stride) + b,
                            uint8_t(0xFF));
                        any |= b > a;
                        continue;
                    }
                    // Marks where the run starts and ends; the row's sums come after all its runs.
                    if (b > a) {
                        runs.push_back(a * 2 + 1);
                        runs.push_back(b * 2);
                    }
                }
            }
        }
        if (runs.empty())
            continue;
        any = true;
        // Between two places where runs start or end, every pixel has as many points inside.
        std::sort(runs.begin(), runs.end());
        unsigned char* line = data + size_t(row) * size_t(stride);
        int inside = 0;
        for (size_t k = 0; k < runs.size(); ++k) {
            inside += (runs[k] & 1) ? 1 : -1;
            const int from = runs[k] >> 1;
            const int to = k + 1 < runs.size() ? runs[k + 1] >> 1 : from;
            if (to > from && inside > 0)
                std::memset(line + from, shades[size_t(std::min(inside, points))], size_t(to - from));
        }
    }
    if (!any) {
        cairo_surface_destroy(mask);
        return nullptr;
    }
    cairo_surface_mark_dirty(mask);
    return mask;
}

} // namespace reelfinch::plugin

namespace reelfinch::plugin {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Round caps and joins are polygons of at least and at most so many sides.
constexpr int kMinRoundSides = 8;
constexpr int kMaxRoundSides = 256;

// Keeps every polygon turning the same way (positive area in device space, y down).
void AddOriented(std::vector<PolyPoint> polygon, Polygons& out)
{
    double area = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const PolyPoint& a = polygon[i];
        const PolyPoint& b = polygon[(i + 1) % polygon.size()];
        area += a.x * b.y - b.x * a.y;
    }
    if (area == 0)
        return;
    if (area < 0)
        std::reverse(polygon.begin(), polygon.end());
    out.push_back(std::move(polygon));
}

// A count worked out in doubles (NaN, infinite or out of an int's range too) kept within [low, high].
int CountWithin(double wanted, int low, int high)
{
    const double rounded = std::ceil(wanted);
    return !(rounded > low) ? low : rounded > high ? high : int(rounded);
}

void AddDisc(const PolyPoint& centre, double radius, double side, Polygons& out)
{
    const int sides = CountWithin(2 * kPi * radius / side, kMinRoundSides, kMaxRoundSides);
    std::vector<PolyPoint> disc(size_t(sides), PolyPoint {});
    for (int i = 0; i < sides; ++i) {
        const double a = 2 * kPi * i / sides;
        disc[size_t(i)] = { centre.x + radius * std::cos(a), centre.y + radius * std::sin(a) };
    }
    AddOriented(std::move(disc), out);
}

// The points of an arc of `radius` around `centre` from the direction `from` turning by `sweep` radians (either
// way), ends included: the ends lie exactly where the pieces they round off end.
void AddArc(const PolyPoint& centre, double radius, double from, double sweep, double side,
    std::vector<PolyPoint>& points)
{
    if (!std::isfinite(from) || !(std::abs(sweep) <= 2 * kPi))
        return;
    const double turns = std::abs(sweep) / (2 * kPi);
    const int steps = CountWithin(std::abs(sweep) * radius / side, std::max(1, int(std::ceil(kMinRoundSides * turns))),
        std::max(1, int(std::ceil(kMaxRoundSides * turns))));
    for (int i = 0; i <= steps; ++i) {
        const double a = from + sweep * i / steps;
        points.push_back({ centre.x + radius * std::cos(a), centre.y + radius * std::sin(a) });
    }
}

} // namespace

void StrokePolygons(const Polygons& polylines, double width, StrokeCap cap, StrokeJoin join, double miterLimit,
    double roundSide, Polygons& out)
{
    const double half = width / 2;
    if (!(half > 0) || !std::isfinite(half) || !(roundSide > 0))
        return;
    for (const auto& line : polylines) {
        // The points without repeats.
        std::vector<PolyPoint> p;
        for (const PolyPoint& q : line)
            if (p.empty() || q.x != p.back().x || q.y != p.back().y)
                p.push_back(q);
        if (p.size() < 2) {
            if (p.size() == 1 && cap == StrokeCap::Round)
                AddDisc(p[0], half, roundSide, out);
            continue;
        }
        const bool closed = p.size() > 2 && p.front().x == p.back().x && p.front().y == p.back().y;
        const size_t segments = p.size() - 1;
        std::vector<PolyPoint> normals(segments);
        std::vector<PolyPoint> directions(segments);
        for (size_t i = 0; i < segments; ++i) {
            const double dx = p[i + 1].x - p[i].x;
            const double dy = p[i + 1].y - p[i].y;
            const double length = std::hypot(dx, dy);
            directions[i] = { dx / length, dy / length };
            normals[i] = { -dy / length * half, dx / length * half };
        }
        for (size_t i = 0; i < segments; ++i) {
            PolyPoint a = p[i];
            PolyPoint b = p[i + 1];
            if (!closed && cap == StrokeCap::Square) {
                if (i == 0)
                    a = { a.x - directions[i].x * half, a.y - directions[i].y * half };
                if (i + 1 == segments)
                    b = { b.x + directions[i].x * half, b.y + directions[i].y * half };
            }
            const PolyPoint& n = normals[i];
            AddOriented({ { a.x + n.x, a.y + n.y }, { b.x + n.x, b.y + n.y }, { b.x - n.x, b.y - n.y },
                            { a.x - n.x, a.y - n.y } },
                out);
        }
        // Joins at the inner points, and at the start of a closed line.
        for (size_t i = closed ? 0 : 1; i < p.size() - 1; ++i) {
            const size_t before = i == 0 ? segments - 1 : i - 1;
            const size_t after = i;
            const PolyPoint& c = p[i];
            // The outer side of the turn.
            const double turn = directions[before].x * directions[after].y - directions[before].y * directions[after].x;
            const double along = directions[before].x * directions[after].x + directions[before].y * directions[after].y;
            if (turn == 0 && along > 0)
                continue; // straight on
            const double side = turn > 0 ? -1 : 1;
            const PolyPoint n1 { normals[before].x * side, normals[before].y * side };
            const PolyPoint n2 { normals[after].x * side, normals[after].y * side };
            if (join == StrokeJoin::Round) {
                // A fan from the end of one piece's outer side round to the start of the next one's, the way the
                // line turns (a line turning back goes round its front).
                std::vector<PolyPoint> fan { c };
                const double sweep = turn == 0 ? -kPi : std::atan2(turn, along);
                AddArc(c, half, std::atan2(n1.y, n1.x), sweep, roundSide, fan);
                AddOriented(std::move(fan), out);
                continue;
            }
            std::vector<PolyPoint> piece { c, { c.x + n1.x, c.y + n1.y } };
            if (join == StrokeJoin::Miter) {
                // The miter's tip lies along the bisector, 1 / cos(theta / 2) half widths away.
                const double bx = n1.x + n2.x;
                const double by = n1.y + n2.y;
                const double blen = std::hypot(bx, by);
                const double cosHalf = blen / (2 * half);
                if (cosHalf > 0 && 1 / cosHalf <= miterLimit) {
                    const double reach = half / cosHalf;
                    piece.push_back({ c.x + bx / blen * reach, c.y + by / blen * reach });
                } else if (blen > 0 && miterLimit * half > blen / 2) {
                    // Beyond the limit the miter is cut off square to the bisector, the limit's half widths from
                    // the corner: the two sides run on along their lines up to the cut.
                    const PolyPoint u { bx / blen, by / blen };
                    const double extra = miterLimit * half - blen / 2; // past the bevel's middle
                    const double along1 = directions[before].x * u.x + directions[before].y * u.y;
                    const double along2 = -(directions[after].x * u.x + directions[after].y * u.y);
                    if (along1 > 0 && along2 > 0) {
                        const double s1 = extra / along1;
                        const double s2 = extra / along2;
                        piece.push_back(
                            { c.x + n1.x + directions[before].x * s1, c.y + n1.y + directions[before].y * s1 });
                        piece.push_back(
                            { c.x + n2.x - directions[after].x * s2, c.y + n2.y - directions[after].y * s2 });
                    }
                }
            }
            piece.push_back({ c.x + n2.x, c.y + n2.y });
            AddOriented(std::move(piece), out);
        }
        if (!closed && cap == StrokeCap::Round) {
            // Half discs from one side of the end to the other, round the back.
            std::vector<PolyPoint> start;
            AddArc(p.front(), half, std::atan2(normals.front().y, normals.front().x), kPi, roundSide, start);
            AddOriented(std::move(start), out);
            std::vector<PolyPoint> end;
            AddArc(p.back(), half, std::atan2(-normals.back().y, -normals.back().x), kPi, roundSide, end);
            AddOriented(std::move(end), out);
        }
    }
}

} // namespace reelfinch::plugin

namespace reelfinch::plugin {

namespace {

// The integral of a parabola's curvature to the power 1/2 and its inverse, both approximated closely enough for
// choosing cuts.
double ParabolaIntegral(double x)
{
    constexpr double d = 0.67;
    return x / (1 - d + std::sqrt(std::sqrt(d * d * d * d + 0.25 * x * x)));
}

double ParabolaInverseIntegral(double x)
{
    constexpr double b = 0.39;
    return x * (1 - b + std::sqrt(b * b + 0.25 * x * x));
}

} // namespace

void QuadraticCuts(const PolyPoint& p0, const PolyPoint& c, const PolyPoint& p2, double tolerance, int maxPieces,
    std::vector<double>& cuts)
{
    cuts.clear();
    // A curve that strays no further than the tolerance from its chord is the chord: |cross| / 4 is how far its
    // middle lies from the chord, times the chord's length.
    const double chord = std::hypot(p2.x - p0.x, p2.y - p0.y);
    const double bend = std::abs((p2.x - p0.x) * (2 * c.y - p0.y - p2.y) - (p2.y - p0.y) * (2 * c.x - p0.x - p2.x));
    if (bend <= 4 * tolerance * chord) {
        cuts.push_back(1);
        return;
    }
    // The curve as a piece of the parabola y = x^2: where its ends lie along it, and how much it is scaled.
    const double ddx = 2 * c.x - p0.x - p2.x;
    const double ddy = 2 * c.y - p0.y - p2.y;
    const double cross = (p2.x - p0.x) * ddy - (p2.y - p0.y) * ddx;
    const double from = ((c.x - p0.x) * ddx + (c.y - p0.y) * ddy) / cross;
    const double to = ((p2.x - c.x) * ddx + (p2.y - c.y) * ddy) / cross;
    const double scale = std::abs(cross / (std::hypot(ddx, ddy) * (to - from)));
    const double integralFrom = ParabolaIntegral(from);
    const double integralTo = ParabolaIntegral(to);
    const double count = std::ceil(0.5 * std::abs(integralTo - integralFrom) * std::sqrt(scale / tolerance));
    // A straight curve (cross 0) gives no finite count: one piece.
    if (!std::isfinite(count) || count <= 1 || !(tolerance > 0)) {
        cuts.push_back(1);
        return;
    }
    const int n = count < double(std::max(maxPieces, 1)) ? int(count) : std::max(maxPieces, 1);
    const double inverseFrom = ParabolaInverseIntegral(integralFrom);
    const double inverseSpan = ParabolaInverseIntegral(integralTo) - inverseFrom;
    for (int i = 1; i < n; ++i) {
        const double u = ParabolaInverseIntegral(integralFrom + (integralTo - integralFrom) * i / n);
        cuts.push_back(std::clamp((u - inverseFrom) / inverseSpan, 0.0, 1.0));
    }
    cuts.push_back(1);
}

} // namespace reelfinch::plugin
