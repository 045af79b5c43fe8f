// The regular-expression object on any pattern and subject: no crash, no
// hang, no exception; queries after a failed execute give empty results.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "text/regex_object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool caseSensitive = in.ConsumeBool();
  const bool multiline = in.ConsumeBool();
  const bool global = in.ConsumeBool();
  const bool quoteEscape = in.ConsumeBool();
  const std::string pattern = in.ConsumeRandomLengthString(48);
  const std::string subject = in.ConsumeRemainingBytesAsString();
  if (pattern.find('\0') != std::string::npos || subject.find('\0') != std::string::npos) return 0;
  varnelo::RegexObject regex;
  const bool ok = regex.execute(pattern, subject, caseSensitive, multiline, global, quoteEscape);
  varnelo::Pos position = 0;
  (void)regex.matchText(1, &position);
  (void)regex.subMatchText(1, 1, &position);
  (void)regex.pattern();
  const varnelo::Text replaced = regex.replace("");
  if (!ok) FUZZ_CHECK(regex.matchCount() == 0 && regex.subMatchCount() == 0 && replaced.empty());
  return 0;
}
