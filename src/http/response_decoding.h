// Turning a response body into Text in code page 936.
#pragma once

#include "text/regex_object.h"
#include "text/types.h"

namespace varnelo {

// The body up to its first zero byte, unless its first 1024 bytes declare a
// character set other than "gbk" / "gb2312" in a meta tag; then the whole
// body re-decoded from that character set. `regex` is the caller's object.
Text decodeResponseText(const Bytes& body, RegexObject& regex);

}  // namespace varnelo
