// The page worker's naming and picture walk on any page text: every path it
// would write stays below ./data, the walk takes at most 255 mentions per
// extension, and no picture address is longer than 10000 bytes.
#include <filesystem>
#include <string>

#include "app/job_intake.h"
#include "app/page_worker.h"
#include "fuzz/fuzz_check.h"

namespace {

// True when `path` (relative, as the worker builds it) stays inside data/.
bool staysInsideData(const varnelo::Text& path) {
  const std::filesystem::path normal =
      std::filesystem::path(varnelo::fileSystemPath(path)).lexically_normal();
  auto part = normal.begin();
  if (part == normal.end() || *part != "data") return false;
  for (; part != normal.end(); ++part) {
    if (*part == "..") return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnelo::Text page(reinterpret_cast<const char*>(data), size);
  if (page.find('\0') != varnelo::Text::npos) return 0;
  const varnelo::Text name = varnelo::safeFolderName(varnelo::choosePageName(page));
  FUZZ_CHECK(name.size() <= 120);
  FUZZ_CHECK(name != "." && name != "..");
  FUZZ_CHECK(varnelo::fileSystemPath(name).find('/') == std::string::npos);
  FUZZ_CHECK(staysInsideData("./data/" + name));
  FUZZ_CHECK(staysInsideData("./data/pic/" + name + "/index.html"));
  FUZZ_CHECK(staysInsideData("./data/no_pic/" + name + "/index.html"));
  for (const char* extension : {".jpg", ".gif"}) {
    int last = 0;
    varnelo::forEachPictureMention(page, extension, [&](int n, const varnelo::Text& address) {
      FUZZ_CHECK(n == last + 1);
      last = n;
      FUZZ_CHECK(address.size() <= 10000);
      FUZZ_CHECK(address.empty() || address.compare(0, 4, "http") == 0);
      FUZZ_CHECK(staysInsideData("./data/pic/" + name + "/" + std::to_string(n) + extension));
    });
    FUZZ_CHECK(last <= 255);
  }
  return 0;
}
