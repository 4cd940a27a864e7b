#include "render/Drawing.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>

namespace reelfinch::plugin {

namespace {

// Serials come from one counter, so that two drawings (a clip's and its duplicate's) never share one.
std::atomic<uint64_t> g_NextSerial { 1 };

// Curves are followed as this many straight pieces when a point is tested against them.
constexpr int kCurvePieces = 16;

void AddPoint(double box[4], const cairo_matrix_t& m, double x, double y)
{
    cairo_matrix_transform_point(&m, &x, &y);
    box[0] = std::min(box[0], x);
    box[1] = std::min(box[1], y);
    box[2] = std::max(box[2], x);
    box[3] = std::max(box[3], y);
}

// The point at `t` of an edge.
void PointAt(const Edge& e, double t, double& x, double& y)
{
    const double u = 1 - t;
    x = u * u * e.x0 + 2 * u * t * e.cx + t * t * e.x1;
    y = u * u * e.y0 + 2 * u * t * e.cy + t * t * e.y1;
}

// Where a quadratic's coordinate turns (0 < t < 1), or -1.
double Turn(double a, double c, double b)
{
    const double d = a - 2 * c + b;
    if (d == 0)
        return -1;
    const double t = (a - c) / d;
    return t > 0 && t < 1 ? t : -1;
}

// Calls `f` with each straight piece of an edge.
template <class F>
void ForPieces(const Edge& e, F f)
{
    if (!e.curved) {
        f(e.x0, e.y0, e.x1, e.y1);
        return;
    }
    double px = e.x0, py = e.y0;
    for (int i = 1; i <= kCurvePieces; ++i) {
        double qx, qy;
        PointAt(e, double(i) / kCurvePieces, qx, qy);
        f(px, py, qx, qy);
        px = qx;
        py = qy;
    }
}

} // namespace

void Drawing::touch()
{
    m_Serial = g_NextSerial.fetch_add(1, std::memory_order_relaxed);
}

ShapeLayer& Drawing::currentLayer()
{
    if (m_Layers.empty()) {
        m_Layers.emplace_back();
        m_LineIndex = 0;
    }
    return m_Layers.back();
}

void Drawing::moveTo(double x, double y)
{
    if (m_Filling) {
        // The outline so far keeps its closing edge; the next one starts here with a closing edge of its own.
        ShapeLayer& layer = currentLayer();
        m_Closing = layer.edges.size();
        layer.edges.push_back({ { x, y, x, y, x, y, false }, 0, 0, 0 });
        m_HaveClosing = true;
        m_StartX = x;
        m_StartY = y;
        touch();
    }
    m_PenX = x;
    m_PenY = y;
}

void Drawing::addEdge(const Edge& edge)
{
    const bool stroked = m_HasLine;
    if (!m_Filling && !stroked) {
        m_PenX = edge.x1;
        m_PenY = edge.y1;
        return;
    }
    ShapeLayer& layer = currentLayer();
    if (m_Filling)
        layer.edges.push_back({ edge, 0, 1, 0 });
    if (stroked) {
        if (m_LineIndex == 0) {
            layer.lines.push_back(m_Line);
            m_LineIndex = uint32_t(layer.lines.size());
        }
        layer.edges.push_back({ edge, 0, 0, m_LineIndex });
    }
    m_PenX = edge.x1;
    m_PenY = edge.y1;
    if (m_Filling && m_HaveClosing && m_Closing < layer.edges.size()) {
        // The closing edge runs from the pen back to where the outline began; while they meet it closes nothing.
        // It is stroked with the line the outline is drawn with.
        ShapeLayer::StyledEdge& closing = layer.edges[m_Closing];
        closing.edge = { m_PenX, m_PenY, (m_PenX + m_StartX) / 2, (m_PenY + m_StartY) / 2, m_StartX, m_StartY, false };
        const bool closed = m_PenX == m_StartX && m_PenY == m_StartY;
        closing.fill1 = closed ? 0 : 1;
        closing.line = closed || !stroked ? 0 : m_LineIndex;
    }
    touch();
}

void Drawing::lineTo(double x, double y)
{
    addEdge({ m_PenX, m_PenY, (m_PenX + x) / 2, (m_PenY + y) / 2, x, y, false });
}

void Drawing::curveTo(double cx, double cy, double x, double y)
{
    addEdge({ m_PenX, m_PenY, cx, cy, x, y, true });
}

void Drawing::setLine(const LineDef* line)
{
    m_HasLine = line != nullptr;
    if (line)
        m_Line = *line;
    m_LineIndex = 0; // entered into the layer's table when first used
}

void Drawing::beginFill(const FillDef* fill)
{
    endFill();
    if (!fill)
        return;
    // A fill covers what was drawn before it: it starts a layer of its own.
    ShapeLayer layer;
    layer.fills.push_back(*fill);
    m_Layers.push_back(std::move(layer));
    m_LineIndex = 0;
    m_Filling = true;
    m_StartX = m_PenX;
    m_StartY = m_PenY;
    m_Closing = m_Layers.back().edges.size();
    m_Layers.back().edges.push_back({ { m_PenX, m_PenY, m_PenX, m_PenY, m_PenX, m_PenY, false }, 0, 0, 0 });
    m_HaveClosing = true;
    touch();
}

void Drawing::endFill()
{
    if (!m_Filling)
        return;
    m_Filling = false;
    m_HaveClosing = false;
    // The pen ends where the outline began, as the closing edge leaves it.
    m_PenX = m_StartX;
    m_PenY = m_StartY;
    touch();
}

void Drawing::clear()
{
    m_Layers.clear();
    m_PenX = m_PenY = 0;
    m_HasLine = false;
    m_LineIndex = 0;
    m_Filling = false;
    m_HaveClosing = false;
    touch();
}

bool Drawing::bounds(const cairo_matrix_t& m, double box[4]) const
{
    bool any = false;
    for (const ShapeLayer& layer : m_Layers) {
        for (const auto& styled : layer.edges) {
            if (!styled.fill1 && !styled.line)
                continue;
            const Edge& e = styled.edge;
            const double half = styled.line && styled.line <= layer.lines.size()
                ? layer.lines[styled.line - 1].width / 2
                : 0.0;
            // The ends, and the points where a curve turns back.
            double xs[4] = { e.x0, e.x1, e.x0, e.x0 };
            double ys[4] = { e.y0, e.y1, e.y0, e.y0 };
            if (e.curved) {
                double x, y;
                if (const double t = Turn(e.x0, e.cx, e.x1); t >= 0) {
                    PointAt(e, t, x, y);
                    xs[2] = x;
                    ys[2] = y;
                }
                if (const double t = Turn(e.y0, e.cy, e.y1); t >= 0) {
                    PointAt(e, t, x, y);
                    xs[3] = x;
                    ys[3] = y;
                }
            }
            for (int i = 0; i < 4; ++i) {
                AddPoint(box, m, xs[i] - half, ys[i] - half);
                AddPoint(box, m, xs[i] + half, ys[i] + half);
                AddPoint(box, m, xs[i] - half, ys[i] + half);
                AddPoint(box, m, xs[i] + half, ys[i] - half);
            }
            any = true;
        }
    }
    return any;
}

bool Drawing::hit(double x, double y) const
{
    for (const ShapeLayer& layer : m_Layers) {
        int winding = 0;
        for (const auto& styled : layer.edges) {
            const Edge& e = styled.edge;
            if (styled.fill1)
                ForPieces(e, [&](double x0, double y0, double x1, double y1) { winding += Winding(x, y, x0, y0, x1, y1); });
            if (styled.line && styled.line <= layer.lines.size()) {
                const double half = std::max(layer.lines[styled.line - 1].width, 20.0) / 2;
                bool on = false;
                ForPieces(e, [&](double x0, double y0, double x1, double y1) {
                    on = on || SegmentDistance(x, y, x0, y0, x1, y1) <= half;
                });
                if (on)
                    return true;
            }
        }
        if (winding % 2 != 0)
            return true;
    }
    return false;
}

// Crossings of a ray from (x, y) towards +x with the segment; the sign tells its direction.
int Winding(double x, double y, double x0, double y0, double x1, double y1)
{
    if ((y0 <= y) == (y1 <= y))
        return 0;
    const double t = (y - y0) / (y1 - y0);
    if (x0 + t * (x1 - x0) <= x)
        return 0;
    return y1 > y0 ? 1 : -1;
}

double SegmentDistance(double x, double y, double x0, double y0, double x1, double y1)
{
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double length = dx * dx + dy * dy;
    double t = length > 0 ? ((x - x0) * dx + (y - y0) * dy) / length : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
}

} // namespace reelfinch::plugin
