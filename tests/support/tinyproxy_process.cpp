#include "support/tinyproxy_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace varnelo::testing {

namespace {

constexpr const char* kBinary = "/usr/bin/tinyproxy";

// A port of 127.0.0.1 that nothing listened on a moment ago.
int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool TinyproxyProcess::installed() { return ::access(kBinary, X_OK) == 0; }

TinyproxyProcess::TinyproxyProcess(const std::string& basicUser,
                                   const std::string& basicPassword) {
  if (!installed()) return;
  int port = freePort();
  std::string config = (dir_.path() / "tinyproxy.conf").string();
  {
    std::ofstream out(config);
    out << "Port " << port << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 100\n"
        << "Allow 127.0.0.1\nLogLevel Critical\n";
    if (!basicUser.empty()) out << "BasicAuth " << basicUser << " " << basicPassword << "\n";
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(kBinary, kBinary, "-d", "-c", config.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ < 0) return;
  for (int tries = 0; tries < 100; ++tries) {
    if (accepts(port)) {
      port_ = port;
      return;
    }
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

TinyproxyProcess::~TinyproxyProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

std::string TinyproxyProcess::address() const { return "127.0.0.1:" + std::to_string(port_); }

}  // namespace varnelo::testing
