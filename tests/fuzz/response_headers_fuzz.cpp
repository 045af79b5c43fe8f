// The raw-header processing of both requests on any header block: the
// redirect target and status text are pieces of the block, the cookie items
// never hold a ";" of their own, and on plain ASCII blocks a naive
// line-by-line reading finds as many cookies and the same redirect target
// and status text.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "http/response_headers.h"
#include "text/text_ops.h"

namespace {

using varnelo::Text;

std::size_t semicolons(const Text& text) { return std::count(text.begin(), text.end(), ';'); }

// The lines of `block` split at every CR LF, byte by byte.
std::vector<std::string> naiveLines(const std::string& block) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < block.size()) {
    std::size_t end = block.find("\r\n", start);
    if (end == std::string::npos) end = block.size();
    lines.push_back(block.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The same reading as the requests', written over std::string alone; it
// agrees with them only where no byte opens a two-byte character.
void checkAgainstNaiveReading(const Text& block, const Text& previous, const Text& items,
                              const Text& location, const Text& status) {
  std::size_t setCookieLines = 0;
  std::string lastLocation = previous;
  for (const std::string& line : naiveLines(block)) {
    std::size_t colon = line.find(": ");
    if (colon != std::string::npos && line.compare(0, colon, "Set-Cookie") == 0)
      ++setCookieLines;
    if (line.size() >= 10 && lowered(line.substr(0, 10)) == "location: ") lastLocation = line.substr(10);
  }
  FUZZ_CHECK(semicolons(items) == setCookieLines);
  FUZZ_CHECK(location == lastLocation);
  std::size_t end = block.size() > 9 ? block.find("\r\n", 9) : std::string::npos;
  FUZZ_CHECK(status == (end == std::string::npos ? std::string() : block.substr(9, end - 9)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const Text previous = in.ConsumeRandomLengthString(16);
  const Text block = in.ConsumeRemainingBytesAsString();
  if (block.find('\0') != Text::npos || previous.find('\0') != Text::npos) return 0;

  const Text items = varnelo::setCookieItems(block);
  const Text cookies = varnelo::collectResponseCookies(block);
  const Text location = varnelo::locationFromHeaders(block, previous);
  const Text status = varnelo::statusTextFromHeaders(block);

  // Every item ends in "; " and holds no ";" itself; joining drops the last.
  FUZZ_CHECK(items.empty() || items.compare(items.size() - 2, 2, "; ") == 0);
  FUZZ_CHECK(cookies == items.substr(0, items.empty() ? 0 : items.size() - 2));
  FUZZ_CHECK(semicolons(cookies) + (items.empty() ? 0 : 1) == semicolons(items));
  FUZZ_CHECK(cookies.size() <= block.size());

  FUZZ_CHECK(location == previous || block.find(location) != Text::npos);
  FUZZ_CHECK(status.empty() || block.compare(9, status.size(), status) == 0);

  if (std::all_of(block.begin(), block.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    checkAgainstNaiveReading(block, previous, items, location, status);
  return 0;
}
