// The page request against real local servers: exactly what goes on the
// wire, what comes back through every output, and the failure messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/winhttp_request.h"
#include "support/scripted_server.h"
#include "support/tinyproxy_process.h"
#include "text/code_page.h"

namespace varnelo {
namespace {

using testing::callerLines;
using testing::echo;
using testing::RecordedRequest;
using testing::Routes;
using testing::ScriptedResponse;
using testing::ScriptedServer;
using testing::siteHandler;
using testing::TinyproxyProcess;

const std::string kDefaultLines =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Encoding: gbk, GB2312\r\n"
    "Accept-Language: zh-cn\r\n"
    "Cache-Control: no-cache\r\n";

// `utf8` in code page 936.
Text gbk(const std::string& utf8) { return encodeFromUtf16(decodeToUtf16(utf8, kCodePageUtf8), kCodePageGbk); }


TEST(WinHttpRequest, DefaultRequestSendsExactlyTheDefaultBlockAndFillsEveryOutput) {
  ScriptedServer server(siteHandler(
      {{"/page?x=1",
        ScriptedResponse::status(200, "OK", "<html>hello</html>", {"Content-Type: text/html"})}}));
  Text statusText = "caller", responseHeaders, location = "kept", received;
  Bytes body;
  Text page = fetchWithWinHttp({.url = server.baseUrl() + "/page?x=1",
                                .receivedCookies = &received,
                                .responseHeaders = &responseHeaders,
                                .location = &location,
                                .statusText = &statusText,
                                .body = &body});
  EXPECT_EQ(page, "<html>hello</html>");
  EXPECT_EQ(statusText, "200 OK");
  EXPECT_EQ(responseHeaders,
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 18\r\n\r\n");
  EXPECT_EQ(location, "kept");
  EXPECT_EQ(received, "");
  EXPECT_EQ(body, bytesOf("<html>hello</html>"));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].raw, "GET /page?x=1 HTTP/1.1\r\nHost: 127.0.0.1:" +
                                          std::to_string(server.port()) + "\r\n" +
                                          kDefaultLines + "\r\n");
}

TEST(WinHttpRequest, MethodTableAndBodySentWhateverTheMethod) {
  struct Case {
    int method;
    std::string verb;
  };
  const std::vector<Case> cases = {{0, "GET"},     {1, "POST"},   {2, "HEAD"},
                                   {3, "PUT"},     {4, "OPTIONS"}, {5, "DELETE"},
                                   {6, "TRACE"},   {8, "GET"},    {-1, "GET"}};
  ScriptedServer server(echo);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    Text statusText;
    Text page = fetchWithWinHttp(
        {.url = server.baseUrl() + "/m", .method = c.method, .postText = "a=1",
         .statusText = &statusText});
    EXPECT_EQ(statusText, "200 OK");
    EXPECT_EQ(page, c.verb == "HEAD" ? "" : c.verb + ":a=1");
    RecordedRequest seen = server.requests().back();
    EXPECT_EQ(seen.method, c.verb);
    EXPECT_EQ(seen.body, "a=1");
    std::string expected = kDefaultLines;
    if (c.method == 1)
      expected.insert(expected.find("Cache-Control"),
                      "Content-Type: application/x-www-form-urlencoded\r\n");
    EXPECT_EQ(callerLines(seen), expected);
  }
}

TEST(WinHttpRequest, PostBytesTakePrecedenceOverPostText) {
  ScriptedServer server(echo);
  const Bytes binary = {'x', 0, 'y', 0xFF};
  fetchWithWinHttp({.url = server.baseUrl() + "/", .method = 1, .postText = "ignored",
                    .postBytes = binary});
  EXPECT_EQ(server.requests().back().body, std::string("x\0y\xFF", 4));
}

TEST(WinHttpRequest, CallerHeadersAgainstDefaultsNormalisingAndKeepAlive) {
  struct Case {
    std::string name;
    WinHttpOptions options;
    std::string expectedLines;
  };
  const std::vector<Case> cases = {
      {"caller's agent in any case suppresses the default; names are normalised",
       {.headers = "user-agent: Mine\r\nx-requested-with: XMLHttpRequest"},
       "User-Agent: Mine\r\nX-Requested-With: XMLHttpRequest\r\n" +
           kDefaultLines.substr(kDefaultLines.find("Accept:"))},
      {"a key inside another value suppresses the default too",
       {.headers = "X-Note: accept-language: none"},
       "X-Note: accept-language: none\r\n" + std::string(
           "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
           "Accept: text/html, application/xhtml+xml, */*\r\n"
           "Accept-Encoding: gbk, GB2312\r\n"
           "Cache-Control: no-cache\r\n")},
      {"no defaults, no normalising: lines go as given",
       {.headers = "x-one: 1\r\nX-Two: 2", .addDefaultHeaders = false, .normaliseHeaders = false},
       "x-one: 1\r\nX-Two: 2\r\n"},
      {"keep-alive followed by other lines is removed",
       {.headers = "Connection: keep-alive\r\nX-A: 1", .addDefaultHeaders = false},
       "X-A: 1\r\n"},
      {"keep-alive ending the block stays",
       {.headers = "X-A: 1\r\nConnection: keep-alive", .addDefaultHeaders = false},
       "X-A: 1\r\nConnection: keep-alive\r\n"},
      {"another Connection value stays",
       {.headers = "Connection: close\r\nX-A: 1", .addDefaultHeaders = false},
       "Connection: close\r\nX-A: 1\r\n"},
      {"an empty value is sent as it stands",
       {.headers = "X-Empty: \r\nX-A: 1", .addDefaultHeaders = false},
       "X-Empty: \r\nX-A: 1\r\n"},
  };
  ScriptedServer server(echo);
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    Text statusText;
    c.options.url = server.baseUrl() + "/h";
    c.options.statusText = &statusText;
    fetchWithWinHttp(c.options);
    EXPECT_EQ(statusText, "200 OK");
    EXPECT_EQ(callerLines(server.requests().back()), c.expectedLines);
  }
}

TEST(WinHttpRequest, CookiesSentAsTheCallerGivesThem) {
  struct Case {
    std::string headers;
    Text cookies;
    std::string cookieLine;  // empty: no Cookie line at all
  };
  const std::vector<Case> cases = {
      {"", "a=1; b=2", "Cookie: a=1; b=2\r\n"},
      {"", "Cookie: a=1", "Cookie: a=1\r\n"},
      {"Cookie: mine=1", "a=1", "Cookie: mine=1\r\n"},
      {"", "", ""},
  };
  ScriptedServer server(echo);
  for (Case c : cases) {
    SCOPED_TRACE(c.cookies);
    fetchWithWinHttp({.url = server.baseUrl() + "/c", .cookies = &c.cookies, .headers = c.headers});
    std::string block = server.requests().back().headerBlock;
    size_t at = block.find("Cookie: ");
    std::string line = at == std::string::npos ? "" : block.substr(at, block.find("\r\n", at) + 2 - at);
    EXPECT_EQ(line, c.cookieLine);
    EXPECT_EQ(block.find("Cookie: ", at == std::string::npos ? 0 : at + 1), std::string::npos);
  }
}

TEST(WinHttpRequest, SetCookieLinesAreCollectedAndMerged) {
  ScriptedServer server(siteHandler(
      {{"/", ScriptedResponse::status(200, "OK", "x",
                                      {"Set-Cookie: sid=abc; path=/", "Set-Cookie: k=v",
                                       "set-cookie: lower=1", "Set-Cookie:nospace=1",
                                       "Set-Cookie: old=deleted; path=/"})}}));
  // Without cookies to send: appended to the caller's text, nothing merged.
  Text received = "prior=1";
  Text none;
  fetchWithWinHttp({.url = server.baseUrl() + "/", .cookies = &none, .receivedCookies = &received});
  EXPECT_EQ(received, "prior=1sid=abc; k=v; old=deleted");
  EXPECT_EQ(none, "");
  // With cookies: the merge replaces, keeps and deletes, in both outputs.
  Text cookies = "k=old; keep=1; old=1";
  Text merged;
  fetchWithWinHttp({.url = server.baseUrl() + "/", .cookies = &cookies, .receivedCookies = &merged});
  EXPECT_EQ(merged, "sid=abc; k=v; keep=1");
  EXPECT_EQ(cookies, "sid=abc; k=v; keep=1");
  // Merging switched off leaves the caller's cookies alone.
  Text untouched = "k=old";
  Text plain;
  fetchWithWinHttp({.url = server.baseUrl() + "/", .cookies = &untouched,
                    .receivedCookies = &plain, .mergeReceivedCookies = false});
  EXPECT_EQ(plain, "sid=abc; k=v; old=deleted");
  EXPECT_EQ(untouched, "k=old");
}

TEST(WinHttpRequest, RedirectsFollowedUnlessSwitchedOff) {
  ScriptedServer server(siteHandler(
      {{"/from", ScriptedResponse::status(302, "Found", "moved",
                                          {"Location: /to", "Set-Cookie: hop=1"})},
       {"/to", ScriptedResponse::ok("arrived")}}));
  Text statusText, location, headers;
  Text page = fetchWithWinHttp({.url = server.baseUrl() + "/from", .responseHeaders = &headers,
                                .location = &location, .statusText = &statusText});
  EXPECT_EQ(page, "arrived");
  EXPECT_EQ(statusText, "200 OK");
  EXPECT_EQ(location, "");  // the final response has no Location line
  EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  // The cookie of the redirect is not sent on by the service.
  EXPECT_EQ(server.requests().back().headerBlock.find("Cookie"), std::string::npos);

  Text stopLocation = "before";
  page = fetchWithWinHttp({.url = server.baseUrl() + "/from", .noRedirect = true,
                           .location = &stopLocation, .statusText = &statusText});
  EXPECT_EQ(page, "moved");
  EXPECT_EQ(statusText, "302 Found");
  EXPECT_EQ(stopLocation, "/to");
}

TEST(WinHttpRequest, RedirectsEndAfterTenAndNeverLeaveHttpAndHttps) {
  ScriptedServer server([](const RecordedRequest& request) {
    if (request.target == "/ftp")
      return ScriptedResponse::status(302, "Found", "", {"Location: ftp://127.0.0.1/x"});
    int n = std::stoi(request.target.substr(1));
    return ScriptedResponse::status(302, "Found", "", {"Location: /" + std::to_string(n + 1)});
  });
  Text statusText;
  EXPECT_EQ(fetchWithWinHttp({.url = server.baseUrl() + "/0", .statusText = &statusText}), "");
  EXPECT_EQ(statusText, gbk("712 服务器未响应!"));
  EXPECT_EQ(server.requests().size(), 11u);  // the first request and ten redirects
  EXPECT_EQ(fetchWithWinHttp({.url = server.baseUrl() + "/ftp", .statusText = &statusText}), "");
  EXPECT_EQ(statusText, gbk("712 服务器未响应!"));
}

TEST(WinHttpRequest, NotFoundStillReturnsItsBody) {
  ScriptedServer server(siteHandler({}));
  Text statusText;
  EXPECT_EQ(fetchWithWinHttp({.url = server.baseUrl() + "/missing", .statusText = &statusText}),
            "Not Found");
  EXPECT_EQ(statusText, "404 Not Found");
}

TEST(WinHttpRequest, ServerCredentialsAreSentAsBasic) {
  ScriptedServer server(echo);
  fetchWithWinHttp({.url = server.baseUrl() + "/", .userName = "alice", .password = "secret"});
  EXPECT_NE(server.requests().back().headerBlock.find("Authorization: Basic YWxpY2U6c2VjcmV0\r\n"),
            std::string::npos);
  // A pair with an empty half is skipped without a message.
  Text statusText;
  fetchWithWinHttp({.url = server.baseUrl() + "/", .userName = "alice", .statusText = &statusText});
  EXPECT_EQ(statusText, "200 OK");
  EXPECT_EQ(server.requests().back().headerBlock.find("Authorization"), std::string::npos);
}

TEST(WinHttpRequest, HttpsWithASelfSignedCertificate) {
  ScriptedServer server(siteHandler({{"/secure", ScriptedResponse::ok("secret page")}}), true);
  Text statusText;
  EXPECT_EQ(fetchWithWinHttp({.url = server.baseUrl() + "/secure", .statusText = &statusText}),
            "secret page");
  EXPECT_EQ(statusText, "200 OK");
}

TEST(WinHttpRequest, AQueryRightAfterTheHostIsDropped) {
  ScriptedServer server(echo);
  fetchWithWinHttp({.url = server.baseUrl() + "?q=1"});
  EXPECT_EQ(server.requests().back().target, "/");
}

TEST(WinHttpRequest, ProxiesForHttpAndHttpsWithCredentials) {
  if (!TinyproxyProcess::installed()) GTEST_SKIP() << "tinyproxy is not installed";
  TinyproxyProcess proxy;
  ASSERT_TRUE(proxy.running());
  ScriptedServer plain(echo);
  ScriptedServer secure(siteHandler({{"/s", ScriptedResponse::ok("tunnelled")}}), true);
  Text statusText;

  EXPECT_EQ(fetchWithWinHttp({.url = plain.baseUrl() + "/p", .proxy = proxy.address(),
                              .statusText = &statusText}),
            "GET:");
  EXPECT_NE(plain.requests().back().headerBlock.find("tinyproxy"), std::string::npos);

  EXPECT_EQ(fetchWithWinHttp({.url = secure.baseUrl() + "/s", .proxy = proxy.address(),
                              .statusText = &statusText}),
            "tunnelled");
  // The same address through a proxy that is not there fails: the proxy
  // was really used.
  EXPECT_EQ(fetchWithWinHttp({.url = secure.baseUrl() + "/s", .proxy = "127.0.0.1:1",
                              .statusText = &statusText}),
            "");
  EXPECT_EQ(statusText, gbk("711 发送请求失败!"));

  TinyproxyProcess guarded("alice", "secret");
  ASSERT_TRUE(guarded.running());
  fetchWithWinHttp({.url = plain.baseUrl() + "/p", .proxy = guarded.address(),
                    .statusText = &statusText});
  EXPECT_EQ(statusText.substr(0, 3), "407");
  EXPECT_EQ(fetchWithWinHttp({.url = plain.baseUrl() + "/p", .proxy = guarded.address(),
                              .proxyUser = "alice", .proxyPassword = "secret",
                              .statusText = &statusText}),
            "GET:");
  EXPECT_EQ(statusText, "200 OK");
}

TEST(WinHttpRequest, FailuresWriteTheirStepsMessage) {
  ScriptedServer stalling([](const RecordedRequest&) {
    ScriptedResponse response = ScriptedResponse::ok("late");
    response.delayBeforeMs = 20000;
    return response;
  });
  ScriptedServer hangingUp([](const RecordedRequest&) {
    ScriptedResponse response;
    response.closeAfter = true;
    return response;
  });
  struct Case {
    std::string name;
    WinHttpOptions options;
    std::string utf8Message;
  };
  const std::vector<Case> cases = {
      {"empty address", {.url = ""}, "701 解析URL地址失败!"},
      {"no scheme", {.url = "127.0.0.1/page"}, "701 解析URL地址失败!"},
      {"another scheme", {.url = "ftp://127.0.0.1/page"}, "701 解析URL地址失败!"},
      {"nothing listens", {.url = "http://127.0.0.1:1/"}, "711 发送请求失败!"},
      {"no answer within the time-out",
       {.url = stalling.baseUrl() + "/", .timeoutSeconds = 1},
       "712 服务器未响应!"},
      {"closed without an answer", {.url = hangingUp.baseUrl() + "/"}, "712 服务器未响应!"},
      {"a line that is no header line",
       {.url = hangingUp.baseUrl() + "/", .headers = "no colon here", .normaliseHeaders = false},
       "710 设置协议头失败!"},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    Text statusText = "unchanged", headers = "unchanged";
    Bytes body = {1};
    c.options.statusText = &statusText;
    c.options.responseHeaders = &headers;
    c.options.body = &body;
    EXPECT_EQ(fetchWithWinHttp(c.options), "");
    EXPECT_EQ(statusText, gbk(c.utf8Message));
    EXPECT_EQ(headers, "unchanged");
    EXPECT_EQ(body, Bytes{1});
  }
}

TEST(WinHttpRequest, MessagesThatNoLocalServerCanProvokeAreSpelledExactly) {
  const std::vector<std::pair<Text, std::string>> cases = {
      {kMessage700, "700 当前系统不支持WinHttp服务!"},
      {kMessage702, "702 创建WinHttp会话失败!"},
      {kMessage703, "703 创建WinHttp连接失败!"},
      {kMessage704, "704 创建WinHttp请求失败!"},
      {kMessage705, "705 设置超时时间失败!"},
      {kMessage707, "707 设置代理凭证失败!"},
      {kMessageCertificate, "忽略错误/证书错误  失败！"},
      {kMessage708, "708 禁止自动设置Cookies失败!"},
      {kMessage709, "709 重定向设置失败!"},
      {kMessage713, "713 读取数据失败!"},
  };
  for (const auto& [message, utf8] : cases) EXPECT_EQ(message, gbk(utf8)) << utf8;
}

TEST(WinHttpRequest, ABodyThatBreaksOffKeepsWhatArrivedWithTheStatus) {
  ScriptedResponse cut = ScriptedResponse::ok(std::string(100, 'x'));
  cut.raw.resize(cut.raw.size() - 60);  // 40 of the 100 bytes
  cut.resetAfter = true;
  ScriptedServer server(siteHandler({{"/", cut}}));
  Text statusText;
  Bytes body;
  EXPECT_EQ(fetchWithWinHttp({.url = server.baseUrl() + "/", .statusText = &statusText, .body = &body}),
            std::string(40, 'x'));
  EXPECT_EQ(statusText, "200 OK");
  EXPECT_EQ(body.size(), 40u);
}

TEST(WinHttpRequest, ABodyOverTheLimitIsNotHeld) {
  ScriptedResponse huge;
  huge.raw = "HTTP/1.1 200 OK\r\nContent-Length: 300000000\r\n\r\n" + std::string(1000, 'x');
  huge.closeAfter = true;
  ScriptedServer server(siteHandler({{"/", huge}}));
  Text statusText;
  Bytes body = {1};
  EXPECT_EQ(fetchWithWinHttp({.url = server.baseUrl() + "/", .statusText = &statusText, .body = &body}),
            "");
  EXPECT_EQ(statusText, "200 OK");
  EXPECT_TRUE(body.empty());
}

}  // namespace
}  // namespace varnelo
