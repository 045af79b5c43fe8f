#include "http/response_headers.h"

#include "http/header_text.h"
#include "text/text_between.h"
#include "text/text_ops.h"

namespace varnelo {

Text setCookieItems(const Text& responseHeaders) {
  Text items;
  for (const Text& line : textSplit(responseHeaders, "\r\n")) {
    if (textLeftOf(line, ": ") != "Set-Cookie") continue;
    const Text item = textContains(line, ";") ? textBetween(line, "Set-Cookie:", ";")
                                              : textReplace(line, "Set-Cookie:", "", 1, -1, true);
    items += textTrim(item) + "; ";
  }
  return items;
}

Text collectResponseCookies(const Text& responseHeaders) {
  const Text items = setCookieItems(responseHeaders);
  return textLeft(items, static_cast<Pos>(items.size()) - 2);
}

Text locationFromHeaders(const Text& responseHeaders, const Text& previous) {
  Text location = previous;
  for (const Text& line : textSplit(responseHeaders, "\r\n"))
    if (textLower(textLeft(line, 10)) == "location: ")
      location = textMiddle(line, 11, static_cast<Pos>(line.size()));
  return location;
}

Text statusTextFromHeaders(const Text& responseHeaders) {
  const Pos lineEnd = textFind(responseHeaders, "\r\n", 10);
  return lineEnd > 0 ? textMiddle(responseHeaders, 10, lineEnd - 10) : Text();
}

}  // namespace varnelo
