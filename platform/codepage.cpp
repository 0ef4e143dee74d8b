#include "platform/codepage.h"

#include <iconv.h>

#include <array>
#include <cstring>
#include <memory>

namespace ck::platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// GBK as code page 936 knows it. glibc's iconv is the source of the mapping;
// it is read once into two tables, because converting through iconv one call
// per character is far too slow for bodies and because the tables let us
// decide invalid input ourselves. glibc's "GBK" (the same table as its
// "CP936") has 0x80 = U+20AC like Windows in current versions, and its
// two-byte table equals the usual GBK one.
struct GbkTables {
  static constexpr int kLeads = 0xFE - 0x81 + 1;   // 0x81..0xFE
  static constexpr int kTrails = 0xFE - 0x40 + 1;  // 0x40..0xFE (0x7F never maps)
  std::array<char16_t, kLeads * kTrails> pair{};   // 0 = undefined
  std::array<char16_t, 128> high_single{};         // bytes 0x80..0xFF alone; 0 = undefined
  // Code unit -> GBK: 0 = unrepresentable, below 0x100 one byte, else
  // lead << 8 | trail.
  std::array<std::uint16_t, 0x10000> encode{};

  GbkTables() {
    for (unsigned c = 0; c < 0x80; ++c) encode[c] = static_cast<std::uint16_t>(c);
    iconv_t cd = iconv_open("UTF-16LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;  // no tables: everything non-ASCII is undefined
    auto decode_one = [cd](const char* in, std::size_t len) -> char16_t {
      char buf[2];
      std::memcpy(buf, in, len);
      char* ip = buf;
      std::size_t il = len;
      char out[8];
      char* op = out;
      std::size_t ol = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0 || op - out != 2) return 0;
      return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8);
    };
    for (int b = 0x80; b <= 0xFF; ++b) {
      const char in[1] = {static_cast<char>(b)};
      const char16_t u = decode_one(in, 1);
      high_single[static_cast<std::size_t>(b - 0x80)] = u;
      if (u >= 0x80 && encode[u] == 0) encode[u] = static_cast<std::uint16_t>(b);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead)
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        const char16_t u = decode_one(in, 2);
        pair[static_cast<std::size_t>((lead - 0x81) * kTrails + (trail - 0x40))] = u;
        if (u >= 0x80 && encode[u] == 0) encode[u] = static_cast<std::uint16_t>(lead << 8 | trail);
      }
    iconv_close(cd);
    // Code page 936 has the euro sign at 0x80; older glibc "GBK" tables lack it.
    if (high_single[0] == 0) high_single[0] = 0x20AC;
    if (encode[0x20AC] == 0) encode[0x20AC] = 0x80;
  }
};

const GbkTables& gbk() {
  static const std::unique_ptr<const GbkTables> tables = std::make_unique<const GbkTables>();
  return *tables;
}

bool is_gbk_trail(unsigned char t) { return t >= 0x40 && t <= 0xFE && t != 0x7F; }

// True when the 8 bytes at p are all ASCII.
inline bool ascii8(const unsigned char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return (w & 0x8080808080808080ULL) == 0;
}

// Writers: either count only (size query) or write into a caller's buffer
// of a fixed capacity, remembering an overflow.
template <class Unit>
struct Sink {
  Unit* dst;
  std::size_t capacity;  // 0 = count only
  std::size_t count = 0;
  void put(Unit u) {
    if (dst && count < capacity) dst[count] = u;
    ++count;
  }
  bool room(std::size_t n) const { return dst && count + n <= capacity; }
};

// GBK bytes -> UTF-16. A lead byte followed by a valid trail byte is one
// character; an undefined pair becomes U+FFFD. A lead byte not followed by a
// trail byte (or at the end) becomes U+FFFD and the next byte is read anew.
// 0x80 alone is U+20AC; 0xFF alone is U+FFFD.
// The fast path both decoders share: eight ASCII bytes copied as they are.
template <class S>
bool take_ascii8(const unsigned char* s, std::size_t n, std::size_t& i, S& out) {
  if (i + 8 > n || !out.room(8) || !ascii8(s + i)) return false;
  for (std::size_t k = 0; k < 8; ++k) out.dst[out.count + k] = s[i + k];
  out.count += 8;
  i += 8;
  return true;
}

template <class S>
void decode_gbk(const unsigned char* s, std::size_t n, S& out) {
  const GbkTables& t = gbk();
  std::size_t i = 0;
  while (i < n) {
    if (take_ascii8(s, n, i, out)) continue;
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.put(b);
      ++i;
      continue;
    }
    if (b >= 0x81 && b <= 0xFE && i + 1 < n && is_gbk_trail(s[i + 1])) {
      const char16_t u = t.pair[static_cast<std::size_t>((b - 0x81) * GbkTables::kTrails + (s[i + 1] - 0x40))];
      out.put(u ? u : kReplacement);
      i += 2;
      continue;
    }
    const char16_t u = t.high_single[b - 0x80];
    out.put(u ? u : kReplacement);
    ++i;
  }
}

// UTF-8 -> UTF-16. Ill-formed input becomes one U+FFFD per maximal ill-formed
// subpart (the Unicode recommendation, which Windows follows too): overlong
// forms, encoded surrogates, values above U+10FFFF, stray continuation bytes
// and truncated sequences.
template <class S>
void decode_utf8(const unsigned char* s, std::size_t n, S& out) {
  std::size_t i = 0;
  while (i < n) {
    if (take_ascii8(s, n, i, out)) continue;
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.put(b);
      ++i;
      continue;
    }
    int need;
    std::uint32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0Fu;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07u;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out.put(kReplacement);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < need; ++k, ++j) {
      const unsigned char c = j < n ? s[j] : 0;
      const unsigned char min = k == 0 ? lo : 0x80, max = k == 0 ? hi : 0xBF;
      if (j >= n || c < min || c > max) {
        ok = false;
        break;
      }
      cp = cp << 6 | (c & 0x3Fu);
    }
    if (!ok) {
      out.put(kReplacement);
      i = j;  // the bytes that formed a valid prefix are consumed with it
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.put(static_cast<char16_t>(cp));
    }
    i = j;
  }
}

bool high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// UTF-16 -> GBK. An unrepresentable character, a surrogate pair (one default
// character for the pair) and an unpaired surrogate become the default
// character.
template <class S>
void encode_gbk(const char16_t* s, std::size_t n, std::string_view default_char, bool& used_default, S& out) {
  const GbkTables& t = gbk();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t u = s[i];
    if (u < 0x80) {
      out.put(static_cast<char>(u));
      continue;
    }
    const std::uint16_t g = low_surrogate(u) || high_surrogate(u) ? 0 : t.encode[u];
    if (g == 0) {
      if (high_surrogate(u) && i + 1 < n && low_surrogate(s[i + 1])) ++i;
      for (char c : default_char) out.put(c);
      used_default = true;
    } else if (g < 0x100) {
      out.put(static_cast<char>(g));
    } else {
      out.put(static_cast<char>(g >> 8));
      out.put(static_cast<char>(g & 0xFF));
    }
  }
}

// UTF-16 -> UTF-8. An unpaired surrogate becomes U+FFFD, as on Windows.
template <class S>
void encode_utf8(const char16_t* s, std::size_t n, S& out) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t cp = s[i];
    if (cp < 0x80) {
      out.put(static_cast<char>(cp));
      continue;
    }
    if (high_surrogate(s[i]) && i + 1 < n && low_surrogate(s[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
      ++i;
    } else if (high_surrogate(s[i]) || low_surrogate(s[i])) {
      cp = kReplacement;
    }
    if (cp < 0x800) {
      out.put(static_cast<char>(0xC0 | cp >> 6));
    } else if (cp < 0x10000) {
      out.put(static_cast<char>(0xE0 | cp >> 12));
      out.put(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    } else {
      out.put(static_cast<char>(0xF0 | cp >> 18));
      out.put(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
      out.put(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    }
    out.put(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

enum class Page { gbk, utf8, unsupported };

Page page_of(unsigned code_page) {
  if (code_page == CP_ACP || code_page == CP_GBK) return Page::gbk;
  if (code_page == CP_UTF8) return Page::utf8;
  return Page::unsupported;
}

std::u16string decode(Page page, std::string_view text) {
  std::u16string out(text.size(), u'\0');  // never more units than bytes
  Sink<char16_t> sink{out.data(), out.size()};
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  if (page == Page::gbk)
    decode_gbk(s, text.size(), sink);
  else
    decode_utf8(s, text.size(), sink);
  out.resize(sink.count);
  return out;
}

std::string encode(Page page, std::u16string_view wide) {
  std::string out(wide.size() * 3, '\0');  // never more than 3 bytes a unit
  Sink<char> sink{out.data(), out.size()};
  bool used = false;
  if (page == Page::gbk)
    encode_gbk(wide.data(), wide.size(), "?", used, sink);
  else
    encode_utf8(wide.data(), wide.size(), sink);
  out.resize(sink.count);
  return out;
}

std::string up_to_zero(std::string s) {
  const std::size_t zero = s.find('\0');
  if (zero != std::string::npos) s.resize(zero);
  return s;
}

}  // namespace

int MultiByteToWideChar(unsigned code_page, std::uint32_t /*flags*/, const char* src, int src_len, char16_t* dst,
                        int dst_len) {
  const Page page = page_of(code_page);
  if (page == Page::unsupported || !src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst))
    return 0;
  const std::size_t n = src_len == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(src_len);
  Sink<char16_t> sink{dst_len > 0 ? dst : nullptr, static_cast<std::size_t>(dst_len)};
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  if (page == Page::gbk)
    decode_gbk(s, n, sink);
  else
    decode_utf8(s, n, sink);
  if (dst_len > 0 && sink.count > static_cast<std::size_t>(dst_len)) return 0;  // buffer too small
  return static_cast<int>(sink.count);
}

int WideCharToMultiByte(unsigned code_page, std::uint32_t /*flags*/, const char16_t* src, int src_len, char* dst,
                        int dst_len, const char* default_char, bool* used_default_char) {
  const Page page = page_of(code_page);
  if (page == Page::unsupported || !src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst))
    return 0;
  // As on Windows, UTF-8 has no default character to offer.
  if (page == Page::utf8 && (default_char || used_default_char)) return 0;
  std::size_t n;
  if (src_len == -1) {
    n = 0;
    while (src[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<std::size_t>(src_len);
  }
  Sink<char> sink{dst_len > 0 ? dst : nullptr, static_cast<std::size_t>(dst_len)};
  if (page == Page::gbk) {
    std::string_view fallback = "?";
    if (default_char && default_char[0] != 0)
      fallback = std::string_view(default_char, default_char[1] != 0 ? 2 : 1);  // one (double-byte) character
    bool used = false;
    encode_gbk(src, n, fallback, used, sink);
    if (used_default_char) *used_default_char = used;
  } else {
    encode_utf8(src, n, sink);
  }
  if (dst_len > 0 && sink.count > static_cast<std::size_t>(dst_len)) return 0;
  return static_cast<int>(sink.count);
}

std::u16string ansi_to_wide(std::string_view text) { return decode(Page::gbk, text); }

Text wide_to_ansi(std::u16string_view wide) { return up_to_zero(encode(Page::gbk, wide)); }

std::string gbk_to_utf8_edge(std::string_view text) { return encode(Page::utf8, decode(Page::gbk, text)); }

Text utf8_to_gbk_edge(std::string_view utf8) { return up_to_zero(encode(Page::gbk, decode(Page::utf8, utf8))); }

Text gbk_literal(std::string_view utf8) { return utf8_to_gbk_edge(utf8); }

}  // namespace ck::platform
