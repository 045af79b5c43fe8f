// The whole engine against a local web site: what lands below ./data, byte
// for byte, which requests the site sees, and the slots' progress values.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/engine.h"
#include "app/memory_controls.h"
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

using Tree = std::map<std::string, std::string>;  // path below the working directory -> content

// Every file and directory below `root` (directories end in "/").
Tree treeBelow(const fs::path& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string path = fs::relative(entry.path(), root.parent_path()).string();
    if (entry.is_directory()) {
      tree[path + "/"] = "";
    } else {
      tree[path] = readFile(entry.path());
    }
  }
  return tree;
}

// A web site on 127.0.0.1 whose pages can name the site's own address.
// Unknown paths get 404 "Not Found"; `onRequest` sees every request before
// it is answered (it may block to hold a worker in its request).
class Site {
 public:
  Site()
      : shared_(std::make_shared<Shared>()),
        server_([shared = shared_](const RecordedRequest& request) {
          std::function<void(const RecordedRequest&)> hook;
          ScriptedResponse response = ScriptedResponse::status(404, "Not Found", "Not Found");
          {
            std::lock_guard<std::mutex> guard(shared->mutex);
            hook = shared->onRequest;
            auto found = shared->routes.find(request.target);
            if (found != shared->routes.end()) response = found->second;
          }
          if (hook) hook(request);
          return response;
        }) {}

  std::string url(const std::string& path) const { return server_.baseUrl() + path; }
  void add(const std::string& path, ScriptedResponse response) {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    shared_->routes[path] = std::move(response);
  }
  void page(const std::string& path, const std::string& html) {
    add(path, ScriptedResponse::ok(html));
  }
  void picture(const std::string& path, const std::string& bytes) {
    add(path, ScriptedResponse::ok(bytes, "image/jpeg"));
  }
  void onRequest(std::function<void(const RecordedRequest&)> hook) {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    shared_->onRequest = std::move(hook);
  }
  // The targets requested so far, in order of arrival.
  std::vector<std::string> targets() const {
    std::vector<std::string> targets;
    for (const RecordedRequest& request : server_.requests()) targets.push_back(request.target);
    return targets;
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::map<std::string, ScriptedResponse> routes;
    std::function<void(const RecordedRequest&)> onRequest;
  };
  std::shared_ptr<Shared> shared_;
  ScriptedServer server_;
};

// Counts what the workers report.
class Outcomes : public JobObserver {
 public:
  struct Page {
    int slot;
    Text address;
    PageOutcome outcome;
  };
  void pageDone(int slot, const Text& address, PageOutcome outcome) override {
    std::lock_guard<std::mutex> guard(mutex_);
    pages_.push_back({slot, address, outcome});
    changed_.notify_all();
  }
  void pictureDone(int, const Text&, PictureOutcome outcome, std::uint64_t) override {
    std::lock_guard<std::mutex> guard(mutex_);
    ++pictures_[outcome];
  }
  std::vector<Page> pages() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return pages_;
  }
  int pictures(PictureOutcome outcome) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = pictures_.find(outcome);
    return found == pictures_.end() ? 0 : found->second;
  }
  // Waits (at most 30 s) until `count` pages are reported.
  bool waitForPages(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return pages_.size() >= count; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Page> pages_;
  std::map<PictureOutcome, int> pictures_;
};

// One engine with the in-memory window in its own working directory.
struct Desk {
  TempDir dir;
  ScopedCurrentDir here{dir.path()};
  MemoryControls controls;
  Outcomes outcomes;
  Engine engine{controls, &outcomes};

  // Presses start with `box` in the address box and waits for the whole job.
  void run(const Text& box) {
    controls.replaceAddressBox(box);
    engine.startDownload();
    engine.waitUntilIdle();
  }
  Tree tree() const { return treeBelow(dir.path() / "data"); }
};

const Tree kEmptyTree = {{"data/no_pic/", ""}, {"data/pic/", ""}};

// `base` with `more` added.
Tree with(Tree base, const Tree& more) {
  for (const auto& [path, content] : more) base[path] = content;
  return base;
}

TEST(Engine, SavesAPageWithPicturesAsNumberedFiles) {
  Site site;
  const std::string html = "<html><head><title>Gallery</title></head><body>"
                           "<img src=\"" + site.url("/a.jpg") + "\">"
                           "<img src=\"" + site.url("/b.gif") + "\">"
                           "<img src=\"" + site.url("/c.jpg") + "\"></body></html>";
  site.page("/gallery", html);
  site.picture("/a.jpg", std::string("A\0jpg", 5));
  site.picture("/b.gif", "GIF89a");
  site.picture("/c.jpg", std::string(3000, 'c'));
  Desk desk;
  desk.run(site.url("/gallery"));

  EXPECT_EQ(desk.tree(), with(kEmptyTree, {{"data/url.txt", site.url("/gallery")},
                                           {"data/pic/Gallery/", ""},
                                           {"data/pic/Gallery/index.html", html},
                                           {"data/pic/Gallery/1.jpg", std::string("A\0jpg", 5)},
                                           {"data/pic/Gallery/2.jpg", std::string(3000, 'c')},
                                           {"data/pic/Gallery/1.gif", "GIF89a"}}));
  EXPECT_EQ(site.targets(), (std::vector<std::string>{"/gallery", "/a.jpg", "/c.jpg", "/b.gif"}));
  EXPECT_EQ(desk.controls.statusCaption(), "\xbe\xcd\xd0\xf7");
}

TEST(Engine, SavesAPageWithoutPicturesBelowNoPic) {
  Site site;
  site.page("/one", "<title>Plain</title><p>text only</p>");
  site.page("/two", "<title>Other</title>");
  Desk desk;
  // The blank lines go; both pages are fetched.
  const Text list = "\r\n" + site.url("/one") + "\r\n\r\n\r\n" + site.url("/two") + "\r\n";
  desk.run(list);
  EXPECT_EQ(desk.tree(),
            with(kEmptyTree, {{"data/url.txt", site.url("/one") + "\r\n" + site.url("/two")},
                              {"data/no_pic/Plain/", ""},
                              {"data/no_pic/Plain/index.html", "<title>Plain</title><p>text only</p>"},
                              {"data/no_pic/Other/", ""},
                              {"data/no_pic/Other/index.html", "<title>Other</title>"}}));
  EXPECT_EQ(desk.outcomes.pages().size(), 2u);
}

TEST(Engine, NameMarkersNameTheFolderAndThePageIsSavedAsUtf8) {
  Site site;
  // "<!-- 名称 -->中文<!-- end 名称 -->" and a title "标题", in code page 936.
  const std::string html = "<title>\xb1\xea\xcc\xe2</title><!-- \xc3\xfb\xb3\xc6 -->"
                           "\xd6\xd0\xce\xc4<!-- end \xc3\xfb\xb3\xc6 --><p>\xd6\xd0</p>";
  const std::string utf8 = "<title>\xe6\xa0\x87\xe9\xa2\x98</title><!-- \xe5\x90\x8d\xe7\xa7\xb0 -->"
                           "\xe4\xb8\xad\xe6\x96\x87<!-- end \xe5\x90\x8d\xe7\xa7\xb0 --><p>\xe4\xb8\xad</p>";
  site.page("/named", html);
  Desk desk;
  desk.run(site.url("/named"));
  EXPECT_EQ(desk.tree(), with(kEmptyTree, {{"data/url.txt", site.url("/named")},
                                           {"data/no_pic/\xe4\xb8\xad\xe6\x96\x87/", ""},
                                           {"data/no_pic/\xe4\xb8\xad\xe6\x96\x87/index.html", utf8}}));
}

TEST(Engine, CapitalsCountForThePicFolderButAreNeverFetched) {
  Site site;
  const std::string html = "<title>Caps</title><img src=\"" + site.url("/X.JPG") + "\">";
  site.page("/caps", html);
  site.picture("/X.JPG", "never");
  Desk desk;
  desk.run(site.url("/caps"));
  EXPECT_EQ(desk.tree(), with(kEmptyTree, {{"data/url.txt", site.url("/caps")},
                                           {"data/pic/Caps/", ""},
                                           {"data/pic/Caps/index.html", html}}));
  EXPECT_EQ(site.targets(), std::vector<std::string>{"/caps"});
  EXPECT_EQ(desk.engine.progress(1), 0);
}

TEST(Engine, APageWithoutANameIsSkippedOrSavedDirectlyByTheCheckBox) {
  Site site;
  const std::string html = "<TITLE>Shouting</TITLE><img src=\"" + site.url("/p.jpg") + "\">";
  site.page("/untitled", html);
  site.picture("/p.jpg", "jpeg");
  {
    Desk desk;  // check box checked: "./data/" exists, so the page is skipped
    desk.run(site.url("/untitled"));
    EXPECT_EQ(desk.tree(), with(kEmptyTree, {{"data/url.txt", site.url("/untitled")}}));
    ASSERT_EQ(desk.outcomes.pages().size(), 1u);
    EXPECT_EQ(desk.outcomes.pages()[0].outcome, JobObserver::PageOutcome::skipped);
  }
  {
    Desk desk;
    desk.controls.setOverwriteCheckBox(false);
    desk.run(site.url("/untitled"));
    EXPECT_EQ(desk.tree(), with(kEmptyTree, {{"data/url.txt", site.url("/untitled")},
                                             {"data/pic/index.html", html},
                                             {"data/pic/1.jpg", "jpeg"}}));
  }
}

TEST(Engine, SkipRuleLooksDirectlyBelowDataAndOnlyWhileChecked) {
  Site site;
  site.page("/old", "<title>Old</title><p>new text</p>");
  site.page("/pic", "<title>pic</title>");
  site.page("/again", "<title>Again</title>");
  for (bool checked : {true, false}) {
    Desk desk;
    desk.controls.setOverwriteCheckBox(checked);
    fs::create_directories("data/Old");
    fs::create_directories("data/no_pic/Again");
    std::ofstream("data/no_pic/Again/index.html") << "earlier run";
    desk.run(site.url("/old") + "\r\n" + site.url("/pic") + "\r\n" + site.url("/again"));
    const Tree tree = desk.tree();
    EXPECT_EQ(tree.count("data/no_pic/Old/index.html"), checked ? 0u : 1u) << checked;
    EXPECT_EQ(tree.count("data/no_pic/pic/index.html"), checked ? 0u : 1u) << checked;
    // ./data/Again does not exist: the page is written again either way.
    EXPECT_EQ(readFile("data/no_pic/Again/index.html"), "<title>Again</title>") << checked;
  }
}

TEST(Engine, NumbersHaveGapsWhereNoPictureCameBack) {
  Site site;
  const std::string html = "<title>Gaps</title>"
                           "<img src=\"/relative/first.jpg\">"  // no "http" before it: empty address
                           "<img src=\"" + site.url("/b.jpg") + "\">"
                           "<img src=\"" + site.url("/empty.jpg") + "\">"
                           "<img src=\"" + site.url("/d.jpg") + "\">"
                           "<img src=\"" + site.url("/missing.gif") + "\">";
  site.page("/gaps", html);
  site.picture("/b.jpg", "bbb");
  site.picture("/empty.jpg", "");
  site.picture("/d.jpg", "ddd");
  Desk desk;
  desk.run(site.url("/gaps"));
  EXPECT_EQ(desk.tree(), with(kEmptyTree, {{"data/url.txt", site.url("/gaps")},
                                           {"data/pic/Gaps/", ""},
                                           {"data/pic/Gaps/index.html", html},
                                           {"data/pic/Gaps/2.jpg", "bbb"},
                                           {"data/pic/Gaps/4.jpg", "ddd"},
                                           {"data/pic/Gaps/1.gif", "Not Found"}}));
  EXPECT_EQ(site.targets(), (std::vector<std::string>{"/gaps", "/b.jpg", "/empty.jpg", "/d.jpg",
                                                      "/missing.gif"}));
  EXPECT_EQ(desk.outcomes.pictures(JobObserver::PictureOutcome::saved), 3);
  EXPECT_EQ(desk.outcomes.pictures(JobObserver::PictureOutcome::empty), 2);
}

TEST(Engine, AnEmptyPictureRemovesTheFileOfAnEarlierRun) {
  Site site;
  site.page("/p", "<title>P</title><img src=\"" + site.url("/gone.jpg") + "\">");
  site.picture("/gone.jpg", "");
  Desk desk;
  desk.controls.setOverwriteCheckBox(false);
  fs::create_directories("data/pic/P");
  std::ofstream("data/pic/P/1.jpg") << "earlier";
  std::ofstream("data/pic/P/7.jpg") << "untouched";
  desk.run(site.url("/p"));
  EXPECT_FALSE(fs::exists("data/pic/P/1.jpg"));
  EXPECT_EQ(readFile("data/pic/P/7.jpg"), "untouched");
}

TEST(Engine, DuplicateAddressesAreFetchedUnderTwoNumbers) {
  Site site;
  const std::string img = "<img src=\"" + site.url("/same.jpg") + "\">";
  site.page("/dup", "<title>Dup</title>" + img + img);
  site.picture("/same.jpg", "same");
  Desk desk;
  desk.run(site.url("/dup"));
  EXPECT_EQ(readFile("data/pic/Dup/1.jpg"), "same");
  EXPECT_EQ(readFile("data/pic/Dup/2.jpg"), "same");
  EXPECT_EQ(site.targets(), (std::vector<std::string>{"/dup", "/same.jpg", "/same.jpg"}));
}

TEST(Engine, ThreeHundredMentionsGive255Files) {
  Site site;
  std::string html = "<title>Many</title>";
  for (int i = 1; i <= 300; ++i) html += "<img src=\"" + site.url("/p" + std::to_string(i) + ".jpg") + "\">";
  for (int i = 1; i <= 300; ++i) site.picture("/p" + std::to_string(i) + ".jpg", "#" + std::to_string(i));
  site.page("/many", html);
  Desk desk;
  desk.run(site.url("/many"));
  for (int i = 1; i <= 255; ++i) {
    ASSERT_EQ(readFile("data/pic/Many/" + std::to_string(i) + ".jpg"), "#" + std::to_string(i)) << i;
  }
  EXPECT_FALSE(fs::exists("data/pic/Many/256.jpg"));
  EXPECT_EQ(desk.tree().size(), kEmptyTree.size() + 1 + 1 + 1 + 255);  // url.txt, folder, index.html
  EXPECT_EQ(site.targets().size(), 1u + 255u);
  EXPECT_EQ(desk.engine.progress(1), 85);  // 255 of 300
}

TEST(Engine, LongPictureAddressIsCutTo10000BytesAndA404BodyIsSaved) {
  Site site;
  const std::string longUrl = site.url("/" + std::string(12000, 'x') + ".jpg");
  const std::string html = "<title>Long</title><img src=\"" + longUrl + "\">";
  site.page("/long", html);
  Desk desk;
  desk.run(site.url("/long"));
  const std::string cut = longUrl.substr(0, 10000);
  EXPECT_EQ(site.targets(),
            (std::vector<std::string>{"/long", cut.substr(site.url("").size())}));
  EXPECT_EQ(readFile("data/pic/Long/1.jpg"), "Not Found");
}

TEST(Engine, ProgressClimbsPerWalkAndEndsWhereTheLastWalkLeftIt) {
  struct Case {
    const char* label;
    std::vector<std::string> pictures;  // paths in page order
    std::vector<int> seen;              // progress when each picture is requested
    int last;
  };
  const Case cases[] = {
      {"two and two", {"/1.jpg", "/1.gif", "/2.jpg", "/2.gif"}, {25, 50, 25, 50}, 50},
      {"three", {"/1.jpg", "/2.jpg", "/3.jpg"}, {33, 66, 100}, 100},
  };
  for (const Case& c : cases) {
    Site site;
    std::string html = "<title>Bar</title>";
    for (const std::string& path : c.pictures) {
      html += "<img src=\"" + site.url(path) + "\">";
      site.picture(path, "x");
    }
    site.page("/bar", html);
    Desk desk;
    std::mutex mutex;
    std::vector<int> seen;
    site.onRequest([&](const RecordedRequest& request) {
      if (request.target == "/bar") return;
      std::lock_guard<std::mutex> guard(mutex);
      seen.push_back(desk.engine.progress(1));
    });
    desk.run(site.url("/bar"));
    site.onRequest(nullptr);
    EXPECT_EQ(seen, c.seen) << c.label;
    EXPECT_EQ(desk.engine.progress(1), c.last) << c.label;
    desk.engine.refreshProgress();
    EXPECT_EQ(desk.controls.barPosition(1), c.last) << c.label;
    EXPECT_EQ(desk.controls.barPosition(2), 0) << c.label;
  }
}

TEST(Engine, TwentyFivePagesFillTwentySlotsThenTheFirstFreedOne) {
  Site site;
  std::mutex mutex;
  std::condition_variable released;
  std::set<std::string> letGo;
  int waiting = 0;
  site.onRequest([&](const RecordedRequest& request) {
    std::unique_lock<std::mutex> lock(mutex);
    ++waiting;
    released.notify_all();
    released.wait(lock, [&] { return letGo.count(request.target) > 0 || letGo.count("*") > 0; });
  });
  Text list;
  for (int i = 1; i <= 25; ++i) {
    site.page("/p" + std::to_string(i), "<title>P" + std::to_string(i) + "</title>");
    list += (i > 1 ? "\r\n" : "") + site.url("/p" + std::to_string(i));
  }
  Desk desk;
  auto release = [&](const std::string& target) {
    std::lock_guard<std::mutex> guard(mutex);
    letGo.insert(target);
    released.notify_all();
  };
  // Whatever happens, no request stays held once the test is over.
  struct ReleaseAtEnd {
    std::function<void()> run;
    ~ReleaseAtEnd() { run(); }
  } releaseAtEnd{[&] { release("*"); }};
  auto waitForWaiting = [&](int count) {
    std::unique_lock<std::mutex> lock(mutex);
    return released.wait_for(lock, std::chrono::seconds(30), [&] { return waiting >= count; });
  };
  desk.controls.replaceAddressBox(list);
  desk.engine.startDownload();
  ASSERT_TRUE(waitForWaiting(20));
  release("/p7");
  ASSERT_TRUE(desk.outcomes.waitForPages(1));
  ASSERT_TRUE(waitForWaiting(21));  // page 21 now asks in slot 7
  release("*");
  desk.engine.waitUntilIdle();

  std::map<Text, int> slotOf;
  for (const Outcomes::Page& page : desk.outcomes.pages()) slotOf[page.address] = page.slot;
  ASSERT_EQ(slotOf.size(), 25u);
  for (int i = 1; i <= 20; ++i) EXPECT_EQ(slotOf[site.url("/p" + std::to_string(i))], i) << i;
  EXPECT_EQ(slotOf[site.url("/p21")], 7);
  EXPECT_EQ(desk.outcomes.pages()[0].address, site.url("/p7"));
}

TEST(Engine, AnUnreachablePageLeavesNothingAndItsBarAtZero) {
  Desk desk;
  desk.run("http://127.0.0.1:1/closed");
  EXPECT_EQ(desk.tree(), with(kEmptyTree, {{"data/url.txt", "http://127.0.0.1:1/closed"}}));
  ASSERT_EQ(desk.outcomes.pages().size(), 1u);
  EXPECT_EQ(desk.outcomes.pages()[0].outcome, JobObserver::PageOutcome::failed);
  EXPECT_EQ(desk.engine.progress(1), 0);
}

}  // namespace
}  // namespace varnelo
