// Header helpers on any block: normalising is idempotent, never leaves a line
// break at the end, and keeps only lines with a ":"; cutting at a marker gives back
// pieces of the text.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "http/header_text.h"
#include "text/text_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using varnelo::Text;
  FuzzedDataProvider in(data, size);
  const Text marker = in.ConsumeRandomLengthString(6);
  const Text block = in.ConsumeRemainingBytesAsString();
  if (block.find('\0') != Text::npos || marker.find('\0') != Text::npos) return 0;

  const Text once = varnelo::normaliseHeaderNames(block);
  FUZZ_CHECK(once.size() <= block.size());
  FUZZ_CHECK(varnelo::normaliseHeaderNames(once) == once);
  // No line break at the end (a CR that is the second byte of a two-byte
  // character followed by LF is no line break).
  FUZZ_CHECK(once.size() < 2 ||
             varnelo::textFindLast(once, "\r\n") != static_cast<varnelo::Pos>(once.size()) - 1);
  for (const Text& line : varnelo::textSplit(once, "\r\n")) FUZZ_CHECK(line.find(':') != Text::npos);

  const Text left = varnelo::textLeftOf(block, marker);
  const Text right = varnelo::textRightOf(block, marker);
  FUZZ_CHECK(left.size() <= block.size() && right.size() <= block.size());
  FUZZ_CHECK(block.compare(0, left.size(), left) == 0);
  FUZZ_CHECK(block.compare(block.size() - right.size(), right.size(), right) == 0);
  (void)varnelo::capitaliseFirst(block);
  return 0;
}
