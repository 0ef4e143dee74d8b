// Header-name normalisation: every kept line has a ":", and normalising twice
// changes nothing more.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "text/cut.h"
#include "web/headers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = ck::fuzz::as_text(std::string(reinterpret_cast<const char*>(data), size));
  const ck::Text once = ck::normalize_header_names(text);
  for (const auto& line : ck::split_text(once, "\r\n"))
    if (line.find(':') == std::string::npos) std::abort();
  if (ck::normalize_header_names(once) != once) std::abort();
  (void)ck::header_name(text);
  (void)ck::header_value(text);
  (void)ck::capitalize_first(text);
  return 0;
}
