// One whole daily run (session refresh, both check-ins, the notice) against
// the fake service on loopback, next to the same four requests made one
// after another by the curl command-line tool. Prints the ratio of the two.
//
// Needs a build whose service origins point at 127.0.0.1 (build-test, as
// ./scripts/test.sh configures it).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "checkin/host.h"
#include "checkin/refresh.h"
#include "platform/files.h"
#include "tests/support/fake_service.h"
#include "tests/support/support.h"

extern char** environ;

namespace {

using ck::Text;

class BenchHost : public ck::CheckInHost {
 public:
  Text cookie_text() const override { return "a=1;vwz_vusession=OLD;vwz_vuserid=42;"; }
  Text vstk_text() const override { return "f3a9c1"; }
  Text server_key_text() const override { return "SCT12345"; }
  void append_log(std::string_view line) override { lines_ += line.empty() ? 0 : 1; }
  Text status_part_text(int part) const override { return part == 3 ? count_ : Text(); }
  void set_status_part_text(int part, std::string_view text) override {
    if (part == 3) count_ = Text(text);
  }
  void save_settings() override {}
  long lines() const { return lines_; }

 private:
  Text count_;
  long lines_ = 0;
};

struct Fixture {
  ck::testing::TempDir folder;
  ck::platform::ScopedProgramDirectory directory{ck::platform::path_text(folder.path())};
  std::unique_ptr<ck::testing::FakeService> service;
  std::string failure;

  Fixture() {
    failure = ck::testing::fake_service_unavailable_reason();
    if (!failure.empty()) return;
    service = std::make_unique<ck::testing::FakeService>();
    if (!service->running()) failure = service->failure_reason();
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_WholeRun(benchmark::State& state) {
  if (!fixture().failure.empty()) {
    state.SkipWithError(fixture().failure.c_str());
    return;
  }
  BenchHost host;
  for (auto _ : state) ck::refresh_session(host);
  if (host.lines() != 2 * static_cast<long>(state.iterations())) state.SkipWithError("a run was not recognised");
}

// The run's four requests, as curl command lines.
std::vector<std::vector<std::string>> curl_commands() {
  const auto& o = ck::testing::build_origins();
  const std::string user_agent =
      "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
      "Chrome/47.0.2526.80 Safari/537.36 Core/1.47.277.400 WZBrowser/9.4.7658.400";
  const std::vector<std::string> common = {"curl", "-s", "-k", "-o", "/dev/null"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> c = common;
    c.insert(c.end(), extra.begin(), extra.end());
    return c;
  };
  return {
      with({"-X", "POST", "-d", "", "-H", user_agent, "-b", "a=1;vwz_vusession=OLD;vwz_vuserid=42;",
            o.session_refresh + "/user/auth_refresh?vappid=73111083&vsecret=9c4e27d0b83a5f16e2d94c07a8b3f5e1d60c92a7b4e8"
                                "f3d5&type=wz&g_tk=&g_vstk=f3a9c1"}),
      with({"-b", "a=1;vwz_vusession=NEW;vwz_vuserid=42;",
            o.membership_task + "/fcgi-bin/comm_cgi?name=hierarchical_task_system&cmd=2&_="}),
      with({"-b", "vwz_vusession=NEW;vwz_vuserid=42;main_login=wz;", o.mobile_checkin + "/x/bu/mobile_checkin"}),
      with({o.push_endpoint_base + "SCT12345.send?text=2026/12/11%208:30:00%20%E7%AD%BE%E5%88%B0%E6%88%90%E5%8A%9F"
                                   "%E7%AC%AC%E4%BA%8C%E6%AC%A1%EF%BC%9A5"}),
  };
}

bool run(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_CurlFourRequests(benchmark::State& state) {
  if (!fixture().failure.empty()) {
    state.SkipWithError(fixture().failure.c_str());
    return;
  }
  const auto commands = curl_commands();
  for (auto _ : state) {
    for (const auto& c : commands) {
      if (!run(c)) {
        state.SkipWithError("curl failed");
        return;
      }
    }
  }
}

BENCHMARK(BM_WholeRun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlFourRequests)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console output, plus the mean real time of each benchmark for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration)
        seconds_[r.run_name.function_name] = r.GetAdjustedRealTime();
  }
  double time(const std::string& name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.time("BM_WholeRun");
  const double curl = reporter.time("BM_CurlFourRequests");
  if (ours > 0 && curl > 0)
    std::printf("whole run / four curl requests: %.2f (%.2f ms against %.2f ms)\n", ours / curl, ours, curl);
  benchmark::Shutdown();
  return 0;
}
