#include "text/code_page.h"
// STUB: replaced by the text subsystem's implementation.
namespace varnelo {
Bytes toUtf16Bytes(const Text&) { return Bytes(); }
Text fromUtf16Bytes(const Bytes&) { return Text(); }
Bytes decodeToUtf16(const Text&, int) { return Bytes(); }
Text encodeFromUtf16(const Bytes&, int) { return Text(); }
Text gbkToUtf8(const Text& text) { return text; }
}  // namespace varnelo
