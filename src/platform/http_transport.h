// One HTTP/1.1 exchange over libcurl, as the WinHttp-like and WinINet-like
// objects need it: exactly the header lines given, the body sent whatever the
// verb, Basic credentials, a proxy, time-outs, redirects among http and https
// only, and the raw header text of the final response.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "text/types.h"

namespace varnelo::platform {

// Bodies larger than this are not held: the exchange ends as a failed read.
inline constexpr std::size_t kMaxResponseBodyBytes = std::size_t{256} * 1024 * 1024;

// Bounds that hold for every exchange, whatever time-outs its caller set,
// so that no server can hold a worker for ever, not even one that keeps
// sending a byte now and then. Each value 0 means "no such bound".
struct TransferLimits {
  // Upper bounds on the caller's connect and stall time-outs (tests shorten
  // them; by default the caller's values stand).
  long maxConnectTimeoutMs = 0;
  long maxStallTimeoutMs = 0;
  // Once the response has begun, fewer than lowSpeedBytes arriving within
  // one window of lowSpeedWindowMs ends the exchange. The window is never
  // shorter than the exchange's own stall time-out, so a silence the
  // caller allows is never cut short by this rule.
  long lowSpeedWindowMs = 0;
  long lowSpeedBytes = 0;
  // The whole exchange, redirects included; never less than the
  // exchange's connect and stall time-outs together.
  long totalTimeoutMs = 0;
};

// The bounds in force unless a test changed them: 1 KiB per minute once the
// response has begun (a trickle of a byte a second ends after a minute or
// two, while any real slow link clears it by far), and 20 minutes for a
// whole exchange (a 256 MiB body still fits at about 220 KB/s).
inline constexpr TransferLimits kDefaultTransferLimits{
    .maxConnectTimeoutMs = 0,
    .maxStallTimeoutMs = 0,
    .lowSpeedWindowMs = 60 * 1000,
    .lowSpeedBytes = 1024,
    .totalTimeoutMs = 20 * 60 * 1000,
};

// Replaces the process-wide bounds for every exchange that starts
// afterwards; for tests, which shorten them to keep hostile servers quick.
// The program itself never calls it.
void setTransferLimitsForTesting(const TransferLimits& limits);

// The bounds in force now.
TransferLimits transferLimits();

// Where an exchange stopped, in the terms of the calling objects: the
// request could not be sent, no response (headers) came back, or the body
// broke off after the final response's headers.
enum class TransferOutcome { Complete, SendFailed, ReceiveFailed, ReadFailed };

struct TransferRequest {
  std::string url;                       // absolute http:// or https:// address
  std::string verb = "GET";              // sent as it stands
  std::string httpVersion = "HTTP/1.1";  // "HTTP/1.0" or "HTTP/1.1"
  // Header lines "Name: value" (no CR LF), sent in this order after Host and
  // before nothing else of the transport's own but Content-Length.
  std::vector<std::string> headerLines;
  Bytes body;                 // sent whatever the verb
  bool alwaysSendLength = false;  // send "Content-Length: 0" for an empty body too
  std::string proxy;          // "host:port" of an HTTP proxy; empty: direct
  std::string userName, password;            // Basic at the server when both are set
  std::string proxyUserName, proxyPassword;  // Basic at the proxy when both are set
  long connectTimeoutMs = 0;  // name lookup, connection and TLS handshake; 0: none
  long stallTimeoutMs = 0;    // longest time without a byte moving; 0: none
  bool followRedirects = true;  // at most 10, http and https only
  bool verifyPeer = false;      // check the certificate chain
  bool verifyHost = false;      // check the certificate's name
  bool useCookieStore = false;  // send and keep cookies in the process-wide store
};

struct TransferResult {
  TransferOutcome outcome = TransferOutcome::SendFailed;
  // Status line and header lines of the final response, each ending in
  // CR LF, then one empty line; empty when no final response arrived.
  std::string rawHeaders;
  Bytes body;  // what arrived of the final response's body (nothing over the limit)
};

// Performs one exchange; never throws.
TransferResult performTransfer(const TransferRequest& request);

// The entry of a proxy list in the platform's notation ("host:port",
// "http=host:port", "https=host:port", entries separated by ";" or
// spaces, an optional "http://" before the host) that applies to `scheme`
// ("http" or "https"): the first entry for that scheme, else the first
// entry without a scheme; empty when none applies.
std::string proxyForScheme(const std::string& proxyList, const std::string& scheme);

// True when `line` can be sent as one header line: a name of visible ASCII
// bytes, a ":", and no CR or LF anywhere.
bool isSendableHeaderLine(const std::string& line);

// Runs the transport's one-time set-up; later calls do nothing. Performing
// an exchange calls it too, so calling it early only moves the cost.
void initialiseHttpTransport();

// Copies `headers` with its terminating NUL into `buffer` when
// `bufferLength` is enough, and sets `bufferLength` to the text's length;
// otherwise sets `bufferLength` to the size needed and returns false.
bool copyRawHeaderText(const std::string& headers, char* buffer, std::size_t& bufferLength);

}  // namespace varnelo::platform
