// Cutting at markers: any text and markers, any start; results must be
// pieces of the input and the search must stay inside it.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "text/cut.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto p = ck::fuzz::pieces(data, size, 4);
  const std::string text = ck::fuzz::as_text(p[0]);
  const std::string left = ck::fuzz::as_text(p[1]);
  const std::string right = ck::fuzz::as_text(p[2]);
  const int start = p[3].empty() ? 1 : static_cast<signed char>(p[3][0]);
  const bool fold = !p[3].empty() && (p[3][0] & 1);

  auto inside = [&](const std::string& piece) {
    if (!piece.empty() && text.find(piece) == std::string::npos) std::abort();
  };
  inside(ck::text_between(text, left, right, start, fold));
  inside(ck::text_before(text, left, start, fold));
  inside(ck::text_after_last(text, left, std::nullopt, fold));
  inside(ck::text_after_last(text, left, start, fold));

  const int at = ck::find_text(text, left, start, fold);
  if (at != -1 && (at < 1 || static_cast<std::size_t>(at) > text.size() + 1)) std::abort();
  const int last = ck::find_text_last(text, left, std::nullopt, fold);
  if (last != -1 && (last < 1 || static_cast<std::size_t>(last) > text.size() + 1)) std::abort();

  (void)ck::replace_text(text, left, right, fold);
  for (const auto& piece : ck::split_text(text, left)) inside(piece);
  inside(ck::trim_spaces(text));
  (void)ck::remove_spaces(text);
  return 0;
}
