// Gradients worked out pixel by pixel (radial ones, repeating linear ones, and any under a colour transform): the
// rows of the picture the renderer keeps for such a fill.
#pragma once

#include "render/ColorTransform.h"
#include "render/Shapes.h"

#include <cairo.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace reelfinch::plugin {

// A gradient's ramp as pixels, one per ratio: premultiplied, or the colours' own bytes when a colour transform
// works on what is read from it.
using RampPixels = std::array<uint32_t, kGradientEntries>;

// Stretches of pixels of each row of a picture, in its own columns from `from` to before `to`: where a stroke
// can reach. Row j's stretches are `spans[rowStart[j]]` up to `spans[rowStart[j + 1]]`, in order, apart.
struct RowSpans {
    std::vector<uint32_t> rowStart;
    std::vector<std::pair<int, int>> spans;
};

// What decides a gradient picture's pixels.
struct GradientPicture {
    const FillDef* fill = nullptr; // its kind (linear or radial) and spread
    const RampPixels* ramp = nullptr;
    const ColorTransform* cx = nullptr; // applied to each colour read from the ramp; null for none
    double focal = 0; // radial gradients: the focal point on the x axis, already limited
    cairo_matrix_t fromDevice {}; // device points to the unit gradient square
    int left = 0, top = 0; // the device position of the picture's pixel (0, 0)
    int width = 0;
    // Where given (one entry per row of the picture and one more), only these pixels are worked out, as the
    // whole rows would have them; the others are left as they are.
    const RowSpans* spans = nullptr;
};

// Rows `from` to `to` of the picture, row j at `pixels` + j * `stride` (in pixels). Several pixels are worked out
// at once where the processor allows; the bytes are those of FillGradientRowsPlainly.
void FillGradientRows(const GradientPicture& picture, uint32_t* pixels, size_t stride, int from, int to);

// The same rows, one pixel after another by the gradient's plain rules (whole rows, whatever the spans).
void FillGradientRowsPlainly(const GradientPicture& picture, uint32_t* pixels, size_t stride, int from, int to);

} // namespace reelfinch::plugin
