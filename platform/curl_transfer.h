// One HTTP exchange driven through the libcurl multi interface, in the
// phases the WinHttp calls expose: send, receive the final headers, then the
// body piece by piece. Internal to the WinHttp layer.
//
// Each transfer owns its multi and easy handle: no share, no connection
// reuse, and the cookie engine (when on) lives and dies with the transfer.
// The body streams: the transfer pauses once about a megabyte waits unread,
// so memory stays near the one copy the reader makes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace ck::platform::detail {

struct HeaderLine {
  std::string name;   // bytes as they go on the wire
  std::string value;
};

struct TransferSettings {
  std::string verb = "GET";
  std::string url;  // absolute, already escaped
  std::vector<HeaderLine> headers;        // to the server
  std::vector<HeaderLine> proxy_headers;  // to the proxy only
  Bytes body;
  bool send_body = false;  // false: no body and no Content-Length
  bool http_1_0 = false;
  // Milliseconds; 0 or less means no limit.
  int resolve_ms = 0;
  int connect_ms = 0;
  int send_ms = 0;
  int receive_ms = 0;
  bool verify_peer = true;
  bool verify_host = true;
  bool follow_redirects = true;
  bool cookies = true;
  bool server_auth = false;
  std::string server_user;
  std::string server_password;
  bool proxy_auth = false;
  std::string proxy_user;
  std::string proxy_password;
  // "host:port" of the proxy for a URL with this scheme ("http"/"https") and
  // host, or "" for a direct connection.
  std::function<std::string(std::string_view scheme, std::string_view host)> proxy_for;
};

class CurlTransfer {
 public:
  explicit CurlTransfer(TransferSettings settings);
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Each returns false with error() set when its phase fails.
  bool send();     // until the request has gone out (or an answer begins)
  bool receive();  // until the final response's headers are in
  // Body bytes that can be read now; waits for some unless the answer is
  // complete (0). After a break, reports 1 so that read() reports it.
  bool available(std::size_t* count);
  bool read(void* buffer, std::size_t size, std::size_t* got);

  // The final response: status line and header lines, without line ends.
  const std::vector<std::string>& header_lines() const;
  int status_code() const;
  // The WinHttp error code of the last failing phase.
  std::uint32_t error() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Unsafe characters of a URL's path and query percent-escaped (see winhttp.h).
std::string escape_url_bytes(std::string_view bytes, bool escape_percent = false, bool leave_query = false);

// UTF-8 of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// Whether WinHttpOpen would take `list` as a named proxy.
bool valid_proxy_list(std::u16string_view list);

}  // namespace ck::platform::detail
