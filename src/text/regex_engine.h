// A regular-expression engine over UTF-16 units that cannot crash or hang:
// patterns are compiled to a small program that a Pike VM (a simulation of
// the pattern's automaton, one thread per program position, in priority
// order) runs over the subject. Results are leftmost-first, as a backtracking
// engine of the ECMAScript kind gives them, greedy and lazy quantifiers and
// capture groups included (a group inside a repeated atom starts every pass
// unset); one search takes time bounded by the subject length times the
// program size, and nothing recurses on the subject or on the pattern beyond
// kRegexMaxNesting levels.
//
// Dialect: literals; "." (anything but CR and LF); "^" and "$" (with
// multiline, also after and before every CR and every LF); "\b" "\B";
// groups "(...)" and "(?:...)"; "|"; classes "[...]" and "[^...]" with
// ranges and class escapes; "\d" "\D" "\w" "\W" (exactly [A-Za-z0-9_])
// "\s" "\S" (tab, LF, VT, FF, CR, space); "\r" "\n" "\t" "\f" "\v" "\0"
// "\xHH" "\uHHHH" "\cX"; any other escaped character stands for itself;
// quantifiers "?" "*" "+" "{n}" "{n,}" "{n,m}", each lazy with a "?" after
// it. A "{" that does not open a quantifier is a literal.
//
// Refused as malformed: backreferences ("\1"), lookaround and every other
// "(?" form but "(?:", groups nested deeper than kRegexMaxNesting, counts
// above kRegexMaxRepeat, programs beyond kRegexMaxProgram instructions or
// kRegexMaxThreadSlots instructions × capture slots, a quantifier with
// nothing to repeat or on an anchor, "\x" and "\u" without their hex digits,
// and octal escapes. Ignoring case, a unit matches when it, its lower case
// or its upper case does; no unit beyond ASCII counts as an ASCII letter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace varnelo {

// Settings fixed when a pattern is compiled.
struct RegexFlags {
  bool ignoreCase = false;  // letters match their other case (BMP case mapping)
  bool multiline = false;   // "^" and "$" also match at CR and LF
};

inline constexpr int kRegexMaxNesting = 64;              // open groups inside each other
inline constexpr int kRegexMaxRepeat = 1000;             // largest n or m of {n,m}
inline constexpr std::size_t kRegexMaxProgram = 100000;  // instructions after expanding counts
// Instructions times capture slots: bounds the memory of the threads.
inline constexpr std::size_t kRegexMaxThreadSlots = std::size_t{1} << 22;

// What a search gave.
enum class RegexResult {
  kDone,      // the matches (maybe none) were collected
  kTooLong,   // the subject is longer than 2^31 - 2 units
  kGaveUp,    // the search needed more steps than its budget (see findMatches)
  kNoMemory,  // allocation failed
};

class Regex {
 public:
  // `pattern` compiled; nullopt when it is malformed or beyond the limits.
  // Never throws.
  static std::optional<Regex> compile(std::u16string_view pattern, RegexFlags flags = {});

  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;
  ~Regex();

  // Number of capture groups (not counting the whole match).
  std::size_t groupCount() const;

  // Collects the matches of the expression in `subject` from left to right,
  // without overlap (after an empty match the next search starts one unit
  // further), or only the first when `all` is false. Each match appends
  // 2 × (groupCount() + 1) unit offsets to `offsets`: start and end of the
  // whole match, then of each group; -1 for a group that took no part. The
  // whole search takes at most max(2^26, 32 × (length + 1)) steps (an
  // instruction visited or a thread moved on; about half a second at worst);
  // beyond that it stops with kGaveUp and `offsets` holds no matches. That
  // only happens when later searches rescan what earlier ones scanned, as
  // ".*b|a" does on a long line without "b". Never throws.
  RegexResult findMatches(std::u16string_view subject, bool all, std::vector<std::int32_t>& offsets) const;

  struct Program;

 private:
  explicit Regex(std::unique_ptr<const Program> program);
  std::unique_ptr<const Program> program_;
};

}  // namespace varnelo
