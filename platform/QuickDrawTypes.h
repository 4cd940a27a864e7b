// The small records shared by the classic Mac event and drawing interfaces: points and rectangles in 16-bit
// QuickDraw coordinates (vertical first, as the published records lay them out), colours, status codes.
#pragma once

#include <algorithm>
#include <cstdint>

using OSStatus = int32_t;
using OSErr = int16_t;
inline constexpr OSStatus noErr = 0;

struct Point {
    int16_t v;
    int16_t h;
};

struct Rect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

// 16-bit colour components, 0 to 0xFFFF.
struct RGBColor {
    uint16_t red;
    uint16_t green;
    uint16_t blue;
};

// Coordinates wider than QuickDraw's 16 bits are clamped to its range, never wrapped: a wrapped value would
// turn a far-away point into a near one on the other side.
inline int16_t ClampToShort(long long value)
{
    return static_cast<int16_t>(std::clamp<long long>(value, INT16_MIN, INT16_MAX));
}

inline Point MakePoint(long long h, long long v)
{
    return Point { ClampToShort(v), ClampToShort(h) };
}

inline Rect MakeRect(long long left, long long top, long long right, long long bottom)
{
    return Rect { ClampToShort(top), ClampToShort(left), ClampToShort(bottom), ClampToShort(right) };
}
