// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
#pragma once

#include <cstdint>
#include <span>

#include "platform/types.h"

namespace ck {

Text base64_encode(std::span<const std::uint8_t> bytes);  // empty bytes give ""

}  // namespace ck
