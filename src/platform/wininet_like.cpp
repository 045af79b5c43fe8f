#include "platform/wininet_like.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace varnelo::platform {

namespace {

// True for a host the interface could look up: a name of letters, digits,
// dots, dashes and underscores, or an address in brackets.
bool isHostName(const std::string& host) {
  if (host.empty()) return false;
  if (host.front() == '[')
    return host.back() == ']' &&
           std::all_of(host.begin() + 1, host.end() - 1, [](unsigned char c) {
             return std::isxdigit(c) || c == ':' || c == '.';
           });
  return std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '.' || c == '-' || c == '_';
  });
}

// The path as it goes on the wire: spaces and control bytes become %XX;
// bytes of code page 936 go as they are, as the ANSI interface sends them.
std::string escapedPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (unsigned char c : path) {
    if (c <= 0x20 || c == 0x7F) {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

bool hasHeaderNamed(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& line : lines) {
    size_t colon = line.find(':');
    if (colon != name.size()) continue;
    if (std::equal(name.begin(), name.end(), line.begin(), [](unsigned char a, unsigned char b) {
          return std::tolower(a) == std::tolower(b);
        }))
      return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<WinInetRoot> WinInetRoot::open(const std::string& agent, int accessType,
                                               const std::string& proxy, const std::string&,
                                               std::uint32_t) {
  initialiseHttpTransport();
  auto root = std::make_unique<WinInetRoot>();
  root->agent_ = agent;
  switch (accessType) {
    case kInternetOpenTypePreconfig:
    case kInternetOpenTypeDirect:
      return root;
    case kInternetOpenTypeProxy:
      if (proxy.empty()) return nullptr;
      root->proxyList_ = proxy;
      return root;
    default:
      return nullptr;
  }
}

std::unique_ptr<WinInetConnection> WinInetConnection::connect(const WinInetRoot& root,
                                                              const std::string& host, int port,
                                                              int service) {
  if (host.empty() || port < 0 || port > 65535 || service != kInternetServiceHttp) return nullptr;
  auto connection = std::make_unique<WinInetConnection>();
  connection->root_ = &root;
  connection->host_ = host;
  connection->port_ = port;
  return connection;
}

std::unique_ptr<WinInetRequest> WinInetRequest::open(const WinInetConnection& connection,
                                                     const std::string& verb,
                                                     const std::string& path,
                                                     const std::string& version,
                                                     std::uint32_t flags) {
  if (verb.empty()) return nullptr;
  std::string httpVersion = version.empty() ? "HTTP/1.1" : version;
  if (httpVersion != "HTTP/1.1" && httpVersion != "HTTP/1.0") return nullptr;
  auto request = std::make_unique<WinInetRequest>();
  request->connection_ = &connection;
  request->verb_ = verb;
  request->path_ = path.empty() ? "/" : path;
  request->version_ = httpVersion;
  request->flags_ = flags;
  return request;
}

bool WinInetRequest::setOption(std::uint32_t option, std::uint32_t value) {
  if (option != kInternetOptionSecurityFlags) return false;
  securityFlags_ = value;
  return true;
}

bool WinInetRequest::sendRequest(const std::string& headers, const Bytes& body) {
  sent_ = true;
  result_ = TransferResult();
  const WinInetConnection& connection = *connection_;
  const WinInetRoot& root = *connection.root_;
  if (!isHostName(connection.host_)) return false;

  std::vector<std::string> lines;
  size_t start = 0;
  while (start < headers.size()) {
    size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    std::string line = headers.substr(start, end - start);
    start = end + 2;
    if (line.empty()) continue;
    if (!isSendableHeaderLine(line)) return false;
    lines.push_back(line);
  }
  // The agent of the root handle goes out as the User-Agent line unless
  // the request brings its own, which then takes its place.
  if (!root.agent_.empty() && !hasHeaderNamed(lines, "User-Agent"))
    lines.push_back("User-Agent: " + root.agent_);

  bool secure = (flags_ & kInternetFlagSecure) != 0;
  TransferRequest transfer;
  int port = connection.port_ ? connection.port_ : (secure ? 443 : 80);
  transfer.url = std::string(secure ? "https://" : "http://") + connection.host_ + ":" +
                 std::to_string(port) + escapedPath(path_);
  transfer.verb = verb_;
  transfer.httpVersion = version_;
  transfer.headerLines = std::move(lines);
  transfer.body = body;
  transfer.alwaysSendLength = verb_ == "POST" || verb_ == "PUT";
  transfer.proxy = proxyForScheme(root.proxyList_, secure ? "https" : "http");
  transfer.connectTimeoutMs = kWinInetConnectTimeoutMs;
  transfer.stallTimeoutMs = kWinInetStallTimeoutMs;
  transfer.followRedirects = (flags_ & kInternetFlagNoAutoRedirect) == 0;
  transfer.verifyPeer = !(securityFlags_ & kWinInetSecurityIgnoreUnknownCa);
  transfer.verifyHost = !(securityFlags_ & kWinInetSecurityIgnoreCertCnInvalid);
  transfer.useCookieStore = (flags_ & kInternetFlagNoCookies) == 0;
  result_ = performTransfer(transfer);
  return answered();
}

bool WinInetRequest::answered() const {
  return sent_ && (result_.outcome == TransferOutcome::Complete ||
                   result_.outcome == TransferOutcome::ReadFailed);
}

bool WinInetRequest::readFile(std::uint8_t* buffer, std::size_t size, std::size_t& read) {
  read = 0;
  if (!answered()) return false;
  size_t left = result_.body.size() - readOffset_;
  if (left == 0) return result_.outcome == TransferOutcome::Complete;
  read = std::min(size, left);
  std::memcpy(buffer, result_.body.data() + readOffset_, read);
  readOffset_ += read;
  return true;
}

bool WinInetRequest::readRest(Bytes& body) {
  body.clear();
  bool complete = sent_ && result_.outcome == TransferOutcome::Complete;
  if (!complete) {
    result_.body.clear();
    readOffset_ = 0;
    return false;
  }
  if (readOffset_ == 0) {
    body = std::move(result_.body);
  } else {
    body.assign(result_.body.begin() + static_cast<std::ptrdiff_t>(readOffset_),
                result_.body.end());
  }
  result_.body.clear();
  readOffset_ = 0;
  return true;
}

bool WinInetRequest::queryInfo(std::uint32_t infoLevel, char* buffer, std::size_t& bufferLength) {
  if (!answered() || infoLevel != kHttpQueryRawHeadersCrlf) return false;
  return copyRawHeaderText(result_.rawHeaders, buffer, bufferLength);
}

}  // namespace varnelo::platform
