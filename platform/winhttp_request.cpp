#include "platform/winhttp_request.h"

#include <algorithm>
#include <climits>

#include "platform/curl_transfer.h"
#include "platform/winhttp.h"

namespace ck::platform {
namespace {

constexpr char16_t kUserAgent[] = u"Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";
constexpr long kKnownSslFlags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                                SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool iequals(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           return lower(x) == lower(y);
         });
}

bool is_token(std::u16string_view s) {
  if (s.empty()) return false;
  for (char16_t c : s)
    if (c <= 0x20 || c >= 0x7F || std::u16string_view(u"()<>@,;:\\\"/[]?={}").find(c) != std::u16string_view::npos)
      return false;
  return true;
}

// Closes what was opened, in reverse order, on every path.
struct Handles {
  HINTERNET session = nullptr;
  HINTERNET connect = nullptr;
  HINTERNET request = nullptr;
  Handles() = default;
  Handles(const Handles&) = delete;
  Handles& operator=(const Handles&) = delete;
  ~Handles() {
    if (request) WinHttpCloseHandle(request);
    if (connect) WinHttpCloseHandle(connect);
    if (session) WinHttpCloseHandle(session);
  }
};

bool query_text(HINTERNET request, DWORD level, std::u16string* out) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, level, nullptr, nullptr, &size, nullptr);
  if (size < sizeof(char16_t)) return false;
  std::u16string buffer(size / sizeof(char16_t), u'\0');
  if (!WinHttpQueryHeaders(request, level, nullptr, buffer.data(), &size, nullptr)) return false;
  buffer.resize(size / sizeof(char16_t));
  *out = std::move(buffer);
  return true;
}

int to_int(long ms) { return static_cast<int>(std::clamp<long>(ms, INT_MIN, INT_MAX)); }

}  // namespace

WinHttpRequest::WinHttpRequest() = default;
WinHttpRequest::~WinHttpRequest() = default;

bool WinHttpRequest::open(std::u16string_view method, std::u16string_view url, bool async) {
  if (async || !is_token(method) || url.empty()) return false;
  URL_COMPONENTS c{};
  c.dwStructSize = sizeof c;
  const std::u16string copy(url);
  if (!WinHttpCrackUrl(copy.c_str(), static_cast<DWORD>(copy.size()), 0, &c)) return false;
  method_ = std::u16string(method);
  url_ = copy;
  headers_.clear();
  response_.reset();
  opened_ = true;
  sent_ = false;
  return true;
}

bool WinHttpRequest::set_timeouts(long resolve_ms, long connect_ms, long send_ms, long receive_ms) {
  const long values[4] = {resolve_ms, connect_ms, send_ms, receive_ms};
  if (std::any_of(std::begin(values), std::end(values), [](long v) { return v < -1 || v > INT_MAX; })) return false;
  std::copy(std::begin(values), std::end(values), timeouts_);
  return true;
}

bool WinHttpRequest::set_proxy(long setting, std::u16string_view server, std::u16string_view bypass) {
  if (setting == kProxySettingDefault || setting == kProxySettingDirect) {
    proxy_setting_ = setting;
    proxy_server_.clear();
    proxy_bypass_.clear();
    return true;
  }
  if (setting != kProxySettingProxy || !detail::valid_proxy_list(server)) return false;
  proxy_setting_ = setting;
  proxy_server_ = std::u16string(server);
  proxy_bypass_ = std::u16string(bypass);
  return true;
}

bool WinHttpRequest::set_option(long option, long value) {
  switch (option) {
    case kOptionSslErrorIgnoreFlags:
      if (value & ~kKnownSslFlags) return false;
      ssl_ignore_flags_ = value;
      return true;
    case kOptionEnableRedirects:
      redirects_ = value != 0;
      return true;
    default:
      return false;
  }
}

std::optional<long> WinHttpRequest::option(long option) const {
  switch (option) {
    case kOptionSslErrorIgnoreFlags:
      return ssl_ignore_flags_;
    case kOptionEnableRedirects:
      return redirects_ ? 1 : 0;
    default:
      return std::nullopt;
  }
}

bool WinHttpRequest::set_request_header(std::u16string_view name, std::u16string_view value) {
  if (!opened_ || sent_ || !is_token(name)) return false;
  if (value.find_first_of(u"\r\n") != std::u16string_view::npos) return false;
  headers_.erase(std::remove_if(headers_.begin(), headers_.end(), [&](const Header& h) { return iequals(h.name, name); }),
                 headers_.end());
  if (!value.empty()) headers_.push_back({std::u16string(name), std::u16string(value)});
  return true;
}

bool WinHttpRequest::send(std::u16string_view text) {
  const std::string utf8 = detail::utf16_to_utf8(text);
  return perform(Bytes(utf8.begin(), utf8.end()));
}

bool WinHttpRequest::send(const Bytes& body) { return perform(body); }

bool WinHttpRequest::perform(const Bytes& body) {
  if (!opened_ || sent_) return false;
  URL_COMPONENTS c{};
  c.dwStructSize = sizeof c;
  c.dwHostNameLength = c.dwUrlPathLength = c.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url_.c_str(), static_cast<DWORD>(url_.size()), 0, &c)) return false;
  const std::u16string host(c.lpszHostName, c.dwHostNameLength);
  const std::u16string extra(c.lpszExtraInfo, c.dwExtraInfoLength);
  const std::u16string object =
      c.dwUrlPathLength > 0 ? std::u16string(c.lpszUrlPath, c.dwUrlPathLength) + extra : u"/" + extra;

  Handles h;
  const bool named = proxy_setting_ == kProxySettingProxy;
  h.session = WinHttpOpen(kUserAgent, named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                          named ? proxy_server_.c_str() : nullptr,
                          named && !proxy_bypass_.empty() ? proxy_bypass_.c_str() : nullptr, 0);
  if (!h.session) return false;
  if (!WinHttpSetTimeouts(h.session, to_int(timeouts_[0]), to_int(timeouts_[1]), to_int(timeouts_[2]),
                          to_int(timeouts_[3])))
    return false;
  h.connect = WinHttpConnect(h.session, host.c_str(), c.nPort, 0);
  if (!h.connect) return false;
  h.request = WinHttpOpenRequest(h.connect, method_.c_str(), object.c_str(), nullptr, nullptr, nullptr,
                                 c.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
  if (!h.request) return false;
  if (ssl_ignore_flags_ != 0) {
    const DWORD flags = static_cast<DWORD>(ssl_ignore_flags_);
    if (!WinHttpSetOption(h.request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags)) return false;
  }
  if (!redirects_) {
    const DWORD feature = WINHTTP_DISABLE_REDIRECTS;
    if (!WinHttpSetOption(h.request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature)) return false;
  }
  for (const auto& header : headers_) {
    const std::u16string line = header.name + u": " + header.value;
    if (!WinHttpAddRequestHeaders(h.request, line.c_str(), static_cast<DWORD>(line.size()), WINHTTP_ADDREQ_FLAG_ADD))
      return false;
  }
  if (!WinHttpSendRequest(h.request, nullptr, 0, body.empty() ? nullptr : body.data(),
                          static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0))
    return false;
  if (!WinHttpReceiveResponse(h.request, nullptr)) return false;

  Response response;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(h.request, &available)) return false;
    if (available == 0) break;
    const std::size_t old = response.body.size();
    response.body.resize(old + available);
    DWORD got = 0;
    if (!WinHttpReadData(h.request, response.body.data() + old, available, &got)) return false;
    response.body.resize(old + got);
  }
  std::u16string raw;
  if (!query_text(h.request, WINHTTP_QUERY_RAW_HEADERS_CRLF, &raw)) return false;
  const auto line_end = raw.find(u"\r\n");
  response.headers = line_end == std::u16string::npos ? std::u16string() : raw.substr(line_end + 2);
  DWORD code = 0;
  DWORD size = sizeof code;
  if (!WinHttpQueryHeaders(h.request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &code, &size,
                           nullptr))
    return false;
  response.status = static_cast<long>(code);
  query_text(h.request, WINHTTP_QUERY_STATUS_TEXT, &response.status_text);

  response_ = std::move(response);
  sent_ = true;
  return true;
}

std::optional<Bytes> WinHttpRequest::response_body() const {
  if (!response_) return std::nullopt;
  return response_->body;
}

std::optional<std::u16string> WinHttpRequest::get_all_response_headers() const {
  if (!response_) return std::nullopt;
  return response_->headers;
}

std::optional<long> WinHttpRequest::status() const {
  if (!response_) return std::nullopt;
  return response_->status;
}

std::optional<std::u16string> WinHttpRequest::status_text() const {
  if (!response_) return std::nullopt;
  return response_->status_text;
}

}  // namespace ck::platform
