// A local HTTP/1.1 server on 127.0.0.1 for tests: it records the exact bytes
// of every request it receives and answers with exactly the bytes (and the
// timing, stalls and resets) that the test scripts. One thread accepts; each
// connection is served on its own thread; keep-alive is supported.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace varnelo::testing {

struct RecordedRequest {
  std::string raw;          // every byte of the request: request line, headers, body
  std::string method;       // "GET"
  std::string target;       // "/a/b?c"
  std::string headerBlock;  // the header lines after the request line, each ending in CR LF, without the empty line
  std::string body;         // the request body (by Content-Length or chunked, decoded)
};

struct ScriptedResponse {
  std::string raw;                // bytes sent as they stand (status line, headers, body)
  int delayBeforeMs = 0;          // stall this long before sending anything
  int bytesPerSecond = 0;         // > 0: trickle `raw` at this rate
  bool closeAfter = false;        // close the connection after `raw` (else keep-alive)
  bool resetAfter = false;        // send a TCP reset after `raw` (SO_LINGER 0)
  int stallAfterMs = 0;           // after `raw`, keep the connection open and silent this long
  // After `raw`, this many more bytes, made as they are sent, so that a body
  // of hundreds of megabytes is never held; the bytes cycle through 0-255.
  std::uint64_t generatedBodyBytes = 0;

  // 200 OK with Content-Type and Content-Length.
  static ScriptedResponse ok(const std::string& body,
                             const std::string& contentType = "text/html");
  // Any status with the given extra header lines (each "Name: value", no CR LF) and body.
  static ScriptedResponse status(int code, const std::string& reason, const std::string& body,
                                 const std::vector<std::string>& headerLines = {});
};

class ScriptedServer {
 public:
  using Handler = std::function<ScriptedResponse(const RecordedRequest&)>;

  // Starts listening on a free port of 127.0.0.1; with `tls` it speaks HTTPS
  // with a throwaway self-signed certificate. With `answerOnConnect` it
  // speaks neither: every connection gets those bytes at once, before any
  // request is read, and is closed (the handler is never called).
  explicit ScriptedServer(Handler handler, bool tls = false, std::string answerOnConnect = {});
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const;
  // "http://127.0.0.1:PORT" (or https://...).
  std::string baseUrl() const;
  // Copies of every request received so far, in order of arrival.
  std::vector<RecordedRequest> requests() const;
  // Number of TCP connections accepted so far.
  int connectionCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Serves a fixed map of paths to responses: the path of a request's target
// (query included) picks the response; unknown paths get 404 "Not Found".
// The header lines of a recorded request without the transport's own Host
// and Content-Length lines: what the caller's header block put on the wire.
std::string callerLines(const RecordedRequest& request);

// Answers every request with its own method and body ("GET:"), so that a
// test sees both in the returned text; HEAD gets headers only.
ScriptedResponse echo(const RecordedRequest& request);

using Routes = std::map<std::string, ScriptedResponse>;
ScriptedServer::Handler siteHandler(Routes routes);

}  // namespace varnelo::testing
