#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/support.h"

namespace ck::platform {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

constexpr std::size_t kBuffer = 10240;

class Profile : public ::testing::Test {
 protected:
  Text path() const { return path_text(tmp.path()) + gbk("\\软件配置.ini"); }
  std::string contents() const { return ck::testing::read_whole_file(tmp.path() / "软件配置.ini"); }
  void put(std::string_view bytes) const { ck::testing::write_whole_file(tmp.path() / "软件配置.ini", bytes); }
  Text read(std::string_view section, std::string_view key, std::string_view fallback = "",
            std::size_t size = kBuffer) const {
    return get_private_profile_string(section, key, fallback, size, path());
  }

  testing::TempDir tmp;
};

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(read(gbk("【CK】"), "CK"), "");
  EXPECT_EQ(read(gbk("【CK】"), "CK", "fallback  "), "fallback") << "trailing blanks of the default go";
  put("[a]\r\nk=1\r\n");
  EXPECT_EQ(read("b", "k", "none"), "none");
  EXPECT_EQ(read("a", "other", "none"), "none");
  EXPECT_EQ(read("a", "k", "none"), "1");
}

TEST_F(Profile, NewFileHoldsTheSectionsInTheOrderWrittenWithCrLf) {
  ASSERT_TRUE(write_private_profile_string(gbk("【CK】"), "CK", "a=1; b=2", path()));
  ASSERT_TRUE(write_private_profile_string(gbk("【vstk】"), "vstk", "token", path()));
  ASSERT_TRUE(write_private_profile_string(gbk("【Sever密钥】"), gbk("Sever密钥"), gbk("密钥"), path()));
  const std::string expected = gbk("[【CK】]\r\nCK=a=1; b=2\r\n[【vstk】]\r\nvstk=token\r\n[【Sever密钥】]\r\nSever密钥=密钥\r\n");
  EXPECT_EQ(contents(), expected) << hex(contents());
  EXPECT_EQ(read(gbk("【CK】"), "CK"), "a=1; b=2");
  EXPECT_EQ(read(gbk("【Sever密钥】"), gbk("Sever密钥")), gbk("密钥"));

  // Writing them all again changes nothing.
  ASSERT_TRUE(write_private_profile_string(gbk("【CK】"), "CK", "a=1; b=2", path()));
  ASSERT_TRUE(write_private_profile_string(gbk("【vstk】"), "vstk", "token", path()));
  EXPECT_EQ(contents(), expected) << hex(contents());
}

TEST_F(Profile, WritingKeepsEveryOtherSectionKeyAndLine) {
  const std::string before =
      "; settings\n"
      "stray=before any section\r\n"
      "[other]\r\n"
      "CK=not this one\r\n"
      "\r\n"
      "[" + gbk("【CK】") + "]\n"
      "  first = 1  \n"
      "CK=old\r\n"
      "last=3\r\n"
      "\r\n"
      "[tail]\r\n"
      "x=9";  // no line end at the end of the file
  put(before);

  ASSERT_TRUE(write_private_profile_string(gbk("【CK】"), "CK", "new", path()));
  std::string expected = before;
  expected.replace(expected.find("CK=old"), 6, "CK=new");
  EXPECT_EQ(contents(), expected) << hex(contents());

  // A new key joins the end of its section, before the blank separator line.
  ASSERT_TRUE(write_private_profile_string(gbk("【CK】"), "added", "4", path()));
  expected.insert(expected.find("last=3\r\n") + 8, "added=4\r\n");
  EXPECT_EQ(contents(), expected) << hex(contents());

  // A new key in the last section, whose last line has no line end.
  ASSERT_TRUE(write_private_profile_string("tail", "y", "8", path()));
  expected += "\r\ny=8\r\n";
  EXPECT_EQ(contents(), expected) << hex(contents());

  // A new section goes at the end.
  ASSERT_TRUE(write_private_profile_string("new", "k", "v", path()));
  expected += "[new]\r\nk=v\r\n";
  EXPECT_EQ(contents(), expected) << hex(contents());

  EXPECT_EQ(read("other", "CK"), "not this one");
  EXPECT_EQ(read(gbk("【CK】"), "first"), "1") << "blanks around names and values are not part of them";
  EXPECT_EQ(read("tail", "x"), "9");
  EXPECT_EQ(read("", "stray", "none"), "none");
}

TEST_F(Profile, NamesCompareWithoutAsciiCaseButGbkBytesExactly) {
  put("[Sec]\r\nKey=1\r\n[\xB0\x41]\r\nk=upper\r\n[\xB0\x61]\r\nk=lower\r\n[\x81\x5D]\r\nk=bracket\r\n");
  EXPECT_EQ(read("sEC", "kEY"), "1");
  // 0xB0 0x41 and 0xB0 0x61 are two different characters, not "A" and "a".
  EXPECT_EQ(read("\xB0\x41", "K"), "upper");
  EXPECT_EQ(read("\xB0\x61", "K"), "lower");
  // A second byte 0x5D is no closing bracket.
  EXPECT_EQ(read("\x81\x5D", "k"), "bracket");

  ASSERT_TRUE(write_private_profile_string("SEC", "KEY", "2", path()));
  EXPECT_EQ(contents(), "[Sec]\r\nKey=2\r\n[\xB0\x41]\r\nk=upper\r\n[\xB0\x61]\r\nk=lower\r\n[\x81\x5D]\r\nk=bracket\r\n")
      << "the file's own spelling of the names stays";
}

TEST_F(Profile, QuotedValuesLoseTheirQuotesAndDuplicatesCountOnce) {
  put("[s]\r\nq=\"quoted\"\r\nr='single'\r\nhalf=\"open\r\nk=first\r\nk=second\r\nbare\r\n[s]\r\nlater=1\r\n");
  EXPECT_EQ(read("s", "q"), "quoted");
  EXPECT_EQ(read("s", "r"), "single");
  EXPECT_EQ(read("s", "half"), "\"open");
  EXPECT_EQ(read("s", "k"), "first");
  EXPECT_EQ(read("s", "bare", "none"), "");
  EXPECT_EQ(read("s", "later", "none"), "none") << "only the first section of a name is read";
}

TEST_F(Profile, ValuesAreCutToOneByteLessThanTheBuffer) {
  const std::string ascii(20000, 'a');
  ASSERT_TRUE(write_private_profile_string("s", "k", ascii, path()));
  EXPECT_EQ(read("s", "k").size(), kBuffer - 1);
  EXPECT_EQ(read("s", "k", "", 5), "aaaa");
  EXPECT_EQ(read("s", "k", "", 1), "");
  EXPECT_EQ(read("s", "k", "", 0), "");
  EXPECT_EQ(read("s", "missing", "default", 4), "def");

  // The cut never leaves the first byte of a GBK character alone.
  std::string mixed(kBuffer - 2, 'b');
  mixed += gbk("钥钥");
  ASSERT_TRUE(write_private_profile_string("s", "k", mixed, path()));
  const Text cut = read("s", "k");
  EXPECT_EQ(cut, std::string(kBuffer - 2, 'b')) << hex(cut.substr(cut.size() - 4));
  ASSERT_TRUE(write_private_profile_string("s", "k", mixed.substr(1), path()));
  EXPECT_EQ(read("s", "k"), mixed.substr(1, kBuffer - 1));
}

TEST_F(Profile, AValueIsOneLine) {
  ASSERT_TRUE(write_private_profile_string("s", "k", "one\r\n[injected]\r\nk=two", path()));
  ASSERT_TRUE(write_private_profile_string("s", "j", "lf\nrest", path()));
  EXPECT_EQ(contents(), "[s]\r\nk=one\r\nj=lf\r\n");
}

TEST_F(Profile, TheFileIsReplacedAtomicallyAndOnlyItsOwnerMayReadIt) {
  const mode_t old_umask = ::umask(022);
  ASSERT_TRUE(write_private_profile_string("s", "k", "secret", path()));
  struct stat st {};
  ASSERT_EQ(::stat((tmp.path() / "软件配置.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  const int reader = ::open((tmp.path() / "软件配置.ini").c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  ASSERT_TRUE(write_private_profile_string("s", "k", "changed", path()));
  char buffer[64] = {};
  const ssize_t n = ::pread(reader, buffer, sizeof buffer, 0);
  ::close(reader);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n > 0 ? n : 0)), "[s]\r\nk=secret\r\n")
      << "the old file was replaced, not rewritten in place";
  EXPECT_EQ(contents(), "[s]\r\nk=changed\r\n");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tmp.path())) ++entries;
  EXPECT_EQ(entries, 1);
  ::umask(old_umask);
}

TEST_F(Profile, NothingIsWrittenWhenTheFileCannotBeReadOrTheNamesAreEmpty) {
  std::filesystem::create_directory(tmp.path() / "软件配置.ini");
  EXPECT_FALSE(write_private_profile_string("s", "k", "v", path()));
  EXPECT_TRUE(std::filesystem::is_directory(tmp.path() / "软件配置.ini"));
  std::filesystem::remove(tmp.path() / "软件配置.ini");

  EXPECT_FALSE(write_private_profile_string("", "k", "v", path()));
  EXPECT_FALSE(write_private_profile_string("s", "", "v", path()));
  EXPECT_FALSE(std::filesystem::exists(tmp.path() / "软件配置.ini"));
  EXPECT_FALSE(write_private_profile_string("s", "k", "v", path_text(tmp.path() / "no" / "such.ini")));
}

}  // namespace
}  // namespace ck::platform
