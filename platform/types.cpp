#include "platform/types.h"

#include <cstring>

namespace ck {

Text text_of(const Bytes& bytes) {
  const void* zero = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
  const std::size_t n =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data()) : bytes.size();
  return Text(reinterpret_cast<const char*>(bytes.data()), n);
}

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace ck
