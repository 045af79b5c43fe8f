// Root, connection and request objects in the shape of the Windows WinINet
// interface (its ANSI calls), as the picture request drives them. Texts are
// bytes in code page 936; option numbers and flag values are the
// interface's own.
//
// The interface sets no time-outs of its own here, so a dead or stalled
// server would hold a worker for ever; these stand-ins give up after
// kWinInetConnectTimeoutMs without a connection (name lookup, TCP and TLS
// handshake together) and after kWinInetStallTimeoutMs without a single
// byte moving in either direction; the transport's own bounds
// (TransferLimits: a low-speed floor and a total time) end a trickle.
//
// Without INTERNET_FLAG_NO_COOKIES a request takes part in a process-wide
// cookie store of our own, guarded by a lock: it sends the stored cookies
// that match its address and keeps the cookies its responses set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/http_transport.h"
#include "text/types.h"

namespace varnelo::platform {

inline constexpr long kWinInetConnectTimeoutMs = 60000;
inline constexpr long kWinInetStallTimeoutMs = 30000;

inline constexpr int kInternetOpenTypePreconfig = 0;
inline constexpr int kInternetOpenTypeDirect = 1;
inline constexpr int kInternetOpenTypeProxy = 3;
inline constexpr int kInternetServiceHttp = 3;

inline constexpr std::uint32_t kInternetFlagReload = 0x80000000;
inline constexpr std::uint32_t kInternetFlagNeedFile = 0x00000010;
inline constexpr std::uint32_t kInternetFlagNoCookies = 0x00080000;
inline constexpr std::uint32_t kInternetFlagNoAutoRedirect = 0x00200000;
inline constexpr std::uint32_t kInternetFlagSecure = 0x00800000;
inline constexpr std::uint32_t kInternetFlagIgnoreRedirectToHttps = 0x00004000;

inline constexpr std::uint32_t kInternetOptionSecurityFlags = 31;
inline constexpr std::uint32_t kWinInetSecurityIgnoreUnknownCa = 0x00000100;
inline constexpr std::uint32_t kWinInetSecurityIgnoreCertCnInvalid = 0x00001000;

inline constexpr std::uint32_t kHttpQueryRawHeadersCrlf = 22;

class WinInetRoot {
 public:
  // Null for an unknown access type, or a proxy access type without a
  // proxy list. `proxy` is a proxy list in the interface's notation
  // ("host:port" for every scheme, "http=host:port" for http only).
  static std::unique_ptr<WinInetRoot> open(const std::string& agent, int accessType,
                                           const std::string& proxy,
                                           const std::string& proxyBypass, std::uint32_t flags);

 private:
  friend class WinInetRequest;
  std::string agent_;
  std::string proxyList_;
};

class WinInetConnection {
 public:
  // Null for an empty host, a port outside 0-65535 or a service other than
  // HTTP. Port 0 means the default port of the request's scheme.
  static std::unique_ptr<WinInetConnection> connect(const WinInetRoot& root,
                                                    const std::string& host, int port,
                                                    int service);

 private:
  friend class WinInetRequest;
  const WinInetRoot* root_ = nullptr;
  std::string host_;
  int port_ = 0;
};

class WinInetRequest {
 public:
  // Null for an empty verb, or a version other than "HTTP/1.0" and
  // "HTTP/1.1" (empty means "HTTP/1.1"). An empty path means "/".
  static std::unique_ptr<WinInetRequest> open(const WinInetConnection& connection,
                                              const std::string& verb, const std::string& path,
                                              const std::string& version, std::uint32_t flags);

  // Security flags (certificate errors to ignore); false for other options.
  bool setOption(std::uint32_t option, std::uint32_t value);

  // Sends the request with the header lines of `headers` (separated by
  // CR LF) and `body`, and waits for the response headers. False when no
  // response came back: a host that is not found or not reachable, a host
  // name that cannot be one, a header line that is not one, a time-out.
  bool sendRequest(const std::string& headers, const Bytes& body);

  // Copies up to `size` bytes of the body into `buffer`; `read` 0 at the
  // end. False (with `read` 0) when nothing was received or the body broke
  // off before its end.
  bool readFile(std::uint8_t* buffer, std::size_t size, std::size_t& read);

  // Hands over, by move, the rest of the body that readFile would still
  // give, and leaves nothing more to read. False (and `body` empty) when
  // nothing was received or the body broke off before its end, the two
  // cases where a readFile loop would have met a failed read.
  bool readRest(Bytes& body);

  // The raw response headers (info level 22): status line and header lines
  // each ending in CR LF, then an empty line, then a NUL, into a buffer of
  // `bufferLength` bytes. False when there is no response or the text with
  // its NUL does not fit (`bufferLength` then says what is needed); on
  // success `bufferLength` is the length without the NUL.
  bool queryInfo(std::uint32_t infoLevel, char* buffer, std::size_t& bufferLength);

 private:
  // True once a request was sent and a response came back (whole, or with a
  // body that broke off).
  bool answered() const;

  const WinInetConnection* connection_ = nullptr;
  std::string verb_;
  std::string path_;
  std::string version_;
  std::uint32_t flags_ = 0;
  std::uint32_t securityFlags_ = 0;
  bool sent_ = false;
  TransferResult result_;
  std::size_t readOffset_ = 0;
};

}  // namespace varnelo::platform
