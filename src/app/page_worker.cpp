#include "app/page_worker.h"

#include <mutex>
#include <string>

#include "app/job_intake.h"
#include "http/winhttp_request.h"
#include "http/wininet_request.h"
#include "platform/files.h"
#include "text/code_page.h"
#include "text/text_between.h"
#include "text/text_ops.h"

namespace varnelo {

namespace {

const Text kWorkerUserAgent =
    "Mozilla/5.0 (Linux; Android 8.0.0; LLD-AL00 Build/HONORLLD-AL00; wv) AppleWebKit/537.36 "
    "(KHTML, like Gecko) Version/4.0 Chrome/76.0.3809.89 Mobile Safari/537.36 T7/11.20 "
    "SP-engine/2.16.0 baiduboxapp/11.20.0.14 (Baidu; P1 8.0.0)";
// "<!-- 名称 -->" and "<!-- end 名称 -->" in code page 936.
const Text kNameMarkerLeft = "<!-- \xc3\xfb\xb3\xc6 -->";
const Text kNameMarkerRight = "<!-- end \xc3\xfb\xb3\xc6 -->";

constexpr int kMaxPasses = 255;
constexpr std::size_t kMaxPictureAddress = 10000;
constexpr std::size_t kMaxFolderName = 120;

using PageOutcome = JobObserver::PageOutcome;
using PictureOutcome = JobObserver::PictureOutcome;

bool isUnsafeSingleByte(unsigned char byte) {
  if (byte < 0x20) return true;
  switch (byte) {
    case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
      return true;
    default:
      return false;
  }
}

// Writes `bytes` whole to the code-page-936 `path`; false when that fails.
bool writeWhole(const Text& path, const void* bytes, std::size_t size) {
  return platform::writeFileWhole(fileSystemPath(path), bytes, size);
}

// The page at `address`, every other request argument left at its default;
// empty when it could not be fetched.
Text fetchPage(const Text& address) {
  WinHttpOptions options;
  options.url = address;
  return fetchWithWinHttp(options);
}

// The response body for `address`, every other request argument left at its
// default (no cookies supplied); empty when no request could be made.
Bytes fetchPicture(const Text& address) {
  WinInetOptions options;
  options.url = address;
  return fetchWithWinInet(options);
}

void reportPage(EngineContext& context, int slot, const Text& address, PageOutcome outcome) {
  if (context.observer) context.observer->pageDone(slot, address, outcome);
}

// Walks `page` for lower-case mentions of `extension` (at most 255), fetching
// each picture into "./data/pic/<name>/<n><extension>" and setting the
// slot's progress before each fetch.
void downloadPictures(EngineContext& context, int slot, const Text& page, const Text& name,
                      const Text& extension, int total) {
  std::atomic<int>& progress = context.tables->slot(slot).progress;
  forEachPictureMention(page, extension, [&](int n, const Text& address) {
    progress.store(progressPercent(n, total));
    const Text fileName = "./data/pic/" + name + "/" + std::to_string(n) + extension;
    const Bytes body = fetchPicture(address);
    const bool written = writeWhole(fileName, body.data(), body.size());
    if (fileSizeKb(fileName) == 0) platform::deleteFile(fileSystemPath(fileName));
    if (context.observer) {
      PictureOutcome outcome = body.empty() ? PictureOutcome::empty
                               : written    ? PictureOutcome::saved
                                            : PictureOutcome::failed;
      context.observer->pictureDone(slot, address, outcome, body.size());
    }
  });
}

}  // namespace

std::int64_t fileSizeKb(const Text& path) {
  const std::int64_t size = platform::fileSize(fileSystemPath(path));
  return size < 0 ? -1 : (size + 1023) / 1024;
}

bool setProcessUserAgent(const Text& /*userAgent*/) { return false; }

Text choosePageName(const Text& page) {
  Text marked = textBetween(page, kNameMarkerLeft, kNameMarkerRight);
  return marked.empty() ? textBetween(page, "<title>", "</title>") : marked;
}

Text safeFolderName(const Text& name) {
  Text safe;
  safe.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x80 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x40) {
      safe.push_back(name[i]);
      safe.push_back(name[++i]);
    } else {
      // A byte of 0x80 or above without a second byte is no whole character;
      // left in place it would swallow the path separator after it.
      safe.push_back(byte >= 0x80 || isUnsafeSingleByte(byte) ? '_' : name[i]);
    }
  }
  if (safe == "." || safe == "..") return "_";
  if (safe.size() > kMaxFolderName) {
    // Every byte of 0x80 or above now opens a two-byte character.
    std::size_t cut = 0;
    while (cut < kMaxFolderName) {
      const std::size_t length = static_cast<unsigned char>(safe[cut]) >= 0x80 ? 2 : 1;
      if (cut + length > kMaxFolderName) break;
      cut += length;
    }
    safe.resize(cut);
  }
  return safe;
}

Text pictureAddressIn(const Text& prefix) {
  const Pos at = textFindLast(prefix, "http");
  if (at < 0) return Text();
  return textMiddle(prefix, at, static_cast<Pos>(kMaxPictureAddress));
}

void forEachPictureMention(const Text& page, const Text& extension,
                           const std::function<void(int n, const Text& address)>& visit) {
  Pos from = 1;  // the remaining text starts here
  for (int n = 1; n <= kMaxPasses; ++n) {
    const Pos at = textFind(page, extension, from);
    if (at < 0) return;
    const Pos end = at + static_cast<Pos>(extension.size()) - 1;  // last byte of the mention
    const Text prefix = textMiddle(page, from, end - from + 1);
    from = end + 1;
    visit(n, pictureAddressIn(prefix));
  }
}

int progressPercent(int n, int total) {
  if (total <= 0) return 0;
  return static_cast<int>(static_cast<double>(n) / static_cast<double>(total) * 100.0);
}

void pageWorker(EngineContext& context, int slot) {
  SlotTables& tables = *context.tables;
  Text address;
  {
    std::lock_guard<std::mutex> guard(tables.mutex);
    address = tables.slot(slot).address;
  }
  tables.slot(slot).progress.store(0);
  setProcessUserAgent(kWorkerUserAgent);

  const Text page = fetchPage(address);
  if (page.empty()) {
    reportPage(context, slot, address, PageOutcome::failed);
    return;
  }
  const Text name = safeFolderName(choosePageName(page));
  if (isDirectory("./data/" + name) && context.controls.readOverwriteCheckBox() == 1) {
    reportPage(context, slot, address, PageOutcome::skipped);
    return;
  }
  const int total = countOccurrences(page, ".jpg", false) + countOccurrences(page, ".gif", false);
  const Text folder = (total == 0 ? "./data/no_pic/" : "./data/pic/") + name;
  ensureDirectory(folder);
  const Text pageUtf8 = gbkToUtf8(page);
  const bool saved = writeWhole(folder + "/index.html", pageUtf8.data(), pageUtf8.size());

  downloadPictures(context, slot, page, name, ".jpg", total);
  downloadPictures(context, slot, page, name, ".gif", total);

  reportPage(context, slot, address,
             !saved        ? PageOutcome::failed
             : total == 0 ? PageOutcome::savedWithoutPictures
                          : PageOutcome::savedWithPictures);
}

}  // namespace varnelo
