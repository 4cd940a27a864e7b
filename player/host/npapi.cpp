#include "npapi.h"

#include "NSFlashPlugin.h"
#include "QuickDraw.h"
#include "npextensions.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A plug-in that breaks the object contract (a null class or object, one release too many) stops the program with
// one line naming this file, the line and the expression.
#define NPAPI_ASSERT(expression)                                                                                       \
    do {                                                                                                               \
        if (!(expression)) {                                                                                           \
            std::fprintf(stderr, "npapi:%d: failed assertion `%s'\n", __LINE__, #expression);                          \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

NSFlashPlugin* pluginForInstance(NPP instance)
{
    if (instance && instance->mydata)
        return static_cast<NSFlashPlugin*>(instance->mydata);
    return NSFlashPlugin::currentPlugin();
}

NPError NPN_GetURL(NPP instance, const char* url, const char* target)
{
    NSFlashPlugin* plugin = pluginForInstance(instance);
    return plugin ? plugin->getURLTarget(url, target) : NPError(NPERR_NO_ERROR);
}

NPError NPN_GetURLNotify(NPP instance, const char* url, const char* target, void* notifyData)
{
    NSFlashPlugin* plugin = pluginForInstance(instance);
    return plugin ? plugin->getURLNotify(url, target, notifyData) : NPError(NPERR_NO_ERROR);
}

NPError NPN_PostURL(NPP instance, const char* url, const char* target, uint32_t len, const char* buf, NPBool file)
{
    NSFlashPlugin* plugin = pluginForInstance(instance);
    return plugin ? plugin->postURLTarget(url, target, len, buf, file) : NPError(NPERR_GENERIC_ERROR);
}

NPError NPN_PostURLNotify(NPP instance, const char* url, const char* target, uint32_t len, const char* buf,
                          NPBool file, void* notifyData)
{
    NSFlashPlugin* plugin = pluginForInstance(instance);
    return plugin ? plugin->postURLNotify(url, target, len, buf, file, notifyData) : NPError(NPERR_GENERIC_ERROR);
}

NPError NPN_RequestRead(NPStream*, NPByteRange*)
{
    return NPERR_GENERIC_ERROR;
}

NPError NPN_NewStream(NPP, NPMIMEType, const char*, NPStream**)
{
    return NPERR_GENERIC_ERROR;
}

int32_t NPN_Write(NPP, NPStream*, int32_t, void*)
{
    return NPERR_GENERIC_ERROR;
}

NPError NPN_DestroyStream(NPP, NPStream*, NPReason)
{
    return NPERR_NO_ERROR;
}

void NPN_Status(NPP instance, const char* message)
{
    if (NSFlashPlugin* plugin = pluginForInstance(instance))
        plugin->status(message);
}

const char* NPN_UserAgent(NPP instance)
{
    NSFlashPlugin* plugin = pluginForInstance(instance);
    return plugin ? plugin->userAgent() : nullptr;
}

void* NPN_MemAlloc(uint32_t size)
{
    return std::malloc(size);
}

void NPN_MemFree(void* ptr)
{
    std::free(ptr);
}

uint32_t NPN_MemFlush(uint32_t)
{
    return 0; // nothing is held back that could be freed
}

void NPN_ReloadPlugins(NPBool)
{
}

void* NPN_GetJavaEnv(void)
{
    return nullptr;
}

void* NPN_GetJavaPeer(NPP)
{
    return nullptr;
}

// The script output extension of npextensions.h.
static void NPN_TraceLine(NPP instance, const char* line)
{
    if (NSFlashPlugin* plugin = pluginForInstance(instance); plugin && line)
        plugin->traceLine(line);
}

// The socket extension of npextensions.h: the movie's connections, as its host instance has them.
static MovieSockets* socketsForInstance(NPP instance)
{
    NSFlashPlugin* plugin = pluginForInstance(instance);
    return plugin ? plugin->movieSockets() : nullptr;
}

static int32_t NPN_SocketOpen(NPP instance, const char* host, int32_t port)
{
    MovieSockets* sockets = socketsForInstance(instance);
    return sockets && host ? sockets->open(QString::fromUtf8(host), port) : 0;
}

static NPBool NPN_SocketSend(NPP instance, int32_t socket, const char* data, uint32_t length)
{
    MovieSockets* sockets = socketsForInstance(instance);
    return sockets && sockets->send(socket, data, length);
}

static uint32_t NPN_SocketPoll(NPP instance, int32_t socket, char* buffer, uint32_t capacity, int32_t* state)
{
    MovieSockets* sockets = socketsForInstance(instance);
    if (!sockets) {
        if (state)
            *state = NPReelfinchSocketFailed;
        return 0;
    }
    return std::min(sockets->poll(socket, buffer, capacity, state), capacity);
}

static void NPN_SocketClose(NPP instance, int32_t socket)
{
    if (MovieSockets* sockets = socketsForInstance(instance))
        sockets->close(socket);
}

// The file extension of npextensions.h: the dialogs and transfers of the movie's FileReference objects.
static MovieFiles* filesForInstance(NPP instance)
{
    NSFlashPlugin* plugin = pluginForInstance(instance);
    return plugin ? plugin->movieFiles() : nullptr;
}

static int32_t NPN_FileStart(NPP instance, int32_t kind, const char* url, const char* text, int32_t file)
{
    MovieFiles* files = filesForInstance(instance);
    return files && url && text ? files->start(kind, QString::fromUtf8(url), QString::fromUtf8(text), file) : 0;
}

static int32_t NPN_FilePoll(NPP instance, int32_t operation, double* a, double* b, char* text, uint32_t capacity)
{
    MovieFiles* files = filesForInstance(instance);
    if (!files || !a || !b || !text || capacity == 0)
        return NPReelfinchFileEventEnded;
    const MovieFiles::Event event = files->poll(operation);
    *a = event.a;
    *b = event.b;
    const QByteArray name = event.name.toUtf8();
    const size_t n = std::min<size_t>(size_t(name.size()), capacity - 1);
    std::memcpy(text, name.constData(), n);
    text[n] = '\0';
    return event.kind;
}

static void NPN_FileClose(NPP instance, int32_t operation)
{
    if (MovieFiles* files = filesForInstance(instance))
        files->close(operation);
}

NPError NPN_GetValue(NPP instance, NPNVariable variable, void* value)
{
    if (variable == NPNVReelfinchSocketFunctions && value) {
        auto* table = static_cast<NPReelfinchSocketFuncs*>(value);
        table->open = NPN_SocketOpen;
        table->send = NPN_SocketSend;
        table->poll = NPN_SocketPoll;
        table->close = NPN_SocketClose;
        return NPERR_NO_ERROR;
    }
    if (variable == NPNVReelfinchFileFunctions && value) {
        auto* table = static_cast<NPReelfinchFileFuncs*>(value);
        table->start = NPN_FileStart;
        table->poll = NPN_FilePoll;
        table->close = NPN_FileClose;
        return NPERR_NO_ERROR;
    }
    if (variable == NPNVReelfinchScreenSize && value) {
        NSFlashPlugin* plugin = pluginForInstance(instance);
        const QSize size = plugin ? plugin->screenSize() : QSize();
        if (!size.isValid())
            return NPERR_GENERIC_ERROR;
        *static_cast<NPReelfinchScreenSize*>(value) = { size.width(), size.height() };
        return NPERR_NO_ERROR;
    }
    if (variable == NPNVReelfinchTraceFunction && value) {
        *static_cast<NPN_TraceLineProcPtr*>(value) = NPN_TraceLine;
        return NPERR_NO_ERROR;
    }
    if (variable == NPNVReelfinchCompositionText && value) {
        const NSFlashPlugin* plugin = pluginForInstance(instance);
        if (!plugin || !plugin->compositionText())
            return NPERR_GENERIC_ERROR;
        const QByteArray text = plugin->compositionText()->toUtf8();
        char* copy = static_cast<char*>(NPN_MemAlloc(uint32_t(text.size()) + 1));
        if (!copy)
            return NPERR_OUT_OF_MEMORY_ERROR;
        std::memcpy(copy, text.constData(), size_t(text.size()) + 1);
        *static_cast<char**>(value) = copy;
        return NPERR_NO_ERROR;
    }
    if (variable == NPNVReelfinchClipboardText && value) {
        // The clipboard's text, as the plug-in's Paste takes it.
        const QClipboard* clipboard = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
            ? QGuiApplication::clipboard()
            : nullptr;
        const QByteArray text = clipboard ? clipboard->text().toUtf8() : QByteArray();
        char* copy = static_cast<char*>(NPN_MemAlloc(uint32_t(text.size()) + 1));
        if (!copy)
            return NPERR_OUT_OF_MEMORY_ERROR;
        std::memcpy(copy, text.constData(), size_t(text.size()));
        copy[text.size()] = 0;
        *static_cast<char**>(value) = copy;
        return NPERR_NO_ERROR;
    }
    return NPERR_GENERIC_ERROR;
}

NPError NPN_SetValue(NPP instance, NPPVariable variable, void* value)
{
    if (variable == NPPVReelfinchHandCursor) {
        NSFlashPlugin* plugin = pluginForInstance(instance);
        if (!plugin)
            return NPERR_INVALID_INSTANCE_ERROR;
        plugin->setHandCursor(value != nullptr);
        return NPERR_NO_ERROR;
    }
    return NPERR_GENERIC_ERROR;
}

void NPN_InvalidateRect(NPP instance, NPRect* rect)
{
    if (NSFlashPlugin* plugin = pluginForInstance(instance))
        plugin->invalidateRect(rect);
}

void NPN_InvalidateRegion(NPP instance, NPRegion region)
{
    if (NSFlashPlugin* plugin = pluginForInstance(instance))
        plugin->invalidateRegion(region);
}

void NPN_ForceRedraw(NPP instance)
{
    if (NSFlashPlugin* plugin = pluginForInstance(instance))
        plugin->forceRedraw();
}

// The host hands out identifiers only from its own method-name table; it makes none on request.
NPIdentifier NPN_GetStringIdentifier(const NPUTF8*)
{
    return nullptr;
}

void NPN_GetStringIdentifiers(const NPUTF8**, int32_t, NPIdentifier*)
{
}

NPIdentifier NPN_GetIntIdentifier(int32_t)
{
    return nullptr;
}

bool NPN_IdentifierIsString(NPIdentifier)
{
    return false;
}

NPUTF8* NPN_UTF8FromIdentifier(NPIdentifier identifier)
{
    const auto* record = static_cast<const NPString*>(identifier);
    if (!record || record->UTF8Length == 0 || !record->UTF8Characters)
        return nullptr;
    // The stated length counts the terminating NUL; never read past it even when the NUL is missing.
    const size_t length = strnlen(record->UTF8Characters, record->UTF8Length);
    auto* copy = static_cast<NPUTF8*>(std::malloc(length + 1));
    if (!copy)
        return nullptr;
    std::memcpy(copy, record->UTF8Characters, length);
    copy[length] = '\0';
    return copy;
}

NPObject* NPN_CreateObject(NPP npp, NPClass* aClass)
{
    NPAPI_ASSERT(aClass);
    NPObject* object = aClass->allocate ? aClass->allocate(npp, aClass)
                                        : static_cast<NPObject*>(std::malloc(sizeof(NPObject)));
    if (!object)
        return nullptr;
    object->_class = aClass;
    object->referenceCount = 1;
    return object;
}

NPObject* NPN_RetainObject(NPObject* obj)
{
    NPAPI_ASSERT(obj);
    ++obj->referenceCount;
    return obj;
}

void NPN_ReleaseObject(NPObject* obj)
{
    NPAPI_ASSERT(obj);
    NPAPI_ASSERT(obj->referenceCount >= 1);
    if (--obj->referenceCount > 0)
        return;
    if (obj->_class && obj->_class->deallocate)
        obj->_class->deallocate(obj);
    else
        std::free(obj);
}

bool NPN_Invoke(NPP, NPObject*, NPIdentifier, const NPVariant*, uint32_t, NPVariant*)
{
    return false;
}

bool NPN_InvokeDefault(NPP, NPObject*, const NPVariant*, uint32_t, NPVariant*)
{
    return false;
}

bool NPN_Evaluate(NPP, NPObject*, NPString*, NPVariant*)
{
    return false;
}

bool NPN_GetProperty(NPP, NPObject*, NPIdentifier, NPVariant*)
{
    return false;
}

bool NPN_SetProperty(NPP, NPObject*, NPIdentifier, const NPVariant*)
{
    return false;
}

bool NPN_RemoveProperty(NPP, NPObject*, NPIdentifier)
{
    return false;
}

bool NPN_HasProperty(NPP, NPObject*, NPIdentifier)
{
    return false;
}

bool NPN_HasMethod(NPP, NPObject*, NPIdentifier)
{
    return false;
}

void NPN_ReleaseVariantValue(NPVariant*)
{
}

void NPN_SetException(NPObject*, const NPUTF8*)
{
}
