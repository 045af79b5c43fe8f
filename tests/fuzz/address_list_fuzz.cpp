// Cleaning an address list: the result is never longer, never starts with
// CR LF, and counting occurrences agrees with a plain count.
#include "app/job_intake.h"
#include "fuzz/fuzz_check.h"
#include "text/text_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnelo::Text list(reinterpret_cast<const char*>(data), size);
  if (list.find('\0') != varnelo::Text::npos) return 0;
  const varnelo::Text cleaned = varnelo::normaliseAddressList(list);
  FUZZ_CHECK(cleaned.size() <= list.size());
  FUZZ_CHECK(cleaned.compare(0, 2, "\r\n") != 0);
  // No run of line breaks survives: every CR LF CR LF loses its middle.
  FUZZ_CHECK(varnelo::countOccurrences(cleaned, "\r\n\r\n", true) == 0);
  const int lines = varnelo::countOccurrences(cleaned, "\r\n", false);
  FUZZ_CHECK(lines >= 0 && static_cast<std::size_t>(lines) * 2 <= cleaned.size());
  FUZZ_CHECK(varnelo::countOccurrences(cleaned, "", false) == 0);
  const int upper = varnelo::countOccurrences(varnelo::textUpper(list), ".JPG", true);
  FUZZ_CHECK(varnelo::countOccurrences(list, ".jpg", false) == upper);
  return 0;
}
