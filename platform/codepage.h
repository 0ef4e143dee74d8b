// Code-page conversion with the behaviour of the Windows functions
// MultiByteToWideChar / WideCharToMultiByte, over iconv.
//
// Code pages: 936 (GBK), 65001 (UTF-8) and 0 (the ANSI code page, which is
// 936 here); any other code page fails. A character the target code page
// cannot represent becomes "?".
//
// The GBK mapping is glibc's (read from iconv once), which has 0x80 = U+20AC
// like Windows; the user-defined areas that Windows maps to private-use
// characters are undefined here. Invalid input, decided by us:
// - GBK: a lead byte (81-FE) with a trail byte (40-FE, not 7F) that the table
//   leaves undefined gives one U+FFFD for the pair; a lead byte without a
//   trail byte, and 0xFF, give U+FFFD and the next byte is read anew.
// - UTF-8: one U+FFFD per maximal ill-formed subpart (overlong forms,
//   encoded surrogates, above U+10FFFF, stray or missing continuation bytes).
// - UTF-16 to GBK: an unpaired surrogate, and a supplementary character (one
//   for the pair), become the default character; to UTF-8 an unpaired
//   surrogate becomes U+FFFD.
// Flags are accepted and have no effect (WC_COMPOSITECHECK composes nothing).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace ck::platform {

inline constexpr unsigned CP_ACP = 0;
inline constexpr unsigned CP_GBK = 936;
inline constexpr unsigned CP_UTF8 = 65001;
inline constexpr std::uint32_t WC_COMPOSITECHECK = 0x200;

// src_len -1 converts up to and including the first zero byte/unit.
// dst_len 0 asks for the size needed (in units / bytes); otherwise at most
// dst_len are written. Returns the count written (or needed), 0 on failure
// (a buffer too small, src_len 0, an unknown code page). default_char (one
// character, "?" when null) and used_default_char serve code page 936; for
// 65001 both must be null, as on Windows.
int MultiByteToWideChar(unsigned code_page, std::uint32_t flags, const char* src, int src_len, char16_t* dst,
                        int dst_len);
int WideCharToMultiByte(unsigned code_page, std::uint32_t flags, const char16_t* src, int src_len, char* dst,
                        int dst_len, const char* default_char, bool* used_default_char);

// Whole-string helpers for the edges of a layer (Qt, libcurl, PCRE2, file
// names, COM strings). "ANSI" is the ANSI code page, i.e. GBK.
std::u16string ansi_to_wide(std::string_view text);   // COM string from Text
Text wide_to_ansi(std::u16string_view wide);          // Text from COM string, "?" for the unrepresentable
std::string gbk_to_utf8_edge(std::string_view text);  // GBK -> UTF-8 (Qt, file names, libcurl)
Text utf8_to_gbk_edge(std::string_view utf8);         // UTF-8 -> GBK, "?" for the unrepresentable

// One of the system's own non-ASCII literals, written in UTF-8 source,
// as GBK Text. Callers convert once and keep the result.
Text gbk_literal(std::string_view utf8);

}  // namespace ck::platform
