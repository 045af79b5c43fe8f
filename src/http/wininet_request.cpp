#include "http/wininet_request.h"

#include <cstdint>
#include <memory>

#include "http/cookies.h"
#include "http/header_text.h"
#include "http/response_headers.h"
#include "platform/wininet_like.h"
#include "text/text_between.h"
#include "text/text_ops.h"

namespace varnelo {

namespace {

using platform::WinInetConnection;
using platform::WinInetRequest;
using platform::WinInetRoot;

const Text kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// The size of the header buffer: raw headers that do not fit in it, with
// their terminating NUL, are not read at all.
constexpr std::size_t kHeaderBufferSize = 5000;

// The verb for a method number; any number outside 0..7 means "GET".
Text verbOf(int method) {
  static const char* const kVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                       "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return (method >= 0 && method <= 7) ? kVerbs[method] : "GET";
}

// The agent text: the default one unless the block has a User-Agent line;
// then that line's value as spelled exactly "User-Agent:", else the value
// after the first ":" of the whole block.
Text agentOf(const Text& block) {
  if (!textContains(block, "User-Agent:", true)) return kDefaultAgent;
  Text agent = textTrim(textBetween(block + "\r\n", "User-Agent:", "\r\n"));
  if (agent.empty()) agent = valueAfterColon(block);
  return agent;
}

// The block completed with the default lines that it lacks.
Text withDefaultHeaders(Text block, int method, const Text& url) {
  if (block.empty()) block = "Accept: */*";
  if (!textContains(block, "Accept:", true)) block += "\r\nAccept: */*";
  if (!textContains(block, "Referer:", true)) block += "\r\nReferer: " + url;
  if (!textContains(block, "Accept-Language:", true)) block += "\r\nAccept-Language: zh-cn";
  if (method == 1 && !textContains(block, "Content-Type:", true))
    block += "\r\nContent-Type: application/x-www-form-urlencoded";
  return block;
}

}  // namespace

Bytes fetchWithWinInet(const WinInetOptions& options) {
  const Text& url = options.url;
  Text block = options.headers;
  if (options.normaliseHeaders) block = normaliseHeaderNames(block);

  const int method = (options.method < 0 || options.method > 7) ? 0 : options.method;
  const Text verb = verbOf(method);
  const bool secure = textLower(textLeft(url, 8)) == "https://";
  const bool cookiesSupplied = options.cookies != nullptr;
  const Text cookies = cookiesSupplied ? *options.cookies : Text();

  std::unique_ptr<WinInetRoot> root =
      options.proxy.empty()
          ? WinInetRoot::open(agentOf(block), platform::kInternetOpenTypeDirect, Text(), Text(), 0)
          : WinInetRoot::open(agentOf(block), platform::kInternetOpenTypeProxy,
                              secure ? options.proxy : "http=" + options.proxy, Text(), 0);
  if (!root) return Bytes();

  std::unique_ptr<WinInetConnection> connection = WinInetConnection::connect(
      *root, hostOfUrl(url), portOfUrl(url), platform::kInternetServiceHttp);
  if (!connection) return Bytes();

  std::uint32_t flags = platform::kInternetFlagReload | platform::kInternetFlagNeedFile;
  if (cookiesSupplied) flags |= platform::kInternetFlagNoCookies;
  if (options.noRedirect) flags |= platform::kInternetFlagNoAutoRedirect;
  flags |= secure ? platform::kInternetFlagSecure : platform::kInternetFlagIgnoreRedirectToHttps;

  std::unique_ptr<WinInetRequest> request =
      WinInetRequest::open(*connection, verb, pathOfUrl(url), "HTTP/1.1", flags);
  if (!request) return Bytes();

  // Every certificate error and every change of scheme on redirect is
  // accepted; the outcome does not matter.
  request->setOption(platform::kInternetOptionSecurityFlags, 0x0001F380);

  if (options.addDefaultHeaders) block = withDefaultHeaders(block, method, url);
  if (!cookies.empty())
    block += textContains(cookies, "Cookie:") ? "\r\n" + cookies : "\r\nCookie: " + cookies;

  Bytes requestBody;
  if (method != 0) requestBody = !options.postBytes.empty() ? options.postBytes : bytesOf(options.postText);
  request->sendRequest(block, requestBody);  // a failed send shows as an empty body

  // The whole body at once, as reads of 1024 bytes until one gives
  // nothing would collect it; a body that broke off is never handed out as
  // if it were whole.
  Bytes body;
  request->readRest(body);

  std::vector<char> headerBuffer(kHeaderBufferSize, ' ');
  std::size_t headerLength = kHeaderBufferSize;
  request->queryInfo(platform::kHttpQueryRawHeadersCrlf, headerBuffer.data(), headerLength);
  std::size_t textEnd = 0;
  while (textEnd < headerBuffer.size() && headerBuffer[textEnd] != '\0') ++textEnd;
  const Text responseHeaders(headerBuffer.data(), textEnd);
  if (options.responseHeaders) *options.responseHeaders = responseHeaders;

  request.reset();
  connection.reset();
  root.reset();

  Text received = collectResponseCookies(responseHeaders);
  if (options.mergeReceivedCookies && cookiesSupplied)
    received = mergeCookies(*options.cookies, received);
  if (options.receivedCookies) *options.receivedCookies = received;
  return body;
}

}  // namespace varnelo
