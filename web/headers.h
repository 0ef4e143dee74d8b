// Header texts: lines of a name, ":" and a value, joined by CR LF.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace ck {

Text normalize_header_names(std::string_view header_text);
Text header_name(std::string_view line);   // before the first ":", trimmed
Text header_value(std::string_view line);  // after the first ":", trimmed
Text capitalize_first(std::string_view text);

}  // namespace ck
