#include "http/response_decoding.h"
// STUB
namespace varnelo {
Text decodeResponseText(const Bytes& body, RegexObject&) { return textOf(body); }
}  // namespace varnelo
