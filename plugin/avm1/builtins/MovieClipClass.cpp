// MovieClip: the timeline methods (play, stop, the gotos), clips made and removed by scripts, depths, bounds,
// hit tests, coordinates and dragging.
#include "avm1/ClassRegistry.h"
#include "avm1/builtins/BitmapData.h"
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/NetStreamLinks.h"

#include "timeline/MoviePlayer.h"

#include "Movie.h"
#include "SWFStream.h"
#include "Tags.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::avm1 {

namespace {

plugin::SpriteInstance* Sprite(Machine& m, const Value& self)
{
    return m.spriteOf(self);
}

Value Play(Machine& m, const Value& self, const Value*, int)
{
    if (auto* s = Sprite(m, self))
        s->playing = true;
    return Value();
}

Value Stop(Machine& m, const Value& self, const Value*, int)
{
    if (auto* s = Sprite(m, self))
        s->playing = false;
    return Value();
}

Value GotoAndPlay(Machine& m, const Value& self, const Value* args, int argc)
{
    if (auto* s = Sprite(m, self); s && argc > 0)
        m.gotoValue(*s, args[0], true);
    return Value();
}

Value GotoAndStop(Machine& m, const Value& self, const Value* args, int argc)
{
    if (auto* s = Sprite(m, self); s && argc > 0)
        m.gotoValue(*s, args[0], false);
    return Value();
}

Value NextFrame(Machine& m, const Value& self, const Value*, int)
{
    if (auto* s = Sprite(m, self))
        m.gotoFrame(*s, s->currentFrame + 1, false);
    return Value();
}

Value PrevFrame(Machine& m, const Value& self, const Value*, int)
{
    if (auto* s = Sprite(m, self))
        m.gotoFrame(*s, s->currentFrame - 1, false);
    return Value();
}

Value GetDepth(Machine& m, const Value& self, const Value*, int)
{
    auto* s = Sprite(m, self);
    if (!s)
        return Value();
    if (!s->display)
        return Value(double(-plugin::kScriptDepthOffset));
    return Value(double(s->display->depth - plugin::kScriptDepthOffset));
}

// A script depth as a display-list depth; false for depths no clip may take.
bool DisplayDepth(Machine& m, const Value& v, int32_t& depth)
{
    const double n = m.toNumber(v);
    if (!std::isfinite(n))
        return false;
    const double d = std::floor(n) + plugin::kScriptDepthOffset;
    if (d < 0 || d > plugin::kMaxScriptDepth)
        return false;
    depth = int32_t(d);
    return true;
}

// Copies the enumerable properties of an init object onto a new clip.
void CopyInit(Machine& m, Object* clip, const Value& init)
{
    if (!init.isObject())
        return;
    // Oldest property first: the reverse of the order a for-in loop lists them in.
    const std::vector<std::string> names = m.enumerate(init.asObject());
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        m.setMember(Value(clip), *it, m.getMember(init, *it));
}

// A new clip's class (bound to its symbol), its init object's properties, then the class's constructor.
Value Finish(Machine& m, plugin::SpriteInstance* sprite, const Value& init)
{
    if (!sprite)
        return Value();
    Object* clip = m.clipObject(*sprite);
    const Value ctor = RegisteredClass(m, *sprite);
    m.bindClass(*sprite, ctor);
    CopyInit(m, clip, init);
    m.constructOn(ctor, clip);
    return Value(clip);
}

Value AttachMovie(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    int32_t depth = 0;
    if (!s || argc < 3 || !DisplayDepth(m, args[2], depth))
        return Value();
    // The symbol comes from the library of the movie the clip belongs to.
    const uint16_t id = ExportedCharacter(m, m.toString(args[0]), m.caseSensitive(), s->library);
    if (!id)
        return Value();
    const std::string name = m.toString(args[1]);
    // A button symbol makes a button, a script object of its own.
    if (plugin::DisplayObject* button = m.player().attachButton(*s, id, name, depth))
        return Value(ButtonObject(m, *s, *button));
    return Finish(m, m.player().attachSprite(*s, id, name, depth), Arg(args, argc, 3));
}

Value CreateEmptyMovieClip(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    int32_t depth = 0;
    if (!s || argc < 2 || !DisplayDepth(m, args[1], depth))
        return Value();
    auto* sprite = m.player().attachSprite(*s, 0, m.toString(args[0]), depth);
    return sprite ? Value(m.clipObject(*sprite)) : Value();
}

Value DuplicateMovieClip(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    if (!s || argc < 2)
        return Value();
    // The name is read before the depth, as the player converts them.
    const std::string name = m.toString(args[0]);
    int32_t depth = 0;
    if (!DisplayDepth(m, args[1], depth))
        return Value();
    return Finish(m, m.player().duplicateSprite(*s, name, depth), Arg(args, argc, 2));
}

Value RemoveMovieClip(Machine& m, const Value& self, const Value*, int)
{
    // Only clips in the depths scripts use may be removed by a script.
    constexpr int32_t kScriptDepths = 1048576;
    if (auto* s = Sprite(m, self); s && s->display && s->display->depth >= plugin::kScriptDepthOffset
        && s->display->depth < plugin::kScriptDepthOffset + kScriptDepths)
        m.player().removeSprite(*s);
    return Value();
}

Value SwapDepths(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    // A clip taken off that waits for its unload events stays where it waits: it goes with the next frame.
    if (!s || argc < 1 || !s->parent || plugin::AwaitsUnload(*s))
        return Value();
    int32_t depth = 0;
    if (auto* other = m.spriteOf(args[0])) {
        if (other->parent != s->parent || !other->display || plugin::AwaitsUnload(*other))
            return Value();
        depth = other->display->depth;
    } else if (!DisplayDepth(m, args[0], depth)) {
        return Value();
    }
    m.player().swapDepth(*s, depth);
    return Value();
}

Value GetNextHighestDepth(Machine& m, const Value& self, const Value*, int)
{
    auto* s = Sprite(m, self);
    if (!s)
        return Value();
    int32_t next = 0;
    if (!s->displayList.empty())
        next = std::max(0, s->displayList.rbegin()->first + 1 - plugin::kScriptDepthOffset);
    return Value(double(next));
}

Value GetInstanceAtDepth(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    int32_t depth = 0;
    if (!s || argc < 1 || !DisplayDepth(m, args[0], depth))
        return Value();
    auto it = s->displayList.find(depth);
    if (it == s->displayList.end())
        return Value();
    // Text fields answer as themselves; other objects that are no clips with the clip that holds them.
    if (!it->second.sprite)
        if (Object* field = m.fieldObject(*s, it->second))
            return Value(field);
    return Value(m.clipObject(it->second.sprite ? *it->second.sprite : *s));
}

// A rectangle (twips) placed by a matrix as a rectangle (a rotation widens it), rounded to whole twips as the
// player keeps bounds.
void PlaceRect(const cairo_matrix_t& matrix, double box[4])
{
    double out[4] = { 1e300, 1e300, -1e300, -1e300 };
    for (int corner = 0; corner < 4; ++corner) {
        double x = box[corner & 1 ? 2 : 0];
        double y = box[corner & 2 ? 3 : 1];
        cairo_matrix_transform_point(&matrix, &x, &y);
        out[0] = std::min(out[0], x);
        out[1] = std::min(out[1], y);
        out[2] = std::max(out[2], x);
        out[3] = std::max(out[3], y);
    }
    for (int i = 0; i < 4; ++i)
        box[i] = std::round(out[i]);
}

Value GetBounds(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    if (!s)
        return Value();
    plugin::SpriteInstance* target = argc > 0 ? m.spriteOf(args[0]) : s;
    if (argc > 0 && !target) {
        // Anything else names a clip by its text, as a path of either form; "a:b" names the same clip as "a/b".
        // An empty path names no clip (not this one).
        std::string path = m.toString(args[0]);
        std::replace(path.begin(), path.end(), ':', '/');
        if (!path.empty())
            target = m.spriteOf(Value(m.resolveTarget(m.clipObject(*s), path)));
    }
    if (!target)
        return Value();
    // A clip without bounds reports a far corner. Placed into another clip's space, that corner lies a twip
    // further out once any script of SWF 8 or later has asked for bounds (the player stays so from then on).
    const int activation = m.m_Frames.empty() ? m.version() : m.m_Frames.back()->version;
    if (activation >= 8)
        m.m_WideNoBounds = true;
    const double none = m.m_WideNoBounds && target != s ? 6710886.4 : 6710886.35;
    Object* result = m.newObject();
    auto put = [&](const char* name, double v) { m.setMember(Value(result), name, Value(v)); };
    double box[4] = { 1e300, 1e300, -1e300, -1e300 };
    if (!m.player().localBounds(*s, box, 0)) {
        put("xMin", none);
        put("xMax", none);
        put("yMin", none);
        put("yMax", none);
        return Value(result);
    }
    for (double& edge : box)
        edge = std::round(edge);
    // Into another clip's space by one matrix: the clip's own to the stage, then the target's inverse (moved by
    // whole twips); a rotation or skew widens the rectangle once, not again on the stage.
    if (target != s) {
        cairo_matrix_t back = m.player().stageMatrix(*target);
        if (cairo_matrix_invert(&back) == CAIRO_STATUS_SUCCESS) {
            back.x0 = std::round(back.x0);
            back.y0 = std::round(back.y0);
            cairo_matrix_t whole;
            const cairo_matrix_t there = m.player().stageMatrix(*s);
            cairo_matrix_multiply(&whole, &there, &back);
            PlaceRect(whole, box);
        } else {
            PlaceRect(m.player().stageMatrix(*s), box);
        }
    }
    put("xMin", box[0] / 20.0);
    put("xMax", box[2] / 20.0);
    put("yMin", box[1] / 20.0);
    put("yMax", box[3] / 20.0);
    return Value(result);
}

Value HitTest(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    if (!s || argc < 1)
        return Value(false);
    if (argc >= 2) {
        double x = m.toNumber(args[0]) * 20.0;
        double y = m.toNumber(args[1]) * 20.0;
        if (!std::isfinite(x) || !std::isfinite(y))
            return Value(false);
        // The point is in the space of the clip's root (its level), which may itself be moved on the stage.
        const plugin::SpriteInstance* root = s;
        while (root->parent)
            root = root->parent;
        const cairo_matrix_t rootMatrix = m.player().stageMatrix(*root);
        cairo_matrix_transform_point(&rootMatrix, &x, &y);
        return Value(m.player().spriteHit(*s, x, y, argc >= 3 && m.toBoolean(args[2])));
    }
    plugin::SpriteInstance* other = m.spriteOf(args[0]);
    // An empty path names no clip.
    if (!other && args[0].isString() && !m.toString(args[0]).empty())
        other = m.spriteOf(Value(m.resolveTarget(m.clipObject(*s), m.toString(args[0]))));
    if (!other)
        return Value(false);
    double a[4] = { 1e300, 1e300, -1e300, -1e300 };
    double b[4] = { 1e300, 1e300, -1e300, -1e300 };
    if (!m.player().spriteBounds(*s, m.player().stageMatrix(*s), a)
        || !m.player().spriteBounds(*other, m.player().stageMatrix(*other), b))
        return Value(false);
    return Value(a[0] <= b[2] && b[0] <= a[2] && a[1] <= b[3] && b[1] <= a[3]);
}

// Converts the x and y of a point object between a clip's space and the stage's.
Value ConvertPoint(Machine& m, const Value& self, const Value* args, int argc, bool toGlobal)
{
    auto* s = Sprite(m, self);
    if (!s || argc < 1 || !args[0].isObject())
        return Value();
    // Only the point's own x and y, both numbers, are converted.
    Object* point = args[0].asObject();
    if (!m.hasOwnProperty(point, "x") || !m.hasOwnProperty(point, "y"))
        return Value();
    const Value xv = m.getMember(args[0], "x");
    const Value yv = m.getMember(args[0], "y");
    if (!xv.isNumber() || !yv.isNumber())
        return Value();
    double x = xv.asNumber() * 20.0;
    double y = yv.asNumber() * 20.0;
    cairo_matrix_t matrix = m.player().stageMatrix(*s);
    if (!toGlobal) {
        if (cairo_matrix_invert(&matrix) != CAIRO_STATUS_SUCCESS)
            return Value();
        // The inverse moves by whole twips, as the player keeps matrices.
        matrix.x0 = std::round(matrix.x0);
        matrix.y0 = std::round(matrix.y0);
    }
    cairo_matrix_transform_point(&matrix, &x, &y);
    // The point lands on a whole twip.
    m.setMember(args[0], "x", Value(std::round(x) / 20.0));
    m.setMember(args[0], "y", Value(std::round(y) / 20.0));
    return Value();
}

Value LocalToGlobal(Machine& m, const Value& self, const Value* args, int argc)
{
    return ConvertPoint(m, self, args, argc, true);
}

Value GlobalToLocal(Machine& m, const Value& self, const Value* args, int argc)
{
    return ConvertPoint(m, self, args, argc, false);
}

Value StartDrag(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    if (!s)
        return Value();
    double bounds[4];
    const bool constrained = argc >= 5;
    for (int i = 0; constrained && i < 4; ++i)
        bounds[i] = m.toNumber(args[i + 1]) * 20.0;
    m.startDrag(*s, argc >= 1 && m.toBoolean(args[0]), constrained ? bounds : nullptr);
    return Value();
}

Value StopDrag(Machine& m, const Value&, const Value*, int)
{
    m.stopDrag();
    return Value();
}

} // namespace

// A clip's bytes: a library sprite counts its definition's tags (the body after its ID and frame count); a root, a
// level or a clip a movie was loaded into counts the whole movie, as long as its header says it is uncompressed,
// or (`wire`) as many bytes as came over the wire. A clip whose movie was unloaded has none.
double ClipBytes(Machine& m, const plugin::SpriteInstance& sprite, bool wire)
{
    if (sprite.unloaded)
        return 0;
    const bool ownMovie = !sprite.parent || sprite.library != sprite.parent->library;
    if (!ownMovie && sprite.symbolId) {
        if (const auto* definition = dynamic_cast<const CDefineSpriteTag*>(m.player().character(sprite, sprite.symbolId))) {
            CSWFStream written;
            if (const_cast<CDefineSpriteTag*>(definition)->WriteSWF(&written) && written.GetSize() >= 4)
                return double(written.GetSize() - 4);
        }
    }
    if (sprite.library) {
        const CHeaderItem* header = sprite.library->movie ? sprite.library->movie->GetHeader() : nullptr;
        return double(wire || !header ? sprite.library->bytes : header->m_FileLength);
    }
    return double(wire ? m.player().movieBytes() : m.player().movieLength());
}

namespace {

Value GetBytes(Machine& m, const Value& self, const Value*, int)
{
    const plugin::SpriteInstance* sprite = Sprite(m, self);
    return sprite ? Value(ClipBytes(m, *sprite, false)) : Value();
}

Value GetSWFVersion(Machine& m, const Value& self, const Value*, int)
{
    // The version of the movie the clip belongs to, which a loaded movie keeps whoever asks.
    auto* s = Sprite(m, self);
    if (!s)
        return Value();
    return Value(double(m.player().versionOf(*s)));
}

// attachBitmap(bitmap, depth[, pixelSnapping, smoothing])
Value AttachBitmap(Machine& m, const Value& self, const Value* args, int argc)
{
    auto* s = Sprite(m, self);
    int32_t depth = 0;
    if (!s || argc < 2 || !DisplayDepth(m, args[1], depth))
        return Value();
    if (auto pixels = BitmapPixelsOf(args[0]))
        m.player().attachBitmap(*s, std::move(pixels), depth, argc > 3 && m.toBoolean(args[3]));
    return Value();
}

Value SetMask(Machine& m, const Value& self, const Value* args, int argc)
{
    // Kept for the drawing side on both clips: the mask this clip shows through, and the clip a mask serves
    // (one at a time: a clip that names the mask later takes it over).
    if (!Sprite(m, self))
        return Value(false);
    const Value mask = Arg(args, argc, 0);
    m.define(m.toObject(self), "__mask", mask, kDontEnum);
    if (m.spriteOf(mask))
        m.define(m.toObject(mask), "__maskOwner", self, kDontEnum);
    return Value(true);
}

} // namespace

void InstallMovieClipClass(Machine& m)
{
    Object* proto = m.m_ClipProto;
    FunctionObject* ctor = m.newNative(nullptr);
    m.define(ctor, "prototype", Value(proto), kDontEnum | kDontDelete);
    m.define(proto, "constructor", Value(static_cast<Object*>(ctor)));
    m.define(m.m_Global, "MovieClip", Value(static_cast<Object*>(ctor)));
    DefineMethods(m, proto,
        {
            { "play", Play },
            { "stop", Stop },
            { "gotoAndPlay", GotoAndPlay },
            { "gotoAndStop", GotoAndStop },
            { "nextFrame", NextFrame },
            { "prevFrame", PrevFrame },
            { "getDepth", GetDepth, kDontEnum | kOnlySwf6 },
            { "attachMovie", AttachMovie },
            { "createEmptyMovieClip", CreateEmptyMovieClip, kDontEnum | kOnlySwf6 },
            { "duplicateMovieClip", DuplicateMovieClip },
            { "removeMovieClip", RemoveMovieClip },
            { "swapDepths", SwapDepths },
            { "getNextHighestDepth", GetNextHighestDepth, kDontEnum | kOnlySwf7 },
            { "getInstanceAtDepth", GetInstanceAtDepth, kDontEnum | kOnlySwf7 },
            { "getBounds", GetBounds },
            { "getRect", GetBounds, kDontEnum | kOnlySwf8 },
            { "hitTest", HitTest },
            { "localToGlobal", LocalToGlobal },
            { "globalToLocal", GlobalToLocal },
            { "startDrag", StartDrag },
            { "stopDrag", StopDrag },
            { "getBytesLoaded", GetBytes },
            { "getBytesTotal", GetBytes },
            { "getSWFVersion", GetSWFVersion, kDontEnum | kOnlySwf6 },
            { "setMask", SetMask, kDontEnum | kOnlySwf6 },
            { "attachBitmap", AttachBitmap, kDontEnum | kOnlySwf8 },
            { "attachAudio", MovieClipAttachAudio, kDontEnum | kOnlySwf6 },
        });
    InstallDrawingMethods(m, proto);
    InstallPrintJobClass(m);
}

} // namespace reelfinch::avm1
