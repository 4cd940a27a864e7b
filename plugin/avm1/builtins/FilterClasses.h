// flash.filters objects of scripts, and their conversion to and from the renderer's filters.
#pragma once

#include "avm1/builtins/Builtins.h"
#include "render/Filters.h"

namespace reelfinch::avm1 {

// The renderer's filter for a script's filter object; false for anything else (and for a displacement map, which
// the renderer does not draw).
bool FilterFromObject(const Value& v, plugin::Filter& f);
// A new script object of the filter's class holding its settings.
Value ObjectFromFilter(Machine& m, const plugin::Filter& f);
// flash.filters.BitmapFilter and its subclasses.
void InstallFilterClasses(Machine& m);

} // namespace reelfinch::avm1
