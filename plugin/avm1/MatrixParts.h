// A display object's matrix as scripts see it: x and y scale, rotation in degrees, and a matrix made again from
// them (the skew of a sheared matrix is lost, as with the player's own properties).
#pragma once

#include <cairo.h>

#include <cmath>

namespace reelfinch::avm1 {

inline double MatrixScaleX(const cairo_matrix_t& m)
{
    return std::sqrt(m.xx * m.xx + m.yx * m.yx);
}

inline double MatrixScaleY(const cairo_matrix_t& m)
{
    return std::sqrt(m.xy * m.xy + m.yy * m.yy);
}

inline double MatrixRotation(const cairo_matrix_t& m)
{
    return std::atan2(m.yx, m.xx) * 180.0 / M_PI;
}

inline void SetMatrix(cairo_matrix_t& m, double sx, double sy, double rotationDegrees)
{
    const double r = rotationDegrees * M_PI / 180.0;
    m.xx = std::cos(r) * sx;
    m.yx = std::sin(r) * sx;
    m.xy = -std::sin(r) * sy;
    m.yy = std::cos(r) * sy;
}

} // namespace reelfinch::avm1
