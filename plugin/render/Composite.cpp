#include "render/Composite.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace reelfinch::plugin {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

// A device rectangle of whole pixels, right and bottom exclusive.
struct PixelBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    bool holds(const PixelBox& o) const { return o.x0 >= x0 && o.y0 >= y0 && o.x1 <= x1 && o.y1 <= y1; }
    PixelBox meet(const PixelBox& o) const
    {
        return { std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1) };
    }
};

bool Whole(double v)
{
    return std::isfinite(v) && v == std::floor(v) && std::abs(v) < double(1 << 30);
}

// An ARGB32 image's pixels on the device: pixel (x, y) of the image lies at (x, y) less its device offset.
struct ImageOnDevice {
    uint32_t* pixels = nullptr;
    int stride = 0; // in pixels
    int offsetX = 0;
    int offsetY = 0;
    PixelBox box; // device pixels the image covers

    bool take(cairo_surface_t* surface)
    {
        if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE
            || cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
            return false;
        double dx = 0;
        double dy = 0;
        cairo_surface_get_device_offset(surface, &dx, &dy);
        const int byteStride = cairo_image_surface_get_stride(surface);
        if (!Whole(dx) || !Whole(dy) || byteStride % 4 != 0)
            return false;
        cairo_surface_flush(surface);
        pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
        if (!pixels)
            return false;
        stride = byteStride / 4;
        offsetX = int(dx);
        offsetY = int(dy);
        box = { -offsetX, -offsetY, cairo_image_surface_get_width(surface) - offsetX,
            cairo_image_surface_get_height(surface) - offsetY };
        return true;
    }
    uint32_t* at(int x, int y) const { return pixels + std::ptrdiff_t(y + offsetY) * stride + (x + offsetX); }
};

} // namespace

void SubtractRow(uint32_t* below, const uint32_t* layer, int count)
{
    for (int i = 0; i < count; ++i) {
        const uint32_t b = below[i];
        const uint32_t l = layer[i];
        const uint32_t a = b >> 24;
        uint32_t out = kOpaque;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t c = (b >> shift) & 0xFF;
            // DIFFERENCE with opaque white: 255 - c for a channel within its alpha, the separable blend's
            // |c - a| beyond it.
            const uint32_t inverse = std::min<uint32_t>(255, 255 - a + (c > a ? c - a : a - c));
            const uint32_t sum = std::min<uint32_t>(255, inverse + ((l >> shift) & 0xFF));
            out |= (255 - sum) << shift;
        }
        below[i] = out;
    }
}

bool SubtractLayer(cairo_t* cr, cairo_pattern_t* group)
{
    cairo_surface_t* layerSurface = nullptr;
    if (cairo_pattern_get_surface(group, &layerSurface) != CAIRO_STATUS_SUCCESS)
        return false;
    cairo_matrix_t user;
    cairo_matrix_t toPattern;
    cairo_get_matrix(cr, &user);
    cairo_pattern_get_matrix(group, &toPattern);
    // Device pixels map to the layer's one to one when the pattern's space is the device's.
    if (user.xx != toPattern.xx || user.yx != toPattern.yx || user.xy != toPattern.xy || user.yy != toPattern.yy
        || user.x0 != toPattern.x0 || user.y0 != toPattern.y0)
        return false;
    ImageOnDevice target;
    ImageOnDevice layer;
    if (!target.take(cairo_get_group_target(cr)) || !layer.take(layerSurface))
        return false;
    cairo_identity_matrix(cr);
    cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr);
    cairo_set_matrix(cr, &user);
    std::vector<PixelBox> boxes;
    bool ok = clip->status == CAIRO_STATUS_SUCCESS;
    for (int i = 0; ok && i < clip->num_rectangles; ++i) {
        const cairo_rectangle_t& r = clip->rectangles[i];
        ok = Whole(r.x) && Whole(r.y) && Whole(r.width) && Whole(r.height);
        if (!ok)
            break;
        const PixelBox box = PixelBox { int(r.x), int(r.y), int(r.x + r.width), int(r.y + r.height) }.meet(target.box);
        if (box.empty())
            continue;
        // Parts of the clip beyond the layer would be worked on too (the layer there transparent): left to cairo.
        ok = layer.box.holds(box);
        for (const PixelBox& other : boxes)
            ok = ok && box.meet(other).empty(); // each pixel worked on once
        boxes.push_back(box);
    }
    cairo_rectangle_list_destroy(clip);
    if (!ok)
        return false;
    for (const PixelBox& box : boxes)
        for (int y = box.y0; y < box.y1; ++y)
            SubtractRow(target.at(box.x0, y), layer.at(box.x0, y), box.x1 - box.x0);
    cairo_surface_mark_dirty(cairo_get_group_target(cr));
    return true;
}

} // namespace reelfinch::plugin
