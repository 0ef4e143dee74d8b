// The two value types every layer shares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ck {

// GBK bytes; never holds a zero byte. "" and "never assigned" are the same.
using Text = std::string;

// A counted byte buffer that may hold zero bytes (bodies, UTF-16 data).
using Bytes = std::vector<std::uint8_t>;

// The only two places that reinterpret one as the other.
Text text_of(const Bytes& bytes);  // up to the first zero byte
Bytes bytes_of(std::string_view text);

}  // namespace ck
