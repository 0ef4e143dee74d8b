#include "web/decode.h"

#include <optional>

#include "platform/adodb_stream.h"
#include "platform/codepage.h"
#include "platform/com.h"
#include "platform/message_pump.h"
#include "text/cut.h"
#include "web/cookies.h"

namespace ck {
namespace {

// The charset a page declares in a meta tag; "." stops at a line break, so
// the tag must stand on one line up to "charset=".
constexpr std::string_view kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
// Only the start of the page is looked at for the tag.
constexpr std::size_t kCharsetWindow = 1024;

bool starts_with_location(std::string_view line) {
  constexpr std::string_view kLocation = "Location: ";
  if (line.size() < kLocation.size()) return false;
  for (std::size_t i = 0; i < kLocation.size(); ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    char k = kLocation[i];
    if (k >= 'A' && k <= 'Z') k = static_cast<char>(k - 'A' + 'a');
    if (c != k) return false;
  }
  return true;
}

// The body decoded from `charset` through the byte-stream object, as GBK;
// nothing when the object cannot be created or refuses the charset, in which
// case the caller keeps the undecoded text.
std::optional<Text> decode_through_stream(const Bytes& body, std::string_view charset) {
  auto stream = platform::create_object<platform::AdodbStream>();
  if (!stream) return std::nullopt;
  stream->set_type(platform::AdodbStream::kTypeBinary);
  stream->set_mode(platform::AdodbStream::kModeReadWrite);
  stream->open();
  stream->write(body);
  stream->set_position(0);
  stream->set_type(platform::AdodbStream::kTypeText);
  const bool accepted = stream->set_charset(platform::ansi_to_wide(charset));
  std::optional<std::u16string> read = accepted ? stream->read_text() : std::nullopt;
  stream->close();
  if (!read) return std::nullopt;
  // A zero character ends the text, as it ends every Text.
  const std::size_t zero = read->find(u'\0');
  if (zero != std::u16string::npos) read->resize(zero);
  return platform::wide_to_ansi(*read);
}

}  // namespace

Text decode_winhttp_response(const DecodeWinhttpResponse& args) {
  const std::string_view headers = args.response_headers;

  if (args.status_text) {
    // The status line is "HTTP/1.1 200 OK": code and reason start at byte 10.
    const int line_end = find_text(headers, "\r\n", 10);
    *args.status_text = line_end > 0 ? Text(headers.substr(9, static_cast<std::size_t>(line_end - 10))) : Text();
  }

  Text cookies = collect_set_cookies(headers);
  for (const auto& line : split_text(headers, "\r\n")) {
    if (args.redirect_location && starts_with_location(line)) *args.redirect_location = line.substr(10);
    platform::process_pending_messages();
  }
  if (args.merge_response_cookies && args.cookie && !args.cookie->empty()) cookies = merge_cookies(args.cookie, cookies);
  if (args.response_cookies) *args.response_cookies = cookies;
  if (args.response_bytes) *args.response_bytes = args.body;

  Text result = text_of(args.body);

  {
    platform::ComScope com;
    std::optional<RegexMatcher> own;  // only when the exchange lent none
    RegexMatcher* matcher = args.matcher;
    if (!matcher) matcher = &own.emplace();
    Text charset;
    if (matcher->execute(kCharsetPattern, std::string_view(result).substr(0, kCharsetWindow)))
      charset = matcher->submatch_text(1, 1);
    // "gbk" and "gb2312" are the text's own code page; any other spelling,
    // "GBK" included, goes through the stream.
    if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
      if (auto decoded = decode_through_stream(args.body, charset)) result = std::move(*decoded);
    }
    platform::process_pending_messages();
  }
  platform::process_pending_messages();
  return result;
}

}  // namespace ck
