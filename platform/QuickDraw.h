// A software QuickDraw: the part of the classic Mac drawing interface that the plug-in host calls and that a
// plug-in needs to draw into its window and to turn global points into local ones.
//
// Each window has one port. The port's pixel map is a 32-bit ARGB buffer (one uint32_t 0xAARRGGBB per pixel)
// the size of the window's content, and follows that size. Regions are lists of disjoint rectangles. All
// records are plain structures so that a plug-in built apart from the host can read them directly; every piece
// of state a drawing call depends on lives in the port, except which port is current.
#pragma once

#include "QuickDrawTypes.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

// Storage of a port's pixels: shared memory (a memfd sealed at its size) where the system offers it, so that a
// plug-in drawing in another process can draw into the port directly; ordinary memory otherwise.
void* AllocatePortPixels(size_t bytes);
void FreePortPixels(void* pixels, size_t bytes);
// The descriptor of the shared memory that holds pixels allocated above, or -1.
int PortPixelsDescriptor(const void* pixels);

template <class T>
struct PortPixelAllocator {
    using value_type = T;
    PortPixelAllocator() = default;
    template <class U>
    PortPixelAllocator(const PortPixelAllocator<U>&)
    { }
    T* allocate(size_t n)
    {
        void* p = AllocatePortPixels(n * sizeof(T));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) { FreePortPixels(p, n * sizeof(T)); }
    friend bool operator==(const PortPixelAllocator&, const PortPixelAllocator&) { return true; }
};
using PortPixels = std::vector<uint32_t, PortPixelAllocator<uint32_t>>;

// Regions: disjoint, non-empty rectangles in the coordinates of whoever holds the region.
struct MacRegion {
    std::vector<Rect> rects;
};
using RgnHandle = MacRegion*;

// A pixel map: `baseAddr` points at `rowBytes`-spaced rows of 0xAARRGGBB pixels; `bounds` gives the coordinates
// of its top-left pixel and its size.
struct PixMap {
    uint32_t* baseAddr;
    int32_t rowBytes;
    Rect bounds;
    int16_t pixelSize;
};
using PixMapPtr = PixMap*;
using PixMapHandle = PixMap*;
using BitMap = PixMap;

struct MacWindow;
using WindowRef = MacWindow*;

struct GrafPort;
using CGrafPtr = GrafPort*;
using GrafPtr = GrafPort*;

struct GrafPort {
    PortPixels pixels; // pixelWidth * pixelHeight pixels, row after row
    int32_t pixelWidth;
    int32_t pixelHeight;
    PixMap portPixMap; // over `pixels`; its bounds always equal portBounds
    Rect portBounds; // local coordinates of the pixel map's area; SetOrigin moves it
    MacRegion clipRgn; // local coordinates
    MacRegion visRgn; // local coordinates; follows the pixels when the origin moves
    RGBColor rgbFgColor;
    RGBColor rgbBkColor;
    Point pnLoc;
    Point pnSize;
    int16_t pnMode;
    Point screenOrigin; // global screen position of the pixel map's top-left pixel
    WindowRef window; // the window that owns the port, or null
    int32_t pixelsMemory; // the shared memory holding `pixels` (PortPixelsDescriptor), or -1
};

struct MacWindow {
    // A 32-bit number for the window, unique in the process: what update and activate events carry in their
    // message, where a pointer would not fit.
    uint32_t windowNumber;
    GrafPort port;
    MacRegion updateRgn; // in the window's content coordinates (pixel map pixels)
};

// Classic colour constants for ForeColor and BackColor.
inline constexpr long whiteColor = 30;
inline constexpr long blackColor = 33;
inline constexpr long yellowColor = 69;
inline constexpr long magentaColor = 137;
inline constexpr long redColor = 205;
inline constexpr long cyanColor = 273;
inline constexpr long greenColor = 341;
inline constexpr long blueColor = 409;

// Transfer modes; copies always replace the destination pixels.
inline constexpr int16_t srcCopy = 0;
inline constexpr int16_t patCopy = 8;

using WindowClass = uint32_t;
using WindowAttributes = uint32_t;
using WindowRegionCode = uint16_t;
inline constexpr WindowClass kDocumentWindowClass = 6;
inline constexpr WindowAttributes kWindowNoAttributes = 0;
inline constexpr WindowRegionCode kWindowContentRgn = 33;
inline constexpr WindowRegionCode kWindowUpdateRgn = 34;
inline constexpr OSStatus paramErr = -50;
inline constexpr OSStatus memFullErr = -108;

// The largest side a window's pixel map takes; larger windows get a pixel map of this side.
inline constexpr int kMaxPortSide = 16384;
// The whole plane, used for a port's clip region until someone narrows it.
inline constexpr Rect kWideOpenRect = { INT16_MIN, INT16_MIN, INT16_MAX, INT16_MAX };

// Pixel value of a colour: opaque, 8 bits per component.
uint32_t PixelFromRGB(const RGBColor& color);

// Rectangles.
void SetRect(Rect* r, short left, short top, short right, short bottom);
void OffsetRect(Rect* r, short dh, short dv);
void InsetRect(Rect* r, short dh, short dv);
bool SectRect(const Rect* a, const Rect* b, Rect* dst);
void UnionRect(const Rect* a, const Rect* b, Rect* dst);
bool EmptyRect(const Rect* r);
bool EqualRect(const Rect* a, const Rect* b);
bool PtInRect(Point pt, const Rect* r);

// Regions.
RgnHandle NewRgn();
void DisposeRgn(RgnHandle rgn);
void CopyRgn(RgnHandle src, RgnHandle dst);
void SetEmptyRgn(RgnHandle rgn);
void SetRectRgn(RgnHandle rgn, short left, short top, short right, short bottom);
void RectRgn(RgnHandle rgn, const Rect* r);
void OffsetRgn(RgnHandle rgn, short dh, short dv);
bool EmptyRgn(RgnHandle rgn);
bool EqualRgn(RgnHandle a, RgnHandle b);
bool PtInRgn(Point pt, RgnHandle rgn);
bool RectInRgn(const Rect* r, RgnHandle rgn);
Rect* GetRegionBounds(RgnHandle rgn, Rect* bounds);
void SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
void UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
void DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst);

// Windows and their ports. contentBounds gives the content's global position and size.
OSStatus CreateNewWindow(
    WindowClass windowClass, WindowAttributes attributes, const Rect* contentBounds, WindowRef* outWindow);
void DisposeWindow(WindowRef window);
CGrafPtr GetWindowPort(WindowRef window);
WindowRef GetWindowFromPort(CGrafPtr port);
// Resizes the content, and with it the port's pixel map; the pixels both sizes share are kept.
void SizeWindow(WindowRef window, short width, short height, bool update);
// Moves the content's top-left to a global position.
void MoveWindow(WindowRef window, short hGlobal, short vGlobal, bool front);
// Invalidation takes local coordinates of the window's port, as it stands at the call.
OSStatus InvalWindowRect(WindowRef window, const Rect* bounds);
OSStatus InvalWindowRgn(WindowRef window, RgnHandle region);
OSStatus ValidWindowRect(WindowRef window, const Rect* bounds);
OSStatus ValidWindowRgn(WindowRef window, RgnHandle region);
// The content or the update region, in global coordinates.
OSStatus GetWindowRegion(WindowRef window, WindowRegionCode code, RgnHandle region);

// The current port.
void GetPort(GrafPtr* port);
void SetPort(GrafPtr port);
bool QDSwapPort(CGrafPtr newPort, CGrafPtr* oldPort);

// Port fields.
Rect* GetPortBounds(CGrafPtr port, Rect* bounds);
PixMapHandle GetPortPixMap(CGrafPtr port);
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port);
uint32_t* GetPixBaseAddr(PixMapHandle pixMap);
long GetPixRowBytes(PixMapHandle pixMap);
RgnHandle GetPortClipRegion(CGrafPtr port, RgnHandle clip);
void SetPortClipRegion(CGrafPtr port, RgnHandle clip);
RgnHandle GetPortVisibleRegion(CGrafPtr port, RgnHandle visible);
void SetPortVisibleRegion(CGrafPtr port, RgnHandle visible);

// Calls on the current port.
void SetOrigin(short h, short v);
void GetClip(RgnHandle rgn);
void SetClip(RgnHandle rgn);
void ClipRect(const Rect* r);
void GlobalToLocal(Point* pt);
void LocalToGlobal(Point* pt);
void ForeColor(long color);
void BackColor(long color);
void RGBForeColor(const RGBColor* color);
void RGBBackColor(const RGBColor* color);
void GetForeColor(RGBColor* color);
void GetBackColor(RGBColor* color);
void PenNormal();
void PenSize(short width, short height);
void MoveTo(short h, short v);
// Drawing, limited to the port's clip and visible regions and its pixel map.
void PaintRect(const Rect* r);
void EraseRect(const Rect* r);
void FrameRect(const Rect* r);
// Copies srcRect of src into dstRect of dst (each in its own map's coordinates), scaling to the nearest pixel
// when the sizes differ. When dst is the current port's pixel map, the port's clip and visible regions limit
// the copy; maskRgn, in dst coordinates, limits it too when given.
void CopyBits(
    const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect, short mode, RgnHandle maskRgn);
