// The plug-in's face to its host: the exported entry points and the plug-in function table. Each NPP_New starts
// the movie engine in a sandboxed child process behind an EngineProxy, to which every plug-in call goes. With
// REELFINCH_IN_PROCESS=1 in the environment (for debugging) the instance runs in the host's process instead: one
// PluginInstance per NPP_New, the movie stream, events, and the scriptable object with its fourteen methods.
#include "npapi/EngineProxy.h"
#include "npapi/PluginInstance.h"

#include "npfunctions.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#define REELFINCH_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

using reelfinch::plugin::EngineProxy;
using reelfinch::plugin::PluginInstance;

namespace {

bool InProcess()
{
    const char* value = std::getenv(reelfinch::plugin::kInProcessVariable);
    return value && std::strcmp(value, "1") == 0;
}

PluginInstance* InstanceOf(NPP npp)
{
    return npp ? static_cast<PluginInstance*>(npp->pdata) : nullptr;
}

NPError NewInstance(NPMIMEType type, NPP npp, uint16_t mode, int16_t, char*[], char*[], NPSavedData*)
{
    if (!npp)
        return NPERR_INVALID_INSTANCE_ERROR;
    if (!type || std::strcmp(type, reelfinch::plugin::kMimeType) != 0 || (mode != NP_EMBED && mode != NP_FULL))
        return NPERR_INVALID_PARAM;
    npp->pdata = new PluginInstance(npp);
    return NPERR_NO_ERROR;
}

NPError DestroyInstance(NPP npp, NPSavedData** save)
{
    if (save)
        *save = nullptr;
    PluginInstance* instance = InstanceOf(npp);
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    delete instance;
    npp->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError SetWindow(NPP npp, NPWindow* window)
{
    PluginInstance* instance = InstanceOf(npp);
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    instance->setWindow(window);
    return NPERR_NO_ERROR;
}

NPError NewStream(NPP npp, NPMIMEType, NPStream* stream, NPBool, uint16_t* stype)
{
    PluginInstance* instance = InstanceOf(npp);
    if (!instance || !stream)
        return NPERR_INVALID_INSTANCE_ERROR;
    if (stype)
        *stype = NP_NORMAL;
    instance->newStream(stream);
    return NPERR_NO_ERROR;
}

NPError DestroyStream(NPP npp, NPStream* stream, NPReason reason)
{
    PluginInstance* instance = InstanceOf(npp);
    if (!instance || !stream)
        return NPERR_INVALID_INSTANCE_ERROR;
    instance->destroyStream(stream, reason);
    return NPERR_NO_ERROR;
}

void StreamAsFile(NPP, NPStream*, const char*)
{ }

int32_t WriteReady(NPP npp, NPStream* stream)
{
    PluginInstance* instance = InstanceOf(npp);
    return instance && stream ? instance->writeReady(stream) : -1;
}

int32_t Write(NPP npp, NPStream* stream, int32_t offset, int32_t len, void* buffer)
{
    PluginInstance* instance = InstanceOf(npp);
    return instance && stream ? instance->write(stream, offset, len, buffer) : -1;
}

void Print(NPP, NPPrint*)
{ }

int16_t HandleEvent(NPP npp, void* event)
{
    PluginInstance* instance = InstanceOf(npp);
    return instance && event ? instance->handleEvent(*static_cast<const EventRecord*>(event)) : 0;
}

void URLNotify(NPP npp, const char* url, NPReason reason, void* notifyData)
{
    if (PluginInstance* instance = InstanceOf(npp))
        instance->urlNotify(url, reason, notifyData);
}

NPError GetValue(NPP npp, NPPVariable variable, void* value)
{
    if (!value)
        return NPERR_INVALID_PARAM;
    switch (variable) {
    case NPPVpluginNameString:
        *static_cast<const char**>(value) = reelfinch::plugin::kPluginName;
        return NPERR_NO_ERROR;
    case NPPVpluginDescriptionString:
        *static_cast<const char**>(value) = reelfinch::plugin::kPluginDescription;
        return NPERR_NO_ERROR;
    case NPPVpluginScriptableNPObject: {
        PluginInstance* instance = InstanceOf(npp);
        if (!instance)
            return NPERR_INVALID_INSTANCE_ERROR;
        NPObject* object = instance->scriptableObject();
        *static_cast<NPObject**>(value) = object;
        return object ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
    }
    default:
        return NPERR_GENERIC_ERROR;
    }
}

NPError SetValue(NPP, NPNVariable, void*)
{
    return NPERR_GENERIC_ERROR;
}

// ---- The same calls, forwarded to the engine.

EngineProxy* ProxyOf(NPP npp)
{
    return npp ? static_cast<EngineProxy*>(npp->pdata) : nullptr;
}

NPError ProxyNew(NPMIMEType type, NPP npp, uint16_t mode, int16_t, char*[], char*[], NPSavedData*)
{
    if (!npp)
        return NPERR_INVALID_INSTANCE_ERROR;
    if (!type || std::strcmp(type, reelfinch::plugin::kMimeType) != 0 || (mode != NP_EMBED && mode != NP_FULL))
        return NPERR_INVALID_PARAM;
    auto proxy = std::make_unique<EngineProxy>(npp, reelfinch::plugin::LocalSecurityEnforced());
    if (!proxy->start(reelfinch::plugin::EngineProgramPath()))
        return NPERR_MODULE_LOAD_FAILED_ERROR;
    npp->pdata = proxy.release();
    return NPERR_NO_ERROR;
}

NPError ProxyDestroy(NPP npp, NPSavedData** save)
{
    if (save)
        *save = nullptr;
    EngineProxy* proxy = ProxyOf(npp);
    if (!proxy)
        return NPERR_INVALID_INSTANCE_ERROR;
    delete proxy;
    npp->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError ProxySetWindow(NPP npp, NPWindow* window)
{
    EngineProxy* proxy = ProxyOf(npp);
    if (!proxy)
        return NPERR_INVALID_INSTANCE_ERROR;
    proxy->setWindow(window);
    return NPERR_NO_ERROR;
}

NPError ProxyNewStream(NPP npp, NPMIMEType, NPStream* stream, NPBool, uint16_t* stype)
{
    EngineProxy* proxy = ProxyOf(npp);
    if (!proxy || !stream)
        return NPERR_INVALID_INSTANCE_ERROR;
    return proxy->newStream(stream, stype);
}

NPError ProxyDestroyStream(NPP npp, NPStream* stream, NPReason reason)
{
    EngineProxy* proxy = ProxyOf(npp);
    if (!proxy || !stream)
        return NPERR_INVALID_INSTANCE_ERROR;
    proxy->destroyStream(stream, reason);
    return NPERR_NO_ERROR;
}

int32_t ProxyWriteReady(NPP npp, NPStream* stream)
{
    EngineProxy* proxy = ProxyOf(npp);
    return proxy && stream ? proxy->writeReady(stream) : -1;
}

int32_t ProxyWrite(NPP npp, NPStream* stream, int32_t offset, int32_t len, void* buffer)
{
    EngineProxy* proxy = ProxyOf(npp);
    return proxy && stream ? proxy->write(stream, offset, len, buffer) : -1;
}

void ProxyURLNotify(NPP npp, const char* url, NPReason reason, void* notifyData)
{
    if (EngineProxy* proxy = ProxyOf(npp))
        proxy->urlNotify(url, reason, notifyData);
}

int16_t ProxyHandleEvent(NPP npp, void* event)
{
    EngineProxy* proxy = ProxyOf(npp);
    return proxy && event ? proxy->handleEvent(*static_cast<const EventRecord*>(event)) : 0;
}

NPError ProxyGetValue(NPP npp, NPPVariable variable, void* value)
{
    if (!value)
        return NPERR_INVALID_PARAM;
    if (variable != NPPVpluginScriptableNPObject)
        return GetValue(npp, variable, value);
    EngineProxy* proxy = ProxyOf(npp);
    if (!proxy)
        return NPERR_INVALID_INSTANCE_ERROR;
    NPObject* object = proxy->scriptableObject();
    *static_cast<NPObject**>(value) = object;
    return object ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
}

} // namespace

REELFINCH_PLUGIN_EXPORT NPError NP_Initialize(NPNetscapeFuncs* browser)
{
    return reelfinch::plugin::InitializeBrowser(browser);
}

REELFINCH_PLUGIN_EXPORT NPError NP_GetEntryPoints(NPPluginFuncs* funcs)
{
    if (!funcs)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    // A table too small for every entry is refused rather than overrun.
    if (funcs->size != 0 && funcs->size < sizeof(NPPluginFuncs))
        return NPERR_INVALID_FUNCTABLE_ERROR;
    funcs->size = sizeof(NPPluginFuncs);
    funcs->version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    const bool inProcess = InProcess();
    funcs->newp = inProcess ? NewInstance : ProxyNew;
    funcs->destroy = inProcess ? DestroyInstance : ProxyDestroy;
    funcs->setwindow = inProcess ? SetWindow : ProxySetWindow;
    funcs->newstream = inProcess ? NewStream : ProxyNewStream;
    funcs->destroystream = inProcess ? DestroyStream : ProxyDestroyStream;
    funcs->asfile = StreamAsFile;
    funcs->writeready = inProcess ? WriteReady : ProxyWriteReady;
    funcs->write = inProcess ? Write : ProxyWrite;
    funcs->print = Print;
    funcs->event = inProcess ? HandleEvent : ProxyHandleEvent;
    funcs->urlnotify = inProcess ? URLNotify : ProxyURLNotify;
    funcs->javaClass = nullptr;
    funcs->getvalue = inProcess ? GetValue : ProxyGetValue;
    funcs->setvalue = SetValue;
    return NPERR_NO_ERROR;
}

REELFINCH_PLUGIN_EXPORT NPError NP_Shutdown()
{
    reelfinch::plugin::ShutdownBrowser();
    return NPERR_NO_ERROR;
}

REELFINCH_PLUGIN_EXPORT void Flash_EnforceLocalSecurity()
{
    reelfinch::plugin::SetLocalSecurity(true);
}

REELFINCH_PLUGIN_EXPORT void Flash_DisableLocalSecurity()
{
    reelfinch::plugin::SetLocalSecurity(false);
}
