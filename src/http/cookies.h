// Cookie strings: items separated by "; ".
#pragma once

#include "text/types.h"

namespace varnelo {

// Folds `newCookies` into `oldCookies`: new items first, then the old items
// whose names the new ones do not mention; "=deleted" items are dropped and
// repeated items removed. The merged string is stored into `oldCookies` and
// returned; `newCookies` is left trimmed (with a space after a final ";").
Text mergeCookies(Text& oldCookies, Text& newCookies);

// The trimmed text before the first "=" of `item` (the whole item without one).
Text cookieName(const Text& item);

// `text` split at `separator` with only the first of equal items kept.
Text removeDuplicateItems(const Text& text, const Text& separator);

}  // namespace varnelo
