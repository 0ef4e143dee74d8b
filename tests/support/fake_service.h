// A stand-in for the video service and the push service, speaking real HTTP
// and HTTPS on 127.0.0.1 at the origins the build was configured with
// (scripts/test.sh points them at fixed loopback ports).
//
// It answers the four requests of a daily run the way the program reads
// them, with outcomes a test chooses, and records every request as it
// arrived, so a test can assert exactly what was sent:
// - POST /user/auth_refresh: UTF-8 JSON holding "vusession":"<session>";
// - GET /fcgi-bin/comm_cgi: JSONP JXOutputJson=({...}) with "OK" and a
//   score, or with "Account Verify Error", or the JSON without the wrapper;
// - GET /x/bu/mobile_checkin: HTML naming the service domain with the growth
//   points after four blanks and an x, or a 401 page with "Unauthorized";
// - GET <push base path><key>.send?text=...: a small JSON answer.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace ck::testing {

// The build's service origins (the CMake cache variables), as the program
// calls them.
struct ServiceOrigins {
  std::string session_refresh;     // scheme://host[:port]
  std::string membership_task;     // scheme://host[:port]
  std::string mobile_checkin;      // scheme://host[:port]
  std::string service_domain;      // looked for in the mobile answer
  std::string push_endpoint_base;  // scheme://host[:port]/path/
};
const ServiceOrigins& build_origins();

// "" when the fake service can stand in for every origin of this build (all
// on 127.0.0.1); otherwise the reason, for GTEST_SKIP.
std::string fake_service_unavailable_reason();

enum class Endpoint { session_refresh, membership_task, mobile_checkin, push, unknown };

struct ServiceRequest {
  Endpoint endpoint = Endpoint::unknown;
  std::string method;
  std::string path;   // as sent, before the first "?"
  std::string query;  // as sent, after the first "?" ("" when none)
  bool has_cookie = false;
  std::string cookie;  // the Cookie line's value
  std::string user_agent;
};

class FakeService {
 public:
  enum class Outcome {
    success,      // "OK" with a score / a page with the domain and the points
    failure,      // "Account Verify Error" / a 401 "Unauthorized" page
    unrecognised  // an answer holding none of the markers
  };
  struct Answers {
    bool refresh_has_session = true;
    std::string session = "NEW";  // UTF-8, put into the refresh answer
    Outcome membership = Outcome::success;
    bool membership_wrapped = true;  // false: the JSON without JXOutputJson=(...)
    std::string score = "10";
    Outcome mobile = Outcome::success;
    std::string growth_points = "5";
  };
  struct Options {
    // false: the service's own ports are not listened on, so its endpoints
    // refuse connections while the push endpoint still answers. (Where the
    // push endpoint shares a port with them, they answer 503 instead.)
    bool service_up = true;
  };

  FakeService();
  explicit FakeService(Options options);
  ~FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  // Every server it meant to start listens.
  bool running() const;
  std::string failure_reason() const;

  void set_answers(const Answers& answers);
  Answers answers() const;

  std::vector<ServiceRequest> requests() const;  // in the order they arrived
  std::vector<ServiceRequest> requests(Endpoint endpoint) const;
  std::size_t request_count(Endpoint endpoint) const;
  void clear_requests();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ck::testing
