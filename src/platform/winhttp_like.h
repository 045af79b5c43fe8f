// Session, connection and request objects in the shape of the Windows
// WinHttp service, synchronous use, as the page request drives them. Texts
// are bytes in code page 936 on both sides (the Windows service takes
// UTF-16); option numbers and flag values are the service's own. Each call
// fails where the service would fail for the same reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/http_transport.h"
#include "text/types.h"

namespace varnelo::platform {

inline constexpr int kWinHttpAccessTypeDefaultProxy = 0;
inline constexpr int kWinHttpAccessTypeNoProxy = 1;
inline constexpr int kWinHttpAccessTypeNamedProxy = 3;

inline constexpr std::uint32_t kWinHttpFlagSecure = 0x00800000;

inline constexpr std::uint32_t kWinHttpAuthTargetServer = 0;
inline constexpr std::uint32_t kWinHttpAuthTargetProxy = 1;
inline constexpr std::uint32_t kWinHttpAuthSchemeBasic = 1;

inline constexpr std::uint32_t kWinHttpOptionSecurityFlags = 31;
inline constexpr std::uint32_t kWinHttpOptionDisableFeature = 63;
inline constexpr std::uint32_t kWinHttpOptionEnableFeature = 79;
inline constexpr std::uint32_t kWinHttpDisableCookies = 1;
inline constexpr std::uint32_t kWinHttpDisableRedirects = 2;
inline constexpr std::uint32_t kSecurityFlagIgnoreUnknownCa = 0x00000100;
inline constexpr std::uint32_t kSecurityFlagIgnoreCertCnInvalid = 0x00001000;

inline constexpr std::uint32_t kWinHttpAddRequestFlagAdd = 0x20000000;
inline constexpr std::uint32_t kWinHttpQueryRawHeadersCrlf = 22;

inline constexpr int kInternetSchemeHttp = 1;
inline constexpr int kInternetSchemeHttps = 2;

// The parts of an address, as the service's address cracking gives them.
struct WinHttpUrlParts {
  int scheme = 0;          // kInternetSchemeHttp or kInternetSchemeHttps
  std::string hostName;
  int port = 0;            // the scheme's default when the address has none
  std::string urlPath;     // from the "/" after the host up to "?" or "#"; may be empty
  std::string extraInfo;   // "?" or "#" and everything after it; may be empty
};

// True when the service can be used on this system (libcurl speaks http
// and https).
bool winHttpCheckPlatform();

// Splits an absolute http or https address into `parts`. False (and
// `parts` unchanged) for an empty address, one without a scheme, any scheme
// but http and https, an empty host or a port that is not a number 1-65535.
bool winHttpCrackUrl(const std::string& url, WinHttpUrlParts& parts);

class WinHttpSession {
 public:
  // Null when the access type is unknown, or a named proxy is asked for
  // without a proxy name. The default access type uses no proxy: the
  // system has no proxy settings of its own to consult.
  static std::unique_ptr<WinHttpSession> open(int accessType, const std::string& proxyName);

  // Milliseconds; 0 or -1 mean no limit. False for a value below -1.
  bool setTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);

 private:
  friend class WinHttpRequest;
  std::string proxyList_;
  int resolveMs_ = 0, connectMs_ = 60000, sendMs_ = 30000, receiveMs_ = 30000;
};

class WinHttpConnection {
 public:
  // Null for an empty host name or a port outside 0-65535.
  static std::unique_ptr<WinHttpConnection> connect(const WinHttpSession& session,
                                                    const std::string& hostName, int port);

 private:
  friend class WinHttpRequest;
  const WinHttpSession* session_ = nullptr;
  std::string hostName_;
  int port_ = 0;
};

class WinHttpRequest {
 public:
  // Null for an empty verb or an object name that does not begin with "/"
  // (an empty one means "/").
  static std::unique_ptr<WinHttpRequest> open(const WinHttpConnection& connection,
                                              const std::string& verb,
                                              const std::string& objectName,
                                              std::uint32_t flags);

  // Basic credentials for the server or the proxy; false for any other
  // target or scheme, or an empty user name.
  bool setCredentials(std::uint32_t target, std::uint32_t scheme, const std::string& userName,
                      const std::string& password);

  // Security flags (certificate errors to ignore), the cookie and redirect
  // features to switch off, and features to switch on (accepted, nothing
  // of them applies here). False for any other option.
  bool setOption(std::uint32_t option, std::uint32_t value);

  // Adds the header lines of `block` (separated by CR LF; empty lines are
  // skipped). False, adding none, when a line is not a header line.
  bool addRequestHeaders(const std::string& block, std::uint32_t modifiers);

  // Sends the request with `body` and waits for the exchange. False when
  // the request could not be sent (address not found, connection refused,
  // time-out while connecting).
  bool sendRequest(const Bytes& body);

  // False when no response came back after a successful send (time-out,
  // connection closed, too many redirects, a redirect to another scheme).
  bool receiveResponse();

  // Bytes ready to read; 0 at the end of the body.
  bool queryDataAvailable(std::size_t& available);

  // Copies up to `size` body bytes into `buffer`. False when the body broke
  // off (or exceeded the size limit) and nothing more can be read.
  bool readData(std::uint8_t* buffer, std::size_t size, std::size_t& read);

  // The raw response headers (info level 22): status line and header
  // lines each ending in CR LF, then an empty line, then a NUL. With too
  // small a buffer (or none) false, and `bufferLength` says how many bytes
  // are needed; on success it says how many were written without the NUL.
  bool queryHeaders(std::uint32_t infoLevel, char* buffer, std::size_t& bufferLength);

 private:
  const WinHttpConnection* connection_ = nullptr;
  std::string verb_;
  std::string objectName_;
  bool secure_ = false;
  std::vector<std::string> headerLines_;
  std::string userName_, password_, proxyUserName_, proxyPassword_;
  std::uint32_t securityFlags_ = 0;
  bool followRedirects_ = true;
  bool sent_ = false;
  bool received_ = false;
  TransferResult result_;
  std::size_t readOffset_ = 0;
  bool readFailureReported_ = false;
};

}  // namespace varnelo::platform
