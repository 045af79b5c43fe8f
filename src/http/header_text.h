// Header blocks as plain text: lines "Name: value" separated by CR LF.
#pragma once

#include "text/types.h"

namespace varnelo {

// `text` with its first byte upper-cased when it is a-z.
Text capitaliseFirst(const Text& text);

// The lines of `block` that hold a ":", with the first byte of the name and
// every byte after a "-" in the name upper-cased; joined by CR LF, no CR LF at
// the end.
Text normaliseHeaderNames(const Text& block);

// The bytes before the first occurrence of `marker`; empty when absent.
Text textLeftOf(const Text& text, const Text& marker);

// The bytes after the last occurrence of `marker`; empty when absent.
Text textRightOf(const Text& text, const Text& marker);

}  // namespace varnelo
