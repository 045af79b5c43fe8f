#include "http/winhttp_request.h"
// STUB
namespace varnelo {
Text fetchWithWinHttp(const WinHttpOptions&) { return Text(); }
Text headerValue(const Text&, const Text&) { return Text(); }
}  // namespace varnelo
