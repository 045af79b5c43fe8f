// Cookie merging on any two strings: the old argument receives the result,
// no deletion item survives, and no item appears twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <set>

#include "fuzz/fuzz_check.h"
#include "http/cookies.h"
#include "text/text_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using varnelo::Text;
  FuzzedDataProvider in(data, size);
  Text oldCookies = in.ConsumeRandomLengthString(256);
  Text newCookies = in.ConsumeRemainingBytesAsString();
  if (oldCookies.find('\0') != Text::npos || newCookies.find('\0') != Text::npos) return 0;

  const Text merged = varnelo::mergeCookies(oldCookies, newCookies);
  FUZZ_CHECK(oldCookies == merged);
  std::set<Text> seen;
  for (const Text& item : varnelo::textSplit(merged, "; ")) {
    FUZZ_CHECK(item.size() < 8 || item.compare(item.size() - 8, 8, "=deleted") != 0);
    FUZZ_CHECK(seen.insert(item).second);
  }
  (void)varnelo::cookieName(merged);
  return 0;
}
