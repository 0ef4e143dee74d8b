#include "platform/adodb_stream.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

#include "platform/codepage.h"

namespace ck::platform {
namespace {

enum class Kind { utf16le, utf16be, utf8, cp936, iconv };

struct Charset {
  std::string_view name;
  Kind kind;
  const char* iconv_name;  // for Kind::iconv
  std::string_view bom;    // skipped by read_text at position 0
};

constexpr std::string_view kBomUtf16le = "\xFF\xFE";
constexpr std::string_view kBomUtf16be = "\xFE\xFF";
constexpr std::string_view kBomUtf8 = "\xEF\xBB\xBF";
constexpr std::string_view kBomGb18030 = "\x84\x31\x95\x33";

constexpr std::array<Charset, 14> kCharsets = {{
    {"Unicode", Kind::utf16le, nullptr, kBomUtf16le},
    {"UTF-16", Kind::utf16le, nullptr, kBomUtf16le},
    {"UTF-16LE", Kind::utf16le, nullptr, kBomUtf16le},
    {"UTF-16BE", Kind::utf16be, nullptr, kBomUtf16be},
    {"UTF-8", Kind::utf8, nullptr, kBomUtf8},
    {"GBK", Kind::cp936, nullptr, {}},
    {"gb2312", Kind::cp936, nullptr, {}},  // Windows reads gb2312 as code page 936 too
    {"cp936", Kind::cp936, nullptr, {}},
    {"GB18030", Kind::iconv, "GB18030", kBomGb18030},
    {"Big5", Kind::iconv, "CP950", {}},
    {"ISO-8859-1", Kind::iconv, "ISO-8859-1", {}},
    {"windows-1252", Kind::iconv, "CP1252", {}},
    {"us-ascii", Kind::iconv, "ASCII", {}},
    {"ascii", Kind::iconv, "ASCII", {}},
}};

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

const Charset* find_charset(std::u16string_view name) {
  for (const Charset& cs : kCharsets) {
    if (cs.name.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i)
      same = lower(name[i]) == lower(static_cast<char16_t>(static_cast<unsigned char>(cs.name[i])));
    if (same) return &cs;
  }
  return nullptr;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Runs iconv over the whole input. `on_bad` is called for an invalid or
// incomplete sequence at the input pointer and returns how many input bytes
// to step over (after appending its own replacement to `out`).
template <class OnBad>
bool run_iconv(iconv_t cd, std::string_view in, std::string& out, OnBad on_bad) {
  char* ip = const_cast<char*>(in.data());
  std::size_t il = in.size();
  char buf[4096];
  while (il > 0) {
    char* op = buf;
    std::size_t ol = sizeof buf;
    const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf, static_cast<std::size_t>(op - buf));
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (errno != EILSEQ && errno != EINVAL) return false;
    const std::size_t step = std::min(il, on_bad(std::string_view(ip, il)));
    ip += step;
    il -= step;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* op = buf;
  std::size_t ol = sizeof buf;
  iconv(cd, nullptr, nullptr, &op, &ol);  // flush a shift state
  out.append(buf, static_cast<std::size_t>(op - buf));
  return true;
}

std::u16string from_utf16le_bytes(std::string_view b, bool big_endian) {
  std::u16string out;
  out.reserve(b.size() / 2 + 1);
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    const auto a = static_cast<unsigned char>(b[i]), c = static_cast<unsigned char>(b[i + 1]);
    out += static_cast<char16_t>(big_endian ? (a << 8 | c) : (c << 8 | a));
  }
  if (b.size() % 2) out += u'\uFFFD';
  return out;
}

std::string to_utf16_bytes(std::u16string_view text, bool big_endian) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t u : text) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  return out;
}

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

std::optional<std::u16string> decode(const Charset& cs, std::string_view bytes) {
  if (bytes.empty()) return std::u16string();
  switch (cs.kind) {
    case Kind::utf16le:
    case Kind::utf16be:
      return from_utf16le_bytes(bytes, cs.kind == Kind::utf16be);
    case Kind::utf8:
    case Kind::cp936: {
      if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
      const unsigned cp = cs.kind == Kind::utf8 ? CP_UTF8 : CP_GBK;
      const int len = static_cast<int>(bytes.size());
      std::u16string out(bytes.size(), u'\0');  // never more units than bytes
      const int n = MultiByteToWideChar(cp, 0, bytes.data(), len, out.data(), len);
      if (n <= 0) return std::nullopt;
      out.resize(static_cast<std::size_t>(n));
      return out;
    }
    case Kind::iconv: {
      Iconv cd("UTF-16LE", cs.iconv_name);
      if (!cd.ok()) return std::nullopt;
      std::string wide;
      const bool ok = run_iconv(cd.get(), bytes, wide, [&wide](std::string_view) {
        wide.append("\xFD\xFF", 2);  // U+FFFD, one byte at a time
        return std::size_t{1};
      });
      if (!ok) return std::nullopt;
      return from_utf16le_bytes(wide, false);
    }
  }
  return std::nullopt;
}

std::optional<std::string> encode(const Charset& cs, std::u16string_view text) {
  if (text.empty()) return std::string();
  switch (cs.kind) {
    case Kind::utf16le:
    case Kind::utf16be:
      return to_utf16_bytes(text, cs.kind == Kind::utf16be);
    case Kind::utf8:
    case Kind::cp936: {
      if (text.size() > static_cast<std::size_t>(INT_MAX / 3)) return std::nullopt;
      const unsigned cp = cs.kind == Kind::utf8 ? CP_UTF8 : CP_GBK;
      const int len = static_cast<int>(text.size());
      std::string out(text.size() * 3, '\0');  // never more than three bytes a unit
      const int n = WideCharToMultiByte(cp, 0, text.data(), len, out.data(), static_cast<int>(out.size()), nullptr,
                                        nullptr);
      if (n <= 0) return std::nullopt;
      out.resize(static_cast<std::size_t>(n));
      return out;
    }
    case Kind::iconv: {
      Iconv cd(cs.iconv_name, "UTF-16LE");
      if (!cd.ok()) return std::nullopt;
      const std::string wide = to_utf16_bytes(text, false);
      std::string out;
      const bool ok = run_iconv(cd.get(), wide, out, [&out](std::string_view rest) {
        // Not representable (or an unpaired surrogate): "?" for the character.
        out += '?';
        if (rest.size() >= 4) {
          const auto u = static_cast<char16_t>(static_cast<unsigned char>(rest[0]) |
                                               static_cast<unsigned char>(rest[1]) << 8);
          const auto v = static_cast<char16_t>(static_cast<unsigned char>(rest[2]) |
                                               static_cast<unsigned char>(rest[3]) << 8);
          if (is_high(u) && is_low(v)) return std::size_t{4};
        }
        return std::size_t{2};
      });
      if (!ok) return std::nullopt;
      return out;
    }
  }
  return std::nullopt;
}

const Charset& default_charset() { return kCharsets[0]; }

}  // namespace

struct AdodbStream::State {
  bool open = false;
  long type = kTypeText;
  long mode = 0;
  std::size_t position = 0;
  Bytes data;
  const Charset* charset = &default_charset();
  std::u16string charset_name = u"Unicode";

  bool can_read() const { return (mode & 3) != 2; }
  bool can_write() const { return (mode & 3) != 1; }

  void put(std::string_view bytes) {
    const std::size_t end = position + bytes.size();
    if (end > data.size()) data.resize(end);
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(position));
    position = end;
  }
  std::string_view rest() const {
    return std::string_view(reinterpret_cast<const char*>(data.data()) + position, data.size() - position);
  }
};

AdodbStream::AdodbStream() : state_(std::make_unique<State>()) {}
AdodbStream::~AdodbStream() = default;

bool AdodbStream::set_type(long type) {
  if (type != kTypeBinary && type != kTypeText) return false;
  if (state_->open && state_->position != 0) return false;
  state_->type = type;
  return true;
}

long AdodbStream::type() const { return state_->type; }

bool AdodbStream::set_mode(long mode) {
  if (state_->open || mode < 0 || (mode & ~(3L | 4L | 8L | 16L)) != 0) return false;
  state_->mode = mode;
  return true;
}

long AdodbStream::mode() const { return state_->mode; }

bool AdodbStream::set_position(long position) {
  if (!state_->open || position < 0 || static_cast<std::size_t>(position) > state_->data.size()) return false;
  state_->position = static_cast<std::size_t>(position);
  return true;
}

long AdodbStream::position() const { return state_->open ? static_cast<long>(state_->position) : 0; }

long AdodbStream::size() const { return state_->open ? static_cast<long>(state_->data.size()) : 0; }

bool AdodbStream::set_charset(std::u16string_view name) {
  const Charset* cs = find_charset(name);
  if (!cs || (state_->open && state_->position != 0)) return false;
  state_->charset = cs;
  state_->charset_name = std::u16string(name);
  return true;
}

std::u16string AdodbStream::charset() const { return state_->charset_name; }

bool AdodbStream::open() {
  if (state_->open) return false;
  state_->open = true;
  state_->data.clear();
  state_->position = 0;
  return true;
}

bool AdodbStream::close() {
  if (!state_->open) return false;
  state_->open = false;
  state_->data = Bytes();
  state_->position = 0;
  return true;
}

bool AdodbStream::write(const Bytes& bytes) {
  State& s = *state_;
  if (!s.open || s.type != kTypeBinary || !s.can_write()) return false;
  s.put(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return true;
}

bool AdodbStream::write_text(std::u16string_view text) {
  State& s = *state_;
  if (!s.open || s.type != kTypeText || !s.can_write()) return false;
  const std::optional<std::string> bytes = encode(*s.charset, text);
  if (!bytes) return false;
  s.put(*bytes);
  return true;
}

std::optional<std::u16string> AdodbStream::read_text() {
  State& s = *state_;
  if (!s.open || s.type != kTypeText || !s.can_read()) return std::nullopt;
  std::string_view rest = s.rest();
  if (s.position == 0 && !s.charset->bom.empty() && rest.substr(0, s.charset->bom.size()) == s.charset->bom)
    rest.remove_prefix(s.charset->bom.size());
  std::optional<std::u16string> text = decode(*s.charset, rest);
  if (!text) return std::nullopt;
  s.position = s.data.size();
  return text;
}

std::optional<Bytes> AdodbStream::read() {
  State& s = *state_;
  if (!s.open || s.type != kTypeBinary || !s.can_read()) return std::nullopt;
  Bytes out(s.data.begin() + static_cast<std::ptrdiff_t>(s.position), s.data.end());
  s.position = s.data.size();
  return out;
}

}  // namespace ck::platform
