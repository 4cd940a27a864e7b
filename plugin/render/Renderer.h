// Draws a movie's display lists with cairo: shapes with solid, gradient and bitmap fills and line styles, morph
// shapes at their ratio, static text from font glyphs, buttons in their state, sprites, colour transforms and
// clip-depth masks.
#pragma once

#include "render/ColorTransform.h"
#include "render/Fonts.h"
#include "render/GradientFill.h"
#include "render/MonoRaster.h"
#include "render/RowPattern.h"
#include "timeline/MoviePlayer.h"
#include "render/Shapes.h"

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class CSWF;
class CTag;

namespace reelfinch::plugin {

class BitmapCache;
namespace video {
class MovieVideos;
}

// A rectangle of device pixels, empty while x0 > x1.
struct DeviceBox {
    double x0 = 1, y0 = 1, x1 = 0, y1 = 0;
    bool empty() const { return x0 > x1 || y0 > y1; }
    // Adds the rectangle [left, right] x [top, bottom] of a space placed on the device with `m`.
    void add(const cairo_matrix_t& m, double left, double top, double right, double bottom);
    void grow(double by);
};

// The nine-slice grid of a sprite or button, in twips of its own space: what lies left of `left`, right of
// `right`, above `top` and below `bottom` keeps its size as the clip is scaled.
struct ScalingGrid {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// A stroke's edges, placed by `m` (to device space), and how many pixels its outline reaches past them.
struct StrokeShape {
    const std::vector<Edge>* edges = nullptr;
    cairo_matrix_t m {};
    double reach = 0;
};

// Nine-slice scaling of a clip's own shapes: points of the device are taken back to the clip's space, moved
// there so that the margins outside its grid keep their size on the screen while the middle stretches to make up
// the rest of its scaled bounds, and placed again. Margins wider than the scaled clip shrink alike, the middle
// then vanishing.
class GridWarp
{
public:
    // False when the clip cannot be sliced (no bounds, a grid outside them, a flattened matrix): draw it plainly.
    // `stageScale`: device pixels per twip of the stage, whose pixels the margins keep.
    bool set(const ScalingGrid& grid, const double bounds[4], const cairo_matrix_t& clipToDevice, double stageScaleX,
        double stageScaleY);
    void apply(double& x, double& y) const;
    // The point of the clip's own space that the warp moves to (x, y) of that space (hit tests follow the
    // warped shapes this way).
    void unwarpLocal(double& x, double& y) const;

private:
    // One axis: the ends and grid lines of the clip, and where they go.
    struct Axis {
        double from[4] = {};
        double to[4] = {};
        bool set(double low, double gridLow, double gridHigh, double high, double scale);
        double map(double v) const;
        double unmap(double v) const;
    };
    cairo_matrix_t m_ToDevice {};
    cairo_matrix_t m_ToClip {};
    Axis m_X, m_Y;
};

// A morph shape (DefineMorphShape or DefineMorphShape2) at `ratio` (0 the start shape, 65535 the end): its edges,
// fills and lines moved between the two; empty for other tags.
std::vector<ShapeLayer> MorphShapeLayers(const CTag* tag, uint16_t ratio);

class Renderer
{
public:
    Renderer(MoviePlayer& movie, BitmapCache& bitmaps);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    void draw(const DrawTarget& target, const cairo_matrix_t& view, uint32_t background);
    // Whether the point (pixels of the plug-in area) lies in the hit area of a button placed with `matrix`.
    bool buttonHit(const CTag* button, const cairo_matrix_t& matrix, double x, double y);
    // Characters are looked up in this loaded movie's dictionary (null: the main movie's) until a sprite of
    // another movie is drawn.
    void useLibrary(const MovieLibrary* library);

private:
    // The rectangle around the object the keyboard focused, when the movie shows one.
    void drawFocusRect(cairo_t* cr, const cairo_matrix_t& stage);
    void drawList(
        cairo_t* cr, const SpriteInstance& sprite, const cairo_matrix_t& parent, const ColorTransform& cx, int nesting);
    void drawObject(
        cairo_t* cr, const DisplayObject& object, const cairo_matrix_t& parent, const ColorTransform& cx, int nesting);
    // drawObject for a clip a script masked with another (setMask): the clip shows only where the mask, drawn at
    // its own place on the stage, has shape.
    void drawScriptMasked(cairo_t* cr, const DisplayObject& object, const SpriteInstance& mask,
        const cairo_matrix_t& parent, const ColorTransform& cx, int nesting);
    // drawObject once the object's matrix `m` on the device is known; `placed`: its scroll rectangle has already
    // put it on whole pixels and drawn its background.
    void drawPlaced(cairo_t* cr, const DisplayObject& object, cairo_matrix_t m, const ColorTransform& cx,
        int nesting, bool placed = false);
    // `own`: the character's own placement, which the widths of non-scaling strokes do not follow.
    void drawCharacter(cairo_t* cr, uint16_t id, const cairo_matrix_t& m, const ColorTransform& cx, uint16_t ratio,
        int buttonState, const SpriteInstance* sprite, int nesting, const cairo_matrix_t* own = nullptr);
    void drawCharacterOwn(cairo_t* cr, uint16_t id, const cairo_matrix_t& m, const ColorTransform& cx, uint16_t ratio,
        int buttonState, const SpriteInstance* sprite, int nesting);
    void drawLayers(cairo_t* cr, const std::vector<ShapeLayer>& layers, const cairo_matrix_t& m,
        const ColorTransform& cx, const GridWarp* warp = nullptr);
    // The nine-slice warp of the shapes drawn at `nesting`, when a clip with a scaling grid holds them.
    const GridWarp* warpAt(int nesting) const { return m_Warp && m_WarpNesting == nesting ? m_Warp : nullptr; }
    // drawList for a sprite or button's children, sliced by the character's scaling grid when it has one.
    void drawContent(
        cairo_t* cr, uint16_t id, const SpriteInstance& sprite, const cairo_matrix_t& m, const ColorTransform& cx, int nesting);
    // Paints the current source where the polygons (device pixels) hold pixel centres; leaves `m` the matrix.
    void fillMono(cairo_t* cr, const Polygons& polygons, bool nonZero, const cairo_matrix_t& m);
    // The pixels of the coverage masks fillMono draws through, kept from one shape to the next.
    std::vector<unsigned char> m_MaskScratch;
    void drawText(cairo_t* cr, const CTag* tag, const cairo_matrix_t& m, const ColorTransform& cx);
    void drawEditText(cairo_t* cr, const CTag* tag, const cairo_matrix_t& m, const ColorTransform& cx);
    void drawField(cairo_t* cr, const EditField& field, const cairo_matrix_t& m, const ColorTransform& cx);
    // One glyph of a font `height` twips high with its origin at (x, y) of `base`'s space, in `color`.
    void drawGlyph(cairo_t* cr, const Font& font, int glyph, double height, double x, double y,
        const cairo_matrix_t& base, const ColorTransform& cx, const RGBA& color);
    // Draws a shape or glyph of one solid fill and no lines, placed by `m`, from its kept coverage, made the
    // second time it is drawn with the same size, turn and place within a pixel; false when it is to be filled.
    bool drawKeptCoverage(cairo_t* cr, const std::vector<ShapeLayer>& layers, const cairo_matrix_t& m,
        const ColorTransform& cx);
    const Font* font(uint16_t id);
    // A video character's picture for the frame number `ratio`, scaled to the stream's size.
    void drawVideo(cairo_t* cr, const CTag* tag, const cairo_matrix_t& m, const ColorTransform& cx, uint16_t ratio);
    void drawButton(
        cairo_t* cr, const CTag* tag, const cairo_matrix_t& m, const ColorTransform& cx, int state, int nesting);
    // Hit tests on `cr`'s scratch surface: a button's hit-state records, and any character placed with `placed`
    // (a sprite by what its first frame places).
    bool recordsHit(cairo_t* cr, const CTag* button, const cairo_matrix_t& matrix, double x, double y, int nesting);
    bool characterHit(cairo_t* cr, uint16_t id, const cairo_matrix_t& placed, double x, double y, int nesting);
    // `pathFill`: the source is for filling the current path with anti-aliasing (not a stroke's, not a mask's).
    // `stroke`: the source is for that stroke, whose reach limits the pixels of a picture worked out for it.
    bool setFillSource(cairo_t* cr, const FillDef& fill, const ColorTransform& cx, bool pathFill = false,
        const StrokeShape* stroke = nullptr);
    // A linear gradient's stretched row over `extents`, where cairo composites a fill or stroke of the current
    // path, worked out as cairo would sample it and kept from frame to frame; false, with nothing set, where
    // cairo is left to do it.
    bool setRowSource(cairo_t* cr, const GradientRamp& ramp, const cairo_matrix_t& toTexels, bool reflect,
        const IntRect& extents, const StrokeShape* stroke = nullptr);
    // The same for a stroke of the current path with a padded or reflected linear gradient `fill`, set in place
    // of the pattern setFillSource gave it; false, with the source left as it was, where cairo is left to do it.
    // `stroke`, when given, limits the picture's pixels to those it can reach.
    bool setStrokeRowSource(cairo_t* cr, const FillDef& fill, const StrokeShape* stroke);
    // A gradient worked out pixel by pixel; `cx`, when given, transforms the colours read from the ramp.
    bool setRadialSource(cairo_t* cr, const FillDef& fill, const GradientRamp& ramp, const cairo_matrix_t& toSquare,
        const ColorTransform* cx = nullptr, const StrokeShape* stroke = nullptr);
    // The pixels of a picture at (left, top), `width` x `height`, that `stroke` can reach, in m_Spans.
    void strokeSpans(const StrokeShape& stroke, int left, int top, int width, int height);
    // Appends to m_GradientKey what those pixels depend on: the stroke's edges, placement and reach.
    void appendStrokeKey(const StrokeShape& stroke);
    // The gradient picture kept under m_GradientKey ended with the ramp's `entries` pixels (an even count), or
    // else a new one of `width` x `height` pixels, kept under that key when there is room, for the caller to fill
    // (`fresh`). The caller owns a reference; null when no picture can be had.
    cairo_surface_t* keptGradient(const uint32_t* ramp, size_t entries, int width, int height, bool& fresh);
    std::vector<ShapeLayer> morphLayers(const CTag* tag, uint16_t ratio);
    const std::vector<ShapeLayer>* shapeLayers(const CTag* tag);
    // Grows `box` (device pixels) by what the character placed with `m` may draw; false when that is not known
    // (the caller then takes the whole clip).
    bool characterBounds(uint16_t id, const cairo_matrix_t& m, int buttonState, const SpriteInstance* sprite,
        int nesting, DeviceBox& box);
    bool listBounds(const SpriteInstance& sprite, const cairo_matrix_t& m, int nesting, DeviceBox& box);
    // A context drawing into a transparent layer the size of `cr`'s clip, with `cr`'s matrix and quality; the
    // layer's pixels come from buffers kept from frame to frame, so that layers drawn every frame do not map fresh
    // memory each time. With `reach`, the layer covers that device rectangle instead (filters must see the parts of
    // an object outside the clip whose effects reach into it).
    // `format`: ARGB32, or A8 for a mask's layer.
    cairo_t* beginLayer(cairo_t* cr, const DeviceBox* reach = nullptr, cairo_format_t format = CAIRO_FORMAT_ARGB32);
    // Moves a cached object's matrix `m` so that its bounds start on whole pixels, and fills its opaque background.
    void placeCached(cairo_t* cr, const DisplayObject& object, cairo_matrix_t& m, int nesting);
    // An image surface on one of the kept buffers (a surface of its own when none can be had), cleared when
    // asked.
    cairo_surface_t* pooledSurface(int width, int height, bool clear, cairo_format_t format = CAIRO_FORMAT_ARGB32);
    // Ends the layer begun on `layer` and gives it as a pattern to draw with on `cr` (as cairo_pop_group does).
    cairo_pattern_t* endLayer(cairo_t* cr, cairo_t* layer);

    // Filtered pictures drawn last frame, by everything their pixels depend on: an object whose picture did
    // not change is not drawn and filtered again.
    struct FilteredPicture {
        std::vector<uint64_t> key;
        cairo_surface_t* surface = nullptr; // the filtered layer or mask, with its device offset
        bool used = false; // drawn this frame
        std::optional<std::array<int, 4>> ink; // its inked rectangle, once measured
        const void* owner = nullptr; // the display object it was drawn for
    };
    // Appends what the picture of `object` placed with `m` depends on to `key`; false when its picture may
    // change by means the display list does not show (text fields, characters of other kinds).
    bool appendPictureKey(const DisplayObject& object, const cairo_matrix_t& m, const ColorTransform& cx,
        int nesting, std::vector<uint64_t>& key);
    bool appendListKey(const SpriteInstance& sprite, int nesting, std::vector<uint64_t>& key);
    // Starts m_Key for a layer of `kind` drawn through `cr`: the clip in device pixels, the matrix and the
    // anti-aliasing. The kept picture whose key is m_Key, marked drawn this frame, or null; a pattern of it as
    // endLayer gives one.
    static constexpr uint64_t kFilteredKey = 1;
    static constexpr uint64_t kMaskKey = 2;
    void startLayerKey(cairo_t* cr, uint64_t kind);
    FilteredPicture* keptPicture();
    // Drops the pictures kept last frame for `owner` and not drawn this frame, as it is drawn anew: their
    // buffers go back to the pool for its new layer.
    void dropPictures(const void* owner);
    static cairo_pattern_t* keptPattern(cairo_t* cr, const FilteredPicture& picture);

    struct LayerBuffer {
        struct Free {
            void operator()(uint32_t* p) const { std::free(p); }
        };
        std::unique_ptr<uint32_t[], Free> pixels;
        size_t size = 0; // pixels
        bool used = false; // a surface still draws on it
        // Every word outside [inkFrom, inkTo) is zero: a layer taking the buffer clears only these.
        size_t inkFrom = 0;
        size_t inkTo = 0;
    };
    // Notes the inked rectangle of a layer on a pooled buffer, measured after its last change: the buffer's next
    // layer clears only those rows.
    void noteLayerInk(cairo_surface_t* surface, const std::array<int, 4>& ink);

    // Keeps the dictionary in use and gives it back at the end of a sprite of another movie.
    struct LibraryScope {
        Renderer& r;
        const std::map<uint16_t, const CTag*>* characters;
        const CTag* jpegTables;
        const CSWF* swf;
        LibraryScope(Renderer& renderer, const MovieLibrary* library)
            : r(renderer), characters(renderer.m_Characters), jpegTables(renderer.m_JPEGTables), swf(renderer.m_Swf)
        {
            r.useLibrary(library);
        }
        ~LibraryScope()
        {
            r.m_Characters = characters;
            r.m_JPEGTables = jpegTables;
            r.m_Swf = swf;
        }
    };

    MoviePlayer& m_Movie;
    const std::map<uint16_t, const CTag*>* m_Characters; // the dictionary in use
    const CTag* m_JPEGTables;
    const CSWF* m_Swf = nullptr; // the movie of the dictionary in use
    // The scaling grids of each movie by character, with the definition they were given to (a movie loaded later
    // at a freed one's address finds its own definitions there).
    struct GridEntry {
        const CTag* definition;
        ScalingGrid grid;
    };
    std::map<const CSWF*, std::map<uint16_t, GridEntry>> m_Grids;
    const ScalingGrid* scalingGrid(uint16_t id);
    const GridWarp* m_Warp = nullptr; // the scaling grid of the clip being drawn
    const cairo_matrix_t* m_OwnMatrix = nullptr; // the placement of the shape being drawn, when known
    int m_WarpNesting = -1; // the nesting of the shapes it slices
    BitmapCache& m_Bitmaps;
    bool m_MaskMode = false; // drawing a clip mask: every fill is opaque
    const SpriteInstance* m_ScriptMasked = nullptr; // the clip drawScriptMasked draws inside its mask
    cairo_matrix_t m_Stage { 1, 0, 0, 1, 0, 0 }; // the stage's twips to device pixels, for this draw
    bool m_DeclaredBounds = false; // characterBounds measures shapes by the bounds their tags declare
    double m_FilterScaleX = 1; // device pixels per pixel of the stage
    double m_FilterScaleY = 1;
    double m_FilterReachLimit = 1024; // how far filters reach around a picture in this draw's view, in pixels
    int m_LayerDepth = 0; // how many layers of blend modes hold what is drawn
    std::vector<cairo_surface_t*> m_Temporary;
    std::vector<std::unique_ptr<LayerBuffer>> m_LayerBuffers;
    std::vector<FilteredPicture> m_Pictures; // filtered pictures and masks drawn last frame
    // Gradients worked out pixel by pixel last frame, by their kind, colours, placement and the pixels they
    // cover: one drawn again in the same place is not worked out again. At most kKeptGradientPixels in all.
    std::vector<FilteredPicture> m_Gradients;
    size_t m_GradientPixels = 0; // pixels m_Gradients holds
    std::vector<uint64_t> m_GradientKey; // setRadialSource's key of a gradient's pixels
    RowSpans m_Spans; // strokeSpans's answer, kept from one stroke to the next
    std::vector<uint64_t> m_Key; // drawObject's key of a filtered picture
    std::vector<std::vector<Edge>> m_FillEdges; // drawLayers's grouping of edges by fill style
    // Coverages of shapes and glyphs of one solid fill, by their walked layers (kept as long as this renderer),
    // the matrix's linear part, where the origin falls within its pixel, the anti-aliasing and whether points keep
    // their exact places. Text and shapes that stay or move by whole pixels draw from them; at most
    // kKeptCoverageBytes of coverage in all.
    struct CoverageKey {
        const void* layers;
        double xx, yx, xy, yy, fx, fy;
        int antialias;
        bool exact;
        auto operator<=>(const CoverageKey&) const = default;
    };
    struct KeptCoverage {
        cairo_surface_t* mask; // A8; null for a shape seen once
        int x, y; // the mask's corner from the pixel holding the shape's origin
    };
    std::map<CoverageKey, KeptCoverage> m_Coverages;
    size_t m_CoverageBytes = 0;
    void forgetCoverages();
    std::unique_ptr<video::MovieVideos> m_Videos; // made when the first video is drawn
    Polygons m_Polygons; // drawLayers's fill outlines in device pixels, when drawn without anti-aliasing
};

} // namespace reelfinch::plugin
