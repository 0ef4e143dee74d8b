// Private-profile (INI) values, with the behaviour of the Windows functions
// GetPrivateProfileStringA / WritePrivateProfileStringA.
//
// The file is GBK bytes with CR LF line ends, so a file written here reads the
// same under Windows. Section and key names are compared without regard to
// ASCII case (the second byte of a GBK character is never folded). Around a
// name or value, blanks (space, tab) are not part of it, and a value enclosed
// in a pair of double or single quotes is read without them.
//
// `path` is a GBK path text (see platform/files.h).
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/types.h"

namespace ck::platform {

// The value of `key` in `section`, or `default_value` (less its trailing
// blanks) when the file, the section or the key is missing. The result is cut
// to fit a buffer of `buffer_size` bytes that also holds the terminating zero,
// so at most buffer_size - 1 bytes come back; the cut never splits a GBK
// character.
Text get_private_profile_string(std::string_view section, std::string_view key, std::string_view default_value,
                                std::size_t buffer_size, std::string_view path);

// Sets `key` in `section` to `value`, creating the file and the section when
// needed; every other section, key and line of the file stays as it was. A
// value is one line: it ends at its first line break.
//
// The file may hold secrets (the account's login cookie), so it is replaced
// atomically (a crash never leaves it cut short) and is readable and writable
// by its owner only (0600). Returns false when nothing was written (empty
// section or key, a file that exists but cannot be read, a failed write).
bool write_private_profile_string(std::string_view section, std::string_view key, std::string_view value,
                                  std::string_view path);

}  // namespace ck::platform
