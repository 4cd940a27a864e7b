// System and System.capabilities: what this player on Linux truthfully is.
#include "avm1/builtins/Builtins.h"

namespace reelfinch::avm1 {

void InstallSystem(Machine& m)
{
    Object* system = m.newObject();
    m.define(m.m_Global, "System", Value(system));
    Object* caps = m.newObject();
    m.define(system, "capabilities", Value(caps));
    // No input method editor here: the object exists and reports none.
    m.define(system, "IME", Value(m.newObject()));
    const uint16_t flags = kDontDelete | kReadOnly;
    auto text = [&](const char* name, const char* value) { m.define(caps, name, Value(m.str(value)), flags); };
    auto flag = [&](const char* name, bool value) { m.define(caps, name, Value(value), flags); };
    text("os", "Linux");
    text("version", "LNX 32,0,0,0");
    text("manufacturer", "Adobe Linux");
    text("playerType", "StandAlone");
    text("language", "en");
    text("screenColor", "color");
    text("serverString", "");
    flag("hasAudio", true);
    flag("hasMP3", true);
    flag("hasAudioEncoder", false);
    flag("hasVideoEncoder", false);
    flag("hasAccessibility", false);
    flag("hasPrinting", false);
    flag("hasScreenBroadcast", false);
    flag("hasScreenPlayback", false);
    flag("hasStreamingAudio", true);
    flag("hasStreamingVideo", true);
    flag("hasEmbeddedVideo", true);
    flag("isDebugger", false);
    flag("localFileReadDisable", false);
    flag("avHardwareDisable", true);
    m.define(caps, "screenResolutionX", Value(1920.0), flags);
    m.define(caps, "screenResolutionY", Value(1080.0), flags);
    m.define(caps, "screenDPI", Value(72.0), flags); // the player reports 72 whatever the screen
    m.define(caps, "pixelAspectRatio", Value(1.0), flags);
}

void SetScreenSize(Machine& m, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const Value caps = m.getMember(m.getMember(Value(m.m_Global), "System"), "capabilities");
    if (!caps.isObject())
        return;
    m.define(caps.asObject(), "screenResolutionX", Value(double(width)), kDontDelete | kReadOnly);
    m.define(caps.asObject(), "screenResolutionY", Value(double(height)), kDontDelete | kReadOnly);
}

} // namespace reelfinch::avm1
