#include "ipc/Records.h"

#include <cstring>

namespace reelfinch::ipc {

namespace {

void WriteRect(Writer& w, const Rect& r)
{
    w.u16(uint16_t(r.top)).u16(uint16_t(r.left)).u16(uint16_t(r.bottom)).u16(uint16_t(r.right));
}

Rect ReadRect(Reader& r)
{
    Rect rect {};
    rect.top = int16_t(r.u16());
    rect.left = int16_t(r.u16());
    rect.bottom = int16_t(r.u16());
    rect.right = int16_t(r.u16());
    return rect;
}

} // namespace

WindowState CaptureWindow(const NPWindow* window)
{
    WindowState s;
    if (!window)
        return s;
    s.haveWindow = true;
    s.x = window->x;
    s.y = window->y;
    s.width = window->width;
    s.height = window->height;
    s.clipRect = window->clipRect;
    const auto* npPort = static_cast<const NP_Port*>(window->window);
    if (!npPort || !npPort->port)
        return s;
    const GrafPort* port = npPort->port;
    s.havePort = true;
    s.portx = npPort->portx;
    s.porty = npPort->porty;
    s.pixelWidth = port->pixelWidth;
    s.pixelHeight = port->pixelHeight;
    s.portBounds = port->portBounds;
    s.screenOrigin = port->screenOrigin;
    s.clipRgn = port->clipRgn.rects;
    if (s.clipRgn.size() > kMaxClipRects)
        s.clipRgn.resize(kMaxClipRects);
    return s;
}

void WriteWindow(Writer& w, const WindowState& s)
{
    w.u8(uint8_t((s.haveWindow ? 1 : 0) | (s.havePort ? 2 : 0)));
    w.i32(s.x).i32(s.y).u32(s.width).u32(s.height);
    w.u16(s.clipRect.top).u16(s.clipRect.left).u16(s.clipRect.bottom).u16(s.clipRect.right);
    w.i32(s.portx).i32(s.porty).i32(s.pixelWidth).i32(s.pixelHeight);
    WriteRect(w, s.portBounds);
    w.u16(uint16_t(s.screenOrigin.v)).u16(uint16_t(s.screenOrigin.h));
    w.u32(uint32_t(s.clipRgn.size()));
    for (const Rect& r : s.clipRgn)
        WriteRect(w, r);
}

bool ReadWindow(Reader& r, WindowState& s)
{
    const uint8_t flags = r.u8();
    s.haveWindow = flags & 1;
    s.havePort = flags & 2;
    s.x = r.i32();
    s.y = r.i32();
    s.width = r.u32();
    s.height = r.u32();
    s.clipRect.top = r.u16();
    s.clipRect.left = r.u16();
    s.clipRect.bottom = r.u16();
    s.clipRect.right = r.u16();
    s.portx = r.i32();
    s.porty = r.i32();
    s.pixelWidth = r.i32();
    s.pixelHeight = r.i32();
    s.portBounds = ReadRect(r);
    s.screenOrigin.v = int16_t(r.u16());
    s.screenOrigin.h = int16_t(r.u16());
    const uint32_t count = r.u32();
    if (!r.ok() || flags > 3 || count > kMaxClipRects || size_t(count) * 8 > r.remaining() || s.pixelWidth < 0
        || s.pixelHeight < 0 || s.pixelWidth > kMaxPortSide || s.pixelHeight > kMaxPortSide) {
        r.fail();
        return false;
    }
    s.clipRgn.clear();
    s.clipRgn.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        s.clipRgn.push_back(ReadRect(r));
    return r.ok();
}

void WriteEvent(Writer& w, const EventRecord& e)
{
    w.u16(e.what).u32(e.message).u32(e.when).u16(uint16_t(e.where.v)).u16(uint16_t(e.where.h)).u16(e.modifiers);
}

bool ReadEvent(Reader& r, EventRecord& e)
{
    e = EventRecord {};
    e.what = r.u16();
    e.message = r.u32();
    e.when = r.u32();
    e.where.v = int16_t(r.u16());
    e.where.h = int16_t(r.u16());
    e.modifiers = r.u16();
    return r.ok();
}

void WriteVariant(Writer& w, const NPVariant& v)
{
    switch (v.type) {
    case NPVariantType_Null:
        w.u8(NPVariantType_Null);
        break;
    case NPVariantType_Bool:
        w.u8(NPVariantType_Bool).u8(v.value.boolValue ? 1 : 0);
        break;
    case NPVariantType_Int32:
        w.u8(NPVariantType_Int32).i32(v.value.intValue);
        break;
    case NPVariantType_Double:
        w.u8(NPVariantType_Double).f64(v.value.doubleValue);
        break;
    case NPVariantType_String: {
        const NPString& s = v.value.stringValue;
        // A length that counts a terminating NUL (as this host's strings do) stops at the NUL.
        const size_t length = s.UTF8Characters ? strnlen(s.UTF8Characters, s.UTF8Length) : 0;
        w.u8(NPVariantType_String).bytes(s.UTF8Characters, std::min<size_t>(length, kMaxStringBytes));
        break;
    }
    default:
        w.u8(NPVariantType_Void);
        break;
    }
}

bool ReadVariant(Reader& r, NPVariant& v, std::string& text)
{
    VOID_TO_NPVARIANT(v);
    switch (r.u8()) {
    case NPVariantType_Void:
        break;
    case NPVariantType_Null:
        NULL_TO_NPVARIANT(v);
        break;
    case NPVariantType_Bool: {
        const uint8_t b = r.u8();
        if (b > 1)
            r.fail();
        BOOLEAN_TO_NPVARIANT(b != 0, v);
        break;
    }
    case NPVariantType_Int32:
        INT32_TO_NPVARIANT(r.i32(), v);
        break;
    case NPVariantType_Double:
        DOUBLE_TO_NPVARIANT(r.f64(), v);
        break;
    case NPVariantType_String:
        if (r.string(text))
            STRINGN_TO_NPVARIANT(text.c_str(), text.size(), v);
        break;
    default:
        r.fail();
        break;
    }
    if (!r.ok())
        VOID_TO_NPVARIANT(v);
    return r.ok();
}

} // namespace reelfinch::ipc
