// Any pattern over any subject: the object never aborts, positions stay in
// the subject, and COM stays balanced.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "platform/com.h"
#include "text/regex_matcher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto p = ck::fuzz::pieces(data, size, 3);
  const std::string pattern = ck::fuzz::as_text(p[0]);
  const std::string subject = ck::fuzz::as_text(p[1]);
  const std::uint8_t flags = p[2].empty() ? 0 : static_cast<std::uint8_t>(p[2][0]);
  const int depth = ck::platform::com_init_depth();
  {
    ck::RegexMatcher matcher;
    matcher.execute(pattern, subject,
                    {.case_sensitive = bool(flags & 1), .multiline = bool(flags & 2), .global = bool(flags & 4),
                     .quote_placeholder = bool(flags & 8)});
    const int count = matcher.match_count();
    for (int m = 1; m <= count + 1 && m <= 4; ++m) {
      int position = -7;
      (void)matcher.match_text(m, &position);
      if (m <= count && (position < -2 || position > static_cast<int>(subject.size()))) std::abort();
      for (int s = 1; s <= 3; ++s) (void)matcher.submatch_text(m, s, &position);
    }
    (void)matcher.submatch_count();
    (void)matcher.replace(pattern);
    (void)matcher.pattern();
  }
  if (ck::platform::com_init_depth() != depth || ck::platform::ComObject::live_count() != 0) std::abort();
  return 0;
}
