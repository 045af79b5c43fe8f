// The text scans are linear: the time per byte stays flat from 1 MB to 10 MB.
// And the job intake's cleaning of a large address list by RegexObject.
#include <benchmark/benchmark.h>

#include <string>

#include "text/regex_object.h"
#include "text/text_between.h"
#include "text/text_ops.h"

namespace {

using varnelo::Text;

// Page-like text of `size` bytes: markup, Chinese text and picture addresses,
// with second bytes of 0x5C and 0x7C in it, and no "</body>".
Text pageText(std::size_t size) {
  const Text chunk =
      "<div class=\"post\"><p>\xD6\xD0\xCE\xC4\xB5\xC4\xCE\xC4\xD7\xD6\xA3\xAC\xB0\\\xB0|</p>"
      "<img src=\"http://example.com/pic/0001.JPG\"> some ASCII text, 0123456789\r\n";
  Text text;
  text.reserve(size + chunk.size());
  while (text.size() < size) text += chunk;
  text.resize(size);
  return text;
}

void textFindAbsent(benchmark::State& state) {
  const Text text = pageText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(varnelo::textFind(text, "</body>"));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(textFindAbsent)->Arg(1 << 20)->Arg(4 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void textFindIgnoringCase(benchmark::State& state) {
  const Text text = pageText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(varnelo::textFind(text, "</BODY>", 1, true));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(textFindIgnoringCase)->Arg(1 << 20)->Arg(4 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void textBetweenAtTheEnd(benchmark::State& state) {
  const Text text = pageText(static_cast<std::size_t>(state.range(0))) + "<title>x</title>";
  for (auto _ : state) benchmark::DoNotOptimize(varnelo::textBetween(text, "<title>", "</title>"));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(textBetweenAtTheEnd)->Arg(1 << 20)->Arg(4 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// Counting the picture mentions as the page worker does: textFind again and
// again from just after the last one found.
void countOccurrences(benchmark::State& state) {
  const Text text = pageText(static_cast<std::size_t>(state.range(0)));
  std::int64_t count = 0;
  for (auto _ : state) {
    count = 0;
    for (varnelo::Pos at = varnelo::textFind(text, ".jpg", 1, true); at > 0;
         at = varnelo::textFind(text, ".jpg", at + 4, true)) {
      ++count;
    }
    benchmark::DoNotOptimize(count);
  }
  state.counters["found"] = static_cast<double>(count);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(countOccurrences)->Arg(1 << 20)->Arg(4 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// The job intake on an address list of `size` bytes with blank lines.
void regexCleanAddressList(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  Text list;
  for (int i = 0; list.size() < size; ++i) {
    list += "http://www.example.com/thread-" + std::to_string(i) + "-1-1.html\r\n";
    if (i % 3 == 0) list += "\r\n";
  }
  std::size_t kept = 0;
  for (auto _ : state) {
    varnelo::RegexObject regex;
    regex.execute("(?:^\\r|\\n$)", list);
    kept = regex.replace("").size();
    benchmark::DoNotOptimize(kept);
  }
  state.counters["kept_bytes"] = static_cast<double>(kept);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(regexCleanAddressList)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->Iterations(2);

// The response decoding's detection on the first 1024 bytes of a page whose
// declaration comes late in that window.
void regexCharsetDetection(benchmark::State& state) {
  Text head = "<html><head><meta name=\"keywords\" content=\"\xD6\xD0\xCE\xC4\">\r\n";
  while (head.size() < 900) head += "<link rel=\"stylesheet\" href=\"/static/site.css\">\r\n";
  head += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=\"utf-8\">";
  head.resize(1024, ' ');
  Text name;
  for (auto _ : state) {
    varnelo::RegexObject regex;
    regex.execute("<meta.+?charset=[^\\w]?([-\\w]+)", head);
    name = regex.subMatchText(1, 1);
    benchmark::DoNotOptimize(name);
  }
  state.SetLabel(name);
}
BENCHMARK(regexCharsetDetection)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
