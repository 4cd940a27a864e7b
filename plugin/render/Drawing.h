// Shapes that scripts draw into a clip with pen moves, lines, curves and fills. The drawing is kept as shape
// layers in twips, the form the renderer draws defined shapes from: each fill begun starts a layer of its own,
// so that it covers what was drawn before it, and the lines drawn while it is open lie above it.
#pragma once

#include "render/Shapes.h"

#include <cstdint>
#include <vector>

namespace reelfinch::plugin {

class Drawing
{
public:
    // The pen moves without drawing; a fill being drawn closes its outline so far.
    void moveTo(double x, double y);
    // A straight edge or a quadratic curve from the pen; it outlines the open fill and is stroked with the line
    // style in force.
    void lineTo(double x, double y);
    void curveTo(double cx, double cy, double x, double y);
    // Lines drawn from now on; `line` null draws no lines.
    void setLine(const LineDef* line);
    // The line style in force (null when lines are not drawn), to change its fill.
    LineDef* line() { return m_HasLine ? &m_Line : nullptr; }
    // Ends the open fill (closing it) and begins another at the pen; `fill` null begins none.
    void beginFill(const FillDef* fill);
    void endFill();
    // Everything drawn goes, and with it the line style; the pen returns to (0, 0).
    void clear();

    const std::vector<ShapeLayer>& layers() const { return m_Layers; }
    bool empty() const { return m_Layers.empty(); }
    // Changes with every change of the drawing, and differs between drawings: a picture made from one drawing is
    // known to be the same while this is.
    uint64_t serial() const { return m_Serial; }
    // The extent of the edges (strokes to half their width beyond) in the space `m` places them in; false when
    // nothing is drawn.
    bool bounds(const cairo_matrix_t& m, double box[4]) const;
    // Whether the point of the drawing's space lies in a fill or on a stroke.
    bool hit(double x, double y) const;

private:
    ShapeLayer& currentLayer();
    void addEdge(const Edge& edge);
    void touch();

    std::vector<ShapeLayer> m_Layers;
    double m_PenX = 0;
    double m_PenY = 0;
    bool m_HasLine = false;
    LineDef m_Line;
    uint32_t m_LineIndex = 0; // of m_Line in the current layer's line table, 0 while not entered there
    bool m_Filling = false;
    // The open fill: where its current outline began, and the edge that closes it (an index in the current
    // layer's edges, moved along as the pen goes).
    double m_StartX = 0;
    double m_StartY = 0;
    size_t m_Closing = 0;
    bool m_HaveClosing = false;
    uint64_t m_Serial = 0;
};

// Point tests against straight pieces of outlines (hit tests by shape): the crossings of a ray from (x, y)
// towards +x with a segment (signed by its direction), and the distance from the point to a segment.
int Winding(double x, double y, double x0, double y0, double x1, double y1);
double SegmentDistance(double x, double y, double x0, double y0, double x1, double y1);

} // namespace reelfinch::plugin
