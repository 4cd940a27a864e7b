// Video objects: a placed video character as a script object. attachVideo(netStream) shows the stream's pictures
// in the video's rectangle (attachVideo(null) goes back to the character's own frames), clear() hides the
// picture shown until the next one, width and height give the size of the stream's pictures (0 before the
// first), and smoothing and deblocking choose how the pictures are scaled and decoded. Its place on the stage
// reads and moves through _x, _y, _xscale, _yscale, _rotation, _width, _height, _alpha, _visible and _name;
// _target, _parent and toString() name it as they name clips.
#include "avm1/MatrixParts.h"
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/NetStreamLinks.h"
#include "avm1/builtins/NativeData.h"

#include "timeline/MoviePlayer.h"
#include "video/FlvMedia.h"

#include "TagCodes.h"
#include "Tags.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::avm1 {

using plugin::DisplayObject;
using plugin::SpriteInstance;
using plugin::video::VideoLink;

namespace {

class VideoData final : public NativeData
{
public:
    ~VideoData() override
    {
        if (link && link->object == owner)
            link->object = nullptr;
    }
    std::shared_ptr<VideoLink> link;
    Object* owner = nullptr;
};

VideoLink* LinkOf(const Value& self)
{
    VideoData* data = NativeOf<VideoData>(self);
    return data ? data->link.get() : nullptr;
}

Value AttachVideo(Machine& m, const Value& self, const Value* args, int argc)
{
    VideoLink* link = LinkOf(self);
    if (!link)
        return Value();
    link->source = NetStreamVideo(Arg(args, argc, 0));
    link->cleared = 0;
    NetStreamShownIn(m, Arg(args, argc, 0), link->holder);
    if (link->source)
        link->source->setDeblocking(link->deblocking);
    return Value();
}

Value Clear(Machine&, const Value& self, const Value*, int)
{
    if (VideoLink* link = LinkOf(self); link && link->source)
        link->cleared = link->source->serial();
    return Value();
}

Value Width(Machine&, const Value& self, const Value*, int)
{
    VideoLink* link = LinkOf(self);
    if (!link)
        return Value();
    return Value(double(link->source ? link->source->pictureWidth() : 0));
}

Value Height(Machine&, const Value& self, const Value*, int)
{
    VideoLink* link = LinkOf(self);
    if (!link)
        return Value();
    return Value(double(link->source ? link->source->pictureHeight() : 0));
}

Value SmoothingGet(Machine&, const Value& self, const Value*, int)
{
    VideoLink* link = LinkOf(self);
    return link ? Value(link->smoothing) : Value();
}

Value SmoothingSet(Machine& m, const Value& self, const Value* args, int argc)
{
    if (VideoLink* link = LinkOf(self))
        link->smoothing = m.toBoolean(Arg(args, argc, 0));
    return Value();
}

Value DeblockingGet(Machine&, const Value& self, const Value*, int)
{
    VideoLink* link = LinkOf(self);
    return link ? Value(double(link->deblocking)) : Value();
}

// 0 leaves the choice to the stream; other values past the known ones mean the strongest filter.
Value DeblockingSet(Machine& m, const Value& self, const Value* args, int argc)
{
    VideoLink* link = LinkOf(self);
    if (!link)
        return Value();
    const double v = m.toNumber(Arg(args, argc, 0));
    link->deblocking = std::isfinite(v) && v > 0 ? uint8_t(std::min(v, 255.0)) : 0;
    if (link->source)
        link->source->setDeblocking(link->deblocking);
    return Value();
}

// The video a link names while it is on the stage, and the clip holding it.
DisplayObject* DisplayOf(const VideoLink* link, SpriteInstance** parent = nullptr)
{
    if (!link || !link->holder || !link->holder->sprite)
        return nullptr;
    for (auto& [depth, object] : link->holder->sprite->displayList)
        if (object.video.get() == link) {
            if (parent)
                *parent = link->holder->sprite;
            return &object;
        }
    return nullptr;
}

enum class Display { X, Y, XScale, YScale, Rotation, Width, Height, Alpha, Visible, Name };

// The video's size in its parent's pixels along one axis: the stream's rectangle through its matrix.
double Extent(Machine& m, SpriteInstance& parent, const DisplayObject& d, bool width)
{
    const auto* define = dynamic_cast<const CDefineVideoStreamTag*>(m.player().character(parent, d.characterId));
    if (!define)
        return 0;
    const double w = define->m_Width, h = define->m_Height;
    const cairo_matrix_t& mx = d.matrix;
    return width ? std::abs(mx.xx) * w + std::abs(mx.xy) * h : std::abs(mx.yx) * w + std::abs(mx.yy) * h;
}

inline double Twentieths(double twips)
{
    return std::round(twips) / 20.0;
}

template <Display D> Value DisplayGet(Machine& m, const Value& self, const Value*, int)
{
    SpriteInstance* parent = nullptr;
    DisplayObject* d = DisplayOf(LinkOf(self), &parent);
    if (!d)
        return Value();
    const cairo_matrix_t& mx = d->matrix;
    switch (D) {
    case Display::X: return Value(Twentieths(mx.x0));
    case Display::Y: return Value(Twentieths(mx.y0));
    case Display::XScale: return Value(MatrixScaleX(mx) * 100.0);
    case Display::YScale: return Value(MatrixScaleY(mx) * 100.0);
    case Display::Rotation: return Value(MatrixRotation(mx));
    case Display::Width: return Value(Extent(m, *parent, *d, true));
    case Display::Height: return Value(Extent(m, *parent, *d, false));
    case Display::Alpha: return Value(d->colorTransform.ma * 100.0);
    case Display::Visible: return Value(d->visible);
    case Display::Name: return Value(m.str(d->name));
    }
    return Value();
}

template <Display D> Value DisplaySet(Machine& m, const Value& self, const Value* args, int argc)
{
    // The value is converted first: a conversion may run a script that changes the display list.
    const Value v = Arg(args, argc, 0);
    const double n = D == Display::Name || D == Display::Visible ? 0.0 : m.toNumber(v);
    const std::string name = D == Display::Name ? m.toString(v) : std::string();
    SpriteInstance* parent = nullptr;
    DisplayObject* d = DisplayOf(LinkOf(self), &parent);
    if (!d || (D != Display::Name && D != Display::Visible && !std::isfinite(n)))
        return Value();
    cairo_matrix_t& mx = d->matrix;
    switch (D) {
    case Display::X: mx.x0 = std::trunc(n * 20.0); break;
    case Display::Y: mx.y0 = std::trunc(n * 20.0); break;
    case Display::XScale: SetMatrix(mx, n / 100.0, MatrixScaleY(mx), MatrixRotation(mx)); break;
    case Display::YScale: SetMatrix(mx, MatrixScaleX(mx), n / 100.0, MatrixRotation(mx)); break;
    case Display::Rotation: SetMatrix(mx, MatrixScaleX(mx), MatrixScaleY(mx), n); break;
    case Display::Width:
    case Display::Height: {
        const double now = Extent(m, *parent, *d, D == Display::Width);
        if (n < 0 || now <= 0)
            break;
        const double factor = n / now;
        if (D == Display::Width)
            SetMatrix(mx, MatrixScaleX(mx) * factor, MatrixScaleY(mx), MatrixRotation(mx));
        else
            SetMatrix(mx, MatrixScaleX(mx), MatrixScaleY(mx) * factor, MatrixRotation(mx));
        break;
    }
    case Display::Alpha: d->colorTransform.ma = n / 100.0; break;
    case Display::Visible: d->visible = m.toBoolean(v) || (v.isNumber() && v.asNumber() != 0); break;
    case Display::Name: d->name = name; break;
    }
    d->scriptMoved = d->scriptMoved || (D != Display::Name && D != Display::Visible && D != Display::Alpha);
    return Value();
}

// A video converts to its target path, as clips and buttons do ("[object Object]" once it is gone).
Value ToStringMethod(Machine& m, const Value& self, const Value*, int)
{
    SpriteInstance* parent = nullptr;
    DisplayObject* d = DisplayOf(LinkOf(self), &parent);
    if (!d)
        return Value(m.str("[object Object]"));
    return Value(m.str(m.targetPath(*parent, false) + "." + d->name));
}

Value TargetGet(Machine& m, const Value& self, const Value*, int)
{
    SpriteInstance* parent = nullptr;
    DisplayObject* d = DisplayOf(LinkOf(self), &parent);
    if (!d)
        return Value();
    std::string path = m.targetPath(*parent, true);
    if (path != "/")
        path += "/";
    return Value(m.str(path + d->name));
}

Value ParentGet(Machine& m, const Value& self, const Value*, int)
{
    SpriteInstance* parent = nullptr;
    return DisplayOf(LinkOf(self), &parent) ? Value(m.clipObject(*parent)) : Value();
}

} // namespace

DisplayObject* VideoDisplay(const Value& video, SpriteInstance** parent)
{
    return DisplayOf(LinkOf(video), parent);
}

Object* VideoObject(Machine& m, SpriteInstance& parent, DisplayObject& display)
{
    if (display.sprite)
        return nullptr;
    const CTag* tag = m.player().character(parent, display.characterId);
    if (!tag || tag->m_TagCode != kTagDefineVideoStream)
        return nullptr;
    if (!display.video) {
        display.video = std::make_shared<VideoLink>();
        if (auto* define = dynamic_cast<const CDefineVideoStreamTag*>(tag))
            display.video->smoothing = define->m_Smoothing;
    }
    m.clipObject(parent);
    display.video->holder = parent.script.m_Link;
    if (!display.video->object) {
        Object* o = m.newObject(CurrentPrototype(m, "Video"));
        VideoData* data = AttachNative<VideoData>(m, o);
        data->link = display.video;
        data->owner = o;
        display.video->object = o;
    }
    return display.video->object;
}

void InstallVideoClass(Machine& m)
{
    Object* proto = m.newObject();
    DefineClass(m, "Video", nullptr, nullptr, proto);
    DefineMethods(m, proto,
        {
            { "attachVideo", AttachVideo },
            { "clear", Clear },
            { "toString", ToStringMethod },
        });
    DefineAccessor(m, proto, "width", Width, nullptr);
    DefineAccessor(m, proto, "height", Height, nullptr);
    DefineAccessor(m, proto, "smoothing", SmoothingGet, SmoothingSet);
    DefineAccessor(m, proto, "deblocking", DeblockingGet, DeblockingSet);
    const auto both = [&](const char* name, NativeFunction get, NativeFunction set) {
        DefineAccessor(m, proto, name, get, set, kDontEnum | kDontDelete);
    };
    both("_x", DisplayGet<Display::X>, DisplaySet<Display::X>);
    both("_y", DisplayGet<Display::Y>, DisplaySet<Display::Y>);
    both("_xscale", DisplayGet<Display::XScale>, DisplaySet<Display::XScale>);
    both("_yscale", DisplayGet<Display::YScale>, DisplaySet<Display::YScale>);
    both("_rotation", DisplayGet<Display::Rotation>, DisplaySet<Display::Rotation>);
    both("_width", DisplayGet<Display::Width>, DisplaySet<Display::Width>);
    both("_height", DisplayGet<Display::Height>, DisplaySet<Display::Height>);
    both("_alpha", DisplayGet<Display::Alpha>, DisplaySet<Display::Alpha>);
    both("_visible", DisplayGet<Display::Visible>, DisplaySet<Display::Visible>);
    both("_name", DisplayGet<Display::Name>, DisplaySet<Display::Name>);
    both("_target", TargetGet, nullptr);
    both("_parent", ParentGet, nullptr);
}

} // namespace reelfinch::avm1
