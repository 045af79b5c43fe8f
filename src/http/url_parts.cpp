// Splitting an address into the host, port and path that a connection wants.
#include <climits>

#include "http/wininet_request.h"
#include "text/text_between.h"
#include "text/text_ops.h"

namespace varnelo {

namespace {

const Text kHttps = "https://";
const Text kHttp = "http://";

// True when `text` begins with `prefix`, ASCII letters in either case.
bool startsWithIgnoringCase(const Text& text, const Text& prefix) {
  return textLower(textLeft(text, static_cast<Pos>(prefix.size()))) == prefix;
}

// The length of the scheme prefix ("https://" or "http://", any letter case)
// that `url` begins with; 0 without one.
std::size_t schemeLength(const Text& url) {
  if (startsWithIgnoringCase(url, kHttps)) return kHttps.size();
  if (startsWithIgnoringCase(url, kHttp)) return kHttp.size();
  return 0;
}

// The leading decimal digits of `text` as an integer: 0 without any, INT_MAX
// when they exceed it (no such port exists, so the connection fails).
int leadingNumber(const Text& text) {
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

}  // namespace

Text hostOfUrl(const Text& url, bool keepPort) {
  Text address = textLower(url);
  if (address.empty() || address.back() != '/') address += '/';
  Text host;
  if (startsWithIgnoringCase(address, kHttps)) {
    host = textBetween(address, kHttps, "/");
  } else {
    // Only a scheme at the very start counts: an "http://" further on, in
    // the query of a scheme-less address say, names some other server.
    if (!startsWithIgnoringCase(address, kHttp)) address = kHttp + address;
    host = textBetween(address, kHttp, "/");
  }
  if (!keepPort) {
    const Pos colon = textFind(host, ":");
    if (colon >= 1) host = textLeft(host, colon - 1);
  }
  return host;
}

int portOfUrl(const Text& url) {
  const Text host = hostOfUrl(url, true);
  const Pos colon = textFindLast(host, ":");
  if (colon >= 1) return leadingNumber(host.substr(static_cast<std::size_t>(colon)));
  // 443 goes with the secure requests, which are told apart by "https://".
  return startsWithIgnoringCase(url, kHttps) ? 443 : 80;
}

Text pathOfUrl(const Text& url) {
  const Text host = hostOfUrl(url, false);
  // The host is looked for after the scheme, so a host such as "h" or "tp"
  // is not found inside the scheme itself.
  const Pos afterScheme = static_cast<Pos>(schemeLength(url)) + 1;
  Pos from = textFind(url, host, afterScheme, true);
  if (from < 1) from = afterScheme;
  const Pos slash = textFind(url, "/", from);
  if (slash < 1) return "/";
  return url.substr(static_cast<std::size_t>(slash - 1));
}

Text valueAfterColon(const Text& text) {
  const Pos colon = textFind(text, ":");
  if (colon < 1) return Text();
  return textTrim(text.substr(static_cast<std::size_t>(colon)));
}

}  // namespace varnelo
