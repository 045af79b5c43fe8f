#include "http/winhttp_request.h"

#include <climits>
#include <cstdint>
#include <memory>

#include "http/cookies.h"
#include "http/header_text.h"
#include "http/response_decoding.h"
#include "http/response_headers.h"
#include "platform/winhttp_like.h"
#include "text/regex_object.h"
#include "text/text_ops.h"

namespace varnelo {

namespace {

using platform::WinHttpConnection;
using platform::WinHttpRequest;
using platform::WinHttpSession;

// The verb for a method number; any number outside 0..7 means "GET".
Text verbOf(int method) {
  static const char* const kVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                       "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return (method >= 0 && method <= 7) ? kVerbs[method] : "GET";
}

struct DefaultHeader {
  const char* key;   // searched in the whole block, ignoring case
  const char* line;  // appended when the key is absent
  bool postOnly;     // only for method 1
};

// The page request's own header lines, in the order in which they are
// considered. "Content-Type:" is searched without its trailing space.
constexpr DefaultHeader kDefaultHeaders[] = {
    {"User-Agent: ",
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n",
     false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312\r\n", false},
    {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
};

// The time-out of every phase in milliseconds: 30 s unless a positive
// number of seconds is given; seconds beyond what milliseconds in 32 bits
// can hold give the largest such value.
int timeoutMillisecondsOf(int timeoutSeconds) {
  if (timeoutSeconds <= 0) return 30000;
  if (timeoutSeconds > INT_MAX / 1000) return INT_MAX;
  return timeoutSeconds * 1000;
}

// The header block to send, built from the caller's lines, the default
// lines, the normalising of names, the keep-alive rule and the cookies.
Text buildHeaderBlock(const WinHttpOptions& options, const Text& cookies) {
  Text block = options.headers;
  if (!block.empty()) block += "\r\n";
  if (options.addDefaultHeaders) {
    for (const DefaultHeader& row : kDefaultHeaders) {
      if (row.postOnly && options.method != 1) continue;
      if (!textContains(block, row.key, true)) block += row.line;
    }
  }
  if (options.normaliseHeaders) block = normaliseHeaderNames(block);
  if (textContains(block, "Connection") && headerValue(block, "Connection") == "keep-alive")
    block = textReplace(block, "Connection: keep-alive\r\n", "");
  if (!textContains(block, "Cookie:", true) && !cookies.empty()) {
    if (textContains(cookies, "Cookie:", true))
      block += "\r\n" + cookies + "\r\n";
    else
      block += "\r\nCookie: " + cookies + "\r\n";
  }
  return block;
}

}  // namespace

Text headerValue(const Text& block, const Text& name) {
  for (const Text& line : textSplit(block, "\r\n")) {
    if (line.size() >= name.size() && line.compare(0, name.size(), name) == 0)
      return textRightOf(line, name + ": ");
  }
  return Text();
}

Text fetchWithWinHttp(const WinHttpOptions& options) {
  Text scratchStatus, scratchHeaders, scratchReceived, scratchLocation, scratchCookies;
  Text& statusText = options.statusText ? *options.statusText : scratchStatus;
  Text& cookies = options.cookies ? *options.cookies : scratchCookies;

  RegexObject regex;  // the decoding step's, created on entry

  if (!platform::winHttpCheckPlatform()) {
    statusText = kMessage700;
    return Text();
  }

  platform::WinHttpUrlParts parts;
  if (!platform::winHttpCrackUrl(options.url, parts)) {
    statusText = kMessage701;
    return Text();
  }
  const bool secure = parts.scheme == platform::kInternetSchemeHttps;
  // An empty path drops whatever follows the host, the query included.
  const Text objectName = parts.urlPath.empty() ? Text("/") : parts.urlPath + parts.extraInfo;

  std::unique_ptr<WinHttpSession> session =
      options.proxy.empty()
          ? WinHttpSession::open(platform::kWinHttpAccessTypeNoProxy, Text())
          : WinHttpSession::open(platform::kWinHttpAccessTypeNamedProxy,
                                 secure ? options.proxy : "http=" + options.proxy);
  if (!session) {
    statusText = kMessage702;
    return Text();
  }

  const int timeout = timeoutMillisecondsOf(options.timeoutSeconds);
  if (!session->setTimeouts(timeout, timeout, timeout, timeout)) {
    statusText = kMessage705;
    return Text();
  }

  std::unique_ptr<WinHttpConnection> connection =
      WinHttpConnection::connect(*session, parts.hostName, parts.port);
  if (!connection) {
    statusText = kMessage703;
    return Text();
  }

  std::unique_ptr<WinHttpRequest> request = WinHttpRequest::open(
      *connection, verbOf(options.method), objectName, secure ? platform::kWinHttpFlagSecure : 0);
  if (!request) {
    statusText = kMessage704;
    return Text();
  }

  if (!options.userName.empty() && !options.password.empty() &&
      !request->setCredentials(platform::kWinHttpAuthTargetServer,
                               platform::kWinHttpAuthSchemeBasic, options.userName,
                               options.password)) {
    statusText = kMessage707;
    return Text();
  }
  if (!options.proxyUser.empty() && !options.proxyPassword.empty() &&
      !request->setCredentials(platform::kWinHttpAuthTargetProxy,
                               platform::kWinHttpAuthSchemeBasic, options.proxyUser,
                               options.proxyPassword)) {
    statusText = kMessage707;
    return Text();
  }

  // Unknown authority, wrong usage, wrong name and out-of-date certificates
  // are all accepted.
  if (!request->setOption(platform::kWinHttpOptionSecurityFlags, 0x3300)) {
    statusText = kMessageCertificate;
    return Text();
  }

  // Without caller cookies the service keeps and sends none of its own.
  // With them, the call passes the value 1 to the enable-feature option;
  // the service reads that as revocation checking, which has no effect
  // while certificate errors are ignored, so cookies stay the caller's.
  const bool cookieOptionSet =
      cookies.empty()
          ? request->setOption(platform::kWinHttpOptionDisableFeature,
                               platform::kWinHttpDisableCookies)
          : request->setOption(platform::kWinHttpOptionEnableFeature, 1);
  if (!cookieOptionSet) {
    statusText = kMessage708;
    return Text();
  }

  if (options.noRedirect && !request->setOption(platform::kWinHttpOptionDisableFeature,
                                                platform::kWinHttpDisableRedirects)) {
    statusText = kMessage709;
    return Text();
  }

  const Text block = buildHeaderBlock(options, cookies);
  if (!block.empty() &&
      !request->addRequestHeaders(block, platform::kWinHttpAddRequestFlagAdd)) {
    statusText = kMessage710;
    return Text();
  }

  const Bytes requestBody = !options.postBytes.empty() ? options.postBytes : bytesOf(options.postText);
  if (!request->sendRequest(requestBody)) {
    statusText = kMessage711;
    return Text();
  }

  if (!request->receiveResponse()) {
    statusText = kMessage712;
    return Text();
  }
  // Each read asks for exactly what is available and lands at the end of
  // the body itself.
  Bytes body;
  for (;;) {
    std::size_t available = 0;
    if (!request->queryDataAvailable(available) || available < 1) break;
    const std::size_t held = body.size();
    body.resize(held + available);
    std::size_t read = 0;
    const bool readOk = request->readData(body.data() + held, available, read);
    body.resize(held + read);
    if (!readOk) {
      statusText = kMessage713;  // the request goes on with what was read
      break;
    }
  }

  std::size_t headerSize = 0;
  request->queryHeaders(platform::kWinHttpQueryRawHeadersCrlf, nullptr, headerSize);
  std::vector<char> headerBuffer(headerSize);
  if (!request->queryHeaders(platform::kWinHttpQueryRawHeadersCrlf, headerBuffer.data(),
                             headerSize))
    return Text();

  const Text responseHeaders(headerBuffer.data(), headerSize);
  (options.responseHeaders ? *options.responseHeaders : scratchHeaders) = responseHeaders;

  statusText = statusTextFromHeaders(responseHeaders);

  Text& received = options.receivedCookies ? *options.receivedCookies : scratchReceived;
  Text& location = options.location ? *options.location : scratchLocation;
  received += setCookieItems(responseHeaders);
  location = locationFromHeaders(responseHeaders, location);
  // The caller's own text loses a trailing "; " too.
  if (textRight(received, 2) == "; ") received = textLeft(received, received.size() - 2);
  if (options.mergeReceivedCookies && !cookies.empty()) received = mergeCookies(cookies, received);

  if (options.body) *options.body = body;
  Text result = decodeResponseText(body, regex);
  // Leaving the scope closes the request, the connection and the session,
  // in this order, and then releases the regular-expression object.
  return result;
}

}  // namespace varnelo
