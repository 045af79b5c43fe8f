#include "app/job_intake.h"

#include <mutex>

#include "app/slot_dispatcher.h"
#include "platform/files.h"
#include "text/code_page.h"
#include "text/regex_object.h"
#include "text/text_ops.h"

namespace varnelo {

namespace {

const Text kLineBreak = "\r\n";

// Writes `text` to the list file with exclusive access; false while a
// dispatcher holds the file open or when the write fails.
bool writeListFile(const Text& text) {
  return platform::writeFileExclusive(fileSystemPath(kListFilePath), text.data(), text.size());
}

// Starts a dispatcher thread that nothing waits for. False when it could not
// be started.
bool startDispatcher(EngineContext& context) {
  SlotTables& tables = *context.tables;
  std::unique_lock<std::mutex> lock(tables.mutex);
  reapRetiredThreads(tables, lock);
  ThreadHandle handle =
      startCountedThread(tables, lock, [&context] { slotDispatcher(context); });
  if (!handle) return false;
  tables.retired.push_back(std::move(handle));
  return true;
}

}  // namespace

std::string fileSystemPath(const Text& path) { return gbkToUtf8(path); }

bool isDirectory(const Text& path) { return platform::isDirectoryPath(fileSystemPath(path)); }

bool ensureDirectory(const Text& path) { return platform::createDirectories(fileSystemPath(path)); }

int countOccurrences(const Text& text, const Text& subtext, bool caseSensitive) {
  if (text.empty() || subtext.empty()) return 0;
  int count = 0;
  for (Pos at = textFind(text, subtext, 1, !caseSensitive); at > 0;
       at = textFind(text, subtext, at + static_cast<Pos>(subtext.size()), !caseSensitive)) {
    ++count;
  }
  return count;
}

Text normaliseAddressList(const Text& list) {
  Text text = list;
  if (text.starts_with(kLineBreak)) text.erase(0, 2);
  if (text.ends_with(kLineBreak)) text.erase(text.size() - 2);
  RegexObject regex;
  regex.execute("(?:^\\r|\\n$)", text);
  return regex.replace("");
}

void startDownload(EngineContext& context) {
  for (const char* directory : {"./data", "./data/no_pic", "./data/pic"}) {
    if (!isDirectory(directory)) ensureDirectory(directory);
  }
  ControlOps& controls = context.controls;
  controls.replaceAddressBox(normaliseAddressList(controls.readAddressBox()));
  context.lineCount.store(countOccurrences(controls.readAddressBox(), kLineBreak, false) + 1);
  writeListFile(controls.readAddressBox());
  startDispatcher(context);
}

}  // namespace varnelo
