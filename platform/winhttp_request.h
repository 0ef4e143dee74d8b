// The WinHttp request object (ProgID "WinHttp.WinHttpRequest.5.1"), built on
// the WinHttp API layer (platform/winhttp.h), which it opens and closes for
// each Send.
//
// Strings are COM strings (UTF-16). Every call that fails returns false (or
// an empty optional) and has no effect, as the automation interface reports
// a failing COM call without a message.
//
// How it behaves where the object leaves a choice:
// - A text body travels as UTF-8; a byte body as it is.
// - A header set again replaces the earlier value (names compare ignoring
//   ASCII case); an empty value removes the header, so it is not sent.
// - Without a User-Agent header the object sends its own.
// - Send is synchronous and reads the whole answer; a Send that fails at any
//   step (connection, timeout, a body cut short) leaves no response.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"
#include "platform/types.h"

namespace ck::platform {

class WinHttpRequest : public ComObject {
 public:
  static constexpr std::string_view kProgId = "WinHttp.WinHttpRequest.5.1";

  // set_proxy settings
  static constexpr long kProxySettingDefault = 0;
  static constexpr long kProxySettingDirect = 1;
  static constexpr long kProxySettingProxy = 2;
  // Option indexes
  static constexpr long kOptionSslErrorIgnoreFlags = 4;
  static constexpr long kOptionEnableRedirects = 6;

  WinHttpRequest();
  ~WinHttpRequest() override;

  // Only synchronous requests (`async` false); http and https URLs.
  // Clears the headers and the response of an earlier request.
  bool open(std::u16string_view method, std::u16string_view url, bool async = false);
  // Milliseconds; 0 or -1 means no limit. Defaults 0, 60000, 30000, 30000.
  bool set_timeouts(long resolve_ms, long connect_ms, long send_ms, long receive_ms);
  // kProxySettingProxy with `server` as WinHttpOpen takes a named proxy
  // ("host:port" for every scheme, or "http=host:port" ...).
  bool set_proxy(long setting, std::u16string_view server = {}, std::u16string_view bypass = {});
  // SslErrorIgnoreFlags: a combination of 0x0100, 0x0200, 0x1000 and 0x2000
  // (default 0). EnableRedirects: 0 or non-zero (default on).
  bool set_option(long option, long value);
  std::optional<long> option(long option) const;
  // Between open and send.
  bool set_request_header(std::u16string_view name, std::u16string_view value);
  bool send(std::u16string_view text = {});
  bool send(const Bytes& body);

  // After a successful send.
  std::optional<Bytes> response_body() const;
  // The header lines without the status line, each followed by CR LF, then
  // one more CR LF.
  std::optional<std::u16string> get_all_response_headers() const;
  std::optional<long> status() const;
  std::optional<std::u16string> status_text() const;

 private:
  bool perform(const Bytes& body);

  struct Header {
    std::u16string name;
    std::u16string value;
  };
  struct Response {
    long status = 0;
    std::u16string status_text;
    std::u16string headers;
    Bytes body;
  };

  bool opened_ = false;
  bool sent_ = false;
  std::u16string method_;
  std::u16string url_;
  std::vector<Header> headers_;
  long timeouts_[4] = {0, 60000, 30000, 30000};
  long proxy_setting_ = kProxySettingDefault;
  std::u16string proxy_server_;
  std::u16string proxy_bypass_;
  long ssl_ignore_flags_ = 0;
  bool redirects_ = true;
  std::optional<Response> response_;
};

}  // namespace ck::platform
