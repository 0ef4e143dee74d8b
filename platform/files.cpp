#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "platform/codepage.h"

namespace ck::platform {
namespace {

const Text* g_program_directory = nullptr;

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A new, exclusive file beside `target`; its name is the target's with a
// random suffix, so two writers never share one.
int create_temporary(const std::filesystem::path& target, mode_t mode, std::filesystem::path* temp) {
  std::random_device rd;
  for (int attempt = 0; attempt < 16; ++attempt) {
    *temp = target;
    temp->concat(".tmp-" + std::to_string(rd()));
    const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void sync_directory(const std::filesystem::path& directory) {
  const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::filesystem::path native_path(std::string_view path_text) {
  std::string utf8 = gbk_to_utf8_edge(path_text);
  // After the conversion a 0x5C byte can only be a backslash: in GBK it may
  // also be the second byte of a character.
  for (char& c : utf8) {
    if (c == '\\') c = '/';
  }
  return std::filesystem::path(utf8);
}

Text path_text(const std::filesystem::path& path) {
  Text text = utf8_to_gbk_edge(path.string());
  // A GBK second byte is 0x40 or above, so every 0x2F is a separator.
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

Text program_directory() {
  if (g_program_directory) return *g_program_directory;
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return Text();
  Text directory = path_text(exe.parent_path());
  while (!directory.empty() && directory.back() == '\\') directory.pop_back();
  return directory;
}

ScopedProgramDirectory::ScopedProgramDirectory(Text directory)
    : directory_(std::move(directory)), previous_(g_program_directory) {
  g_program_directory = &directory_;
}

ScopedProgramDirectory::~ScopedProgramDirectory() { g_program_directory = previous_; }

std::optional<Bytes> read_file_or_missing(std::string_view path_text) {
  const std::filesystem::path path = native_path(path_text);
  if (path.empty()) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Bytes();
    return std::nullopt;
  }
  std::optional<Bytes> bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    bytes.emplace();
    bytes->reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t chunk[16384];
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) bytes.reset();  // a half-read file is not the file
      if (n <= 0) break;
      bytes->insert(bytes->end(), chunk, chunk + n);
    }
  }
  ::close(fd);
  return bytes;
}

Bytes read_whole_file(std::string_view path_text) {
  std::optional<Bytes> bytes = read_file_or_missing(path_text);
  return bytes ? std::move(*bytes) : Bytes();
}

bool write_whole_file(std::string_view path_text, const Bytes& bytes, FileAccess access) {
  const std::filesystem::path target = native_path(path_text);
  if (target.empty() || !target.has_filename()) return false;

  std::filesystem::path temp;
  const int fd = create_temporary(target, access == FileAccess::owner_only ? 0600 : 0666, &temp);
  if (fd < 0) return false;

  bool ok = true;
  if (access == FileAccess::owner_only) {
    ok = ::fchmod(fd, 0600) == 0;
  } else {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
  }
  ok = ok && write_all(fd, bytes.data(), bytes.size());
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  sync_directory(target.parent_path());
  return true;
}

bool append_to_file(std::string_view path_text, const Bytes& bytes) {
  const std::filesystem::path path = native_path(path_text);
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = write_all(fd, bytes.data(), bytes.size());
  ok = (::close(fd) == 0) && ok;
  return ok;
}

}  // namespace ck::platform
