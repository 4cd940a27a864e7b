// A movie plug-in for the host's tests: it records every call with its arguments in TestPluginControl and answers
// as the test has told it. Built as several bundles that differ in which exports they offer.
#include "TestPluginControl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#define TEST_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

TestPluginControl g_control;

struct TestObject : NPObject {
};

struct InstanceData {
    NPObject* scriptable = nullptr;
};

std::string describe(const NPVariant& value)
{
    switch (value.type) {
    case NPVariantType_Bool:
        return value.value.boolValue ? "true" : "false";
    case NPVariantType_Int32:
        return std::to_string(value.value.intValue);
    case NPVariantType_Double:
        return std::to_string(value.value.doubleValue);
    case NPVariantType_String: {
        const NPString& s = value.value.stringValue;
        const size_t shown = s.UTF8Characters ? strnlen(s.UTF8Characters, s.UTF8Length) : 0;
        return "\"" + std::string(s.UTF8Characters ? s.UTF8Characters : "", shown) + "\"/"
            + std::to_string(s.UTF8Length);
    }
    case NPVariantType_Object:
        return "object";
    case NPVariantType_Null:
        return "null";
    case NPVariantType_Void:
        break;
    }
    return "void";
}

std::string nameOf(NPIdentifier identifier)
{
    if (!g_control.browser || !g_control.browser->utf8fromidentifier)
        return "?";
    NPUTF8* name = g_control.browser->utf8fromidentifier(identifier);
    if (!name)
        return "(null)";
    std::string result = name;
    g_control.browser->memfree(name);
    return result;
}

void record(const std::string& call, NPP instance = nullptr, void* argument = nullptr)
{
    g_control.calls.push_back(call);
    if (g_control.during)
        g_control.during(call, instance, argument);
}

NPObject* allocateObject(NPP, NPClass*)
{
    ++g_control.objectsAlive;
    g_control.calls.push_back("allocate");
    return new TestObject;
}

void deallocateObject(NPObject* object)
{
    --g_control.objectsAlive;
    g_control.calls.push_back("deallocate");
    delete static_cast<TestObject*>(object);
}

bool hasMethod(NPObject*, NPIdentifier identifier)
{
    const std::string name = nameOf(identifier);
    record("hasMethod " + name);
    return g_control.methods.empty()
        || std::find(g_control.methods.begin(), g_control.methods.end(), name) != g_control.methods.end();
}

bool invoke(NPObject*, NPIdentifier identifier, const NPVariant* args, uint32_t count, NPVariant* result)
{
    const std::string name = nameOf(identifier);
    std::string call = "invoke " + name;
    for (uint32_t i = 0; i < count; ++i)
        call += " " + describe(args[i]);
    record(call);
    if (g_control.answer)
        g_control.answer(name, args, count, result);
    return g_control.invokeResult;
}

NPClass g_objectClass = {
    NP_CLASS_STRUCT_VERSION, allocateObject, deallocateObject, nullptr, hasMethod, invoke,
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

NPError newInstance(NPMIMEType type, NPP instance, uint16_t mode, int16_t argc, char*[], char*[], NPSavedData* saved)
{
    g_control.instance = instance;
    record(std::string("NPP_New ") + (type ? type : "(null)") + " mode=" + std::to_string(mode)
               + " argc=" + std::to_string(argc) + (saved ? " saved" : ""),
           instance);
    if (g_control.newResult != NPERR_NO_ERROR)
        return g_control.newResult;
    instance->pdata = new InstanceData;
    ++g_control.instancesAlive;
    return NPERR_NO_ERROR;
}

NPError destroyInstance(NPP instance, NPSavedData** save)
{
    record(std::string("NPP_Destroy") + (save ? " save" : ""), instance);
    auto* data = static_cast<InstanceData*>(instance->pdata);
    if (data) {
        if (data->scriptable)
            g_control.browser->releaseobject(data->scriptable);
        delete data;
        --g_control.instancesAlive;
    }
    instance->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError setWindow(NPP instance, NPWindow* window)
{
    g_control.windows.push_back(*window);
    g_control.ports.push_back(window->window ? *static_cast<NP_Port*>(window->window) : NP_Port {});
    record("NPP_SetWindow", instance, window);
    return g_control.setWindowResult;
}

NPError newStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable, uint16_t* stype)
{
    TestPluginStream recorded;
    recorded.url = stream->url ? stream->url : "(null)";
    recorded.end = stream->end;
    recorded.notifyData = stream->notifyData;
    recorded.seekable = seekable;
    g_control.streams.push_back(recorded);
    stream->pdata = reinterpret_cast<void*>(g_control.streams.size() - 1);
    record(std::string("NPP_NewStream ") + (type ? type : "(null)") + " " + recorded.url
               + " end=" + std::to_string(stream->end) + " stype=" + std::to_string(stype ? *stype : -1),
           instance, stream);
    return g_control.newStreamResult;
}

TestPluginStream* streamOf(NPStream* stream)
{
    const auto index = reinterpret_cast<size_t>(stream->pdata);
    return index < g_control.streams.size() ? &g_control.streams[index] : nullptr;
}

NPError destroyStream(NPP instance, NPStream* stream, NPReason reason)
{
    if (TestPluginStream* recorded = streamOf(stream)) {
        recorded->destroyed = true;
        recorded->reason = reason;
    }
    record("NPP_DestroyStream reason=" + std::to_string(reason), instance, stream);
    return NPERR_NO_ERROR;
}

void streamAsFile(NPP instance, NPStream*, const char*)
{
    record("NPP_StreamAsFile", instance);
}

int32_t writeReady(NPP instance, NPStream* stream)
{
    record("NPP_WriteReady", instance, stream);
    if (g_control.roomQueue.empty())
        return g_control.room;
    const int32_t room = g_control.roomQueue.front();
    g_control.roomQueue.erase(g_control.roomQueue.begin());
    return room;
}

int32_t write(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer)
{
    record("NPP_Write " + std::to_string(offset) + " " + std::to_string(len), instance, stream);
    int32_t taken = len;
    if (!g_control.takeQueue.empty()) {
        taken = g_control.takeQueue.front();
        g_control.takeQueue.erase(g_control.takeQueue.begin());
    }
    TestPluginStream* recorded = streamOf(stream);
    if (recorded && taken > 0)
        recorded->data.append(static_cast<const char*>(buffer), size_t(std::min(taken, len)));
    return taken;
}

void print(NPP instance, NPPrint*)
{
    record("NPP_Print", instance);
}

// Fills the plug-in's visible part of the port directly in the pixel map, as a plug-in drawing its frame would.
void paint(const NPWindow& window)
{
    const auto* npPort = static_cast<const NP_Port*>(window.window);
    if (!npPort || !npPort->port)
        return;
    const PixMap& map = npPort->port->portPixMap;
    const int mapWidth = map.bounds.right - map.bounds.left;
    const int mapHeight = map.bounds.bottom - map.bounds.top;
    // The clip rectangle is in port pixels; the plug-in's own area starts at (-portx, -porty) there.
    const int left = std::max<int>({ window.clipRect.left, -npPort->portx, 0 });
    const int top = std::max<int>({ window.clipRect.top, -npPort->porty, 0 });
    const int right = std::min<int>({ window.clipRect.right, int(-npPort->portx + int(window.width)), mapWidth });
    const int bottom
        = std::min<int>({ window.clipRect.bottom, int(-npPort->porty + int(window.height)), mapHeight });
    for (int y = top; y < bottom; ++y) {
        uint32_t* row = map.baseAddr + size_t(y) * size_t(map.rowBytes) / sizeof(uint32_t);
        std::fill(row + left, row + std::max(left, right), g_control.paintColor);
    }
}

int16_t handleEvent(NPP instance, void* event)
{
    const auto* record_ = static_cast<const EventRecord*>(event);
    if (record_)
        g_control.events.push_back(*record_);
    record("NPP_HandleEvent what=" + std::to_string(record_ ? record_->what : -1), instance, event);
    if (record_ && record_->what == updateEvt && g_control.paintColor && !g_control.windows.empty())
        paint(g_control.windows.back());
    return g_control.handleEventResult;
}

void urlNotify(NPP instance, const char* url, NPReason reason, void* notifyData)
{
    g_control.notifications.push_back({ url ? url : "(null)", reason, notifyData });
    record(std::string("NPP_URLNotify ") + (url ? url : "(null)") + " reason=" + std::to_string(reason), instance);
}

NPError getValue(NPP instance, NPPVariable variable, void* value)
{
    record("NPP_GetValue " + std::to_string(int(variable)), instance);
    if (variable != NPPVpluginScriptableNPObject || !g_control.offerScriptable)
        return NPERR_GENERIC_ERROR;
    auto* data = static_cast<InstanceData*>(instance->pdata);
    if (!data)
        return NPERR_GENERIC_ERROR;
    if (!data->scriptable)
        data->scriptable = g_control.browser->createobject(instance, &g_objectClass);
    *static_cast<NPObject**>(value) = data->scriptable;
    return NPERR_NO_ERROR;
}

NPError setValue(NPP instance, NPNVariable, void*)
{
    record("NPP_SetValue", instance);
    return NPERR_NO_ERROR;
}

} // namespace

TEST_PLUGIN_EXPORT TestPluginControl* TestPlugin_Control()
{
    return &g_control;
}

TEST_PLUGIN_EXPORT NPError NP_Initialize(NPNetscapeFuncs* browser)
{
    g_control.browser = browser;
    if (browser)
        g_control.browserCopy = *browser;
    record("NP_Initialize");
    return g_control.initializeResult;
}

// The broken bundle offers its table under another name, so the host finds no NP_GetEntryPoints.
#ifdef TEST_PLUGIN_WITHOUT_ENTRY_POINTS
#define TEST_PLUGIN_ENTRY_POINTS TestPlugin_MisnamedEntryPoints
#else
#define TEST_PLUGIN_ENTRY_POINTS NP_GetEntryPoints
#endif

TEST_PLUGIN_EXPORT NPError TEST_PLUGIN_ENTRY_POINTS(NPPluginFuncs* funcs)
{
    record("NP_GetEntryPoints size=" + std::to_string(funcs->size) + " version=" + std::to_string(funcs->version));
    funcs->newp = newInstance;
    funcs->destroy = destroyInstance;
    funcs->setwindow = setWindow;
    funcs->newstream = newStream;
    funcs->destroystream = destroyStream;
    funcs->asfile = streamAsFile;
    funcs->writeready = writeReady;
    funcs->write = write;
    funcs->print = print;
    funcs->event = handleEvent;
    funcs->urlnotify = urlNotify;
    funcs->getvalue = getValue;
    funcs->setvalue = setValue;
    return g_control.entryPointsResult;
}

TEST_PLUGIN_EXPORT NPError NP_Shutdown()
{
    record("NP_Shutdown");
    return NPERR_NO_ERROR;
}

#ifndef TEST_PLUGIN_WITHOUT_SECURITY
TEST_PLUGIN_EXPORT void Flash_EnforceLocalSecurity()
{
    record("Flash_EnforceLocalSecurity");
}

TEST_PLUGIN_EXPORT void Flash_DisableLocalSecurity()
{
    record("Flash_DisableLocalSecurity");
}
#endif
