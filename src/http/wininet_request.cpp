#include "http/wininet_request.h"
// STUB
namespace varnelo {
Bytes fetchWithWinInet(const WinInetOptions&) { return Bytes(); }
}  // namespace varnelo
