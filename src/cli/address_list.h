// The address list as varnelo-cli takes it in: read from a file or standard
// input as UTF-8, and turned into what the address box would hold after
// pasting it (code page 936, CR LF line breaks).
#pragma once

#include <string>

#include "text/types.h"

namespace varnelo::cli {

// Reads all of `path` ("-": standard input) into `*content`. Returns false and
// sets `*error` to a one-line reason naming the source when it cannot be read.
bool readListSource(const std::string& path, std::string* content, std::string* error);

// 0 when `bytes` is valid UTF-8 (ASCII included), else the 1-based line on
// which the first invalid sequence starts.
int firstInvalidUtf8Line(const std::string& bytes);

// `text` with every LF, CR LF and lone CR turned into CR LF, a leading UTF-8
// byte-order mark and any NUL byte dropped (a text box holds neither).
std::string withCrLfBreaks(const std::string& text);

// The valid UTF-8 `list` as code page 936 text with CR LF line breaks;
// characters that 936 cannot hold become "?". Empty for an empty list.
Text addressBoxText(const std::string& list);

}  // namespace varnelo::cli
