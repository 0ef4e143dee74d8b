#include "platform/winhttp.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/codepage.h"
#include "platform/curl_transfer.h"

namespace ck::platform {

using detail::HeaderLine;

namespace {

thread_local DWORD t_last_error = 0;

bool fail(DWORD error) {
  t_last_error = error;
  return false;
}

HINTERNET fail_handle(DWORD error) {
  t_last_error = error;
  return nullptr;
}

// --- the test seam ----------------------------------------------------------

struct InjectedFailure {
  const ScopedWinHttpFailure* scope;
  WinHttpCall call;
  int passes_left;
};

std::mutex g_seam_mutex;
std::vector<InjectedFailure>& injected_failures() {
  static std::vector<InjectedFailure> list;
  return list;
}

bool injected(WinHttpCall call) {
  std::lock_guard lock(g_seam_mutex);
  bool failing = false;
  for (auto& f : injected_failures()) {
    if (f.call != call) continue;
    if (f.passes_left > 0)
      --f.passes_left;
    else
      failing = true;
  }
  return failing;
}

// --- text --------------------------------------------------------------------

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lower(x) == lower(y);
         });
}

std::u16string_view wide_view(const char16_t* s, DWORD length = static_cast<DWORD>(-1)) {
  if (!s) return {};
  if (length != static_cast<DWORD>(-1)) return {s, length};
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return {s, n};
}

bool is_token(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c) != nullptr) return false;
  }
  return true;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Header lines "Name: value" separated by CR LF; empty lines skipped.
bool parse_header_block(std::string_view block, std::vector<HeaderLine>* out) {
  while (!block.empty()) {
    auto end = block.find('\n');
    std::string_view line = block.substr(0, end);
    block = end == std::string_view::npos ? std::string_view() : block.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (line.find('\r') != std::string_view::npos) return false;
    auto colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view name = trim_blanks(line.substr(0, colon));
    if (!is_token(name)) return false;
    out->push_back({std::string(name), std::string(trim_blanks(line.substr(colon + 1)))});
  }
  return true;
}

// --- handles -----------------------------------------------------------------

struct ProxyEntry {
  int scheme = 0;  // 0: every scheme
  std::string host_port;
};

struct SessionConfig {
  std::optional<std::string> user_agent;
  std::vector<ProxyEntry> proxies;
  std::vector<std::string> bypass;
  int timeouts[4] = {0, 60000, 30000, 30000};  // resolve, connect, send, receive
};

enum class Kind { Session, Connect, Request };

}  // namespace

struct WinHttpHandle {
  explicit WinHttpHandle(Kind k) : kind(k) {}
  virtual ~WinHttpHandle() = default;
  Kind kind;
  SessionConfig config;
};

namespace {

struct ConnectHandle : WinHttpHandle {
  ConnectHandle() : WinHttpHandle(Kind::Connect) {}
  std::string host;  // UTF-8
  INTERNET_PORT port = 0;
};

enum class RequestState { Open, Sent, Received, Failed };

struct RequestHandle : WinHttpHandle {
  RequestHandle() : WinHttpHandle(Kind::Request) {}
  std::string host;
  INTERNET_PORT port = 0;
  bool secure = false;
  std::string verb;
  std::string target;  // escaped, starts with "/"
  bool http_1_0 = false;
  std::vector<HeaderLine> headers;
  bool server_auth = false;
  std::string server_user, server_password;
  bool proxy_auth = false;
  std::string proxy_user, proxy_password;
  DWORD security_flags = 0;
  DWORD disabled_features = 0;
  RequestState state = RequestState::Open;
  std::unique_ptr<detail::CurlTransfer> transfer;
};

std::mutex g_handles_mutex;
std::unordered_set<WinHttpHandle*>& live_handles() {
  static std::unordered_set<WinHttpHandle*> set;
  return set;
}

HINTERNET hand_out(std::unique_ptr<WinHttpHandle> handle) {
  std::lock_guard lock(g_handles_mutex);
  live_handles().insert(handle.get());
  return handle.release();
}

// The live handle of that kind, or null with the reason set.
template <class T = WinHttpHandle>
T* find(HINTERNET handle, std::optional<Kind> kind) {
  {
    std::lock_guard lock(g_handles_mutex);
    if (!handle || !live_handles().count(handle)) {
      t_last_error = ERROR_INVALID_HANDLE;
      return nullptr;
    }
  }
  if (kind && handle->kind != *kind) {
    t_last_error = ERROR_WINHTTP_INCORRECT_HANDLE_TYPE;
    return nullptr;
  }
  return static_cast<T*>(handle);
}

bool parse_proxy_list(std::string_view list, std::vector<ProxyEntry>* out) {
  std::vector<ProxyEntry> entries;
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (list[i] == ';' || list[i] == ' ' || list[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < list.size() && list[j] != ';' && list[j] != ' ' && list[j] != '\t') ++j;
    std::string_view item = list.substr(i, j - i);
    i = j;
    if (item.empty()) continue;
    ProxyEntry entry;
    bool other_scheme = false;
    if (auto eq = item.find('='); eq != std::string_view::npos) {
      std::string_view scheme = item.substr(0, eq);
      if (iequals(scheme, "http"))
        entry.scheme = INTERNET_SCHEME_HTTP;
      else if (iequals(scheme, "https"))
        entry.scheme = INTERNET_SCHEME_HTTPS;
      else
        other_scheme = true;
      item.remove_prefix(eq + 1);
    }
    if (item.size() >= 7 && iequals(item.substr(0, 7), "http://")) item.remove_prefix(7);
    if (!item.empty() && item.back() == '/') item.remove_suffix(1);
    std::string_view host = item;
    std::string port = "80";
    if (auto colon = item.rfind(':'); colon != std::string_view::npos && item.find(']', colon) == std::string_view::npos) {
      host = item.substr(0, colon);
      port = std::string(item.substr(colon + 1));
      if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) {
            return c >= '0' && c <= '9';
          }) || std::stoi(port) < 1 || std::stoi(port) > 65535)
        return false;
    }
    if (host.empty()) return false;
    if (other_scheme) continue;
    entry.host_port = std::string(host) + ":" + port;
    entries.push_back(std::move(entry));
  }
  if (entries.empty()) return false;
  *out = std::move(entries);
  return true;
}

bool bypassed(const std::vector<std::string>& bypass, std::string_view host) {
  for (const auto& entry : bypass) {
    if (entry == "<local>") {
      if (host.find('.') == std::string_view::npos) return true;
    } else if (!entry.empty() && entry.front() == '*') {
      std::string_view suffix = std::string_view(entry).substr(1);
      if (host.size() >= suffix.size() && iequals(host.substr(host.size() - suffix.size()), suffix)) return true;
    } else if (iequals(entry, host)) {
      return true;
    }
  }
  return false;
}

std::string proxy_for(const SessionConfig& config, std::string_view scheme, std::string_view host) {
  if (config.proxies.empty() || bypassed(config.bypass, host)) return {};
  const int wanted = scheme == "https" ? INTERNET_SCHEME_HTTPS : INTERNET_SCHEME_HTTP;
  for (const auto& p : config.proxies)
    if (p.scheme == wanted) return p.host_port;
  for (const auto& p : config.proxies)
    if (p.scheme == 0) return p.host_port;
  return {};
}

// --- URL parts -----------------------------------------------------------------

struct Part {
  std::size_t at = 0;
  std::size_t length = 0;
};

bool bad_host_char(char16_t c) {
  return c <= 0x20 || c == 0x7F || (c < 0x80 && std::strchr("\"<>\\^`{|}%", static_cast<char>(c)) != nullptr);
}

// Hands one part out as the caller asked: not at all, as a pointer into the
// URL, or copied into the caller's buffer. `check` only tests the buffer.
bool put_part(char16_t** pointer, DWORD* length, const char16_t* url, Part part, bool check) {
  if (*length == 0) return true;
  if (*pointer == nullptr) {
    if (!check) {
      *pointer = const_cast<char16_t*>(url + part.at);
      *length = static_cast<DWORD>(part.length);
    }
    return true;
  }
  if (*length <= part.length) {
    if (!check) *length = static_cast<DWORD>(part.length + 1);
    return false;
  }
  if (!check) {
    std::copy(url + part.at, url + part.at + part.length, *pointer);
    (*pointer)[part.length] = 0;
    *length = static_cast<DWORD>(part.length);
  }
  return true;
}

}  // namespace

// --- the API -----------------------------------------------------------------------

bool WinHttpCheckPlatform() {
  if (injected(WinHttpCall::CheckPlatform)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (!info || !(info->features & CURL_VERSION_SSL)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  bool http = false, https = false;
  for (auto p = info->protocols; p && *p; ++p) {
    http = http || std::strcmp(*p, "http") == 0;
    https = https || std::strcmp(*p, "https") == 0;
  }
  return http && https ? true : fail(ERROR_WINHTTP_INTERNAL_ERROR);
}

bool WinHttpCrackUrl(const char16_t* url, DWORD url_length, DWORD flags, URL_COMPONENTS* c) {
  if (injected(WinHttpCall::CrackUrl)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  if (!url || !c || c->dwStructSize != sizeof(URL_COMPONENTS) || flags != 0) return fail(ERROR_INVALID_PARAMETER);
  std::u16string_view u = url_length == 0 ? wide_view(url) : std::u16string_view(url, url_length);

  auto colon = u.find(u':');
  if (colon == std::u16string_view::npos || colon == 0) return fail(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
  const std::string scheme_name = detail::utf16_to_utf8(u.substr(0, colon));
  int scheme;
  if (iequals(scheme_name, "http"))
    scheme = INTERNET_SCHEME_HTTP;
  else if (iequals(scheme_name, "https"))
    scheme = INTERNET_SCHEME_HTTPS;
  else
    return fail(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
  if (u.substr(colon + 1, 2) != u"//") return fail(ERROR_WINHTTP_INVALID_URL);

  const std::size_t authority_at = colon + 3;
  std::size_t authority_end = u.find_first_of(u"/?#", authority_at);
  if (authority_end == std::u16string_view::npos) authority_end = u.size();
  std::u16string_view authority = u.substr(authority_at, authority_end - authority_at);

  Part user{authority_at, 0}, password{authority_at, 0};
  std::size_t host_at = authority_at;
  if (auto at = authority.rfind(u'@'); at != std::u16string_view::npos) {
    std::u16string_view info = authority.substr(0, at);
    auto sep = info.find(u':');
    user = {authority_at, sep == std::u16string_view::npos ? info.size() : sep};
    if (sep != std::u16string_view::npos) password = {authority_at + sep + 1, info.size() - sep - 1};
    host_at = authority_at + at + 1;
  }
  std::u16string_view host_port = u.substr(host_at, authority_end - host_at);
  Part host{host_at, host_port.size()};
  std::u16string_view port_text;
  bool has_port = false;
  if (!host_port.empty() && host_port.front() == u'[') {
    auto close = host_port.find(u']');
    if (close == std::u16string_view::npos) return fail(ERROR_WINHTTP_INVALID_URL);
    host = {host_at + 1, close - 1};
    if (close + 1 < host_port.size()) {
      if (host_port[close + 1] != u':') return fail(ERROR_WINHTTP_INVALID_URL);
      port_text = host_port.substr(close + 2);
      has_port = true;
    }
  } else if (auto sep = host_port.find(u':'); sep != std::u16string_view::npos) {
    host = {host_at, sep};
    port_text = host_port.substr(sep + 1);
    has_port = true;
  }
  if (host.length == 0) return fail(ERROR_WINHTTP_INVALID_URL);
  for (std::size_t i = host.at; i < host.at + host.length; ++i)
    if (bad_host_char(u[i]) && !(u[i] == u':' && host_port.front() == u'[')) return fail(ERROR_WINHTTP_INVALID_URL);

  INTERNET_PORT port = scheme == INTERNET_SCHEME_HTTPS ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  if (has_port && !port_text.empty()) {
    if (port_text.size() > 5) return fail(ERROR_WINHTTP_INVALID_URL);
    unsigned value = 0;
    for (char16_t ch : port_text) {
      if (ch < u'0' || ch > u'9') return fail(ERROR_WINHTTP_INVALID_URL);
      value = value * 10 + (ch - u'0');
    }
    if (value == 0 || value > 65535) return fail(ERROR_WINHTTP_INVALID_URL);
    port = static_cast<INTERNET_PORT>(value);
  }

  std::size_t extra_at = u.find_first_of(u"?#", authority_end);
  if (extra_at == std::u16string_view::npos) extra_at = u.size();
  Part path{authority_end, extra_at - authority_end};
  Part extra{extra_at, u.size() - extra_at};
  Part scheme_part{0, colon};

  // All parts are checked first, so a buffer too small changes nothing.
  URL_COMPONENTS probe = *c;
  bool ok = true;
  ok = put_part(&probe.lpszScheme, &probe.dwSchemeLength, url, scheme_part, true) && ok;
  ok = put_part(&probe.lpszHostName, &probe.dwHostNameLength, url, host, true) && ok;
  ok = put_part(&probe.lpszUserName, &probe.dwUserNameLength, url, user, true) && ok;
  ok = put_part(&probe.lpszPassword, &probe.dwPasswordLength, url, password, true) && ok;
  ok = put_part(&probe.lpszUrlPath, &probe.dwUrlPathLength, url, path, true) && ok;
  ok = put_part(&probe.lpszExtraInfo, &probe.dwExtraInfoLength, url, extra, true) && ok;
  if (!ok) return fail(ERROR_INSUFFICIENT_BUFFER);
  put_part(&c->lpszScheme, &c->dwSchemeLength, url, scheme_part, false);
  put_part(&c->lpszHostName, &c->dwHostNameLength, url, host, false);
  put_part(&c->lpszUserName, &c->dwUserNameLength, url, user, false);
  put_part(&c->lpszPassword, &c->dwPasswordLength, url, password, false);
  put_part(&c->lpszUrlPath, &c->dwUrlPathLength, url, path, false);
  put_part(&c->lpszExtraInfo, &c->dwExtraInfoLength, url, extra, false);
  c->nScheme = scheme;
  c->nPort = port;
  return true;
}

HINTERNET WinHttpOpen(const char16_t* user_agent, DWORD access_type, const char16_t* proxy_name,
                      const char16_t* proxy_bypass, DWORD flags) {
  if (injected(WinHttpCall::Open)) return fail_handle(ERROR_WINHTTP_INTERNAL_ERROR);
  if (flags != 0) return fail_handle(ERROR_INVALID_PARAMETER);
  auto session = std::make_unique<WinHttpHandle>(Kind::Session);
  if (user_agent) session->config.user_agent = wide_to_ansi(wide_view(user_agent));
  switch (access_type) {
    case WINHTTP_ACCESS_TYPE_DEFAULT_PROXY:  // no system-wide proxy setting exists here
    case WINHTTP_ACCESS_TYPE_NO_PROXY:
      break;
    case WINHTTP_ACCESS_TYPE_NAMED_PROXY: {
      if (!parse_proxy_list(detail::utf16_to_utf8(wide_view(proxy_name)), &session->config.proxies))
        return fail_handle(ERROR_INVALID_PARAMETER);
      const std::string bypass = detail::utf16_to_utf8(wide_view(proxy_bypass));
      std::size_t i = 0;
      while (i < bypass.size()) {
        std::size_t j = bypass.find_first_of("; \t", i);
        if (j == std::string::npos) j = bypass.size();
        if (j > i) session->config.bypass.push_back(bypass.substr(i, j - i));
        i = j + 1;
      }
      break;
    }
    default:
      return fail_handle(ERROR_INVALID_PARAMETER);
  }
  return hand_out(std::move(session));
}

bool WinHttpSetTimeouts(HINTERNET handle, int resolve_ms, int connect_ms, int send_ms, int receive_ms) {
  if (injected(WinHttpCall::SetTimeouts)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  WinHttpHandle* h = find(handle, std::nullopt);
  if (!h) return false;
  if (resolve_ms < -1 || connect_ms < -1 || send_ms < -1 || receive_ms < -1) return fail(ERROR_INVALID_PARAMETER);
  if (h->kind == Kind::Request && static_cast<RequestHandle*>(h)->state != RequestState::Open)
    return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  const int values[4] = {resolve_ms, connect_ms, send_ms, receive_ms};
  for (int i = 0; i < 4; ++i) h->config.timeouts[i] = values[i] < 0 ? 0 : values[i];
  return true;
}

HINTERNET WinHttpConnect(HINTERNET session, const char16_t* server_name, INTERNET_PORT port, DWORD reserved) {
  if (injected(WinHttpCall::Connect)) return fail_handle(ERROR_WINHTTP_INTERNAL_ERROR);
  WinHttpHandle* s = find(session, Kind::Session);
  if (!s) return nullptr;
  std::u16string_view name = wide_view(server_name);
  if (name.empty() || reserved != 0) return fail_handle(ERROR_INVALID_PARAMETER);
  for (char16_t ch : name)
    if (bad_host_char(ch) || ch == u'/' || ch == u'?' || ch == u'#' || ch == u'@') return fail_handle(ERROR_WINHTTP_INVALID_URL);
  auto connect = std::make_unique<ConnectHandle>();
  connect->config = s->config;
  connect->host = detail::utf16_to_utf8(name);
  connect->port = port;
  return hand_out(std::move(connect));
}

HINTERNET WinHttpOpenRequest(HINTERNET connect, const char16_t* verb, const char16_t* object_name,
                             const char16_t* version, const char16_t* referrer, const char16_t* const* accept_types,
                             DWORD flags) {
  if (injected(WinHttpCall::OpenRequest)) return fail_handle(ERROR_WINHTTP_INTERNAL_ERROR);
  auto* c = find<ConnectHandle>(connect, Kind::Connect);
  if (!c) return nullptr;
  constexpr DWORD known = WINHTTP_FLAG_SECURE | WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY |
                          WINHTTP_FLAG_ESCAPE_PERCENT;
  if (flags & ~known) return fail_handle(ERROR_INVALID_PARAMETER);

  auto r = std::make_unique<RequestHandle>();
  r->config = c->config;
  r->host = c->host;
  r->secure = (flags & WINHTTP_FLAG_SECURE) != 0;
  r->port = c->port != INTERNET_DEFAULT_PORT ? c->port
                                              : (r->secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  r->verb = verb ? detail::utf16_to_utf8(wide_view(verb)) : "GET";
  if (!is_token(r->verb)) return fail_handle(ERROR_INVALID_PARAMETER);
  const std::string v = version ? detail::utf16_to_utf8(wide_view(version)) : "HTTP/1.1";
  if (v == "HTTP/1.0")
    r->http_1_0 = true;
  else if (v != "HTTP/1.1" && !v.empty())
    return fail_handle(ERROR_INVALID_PARAMETER);

  std::string object = detail::utf16_to_utf8(wide_view(object_name));
  if (object.empty() || object.front() != '/') object.insert(object.begin(), '/');
  r->target = (flags & WINHTTP_FLAG_ESCAPE_DISABLE)
                  ? object
                  : detail::escape_url_bytes(object, (flags & WINHTTP_FLAG_ESCAPE_PERCENT) != 0,
                                             (flags & WINHTTP_FLAG_ESCAPE_DISABLE_QUERY) != 0);

  if (referrer && *referrer) {
    std::vector<HeaderLine> line;
    if (!parse_header_block("Referer: " + wide_to_ansi(wide_view(referrer)), &line))
      return fail_handle(ERROR_INVALID_PARAMETER);
    r->headers.push_back(line.front());
  }
  if (accept_types && *accept_types) {
    std::string types;
    for (auto t = accept_types; *t; ++t) types += (types.empty() ? "" : ", ") + wide_to_ansi(wide_view(*t));
    std::vector<HeaderLine> line;
    if (!parse_header_block("Accept: " + types, &line)) return fail_handle(ERROR_INVALID_PARAMETER);
    r->headers.push_back(line.front());
  }
  return hand_out(std::move(r));
}

bool WinHttpSetCredentials(HINTERNET request, DWORD auth_targets, DWORD auth_scheme, const char16_t* user_name,
                           const char16_t* password, void* auth_params) {
  if (injected(WinHttpCall::SetCredentials)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  auto* r = find<RequestHandle>(request, Kind::Request);
  if (!r) return false;
  if (r->state != RequestState::Open) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (!user_name || auth_params != nullptr || auth_scheme != WINHTTP_AUTH_SCHEME_BASIC ||
      (auth_targets != WINHTTP_AUTH_TARGET_SERVER && auth_targets != WINHTTP_AUTH_TARGET_PROXY))
    return fail(ERROR_INVALID_PARAMETER);
  Text user = wide_to_ansi(wide_view(user_name));
  Text pass = wide_to_ansi(wide_view(password));
  if (auth_targets == WINHTTP_AUTH_TARGET_SERVER) {
    r->server_auth = true;
    r->server_user = std::move(user);
    r->server_password = std::move(pass);
  } else {
    r->proxy_auth = true;
    r->proxy_user = std::move(user);
    r->proxy_password = std::move(pass);
  }
  return true;
}

bool WinHttpSetOption(HINTERNET handle, DWORD option, const void* buffer, DWORD buffer_length) {
  if (injected(WinHttpCall::SetOption)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  WinHttpHandle* h = find(handle, std::nullopt);
  if (!h) return false;
  if (option != WINHTTP_OPTION_SECURITY_FLAGS && option != WINHTTP_OPTION_DISABLE_FEATURE)
    return fail(ERROR_WINHTTP_INVALID_OPTION);
  if (h->kind != Kind::Request) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
  auto* r = static_cast<RequestHandle*>(h);
  if (r->state != RequestState::Open) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (!buffer || buffer_length != sizeof(DWORD)) return fail(ERROR_INVALID_PARAMETER);
  DWORD value;
  std::memcpy(&value, buffer, sizeof value);
  if (option == WINHTTP_OPTION_SECURITY_FLAGS) {
    constexpr DWORD known = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                            SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
    if (value & ~known) return fail(ERROR_INVALID_PARAMETER);
    r->security_flags = value;
  } else {
    constexpr DWORD known = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS;
    if (value == 0 || (value & ~known)) return fail(ERROR_INVALID_PARAMETER);
    r->disabled_features |= value;
  }
  return true;
}

namespace {

bool add_headers(RequestHandle* r, std::u16string_view text, DWORD modifiers) {
  std::vector<HeaderLine> lines;
  if (!parse_header_block(wide_to_ansi(text), &lines)) return fail(ERROR_WINHTTP_INVALID_HEADER);
  auto& list = r->headers;
  for (auto& line : lines) {
    auto same = [&](const HeaderLine& h) { return iequals(h.name, line.name); };
    auto existing = std::find_if(list.begin(), list.end(), same);
    if (modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) {
      list.erase(std::remove_if(list.begin(), list.end(), same), list.end());
      if (!line.value.empty()) list.push_back(std::move(line));
    } else if (modifiers & WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) {
      if (existing == list.end()) list.push_back(std::move(line));
    } else if ((modifiers & (WINHTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA | WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON)) &&
               existing != list.end()) {
      existing->value += (modifiers & WINHTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA) ? ", " : "; ";
      existing->value += line.value;
    } else {
      list.push_back(std::move(line));
    }
  }
  return true;
}

}  // namespace

bool WinHttpAddRequestHeaders(HINTERNET request, const char16_t* headers, DWORD length, DWORD modifiers) {
  if (injected(WinHttpCall::AddRequestHeaders)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  auto* r = find<RequestHandle>(request, Kind::Request);
  if (!r) return false;
  if (r->state != RequestState::Open) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (!headers) return fail(ERROR_INVALID_PARAMETER);
  return add_headers(r, wide_view(headers, length), modifiers);
}

bool WinHttpSendRequest(HINTERNET request, const char16_t* headers, DWORD headers_length, const void* optional,
                        DWORD optional_length, DWORD total_length, std::uintptr_t) {
  if (injected(WinHttpCall::SendRequest)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  auto* r = find<RequestHandle>(request, Kind::Request);
  if (!r) return false;
  if (r->state != RequestState::Open) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if ((optional_length > 0 && !optional) || total_length != optional_length) return fail(ERROR_INVALID_PARAMETER);
  if (headers) {
    if (!add_headers(r, wide_view(headers, headers_length == 0 ? static_cast<DWORD>(-1) : headers_length),
                     WINHTTP_ADDREQ_FLAG_ADD))
      return false;
  }

  detail::TransferSettings s;
  s.verb = r->verb;
  std::string host = r->host;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  s.url = (r->secure ? "https://" : "http://") + host + ":" + std::to_string(r->port) + r->target;
  for (const auto& h : r->headers)
    (iequals(h.name, "Proxy-Authorization") ? s.proxy_headers : s.headers).push_back(h);
  if (r->config.user_agent && !r->config.user_agent->empty() &&
      std::none_of(s.headers.begin(), s.headers.end(), [](const HeaderLine& h) { return iequals(h.name, "User-Agent"); }))
    s.headers.insert(s.headers.begin(), {"User-Agent", *r->config.user_agent});
  const auto* body = static_cast<const std::uint8_t*>(optional);
  s.body.assign(body, body + optional_length);
  s.send_body = optional_length > 0 || r->verb == "POST" || r->verb == "PUT";
  s.http_1_0 = r->http_1_0;
  s.resolve_ms = r->config.timeouts[0];
  s.connect_ms = r->config.timeouts[1];
  s.send_ms = r->config.timeouts[2];
  s.receive_ms = r->config.timeouts[3];
  s.verify_peer = !(r->security_flags & SECURITY_FLAG_IGNORE_UNKNOWN_CA);
  s.verify_host = !(r->security_flags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID);
  s.follow_redirects = !(r->disabled_features & WINHTTP_DISABLE_REDIRECTS);
  s.cookies = !(r->disabled_features & WINHTTP_DISABLE_COOKIES);
  s.server_auth = r->server_auth;
  s.server_user = r->server_user;
  s.server_password = r->server_password;
  s.proxy_auth = r->proxy_auth;
  s.proxy_user = r->proxy_user;
  s.proxy_password = r->proxy_password;
  SessionConfig config = r->config;
  s.proxy_for = [config](std::string_view scheme, std::string_view host_name) {
    return proxy_for(config, scheme, host_name);
  };

  r->transfer = std::make_unique<detail::CurlTransfer>(std::move(s));
  if (!r->transfer->send()) {
    r->state = RequestState::Failed;
    return fail(r->transfer->error());
  }
  r->state = RequestState::Sent;
  return true;
}

bool WinHttpReceiveResponse(HINTERNET request, void* reserved) {
  if (injected(WinHttpCall::ReceiveResponse)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  auto* r = find<RequestHandle>(request, Kind::Request);
  if (!r) return false;
  if (reserved != nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (r->state != RequestState::Sent) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (!r->transfer->receive()) {
    r->state = RequestState::Failed;
    return fail(r->transfer->error());
  }
  r->state = RequestState::Received;
  return true;
}

bool WinHttpQueryDataAvailable(HINTERNET request, DWORD* bytes_available) {
  if (injected(WinHttpCall::QueryDataAvailable)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  auto* r = find<RequestHandle>(request, Kind::Request);
  if (!r) return false;
  if (r->state != RequestState::Received) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  std::size_t count = 0;
  if (!r->transfer->available(&count)) return fail(r->transfer->error());
  if (bytes_available) *bytes_available = static_cast<DWORD>(std::min<std::size_t>(count, 0xFFFFFFFFu));
  return true;
}

bool WinHttpReadData(HINTERNET request, void* buffer, DWORD bytes_to_read, DWORD* bytes_read) {
  if (injected(WinHttpCall::ReadData)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  auto* r = find<RequestHandle>(request, Kind::Request);
  if (!r) return false;
  if (r->state != RequestState::Received) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (!bytes_read || (bytes_to_read > 0 && !buffer)) return fail(ERROR_INVALID_PARAMETER);
  std::size_t got = 0;
  if (!r->transfer->read(buffer, bytes_to_read, &got)) return fail(r->transfer->error());
  *bytes_read = static_cast<DWORD>(got);
  return true;
}

bool WinHttpQueryHeaders(HINTERNET request, DWORD info_level, const char16_t* name, void* buffer,
                         DWORD* buffer_length, DWORD* index) {
  if (injected(WinHttpCall::QueryHeaders)) return fail(ERROR_WINHTTP_INTERNAL_ERROR);
  auto* r = find<RequestHandle>(request, Kind::Request);
  if (!r) return false;
  if (r->state != RequestState::Received) return fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (!buffer_length) return fail(ERROR_INVALID_PARAMETER);
  const bool as_number = (info_level & WINHTTP_QUERY_FLAG_NUMBER) != 0;
  const DWORD level = info_level & ~WINHTTP_QUERY_FLAG_NUMBER;
  const auto& lines = r->transfer->header_lines();
  const DWORD wanted_index = index ? *index : 0;

  std::string value;  // ANSI
  DWORD next_index = 0;
  switch (level) {
    case WINHTTP_QUERY_RAW_HEADERS_CRLF:
      for (const auto& line : lines) value += line + "\r\n";
      value += "\r\n";
      break;
    case WINHTTP_QUERY_STATUS_CODE:
      value = std::to_string(r->transfer->status_code());
      break;
    case WINHTTP_QUERY_STATUS_TEXT: {
      std::string_view status = lines.empty() ? std::string_view() : std::string_view(lines.front());
      auto first = status.find(' ');
      auto second = first == std::string_view::npos ? first : status.find(' ', first + 1);
      value = second == std::string_view::npos ? std::string() : std::string(status.substr(second + 1));
      break;
    }
    case WINHTTP_QUERY_CUSTOM: {
      const std::string wanted = wide_to_ansi(wide_view(name));
      DWORD seen = 0;
      bool found = false;
      for (std::size_t i = 1; i < lines.size() && !found; ++i) {
        std::string_view line = lines[i];
        auto colon = line.find(':');
        if (colon == std::string_view::npos || !iequals(trim_blanks(line.substr(0, colon)), wanted)) continue;
        if (seen++ == wanted_index) {
          value = std::string(trim_blanks(line.substr(colon + 1)));
          next_index = seen;
          found = true;
        }
      }
      if (!found) return fail(ERROR_WINHTTP_HEADER_NOT_FOUND);
      break;
    }
    default:
      return fail(ERROR_WINHTTP_INVALID_OPTION);
  }

  if (as_number) {
    if (value.empty() || value.size() > 9 || !std::all_of(value.begin(), value.end(), [](char ch) {
          return ch >= '0' && ch <= '9';
        }))
      return fail(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    if (!buffer || *buffer_length < sizeof(DWORD)) {
      *buffer_length = sizeof(DWORD);
      return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const DWORD number = static_cast<DWORD>(std::stoul(value));
    std::memcpy(buffer, &number, sizeof number);
    *buffer_length = sizeof(DWORD);
  } else {
    const std::u16string wide = ansi_to_wide(value);
    const DWORD needed = static_cast<DWORD>((wide.size() + 1) * sizeof(char16_t));
    if (!buffer || *buffer_length < needed) {
      *buffer_length = needed;
      return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, wide.c_str(), needed);
    *buffer_length = needed - sizeof(char16_t);
  }
  if (index && level == WINHTTP_QUERY_CUSTOM) *index = next_index;
  return true;
}

bool WinHttpCloseHandle(HINTERNET handle) {
  {
    std::lock_guard lock(g_handles_mutex);
    if (!handle || live_handles().erase(handle) == 0) return fail(ERROR_INVALID_HANDLE);
  }
  delete handle;
  return true;
}

DWORD winhttp_last_error() { return t_last_error; }

bool detail::valid_proxy_list(std::u16string_view list) {
  std::vector<ProxyEntry> entries;
  return parse_proxy_list(utf16_to_utf8(list), &entries);
}

int winhttp_open_handles() {
  std::lock_guard lock(g_handles_mutex);
  return static_cast<int>(live_handles().size());
}

ScopedWinHttpFailure::ScopedWinHttpFailure(WinHttpCall call, int successes) : call_(call), successes_(successes) {
  std::lock_guard lock(g_seam_mutex);
  injected_failures().push_back({this, call_, successes_});
}

ScopedWinHttpFailure::~ScopedWinHttpFailure() {
  std::lock_guard lock(g_seam_mutex);
  auto& list = injected_failures();
  list.erase(std::remove_if(list.begin(), list.end(), [this](const InjectedFailure& f) { return f.scope == this; }),
             list.end());
}

}  // namespace ck::platform
