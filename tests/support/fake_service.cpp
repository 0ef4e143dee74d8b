#include "tests/support/fake_service.h"

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "tests/support/local_server.h"

// tests/CMakeLists.txt passes the origins the program of this build calls.
#ifndef CK_SESSION_REFRESH_ORIGIN
#define CK_SESSION_REFRESH_ORIGIN ""
#define CK_MEMBERSHIP_TASK_ORIGIN ""
#define CK_MOBILE_CHECKIN_ORIGIN ""
#define CK_SERVICE_DOMAIN ""
#define CK_PUSH_ENDPOINT_BASE ""
#endif

namespace ck::testing {
namespace {

struct Origin {
  bool tls = false;
  std::string host;
  int port = 0;
  std::string path;  // what follows host[:port], "" for a bare origin
};

// scheme://host[:port][path]; port 0 when it cannot be read.
Origin parse_origin(const std::string& url) {
  Origin o;
  std::string rest;
  if (url.rfind("https://", 0) == 0) {
    o.tls = true;
    rest = url.substr(8);
  } else if (url.rfind("http://", 0) == 0) {
    rest = url.substr(7);
  } else {
    return o;
  }
  const std::size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  o.path = slash == std::string::npos ? "" : rest.substr(slash);
  const std::size_t colon = authority.rfind(':');
  if (colon == std::string::npos) {
    o.host = authority;
    o.port = o.tls ? 443 : 80;
  } else {
    o.host = authority.substr(0, colon);
    try {
      o.port = std::stoi(authority.substr(colon + 1));
    } catch (...) {
      o.port = 0;
    }
  }
  return o;
}

// The answers, built the way the service might; only the markers the
// program looks for matter, the rest makes them look like the real thing.
std::string refresh_body(const FakeService::Answers& a) {
  if (!a.refresh_has_session) return R"({"errcode":1000,"msg":"登录态已过期","data":{}})";
  return R"({"errcode":0,"msg":"成功","vuserid":42,"vusession":")" + a.session +
         R"(","next_refresh_time":6600,"nick":"会员"})";
}

std::string membership_body(const FakeService::Answers& a) {
  std::string json;
  switch (a.membership) {
    case FakeService::Outcome::success:
      json = R"({"ret":0,"msg":"OK","score":)" + a.score + R"(,"checkin_day":3,"level":"V2"})";
      break;
    case FakeService::Outcome::failure:
      json = R"({"ret":-10006,"msg":"Account Verify Error"})";
      break;
    case FakeService::Outcome::unrecognised:
      json = R"({"ret":-1,"msg":"busy, try later"})";
      break;
  }
  return a.membership_wrapped ? "JXOutputJson=(" + json + ")" : json;
}

// The page carries its words percent-encoded in places, as the program
// URL-decodes it before looking.
std::string mobile_body(const FakeService::Answers& a, const std::string& domain) {
  switch (a.mobile) {
    case FakeService::Outcome::success:
      return "<!DOCTYPE html><html><head><title>%E7%AD%BE%E5%88%B0</title>"
             "<link rel=\"canonical\" href=\"https://" + domain + "/x/bu/mobile_checkin\"></head>"
             "<body><div class=\"result\">%E7%AD%BE%E5%88%B0%E6%88%90%E5%8A%9F</div>"
             "<div class=\"growth\">%E6%88%90%E9%95%BF%E5%80%BC<span>    x" + a.growth_points +
             " </span></div></body></html>";
    case FakeService::Outcome::failure:
      return "<html><head><title>401 Unauthorized</title></head><body><h1>Unauthorized</h1></body></html>";
    case FakeService::Outcome::unrecognised:
      return "<html><body><p>busy</p></body></html>";
  }
  return {};
}

}  // namespace

const ServiceOrigins& build_origins() {
  static const ServiceOrigins origins{CK_SESSION_REFRESH_ORIGIN, CK_MEMBERSHIP_TASK_ORIGIN, CK_MOBILE_CHECKIN_ORIGIN,
                                      CK_SERVICE_DOMAIN, CK_PUSH_ENDPOINT_BASE};
  return origins;
}

std::string fake_service_unavailable_reason() {
  const ServiceOrigins& o = build_origins();
  for (const std::string* url : {&o.session_refresh, &o.membership_task, &o.mobile_checkin, &o.push_endpoint_base}) {
    const Origin parsed = parse_origin(*url);
    if (parsed.host != "127.0.0.1" || parsed.port <= 0)
      return "this build calls the real service (" + *url +
             "); the fake service needs origins on 127.0.0.1: run ./scripts/test.sh";
  }
  return {};
}

struct FakeService::Impl {
  struct Server {
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
  };

  ServiceOrigins origins = build_origins();
  Origin refresh = parse_origin(origins.session_refresh);
  Origin membership = parse_origin(origins.membership_task);
  Origin mobile = parse_origin(origins.mobile_checkin);
  Origin push = parse_origin(origins.push_endpoint_base);
  Options options;

  mutable std::mutex mutex;
  Answers answers;
  std::vector<ServiceRequest> requests;
  std::vector<Server> servers;
  std::string failure;

  Endpoint endpoint_of(int port, const std::string& path) const {
    if (port == refresh.port && path == "/user/auth_refresh") return Endpoint::session_refresh;
    if (port == membership.port && path == "/fcgi-bin/comm_cgi") return Endpoint::membership_task;
    if (port == mobile.port && path == "/x/bu/mobile_checkin") return Endpoint::mobile_checkin;
    const std::string base = push.path.empty() ? "/" : push.path;
    if (port == push.port && path.rfind(base, 0) == 0 && path.size() >= 5 &&
        path.compare(path.size() - 5, 5, ".send") == 0)
      return Endpoint::push;
    return Endpoint::unknown;
  }

  void handle(int port, const httplib::Request& req, httplib::Response& res) {
    ServiceRequest record;
    const std::string& target = req.target;
    const std::size_t question = target.find('?');
    record.method = req.method;
    record.path = target.substr(0, question);
    record.query = question == std::string::npos ? "" : target.substr(question + 1);
    record.has_cookie = req.has_header("Cookie");
    record.cookie = req.get_header_value("Cookie");
    record.user_agent = req.get_header_value("User-Agent");
    record.endpoint = endpoint_of(port, record.path);
    Answers a;
    {
      std::lock_guard lock(mutex);
      requests.push_back(record);
      a = answers;
    }
    const bool service = record.endpoint != Endpoint::push && record.endpoint != Endpoint::unknown;
    if (service && !options.service_up) {
      res.status = 503;
      res.set_content("", "text/plain");
      return;
    }
    switch (record.endpoint) {
      case Endpoint::session_refresh:
        res.set_content(refresh_body(a), "application/json; charset=utf-8");
        break;
      case Endpoint::membership_task:
        res.set_content(membership_body(a), "application/javascript; charset=utf-8");
        break;
      case Endpoint::mobile_checkin:
        if (a.mobile == Outcome::failure) res.status = 401;
        res.set_content(mobile_body(a, origins.service_domain), "text/html");
        break;
      case Endpoint::push:
        res.set_content(R"({"code":0,"message":"sent"})", "application/json");
        break;
      case Endpoint::unknown:
        res.status = 404;
        res.set_content("not found", "text/plain");
        break;
    }
  }

  void start(const Origin& where) {
    for (const Server& s : servers)
      if (s.port == where.port) return;
    Server s;
    s.port = where.port;
    if (where.tls) {
      const TlsFiles& files = tls_files();
      s.server = std::make_unique<httplib::SSLServer>(files.certificate.c_str(), files.key.c_str());
    } else {
      s.server = std::make_unique<httplib::Server>();
    }
    const int port = where.port;
    auto handler = [this, port](const httplib::Request& req, httplib::Response& res) { handle(port, req, res); };
    s.server->Get(".*", handler);
    s.server->Post(".*", handler);
    s.server->Put(".*", handler);
    s.server->Delete(".*", handler);
    s.server->Options(".*", handler);
    // The TLS server writes an answer in pieces; without this each one
    // waits out the peer's delayed acknowledgement (40 ms on loopback).
    s.server->set_tcp_nodelay(true);
    if (!s.server->is_valid() || !s.server->bind_to_port("127.0.0.1", port)) {
      failure += "cannot listen on 127.0.0.1:" + std::to_string(port) + " (another test or program holds it?); ";
      return;
    }
    httplib::Server* raw = s.server.get();
    s.thread = std::thread([raw] { raw->listen_after_bind(); });
    for (int i = 0; i < 500 && !raw->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    servers.push_back(std::move(s));
  }
};

FakeService::FakeService() : FakeService(Options{}) {}

FakeService::FakeService(Options options) : impl_(std::make_unique<Impl>()) {
  impl_->options = options;
  if (std::string reason = fake_service_unavailable_reason(); !reason.empty()) {
    impl_->failure = reason;
    return;
  }
  impl_->start(impl_->push);
  if (options.service_up) {
    impl_->start(impl_->refresh);
    impl_->start(impl_->membership);
    impl_->start(impl_->mobile);
  }
}

FakeService::~FakeService() {
  for (auto& s : impl_->servers) s.server->stop();
  for (auto& s : impl_->servers)
    if (s.thread.joinable()) s.thread.join();
}

bool FakeService::running() const { return impl_->failure.empty(); }
std::string FakeService::failure_reason() const { return impl_->failure; }

void FakeService::set_answers(const Answers& answers) {
  std::lock_guard lock(impl_->mutex);
  impl_->answers = answers;
}

FakeService::Answers FakeService::answers() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->answers;
}

std::vector<ServiceRequest> FakeService::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

std::vector<ServiceRequest> FakeService::requests(Endpoint endpoint) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<ServiceRequest> out;
  for (const auto& r : impl_->requests)
    if (r.endpoint == endpoint) out.push_back(r);
  return out;
}

std::size_t FakeService::request_count(Endpoint endpoint) const { return requests(endpoint).size(); }

void FakeService::clear_requests() {
  std::lock_guard lock(impl_->mutex);
  impl_->requests.clear();
}

}  // namespace ck::testing
