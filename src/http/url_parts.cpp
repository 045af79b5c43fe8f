#include "http/wininet_request.h"
// STUB
namespace varnelo {
Text hostOfUrl(const Text&, bool) { return Text(); }
int portOfUrl(const Text&) { return 80; }
Text pathOfUrl(const Text&) { return "/"; }
Text valueAfterColon(const Text&) { return Text(); }
}  // namespace varnelo
