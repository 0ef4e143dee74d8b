// Percent-encoding and decoding for URLs and form bodies.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace ck {

// Every byte becomes %XX (upper-case hex), except "-", ".", digits and ASCII
// letters when `keep_unreserved`. With `as_utf8` the text is converted from
// GBK to UTF-8 first.
Text url_encode(std::string_view text, bool keep_unreserved = false, bool as_utf8 = false);
// %XX escapes resolved ("+" stays "+", %00 adds nothing); with `as_utf8` the
// result is converted from UTF-8 to GBK.
Text url_decode(std::string_view text, bool as_utf8 = false);

}  // namespace ck
