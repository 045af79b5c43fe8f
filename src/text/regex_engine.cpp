#include "text/regex_engine.h"

#include <algorithm>
#include <bitset>
#include <clocale>
#include <cwctype>
#include <limits>
#include <utility>

namespace varnelo {

namespace {

// ---------------------------------------------------------------------------
// Case mapping

// Lower and upper case of every BMP unit, from the system's Unicode case
// mapping (ASCII letters only when the system has none), and which units
// take part in any case pair at all.
struct CaseTables {
  std::vector<char16_t> lower;
  std::vector<char16_t> upper;
  std::vector<bool> paired;  // some other unit maps to it or it maps to another
  // For every unit t, the other units whose lower or upper case is t:
  // variants[variantStart[t]] up to variants[variantStart[t + 1]].
  std::vector<std::uint32_t> variantStart;
  std::vector<char16_t> variants;

  CaseTables() : lower(0x10000), upper(0x10000), paired(0x10000, false), variantStart(0x10001, 0) {
    locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
      char32_t low = u;
      char32_t up = u;
      const bool surrogate = u >= 0xD800 && u <= 0xDFFF;
      if (locale != nullptr && !surrogate) {
        low = static_cast<char32_t>(towlower_l(static_cast<wint_t>(u), locale));
        up = static_cast<char32_t>(towupper_l(static_cast<wint_t>(u), locale));
      } else if (u >= 'A' && u <= 'Z') {
        low = u + 32;
      } else if (u >= 'a' && u <= 'z') {
        up = u - 32;
      }
      // A unit beyond ASCII never becomes an ASCII letter (the Kelvin sign
      // is no "k", the long s no "s"), and nothing leaves the BMP.
      if (low > 0xFFFF || (u >= 0x80 && low < 0x80)) low = u;
      if (up > 0xFFFF || (u >= 0x80 && up < 0x80)) up = u;
      lower[u] = static_cast<char16_t>(low);
      upper[u] = static_cast<char16_t>(up);
    }
    if (locale != nullptr) freelocale(locale);
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
      if (lower[u] != u) paired[u] = paired[lower[u]] = true;
      if (upper[u] != u) paired[u] = paired[upper[u]] = true;
    }
    // Unit u is a variant of lower[u] and of upper[u] (once when they agree).
    auto targetsOf = [&](std::uint32_t u, char16_t (&targets)[2]) {
      std::size_t count = 0;
      if (lower[u] != u) targets[count++] = lower[u];
      if (upper[u] != u && upper[u] != lower[u]) targets[count++] = upper[u];
      return count;
    };
    char16_t targets[2];
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
      for (std::size_t k = targetsOf(u, targets); k > 0; --k) ++variantStart[targets[k - 1] + 1];
    }
    for (std::uint32_t t = 0; t < 0x10000; ++t) variantStart[t + 1] += variantStart[t];
    variants.resize(variantStart[0x10000]);
    std::vector<std::uint32_t> filled(variantStart.begin(), variantStart.end() - 1);
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
      for (std::size_t k = targetsOf(u, targets); k > 0; --k) variants[filled[targets[k - 1]]++] = static_cast<char16_t>(u);
    }
  }

  // Marks `t` and every unit whose lower or upper case is `t`.
  void markWithVariants(char16_t t, std::vector<bool>& table) const {
    table[t] = true;
    for (std::uint32_t k = variantStart[t]; k < variantStart[t + 1]; ++k) table[variants[k]] = true;
  }
};

const CaseTables& caseTables() {
  static const CaseTables tables;
  return tables;
}

// ---------------------------------------------------------------------------
// Program

enum class Op : std::uint8_t {
  kUnit,      // one unit, exactly
  kFoldUnit,  // one unit or another case of it (a, b, c: the unit and its cases)
  kClass,     // a unit of class x
  kAny,       // any unit but CR and LF
  kSplit,     // go on at x, and with lower priority at y
  kJump,      // go on at x
  kSave,      // slot x := position
  kReset,     // slots x to y - 1 := unset (groups inside a repeated atom)
  kBeginText,
  kBeginLine,
  kEndText,
  kEndLine,
  kWordBoundary,
  kNotWordBoundary,
  kMatch,
};

struct Inst {
  Op op = Op::kMatch;
  char16_t a = 0;
  char16_t b = 0;
  char16_t c = 0;
  std::uint32_t x = 0;
  std::uint32_t y = 0;
};

bool consumes(Op op) { return op == Op::kUnit || op == Op::kFoldUnit || op == Op::kClass || op == Op::kAny; }

using Range = std::pair<char16_t, char16_t>;

// A bracketed class (or a class escape): sorted, merged ranges.
struct CharClass {
  std::vector<Range> ranges;
  bool negated = false;
  bool ignoreCase = false;
  std::bitset<128> ascii;  // the answer for every ASCII unit

  bool containsRaw(char16_t u) const {
    auto it = std::upper_bound(ranges.begin(), ranges.end(), u,
                               [](char16_t v, const Range& r) { return v < r.first; });
    return it != ranges.begin() && u <= std::prev(it)->second;
  }

  bool computeMatch(char16_t u) const {
    bool in = containsRaw(u);
    if (!in && ignoreCase) {
      const CaseTables& cases = caseTables();
      in = containsRaw(cases.lower[u]) || containsRaw(cases.upper[u]);
    }
    return in != negated;
  }

  bool matches(char16_t u) const { return u < 128 ? ascii[u] : computeMatch(u); }

  void finish() {
    std::sort(ranges.begin(), ranges.end());
    std::vector<Range> merged;
    for (const Range& r : ranges) {
      if (!merged.empty() && static_cast<std::uint32_t>(r.first) <= static_cast<std::uint32_t>(merged.back().second) + 1) {
        merged.back().second = std::max(merged.back().second, r.second);
      } else {
        merged.push_back(r);
      }
    }
    ranges = std::move(merged);
    for (char16_t u = 0; u < 128; ++u) ascii[u] = computeMatch(u);
  }
};

bool isWordUnit(char16_t u) {
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
}

bool isLineEnd(char16_t u) { return u == '\n' || u == '\r'; }

}  // namespace

struct Regex::Program {
  std::vector<Inst> code;
  std::vector<CharClass> classes;
  std::size_t groups = 0;       // capture groups, not counting group 0
  std::size_t slotCount = 2;    // 2 × (groups + 1)
  std::int64_t minLength = 0;   // no match is shorter
  // The units a match can start with, when it cannot be empty and they are
  // few enough to look for: up to three exactly, or a table of them.
  bool hasPrefilter = false;
  std::vector<char16_t> firstUnits;
  std::vector<bool> firstTable;
  // The single units every match begins with ("<meta" of "<meta.+?"), as
  // program positions; a candidate start must show all of them.
  std::vector<std::uint32_t> prefix;

  bool unitMatches(const Inst& in, char16_t u) const {
    switch (in.op) {
      case Op::kUnit:
        return u == in.a;
      case Op::kFoldUnit: {
        if (u == in.a || u == in.b || u == in.c) return true;
        const CaseTables& cases = caseTables();
        const char16_t low = cases.lower[u];
        const char16_t up = cases.upper[u];
        return low == in.a || low == in.b || low == in.c || up == in.a || up == in.b || up == in.c;
      }
      case Op::kClass:
        return classes[in.x].matches(u);
      case Op::kAny:
        return !isLineEnd(u);
      default:
        return false;
    }
  }
};

namespace {

using Program = Regex::Program;

// ---------------------------------------------------------------------------
// Parsing into a tree

enum class Kind : std::uint8_t { kEmpty, kUnit, kClass, kAny, kAssert, kGroup, kConcat, kAlternation, kRepeat };

constexpr int kUnbounded = -1;

struct Node {
  Kind kind = Kind::kEmpty;
  char16_t unit = 0;
  Op assertion = Op::kMatch;
  std::uint32_t classIndex = 0;
  int group = -1;  // capture number of a group; -1 for "(?:"
  int min = 0;
  int max = 0;  // kUnbounded for no upper bound
  bool greedy = true;
  int groupsBegin = 0;  // groups opened inside a repeated atom: [begin, end)
  int groupsEnd = 0;
  std::vector<std::uint32_t> children;
};

// Recursive descent whose depth is bounded by kRegexMaxNesting, since only an
// opening parenthesis goes one level deeper.
class Parser {
 public:
  Parser(std::u16string_view pattern, bool ignoreCase, bool multiline, std::vector<Node>& nodes,
         std::vector<CharClass>& classes)
      : pattern_(pattern), ignoreCase_(ignoreCase), multiline_(multiline), nodes_(nodes), classes_(classes) {}

  // The root node of the whole pattern; false when it is malformed.
  bool parse(std::uint32_t& root) {
    if (!parseAlternation(0, root)) return false;
    return at_ == pattern_.size();  // a ")" without its "("
  }

  int groups() const { return groups_; }

 private:
  bool atEnd() const { return at_ >= pattern_.size(); }
  char16_t peek(std::size_t ahead = 0) const {
    return at_ + ahead < pattern_.size() ? pattern_[at_ + ahead] : char16_t{0};
  }
  bool has(std::size_t ahead) const { return at_ + ahead < pattern_.size(); }

  std::uint32_t add(Node node) {
    nodes_.push_back(std::move(node));
    return static_cast<std::uint32_t>(nodes_.size() - 1);
  }

  bool parseAlternation(int depth, std::uint32_t& out) {
    std::vector<std::uint32_t> branches;
    for (;;) {
      std::uint32_t branch = 0;
      if (!parseSequence(depth, branch)) return false;
      branches.push_back(branch);
      if (atEnd() || peek() != u'|') break;
      ++at_;
    }
    if (branches.size() == 1) {
      out = branches[0];
    } else {
      Node node;
      node.kind = Kind::kAlternation;
      node.children = std::move(branches);
      out = add(std::move(node));
    }
    return true;
  }

  bool parseSequence(int depth, std::uint32_t& out) {
    std::vector<std::uint32_t> items;
    while (!atEnd() && peek() != u'|' && peek() != u')') {
      const int groupsBefore = groups_;
      std::uint32_t atom = 0;
      bool quantifiable = true;
      if (!parseAtom(depth, atom, quantifiable)) return false;
      int min = 0;
      int max = 0;
      bool present = false;
      if (!parseQuantifier(min, max, present)) return false;
      if (present) {
        if (!quantifiable) return false;
        Node node;
        node.kind = Kind::kRepeat;
        node.min = min;
        node.max = max;
        node.greedy = true;
        if (!atEnd() && peek() == u'?') {
          node.greedy = false;
          ++at_;
        }
        node.groupsBegin = groupsBefore + 1;
        node.groupsEnd = groups_ + 1;
        node.children.push_back(atom);
        atom = add(std::move(node));
      }
      items.push_back(atom);
    }
    if (items.size() == 1) {
      out = items[0];
    } else {
      Node node;
      node.kind = items.empty() ? Kind::kEmpty : Kind::kConcat;
      node.children = std::move(items);
      out = add(std::move(node));
    }
    return true;
  }

  // A quantifier at the current position, if any: "?", "*", "+" or a
  // complete "{n}", "{n,}", "{n,m}". False for a malformed count.
  bool parseQuantifier(int& min, int& max, bool& present) {
    present = false;
    if (atEnd()) return true;
    switch (peek()) {
      case u'?':
        min = 0, max = 1;
        break;
      case u'*':
        min = 0, max = kUnbounded;
        break;
      case u'+':
        min = 1, max = kUnbounded;
        break;
      case u'{': {
        std::size_t length = 0;
        if (!countedQuantifierAt(at_, min, max, length)) return true;  // a literal "{"
        if (min > kRegexMaxRepeat || max > kRegexMaxRepeat) return false;
        if (max != kUnbounded && max < min) return false;
        at_ += length;
        present = true;
        return true;
      }
      default:
        return true;
    }
    ++at_;
    present = true;
    return true;
  }

  // Reads a decimal number at `i`, saturating far above every limit.
  bool number(std::size_t& i, int& value) const {
    const std::size_t begin = i;
    value = 0;
    while (i < pattern_.size() && pattern_[i] >= u'0' && pattern_[i] <= u'9') {
      value = std::min(value * 10 + (pattern_[i] - u'0'), 1000000);
      ++i;
    }
    return i > begin;
  }

  // True when a complete counted quantifier starts at `i`.
  bool countedQuantifierAt(std::size_t i, int& min, int& max, std::size_t& length) const {
    const std::size_t begin = i;
    ++i;  // "{"
    if (!number(i, min)) return false;
    max = min;
    if (i < pattern_.size() && pattern_[i] == u',') {
      ++i;
      if (!number(i, max)) max = kUnbounded;
    }
    if (i >= pattern_.size() || pattern_[i] != u'}') return false;
    length = i + 1 - begin;
    return true;
  }

  bool parseAtom(int depth, std::uint32_t& out, bool& quantifiable) {
    const char16_t c = peek();
    Node node;
    switch (c) {
      case u'(':
        return parseGroup(depth, out);
      case u'[':
        ++at_;
        return parseClass(out);
      case u'.':
        ++at_;
        node.kind = Kind::kAny;
        out = add(std::move(node));
        return true;
      case u'^':
      case u'$':
        ++at_;
        node.kind = Kind::kAssert;
        if (c == u'^') {
          node.assertion = multiline_ ? Op::kBeginLine : Op::kBeginText;
        } else {
          node.assertion = multiline_ ? Op::kEndLine : Op::kEndText;
        }
        quantifiable = false;
        out = add(std::move(node));
        return true;
      case u'*':
      case u'+':
      case u'?':
        return false;  // nothing to repeat
      case u'{': {
        int min = 0;
        int max = 0;
        std::size_t length = 0;
        if (countedQuantifierAt(at_, min, max, length)) return false;
        ++at_;
        node.kind = Kind::kUnit;
        node.unit = c;
        out = add(std::move(node));
        return true;
      }
      case u'\\':
        ++at_;
        return parseEscape(out, quantifiable);
      default:
        ++at_;
        node.kind = Kind::kUnit;
        node.unit = c;
        out = add(std::move(node));
        return true;
    }
  }

  bool parseGroup(int depth, std::uint32_t& out) {
    if (depth + 1 > kRegexMaxNesting) return false;
    ++at_;  // "("
    int group = -1;
    if (peek() == u'?' && has(0)) {
      if (peek(1) != u':' || !has(1)) return false;  // lookaround and the like
      at_ += 2;
    } else {
      group = ++groups_;
    }
    std::uint32_t inner = 0;
    if (!parseAlternation(depth + 1, inner)) return false;
    if (atEnd() || peek() != u')') return false;
    ++at_;
    if (group < 0) {
      out = inner;
      return true;
    }
    Node node;
    node.kind = Kind::kGroup;
    node.group = group;
    node.children.push_back(inner);
    out = add(std::move(node));
    return true;
  }

  // The ranges of "\d", "\w" or "\s" (lower case) or their complements.
  static bool classEscapeRanges(char16_t letter, std::vector<Range>& ranges) {
    std::vector<Range> set;
    switch (letter) {
      case u'd':
      case u'D':
        set = {{u'0', u'9'}};
        break;
      case u'w':
      case u'W':
        set = {{u'0', u'9'}, {u'A', u'Z'}, {u'_', u'_'}, {u'a', u'z'}};
        break;
      case u's':
      case u'S':
        set = {{u'\t', u'\r'}, {u' ', u' '}};
        break;
      default:
        return false;
    }
    if (letter == u'd' || letter == u'w' || letter == u's') {
      ranges.insert(ranges.end(), set.begin(), set.end());
      return true;
    }
    std::uint32_t next = 0;
    for (const Range& r : set) {
      if (r.first > next) ranges.emplace_back(static_cast<char16_t>(next), static_cast<char16_t>(r.first - 1));
      next = static_cast<std::uint32_t>(r.second) + 1;
    }
    if (next <= 0xFFFF) ranges.emplace_back(static_cast<char16_t>(next), char16_t{0xFFFF});
    return true;
  }

  static int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  }

  // The unit of a character escape whose letter has just been read; false
  // when it is malformed (a backreference, bad hex digits, a lone "\").
  bool characterEscape(char16_t letter, char16_t& unit) {
    switch (letter) {
      case u'r': unit = u'\r'; return true;
      case u'n': unit = u'\n'; return true;
      case u't': unit = u'\t'; return true;
      case u'f': unit = u'\f'; return true;
      case u'v': unit = u'\v'; return true;
      case u'0':
        if (peek() >= u'0' && peek() <= u'9' && has(0)) return false;  // octal
        unit = 0;
        return true;
      case u'x':
      case u'u': {
        const std::size_t digits = letter == u'x' ? 2 : 4;
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < digits; ++k) {
          const int v = has(k) ? hexValue(peek(k)) : -1;
          if (v < 0) return false;
          value = value * 16 + static_cast<std::uint32_t>(v);
        }
        at_ += digits;
        unit = static_cast<char16_t>(value);
        return true;
      }
      case u'c': {
        const char16_t control = peek();
        if (!has(0) || !((control >= u'a' && control <= u'z') || (control >= u'A' && control <= u'Z'))) return false;
        ++at_;
        unit = static_cast<char16_t>(control % 32);
        return true;
      }
      default:
        if (letter >= u'1' && letter <= u'9') return false;  // backreference
        unit = letter;  // any other escaped character stands for itself
        return true;
    }
  }

  bool parseEscape(std::uint32_t& out, bool& quantifiable) {
    if (atEnd()) return false;
    const char16_t letter = peek();
    ++at_;
    Node node;
    if (letter == u'b' || letter == u'B') {
      node.kind = Kind::kAssert;
      node.assertion = letter == u'b' ? Op::kWordBoundary : Op::kNotWordBoundary;
      quantifiable = false;
      out = add(std::move(node));
      return true;
    }
    CharClass set;
    if (classEscapeRanges(letter, set.ranges)) {
      set.ignoreCase = false;  // "\w" and the like do not change with case
      set.finish();
      node.kind = Kind::kClass;
      node.classIndex = static_cast<std::uint32_t>(classes_.size());
      classes_.push_back(std::move(set));
      out = add(std::move(node));
      return true;
    }
    char16_t unit = 0;
    if (!characterEscape(letter, unit)) return false;
    node.kind = Kind::kUnit;
    node.unit = unit;
    out = add(std::move(node));
    return true;
  }

  // One member of a class: a unit, or the ranges of a class escape
  // (`isSet`). False when malformed.
  bool classMember(char16_t& unit, bool& isSet, std::vector<Range>& setRanges) {
    isSet = false;
    if (atEnd()) return false;
    const char16_t c = peek();
    ++at_;
    if (c != u'\\') {
      unit = c;
      return true;
    }
    if (atEnd()) return false;
    const char16_t letter = peek();
    ++at_;
    if (classEscapeRanges(letter, setRanges)) {
      isSet = true;
      return true;
    }
    if (letter == u'b') {
      unit = u'\b';
      return true;
    }
    return characterEscape(letter, unit);
  }

  bool parseClass(std::uint32_t& out) {
    CharClass set;
    set.ignoreCase = ignoreCase_;
    if (!atEnd() && peek() == u'^') {
      set.negated = true;
      ++at_;
    }
    for (;;) {
      if (atEnd()) return false;
      if (peek() == u']') {
        ++at_;
        break;
      }
      char16_t first = 0;
      bool firstIsSet = false;
      if (!classMember(first, firstIsSet, set.ranges)) return false;
      const bool range = !atEnd() && peek() == u'-' && has(1) && peek(1) != u']';
      if (!range) {
        if (!firstIsSet) set.ranges.emplace_back(first, first);
        continue;
      }
      ++at_;  // "-"
      char16_t last = 0;
      bool lastIsSet = false;
      if (!classMember(last, lastIsSet, set.ranges)) return false;
      if (firstIsSet || lastIsSet) {
        // A class escape at either end: the "-" is a literal.
        if (!firstIsSet) set.ranges.emplace_back(first, first);
        if (!lastIsSet) set.ranges.emplace_back(last, last);
        set.ranges.emplace_back(u'-', u'-');
        continue;
      }
      if (last < first) return false;
      set.ranges.emplace_back(first, last);
    }
    set.finish();
    Node node;
    node.kind = Kind::kClass;
    node.classIndex = static_cast<std::uint32_t>(classes_.size());
    classes_.push_back(std::move(set));
    out = add(std::move(node));
    return true;
  }

  std::u16string_view pattern_;
  bool ignoreCase_;
  bool multiline_;
  std::vector<Node>& nodes_;
  std::vector<CharClass>& classes_;
  std::size_t at_ = 0;
  int groups_ = 0;
};

// ---------------------------------------------------------------------------
// Code generation

// Saturating arithmetic for sizes, so that nested counts cannot overflow.
constexpr std::uint64_t kHuge = std::uint64_t{1} << 40;
std::uint64_t satAdd(std::uint64_t a, std::uint64_t b) { return std::min(a + b, kHuge); }
std::uint64_t satMul(std::uint64_t a, std::uint64_t b) {
  if (a == 0 || b == 0) return 0;
  return a > kHuge / b ? kHuge : std::min(a * b, kHuge);
}

class Compiler {
 public:
  Compiler(const std::vector<Node>& nodes, bool ignoreCase, Program& program)
      : nodes_(nodes), ignoreCase_(ignoreCase), program_(program) {}

  bool hasGroups(const Node& n) const { return n.kind == Kind::kRepeat && n.groupsEnd > n.groupsBegin; }
  bool needsReset(const Node& n) const {
    return hasGroups(n) && (n.max == kUnbounded || n.max > 1);
  }

  // Instructions that node `index` compiles to (saturated).
  std::uint64_t size(std::uint32_t index) const {
    const Node& n = nodes_[index];
    switch (n.kind) {
      case Kind::kEmpty:
        return 0;
      case Kind::kUnit:
      case Kind::kClass:
      case Kind::kAny:
      case Kind::kAssert:
        return 1;
      case Kind::kGroup:
        return satAdd(size(n.children[0]), 2);
      case Kind::kConcat: {
        std::uint64_t total = 0;
        for (std::uint32_t child : n.children) total = satAdd(total, size(child));
        return total;
      }
      case Kind::kAlternation: {
        std::uint64_t total = 2 * (n.children.size() - 1);
        for (std::uint32_t child : n.children) total = satAdd(total, size(child));
        return total;
      }
      case Kind::kRepeat: {
        const std::uint64_t body = satAdd(size(n.children[0]), needsReset(n) ? 1 : 0);
        const auto min = static_cast<std::uint64_t>(n.min);
        if (n.max == kUnbounded) return min == 0 ? satAdd(body, 2) : satAdd(satMul(body, min), 1);
        const auto optional = static_cast<std::uint64_t>(n.max - n.min);
        return satAdd(satMul(body, min), satMul(satAdd(body, 1), optional));
      }
    }
    return kHuge;
  }

  // The length of the shortest text node `index` matches (saturated).
  std::uint64_t minLength(std::uint32_t index) const {
    const Node& n = nodes_[index];
    switch (n.kind) {
      case Kind::kUnit:
      case Kind::kClass:
      case Kind::kAny:
        return 1;
      case Kind::kGroup:
        return minLength(n.children[0]);
      case Kind::kConcat: {
        std::uint64_t total = 0;
        for (std::uint32_t child : n.children) total = satAdd(total, minLength(child));
        return total;
      }
      case Kind::kAlternation: {
        std::uint64_t best = kHuge;
        for (std::uint32_t child : n.children) best = std::min(best, minLength(child));
        return best;
      }
      case Kind::kRepeat:
        return satMul(minLength(n.children[0]), static_cast<std::uint64_t>(n.min));
      case Kind::kEmpty:
      case Kind::kAssert:
        return 0;
    }
    return 0;
  }

  std::uint32_t here() const { return static_cast<std::uint32_t>(program_.code.size()); }

  std::uint32_t emit(Inst inst) {
    program_.code.push_back(inst);
    return here() - 1;
  }

  void emitUnit(char16_t unit) {
    Inst inst;
    const CaseTables* cases = ignoreCase_ ? &caseTables() : nullptr;
    if (cases == nullptr || !cases->paired[unit]) {
      inst.op = Op::kUnit;
      inst.a = unit;
    } else {
      inst.op = Op::kFoldUnit;
      inst.a = unit;
      inst.b = cases->lower[unit];
      inst.c = cases->upper[unit];
    }
    emit(inst);
  }

  void generate(std::uint32_t index) {
    const Node& n = nodes_[index];
    Inst inst;
    switch (n.kind) {
      case Kind::kEmpty:
        return;
      case Kind::kUnit:
        emitUnit(n.unit);
        return;
      case Kind::kClass:
        inst.op = Op::kClass;
        inst.x = n.classIndex;
        emit(inst);
        return;
      case Kind::kAny:
        inst.op = Op::kAny;
        emit(inst);
        return;
      case Kind::kAssert:
        inst.op = n.assertion;
        emit(inst);
        return;
      case Kind::kGroup:
        inst.op = Op::kSave;
        inst.x = static_cast<std::uint32_t>(2 * n.group);
        emit(inst);
        generate(n.children[0]);
        inst.x += 1;
        emit(inst);
        return;
      case Kind::kConcat:
        for (std::uint32_t child : n.children) generate(child);
        return;
      case Kind::kAlternation: {
        std::vector<std::uint32_t> jumps;
        for (std::size_t k = 0; k < n.children.size(); ++k) {
          if (k + 1 < n.children.size()) {
            inst.op = Op::kSplit;
            const std::uint32_t split = emit(inst);
            program_.code[split].x = here();
            generate(n.children[k]);
            inst.op = Op::kJump;
            jumps.push_back(emit(inst));
            program_.code[split].y = here();
          } else {
            generate(n.children[k]);
          }
        }
        for (std::uint32_t jump : jumps) program_.code[jump].x = here();
        return;
      }
      case Kind::kRepeat:
        generateRepeat(n);
        return;
    }
  }

  void generateBody(const Node& n) {
    if (needsReset(n)) {
      // Every pass through a repeated group starts with its groups unset.
      Inst reset;
      reset.op = Op::kReset;
      reset.x = static_cast<std::uint32_t>(2 * n.groupsBegin);
      reset.y = static_cast<std::uint32_t>(2 * n.groupsEnd);
      emit(reset);
    }
    generate(n.children[0]);
  }

  // A split that prefers `preferred` when the quantifier is greedy.
  void patchSplit(std::uint32_t split, std::uint32_t more, std::uint32_t done, bool greedy) {
    program_.code[split].x = greedy ? more : done;
    program_.code[split].y = greedy ? done : more;
  }

  void generateRepeat(const Node& n) {
    Inst split;
    split.op = Op::kSplit;
    if (n.max == kUnbounded) {
      if (n.min == 0) {
        // L: split body, out; body; jump L; out:
        const std::uint32_t loop = emit(split);
        generateBody(n);
        Inst jump;
        jump.op = Op::kJump;
        jump.x = loop;
        emit(jump);
        patchSplit(loop, loop + 1, here(), n.greedy);
        return;
      }
      for (int k = 0; k + 1 < n.min; ++k) generateBody(n);
      // L: body; split L, out; out:
      const std::uint32_t start = here();
      generateBody(n);
      const std::uint32_t tail = emit(split);
      patchSplit(tail, start, here(), n.greedy);
      return;
    }
    for (int k = 0; k < n.min; ++k) generateBody(n);
    // Each optional pass is tried only after the one before it was taken;
    // all of them leave to the same place.
    std::vector<std::uint32_t> splits;
    for (int k = n.min; k < n.max; ++k) {
      splits.push_back(emit(split));
      generateBody(n);
    }
    for (std::uint32_t s : splits) patchSplit(s, s + 1, here(), n.greedy);
  }

 private:
  const std::vector<Node>& nodes_;
  bool ignoreCase_;
  Program& program_;
};

// Fills in the prefilter: the consuming instructions that can come first,
// when a match cannot be empty and they are few and narrow enough.
void computePrefilter(Program& program) {
  const std::size_t count = program.code.size();
  std::vector<bool> seen(count, false);
  std::vector<std::uint32_t> stack{0};
  std::vector<std::uint32_t> firsts;
  while (!stack.empty()) {
    const std::uint32_t pc = stack.back();
    stack.pop_back();
    if (seen[pc]) continue;
    seen[pc] = true;
    const Inst& in = program.code[pc];
    if (in.op == Op::kMatch) return;  // can match empty
    if (in.op == Op::kAny) return;
    if (consumes(in.op)) {
      firsts.push_back(pc);
      if (firsts.size() > 16) return;
      continue;
    }
    if (in.op == Op::kJump) {
      stack.push_back(in.x);
    } else if (in.op == Op::kSplit) {
      stack.push_back(in.y);
      stack.push_back(in.x);
    } else {
      stack.push_back(pc + 1);  // assertions are passed over: a wider set is still right
    }
  }
  std::vector<char16_t> exact;
  bool onlyExact = true;
  for (std::uint32_t pc : firsts) {
    const Inst& in = program.code[pc];
    if (in.op == Op::kUnit) {
      if (std::find(exact.begin(), exact.end(), in.a) == exact.end()) exact.push_back(in.a);
    } else {
      onlyExact = false;
    }
  }
  program.hasPrefilter = true;
  for (std::uint32_t pc = 0; pc < count && program.prefix.size() < 16; ++pc) {
    const Op op = program.code[pc].op;
    if (op == Op::kUnit || op == Op::kFoldUnit) {
      program.prefix.push_back(pc);
    } else if (op != Op::kSave) {
      break;
    }
  }
  if (onlyExact && exact.size() <= 3) {
    program.firstUnits = std::move(exact);
    return;
  }
  // Every unit that one of the first instructions accepts: the unit itself,
  // or a unit whose lower or upper case it accepts.
  std::vector<bool>& table = program.firstTable;
  table.assign(0x10000, false);
  const CaseTables* cases = nullptr;
  std::size_t width = 0;
  for (std::uint32_t pc : firsts) {
    const Inst& in = program.code[pc];
    if (in.op == Op::kUnit) {
      table[in.a] = true;
    } else if (in.op == Op::kFoldUnit) {
      if (cases == nullptr) cases = &caseTables();
      for (char16_t t : {in.a, in.b, in.c}) cases->markWithVariants(t, table);
    } else {
      const CharClass& set = program.classes[in.x];
      for (const Range& r : set.ranges) width += static_cast<std::size_t>(r.second - r.first) + 1;
      if (set.negated || width > 0x8000) {  // too wide to pay for itself
        program.hasPrefilter = false;
        table.clear();
        return;
      }
      if (set.ignoreCase && cases == nullptr) cases = &caseTables();
      for (const Range& r : set.ranges) {
        for (std::uint32_t t = r.first; t <= r.second; ++t) {
          if (set.ignoreCase) {
            cases->markWithVariants(static_cast<char16_t>(t), table);
          } else {
            table[t] = true;
          }
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Matching

// How many steps (instructions visited, threads advanced) a search may take.
class Budget {
 public:
  explicit Budget(std::size_t length) {
    const std::uint64_t scaled = kStepsPerUnit * (static_cast<std::uint64_t>(length) + 1);
    left_ = std::max(kMinimumSteps, scaled);
  }
  void spend(std::uint64_t steps) { left_ = steps >= left_ ? 0 : left_ - steps; }
  bool spent() const { return left_ == 0; }

  static constexpr std::uint64_t kMinimumSteps = std::uint64_t{1} << 26;
  static constexpr std::uint64_t kStepsPerUnit = 32;

 private:
  std::uint64_t left_;
};

// The threads at one subject position, in priority order, each with its
// capture slots. Visited program positions are marked with the list's
// generation in a table shared by both lists of a search (a list's marks are
// only needed while it is being filled and right after). Both arrays grow
// on demand and never shrink during a search; there is at most one thread
// per program position.
struct ThreadList {
  std::uint64_t generation = 0;
  std::size_t count = 0;
  std::vector<std::uint32_t> pcs;
  std::vector<std::int32_t> slots;
};

class PikeVm {
  // A position still to explore, or a slot to restore on backing up.
  struct StackEntry {
    std::uint32_t pc;    // program position, or slot to restore
    std::int32_t value;  // the slot's old value; kExplore for a position
  };
  static constexpr std::int32_t kExplore = std::numeric_limits<std::int32_t>::min();

 public:
  PikeVm(const Program& program, std::u16string_view subject, Budget& budget)
      : program_(program),
        code_(program.code.data()),
        subject_(subject),
        budget_(budget),
        slotCount_(program.slotCount),
        marks_(program.code.size(), 0),
        scratch_(program.slotCount, -1),
        best_(program.slotCount, -1) {}

  const std::vector<std::int32_t>& best() const { return best_; }

  // Leftmost-first match at or after `from`; `best()` then holds its slots.
  // False when there is none or the budget ran out.
  bool search(std::size_t from) {
    const std::size_t n = subject_.size();
    const auto minLength = static_cast<std::uint64_t>(program_.minLength);
    ThreadList* current = &lists_[0];
    ThreadList* next = &lists_[1];
    clear(*current);
    bool matched = false;
    std::size_t i = from;
    for (;;) {
      if (!matched) {
        if (current->count == 0) {
          clear(*current);
          if (program_.hasPrefilter) {
            i = nextCandidate(i);
            if (i >= n) return false;  // a match cannot be empty here
          }
        }
        if (n - i >= minLength) {
          std::fill(scratch_.begin(), scratch_.end(), -1);
          addThread(*current, 0, i);
        } else if (current->count == 0) {
          return false;
        }
      }
      if (budget_.spent()) return false;
      if (current->count == 0) {
        if (matched || i >= n) return matched;
        ++i;
        continue;
      }
      clear(*next);
      const std::size_t threads = current->count;
      const char16_t unit = i < n ? subject_[i] : char16_t{0};
      for (std::size_t t = 0; t < threads; ++t) {
        const std::uint32_t pc = current->pcs[t];
        const Inst& in = code_[pc];
        const std::int32_t* slots = current->slots.data() + t * slotCount_;
        if (in.op == Op::kMatch) {
          std::copy(slots, slots + slotCount_, best_.begin());
          matched = true;
          break;  // every thread after this one has lower priority
        }
        if (i < n && program_.unitMatches(in, unit)) {
          std::copy(slots, slots + slotCount_, scratch_.begin());
          addThread(*next, pc + 1, i + 1);
        }
      }
      budget_.spend(threads);
      std::swap(current, next);
      if (i >= n) return matched;
      ++i;
    }
  }

 private:
  void clear(ThreadList& list) {
    list.generation = ++generation_;
    list.count = 0;
  }

  // Appends the thread at `pc` with the slots in `scratch_`.
  void append(ThreadList& list, std::uint32_t pc) {
    if (list.count == list.pcs.size()) {
      const std::size_t grown = std::min(std::max<std::size_t>(16, 2 * list.pcs.size()), program_.code.size());
      list.pcs.resize(grown);
      list.slots.resize(grown * slotCount_);
    }
    list.pcs[list.count] = pc;
    std::int32_t* to = list.slots.data() + list.count * slotCount_;
    for (std::size_t k = 0; k < slotCount_; ++k) to[k] = scratch_[k];
    ++list.count;
  }

  // The first position at or after `i` where a match can start, judged by
  // its first unit and the units every match begins with; the subject
  // length when there is none.
  std::size_t nextCandidate(std::size_t i) const {
    const std::size_t n = subject_.size();
    for (;; ++i) {
      i = nextFirstUnit(i);
      if (i >= n || prefixAt(i)) return i;
    }
  }

  bool prefixAt(std::size_t i) const {
    const std::vector<std::uint32_t>& prefix = program_.prefix;
    if (prefix.size() > subject_.size() - i) return false;
    for (std::size_t k = 0; k < prefix.size(); ++k) {
      if (!program_.unitMatches(code_[prefix[k]], subject_[i + k])) return false;
    }
    return true;
  }

  // The first position at or after `i` whose unit can start a match.
  std::size_t nextFirstUnit(std::size_t i) const {
    const std::size_t n = subject_.size();
    const char16_t* s = subject_.data();
    const std::vector<char16_t>& units = program_.firstUnits;
    if (units.empty()) {
      const std::vector<bool>& table = program_.firstTable;
      while (i < n && !table[s[i]]) ++i;
    } else if (units.size() == 1) {
      const char16_t a = units[0];
      while (i < n && s[i] != a) ++i;
    } else {
      const char16_t a = units[0];
      const char16_t b = units[1];
      const char16_t c = units.size() > 2 ? units[2] : units[1];
      while (i < n && s[i] != a && s[i] != b && s[i] != c) ++i;
    }
    return i;
  }

  bool assertionHolds(Op op, std::size_t i) const {
    const std::size_t n = subject_.size();
    switch (op) {
      case Op::kBeginText:
        return i == 0;
      case Op::kBeginLine:
        return i == 0 || isLineEnd(subject_[i - 1]);
      case Op::kEndText:
        return i == n;
      case Op::kEndLine:
        return i == n || isLineEnd(subject_[i]);
      case Op::kWordBoundary:
      case Op::kNotWordBoundary: {
        const bool before = i > 0 && isWordUnit(subject_[i - 1]);
        const bool after = i < n && isWordUnit(subject_[i]);
        return (before != after) == (op == Op::kWordBoundary);
      }
      default:
        return false;
    }
  }

  // Adds the thread at `startPc` for position `i`, with the slots in
  // `scratch_`, and every thread it reaches without consuming a unit, depth
  // first in priority order. An explicit stack replaces recursion; restore
  // entries undo slot writes when the walk backs up to a lower-priority
  // branch, so `scratch_` is as it was when this returns.
  void addThread(ThreadList& list, std::uint32_t startPc, std::size_t i) {
    // Locals rather than members in the loop, so that they stay in registers.
    const std::uint64_t generation = list.generation;
    const Inst* const code = code_;
    std::uint64_t* const marks = marks_.data();
    std::int32_t* const scratch = scratch_.data();
    StackEntry* stack = stack_.data();
    std::size_t capacity = stack_.size();
    std::size_t top = 0;
    auto push = [&](std::uint32_t pc, std::int32_t value) {
      if (top == capacity) {
        stack_.resize(std::max<std::size_t>(64, 2 * capacity));
        stack = stack_.data();
        capacity = stack_.size();
      }
      stack[top++] = StackEntry{pc, value};
    };
    push(startPc, kExplore);
    std::uint64_t steps = 0;
    while (top > 0) {
      const StackEntry entry = stack[--top];
      if (entry.value != kExplore) {
        scratch[entry.pc] = entry.value;
        continue;
      }
      std::uint32_t pc = entry.pc;
      for (;;) {
        if (marks[pc] == generation) break;
        marks[pc] = generation;
        ++steps;
        const Inst& in = code[pc];
        if (consumes(in.op) || in.op == Op::kMatch) {
          append(list, pc);
          steps += slotCount_ / 16;
          break;
        }
        if (in.op == Op::kJump) {
          pc = in.x;
        } else if (in.op == Op::kSplit) {
          push(in.y, kExplore);
          pc = in.x;
        } else if (in.op == Op::kSave) {
          push(in.x, scratch[in.x]);
          scratch[in.x] = static_cast<std::int32_t>(i);
          ++pc;
        } else if (in.op == Op::kReset) {
          for (std::uint32_t slot = in.x; slot < in.y; ++slot) {
            if (scratch[slot] == -1) continue;
            push(slot, scratch[slot]);
            scratch[slot] = -1;
          }
          steps += (in.y - in.x) / 16;
          ++pc;
        } else if (assertionHolds(in.op, i)) {
          ++pc;
        } else {
          break;
        }
      }
    }
    budget_.spend(steps);
  }

  const Program& program_;
  const Inst* code_;
  std::u16string_view subject_;
  Budget& budget_;
  std::size_t slotCount_;
  std::vector<std::uint64_t> marks_;
  std::uint64_t generation_ = 0;
  ThreadList lists_[2];
  std::vector<StackEntry> stack_;
  std::vector<std::int32_t> scratch_;
  std::vector<std::int32_t> best_;
};

}  // namespace

Regex::Regex(std::unique_ptr<const Program> program) : program_(std::move(program)) {}
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;
Regex::~Regex() = default;

std::optional<Regex> Regex::compile(std::u16string_view pattern, RegexFlags flags) {
  try {
    std::vector<Node> nodes;
    auto program = std::make_unique<Program>();
    Parser parser(pattern, flags.ignoreCase, flags.multiline, nodes, program->classes);
    std::uint32_t root = 0;
    if (!parser.parse(root)) return std::nullopt;
    program->groups = static_cast<std::size_t>(parser.groups());
    program->slotCount = 2 * (program->groups + 1);

    Compiler compiler(nodes, flags.ignoreCase, *program);
    const std::uint64_t size = satAdd(compiler.size(root), 3);  // save, save, match
    if (size > kRegexMaxProgram) return std::nullopt;
    if (satMul(size, program->slotCount) > kRegexMaxThreadSlots) return std::nullopt;
    program->minLength = static_cast<std::int64_t>(std::min<std::uint64_t>(compiler.minLength(root), kHuge));

    program->code.reserve(static_cast<std::size_t>(size));
    Inst save;
    save.op = Op::kSave;
    save.x = 0;
    program->code.push_back(save);
    compiler.generate(root);
    save.x = 1;
    program->code.push_back(save);
    program->code.push_back(Inst{});  // match
    computePrefilter(*program);
    return Regex(std::move(program));
  } catch (...) {
    return std::nullopt;  // out of memory
  }
}

std::size_t Regex::groupCount() const { return program_->groups; }

RegexResult Regex::findMatches(std::u16string_view subject, bool all, std::vector<std::int32_t>& offsets) const {
  if (subject.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - 1)) {
    return RegexResult::kTooLong;
  }
  const std::size_t kept = offsets.size();
  try {
    Budget budget(subject.size());
    PikeVm vm(*program_, subject, budget);
    std::size_t from = 0;
    while (from <= subject.size()) {
      if (!vm.search(from)) break;
      const std::vector<std::int32_t>& found = vm.best();
      offsets.insert(offsets.end(), found.begin(), found.end());
      if (!all) break;
      const auto start = static_cast<std::size_t>(found[0]);
      const auto end = static_cast<std::size_t>(found[1]);
      from = end == start ? end + 1 : end;
    }
    if (budget.spent()) {
      offsets.resize(kept);
      return RegexResult::kGaveUp;
    }
    return RegexResult::kDone;
  } catch (...) {
    offsets.resize(kept);
    return RegexResult::kNoMemory;
  }
}

}  // namespace varnelo
