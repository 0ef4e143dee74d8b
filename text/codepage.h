// Conversions between GBK text, UTF-8 and UTF-16LE bytes.
#pragma once

#include <optional>
#include <string_view>

#include "platform/types.h"

namespace ck {

// Re-encode `bytes` through the byte-stream object; "" for a charset means
// its default. Empty bytes when the stream object cannot be created.
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
