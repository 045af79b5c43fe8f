#include "http/cookies.h"
// STUB
namespace varnelo {
Text mergeCookies(Text& oldCookies, Text&) { return oldCookies; }
Text cookieName(const Text& item) { return item; }
Text removeDuplicateItems(const Text& text, const Text&) { return text; }
}  // namespace varnelo
