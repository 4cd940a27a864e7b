// The browser side of the plug-in API: every function of the table the host hands the plug-in. Functions that need
// the host's state find the NSFlashPlugin that owns the calling instance; the rest answer fixed results.
#ifndef REELFINCH_PLAYER_NPAPI_H
#define REELFINCH_PLAYER_NPAPI_H

#include "npfunctions.h"

class NSFlashPlugin;

// The object that runs an instance: its mydata, else the class-wide current plug-in (normally none).
NSFlashPlugin* pluginForInstance(NPP instance);

NPError NPN_GetURL(NPP instance, const char* url, const char* target);
NPError NPN_GetURLNotify(NPP instance, const char* url, const char* target, void* notifyData);
NPError NPN_PostURL(NPP instance, const char* url, const char* target, uint32_t len, const char* buf, NPBool file);
NPError NPN_PostURLNotify(NPP instance, const char* url, const char* target, uint32_t len, const char* buf,
                          NPBool file, void* notifyData);
NPError NPN_RequestRead(NPStream* stream, NPByteRange* rangeList);
NPError NPN_NewStream(NPP instance, NPMIMEType type, const char* target, NPStream** stream);
int32_t NPN_Write(NPP instance, NPStream* stream, int32_t len, void* buffer);
NPError NPN_DestroyStream(NPP instance, NPStream* stream, NPReason reason);
void NPN_Status(NPP instance, const char* message);
const char* NPN_UserAgent(NPP instance);
void* NPN_MemAlloc(uint32_t size);
void NPN_MemFree(void* ptr);
uint32_t NPN_MemFlush(uint32_t size);
void NPN_ReloadPlugins(NPBool reloadPages);
void* NPN_GetJavaEnv(void);
void* NPN_GetJavaPeer(NPP instance);
NPError NPN_GetValue(NPP instance, NPNVariable variable, void* value);
NPError NPN_SetValue(NPP instance, NPPVariable variable, void* value);
void NPN_InvalidateRect(NPP instance, NPRect* rect);
void NPN_InvalidateRegion(NPP instance, NPRegion region);
void NPN_ForceRedraw(NPP instance);

NPIdentifier NPN_GetStringIdentifier(const NPUTF8* name);
void NPN_GetStringIdentifiers(const NPUTF8** names, int32_t nameCount, NPIdentifier* identifiers);
NPIdentifier NPN_GetIntIdentifier(int32_t intid);
bool NPN_IdentifierIsString(NPIdentifier identifier);
NPUTF8* NPN_UTF8FromIdentifier(NPIdentifier identifier);

NPObject* NPN_CreateObject(NPP npp, NPClass* aClass);
NPObject* NPN_RetainObject(NPObject* obj);
void NPN_ReleaseObject(NPObject* obj);
bool NPN_Invoke(NPP npp, NPObject* obj, NPIdentifier methodName, const NPVariant* args, uint32_t argCount,
                NPVariant* result);
bool NPN_InvokeDefault(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount, NPVariant* result);
bool NPN_Evaluate(NPP npp, NPObject* obj, NPString* script, NPVariant* result);
bool NPN_GetProperty(NPP npp, NPObject* obj, NPIdentifier propertyName, NPVariant* result);
bool NPN_SetProperty(NPP npp, NPObject* obj, NPIdentifier propertyName, const NPVariant* value);
bool NPN_RemoveProperty(NPP npp, NPObject* obj, NPIdentifier propertyName);
bool NPN_HasProperty(NPP npp, NPObject* obj, NPIdentifier propertyName);
bool NPN_HasMethod(NPP npp, NPObject* obj, NPIdentifier methodName);
void NPN_ReleaseVariantValue(NPVariant* variant);
void NPN_SetException(NPObject* obj, const NPUTF8* message);

#endif
