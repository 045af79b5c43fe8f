// The regular-expression object on any pattern and subject: no crash, no
// hang, no exception; queries after a failed execute give empty results.
// And the engine under it on any UTF-16 units: matches lie in the subject,
// in order, without overlap, with every group inside its match, and the
// first match alone is the first of all matches.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "text/regex_engine.h"
#include "text/regex_object.h"

namespace {

// `bytes` as UTF-16 units: each byte one unit, except that FF and the two
// bytes after it (low byte first) make any unit at all.
std::u16string unitsOf(const std::string& bytes) {
  std::u16string units;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == 0xFF && i + 2 < bytes.size()) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) |
                                            static_cast<unsigned char>(bytes[i + 2]) << 8));
      i += 2;
    } else {
      units.push_back(byte);
    }
  }
  return units;
}

void checkEngine(const std::u16string& pattern, const std::u16string& subject, varnelo::RegexFlags flags) {
  const std::optional<varnelo::Regex> regex = varnelo::Regex::compile(pattern, flags);
  if (!regex) return;
  std::vector<std::int32_t> all;
  const varnelo::RegexResult result = regex->findMatches(subject, true, all);
  if (result != varnelo::RegexResult::kDone) {
    FUZZ_CHECK(all.empty());
    return;
  }
  const std::size_t perMatch = 2 * (regex->groupCount() + 1);
  FUZZ_CHECK(all.size() % perMatch == 0);
  const auto n = static_cast<std::int32_t>(subject.size());
  std::int32_t previousEnd = -1;
  for (std::size_t m = 0; m < all.size(); m += perMatch) {
    const std::int32_t start = all[m];
    const std::int32_t end = all[m + 1];
    FUZZ_CHECK(start >= 0 && start <= end && end <= n);
    // No overlap, and an empty match never repeats the position of the end
    // of the match before it when that one was empty too.
    FUZZ_CHECK(start >= previousEnd);
    for (std::size_t g = 2; g < perMatch; g += 2) {
      if (all[m + g] < 0) {
        FUZZ_CHECK(all[m + g + 1] < 0);
        continue;
      }
      FUZZ_CHECK(all[m + g] >= start && all[m + g] <= all[m + g + 1] && all[m + g + 1] <= end);
    }
    previousEnd = end == start ? end + 1 : end;
  }
  std::vector<std::int32_t> first;
  if (regex->findMatches(subject, false, first) == varnelo::RegexResult::kDone) {
    FUZZ_CHECK(first.size() == (all.empty() ? 0 : perMatch));
    FUZZ_CHECK(std::equal(first.begin(), first.end(), all.begin()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool caseSensitive = in.ConsumeBool();
  const bool multiline = in.ConsumeBool();
  const bool global = in.ConsumeBool();
  const bool quoteEscape = in.ConsumeBool();
  const std::string pattern = in.ConsumeRandomLengthString(48);
  const std::string subject = in.ConsumeRemainingBytesAsString();

  // The engine alone, on the bytes taken as UTF-16 units (any unit at all,
  // lone surrogates and NUL included).
  checkEngine(unitsOf(pattern), unitsOf(subject),
              {.ignoreCase = !caseSensitive, .multiline = multiline});

  if (pattern.find('\0') != std::string::npos || subject.find('\0') != std::string::npos) return 0;
  varnelo::RegexObject regex;
  const bool ok = regex.execute(pattern, subject, caseSensitive, multiline, global, quoteEscape);
  varnelo::Pos position = 0;
  (void)regex.matchText(1, &position);
  (void)regex.subMatchText(1, 1, &position);
  (void)regex.pattern();
  const varnelo::Text replaced = regex.replace("");
  if (!ok) FUZZ_CHECK(regex.matchCount() == 0 && regex.subMatchCount() == 0 && replaced.empty());
  if (ok && !global) FUZZ_CHECK(regex.matchCount() <= 1);
  return 0;
}
