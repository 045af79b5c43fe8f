// The picture request and its address parsing.
#pragma once

#include "text/types.h"

namespace varnelo {

// Arguments of fetchWithWinInet in their call order. `cookies` null means
// "not supplied"; pointing at an empty text means supplied empty.
struct WinInetOptions {
  Text url{};
  int method = 0;
  Text postText{};
  Text* cookies = nullptr;
  Text* receivedCookies = nullptr;
  Text headers{};
  Text* responseHeaders = nullptr;
  bool noRedirect = false;
  Bytes postBytes{};
  Text proxy{};
  bool mergeReceivedCookies = true;
  bool addDefaultHeaders = true;
  bool normaliseHeaders = true;
};

// Fetches `options.url` and returns the response body as received; empty
// when no request could be made or the body came short.
Bytes fetchWithWinInet(const WinInetOptions& options);

// The lower-cased host of `url`, with its ":port" when `keepPort`.
Text hostOfUrl(const Text& url, bool keepPort = false);

// The port of `url`: explicit, else 443 for https, else 80.
int portOfUrl(const Text& url);

// The path of `url` from the first "/" after the host, query included; "/".
Text pathOfUrl(const Text& url);

// The trimmed text after the first ":" of `text`; empty without one.
Text valueAfterColon(const Text& text);

}  // namespace varnelo
