// Splits one fuzzer input into a few independent pieces, so a target can
// vary several arguments at once. Pieces are separated by the byte 0x00 0xFF
// pair, which is rare in the seeds and easy for the fuzzer to find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ck::fuzz {

inline std::vector<std::string> pieces(const std::uint8_t* data, std::size_t size, std::size_t count) {
  std::vector<std::string> out;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (out.size() + 1 < count) {
    std::size_t at = rest.find(std::string_view("\0\xFF", 2));
    if (at == std::string_view::npos) break;
    out.emplace_back(rest.substr(0, at));
    rest.remove_prefix(at + 2);
  }
  out.emplace_back(rest);
  out.resize(count);
  return out;
}

// A Text never holds a zero byte: cut at the first one, as text_of does.
inline std::string as_text(std::string s) {
  std::size_t zero = s.find('\0');
  if (zero != std::string::npos) s.resize(zero);
  return s;
}

}  // namespace ck::fuzz
