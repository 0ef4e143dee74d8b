#include "web/http_com.h"

#include <algorithm>
#include <string>

#include "platform/codepage.h"
#include "platform/com.h"
#include "text/cut.h"
#include "web/base64.h"
#include "web/cookies.h"
#include "web/headers.h"

namespace ck {
namespace {

namespace p = platform;

constexpr std::string_view kVerbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr long kMaxTimeoutSeconds = 2147483;  // the largest that fits 32-bit milliseconds
constexpr long kSslErrorIgnoreFlags = 0x3300;

struct DefaultHeader {
  std::string_view test;
  std::string_view appended;  // "" for the Referer, which takes the URL
  bool post_only;
};

constexpr DefaultHeader kDefaultHeaders[] = {
    {"Accept:", "\r\nAccept: */*", false},
    {"Referer:", "", false},
    {"Accept-Language:", "\r\nAccept-Language: zh-cn", false},
    {"User-Agent:", "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)", false},
    {"Content-Type:", "\r\nContent-Type: application/x-www-form-urlencoded", true},
};

}  // namespace

Bytes http_request_com(const HttpRequestCom& a) {
  p::ComScope com;
  const int method = a.method < 0 || a.method > 7 ? 0 : a.method;

  // A shared_ptr copy is the exchange's own reference; a borrowed object
  // stays alive for its owner when this one goes.
  std::shared_ptr<p::WinHttpRequest> object =
      a.request_object ? *a.request_object : p::create_object<p::WinHttpRequest>();
  if (!a.request_object && !object) return {};
  // A call on no object fails like any failing call: no effect, no value.
  auto call = [&](auto&& step) {
    if (object) step(*object);
  };

  if (a.timeout_seconds != -1) {
    const long ms = a.timeout_seconds < 1 ? 15000 : std::min<long>(a.timeout_seconds, kMaxTimeoutSeconds) * 1000;
    call([&](p::WinHttpRequest& o) { o.set_timeouts(ms, ms, ms, ms); });
  }
  if (!a.proxy.empty())
    call([&](p::WinHttpRequest& o) { o.set_proxy(p::WinHttpRequest::kProxySettingProxy, p::ansi_to_wide(a.proxy)); });
  call([&](p::WinHttpRequest& o) { o.open(p::ansi_to_wide(kVerbs[method]), p::ansi_to_wide(a.url), false); });
  if (a.no_redirect) call([&](p::WinHttpRequest& o) { o.set_option(p::WinHttpRequest::kOptionEnableRedirects, 0); });
  call([&](p::WinHttpRequest& o) { o.set_option(p::WinHttpRequest::kOptionSslErrorIgnoreFlags, kSslErrorIgnoreFlags); });

  Text own_headers;
  Text& headers = a.request_headers ? *a.request_headers : own_headers;
  if (a.add_default_headers) {
    for (const auto& row : kDefaultHeaders) {
      if (row.post_only && method != 1) continue;
      if (contains_text(headers, row.test, true)) continue;
      headers += row.appended.empty() ? "\r\nReferer: " + Text(a.url) : Text(row.appended);
    }
  }
  if (a.normalize_headers) headers = normalize_header_names(headers);

  auto set_header = [&](std::string_view name, std::string_view value) {
    call([&](p::WinHttpRequest& o) { o.set_request_header(p::ansi_to_wide(name), p::ansi_to_wide(value)); });
  };
  if (!a.proxy.empty() && !a.proxy_user.empty() && a.proxy_auth_mode == 1) {
    const Text credentials = Text(a.proxy_user) + ":" + Text(a.proxy_password);
    set_header("Proxy-Authorization", "Basic " + base64_encode(bytes_of(credentials)));
  }
  if (a.cookie) {
    if (!a.cookie->empty() && contains_text(*a.cookie, "Cookie:", true))
      *a.cookie = replace_text(*a.cookie, "Cookie:", "", true);
    set_header("Cookie", *a.cookie);
  }
  if (!contains_text(headers, "\r\n")) {
    set_header(header_name(headers), header_value(headers));
  } else {
    for (const auto& line : split_text(headers, "\r\n")) {
      if (line.empty()) continue;
      const Text name = header_name(line);
      const Text value = header_value(line);
      if (name == "Connection" && value == "keep-alive") continue;
      set_header(name, value);
    }
  }

  if (!a.body_bytes.empty()) {
    const Bytes body(a.body_bytes.begin(), a.body_bytes.end());
    call([&](p::WinHttpRequest& o) { o.send(body); });
  } else {
    call([&](p::WinHttpRequest& o) { o.send(p::ansi_to_wide(a.body_text)); });
  }

  Bytes body;
  std::u16string raw_headers;
  long status = 0;
  if (object) {
    body = object->response_body().value_or(Bytes{});
    raw_headers = object->get_all_response_headers().value_or(std::u16string{});
    status = object->status().value_or(0);
  }
  const Text response_headers = p::wide_to_ansi(raw_headers);
  if (a.response_headers) *a.response_headers = response_headers;
  if (a.status_code) *a.status_code = static_cast<int>(status);
  Text cookies = collect_set_cookies(response_headers);
  if (a.merge_response_cookies && a.cookie) cookies = merge_cookies(a.cookie, cookies);
  if (a.response_cookies) *a.response_cookies = cookies;

  object.reset();  // before COM goes
  return body;
}

}  // namespace ck
