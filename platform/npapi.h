// Netscape plug-in API: the basic records, codes and the browser calls a plug-in makes, written from the published
// interface with the Mac OS layout of its window and port records. Both the host (player/) and plug-ins include it.
#ifndef REELFINCH_PLATFORM_NPAPI_H
#define REELFINCH_PLATFORM_NPAPI_H

#include <cstdint>

// The QuickDraw port a plug-in draws into; defined by the software QuickDraw (QuickDraw.h).
struct GrafPort;
using CGrafPtr = GrafPort*;

// The classic Mac event record handed to NPP_HandleEvent; defined in EventRecord.h.
struct EventRecord;

#define NP_VERSION_MAJOR 0
#define NP_VERSION_MINOR 14

// Browser table versions from which a feature is present.
#define NPVERS_HAS_STREAMOUTPUT 8
#define NPVERS_HAS_NOTIFICATION 9
#define NPVERS_HAS_LIVECONNECT 9
#define NPVERS_WIN16_HAS_LIVECONNECT 9
#define NPVERS_68K_HAS_LIVECONNECT 11
#define NPVERS_HAS_WINDOWLESS 11
#define NPVERS_HAS_XPCONNECT_SCRIPTING 13
#define NPVERS_HAS_NPRUNTIME_SCRIPTING 14

extern "C" {

typedef unsigned char NPBool;
typedef int16_t NPError;
typedef int16_t NPReason;
typedef char* NPMIMEType;

// The instance record. The plug-in owns pdata and reads ndata; mydata leads the host back from an instance to
// the object that runs it and is no business of the plug-in.
typedef struct _NPP {
    void* pdata;
    void* ndata;
    void* mydata;
} NPP_t;
typedef NPP_t* NPP;

typedef struct _NPStream {
    void* pdata;
    void* ndata;
    const char* url;
    uint32_t end;
    uint32_t lastmodified;
    void* notifyData;
} NPStream;

typedef struct _NPByteRange {
    int32_t offset; // negative: from the end of the stream
    uint32_t length;
    struct _NPByteRange* next;
} NPByteRange;

typedef struct _NPSavedData {
    int32_t len;
    void* buf;
} NPSavedData;

typedef struct _NPRect {
    uint16_t top;
    uint16_t left;
    uint16_t bottom;
    uint16_t right;
} NPRect;

typedef struct _NPSize {
    int32_t width;
    int32_t height;
} NPSize;

// On the Mac a region is a QuickDraw region handle; the host passes it through untyped.
typedef void* NPRegion;

typedef enum {
    NPWindowTypeWindow = 1,
    NPWindowTypeDrawable
} NPWindowType;

// The window record of a windowed plug-in: window points at an NP_Port.
typedef struct _NPWindow {
    void* window;
    int32_t x; // top-left of the plug-in relative to the page (the port)
    int32_t y;
    uint32_t width;
    uint32_t height;
    NPRect clipRect; // clipping rectangle in port coordinates
    NPWindowType type;
} NPWindow;

typedef struct NP_Port {
    CGrafPtr port;
    int32_t portx; // position of the port's top-left relative to the plug-in
    int32_t porty;
} NP_Port;

typedef EventRecord NPEvent;

typedef struct _NPFullPrint {
    NPBool pluginPrinted;
    NPBool printOne;
    void* platformPrint;
} NPFullPrint;

typedef struct _NPEmbedPrint {
    NPWindow window;
    void* platformPrint;
} NPEmbedPrint;

typedef struct _NPPrint {
    uint16_t mode; // NP_FULL or NP_EMBED
    union {
        NPFullPrint fullPrint;
        NPEmbedPrint embedPrint;
    } print;
} NPPrint;

// Variables a browser asks of a plug-in (NPP_GetValue).
typedef enum {
    NPPVpluginNameString = 1,
    NPPVpluginDescriptionString,
    NPPVpluginWindowBool,
    NPPVpluginTransparentBool,
    NPPVjavaClass,
    NPPVpluginWindowSize,
    NPPVpluginTimerInterval,
    NPPVpluginScriptableInstance = (10 << 8),
    NPPVpluginScriptableIID = 11,
    NPPVjavascriptPushCallerBool = 12,
    NPPVpluginKeepLibraryInMemory = 13,
    NPPVpluginNeedsXEmbed = 14,
    NPPVpluginScriptableNPObject = 15,
    NPPVformValue = 16
} NPPVariable;

// Variables a plug-in asks of the browser (NPN_GetValue).
typedef enum {
    NPNVxDisplay = 1,
    NPNVxtAppContext,
    NPNVnetscapeWindow,
    NPNVjavascriptEnabledBool,
    NPNVasdEnabledBool,
    NPNVisOfflineBool,
    NPNVserviceManager = (10 << 8),
    NPNVDOMElement = 11,
    NPNVDOMWindow = 12,
    NPNVToolkit = 13,
    NPNVSupportsXEmbedBool = 14,
    NPNVWindowNPObject = 15,
    NPNVPluginElementNPObject = 16
} NPNVariable;

// Events beyond the classic Mac codes: operating-system event code 15 plus 16, 17 and 18.
enum NPEventType {
    NPEventType_GetFocusEvent = 15 + 16,
    NPEventType_LoseFocusEvent,
    NPEventType_AdjustCursorEvent,
    NPEventType_MenuCommandEvent,
    NPEventType_ClippingChangedEvent,
    NPEventType_ScrollingBeginsEvent = 1000,
    NPEventType_ScrollingEndsEvent
};

} // extern "C"

// Instance modes (NPP_New).
#define NP_EMBED 1
#define NP_FULL 2

// Stream types (NPP_NewStream).
#define NP_NORMAL 1
#define NP_SEEK 2
#define NP_ASFILE 3
#define NP_ASFILEONLY 4

#define NP_MAXREADY (((unsigned)(~0) << 1) >> 1)

// Error codes.
#define NPERR_BASE 0
#define NPERR_NO_ERROR (NPERR_BASE + 0)
#define NPERR_GENERIC_ERROR (NPERR_BASE + 1)
#define NPERR_INVALID_INSTANCE_ERROR (NPERR_BASE + 2)
#define NPERR_INVALID_FUNCTABLE_ERROR (NPERR_BASE + 3)
#define NPERR_MODULE_LOAD_FAILED_ERROR (NPERR_BASE + 4)
#define NPERR_OUT_OF_MEMORY_ERROR (NPERR_BASE + 5)
#define NPERR_INVALID_PLUGIN_ERROR (NPERR_BASE + 6)
#define NPERR_INVALID_PLUGIN_DIR_ERROR (NPERR_BASE + 7)
#define NPERR_INCOMPATIBLE_VERSION_ERROR (NPERR_BASE + 8)
#define NPERR_INVALID_PARAM (NPERR_BASE + 9)
#define NPERR_INVALID_URL (NPERR_BASE + 10)
#define NPERR_FILE_NOT_FOUND (NPERR_BASE + 11)
#define NPERR_NO_DATA (NPERR_BASE + 12)
#define NPERR_STREAM_NOT_SEEKABLE (NPERR_BASE + 13)

// Stream end reasons.
#define NPRES_BASE 0
#define NPRES_DONE (NPRES_BASE + 0)
#define NPRES_NETWORK_ERR (NPRES_BASE + 1)
#define NPRES_USER_BREAK (NPRES_BASE + 2)

// A signed rectangle in twips: the host's zoom rectangles. Not a published record.
struct _NPSignedRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
};

#endif
