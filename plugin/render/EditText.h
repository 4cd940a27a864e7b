// The text of a text field as drawn without scripting: its initial text made plain (HTML tags stripped, line
// breaks kept) and broken into lines by explicit breaks and, when the field wraps, at spaces.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace reelfinch::plugin {

// The field's text as characters, every line break a '\n'. The text is UTF-8; a byte that does not start a valid
// sequence stands for itself (older movies write single-byte text). HTML text loses its tags, <br> and the end
// of <p> and <li> break the line, and the common character entities are replaced.
std::u32string FieldText(const std::string& text, bool html);

struct TextLine {
    size_t begin = 0; // characters of the text, end exclusive, without the break
    size_t end = 0;
    double width = 0; // of the characters on the line, trailing spaces left out
    bool firstOfParagraph = true;
};

// Breaks the text into lines. `advance` measures one character. With `wrap`, a line ends at the last space that
// keeps it within `width` (the first line of a paragraph within `width - indent`); a word longer than a whole
// line is broken between characters.
std::vector<TextLine> BreakLines(
    const std::u32string& text, const std::function<double(char32_t)>& advance, double width, double indent, bool wrap);

} // namespace reelfinch::plugin
