// The engine's own costs: CPU used while every slot waits on a server that
// does not answer, and the wall time of a whole job from nginx on loopback.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/engine.h"
#include "app/memory_controls.h"

extern char** environ;

namespace varnelo {
namespace {

namespace fs = std::filesystem;

// Seconds of CPU (user + system) the process has used so far.
double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A fresh directory (below /dev/shm when there is one, so that the disk is
// not what is measured) that is removed again.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
        "varnelo-bench-XXXXXX";
    path_ = mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Makes `dir` the working directory while it lives.
class WorkIn {
 public:
  explicit WorkIn(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }
  ~WorkIn() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

// Accepts connections on 127.0.0.1 and never answers, until stopped.
class SilentServer {
 public:
  SilentServer() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 128);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
      for (;;) {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 50) < 0 || stop_) return;
        if (!(waiting.revents & POLLIN)) continue;
        int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0) continue;
        std::lock_guard<std::mutex> guard(mutex_);
        connections_.push_back(connection);
      }
    });
  }
  ~SilentServer() { stop(); }
  int port() const { return port_; }
  std::size_t connectionCount() {
    std::lock_guard<std::mutex> guard(mutex_);
    return connections_.size();
  }
  // Closes every connection and the listener: waiting requests fail at once.
  void stop() {
    if (stop_.exchange(true)) return;
    acceptor_.join();
    std::lock_guard<std::mutex> guard(mutex_);
    for (int connection : connections_) close(connection);
    close(listener_);
  }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<int> connections_;
  std::thread acceptor_;
};

// CPU time of the whole process over 10 s while twenty workers wait for
// pages that do not come and the dispatcher waits for a free slot.
void BM_CpuWhileAllSlotsWait(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDir dir;
    WorkIn here(dir.path());
    SilentServer server;
    std::string list;
    for (int i = 1; i <= 40; ++i) {
      if (i > 1) list += "\r\n";
      list += "http://127.0.0.1:" + std::to_string(server.port()) + "/page" + std::to_string(i);
    }
    MemoryControls controls(list);
    Engine engine(controls);
    engine.startDownload();
    for (int i = 0; i < 500 && server.connectionCount() < 20; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double before = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double used = processCpuSeconds() - before;
    state.counters["waiting_requests"] = static_cast<double>(server.connectionCount());
    state.counters["cpu_seconds_per_10s_wait"] = used;
    server.stop();
    engine.waitUntilIdle();
  }
}
BENCHMARK(BM_CpuWhileAllSlotsWait)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Writes `content` to `path`.
void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A free port on 127.0.0.1 (free when asked; nginx takes it right after).
int freePort() {
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

// nginx serving `root` on 127.0.0.1:`port` in the foreground, as a child.
class Nginx {
 public:
  Nginx(const fs::path& workDir, const fs::path& root, int port) {
    const fs::path config = workDir / "nginx.conf";
    std::ofstream(config) << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                          << "error_log " << (workDir / "error.log").string() << ";\n"
                          << "pid " << (workDir / "nginx.pid").string() << ";\n"
                          << "events { worker_connections 1024; }\n"
                          << "http {\n  access_log off;\n  keepalive_requests 100000;\n"
                          << "  client_body_temp_path " << (workDir / "tmp").string() << ";\n"
                          << "  server {\n    listen 127.0.0.1:" << port << ";\n"
                          << "    root " << root.string() << ";\n  }\n}\n";
    const std::string prefix = workDir.string() + "/";
    const std::string errorLog = (workDir / "error.log").string();
    const std::string configPath = config.string();
    std::vector<std::string> args = {"nginx", "-p", prefix, "-e", errorLog, "-c", configPath};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "nginx", nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  ~Nginx() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

// Waits (at most 5 s) until something listens on 127.0.0.1:`port`.
bool waitForListener(int port) {
  for (int i = 0; i < 500; ++i) {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool up = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(probe);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Wall time of a job of `pages` pages with `pictures` mentions each (a
// quarter of them ".gif"), 32 KiB per picture, served by nginx on loopback.
void BM_JobFromNginx(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const int pictures = static_cast<int>(state.range(1));
  constexpr std::size_t kPictureBytes = 32 * 1024;
  ScratchDir dir;
  const fs::path root = dir.path() / "site";
  fs::create_directories(root / "img");
  fs::create_directories(dir.path() / "tmp");
  const int port = freePort();
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  std::string list;
  for (int page = 1; page <= pages; ++page) {
    std::string html = "<html><head><title>Page " + std::to_string(page) + "</title></head><body>\n";
    for (int k = 1; k <= pictures; ++k) {
      const std::string name = std::to_string(page) + "-" + std::to_string(k) + (k % 4 == 0 ? ".gif" : ".jpg");
      writeFile(root / "img" / name, std::string(kPictureBytes, static_cast<char>('a' + k % 26)));
      html += "<img src=\"" + base + "/img/" + name + "\">\n";
    }
    writeFile(root / ("p" + std::to_string(page) + ".html"), html + "</body></html>\n");
    if (page > 1) list += "\r\n";
    list += base + "/p" + std::to_string(page) + ".html";
  }
  Nginx nginx(dir.path(), root, port);
  if (!nginx.started() || !waitForListener(port)) {
    state.SkipWithError("nginx could not be started");
    return;
  }
  for (auto _ : state) {
    const fs::path out = dir.path() / "out";
    fs::create_directories(out);
    WorkIn here(out);
    MemoryControls controls(list);
    Engine engine(controls);
    const double cpuBefore = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    engine.startDownload();
    engine.waitUntilIdle();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(wall.count());
    state.counters["cpu_seconds"] = processCpuSeconds() - cpuBefore;
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out / "data" / "pic")) {
      files += entry.is_regular_file() ? 1 : 0;
    }
    state.counters["files"] = static_cast<double>(files);
    std::error_code ignored;
    fs::current_path(dir.path());
    fs::remove_all(out, ignored);
  }
}
BENCHMARK(BM_JobFromNginx)->Args({200, 20})->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnelo

BENCHMARK_MAIN();
