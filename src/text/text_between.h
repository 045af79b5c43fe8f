// Cutting a value out of markup or header text.
#pragma once

#include "text/types.h"

namespace varnelo {

// The text between the first occurrence of `leftMarker` at or after `start`
// (0 or less: byte 1) and the next occurrence of `rightMarker` after it.
// "#引号" in either marker stands for one double quote. Empty when either
// marker is missing; an empty left marker is found at `start` of a non-empty
// text, an empty right marker always gives empty text.
Text textBetween(const Text& text, const Text& leftMarker, const Text& rightMarker,
                 Pos start = 0, bool ignoreCase = false);

}  // namespace varnelo
