#include "text/cut.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "text/literals.h"

namespace ck {
namespace {

using Size = std::size_t;
constexpr Size npos = std::string_view::npos;

bool high(unsigned char c) { return c >= 0x80; }

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c; }

bool equal_at(std::string_view hay, Size at, std::string_view needle, bool ignore_case) {
  if (!ignore_case) return std::memcmp(hay.data() + at, needle.data(), needle.size()) == 0;
  for (Size k = 0; k < needle.size(); ++k)
    if (fold(static_cast<unsigned char>(hay[at + k])) != fold(static_cast<unsigned char>(needle[k]))) return false;
  return true;
}

// Walks the candidate positions of the search rule (one byte on, two after a
// byte of 0x80 or above) from a start, finding successive matches.
//
// Walking byte by byte is too slow for bodies of megabytes, so the exact
// search jumps to the next byte-exact occurrence with memmem and then decides
// whether the walk would stand there. That depends only on the bytes since
// the last place the walk is known to stand (`known_`): the position after
// any byte below 0x80 is always a stop (the byte is either stepped over as
// one, or it was the second of a pair), so only the run of high bytes
// directly before the candidate counts, and the walk stops on it iff the run
// has even length. Each byte is looked at backwards at most once.
class Walker {
 public:
  Walker(std::string_view hay, std::string_view needle, Size start, bool ignore_case)
      : hay_(hay), needle_(needle), ignore_case_(ignore_case), known_(start) {}

  // The first match at a stop at or after `from` (>= the last stop known), 0-based.
  Size next(Size from) {
    const Size n = hay_.size(), m = needle_.size();
    if (ignore_case_) {
      // Case folding is for short header texts: the plain walk is enough.
      Size i = known_;
      while (i < from) i += high(static_cast<unsigned char>(hay_[i])) ? 2 : 1;
      for (; i + m <= n; i += high(static_cast<unsigned char>(hay_[i])) ? 2 : 1)
        if (equal_at(hay_, i, needle_, true)) {
          known_ = i;
          return i;
        }
      return npos;
    }
    while (from + m <= n) {
      const void* hit = memmem(hay_.data() + from, n - from, needle_.data(), m);
      if (!hit) return npos;
      const Size c = static_cast<Size>(static_cast<const char*>(hit) - hay_.data());
      Size j = c;
      while (j > known_ && high(static_cast<unsigned char>(hay_[j - 1]))) --j;
      const bool stop = (c - j) % 2 == 0;
      known_ = stop ? c : c + 1;  // a second byte is followed by a stop
      if (stop) return c;
      from = c + 1;
    }
    return npos;
  }

 private:
  std::string_view hay_, needle_;
  bool ignore_case_;
  Size known_;  // a position the walk stands on, 0-based
};

// 0-based; `start` is 0-based and already clamped to >= 0.
Size find0(std::string_view hay, std::string_view needle, Size start, bool ignore_case) {
  if (start >= hay.size()) return npos;
  if (needle.empty()) return 0;  // found at position 1 whenever the range is not empty
  Walker w(hay, needle, start, ignore_case);
  return w.next(start);
}

}  // namespace

int find_text(std::string_view haystack, std::string_view needle, int start, bool ignore_case) {
  const Size s = start < 1 ? 0 : static_cast<Size>(start) - 1;
  const Size at = find0(haystack, needle, s, ignore_case);
  return at == npos ? -1 : static_cast<int>(at + 1);
}

int find_text_last(std::string_view haystack, std::string_view needle, std::optional<int> limit, bool ignore_case) {
  // The match must lie wholly within the first (limit - 1) bytes.
  Size range = haystack.size();
  if (limit) range = *limit <= 1 ? 0 : std::min(range, static_cast<Size>(*limit) - 1);
  if (range == 0) return -1;
  if (needle.empty()) return 1;
  const std::string_view within = haystack.substr(0, range);
  Walker w(within, needle, 0, ignore_case);
  Size last = npos;
  for (Size at = w.next(0); at != npos; at = w.next(at + 1)) last = at;
  return last == npos ? -1 : static_cast<int>(last + 1);
}

bool contains_text(std::string_view haystack, std::string_view needle, bool ignore_case) {
  return find0(haystack, needle, 0, ignore_case) != npos;
}

Text text_between(std::string_view text, std::string_view left, std::string_view right, int start, bool ignore_case) {
  if (text.empty()) return {};
  const Text& placeholder = literals::quote_placeholder();
  const Text l = replace_text(left, placeholder, "\"");
  const Text r = replace_text(right, placeholder, "\"");
  const int p = find_text(text, l, start, ignore_case);
  if (p == -1) return {};
  const Size c = static_cast<Size>(p) + l.size();  // 1-based, first byte after the left marker
  if (c > static_cast<Size>(std::numeric_limits<int>::max())) return {};
  const int d = find_text(text, r, static_cast<int>(c), ignore_case);
  if (d == -1 || static_cast<Size>(d) <= c) return {};
  return Text(text.substr(c - 1, static_cast<Size>(d) - c));
}

Text text_before(std::string_view text, std::string_view marker, int start, bool ignore_case) {
  const int p = find_text(text, marker, start > 0 ? start : 1, ignore_case);
  if (p == -1) return {};
  return Text(text.substr(0, static_cast<Size>(p) - 1));
}

Text text_after_last(std::string_view text, std::string_view marker, std::optional<int> start, bool ignore_case) {
  const int p = find_text_last(text, marker, start, ignore_case);
  if (p == -1) return {};
  return Text(text.substr(static_cast<Size>(p) - 1 + marker.size()));
}

Text replace_text(std::string_view text, std::string_view from, std::string_view to, bool ignore_case) {
  if (from.empty() || text.size() < from.size()) return Text(text);
  Text out;
  Size done = 0;  // copied up to here
  for (;;) {
    // Each search starts afresh after what was replaced, as the next search
    // of the runtime's replace loop would.
    const Size at = find0(text, from, done, ignore_case);
    if (at == npos) break;
    out.append(text.substr(done, at - done));
    out.append(to);
    done = at + from.size();
  }
  out.append(text.substr(done));
  return out;
}

std::vector<Text> split_text(std::string_view text, std::string_view separator) {
  std::vector<Text> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  Size begin = 0;
  while (begin < text.size()) {
    const Size at = find0(text, separator, begin, false);
    if (at == npos) {
      pieces.emplace_back(text.substr(begin));
      break;
    }
    pieces.emplace_back(text.substr(begin, at - begin));
    begin = at + separator.size();
  }
  return pieces;
}

namespace {

// Length of the space character at i (0 when none): 0x20, or A1 A1 standing
// at a character start.
Size space_at(std::string_view t, Size i) {
  if (t[i] == ' ') return 1;
  if (static_cast<unsigned char>(t[i]) == 0xA1 && i + 1 < t.size() && static_cast<unsigned char>(t[i + 1]) == 0xA1)
    return 2;
  return 0;
}

Size char_len(std::string_view t, Size i) { return high(static_cast<unsigned char>(t[i])) && i + 1 < t.size() ? 2 : 1; }

}  // namespace

Text trim_spaces(std::string_view text) {
  // Walk by characters, so that A1 A1 inside "B0 A1 A1 .." is not taken for
  // a full-width space.
  Size first = npos, end = 0;
  for (Size i = 0; i < text.size();) {
    const Size sp = space_at(text, i);
    const Size len = sp ? sp : char_len(text, i);
    if (!sp) {
      if (first == npos) first = i;
      end = i + len;
    }
    i += len;
  }
  if (first == npos) return {};
  return Text(text.substr(first, end - first));
}

Text remove_spaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (Size i = 0; i < text.size();) {
    const Size sp = space_at(text, i);
    if (sp) {
      i += sp;
      continue;
    }
    const Size len = char_len(text, i);
    out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

}  // namespace ck
