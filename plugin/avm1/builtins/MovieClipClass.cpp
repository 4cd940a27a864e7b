// MovieClip: the timeline methods a script needs from this machine (play, stop, the gotos).
#include "avm1/builtins/Builtins.h"

#include "timeline/MoviePlayer.h"

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
    if (!s || !s->display)
        return Value();
    return Value(double(int(s->display->depth) - 16384));
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
            { "getDepth", GetDepth },
        });
}

} // namespace reelfinch::avm1
