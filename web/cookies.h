// Cookie strings: name=value items joined by "; ". No cookie jar exists; each
// exchange hands back an updated string that the caller keeps.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace ck {

// The cookie string of the Set-Cookie lines of one header block.
Text collect_set_cookies(std::string_view response_headers);
// Fold `incoming` into `*existing`; the result is also stored in `*existing`.
Text merge_cookies(Text* existing, std::string_view incoming);
Text cookie_name(std::string_view item);
Text remove_duplicate_items(std::string_view list, std::string_view separator);

}  // namespace ck
