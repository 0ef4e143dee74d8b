// The system's regular-expression object: runs a pattern over a GBK subject
// through the platform's regular-expression class, and reads matches and
// groups back, with byte positions in the GBK subject. COM is initialised for
// the object's lifetime.
#pragma once

#include <memory>
#include <string>

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
  virtual bool execute(std::string_view expression, std::string_view subject, const ExecuteOptions& options = {});
  virtual Text pattern() const;
  virtual Text replace(std::string_view replacement) const;
  virtual int match_count() const;
  virtual Text match_text(int match, int* position = nullptr) const;
  virtual Text submatch_text(int match, int submatch, int* position = nullptr) const;
  virtual int submatch_count() const;

 protected:
  RegexMatcher(const RegexMatcher& other);

 private:
  std::shared_ptr<platform::RegExp> regex_;
  std::shared_ptr<platform::MatchCollection> matches_;
  std::u16string subject_;
};

}  // namespace ck
