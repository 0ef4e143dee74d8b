#include "web/field_list.h"

#include "text/codepage.h"
#include "text/cut.h"
#include "text/url.h"

namespace ck {
namespace {

// Index of the first field called `name`, or -1.
long first_named(const std::vector<Text>& names, std::string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<long>(i);
  return -1;
}

}  // namespace

std::unique_ptr<FieldList> FieldList::copy() const { return std::unique_ptr<FieldList>(new FieldList(*this)); }

void FieldList::add_field(std::string_view name, std::string_view value, bool to_utf8) {
  names_.emplace_back(name);
  values_.push_back(to_utf8 ? gbk_to_utf8(value) : Text(value));
}

void FieldList::parse_query_text(std::string_view text, bool to_utf8) {
  for (const auto& item : split_text(text, "&")) {
    // Name up to the first "=", value after the last one; nothing is decoded.
    add_field(text_before(item, "="), text_after_last(item, "="), to_utf8);
  }
}

Text FieldList::get_value(std::string_view name) const {
  const long i = first_named(names_, name);
  return i < 0 ? Text() : values_[static_cast<std::size_t>(i)];
}

void FieldList::set_value(std::string_view name, std::string_view value) {
  const long i = first_named(names_, name);
  if (i < 0) add_field(name, value, false);
  else values_[static_cast<std::size_t>(i)] = Text(value);
}

Text FieldList::query_text(bool encode_values) const {
  Text out;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    out += names_[i];
    out += '=';
    out += encode_values ? url_encode(values_[i], true) : values_[i];
    out += '&';
  }
  if (!out.empty()) out.pop_back();
  return out;
}

Text FieldList::header_text(bool encode_values) const {
  Text out;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    out += names_[i];
    out += ": ";
    out += encode_values ? url_encode(values_[i], true) : values_[i];
    out += "\r\n";
  }
  if (!out.empty()) out.resize(out.size() - 2);
  return out;
}

void FieldList::get_names(std::vector<Text>* names) const {
  if (names) *names = names_;
}

void FieldList::get_values(std::vector<Text>* values) const {
  if (values) *values = values_;
}

void FieldList::clear() {
  names_.clear();
  values_.clear();
}

void FieldList::remove_field(std::string_view name) {
  const long i = first_named(names_, name);
  if (i < 0) return;
  names_.erase(names_.begin() + i);
  values_.erase(values_.begin() + i);
}

Text FieldList::json_text() const {
  Text out = "{";
  for (std::size_t i = 0; i < names_.size(); ++i) {
    out += '"';
    out += names_[i];
    out += "\":\"";
    out += escape_quotes(values_[i]);
    out += "\",";
  }
  strip_marker(&out, ",");
  out += '}';
  return out;
}

Text FieldList::escape_quotes(std::string_view text) const { return replace_text(text, "\"", "\\\""); }

Text FieldList::strip_marker(Text* text, std::string_view marker) const {
  if (!text) return {};
  if (marker.empty() || text->size() < marker.size()) return *text;
  // The marker at the end counts only where a character starts, so the
  // second byte of a GBK character is never cut away from its first.
  const int last = find_text_last(*text, marker);
  if (last > 0 && static_cast<std::size_t>(last - 1) + marker.size() == text->size())
    text->resize(text->size() - marker.size());
  if (text->compare(0, marker.size(), marker) == 0) text->erase(0, marker.size());
  return *text;
}

}  // namespace ck
