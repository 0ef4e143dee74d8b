// The system's regular-expression object: runs a pattern over a GBK subject
// through the platform's regular-expression class, and reads matches and
// groups back, with byte positions in the GBK subject. COM is initialised for
// the object's lifetime.
//
// Positions are 0-based byte positions in the GBK subject. The match's start
// (counted by the class in UTF-16 units) is turned into its byte offset, and
// the match's or group's text is searched for from there with the text search
// rule (ignoring case when the run did), so a group is reported at its first
// occurrence inside the match. An empty match or group is reported at the
// match's start. -1 when the text cannot be found again.
//
// A copy shares the class objects of the original and calls CoInitialize
// itself, so that its own destruction (CoUninitialize) keeps the thread's
// count balanced whichever object goes first.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/regexp.h"
#include "platform/types.h"

namespace ck {

struct ExecuteOptions {
  bool case_sensitive = false;
  bool multiline = true;
  bool global = true;
  bool quote_placeholder = false;  // "#引号" in the pattern stands for a double quote
};

class RegexMatcher {
 public:
  RegexMatcher();  // CoInitialize
  virtual ~RegexMatcher();  // CoUninitialize
  RegexMatcher& operator=(const RegexMatcher&) = delete;

  // Virtual operations, in slot order after destruction.
  virtual std::unique_ptr<RegexMatcher> copy() const;
  // True when the pattern ran (with or without a match); false when the class
  // cannot be created or the pattern is invalid.
  virtual bool execute(std::string_view expression, std::string_view subject, const ExecuteOptions& options = {});
  virtual Text pattern() const;
  virtual Text replace(std::string_view replacement) const;
  virtual int match_count() const;
  // Match and group numbers count from 1; "" (and `position` untouched) for a
  // number out of range or before any execute.
  virtual Text match_text(int match, int* position = nullptr) const;
  virtual Text submatch_text(int match, int submatch, int* position = nullptr) const;
  virtual int submatch_count() const;

 protected:
  RegexMatcher(const RegexMatcher& other);  // CoInitialize, shares the class objects

 private:
  std::shared_ptr<platform::MatchCollection> matches_;
  std::shared_ptr<platform::RegExp> regex_;
  std::u16string subject_;  // the subject as the class saw it
  Text subject_text_;       // the same subject as the caller gave it, for positions

  int position_of(const platform::Match& match, const Text& text) const;
};

}  // namespace ck
