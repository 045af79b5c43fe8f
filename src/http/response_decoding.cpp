#include "http/response_decoding.h"

#include "platform/charset_decoder.h"
#include "text/text_ops.h"

namespace varnelo {

namespace {

// "<meta", the shortest run of anything but a line feed, "charset=", at most
// one non-word character (a quote, as a rule), then the name.
const Text kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
constexpr Pos kDetectionWindow = 1024;

// True for the names that mean the system code page itself, written exactly
// so; "GBK" or "GB2312" in capitals are re-decoded like any other name.
bool isSystemCodePageName(const Text& name) { return name == "gbk" || name == "gb2312"; }

}  // namespace

Text decodeResponseText(const Bytes& body, RegexObject& regex) {
  Text text = textOf(body);
  if (!regex.execute(kCharsetPattern, textLeft(text, kDetectionWindow))) return text;
  const Text declared = regex.subMatchText(1, 1);
  if (declared.empty() || isSystemCodePageName(declared)) return text;
  // A name the decoder does not know leaves the body as it came: the page is
  // most likely close to the system code page or ASCII, and its markup and
  // picture addresses stay readable.
  std::optional<Bytes> decoded = platform::decodeCharsetToGbk(body, declared);
  if (!decoded) return text;
  // Text holds no zero byte: like the body text itself, the decoded text ends
  // at its first one.
  return textOf(*decoded);
}

}  // namespace varnelo
