// Cutting values out of texts at literal markers, with the text search rule:
// 1-based byte positions, exact bytes (ASCII case folded only when asked), and
// a match never starting on the second byte of a double-byte GBK character.
// A missing marker yields "", never the whole input.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace ck {

// Position (1-based) of the first `needle` at or after `start`, or -1.
int find_text(std::string_view haystack, std::string_view needle, int start = 1, bool ignore_case = false);
// Position of the last `needle` lying wholly within the first `limit - 1`
// bytes (the whole text when `limit` is empty), or -1.
int find_text_last(std::string_view haystack, std::string_view needle, std::optional<int> limit = std::nullopt,
                   bool ignore_case = false);
bool contains_text(std::string_view haystack, std::string_view needle, bool ignore_case = false);

// "#引号" in either marker stands for a double quote.
Text text_between(std::string_view text, std::string_view left, std::string_view right, int start = 1,
                  bool ignore_case = false);
Text text_before(std::string_view text, std::string_view marker, int start = 0, bool ignore_case = false);
Text text_after_last(std::string_view text, std::string_view marker, std::optional<int> start = std::nullopt,
                     bool ignore_case = false);

// Every occurrence of `from` replaced by `to`, left to right, not rescanning
// what was put in; the search rule above decides where `from` occurs.
Text replace_text(std::string_view text, std::string_view from, std::string_view to, bool ignore_case = false);

// Split at every `separator`: "" gives no pieces, a leading separator gives an
// empty first piece, two in a row an empty piece between them, and a trailing
// separator no empty last piece.
std::vector<Text> split_text(std::string_view text, std::string_view separator);

// Remove spaces (0x20 and the full-width space A1 A1) at both ends.
Text trim_spaces(std::string_view text);
// Remove every space, wherever it stands.
Text remove_spaces(std::string_view text);

}  // namespace ck
