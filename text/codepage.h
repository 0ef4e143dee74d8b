// Conversions between GBK text, UTF-8 and UTF-16LE bytes.
#pragma once

#include <optional>
#include <string_view>

#include "platform/types.h"

namespace ck {

// Re-encode `bytes` through the byte-stream object; "" for a charset means
// its default. Empty bytes when the stream object cannot be created. The
// decoded text passes through GBK on the way (as the automation interface
// hands it over), so a character GBK cannot hold arrives as "?" and the text
// ends at a zero character. A leading byte-order mark of `from_charset` is
// dropped and none is written. `skip_bytes` drops that many leading output
// bytes: all of them when it is the output's size or more, none when it is
// negative. A charset name the object does not know leaves the object's
// previous charset in force (UTF-16LE for `from_charset`, `from_charset` for
// `to_charset`), as a failing step of the object would.
Bytes convert_charset(const Bytes& bytes, std::string_view from_charset = "UTF-8", std::string_view to_charset = "GBK",
                      std::optional<long> skip_bytes = std::nullopt);

// UTF-16LE bytes, with one zero unit at the end unless `drop_terminator`;
// "" gives empty bytes (no terminator).
Bytes gbk_to_utf16(std::string_view text, bool drop_terminator = false);
// An odd last byte is ignored; the result ends at the first zero unit.
Text utf16_to_gbk(const Bytes& utf16);

Bytes multibyte_to_utf16(std::string_view text, int code_page = 65001);  // terminator always included
Text utf16_to_multibyte(const Bytes& utf16, int code_page = 0);         // up to the first zero unit

Text gbk_to_utf8(std::string_view text);
Text utf8_to_gbk(std::string_view text);

}  // namespace ck
