#include "platform/profile.h"

#include <optional>
#include <vector>

#include "platform/files.h"

namespace ck::platform {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool is_lead_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x81 && byte <= 0xFE;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// ASCII case is ignored for single-byte characters only: the second byte of
// a GBK character may look like a letter and must match exactly.
bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (is_lead_byte(a[i]) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (fold(a[i]) != fold(b[i])) {
      return false;
    }
  }
  return true;
}

// One line of the file: its content without the line end, and where the next
// line starts.
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

std::vector<Line> split_lines(std::string_view s) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < s.size()) {
    const std::size_t lf = s.find('\n', begin);
    const std::size_t next = lf == std::string_view::npos ? s.size() : lf + 1;
    std::size_t end = lf == std::string_view::npos ? s.size() : lf;
    if (end > begin && s[end - 1] == '\r') --end;
    lines.push_back({begin, end, next});
    begin = next;
  }
  return lines;
}

// "[name]" gives the name; a ']' counts only as a single-byte character.
std::optional<std::string_view> section_header(std::string_view line) {
  line = trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  std::optional<std::size_t> close;
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (is_lead_byte(line[i]) && i + 1 < line.size()) {
      ++i;
    } else if (line[i] == ']') {
      close = i;
    }
  }
  if (!close) return std::nullopt;
  return trim(line.substr(1, *close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// "key=value"; a line without "=" is a key without a value. Blank lines and
// ";" comments are no keys. ('=' and ';' are below 0x40, so never the second
// byte of a GBK character.)
std::optional<KeyLine> key_line(std::string_view line) {
  line = trim(line);
  if (line.empty() || line.front() == ';') return std::nullopt;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return KeyLine{line, {}};
  return KeyLine{trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
}

// Where a (section, key) pair sits in the file. Only the first section of a
// name and the first key of a name within it count.
struct Location {
  std::optional<std::size_t> section;       // index of the header line
  std::size_t last_content = 0;             // last non-blank line of that section (or its header)
  std::optional<std::size_t> key;           // index of the key line
  std::string_view value;
};

Location locate(std::string_view file, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
  Location where;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = file.substr(lines[i].begin, lines[i].end - lines[i].begin);
    if (std::optional<std::string_view> name = section_header(line)) {
      if (where.section) break;  // the section ends here
      if (same_name(*name, section)) {
        where.section = i;
        where.last_content = i;
      }
      continue;
    }
    if (!where.section) continue;
    if (!trim(line).empty()) where.last_content = i;
    if (where.key) continue;
    if (std::optional<KeyLine> kv = key_line(line); kv && same_name(kv->key, key)) {
      where.key = i;
      where.value = kv->value;
    }
  }
  return where;
}

std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The longest prefix of at most `limit` bytes that ends on a character boundary.
std::string_view cut(std::string_view s, std::size_t limit) {
  if (s.size() <= limit) return s;
  std::size_t end = 0;
  while (end < limit) {
    const std::size_t step = (is_lead_byte(s[end]) && end + 1 < s.size()) ? 2 : 1;
    if (end + step > limit) break;
    end += step;
  }
  return s.substr(0, end);
}

std::string_view as_text(const Bytes& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

Text get_private_profile_string(std::string_view section, std::string_view key, std::string_view default_value,
                                std::size_t buffer_size, std::string_view path) {
  if (buffer_size == 0) return Text();
  std::string_view value = default_value;
  while (!value.empty() && is_blank(value.back())) value.remove_suffix(1);

  const Bytes bytes = read_whole_file(path);
  const std::string_view file = as_text(bytes);
  const Location where = locate(file, split_lines(file), section, key);
  if (where.key) value = unquote(where.value);

  // A Text ends at a zero byte, as the buffer would.
  value = value.substr(0, value.find('\0'));
  return Text(cut(value, buffer_size - 1));
}

bool write_private_profile_string(std::string_view section, std::string_view key, std::string_view value,
                                  std::string_view path) {
  if (section.empty() || key.empty()) return false;
  value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));

  const std::optional<Bytes> bytes = read_file_or_missing(path);
  if (!bytes) return false;  // never replace a file we could not read
  const std::string_view file = as_text(*bytes);
  const std::vector<Line> lines = split_lines(file);
  const Location where = locate(file, lines, section, key);

  std::string out;
  out.reserve(file.size() + section.size() + key.size() + value.size() + 8);
  auto key_text = [&](std::string_view name) {
    std::string line(name);
    line += '=';
    line += value;
    return line;
  };

  if (where.key) {
    // The key's line is rewritten, its name spelled as the file has it.
    const Line& line = lines[*where.key];
    const std::optional<KeyLine> kv = key_line(file.substr(line.begin, line.end - line.begin));
    out.append(file.substr(0, line.begin));
    out += key_text(kv->key);
    out.append(file.substr(line.end));
  } else if (where.section) {
    // A new key goes after the last line of its section, before any blank
    // lines that separate it from the next one.
    const Line& line = lines[where.last_content];
    out.append(file.substr(0, line.next));
    if (line.next == line.end) out += kLineEnd;  // the file's last line had no line end
    out += key_text(key);
    out += kLineEnd;
    out.append(file.substr(line.next));
  } else {
    out.append(file);
    if (!file.empty() && file.back() != '\n') out += kLineEnd;
    out += '[';
    out += section;
    out += ']';
    out += kLineEnd;
    out += key_text(key);
    out += kLineEnd;
  }
  return write_whole_file(path, bytes_of(out), FileAccess::owner_only);
}

}  // namespace ck::platform
