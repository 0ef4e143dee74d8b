#include "platform/curl_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/winhttp.h"

namespace ck::platform::detail {
namespace {

using Clock = std::chrono::steady_clock;

// Unread body beyond this pauses the transfer until the reader catches up.
constexpr std::size_t kHighWater = std::size_t{1} << 20;
constexpr long kReceiveBuffer = 128 * 1024;
constexpr int kMaxRedirects = 10;

void global_init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lower(x) == lower(y);
         });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

int parse_status(std::string_view status_line) {
  auto space = status_line.find(' ');
  if (space == std::string_view::npos) return 0;
  int code = 0;
  std::size_t i = space + 1;
  for (int digits = 0; digits < 3; ++digits, ++i) {
    if (i >= status_line.size() || status_line[i] < '0' || status_line[i] > '9') return 0;
    code = code * 10 + (status_line[i] - '0');
  }
  return code;
}

std::uint32_t map_error(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_WINHTTP_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_WINHTTP_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_WINHTTP_TIMEOUT;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
      return ERROR_WINHTTP_SECURE_FAILURE;
    case CURLE_URL_MALFORMAT:
      return ERROR_WINHTTP_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:  // also an HTTP/0.9 answer
    case CURLE_WEIRD_SERVER_REPLY:
      return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    case CURLE_TOO_MANY_REDIRECTS:
      return ERROR_WINHTTP_REDIRECT_FAILED;
    default:
      return ERROR_WINHTTP_CONNECTION_ERROR;
  }
}

struct UrlParts {
  std::string scheme;
  std::string host;
  std::string port;
  bool ok = false;
};

UrlParts url_parts(const std::string& url) {
  UrlParts parts;
  CURLU* u = curl_url();
  if (!u) return parts;
  if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      parts.scheme = scheme;
      parts.host = host;
      parts.port = port;
      for (char& c : parts.scheme) c = lower(c);
      for (char& c : parts.host) c = lower(c);
      parts.ok = true;
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
  }
  curl_url_cleanup(u);
  return parts;
}

// `location` resolved against `base`; "" when it cannot be.
std::string resolve_url(const std::string& base, const std::string& location) {
  std::string result;
  CURLU* u = curl_url();
  if (!u) return result;
  char* joined = nullptr;
  if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(u, CURLUPART_URL, location.c_str(), 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_URL, &joined, 0) == CURLUE_OK)
    result = joined;
  curl_free(joined);
  curl_url_cleanup(u);
  return result;
}

curl_slist* append(curl_slist* list, const std::string& line, bool* ok) {
  curl_slist* grown = curl_slist_append(list, line.c_str());
  if (!grown) {
    *ok = false;
    return list;
  }
  return grown;
}

bool has_header(const std::vector<HeaderLine>& lines, std::string_view name) {
  return std::any_of(lines.begin(), lines.end(), [&](const HeaderLine& h) { return iequals(h.name, name); });
}

// libcurl drops a custom "Name:" with nothing after it; "Name;" sends it empty.
curl_slist* header_list(const std::vector<HeaderLine>& lines, bool* ok) {
  curl_slist* list = nullptr;
  for (const auto& h : lines) list = append(list, h.value.empty() ? h.name + ";" : h.name + ": " + h.value, ok);
  return list;
}

}  // namespace

std::string escape_url_bytes(std::string_view bytes, bool escape_percent, bool leave_query) {
  static const char digits[] = "0123456789ABCDEF";
  auto is_hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
  std::string out;
  out.reserve(bytes.size());
  bool in_query = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    const auto b = static_cast<unsigned char>(c);
    if (c == '?') in_query = true;
    if (leave_query && in_query) {
      out += c;
      continue;
    }
    bool escape = b <= 0x20 || b >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
    if (c == '%')
      escape = escape_percent || i + 2 >= bytes.size() || !is_hex(bytes[i + 1]) || !is_hex(bytes[i + 2]);
    if (escape) {
      out += '%';
      out += digits[b >> 4];
      out += digits[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view w) {
  std::string out;
  out.reserve(w.size());
  for (std::size_t i = 0; i < w.size(); ++i) {
    char32_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

struct CurlTransfer::Impl {
  TransferSettings s;
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  curl_slist* proxy_headers = nullptr;
  char error_text[CURL_ERROR_SIZE] = {};
  bool started = false;
  UrlParts origin;  // of the first URL, where server credentials belong
  std::uint32_t error = 0;

  // The current hop.
  std::string url;
  std::string verb;
  bool send_body = false;
  int redirects = 0;
  bool attached = false;
  bool resolved = false;
  bool connected = false;
  bool sent = false;
  bool answered = false;
  bool headers_done = false;
  std::size_t body_offset = 0;
  std::vector<std::string> lines;
  int status = 0;
  std::string next_url;  // set when this hop's answer is a redirect to follow
  std::string next_verb;
  bool next_send_body = false;
  Clock::time_point hop_start;
  Clock::time_point resolved_at;
  Clock::time_point last_activity;

  // The transfer as a whole.
  bool finished = false;     // nothing more will arrive
  std::uint32_t failure = 0;  // why it ended early, if it did
  bool paused = false;
  std::string pending;  // body received, not yet read
  std::size_t head = 0;
  std::vector<std::string> final_lines;
  int final_status = 0;

  explicit Impl(TransferSettings settings) : s(std::move(settings)) {}

  ~Impl() {
    if (attached) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    curl_slist_free_all(proxy_headers);
  }

  void end(std::uint32_t why) {
    if (attached) curl_multi_remove_handle(multi, easy);
    attached = false;
    finished = true;
    if (failure == 0) failure = why;
  }

  bool setup() {
    global_init();
    multi = curl_multi_init();
    easy = curl_easy_init();
    if (!multi || !easy) return false;
    origin = url_parts(s.url);
    if (!origin.ok) {
      error = ERROR_WINHTTP_INVALID_URL;
      return false;
    }

    // Keep libcurl's own defaults off the wire unless the caller asked for them.
    std::vector<HeaderLine> lines_out = s.headers;
    bool ok = true;
    headers = header_list(lines_out, &ok);
    if (!has_header(lines_out, "Accept")) headers = append(headers, "Accept:", &ok);
    if (!has_header(lines_out, "Expect")) headers = append(headers, "Expect:", &ok);
    if (!has_header(lines_out, "Content-Type")) headers = append(headers, "Content-Type:", &ok);
    proxy_headers = header_list(s.proxy_headers, &ok);
    if (!ok) return false;

    CURL* e = easy;
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error_text);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, s.http_1_0 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, s.verify_peer ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, s.verify_host ? 2L : 0L);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(e, CURLOPT_PROXYHEADER, proxy_headers);
    curl_easy_setopt(e, CURLOPT_HEADEROPT, CURLHEADER_SEPARATE);
    curl_easy_setopt(e, CURLOPT_NOPROXY, "");
    curl_easy_setopt(e, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    if (s.cookies) curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    if (s.proxy_auth) {
      curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, s.proxy_user.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, s.proxy_password.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::on_header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::on_write);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &Impl::on_read);
    curl_easy_setopt(e, CURLOPT_READDATA, this);
    curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &Impl::on_seek);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, this);
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &Impl::on_sockopt);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Impl::on_prereq);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);

    url = s.url;
    verb = s.verb;
    send_body = s.send_body;
    return true;
  }

  bool start_hop() {
    if (attached) curl_multi_remove_handle(multi, easy);
    attached = false;
    resolved = connected = sent = answered = headers_done = false;
    paused = false;
    body_offset = 0;
    lines.clear();
    status = 0;
    pending.clear();
    head = 0;

    CURL* e = easy;
    UrlParts here = url_parts(url);
    if (!here.ok) {
      end(ERROR_WINHTTP_INVALID_URL);
      return false;
    }
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
    if (verb == "HEAD") {
      curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (send_body) {
      curl_easy_setopt(e, CURLOPT_POST, 1L);
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(s.body.size()));
      if (verb != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb.c_str());
    } else {
      curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
      if (verb != "GET") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb.c_str());
    }

    const bool same_origin = here.scheme == origin.scheme && here.host == origin.host && here.port == origin.port;
    if (s.server_auth && same_origin) {
      curl_easy_setopt(e, CURLOPT_USERNAME, s.server_user.c_str());
      curl_easy_setopt(e, CURLOPT_PASSWORD, s.server_password.c_str());
      curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
    } else {
      curl_easy_setopt(e, CURLOPT_USERNAME, static_cast<const char*>(nullptr));
      curl_easy_setopt(e, CURLOPT_PASSWORD, static_cast<const char*>(nullptr));
    }

    const std::string proxy = s.proxy_for ? s.proxy_for(here.scheme, here.host) : std::string();
    const std::string proxy_url = proxy.empty() ? std::string() : "http://" + proxy;
    curl_easy_setopt(e, CURLOPT_PROXY, proxy_url.c_str());

    if (curl_multi_add_handle(multi, e) != CURLM_OK) {
      end(ERROR_WINHTTP_INTERNAL_ERROR);
      return false;
    }
    attached = true;
    hop_start = last_activity = Clock::now();
    return true;
  }

  // At the end of a final (non-1xx) header block: is it a redirect to follow?
  // False when one more redirect would exceed the limit.
  bool decide_redirect() {
    next_url.clear();
    if (!s.follow_redirects) return true;
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) return true;
    std::string location;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      std::string_view line = lines[i];
      auto colon = line.find(':');
      if (colon != std::string_view::npos && iequals(trim(line.substr(0, colon)), "Location")) {
        location = std::string(trim(line.substr(colon + 1)));
        break;
      }
    }
    if (location.empty()) return true;
    std::string target = resolve_url(url, escape_url_bytes(location));
    if (target.empty()) return true;
    UrlParts from = url_parts(url);
    UrlParts to = url_parts(target);
    if (!to.ok || (to.scheme != "http" && to.scheme != "https")) return true;
    if (from.scheme == "https" && to.scheme == "http") return true;  // never downgrade
    if (redirects >= kMaxRedirects) {
      failure = ERROR_WINHTTP_REDIRECT_FAILED;
      return false;
    }
    next_url = target;
    const bool to_get = (status == 303 && verb != "HEAD") || ((status == 301 || status == 302) && verb == "POST");
    next_verb = to_get ? "GET" : verb;
    next_send_body = to_get ? false : send_body;
    return true;
  }

  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Impl*>(self);
    const std::size_t length = size * count;
    t->answered = t->sent = true;
    t->last_activity = Clock::now();
    if (t->headers_done) return length;  // trailers
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") {
      t->lines.assign(1, std::string(line));
      t->status = parse_status(line);
      return length;
    }
    if (t->lines.empty()) return length;
    if (!line.empty()) {
      t->lines.emplace_back(line);
      return length;
    }
    if (t->status >= 100 && t->status < 200) {  // an interim answer; the real one follows
      t->lines.clear();
      return length;
    }
    if (!t->decide_redirect()) return 0;
    t->headers_done = true;
    return length;
  }

  static std::size_t on_write(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Impl*>(self);
    const std::size_t length = size * count;
    t->last_activity = Clock::now();
    if (!t->next_url.empty()) return length;  // a redirect's own body is dropped
    if (t->pending.size() - t->head >= kHighWater) {
      t->paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (t->head > 0 && t->head == t->pending.size()) {
      t->pending.clear();
      t->head = 0;
    }
    t->pending.append(data, length);
    return length;
  }

  static std::size_t on_read(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Impl*>(self);
    t->last_activity = Clock::now();
    const std::size_t left = t->s.body.size() - t->body_offset;
    const std::size_t n = std::min(size * count, left);
    if (n > 0) std::memcpy(buffer, t->s.body.data() + t->body_offset, n);
    t->body_offset += n;
    if (t->body_offset == t->s.body.size()) t->sent = true;
    return n;
  }

  static int on_seek(void* self, curl_off_t offset, int origin) {
    auto* t = static_cast<Impl*>(self);
    if (origin != SEEK_SET || offset < 0 || static_cast<std::size_t>(offset) > t->s.body.size())
      return CURL_SEEKFUNC_FAIL;
    t->body_offset = static_cast<std::size_t>(offset);
    return CURL_SEEKFUNC_OK;
  }

  static int on_sockopt(void* self, curl_socket_t, curlsocktype) {
    auto* t = static_cast<Impl*>(self);
    if (!t->resolved) {
      t->resolved = true;
      t->resolved_at = Clock::now();
    }
    return CURL_SOCKOPT_OK;
  }

  static int on_prereq(void* self, char*, char*, int, int) {
    auto* t = static_cast<Impl*>(self);
    if (!t->resolved) {
      t->resolved = true;
      t->resolved_at = Clock::now();
    }
    t->connected = true;
    t->last_activity = Clock::now();
    if (!t->send_body || t->s.body.empty()) t->sent = true;
    return CURL_PREREQFUNC_OK;
  }

  // The limit of the phase the hop is in, and the time it counts from.
  bool deadline(Clock::time_point* at) const {
    int ms;
    Clock::time_point since;
    if (!resolved) {
      ms = s.resolve_ms;
      since = hop_start;
    } else if (!connected) {
      ms = s.connect_ms;
      since = resolved_at;
    } else if (!sent) {
      ms = s.send_ms;
      since = last_activity;
    } else {
      ms = s.receive_ms;
      since = last_activity;
    }
    if (ms <= 0) return false;
    *at = since + std::chrono::milliseconds(ms);
    return true;
  }

  // One round of libcurl's work: reads and writes what the sockets allow,
  // starts a redirect's next hop, notes the end of the transfer.
  void perform() {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      end(ERROR_WINHTTP_INTERNAL_ERROR);
      return;
    }
    bool hop_done = false;
    CURLcode result = CURLE_OK;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        hop_done = true;
        result = msg->data.result;
      }
    }
    if (!next_url.empty() && (headers_done || hop_done)) {
      url = next_url;
      verb = next_verb;
      send_body = next_send_body;
      next_url.clear();
      ++redirects;
      start_hop();
      return;
    }
    if (hop_done) end(map_error(result));
  }

  // Waits for the sockets, at most until the current phase's limit.
  void wait() {
    const auto now = Clock::now();
    Clock::time_point at;
    long wait_ms = 250;
    if (deadline(&at)) {
      if (now >= at) {
        end(ERROR_WINHTTP_TIMEOUT);
        return;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at - now).count() + 1;
      wait_ms = std::min<long>(wait_ms, static_cast<long>(left));
    }
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait_ms), nullptr);
  }

  template <class Until>
  void drive(Until until) {
    last_activity = Clock::now();  // each blocking call waits afresh
    for (;;) {
      if (until() || finished || paused) return;
      perform();
      if (until() || finished || paused) return;
      wait();
    }
  }

  bool body_waiting() const { return head < pending.size(); }
};

CurlTransfer::CurlTransfer(TransferSettings settings) : impl_(std::make_unique<Impl>(std::move(settings))) {}
CurlTransfer::~CurlTransfer() = default;

bool CurlTransfer::send() {
  Impl& t = *impl_;
  if (t.started) {
    t.error = ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
    return false;
  }
  t.started = true;
  if (!t.setup()) {
    if (t.error == 0) t.error = ERROR_WINHTTP_INTERNAL_ERROR;
    t.finished = true;
    return false;
  }
  if (!t.start_hop()) {
    t.error = t.failure;
    return false;
  }
  t.drive([&] { return t.sent || t.answered; });
  if (t.sent || t.answered) return true;
  t.error = t.failure ? t.failure : ERROR_WINHTTP_CONNECTION_ERROR;
  return false;
}

bool CurlTransfer::receive() {
  Impl& t = *impl_;
  auto ready = [&] { return t.headers_done && t.next_url.empty(); };
  t.drive(ready);
  if (ready()) {
    t.final_lines = t.lines;
    t.final_status = t.status;
    return true;
  }
  t.error = t.failure ? t.failure : ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
  return false;
}

bool CurlTransfer::available(std::size_t* count) {
  Impl& t = *impl_;
  for (;;) {
    if (t.body_waiting()) {
      *count = t.pending.size() - t.head;
      return true;
    }
    if (t.finished) {
      *count = t.failure ? 1 : 0;
      return true;
    }
    if (t.paused) {
      t.paused = false;
      t.last_activity = std::chrono::steady_clock::now();
      curl_easy_pause(t.easy, CURLPAUSE_CONT);
      continue;
    }
    t.drive([&] { return t.body_waiting() || t.paused; });
  }
}

bool CurlTransfer::read(void* buffer, std::size_t size, std::size_t* got) {
  Impl& t = *impl_;
  *got = 0;
  if (size == 0) return true;
  std::size_t ignored = 0;
  if (!t.body_waiting()) available(&ignored);
  if (t.body_waiting()) {
    const std::size_t n = std::min(size, t.pending.size() - t.head);
    std::memcpy(buffer, t.pending.data() + t.head, n);
    t.head += n;
    if (t.head == t.pending.size()) {
      t.pending.clear();
      t.head = 0;
    }
    *got = n;
    return true;
  }
  if (t.failure) {
    t.error = t.failure;
    return false;
  }
  return true;
}

const std::vector<std::string>& CurlTransfer::header_lines() const { return impl_->final_lines; }
int CurlTransfer::status_code() const { return impl_->final_status; }
std::uint32_t CurlTransfer::error() const { return impl_->error; }

}  // namespace ck::platform::detail
