// Symbols and the classes Object.registerClass binds to them. Each movie, the main one or one loaded into a clip
// or level, has its own exported symbols; the classes are kept in two tables: movies of SWF 7 and later share one
// whose names match exactly, older movies share another whose names ignore case.
#pragma once

#include "avm1/Machine.h"

#include <cstdint>
#include <string>

namespace reelfinch::plugin {
struct MovieLibrary;
struct SpriteInstance;
}

namespace reelfinch::avm1 {

// The table of the given kind; null when there is none yet and `make` is false.
Object* ClassRegistry(Machine& m, bool caseSensitive, bool make);
// The class bound to the export name of a clip's symbol in the table of its movie's version (undefined: none).
Value RegisteredClass(Machine& m, const plugin::SpriteInstance& sprite);
// The character an exported name stands for in a movie's library (null: the main movie's); 0 when none.
uint16_t ExportedCharacter(Machine& m, const std::string& name, bool caseSensitive, const plugin::MovieLibrary* library);
// The export name of a character of a movie's library ("" when it has none).
std::string ExportName(Machine& m, uint16_t characterId, const plugin::MovieLibrary* library);

} // namespace reelfinch::avm1
