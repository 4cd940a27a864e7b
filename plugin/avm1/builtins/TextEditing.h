// The host's text input and editing commands on the movie's focused input field.
#pragma once

#include <string>

namespace reelfinch::avm1 {

class Machine;

// Text the host's input gave without a key press of its own: typed into the focused input field as a key would
// type it, without Key or its listeners hearing anything. Returns whether the field changed.
bool TextIntoFocus(Machine& m, char32_t codePoint);
// Pasting `text` in place of the selection, as far as `restrict` and `maxChars` let it; an empty text changes
// nothing. Returns whether the field changed.
bool PasteIntoFocus(Machine& m, const std::u16string& text);
// Selects the whole text of the focused input field.
void SelectAllInFocus(Machine& m);

} // namespace reelfinch::avm1
