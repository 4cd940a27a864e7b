// CSS text as style sheets read it: rules of selectors and declarations (property names as scripts see them).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace reelfinch::avm1 {

struct CssRule {
    std::vector<std::string> selectors;
    std::vector<std::pair<std::string, std::string>> declarations; // name, value as written
};

// The rules of the text, or nothing when any part of it does not read (the text is taken all or nothing).
std::optional<std::vector<CssRule>> ParseCss(const std::string& text);

} // namespace reelfinch::avm1
