// Pixel loops for compositing steps that cairo's generic code does slowly, worked on premultiplied ARGB32 pixels
// with the same results, byte for byte, as the cairo operators they stand for.
#pragma once

#include <cairo.h>

#include <cstdint>

namespace reelfinch::plugin {

// The subtract blend mode on a row: below' = the inverse of (the inverse of below) + layer, as DIFFERENCE with
// opaque white, ADD of the layer and DIFFERENCE with opaque white again leave it (channels cut at 255 between,
// alpha opaque).
void SubtractRow(uint32_t* below, const uint32_t* layer, int count);

// Mixes `group` into `cr`'s target by subtract inside `cr`'s clip, as that chain of operators does. `group` is a
// layer's image placed on the device by whole pixels (as a layer's pattern is). Done only when the target is an
// ARGB32 image, the clip is whole-pixel rectangles inside the layer, and the pattern maps device pixels to the
// layer's one to one; false, with nothing drawn, otherwise.
bool SubtractLayer(cairo_t* cr, cairo_pattern_t* group);

// Blend modes that cairo works with pixman's generic per-pixel code, done by loops of our own with the same bytes:
// painting the layer with the operator (MULTIPLY, DIFFERENCE, DARKEN, LIGHTEN, SCREEN, OVERLAY, HARD_LIGHT), or
// for Invert masking opaque white by the layer with DIFFERENCE.
enum class LayerBlend : uint8_t { Multiply, Difference, Darken, Lighten, Invert, Screen, Overlay, HardLight };

// One row of a blend: below' = below blended with layer.
void BlendRow(LayerBlend mode, uint32_t* below, const uint32_t* layer, int count);

// Mixes `group` into `cr`'s target by the blend mode inside `cr`'s clip, under the conditions of SubtractLayer;
// false, with nothing drawn, otherwise.
bool BlendLayer(cairo_t* cr, cairo_pattern_t* group, LayerBlend mode);

// One row of `layer` through the coverage `mask` over `below`, as OVER with a mask does: the layer's pixel times
// the coverage, then over what lies below.
void MaskedOverRow(uint32_t* below, const uint32_t* layer, const uint8_t* mask, int count);

// Draws `group` through `mask` (an A8 layer's pattern placed on the device as `group` is) over `cr`'s target inside
// its clip, as cairo_set_source and cairo_mask with the OVER operator do, under the conditions of SubtractLayer for
// both layers; false, with nothing drawn, otherwise (another operator too).
bool MaskLayer(cairo_t* cr, cairo_pattern_t* group, cairo_pattern_t* mask);

} // namespace reelfinch::plugin
