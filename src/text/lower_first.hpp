// First character to lower case, by the full Unicode mapping.
#pragma once

#include <string>
#include <string_view>

namespace brenvale {

// One character may become several (U+0130 -> "i\u0307"); text that does not start with
// valid UTF-8 is returned unchanged.
std::string lower_first(std::string_view text);
void append_lower_first(std::string_view text, std::string& out);

}  // namespace brenvale
