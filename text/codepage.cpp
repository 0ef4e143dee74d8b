#include "text/codepage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "platform/adodb_stream.h"
#include "platform/codepage.h"
#include "platform/com.h"

namespace ck {
namespace {

using platform::AdodbStream;

// A charset name crosses the automation interface as a COM string.
std::u16string com_string(std::string_view text) { return platform::ansi_to_wide(text); }

Bytes to_bytes(std::u16string_view units) {
  Bytes out(units.size() * 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    out[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
  return out;
}

std::u16string to_units(const Bytes& bytes, std::size_t count) {
  std::u16string out(count, u'\0');
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return out;
}

// Text ends at its first zero byte.
Text up_to_zero(std::string s) {
  const std::size_t zero = s.find('\0');
  if (zero != std::string::npos) s.resize(zero);
  return s;
}

// MultiByteToWideChar over the whole text plus its terminating zero, which
// converts to the zero unit in every code page. Each byte gives at most one
// unit, so the text's length bounds the buffer and no size query is needed.
Bytes to_utf16_with_terminator(std::string_view text, unsigned code_page) {
  if (text.size() >= static_cast<std::size_t>(INT_MAX)) return Bytes{0, 0};
  std::u16string units(text.size() + 1, u'\0');
  int n = 0;
  if (!text.empty()) {
    n = platform::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), units.data(),
                                      static_cast<int>(units.size()));
    if (n <= 0) return Bytes{0, 0};  // a failed conversion (unknown code page) is the empty text
  }
  units[static_cast<std::size_t>(n)] = u'\0';
  units.resize(static_cast<std::size_t>(n) + 1);
  return to_bytes(units);
}

// WideCharToMultiByte of `count` units; each unit gives at most three bytes.
Text from_utf16(const Bytes& utf16, std::size_t count, unsigned code_page, std::uint32_t flags) {
  if (count == 0 || count > static_cast<std::size_t>(INT_MAX / 3)) return {};
  const std::u16string units = to_units(utf16, count);
  std::string out(count * 3, '\0');
  const int n = platform::WideCharToMultiByte(code_page, flags, units.data(), static_cast<int>(count), out.data(),
                                              static_cast<int>(out.size()), nullptr, nullptr);
  if (n <= 0) return {};
  out.resize(static_cast<std::size_t>(n));
  return up_to_zero(std::move(out));
}

// utf16_to_multibyte(multibyte_to_utf16(text, from), to), in pieces small
// enough to stay in the cache instead of two whole-size UTF-16 copies. A piece
// ends right after a byte below 0x80: in GBK and UTF-8 alike the next byte
// then starts a character, so cutting there changes nothing. The result
// stops where the UTF-16 form has its first zero unit, i.e. at the first zero
// byte of the text.
Text transcode(std::string_view text, unsigned from, unsigned to) {
  constexpr std::size_t kPiece = 16 * 1024;
  const void* zero = text.empty() ? nullptr : std::memchr(text.data(), 0, text.size());
  if (zero) text = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()));
  if (text.size() >= static_cast<std::size_t>(INT_MAX / 3)) return {};
  Text out;
  out.reserve(text.size() + text.size() / 2);
  std::u16string wide(kPiece, u'\0');
  std::string bytes(kPiece * 3, '\0');
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = std::min(text.size(), pos + kPiece);
    if (end < text.size()) {
      std::size_t cut = end;
      while (cut > pos && static_cast<unsigned char>(text[cut - 1]) >= 0x80) --cut;
      if (cut > pos) {
        end = cut;
      } else {
        // A long run without ASCII: convert up to the next ASCII byte at once.
        while (end < text.size() && static_cast<unsigned char>(text[end - 1]) >= 0x80) ++end;
        wide.resize(std::max(wide.size(), end - pos));
        bytes.resize(std::max(bytes.size(), (end - pos) * 3));
      }
    }
    const int len = static_cast<int>(end - pos);
    const int units =
        platform::MultiByteToWideChar(from, 0, text.data() + pos, len, wide.data(), static_cast<int>(wide.size()));
    if (units <= 0) return {};
    const int n = platform::WideCharToMultiByte(to, 0, wide.data(), units, bytes.data(),
                                                static_cast<int>(bytes.size()), nullptr, nullptr);
    if (n <= 0) return {};
    out.append(bytes.data(), static_cast<std::size_t>(n));
    pos = end;
  }
  return out;
}

}  // namespace

Bytes convert_charset(const Bytes& bytes, std::string_view from_charset, std::string_view to_charset,
                      std::optional<long> skip_bytes) {
  const std::u16string from = com_string(from_charset.empty() ? "UTF-8" : from_charset);
  const std::u16string to = com_string(to_charset.empty() ? "GBK" : to_charset);
  platform::ComScope com;
  Bytes out;
  {
    const std::shared_ptr<AdodbStream> stream = platform::create_object<AdodbStream>();
    if (!stream) return {};
    // A failing step is not reported; the steps after it still run, as they
    // would through the automation interface.
    stream->set_type(AdodbStream::kTypeBinary);
    stream->open();
    stream->write(bytes);
    stream->set_position(0);
    stream->set_type(AdodbStream::kTypeText);
    stream->set_charset(from);
    // The automation interface hands the COM string back as ANSI text, so a
    // character GBK cannot hold becomes "?" and the text ends at a zero.
    const Text text = platform::wide_to_ansi(stream->read_text().value_or(std::u16string()));
    stream->close();
    stream->open();
    stream->set_charset(to);
    stream->write_text(platform::ansi_to_wide(text));
    stream->set_position(0);
    stream->set_type(AdodbStream::kTypeBinary);
    if (skip_bytes) {
      // Skipping at least the whole output leaves nothing; the object itself
      // would refuse the position and read everything from 0.
      if (*skip_bytes >= stream->size()) return {};
      stream->set_position(*skip_bytes);
    }
    out = stream->read().value_or(Bytes());
  }
  return out;
}

Bytes gbk_to_utf16(std::string_view text, bool drop_terminator) {
  if (text.empty()) return {};
  Bytes out = to_utf16_with_terminator(text, platform::CP_GBK);
  if (drop_terminator) out.resize(out.size() - 2);
  return out;
}

Text utf16_to_gbk(const Bytes& utf16) {
  return from_utf16(utf16, utf16.size() / 2, platform::CP_GBK, platform::WC_COMPOSITECHECK);
}

Bytes multibyte_to_utf16(std::string_view text, int code_page) {
  if (code_page < 0) return Bytes{0, 0};
  return to_utf16_with_terminator(text, static_cast<unsigned>(code_page));
}

Text utf16_to_multibyte(const Bytes& utf16, int code_page) {
  if (code_page < 0) return {};
  // Up to and including the first zero unit, or all units when there is none.
  const std::size_t units = utf16.size() / 2;
  std::size_t count = units;
  for (std::size_t i = 0; i < units; ++i)
    if (utf16[2 * i] == 0 && utf16[2 * i + 1] == 0) {
      count = i + 1;
      break;
    }
  return from_utf16(utf16, count, static_cast<unsigned>(code_page), 0);
}

Text gbk_to_utf8(std::string_view text) { return transcode(text, platform::CP_GBK, platform::CP_UTF8); }

Text utf8_to_gbk(std::string_view text) { return transcode(text, platform::CP_UTF8, platform::CP_GBK); }

}  // namespace ck
