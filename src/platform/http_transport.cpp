#include "platform/http_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace varnelo::platform {

namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

struct ShareDeleter {
  void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
using ShareHandle = std::unique_ptr<CURLSH, ShareDeleter>;

bool startsWithNoCase(const std::string& text, const char* prefix) {
  size_t n = std::char_traits<char>::length(prefix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// What every exchange of the process shares: libcurl's global state, a
// share object holding DNS answers and TLS sessions (one mutex per kind of
// data; libcurl does not support sharing connections or cookies between
// threads that run at once), and a pool of idle easy handles, each used by
// one thread at a time, whose live connections survive between requests.
class TransportGlobals {
 public:
  TransportGlobals() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    share_.reset(curl_share_init());
    if (share_) {
      curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &TransportGlobals::lock);
      curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &TransportGlobals::unlock);
      curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
      curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
      curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
  }

  CURLSH* share() const { return share_.get(); }

  // An idle handle from the pool, or a new one; null when libcurl cannot
  // make one. Handles whose cookie engine was ever switched on are pooled
  // apart, so that no other request meets an engine that would keep
  // cookies across its redirects.
  EasyHandle acquire(bool cookieEngine, bool& fresh) {
    fresh = false;
    {
      std::lock_guard guard(poolMutex_);
      std::vector<EasyHandle>& idle = idle_[cookieEngine ? 1 : 0];
      if (!idle.empty()) {
        EasyHandle easy = std::move(idle.back());
        idle.pop_back();
        return easy;
      }
    }
    fresh = true;
    return EasyHandle(curl_easy_init());
  }

  // Returns a handle to the pool with every option reset; its connections
  // stay open for the next request.
  void release(EasyHandle easy, bool cookieEngine) {
    curl_easy_reset(easy.get());
    std::lock_guard guard(poolMutex_);
    std::vector<EasyHandle>& idle = idle_[cookieEngine ? 1 : 0];
    if (idle.size() < kMaxIdleHandles) idle.push_back(std::move(easy));
  }

 private:
  static constexpr size_t kMaxIdleHandles = 32;

  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<TransportGlobals*>(self)->locks_[static_cast<size_t>(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<TransportGlobals*>(self)->locks_[static_cast<size_t>(data)].unlock();
  }

  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
  ShareHandle share_;
  std::mutex poolMutex_;
  std::array<std::vector<EasyHandle>, 2> idle_;
};

TransportGlobals& globals() {
  static TransportGlobals instance;
  return instance;
}

// The process-wide cookie store of the picture requests that bring no
// cookies of their own. Cookies are kept as libcurl's cookie-file lines,
// keyed by domain, path and name; a handle receives them before its
// exchange and gives back what the exchange left, and is emptied before it
// returns to the pool.
class CookieStore {
 public:
  // Loads every stored cookie into `easy`'s cookie engine and returns the
  // keys loaded. The engine is switched on once, on a fresh handle, by
  // adding and dropping a cookie: it outlives the reset between requests,
  // and switching it on by an empty cookie file would leave libcurl a list
  // that a reset loses.
  std::set<std::string> loadInto(CURL* easy, bool fresh) {
    if (fresh) {
      curl_easy_setopt(easy, CURLOPT_COOKIELIST, "Set-Cookie: engine=on");
      curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
    }
    std::lock_guard guard(mutex_);
    std::set<std::string> keys;
    for (const auto& [key, line] : lines_) {
      curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
      keys.insert(key);
    }
    return keys;
  }

  // Takes the cookies of `easy` back into the store (a loaded cookie that
  // the exchange removed is removed) and empties the handle's engine.
  void takeFrom(CURL* easy, const std::set<std::string>& loaded) {
    curl_slist* list = nullptr;
    curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list);
    HeaderList owned(list);
    std::map<std::string, std::string> now;
    for (curl_slist* item = list; item; item = item->next) now[keyOf(item->data)] = item->data;
    {
      std::lock_guard guard(mutex_);
      for (const std::string& key : loaded)
        if (!now.count(key)) lines_.erase(key);
      for (auto& [key, line] : now) lines_[key] = line;
    }
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
  }

 private:
  // Domain, path and name: fields 1, 3 and 6 of a tab-separated line.
  static std::string keyOf(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
      size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos
                                                                   : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() < 6) return line;
    return fields[0] + '\t' + fields[2] + '\t' + fields[5];
  }

  std::mutex mutex_;
  std::map<std::string, std::string> lines_;
};

CookieStore& cookieStore() {
  static CookieStore store;
  return store;
}

std::mutex& limitsMutex() {
  static std::mutex mutex;
  return mutex;
}

TransferLimits& limitsInForce() {
  static TransferLimits limits = kDefaultTransferLimits;
  return limits;
}

// The smaller of two time-outs where 0 means none.
long tighter(long requested, long bound) {
  if (bound <= 0) return requested;
  if (requested <= 0) return bound;
  return std::min(requested, bound);
}

// What one exchange is held to: the caller's time-outs under the
// process-wide bounds.
struct EffectiveLimits {
  long connectMs = 0;
  long stallMs = 0;
  long lowSpeedWindowMs = 0;
  long lowSpeedBytes = 0;
  long totalMs = 0;
};

EffectiveLimits effectiveLimits(const TransferRequest& request) {
  TransferLimits bounds = transferLimits();
  EffectiveLimits limits;
  limits.connectMs = tighter(request.connectTimeoutMs, bounds.maxConnectTimeoutMs);
  limits.stallMs = tighter(request.stallTimeoutMs, bounds.maxStallTimeoutMs);
  if (bounds.lowSpeedWindowMs > 0 && bounds.lowSpeedBytes > 0) {
    limits.lowSpeedWindowMs = std::max(bounds.lowSpeedWindowMs, limits.stallMs);
    limits.lowSpeedBytes = bounds.lowSpeedBytes;
  }
  if (bounds.totalTimeoutMs > 0)
    limits.totalMs = std::max(bounds.totalTimeoutMs, limits.connectMs + limits.stallMs);
  return limits;
}

bool isBlankValue(const std::string& line) {
  size_t colon = line.find(':');
  return line.find_first_not_of(" \t", colon + 1) == std::string::npos;
}

// The header lines as libcurl items. libcurl treats an item with an empty
// value as "do not send", so such a line rides in the item of a neighbour,
// joined by CR LF, and reaches the wire as it stands; only a block made of
// such lines alone falls back to libcurl's "Name;" form, sent as "Name:".
// After them come empty items that keep libcurl from adding its own
// Accept, Expect, Content-Type and Proxy-Connection lines.
HeaderList buildHeaderList(const std::vector<std::string>& lines) {
  std::vector<std::string> items;
  std::string leadingBlank;
  std::vector<std::string> blankOnly;
  for (const std::string& line : lines) {
    if (isBlankValue(line)) {
      if (!items.empty()) {
        items.back() += "\r\n" + line;
      } else {
        leadingBlank += line + "\r\n";
        blankOnly.push_back(line.substr(0, line.find(':')) + ";");
      }
      continue;
    }
    items.push_back(leadingBlank + line);
    leadingBlank.clear();
    blankOnly.clear();
  }
  for (const std::string& item : blankOnly) items.push_back(item);
  for (const char* suppressed : {"Accept:", "Expect:", "Content-Type:", "Proxy-Connection:"})
    items.emplace_back(suppressed);

  curl_slist* list = nullptr;
  for (const std::string& item : items) {
    curl_slist* grown = curl_slist_append(list, item.c_str());
    if (!grown) {
      curl_slist_free_all(list);
      return HeaderList();
    }
    list = grown;
  }
  return HeaderList(list);
}

// Collects the header lines and the body of the exchange as they arrive.
struct Capture {
  bool followRedirects = true;
  bool stopAtFinalHeaders = false;  // a HEAD that sends a body: no body comes back
  std::string headers;       // current response's lines
  bool anyHeader = false;    // some response came back
  bool blockComplete = false;
  bool finalComplete = false;  // the final response's headers are all in
  bool endedAtHeaders = false;  // stopped on purpose after the final headers
  long code = 0;
  bool sawLocation = false;
  unsigned long long declaredLength = 0;
  Bytes body;
  bool tooLarge = false;

  // The low-speed rule: bytes of the response (headers and body) so far,
  // and the window that the first of them opened.
  using Clock = std::chrono::steady_clock;
  long lowSpeedWindowMs = 0;
  long lowSpeedBytes = 0;
  unsigned long long bytesReceived = 0;
  unsigned long long bytesAtWindowStart = 0;
  Clock::time_point windowStart{};
  bool windowOpen = false;

  void countReceived(size_t n) {
    if (!windowOpen) {
      windowOpen = true;
      windowStart = Clock::now();
    }
    bytesReceived += n;
  }

  // Called by libcurl about once a second and whenever data moves; true
  // when the response has been coming in too slowly and must end.
  bool tooSlowNow() {
    if (lowSpeedWindowMs <= 0 || !windowOpen) return false;
    Clock::time_point now = Clock::now();
    if (now - windowStart < std::chrono::milliseconds(lowSpeedWindowMs)) return false;
    if (bytesReceived - bytesAtWindowStart < static_cast<unsigned long long>(lowSpeedBytes))
      return true;
    windowStart = now;
    bytesAtWindowStart = bytesReceived;
    return false;
  }

  static int progressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Capture*>(self)->tooSlowNow() ? 1 : 0;
  }

  static bool isFollowedRedirect(long status) {
    return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 ||
           status == 308;
  }

  // Takes one header line; false stops the exchange.
  bool onHeaderLine(std::string line) {
    anyHeader = true;
    bool statusLine = line.compare(0, 5, "HTTP/") == 0;
    if (blockComplete && !statusLine) return true;  // trailers of a chunked body
    if (statusLine) {
      headers.clear();
      body.clear();
      blockComplete = finalComplete = sawLocation = false;
      declaredLength = 0;
      size_t space = line.find(' ');
      code = space == std::string::npos ? 0 : std::strtol(line.c_str() + space + 1, nullptr, 10);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    headers += line + "\r\n";
    if (!line.empty()) {
      if (startsWithNoCase(line, "location:")) sawLocation = true;
      if (startsWithNoCase(line, "content-length:"))
        declaredLength = std::strtoull(line.c_str() + 15, nullptr, 10);
      return true;
    }
    blockComplete = true;
    bool interim = code >= 100 && code < 200;
    finalComplete = !interim && !(followRedirects && sawLocation && isFollowedRedirect(code));
    if (!finalComplete) return true;
    if (declaredLength > kMaxResponseBodyBytes) {
      tooLarge = true;
      return false;
    }
    if (stopAtFinalHeaders) {
      endedAtHeaders = true;
      return false;
    }
    reserveDeclaredLength();
    return true;
  }

  // Makes room for the declared body at once, so that a large picture is
  // not copied again and again as it grows. A length that cannot be
  // reserved is simply not reserved: the body then grows as it arrives.
  void reserveDeclaredLength() {
    if (declaredLength == 0) return;
    try {
      body.reserve(static_cast<size_t>(declaredLength));
    } catch (const std::exception&) {
    }
  }

  // The body grown by `n` bytes of `data`; false (the body dropped) when
  // that would pass the limit or memory runs out.
  bool append(const char* data, size_t n) {
    if (body.size() + n > kMaxResponseBodyBytes) {
      tooLarge = true;
    } else {
      try {
        body.insert(body.end(), data, data + n);
        return true;
      } catch (const std::exception&) {
        tooLarge = true;
      }
    }
    body.clear();
    body.shrink_to_fit();
    return false;
  }

  static size_t headerCallback(char* data, size_t size, size_t count, void* self) {
    auto* capture = static_cast<Capture*>(self);
    capture->countReceived(size * count);
    bool go = capture->onHeaderLine(std::string(data, size * count));
    return go ? size * count : 0;
  }

  static size_t bodyCallback(char* data, size_t size, size_t count, void* self) {
    auto* capture = static_cast<Capture*>(self);
    size_t n = size * count;
    capture->countReceived(n);
    return capture->append(data, n) ? n : 0;  // 0 makes libcurl stop with a write error
  }
};

bool isSendFailure(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SEND_ERROR:
      return true;
    default:
      return false;
  }
}

// Where the exchange stopped, from libcurl's result and what arrived.
TransferOutcome classify(CURLcode code, const Capture& capture, CURL* easy) {
  if (code == CURLE_OK || capture.endedAtHeaders)
    return capture.finalComplete ? TransferOutcome::Complete : TransferOutcome::ReceiveFailed;
  if (capture.finalComplete) return TransferOutcome::ReadFailed;
  if (capture.anyHeader) return TransferOutcome::ReceiveFailed;
  if (isSendFailure(code)) return TransferOutcome::SendFailed;
  curl_off_t pretransfer = 0;
  curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
  // A time-out before the connection stood means the request never left.
  return pretransfer == 0 ? TransferOutcome::SendFailed : TransferOutcome::ReceiveFailed;
}

// Sets the verb and the body. A HEAD without a body is libcurl's own, which
// expects no response body; a HEAD with one goes as a custom verb, and the
// exchange is ended once the final response's headers are in.
void applyMethodAndBody(CURL* easy, const TransferRequest& request, Capture& capture) {
  bool withBody = !request.body.empty() || request.alwaysSendLength;
  bool head = request.verb == "HEAD";
  if (withBody) {
    static const char kNothing[] = "";
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS,
                     request.body.empty() ? kNothing
                                          : reinterpret_cast<const char*>(request.body.data()));
  } else if (head) {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  }
  capture.stopAtFinalHeaders = head && withBody;
  bool natural = (head && !withBody) || (request.verb == "POST" && withBody) ||
                 (request.verb == "GET" && !withBody);
  if (!natural) curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.verb.c_str());
}

// The time-outs and the low-speed rule of one exchange.
void applyLimits(CURL* easy, const EffectiveLimits& limits, Capture& capture) {
  if (limits.connectMs > 0) curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
  if (limits.stallMs > 0) {
    // libcurl measures stalls in whole seconds: "below one byte per second
    // for that long".
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, (limits.stallMs + 999) / 1000));
  }
  if (limits.totalMs > 0) curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limits.totalMs);
  capture.lowSpeedWindowMs = limits.lowSpeedWindowMs;
  capture.lowSpeedBytes = limits.lowSpeedBytes;
  if (limits.lowSpeedWindowMs > 0) {
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Capture::progressCallback);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &capture);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  }
}

void applyConnectionOptions(CURL* easy, const TransferRequest& request) {
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  if (globals().share()) curl_easy_setopt(easy, CURLOPT_SHARE, globals().share());
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, request.httpVersion == "HTTP/1.0"
                                                   ? CURL_HTTP_VERSION_1_0
                                                   : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, request.verifyPeer ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, request.verifyHost ? 2L : 0L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  // The system's proxy settings (libcurl's environment variables) are never
  // consulted: an empty proxy means a direct connection.
  if (request.proxy.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
  } else {
    std::string proxy = "http://" + request.proxy;
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());  // libcurl copies it
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  }
  if (!request.userName.empty() && !request.password.empty()) {
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(easy, CURLOPT_USERNAME, request.userName.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, request.password.c_str());
  }
  if (!request.proxy.empty() && !request.proxyUserName.empty() &&
      !request.proxyPassword.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, request.proxyUserName.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
  }
}

}  // namespace

void initialiseHttpTransport() { globals(); }

void setTransferLimitsForTesting(const TransferLimits& limits) {
  std::lock_guard guard(limitsMutex());
  limitsInForce() = limits;
}

TransferLimits transferLimits() {
  std::lock_guard guard(limitsMutex());
  return limitsInForce();
}

bool isSendableHeaderLine(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  for (size_t i = 0; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (c <= 0x20 || c >= 0x7F) return false;
  }
  return line.find_first_of("\r\n") == std::string::npos;
}

std::string proxyForScheme(const std::string& proxyList, const std::string& scheme) {
  std::string fallback;
  size_t start = 0;
  while (start < proxyList.size()) {
    size_t end = proxyList.find_first_of("; \t", start);
    if (end == std::string::npos) end = proxyList.size();
    std::string entry = proxyList.substr(start, end - start);
    start = end + 1;
    if (entry.empty()) continue;
    size_t equals = entry.find('=');
    std::string entryScheme;
    if (equals != std::string::npos) {
      entryScheme = entry.substr(0, equals);
      entry.erase(0, equals + 1);
    }
    if (startsWithNoCase(entry, "http://")) entry.erase(0, 7);
    while (!entry.empty() && entry.back() == '/') entry.pop_back();
    if (entry.empty()) continue;
    std::transform(entryScheme.begin(), entryScheme.end(), entryScheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (entryScheme == scheme) return entry;
    if (entryScheme.empty() && fallback.empty()) fallback = entry;
  }
  return fallback;
}

TransferResult performTransfer(const TransferRequest& request) {
  TransferResult result;
  TransportGlobals& shared = globals();
  bool fresh = false;
  EasyHandle easy = shared.acquire(request.useCookieStore, fresh);
  if (!easy) return result;
  CURL* handle = easy.get();

  for (const std::string& line : request.headerLines)
    if (!isSendableHeaderLine(line)) {
      shared.release(std::move(easy), request.useCookieStore);
      return result;
    }
  HeaderList headers = buildHeaderList(request.headerLines);
  if (!headers) {
    shared.release(std::move(easy), request.useCookieStore);
    return result;
  }

  Capture capture;
  capture.followRedirects = request.followRedirects;
  applyConnectionOptions(handle, request);
  applyLimits(handle, effectiveLimits(request), capture);
  applyMethodAndBody(handle, request, capture);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &Capture::headerCallback);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &capture);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Capture::bodyCallback);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &capture);

  std::set<std::string> loadedCookies;
  if (request.useCookieStore) loadedCookies = cookieStore().loadInto(handle, fresh);

  CURLcode code = curl_easy_perform(handle);

  if (request.useCookieStore) cookieStore().takeFrom(handle, loadedCookies);
  result.outcome = classify(code, capture, handle);
  if (result.outcome == TransferOutcome::Complete || result.outcome == TransferOutcome::ReadFailed)
    result.rawHeaders = std::move(capture.headers);
  if (!capture.tooLarge &&
      result.outcome != TransferOutcome::SendFailed &&
      result.outcome != TransferOutcome::ReceiveFailed)
    result.body = std::move(capture.body);
  shared.release(std::move(easy), request.useCookieStore);
  return result;
}

bool copyRawHeaderText(const std::string& headers, char* buffer, std::size_t& bufferLength) {
  if (!buffer || bufferLength < headers.size() + 1) {
    bufferLength = headers.size() + 1;
    return false;
  }
  std::memcpy(buffer, headers.c_str(), headers.size() + 1);
  bufferLength = headers.size();
  return true;
}

}  // namespace varnelo::platform
