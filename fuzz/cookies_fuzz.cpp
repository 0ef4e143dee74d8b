// Collecting and merging cookies from any header block and cookie string.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "text/cut.h"
#include "web/cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto p = ck::fuzz::pieces(data, size, 2);
  const std::string headers = ck::fuzz::as_text(p[0]);
  ck::Text existing = ck::fuzz::as_text(p[1]);

  const ck::Text incoming = ck::collect_set_cookies(headers);
  const ck::Text merged = ck::merge_cookies(&existing, incoming);
  if (merged != existing) std::abort();
  // Only an ASCII result splits back into its items byte for byte; a GBK lead
  // byte before "; " would swallow the separator under the search rule.
  bool ascii = true;
  for (unsigned char c : merged) ascii = ascii && c < 0x80;
  for (const auto& item : ascii ? ck::split_text(merged, "; ") : std::vector<ck::Text>{}) {
    if (item.size() >= 8 && item.compare(item.size() - 8, 8, "=deleted") == 0) std::abort();
  }
  (void)ck::remove_duplicate_items(headers, "; ");
  return 0;
}
