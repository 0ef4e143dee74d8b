// Throughput of the text utilities on bodies of 1 MiB and 16 MiB, with
// memchr over the same buffer as the yardstick of what memory allows.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "tests/support/support.h"
#include "text/codepage.h"
#include "text/cut.h"
#include "text/url.h"

namespace {

// An answer-like text mixing ASCII and GBK (about a third of it double-byte).
std::string mixed_text(std::size_t size) {
  const std::string chunk = "{\"msg\":\"" + ck::testing::gbk("签到成功获得成长值：") + "12\",\"code\":0,\"note\":\"" +
                            ck::testing::gbk("今日已领取，明天再来") + "\",\"list\":[1,2,3]},";
  std::string text;
  text.reserve(size + chunk.size());
  while (text.size() < size) text += chunk;
  text.resize(size);
  // Do not end inside a double-byte character.
  std::size_t i = 0;
  while (i < text.size()) i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
  if (i > text.size()) text.back() = 'x';
  return text;
}

std::string with_marker_near_end(std::size_t size) {
  std::string text = mixed_text(size);
  const std::string tail = "\"vusession\":\"3F2A9C0D11\",\"x\":1}";
  text.replace(text.size() - tail.size() - 64, tail.size(), tail);
  return text;
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond); }

void BM_Memchr(benchmark::State& state) {
  const std::string text = mixed_text(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const char* data = text.data();
    benchmark::DoNotOptimize(data);  // keep the call from being hoisted out of the loop
    benchmark::DoNotOptimize(std::memchr(data, '\x01', text.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Memchr)->Apply(sizes);

void BM_TextBetween(benchmark::State& state) {
  const std::string text = with_marker_near_end(static_cast<std::size_t>(state.range(0)));
  if (ck::text_between(text, "vusession\":\"", "\"") != "3F2A9C0D11") state.SkipWithError("marker not found");
  for (auto _ : state) benchmark::DoNotOptimize(ck::text_between(text, "vusession\":\"", "\""));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_TextBetween)->Apply(sizes);

void BM_UrlEncode(benchmark::State& state) {
  const std::string text = mixed_text(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ck::url_encode(text, true));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_UrlEncode)->Apply(sizes);

void BM_UrlDecode(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::string encoded = ck::url_encode(mixed_text(size / 2), true);
  while (encoded.size() < size) encoded += encoded;
  encoded.resize(size);
  for (auto _ : state) benchmark::DoNotOptimize(ck::url_decode(encoded));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_UrlDecode)->Apply(sizes);

void BM_GbkToUtf8(benchmark::State& state) {
  const std::string text = mixed_text(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ck::gbk_to_utf8(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_GbkToUtf8)->Apply(sizes);

void BM_Utf8ToGbk(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::string utf8 = ck::gbk_to_utf8(mixed_text(size));
  // Cut to the size at a character start.
  utf8.resize(size);
  while (!utf8.empty() && (static_cast<unsigned char>(utf8.back()) & 0xC0) == 0x80) utf8.pop_back();
  if (!utf8.empty() && static_cast<unsigned char>(utf8.back()) >= 0xC0) utf8.pop_back();
  for (auto _ : state) benchmark::DoNotOptimize(ck::utf8_to_gbk(utf8));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(utf8.size()));
}
BENCHMARK(BM_Utf8ToGbk)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
