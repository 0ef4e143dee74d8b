#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/support.h"

namespace ck::platform {
namespace {

using ck::testing::gbk;
using ck::testing::hex;
namespace fs = std::filesystem;

Text text_path(const fs::path& p) { return path_text(p); }

mode_t mode_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0);
  return st.st_mode & 07777;
}

int entries_in(const fs::path& dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

TEST(FilePaths, BackslashesSeparateNamesAndNamesAreStoredAsUtf8) {
  EXPECT_EQ(native_path(gbk("\\work\\程序\\软件配置.ini")), fs::path("/work/程序/软件配置.ini"));
  EXPECT_EQ(native_path("a/b\\c"), fs::path("a/b/c"));
  // 0x81 0x5C is one GBK character whose second byte looks like a backslash.
  const Text tricky = Text("\\tmp\\") + "\x81\x5C" + "x";
  const fs::path mapped = native_path(tricky);
  EXPECT_EQ(mapped.parent_path(), fs::path("/tmp")) << mapped;
  EXPECT_EQ(path_text(mapped), tricky) << hex(path_text(mapped));
  EXPECT_EQ(path_text(fs::path("/work/程序")), gbk("\\work\\程序"));
}

TEST(ProgramDirectory, IsTheExecutablesFolderWithoutATrailingBackslash) {
  const fs::path exe = fs::read_symlink("/proc/self/exe");
  const Text dir = program_directory();
  EXPECT_EQ(dir, path_text(exe.parent_path())) << hex(dir);
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '\\');
  EXPECT_EQ(native_path(dir), exe.parent_path());

  {
    ScopedProgramDirectory outer(gbk("\\outer"));
    EXPECT_EQ(program_directory(), gbk("\\outer"));
    {
      ScopedProgramDirectory inner("\\inner");
      EXPECT_EQ(program_directory(), "\\inner");
    }
    EXPECT_EQ(program_directory(), gbk("\\outer"));
  }
  EXPECT_EQ(program_directory(), dir);
}

TEST(WholeFiles, MissingReadsEmptyAndBytesRoundTripWithZeros) {
  testing::TempDir tmp;
  const Text path = text_path(tmp.path()) + gbk("\\数据.bin");
  EXPECT_TRUE(read_whole_file(path).empty());
  EXPECT_EQ(read_file_or_missing(path), std::optional<Bytes>(Bytes()));

  const Bytes bytes = {0x00, 0xC8, 0xED, 0x0D, 0x0A, 0x00, 0xFF};
  ASSERT_TRUE(write_whole_file(path, bytes));
  EXPECT_TRUE(fs::exists(tmp.path() / "数据.bin"));
  EXPECT_EQ(read_whole_file(path), bytes) << hex(read_whole_file(path));

  // A folder where a file is expected cannot be read, and says so.
  fs::create_directory(tmp.path() / "folder");
  EXPECT_EQ(read_file_or_missing(text_path(tmp.path() / "folder")), std::nullopt);
  EXPECT_TRUE(read_whole_file(text_path(tmp.path() / "folder")).empty());
}

TEST(WholeFiles, WriteReplacesTheFileAtomically) {
  testing::TempDir tmp;
  const fs::path file = tmp.path() / "a.txt";
  const Text path = text_path(file);
  ASSERT_TRUE(write_whole_file(path, bytes_of("old contents")));

  // A reader holding the old file keeps seeing all of it: the new bytes go to
  // a new file that is renamed over the old one, never written into it.
  const int reader = ::open(file.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  ASSERT_TRUE(write_whole_file(path, bytes_of("new")));
  char buffer[64] = {};
  const ssize_t n = ::pread(reader, buffer, sizeof buffer, 0);
  ::close(reader);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n > 0 ? n : 0)), "old contents");
  EXPECT_EQ(text_of(read_whole_file(path)), "new");
  EXPECT_EQ(entries_in(tmp.path()), 1) << "no temporary file is left behind";

  // Nowhere to write: nothing happens and the failure is reported.
  EXPECT_FALSE(write_whole_file(text_path(tmp.path() / "missing" / "b.txt"), bytes_of("x")));
  EXPECT_FALSE(write_whole_file("", bytes_of("x")));
  EXPECT_EQ(entries_in(tmp.path()), 1);
}

TEST(WholeFiles, AccessOfNewAndReplacedFiles) {
  testing::TempDir tmp;
  const mode_t old_umask = ::umask(0);
  const fs::path file = tmp.path() / "shared.txt";
  ASSERT_TRUE(write_whole_file(text_path(file), bytes_of("a")));
  EXPECT_EQ(mode_of(file), 0666u);
  ::chmod(file.c_str(), 0640);
  ASSERT_TRUE(write_whole_file(text_path(file), bytes_of("b")));
  EXPECT_EQ(mode_of(file), 0640u) << "a replaced file keeps its mode";

  const fs::path secret = tmp.path() / "secret.txt";
  ASSERT_TRUE(write_whole_file(text_path(secret), bytes_of("a"), FileAccess::owner_only));
  EXPECT_EQ(mode_of(secret), 0600u);
  ::chmod(secret.c_str(), 0644);
  ASSERT_TRUE(write_whole_file(text_path(secret), bytes_of("b"), FileAccess::owner_only));
  EXPECT_EQ(mode_of(secret), 0600u) << "an owner-only file is tightened when replaced";
  ::umask(old_umask);
}

TEST(AppendToFile, CreatesTheFileThenAddsAtItsEnd) {
  testing::TempDir tmp;
  const Text path = text_path(tmp.path()) + gbk("\\签到结果.txt");
  ASSERT_TRUE(append_to_file(path, bytes_of("one\r\n")));
  ASSERT_TRUE(append_to_file(path, bytes_of(gbk("二\r\n"))));
  ASSERT_TRUE(append_to_file(path, Bytes()));
  EXPECT_EQ(text_of(read_whole_file(path)), "one\r\n" + gbk("二\r\n"));
  EXPECT_TRUE(fs::exists(tmp.path() / "签到结果.txt"));
  EXPECT_FALSE(append_to_file(text_path(tmp.path() / "missing" / "x.txt"), bytes_of("x")));
}

}  // namespace
}  // namespace ck::platform
