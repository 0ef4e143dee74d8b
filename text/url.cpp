#include "text/url.h"

#include <array>

#include "text/codepage.h"

namespace ck {
namespace {

constexpr bool unreserved(unsigned char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The value of a hexadecimal digit (either case), or -1.
int digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

Text url_encode(std::string_view text, bool keep_unreserved, bool as_utf8) {
  if (text.empty()) return {};
  static constexpr char hex[] = "0123456789ABCDEF";
  static constexpr auto kept = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c) t[static_cast<std::size_t>(c)] = unreserved(static_cast<unsigned char>(c));
    return t;
  }();
  Text utf8;
  if (as_utf8) {
    utf8 = gbk_to_utf8(text);
    text = utf8;
  }
  // Sized exactly first: bodies can be megabytes, and three times the input
  // would touch memory that is never used.
  std::size_t size = text.size() * 3;
  if (keep_unreserved)
    for (unsigned char c : text) size -= kept[c] ? 2 : 0;
  Text out(size, '\0');
  char* p = out.data();
  for (unsigned char c : text) {
    if (keep_unreserved && kept[c]) {
      *p++ = static_cast<char>(c);
    } else {
      p[0] = '%';
      p[1] = hex[c >> 4];
      p[2] = hex[c & 15];
      p += 3;
    }
  }
  return out;
}

// A malformed escape ("%" not followed by two hexadecimal digits) is kept as
// it stands, byte for byte, so that a stray "%" in a text survives and no
// byte is invented from what is not an escape.
Text url_decode(std::string_view text, bool as_utf8) {
  Text out;
  out.resize(text.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      const int hi = digit(static_cast<unsigned char>(text[i + 1]));
      const int lo = digit(static_cast<unsigned char>(text[i + 2]));
      if (hi >= 0 && lo >= 0) {
        const char byte = static_cast<char>(hi * 16 + lo);
        if (byte != '\0') out[n++] = byte;  // a Text cannot hold a zero byte
        i += 2;
        continue;
      }
    }
    out[n++] = c;
  }
  out.resize(n);
  if (as_utf8) return utf8_to_gbk(out);
  return out;
}

}  // namespace ck
