#include "QuickDraw.h"

#include <cstring>
#include <memory>

namespace {

GrafPtr currentPort = nullptr;
uint32_t lastWindowNumber = 0;

// Component values of the classic colour constants; anything else is black.
RGBColor ClassicColor(long color)
{
    constexpr uint16_t kFull = 0xFFFF;
    switch (color) {
    case whiteColor:
        return { kFull, kFull, kFull };
    case yellowColor:
        return { kFull, kFull, 0 };
    case magentaColor:
        return { kFull, 0, kFull };
    case redColor:
        return { kFull, 0, 0 };
    case cyanColor:
        return { 0, kFull, kFull };
    case greenColor:
        return { 0, kFull, 0 };
    case blueColor:
        return { 0, 0, kFull };
    default:
        return { 0, 0, 0 };
    }
}

bool IsEmpty(const Rect& r)
{
    return r.bottom <= r.top || r.right <= r.left;
}

bool Intersect(const Rect& a, const Rect& b, Rect* out)
{
    Rect r { std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
        std::min(a.right, b.right) };
    if (IsEmpty(r)) {
        *out = Rect { 0, 0, 0, 0 };
        return false;
    }
    *out = r;
    return true;
}

// Appends the parts of `a` outside `b` (at most four disjoint pieces: above, below, left, right of the overlap).
void SubtractRect(const Rect& a, const Rect& b, std::vector<Rect>* out)
{
    Rect overlap;
    if (!Intersect(a, b, &overlap)) {
        out->push_back(a);
        return;
    }
    if (a.top < overlap.top)
        out->push_back(Rect { a.top, a.left, overlap.top, a.right });
    if (overlap.bottom < a.bottom)
        out->push_back(Rect { overlap.bottom, a.left, a.bottom, a.right });
    if (a.left < overlap.left)
        out->push_back(Rect { overlap.top, a.left, overlap.bottom, overlap.left });
    if (overlap.right < a.right)
        out->push_back(Rect { overlap.top, overlap.right, overlap.bottom, a.right });
}

std::vector<Rect> Subtract(const std::vector<Rect>& a, const std::vector<Rect>& b)
{
    std::vector<Rect> result = a;
    for (const Rect& cut : b) {
        std::vector<Rect> next;
        for (const Rect& piece : result)
            SubtractRect(piece, cut, &next);
        result = std::move(next);
    }
    return result;
}

std::vector<Rect> Intersection(const std::vector<Rect>& a, const std::vector<Rect>& b)
{
    std::vector<Rect> result;
    Rect overlap;
    for (const Rect& x : a)
        for (const Rect& y : b)
            if (Intersect(x, y, &overlap))
                result.push_back(overlap);
    return result;
}

Rect Offset(const Rect& r, long dh, long dv)
{
    return MakeRect(r.left + dh, r.top + dv, r.right + dh, r.bottom + dv);
}

void OffsetRects(std::vector<Rect>* rects, long dh, long dv)
{
    std::vector<Rect> moved;
    for (const Rect& r : *rects) {
        Rect m = Offset(r, dh, dv);
        if (!IsEmpty(m)) // a rectangle pushed against the edge of the plane may flatten
            moved.push_back(m);
    }
    *rects = std::move(moved);
}

void AttachPixMap(GrafPort* port)
{
    port->portPixMap.baseAddr = port->pixels.empty() ? nullptr : port->pixels.data();
    port->portPixMap.rowBytes = static_cast<int32_t>(port->pixelWidth * sizeof(uint32_t));
    port->portPixMap.bounds = port->portBounds;
    port->portPixMap.pixelSize = 32;
    port->pixelsMemory = PortPixelsDescriptor(port->portPixMap.baseAddr);
}

int ClampSide(long side)
{
    return static_cast<int>(std::clamp<long>(side, 0, kMaxPortSide));
}

// The bounds of a port whose top-left is at `origin`; 16-bit, so a port near the edge of the plane has a
// narrower area than pixels: drawing reaches only the part its bounds cover.
Rect BoundsAt(Point origin, int width, int height)
{
    return MakeRect(
        origin.h, origin.v, static_cast<long long>(origin.h) + width, static_cast<long long>(origin.v) + height);
}

// Makes the pixel map width x height, keeping the pixels both sizes share; new pixels are opaque black.
void ResizePort(GrafPort* port, int width, int height)
{
    constexpr uint32_t kOpaqueBlack = 0xFF000000u;
    PortPixels pixels(static_cast<size_t>(width) * static_cast<size_t>(height), kOpaqueBlack);
    const int keepWidth = std::min(width, port->pixelWidth);
    for (int y = 0; y < std::min(height, port->pixelHeight); ++y)
        std::memcpy(&pixels[static_cast<size_t>(y) * width], &port->pixels[static_cast<size_t>(y) * port->pixelWidth],
            static_cast<size_t>(keepWidth) * sizeof(uint32_t));
    port->pixels = std::move(pixels);
    port->pixelWidth = width;
    port->pixelHeight = height;
    port->portBounds = BoundsAt(Point { port->portBounds.top, port->portBounds.left }, width, height);
    port->visRgn.rects.clear();
    if (!IsEmpty(port->portBounds))
        port->visRgn.rects.push_back(port->portBounds);
    AttachPixMap(port);
}

// The part of a local rectangle that drawing may touch, in pixel-map coordinates.
std::vector<Rect> DrawableRects(const GrafPort& port, const Rect& local)
{
    std::vector<Rect> area = Intersection(Intersection({ local }, port.clipRgn.rects), port.visRgn.rects);
    area = Intersection(area, { port.portBounds });
    OffsetRects(&area, -port.portBounds.left, -port.portBounds.top);
    return Intersection(
        area, { Rect { 0, 0, static_cast<int16_t>(port.pixelHeight), static_cast<int16_t>(port.pixelWidth) } });
}

void FillPixels(GrafPort* port, const Rect& pixelRect, uint32_t value)
{
    const int width = port->pixelWidth;
    for (int y = pixelRect.top; y < pixelRect.bottom; ++y) {
        uint32_t* row = &port->pixels[static_cast<size_t>(y) * width];
        std::fill(row + pixelRect.left, row + pixelRect.right, value);
    }
}

void FillLocal(GrafPort* port, const Rect& local, uint32_t value)
{
    for (const Rect& r : DrawableRects(*port, local))
        FillPixels(port, r, value);
}

} // namespace

uint32_t PixelFromRGB(const RGBColor& color)
{
    constexpr uint32_t kOpaque = 0xFF000000u;
    return kOpaque | (static_cast<uint32_t>(color.red >> 8) << 16) | (static_cast<uint32_t>(color.green >> 8) << 8)
        | static_cast<uint32_t>(color.blue >> 8);
}

// Rectangles.

void SetRect(Rect* r, short left, short top, short right, short bottom)
{
    if (r)
        *r = Rect { top, left, bottom, right };
}

void OffsetRect(Rect* r, short dh, short dv)
{
    if (r)
        *r = Offset(*r, dh, dv);
}

void InsetRect(Rect* r, short dh, short dv)
{
    if (!r)
        return;
    *r = MakeRect(r->left + dh, r->top + dv, r->right - dh, r->bottom - dv);
    if (IsEmpty(*r))
        *r = Rect { 0, 0, 0, 0 };
}

bool SectRect(const Rect* a, const Rect* b, Rect* dst)
{
    if (!a || !b || !dst)
        return false;
    return Intersect(*a, *b, dst);
}

void UnionRect(const Rect* a, const Rect* b, Rect* dst)
{
    if (!a || !b || !dst)
        return;
    *dst = Rect { std::min(a->top, b->top), std::min(a->left, b->left), std::max(a->bottom, b->bottom),
        std::max(a->right, b->right) };
}

bool EmptyRect(const Rect* r)
{
    return !r || IsEmpty(*r);
}

bool EqualRect(const Rect* a, const Rect* b)
{
    return a && b && a->top == b->top && a->left == b->left && a->bottom == b->bottom && a->right == b->right;
}

bool PtInRect(Point pt, const Rect* r)
{
    return r && pt.h >= r->left && pt.h < r->right && pt.v >= r->top && pt.v < r->bottom;
}

// Regions.

RgnHandle NewRgn()
{
    return new MacRegion();
}

void DisposeRgn(RgnHandle rgn)
{
    delete rgn;
}

void CopyRgn(RgnHandle src, RgnHandle dst)
{
    if (src && dst && src != dst)
        dst->rects = src->rects;
}

void SetEmptyRgn(RgnHandle rgn)
{
    if (rgn)
        rgn->rects.clear();
}

void SetRectRgn(RgnHandle rgn, short left, short top, short right, short bottom)
{
    const Rect r { top, left, bottom, right };
    RectRgn(rgn, &r);
}

void RectRgn(RgnHandle rgn, const Rect* r)
{
    if (!rgn || !r)
        return;
    rgn->rects.clear();
    if (!IsEmpty(*r))
        rgn->rects.push_back(*r);
}

void OffsetRgn(RgnHandle rgn, short dh, short dv)
{
    if (rgn)
        OffsetRects(&rgn->rects, dh, dv);
}

bool EmptyRgn(RgnHandle rgn)
{
    return !rgn || rgn->rects.empty();
}

bool EqualRgn(RgnHandle a, RgnHandle b)
{
    if (!a || !b)
        return false;
    return Subtract(a->rects, b->rects).empty() && Subtract(b->rects, a->rects).empty();
}

bool PtInRgn(Point pt, RgnHandle rgn)
{
    if (!rgn)
        return false;
    for (const Rect& r : rgn->rects)
        if (PtInRect(pt, &r))
            return true;
    return false;
}

bool RectInRgn(const Rect* r, RgnHandle rgn)
{
    return r && rgn && !Intersection({ *r }, rgn->rects).empty();
}

Rect* GetRegionBounds(RgnHandle rgn, Rect* bounds)
{
    if (!bounds)
        return bounds;
    *bounds = Rect { 0, 0, 0, 0 };
    if (!rgn || rgn->rects.empty())
        return bounds;
    *bounds = rgn->rects.front();
    for (const Rect& r : rgn->rects)
        UnionRect(bounds, &r, bounds);
    return bounds;
}

void SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst)
{
    if (a && b && dst)
        dst->rects = Intersection(a->rects, b->rects);
}

void UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst)
{
    if (!a || !b || !dst)
        return;
    std::vector<Rect> result = a->rects;
    for (const Rect& r : Subtract(b->rects, a->rects))
        result.push_back(r);
    dst->rects = std::move(result);
}

void DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst)
{
    if (a && b && dst)
        dst->rects = Subtract(a->rects, b->rects);
}

// Windows.

OSStatus CreateNewWindow(WindowClass, WindowAttributes, const Rect* contentBounds, WindowRef* outWindow)
{
    if (!contentBounds || !outWindow)
        return paramErr;
    auto window = std::make_unique<MacWindow>();
    window->windowNumber = ++lastWindowNumber;
    GrafPort& port = window->port;
    port.portBounds = Rect { 0, 0, 0, 0 };
    port.clipRgn.rects.push_back(kWideOpenRect);
    port.rgbFgColor = ClassicColor(blackColor);
    port.rgbBkColor = ClassicColor(whiteColor);
    port.pnSize = Point { 1, 1 };
    port.pnMode = patCopy;
    port.screenOrigin = Point { contentBounds->top, contentBounds->left };
    port.window = window.get();
    ResizePort(&port, ClampSide(contentBounds->right - contentBounds->left),
        ClampSide(contentBounds->bottom - contentBounds->top));
    *outWindow = window.release();
    return noErr;
}

void DisposeWindow(WindowRef window)
{
    if (!window)
        return;
    if (currentPort == &window->port)
        currentPort = nullptr;
    delete window;
}

CGrafPtr GetWindowPort(WindowRef window)
{
    return window ? &window->port : nullptr;
}

WindowRef GetWindowFromPort(CGrafPtr port)
{
    return port ? port->window : nullptr;
}

void SizeWindow(WindowRef window, short width, short height, bool)
{
    if (!window)
        return;
    const int w = ClampSide(width);
    const int h = ClampSide(height);
    if (w == window->port.pixelWidth && h == window->port.pixelHeight)
        return;
    ResizePort(&window->port, w, h);
    std::vector<Rect> content { Rect { 0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w) } };
    window->updateRgn.rects = Intersection(window->updateRgn.rects, content);
}

void MoveWindow(WindowRef window, short hGlobal, short vGlobal, bool)
{
    if (window)
        window->port.screenOrigin = Point { vGlobal, hGlobal };
}

namespace {

// A local region of the window's port in content (pixel) coordinates.
std::vector<Rect> LocalToContent(WindowRef window, std::vector<Rect> rects)
{
    OffsetRects(&rects, -window->port.portBounds.left, -window->port.portBounds.top);
    return rects;
}

} // namespace

OSStatus InvalWindowRect(WindowRef window, const Rect* bounds)
{
    if (!window || !bounds)
        return paramErr;
    MacRegion rgn;
    RectRgn(&rgn, bounds);
    return InvalWindowRgn(window, &rgn);
}

OSStatus InvalWindowRgn(WindowRef window, RgnHandle region)
{
    if (!window || !region)
        return paramErr;
    MacRegion added;
    added.rects = LocalToContent(window, region->rects);
    UnionRgn(&window->updateRgn, &added, &window->updateRgn);
    return noErr;
}

OSStatus ValidWindowRect(WindowRef window, const Rect* bounds)
{
    if (!window || !bounds)
        return paramErr;
    MacRegion rgn;
    RectRgn(&rgn, bounds);
    return ValidWindowRgn(window, &rgn);
}

OSStatus ValidWindowRgn(WindowRef window, RgnHandle region)
{
    if (!window || !region)
        return paramErr;
    window->updateRgn.rects = Subtract(window->updateRgn.rects, LocalToContent(window, region->rects));
    return noErr;
}

OSStatus GetWindowRegion(WindowRef window, WindowRegionCode code, RgnHandle region)
{
    if (!window || !region)
        return paramErr;
    const GrafPort& port = window->port;
    if (code == kWindowUpdateRgn)
        region->rects = window->updateRgn.rects;
    else if (code == kWindowContentRgn)
        SetRectRgn(region, 0, 0, static_cast<short>(port.pixelWidth), static_cast<short>(port.pixelHeight));
    else
        return paramErr;
    OffsetRgn(region, port.screenOrigin.h, port.screenOrigin.v);
    return noErr;
}

// The current port.

void GetPort(GrafPtr* port)
{
    if (port)
        *port = currentPort;
}

void SetPort(GrafPtr port)
{
    currentPort = port;
}

bool QDSwapPort(CGrafPtr newPort, CGrafPtr* oldPort)
{
    const bool changed = currentPort != newPort;
    if (oldPort)
        *oldPort = currentPort;
    currentPort = newPort;
    return changed;
}

// Port fields.

Rect* GetPortBounds(CGrafPtr port, Rect* bounds)
{
    if (bounds)
        *bounds = port ? port->portBounds : Rect { 0, 0, 0, 0 };
    return bounds;
}

PixMapHandle GetPortPixMap(CGrafPtr port)
{
    return port ? &port->portPixMap : nullptr;
}

const BitMap* GetPortBitMapForCopyBits(CGrafPtr port)
{
    return GetPortPixMap(port);
}

uint32_t* GetPixBaseAddr(PixMapHandle pixMap)
{
    return pixMap ? pixMap->baseAddr : nullptr;
}

long GetPixRowBytes(PixMapHandle pixMap)
{
    return pixMap ? pixMap->rowBytes : 0;
}

RgnHandle GetPortClipRegion(CGrafPtr port, RgnHandle clip)
{
    if (port && clip)
        clip->rects = port->clipRgn.rects;
    return clip;
}

void SetPortClipRegion(CGrafPtr port, RgnHandle clip)
{
    if (port && clip)
        port->clipRgn.rects = clip->rects;
}

RgnHandle GetPortVisibleRegion(CGrafPtr port, RgnHandle visible)
{
    if (port && visible)
        visible->rects = port->visRgn.rects;
    return visible;
}

void SetPortVisibleRegion(CGrafPtr port, RgnHandle visible)
{
    if (port && visible)
        port->visRgn.rects = visible->rects;
}

// Calls on the current port.

void SetOrigin(short h, short v)
{
    if (!currentPort)
        return;
    GrafPort& port = *currentPort;
    const long dh = h - port.portBounds.left;
    const long dv = v - port.portBounds.top;
    port.portBounds = BoundsAt(Point { v, h }, port.pixelWidth, port.pixelHeight);
    port.portPixMap.bounds = port.portBounds;
    // The visible region stays over the same pixels; the clip region keeps its local coordinates.
    OffsetRects(&port.visRgn.rects, dh, dv);
}

void GetClip(RgnHandle rgn)
{
    if (currentPort)
        GetPortClipRegion(currentPort, rgn);
}

void SetClip(RgnHandle rgn)
{
    if (currentPort)
        SetPortClipRegion(currentPort, rgn);
}

void ClipRect(const Rect* r)
{
    if (currentPort && r)
        RectRgn(&currentPort->clipRgn, r);
}

void GlobalToLocal(Point* pt)
{
    if (!currentPort || !pt)
        return;
    const GrafPort& port = *currentPort;
    *pt = MakePoint(static_cast<long long>(pt->h) - port.screenOrigin.h + port.portBounds.left,
        static_cast<long long>(pt->v) - port.screenOrigin.v + port.portBounds.top);
}

void LocalToGlobal(Point* pt)
{
    if (!currentPort || !pt)
        return;
    const GrafPort& port = *currentPort;
    *pt = MakePoint(static_cast<long long>(pt->h) - port.portBounds.left + port.screenOrigin.h,
        static_cast<long long>(pt->v) - port.portBounds.top + port.screenOrigin.v);
}

void ForeColor(long color)
{
    if (currentPort)
        currentPort->rgbFgColor = ClassicColor(color);
}

void BackColor(long color)
{
    if (currentPort)
        currentPort->rgbBkColor = ClassicColor(color);
}

void RGBForeColor(const RGBColor* color)
{
    if (currentPort && color)
        currentPort->rgbFgColor = *color;
}

void RGBBackColor(const RGBColor* color)
{
    if (currentPort && color)
        currentPort->rgbBkColor = *color;
}

void GetForeColor(RGBColor* color)
{
    if (currentPort && color)
        *color = currentPort->rgbFgColor;
}

void GetBackColor(RGBColor* color)
{
    if (currentPort && color)
        *color = currentPort->rgbBkColor;
}

void PenNormal()
{
    if (!currentPort)
        return;
    currentPort->pnSize = Point { 1, 1 };
    currentPort->pnMode = patCopy;
}

void PenSize(short width, short height)
{
    if (currentPort)
        currentPort->pnSize = Point { std::max<int16_t>(height, 0), std::max<int16_t>(width, 0) };
}

void MoveTo(short h, short v)
{
    if (currentPort)
        currentPort->pnLoc = Point { v, h };
}

void PaintRect(const Rect* r)
{
    if (currentPort && r)
        FillLocal(currentPort, *r, PixelFromRGB(currentPort->rgbFgColor));
}

void EraseRect(const Rect* r)
{
    if (currentPort && r)
        FillLocal(currentPort, *r, PixelFromRGB(currentPort->rgbBkColor));
}

void FrameRect(const Rect* r)
{
    if (!currentPort || !r || IsEmpty(*r))
        return;
    // The pen's width and height set the thickness of the vertical and horizontal edges, inside the rectangle.
    const long penH = std::min<long>(currentPort->pnSize.h, r->right - r->left);
    const long penV = std::min<long>(currentPort->pnSize.v, r->bottom - r->top);
    const uint32_t value = PixelFromRGB(currentPort->rgbFgColor);
    FillLocal(currentPort, MakeRect(r->left, r->top, r->right, r->top + penV), value);
    FillLocal(currentPort, MakeRect(r->left, r->bottom - penV, r->right, r->bottom), value);
    FillLocal(currentPort, MakeRect(r->left, r->top, r->left + penH, r->bottom), value);
    FillLocal(currentPort, MakeRect(r->right - penH, r->top, r->right, r->bottom), value);
}

void CopyBits(const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect, short, RgnHandle maskRgn)
{
    if (!src || !dst || !srcRect || !dstRect || !src->baseAddr || !dst->baseAddr || IsEmpty(*srcRect)
        || IsEmpty(*dstRect))
        return;
    const int srcWidth = srcRect->right - srcRect->left;
    const int srcHeight = srcRect->bottom - srcRect->top;
    const int dstWidth = dstRect->right - dstRect->left;
    const int dstHeight = dstRect->bottom - dstRect->top;

    // The destination area, in dst coordinates: the rectangle, within the map, the mask and the port's regions.
    std::vector<Rect> area = Intersection({ *dstRect }, { dst->bounds });
    if (maskRgn)
        area = Intersection(area, maskRgn->rects);
    if (currentPort && dst == &currentPort->portPixMap)
        area = Intersection(Intersection(area, currentPort->clipRgn.rects), currentPort->visRgn.rects);

    for (const Rect& part : area) {
        for (int y = part.top; y < part.bottom; ++y) {
            const int sy
                = srcRect->top + static_cast<int>((static_cast<long long>(y - dstRect->top) * srcHeight) / dstHeight);
            if (sy < src->bounds.top || sy >= src->bounds.bottom)
                continue;
            const auto* srcRow = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(src->baseAddr)
                + static_cast<ptrdiff_t>(sy - src->bounds.top) * src->rowBytes);
            auto* dstRow = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(dst->baseAddr)
                + static_cast<ptrdiff_t>(y - dst->bounds.top) * dst->rowBytes);
            for (int x = part.left; x < part.right; ++x) {
                const int sx = srcRect->left
                    + static_cast<int>((static_cast<long long>(x - dstRect->left) * srcWidth) / dstWidth);
                if (sx >= src->bounds.left && sx < src->bounds.right)
                    dstRow[x - dst->bounds.left] = srcRow[sx - src->bounds.left];
            }
        }
    }
}
