// System and System.capabilities: what this player on Linux truthfully is.
#include "avm1/builtins/Builtins.h"

namespace reelfinch::avm1 {

namespace {

Value FalseValue(Machine&, const Value&, const Value*, int)
{
    return Value(false);
}

// System.Product(name): the handle of another installed product. There are none here: nothing is installed,
// running or launched. Its instances keep their members and prototype as made.
Value ProductConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (self.isObject()) {
        m.define(self.asObject(), "name", Arg(args, argc, 0));
        LockMembers(self.asObject());
    }
    return Value();
}

// No input method editor here: the object exists, is off, and converts nothing.
void InstallIme(Machine& m, Object* system)
{
    Object* ime = m.newObject();
    m.define(system, "IME", Value(ime));
    Value target(ime);
    m.callMethod(Value(m.m_Broadcaster), "initialize", &target, 1);
    DefineMethods(m, ime,
        {
            { "getEnabled", FalseValue },
            { "setEnabled", FalseValue },
            { "getConversionMode", [](Machine& m, const Value&, const Value*, int) { return Value(m.str("UNKNOWN")); } },
            { "setConversionMode", FalseValue },
            { "setCompositionString", FalseValue },
            { "doConversion", FalseValue },
        });
    for (const char* mode : { "ALPHANUMERIC_FULL", "ALPHANUMERIC_HALF", "CHINESE", "JAPANESE_HIRAGANA",
             "JAPANESE_KATAKANA_FULL", "JAPANESE_KATAKANA_HALF", "KOREAN", "UNKNOWN" })
        m.define(ime, mode, Value(m.str(mode)), kDontEnum | kDontDelete | kReadOnly);
}

} // namespace

void InstallSystem(Machine& m)
{
    Object* system = m.newObject();
    m.define(m.m_Global, "System", Value(system));
    Object* caps = m.newObject();
    m.define(system, "capabilities", Value(caps));
    InstallIme(m, system);
    Object* product = m.newObject();
    FunctionObject* productClass = m.newNative(ProductConstruct);
    m.define(productClass, "prototype", Value(product), kDontEnum | kDontDelete);
    m.define(product, "constructor", Value(static_cast<Object*>(productClass)), kDontEnum);
    m.define(system, "Product", Value(static_cast<Object*>(productClass)), kDontEnum);
    DefineMethods(m, product,
        {
            { "isRunning", FalseValue },
            { "isInstalled", FalseValue },
            { "launch", FalseValue },
            { "download", FalseValue },
            { "validate", FalseValue },
            { "installedVersion", [](Machine&, const Value&, const Value*, int) { return Value(0.0); } },
        });
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
