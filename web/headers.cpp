#include "web/headers.h"

#include "text/cut.h"

namespace ck {
namespace {

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

Text normalize_header_names(std::string_view header_text) {
  Text out;
  bool first = true;
  for (auto& line : split_text(header_text, "\r\n")) {
    const int colon = find_text(line, ":");
    if (colon < 0) continue;
    // The name is everything before the first ":", untrimmed; a "-" is never
    // the second byte of a GBK character, so the byte after it starts one.
    const auto name_end = static_cast<std::size_t>(colon - 1);
    for (std::size_t i = 0; i < name_end; ++i) {
      if (i == 0 || line[i - 1] == '-') line[i] = upper_ascii(line[i]);
    }
    if (!first) out += "\r\n";
    out += line;
    first = false;
  }
  return out;
}

Text header_name(std::string_view line) {
  const int colon = find_text(line, ":");
  return colon < 0 ? Text() : trim_spaces(line.substr(0, static_cast<std::size_t>(colon - 1)));
}

Text header_value(std::string_view line) {
  const int colon = find_text(line, ":");
  return colon < 0 ? Text() : trim_spaces(line.substr(static_cast<std::size_t>(colon)));
}

Text capitalize_first(std::string_view text) {
  Text out(text);
  if (!out.empty()) out[0] = upper_ascii(out[0]);
  return out;
}

}  // namespace ck
