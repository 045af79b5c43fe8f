#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace varnelo::testing {

namespace {

// One TLS context for every HTTPS test server of the process, with a key
// and a self-signed certificate for 127.0.0.1 made in memory on first use.
// It lives until the process ends.
SSL_CTX* sharedServerTlsContext() {
  static SSL_CTX* context = [] {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    SSL_CTX* made = SSL_CTX_new(TLS_server_method());
    if (!key || !cert || !made) return made;
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
    SSL_CTX_use_certificate(made, cert);
    SSL_CTX_use_PrivateKey(made, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    return made;
  }();
  return context;
}

// Case-insensitive ASCII comparison of a header name.
bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// The value of header `name` in a block of "Name: value\r\n" lines; empty
// when absent.
std::string headerIn(const std::string& block, const std::string& name) {
  size_t start = 0;
  while (start < block.size()) {
    size_t end = block.find("\r\n", start);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(start, end - start);
    size_t colon = line.find(':');
    if (colon != std::string::npos && sameName(line.substr(0, colon), name)) {
      size_t v = line.find_first_not_of(" \t", colon + 1);
      return v == std::string::npos ? std::string() : line.substr(v);
    }
    start = end + 2;
  }
  return {};
}

}  // namespace

ScriptedResponse ScriptedResponse::ok(const std::string& body, const std::string& contentType) {
  return status(200, "OK", body, {"Content-Type: " + contentType});
}

ScriptedResponse ScriptedResponse::status(int code, const std::string& reason,
                                          const std::string& body,
                                          const std::vector<std::string>& headerLines) {
  ScriptedResponse response;
  response.raw = "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n";
  bool framed = false;
  for (const std::string& line : headerLines) {
    response.raw += line + "\r\n";
    std::string name = line.substr(0, line.find(':'));
    if (sameName(name, "Content-Length") || sameName(name, "Transfer-Encoding")) framed = true;
  }
  if (!framed) response.raw += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  response.raw += "\r\n" + body;
  return response;
}

// A plain or TLS connection seen as a byte stream.
class ServerConnection {
 public:
  ServerConnection(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  ~ServerConnection() {
    if (ssl_) SSL_free(ssl_);
  }
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Up to `size` bytes; 0 at the end of the stream or on an error.
  size_t read(char* buffer, size_t size) {
    if (ssl_) {
      int got = SSL_read(ssl_, buffer, static_cast<int>(size));
      return got > 0 ? static_cast<size_t>(got) : 0;
    }
    ssize_t got;
    do {
      got = ::recv(fd_, buffer, size, 0);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

  // False when the peer is gone.
  bool write(const char* data, size_t size) {
    while (size > 0) {
      ssize_t sent;
      if (ssl_) {
        int n = SSL_write(ssl_, data, static_cast<int>(size));
        sent = n > 0 ? n : -1;
      } else {
        sent = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
      }
      if (sent <= 0) return false;
      data += sent;
      size -= static_cast<size_t>(sent);
    }
    return true;
  }

  void closeCleanly() {
    if (ssl_) SSL_shutdown(ssl_);
    ::shutdown(fd_, SHUT_WR);
  }

 private:
  int fd_;
  SSL* ssl_;
};

struct ScriptedServer::Impl {
  Handler handler;
  bool tls = false;
  std::string answerOnConnect;
  int listenFd = -1;
  int port = 0;
  std::thread acceptor;

  mutable std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  std::vector<RecordedRequest> received;
  int connections = 0;
  std::set<int> openFds;
  std::vector<std::thread> workers;

  // Sleeps `ms` unless the server stops first; false when it stopped.
  bool pause(int ms) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
  }


  void acceptLoop() {
    for (;;) {
      int fd = ::accept(listenFd, nullptr, nullptr);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;  // the listening socket was shut down
      }
      std::lock_guard lock(mutex);
      if (stopping) {
        ::close(fd);
        return;
      }
      ++connections;
      openFds.insert(fd);
      workers.emplace_back([this, fd] { serve(fd); });
    }
  }

  void forget(int fd) {
    std::lock_guard lock(mutex);
    openFds.erase(fd);
    ::close(fd);
  }

  void serve(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!answerOnConnect.empty()) {
      ServerConnection plain(fd, nullptr);
      plain.write(answerOnConnect.data(), answerOnConnect.size());
      // Taking in what the client sent first makes the close a clean one
      // rather than a reset that could overtake the answer.
      pause(100);
      char ignored[4096];
      while (::recv(fd, ignored, sizeof ignored, MSG_DONTWAIT) > 0) {
      }
      plain.closeCleanly();
      forget(fd);
      return;
    }
    SSL* ssl = nullptr;
    if (tls) {
      ssl = SSL_new(sharedServerTlsContext());
      SSL_set_fd(ssl, fd);
      if (SSL_accept(ssl) != 1) {
        SSL_free(ssl);
        forget(fd);
        return;
      }
    }
    {
      ServerConnection connection(fd, ssl);
      converse(connection, fd);
    }
    forget(fd);
  }

  // Serves requests on one connection until it ends or the script ends it.
  void converse(ServerConnection& connection, int fd) {
    std::string pending;
    for (;;) {
      RecordedRequest request;
      if (!readRequest(connection, pending, request)) return;
      {
        std::lock_guard lock(mutex);
        received.push_back(request);
      }
      ScriptedResponse response = handler(request);
      if (response.delayBeforeMs > 0 && !pause(response.delayBeforeMs)) return;
      if (!sendResponse(connection, response)) return;
      if (response.resetAfter) {
        // A short pause lets the client take in what was sent before the
        // reset arrives, so the reset shows as a failure part-way.
        if (!pause(150)) return;
        linger off{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        return;
      }
      if (response.stallAfterMs > 0) {
        pause(response.stallAfterMs);
        return;
      }
      if (response.closeAfter || sameName(headerIn(request.headerBlock, "Connection"), "close")) {
        connection.closeCleanly();
        return;
      }
    }
  }

  bool sendResponse(ServerConnection& connection, const ScriptedResponse& response) {
    if (!sendScripted(connection, response)) return false;
    // The generated part, a block at a time.
    std::string block(64 * 1024, '\0');
    std::uint64_t sent = 0;
    while (sent < response.generatedBodyBytes) {
      size_t n = static_cast<size_t>(std::min<std::uint64_t>(block.size(),
                                                              response.generatedBodyBytes - sent));
      for (size_t i = 0; i < n; ++i) block[i] = static_cast<char>((sent + i) & 0xFF);
      if (!connection.write(block.data(), n)) return false;
      sent += n;
    }
    return true;
  }

  bool sendScripted(ServerConnection& connection, const ScriptedResponse& response) {
    if (response.bytesPerSecond <= 0)
      return connection.write(response.raw.data(), response.raw.size());
    // Trickle in twentieths of a second, or a byte at a time when the rate
    // is lower than that.
    size_t rate = static_cast<size_t>(response.bytesPerSecond);
    size_t step = std::max<size_t>(1, rate / 20);
    int pauseMs = static_cast<int>(1000 * step / rate);
    for (size_t at = 0; at < response.raw.size(); at += step) {
      size_t n = std::min(step, response.raw.size() - at);
      if (!connection.write(response.raw.data() + at, n)) return false;
      if (at + n < response.raw.size() && !pause(pauseMs)) return false;
    }
    return true;
  }

  // Makes sure `pending` holds at least `size` bytes; false when the
  // stream ended first.
  static bool fill(ServerConnection& connection, std::string& pending, size_t size) {
    char buffer[16384];
    while (pending.size() < size) {
      size_t got = connection.read(buffer, sizeof buffer);
      if (got == 0) return false;
      pending.append(buffer, got);
    }
    return true;
  }

  // Reads the next request from the stream; false when the stream ended
  // before a whole request arrived.
  static bool readRequest(ServerConnection& connection, std::string& pending,
                          RecordedRequest& request) {
    char buffer[16384];
    size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
      size_t got = connection.read(buffer, sizeof buffer);
      if (got == 0) return false;
      pending.append(buffer, got);
    }
    std::string head = pending.substr(0, headEnd + 2);
    size_t consumed = headEnd + 4;
    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    request.headerBlock = head.substr(lineEnd + 2);
    size_t space1 = requestLine.find(' ');
    size_t space2 = requestLine.find(' ', space1 == std::string::npos ? 0 : space1 + 1);
    request.method = requestLine.substr(0, space1);
    if (space1 != std::string::npos)
      request.target = requestLine.substr(space1 + 1, space2 == std::string::npos
                                                          ? std::string::npos
                                                          : space2 - space1 - 1);

    if (sameName(headerIn(request.headerBlock, "Transfer-Encoding"), "chunked")) {
      for (;;) {
        size_t sizeEnd;
        while ((sizeEnd = pending.find("\r\n", consumed)) == std::string::npos)
          if (!fill(connection, pending, pending.size() + 1)) return false;
        size_t chunk = std::strtoul(pending.substr(consumed, sizeEnd - consumed).c_str(),
                                    nullptr, 16);
        consumed = sizeEnd + 2;
        if (!fill(connection, pending, consumed + chunk + 2)) return false;
        request.body += pending.substr(consumed, chunk);
        consumed += chunk + 2;
        if (chunk == 0) break;  // no trailers are sent by the clients under test
      }
    } else {
      std::string length = headerIn(request.headerBlock, "Content-Length");
      size_t size = length.empty() ? 0 : std::strtoul(length.c_str(), nullptr, 10);
      if (!fill(connection, pending, consumed + size)) return false;
      request.body = pending.substr(consumed, size);
      consumed += size;
    }
    request.raw = pending.substr(0, consumed);
    pending.erase(0, consumed);
    return true;
  }
};

ScriptedServer::ScriptedServer(Handler handler, bool tls, std::string answerOnConnect)
    : impl_(std::make_unique<Impl>()) {
  static std::once_flag ignoreBrokenPipes;
  std::call_once(ignoreBrokenPipes, [] { ::signal(SIGPIPE, SIG_IGN); });
  impl_->handler = std::move(handler);
  impl_->tls = tls && answerOnConnect.empty();
  impl_->answerOnConnect = std::move(answerOnConnect);
  if (impl_->tls) sharedServerTlsContext();
  impl_->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  ::bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(impl_->listenFd, 128);
  socklen_t length = sizeof address;
  ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), &length);
  impl_->port = ntohs(address.sin_port);
  impl_->acceptor = std::thread([impl = impl_.get()] { impl->acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->wake.notify_all();
  ::shutdown(impl_->listenFd, SHUT_RDWR);
  impl_->acceptor.join();
  {
    std::lock_guard lock(impl_->mutex);
    for (int fd : impl_->openFds) ::shutdown(fd, SHUT_RDWR);
  }
  // No new workers start once the acceptor has ended.
  for (std::thread& worker : impl_->workers) worker.join();
  ::close(impl_->listenFd);
}

int ScriptedServer::port() const { return impl_->port; }

std::string ScriptedServer::baseUrl() const {
  return std::string(impl_->tls ? "https" : "http") + "://127.0.0.1:" +
         std::to_string(impl_->port);
}

std::vector<RecordedRequest> ScriptedServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->received;
}

int ScriptedServer::connectionCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->connections;
}

ScriptedServer::Handler siteHandler(Routes routes) {
  return [routes = std::move(routes)](const RecordedRequest& request) {
    auto found = routes.find(request.target);
    if (found != routes.end()) return found->second;
    return ScriptedResponse::status(404, "Not Found", "Not Found");
  };
}

std::string callerLines(const RecordedRequest& request) {
  std::string kept;
  std::size_t start = 0;
  while (start < request.headerBlock.size()) {
    std::size_t end = request.headerBlock.find("\r\n", start);
    end = end == std::string::npos ? request.headerBlock.size() : end + 2;
    std::string line = request.headerBlock.substr(start, end - start);
    if (line.rfind("Host: ", 0) != 0 && line.rfind("Content-Length: ", 0) != 0) kept += line;
    start = end;
  }
  return kept;
}

ScriptedResponse echo(const RecordedRequest& request) {
  if (request.method == "HEAD") {
    ScriptedResponse head;
    head.raw = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n";
    return head;
  }
  return ScriptedResponse::ok(request.method + ":" + request.body);
}

}  // namespace varnelo::testing
