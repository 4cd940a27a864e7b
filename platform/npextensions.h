// Extensions of the NPAPI contract that the Reelfinch host offers the plug-ins it loads.
//
// Script output: NPN_GetValue(instance, NPNVReelfinchTraceFunction, &function) stores a function of type
// NPN_TraceLineProcPtr; the plug-in calls it with each line a movie's script prints (UTF-8, no line end), from
// within a call the host made into the plug-in. A host without the extension answers NPERR_GENERIC_ERROR and the
// plug-in drops the lines.
//
// Cursor: NPN_SetValue(instance, NPPVReelfinchHandCursor, value) with a non-null value asks for the hand cursor over
// the plug-in's area (the mouse is over something that can be clicked), with null for the arrow. The host shows
// it from its next cursor update on, outside its own cursor modes (resizing, dragging the movie).
//
// Mouse wheel: the host hands NPP_HandleEvent an event record of kind ReelfinchMouseWheelEvent, its message the
// wheel's turn in lines as a signed 32-bit value (positive away from the user) and `where` the mouse. A plug-in
// that does not know the kind answers 0.
//
// Text input: the host hands NPP_HandleEvent an event record of kind ReelfinchTextInputEvent for text its input
// gave without a key press of its own (an input method's result, a character typed by a test), its message the
// character's Unicode code point. The movie's focused input field takes it; key listeners hear nothing.
//
// Composing text: the host hands NPP_HandleEvent an event record of kind ReelfinchCompositionEvent each time the
// text its input method is composing (shown, not yet typed) changes, its message the caret's place in that text
// in UTF-16 units (ReelfinchNoCaret: the input method shows none). While it handles the event the plug-in asks
// for the text with NPN_GetValue(instance, NPNVReelfinchCompositionText, &text), which stores it as a UTF-8
// string allocated with NPN_MemAlloc (the plug-in frees it with NPN_MemFree); an empty text ends the composing
// without typing anything. What the input method finally gives comes as ReelfinchTextInputEvent characters, after
// an empty composing text. A plug-in that does not know the kind answers 0.
//
// Clipboard: NPN_GetValue(instance, NPNVReelfinchClipboardText, &text) stores the host's clipboard text as a
// UTF-8 string allocated with NPN_MemAlloc (the plug-in frees it with NPN_MemFree); a plug-in asks for it when it
// handles the host's Paste command (a Command-V key event).
//
// Sockets: NPN_GetValue(instance, NPNVReelfinchSocketFunctions, &table) fills an NPReelfinchSocketFuncs with the
// host's functions for the movie's own TCP connections (XMLSocket). `open` starts connecting to host:port and
// answers a connection number (0: refused at once: no network permission, a port below 1024, a bad name);
// `send` queues bytes for a connection; `poll` copies at most `capacity` bytes that arrived into `buffer`,
// answers how many, and stores the connection's state (one of NPReelfinchSocket*: still connecting, open,
// failed to connect, or closed by the other side once every byte before the close was read); `close` ends a
// connection and forgets its number. The plug-in polls between steps of its movie; nothing calls it back.
//
// Files: NPN_GetValue(instance, NPNVReelfinchFileFunctions, &table) fills an NPReelfinchFileFuncs with the host's
// functions for the user's files a movie asks for (FileReference). `start` begins an operation and answers its
// number (0: refused): NPReelfinchFileBrowse shows an open-file dialog (`text`: the type filters, one per line,
// description and patterns split by a tab, patterns by ';'; empty: every file); NPReelfinchFileDownload shows a
// save dialog (`text`: the suggested name) and then fetches `url` into the chosen file; NPReelfinchFileUpload
// posts the file chosen by the browse operation `file` to `url`. `poll` answers the operation's next event (one
// of NPReelfinchFileEvent*; None while nothing new happened, Ended once it is over or unknown): Select carries
// the chosen file's name in `text` (at most `capacity` bytes with its zero) and its size in `a`; Progress the
// bytes done in `a` and their total in `b`; HttpError the status in `a`. `close` ends an operation and forgets
// its number (a browse's chosen file with it).
//
// Screen: NPN_GetValue(instance, NPNVReelfinchScreenSize, &size) fills an NPReelfinchScreenSize with the width and
// height in pixels of the screen that shows the plug-in (what a movie is told of its screen).
#pragma once

#include "npapi.h"

#define NPNVReelfinchTraceFunction ((NPNVariable)0x52460001)

typedef void (*NPN_TraceLineProcPtr)(NPP instance, const char* line);

#define NPPVReelfinchHandCursor ((NPPVariable)0x52460002)

#define ReelfinchMouseWheelEvent ((uint16_t)0x5246)
#define ReelfinchTextInputEvent ((uint16_t)0x5247)
#define ReelfinchCompositionEvent ((uint16_t)0x5248)
#define ReelfinchNoCaret ((uint32_t)0xFFFFFFFF)

#define NPNVReelfinchClipboardText ((NPNVariable)0x52460003)
#define NPNVReelfinchCompositionText ((NPNVariable)0x52460007)

#define NPNVReelfinchSocketFunctions ((NPNVariable)0x52460004)

enum { NPReelfinchSocketConnecting = 0, NPReelfinchSocketOpen = 1, NPReelfinchSocketFailed = 2,
    NPReelfinchSocketClosed = 3 };

typedef struct _NPReelfinchSocketFuncs {
    int32_t (*open)(NPP instance, const char* host, int32_t port);
    NPBool (*send)(NPP instance, int32_t socket, const char* data, uint32_t length);
    uint32_t (*poll)(NPP instance, int32_t socket, char* buffer, uint32_t capacity, int32_t* state);
    void (*close)(NPP instance, int32_t socket);
} NPReelfinchSocketFuncs;

#define NPNVReelfinchFileFunctions ((NPNVariable)0x52460005)

enum { NPReelfinchFileBrowse = 0, NPReelfinchFileDownload = 1, NPReelfinchFileUpload = 2 };
enum { NPReelfinchFileEventNone = 0, NPReelfinchFileEventSelect = 1, NPReelfinchFileEventCancel = 2,
    NPReelfinchFileEventOpen = 3, NPReelfinchFileEventProgress = 4, NPReelfinchFileEventComplete = 5,
    NPReelfinchFileEventHttpError = 6, NPReelfinchFileEventIOError = 7, NPReelfinchFileEventEnded = 8 };

typedef struct _NPReelfinchFileFuncs {
    int32_t (*start)(NPP instance, int32_t kind, const char* url, const char* text, int32_t file);
    int32_t (*poll)(NPP instance, int32_t operation, double* a, double* b, char* text, uint32_t capacity);
    void (*close)(NPP instance, int32_t operation);
} NPReelfinchFileFuncs;

#define NPNVReelfinchScreenSize ((NPNVariable)0x52460006)

typedef struct _NPReelfinchScreenSize {
    int32_t width;
    int32_t height;
} NPReelfinchScreenSize;
