// The movie methods a hosting page calls through the plug-in's scriptable object: variables by path, the
// timelines of clips by target path, percent loaded, loading into levels and properties by number.
#pragma once

#include "npapi.h"
#include "npruntime.h"

#include <string>

namespace reelfinch::plugin {

class MoviePlayer;

// Whether a URL the movie asks for is a command to its host ("FSCommand:...", any case).
bool IsHostCommand(const std::string& url);
// Whether `name` is one of these methods.
bool IsHostMethod(const std::string& name);
// Runs one; false for wrong arguments or a target that names no clip. A string answer points into `text`,
// which must stay until the host has read it.
bool InvokeHostMethod(MoviePlayer& movie, const std::string& name, const NPVariant* args, uint32_t count,
    NPVariant* result, std::string& text);

} // namespace reelfinch::plugin
