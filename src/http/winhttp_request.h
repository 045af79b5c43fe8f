// The page request.
#pragma once

#include "text/types.h"

namespace varnelo {

// Arguments of fetchWithWinHttp in their call order. Outputs are pointers;
// null means omitted (written to a scratch value). `cookies` is read as the
// cookie text to send (null: empty) and receives the merged cookies.
struct WinHttpOptions {
  Text url;
  int method = 0;
  Text postText;
  Text* cookies = nullptr;
  Text* receivedCookies = nullptr;
  Text headers;
  Text* responseHeaders = nullptr;
  bool noRedirect = false;
  Text userName;
  Text password;
  Text proxy;
  Text proxyUser;
  Text proxyPassword;
  int timeoutSeconds = 0;
  Text* location = nullptr;
  Text* statusText = nullptr;
  Bytes* body = nullptr;
  bool mergeReceivedCookies = true;
  bool addDefaultHeaders = true;
  Bytes postBytes;
  bool normaliseHeaders = true;
};

// Fetches `options.url` and returns the body decoded into code page 936;
// empty text when the request failed (statusText then says why).
Text fetchWithWinHttp(const WinHttpOptions& options);

// The value of the first line of the request header `block` that begins with
// `name`: the text after the last "name: " in that line; empty when none.
Text headerValue(const Text& block, const Text& name);

}  // namespace varnelo
