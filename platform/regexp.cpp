#include "platform/regexp.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <functional>

namespace ck::platform {
namespace {

// Backtracking allowed at one start position before the run is given up as a
// failure. Ordinary patterns stay far below it; nested unlimited repeats reach
// it in milliseconds instead of running for minutes.
constexpr std::uint32_t kMatchLimit = 1'000'000;

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

PCRE2_SPTR units(std::u16string_view text) { return reinterpret_cast<PCRE2_SPTR>(text.data()); }

}  // namespace

SubMatches::SubMatches(std::vector<std::u16string> groups) : groups_(std::move(groups)) {}
long SubMatches::count() const { return static_cast<long>(groups_.size()); }
std::optional<std::u16string> SubMatches::item(long index) const {
  if (index < 0 || index >= count()) return std::nullopt;
  return groups_[static_cast<std::size_t>(index)];
}

Match::Match(std::u16string value, long first_index, std::shared_ptr<SubMatches> submatches)
    : value_(std::move(value)), first_index_(first_index), submatches_(std::move(submatches)) {}
const std::u16string& Match::value() const { return value_; }
long Match::first_index() const { return first_index_; }
std::shared_ptr<SubMatches> Match::submatches() const { return submatches_; }

MatchCollection::MatchCollection(std::vector<std::shared_ptr<Match>> matches) : matches_(std::move(matches)) {}
long MatchCollection::count() const { return static_cast<long>(matches_.size()); }
std::shared_ptr<Match> MatchCollection::item(long index) const {
  if (index < 0 || index >= count()) return nullptr;
  return matches_[static_cast<std::size_t>(index)];
}

struct RegExp::State {
  bool ignore_case = true;
  bool multiline = false;
  bool global = false;
  std::u16string pattern;

  // The compiled form of (pattern, ignore_case, multiline), kept until one of
  // them changes; `code` is null when that combination does not compile.
  bool compiled = false;
  std::u16string compiled_pattern;
  bool compiled_ignore_case = false;
  bool compiled_multiline = false;
  pcre2_code* code = nullptr;
  std::uint32_t capture_count = 0;

  ~State() { pcre2_code_free(code); }

  pcre2_code* compile() {
    if (compiled && compiled_pattern == pattern && compiled_ignore_case == ignore_case &&
        compiled_multiline == multiline)
      return code;
    pcre2_code_free(code);
    code = nullptr;
    capture_count = 0;
    compiled = true;
    compiled_pattern = pattern;
    compiled_ignore_case = ignore_case;
    compiled_multiline = multiline;

    // UTF so that a surrogate pair is one character and case folding covers
    // more than ASCII; invalid UTF-16 in a subject is then simply not matched.
    // ALT_BSUX gives the \uhhhh and \xhh escapes of the pattern language, and
    // DOLLAR_ENDONLY keeps "$" at the very end when Multiline is off.
    std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY |
                            PCRE2_NEVER_BACKSLASH_C;
    if (ignore_case) options |= PCRE2_CASELESS;
    if (multiline) options |= PCRE2_MULTILINE;
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    if (!context) return nullptr;
    // CR, LF and CR LF are line breaks, for "^", "$" and "." alike.
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    int error = 0;
    PCRE2_SIZE error_offset = 0;
    code = pcre2_compile(units(pattern), pattern.size(), options, &error, &error_offset, context);
    pcre2_compile_context_free(context);
    if (code) pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &capture_count);
    return code;
  }

  // Calls `on_match` with the offset vector of every match (only the first
  // unless `all`). False when the pattern does not compile or a run fails.
  bool for_each_match(std::u16string_view subject, bool all,
                      const std::function<void(const PCRE2_SIZE* ovector)>& on_match) {
    pcre2_code* re = compile();
    if (!re) return false;
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(re, nullptr);
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    bool ok = data && context;
    if (ok) {
      pcre2_set_match_limit(context, kMatchLimit);
      const PCRE2_SIZE length = subject.size();
      PCRE2_SIZE start = 0;
      std::uint32_t options = 0;
      for (;;) {
        const int rc = pcre2_match(re, units(subject), length, start, options, data, context);
        if (rc == PCRE2_ERROR_NOMATCH) {
          if (options == 0) break;
          // No non-empty match at the place of the last empty one: step over
          // one character (a CR LF pair or a surrogate pair counts as one).
          PCRE2_SIZE next = start + 1;
          if (next < length && subject[start] == u'\r' && subject[next] == u'\n') ++next;
          else if (next < length && subject[next] >= 0xDC00 && subject[next] <= 0xDFFF &&
                   subject[start] >= 0xD800 && subject[start] <= 0xDBFF)
            ++next;
          if (next > length) break;
          start = next;
          options = 0;
          continue;
        }
        if (rc < 0) {
          ok = false;
          break;
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        // \K in a lookahead can report a match that ends before it starts.
        if (ovector[1] < ovector[0]) {
          ok = false;
          break;
        }
        on_match(ovector);
        if (!all) break;
        start = ovector[1];
        options = 0;
        if (ovector[0] == ovector[1]) {
          if (ovector[0] == length) break;
          options = PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED;
        }
      }
    }
    pcre2_match_context_free(context);
    pcre2_match_data_free(data);
    return ok;
  }
};

RegExp::RegExp() : state_(std::make_unique<State>()) {}
RegExp::~RegExp() = default;

bool RegExp::put_property(std::string_view name, bool value) {
  if (same_name(name, "IgnoreCase")) state_->ignore_case = value;
  else if (same_name(name, "Multiline")) state_->multiline = value;
  else if (same_name(name, "Global")) state_->global = value;
  else return false;
  return true;
}

bool RegExp::ignore_case() const { return state_->ignore_case; }
bool RegExp::multiline() const { return state_->multiline; }
bool RegExp::global() const { return state_->global; }
void RegExp::set_pattern(std::u16string pattern) { state_->pattern = std::move(pattern); }
const std::u16string& RegExp::pattern() const { return state_->pattern; }

std::shared_ptr<MatchCollection> RegExp::execute(std::u16string_view subject) {
  std::vector<std::shared_ptr<Match>> found;
  const bool ok = state_->for_each_match(subject, state_->global, [&](const PCRE2_SIZE* ovector) {
    std::vector<std::u16string> groups;
    groups.reserve(state_->capture_count);
    for (std::uint32_t g = 1; g <= state_->capture_count; ++g) {
      const PCRE2_SIZE from = ovector[2 * g];
      const PCRE2_SIZE to = ovector[2 * g + 1];
      // A group that took no part in the match reads as "".
      groups.emplace_back(from == PCRE2_UNSET || to < from ? std::u16string() : std::u16string(subject.substr(from, to - from)));
    }
    found.push_back(std::make_shared<Match>(std::u16string(subject.substr(ovector[0], ovector[1] - ovector[0])),
                                            static_cast<long>(ovector[0]),
                                            std::make_shared<SubMatches>(std::move(groups))));
  });
  if (!ok) return nullptr;
  return std::make_shared<MatchCollection>(std::move(found));
}

std::optional<std::u16string> RegExp::replace(std::u16string_view subject, std::u16string_view replacement) {
  std::u16string out;
  PCRE2_SIZE copied = 0;  // subject units already in `out`
  const bool ok = state_->for_each_match(subject, state_->global, [&](const PCRE2_SIZE* ovector) {
    if (ovector[0] > copied) out.append(subject.substr(copied, ovector[0] - copied));
    auto group = [&](std::uint32_t g) {
      const PCRE2_SIZE from = ovector[2 * g];
      const PCRE2_SIZE to = ovector[2 * g + 1];
      if (from != PCRE2_UNSET && to >= from) out.append(subject.substr(from, to - from));
    };
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const char16_t c = replacement[i];
      if (c == u'$' && i + 1 < replacement.size()) {
        const char16_t next = replacement[i + 1];
        if (next == u'$') {
          out += u'$';
          ++i;
          continue;
        }
        if (next == u'&') {
          group(0);
          ++i;
          continue;
        }
        // "$1".."$9" name a group the pattern has; any other "$" is itself.
        if (next >= u'1' && next <= u'9' && static_cast<std::uint32_t>(next - u'0') <= state_->capture_count) {
          group(static_cast<std::uint32_t>(next - u'0'));
          ++i;
          continue;
        }
      }
      out += c;
    }
    copied = std::max(copied, ovector[1]);
  });
  if (!ok) return std::nullopt;
  out.append(subject.substr(copied));
  return out;
}

}  // namespace ck::platform
