// What a NetStream learns from the clips around it: the Videos showing it, and MovieClip.attachAudio giving its
// sound to a clip. Its sound takes the levels of that clip.
#pragma once

#include "avm1/Clip.h"
#include "avm1/Machine.h"

#include <memory>

namespace reelfinch::avm1 {

// A Video in `holder`'s display list shows the stream (null and other values are ignored): the stage holds the
// stream while that clip stays.
void NetStreamShownIn(Machine& m, const Value& stream, const std::shared_ptr<ClipLink>& holder);
// MovieClip.attachAudio(netStream) gives the stream's sound to the clip; attachAudio(false) silences it.
Value MovieClipAttachAudio(Machine& m, const Value& self, const Value* args, int argc);

} // namespace reelfinch::avm1
