// Coverage without anti-aliasing, as the format's players draw at low quality: a pixel is inside a polygon when
// its centre is, and a centre that lies exactly on an edge belongs to the shape on the edge's right or below it
// (top-left rule), so that shapes sharing an edge never both cover, nor both miss, a pixel. Points are kept in
// 1/256 of a pixel and crossings worked out exactly from them, where cairo's own rasterizer decides centres on
// or near an edge by rules of its own.
#pragma once

#include <cairo.h>

#include <vector>

namespace reelfinch::plugin {

struct PolyPoint {
    double x, y;
};
// Closed contours in device pixels.
using Polygons = std::vector<std::vector<PolyPoint>>;

// An A8 surface covering the part of `clip` (device pixels: left, top, right, bottom) the polygons reach, 255 where
// a pixel's centre lies inside them by the non-zero or the even-odd rule, 0 elsewhere; `left` and `top` receive
// its place. Null when nothing is covered or the surface cannot be made.
cairo_surface_t* RasterizeMono(const Polygons& polygons, bool nonZero, const double clip[4], int& left, int& top);

// The same coverage sampled at a grid of `grid` by `grid` points evenly spread over each pixel (at (i + 0.5) / grid
// of its width and height), each point inside by the same rules as a centre above: a pixel's value is the share of
// its points inside, as anti-aliasing that takes a few samples per pixel draws it. A grid of 1 is RasterizeMono.
// With `scratch`, the surface's pixels are kept there (grown as needed, so that a caller drawing many shapes does
// not ask the system for fresh memory each time): the surface must be destroyed before the next call with it.
cairo_surface_t* RasterizeSampled(const Polygons& polygons, bool nonZero, const double clip[4], int grid, int& left,
    int& top, std::vector<unsigned char>* scratch = nullptr);

} // namespace reelfinch::plugin

namespace reelfinch::plugin {

enum class StrokeCap { Round, None, Square };
enum class StrokeJoin { Round, Bevel, Miter };

// The outline of a stroke `width` pixels wide along open polylines (a polyline ending where it starts is closed)
// as polygons that all turn the same way, so that the non-zero rule draws their union: a piece for each segment,
// the joins between segments and the caps at the ends. Round caps and joins have sides about `roundSide` long.
void StrokePolygons(const Polygons& polylines, double width, StrokeCap cap, StrokeJoin join, double miterLimit,
    double roundSide, Polygons& out);

} // namespace reelfinch::plugin

namespace reelfinch::plugin {

// Where to cut a quadratic curve (from p0 by the control point c to p2) into straight pieces that stray at most
// `tolerance` from it: the curve's parameters at the pieces' ends, the last 1. The cuts follow the curve's
// bending, closer together where it turns sharply, by the parabola approximation of its arc's curvature integral;
// a curve whose points lie on a line is one piece. At most `maxPieces` pieces.
void QuadraticCuts(const PolyPoint& p0, const PolyPoint& c, const PolyPoint& p2, double tolerance, int maxPieces,
    std::vector<double>& cuts);

} // namespace reelfinch::plugin
