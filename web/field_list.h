// An ordered list of name/value pairs that renders as header text, query
// text or a flat JSON object.
#pragma once

#include <memory>
#include <vector>

#include "platform/types.h"

namespace ck {

class FieldList {
 public:
  FieldList() = default;
  virtual ~FieldList() = default;
  FieldList& operator=(const FieldList&) = delete;

  // Virtual operations, in slot order after destruction.
  virtual std::unique_ptr<FieldList> copy() const;
  virtual void add_field(std::string_view name, std::string_view value, bool to_utf8 = false);
  virtual void parse_query_text(std::string_view text, bool to_utf8 = false);
  virtual Text get_value(std::string_view name) const;
  virtual void set_value(std::string_view name, std::string_view value);
  virtual Text query_text(bool encode_values = false) const;
  virtual Text header_text(bool encode_values = false) const;
  virtual void get_names(std::vector<Text>* names) const;
  virtual void get_values(std::vector<Text>* values) const;
  virtual void clear();
  virtual void remove_field(std::string_view name);
  virtual Text json_text() const;
  virtual Text escape_quotes(std::string_view text) const;
  virtual Text strip_marker(Text* text, std::string_view marker) const;

 protected:
  FieldList(const FieldList& other) = default;

 private:
  std::vector<Text> names_;
  std::vector<Text> values_;
};

}  // namespace ck
