// The plug-in's scriptable objects answer methods only: these fill the class table's other entries (no default
// method, no properties), for the in-process instance and the engine's proxy alike.
#pragma once

#include "npapi.h"
#include "npruntime.h"

namespace reelfinch::plugin::methods_only {

inline bool NoDefault(NPObject*, const NPVariant*, uint32_t, NPVariant*)
{
    return false;
}

inline bool NoProperty(NPObject*, NPIdentifier)
{
    return false;
}

inline bool NoGetProperty(NPObject*, NPIdentifier, NPVariant*)
{
    return false;
}

inline bool NoSetProperty(NPObject*, NPIdentifier, const NPVariant*)
{
    return false;
}

} // namespace reelfinch::plugin::methods_only
