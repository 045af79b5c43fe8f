// Whole jobs against servers and pages that misbehave: a job always ends,
// writes nothing outside ./data, leaves no partial file, and still saves
// the good pages listed beside the bad ones. The transfer limits are
// shortened for the whole suite so that every bound is reached in seconds.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/engine.h"
#include "app/memory_controls.h"
#include "platform/http_transport.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"

namespace varnelo {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::RecordedRequest;
using testing::ScopedCurrentDir;
using testing::ScriptedResponse;
using testing::ScriptedServer;
using testing::TempDir;

// Two seconds for every wait, a byte a second is too slow after two, and
// no exchange lasts beyond fifteen.
class ShortTransferLimits : public ::testing::Environment {
 public:
  void SetUp() override {
    platform::setTransferLimitsForTesting({.maxConnectTimeoutMs = 2000,
                                           .maxStallTimeoutMs = 2000,
                                           .lowSpeedWindowMs = 2000,
                                           .lowSpeedBytes = 1024,
                                           .totalTimeoutMs = 15000});
  }
};
::testing::Environment* const kShortLimits =
    ::testing::AddGlobalTestEnvironment(new ShortTransferLimits);

using Tree = std::map<std::string, std::string>;  // path below the work directory -> content

// A web site on 127.0.0.1 whose pages can name its own address; unknown
// paths get 404 "Not Found".
class Site {
 public:
  Site()
      : routes_(std::make_shared<Routes>()),
        server_([routes = routes_](const RecordedRequest& request) {
          std::lock_guard<std::mutex> guard(routes->mutex);
          auto found = routes->map.find(request.target);
          return found != routes->map.end() ? found->second
                                            : ScriptedResponse::status(404, "Not Found", "Not Found");
        }) {}

  std::string url(const std::string& path) const { return server_.baseUrl() + path; }
  void add(const std::string& path, ScriptedResponse response) {
    std::lock_guard<std::mutex> guard(routes_->mutex);
    routes_->map[path] = std::move(response);
  }

 private:
  struct Routes {
    std::mutex mutex;
    std::map<std::string, ScriptedResponse> map;
  };
  std::shared_ptr<Routes> routes_;
  ScriptedServer server_;
};

// Aborts the test program with a message when a job outlives every bound
// by far, so that a hang shows as such even outside CTest.
class Watchdog {
 public:
  explicit Watchdog(std::string what, std::chrono::seconds limit)
      : thread_([this, what = std::move(what), limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_.wait_for(lock, limit, [this] { return disarmed_; })) {
            std::fprintf(stderr, "hang: %s still running after %lld s\n", what.c_str(),
                         static_cast<long long>(limit.count()));
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      disarmed_ = true;
    }
    done_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool disarmed_ = false;
  std::thread thread_;
};

long peakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A job in a working directory three levels below a private directory, so
// that anything a name could reach by climbing out of ./data still lands
// where the test sees it.
class Hardening : public ::testing::Test {
 protected:
  Hardening() : work_(outer_.path() / "a" / "b" / "work") { fs::create_directories(work_); }

  void TearDown() override {
    const long rss = peakRssKib();
    RecordProperty("peak_rss_kib", std::to_string(rss));
    std::printf("[ figures  ] %s: job %.1f s, peak RSS %.1f MiB\n",
                ::testing::UnitTest::GetInstance()->current_test_info()->name(), jobSeconds_,
                static_cast<double>(rss) / 1024.0);
  }

  // Runs a whole job over `addresses` (one per line) in the work directory
  // and returns every file below it, url.txt left out.
  Tree runJob(const std::vector<std::string>& addresses) {
    Text box;
    for (const std::string& address : addresses) box += address + "\r\n";
    {
      ScopedCurrentDir here(work_);
      MemoryControls controls(box);
      Engine engine(controls);
      Watchdog watchdog(::testing::UnitTest::GetInstance()->current_test_info()->name(),
                        std::chrono::seconds(170));
      const auto start = std::chrono::steady_clock::now();
      engine.startDownload();
      engine.waitUntilIdle();
      jobSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    expectNothingOutsideData();
    Tree files;
    for (const auto& entry : fs::recursive_directory_iterator(work_)) {
      if (!entry.is_regular_file()) continue;
      const std::string path = fs::relative(entry.path(), work_).string();
      if (path != "data/url.txt") files[path] = readFile(entry.path());
    }
    return files;
  }

  // Every entry of the private directory is on the way to ./data or below
  // it, and no name looks like a temporary file.
  void expectNothingOutsideData() {
    const std::set<std::string> way = {"a", "a/b", "a/b/work", "a/b/work/data"};
    for (const auto& entry : fs::recursive_directory_iterator(outer_.path())) {
      const std::string path = fs::relative(entry.path(), outer_.path()).string();
      EXPECT_TRUE(way.count(path) || path.rfind("a/b/work/data/", 0) == 0)
          << "written outside ./data: " << path;
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << "temporary file left: " << path;
    }
  }

  TempDir outer_;
  fs::path work_;
  double jobSeconds_ = 0;
};

// Bytes of every value, as a picture has them.
std::string binary(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed)) % 256);
  return bytes;
}

const std::string kPictureA = binary(5000, 1);
const std::string kPictureB = binary(7000, 2);
const std::string kPictureC = binary(3000, 3);
const std::string kEvilPicture = binary(3000, 4);

// The good pages every hostile job carries: Good1 mentions a good picture,
// the hostile picture and a good ".gif"; Good2 mentions nothing.
struct GoodPages {
  std::string good1, good2;
  Tree files;
};

GoodPages serveGoodPages(Site& site, const std::string& evilPictureUrl) {
  GoodPages good;
  good.good1 = "<html><title>Good1</title><img src=\"" + site.url("/a.jpg") + "\"><img src=\"" +
               evilPictureUrl + "\"><img src=\"" + site.url("/b.gif") + "\"></html>";
  good.good2 = "<html><title>Good2</title><p>no pictures here</p></html>";
  site.add("/good1", ScriptedResponse::ok(good.good1));
  site.add("/good2", ScriptedResponse::ok(good.good2));
  site.add("/a.jpg", ScriptedResponse::ok(kPictureA, "image/jpeg"));
  site.add("/b.gif", ScriptedResponse::ok(kPictureB, "image/gif"));
  site.add("/c.jpg", ScriptedResponse::ok(kPictureC, "image/jpeg"));
  good.files = {{"data/pic/Good1/index.html", good.good1},
                {"data/pic/Good1/1.jpg", kPictureA},
                {"data/pic/Good1/1.gif", kPictureB},
                {"data/no_pic/Good2/index.html", good.good2}};
  return good;
}

// The hostile page: its title and some text first, its picture mention
// only in the second half.
std::string evilPage(const Site& site) {
  std::string page = "<html><title>Evil</title>";
  while (page.size() < 2000) page += "<p>filler text</p>";
  return page + "<img src=\"" + site.url("/c.jpg") + "\"></html>";
}

// What of the hostile page or picture a job keeps.
enum class Kept { nothing, whole, firstHalf };

// A way of misbehaving, and what of the hostile page and picture a job
// then keeps.
struct Scenario {
  const char* name;
  // The answer at `path` of the site, whose proper body would be `body`.
  std::function<ScriptedResponse(const std::string& path, const std::string& body)> respond;
  Kept page;
  Kept picture;
  // Instead of `respond`: a server of its own, started by the test.
  enum class Own { none, tlsGarbage, tlsSilent } own = Own::none;
};

// The headers and the first half of `body`, then a close or a reset.
ScriptedResponse cutShort(const std::string& body, bool reset) {
  ScriptedResponse response;
  response.raw = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                 body.substr(0, body.size() / 2);
  response.closeAfter = !reset;
  response.resetAfter = reset;
  return response;
}

ScriptedResponse redirectTo(const std::string& location) {
  return ScriptedResponse::status(302, "Found", "moved", {"Location: " + location});
}

constexpr std::uint64_t k300MB = 300ull * 1000 * 1000;

const Scenario kScenarios[] = {
    {"StallsBeforeTheHeaders",
     [](const std::string&, const std::string& body) {
       ScriptedResponse response = ScriptedResponse::ok(body);
       response.delayBeforeMs = 10 * 60 * 1000;
       return response;
     },
     Kept::nothing, Kept::nothing},
    {"TricklesOneByteASecond",
     [](const std::string&, const std::string& body) {
       ScriptedResponse response = ScriptedResponse::ok(body);
       response.bytesPerSecond = 1;
       return response;
     },
     Kept::nothing, Kept::nothing},
    // The page request keeps what arrived of a body that broke off; the
    // picture request never hands out a part.
    {"ResetsMidBody", 
     [](const std::string&, const std::string& body) { return cutShort(body, true); },
     Kept::firstHalf, Kept::nothing},
    {"SendsFewerBytesThanItsLength", 
     [](const std::string&, const std::string& body) { return cutShort(body, false); },
     Kept::firstHalf, Kept::nothing},
    {"SendsAHundredKilobytesOfHeaders",
     [](const std::string&, const std::string& body) {
       std::vector<std::string> lines;
       for (int i = 0; i < 100; ++i)
         lines.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'h'));
       return ScriptedResponse::status(200, "OK", body, lines);
     },
     Kept::whole, Kept::whole},
    {"RedirectsInALoop",
     // Both hostile addresses send the client back to themselves.
     [](const std::string& path, const std::string&) { return redirectTo(path); },
     Kept::nothing, Kept::nothing},
    {"RedirectsToAFileAddress", [](const std::string&, const std::string&) { return redirectTo("file:///etc/passwd"); },
     Kept::nothing, Kept::nothing},
    {"RedirectsToAnFtpAddress",
     [](const std::string&, const std::string&) { return redirectTo("ftp://127.0.0.1:21/x.jpg"); }, Kept::nothing,
     Kept::nothing},
    {"SendsA300MegabyteBodyOfDeclaredLength",
     [](const std::string&, const std::string&) {
       ScriptedResponse response;
       response.raw = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(k300MB) + "\r\n\r\n";
       response.generatedBodyBytes = k300MB;
       response.closeAfter = true;
       return response;
     },
     Kept::nothing, Kept::nothing},
    {"SendsA300MegabyteBodyUntilItCloses",
     [](const std::string&, const std::string&) {
       ScriptedResponse response;
       response.raw = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
       response.generatedBodyBytes = k300MB;
       response.closeAfter = true;
       return response;
     },
     Kept::nothing, Kept::nothing},
    {"SendsGarbageInsteadOfHttp",
     [](const std::string&, const std::string&) {
       ScriptedResponse response;
       response.raw = "\x16\x03\x01 not a response at all\r\n\r\n\xff\xfe";
       response.closeAfter = true;
       return response;
     },
     Kept::nothing, Kept::nothing},
    {"FailsTheTlsHandshake", nullptr, Kept::nothing, Kept::nothing, Scenario::Own::tlsGarbage},
    {"NeverFinishesTheTlsHandshake", nullptr, Kept::nothing, Kept::nothing,
     Scenario::Own::tlsSilent},
    // An error page is a page, and the picture request returns the body of
    // any status.
    {"Answers500WithABody",
     [](const std::string&, const std::string& body) { return ScriptedResponse::status(500, "Internal Server Error", body); },
     Kept::whole, Kept::whole},
    {"ClosesWithoutAResponse",
     [](const std::string&, const std::string&) {
       ScriptedResponse response;
       response.closeAfter = true;
       return response;
     },
     Kept::nothing, Kept::nothing},
};

class HostileServer : public Hardening, public ::testing::WithParamInterface<Scenario> {};

TEST_P(HostileServer, JobEndsKeepsTheGoodPagesAndNoPartOfTheBadOnes) {
  const Scenario& scenario = GetParam();
  Site site;
  const std::string page = evilPage(site);

  struct {
    std::string page, picture;
  } evil{site.url("/evil"), site.url("/evil.jpg")};
  std::unique_ptr<ScriptedServer> own;
  const auto notCalled = [](const RecordedRequest&) { return ScriptedResponse::ok("unused"); };
  if (scenario.own == Scenario::Own::tlsGarbage) {
    own = std::make_unique<ScriptedServer>(notCalled, false, "HTTP/1.1 400 Bad Request\r\n\r\n");
  } else if (scenario.own == Scenario::Own::tlsSilent) {
    // A plain server waits for the end of a request that a TLS greeting
    // never brings.
    own = std::make_unique<ScriptedServer>(notCalled);
  }
  if (own) {
    const std::string https = "https://127.0.0.1:" + std::to_string(own->port());
    evil = {https + "/evil", https + "/evil.jpg"};
  } else {
    site.add("/evil", scenario.respond("/evil", page));
    site.add("/evil.jpg", scenario.respond("/evil.jpg", kEvilPicture));
  }
  GoodPages good = serveGoodPages(site, evil.picture);

  const Tree files = runJob({site.url("/good1"), evil.page, site.url("/good2")});

  Tree expected = good.files;
  if (scenario.picture == Kept::whole) expected["data/pic/Good1/2.jpg"] = kEvilPicture;
  if (scenario.page == Kept::whole) {
    expected["data/pic/Evil/index.html"] = page;
    expected["data/pic/Evil/1.jpg"] = kPictureC;
  } else if (scenario.page == Kept::firstHalf) {
    expected["data/no_pic/Evil/index.html"] = page.substr(0, page.size() / 2);
  }
  EXPECT_EQ(files, expected);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, HostileServer, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

// Each page mentions the picture /a.jpg once.
TEST_F(Hardening, TitlesThatLookLikePathsOrHoldControlBytesStayBelowData) {
  Site site;
  site.add("/a.jpg", ScriptedResponse::ok(kPictureA, "image/jpeg"));
  std::string controls;
  for (int c = 1; c < 0x20; ++c) controls += static_cast<char>(c);
  controls += "\x7f" + controls;
  const std::vector<std::string> titles = {"../../x", "/etc", "a\\..\\..\\b", std::string(10000, 'T'),
                                           controls, ".."};
  std::vector<std::string> addresses, pages;
  for (std::size_t i = 0; i < titles.size(); ++i) {
    pages.push_back("<title>" + titles[i] + "</title><p>page " + std::to_string(i) +
                    "</p><img src=\"" + site.url("/a.jpg") + "\">");
    site.add("/p" + std::to_string(i), ScriptedResponse::ok(pages.back()));
    addresses.push_back(site.url("/p" + std::to_string(i)));
  }
  const Tree files = runJob(addresses);

  // Each page has a folder of its own directly below ./data/pic, holding
  // its page and its picture and nothing else.
  std::map<std::string, std::string> folderOf;  // page -> folder
  for (const auto& [path, content] : files) {
    const fs::path file(path);
    const std::string folder = file.parent_path().string();
    EXPECT_EQ(file.parent_path().parent_path(), fs::path("data/pic")) << path;
    if (file.filename() == "index.html") folderOf[content] = folder;
  }
  for (const std::string& page : pages) {
    ASSERT_TRUE(folderOf.count(page)) << "page not saved: " << page.substr(0, 60);
    const std::string folder = folderOf[page];
    const auto picture = files.find(folder + "/1.jpg");
    ASSERT_NE(picture, files.end()) << folder;
    EXPECT_EQ(picture->second, kPictureA) << folder;
  }
  EXPECT_EQ(folderOf.size(), pages.size());
  EXPECT_EQ(files.size(), 2 * pages.size());
}

TEST_F(Hardening, TenMegabytePageWithAHundredThousandMentions) {
  Site site;
  site.add("/m.jpg", ScriptedResponse::ok("M", "image/jpeg"));
  site.add("/m.gif", ScriptedResponse::ok("G", "image/gif"));
  const std::string jpg = "<img src=\"" + site.url("/m.jpg") + "\">";
  const std::string gif = "<img src=\"" + site.url("/m.gif") + "\">";
  std::string page = "<title>Big</title>";
  page.reserve(10 * 1000 * 1000 + 200);
  for (int i = 0; i < 50000; ++i) {
    page += jpg + std::string(100 - jpg.size(), ' ');
    page += gif + std::string(100 - gif.size(), ' ');
  }
  ASSERT_GE(page.size(), 10u * 1000 * 1000);
  site.add("/big", ScriptedResponse::ok(page));

  const Tree files = runJob({site.url("/big")});

  // The walk stops after 255 mentions of each extension.
  Tree expected = {{"data/pic/Big/index.html", page}};
  for (int n = 1; n <= 255; ++n) {
    expected["data/pic/Big/" + std::to_string(n) + ".jpg"] = "M";
    expected["data/pic/Big/" + std::to_string(n) + ".gif"] = "G";
  }
  EXPECT_TRUE(files == expected) << files.size() << " files instead of " << expected.size();
}

TEST_F(Hardening, MentionsFarFromAnyAddress) {
  Site site;
  site.add("/a.jpg", ScriptedResponse::ok(kPictureA, "image/jpeg"));
  const std::string filler(20000, 'z');
  // A mention 20 KB after the last address: no address, no file, a gap.
  const std::string gap = "<title>Gap</title><img src=\"" + site.url("/a.jpg") + "\">" + filler +
                          "x.jpg<img src=\"" + site.url("/a.jpg") + "\">";
  // An "http" 20 KB before its mention: an address of 10000 bytes, which
  // the site does not know.
  const std::string longAddress = "<title>Long</title>" + site.url("/") + filler + ".gif";
  site.add("/gap", ScriptedResponse::ok(gap));
  site.add("/long", ScriptedResponse::ok(longAddress));

  const Tree files = runJob({site.url("/gap"), site.url("/long")});

  EXPECT_EQ(files, (Tree{{"data/pic/Gap/index.html", gap},
                         {"data/pic/Gap/1.jpg", kPictureA},
                         {"data/pic/Gap/3.jpg", kPictureA},
                         {"data/pic/Long/index.html", longAddress},
                         {"data/pic/Long/1.gif", "Not Found"}}));
}

}  // namespace
}  // namespace varnelo
