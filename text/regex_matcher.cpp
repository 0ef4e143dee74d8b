#include "text/regex_matcher.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/com.h"
#include "text/cut.h"
#include "text/literals.h"

namespace ck {

RegexMatcher::RegexMatcher() { platform::CoInitialize(nullptr); }

RegexMatcher::RegexMatcher(const RegexMatcher& other)
    : matches_(other.matches_), regex_(other.regex_), subject_(other.subject_), subject_text_(other.subject_text_) {
  platform::CoInitialize(nullptr);
}

RegexMatcher::~RegexMatcher() {
  // The class objects go before COM does.
  matches_.reset();
  regex_.reset();
  platform::CoUninitialize();
}

std::unique_ptr<RegexMatcher> RegexMatcher::copy() const { return std::unique_ptr<RegexMatcher>(new RegexMatcher(*this)); }

bool RegexMatcher::execute(std::string_view expression, std::string_view subject, const ExecuteOptions& options) {
  matches_.reset();
  regex_.reset();
  regex_ = platform::create_object<platform::RegExp>();
  if (regex_) {
    regex_->put_property("IgnoreCase", !options.case_sensitive);
    regex_->put_property("Multiline", options.multiline);
    // The class has no such property; the write is refused and changes nothing.
    regex_->put_property("Singleline", true);
    regex_->put_property("Global", options.global);
    const Text pattern =
        options.quote_placeholder ? replace_text(expression, literals::quote_placeholder(), "\"") : Text(expression);
    regex_->set_pattern(platform::ansi_to_wide(pattern));
  }
  subject_ = platform::ansi_to_wide(subject);
  subject_text_ = Text(subject);
  if (regex_) matches_ = regex_->execute(subject_);
  return matches_ != nullptr;
}

Text RegexMatcher::pattern() const { return regex_ ? platform::wide_to_ansi(regex_->pattern()) : Text(); }

Text RegexMatcher::replace(std::string_view replacement) const {
  if (!regex_) return {};
  auto replaced = regex_->replace(subject_, platform::ansi_to_wide(replacement));
  return replaced ? platform::wide_to_ansi(*replaced) : Text();
}

int RegexMatcher::match_count() const { return matches_ ? static_cast<int>(matches_->count()) : 0; }

int RegexMatcher::submatch_count() const {
  if (!matches_) return 0;
  auto first = matches_->item(0);
  return first && first->submatches() ? static_cast<int>(first->submatches()->count()) : 0;
}

int RegexMatcher::position_of(const platform::Match& match, const Text& text) const {
  // The class counts UTF-16 units; the same prefix of the subject, as GBK,
  // gives the byte offset of the match's start, always on a character
  // boundary, so the search below steps through whole characters from there.
  const auto units = static_cast<std::size_t>(std::max(0L, match.first_index()));
  const std::size_t offset =
      std::min(platform::wide_to_ansi(std::u16string_view(subject_).substr(0, units)).size(), subject_text_.size());
  if (text.empty()) return static_cast<int>(offset);
  const bool ignore_case = regex_ && regex_->ignore_case();
  const int found = find_text(subject_text_, text, static_cast<int>(offset) + 1, ignore_case);
  return found > 0 ? found - 1 : -1;
}

Text RegexMatcher::match_text(int match, int* position) const {
  if (!matches_) return {};
  auto item = matches_->item(static_cast<long>(match) - 1);
  if (!item) return {};
  Text value = platform::wide_to_ansi(item->value());
  if (position) *position = position_of(*item, value);
  return value;
}

Text RegexMatcher::submatch_text(int match, int submatch, int* position) const {
  if (!matches_) return {};
  auto item = matches_->item(static_cast<long>(match) - 1);
  if (!item || !item->submatches()) return {};
  auto group = item->submatches()->item(static_cast<long>(submatch) - 1);
  if (!group) return {};
  Text value = platform::wide_to_ansi(*group);
  if (position) *position = position_of(*item, value);
  return value;
}

}  // namespace ck
