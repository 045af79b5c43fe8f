// The picture request against real local servers: the header lines sent,
// bodies, cookies both ways, proxies, and what a broken exchange gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/winhttp_request.h"
#include "http/wininet_request.h"
#include "platform/http_transport.h"
#include "platform/wininet_like.h"
#include "support/scripted_server.h"
#include "support/tinyproxy_process.h"

namespace varnelo {
namespace {

using testing::callerLines;
using testing::echo;
using testing::RecordedRequest;
using testing::ScriptedResponse;
using testing::ScriptedServer;
using testing::siteHandler;
using testing::TinyproxyProcess;

const std::string kAgentLine = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n";
const Text kSpaces(5000, ' ');

// A picture-like body with zero bytes and every byte value in it.
std::string binaryBody(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i * 7 % 256);
  return body;
}


TEST(WinInetRequest, DefaultRequestSendsExactlyTheDefaultLinesAndReturnsTheBytes) {
  const std::string picture = binaryBody(70000);
  ScriptedServer server(siteHandler({{"/pics/a.jpg", ScriptedResponse::ok(picture, "image/jpeg")}}));
  const Text url = server.baseUrl() + "/pics/a.jpg";
  Text headers = "caller", received = "caller";
  Bytes body = fetchWithWinInet({.url = url, .receivedCookies = &received, .responseHeaders = &headers});
  EXPECT_EQ(body, bytesOf(picture));
  EXPECT_EQ(headers, "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 70000\r\n\r\n");
  EXPECT_EQ(received, "");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].raw,
            "GET /pics/a.jpg HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                "\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" +
                kAgentLine + "\r\n");
}

TEST(WinInetRequest, MethodTableAndBodies) {
  struct Case {
    int method;
    std::string verb;
    std::string bodySent;
  };
  const std::vector<Case> cases = {
      {0, "GET", ""},        {1, "POST", "a=1&b=2"},   {2, "HEAD", "a=1&b=2"},
      {3, "PUT", "a=1&b=2"}, {4, "OPTIONS", "a=1&b=2"}, {5, "DELETE", "a=1&b=2"},
      {6, "TRACE", "a=1&b=2"}, {9, "GET", ""},         {-1, "GET", ""}};
  ScriptedServer server(echo);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    const Text url = server.baseUrl() + "/m";
    Bytes body = fetchWithWinInet({.url = url, .method = c.method, .postText = "a=1&b=2"});
    EXPECT_EQ(body, c.verb == "HEAD" ? Bytes() : bytesOf(c.verb + ":" + c.bodySent));
    RecordedRequest seen = server.requests().back();
    EXPECT_EQ(seen.method, c.verb);
    EXPECT_EQ(seen.body, c.bodySent);
    std::string expected = "Accept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n";
    if (c.verb == "POST") expected += "Content-Type: application/x-www-form-urlencoded\r\n";
    EXPECT_EQ(callerLines(seen), expected + kAgentLine);
  }
  fetchWithWinInet({.url = server.baseUrl() + "/m", .method = 1, .postText = "ignored",
                    .postBytes = {'b', 0, 'y'}});
  EXPECT_EQ(server.requests().back().body, std::string("b\0y", 3));
}

TEST(WinInetRequest, CallerHeadersAgentAndDefaults) {
  struct Case {
    std::string name;
    Text headers;
    bool normalise;
    bool defaults;
    std::string expectedLines;  // "URL" stands for the address
  };
  const std::vector<Case> cases = {
      {"the caller's agent, normalised, is the one agent line", "user-agent: X", true, true,
       "User-Agent: X\r\nAccept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n"},
      {"without normalising the line goes as written, still the only agent", "user-agent: X",
       false, false, "user-agent: X\r\n"},
      {"an agent named inside another value becomes the agent line",
       "X-Note: User-Agent: Inner", true, false, "X-Note: User-Agent: Inner\r\nUser-Agent: Inner\r\n"},
      {"the caller's Referer and Accept in any case are kept, not doubled",
       "referer: http://elsewhere/\r\nACCEPT: image/*", false, true,
       "referer: http://elsewhere/\r\nACCEPT: image/*\r\nAccept-Language: zh-cn\r\n" + kAgentLine},
      {"no defaults and no headers: only the agent", "", true, false, kAgentLine},
  };
  ScriptedServer server(echo);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Text url = server.baseUrl() + "/h";
    fetchWithWinInet({.url = url, .headers = c.headers, .addDefaultHeaders = c.defaults,
                      .normaliseHeaders = c.normalise});
    std::string expected = c.expectedLines;
    size_t at = expected.find("URL");
    if (at != std::string::npos) expected.replace(at, 3, url);
    EXPECT_EQ(callerLines(server.requests().back()), expected);
  }
}

TEST(WinInetRequest, CookiesOutInAndMerged) {
  ScriptedServer server([](const RecordedRequest& request) {
    return ScriptedResponse::status(
        200, "OK", request.headerBlock,
        {"Set-Cookie: sid=abc; path=/", "Set-Cookie: k=v", "set-cookie: lower=1",
         "Set-Cookie:nospace=1"});
  });
  const Text url = server.baseUrl() + "/c";
  struct Case {
    Text cookies;
    std::string cookieLine;
    Text merged;
  };
  const std::vector<Case> cases = {
      {"", "", "sid=abc; k=v"},
      {"a=1", "Cookie: a=1\r\n", "sid=abc; k=v; a=1"},
      {"Cookie: k=old", "Cookie: k=old\r\n", "sid=abc; k=v; Cookie: k=old"},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.cookies);
    Text received;
    fetchWithWinInet({.url = url, .cookies = &c.cookies, .receivedCookies = &received});
    std::string block = server.requests().back().headerBlock;
    size_t at = block.find("Cookie: ");
    EXPECT_EQ(at == std::string::npos ? "" : block.substr(at, block.find("\r\n", at) + 2 - at),
              c.cookieLine);
    EXPECT_EQ(received, c.merged);
    EXPECT_EQ(c.cookies, c.merged);
  }
  // Merging switched off: the collected cookies alone, the caller's untouched.
  Text cookies = "a=1", received;
  fetchWithWinInet({.url = url, .cookies = &cookies, .receivedCookies = &received,
                    .mergeReceivedCookies = false});
  EXPECT_EQ(received, "sid=abc; k=v");
  EXPECT_EQ(cookies, "a=1");
}

TEST(WinInetRequest, CookieStoreServesOnlyRequestsWithoutCallerCookies) {
  ScriptedServer server([](const RecordedRequest& request) {
    if (request.target == "/probe/set")
      return ScriptedResponse::status(200, "OK", "", {"Set-Cookie: store-probe=1; path=/probe"});
    return ScriptedResponse::ok(request.headerBlock);
  });
  const Text base = server.baseUrl();
  fetchWithWinInet({.url = base + "/probe/set"});
  auto sent = [](const Bytes& echoed) {
    return std::string(echoed.begin(), echoed.end()).find("store-probe=1") != std::string::npos;
  };
  // Without caller cookies the stored cookie goes out, as on the platform.
  EXPECT_TRUE(sent(fetchWithWinInet({.url = base + "/probe/echo"})));
  // With caller cookies (even empty ones) the store is bypassed, and no
  // pooled handle carries the cookie into a page request either.
  Text empty;
  EXPECT_FALSE(sent(fetchWithWinInet({.url = base + "/probe/echo", .cookies = &empty})));
  Bytes page;
  fetchWithWinHttp({.url = base + "/probe/echo", .body = &page});
  EXPECT_FALSE(sent(page));
}

TEST(WinInetRequest, RedirectsFollowedUnlessSwitchedOff) {
  ScriptedServer server(siteHandler(
      {{"/old.jpg", ScriptedResponse::status(302, "Found", "redirect body", {"Location: /new.jpg"})},
       {"/new.jpg", ScriptedResponse::ok("picture")}}));
  EXPECT_EQ(fetchWithWinInet({.url = server.baseUrl() + "/old.jpg"}), bytesOf("picture"));
  Text headers;
  EXPECT_EQ(fetchWithWinInet({.url = server.baseUrl() + "/old.jpg", .responseHeaders = &headers,
                              .noRedirect = true}),
            bytesOf("redirect body"));
  EXPECT_NE(headers.find("Location: /new.jpg\r\n"), std::string::npos);
}

TEST(WinInetRequest, BodiesByLengthChunksOrClose) {
  ScriptedResponse chunked;
  chunked.raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n3\r\nefg\r\n0\r\n\r\n";
  ScriptedResponse untilClose;
  untilClose.raw = "HTTP/1.1 200 OK\r\n\r\nno length given";
  untilClose.closeAfter = true;
  ScriptedResponse bareLf;
  bareLf.raw = "HTTP/1.1 200 OK\nContent-Length: 2\n\nok";
  ScriptedServer server(siteHandler({{"/chunked", chunked}, {"/close", untilClose}, {"/lf", bareLf},
                                     {"/missing", ScriptedResponse::status(404, "Not Found", "nf")}}));
  EXPECT_EQ(fetchWithWinInet({.url = server.baseUrl() + "/chunked"}), bytesOf("abcdefg"));
  EXPECT_EQ(fetchWithWinInet({.url = server.baseUrl() + "/close"}), bytesOf("no length given"));
  Text headers;
  EXPECT_EQ(fetchWithWinInet({.url = server.baseUrl() + "/lf", .responseHeaders = &headers}),
            bytesOf("ok"));
  EXPECT_EQ(headers, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n");
  EXPECT_EQ(fetchWithWinInet({.url = server.baseUrl() + "/missing"}), bytesOf("nf"));
}

TEST(WinInetRequest, ABodyCutShortGivesNothing) {
  auto cut = [](std::string raw, bool reset) {
    ScriptedResponse response;
    response.raw = std::move(raw);
    response.closeAfter = !reset;
    response.resetAfter = reset;
    return response;
  };
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n";
  ScriptedServer server(siteHandler({
      {"/closed", cut(head + std::string(2000, 'x'), false)},
      {"/reset", cut(head + std::string(2000, 'x'), true)},
      {"/chunks", cut("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n400\r\n" +
                          std::string(1024, 'x') + "\r\n400\r\nxx", false)},
      {"/unframed-reset", cut("HTTP/1.1 200 OK\r\n\r\n" + std::string(2000, 'x'), true)},
      {"/huge", cut("HTTP/1.1 200 OK\r\nContent-Length: 300000000\r\n\r\nxx", false)},
  }));
  for (const char* path : {"/closed", "/reset", "/chunks", "/unframed-reset", "/huge"}) {
    SCOPED_TRACE(path);
    Text headers;
    EXPECT_TRUE(fetchWithWinInet({.url = server.baseUrl() + path, .responseHeaders = &headers}).empty());
    EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  }
}

TEST(WinInetRequest, FailedSendGivesNothingAndTheSpacesOfTheHeaderBuffer) {
  ScriptedServer server(echo);
  for (const Text& url : {Text("http://127.0.0.1:1/a.jpg"),
                          Text("http://localhost?q=1")}) {  // the query ends up in the host name
    SCOPED_TRACE(url);
    Text headers, cookies = "a=1", received = "before";
    EXPECT_TRUE(fetchWithWinInet({.url = url, .cookies = &cookies, .receivedCookies = &received,
                                  .responseHeaders = &headers})
                    .empty());
    EXPECT_EQ(headers, kSpaces);
    EXPECT_EQ(received, "a=1");
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST(WinInetRequest, HeadersOverTheBufferAreNotReadButTheBodyIs) {
  ScriptedServer server(siteHandler({{"/big", ScriptedResponse::status(
                                                  200, "OK", "body",
                                                  {"Set-Cookie: a=1", "X-Filler: " + std::string(5000, 'f')})},
                                     {"/fits", ScriptedResponse::status(
                                                   200, "OK", "body",
                                                   {"X-Filler: " + std::string(4900, 'f')})}}));
  Text headers, received = "before";
  EXPECT_EQ(fetchWithWinInet({.url = server.baseUrl() + "/big", .receivedCookies = &received,
                              .responseHeaders = &headers}),
            bytesOf("body"));
  EXPECT_EQ(headers, kSpaces);
  EXPECT_EQ(received, "");
  fetchWithWinInet({.url = server.baseUrl() + "/fits", .responseHeaders = &headers});
  EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_LT(headers.size(), 5000u);
}

TEST(WinInetRequest, AddressFormsAndHttps) {
  ScriptedServer plain([](const RecordedRequest& request) { return ScriptedResponse::ok(request.target); });
  ScriptedServer secure([](const RecordedRequest& request) { return ScriptedResponse::ok(request.target); }, true);
  const std::string port = std::to_string(plain.port());
  // No scheme: plain HTTP; upper-case scheme and host: the path keeps its case.
  EXPECT_EQ(fetchWithWinInet({.url = "127.0.0.1:" + port + "/Dir/A.JPG"}), bytesOf("/Dir/A.JPG"));
  EXPECT_EQ(fetchWithWinInet({.url = "HTTP://127.0.0.1:" + port}), bytesOf("/"));
  EXPECT_EQ(fetchWithWinInet({.url = "HTTPS://127.0.0.1:" + std::to_string(secure.port()) + "/S.gif?x=1"}),
            bytesOf("/S.gif?x=1"));
}

TEST(WinInetRequest, ProxiesForHttpAndHttps) {
  if (!TinyproxyProcess::installed()) GTEST_SKIP() << "tinyproxy is not installed";
  TinyproxyProcess proxy;
  ASSERT_TRUE(proxy.running());
  ScriptedServer plain(echo);
  ScriptedServer secure(siteHandler({{"/s.jpg", ScriptedResponse::ok("tunnelled")}}), true);
  EXPECT_EQ(fetchWithWinInet({.url = plain.baseUrl() + "/p.jpg", .proxy = proxy.address()}),
            bytesOf("GET:"));
  EXPECT_NE(plain.requests().back().headerBlock.find("tinyproxy"), std::string::npos);
  EXPECT_EQ(fetchWithWinInet({.url = secure.baseUrl() + "/s.jpg", .proxy = proxy.address()}),
            bytesOf("tunnelled"));
  EXPECT_TRUE(fetchWithWinInet({.url = secure.baseUrl() + "/s.jpg", .proxy = "127.0.0.1:1"}).empty());
}

// What a request of the WinINet-like objects gives by reads of 1024 bytes
// until one gives nothing, a failed read dropping the whole body: the rule
// that readRest keeps in one move.
struct ReadOutcome {
  Bytes body;
  bool whole = false;
  bool operator==(const ReadOutcome&) const = default;
};

std::unique_ptr<platform::WinInetRequest> sentRequest(const platform::WinInetConnection& connection,
                                                      const std::string& path) {
  auto request = platform::WinInetRequest::open(connection, "GET", path, "HTTP/1.1",
                                                platform::kInternetFlagNoCookies);
  request->sendRequest("Accept: */*", Bytes());
  return request;
}

TEST(WinInetLike, ReadRestGivesWhatTheReadLoopGives) {
  const auto cut = [](std::string raw, bool reset) {
    ScriptedResponse response;
    response.raw = std::move(raw);
    response.closeAfter = !reset;
    response.resetAfter = reset;
    return response;
  };
  const std::string picture = binaryBody(70000);
  ScriptedServer server(siteHandler({
      {"/whole", ScriptedResponse::ok(picture, "image/jpeg")},
      {"/empty", ScriptedResponse::ok("")},
      {"/missing", ScriptedResponse::status(404, "Not Found", "no such picture")},
      {"/chunks", ScriptedResponse::status(200, "OK", "5\r\nhello\r\n400\r\n" + std::string(1024, 'c') +
                                                        "\r\n0\r\n\r\n",
                                           {"Transfer-Encoding: chunked"})},
      {"/unframed", cut("HTTP/1.1 200 OK\r\n\r\n" + picture, false)},
      {"/closed", cut("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n" + std::string(2000, 'x'), false)},
      {"/reset", cut("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n" + std::string(2000, 'x'), true)},
      {"/silent", cut("", false)},
  }));
  auto root = platform::WinInetRoot::open("agent", platform::kInternetOpenTypeDirect, "", "", 0);
  auto connection = platform::WinInetConnection::connect(*root, "127.0.0.1", server.port(),
                                                         platform::kInternetServiceHttp);
  auto nowhere = platform::WinInetConnection::connect(*root, "127.0.0.1", 1, platform::kInternetServiceHttp);
  struct Case {
    const platform::WinInetConnection* connection;
    std::string path;
    std::size_t readFirst;  // bytes taken by readFile before readRest
  };
  const std::vector<Case> cases = {
      {connection.get(), "/whole", 0},    {connection.get(), "/whole", 1024},
      {connection.get(), "/whole", 70000}, {connection.get(), "/empty", 0},
      {connection.get(), "/missing", 0},  {connection.get(), "/chunks", 0},
      {connection.get(), "/unframed", 5},  {connection.get(), "/closed", 0},
      {connection.get(), "/closed", 1000}, {connection.get(), "/reset", 0},
      {connection.get(), "/silent", 0},   {nowhere.get(), "/whole", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " after " + std::to_string(c.readFirst) + " bytes");
    ReadOutcome byLoop, byRest;

    auto looped = sentRequest(*c.connection, c.path);
    std::uint8_t buffer[1024];
    byLoop.whole = true;
    for (;;) {
      std::size_t read = 0;
      if (!looped->readFile(buffer, sizeof buffer, read)) byLoop.whole = false;
      if (read == 0) break;
      byLoop.body.insert(byLoop.body.end(), buffer, buffer + read);
    }
    if (!byLoop.whole) byLoop.body.clear();

    auto moved = sentRequest(*c.connection, c.path);
    Bytes first;
    bool firstReadsFine = true;
    while (first.size() < c.readFirst) {
      std::size_t read = 0;
      std::size_t want = std::min(sizeof buffer, c.readFirst - first.size());
      if (!moved->readFile(buffer, want, read)) firstReadsFine = false;
      if (read == 0) break;
      first.insert(first.end(), buffer, buffer + read);
    }
    Bytes rest = {9};
    byRest.whole = moved->readRest(rest) && firstReadsFine;
    EXPECT_TRUE(byRest.whole || rest.empty());
    first.insert(first.end(), rest.begin(), rest.end());
    byRest.body = byRest.whole ? first : Bytes();
    EXPECT_TRUE(byRest == byLoop) << byRest.body.size() << " bytes against " << byLoop.body.size();

    // Nothing is left to read afterwards.
    std::size_t read = 1;
    moved->readFile(buffer, sizeof buffer, read);
    EXPECT_EQ(read, 0u);
  }
}

// Sets the process-wide transfer limits for one test and restores them.
class ScopedTransferLimits {
 public:
  explicit ScopedTransferLimits(const platform::TransferLimits& limits)
      : saved_(platform::transferLimits()) {
    platform::setTransferLimitsForTesting(limits);
  }
  ~ScopedTransferLimits() { platform::setTransferLimitsForTesting(saved_); }

 private:
  platform::TransferLimits saved_;
};

// A body trickled at 200 bytes a second: fast enough for every stall rule,
// too slow for a low-speed rule of 1024 bytes a second.
ScriptedResponse trickled(std::size_t size) {
  ScriptedResponse response = ScriptedResponse::ok(std::string(size, 't'), "image/jpeg");
  response.bytesPerSecond = 200;
  return response;
}

TEST(TransferLimits, ABodyTooSlowOrTooLongEndsAsAFailedRead) {
  ScriptedServer server(siteHandler({{"/slow.jpg", trickled(4000)}, {"/long.jpg", trickled(1000)}}));
  {
    SCOPED_TRACE("fewer than 1024 bytes in a second");
    ScopedTransferLimits limits({.maxStallTimeoutMs = 1000, .lowSpeedWindowMs = 1000, .lowSpeedBytes = 1024});
    Text headers;
    EXPECT_TRUE(fetchWithWinInet({.url = server.baseUrl() + "/slow.jpg", .responseHeaders = &headers}).empty());
    EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);  // the headers had come in
    Text statusText;
    EXPECT_LT(fetchWithWinHttp({.url = server.baseUrl() + "/slow.jpg", .statusText = &statusText}).size(),
              4000u);
  }
  {
    SCOPED_TRACE("more than a second in all");
    // The total never cuts short the waits the request itself allows, so
    // those are shortened as well.
    ScopedTransferLimits limits({.maxConnectTimeoutMs = 500, .maxStallTimeoutMs = 500, .totalTimeoutMs = 1000});
    EXPECT_TRUE(fetchWithWinInet({.url = server.baseUrl() + "/long.jpg"}).empty());
  }
  {
    SCOPED_TRACE("the same bodies within the limits");
    // Generous margins: a loaded machine may deliver the trickle in bursts.
    ScopedTransferLimits limits(
        {.maxStallTimeoutMs = 5000, .lowSpeedWindowMs = 5000, .lowSpeedBytes = 10, .totalTimeoutMs = 60000});
    EXPECT_EQ(fetchWithWinInet({.url = server.baseUrl() + "/long.jpg"}), Bytes(1000, 't'));
  }
}

TEST(TransferLimits, ShortenedTimeOutsBoundTheCallersOwn) {
  ScriptedResponse stalled = ScriptedResponse::ok("late");
  stalled.delayBeforeMs = 60000;
  ScriptedServer server(siteHandler({{"/", stalled}}));
  ScopedTransferLimits limits({.maxConnectTimeoutMs = 1000, .maxStallTimeoutMs = 1000});
  Text statusText;
  // The page request's 100 s and the picture request's 30 s give way to 1 s.
  EXPECT_EQ(fetchWithWinHttp({.url = server.baseUrl() + "/", .timeoutSeconds = 100, .statusText = &statusText}),
            "");
  EXPECT_EQ(statusText, kMessage712);
  EXPECT_TRUE(fetchWithWinInet({.url = server.baseUrl() + "/"}).empty());
}

}  // namespace
}  // namespace varnelo
