// A press of the start button in the real window with the real engine,
// against pages served on 127.0.0.1.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "app/engine.h"
#include "gui/main_window.h"
#include "gui/window_controls.h"
#include "gui_support.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"

namespace varnelo::gui {
namespace {

namespace fs = std::filesystem;
using testing::pumpUntil;

const Text kCurrent = "\xB5\xB1\xC7\xB0\xA3\xBA";  // "当前："
const Text kReady = "\xBE\xCD\xD0\xF7";             // "就绪"

// Passes every operation on to the window and keeps each status caption.
class CaptionRecorder final : public ControlOps {
 public:
  explicit CaptionRecorder(ControlOps& window) : window_(window) {}
  Text readAddressBox() override { return window_.readAddressBox(); }
  void replaceAddressBox(const Text& text) override { window_.replaceAddressBox(text); }
  void setStatusCaption(const Text& caption) override {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      captions_.push_back(caption);
    }
    window_.setStatusCaption(caption);
  }
  int readOverwriteCheckBox() override { return window_.readOverwriteCheckBox(); }
  void setBarPosition(int slot, int value) override { window_.setBarPosition(slot, value); }

  std::vector<Text> captions() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return captions_;
  }

 private:
  ControlOps& window_;
  mutable std::mutex mutex_;
  std::vector<Text> captions_;
};

class DownloadJobTest : public ::testing::Test {
 protected:
  // Presses the start button with `list` in the box (set as a paste would,
  // line breaks as CR LF), then handles events until every thread the press
  // started has ended.
  void pressStartWith(const Text& list) {
    controls.replaceAddressBox(list);
    window.addressBox()->document()->setModified(true);  // as if typed
    window.startButton()->click();
    std::atomic<bool> idle{false};
    std::thread waiter([&] {
      engine.waitUntilIdle();
      idle = true;
    });
    const bool ended = pumpUntil([&] { return idle.load(); }, std::chrono::seconds(60));
    EXPECT_TRUE(ended) << "the job did not end";
    if (!ended) pumpUntil([&] { return idle.load(); }, std::chrono::hours(1));
    waiter.join();
  }

  testing::ApplicationReady ready;
  testing::TempDir directory;
  testing::ScopedCurrentDir inDirectory{directory.path()};
  WindowControls controls;
  CaptionRecorder recorder{controls};
  Engine engine{recorder};
  MainWindow window{engineHandlers(engine), controls};
};

TEST_F(DownloadJobTest, StartButtonDownloadsTheListShowingProgressAndStatus) {
  std::string base;
  testing::Routes routes;
  testing::ScriptedServer server([&routes](const testing::RecordedRequest& request) {
    return testing::siteHandler(routes)(request);
  });
  base = server.baseUrl();
  std::string page = "<html><head><title>alpha</title></head><body>";
  for (int n = 1; n <= 4; ++n) {
    page += "<img src=\"" + base + "/p/" + std::to_string(n) + ".jpg\">";
    auto picture = testing::ScriptedResponse::ok("picture " + std::to_string(n), "image/jpeg");
    picture.delayBeforeMs = 150;
    routes["/p/" + std::to_string(n) + ".jpg"] = picture;
  }
  routes["/alpha"] = testing::ScriptedResponse::ok(page + "</body></html>");
  routes["/beta"] = testing::ScriptedResponse::ok("<html><title>beta</title>no pictures</html>");

  window.show();
  const Text alpha = base + "/alpha";
  const Text beta = base + "/beta";
  pressStartWith("\r\n" + alpha + "\r\n\r\n" + beta + "\r\n");

  EXPECT_TRUE(fs::is_directory("data/pic"));
  EXPECT_TRUE(fs::is_directory("data/no_pic"));
  EXPECT_EQ(testing::readFile("data/url.txt"), alpha + "\r\n" + beta);
  EXPECT_EQ(window.addressBox()->toPlainText(), QString::fromStdString(alpha + "\n" + beta));

  EXPECT_TRUE(fs::exists("data/pic/alpha/index.html"));
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(testing::readFile("data/pic/alpha/" + std::to_string(n) + ".jpg"),
              "picture " + std::to_string(n));
  }
  EXPECT_TRUE(fs::exists("data/no_pic/beta/index.html"));

  EXPECT_EQ(recorder.captions(),
            (std::vector<Text>{kCurrent + alpha, kCurrent + beta, kReady}));
  EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("就绪"));

  // The timer carries each slot's last value into its bar: alpha's four
  // pictures took slot 1 to 100; beta, in slot 2, has none and stays at 0.
  EXPECT_TRUE(pumpUntil([&] { return window.bar(1)->value() == 100; }));
  for (int k = 2; k <= 20; ++k) EXPECT_EQ(window.bar(k)->value(), 0) << k;
}

// The intake's cleaning shown in the box and written to url.txt: the first
// break of the list goes, the bare LF that cleaning leaves stays, and the
// dispatcher reads an empty first line and then "a" (two lines in all).
TEST_F(DownloadJobTest, CleanedListRoundTripsThroughTheBoxAndUrlTxt) {
  window.show();
  pressStartWith("\r\n\r\na\r\nb");
  EXPECT_EQ(controls.readAddressBox(), "\na\r\nb");
  EXPECT_EQ(window.addressBox()->toPlainText(), QStringLiteral("\na\nb"));
  EXPECT_EQ(testing::readFile("data/url.txt"), "\na\r\nb");
  EXPECT_EQ(recorder.captions(), (std::vector<Text>{kCurrent + "a", kReady}));
}

}  // namespace
}  // namespace varnelo::gui
