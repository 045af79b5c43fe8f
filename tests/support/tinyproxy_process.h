// A real HTTP proxy for tests: tinyproxy from Debian, started on a free port
// of 127.0.0.1 with a private configuration, stopped when the object goes.
#pragma once

#include <string>
#include <sys/types.h>

#include "support/temp_dir.h"

namespace varnelo::testing {

class TinyproxyProcess {
 public:
  // Starts tinyproxy; with a user name it asks for Basic credentials.
  // running() tells whether it came up (false when the binary is missing).
  explicit TinyproxyProcess(const std::string& basicUser = "", const std::string& basicPassword = "");
  ~TinyproxyProcess();
  TinyproxyProcess(const TinyproxyProcess&) = delete;
  TinyproxyProcess& operator=(const TinyproxyProcess&) = delete;

  bool running() const { return pid_ > 0 && port_ > 0; }
  int port() const { return port_; }
  // "127.0.0.1:PORT", the proxy text the request routines take.
  std::string address() const;

  // True when the tinyproxy binary is installed.
  static bool installed();

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace varnelo::testing
