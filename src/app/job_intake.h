// The start button: preparing the output tree, cleaning the address list,
// writing ./data/url.txt and starting a dispatcher; and the small file and
// text helpers the page worker shares.
#pragma once

#include <string>

#include "app/engine_context.h"
#include "text/types.h"

namespace varnelo {

// The list file, relative to the working directory.
inline constexpr const char* kListFilePath = "./data/url.txt";

// Creates the missing ones of ./data, ./data/no_pic and ./data/pic, cleans the
// address box, sets lineCount, writes the list file (left as it was while a
// dispatcher holds it open) and starts a dispatcher thread; returns at once.
void startDownload(EngineContext& context);

// `list` without one leading and one trailing CR LF, and without every CR
// that opens the text or follows a line break and every LF that ends the text
// or precedes one (judged on the text as it stood before that removal).
Text normaliseAddressList(const Text& list);

// Non-overlapping occurrences of `subtext` in `text`, never starting inside a
// two-byte character; ASCII letters match either case unless
// `caseSensitive`. 0 when either is empty.
int countOccurrences(const Text& text, const Text& subtext, bool caseSensitive);

// True when `path` names an existing directory; false for the empty path.
bool isDirectory(const Text& path);

// Makes the directory `path` exist with whatever parts of it are missing;
// true when it is a directory afterwards, false for the empty path.
bool ensureDirectory(const Text& path);

// `path` (code page 936) as the file system takes it (UTF-8).
std::string fileSystemPath(const Text& path);

}  // namespace varnelo
