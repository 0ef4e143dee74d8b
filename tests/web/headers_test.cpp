// Header texts: name capitalisation and splitting a line.
#include "web/headers.h"

#include <gtest/gtest.h>

#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

TEST(NormalizeHeaderNames, Table) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"content-type: text/html", "Content-Type: text/html"},
      {"x-requested-with:1", "X-Requested-With:1"},
      {"ACCEPT: x", "ACCEPT: x"},
      {"a: 1\r\nb: 2\r\n", "A: 1\r\nB: 2"},           // the final CR LF goes
      {"a: 1\r\n\r\nno colon\r\nb: 2", "A: 1\r\nB: 2"},  // lines without ":" go
      {"no colon\r\n\r\n", ""},
      {"", ""},
      {"accept: text/x-my-type", "Accept: text/x-my-type"},  // only the name changes
      {" x-a: 1", " x-A: 1"},                                // the name is not trimmed
      {"x--a-: b", "X--A-: b"},
      {"-a:1", "-A:1"},
      {"a:b:c-d", "A:b:c-d"},  // the first ":" ends the name
      {"1-2: x", "1-2: x"},
      {"a: 1\nb: 2", "A: 1\nb: 2"},  // LF alone does not end a line
  };
  for (const auto& c : cases) EXPECT_EQ(normalize_header_names(c.in), c.out) << hex(c.in);
}

TEST(NormalizeHeaderNames, GbkBytesAreLeftAlone) {
  // 0xC4 0xE3 is a GBK character; bytes after it keep their case.
  const Text in = gbk("x-你a: 值");
  EXPECT_EQ(hex(normalize_header_names(in)), hex(gbk("X-你a: 值")));
}

TEST(HeaderLine, NameAndValue) {
  EXPECT_EQ(header_name("  Accept : x"), "Accept");
  EXPECT_EQ(header_value("  Accept : x"), "x");
  EXPECT_EQ(header_name("no colon"), "");
  EXPECT_EQ(header_value("no colon"), "");
  EXPECT_EQ(header_name("Host: a:8080"), "Host");
  EXPECT_EQ(header_value("Host: a:8080"), "a:8080");  // after the first ":"
  EXPECT_EQ(header_name(": v"), "");
  EXPECT_EQ(header_value("X:"), "");
  EXPECT_EQ(header_value("X:\t1 "), "\t1");  // a tab is not a space
  EXPECT_EQ(hex(header_value(gbk("X:　值　"))), hex(gbk("值")));
}

TEST(CapitalizeFirst, Texts) {
  EXPECT_EQ(capitalize_first("accept"), "Accept");
  EXPECT_EQ(capitalize_first("1abc"), "1abc");
  EXPECT_EQ(capitalize_first(""), "");
  EXPECT_EQ(capitalize_first("Zeta"), "Zeta");
  EXPECT_EQ(capitalize_first("{a"), "{a");
  EXPECT_EQ(hex(capitalize_first(gbk("中"))), hex(gbk("中")));
}

}  // namespace
}  // namespace ck
