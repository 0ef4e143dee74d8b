// The WinHttp API, as far as the exchanges use it, over libcurl.
//
// Strings are UTF-16 (char16_t). A failing call returns false or a null
// handle, changes nothing and leaves its reason in winhttp_last_error().
// Calls are synchronous: each blocks until its phase is done or its timeout
// has run out.
//
// What the calls do here:
// - One session, connection and request handle per exchange; nothing is
//   shared between requests: no connection reuse, no cookie store, no cache.
// - The object name's blanks, control characters, non-ASCII characters (as
//   UTF-8) and the characters " < > \ ^ ` { | } are percent-escaped before
//   sending; a "%" that starts a "%XX" escape stays, a lone one becomes "%25".
//   A fragment ("#...") is never sent.
// - Header text travels in the ANSI code page (GBK), so a caller's GBK bytes
//   reach the wire unchanged; response headers come back the same way.
//   A "Proxy-Authorization" line goes to the proxy only (also on CONNECT).
// - Redirects (301, 302, 303, 307, 308 with a Location) are followed, at most
//   10, never from HTTPS to HTTP; 301/302 turn a POST into a GET, 303 turns
//   every method but HEAD into a GET. Server credentials travel only to the
//   origin they were set for.
// - Timeouts: resolve and connect (TLS handshake and proxy tunnel included)
//   bound those phases; send and receive are idle times, the longest wait for
//   the next byte to go out or to come in. 0 and -1 mean no limit.
// - A transfer that breaks off in the body delivers every byte that arrived;
//   WinHttpQueryDataAvailable then still reports one byte pending, and the
//   following WinHttpReadData fails with the reason.
#pragma once

#include <cstdint>

namespace ck::platform {

struct WinHttpHandle;
using HINTERNET = WinHttpHandle*;
using INTERNET_PORT = std::uint16_t;
using DWORD = std::uint32_t;

// Schemes
inline constexpr int INTERNET_SCHEME_HTTP = 1;
inline constexpr int INTERNET_SCHEME_HTTPS = 2;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_PORT = 0;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// WinHttpOpen
inline constexpr DWORD WINHTTP_ACCESS_TYPE_DEFAULT_PROXY = 0;
inline constexpr DWORD WINHTTP_ACCESS_TYPE_NO_PROXY = 1;
inline constexpr DWORD WINHTTP_ACCESS_TYPE_NAMED_PROXY = 3;
inline constexpr DWORD WINHTTP_FLAG_ASYNC = 0x10000000;  // not supported

// WinHttpOpenRequest
inline constexpr DWORD WINHTTP_FLAG_ESCAPE_PERCENT = 0x00000004;
inline constexpr DWORD WINHTTP_FLAG_ESCAPE_DISABLE = 0x00000040;
inline constexpr DWORD WINHTTP_FLAG_ESCAPE_DISABLE_QUERY = 0x00000080;
inline constexpr DWORD WINHTTP_FLAG_BYPASS_PROXY_CACHE = 0x00000100;
inline constexpr DWORD WINHTTP_FLAG_SECURE = 0x00800000;

// WinHttpSetCredentials
inline constexpr DWORD WINHTTP_AUTH_TARGET_SERVER = 0;
inline constexpr DWORD WINHTTP_AUTH_TARGET_PROXY = 1;
inline constexpr DWORD WINHTTP_AUTH_SCHEME_BASIC = 1;

// WinHttpSetOption
inline constexpr DWORD WINHTTP_OPTION_SECURITY_FLAGS = 31;
inline constexpr DWORD WINHTTP_OPTION_DISABLE_FEATURE = 63;
inline constexpr DWORD WINHTTP_DISABLE_COOKIES = 0x1;
inline constexpr DWORD WINHTTP_DISABLE_REDIRECTS = 0x2;
inline constexpr DWORD SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE = 0x00000200;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;

// WinHttpAddRequestHeaders
inline constexpr DWORD WINHTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
inline constexpr DWORD WINHTTP_ADDREQ_FLAG_ADD = 0x20000000;
inline constexpr DWORD WINHTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA = 0x40000000;
inline constexpr DWORD WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON = 0x01000000;
inline constexpr DWORD WINHTTP_ADDREQ_FLAG_REPLACE = 0x80000000;

// WinHttpQueryHeaders
inline constexpr DWORD WINHTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD WINHTTP_QUERY_STATUS_TEXT = 20;
inline constexpr DWORD WINHTTP_QUERY_RAW_HEADERS_CRLF = 22;
inline constexpr DWORD WINHTTP_QUERY_CUSTOM = 65535;
inline constexpr DWORD WINHTTP_QUERY_FLAG_NUMBER = 0x20000000;

// Reasons left in winhttp_last_error()
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_WINHTTP_TIMEOUT = 12002;
inline constexpr DWORD ERROR_WINHTTP_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_WINHTTP_INVALID_URL = 12005;
inline constexpr DWORD ERROR_WINHTTP_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_WINHTTP_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_WINHTTP_INVALID_OPTION = 12009;
inline constexpr DWORD ERROR_WINHTTP_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_WINHTTP_INCORRECT_HANDLE_STATE = 12019;
inline constexpr DWORD ERROR_WINHTTP_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_WINHTTP_CONNECTION_ERROR = 12030;
inline constexpr DWORD ERROR_WINHTTP_HEADER_NOT_FOUND = 12150;
inline constexpr DWORD ERROR_WINHTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_WINHTTP_INVALID_HEADER = 12153;
inline constexpr DWORD ERROR_WINHTTP_REDIRECT_FAILED = 12156;
inline constexpr DWORD ERROR_WINHTTP_SECURE_FAILURE = 12175;

struct URL_COMPONENTS {
  DWORD dwStructSize = 0;
  char16_t* lpszScheme = nullptr;
  DWORD dwSchemeLength = 0;
  int nScheme = 0;
  char16_t* lpszHostName = nullptr;
  DWORD dwHostNameLength = 0;
  INTERNET_PORT nPort = 0;
  char16_t* lpszUserName = nullptr;
  DWORD dwUserNameLength = 0;
  char16_t* lpszPassword = nullptr;
  DWORD dwPasswordLength = 0;
  char16_t* lpszUrlPath = nullptr;
  DWORD dwUrlPathLength = 0;
  char16_t* lpszExtraInfo = nullptr;
  DWORD dwExtraInfoLength = 0;
};

bool WinHttpCheckPlatform();

// Each requested part (length not 0) comes back either as a pointer into
// `url` with its length (when the pointer is null), or copied into the
// caller's buffer of that many units, zero unit included. A length of 0 for
// `url` means zero-terminated. Only the schemes http and https are known;
// `flags` must be 0.
bool WinHttpCrackUrl(const char16_t* url, DWORD url_length, DWORD flags, URL_COMPONENTS* components);

// `proxy_name` for a named proxy: entries separated by ";" or blanks, each
// "[scheme=]host[:port]"; "http=..." serves plain HTTP only, "https=..." HTTPS
// only, an entry without "scheme=" both (HTTPS through a CONNECT tunnel).
// `proxy_bypass`: host names (a leading "*" matches any prefix) and "<local>"
// for names without a dot.
HINTERNET WinHttpOpen(const char16_t* user_agent, DWORD access_type, const char16_t* proxy_name,
                      const char16_t* proxy_bypass, DWORD flags);
// On a session (for the requests opened after it) or on one request.
bool WinHttpSetTimeouts(HINTERNET handle, int resolve_ms, int connect_ms, int send_ms, int receive_ms);
HINTERNET WinHttpConnect(HINTERNET session, const char16_t* server_name, INTERNET_PORT port, DWORD reserved);
// `accept_types`: null-terminated list, or null.
HINTERNET WinHttpOpenRequest(HINTERNET connect, const char16_t* verb, const char16_t* object_name,
                             const char16_t* version, const char16_t* referrer, const char16_t* const* accept_types,
                             DWORD flags);
bool WinHttpSetCredentials(HINTERNET request, DWORD auth_targets, DWORD auth_scheme, const char16_t* user_name,
                           const char16_t* password, void* auth_params);
bool WinHttpSetOption(HINTERNET handle, DWORD option, const void* buffer, DWORD buffer_length);
// `length` in UTF-16 units, or DWORD(-1) for zero-terminated. Lines are
// separated by CR LF; empty lines are skipped, and a line without a name
// and ":" fails the whole call.
bool WinHttpAddRequestHeaders(HINTERNET request, const char16_t* headers, DWORD length, DWORD modifiers);
bool WinHttpSendRequest(HINTERNET request, const char16_t* headers, DWORD headers_length, const void* optional,
                        DWORD optional_length, DWORD total_length, std::uintptr_t context);
bool WinHttpReceiveResponse(HINTERNET request, void* reserved);
bool WinHttpQueryDataAvailable(HINTERNET request, DWORD* bytes_available);
bool WinHttpReadData(HINTERNET request, void* buffer, DWORD bytes_to_read, DWORD* bytes_read);
// `buffer_length` in bytes. With a buffer too small (or null) the call fails
// with ERROR_INSUFFICIENT_BUFFER and sets the size needed, zero unit included.
// RAW_HEADERS_CRLF: the final response's status line and headers, each
// followed by CR LF, then one more CR LF.
bool WinHttpQueryHeaders(HINTERNET request, DWORD info_level, const char16_t* name, void* buffer,
                         DWORD* buffer_length, DWORD* index);
bool WinHttpCloseHandle(HINTERNET handle);

// This thread's reason for the last failing call.
DWORD winhttp_last_error();
// Handles handed out and not yet closed, on every thread.
int winhttp_open_handles();

// Test seam: while alive, the named function fails (returns false or a null
// handle, without effect) once `successes` calls of it have succeeded during
// the scope. Scopes nest. WinHttpCloseHandle cannot be made to fail.
enum class WinHttpCall {
  CheckPlatform,
  CrackUrl,
  Open,
  SetTimeouts,
  Connect,
  OpenRequest,
  SetCredentials,
  SetOption,
  AddRequestHeaders,
  SendRequest,
  ReceiveResponse,
  QueryDataAvailable,
  ReadData,
  QueryHeaders,
};

class ScopedWinHttpFailure {
 public:
  explicit ScopedWinHttpFailure(WinHttpCall call, int successes = 0);
  ~ScopedWinHttpFailure();
  ScopedWinHttpFailure(const ScopedWinHttpFailure&) = delete;
  ScopedWinHttpFailure& operator=(const ScopedWinHttpFailure&) = delete;

 private:
  WinHttpCall call_;
  int successes_;
};

}  // namespace ck::platform
