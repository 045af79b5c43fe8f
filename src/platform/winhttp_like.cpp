#include "platform/winhttp_like.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/code_page_conversion.h"

namespace varnelo::platform {

namespace {

std::string lowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The object name as it goes on the wire: the service hands it over in
// UTF-8 and escapes what may not stand in a request line, so a name in
// code page 936 is made UTF-8 and spaces, control bytes and non-ASCII bytes
// become %XX.
std::string escapedObjectName(const std::string& objectName) {
  std::string utf8 = objectName;
  bool ascii = std::all_of(objectName.begin(), objectName.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) {
    std::u16string wide;
    std::string converted;
    if (multiByteToWide(936, objectName, wide) && wideToMultiByte(65001, wide, converted))
      utf8 = converted;
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (unsigned char c : utf8) {
    if (c <= 0x20 || c >= 0x7F) {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

}  // namespace

bool winHttpCheckPlatform() {
  initialiseHttpTransport();
  return true;
}

bool winHttpCrackUrl(const std::string& url, WinHttpUrlParts& parts) {
  size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos) return false;
  std::string scheme = lowerAscii(url.substr(0, schemeEnd));
  int schemeNumber;
  int defaultPort;
  if (scheme == "http") {
    schemeNumber = kInternetSchemeHttp;
    defaultPort = 80;
  } else if (scheme == "https") {
    schemeNumber = kInternetSchemeHttps;
    defaultPort = 443;
  } else {
    return false;
  }
  size_t authorityStart = schemeEnd + 3;
  size_t authorityEnd = url.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  std::string authority = url.substr(authorityStart, authorityEnd - authorityStart);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);

  std::string host = authority;
  std::string portText;
  size_t portColon = std::string::npos;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    host = authority.substr(0, close + 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return false;
      portColon = close + 1;
    }
  } else {
    portColon = authority.find(':');
    if (portColon != std::string::npos) host = authority.substr(0, portColon);
  }
  if (portColon != std::string::npos) portText = authority.substr(portColon + 1);
  if (host.empty()) return false;
  int port = defaultPort;
  if (!portText.empty()) {
    if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c));
        }))
      return false;
    port = std::stoi(portText);
    if (port < 1 || port > 65535) return false;
  }

  size_t pathEnd = url.find_first_of("?#", authorityEnd);
  if (pathEnd == std::string::npos) pathEnd = url.size();
  parts.scheme = schemeNumber;
  parts.hostName = host;
  parts.port = port;
  parts.urlPath = url.substr(authorityEnd, pathEnd - authorityEnd);
  parts.extraInfo = url.substr(pathEnd);
  return true;
}

std::unique_ptr<WinHttpSession> WinHttpSession::open(int accessType,
                                                     const std::string& proxyName) {
  initialiseHttpTransport();
  auto session = std::make_unique<WinHttpSession>();
  switch (accessType) {
    case kWinHttpAccessTypeDefaultProxy:
    case kWinHttpAccessTypeNoProxy:
      return session;
    case kWinHttpAccessTypeNamedProxy:
      if (proxyName.empty()) return nullptr;
      session->proxyList_ = proxyName;
      return session;
    default:
      return nullptr;
  }
}

bool WinHttpSession::setTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
  if (std::min({resolveMs, connectMs, sendMs, receiveMs}) < -1) return false;
  resolveMs_ = resolveMs;
  connectMs_ = connectMs;
  sendMs_ = sendMs;
  receiveMs_ = receiveMs;
  return true;
}

std::unique_ptr<WinHttpConnection> WinHttpConnection::connect(const WinHttpSession& session,
                                                              const std::string& hostName,
                                                              int port) {
  if (hostName.empty() || port < 0 || port > 65535) return nullptr;
  auto connection = std::make_unique<WinHttpConnection>();
  connection->session_ = &session;
  connection->hostName_ = hostName;
  connection->port_ = port;
  return connection;
}

std::unique_ptr<WinHttpRequest> WinHttpRequest::open(const WinHttpConnection& connection,
                                                     const std::string& verb,
                                                     const std::string& objectName,
                                                     std::uint32_t flags) {
  if (verb.empty() || (!objectName.empty() && objectName[0] != '/')) return nullptr;
  auto request = std::make_unique<WinHttpRequest>();
  request->connection_ = &connection;
  request->verb_ = verb;
  request->objectName_ = objectName.empty() ? "/" : objectName;
  request->secure_ = (flags & kWinHttpFlagSecure) != 0;
  return request;
}

bool WinHttpRequest::setCredentials(std::uint32_t target, std::uint32_t scheme,
                                    const std::string& userName, const std::string& password) {
  if (scheme != kWinHttpAuthSchemeBasic || userName.empty()) return false;
  if (target == kWinHttpAuthTargetServer) {
    userName_ = userName;
    password_ = password;
    return true;
  }
  if (target == kWinHttpAuthTargetProxy) {
    proxyUserName_ = userName;
    proxyPassword_ = password;
    return true;
  }
  return false;
}

bool WinHttpRequest::setOption(std::uint32_t option, std::uint32_t value) {
  switch (option) {
    case kWinHttpOptionSecurityFlags:
      securityFlags_ = value;
      return true;
    case kWinHttpOptionDisableFeature:
      // Automatic cookies are never kept by this stand-in, so switching them
      // off needs nothing more.
      if (value & kWinHttpDisableRedirects) followRedirects_ = false;
      return (value & ~(kWinHttpDisableCookies | kWinHttpDisableRedirects)) == 0;
    case kWinHttpOptionEnableFeature:
      return true;
    default:
      return false;
  }
}

bool WinHttpRequest::addRequestHeaders(const std::string& block, std::uint32_t) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < block.size()) {
    size_t end = block.find("\r\n", start);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(start, end - start);
    start = end + 2;
    if (line.empty()) continue;
    if (!isSendableHeaderLine(line)) return false;
    lines.push_back(line);
  }
  headerLines_.insert(headerLines_.end(), lines.begin(), lines.end());
  return true;
}

bool WinHttpRequest::sendRequest(const Bytes& body) {
  const WinHttpSession& session = *connection_->session_;
  TransferRequest transfer;
  std::string host = connection_->hostName_;
  transfer.url = std::string(secure_ ? "https://" : "http://") + host + ":" +
                 std::to_string(connection_->port_ ? connection_->port_ : (secure_ ? 443 : 80)) +
                 escapedObjectName(objectName_);
  transfer.verb = verb_;
  transfer.headerLines = headerLines_;
  transfer.body = body;
  transfer.alwaysSendLength = verb_ == "POST" || verb_ == "PUT";
  transfer.proxy = proxyForScheme(session.proxyList_, secure_ ? "https" : "http");
  transfer.userName = userName_;
  transfer.password = password_;
  transfer.proxyUserName = proxyUserName_;
  transfer.proxyPassword = proxyPassword_;
  auto limit = [](int ms) { return ms > 0 ? static_cast<long>(ms) : 0L; };
  long resolve = limit(session.resolveMs_);
  long connect = limit(session.connectMs_);
  transfer.connectTimeoutMs = resolve && connect ? resolve + connect : 0;
  transfer.stallTimeoutMs = std::max(limit(session.sendMs_), limit(session.receiveMs_));
  if (!limit(session.sendMs_) || !limit(session.receiveMs_)) transfer.stallTimeoutMs = 0;
  transfer.followRedirects = followRedirects_;
  transfer.verifyPeer = !(securityFlags_ & kSecurityFlagIgnoreUnknownCa);
  transfer.verifyHost = !(securityFlags_ & kSecurityFlagIgnoreCertCnInvalid);
  result_ = performTransfer(transfer);
  sent_ = true;
  return result_.outcome != TransferOutcome::SendFailed;
}

bool WinHttpRequest::receiveResponse() {
  received_ = sent_ && result_.outcome != TransferOutcome::SendFailed &&
              result_.outcome != TransferOutcome::ReceiveFailed;
  return received_;
}

bool WinHttpRequest::queryDataAvailable(std::size_t& available) {
  if (!received_) return false;
  available = result_.body.size() - readOffset_;
  // A body that broke off shows one more read, the one that fails.
  if (available == 0 && result_.outcome == TransferOutcome::ReadFailed && !readFailureReported_)
    available = 1;
  return true;
}

bool WinHttpRequest::readData(std::uint8_t* buffer, std::size_t size, std::size_t& read) {
  read = 0;
  if (!received_) return false;
  size_t left = result_.body.size() - readOffset_;
  if (left == 0) {
    if (result_.outcome == TransferOutcome::ReadFailed) {
      readFailureReported_ = true;
      return false;
    }
    return true;
  }
  read = std::min(size, left);
  std::memcpy(buffer, result_.body.data() + readOffset_, read);
  readOffset_ += read;
  return true;
}

bool WinHttpRequest::queryHeaders(std::uint32_t infoLevel, char* buffer,
                                  std::size_t& bufferLength) {
  if (!received_ || infoLevel != kWinHttpQueryRawHeadersCrlf) return false;
  return copyRawHeaderText(result_.rawHeaders, buffer, bufferLength);
}

}  // namespace varnelo::platform
