#include "web/http_winhttp.h"

#include <algorithm>
#include <string>

#include "platform/message_pump.h"
#include "platform/winhttp.h"
#include "text/codepage.h"
#include "text/cut.h"
#include "text/regex_matcher.h"
#include "web/decode.h"
#include "web/headers.h"
#include "web/literals.h"

namespace ck {
namespace {

using literals::WinHttpError;
namespace p = platform;

constexpr std::string_view kVerbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};

// Timeouts are 32-bit millisecond counts; a larger number of seconds is held
// at the largest that fits instead of overflowing.
constexpr int kMaxTimeoutSeconds = 2147483;

struct DefaultHeader {
  std::string_view searched;
  std::string_view line;
  bool post_only;
};

constexpr DefaultHeader kDefaultHeaders[] = {
    {"User-Agent: ", "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n", false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312\r\n", false},
    {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
};

// The UTF-16 units of gbk_to_utf16's bytes, without the zero unit (the
// string keeps its own).
std::u16string wide(std::string_view text) {
  const Bytes bytes = gbk_to_utf16(text);
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  if (!units.empty() && units.back() == u'\0') units.pop_back();
  return units;
}

Text narrow(std::u16string_view units) {
  Bytes bytes(units.size() * 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
  return utf16_to_gbk(bytes);
}

Text header_block(const HttpRequestWinhttp& a, const Text& cookie) {
  Text block = a.request_headers.empty() ? Text() : Text(a.request_headers) + "\r\n";
  if (a.add_default_headers) {
    for (const auto& row : kDefaultHeaders) {
      if (row.post_only && a.method != 1) continue;
      if (!contains_text(block, row.searched, true)) block += row.line;
    }
  }
  if (a.normalize_headers) block = normalize_header_names(block);
  if (contains_text(block, "Connection") && named_header_value(block, "Connection") == "keep-alive")
    block = replace_text(block, "Connection: keep-alive\r\n", "");
  // A Cookie line of the caller's wins over the cookie argument.
  if (!contains_text(block, "Cookie:", true) && !cookie.empty()) {
    if (contains_text(cookie, "Cookie:", true))
      block += "\r\n" + cookie + "\r\n";
    else
      block += "\r\nCookie: " + cookie + "\r\n";
  }
  return block;
}

enum class Ending {
  kPumpFirst,  // process pending window messages, then close
  kAtOnce,     // close without processing messages
};

struct Handles {
  p::HINTERNET session = nullptr;
  p::HINTERNET connect = nullptr;
  p::HINTERNET request = nullptr;
  Handles() = default;
  Handles(const Handles&) = delete;
  Handles& operator=(const Handles&) = delete;
  ~Handles() {  // reverse order of opening; a handle never opened is skipped
    if (request) p::WinHttpCloseHandle(request);
    if (connect) p::WinHttpCloseHandle(connect);
    if (session) p::WinHttpCloseHandle(session);
  }
};

bool set_dword_option(p::HINTERNET request, p::DWORD option, p::DWORD value) {
  return p::WinHttpSetOption(request, option, &value, sizeof value);
}

}  // namespace

Text named_header_value(std::string_view header_block, std::string_view name) {
  for (const auto& line : split_text(header_block, "\r\n"))
    if (std::string_view(line).substr(0, name.size()) == name) return text_after_last(line, Text(name) + ": ");
  return {};
}

Text http_request_winhttp(const HttpRequestWinhttp& a) {
  RegexMatcher matcher;  // created first and destroyed last: COM for the whole exchange
  Text result;
  Ending ending;
  {
    Handles h;
    auto report = [&](WinHttpError error) {
      if (a.status_text) *a.status_text = literals::winhttp_error(error);
    };
    ending = [&] {
      if (!p::WinHttpCheckPlatform()) return report(WinHttpError::kNotSupported), Ending::kPumpFirst;

      const std::u16string url = wide(a.url);
      p::URL_COMPONENTS parts{};
      parts.dwStructSize = sizeof parts;
      parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
          static_cast<p::DWORD>(-1);
      if (!p::WinHttpCrackUrl(url.c_str(), static_cast<p::DWORD>(url.size()), 0, &parts))
        return report(WinHttpError::kCrackUrl), Ending::kPumpFirst;
      const Text host = narrow({parts.lpszHostName, parts.dwHostNameLength});
      const bool https = parts.nScheme == p::INTERNET_SCHEME_HTTPS;
      const std::u16string_view path(parts.lpszUrlPath, parts.dwUrlPathLength);
      const std::u16string_view extra(parts.lpszExtraInfo, parts.dwExtraInfoLength);
      // An empty path is "/"; the query of "http://host?a=1" still travels.
      const std::u16string object = (path.empty() ? std::u16string(u"/") : std::u16string(path)) + std::u16string(extra);

      const Text proxy_name = a.proxy.empty() ? Text() : (https ? Text(a.proxy) : "http=" + Text(a.proxy));
      const std::u16string proxy_wide = wide(proxy_name);
      h.session = p::WinHttpOpen(nullptr, a.proxy.empty() ? p::WINHTTP_ACCESS_TYPE_NO_PROXY
                                                          : p::WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                 proxy_wide.c_str(), nullptr, 0);
      if (!h.session) return report(WinHttpError::kOpenSession), Ending::kPumpFirst;

      const int t = a.timeout_seconds > 0 ? std::min(a.timeout_seconds, kMaxTimeoutSeconds) * 1000 : 30000;
      if (!p::WinHttpSetTimeouts(h.session, t, t, t, t)) return report(WinHttpError::kSetTimeouts), Ending::kPumpFirst;

      h.connect = p::WinHttpConnect(h.session, wide(host).c_str(), parts.nPort, 0);
      if (!h.connect) return report(WinHttpError::kConnect), Ending::kPumpFirst;

      const std::string_view verb = a.method >= 0 && a.method <= 7 ? kVerbs[a.method] : kVerbs[0];
      h.request = p::WinHttpOpenRequest(h.connect, wide(verb).c_str(), object.c_str(), nullptr, nullptr, nullptr,
                                        https ? p::WINHTTP_FLAG_SECURE : 0);
      if (!h.request) return report(WinHttpError::kOpenRequest), Ending::kPumpFirst;

      if (!a.server_user.empty() && !a.server_password.empty() &&
          !p::WinHttpSetCredentials(h.request, p::WINHTTP_AUTH_TARGET_SERVER, p::WINHTTP_AUTH_SCHEME_BASIC,
                                    wide(a.server_user).c_str(), wide(a.server_password).c_str(), nullptr))
        return report(WinHttpError::kCredentials), Ending::kAtOnce;
      if (!a.proxy_user.empty() && !a.proxy_password.empty() &&
          !p::WinHttpSetCredentials(h.request, p::WINHTTP_AUTH_TARGET_PROXY, p::WINHTTP_AUTH_SCHEME_BASIC,
                                    wide(a.proxy_user).c_str(), wide(a.proxy_password).c_str(), nullptr))
        return report(WinHttpError::kCredentials), Ending::kAtOnce;

      // Certificate errors are ignored, for plain HTTP requests too.
      if (!set_dword_option(h.request, p::WINHTTP_OPTION_SECURITY_FLAGS, 0x3300))
        return report(WinHttpError::kSecurityFlags), Ending::kAtOnce;
      // Without a cookie of the caller's, WinHttp adds none of its own. With
      // one, WinHttp's cookie handling stays at its default: the caller's
      // Cookie line goes out as built below.
      const Text cookie = a.cookie ? *a.cookie : Text();
      if (cookie.empty() && !set_dword_option(h.request, p::WINHTTP_OPTION_DISABLE_FEATURE, p::WINHTTP_DISABLE_COOKIES))
        return report(WinHttpError::kDisableCookies), Ending::kAtOnce;
      if (a.no_redirect &&
          !set_dword_option(h.request, p::WINHTTP_OPTION_DISABLE_FEATURE, p::WINHTTP_DISABLE_REDIRECTS))
        return report(WinHttpError::kDisableRedirects), Ending::kAtOnce;

      // An empty block (no defaults, no caller headers, no cookie) needs no call.
      const std::u16string block = wide(header_block(a, cookie));
      if (!block.empty() && !p::WinHttpAddRequestHeaders(h.request, block.c_str(), static_cast<p::DWORD>(block.size()),
                                                         p::WINHTTP_ADDREQ_FLAG_ADD))
        return report(WinHttpError::kAddHeaders), Ending::kPumpFirst;

      const std::span<const std::uint8_t> body =
          !a.body_bytes.empty() ? a.body_bytes
                                : std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(a.body_text.data()),
                                                                a.body_text.size());
      const auto body_size = static_cast<p::DWORD>(body.size());
      if (!p::WinHttpSendRequest(h.request, nullptr, 0, body.empty() ? nullptr : body.data(), body_size, body_size, 0))
        return report(WinHttpError::kSendRequest), Ending::kPumpFirst;
      if (!p::WinHttpReceiveResponse(h.request, nullptr))
        return report(WinHttpError::kReceiveResponse), Ending::kPumpFirst;

      // Each piece is read into a zero-filled tail of exactly the reported
      // size, so the answer is not copied a second time.
      Bytes answer;
      for (;;) {
        p::DWORD available = 0;
        if (!p::WinHttpQueryDataAvailable(h.request, &available) || available < 1) break;
        const std::size_t old = answer.size();
        answer.resize(old + available);
        p::DWORD got = 0;
        if (!p::WinHttpReadData(h.request, answer.data() + old, available, &got)) {
          answer.resize(old);
          report(WinHttpError::kReadData);
          break;
        }
        answer.resize(old + std::min(got, available));
      }

      p::DWORD size = 0;
      p::WinHttpQueryHeaders(h.request, p::WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr, nullptr, &size, nullptr);
      std::u16string raw((size + 1) / 2, u'\0');
      p::DWORD length = size;
      if (!p::WinHttpQueryHeaders(h.request, p::WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr, raw.empty() ? nullptr : raw.data(),
                                  &length, nullptr))
        return Ending::kPumpFirst;
      const Text headers = narrow(raw);
      if (a.response_headers) *a.response_headers = headers;
      result = decode_winhttp_response({.response_headers = headers,
                                        .body = answer,
                                        .cookie = a.cookie,
                                        .merge_response_cookies = a.merge_response_cookies,
                                        .matcher = &matcher,
                                        .status_text = a.status_text,
                                        .response_cookies = a.response_cookies,
                                        .redirect_location = a.redirect_location,
                                        .response_bytes = a.response_bytes});
      return Ending::kPumpFirst;
    }();
    if (ending == Ending::kPumpFirst) p::process_pending_messages();
  }
  return result;
}

}  // namespace ck
