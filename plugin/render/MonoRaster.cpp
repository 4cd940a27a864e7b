#include "render/MonoRaster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace reelfinch::plugin {

namespace {

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
    std::vector<RasterEdge> edges;
    double minX = std::numeric_limits<double>::max();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    for (const auto& contour : polygons) {
        const size_t n = contour.size();
        for (size_t i = 0; i < n; ++i) {
            const PolyPoint& a = contour[i];
            const PolyPoint& b = contour[(i + 1) % n];
            if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y))
                return nullptr;
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
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
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
    size_t next = 0;
    bool any = false;
    for (int row = 0; row < height; ++row) {
        const double sy = top + row + 0.5;
        // An edge holds the centres of rows from its top (included) to its bottom (left out).
        while (next < edges.size() && edges[next].top <= sy)
            active.push_back(&edges[next++]);
        active.erase(std::remove_if(active.begin(), active.end(), [sy](const RasterEdge* e) { return e->bottom <= sy; }),
            active.end());
        crossings.clear();
        for (const RasterEdge* e : active)
            crossings.push_back({ e->x + (sy - e->top) * e->slope, e->direction });
        std::sort(crossings.begin(), crossings.end());
        unsigned char* line = data + size_t(row) * size_t(stride);
        int winding = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i) {
            winding += nonZero ? crossings[i].direction : 1;
            const bool inside = nonZero ? winding != 0 : (winding & 1) != 0;
            if (!inside)
                continue;
            // Centres from the left crossing (included) to the right one (left out).
            const double from = std::ceil(crossings[i].x - 0.5) - left;
            const double to = std::ceil(crossings[i + 1].x - 0.5) - left;
            const int a = int(std::clamp(from, 0.0, double(width)));
            const int b = int(std::clamp(to, 0.0, double(width)));
            if (b > a) {
                std::fill(line + a, line + b, 0xFF);
                any = true;
            }
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
