#include "http/header_text.h"
// STUB
namespace varnelo {
Text capitaliseFirst(const Text& text) { return text; }
Text normaliseHeaderNames(const Text& block) { return block; }
Text textLeftOf(const Text&, const Text&) { return Text(); }
Text textRightOf(const Text&, const Text&) { return Text(); }
}  // namespace varnelo
