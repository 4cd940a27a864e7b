// Text of XML as the player writes it, shared by the XML classes and ExternalInterface's encoding.
#pragma once

#include <string>
#include <string_view>

namespace reelfinch::avm1 {

// `s` with &, <, >, " and ' written as their entities, for text and attribute values alike.
std::string EscapeXmlText(std::string_view s);

} // namespace reelfinch::avm1
