// The regular-expression class (ProgID "VBScript.RegExp"), backed by PCRE2.
//
// Case-insensitive by default (Multiline and Global are off); "^" and "$"
// match at line breaks (CR, LF or CR LF) when Multiline is on; "." never
// matches CR or LF; FirstIndex counts UTF-16 units of the subject. Strings are
// COM strings (UTF-16). A failing call returns an empty value and changes
// nothing. A pattern that needs more than a fixed amount of backtracking at
// one start position fails as an invalid one would, so no pattern can hang.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"

namespace ck::platform {

class SubMatches : public ComObject {
 public:
  static constexpr std::string_view kProgId = "VBScript.SubMatches";
  explicit SubMatches(std::vector<std::u16string> groups);
  long count() const;
  std::optional<std::u16string> item(long index) const;  // empty for an index out of range

 private:
  std::vector<std::u16string> groups_;
};

class Match : public ComObject {
 public:
  static constexpr std::string_view kProgId = "VBScript.Match";
  Match(std::u16string value, long first_index, std::shared_ptr<SubMatches> submatches);
  const std::u16string& value() const;
  long first_index() const;
  std::shared_ptr<SubMatches> submatches() const;

 private:
  std::u16string value_;
  long first_index_;
  std::shared_ptr<SubMatches> submatches_;
};

class MatchCollection : public ComObject {
 public:
  static constexpr std::string_view kProgId = "VBScript.MatchCollection";
  explicit MatchCollection(std::vector<std::shared_ptr<Match>> matches);
  long count() const;
  std::shared_ptr<Match> item(long index) const;  // nullptr for an index out of range

 private:
  std::vector<std::shared_ptr<Match>> matches_;
};

class RegExp : public ComObject {
 public:
  static constexpr std::string_view kProgId = "VBScript.RegExp";

  RegExp();
  ~RegExp() override;

  // Properties by name, as the automation interface writes them:
  // "IgnoreCase", "Multiline", "Global" (compared ignoring ASCII case).
  // Any other name fails and changes nothing.
  bool put_property(std::string_view name, bool value);

  bool ignore_case() const;
  bool multiline() const;
  bool global() const;
  void set_pattern(std::u16string pattern);
  const std::u16string& pattern() const;

  // nullptr when the pattern is invalid or exceeds the backtracking limit.
  std::shared_ptr<MatchCollection> execute(std::u16string_view subject);
  // "$1".."$9", "$&" and "$$" in the replacement; empty optional when the
  // pattern is invalid.
  std::optional<std::u16string> replace(std::u16string_view subject, std::u16string_view replacement);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ck::platform
