#include "text/regex_object.h"
// STUB: replaced by the text subsystem's implementation.
namespace varnelo {
struct RegexObject::State {};
RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
bool RegexObject::execute(const Text&, const Text&, bool, bool, bool, bool) { return false; }
Text RegexObject::pattern() const { return Text(); }
Text RegexObject::replace(const Text&) { return Text(); }
int RegexObject::matchCount() const { return 0; }
Text RegexObject::matchText(int, Pos*) const { return Text(); }
Text RegexObject::subMatchText(int, int, Pos*) const { return Text(); }
int RegexObject::subMatchCount() const { return 0; }
}  // namespace varnelo
