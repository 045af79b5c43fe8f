// Job intake and dispatcher with a stand-in worker: what the start button
// leaves on disk and in the box, which slot gets which address, and two
// dispatchers at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/engine_context.h"
#include "app/job_intake.h"
#include "app/memory_controls.h"
#include "app/slot_dispatcher.h"
#include "fake_worker.h"
#include "support/temp_dir.h"

namespace varnelo {
namespace {

namespace fs = std::filesystem;
using testing::FakeWorkers;
using testing::readFile;
using testing::ScopedCurrentDir;
using testing::TempDir;
using Start = FakeWorkers::Start;

const Text kCurrent = kCurrentCaption;
const Text kReady = kReadyCaption;

// Lines "<prefix>1" CR LF "<prefix>2" ... up to `count`.
Text numberedList(const Text& prefix, int count) {
  Text list;
  for (int i = 1; i <= count; ++i) list += (i > 1 ? "\r\n" : "") + prefix + std::to_string(i);
  return list;
}

// Waits (at most 30 s) until the status line shows `caption`.
bool waitForCaption(const MemoryControls& controls, const Text& caption) {
  for (int i = 0; i < 3000; ++i) {
    if (controls.statusCaption() == caption) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// One engine's shared state in its own working directory.
struct Job {
  TempDir dir;
  ScopedCurrentDir here{dir.path()};
  MemoryControls controls{Text(), /*keepCaptionHistory=*/true};
  FakeWorkers workers;
  EngineContext context{controls, nullptr};

  // A failed expectation must not leave workers held: the context waits for
  // them.
  ~Job() { workers.releaseAll(); }

  void press(const Text& box) {
    controls.replaceAddressBox(box);
    startDownload(context);
  }
};

struct IntakeCase {
  const char* label;
  Text box;
  Text cleaned;  // shown in the box and written to url.txt
  std::int64_t lineCount;
  std::vector<Text> handedOut;
};

TEST(StartDownload, CleansTheListWritesItAndHandsOutItsLines) {
  const IntakeCase cases[] = {
      {"two lines", "a\r\nb", "a\r\nb", 2, {"a", "b"}},
      {"trailing break", "a\r\nb\r\n", "a\r\nb", 2, {"a", "b"}},
      {"leading break", "\r\na\r\nb", "a\r\nb", 2, {"a", "b"}},
      {"blank lines between", "a\r\n\r\n\r\nb", "a\r\nb", 2, {"a", "b"}},
      {"two trailing breaks", "a\r\nb\r\n\r\n", "a\r\nb\r", 2, {"a", "b"}},
      {"two leading breaks", "\r\n\r\na\r\nb", "\na\r\nb", 2, {"a"}},
      {"empty box", "", "", 1, {}},
      {"only a line break", "\r\n", "", 1, {}},
      {"bare LFs", "a\n\nb", "a\nb", 1, {"a"}},
      {"spaces and tabs stay", " a \r\n\t\r\nb", " a \r\n\t\r\nb", 3, {" a ", "\t", "b"}},
      {"line of spaces", "a\r\n   \r\nb", "a\r\n   \r\nb", 3, {"a", "   ", "b"}},
      {"Chinese address", "http://x/\xd6\xd0\r\n\r\nz", "http://x/\xd6\xd0\r\nz", 2,
       {"http://x/\xd6\xd0", "z"}},
  };
  for (const IntakeCase& c : cases) {
    Job job;
    job.workers.install(job.context, /*hold=*/false);
    job.press(c.box);
    waitForAllThreads(*job.context.tables);
    EXPECT_EQ(job.controls.readAddressBox(), c.cleaned) << c.label;
    EXPECT_EQ(readFile("data/url.txt"), c.cleaned) << c.label;
    EXPECT_EQ(job.context.lineCount.load(), c.lineCount) << c.label;
    std::vector<Text> handedOut;
    for (const Start& start : job.workers.starts()) handedOut.push_back(start.address);
    std::sort(handedOut.begin(), handedOut.end());
    std::vector<Text> expected = c.handedOut;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(handedOut, expected) << c.label;
    EXPECT_EQ(job.controls.statusCaption(), kReady) << c.label;
  }
}

TEST(StartDownload, CreatesOnlyMissingDirectoriesAndKeepsTheirContent) {
  Job job;
  job.workers.install(job.context, false);
  fs::create_directories("data/pic/old");
  std::ofstream("data/pic/old/1.jpg") << "kept";
  job.press("");
  waitForAllThreads(*job.context.tables);
  EXPECT_TRUE(fs::is_directory("data/no_pic"));
  EXPECT_EQ(readFile("data/pic/old/1.jpg"), "kept");
}

TEST(SlotDispatcher, EmptyLinesLeaveTheStatusLineAlone) {
  Job job;
  job.workers.install(job.context, false);
  job.press("\r\n\r\na\r\nb");  // cleaned to LF a CR LF b: an empty first line, then a
  waitForAllThreads(*job.context.tables);
  EXPECT_EQ(job.controls.captionHistory(), (std::vector<Text>{kCurrent + "a", kReady}));
}

TEST(SlotDispatcher, TwentyFiveLinesFillTheSlotsThenWaitForTheFirstFreed) {
  Job job;
  job.workers.install(job.context, /*hold=*/true);
  job.press(numberedList("p", 25));
  ASSERT_TRUE(job.workers.waitForStarts(20));
  std::vector<Start> expected;
  for (int i = 1; i <= 20; ++i) expected.push_back({i, "p" + std::to_string(i)});
  // Workers record themselves in the order they get to run.
  std::vector<Start> firstTwenty = job.workers.starts();
  std::sort(firstTwenty.begin(), firstTwenty.end(),
            [](const Start& a, const Start& b) { return a.slot < b.slot; });
  EXPECT_EQ(firstTwenty, expected);

  // Line 21 is shown while the dispatcher waits; no slot is free, so no
  // 21st worker can have started.
  ASSERT_TRUE(waitForCaption(job.controls, kCurrent + "p21"));
  EXPECT_EQ(job.workers.starts().size(), 20u);

  job.workers.release("p7");
  ASSERT_TRUE(job.workers.waitForStarts(21));
  EXPECT_EQ(job.workers.starts()[20], (Start{7, "p21"}));
  job.workers.release("p21");
  ASSERT_TRUE(job.workers.waitForStarts(22));
  EXPECT_EQ(job.workers.starts()[21], (Start{7, "p22"}));
  job.workers.release("p12");
  ASSERT_TRUE(job.workers.waitForStarts(23));
  EXPECT_EQ(job.workers.starts()[22], (Start{12, "p23"}));

  job.workers.releaseAll();
  waitForAllThreads(*job.context.tables);
  EXPECT_EQ(job.workers.starts().size(), 25u);
  EXPECT_EQ(job.controls.statusCaption(), kReady);
  EXPECT_FALSE(job.workers.slotShared());
}

TEST(SlotDispatcher, NextJobTakesTheLowestNumberedFreeSlots) {
  Job job;
  job.workers.install(job.context, /*hold=*/true);
  job.press(numberedList("p", 20));
  ASSERT_TRUE(job.workers.waitForStarts(20));
  ASSERT_TRUE(waitForCaption(job.controls, kReady));
  job.workers.release("p5");
  job.workers.release("p3");
  // Both slots are free before the next job begins.
  for (int i = 0; i < 3000; ++i) {
    std::unique_lock<std::mutex> lock(job.context.tables->mutex);
    if (isSlotBusy(job.context.tables->slot(3).handle) == 0 &&
        isSlotBusy(job.context.tables->slot(5).handle) == 0)
      break;
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  job.press(numberedList("q", 3));
  ASSERT_TRUE(job.workers.waitForStarts(22));
  ASSERT_TRUE(waitForCaption(job.controls, kCurrent + "q3"));
  job.workers.release("p1");
  ASSERT_TRUE(job.workers.waitForStarts(23));
  const std::vector<Start> starts = job.workers.starts();
  std::vector<Start> next(starts.begin() + 20, starts.end());
  std::sort(next.begin(), next.end(), [](const Start& a, const Start& b) { return a.address < b.address; });
  EXPECT_EQ(next, (std::vector<Start>{{3, "q1"}, {5, "q2"}, {1, "q3"}}));
  job.workers.releaseAll();
}

TEST(SlotDispatcher, AJobAfterAnEndedOneStartsAtSlotOneAgain) {
  Job job;
  job.workers.install(job.context, false);
  job.press("a\r\nb\r\nc");
  waitForAllThreads(*job.context.tables);
  job.press("d");
  waitForAllThreads(*job.context.tables);
  const std::vector<Start> starts = job.workers.starts();
  ASSERT_EQ(starts.size(), 4u);
  EXPECT_EQ(starts.back(), (Start{1, "d"}));
}

TEST(StartDownload, SecondPressWhileADispatcherRunsRereadsTheOldList) {
  Job job;
  job.workers.install(job.context, /*hold=*/true);
  const Text firstList = numberedList("p", 25);
  job.press(firstList);
  ASSERT_TRUE(waitForCaption(job.controls, kCurrent + "p21"));

  // The first dispatcher still holds url.txt: the new list is shown but not
  // written, and the second dispatcher reads two lines of the old list.
  job.press("x\r\ny\r\n");
  EXPECT_EQ(job.controls.readAddressBox(), "x\r\ny");
  EXPECT_EQ(job.context.lineCount.load(), 2);
  EXPECT_EQ(readFile("data/url.txt"), firstList);

  job.workers.releaseAll();
  waitForAllThreads(*job.context.tables);
  std::vector<Text> handedOut;
  for (const Start& start : job.workers.starts()) handedOut.push_back(start.address);
  std::sort(handedOut.begin(), handedOut.end());
  std::vector<Text> expected;
  for (int i = 1; i <= 25; ++i) expected.push_back("p" + std::to_string(i));
  expected.push_back("p1");
  expected.push_back("p2");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(handedOut, expected);
  EXPECT_FALSE(job.workers.slotShared());

  // Once both dispatchers have ended the next press replaces the file.
  job.press("x\r\ny");
  waitForAllThreads(*job.context.tables);
  EXPECT_EQ(readFile("data/url.txt"), "x\r\ny");
}

TEST(SlotDispatcher, TwoDispatchersNeverShareASlotAndEachWorkerReadsItsAddress) {
  Job job;
  job.workers.install(job.context, /*hold=*/false);
  constexpr int kEach = 300;
  auto handOutAll = [&job](const Text& prefix) {
    for (int i = 1; i <= kEach; ++i) handOutAddress(job.context, prefix + std::to_string(i));
  };
  std::thread first(handOutAll, "a");
  std::thread second(handOutAll, "b");
  first.join();
  second.join();
  waitForAllThreads(*job.context.tables);

  std::vector<Text> read;
  for (const Start& start : job.workers.starts()) read.push_back(start.address);
  std::sort(read.begin(), read.end());
  std::vector<Text> expected;
  for (int i = 1; i <= kEach; ++i) {
    expected.push_back("a" + std::to_string(i));
    expected.push_back("b" + std::to_string(i));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(read, expected);
  EXPECT_FALSE(job.workers.slotShared());
}

TEST(SlotTables, ReleaseWaitsForRunningWorkersAndClearKeepsThemTracked) {
  TempDir dir;
  ScopedCurrentDir here(dir.path());
  MemoryControls controls;
  FakeWorkers workers;
  auto context = std::make_unique<EngineContext>(controls, nullptr);
  workers.install(*context, /*hold=*/true);
  handOutAddress(*context, "a");
  ASSERT_TRUE(workers.waitForStarts(1));

  // The handle is forgotten, so slot 1 counts as free again, but the thread
  // that still runs there is waited for before the tables go.
  clearSlotHandles(*context->tables);
  EXPECT_EQ(isSlotBusy(context->tables->slot(1).handle), -1);
  EXPECT_EQ(handOutAddress(*context, "b"), 1);
  ASSERT_TRUE(workers.waitForStarts(2));

  std::thread releaser([&workers] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    workers.releaseAll();
  });
  context.reset();  // releaseSlotTables inside: must wait for both workers
  releaser.join();
  EXPECT_EQ(workers.starts().size(), 2u);
}

TEST(SlotTables, FreshTablesAreEmpty) {
  std::unique_ptr<SlotTables> tables = allocateSlotTables();
  for (int slot = 1; slot <= kSlotTableSize; ++slot) {
    EXPECT_EQ(isSlotBusy(tables->slot(slot).handle), -1);
    EXPECT_EQ(tables->slot(slot).address, "");
    EXPECT_EQ(tables->slot(slot).progress.load(), 0);
  }
  releaseSlotTables(tables);
  EXPECT_EQ(tables, nullptr);
}

}  // namespace
}  // namespace varnelo
