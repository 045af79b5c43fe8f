// What both requests read out of a raw response header block (status line
// and header lines separated by CR LF): the cookies set, the redirect
// target and the status text. Pure functions of the text, so that any
// header block a server may send can be tried on them alone.
#pragma once

#include "text/types.h"

namespace varnelo {

// The name=value item of every "Set-Cookie: " line (name spelled exactly
// so, followed by ": "), trimmed, each followed by "; "; empty when there
// is none. An item is the text between "Set-Cookie:" and the first ";" of
// a line that has one, else the line without any "Set-Cookie:" (any case).
Text setCookieItems(const Text& responseHeaders);

// The items of setCookieItems joined by "; ", without the last "; ";
// empty when there is none.
Text collectResponseCookies(const Text& responseHeaders);

// The text after "Location: " (any case, at the very start of a line) of
// the last such line; `previous` when there is none.
Text locationFromHeaders(const Text& responseHeaders, const Text& previous);

// The bytes from position 10 of the block up to the first CR LF from there
// on, that is the code and reason phrase of an "HTTP/1.1 " status line;
// empty when there is no CR LF from position 10 on.
Text statusTextFromHeaders(const Text& responseHeaders);

}  // namespace varnelo
