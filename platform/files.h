// Files as the program names them: GBK paths joined with "\".
//
// The layers above build paths the Windows way (the program's directory, a
// backslash, a file name, all GBK). This layer maps such a path onto the file
// system: "\" (and "/") separate the names, and every name is stored as
// UTF-8. A leading "\" is the root, so "\home\me\a.ini" is /home/me/a.ini.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace ck::platform {

// The file-system path of a GBK path text.
std::filesystem::path native_path(std::string_view path_text);
// The GBK path text of a file-system path ("/" becomes "\"). A character GBK
// cannot hold becomes "?".
Text path_text(const std::filesystem::path& path);

// The directory of the program's executable, without a trailing backslash.
Text program_directory();

// Test seam: while alive, program_directory() returns `directory` (a GBK path
// text). Scopes nest.
class ScopedProgramDirectory {
 public:
  explicit ScopedProgramDirectory(Text directory);
  ~ScopedProgramDirectory();
  ScopedProgramDirectory(const ScopedProgramDirectory&) = delete;
  ScopedProgramDirectory& operator=(const ScopedProgramDirectory&) = delete;

 private:
  Text directory_;
  const Text* previous_;
};

// The whole file; a missing or unreadable file reads as empty.
Bytes read_whole_file(std::string_view path_text);
// The same, telling the two apart: empty bytes when the file does not exist,
// nullopt when it exists but cannot be read (so a caller about to rewrite it
// does not mistake it for an empty one).
std::optional<Bytes> read_file_or_missing(std::string_view path_text);

enum class FileAccess {
  shared,      // a new file gets the usual mode (0666 less the umask); an existing one keeps its mode
  owner_only,  // the file ends up readable and writable by its owner only (0600)
};

// Replaces the file with `bytes` atomically: the bytes go to a temporary file
// in the same folder, which is flushed to disk and renamed over the target,
// so a crash leaves either the old file or the new one, never a cut one.
// Returns false (and leaves the old file as it was) on any failure.
bool write_whole_file(std::string_view path_text, const Bytes& bytes, FileAccess access = FileAccess::shared);

// Appends `bytes` at the end of the file, creating it when missing.
bool append_to_file(std::string_view path_text, const Bytes& bytes);

}  // namespace ck::platform
