// Runs the built varnelo-cli as a child process in a directory, with a given
// standard input, and collects its exit status and output.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace varnelo::cli::testing {

struct CliRun {
  int exitCode = -1;  // -1: killed by a signal or by the watchdog
  std::string out;
  std::string err;
};

// The summary line without its trailing "; <seconds> s" and line break.
inline std::string summaryFigures(const std::string& out) {
  std::string line = out;
  while (!line.empty() && line.back() == '\n') line.pop_back();
  const auto cut = line.rfind("; ");
  return cut == std::string::npos ? line : line.substr(0, cut);
}

namespace detail {

inline std::vector<char*> argvOf(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

// Waits for `pid` for at most `timeout`, then kills it; its exit status or -1.
inline int reap(pid_t pid, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace detail

// Runs varnelo-cli with `args` in `dir`. `input` is written to a file that
// becomes standard input (none: /dev/null). Standard output and error go to
// files next to it. A run that outlives `timeout` is killed.
inline CliRun runCli(const std::filesystem::path& dir, std::vector<std::string> args,
                     const std::optional<std::string>& input = std::nullopt,
                     std::chrono::seconds timeout = std::chrono::seconds(90)) {
  const std::filesystem::path io = dir / ".cli-io";
  std::filesystem::create_directories(io);
  const std::string inPath = input ? (io / "stdin").string() : std::string("/dev/null");
  if (input) {
    const int fd = ::open(inPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      if (::write(fd, input->data(), input->size()) != static_cast<ssize_t>(input->size())) {
        ::close(fd);
        return {};
      }
      ::close(fd);
    }
  }
  const std::string outPath = (io / "stdout").string();
  const std::string errPath = (io / "stderr").string();
  const std::string workDir = dir.string();
  args.insert(args.begin(), VARNELO_CLI_PATH);
  std::vector<char*> argv = detail::argvOf(args);

  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int in = ::open(inPath.c_str(), O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(workDir.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  CliRun run;
  if (pid < 0) return run;
  run.exitCode = detail::reap(pid, timeout);
  run.out = varnelo::testing::readFile(outPath);
  run.err = varnelo::testing::readFile(errPath);
  return run;
}

// Like runCli, but standard error is a terminal (a pseudo-terminal of
// `columns` columns) whose whole output is returned in `err`.
inline CliRun runCliOnTerminal(const std::filesystem::path& dir, std::vector<std::string> args,
                               int columns = 100,
                               std::chrono::seconds timeout = std::chrono::seconds(90)) {
  const std::filesystem::path io = dir / ".cli-io";
  std::filesystem::create_directories(io);
  const std::string outPath = (io / "stdout").string();
  const std::string workDir = dir.string();
  args.insert(args.begin(), VARNELO_CLI_PATH);
  std::vector<char*> argv = detail::argvOf(args);
  winsize size{};
  size.ws_row = 40;
  size.ws_col = static_cast<unsigned short>(columns);

  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || ::chdir(workDir.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  CliRun run;
  if (pid < 0) return run;
  // Keep draining the terminal so the child never blocks on a full buffer;
  // reading fails once the child has closed its side.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    if (std::chrono::steady_clock::now() > deadline) break;
    pollfd ready{master, POLLIN, 0};
    const int polled = ::poll(&ready, 1, 200);
    if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got > 0) {
      run.err.append(buffer, static_cast<size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  run.exitCode = detail::reap(pid, std::chrono::seconds(5));
  ::close(master);
  run.out = varnelo::testing::readFile(outPath);
  return run;
}

}  // namespace varnelo::cli::testing
