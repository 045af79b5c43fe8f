// Re-decoding a response body from the character set a page declares into
// code page 936, the part the system's text stream component played.
#pragma once

#include <optional>
#include <string_view>

#include "text/types.h"

namespace varnelo::platform {

// True when `charsetName` (any letter case) names a character set that
// decodeCharsetToGbk can read.
bool isKnownCharset(std::string_view charsetName);

// The whole of `body`, zero bytes included, read in the character set
// `charsetName` and written in code page 936; a character that 936 cannot
// hold, and every byte that does not decode, becomes "?". A UTF-8 byte-order
// mark at the start is dropped. Names of wide encodings (UTF-16, UTF-32) read
// the body as UTF-8, since a declaration that could be read byte by byte
// cannot stand in a page of that encoding. std::nullopt when the name is not
// known. Safe to call from any number of threads at once.
std::optional<Bytes> decodeCharsetToGbk(const Bytes& body, std::string_view charsetName);

}  // namespace varnelo::platform
