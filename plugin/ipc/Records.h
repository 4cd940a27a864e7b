// The plug-in records as they travel between proxy and engine: the window and the part of its QuickDraw port
// the engine reads (size, bounds, clip region, screen position), event records and scripting values. Reading
// checks every count and value against the record's bounds; the pixels themselves travel through shared memory.
#pragma once

#include "ipc/Message.h"

#include "EventRecord.h"
#include "QuickDraw.h"
#include "npfunctions.h"

#include <string>
#include <vector>

namespace reelfinch::ipc {

// A clip region longer than this many rectangles is refused.
inline constexpr uint32_t kMaxClipRects = 4096;
// Scripting calls carry at most this many arguments.
inline constexpr uint32_t kMaxScriptArgs = 16;

// What the engine needs of the host's window record and port.
struct WindowState {
    bool haveWindow = false;
    bool havePort = false;
    int32_t x = 0;
    int32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    NPRect clipRect {};
    int32_t portx = 0;
    int32_t porty = 0;
    int32_t pixelWidth = 0;
    int32_t pixelHeight = 0;
    Rect portBounds {};
    Point screenOrigin {};
    std::vector<Rect> clipRgn;
};

// The state of a window record as the host holds it now (null window: none).
WindowState CaptureWindow(const NPWindow* window);
void WriteWindow(Writer& w, const WindowState& s);
bool ReadWindow(Reader& r, WindowState& s);

void WriteEvent(Writer& w, const EventRecord& e);
bool ReadEvent(Reader& r, EventRecord& e);

// A scripting value: void, null, Boolean, integer, double or string (objects travel as void). A string read
// is kept in `text`, to which the variant then points.
void WriteVariant(Writer& w, const NPVariant& v);
bool ReadVariant(Reader& r, NPVariant& v, std::string& text);

} // namespace reelfinch::ipc
