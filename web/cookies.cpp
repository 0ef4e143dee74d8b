#include "web/cookies.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "text/cut.h"

namespace ck {
namespace {

constexpr std::string_view kDeleted = "=deleted";

bool ends_with_deleted(std::string_view item) {
  return item.size() >= kDeleted.size() && item.substr(item.size() - kDeleted.size()) == kDeleted;
}

}  // namespace

Text collect_set_cookies(std::string_view response_headers) {
  Text result;
  for (const auto& line : split_text(response_headers, "\r\n")) {
    if (text_before(line, ": ") != "Set-Cookie") continue;
    // Only the first name=value pair counts; attributes are dropped.
    const Text item = contains_text(line, ";") ? trim_spaces(text_between(line, "Set-Cookie:", ";"))
                                               : trim_spaces(replace_text(line, "Set-Cookie:", "", true));
    result += item;
    result += "; ";
  }
  if (result.size() >= 2 && result.compare(result.size() - 2, 2, "; ") == 0) result.resize(result.size() - 2);
  return result;
}

Text cookie_name(std::string_view item) {
  const int equals = find_text(item, "=");
  return trim_spaces(equals > 0 ? item.substr(0, static_cast<std::size_t>(equals - 1)) : item);
}

Text merge_cookies(Text* existing, std::string_view incoming) {
  const Text old_text = remove_spaces(existing ? std::string_view(*existing) : std::string_view());
  const Text new_text = remove_spaces(incoming);
  std::vector<Text> merged = split_text(new_text, ";");
  std::vector<Text> old_items = split_text(old_text, ";");

  // The names now in the list; an old item joins only under a name not yet
  // there, so of several old items with one name the first one wins, while
  // the answer's own items all stay.
  std::unordered_set<Text> names;
  names.reserve(merged.size() + old_items.size());
  for (const auto& item : merged) names.insert(cookie_name(item));
  for (auto& item : old_items) {
    if (names.insert(cookie_name(item)).second) merged.push_back(std::move(item));
  }

  Text text;
  for (const auto& item : merged) {
    if (ends_with_deleted(item)) continue;
    text += item;
    text += "; ";
  }
  text.resize(text.size() >= 2 ? text.size() - 2 : 0);

  Text result = remove_duplicate_items(text, "; ");
  if (existing) *existing = result;
  return result;
}

Text remove_duplicate_items(std::string_view list, std::string_view separator) {
  if (separator.empty()) return Text(list);  // nothing to split at: one item
  const std::vector<Text> pieces = split_text(list, separator);
  std::unordered_set<std::string_view> seen;  // views into `pieces`
  seen.reserve(pieces.size() * 2 + 16);
  Text out;
  bool any = false;
  for (const auto& piece : pieces) {
    if (!seen.insert(piece).second) continue;
    out += piece;
    out += separator;
    any = true;
  }
  if (any) out.resize(out.size() - separator.size());
  return out;
}

}  // namespace ck
