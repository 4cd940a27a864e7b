// Extensions of the NPAPI contract that the Reelfinch host offers the plug-ins it loads.
//
// Script output: NPN_GetValue(instance, NPNVReelfinchTraceFunction, &function) stores a function of type
// NPN_TraceLineProcPtr; the plug-in calls it with each line a movie's script prints (UTF-8, no line end), from
// within a call the host made into the plug-in. A host without the extension answers NPERR_GENERIC_ERROR and the
// plug-in drops the lines.
#pragma once

#include "npapi.h"

#define NPNVReelfinchTraceFunction ((NPNVariable)0x52460001)

typedef void (*NPN_TraceLineProcPtr)(NPP instance, const char* line);
