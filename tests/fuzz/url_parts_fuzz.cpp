// Address parsing on any address: no crash, a lower-case host without "/",
// a path that starts with "/".
#include "fuzz/fuzz_check.h"
#include "http/wininet_request.h"
#include "text/text_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using varnelo::Text;
  const Text url(reinterpret_cast<const char*>(data), size);
  if (url.find('\0') != Text::npos) return 0;
  const Text host = varnelo::hostOfUrl(url, false);
  const Text hostWithPort = varnelo::hostOfUrl(url, true);
  FUZZ_CHECK(varnelo::textLower(host) == host);
  FUZZ_CHECK(varnelo::textFind(host, "/") < 0);
  FUZZ_CHECK(host.size() <= hostWithPort.size());
  (void)varnelo::portOfUrl(url);
  const Text path = varnelo::pathOfUrl(url);
  FUZZ_CHECK(!path.empty() && path[0] == '/');
  (void)varnelo::valueAfterColon(url);
  return 0;
}
