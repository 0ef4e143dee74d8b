#include "text/url.h"

#include "text/codepage.h"

namespace ck {
namespace {

bool unreserved(unsigned char c) {
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
  static const char hex[] = "0123456789ABCDEF";
  Text utf8;
  if (as_utf8) {
    utf8 = gbk_to_utf8(text);
    text = utf8;
  }
  Text out;
  out.resize(text.size() * 3);
  std::size_t n = 0;
  for (unsigned char c : text) {
    if (keep_unreserved && unreserved(c)) {
      out[n++] = static_cast<char>(c);
    } else {
      out[n++] = '%';
      out[n++] = hex[c >> 4];
      out[n++] = hex[c & 15];
    }
  }
  out.resize(n);
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
