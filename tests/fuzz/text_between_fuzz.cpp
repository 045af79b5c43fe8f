// textBetween on any text and markers: the result is the bytes between the
// left marker's first occurrence and the right marker's next one.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "text/text_between.h"
#include "text/text_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using varnelo::Text;
  FuzzedDataProvider in(data, size);
  const varnelo::Pos start = in.ConsumeIntegralInRange<varnelo::Pos>(-1, 40);
  const bool ignoreCase = in.ConsumeBool();
  const Text left = in.ConsumeRandomLengthString(12);
  const Text right = in.ConsumeRandomLengthString(12);
  const Text text = in.ConsumeRemainingBytesAsString();
  if (text.find('\0') != Text::npos || left.find('\0') != Text::npos ||
      right.find('\0') != Text::npos) {
    return 0;
  }
  const Text result = varnelo::textBetween(text, left, right, start, ignoreCase);
  FUZZ_CHECK(result.size() <= text.size());
  if (right.empty()) FUZZ_CHECK(result.empty());
  const Text quote = "#\xD2\xFD\xBA\xC5";  // "#引号"
  if (!result.empty() && left.find(quote) == Text::npos && right.find(quote) == Text::npos &&
      !left.empty()) {
    const varnelo::Pos p = varnelo::textFind(text, left, start, ignoreCase);
    FUZZ_CHECK(p > 0);
    const std::size_t inner = static_cast<std::size_t>(p - 1) + left.size();
    FUZZ_CHECK(text.compare(inner, result.size(), result) == 0);
  }
  return 0;
}
