// The byte-stream charset object: the call sequences its users drive, the
// charsets, byte-order marks, and calls that fail without effect.
#include "platform/adodb_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "tests/support/support.h"

namespace ck::platform {
namespace {

using ck::testing::hex;
using ck::testing::hex16;
using namespace std::string_literals;


Bytes raw(std::string_view s) { return bytes_of(s); }

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    depth_ = com_init_depth();
    CoInitialize(nullptr);
    stream_ = create_object<AdodbStream>();
    ASSERT_TRUE(stream_);
  }
  void TearDown() override {
    stream_.reset();
    CoUninitialize();
    EXPECT_EQ(com_init_depth(), depth_);
    EXPECT_EQ(ComObject::live_count(), 0);
  }

  // Bytes -> text in `charset`, the way the decoders drive the object.
  std::optional<std::u16string> decode(const Bytes& bytes, std::u16string_view charset) {
    AdodbStream& s = *stream_;
    s.close();  // when still open from an earlier step
    EXPECT_TRUE(s.set_type(AdodbStream::kTypeBinary));
    EXPECT_TRUE(s.open());
    EXPECT_TRUE(s.write(bytes));
    EXPECT_TRUE(s.set_position(0));
    EXPECT_TRUE(s.set_type(AdodbStream::kTypeText));
    EXPECT_TRUE(s.set_charset(charset));
    auto text = s.read_text();
    s.close();
    return text;
  }

  // Text -> bytes in `charset`.
  std::optional<Bytes> encode(std::u16string_view text, std::u16string_view charset) {
    AdodbStream& s = *stream_;
    s.close();
    EXPECT_TRUE(s.set_type(AdodbStream::kTypeText));
    EXPECT_TRUE(s.open());
    EXPECT_TRUE(s.set_charset(charset));
    EXPECT_TRUE(s.write_text(text));
    EXPECT_TRUE(s.set_position(0));
    EXPECT_TRUE(s.set_type(AdodbStream::kTypeBinary));
    auto bytes = s.read();
    s.close();
    return bytes;
  }

  std::shared_ptr<AdodbStream> stream_;
  int depth_ = 0;
};

TEST_F(StreamTest, NewObjectDefaults) {
  EXPECT_EQ(stream_->type(), AdodbStream::kTypeText);
  EXPECT_EQ(stream_->mode(), 0);
  EXPECT_TRUE(stream_->charset() == u"Unicode");
  EXPECT_EQ(stream_->size(), 0);
  EXPECT_EQ(stream_->position(), 0);
}

// The sequence convert_charset drives: UTF-8 bytes in, GBK bytes out.
TEST_F(StreamTest, ConvertSequence) {
  AdodbStream& s = *stream_;
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeBinary));
  ASSERT_TRUE(s.open());
  ASSERT_TRUE(s.write(raw("\xE7\xAD\xBE\xE5\x88\xB0")));  // 签到
  EXPECT_EQ(s.position(), 6);
  ASSERT_TRUE(s.set_position(0));
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeText));
  ASSERT_TRUE(s.set_charset(u"UTF-8"));
  const auto text = s.read_text();
  ASSERT_TRUE(text);
  EXPECT_EQ(hex16(*text), "7B7E 5230");
  EXPECT_EQ(s.position(), 6);
  ASSERT_TRUE(s.close());
  ASSERT_TRUE(s.open());
  EXPECT_EQ(s.size(), 0);
  EXPECT_EQ(s.type(), AdodbStream::kTypeText);  // the type outlives Close
  ASSERT_TRUE(s.set_charset(u"GBK"));
  ASSERT_TRUE(s.write_text(*text));
  ASSERT_TRUE(s.set_position(0));
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeBinary));
  ASSERT_TRUE(s.set_position(2));
  const auto out = s.read();
  ASSERT_TRUE(out);
  EXPECT_EQ(hex(*out), "B5 BD");
  EXPECT_EQ(s.position(), 4);
}

// The sequence of the response decoding, with Mode 3.
TEST_F(StreamTest, DecodeSequenceWithReadWriteMode) {
  AdodbStream& s = *stream_;
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeBinary));
  ASSERT_TRUE(s.set_mode(AdodbStream::kModeReadWrite));
  ASSERT_TRUE(s.open());
  ASSERT_TRUE(s.write(raw("<meta charset=big5>\xC3\xB1")));
  ASSERT_TRUE(s.set_position(0));
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeText));
  ASSERT_TRUE(s.set_charset(u"big5"));
  const auto text = s.read_text();
  ASSERT_TRUE(text);
  EXPECT_TRUE(*text == u"<meta charset=big5>\u7C3D");
  EXPECT_TRUE(s.close());
}

// Each charset against Python's codec of the same name, both ways.
TEST_F(StreamTest, CharsetsMatchPythonCodecs) {
  struct Case {
    std::u16string name;
    const char* python;
    std::u16string text;
  } cases[] = {
      {u"UTF-8", "utf-8", u"a\u7B7E\U0001F600"},
      {u"utf-8", "utf-8", u"\u00E9"},
      {u"GBK", "gbk", u"a\u7B7E\u5230\u3000"},
      {u"gb2312", "gbk", u"\u7B7E\u5230"},
      {u"GB18030", "gb18030", u"\u7B7E\u20AC\U0001F600"},
      {u"Big5", "cp950", u"\u7C3D\u5230"},
      {u"UTF-16", "utf-16-le", u"a\u7B7E\U0001F600"},
      {u"Unicode", "utf-16-le", u"a\u7B7E"},
      {u"unicode", "utf-16-le", u"z"},
      {u"UTF-16BE", "utf-16-be", u"a\u7B7E"},
      {u"ISO-8859-1", "latin-1", u"caf\u00E9\u00FF"},
      {u"Windows-1252", "cp1252", u"\u20ACcaf\u00E9"},
      {u"us-ascii", "ascii", u"abc"},
  };
  std::string script = "import sys\nout = []\n";
  for (const auto& c : cases) {
    script += "out.append(bytes.fromhex('";
    for (char16_t u : c.text) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "%02X%02X", u & 0xFF, u >> 8);
      script += buf;
    }
    script += std::string("').decode('utf-16-le').encode('") + c.python + "').hex())\n";
  }
  script += "open(sys.argv[1], 'w').write('\\n'.join(out) + '\\n')\n";
  ck::testing::TempDir dir;
  ck::testing::write_whole_file(dir.path() / "ref.py", script);
  const std::string cmd =
      "python3 '" + (dir.path() / "ref.py").string() + "' '" + (dir.path() / "out").string() + "'";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "python3 not available";
  std::istringstream in(ck::testing::read_whole_file(dir.path() / "out"));
  for (const auto& c : cases) {
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    std::string expected;
    for (std::size_t i = 0; i + 1 < line.size(); i += 2)
      expected += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    const auto bytes = encode(c.text, c.name);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(hex(*bytes), hex(expected)) << c.python;
    const auto back = decode(bytes_of(expected), c.name);
    ASSERT_TRUE(back);
    EXPECT_EQ(hex16(*back), hex16(c.text)) << c.python;
  }
}

TEST_F(StreamTest, UnrepresentableBecomesQuestionMarkAndInvalidBecomesReplacement) {
  struct Out {
    std::u16string name, text;
    std::string bytes;
  } outs[] = {
      {u"GBK", u"a\U0001F600b", "a?b"},
      {u"ISO-8859-1", u"\u7B7E\u00E9", "?\xE9"},
      {u"Big5", u"\u7B7E", "?"},  // the simplified form is not in Big5
      {u"us-ascii", u"\u00E9x", "?x"},
      {u"windows-1252", u"a\xD800z", "a?z"},  // an unpaired surrogate
  };
  for (const auto& c : outs) {
    const auto bytes = encode(c.text, c.name);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(hex(*bytes), hex(c.bytes)) << hex16(c.name);
  }
  struct In {
    std::u16string name;
    std::string bytes;
    std::u16string text;
  } ins[] = {
      {u"UTF-8", "a\xFF" "b", u"a\uFFFDb"},
      {u"UTF-8", "\xE7\xAD", u"\uFFFD"},
      {u"GBK", "\xC7", u"\uFFFD"},
      {u"GB18030", "a\x81", u"a\uFFFD"},
      {u"Big5", "\xC3\xB1\xFF", u"\u7C3D\uFFFD"},
      {u"us-ascii", "a\x80", u"a\uFFFD"},
      {u"Unicode", "a\0b"s, u"a\uFFFD"},  // an odd byte at the end
  };
  for (const auto& c : ins) {
    const auto text = decode(bytes_of(c.bytes), c.name);
    ASSERT_TRUE(text);
    EXPECT_EQ(hex16(*text), hex16(c.text)) << hex16(c.name) << " " << hex(c.bytes);
  }
}

TEST_F(StreamTest, ByteOrderMarks) {
  // read_text skips the charset's own mark at position 0 only.
  EXPECT_TRUE(decode(raw("\xEF\xBB\xBF" "a"), u"UTF-8") == u"a");
  EXPECT_TRUE(decode(raw("\xFF\xFE" "a\0"s), u"Unicode") == u"a");
  EXPECT_TRUE(decode(raw("\xFE\xFF\0a"s), u"UTF-16BE") == u"a");
  EXPECT_TRUE(decode(raw("\x84\x31\x95\x33" "a"), u"GB18030") == u"a");
  EXPECT_TRUE(decode(raw("\xFF\xFE" "a\0"s), u"UTF-8") == u"\uFFFD\uFFFDa\0"s);  // another charset's mark is data
  AdodbStream& s = *stream_;
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeBinary));
  ASSERT_TRUE(s.open());
  ASSERT_TRUE(s.write(raw("x\xEF\xBB\xBF" "a")));
  ASSERT_TRUE(s.set_position(0));
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeText));
  ASSERT_TRUE(s.set_charset(u"UTF-8"));
  ASSERT_TRUE(s.set_position(1));
  const auto text = s.read_text();  // a mark after position 0 is a character
  ASSERT_TRUE(text);
  EXPECT_EQ(hex16(*text), "FEFF 0061");
  s.close();
  // write_text writes none.
  EXPECT_EQ(hex(encode(u"a", u"UTF-8").value()), "61");
  EXPECT_EQ(hex(encode(u"a", u"Unicode").value()), "61 00");
}

TEST_F(StreamTest, WriteOverwritesFromThePositionAndExtends) {
  AdodbStream& s = *stream_;
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeBinary));
  ASSERT_TRUE(s.open());
  ASSERT_TRUE(s.write(raw("abcdef")));
  ASSERT_TRUE(s.set_position(4));
  ASSERT_TRUE(s.write(raw("XYZ")));
  EXPECT_EQ(s.size(), 7);
  ASSERT_TRUE(s.set_position(1));
  ASSERT_TRUE(s.write(Bytes{}));
  EXPECT_EQ(hex(s.read().value()), "62 63 64 58 59 5A");
  EXPECT_EQ(s.read().value().size(), 0u);  // at the end: nothing left
}

// Every failing call returns false or nothing and changes nothing.
TEST_F(StreamTest, FailingCallsHaveNoEffect) {
  AdodbStream& s = *stream_;
  // Closed: no position, no reading or writing, no close.
  EXPECT_FALSE(s.set_position(0));
  EXPECT_FALSE(s.write(raw("a")));
  EXPECT_FALSE(s.write_text(u"a"));
  EXPECT_FALSE(s.read());
  EXPECT_FALSE(s.read_text());
  EXPECT_FALSE(s.close());
  // Unknown charset or type.
  EXPECT_FALSE(s.set_charset(u"no-such-charset"));
  EXPECT_FALSE(s.set_charset(u""));
  EXPECT_FALSE(s.set_charset(u"UTF-8 "));
  EXPECT_TRUE(s.charset() == u"Unicode");
  EXPECT_FALSE(s.set_type(3));
  EXPECT_FALSE(s.set_type(0));
  EXPECT_EQ(s.type(), AdodbStream::kTypeText);
  EXPECT_FALSE(s.set_mode(32));
  EXPECT_FALSE(s.set_mode(-1));
  EXPECT_EQ(s.mode(), 0);

  ASSERT_TRUE(s.set_type(AdodbStream::kTypeBinary));
  ASSERT_TRUE(s.open());
  EXPECT_FALSE(s.open());
  EXPECT_FALSE(s.set_mode(3));  // only while closed
  EXPECT_FALSE(s.write_text(u"a"));  // binary mode
  EXPECT_FALSE(s.read_text());
  ASSERT_TRUE(s.write(raw("abc")));
  EXPECT_FALSE(s.set_position(4));
  EXPECT_FALSE(s.set_position(-1));
  EXPECT_EQ(s.position(), 3);
  EXPECT_FALSE(s.set_type(AdodbStream::kTypeText));  // not at position 0
  EXPECT_EQ(s.type(), AdodbStream::kTypeBinary);
  EXPECT_FALSE(s.set_charset(u"UTF-8"));  // not at position 0
  EXPECT_TRUE(s.charset() == u"Unicode");
  ASSERT_TRUE(s.set_position(0));
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeText));
  EXPECT_FALSE(s.write(raw("x")));  // text mode
  EXPECT_FALSE(s.read());
  EXPECT_EQ(s.size(), 3);
  ASSERT_TRUE(s.close());

  // Access modes: 1 reads only, 2 writes only.
  ASSERT_TRUE(s.set_mode(1));
  ASSERT_TRUE(s.set_type(AdodbStream::kTypeBinary));
  ASSERT_TRUE(s.open());
  EXPECT_FALSE(s.write(raw("a")));
  EXPECT_TRUE(s.read());
  ASSERT_TRUE(s.close());
  ASSERT_TRUE(s.set_mode(2 | 8));
  ASSERT_TRUE(s.open());
  EXPECT_TRUE(s.write(raw("a")));
  ASSERT_TRUE(s.set_position(0));
  EXPECT_FALSE(s.read());
  EXPECT_EQ(s.position(), 0);
  ASSERT_TRUE(s.close());
}

TEST(StreamCreation, NeedsComAndCanBeMadeToFail) {
  const int depth = com_init_depth();
  EXPECT_FALSE(create_object<AdodbStream>());  // COM not initialised on this thread
  {
    ComScope com;
    {
      ScopedCreationFailure failing("ADODB.STREAM");
      EXPECT_FALSE(create_object<AdodbStream>());
    }
    auto s = create_object<AdodbStream>();
    ASSERT_TRUE(s);
    EXPECT_EQ(ComObject::live_count(), 1);
  }
  EXPECT_EQ(ComObject::live_count(), 0);
  EXPECT_EQ(com_init_depth(), depth);
}

}  // namespace
}  // namespace ck::platform
