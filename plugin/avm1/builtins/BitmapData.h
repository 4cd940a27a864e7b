// The pixels behind a script's BitmapData, for the classes that use them (clips' attachBitmap, bitmap fills).
#pragma once

#include "avm1/builtins/Builtins.h"
#include "render/BitmapPixels.h"

#include <memory>

namespace reelfinch::avm1 {

// The pixels of a live (not disposed) BitmapData; null for anything else.
std::shared_ptr<plugin::BitmapPixels> BitmapPixelsOf(const Value& v);
// flash.display.BitmapData.
void InstallBitmapDataClass(Machine& m);

} // namespace reelfinch::avm1
