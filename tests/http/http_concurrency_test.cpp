// Twenty threads calling both request routines at once, as the page workers
// do: every call gets its own body, and nothing leaks between them.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "http/winhttp_request.h"
#include "http/wininet_request.h"
#include "support/scripted_server.h"

namespace varnelo {
namespace {

using testing::RecordedRequest;
using testing::ScriptedResponse;
using testing::ScriptedServer;

// The body for a target: the target repeated, long enough to span reads.
std::string bodyFor(const std::string& target) {
  std::string body;
  while (body.size() < 5000) body += target + ";";
  return body;
}

TEST(HttpConcurrency, TwentyThreadsEachGetTheirOwnBodies) {
  ScriptedServer plain([](const RecordedRequest& request) {
    return ScriptedResponse::status(200, "OK", bodyFor(request.target),
                                    {"Set-Cookie: t=" + request.target.substr(1) + "; Path=/store"});
  });
  ScriptedServer secure([](const RecordedRequest& request) {
    return ScriptedResponse::ok(bodyFor(request.target));
  }, true);
  constexpr int kThreads = 20;
  constexpr int kRounds = 5;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const std::string id = std::to_string(t) + "-" + std::to_string(round);
        Text status, received;
        Text page = fetchWithWinHttp({.url = plain.baseUrl() + "/page" + id,
                                      .receivedCookies = &received, .statusText = &status});
        if (page != bodyFor("/page" + id) || status != "200 OK" || received != "t=page" + id)
          ++wrong;
        Text cookies;
        Bytes picture = fetchWithWinInet({.url = plain.baseUrl() + "/pic" + id, .cookies = &cookies});
        if (picture != bytesOf(bodyFor("/pic" + id)) || cookies != "t=pic" + id) ++wrong;
        Bytes stored = fetchWithWinInet({.url = plain.baseUrl() + "/store" + id});
        if (stored != bytesOf(bodyFor("/store" + id))) ++wrong;
        Bytes tls = fetchWithWinInet({.url = secure.baseUrl() + "/tls" + id});
        if (tls != bytesOf(bodyFor("/tls" + id))) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  // Connections are reused: far fewer than one per request.
  EXPECT_LT(plain.connectionCount(), kThreads * kRounds * 3);
  // Page requests and picture requests with their own cookies never sent a
  // cookie that the store keeps.
  for (const RecordedRequest& request : plain.requests()) {
    if (request.target.rfind("/store", 0) == 0) continue;
    EXPECT_EQ(request.headerBlock.find("Cookie:"), std::string::npos) << request.target;
  }
}

}  // namespace
}  // namespace varnelo
