// Cookie merging, Set-Cookie collection, response decoding and the charset
// search, each at several sizes so the growth shows.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/types.h"
#include "text/regex_matcher.h"
#include "web/cookies.h"
#include "web/decode.h"

namespace {

constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// `count` items "c<i>=value<i>", from `first` on.
std::string cookie_string(int first, int count) {
  std::string out;
  for (int i = first; i < first + count; ++i) {
    if (!out.empty()) out += "; ";
    out += "c" + std::to_string(i) + "=value" + std::to_string(i);
  }
  return out;
}

// Existing cookies (range 0) merged with incoming ones (range 1), half of
// which replace an existing name.
void BM_MergeCookies(benchmark::State& state) {
  const int existing_count = static_cast<int>(state.range(0));
  const int incoming_count = static_cast<int>(state.range(1));
  const std::string existing = cookie_string(0, existing_count);
  const std::string incoming = cookie_string(existing_count - incoming_count / 2, incoming_count);
  for (auto _ : state) {
    ck::Text cookie = existing;
    benchmark::DoNotOptimize(ck::merge_cookies(&cookie, incoming));
  }
  state.SetComplexityN(existing_count + incoming_count);
}
BENCHMARK(BM_MergeCookies)
    ->Args({100, 10})
    ->Args({1000, 100})
    ->Args({10000, 1000})
    ->Args({100000, 10000})
    ->Complexity();

// A header block of `lines` lines, one in four a Set-Cookie line.
void BM_CollectSetCookies(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  std::string headers = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < lines; ++i) {
    if (i % 4 == 0) headers += "Set-Cookie: s" + std::to_string(i) + "=v; path=/; HttpOnly\r\n";
    else headers += "X-Header-" + std::to_string(i) + ": some value\r\n";
  }
  headers += "\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(ck::collect_set_cookies(headers));
  state.SetComplexityN(lines);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(headers.size()));
}
BENCHMARK(BM_CollectSetCookies)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity();

// A UTF-8 page of `bytes` bytes with a meta tag, decoded to GBK.
void BM_DecodeUtf8Page(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::string page = "<html><head><meta charset=\"utf-8\"></head><body>";
  const std::string chunk = "<p>\xE4\xB8\xAD\xE6\x96\x87 text, more text</p>\r\n";  // 中文
  while (page.size() + chunk.size() < size) page += chunk;
  page.resize(size, ' ');
  const ck::Bytes body = ck::bytes_of(page);
  ck::RegexMatcher matcher;
  ck::Bytes response_bytes;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ck::decode_winhttp_response(
        {.response_headers = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n",
         .body = body,
         .matcher = &matcher,
         .response_bytes = &response_bytes}));
  }
  state.SetComplexityN(static_cast<std::int64_t>(size));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_DecodeUtf8Page)
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Arg(16 << 20)
    ->Arg(64 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// The charset pattern over a subject of `bytes` bytes whose tag stands at the
// end, so the whole subject is searched.
void BM_CharsetPattern(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string tag = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
  std::string subject;
  while (subject.size() + tag.size() + 16 < size) subject += "<link rel=x> <p>";
  subject.resize(size - tag.size(), ' ');
  subject += tag;
  ck::RegexMatcher matcher;
  for (auto _ : state) {
    matcher.execute(kCharsetPattern, subject);
    benchmark::DoNotOptimize(matcher.submatch_text(1, 1));
  }
  state.SetComplexityN(static_cast<std::int64_t>(size));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_CharsetPattern)->Arg(256)->Arg(1024)->Arg(4096)->Arg(16384)->Complexity();

// The hardest subject for that pattern: one long line of meta tags without a
// charset, where every tag's lazy ".+?" runs to the end of the line.
void BM_CharsetPatternTagsWithoutCharset(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::string subject;
  while (subject.size() < size) subject += "<meta name=x>";
  subject.resize(size);
  ck::RegexMatcher matcher;
  for (auto _ : state) {
    matcher.execute(kCharsetPattern, subject);
    benchmark::DoNotOptimize(matcher.match_count());
  }
  state.SetComplexityN(static_cast<std::int64_t>(size));
}
BENCHMARK(BM_CharsetPatternTagsWithoutCharset)->Arg(256)->Arg(1024)->Arg(4096)->Arg(16384)->Complexity(benchmark::oNSquared);

}  // namespace

BENCHMARK_MAIN();
