#pragma once

// Masks that scripts set with MovieClip.setMask, as drawing and hit testing both see them. setMask keeps the
// pair in hidden properties of the two clips' script objects (`__mask` on the masked clip, `__maskOwner` on the
// mask).

namespace reelfinch::plugin {

struct SpriteInstance;

// The mask a script set on `sprite`. A clip masks one other at a time: it counts only while the clip it last
// masked is this one and this one's mask is still it. A mask of the timeline's layers neither takes a mask nor
// serves as one.
const SpriteInstance* ScriptMask(const SpriteInstance& sprite);

// Whether `sprite` serves as another clip's mask; such a clip is neither drawn nor hit itself.
bool IsScriptMask(const SpriteInstance& sprite);

} // namespace reelfinch::plugin
