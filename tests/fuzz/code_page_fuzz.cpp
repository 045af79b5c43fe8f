// Code-page conversions on any bytes: no crash; GBK text that decodes cleanly
// round-trips through UTF-16; UTF-16 data gives Text without NUL.
#include "fuzz/fuzz_check.h"
#include "text/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using varnelo::Bytes;
  using varnelo::Text;
  const Bytes raw(data, data + size);
  const Text fromWide = varnelo::fromUtf16Bytes(raw);
  FUZZ_CHECK(fromWide.find('\0') == Text::npos);

  const Text text = varnelo::textOf(raw);
  const Bytes wide = varnelo::toUtf16Bytes(text);
  FUZZ_CHECK(text.empty() ? wide.empty() : (wide.size() >= 2 && wide.size() % 2 == 0));
  // What came back from UTF-16 is valid 936 text, so it must survive the trip.
  const Bytes again = varnelo::toUtf16Bytes(fromWide);
  FUZZ_CHECK(varnelo::fromUtf16Bytes(again) == fromWide);
  const Text utf8 = varnelo::gbkToUtf8(text);
  FUZZ_CHECK(text.empty() == utf8.empty());
  (void)varnelo::encodeFromUtf16(varnelo::decodeToUtf16(text, varnelo::kCodePageUtf8),
                                 varnelo::kCodePageGbk);
  return 0;
}
