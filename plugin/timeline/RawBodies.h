// The plug-in's own readers take the bodies of the newer tags (DefineShape4, DefineFont3, PlaceObject3,
// DefineMorphShape2, DefineBitsJPEG4, StartSound2, SymbolClass) as bytes. swflib reads these tags into objects
// and writes them back byte for byte, so after a movie is read each such tag is replaced by a raw-body tag holding
// the bytes its object writes.
#pragma once

class CTagsItem;

namespace reelfinch::plugin {

// Replaces the newer tags of `tags`, and of every sprite in it, by raw-body tags with the same bytes. A tag whose
// object cannot be written back stays as it is.
void KeepRawBodies(CTagsItem* tags, int nesting = 0);

} // namespace reelfinch::plugin
