// The ordered name/value list and its three renderings.
#include "web/field_list.h"

#include <gtest/gtest.h>

#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

class FieldListTest : public ::testing::Test {
 protected:
  // A=1, A=2, B=3
  void SetUp() override {
    list.add_field("A", "1");
    list.add_field("A", "2");
    list.add_field("B", "3");
  }
  std::vector<Text> names() const {
    std::vector<Text> out;
    list.get_names(&out);
    return out;
  }
  FieldList list;
};

TEST_F(FieldListTest, DuplicatesAndLookups) {
  EXPECT_EQ(list.get_value("A"), "1");
  EXPECT_EQ(list.query_text(), "A=1&A=2&B=3");
  EXPECT_EQ(list.get_value("a"), "");  // case-sensitive
  EXPECT_EQ(list.get_value("C"), "");
}

TEST_F(FieldListTest, SetValue) {
  list.set_value("A", "9");
  list.set_value("C", "4");
  EXPECT_EQ(list.query_text(), "A=9&A=2&B=3&C=4");
}

TEST_F(FieldListTest, RemoveField) {
  list.remove_field("A");
  EXPECT_EQ(list.query_text(), "A=2&B=3");
  list.remove_field("nothing");
  EXPECT_EQ(list.query_text(), "A=2&B=3");
  list.remove_field("B");
  list.remove_field("A");
  EXPECT_EQ(list.query_text(), "");
}

TEST_F(FieldListTest, NamesValuesAndClear) {
  std::vector<Text> values = {"old", "stuff", "here", "and", "more"};
  list.get_values(&values);
  EXPECT_EQ(values, (std::vector<Text>{"1", "2", "3"}));
  EXPECT_EQ(names(), (std::vector<Text>{"A", "A", "B"}));
  list.get_names(nullptr);  // nothing to fill
  list.clear();
  EXPECT_TRUE(names().empty());
  EXPECT_EQ(list.json_text(), "{}");
}

TEST_F(FieldListTest, CopyIsIndependent) {
  auto copy = list.copy();
  copy->set_value("B", "changed");
  copy->add_field("D", "5");
  EXPECT_EQ(list.query_text(), "A=1&A=2&B=3");
  EXPECT_EQ(copy->query_text(), "A=1&A=2&B=changed&D=5");
}

TEST(FieldList, EmptyList) {
  FieldList list;
  EXPECT_EQ(list.query_text(), "");
  EXPECT_EQ(list.header_text(), "");
  EXPECT_EQ(list.json_text(), "{}");
  EXPECT_EQ(list.query_text(true), "");
}

TEST(FieldList, HeaderText) {
  FieldList list;
  list.add_field("User-Agent", "X");
  EXPECT_EQ(list.header_text(), "User-Agent: X");
  list.add_field("Accept", "a b/c");
  EXPECT_EQ(list.header_text(), "User-Agent: X\r\nAccept: a b/c");
  EXPECT_EQ(list.header_text(true), "User-Agent: X\r\nAccept: a%20b%2Fc");
  EXPECT_EQ(list.query_text(true), "User-Agent=X&Accept=a%20b%2Fc");
}

TEST(FieldList, JsonText) {
  FieldList list;
  list.add_field("a", "1");
  list.add_field("b", "2");
  EXPECT_EQ(list.json_text(), R"({"a":"1","b":"2"})");
  list.add_field("q", R"(say "hi" \n)");
  EXPECT_EQ(list.json_text(), R"({"a":"1","b":"2","q":"say \"hi\" \n"})");
  FieldList names;
  names.add_field("n\"", "");  // names are written as they are
  EXPECT_EQ(names.json_text(), R"({"n"":""})");
}

TEST(FieldList, Utf8OnlyWhenAdding) {
  FieldList list;
  list.add_field("k", gbk("中"), true);
  EXPECT_EQ(hex(list.get_value("k")), "E4 B8 AD");
  list.set_value("k", gbk("中"));  // never converts
  EXPECT_EQ(hex(list.get_value("k")), hex(gbk("中")));
  list.parse_query_text(gbk("x=文"), true);
  EXPECT_EQ(hex(list.get_value("x")), "E6 96 87");
}

TEST(FieldList, ParseQueryText) {
  FieldList list;
  list.parse_query_text("a=1&&b=x=2&");
  std::vector<Text> names, values;
  list.get_names(&names);
  list.get_values(&values);
  EXPECT_EQ(names, (std::vector<Text>{"a", "", "b"}));
  EXPECT_EQ(values, (std::vector<Text>{"1", "", "2"}));

  FieldList more;
  more.parse_query_text("&noequals&c=%20");  // nothing is decoded
  more.get_names(&names);
  more.get_values(&values);
  EXPECT_EQ(names, (std::vector<Text>{"", "", "c"}));
  EXPECT_EQ(values, (std::vector<Text>{"", "", "%20"}));
  more.parse_query_text("");
  more.get_names(&names);
  EXPECT_EQ(names.size(), 3u);
}

TEST(FieldList, StripMarker) {
  FieldList list;
  struct Case {
    Text text;
    const char* marker;
    Text expected;
  };
  const Case cases[] = {
      {",a,", ",", "a"},
      {",,", ",", ""},
      {",", ",", ""},
      {",,a,,", ",", ",a,"},  // at most one at each end
      {"abc", "", "abc"},
      {"", ",", ""},
      {"xyzabxy", "xy", "zab"},
      // The last byte of 中 (D6 D0) is no marker of its own.
      {gbk("中"), "\xD0", gbk("中")},
      {gbk("a中"), "\xD0", gbk("a中")},
  };
  for (const auto& c : cases) {
    Text text = c.text;
    EXPECT_EQ(hex(list.strip_marker(&text, c.marker)), hex(c.expected)) << hex(c.text);
    EXPECT_EQ(hex(text), hex(c.expected));
  }
  EXPECT_EQ(list.strip_marker(nullptr, ","), "");
}

TEST(FieldList, EscapeQuotes) {
  FieldList list;
  EXPECT_EQ(list.escape_quotes(R"(a"b\"c)"), R"(a\"b\\"c)");
  EXPECT_EQ(list.escape_quotes(""), "");
  EXPECT_EQ(hex(list.escape_quotes(gbk("\"中\""))), hex("\\\"" + gbk("中") + "\\\""));
}

}  // namespace
}  // namespace ck
