// Bitmap filters of placements (drop shadow, blur, glow, bevel, gradient glow and bevel, convolution, colour
// matrix): taken from swflib's filter records, and applied to an object's picture drawn on its own in device pixels.
#pragma once

#include "render/ColorTransform.h"

#include <cairo.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class CFilterListItem;

namespace reelfinch::plugin {

struct Filter {
    enum Kind : uint8_t {
        DropShadow = 0,
        Blur = 1,
        Glow = 2,
        Bevel = 3,
        GradientGlow = 4,
        Convolution = 5,
        ColorMatrix = 6,
        GradientBevel = 7
    } kind = Blur;
    double blurX = 0, blurY = 0; // pixels (of the object's space at the stage's scale)
    double angle = 0; // radians
    double distance = 0; // pixels
    double strength = 1;
    bool inner = false, knockout = false, compositeSource = true, onTop = false;
    int passes = 1;
    RGBA color, highlight; // drop shadow and glow: color; bevel: color is the shadow
    std::vector<std::pair<double, RGBA>> gradient; // gradient glow and bevel: ratio 0 to 1, colour
    std::array<double, 20> matrix {}; // colour matrix: 4 rows of 5 (the fifth an offset of 0 to 255)
    int matrixX = 0, matrixY = 0; // convolution
    std::vector<double> kernel;
    double divisor = 1, bias = 0;
    RGBA defaultColor;
    bool clamp = true, preserveAlpha = false;
};

// The smallest rectangle of an ARGB32 surface holding every pixel that is not fully transparent, right and bottom
// exclusive; false when there is none.
bool InkBounds(cairo_surface_t* image, int& x0, int& y0, int& x1, int& y1);

// The filters of a filter list as swflib reads it (null: none). A filter that cannot be drawn (a convolution
// kernel of more than 1024 cells) is left out.
std::vector<Filter> FiltersFrom(const CFilterListItem* list);

// The farthest, in pixels, filters reach around a picture, whatever their blurs: 1,024 pixels.
double MaxFilterReach();

// The farthest a filter's blur spreads a picture in a view of `width` x `height` pixels: no farther than the
// view's longer side (nor than MaxFilterReach). Blurs grow with the view's scale, so the cut falls at the same
// place in the movie whatever the view's size; a picture blurred wider than the whole view is spread to a faint
// wash either way, while working out each pass over room many times the view's size would cost without bound.
// Offsets are not cut by it: a shadow cast from far outside the view still falls into it.
double FilterReachLimit(int width, int height);

// How far, in pixels, the filters may draw beyond the picture's own pixels on each side, each blur's spread
// counted at most as `limit`, the whole at most MaxFilterReach.
int FilterMargin(const std::vector<Filter>& filters, double scaleX, double scaleY, double limit = MaxFilterReach());

// How far, in pixels, the filters draw from where the picture's pixels lie, towards each side: an effect cast
// down and to the right (a shadow at 45 degrees) reaches further right and down than left and up. The sides are
// left, top, right, bottom; each is at most `FilterMargin` with the same `limit`.
std::array<double, 4> FilterReach(
    const std::vector<Filter>& filters, double scaleX, double scaleY, double limit = MaxFilterReach());

// Box blurs a plane of `width` x `height` pixels of `channels` (1 or 4) interleaved 16-bit channels, each a byte's
// value times 256, as the filters blur: boxes `sizeX` by `sizeY` device pixels wide, `passes` times. Planes of
// whole levels (the filters' own) take quicker loops of the same results; `anyLevels` takes the general ones
// whatever the plane holds. A plane of the wrong size is left alone.
void BlurChannels(std::vector<uint16_t>& plane, int width, int height, int channels, double sizeX, double sizeY,
    int passes, bool anyLevels = false);

// Applies the filters in turn to `image` (ARGB32, premultiplied), whose pixels already hold `FilterMargin` of
// room around the picture. Blur sizes and distances are scaled by `scaleX`/`scaleY` (the stage's scale of the
// object's space). With `view` (left, top, right, bottom, in the image's pixels, right and bottom exclusive) only
// the pixels inside it are worked out, and only they are written; the rest of the image is left as it was.
// `limit`: how far the filters reach, as the room around the picture was measured (`FilterReach`).
void ApplyFilters(cairo_surface_t* image, const std::vector<Filter>& filters, double scaleX, double scaleY,
    const std::array<int, 4>* view = nullptr, double limit = MaxFilterReach());

// How many channel values the box blurs of the filters have worked out since the program started: tests bound the
// work a picture takes with it.
uint64_t BlurWork();
// For tests: the filters' plain pixel loops alone (true), or the quicker ones they have for many pixels at a time
// (false, as drawn); both give the same bytes.
void UsePlainFilterLoops(bool plain);

// Applies a colour transform to every pixel of `image` (ARGB32, premultiplied) that is not fully transparent. A
// filtered object is drawn plain, filtered, and only then coloured by its own transform and its parents': a glow
// of black on an object whose transform adds red shows red.
void TransformPicture(cairo_surface_t* image, const ColorTransform& cx);

} // namespace reelfinch::plugin
