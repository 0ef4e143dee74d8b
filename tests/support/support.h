// Small helpers every test folder shares.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace ck::testing {

// A fresh folder under the system's temporary directory, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// "48 65 6C" style dump, for failure messages (never raw GBK on a terminal).
std::string hex(std::string_view bytes);
std::string hex(const Bytes& bytes);
// "0061 7B7E" style dump of UTF-16 units.
std::string hex16(std::u16string_view units);

// GBK Text for a UTF-8 literal written in a test.
Text gbk(std::string_view utf8);

std::string read_whole_file(const std::filesystem::path& path);
void write_whole_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace ck::testing
