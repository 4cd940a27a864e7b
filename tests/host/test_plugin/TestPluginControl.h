// The test plug-in's shared state: what it answers (set by a test before the host calls it) and every call it
// received with its arguments. The test reaches the state by opening the same library and calling the export
// "TestPlugin_Control"; since the test keeps its own handle, the state outlives the host's unloading.
#pragma once

#include "EventRecord.h"
#include "QuickDraw.h"
#include "npfunctions.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TestPluginStream {
    std::string url;
    uint32_t end = 0;
    void* notifyData = nullptr;
    bool seekable = false;
    std::string data; // bytes taken by NPP_Write, in order
    bool destroyed = false;
    NPReason reason = -1;
};

struct TestPluginNotification {
    std::string url; // "(null)" for a null url
    NPReason reason = -1;
    void* notifyData = nullptr;
};

struct TestPluginControl {
    // Answers.
    NPError initializeResult = NPERR_NO_ERROR;
    NPError entryPointsResult = NPERR_NO_ERROR;
    NPError newResult = NPERR_NO_ERROR;
    NPError newStreamResult = NPERR_NO_ERROR;
    NPError setWindowResult = NPERR_NO_ERROR;
    int16_t handleEventResult = 1;
    int32_t room = 1 << 20;             // NPP_WriteReady, once the queue below is used up
    std::vector<int32_t> roomQueue;     // NPP_WriteReady answers, first one first
    std::vector<int32_t> takeQueue;     // NPP_Write answers; once used up, every byte offered is taken
    bool offerScriptable = true;        // NPP_GetValue with the scriptable-object variable yields an object
    bool invokeResult = true;           // what the object's invoke reports
    std::vector<std::string> methods;   // names hasMethod admits; empty: every name
    // Fills the result of an invoke (method name as read back through the browser).
    std::function<void(const std::string& method, const NPVariant* args, uint32_t count, NPVariant* result)> answer;
    // Runs inside every plug-in call, after it is recorded: argument is the call's record (NPWindow*,
    // EventRecord*, NPStream*) or null.
    std::function<void(const std::string& call, NPP instance, void* argument)> during;
    // When not 0, an update event paints the plug-in's visible area of the port with this 0xAARRGGBB colour.
    uint32_t paintColor = 0;

    // What the plug-in saw.
    std::vector<std::string> calls;
    const NPNetscapeFuncs* browser = nullptr; // as handed to NP_Initialize
    NPNetscapeFuncs browserCopy {};           // its contents at that time
    NPP instance = nullptr;                   // the instance record of the last NPP_New
    std::vector<NPWindow> windows;
    std::vector<NP_Port> ports;
    std::vector<EventRecord> events;
    std::vector<TestPluginStream> streams;
    std::vector<TestPluginNotification> notifications;
    int objectsAlive = 0;
    int instancesAlive = 0;

    void reset() { *this = TestPluginControl(); }
    // Calls whose record starts with prefix.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> found;
        for (const std::string& call : calls) {
            if (call.compare(0, prefix.size(), prefix) == 0)
                found.push_back(call);
        }
        return found;
    }
};

using TestPluginControlFunc = TestPluginControl* (*)();
