#include "npapi/HostScripting.h"

#include "avm1/Loading.h"
#include "avm1/Machine.h"
#include "timeline/MoviePlayer.h"

#include "Actions.h"
#include "Tags.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace reelfinch::plugin {

namespace {

constexpr const char* kHostMethods[] = {
    "SetVariable",
    "GetVariable",
    "TGotoFrame",
    "TGotoLabel",
    "TCurrentFrame",
    "TCurrentLabel",
    "TPlay",
    "TStopPlay",
    "TCallFrame",
    "TCallLabel",
    "PercentLoaded",
    "LoadMovie",
    "TGetPropertyAsNumber",
    "TSetProperty",
    "TGetProperty",
};

// Property numbers as GetProperty/SetProperty actions have them.
constexpr const char* kPropertyNames[] = { "_x", "_y", "_xscale", "_yscale", "_currentframe", "_totalframes",
    "_alpha", "_visible", "_width", "_height", "_rotation", "_target", "_framesloaded", "_name", "_droptarget",
    "_url", "_highquality", "_focusrect", "_soundbuftime", "_quality", "_xmouse", "_ymouse" };

// An argument as text: strings as they are, numbers without a fraction as integers.
bool TextArg(const NPVariant* args, uint32_t count, uint32_t i, std::string& out)
{
    if (i >= count)
        return false;
    const NPVariant& v = args[i];
    char buffer[64];
    switch (v.type) {
    case NPVariantType_String:
        out.assign(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
        return true;
    case NPVariantType_Int32:
        out = std::to_string(v.value.intValue);
        return true;
    case NPVariantType_Double:
        if (!std::isfinite(v.value.doubleValue))
            return false;
        std::snprintf(buffer, sizeof buffer, "%.15g", v.value.doubleValue);
        out = buffer;
        return true;
    case NPVariantType_Bool:
        out = v.value.boolValue ? "true" : "false";
        return true;
    default:
        return false;
    }
}

bool IntegerArg(const NPVariant* args, uint32_t count, uint32_t i, int& out)
{
    if (i >= count)
        return false;
    const NPVariant& v = args[i];
    double d = 0;
    if (v.type == NPVariantType_Int32)
        d = v.value.intValue;
    else if (v.type == NPVariantType_Double)
        d = v.value.doubleValue;
    else if (std::string text; TextArg(args, count, i, text)) {
        char* end = nullptr;
        d = std::strtod(text.c_str(), &end);
        if (end == text.c_str())
            return false;
    } else
        return false;
    if (!(d >= -2147483648.0 && d <= 2147483647.0))
        return false;
    out = int(d);
    return true;
}

void SetText(NPVariant* result, std::string& text, std::string value)
{
    text = std::move(value);
    STRINGN_TO_NPVARIANT(text.c_str(), uint32_t(text.size()), *result);
}

// The clip a target path names from the root ("" and "/" are the root; "_levelN" a level).
SpriteInstance* TargetSprite(avm1::Machine& m, const std::string& path)
{
    if (path.empty() || path == "/")
        return &m.player().root();
    avm1::Object* clip = avm1::LevelTarget(m, path, false);
    if (!clip)
        clip = m.resolveTarget(m.rootClip(), path);
    return clip ? m.spriteOf(avm1::Value(clip)) : nullptr;
}

// "path:name", "/path:name" or "path.name": the clip and the variable's name.
avm1::Object* VariableHolder(avm1::Machine& m, const std::string& path, std::string& name)
{
    size_t split = path.rfind(':');
    if (split == std::string::npos)
        split = path.rfind('.');
    if (split == std::string::npos) {
        name = path;
        return m.rootClip();
    }
    name = path.substr(split + 1);
    SpriteInstance* sprite = TargetSprite(m, path.substr(0, split));
    return sprite ? m.clipObject(*sprite) : nullptr;
}

// The label of the frame a clip shows, or of the last labelled frame before it ("" when none).
std::string CurrentLabel(const SpriteInstance& sprite)
{
    std::string label;
    int best = -1;
    for (const auto& [name, frame] : sprite.timeline->labels)
        if (frame <= sprite.currentFrame && frame > best) {
            best = frame;
            label = name;
        }
    return label;
}

// Runs the actions of one frame of a clip in the clip, without going there.
bool CallFrame(avm1::Machine& m, SpriteInstance& sprite, int frame)
{
    if (frame < 0 || frame >= int(sprite.timeline->frames.size()))
        return false;
    for (const CTag* tag : sprite.timeline->frames[size_t(frame)])
        if (auto* action = dynamic_cast<const CDoActionTag*>(tag); action && action->m_pActions)
            m.runFrameActions(sprite, action->m_pActions.get());
    return true;
}

} // namespace

bool IsHostCommand(const std::string& url)
{
    constexpr std::string_view kPrefix = "fscommand:";
    if (url.size() < kPrefix.size())
        return false;
    for (size_t i = 0; i < kPrefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kPrefix[i])
            return false;
    return true;
}

bool IsHostMethod(const std::string& name)
{
    return std::find_if(std::begin(kHostMethods), std::end(kHostMethods), [&](const char* n) { return name == n; })
        != std::end(kHostMethods);
}

bool InvokeHostMethod(MoviePlayer& movie, const std::string& name, const NPVariant* args, uint32_t count,
    NPVariant* result, std::string& text)
{
    avm1::Machine* machine = movie.scriptMachine();
    if (name == "PercentLoaded") {
        INT32_TO_NPVARIANT(movie.isLoaded() ? 100 : 0, *result);
        return true;
    }
    if (!machine)
        return false;
    avm1::Machine& m = *machine;
    std::string first;
    std::string second;
    int number = 0;
    bool ok = false;
    if (name == "GetVariable" || name == "SetVariable") {
        std::string variable;
        avm1::Object* holder = TextArg(args, count, 0, first) ? VariableHolder(m, first, variable) : nullptr;
        if (!holder || variable.empty())
            return false;
        if (name == "SetVariable") {
            if (!TextArg(args, count, 1, second))
                return false;
            m.setMember(avm1::Value(holder), variable, avm1::Value(m.str(second)));
            ok = true;
        } else {
            const avm1::Value value = m.getMember(avm1::Value(holder), variable);
            if (value.isUndefined())
                NULL_TO_NPVARIANT(*result);
            else
                SetText(result, text, m.toString(value));
            return true;
        }
    } else if (name == "LoadMovie") {
        avm1::Object* level = IntegerArg(args, count, 0, number) && TextArg(args, count, 1, second) && number >= 0
            ? avm1::LevelTarget(m, "_level" + std::to_string(number), true)
            : nullptr;
        ok = level && avm1::StartMovieLoad(m, level, second, nullptr);
    } else {
        SpriteInstance* sprite = TextArg(args, count, 0, first) ? TargetSprite(m, first) : nullptr;
        if (!sprite)
            return false;
        if (name == "TCurrentFrame") {
            INT32_TO_NPVARIANT(std::max(0, sprite->currentFrame), *result);
            return true;
        }
        if (name == "TCurrentLabel") {
            SetText(result, text, CurrentLabel(*sprite));
            return true;
        }
        if (name == "TPlay" || name == "TStopPlay") {
            sprite->playing = name == "TPlay";
            return true;
        }
        if (name == "TGotoFrame" && IntegerArg(args, count, 1, number)) {
            ok = number >= 0 && number < int(sprite->timeline->frames.size());
            if (ok)
                m.gotoFrame(*sprite, number, false);
        } else if (name == "TGotoLabel" && TextArg(args, count, 1, second)) {
            ok = m.gotoLabel(*sprite, second, false);
        } else if (name == "TCallFrame" && IntegerArg(args, count, 1, number)) {
            ok = CallFrame(m, *sprite, number);
        } else if (name == "TCallLabel" && TextArg(args, count, 1, second)) {
            auto label = sprite->timeline->labels.find(second);
            ok = label != sprite->timeline->labels.end() && CallFrame(m, *sprite, label->second);
        } else if ((name == "TGetPropertyAsNumber" || name == "TGetProperty" || name == "TSetProperty")
            && IntegerArg(args, count, 1, number)) {
            if (number < 0 || number >= int(std::size(kPropertyNames)))
                return false;
            avm1::Object* clip = m.clipObject(*sprite);
            if (name == "TSetProperty") {
                if (!TextArg(args, count, 2, second))
                    return false;
                m.setMember(avm1::Value(clip), kPropertyNames[number], avm1::Value(m.str(second)));
                ok = true;
            } else {
                const avm1::Value value = m.getMember(avm1::Value(clip), kPropertyNames[number]);
                if (name == "TGetProperty")
                    SetText(result, text, m.toString(value));
                else
                    DOUBLE_TO_NPVARIANT(m.toNumber(value), *result);
                return true;
            }
        } else {
            return false;
        }
    }
    // What the call queued (a goto's frame actions, a load's first frame) runs before the host goes on.
    movie.runQueuedActions();
    return ok;
}

} // namespace reelfinch::plugin
