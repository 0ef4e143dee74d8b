// One HTTP or HTTPS exchange through the WinHttp request object: default
// and caller headers, the cookie header, optional proxy credentials, the
// body; back come the response body, headers, status code and the updated
// cookies. Failures are silent: the caller sees an empty body or status 0.
//
//   Bytes answer = http_request_com({.url = url, .method = 1, .cookie = &cookie,
//                                    .request_headers = &headers});
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "platform/types.h"
#include "platform/winhttp_request.h"

namespace ck {

struct HttpRequestCom {
  std::string_view url{};  // handed to Open unchanged
  int method = 0;          // 0 GET ... 7 CONNECT; out of range: GET
  std::string_view body_text{};  // sent when body_bytes is empty
  // In/out. nullptr: not supplied (no Cookie header, no merge); a pointer to
  // "" is supplied and empty (an empty Cookie header, and the merge).
  Text* cookie = nullptr;
  Text* response_cookies = nullptr;
  Text* request_headers = nullptr;  // in/out: lines joined by CR LF, rewritten with defaults
  Text* response_headers = nullptr;
  int* status_code = nullptr;  // 0 when there is no answer
  bool no_redirect = false;
  std::span<const std::uint8_t> body_bytes{};  // wins over body_text when not empty
  std::string_view proxy{};                   // "host:port"; empty: no proxy setting
  int timeout_seconds = 0;                    // -1: the object's own; below 1: 15 seconds
  std::string_view proxy_user{};
  std::string_view proxy_password{};
  int proxy_auth_mode = 1;  // 1: Basic proxy credentials; anything else: none
  // An object to use instead of a new one. Supplied but empty, every call on
  // it fails and the exchange goes on as it does after failing calls.
  std::optional<std::shared_ptr<platform::WinHttpRequest>> request_object{};
  bool merge_response_cookies = true;
  bool add_default_headers = true;
  bool normalize_headers = true;
};

// The response body; empty when there is none. When no request object can
// be created, nothing at all is written.
Bytes http_request_com(const HttpRequestCom& args);

}  // namespace ck
