#include "tests/support/local_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

extern char** environ;

namespace ck::testing {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lower(x) == lower(y);
         });
}

int bound_socket(int* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

bool port_accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::string RecordedRequest::header(std::string_view name) const {
  for (const auto& [k, v] : headers)
    if (iequals(k, name)) return v;
  return {};
}

int RecordedRequest::header_count(std::string_view name) const {
  return static_cast<int>(
      std::count_if(headers.begin(), headers.end(), [&](const auto& h) { return iequals(h.first, name); }));
}

int unused_port() {
  int port = 0;
  int fd = bound_socket(&port);
  if (fd >= 0) ::close(fd);
  return port;
}

const TlsFiles& tls_files() {
  static TempDir folder;
  static const TlsFiles files = [] {
    TlsFiles f{folder.path() / "cert.pem", folder.path() / "key.pem"};
    const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                                " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1,DNS:localhost"
                                " -keyout '" + f.key.string() + "' -out '" + f.certificate.string() +
                                "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "openssl could not make a certificate";
    return f;
  }();
  return files;
}

// --- HttpServer -----------------------------------------------------------

struct HttpServer::Impl {
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  mutable std::mutex mutex;
  std::vector<RecordedRequest> requests;
  std::map<std::string, Handler> handlers;

  void handle(const httplib::Request& req, httplib::Response& res) {
    RecordedRequest record;
    record.method = req.method;
    record.target = req.target;
    for (const auto& [k, v] : req.headers)
      if (k != "REMOTE_ADDR" && k != "REMOTE_PORT" && k != "LOCAL_ADDR" && k != "LOCAL_PORT")
        record.headers.emplace_back(k, v);
    record.body = req.body;
    Handler handler;
    {
      std::lock_guard lock(mutex);
      requests.push_back(record);
      if (auto it = handlers.find(req.path); it != handlers.end()) handler = it->second;
    }
    Reply reply;
    if (handler)
      reply = handler(record);
    else
      reply.body = "ok";
    res.status = reply.status;
    for (auto& [k, v] : reply.headers) res.headers.emplace(k, v);
    if (reply.body.size() > (std::size_t{1} << 20)) {
      auto data = std::make_shared<std::string>(std::move(reply.body));
      res.set_content_provider(data->size(), reply.content_type,
                               [data](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 return sink.write(data->data() + offset,
                                                   std::min<std::size_t>(length, std::size_t{1} << 16));
                               });
    } else {
      res.set_content(reply.body, reply.content_type.c_str());
    }
  }
};

HttpServer::HttpServer(Tls tls) : impl_(std::make_unique<Impl>()), tls_(tls == Tls::On) {
  if (tls_) {
    const auto& files = tls_files();
    impl_->server =
        std::make_unique<httplib::SSLServer>(files.certificate.c_str(), files.key.c_str());
  } else {
    impl_->server = std::make_unique<httplib::Server>();
  }
  auto& s = *impl_->server;
  auto handler = [impl = impl_.get()](const httplib::Request& req, httplib::Response& res) { impl->handle(req, res); };
  s.Get(".*", handler);
  s.Post(".*", handler);
  s.Put(".*", handler);
  s.Delete(".*", handler);
  s.Options(".*", handler);
  s.Patch(".*", handler);
  port_ = s.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) {
    ADD_FAILURE() << "the test server could not bind";
    return;
  }
  impl_->thread = std::thread([&s] { s.listen_after_bind(); });
  for (int i = 0; i < 500 && !s.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

HttpServer::~HttpServer() {
  impl_->server->stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

void HttpServer::on(const std::string& path, Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->handlers[path] = std::move(handler);
}

std::string HttpServer::origin() const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string HttpServer::url(std::string_view path_and_query) const { return origin() + std::string(path_and_query); }

std::vector<RecordedRequest> HttpServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

RecordedRequest HttpServer::last_request() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests.empty() ? RecordedRequest{} : impl_->requests.back();
}

std::size_t HttpServer::request_count() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests.size();
}

// --- RawServer ------------------------------------------------------------

RawConnection::RawConnection(int fd, const std::atomic<bool>* stopping,
                             std::function<void(const std::string&)> record)
    : fd_(fd), stopping_(stopping), record_(std::move(record)) {}

RawConnection::~RawConnection() { close(); }

bool RawConnection::wait_readable() {
  while (!stopping_->load()) {
    pollfd p{fd_, POLLIN, 0};
    int n = ::poll(&p, 1, 50);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
  return false;
}

std::string RawConnection::read_request() {
  if (fd_ < 0) return {};
  auto fill = [&] {
    if (!wait_readable()) return false;
    char chunk[65536];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  };
  std::size_t head_end;
  while ((head_end = buffer_.find("\r\n\r\n")) == std::string::npos)
    if (!fill()) return {};
  head_end += 4;
  std::size_t length = 0;
  std::istringstream lines(buffer_.substr(0, head_end));
  for (std::string line; std::getline(lines, line);) {
    auto colon = line.find(':');
    if (colon != std::string::npos && iequals(line.substr(0, colon), "Content-Length"))
      length = std::strtoul(line.c_str() + colon + 1, nullptr, 10);
  }
  while (buffer_.size() < head_end + length)
    if (!fill()) return {};
  std::string request = buffer_.substr(0, head_end + length);
  buffer_.erase(0, head_end + length);
  if (record_) record_(request);
  return request;
}

bool RawConnection::send(std::string_view bytes) {
  while (!bytes.empty() && fd_ >= 0) {
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return fd_ >= 0;
}

void RawConnection::hold() {
  char chunk[4096];
  while (fd_ >= 0 && wait_readable())
    if (::recv(fd_, chunk, sizeof chunk, 0) <= 0) return;
}

void RawConnection::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

RawServer::RawServer(Script script) : script_(std::move(script)) {
  listen_fd_ = bound_socket(&port_);
  if (listen_fd_ < 0 || ::listen(listen_fd_, 64) != 0) {
    ADD_FAILURE() << "the raw test server could not listen";
    return;
  }
  acceptor_ = std::thread([this] { accept_loop(); });
}

RawServer::~RawServer() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

void RawServer::accept_loop() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    std::lock_guard lock(mutex_);
    workers_.emplace_back([this, fd] {
      RawConnection connection(fd, &stopping_, [this](const std::string& request) {
        std::lock_guard inner(mutex_);
        raw_requests_.push_back(request);
      });
      script_(connection);
    });
  }
}

std::string RawServer::url(std::string_view path_and_query) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path_and_query);
}

std::vector<std::string> RawServer::raw_requests() const {
  std::lock_guard lock(mutex_);
  return raw_requests_;
}

RawServer::Script RawServer::never_answer() {
  return [](RawConnection& c) {
    c.read_request();
    c.hold();
  };
}

RawServer::Script RawServer::reply(std::string response) {
  return [response](RawConnection& c) {
    c.read_request();
    c.send(response);
    c.close();
  };
}

RawServer::Script RawServer::dribble(std::string response, std::size_t piece, std::chrono::milliseconds gap) {
  return [response, piece, gap](RawConnection& c) {
    c.read_request();
    for (std::size_t at = 0; at < response.size(); at += piece) {
      if (at > 0) std::this_thread::sleep_for(gap);
      if (!c.send(std::string_view(response).substr(at, piece))) return;
    }
    c.close();
  };
}

// --- TinyProxy ------------------------------------------------------------

TinyProxy::TinyProxy(std::string user, std::string password) : folder_(std::make_unique<TempDir>()) {
  const auto conf = folder_->path() / "tinyproxy.conf";
  const auto log = folder_->path() / "tinyproxy.log";
  const auto out = folder_->path() / "stdout.txt";
  for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) {
    port_ = unused_port();
    std::ofstream(conf, std::ios::trunc) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\n"
                                         << "LogFile \"" << log.string() << "\"\nLogLevel Connect\n"
                                         << "MaxClients 50\nAllow 127.0.0.1\n"
                                         << (user.empty() ? "" : "BasicAuth " + user + " " + password + "\n");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string conf_path = conf.string();
    char* argv[] = {const_cast<char*>("tinyproxy"), const_cast<char*>("-d"), const_cast<char*>("-c"),
                    conf_path.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "tinyproxy", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) break;
    bool up = false;
    for (int i = 0; i < 250 && !up; ++i) {
      if (::waitpid(pid, nullptr, WNOHANG) == pid) break;  // it gave up (port taken?)
      up = port_accepts(port_);
      if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (up) {
      pid_ = pid;
    } else if (::waitpid(pid, nullptr, WNOHANG) == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  if (pid_ <= 0) ADD_FAILURE() << "tinyproxy did not start";
}

TinyProxy::~TinyProxy() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

std::string TinyProxy::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> TinyProxy::requests() const {
  std::vector<std::string> lines;
  std::ifstream in(folder_->path() / "tinyproxy.log");
  const std::string marker = "Request (file descriptor ";
  for (std::string line; std::getline(in, line);) {
    auto at = line.find(marker);
    if (at == std::string::npos) continue;
    auto colon = line.find("): ", at);
    if (colon != std::string::npos) lines.push_back(line.substr(colon + 3));
  }
  return lines;
}

std::vector<std::string> wire_headers(const std::string& raw, bool with_host) {
  std::vector<std::string> lines;
  std::size_t at = raw.find("\r\n");
  while (at != std::string::npos) {
    const std::size_t next = raw.find("\r\n", at + 2);
    if (next == std::string::npos || next == at + 2) break;
    std::string line = raw.substr(at + 2, next - at - 2);
    if (with_host || line.rfind("Host: ", 0) != 0) lines.push_back(std::move(line));
    at = next;
  }
  return lines;
}

}  // namespace ck::testing
