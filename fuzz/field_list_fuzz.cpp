// A form text read into a field list and written out in every form.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "text/cut.h"
#include "web/field_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool to_utf8 = data[0] & 1;
  const std::string text = ck::fuzz::as_text(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  ck::FieldList list;
  list.parse_query_text(text, to_utf8);
  std::vector<ck::Text> names;
  list.get_names(&names);
  if (names.size() != ck::split_text(text, "&").size()) std::abort();
  const ck::Text json = list.json_text();
  if (json.size() < 2 || json.front() != '{' || json.back() != '}') std::abort();
  (void)list.query_text(data[0] & 2);
  (void)list.header_text(data[0] & 4);
  auto copy = list.copy();
  if (copy->json_text() != json) std::abort();
  return 0;
}
