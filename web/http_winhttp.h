// One HTTP or HTTPS exchange through the WinHttp API: browser-like default
// header lines, the caller's cookie, an optional body, the whole answer read
// and decoded by decode_winhttp_response. Every failure writes a numbered
// text into `status_text` and yields "".
//
//   Text page = http_request_winhttp({.url = url, .cookie = &cookie});
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/types.h"

namespace ck {

struct HttpRequestWinhttp {
  std::string_view url{};  // absolute http:// or https:// URL
  int method = 0;          // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; others GET
  std::string_view body_text{};  // sent when body_bytes is empty
  Text* cookie = nullptr;        // in/out: sent in the Cookie line, overwritten by the merge
  Text* response_cookies = nullptr;
  std::string_view request_headers{};  // extra lines "Name: value" joined by CR LF
  Text* response_headers = nullptr;    // the raw block, status line first
  bool no_redirect = false;
  std::string_view server_user{};
  std::string_view server_password{};
  std::string_view proxy{};  // "host:port"
  std::string_view proxy_user{};
  std::string_view proxy_password{};
  int timeout_seconds = 0;  // every phase; 0 or less: 30 seconds
  Text* redirect_location = nullptr;
  Text* status_text = nullptr;  // "200 OK", or the error text
  Bytes* response_bytes = nullptr;
  bool merge_response_cookies = true;
  bool add_default_headers = true;
  std::span<const std::uint8_t> body_bytes{};  // wins over body_text when not empty
  bool normalize_headers = true;
};

// The answer text, or "" after any failure. Outputs a step does not reach
// keep their values.
Text http_request_winhttp(const HttpRequestWinhttp& args);

// The value of the first line of `header_block` that begins with `name`
// (exact bytes), taken after the last name + ": " in it; "" when none does.
Text named_header_value(std::string_view header_block, std::string_view name);

}  // namespace ck
