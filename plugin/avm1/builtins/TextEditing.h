// The host's text input and editing commands on the movie's focused input field, and its mouse buttons as keys.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace reelfinch::plugin {
struct SpriteInstance;
}

namespace reelfinch::avm1 {

class Machine;

// Text the host's input gave without a key press of its own: typed into the focused input field as a key would
// type it, without Key or its listeners hearing anything. Returns whether the field changed.
bool TextIntoFocus(Machine& m, char32_t codePoint);
// Pasting `text` in place of the selection, as far as `restrict` and `maxChars` let it; an empty text changes
// nothing. Returns whether the field changed.
bool PasteIntoFocus(Machine& m, const std::u16string& text);
// What the host's input method is composing for the focused input field, its caret `caret` units into `text`
// (none: at its end). It shows in the field in place of what was composed before (a new composing takes the
// selection's place), taken as typing would take it; scripts see it in the text, listeners hear nothing until
// it stays: it is typed text once the field gives up the focus. An empty text takes it away. Returns whether
// the field changed.
bool ComposeInFocus(Machine& m, const std::u16string& text, std::optional<size_t> caret);
// Selects the whole text of the focused input field.
void SelectAllInFocus(Machine& m);
// A press at a stage point (twips) on the topmost text field shown there under `root`: the focused field's caret
// goes to the point, and a linked character follows its link ("asfunction:" links call a function of the
// field's clip, others go to the host as getURL). Returns whether there was a link.
bool PressOnField(Machine& m, plugin::SpriteInstance& root, double x, double y);
// A mouse button went down or up in the host: Key.isDown answers for its key code (1 the main button, 4 the
// middle one); no listener hears of it.
void MouseButtonKey(Machine& m, int code, bool down);

} // namespace reelfinch::avm1
