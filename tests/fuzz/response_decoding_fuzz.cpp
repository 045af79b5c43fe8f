// Response decoding of any body under any declared character set: no crash,
// and the result is Text (no NUL).
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "http/response_decoding.h"
#include "text/regex_object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string name = in.ConsumeRandomLengthString(24);
  const std::string rest = in.ConsumeRemainingBytesAsString();
  std::string page = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + name + "\">" + rest;
  varnelo::Bytes body(page.begin(), page.end());
  varnelo::RegexObject regex;
  const varnelo::Text text = varnelo::decodeResponseText(body, regex);
  FUZZ_CHECK(text.find('\0') == varnelo::Text::npos);
  varnelo::Bytes raw(rest.begin(), rest.end());
  FUZZ_CHECK(varnelo::decodeResponseText(raw, regex).find('\0') == varnelo::Text::npos);
  return 0;
}
