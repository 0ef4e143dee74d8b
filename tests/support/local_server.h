// Real servers on 127.0.0.1 for the tests, each on a free port and stopped
// when the object goes: an HTTP/HTTPS server that records what it receives,
// a raw-socket server for faults, and a tinyproxy started for the test.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/support.h"

namespace ck::testing {

using HeaderPairs = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  std::string method{};
  std::string target{};  // path and query exactly as sent
  HeaderPairs headers{};
  std::string body{};

  std::string header(std::string_view name) const;  // first value, name ignoring case; "" when absent
  int header_count(std::string_view name) const;
  bool has_header(std::string_view name) const { return header_count(name) > 0; }
};

struct Reply {
  int status = 200;
  HeaderPairs headers{};
  std::string body{};
  std::string content_type = "text/plain";
};

using Handler = std::function<Reply(const RecordedRequest&)>;

// The header lines of a raw request as they came over the wire (the request
// line and the blank line after the headers left out); without the Host line
// when `with_host` is false.
std::vector<std::string> wire_headers(const std::string& raw, bool with_host = true);

// A port that nothing listens on (it was free a moment ago).
int unused_port();

// The self-signed certificate and key the HTTPS server uses, made once per
// test program with the openssl command.
struct TlsFiles {
  std::filesystem::path certificate;
  std::filesystem::path key;
};
const TlsFiles& tls_files();

// cpp-httplib server. Every path answers 200 "ok" unless a handler is set.
class HttpServer {
 public:
  enum class Tls { Off, On };
  explicit HttpServer(Tls tls = Tls::Off);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // For requests whose path (before "?", percent-decoded) equals `path`.
  void on(const std::string& path, Handler handler);

  int port() const { return port_; }
  std::string origin() const;                            // "http://127.0.0.1:port"
  std::string url(std::string_view path_and_query) const;  // origin + path_and_query
  std::vector<RecordedRequest> requests() const;
  RecordedRequest last_request() const;  // empty record when none came
  std::size_t request_count() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
  bool tls_;
};

// One accepted connection of a RawServer, handled by the server's script.
class RawConnection {
 public:
  RawConnection(int fd, const std::atomic<bool>* stopping, std::function<void(const std::string&)> record);
  ~RawConnection();
  // The request head and its Content-Length body; "" when the peer closed.
  std::string read_request();
  bool send(std::string_view bytes);
  // Keeps the connection open, answering nothing, until the peer closes it
  // or the server stops.
  void hold();
  void close();

 private:
  bool wait_readable();  // false once the server stops

  int fd_;
  const std::atomic<bool>* stopping_;
  std::function<void(const std::string&)> record_;
  std::string buffer_;
};

class RawServer {
 public:
  using Script = std::function<void(RawConnection&)>;
  explicit RawServer(Script script);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  std::string url(std::string_view path_and_query) const;
  std::vector<std::string> raw_requests() const;  // what read_request returned, in order
  int connections() const { return connections_.load(); }

  // Reads the request, then never answers.
  static Script never_answer();
  // Reads the request, sends `response` and closes.
  static Script reply(std::string response);
  // Reads the request, sends `response` in pieces of `piece` bytes with
  // `gap` between them, then closes.
  static Script dribble(std::string response, std::size_t piece, std::chrono::milliseconds gap);

 private:
  void accept_loop();

  Script script_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::vector<std::string> raw_requests_;
};

// tinyproxy in the foreground, with its configuration and log in a
// temporary folder. With a user name, it demands Basic proxy credentials.
class TinyProxy {
 public:
  explicit TinyProxy(std::string user = "", std::string password = "");
  ~TinyProxy();
  TinyProxy(const TinyProxy&) = delete;
  TinyProxy& operator=(const TinyProxy&) = delete;

  bool running() const { return pid_ > 0; }
  int port() const { return port_; }
  std::string address() const;  // "127.0.0.1:port"
  // The request lines the proxy received, as it logged them, e.g.
  // "GET http://127.0.0.1:4000/a HTTP/1.1" or "CONNECT 127.0.0.1:4000 HTTP/1.1".
  std::vector<std::string> requests() const;

 private:
  std::unique_ptr<TempDir> folder_;
  int pid_ = -1;
  int port_ = 0;
};

}  // namespace ck::testing
