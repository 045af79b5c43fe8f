// The page worker: fetches one page, names and saves it, and downloads the
// pictures it mentions into numbered files.
#pragma once

#include <cstdint>
#include <functional>

#include "app/engine_context.h"
#include "text/types.h"

namespace varnelo {

// Does the whole job for the address stored in `slot` (1 to 20), keeping the
// slot's progress value up to date.
void pageWorker(EngineContext& context, int slot);

// -1 when no file `path` exists, else its size in KiB rounded up (0 for an
// empty file, 1 for 1 to 1024 bytes).
std::int64_t fileSizeKb(const Text& path);

// Would set the process-wide user agent of a URL-moniker layer; there is none
// here, so it does nothing and returns false.
bool setProcessUserAgent(const Text& userAgent);

// The page's name: the text between "<!-- 名称 -->" and "<!-- end 名称 -->"
// when that is not empty, else the text between "<title>" and "</title>"
// (letter case as written); empty when neither is there.
Text choosePageName(const Text& page);

// `name` made safe as one folder name: each single-byte character below 0x20
// or among / \ : * ? " < > | becomes "_" (so does a byte of 0x80 or above
// that has no second byte of 0x40 or above to form a character with); "." and
// ".." become "_"; then cut to 120 bytes, or 119 when the cut would split a
// two-byte character. The empty name stays empty.
Text safeFolderName(const Text& name);

// The address that ends a picture mention: `prefix` from its last "http" on,
// at most 10000 bytes; empty when `prefix` holds no "http".
Text pictureAddressIn(const Text& prefix);

// Calls `visit` for each of the first 255 mentions of `extension` in `page`
// (letter case as written), in order, with its number from 1 and the picture
// address that ends there (see pictureAddressIn). The prefix cut off before
// each mention ends with it, so the next search starts right after it.
void forEachPictureMention(const Text& page, const Text& extension,
                           const std::function<void(int n, const Text& address)>& visit);

// The progress percent after picture `n` of `total`: (n / total) * 100 in
// double precision, truncated; 0 when `total` is not positive.
int progressPercent(int n, int total);

}  // namespace varnelo
