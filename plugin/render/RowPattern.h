// A row of texels (a linear gradient's ramp) stretched across the device, worked out by our own loop with the
// very bytes cairo gives when it fills or strokes a path with that row as a bilinear-filtered surface pattern,
// padded or reflected: where cairo walks pixman's general per-pixel fetch for every pixel of a large fill, this
// loop costs a few operations a pixel and its result can be kept from frame to frame.
//
// cairo hands pixman a 16.16 fixed-point transform that it fits at the centre of the integer rectangle it
// composites in, so the bytes depend on that rectangle too: CompositeExtents finds it for a fill as cairo does,
// StrokeCompositeExtents for a stroke.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>

namespace reelfinch::plugin {

// An integer rectangle of a surface's pixels.
struct IntRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

// The rectangle cairo composites in when it fills the current path of `cr` (with the OVER operator and default
// anti-aliasing) inside its clip, in pixels of the target surface. False where the answer is not certain (clips
// cairo cannot list as whole-pixel rectangles, several rectangles none of which holds the fill, curves in the
// path, coordinates out of range): the caller then leaves the fill to cairo.
bool CompositeExtents(cairo_t* cr, IntRect& extents);

// The same for stroking the current path with the current line settings, where cairo's outline of the stroke
// lies inside one whole-pixel clip rectangle and the user space keeps the axes; false otherwise.
bool StrokeCompositeExtents(cairo_t* cr, IntRect& extents);

// The matrix from pixels of `cr`'s target surface to the space of a pattern with `patternMatrix` set as the
// source now (cairo locks a source to the user space in force when it is set); false for a singular user space.
bool SourceToSurface(cairo_t* cr, const cairo_matrix_t& patternMatrix, cairo_matrix_t& out);

class RowSampler
{
public:
    // `toTexels` takes pixels of the target surface to texel space (cairo's pattern matrix composed with the
    // user space and the surface's device offset), `extents` is where the fill composites, `texels` the row's
    // length. False where cairo would sample otherwise (a transform it treats as a plain translation, positions
    // past pixman's range, a fill that samples one texel row so finely that cairo reads it as unpadded).
    bool set(const cairo_matrix_t& toTexels, const IntRect& extents, int texels, bool reflect);
    // Pixels x to x + count of row y of the target surface.
    void fill(const uint32_t* texels, int x, int y, uint32_t* out, int count) const;
    // `rows` rows from row y down, each `count` pixels from x, row j at `out` + j * `stride` (in pixels).
    void fillRows(const uint32_t* texels, int x, int y, uint32_t* out, size_t stride, int count, int rows) const;
    // The fixed-point transform and offsets, which with the texels decide every byte.
    const int32_t* transform() const { return m_Transform[0]; }
    int offsetX() const { return m_OffsetX; }
    int offsetY() const { return m_OffsetY; }

private:
    int32_t m_Transform[2][3] {}; // pixman's rows for x and y, 16.16
    int m_OffsetX = 0; // source coordinates are the surface's plus these
    int m_OffsetY = 0;
    int m_Texels = 0;
    bool m_Reflect = false;
};

} // namespace reelfinch::plugin
