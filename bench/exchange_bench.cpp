// Both HTTP exchanges against a local server: one GET of a 1 KiB answer,
// each set beside the same request made by the curl command-line tool (the
// ratio of the medians of many interleaved runs), and a 64 MiB body read
// whole through http_request_winhttp, beside the curl tool reading it.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/local_server.h"
#include "web/http_com.h"
#include "web/http_winhttp.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

ck::testing::HttpServer& server() {
  static ck::testing::HttpServer s;
  static bool routes = [] {
    s.on("/1k", [](const ck::testing::RecordedRequest&) {
      return ck::testing::Reply{.body = std::string(1024, 'k')};
    });
    s.on("/64m", [](const ck::testing::RecordedRequest&) {
      return ck::testing::Reply{.body = std::string(64 * 1024 * 1024, 'm')};
    });
    return true;
  }();
  (void)routes;
  return s;
}

// The curl tool fetching `url` to /dev/null, started without a shell.
bool curl_tool(const std::string& url) {
  std::string u = url;
  char* argv[] = {const_cast<char*>("curl"), const_cast<char*>("-s"), const_cast<char*>("-o"),
                  const_cast<char*>("/dev/null"), u.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double seconds_of(const std::function<void()>& run) {
  const auto start = Clock::now();
  run();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Every iteration makes the exchange's request and the curl tool's, one after
// the other, so both see the same machine load; the counters hold medians.
void ratio_to_curl_tool(benchmark::State& state, const std::function<bool(const std::string&)>& exchange) {
  const std::string url = server().url("/1k");
  std::vector<double> ours, tool;
  for (auto _ : state) {
    bool ok = true;
    ours.push_back(seconds_of([&] { ok = exchange(url) && ok; }));
    tool.push_back(seconds_of([&] { ok = curl_tool(url) && ok; }));
    if (!ok) {
      state.SkipWithError("a request failed");
      break;
    }
  }
  state.counters["exchange_ms"] = median(ours) * 1e3;
  state.counters["curl_tool_ms"] = median(tool) * 1e3;
  state.counters["ratio"] = median(tool) > 0 ? median(ours) / median(tool) : 0;
}

void BM_WinhttpGet1KiBAgainstCurlTool(benchmark::State& state) {
  ratio_to_curl_tool(state, [](const std::string& url) {
    ck::Text status;
    const ck::Text page = ck::http_request_winhttp({.url = url, .status_text = &status});
    return status == "200 OK" && page.size() == 1024;
  });
}
BENCHMARK(BM_WinhttpGet1KiBAgainstCurlTool)->Iterations(200)->Unit(benchmark::kMillisecond);

void BM_ComGet1KiBAgainstCurlTool(benchmark::State& state) {
  ratio_to_curl_tool(state, [](const std::string& url) {
    int status = 0;
    const ck::Bytes body = ck::http_request_com({.url = url, .status_code = &status});
    return status == 200 && body.size() == 1024;
  });
}
BENCHMARK(BM_ComGet1KiBAgainstCurlTool)->Iterations(200)->Unit(benchmark::kMillisecond);

void BM_WinhttpGet64MiB(benchmark::State& state) {
  const std::string url = server().url("/64m");
  for (auto _ : state) {
    ck::Bytes bytes;
    ck::http_request_winhttp({.url = url, .response_bytes = &bytes});
    if (bytes.size() != 64u * 1024 * 1024) {
      state.SkipWithError("the body did not arrive whole");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 64 * 1024 * 1024);
}
BENCHMARK(BM_WinhttpGet64MiB)->Iterations(10)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same body fetched by the curl tool into /dev/null: the server's and the
// loopback's share of the figure above.
void BM_CurlToolGet64MiB(benchmark::State& state) {
  const std::string url = server().url("/64m");
  for (auto _ : state) {
    if (!curl_tool(url)) {
      state.SkipWithError("the curl tool failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 64 * 1024 * 1024);
}
BENCHMARK(BM_CurlToolGet64MiB)->Iterations(10)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
